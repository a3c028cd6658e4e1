#include "render/FractalRender.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "render/FractalRendererEngine.h"
#include "render/GLPanel.h"
#include "render/SyntheticLandscape.h"
#include "shell/ShellFixture.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// An engine whose render a test writes; without a body it is the real engine.
class TScriptedEngine : public TFractalRenderEngine {
public:
    std::function<void(TScriptedEngine&, TGLPanel&)> body;
    int renders = 0;
    void Render(TGLPanel& panel) override
    {
        ++renders;
        if (body)
            body(*this, panel);
        else
            TFractalRenderEngine::Render(panel);
    }
    // What a long render does between its steps: let messages run until the user aborts.
    void PumpUntilAborted()
    {
        Aborted = 0;
        for (int i = 0; i < 2000 && !Aborted; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
    }
};

class TRecordingSink : public IStatusSink {
public:
    std::vector<std::string> operations, steps;
    std::vector<int> progress;
    std::function<void()> onPump; // runs before the messages
    void SetOperationText(const std::string& text) override { operations.push_back(text); }
    void SetStepText(const std::string& text) override { steps.push_back(text); }
    void SetProgress(int percent) override { progress.push_back(percent); }
    void SetBusyCursor(bool) override {}
    void ProcessMessages() override
    {
        if (onPump)
            onPump();
        QCoreApplication::processEvents();
    }
};

// Where the elapsed time that ends a completion text (" in h:mm:ss") starts; npos without one.
std::size_t ElapsedTimeAt(const std::string& text)
{
    const std::size_t at = text.rfind(" in ");
    if (at == std::string::npos || text.size() < at + 11)
        return std::string::npos;
    const std::string time = text.substr(at + 4);
    const std::size_t hours = time.size() - 6; // digits up to the first colon
    bool wellFormed = time[hours] == ':' && time[hours + 3] == ':';
    for (std::size_t i = 0; wellFormed && i < time.size(); ++i)
        wellFormed = i == hours || i == hours + 3 || std::isdigit(static_cast<unsigned char>(time[i]));
    return wellFormed ? at : std::string::npos;
}

// The texts as they read on any machine: how long the render took is the machine's, not the
// render's, so the elapsed time is masked.
std::vector<std::string> WithElapsedTimeMasked(std::vector<std::string> texts)
{
    for (std::string& text : texts)
        if (const std::size_t at = ElapsedTimeAt(text); at != std::string::npos)
            text = text.substr(0, at) + " in h:mm:ss";
    return texts;
}

// Counts the broadcasts of one message number.
class TMessageCounter : public QObject {
public:
    explicit TMessageCounter(uint32_t number)
    {
        RegisterMessageForm(this, [this, number](TAppMessage& message) {
            if (message.Msg == number) {
                ++count;
                parameters.push_back({message.WParam, message.LParam});
            }
        });
    }
    int count = 0;
    std::vector<std::pair<uint32_t, uint32_t>> parameters;
};

class FractalRenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shelltest::ClearSettings();
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        previousPrompt_ = SetPrompt(&prompt);
        previousSink_ = SetStatusSink(&sink);
        project = std::make_unique<TProject>();
        ASSERT_TRUE(project->NewGrid(16, 16, 30.0, 30.0));
        project->Grid.MaxHeight = 100;
        current = project.get();
    }
    void TearDown() override
    {
        for (QPointer<TFFractalRender>& window : windows_)
            delete window.data();
        QCoreApplication::processEvents();
        SetStatusSink(previousSink_);
        SetPrompt(previousPrompt_);
        UnloadOpenGLLibraries();
        shelltest::ClearSettings();
    }
    // The fixture's project becomes a small synthetic landscape (18 x 18) at this fractal depth.
    bool UseSyntheticLandscape(int depth)
    {
        TSyntheticLandscapeOptions options;
        options.Size = 18;
        options.FractalDepth = depth;
        project = MakeSyntheticLandscape(options);
        current = project.get();
        return current != nullptr;
    }
    // A window on the fixture's project, with a scripted engine.
    TFFractalRender& Open()
    {
        auto* window = new TFFractalRender;
        windows_.push_back(window);
        auto scripted = std::make_unique<TScriptedEngine>();
        engine = scripted.get();
        window->ReplaceEngine(std::move(scripted));
        window->SetProject(&current);
        return *window;
    }
    // Gives the window a client area of width x height below its menu bar.
    static void SetClientSize(TFFractalRender& window, int width, int height)
    {
        window.resize(width, height + window.MenuBar->sizeHint().height());
    }
    static bool Idle(const TFFractalRender& window)
    {
        return window.RedrawToolButton->isEnabled() && !window.AbortToolButton->isEnabled()
               && window.RenderImageItem->isEnabled() && window.RunScriptItem->isEnabled() && !RenderLocked();
    }

    shelltest::TRecordingPrompt prompt;
    TRecordingSink sink;
    qxtest::TempDir dir;
    std::unique_ptr<TProject> project;
    TProject* current = nullptr;
    TScriptedEngine* engine = nullptr;

