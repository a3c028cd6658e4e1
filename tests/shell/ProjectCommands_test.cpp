// The project commands: open, save, the save question, recent projects and the busy refusal.
#include "ShellFixture.h"

#include <QLineEdit>
#include <QMenu>

#include "project/projectio.h"
#include "shell/NewProject.h"
#include "shell/PathDlg.h"

using namespace shelltest;

using ProjectCommandsTest = ShellTest;

TEST_F(ProjectCommandsTest, OpenLoadsTheFileMarksShadowsAndRemembersIt)
{
    const std::string path = WriteProject("a.qx2", "Alpha");
    TMainForm& main = Start();
    main.Modified = 1;
    CurrentProject->ShadowsOutOfDate = 0;
    prompt.answers = {TAnswer::No};
    prompt.openNames = {path};
    main.OpenProjectMenuItemClick();
    EXPECT_EQ(main.FileName, path);
    EXPECT_EQ(CurrentProject->Header.Name, "Alpha");
    EXPECT_EQ(CurrentProject->ShadowsOutOfDate, 1);
    EXPECT_EQ(main.Modified, 0);
    EXPECT_EQ(main.Busy, 0);
    EXPECT_EQ(main.PanelText(3), "Alpha");
    EXPECT_EQ(main.RecentProjects(), (std::vector<std::string>{path}));
    EXPECT_EQ(TWinRegistry(QuarlexBaseKey).ReadString("Menu", "Last1", ""), path);
}

