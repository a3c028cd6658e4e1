#include "render/OverlayRender.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "render/GLPanel.h"
#include "render/OverlayRendererEngine.h"
#include "render/script.h"
#include "shell/ShellFixture.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPrinter>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using shelltest::TRecordingPrompt;

class RecordingStatus : public IStatusSink {
public:
    std::vector<std::string> operations;
    std::function<void()> onPump;
    void SetOperationText(const std::string& text) override { operations.push_back(text); }
    void SetStepText(const std::string&) override {}
    void SetProgress(int) override {}
    void SetBusyCursor(bool) override {}
    void ProcessMessages() override
    {
        if (onPump)
            onPump();
    }
    int Renders() const
    {
        int n = 0;
        for (const std::string& s : operations)
            n += s == "Drawing Landscape View";
        return n;
    }
};

void MakeSmallProject(TProject& project)
{
    ASSERT_TRUE(project.NewGrid(9, 9, 10.0, 10.0));
    project.WorldScale = 1.0;
    project.Grid.VerticalScale = 1.0;
    for (int c = 0; c < 9; ++c)
        for (int r = 0; r < 9; ++r)
            project.Grid.Cells[c][r].Height = 0.0;
    project.Camera.Eye = {0, 20, 80}; // the horizon in the upper part of the picture
    project.Camera.Target = {0, 0, 0};
    project.Lighting.LightAltitude = 0.0;
    project.Fractal.FractalDepth = 1;
}

void DeleteClosed()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class OverlayWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shelltest::ClearSettings();
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        previousStatus_ = SetStatusSink(&status);
        previousPrompt_ = SetPrompt(&prompt);
        project = new TProject();
        MakeSmallProject(*project);
        project->Overlays.Directory = dir.path().string() + "/";
    }
    void TearDown() override
    {
        delete form.data();
        DeleteClosed();
        SetOverlayScriptRunner(nullptr);
        SetStatusSink(previousStatus_);
        SetPrompt(previousPrompt_);
        delete project;
        UnloadOpenGLLibraries();
        shelltest::ClearSettings();
    }
    TFOverlayRender& Open()
    {
        form = new TFOverlayRender;
        form->resize(200, 160);
        form->SetProject(&project);
        return *form;
    }

    qxtest::TempDir dir;
    RecordingStatus status;
    TRecordingPrompt prompt;
    TProject* project = nullptr;
    QPointer<TFOverlayRender> form;
    IStatusSink* previousStatus_ = nullptr;
    IPrompt* previousPrompt_ = nullptr;
};

TEST_F(OverlayWindowTest, DrawingPathFollowsTheRenderToWindowSetting)
{
    struct Case {
        const char* name;
        int stored; // -1: not stored
        TPFDFlags flags;
    };
    const Case cases[] = {
        {"default", -1, 56},
        {"off screen", 0, 56},
        {"to the window", 1, 1061},
    };
    for (const Case& c : cases) {
        shelltest::ClearSettings();
        if (c.stored >= 0) {
            ASSERT_TRUE(TWinRegistry(QuarlexBaseKey).WriteBool("OpenGL", "RenderToWindow", c.stored == 1));
        }
        TFOverlayRender window;
        EXPECT_EQ(window.MainGLPanel->GLFlags(), c.flags) << c.name;
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Overlay Renderer"));
        EXPECT_TRUE(window.RedrawToolButton->isEnabled());
        EXPECT_FALSE(window.AbortToolButton->isEnabled());
        EXPECT_EQ(FOverlayRender, &window);
    }
    EXPECT_EQ(FOverlayRender, nullptr) << "the window clears its global when it goes";
}

TEST_F(OverlayWindowTest, SetProjectMarksShadowsStaleAndKeepsEveryPicture)
{
    project->ShadowsOutOfDate = 0;
    TFOverlayRender& window = Open();
    EXPECT_EQ(project->ShadowsOutOfDate, 1);
    EXPECT_TRUE(window.MainGLPanel->GLObjectLoaded);
    EXPECT_EQ(window.Engine->ProjectVar(), &project);
    EXPECT_EQ(window.ProjectVar(), &project);
}