private:
    std::vector<QPointer<TFFractalRender>> windows_;
    IPrompt* previousPrompt_ = nullptr;
    IStatusSink* previousSink_ = nullptr;
};

TEST_F(FractalRenderTest, RenderToWindowSettingChoosesThePanelFlags)
{
    struct Case {
        int stored; // -1: not stored
        TPFDFlags flags;
    };
    for (const Case& c : {Case{-1, 56u}, Case{0, 56u}, Case{1, 1061u}}) {
        shelltest::ClearSettings();
        if (c.stored >= 0)
            TWinRegistry(QuarlexBaseKey).WriteBool("OpenGL", "RenderToWindow", c.stored == 1);
        TFFractalRender window;
        EXPECT_EQ(window.MainGLPanel->GLFlags(), c.flags) << c.stored;
    }
}

TEST_F(FractalRenderTest, SetProjectLoadsTheControlsWithoutWritingBack)
{
    TMessageCounter messages(WM_FRACTALDEPTHCHANGED);
    project->Fractal.FractalDepth = 7; // outside the spin edit's range
    project->Fractal.DrawNoModels = 0;
    project->Fractal.PreviewMode = 1;
    project->ShadowsOutOfDate = 0;
    TFFractalRender& window = Open();
    EXPECT_EQ(window.FractalDepthEdit->value(), 4);
    EXPECT_TRUE(window.DrawNoModelsCheck->isChecked());
    EXPECT_TRUE(window.PreviewModeCheck->isChecked());
    EXPECT_EQ(project->Fractal.FractalDepth, 7);
    EXPECT_EQ(project->ShadowsOutOfDate, 1);
    EXPECT_TRUE(window.MainGLPanel->GLObjectLoaded);
    // The reverse direction: another window changed the settings and the main window refreshes.
    project->Fractal.FractalDepth = 2;
    project->Fractal.DrawNoModels = 1;
    window.RefreshRenderSettings();
    EXPECT_EQ(window.FractalDepthEdit->value(), 2);
    EXPECT_FALSE(window.DrawNoModelsCheck->isChecked());
    EXPECT_EQ(messages.count, 0);
}