TEST_F(ProjectCommandsTest, FailedLoadLeavesEverythingAsItWas)
{
    const std::string good = WriteProject("good.qx2", "Good");
    // A project of another release, the first 20,000 bytes of a saved one, and one whose grid is
    // larger than the file could hold.
    std::vector<unsigned char> big;
    {
        TProject project;
        ASSERT_TRUE(project.NewGrid(100, 100, 30.0, 30.0));
        ASSERT_TRUE(project.SaveToFile(dir.file("big.qx2")));
        big = qxtest::ReadFileBytes(dir.file("big.qx2"));
        ASSERT_GT(big.size(), 20000u);
    }
    std::vector<unsigned char> impossible = big;
    impossible[262 + 3 + 3] = 0x7F; // 100 + 0x7F000000 columns
    const struct {
        const char* file;
        std::vector<unsigned char> bytes;
        const char* message;
    } cases[] = {
        {"other.qx2", {6, 1, 17, 0, 192, 0}, IncompatibleProjectText}, // magic 262, compatibility 17
        {"cut.qx2", std::vector<unsigned char>(big.begin(), big.begin() + 20000), DamagedProjectText},
        {"impossible.qx2", impossible, DamagedProjectText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string bad = dir.file(c.file);
        qxtest::WriteFileBytes(bad, c.bytes);
        prompt.messages.clear();
        TMainForm& main = Start({good});
        main.AddRecentProject("/maps/older.qx2");
        main.Modified = 1;
        TProject* before = CurrentProject;

        prompt.answers = {TAnswer::No};
        prompt.openNames = {bad};
        main.OpenProjectMenuItemClick();
        EXPECT_EQ(CurrentProject, before);
        EXPECT_EQ(CurrentProject->Header.Name, "Good");
        EXPECT_EQ(CurrentProject->Grid.SizeX, 4);
        EXPECT_EQ(main.FileName, good);
        EXPECT_EQ(main.PanelText(3), "Good");
        EXPECT_EQ(main.Modified, 1); // the changes are still unsaved
        EXPECT_EQ(main.Busy, 0);
        EXPECT_EQ(main.RecentProjects(), (std::vector<std::string>{"/maps/older.qx2"}));
        ASSERT_EQ(prompt.messages.size(), 1u);
        EXPECT_EQ(prompt.messages[0].text, c.message);
        EXPECT_EQ(prompt.messages[0].icon, TMsgIcon::Error);
        form.reset();
        ClearSettings();
    }
}

TEST_F(ProjectCommandsTest, RecentListOrder)
{
    struct Case {
        const char* name;
        std::vector<std::string> before, opened, after;
    };
    const Case cases[] = {
        {"new file goes first", {"b", "c"}, {"a"}, {"a", "b", "c"}},
        {"fourth file drops the oldest", {"b", "c", "d"}, {"a"}, {"a", "b", "c"}},
        {"a listed file keeps the order", {"b", "c", "d"}, {"c"}, {"b", "c", "d"}},
        {"matching is case-sensitive", {"b"}, {"B"}, {"B", "b"}},
        {"several in a row", {}, {"a", "b", "a", "c", "d"}, {"d", "c", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSettings();
        {
            TWinRegistry settings(QuarlexBaseKey);
            const char* names[] = {"Last1", "Last2", "Last3"};
            for (size_t i = 0; i < c.before.size(); ++i)
                settings.WriteString("Menu", names[i], "/m/" + c.before[i]);
        }
        Start();
        for (const std::string& f : c.opened)
            form->AddRecentProject("/m/" + f);
        std::vector<std::string> expected;
        for (const std::string& f : c.after)
            expected.push_back("/m/" + f);
        EXPECT_EQ(form->RecentProjects(), expected);
        EXPECT_EQ(form->ProjectsMenu->actions().size(), 13 + static_cast<int>(expected.size()));
        form.reset();
        // The settings hold the list as the menu shows it: a restart shows the same.
        Start();
        EXPECT_EQ(form->RecentProjects(), expected);
        form.reset();
    }
}

TEST_F(ProjectCommandsTest, SaveQuestionAnswers)
{
    struct Case {
        const char* name;
        uint8_t modified;
        std::vector<TAnswer> answers;
        std::string fileName;   // the project's file ("" never saved)
        std::string saveAsName; // what the Save As dialog returns ("" cancelled)
        bool goOn;
        uint8_t modifiedAfter;
    };
    const std::string unwritable = "/nonexistent-folder-of-quarlex/x.qx2";
    const Case cases[] = {
        {"unmodified: no question", 0, {}, "", "", true, 0},
        {"cancel stops", 1, {TAnswer::Cancel}, "", "", false, 1},
        {"no goes on unsaved", 1, {TAnswer::No}, "", "", true, 1},
        {"yes saves to the known file", 1, {TAnswer::Yes}, "known.qx2", "", true, 0},
        {"yes asks for a name and saves", 1, {TAnswer::Yes}, "", "named.qx2", true, 0},
        {"yes then Save As cancelled stops", 1, {TAnswer::Yes}, "", "", false, 1},
        {"yes then a failed save stops", 1, {TAnswer::Yes}, unwritable, "", false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start();
        prompt.questions.clear();
        prompt.messages.clear();
        form->Modified = c.modified;
        form->FileName = c.fileName.empty() || c.fileName[0] == '/' ? c.fileName : dir.file(c.fileName);
        prompt.answers = {c.answers.begin(), c.answers.end()};
        if (!c.saveAsName.empty())
            prompt.saveNames = {dir.file(c.saveAsName)};
        EXPECT_EQ(form->QuerySaveProject(), c.goOn);
        EXPECT_EQ(form->Modified, c.modifiedAfter);
        EXPECT_EQ(prompt.questions.size(), c.answers.size());
        form.reset();
        prompt.saveNames.clear();
    }
}

TEST_F(ProjectCommandsTest, CancelledSaveAsKeepsOpenFromReplacingTheProject)
{
    const std::string other = WriteProject("other.qx2", "Other");
    TMainForm& main = Start();
    main.Modified = 1;
    prompt.answers = {TAnswer::Yes};
    prompt.saveNames = {""}; // Save As cancelled
    prompt.openNames = {other};
    main.OpenProjectMenuItemClick();
    EXPECT_EQ(CurrentProject->Header.Name, "Project");
    EXPECT_EQ(main.Modified, 1);
    EXPECT_EQ(prompt.fileDialogs, 1); // the open dialog was never shown
}

TEST_F(ProjectCommandsTest, RecentProjectAsksTheSaveQuestion)
{
    const std::string path = WriteProject("r.qx2", "Recent");
    TMainForm& main = Start();
    main.AddRecentProject(path);
    main.Modified = 1;
    prompt.answers = {TAnswer::Cancel};
    main.RecentProjectClick(path);
    EXPECT_EQ(CurrentProject->Header.Name, "Project");
    prompt.answers = {TAnswer::No};
    main.RecentProjectClick(path);
    EXPECT_EQ(CurrentProject->Header.Name, "Recent");
    EXPECT_EQ(main.FileName, path);
    EXPECT_EQ(prompt.questions.size(), 2u);
}

TEST_F(ProjectCommandsTest, SaveClearsModifiedAndSaveAsRemembersTheFile)
{
    TMainForm& main = Start();
    main.Modified = 1;
    const std::string path = dir.file("saved.qx2");
    prompt.saveNames = {path};
    EXPECT_TRUE(main.SaveProjectMenuItemClick()); // never saved: goes through Save As
    EXPECT_EQ(main.FileName, path);
    EXPECT_EQ(main.Modified, 0);
    EXPECT_EQ(main.RecentProjects(), (std::vector<std::string>{path}));
    EXPECT_FALSE(qxtest::ReadFileBytes(path).empty());

    main.Modified = 1;
    EXPECT_TRUE(main.SaveProjectMenuItemClick()); // known file: no dialog
    EXPECT_EQ(prompt.fileDialogs, 1);
    EXPECT_EQ(main.Modified, 0);
    EXPECT_TRUE(main.close()); // right after a save, closing asks nothing
    EXPECT_TRUE(prompt.questions.empty());
}

TEST_F(ProjectCommandsTest, FailedSaveKeepsModifiedFileNameAndRecentList)
{
    TMainForm& main = Start();
    main.Modified = 1;
    prompt.saveNames = {"/nonexistent-folder-of-quarlex/x.qx2"};
    EXPECT_FALSE(main.SaveProjectAsMenuItemClick());
    EXPECT_EQ(main.Modified, 1);
    EXPECT_TRUE(main.FileName.empty());
    EXPECT_TRUE(main.RecentProjects().empty());
    EXPECT_EQ(main.Busy, 0);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].icon, TMsgIcon::Error);
}

TEST_F(ProjectCommandsTest, EveryProjectCommandIsRefusedWhileBusy)
{
    const std::string path = WriteProject("p.qx2");
    struct Command {
        const char* name;
        std::function<void(TMainForm&)> run;
        bool refusedWhileRendering;
    };
    const Command commands[] = {
        {"new", [](TMainForm& m) { m.NewProjectMenuItemClick(); }, true},
        {"open", [](TMainForm& m) { m.OpenProjectMenuItemClick(); }, true},
        {"recent", [&](TMainForm& m) { m.RecentProjectClick(path); }, true},
        {"save", [](TMainForm& m) { m.SaveProjectMenuItemClick(); }, false},
        {"save as", [](TMainForm& m) { m.SaveProjectAsMenuItemClick(); }, false},
        {"edit info", [](TMainForm& m) { m.EditProjectInfoClick(); }, true},
        {"export", [](TMainForm& m) { m.ExportSettingsClick(); }, false},
        {"import", [](TMainForm& m) { m.ImportSettingsClick(); }, true},
        {"project paths", [](TMainForm& m) { m.PreferencesMenuItemClick(); }, false},
    };
    TMainForm& main = Start();
    main.Modified = 1;
    TProject* project = CurrentProject;
    for (const Command& c : commands) {
        SCOPED_TRACE(c.name);
        for (bool rendering : {false, true}) {
            if (rendering && !c.refusedWhileRendering)
                continue;
            prompt.messages.clear();
            prompt.fileDialogs = 0;
            std::unique_ptr<TRenderLock> render;
            if (rendering)
                render = std::make_unique<TRenderLock>();
            else
                main.Busy = 1;
            c.run(main);
            main.Busy = 0;
            ASSERT_EQ(prompt.messages.size(), 1u);
            EXPECT_EQ(prompt.messages[0].text, BusyMessage);
            EXPECT_TRUE(prompt.questions.empty());
            EXPECT_EQ(prompt.fileDialogs, 0);
            EXPECT_EQ(CurrentProject, project);
            EXPECT_EQ(main.Modified, 1);
        }
    }
}

TEST_F(ProjectCommandsTest, SaveIsAllowedDuringARender)
{
    TMainForm& main = Start();
    main.FileName = dir.file("during.qx2");
    main.Modified = 1;
    TRenderLock render;
    EXPECT_TRUE(main.SaveProjectMenuItemClick());
    EXPECT_EQ(main.Modified, 0);
}

TEST_F(ProjectCommandsTest, NewProjectReplacesTheProjectWithTheEnteredName)
{
    TMainForm& main = Start();
    main.FileName = "/maps/old.qx2";
    TProject* old = CurrentProject;
    AnswerNextModal([](QWidget* dialog) {
        auto* info = qobject_cast<TFNewProject*>(dialog);
        ASSERT_NE(info, nullptr);
        info->ProjectNameEdit->setText(QStringLiteral("Fresh"));
        info->accept();
    });
    main.NewProjectMenuItemClick();
    EXPECT_NE(CurrentProject, old);
    EXPECT_EQ(CurrentProject->Header.Name, "Fresh");
    EXPECT_EQ(main.PanelText(3), "Fresh");
    EXPECT_TRUE(main.FileName.empty());
    EXPECT_EQ(main.Modified, 0);
}

TEST_F(ProjectCommandsTest, EditProjectInfoRenamesAndCutsTo255Characters)
{
    TMainForm& main = Start();
    const QString longName(300, QChar(0x00E9)); // two UTF-8 bytes each
    QString shown;
    AnswerNextModal([&](QWidget* dialog) {
        auto* info = qobject_cast<TFNewProject*>(dialog);
        shown = info->ProjectNameEdit->text();
        info->ProjectNameEdit->setText(longName);
        info->accept();
    });
    main.EditProjectInfoClick();
    EXPECT_EQ(shown.toStdString(), "Project");
    const QString stored = QString::fromStdString(CurrentProject->Header.Name);
    EXPECT_LE(CurrentProject->Header.Name.size(), 255u);
    EXPECT_TRUE(longName.startsWith(stored)); // cut on a character boundary
    EXPECT_EQ(main.Modified, 1);

    main.Modified = 0;
    AnswerNextModal([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    main.EditProjectInfoClick();
    EXPECT_EQ(main.Modified, 0);
}

TEST_F(ProjectCommandsTest, ProjectPathsDialogWritesBackTheFolders)
{
    TMainForm& main = Start();
    CurrentProject->Actors.Directory = "/data/plants/";
    const std::string chosen = dir.path().string();
    prompt.folders = {chosen};
    std::string browsedFrom;
    AnswerNextModal([&](QWidget* dialog) {
        auto* paths = qobject_cast<TFPathDlg*>(dialog);
        ASSERT_NE(paths, nullptr);
        EXPECT_EQ(paths->VegetationEdit->text().toStdString(), "/data/plants/");
        paths->BrowseFolder(TFPathDlg::Models);
        paths->OverlaysEdit->setText(QStringLiteral("/data/overlays/"));
        paths->accept();
    });
    main.PreferencesMenuItemClick();
    EXPECT_EQ(CurrentProject->Models.Directory, chosen + "/");
    EXPECT_EQ(CurrentProject->Overlays.Directory, "/data/overlays/");
    EXPECT_EQ(CurrentProject->Actors.Directory, "/data/plants/");
    EXPECT_EQ(main.Modified, 1);
    // The chosen folder at once becomes the default of new projects.
    EXPECT_EQ(TWinRegistry(QuarlexBaseKey).ReadString("Paths", "Models", ""), chosen + "/");
    EXPECT_EQ(TWinRegistry(QuarlexBaseKey).ReadString("Paths", "Overlays", "unset"), "unset");
}

TEST_F(ProjectCommandsTest, ResetPathsMessageOpensTheProjectPathsDialog)
{
    TMainForm& main = Start();
    bool opened = false;
    AnswerNextModal([&](QWidget* dialog) {
        opened = qobject_cast<TFPathDlg*>(dialog) != nullptr;
        static_cast<QDialog*>(dialog)->reject();
    });
    TRenderLock render; // the engines send it in the middle of a render
    TAppMessage message{WM_RESETPATHS};
    EXPECT_TRUE(SendToMainForm(message));
    EXPECT_TRUE(opened);
    EXPECT_EQ(main.Modified, 0);
}

TEST_F(ProjectCommandsTest, EnvironmentSettingsExportAndImportRefreshTheEditors)
{
    std::vector<TProbeForm*> made;
    RegisterProbe(TChildKind::Atmosphere, &made);
    TMainForm& main = Start();
    main.OpenChildWindow(TChildKind::Atmosphere);
    const std::string ini = dir.file("look.ini");
    CurrentProject->Atmosphere.FogDensity = 0.25;
    main.Modified = 0;

    prompt.saveNames = {ini};
    main.ExportSettingsClick();
    EXPECT_FALSE(qxtest::ReadFileText(ini).empty());
    EXPECT_EQ(main.Modified, 0); // exporting changes nothing
    EXPECT_EQ(made[0]->refreshes, 2);

    CurrentProject->Atmosphere.FogDensity = 0.75;
    prompt.openNames = {ini};
    main.ImportSettingsClick();
    EXPECT_DOUBLE_EQ(CurrentProject->Atmosphere.FogDensity, 0.25);
    EXPECT_EQ(main.Modified, 1);
    EXPECT_EQ(made[0]->refreshes, 3);

    // A cancelled dialog does nothing at all.
    main.Modified = 0;
    main.ImportSettingsClick();
    main.ExportSettingsClick();
    EXPECT_EQ(main.Modified, 0);
    EXPECT_EQ(made[0]->refreshes, 3);
}
