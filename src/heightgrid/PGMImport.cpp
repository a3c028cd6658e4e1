#include "heightgrid/PGMImport.h"

#include "controls/FloatEdit.h"
#include "shell/Help.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

QPointer<TPGMImportForm> PGMImportForm;

TPGMImportForm::TPGMImportForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("PGMImportForm");
    setWindowTitle("Pixel Greymap Import");
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox("GridPointSpacing", this);
    auto* grid = new QGridLayout(group);
    auto spacing = [&](const char* name) {
        auto* e = new TFloatEdit(group);
        e->setObjectName(name);
        e->SetDigits(1);
        e->SetMin(kSpacingMin);
        e->SetMax(kSpacingMax);
        e->SetValue(30.0);
        return e;
    };
    XSpacingMaskEdit = spacing("XSpacingMaskEdit");
    YSpacingMaskEdit = spacing("YSpacingMaskEdit");
    grid->addWidget(new QLabel("x: ", group), 0, 0);
    grid->addWidget(XSpacingMaskEdit, 0, 1);
    grid->addWidget(new QLabel("y: ", group), 0, 2);
    grid->addWidget(YSpacingMaskEdit, 0, 3);
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [] { ShowHelpTopic(); });
    layout->addWidget(buttons);
}

TPGMImportOptions TPGMImportForm::Options() const
{
    return {XSpacingMaskEdit->Value(), YSpacingMaskEdit->Value()};
}

void TPGMImportForm::SetOptions(const TPGMImportOptions& o)
{
    XSpacingMaskEdit->SetValue(o.XSpacing);
    YSpacingMaskEdit->SetValue(o.YSpacing);
}

bool RunPGMImportDialog(TPGMImportForm& form, TPGMImportOptions& options)
{
    if (form.exec() != QDialog::Accepted)
        return false;
    options = form.Options();
    return true;
}
