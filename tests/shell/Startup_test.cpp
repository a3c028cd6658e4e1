// Start-up and shut-down of the main window.
#include "ShellFixture.h"
#include "platform/GLEntryPoints.h"

#include "controls/uOutBar.h"

#include <QMenuBar>

#include <string>

using namespace shelltest;

namespace {

std::vector<std::string> Captions(const QList<QAction*>& actions, bool visibleOnly = false)
{
    std::vector<std::string> captions;
    for (QAction* a : actions)
        if (!visibleOnly || a->isVisible())
            captions.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    return captions;
}

std::vector<std::string>* gQtMessages = nullptr;
void KeepQtMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (gQtMessages)
        gQtMessages->push_back(text.toStdString());
}

} // namespace

using StartupTest = ShellTest;

TEST_F(StartupTest, MainWindowHasItsMenusPanelsAndBarPages)
{
    TMainForm& main = Start();
    EXPECT_EQ(main.windowTitle().toStdString(), "QuarlexII");
    EXPECT_EQ(Captions(main.menuBar()->actions(), true),
              (std::vector<std::string>{"&System", "&Projects", "Render", "&Window", "&Help"}));
    EXPECT_EQ(Captions(main.menuBar()->actions()),
              (std::vector<std::string>{"&System", "&Projects", "Render", "&Modules", "&Rendering",
                                        "Plugin &Interfaces", "&Window", "&Help"}));
    EXPECT_FALSE(main.RenderMenuItem->isEnabled());
    EXPECT_EQ(Captions(main.ProjectsMenu->actions()),
              (std::vector<std::string>{"&New Project...", "&Open Project...", "&Edit Project Info...", "-",
                                        "&Save Project...", "Save Project &As...", "-",
                                        "E&xport Environment Settings...", "&Import Environment Settings...",
                                        "Environmental &Wizard...", "-", "&Preferences", "-"}));
    EXPECT_EQ(Captions(main.HelpMenu->actions()),
              (std::vector<std::string>{"&Contents", "&Search for Help On...", "Hints and Tips...", "&About..."}));

    ASSERT_EQ(main.OutBar->Pages()->Count(), 3);
    EXPECT_EQ(main.OutBar->Pages()->GetPage(0)->Caption().toStdString(), "Basics");
    EXPECT_EQ(main.OutBar->Pages()->GetPage(1)->Caption().toStdString(), "Advanced");
    EXPECT_EQ(main.OutBar->Pages()->GetPage(2)->Caption().toStdString(), "Plugins");
    TOutPage* advanced = main.OutBar->Pages()->GetPage(1);
    std::vector<int> commands;
    for (int i = 0; i < advanced->Count(); ++i)
        commands.push_back(advanced->Item(i)->ImageIndex());
    EXPECT_EQ(commands, (std::vector<int>{8, 9, 10, 12}));

    EXPECT_EQ(main.ProgressPanel()->width(), 100);
    EXPECT_EQ(main.PanelText(3), "Project");
}

// Laying out the shown main window makes no complaint from Qt (the bar's dock once asked for a
// negative minimum height).
TEST_F(StartupTest, ShowingTheMainWindowGivesNoLayoutWarning)
{
    std::vector<std::string> messages;
    gQtMessages = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(KeepQtMessage);
    TMainForm& main = Start();
    main.resize(1024, 700);
    main.show();
    QCoreApplication::processEvents();
    qInstallMessageHandler(previous);
    gQtMessages = nullptr;
    for (const std::string& m : messages)
        EXPECT_EQ(m.find("Negative sizes"), std::string::npos) << m;
}