TEST_F(FractalRenderTest, DepthAndModelsChangesBroadcastOnlyRealChanges)
{
    struct Case {
        const char* name;
        std::function<void(TFFractalRender&)> change;
        int messages;
        int depth;
        uint8_t drawNoModels;
    };
    const Case cases[] = {
        {"depth set to the value held", [](TFFractalRender& w) { w.FractalDepthEdit->setValue(2); }, 0, 2, 1},
        {"depth set to another value", [](TFFractalRender& w) { w.FractalDepthEdit->setValue(3); }, 1, 3, 1},
        {"models box ticked", [](TFFractalRender& w) { w.DrawNoModelsCheck->setChecked(true); }, 1, 2, 0},
        {"models box ticked and unticked", [](TFFractalRender& w) {
             w.DrawNoModelsCheck->setChecked(true);
             w.DrawNoModelsCheck->setChecked(false);
         }, 2, 2, 1},
        {"preview switched", [](TFFractalRender& w) { w.PreviewModeCheck->setChecked(true); }, 0, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        project->Fractal.FractalDepth = 2;
        project->Fractal.DrawNoModels = 1;
        TFFractalRender& window = Open();
        TMessageCounter messages(WM_FRACTALDEPTHCHANGED);
        c.change(window);
        EXPECT_EQ(messages.count, c.messages);
        for (const auto& [wParam, lParam] : messages.parameters) {
            EXPECT_EQ(wParam, 0u);
            EXPECT_EQ(lParam, 0u);
        }
        EXPECT_EQ(project->Fractal.FractalDepth, c.depth);
        EXPECT_EQ(project->Fractal.DrawNoModels, c.drawNoModels);
    }
    TFFractalRender& window = Open();
    window.PreviewModeCheck->setChecked(true);
    EXPECT_EQ(project->Fractal.PreviewMode, 1);
}

TEST_F(FractalRenderTest, PictureSizeFollowsTheClientArea)
{
    TFFractalRender& window = Open();
    SetClientSize(window, 400, 328);
    ASSERT_EQ(window.ClientWidth(), 400);
    ASSERT_EQ(window.ClientHeight(), 328);
    struct Case {
        QAction* item;
        QSize picture;
    };
    const Case cases[] = {
        {window.N2XItem, {800, 628}},
        {window.N3XItem, {1200, 956}},
        {window.NWindowSizeItem, {400, 300}},
    };
    for (const Case& c : cases) {
        c.item->trigger();
        EXPECT_EQ(window.SizeEdit->text().toStdString(),
                  std::to_string(c.picture.width()) + " x " + std::to_string(c.picture.height()));
        ASSERT_TRUE(window.RenderPicture());
        EXPECT_EQ(window.MainGLPanel->Picture().size(), c.picture);
    }
}

TEST_F(FractalRenderTest, ClosingIsRefusedUntilTheAbortedRenderEnds)
{
    TFFractalRender& window = Open();
    QPointer<TFFractalRender> alive(&window);
    bool closeRefused = false, commandsDisabled = false, locked = false;
    engine->body = [&](TScriptedEngine& e, TGLPanel&) {
        QTimer::singleShot(0, [&] {
            closeRefused = !window.close();
            commandsDisabled = !window.RedrawToolButton->isEnabled() && window.AbortToolButton->isEnabled()
                               && !window.RenderImageItem->isEnabled() && !window.RunScriptItem->isEnabled();
            locked = RenderLocked();
            window.AbortToolButton->click();
        });
        e.PumpUntilAborted();
    };
    EXPECT_TRUE(window.RenderPicture()); // an aborted render is no failure
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(commandsDisabled);
    EXPECT_TRUE(locked);
    EXPECT_EQ(engine->Aborted, 1);
    ASSERT_TRUE(alive);
    EXPECT_TRUE(Idle(window));
    EXPECT_TRUE(window.close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(alive);
}

// The same project rendered by an engine alone into a bare panel of the given size.
QImage EngineAlonePicture(TProject*& project, int width, int height)
{
    TFractalRenderEngine engine;
    engine.SetProject(&project);
    TGLPanel panel;
    panel.resize(width, height);
    panel.GLObjectLoaded = true;
    panel.OnGLDraw = [&](TGLPanel& p) { engine.Render(p); };
    project->ShadowsOutOfDate = 1;
    panel.Redraw();
    EXPECT_TRUE(engine.LastError.empty()) << engine.LastError;
    return panel.Picture().convertToFormat(QImage::Format_RGB32);
}

TEST_F(FractalRenderTest, WindowShowsThePictureTheEngineDrawsAlone)
{
    ASSERT_TRUE(UseSyntheticLandscape(2));
    // Water mirrors the colours that the render before left on the grid: every compared render
    // follows one of the same picture.
    EngineAlonePicture(current, 160, 120);
    const QImage alone = EngineAlonePicture(current, 160, 120);
    ASSERT_EQ(alone.size(), QSize(160, 120));
    // A picture worth comparing: land, water and sky, not one cleared colour.
    std::vector<QRgb> colours(reinterpret_cast<const QRgb*>(alone.constBits()),
                              reinterpret_cast<const QRgb*>(alone.constBits()) + 160 * 120);
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 50);

    for (const bool toWindow : {false, true}) {
        SCOPED_TRACE(toWindow ? "drawn to the window" : "drawn to a bitmap");
        TWinRegistry(QuarlexBaseKey).WriteBool("OpenGL", "RenderToWindow", toWindow);
        TFFractalRender& window = Open();
        engine->body = nullptr;
        window.SetRenderSize(160, 120);
        current->ShadowsOutOfDate = 1;
        ASSERT_TRUE(window.RenderPicture());
        const QImage shown = window.MainGLPanel->Picture().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), alone.size());
        int differ = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                differ += (shown.pixel(x, y) & 0xFFFFFF) != (alone.pixel(x, y) & 0xFFFFFF);
        EXPECT_EQ(differ, 0);
    }
}

