#include "render/script.h"

#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "shell/ShellFixture.h"
#include "support/TestSupport.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// A renderer that records what it saw: the camera altitude at each render and each save's name.
class TFakeRenderer : public IFrameRenderer {
public:
    explicit TFakeRenderer(TProject& project) : project_(project) {}
    int abortAt = -1, failRenderAt = -1, failSaveAt = -1;
    std::vector<float> altitudes;
    std::vector<std::string> saves;

    bool RenderFrame() override
    {
        const int frame = static_cast<int>(altitudes.size());
        altitudes.push_back(project_.Camera.Eye.Y);
        aborted_ = frame == abortAt;
        return frame != failRenderAt;
    }
    bool SaveFrame(const std::string& fileName) override
    {
        saves.push_back(fileName);
        return static_cast<int>(saves.size()) - 1 != failSaveAt;
    }
    bool FrameAborted() const override { return aborted_; }

private:
    TProject& project_;
    bool aborted_ = false;
};

class TRecordingSink : public IStatusSink {
public:
    std::vector<std::string> operations;
    void SetOperationText(const std::string& text) override { operations.push_back(text); }
    void SetStepText(const std::string&) override {}
    void SetProgress(int) override {}
    void SetBusyCursor(bool) override {}
    void ProcessMessages() override {}
};

// FRAME-n with the eye at altitude 10 + n.
std::string FrameLine(int n) { return "FRAME-" + std::to_string(n) + "=100:" + std::to_string(10 + n) + ":200:0:40:0:0:0:0\n"; }

class RunScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(project.NewGrid(8, 8, 30.0, 30.0));
        previousPrompt_ = SetPrompt(&prompt);
        previousSink_ = SetStatusSink(&sink);
        std::filesystem::create_directory(dir.path() / "out");
        choice.ScriptFile = dir.file("path.srp");
        choice.Directory = dir.file("out");
    }
    void TearDown() override
    {
        SetStatusSink(previousSink_);
        SetPrompt(previousPrompt_);
    }
    void WriteScript(const std::string& body) { qxtest::WriteFileText(choice.ScriptFile, "[Path Data]\n" + body); }

    TProject project;
    shelltest::TRecordingPrompt prompt;
    TRecordingSink sink;
    qxtest::TempDir dir;
    TScriptChoice choice;

private:
    IPrompt* previousPrompt_ = nullptr;
    IStatusSink* previousSink_ = nullptr;
};

TEST(FrameFileNameTest, OneSeparatorBetweenFolderAndPrefix)
{
    struct Case {
        std::string folder, prefix;
        int frame;
        std::string expected;
    };
    const Case cases[] = {
        {"out", "frame", 12, "out/frame12.bmp"},
        {"out", "frame", 0, "out/frame0.bmp"},
        {"out/", "shot", 10, "out/shot10.bmp"},
        {"out\\", "frame", 3, "out/frame3.bmp"},
        {"renders\\day\\", "frame", 1, "renders/day/frame1.bmp"},
        {"/", "frame", 2, "/frame2.bmp"},
    };
    for (const Case& c : cases) {
        TScriptChoice choice;
        choice.Directory = c.folder;
        choice.Prefix = c.prefix;
        EXPECT_EQ(FrameFileName(choice, c.frame), c.expected) << c.folder;
    }
}

TEST_F(RunScriptTest, HowARunEnds)
{
    struct Case {
        const char* name;
        std::string script;
        int abortAt, failRenderAt, failSaveAt;
        TScriptEnd end;
        std::vector<float> renders; // camera altitude at each render
        int saved;
        bool boxShown; // the loop itself showed a message
    };
    const std::string three = FrameLine(0) + FrameLine(1) + FrameLine(2);
    const Case cases[] = {
        {"to the end", three, -1, -1, -1, TScriptEnd::Finished, {10, 11, 12}, 3, false},
        {"aborted frame is saved, no further frame", three, 1, -1, -1, TScriptEnd::Aborted, {10, 11}, 2, false},
        {"failed render is not saved", three, -1, 1, -1, TScriptEnd::RenderFailed, {10, 11}, 1, false},
        {"failed save stops the run", three, -1, -1, 1, TScriptEnd::SaveFailed, {10, 11}, 1, false},
        {"unreadable frame stops the run", FrameLine(0) + "FRAME-1=100:x:200:0:40:0:0:0:0\n" + FrameLine(2), -1, -1, -1,
         TScriptEnd::BadFrame, {10}, 1, true},
        {"stops at the first gap", FrameLine(0) + FrameLine(1) + FrameLine(3), -1, -1, -1, TScriptEnd::Finished, {10, 11}, 2,
         false},
        {"no frame 0", FrameLine(1) + FrameLine(2), -1, -1, -1, TScriptEnd::NoScript, {}, 0, true},
        {"frame 0 with eight fields", "FRAME-0=100:10:200:0:40:0:0:0\n", -1, -1, -1, TScriptEnd::NoScript, {}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteScript(c.script);
        prompt.messages.clear();
        sink.operations.clear();
        TFakeRenderer renderer(project);
        renderer.abortAt = c.abortAt;
        renderer.failRenderAt = c.failRenderAt;
        renderer.failSaveAt = c.failSaveAt;

        const TScriptRun run = RunAnimationScript(project, choice, renderer);

        EXPECT_EQ(run.End, c.end);
        EXPECT_EQ(renderer.altitudes, c.renders);
        EXPECT_EQ(run.FramesSaved, c.saved);
        for (size_t i = 0; i < renderer.saves.size(); ++i)
            EXPECT_EQ(renderer.saves[i], dir.file("out") + "/frame" + std::to_string(i) + ".bmp");
        EXPECT_EQ(prompt.messages.size(), c.boxShown ? 1u : 0u);
        const bool normal = c.end == TScriptEnd::Finished || c.end == TScriptEnd::Aborted;
        // Only an abnormal end says anything, and it says it in the status text.
        EXPECT_EQ(run.Message.empty(), normal);
        EXPECT_EQ(sink.operations.empty(), normal);
        if (!normal) {
            EXPECT_EQ(sink.operations.back(), run.Message);
        }
    }
}

TEST_F(RunScriptTest, NothingRendersWithoutScriptOrFolder)
{
    WriteScript(FrameLine(0));
    struct Case {
        std::string script, folder;
        TScriptEnd end;
    };
    const Case cases[] = {
        {choice.ScriptFile, dir.file("missing"), TScriptEnd::NoFolder},
        {choice.ScriptFile, "", TScriptEnd::NoFolder},
        {dir.file("nothing.srp"), dir.file("out"), TScriptEnd::NoScript},
        {"", dir.file("out"), TScriptEnd::NoScript},
    };
    for (const Case& c : cases) {
        prompt.messages.clear();
        TScriptChoice wrong = choice;
        wrong.ScriptFile = c.script;
        wrong.Directory = c.folder;
        TFakeRenderer renderer(project);
        const TScriptRun run = RunAnimationScript(project, wrong, renderer);
        EXPECT_EQ(run.End, c.end) << c.script << " " << c.folder;
        EXPECT_TRUE(renderer.altitudes.empty());
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, run.Message);
    }
}

