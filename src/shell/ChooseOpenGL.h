#pragma once
// TChooseOpenGLDlg: the system settings dialog ("System Settings"): the OpenGL implementation to
// load, whether the renderers draw straight into their window, the refresh period of a background
// render and the templates folder. The main window fills it from the settings, shows it and stores
// it (TMainForm::SystemPreferencesClick); the dialog itself only keeps its controls consistent.
#include "shell/OKBottom.h"

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TChooseOpenGLDlg : public TOKBottomDlg {
    Q_OBJECT
public:
    explicit TChooseOpenGLDlg(QWidget* parent = nullptr);

    QRadioButton* SGIGLRadio;
    QRadioButton* MicrosoftOpenGLRadio;
    QRadioButton* Mesa3dxfRadio;
    QLabel* WarningLabel;
    QCheckBox* RenderCheck;
    QSpinBox* RefreshTimerSpin;
    QLineEdit* TemplatesSourceEdit;
    QPushButton* TemplatesButton;
    QPushButton* HelpBtn;

    // The spin field is enabled exactly when the check box is off.
    void RenderCheckClick();
    // Browses from the field's folder (its text without the last character); a chosen folder goes
    // into the field with a trailing separator. True when a folder was chosen.
    bool TemplatesButtonClick();
    // Opens the page "help/index.htm" of the program's folder with the desktop's viewer.
    bool HelpBtnClick();

    // The implementation name of the checked radio button: "Microsoft", "Mesa" or "SGI".
    std::string CheckedImplementation() const;
    // Checks the button of an implementation name (anything but the exact "Microsoft" and "Mesa"
    // is the SGI pair).
    void CheckImplementation(const std::string& implementation);
    // Locks or unlocks the OpenGL choice and the rendering protocol (a renderer window is open).
    void LockOpenGL(bool locked);
};