TEST_F(FractalRenderTest, StatusReportsOfAWindowRenderAreTheEnginesInOrder)
{
    ASSERT_TRUE(UseSyntheticLandscape(1));
    EngineAlonePicture(current, 64, 48);
    const TRecordingSink alone = sink;
    ASSERT_FALSE(alone.progress.empty());

    sink.operations.clear();
    sink.steps.clear();
    sink.progress.clear();
    TFFractalRender& window = Open();
    engine->body = nullptr;
    window.SetRenderSize(64, 48);
    current->ShadowsOutOfDate = 1;
    ASSERT_TRUE(window.RenderPicture());
    // Every text, the completion text last (its triangle count included, its elapsed time being
    // the machine's); the meter may skip values but never invents one, never goes back, and is
    // cleared at the end.
    EXPECT_EQ(WithElapsedTimeMasked(sink.operations), WithElapsedTimeMasked(alone.operations));
    EXPECT_EQ(sink.steps, alone.steps);
    ASSERT_FALSE(sink.operations.empty());
    EXPECT_EQ(sink.operations.back().rfind("Completed: ", 0), 0u) << sink.operations.back();
    EXPECT_NE(ElapsedTimeAt(sink.operations.back()), std::string::npos) << sink.operations.back();
    ASSERT_FALSE(sink.progress.empty());
    EXPECT_EQ(sink.progress.back(), 0);
    auto from = alone.progress.begin();
    for (int percent : sink.progress) {
        from = std::find(from, alone.progress.end(), percent);
        ASSERT_NE(from, alone.progress.end()) << "meter value " << percent << " out of order or made up";
        ++from;
    }
}

TEST_F(FractalRenderTest, AbortReachesARenderThatPumpsThroughTheStatusInterface)
{
    TFFractalRender& window = Open();
    int pumps = 0;
    engine->body = [&](TScriptedEngine& e, TGLPanel&) {
        e.Aborted = 0;
        QTimer::singleShot(0, [&] { window.AbortToolButton->click(); });
        // As the engine asks between cells: far more often than messages need to run.
        for (; pumps < 100000 && !e.Aborted; ++pumps) {
            StatusSink().ProcessMessages();
            if (pumps % 100 == 99)
                QThread::msleep(1);
        }
    };
    EXPECT_TRUE(window.RenderPicture());
    EXPECT_EQ(engine->Aborted, 1);
    EXPECT_LT(pumps, 100000);
    EXPECT_TRUE(Idle(window));
}

// A real render of a dense forest: Abort is on while it runs, and a click on it once plants are
// being drawn ends the render with no plant drawn after it; the window is idle again.
TEST_F(FractalRenderTest, AbortClickedWhilePlantsAreDrawnEndsTheRender)
{
    ASSERT_TRUE(UseSyntheticLandscape(2));
    ASSERT_TRUE(PlantSyntheticLandscape(*current, dir.path().string(), 3000.0, 12.0, 0.0, 0.0, 1.0, 1.0));
    TFFractalRender& window = Open();
    window.SetRenderSize(160, 120);
    engine->PumpInterval = std::chrono::milliseconds(0);
    int64_t drawnAtClick = -1;
    bool abortOn = false;
    sink.onPump = [&] {
        if (drawnAtClick >= 0 || sink.steps.empty() || sink.steps.back() != "Drawing fractal surface")
            return;
        if (engine->PlantsDrawn == 0) {
            // Longer than the window keeps pumps apart: the engine's next one comes through.
            QThread::msleep(12);
            return;
        }
        abortOn = window.AbortToolButton->isEnabled();
        drawnAtClick = engine->PlantsDrawn;
        window.AbortToolButton->click();
    };
    EXPECT_TRUE(window.RenderPicture());
    sink.onPump = nullptr;
    EXPECT_TRUE(abortOn);
    EXPECT_GT(drawnAtClick, 0);
    EXPECT_EQ(engine->Aborted, 1);
    EXPECT_EQ(engine->PlantsDrawn, drawnAtClick);
    EXPECT_EQ(engine->LastError, "");
    EXPECT_EQ(engine->CompletionText.rfind("Completed: ", 0), 0u) << engine->CompletionText;
    EXPECT_TRUE(Idle(window));
}

