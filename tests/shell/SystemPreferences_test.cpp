// The system preferences dialog and the OpenGL choice.
#include "ShellFixture.h"

#include "controls/uOutBar.h"
#include "shell/ChooseOpenGL.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace shelltest;

namespace {

class SystemPreferencesTest : public ShellTest {
protected:
    // Runs the command; `answer` sees the dialog and then accepts (true) or cancels it.
    void RunPreferences(TMainForm& main, std::function<bool(TChooseOpenGLDlg&)> answer)
    {
        AnswerNextModal([answer](QWidget* modal) {
            auto* dialog = qobject_cast<TChooseOpenGLDlg*>(modal);
            ASSERT_NE(dialog, nullptr);
            if (answer(*dialog))
                dialog->OKBtn()->click();
            else
                dialog->CancelBtn()->click();
        });
        main.SystemPreferencesMenuItem->trigger();
    }
    TWinRegistry Settings() { return TWinRegistry(QuarlexBaseKey); }
};

TEST_F(SystemPreferencesTest, DialogShowsTheStoredSettings)
{
    struct Case {
        const char* stored; // "" leaves the settings empty
        bool renderToWindow;
        int refresh;
        const char* checked;
    };
    const Case cases[] = {
        {"", false, 5, "SGI"},
        {"Mesa", true, 12, "Mesa"},
        {"Microsoft", false, 60, "Microsoft"},
        {"microsoft", false, 2, "SGI"}, // only the exact name picks the hardware pair
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ClearSettings();
        if (*c.stored) {
            Settings().WriteString("OpenGL", "Implementation", c.stored);
            Settings().WriteBool("OpenGL", "RenderToWindow", c.renderToWindow);
            Settings().WriteInteger("OpenGL", "RefreshRate", c.refresh);
            Settings().WriteString("Paths", "Templates", "/data/templates/");
        }
        TMainForm& main = Start();
        std::string checked, templates;
        bool render = false, spinEnabled = false, warning = true, radiosEnabled = false;
        int refresh = 0;
        RunPreferences(main, [&](TChooseOpenGLDlg& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "System Settings");
            checked = dialog.CheckedImplementation();
            render = dialog.RenderCheck->isChecked();
            refresh = dialog.RefreshTimerSpin->value();
            spinEnabled = dialog.RefreshTimerSpin->isEnabled();
            templates = dialog.TemplatesSourceEdit->text().toStdString();
            warning = dialog.WarningLabel->isVisible();
            radiosEnabled = dialog.SGIGLRadio->isEnabled() && dialog.Mesa3dxfRadio->isEnabled();
            return false;
        });
        EXPECT_EQ(checked, c.checked);
        EXPECT_EQ(render, c.renderToWindow);
        EXPECT_EQ(refresh, c.refresh);
        EXPECT_EQ(spinEnabled, !c.renderToWindow);
        EXPECT_EQ(templates, *c.stored ? "/data/templates/" : ProgramFolder() + "Templates/");
        EXPECT_FALSE(warning);
        EXPECT_TRUE(radiosEnabled);
        form.reset();
    }
}

TEST_F(SystemPreferencesTest, OkStoresTheSettingsAndReloadsTheChosenPair)
{
    struct Case { QRadioButton* TChooseOpenGLDlg::*radio; const char* stored; };
    const Case cases[] = {
        {&TChooseOpenGLDlg::Mesa3dxfRadio, "Mesa"},
        {&TChooseOpenGLDlg::MicrosoftOpenGLRadio, "Microsoft"},
        {&TChooseOpenGLDlg::SGIGLRadio, "SGI"},
    };
    RegisterProbe<TProbeForm>(TChildKind::Camera);
    TMainForm& main = Start();
    auto* camera = static_cast<TProbeForm*>(main.OpenChildWindow(TChildKind::Camera));
    ASSERT_NE(camera, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        const int unloads = glUnloads;
        const int refreshes = camera->refreshes;
        RunPreferences(main, [&](TChooseOpenGLDlg& dialog) {
            (dialog.*c.radio)->setChecked(true);
            dialog.RenderCheck->click(); // the spin field follows the check box
            EXPECT_EQ(dialog.RefreshTimerSpin->isEnabled(), !dialog.RenderCheck->isChecked());
            dialog.RenderCheck->setChecked(false);
            dialog.RefreshTimerSpin->setValue(17);
            dialog.TemplatesSourceEdit->setText("/srv/templates/");
            return true;
        });
        EXPECT_EQ(Settings().ReadString("OpenGL", "Implementation", ""), c.stored);
        EXPECT_EQ(Settings().ReadInteger("OpenGL", "RefreshRate", 0), 17);
        EXPECT_FALSE(Settings().ReadBool("OpenGL", "RenderToWindow", true));
        EXPECT_EQ(Settings().ReadString("Paths", "Templates", ""), "/srv/templates/");
        EXPECT_EQ(glUnloads, unloads + 1);
        ASSERT_FALSE(loadedImplementations.empty());
        EXPECT_EQ(loadedImplementations.back(), c.stored);
        EXPECT_EQ(main.OpenGLImplementation, c.stored);
        EXPECT_EQ(camera->refreshes, refreshes + 1);
    }
    EXPECT_TRUE(prompt.messages.empty());
    // The start-up value for the SGI pair is not written again here.
    QSettings(QSettings::IniFormat, QSettings::SystemScope, "Silicon Graphics").clear();
    RunPreferences(main, [](TChooseOpenGLDlg&) { return true; });
    EXPECT_EQ(TWinRegistry(TRegistryRoot::LocalMachine, SiliconGraphicsBaseKey).ReadInteger("OpenGL", "OverrideDispatch", 0), 0);
}

