#include "shell/PathDlg.h"

#include "controls/PBFolderDialog.h"
#include "project/WinReg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

const char* PathSettingName(TFPathDlg::TPathField field)
{
    switch (field) {
    case TFPathDlg::Vegetation: return "Plants";
    case TFPathDlg::Models: return "Models";
    case TFPathDlg::Overlays: break;
    }
    return "Overlays";
}

TFPathDlg::TFPathDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Project Preferences"));
    auto* layout = new QGridLayout(this);
    const QString labels[3] = {QStringLiteral("Vegetation path"), QStringLiteral("Models path"),
                               QStringLiteral("Overlays path")};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(labels[i], this);
        edits_[i] = new QLineEdit(this);
        edits_[i]->setMinimumWidth(320);
        label->setBuddy(edits_[i]);
        browse_[i] = new QPushButton(QStringLiteral("..."), this);
        browse_[i]->setFixedWidth(32);
        layout->addWidget(label, i, 0);
        layout->addWidget(edits_[i], i, 1);
        layout->addWidget(browse_[i], i, 2);
        const auto field = static_cast<TPathField>(i);
        connect(browse_[i], &QPushButton::clicked, this, [this, field] { BrowseFolder(field); });
    }
    VegetationEdit = edits_[Vegetation];
    ModelsEdit = edits_[Models];
    OverlaysEdit = edits_[Overlays];

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row, 3, 0, 1, 3);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFPathDlg::BrowseFolder(TPathField field)
{
    QString start = edits_[field]->text();
    start.chop(1); // the stored folders end with a separator
    TPBFolderDialog browser(this);
    browser.SetFolder(start);
    if (!browser.Execute())
        return false;
    QString folder = browser.Folder();
    if (!folder.endsWith('/') && !folder.endsWith('\\'))
        folder += '/';
    edits_[field]->setText(folder);
    TWinRegistry(QuarlexBaseKey).WriteString("Paths", PathSettingName(field), folder.toStdString());
    return true;
}