TEST_F(OverlayWindowTest, BothPathsRenderThePicture)
{
    for (bool toWindow : {false, true}) {
        ASSERT_TRUE(TWinRegistry(QuarlexBaseKey).WriteBool("OpenGL", "RenderToWindow", toWindow));
        TFOverlayRender window;
        window.resize(200, 160);
        window.SetProject(&project);
        window.show();
        QApplication::processEvents();
        window.RedrawToolButton->click();
        const QImage picture = window.MainGLPanel->Picture();
        ASSERT_EQ(picture.size(), window.MainGLPanel->size()) << toWindow;
        EXPECT_NE(picture.pixel(picture.width() / 2, 2), qRgb(255, 255, 255)) << "the sky is drawn";
        EXPECT_EQ(window.MainGLPanel->width() % 4, 0);
        EXPECT_EQ(window.SizeEdit->text(),
                  QStringLiteral("%1 x %2").arg(window.MainGLPanel->width()).arg(window.MainGLPanel->height()));
    }
    EXPECT_EQ(status.Renders(), 2);
    EXPECT_EQ(status.operations.back(), "Completed: 0 triangles");
}

TEST_F(OverlayWindowTest, DuringARenderTheWindowIsLockedUntilAborted)
{
    TFOverlayRender& window = Open();
    struct Seen {
        bool redraw = true, abort = false, renderItem = true, locked = false, closed = true;
        int nestedRenders = -1;
    } seen;
    bool acted = false;
    status.onPump = [&] {
        if (acted || !window.Rendering())
            return;
        acted = true;
        seen.redraw = window.RedrawToolButton->isEnabled();
        seen.abort = window.AbortToolButton->isEnabled();
        seen.renderItem = window.RenderMenuItem->isEnabled();
        seen.locked = RenderLocked();
        seen.closed = window.close();
        const int before = status.Renders();
        window.RefreshFromProject();      // a second request meanwhile
        window.RenderMenuItem->trigger(); // and through the menu
        seen.nestedRenders = status.Renders() - before;
        window.AbortToolButton->click();
    };
    window.RefreshFromProject();
    status.onPump = nullptr;
    ASSERT_TRUE(acted);
    EXPECT_FALSE(seen.redraw);
    EXPECT_TRUE(seen.abort);
    EXPECT_FALSE(seen.renderItem);
    EXPECT_TRUE(seen.locked) << "project commands are refused while the render runs";
    EXPECT_FALSE(seen.closed) << "closing is refused during a render";
    EXPECT_EQ(seen.nestedRenders, 0);
    EXPECT_EQ(window.Engine->Aborted, 1);
    DeleteClosed();
    ASSERT_FALSE(form.isNull());

    // Idle again: buttons back, no lock, and the window closes.
    EXPECT_TRUE(window.RedrawToolButton->isEnabled());
    EXPECT_FALSE(window.AbortToolButton->isEnabled());
    EXPECT_TRUE(window.RenderMenuItem->isEnabled());
    EXPECT_FALSE(RenderLocked());
    EXPECT_EQ(status.operations.back(), "Completed: 0 triangles");
    EXPECT_TRUE(window.close());
    DeleteClosed();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(FOverlayRender, nullptr);
}