TEST_F(SystemPreferencesTest, CancelStoresNothingButRefreshesTheEditors)
{
    RegisterProbe<TProbeForm>(TChildKind::Camera);
    TMainForm& main = Start();
    auto* camera = static_cast<TProbeForm*>(main.OpenChildWindow(TChildKind::Camera));
    const size_t loads = loadedImplementations.size();
    const int refreshes = camera->refreshes;
    RunPreferences(main, [](TChooseOpenGLDlg& dialog) {
        dialog.Mesa3dxfRadio->setChecked(true);
        dialog.RefreshTimerSpin->setValue(30);
        return false;
    });
    EXPECT_EQ(Settings().ReadString("OpenGL", "Implementation", "none"), "none");
    EXPECT_EQ(Settings().ReadInteger("OpenGL", "RefreshRate", -1), -1);
    EXPECT_EQ(loadedImplementations.size(), loads);
    EXPECT_EQ(glUnloads, 0);
    EXPECT_EQ(camera->refreshes, refreshes + 1);
}

TEST_F(SystemPreferencesTest, OpenRendererLocksTheOpenGLChoice)
{
    RegisterProbe<TProbeForm>(TChildKind::FractalRender);
    TMainForm& main = Start();
    auto* renderer = static_cast<TProbeForm*>(main.OpenChildWindow(TChildKind::FractalRender));
    ASSERT_NE(renderer, nullptr);
    const size_t loads = loadedImplementations.size();
    bool locked = false, warning = false;
    RunPreferences(main, [&](TChooseOpenGLDlg& dialog) {
        locked = !dialog.SGIGLRadio->isEnabled() && !dialog.MicrosoftOpenGLRadio->isEnabled()
                 && !dialog.Mesa3dxfRadio->isEnabled() && !dialog.RenderCheck->isEnabled()
                 && !dialog.RefreshTimerSpin->isEnabled();
        warning = dialog.WarningLabel->isVisible();
        dialog.TemplatesSourceEdit->setText("/srv/t/");
        return true;
    });
    EXPECT_TRUE(locked);
    EXPECT_TRUE(warning);
    // Stored, but the libraries the renderer uses stay loaded.
    EXPECT_EQ(Settings().ReadString("Paths", "Templates", ""), "/srv/t/");
    EXPECT_EQ(Settings().ReadString("OpenGL", "Implementation", ""), "SGI");
    EXPECT_EQ(loadedImplementations.size(), loads);
    EXPECT_EQ(glUnloads, 0);
    EXPECT_GE(renderer->renderSettings, 1);

    // Closed again: the next dialog is unlocked.
    main.SubWindowOf(renderer)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    RunPreferences(main, [&](TChooseOpenGLDlg& dialog) {
        locked = !dialog.SGIGLRadio->isEnabled();
        warning = dialog.WarningLabel->isVisible();
        return false;
    });
    EXPECT_FALSE(locked);
    EXPECT_FALSE(warning);
}

TEST_F(SystemPreferencesTest, FailedLoadIsReportedAndTheChoiceKept)
{
    TMainForm& main = Start();
    glLoads = false;
    RunPreferences(main, [](TChooseOpenGLDlg& dialog) {
        dialog.MicrosoftOpenGLRadio->setChecked(true);
        return true;
    });
    EXPECT_TRUE(prompt.Showed(OpenGLFailedMessage));
    EXPECT_EQ(Settings().ReadString("OpenGL", "Implementation", ""), "Microsoft");
    // Nothing is loaded now, so shutting down unloads nothing more.
    const int unloads = glUnloads;
    form.reset();
    EXPECT_EQ(glUnloads, unloads);
}

TEST_F(SystemPreferencesTest, TemplatesButtonBrowsesFromTheFieldsFolder)
{
    TChooseOpenGLDlg dialog;
    dialog.TemplatesSourceEdit->setText("/data/old/");
    prompt.folders.push_back(dir.path().string());
    EXPECT_TRUE(dialog.TemplatesButtonClick());
    ASSERT_EQ(prompt.folderStarts.size(), 1u);
    EXPECT_EQ(prompt.folderStarts[0], "/data/old");
    EXPECT_EQ(dialog.TemplatesSourceEdit->text().toStdString(), dir.path().string() + "/");
    // Cancelled: the field stays.
    EXPECT_FALSE(dialog.TemplatesButtonClick());
    EXPECT_EQ(dialog.TemplatesSourceEdit->text().toStdString(), dir.path().string() + "/");
}

} // namespace
