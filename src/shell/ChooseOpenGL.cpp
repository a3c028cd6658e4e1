#include "shell/ChooseOpenGL.h"

#include "controls/PBFolderDialog.h"
#include "project/Messages.h"
#include "project/WinReg.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

TChooseOpenGLDlg::TChooseOpenGLDlg(QWidget* parent) : TOKBottomDlg(parent)
{
    setWindowTitle(QStringLiteral("System Settings"));
    auto* layout = new QVBoxLayout(Content());
    auto text = [this](const QString& caption, bool heading) {
        auto* label = new QLabel(caption, this);
        label->setWordWrap(true);
        if (heading) {
            QFont font = label->font();
            font.setBold(true);
            label->setFont(font);
        }
        return label;
    };

    layout->addWidget(text(QStringLiteral("OpenGL Drivers"), true));
    layout->addWidget(text(QStringLiteral(
        "QuarlexII can use any one of several OpenGL implementations.  We recommend the SGI Software "
        "implementation delivered with the product as it produces reliable results, but you may prefer to "
        "use a hardware implementation.  Please see the help for details."), false));
    SGIGLRadio = new QRadioButton(QStringLiteral("SGI Software OpenGL"), this);
    MicrosoftOpenGLRadio = new QRadioButton(QStringLiteral("Hardware/Microsoft OpenGL"), this);
    Mesa3dxfRadio = new QRadioButton(QStringLiteral("Mesa GL"), this);
    for (QRadioButton* radio : {SGIGLRadio, MicrosoftOpenGLRadio, Mesa3dxfRadio})
        layout->addWidget(radio);
    WarningLabel = text(QStringLiteral("Render windows must be closed to change OpenGL settings"), false);
    WarningLabel->setStyleSheet(QStringLiteral("color: #c00000"));
    WarningLabel->setVisible(false);
    layout->addWidget(WarningLabel);

    layout->addWidget(text(QStringLiteral("OpenGL Rendering Protocol"), true));
    layout->addWidget(text(QStringLiteral(
        "By default QuarlexII will render in background and periodically update the rendering window.  On "
        "some systems OpenGL can render direct to the window itself, this is faster but can produce errors "
        "on incompatible systems.  Please see help for details."), false));
    RenderCheck = new QCheckBox(QStringLiteral("Render direct to window."), this);
    layout->addWidget(RenderCheck);
    auto* refresh = new QHBoxLayout;
    auto* refreshLabel = new QLabel(QStringLiteral("Refresh rate (seconds)"), this);
    RefreshTimerSpin = new QSpinBox(this);
    RefreshTimerSpin->setRange(2, 60);
    RefreshTimerSpin->setValue(5);
    refreshLabel->setBuddy(RefreshTimerSpin);
    refresh->addWidget(refreshLabel);
    refresh->addWidget(RefreshTimerSpin);
    refresh->addStretch(1);
    layout->addLayout(refresh);

    auto* paths = new QGroupBox(QStringLiteral("Global Paths"), this);
    auto* pathsLayout = new QHBoxLayout(paths);
    auto* templatesLabel = new QLabel(QStringLiteral("Templates"), paths);
    TemplatesSourceEdit = new QLineEdit(paths);
    TemplatesSourceEdit->setMinimumWidth(280);
    templatesLabel->setBuddy(TemplatesSourceEdit);
    TemplatesButton = new QPushButton(QStringLiteral("..."), paths);
    TemplatesButton->setFixedWidth(32);
    pathsLayout->addWidget(templatesLabel);
    pathsLayout->addWidget(TemplatesSourceEdit, 1);
    pathsLayout->addWidget(TemplatesButton);
    layout->addWidget(paths);

    HelpBtn = new QPushButton(QStringLiteral("&Help"), this);
    ButtonRow()->addWidget(HelpBtn);

    connect(RenderCheck, &QCheckBox::clicked, this, [this] { RenderCheckClick(); });
    connect(TemplatesButton, &QPushButton::clicked, this, [this] { TemplatesButtonClick(); });
    connect(HelpBtn, &QPushButton::clicked, this, [this] { HelpBtnClick(); });
}

void TChooseOpenGLDlg::RenderCheckClick() { RefreshTimerSpin->setEnabled(!RenderCheck->isChecked()); }

bool TChooseOpenGLDlg::TemplatesButtonClick()
{
    QString start = TemplatesSourceEdit->text();
    start.chop(1); // the stored folder ends with a separator
    TPBFolderDialog browser(this);
    browser.SetFolder(start);
    if (!browser.Execute())
        return false;
    QString folder = browser.Folder();
    if (!folder.endsWith('/') && !folder.endsWith('\\'))
        folder += '/';
    TemplatesSourceEdit->setText(folder);
    return true;
}

bool TChooseOpenGLDlg::HelpBtnClick()
{
    const QString page = QString::fromStdString(ProgramFolder()) + QStringLiteral("help/index.htm");
    if (!QFileInfo(page).isFile()) {
        ShowMessage("The help page " + page.toStdString() + " was not found.");
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        ShowMessage("The help page " + page.toStdString() + " could not be opened: no viewer is available.");
        return false;
    }
    return true;
}

std::string TChooseOpenGLDlg::CheckedImplementation() const
{
    if (MicrosoftOpenGLRadio->isChecked())
        return "Microsoft";
    if (Mesa3dxfRadio->isChecked())
        return "Mesa";
    return "SGI";
}

void TChooseOpenGLDlg::CheckImplementation(const std::string& implementation)
{
    if (implementation == "Microsoft")
        MicrosoftOpenGLRadio->setChecked(true);
    else if (implementation == "Mesa")
        Mesa3dxfRadio->setChecked(true);
    else
        SGIGLRadio->setChecked(true);
}

void TChooseOpenGLDlg::LockOpenGL(bool locked)
{
    for (QWidget* control : {static_cast<QWidget*>(SGIGLRadio), static_cast<QWidget*>(MicrosoftOpenGLRadio),
                             static_cast<QWidget*>(Mesa3dxfRadio), static_cast<QWidget*>(RenderCheck),
                             static_cast<QWidget*>(RefreshTimerSpin)})
        control->setEnabled(!locked);
    WarningLabel->setVisible(locked);
}