TEST_F(FractalRenderTest, FailedRenderIsNotTakenForAFinishedOne)
{
    struct Case {
        const char* name;
        std::function<void(TScriptedEngine&, TGLPanel&)> body;
        bool boxShown; // by the window (a failing engine reports itself)
    };
    const Case cases[] = {
        {"engine reports an error", [](TScriptedEngine& e, TGLPanel&) { e.LastError = "E9999 broken"; }, false},
        {"engine throws", [](TScriptedEngine&, TGLPanel&) { throw std::runtime_error("E9998 thrown"); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompt.messages.clear();
        sink.operations.clear();
        TFFractalRender& window = Open();
        engine->body = c.body;
        EXPECT_FALSE(window.RenderPicture());
        EXPECT_TRUE(Idle(window));
        EXPECT_EQ(prompt.messages.size(), c.boxShown ? 1u : 0u);
        for (const std::string& text : sink.operations)
            EXPECT_NE(text.rfind("Completed", 0), 0u) << text;
    }
    // No project at all: the engine's initialisation error reaches the user.
    prompt.messages.clear();
    TProject* none = nullptr;
    TFFractalRender& window = Open();
    window.SetProject(&none);
    engine->body = nullptr;
    EXPECT_FALSE(window.RenderPicture());
    EXPECT_TRUE(Idle(window));
    EXPECT_TRUE(prompt.Showed("E0101 Internal Initialization Error"));
    // Without a project the switches and the script run do nothing, and nothing escapes.
    EXPECT_NO_THROW({
        window.FractalDepthEdit->setValue(3);
        window.DrawNoModelsCheck->toggle();
        window.PreviewModeCheck->toggle();
    });
    prompt.messages.clear();
    const TScriptRun run = window.RunScript(TScriptChoice{});
    EXPECT_NE(run.End, TScriptEnd::Finished);
    EXPECT_EQ(prompt.messages.size(), 1u);
    EXPECT_TRUE(Idle(window));
}

TEST_F(FractalRenderTest, SaveAsksForANameOnceAndThenReusesIt)
{
    TFFractalRender& window = Open();
    window.SetRenderSize(64, 48);
    ASSERT_TRUE(window.RenderPicture());
    const std::string picture = dir.file("view.bmp");

    prompt.saveNames = {""}; // cancelled: nothing saved, nothing remembered
    window.SaveClick();
    EXPECT_EQ(prompt.fileDialogs, 1);
    EXPECT_TRUE(window.PictureFileName.empty());

    prompt.saveNames = {dir.file("view")}; // the extension is added
    window.SaveClick();
    EXPECT_EQ(prompt.fileDialogs, 2);
    ASSERT_TRUE(std::filesystem::exists(picture));
    EXPECT_EQ(QImage(QString::fromStdString(picture)).size(), QSize(64, 48));

    std::filesystem::remove(picture);
    window.SaveClick(); // silently to the same file
    EXPECT_EQ(prompt.fileDialogs, 2);
    EXPECT_TRUE(std::filesystem::exists(picture));

    prompt.saveNames = {dir.file("other.bmp")}; // Save As always asks
    window.SaveAsClick();
    EXPECT_EQ(prompt.fileDialogs, 3);
    EXPECT_EQ(window.PictureFileName, dir.file("other.bmp"));
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(FractalRenderTest, ScriptRunSavesEachFrameAndStopsAfterAnAbortedOne)
{
    std::filesystem::create_directory(dir.path() / "out");
    std::string script = "[Path Data]\n";
    for (int n = 0; n < 4; ++n)
        script += "FRAME-" + std::to_string(n) + "=100:" + std::to_string(40 + n) + ":200:0:40:0:0:0:0\n";
    qxtest::WriteFileText(dir.file("fly.srp"), script);
    TScriptChoice choice;
    choice.ScriptFile = dir.file("fly.srp");
    choice.Directory = dir.file("out");
    choice.Prefix = "shot";
    const auto frame = [&](int n) { return dir.file("out") + "/shot" + std::to_string(n) + ".bmp"; };

    struct Case {
        const char* name;
        int abortOnRender, failOnRender; // 1-based, 0: never
        TScriptEnd end;
        int renders, saved;
    };
    const Case cases[] = {
        {"all frames", 0, 0, TScriptEnd::Finished, 4, 4},
        {"aborted during the second frame", 2, 0, TScriptEnd::Aborted, 2, 2},
        {"second frame fails", 0, 2, TScriptEnd::RenderFailed, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.path() / "out");
        std::filesystem::create_directory(dir.path() / "out");
        TFFractalRender& window = Open();
        window.SetRenderSize(48, 32);
        std::vector<float> altitudes;
        engine->body = [&](TScriptedEngine& e, TGLPanel& panel) {
            altitudes.push_back(project->Camera.Eye.Y);
            e.TFractalRenderEngine::Render(panel);
            if (e.renders == c.abortOnRender)
                window.AbortToolButtonClick();
            if (e.renders == c.failOnRender)
                e.LastError = "E9999 broken";
        };
        const TScriptRun run = window.RunScript(choice);
        EXPECT_EQ(run.End, c.end);
        EXPECT_EQ(engine->renders, c.renders);
        EXPECT_EQ(run.FramesSaved, c.saved);
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(std::filesystem::exists(frame(n)), n < c.saved) << n;
        EXPECT_EQ(QImage(QString::fromStdString(frame(0))).size(), QSize(48, 32));
        for (int n = 0; n < c.renders; ++n)
            EXPECT_FLOAT_EQ(altitudes[n], 40.0f + n);
        EXPECT_TRUE(Idle(window));
    }
}

TEST_F(FractalRenderTest, RunScriptCommandRendersOnlyWhenTheDialogIsConfirmed)
{
    std::filesystem::create_directory(dir.path() / "out");
    qxtest::WriteFileText(dir.file("one.srp"), "[Path Data]\nFRAME-0=100:40:200:0:40:0:0:0:0\n");
    TFFractalRender& window = Open();
    window.SetRenderSize(32, 32);
    TRunScriptDlg& dialog = EnsureRunScriptDlg();
    dialog.ScriptSourceEdit->setText(QString::fromStdString(dir.file("one.srp")));
    dialog.DirectoryEdit->setText(QString::fromStdString(dir.file("out")));
    dialog.PrefixEdit->setText("take");
    for (bool confirm : {false, true}) {
        shelltest::AnswerNextModal([confirm](QWidget* modal) {
            auto* shown = qobject_cast<TRunScriptDlg*>(modal);
            ASSERT_NE(shown, nullptr);
            (confirm ? shown->OKBtn : shown->CancelBtn)->click();
        });
        window.RunScriptItem->trigger();
        EXPECT_EQ(engine->renders, confirm ? 1 : 0);
        EXPECT_EQ(std::filesystem::exists(dir.file("out") + "/take0.bmp"), confirm);
    }
    delete RunScriptDlg.data();
}

// ---- Inside the main window --------------------------------------------------------------------

class FractalRenderShellTest : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        shelltest::ShellTest::SetUp();
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        TMainForm::RegisterChildWindow(TChildKind::FractalRender, [] { return new TFFractalRender; });
    }
    void TearDown() override
    {
        shelltest::ShellTest::TearDown();
        UnloadOpenGLLibraries();
    }
};

TEST_F(FractalRenderShellTest, PlacementIsStoredAndRestored)
{
    TMainForm& main = Start();
    main.show();
    auto* window = dynamic_cast<TFFractalRender*>(main.OpenChildWindow(TChildKind::FractalRender));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FFractalRender, window);
    QMdiSubWindow* frame = main.SubWindowOf(window);
    ASSERT_NE(frame, nullptr);
    frame->setGeometry(30, 20, 520, 410);
    frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main.ChildWindow(TChildKind::FractalRender), nullptr);
    EXPECT_EQ(FFractalRender, nullptr);
    EXPECT_FALSE(main.RenderMenuItem->isEnabled());

    TWinRegistry settings(QuarlexBaseKey);
    EXPECT_EQ(settings.ReadInteger("FractalRender", "Left", -1), 30);
    EXPECT_EQ(settings.ReadInteger("FractalRender", "Top", -1), 20);
    EXPECT_EQ(settings.ReadInteger("FractalRender", "Width", -1), 520);
    EXPECT_EQ(settings.ReadInteger("FractalRender", "Height", -1), 410);

    window = dynamic_cast<TFFractalRender*>(main.OpenChildWindow(TChildKind::FractalRender));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(main.SubWindowOf(window)->geometry(), QRect(30, 20, 520, 410));
    // The picture took the window's size when it opened.
    const int width = window->ClientWidth();
    EXPECT_EQ(window->MainGLPanel->width(), width - width % 4);
    EXPECT_EQ(window->MainGLPanel->height(), window->ClientHeight() - TFFractalRender::ToolBarHeight);
    EXPECT_TRUE(main.RenderMenuItem->isEnabled());
}