TEST_F(StartupTest, FirstProjectIsTheDefaultLandscape)
{
    TMainForm& main = Start();
    ASSERT_NE(CurrentProject, nullptr);
    EXPECT_EQ(CurrentProject->Header.Name, "Project");
    EXPECT_EQ(CurrentProject->Grid.SizeX, 258);
    EXPECT_EQ(CurrentProject->Grid.SizeY, 258);
    EXPECT_EQ(CurrentProject->Grid.SpacingX, 30.0);
    EXPECT_EQ(CurrentProject->Grid.Cells[127][127].Height, 100.0);
    EXPECT_EQ(CurrentProject->Grid.Cells[127][128].Height, -1001.0);
    EXPECT_EQ(CurrentProject->Grid.MaxHeight, 100.0);
    EXPECT_EQ(CurrentProject->Grid.MinHeight, 0.0);
    EXPECT_EQ(main.Modified, 0);
    EXPECT_TRUE(main.FileName.empty());
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(StartupTest, CommandLineParametersAreJoinedIntoOneFileAndNotRemembered)
{
    const std::string path = WriteProject("My Maps.qx2", "Valley");
    TMainForm& main = Start({dir.file("My"), "Maps.qx2"});
    EXPECT_EQ(main.FileName, path);
    EXPECT_EQ(CurrentProject->Header.Name, "Valley");
    EXPECT_EQ(main.PanelText(3), "Valley");
    EXPECT_EQ(main.Busy, 0);
    EXPECT_TRUE(main.RecentProjects().empty());
    EXPECT_EQ(TWinRegistry(QuarlexBaseKey).ReadString("Menu", "Last1", "none"), "none");
}

TEST_F(StartupTest, UnreadableCommandLineFileKeepsTheFirstProject)
{
    qxtest::WriteFileText(dir.file("bad.qx2"), "not a project");
    TMainForm& main = Start({dir.file("bad.qx2")});
    EXPECT_EQ(CurrentProject->Header.Name, "Project");
    EXPECT_TRUE(main.FileName.empty()); // a later Save must not overwrite the unreadable file
    EXPECT_EQ(prompt.messages.size(), 1u); // the loader's own message
}

TEST_F(StartupTest, RecentProjectsComeFromTheSettingsSkippingEmptyValues)
{
    {
        TWinRegistry settings(QuarlexBaseKey);
        settings.WriteString("Menu", "Last1", "/maps/a.qx2");
        settings.WriteString("Menu", "Last2", "");
        settings.WriteString("Menu", "Last3", "/maps/c & d.qx2");
    }
    TMainForm& main = Start();
    EXPECT_EQ(main.RecentProjects(), (std::vector<std::string>{"/maps/a.qx2", "/maps/c & d.qx2"}));
    auto captions = Captions(main.ProjectsMenu->actions());
    ASSERT_EQ(captions.size(), 15u);
    EXPECT_EQ(captions[13], "/maps/a.qx2");
    EXPECT_EQ(captions[14], "/maps/c && d.qx2"); // '&' shown as itself, not as an access key
}

TEST_F(StartupTest, OpenGLImplementationChoosesThePair)
{
    struct Case {
        const char* stored; // nullptr: no setting
        const char* loaded;
        bool overrideWritten;
    };
    const Case cases[] = {
        {nullptr, "SGI", true},
        {"Microsoft", "Microsoft", false},
        {"microsoft", "SGI", true}, // the names are case-sensitive
        {"Mesa", "Mesa", false},
        {"Voodoo", "SGI", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "(none)");
        ClearSettings();
        loadedImplementations.clear();
        if (c.stored)
            TWinRegistry(QuarlexBaseKey).WriteString("OpenGL", "Implementation", c.stored);
        Start();
        EXPECT_EQ(loadedImplementations, (std::vector<std::string>{c.loaded}));
        EXPECT_EQ(form->OpenGLImplementation, c.stored ? c.stored : "SGI");
        const int dispatch = TWinRegistry(TRegistryRoot::LocalMachine, SiliconGraphicsBaseKey)
                                 .ReadInteger("OpenGL", "OverrideDispatch", 0);
        EXPECT_EQ(dispatch, c.overrideWritten ? 1 : 0);
        form.reset();
    }
}

TEST_F(StartupTest, OpenGLFailureIsReportedAndStartUpGoesOn)
{
    glLoads = false;
    TMainForm& main = Start();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, OpenGLFailedMessage);
    EXPECT_EQ(prompt.messages[0].icon, TMsgIcon::None);
    EXPECT_NE(CurrentProject, nullptr);
    main.close();
    EXPECT_EQ(glUnloads, 0); // nothing was loaded
}

TEST_F(StartupTest, MissingOpenGLLibraryGivesE0118ThroughTheRealLoader)
{
    // The real loader fails on an implementation whose library is missing; the shell reports it.
    TMainFormOptions options = Options();
    options.LoadOpenGL = [](const std::string&, std::string* error) {
        return LoadOpenGLLibrariesFrom("libQuarlexMissingGL.so.1", "libQuarlexMissingGLU.so.1", error);
    };
    form = std::make_unique<TMainForm>(options);
    EXPECT_TRUE(prompt.Showed(OpenGLFailedMessage));
    EXPECT_FALSE(OpenGLLoaded());
}

TEST_F(StartupTest, ClosingFreesTheProjectAndUnloadsOpenGL)
{
    TMainForm& main = Start();
    EXPECT_TRUE(main.close());
    EXPECT_EQ(CurrentProject, nullptr);
    EXPECT_EQ(glUnloads, 1);
}

TEST_F(StartupTest, ClosingAsksTheSaveQuestionAndCancelKeepsRunning)
{
    TMainForm& main = Start();
    main.Modified = 1;
    prompt.answers = {TAnswer::Cancel};
    EXPECT_FALSE(main.close());
    EXPECT_EQ(prompt.questions, (std::vector<std::string>{"Save changes to project?"}));
    EXPECT_NE(CurrentProject, nullptr);

    prompt.answers = {TAnswer::No};
    EXPECT_TRUE(main.close());
    EXPECT_EQ(CurrentProject, nullptr);
}

TEST_F(StartupTest, ExitIsRefusedWhileALongOperationRuns)
{
    TMainForm& main = Start();
    main.Modified = 1;
    {
        TRenderLock render;
        EXPECT_FALSE(main.close());
    }
    main.Busy = 1;
    EXPECT_FALSE(main.close());
    main.Busy = 0;
    EXPECT_EQ(prompt.messages.size(), 2u);
    EXPECT_TRUE(prompt.Showed(BusyMessage));
    EXPECT_TRUE(prompt.questions.empty()); // refused before any question
    EXPECT_NE(CurrentProject, nullptr);
}