TEST_F(OverlayWindowTest, SaveAsksForANameOnceAndReusesIt)
{
    TFOverlayRender& window = Open();
    window.RefreshFromProject();
    const std::string first = dir.file("picture"); // the default extension is added
    prompt.saveNames = {first};
    window.SaveClick();
    EXPECT_EQ(prompt.fileDialogs, 1);
    ASSERT_TRUE(std::filesystem::exists(first + ".bmp"));
    EXPECT_EQ(window.PictureFileName(), first + ".bmp");
    QImage saved(QString::fromStdString(first + ".bmp"));
    EXPECT_EQ(saved.size(), window.MainGLPanel->Picture().size());

    std::filesystem::remove(first + ".bmp");
    window.SaveClick();
    EXPECT_EQ(prompt.fileDialogs, 1) << "later saves do not ask";
    EXPECT_TRUE(std::filesystem::exists(first + ".bmp"));

    // Save As into a folder that does not exist: the message, and the old name stays.
    prompt.saveNames = {dir.file("none/x.bmp")};
    window.SaveAsClick();
    EXPECT_TRUE(prompt.Showed("E0058 Error saving image to file"));
    EXPECT_EQ(window.PictureFileName(), first + ".bmp");
    // Cancelled: nothing changes.
    window.SaveAsClick();
    EXPECT_EQ(prompt.fileDialogs, 3);
    EXPECT_EQ(window.PictureFileName(), first + ".bmp");
}

TEST_F(OverlayWindowTest, AFailedFirstSaveAsksAgainNextTime)
{
    TFOverlayRender& window = Open();
    window.RefreshFromProject();
    prompt.saveNames = {dir.file("none/x.bmp"), dir.file("good.bmp")};
    window.SaveClick();
    EXPECT_TRUE(prompt.Showed("E0058 Error saving image to file"));
    EXPECT_TRUE(window.PictureFileName().empty());
    window.SaveClick();
    EXPECT_EQ(prompt.fileDialogs, 2);
    EXPECT_TRUE(std::filesystem::exists(dir.file("good.bmp")));
}

TEST_F(OverlayWindowTest, CopyPrintAndPrinterSetupUseThePanelsPicture)
{
    TFOverlayRender& window = Open();
    window.RefreshFromProject();
    window.CopyMenuItem->trigger();
    EXPECT_EQ(QApplication::clipboard()->image().size(), window.MainGLPanel->Picture().size());

    QPrinter* configured = nullptr;
    window.ExecPrinterSetup = [&](QPrinter& printer) {
        configured = &printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(dir.file("print.pdf")));
        return true;
    };
    window.PrinterSetupMenuItem->trigger();
    EXPECT_EQ(configured, &window.MainGLPanel->Printer());
    window.PrintMenuItem->trigger();
    ASSERT_TRUE(std::filesystem::exists(dir.file("print.pdf")));
    EXPECT_GT(std::filesystem::file_size(dir.file("print.pdf")), 0u);
}

TEST_F(OverlayWindowTest, RunScriptWaitsForItsRunnerAndNeverStartsDuringARender)
{
    TFOverlayRender& window = Open();
    EXPECT_FALSE(window.RunScriptMenuItem->isEnabled());
    window.RunScriptClick(); // nothing to run: nothing happens

    std::vector<TFOverlayRender*> runs;
    struct During {
        bool locked = false, closed = true, itemEnabled = true;
        int rendersBefore = 0, rendersAfter = 0;
    } during;
    SetOverlayScriptRunner([&](TFOverlayRender& w) {
        runs.push_back(&w);
        during.locked = RenderLocked();
        during.closed = w.close();
        during.itemEnabled = w.RunScriptMenuItem->isEnabled();
        w.RunScriptClick(); // no second run inside the first
        during.rendersBefore = status.Renders();
        w.RefreshFromProject(); // the frames render as usual
        during.rendersAfter = status.Renders();
    });
    EXPECT_TRUE(window.RunScriptMenuItem->isEnabled());
    window.RunScriptMenuItem->trigger();
    DeleteClosed();
    ASSERT_FALSE(form.isNull());
    EXPECT_EQ(runs, std::vector<TFOverlayRender*>{&window});
    EXPECT_TRUE(during.locked);
    EXPECT_FALSE(during.closed) << "the window stays while the script runs";
    EXPECT_FALSE(during.itemEnabled);
    EXPECT_EQ(during.rendersAfter, during.rendersBefore + 1);
    EXPECT_FALSE(RenderLocked());
    EXPECT_TRUE(window.RunScriptMenuItem->isEnabled());

    bool enabledDuringRender = true;
    status.onPump = [&] {
        if (!window.Rendering())
            return;
        enabledDuringRender = enabledDuringRender && window.RunScriptMenuItem->isEnabled();
        window.RunScriptClick();
    };
    window.RefreshFromProject();
    status.onPump = nullptr;
    EXPECT_FALSE(enabledDuringRender);
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_TRUE(window.RunScriptMenuItem->isEnabled());
}