TEST_F(FractalRenderShellTest, ANewRendererShowsTheClearedPanelBeforeItsFirstRender)
{
    // On both panel paths, opened as the user opens it over another window: every pixel of its
    // panel is painted white, none is left as what lay beneath it.
    for (int toWindow : {0, 1}) {
        SCOPED_TRACE(toWindow);
        shelltest::ClearSettings();
        TWinRegistry(QuarlexBaseKey).WriteBool("OpenGL", "RenderToWindow", toWindow == 1);
        shelltest::RegisterProbe<shelltest::TProbeForm>(TChildKind::Landscape);
        TMainForm& main = Start();
        main.resize(1000, 800);
        main.show();
        main.OpenChildWindow(TChildKind::Landscape);
        auto* window = dynamic_cast<TFFractalRender*>(main.OpenChildWindow(TChildKind::FractalRender));
        ASSERT_NE(window, nullptr);
        QCoreApplication::processEvents();
        TGLPanel& panel = *window->MainGLPanel;
        ASSERT_GT(panel.width(), 200);
        ASSERT_GT(panel.height(), 200);
        const QRgb beneath = qRgb(1, 2, 3);
        QImage screen(panel.size(), QImage::Format_RGB32);
        screen.fill(beneath);
        panel.render(&screen, QPoint(), QRegion(), QWidget::RenderFlags()); // the panel's own painting only
        int white = 0;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                white += screen.pixel(x, y) == qRgb(255, 255, 255);
        EXPECT_EQ(white, screen.width() * screen.height());
        form.reset();
    }
}

TEST_F(FractalRenderShellTest, MainWindowRefusesProjectCommandsWhileRendering)
{
    TMainForm& main = Start();
    main.show();
    auto* window = dynamic_cast<TFFractalRender*>(main.OpenChildWindow(TChildKind::FractalRender));
    ASSERT_NE(window, nullptr);
    auto scripted = std::make_unique<TScriptedEngine>();
    TScriptedEngine* engine = scripted.get();
    window->ReplaceEngine(std::move(scripted));
    TProject* before = CurrentProject;
    bool subWindowStayed = false;
    engine->body = [&](TScriptedEngine& e, TGLPanel&) {
        QTimer::singleShot(0, [&] {
            main.NewProjectMenuItemClick();
            main.SubWindowOf(window)->close();
            subWindowStayed = main.ChildWindow(TChildKind::FractalRender) == window;
            window->AbortToolButtonClick();
        });
        e.PumpUntilAborted();
    };
    window->RenderPicture();
    EXPECT_TRUE(prompt.Showed(BusyMessage));
    EXPECT_EQ(CurrentProject, before);
    EXPECT_TRUE(subWindowStayed);
}

} // namespace