TEST_F(RunScriptTest, FolderWithTrailingBackslashIsAccepted)
{
    WriteScript(FrameLine(0));
    choice.Directory = dir.file("out") + "\\";
    TFakeRenderer renderer(project);
    const TScriptRun run = RunAnimationScript(project, choice, renderer);
    EXPECT_EQ(run.End, TScriptEnd::Finished);
    ASSERT_EQ(renderer.saves.size(), 1u);
    EXPECT_EQ(renderer.saves[0], dir.file("out") + "/frame0.bmp");
}

// ---- Dialog ---------------------------------------------------------------------------------------

class RunScriptDialogTest : public RunScriptTest {
protected:
    void SetUp() override
    {
        shelltest::ClearSettings();
        RunScriptTest::SetUp();
    }
    void TearDown() override
    {
        RunScriptTest::TearDown();
        shelltest::ClearSettings();
    }
};

TEST_F(RunScriptDialogTest, StartsFromTheStoredChoices)
{
    {
        TRunScriptDlg dialog;
        EXPECT_EQ(dialog.Choice().ScriptFile, "");
        EXPECT_EQ(dialog.Choice().Directory, "");
        EXPECT_EQ(dialog.Choice().Prefix, "frame");
        EXPECT_TRUE(dialog.ScriptSourceEdit->isReadOnly());
    }
    TWinRegistry settings(QuarlexBaseKey);
    settings.WriteString("script", "sourcefile", "/anim/fly.srp");
    settings.WriteString("script", "dir", "/anim/out");
    settings.WriteString("script", "prefix", "fly");
    TRunScriptDlg dialog;
    EXPECT_EQ(dialog.Choice().ScriptFile, "/anim/fly.srp");
    EXPECT_EQ(dialog.Choice().Directory, "/anim/out");
    EXPECT_EQ(dialog.Choice().Prefix, "fly");
}

TEST_F(RunScriptDialogTest, BrowseButtonsFillTheEditsOnlyWhenSomethingIsChosen)
{
    TRunScriptDlg dialog;
    dialog.DirectoryEdit->setText("/start");
    prompt.openNames = {"/anim/a.srp", ""};
    prompt.folders = {"/anim/out", ""};
    dialog.FileButtonClick();
    dialog.DirButtonClick();
    EXPECT_EQ(dialog.Choice().ScriptFile, "/anim/a.srp");
    EXPECT_EQ(dialog.Choice().Directory, "/anim/out");
    dialog.FileButtonClick(); // cancelled
    dialog.DirButtonClick();  // cancelled
    EXPECT_EQ(dialog.Choice().ScriptFile, "/anim/a.srp");
    EXPECT_EQ(dialog.Choice().Directory, "/anim/out");
    // The folder browser starts at the folder shown.
    EXPECT_EQ(prompt.folderStarts, (std::vector<std::string>{"/start", "/anim/out"}));
}

TEST_F(RunScriptDialogTest, OneDialogKeepsTheLastChoices)
{
    TRunScriptDlg& first = EnsureRunScriptDlg();
    first.PrefixEdit->setText("take");
    EXPECT_EQ(&EnsureRunScriptDlg(), &first);
    EXPECT_EQ(EnsureRunScriptDlg().Choice().Prefix, "take");
    delete RunScriptDlg.data();
    EXPECT_EQ(EnsureRunScriptDlg().Choice().Prefix, "frame");
    delete RunScriptDlg.data();
}

} // namespace
