#include "heightgrid/bmpimport.h"

#include "controls/FloatEdit.h"
#include "shell/Help.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

QPointer<TBMPImportForm> BMPImportForm;

namespace {

TFloatEdit* Spacing(QWidget* parent, const char* name, double value)
{
    auto* e = new TFloatEdit(parent);
    e->setObjectName(name);
    e->SetDigits(1);
    e->SetMin(kSpacingMin);
    e->SetMax(kSpacingMax);
    e->SetValue(value);
    return e;
}

} // namespace

TBMPImportForm::TBMPImportForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("BMPImportForm");
    setWindowTitle("BMP Import Parameters");
    auto* layout = new QVBoxLayout(this);
    auto* order = new QGroupBox("Red/Green/Blue order", this);
    auto* orderLayout = new QVBoxLayout(order);
    auto radio = [&](const char* name, const char* caption) {
        auto* r = new QRadioButton(caption, order);
        r->setObjectName(name);
        orderLayout->addWidget(r);
        return r;
    };
    RGBRadio = radio("RGBRadio", "Red Green Blue");
    RBGRadio = radio("RBGRadio", "Red Blue Green ");
    GBRRadio = radio("GBRRadio", "Green Blue Red ");
    GRBRadio = radio("GRBRadio", "Green Red Blue ");
    BRGRadio = radio("BRGRadio", "Blue Red Green ");
    BGRRadio = radio("BGRRadio", "Blue Green Red ");
    RGBRadio->setChecked(true);
    layout->addWidget(order);

    auto* grid = new QGridLayout;
    MaxHeightEdit = new QSpinBox(this);
    MaxHeightEdit->setObjectName("MaxHeightEdit");
    MaxHeightEdit->setRange(kBMPMaxHeightMin, kBMPMaxHeightMax);
    MaxHeightEdit->setValue(1000);
    grid->addWidget(new QLabel("Maximum Height", this), 0, 0);
    grid->addWidget(MaxHeightEdit, 0, 1, 1, 3);
    XGridSpacingEdit = Spacing(this, "XGridSpacingEdit", 0.1);
    YGridSpacingEdit = Spacing(this, "YGridSpacingEdit", 0.1);
    grid->addWidget(new QLabel("Grid spacing (Mtrs) x: ", this), 1, 0);
    grid->addWidget(XGridSpacingEdit, 1, 1);
    grid->addWidget(new QLabel(" y: ", this), 1, 2);
    grid->addWidget(YGridSpacingEdit, 1, 3);
    layout->addLayout(grid);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::helpRequested, this, [] { ShowHelpTopic(); });
    layout->addWidget(buttons);
}

TBMPImportOptions TBMPImportForm::Options() const
{
    TBMPImportOptions o;
    const std::pair<QRadioButton*, TChannelOrder> radios[] = {
        {RGBRadio, TChannelOrder::RGB}, {RBGRadio, TChannelOrder::RBG}, {GBRRadio, TChannelOrder::GBR},
        {GRBRadio, TChannelOrder::GRB}, {BRGRadio, TChannelOrder::BRG}, {BGRRadio, TChannelOrder::BGR}};
    o.Order = TChannelOrder::None;
    for (const auto& [r, order] : radios)
        if (r->isChecked())
            o.Order = order;
    o.MaxHeight = MaxHeightEdit->value();
    o.XSpacing = XGridSpacingEdit->Value();
    o.YSpacing = YGridSpacingEdit->Value();
    return o;
}

void TBMPImportForm::SetOptions(const TBMPImportOptions& o)
{
    QRadioButton* radios[] = {RGBRadio, RBGRadio, GBRRadio, GRBRadio, BRGRadio, BGRRadio};
    const int k = int(o.Order);
    if (k >= 0 && k < 6)
        radios[k]->setChecked(true);
    MaxHeightEdit->setValue(o.MaxHeight);
    XGridSpacingEdit->SetValue(o.XSpacing);
    YGridSpacingEdit->SetValue(o.YSpacing);
}

bool RunBMPImportDialog(TBMPImportForm& form, TBMPImportOptions& options)
{
    if (form.exec() != QDialog::Accepted)
        return false;
    options = form.Options();
    return true;
}