// ---- With the main window ----------------------------------------------------------------------

class OverlayWindowShellTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        shelltest::ShellTest::SetUp();
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        TMainForm::RegisterChildWindow(TChildKind::OverlayRender, [] { return new TFOverlayRender; });
    }
    void TearDown() override
    {
        shelltest::ShellTest::TearDown();
        SetStatusSink(nullptr);
        UnloadOpenGLLibraries();
    }
    RecordingStatus status;
};

TEST_F(OverlayWindowShellTest, TheMainWindowRefusesProjectCommandsAndClosingDuringARender)
{
    TMainFormOptions options = Options();
    options.InstallStatusSink = false;
    form = std::make_unique<TMainForm>(options);
    TMainForm& main = *form;
    SetStatusSink(&status);
    ASSERT_NE(CurrentProject, nullptr);
    MakeSmallProject(*CurrentProject);
    QPointer<TFBaseForm> window = main.OpenChildWindow(TChildKind::OverlayRender);
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(FOverlayRender, window.data());
    EXPECT_FALSE(main.MenuItemOf(TChildKind::OverlayRender)->isEnabled());
    EXPECT_EQ(main.SubWindowOf(window)->geometry(), main.MdiArea->viewport()->rect()) << "it fills the client area";

    TProject* before = CurrentProject;
    bool acted = false, subWindowClosed = true;
    status.onPump = [&] {
        if (acted || !FOverlayRender || !FOverlayRender->Rendering())
            return;
        acted = true;
        main.NewProjectMenuItemClick();
        subWindowClosed = main.SubWindowOf(window)->close();
        FOverlayRender->AbortToolButtonClick();
    };
    window->RefreshFromProject();
    status.onPump = nullptr;
    DeleteClosed();
    ASSERT_TRUE(acted);
    EXPECT_TRUE(prompt.Showed(BusyMessage));
    EXPECT_EQ(CurrentProject, before);
    EXPECT_FALSE(subWindowClosed);
    ASSERT_FALSE(window.isNull());

    EXPECT_TRUE(main.SubWindowOf(window)->close());
    DeleteClosed();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(FOverlayRender, nullptr);
    EXPECT_TRUE(main.MenuItemOf(TChildKind::OverlayRender)->isEnabled());
}

} // namespace

TEST_F(OverlayWindowTest, TheInstalledScriptRunRendersAndSavesEveryFrame)
{
    TFOverlayRender& window = Open();
    SetOverlayScriptRunner(RunOverlayAnimation);
    const std::string script = dir.file("path.srp");
    qxtest::WriteFileText(script, "[Path Data]\n"
                                  "FRAME-0=100:20:200:0:40:0:0:0:0\n"
                                  "FRAME-1=100:21:200:0:40:0:0:0:0\n");
    std::filesystem::create_directory(dir.path() / "frames");
    TRunScriptDlg& dialog = EnsureRunScriptDlg(&window);
    dialog.ScriptSourceEdit->setText(QString::fromStdString(script));
    dialog.DirectoryEdit->setText(QString::fromStdString(dir.file("frames")));
    dialog.PrefixEdit->setText(QStringLiteral("shot"));
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.accept(); });
    window.RunScriptMenuItem->trigger();
    for (const char* name : {"shot0.bmp", "shot1.bmp"}) {
        QImage saved(QString::fromStdString(dir.file(std::string("frames/") + name)));
        EXPECT_FALSE(saved.isNull()) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("frames/shot2.bmp")));
    EXPECT_FALSE(RenderLocked());
}
