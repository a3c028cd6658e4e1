// The landscape editor inside the main window: opened from the menu command, in step with the
// project commands.
#include "heightgrid/DefNet.h"
#include "heightgrid/HeightGridDialogs.h"
#include "heightgrid/Landscape.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "shell/Main.h"
#include "support/MessageLog.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMdiArea>
#include <QSettings>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <memory>

namespace {

using TQuietPrompt = qxtest::TAnsweringMessageLog<TAnswer::No>;

class LandscapeInMainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Pellabrine", "QuarlexII").clear();
        SetPrompt(&prompt);
        TMainForm::RegisterChildWindow(TChildKind::Landscape, [] { return new TFLandscape; });
        TMainFormOptions options;
        options.ShowAboutBox = false;
        options.LoadOpenGL = [](const std::string&, std::string*) { return true; };
        options.UnloadOpenGL = [] {};
        main = std::make_unique<TMainForm>(options);
    }
    void TearDown() override
    {
        main.reset();
        DestroyHeightGridDialogs();
        TMainForm::RegisterChildWindow(TChildKind::Landscape, nullptr);
        SetPrompt(nullptr);
    }
    TQuietPrompt prompt;
    std::unique_ptr<TMainForm> main;
};

TEST_F(LandscapeInMainWindow, MenuOpensOneEditorThatFollowsNewProjects)
{
    ASSERT_TRUE(main->MenuItemOf(TChildKind::Landscape));
    main->MenuItemOf(TChildKind::Landscape)->trigger();
    auto* editor = qobject_cast<TFLandscape*>(main->ChildWindow(TChildKind::Landscape));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(FLandscape, editor);
    // The first project: 258 x 258 points, one hill of 100.0 in the middle.
    EXPECT_EQ(editor->Map->Buffer.size(), QSize(258, 258));
    int x = 0, y = 0;
    editor->Map->CellToScreen(127, 127, x, y);
    EXPECT_EQ(editor->Map->Buffer.pixel(x, y), GreenRampColor(100.0, 0.0, 100.0));
    EXPECT_EQ(editor->GridSizeLabel->text(), QStringLiteral("258 x 258"));
    EXPECT_EQ(main->PanelText(1), ""); // the drawing's status text is gone once it ended

    // Create-or-show: the command again gives the same window.
    EXPECT_EQ(main->OpenChildWindow(TChildKind::Landscape), editor);

    editor->Map->Tools.SpotHeight(3, 3, HeightActionSet, 50.0, 0.0);
    ASSERT_TRUE(editor->UndoMenuItem->isEnabled());
    main->NewProject("Other");
    main->UpdateAllEditors();
    EXPECT_FALSE(editor->UndoMenuItem->isEnabled());
    EXPECT_TRUE(editor->Map->Tools.UndoList().empty());
    EXPECT_EQ(editor->Map->Project(), CurrentProject);

    main->MdiArea->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(FLandscape, nullptr);
    EXPECT_EQ(main->ChildWindow(TChildKind::Landscape), nullptr);
}

} // namespace

TEST_F(LandscapeInMainWindow, MapEditsUndoAndHeightRangeMarkTheProjectModified)
{
    main->MenuItemOf(TChildKind::Landscape)->trigger();
    auto* editor = qobject_cast<TFLandscape*>(main->ChildWindow(TChildKind::Landscape));
    ASSERT_NE(editor, nullptr);
    const double before = CurrentProject->Grid.Cells[3][3].Height;
    const std::vector<std::pair<const char*, std::function<void()>>> edits = {
        {"spot height", [&] { editor->Map->Tools.SpotHeight(3, 3, HeightActionSet, 50.0, 0.0); }},
        {"undo", [&] { editor->Map->UndoLast(); }},
        {"maximum height", [&] { editor->MaxHeightSpin->setValue(editor->MaxHeightSpin->value() + 5); }},
    };
    for (const auto& [name, edit] : edits) {
        SCOPED_TRACE(name);
        main->Modified = 0;
        main->UpdateAllEditors();
        EXPECT_EQ(main->Modified, 0);
        edit();
        EXPECT_EQ(main->Modified, 1);
    }
    EXPECT_EQ(CurrentProject->Grid.Cells[3][3].Height, before); // the undo took the spot height back
}
