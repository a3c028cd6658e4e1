// The main window's shortcut bar: its pages and items, and clicks that open the windows.
#include "ShellFixture.h"

#include "controls/uOutBar.h"

#include <QTest>

using namespace shelltest;

namespace {

using ShortcutBarTest = ShellTest;

TEST_F(ShortcutBarTest, PagesHoldTheItemsWithTheirCommands)
{
    TMainForm& main = Start();
    TOutBar* bar = main.OutBar;
    ASSERT_NE(bar, nullptr);
    struct Entry { int page; const char* caption; int command; };
    const Entry entries[] = {
        {0, "Landscape Renderer", 0},    {0, "Landscape Heightfield Editor", 2}, {0, "Camera / Target Editor", 3},
        {0, "Atmosphere Editor", 4},     {0, "Clouds Editor", 5},                {0, "Terrain Color/Texture Editor", 6},
        {0, "Water Editor", 7},          {1, "Terrain Layers Editor", 8},        {1, "Terrain Placement Editor", 9},
        {1, "Vegetation Editor", 10},    {1, "Urban Editor", 12},
    };
    int index[3] = {};
    for (const Entry& e : entries) {
        TOutItem* item = bar->Pages()->GetPage(e.page)->Item(index[e.page]++);
        ASSERT_NE(item, nullptr) << e.caption;
        EXPECT_EQ(item->Caption().toStdString(), e.caption);
        EXPECT_EQ(item->ImageIndex(), e.command);
    }
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(bar->Pages()->GetPage(p)->Count(), index[p]);
    EXPECT_EQ(bar->ActivePageIndex(), TMainForm::BasicsPage);
    EXPECT_EQ(bar->SmoothSpeed, 24);
    EXPECT_EQ(bar->imgShellFile, -1); // the main window's bar takes no dropped files
}

TEST_F(ShortcutBarTest, ClickingAnItemOpensItsWindow)
{
    for (int i = 0; i < ChildKindCount; ++i)
        RegisterProbe<TProbeForm>(static_cast<TChildKind>(i));
    TMainForm& main = Start();
    main.resize(1000, 900);
    main.show();
    TOutBar* bar = main.OutBar;
    bar->SmoothSpeed = 0;
    struct Case { int page; int item; TChildKind kind; };
    const Case cases[] = {
        {0, 1, TChildKind::Landscape}, {0, 2, TChildKind::Camera}, {1, 0, TChildKind::Terrain},
        {1, 3, TChildKind::Urban},
    };
    for (const Case& c : cases) {
        bar->SetActivePageIndex(c.page);
        TOutItem* item = bar->Pages()->GetPage(c.page)->Item(c.item);
        bar->LayoutBar();
        ASSERT_TRUE(item->LaidOut()) << item->Caption().toStdString();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, item->BoundsRect.center());
        EXPECT_NE(main.ChildWindow(c.kind), nullptr) << item->Caption().toStdString();
        EXPECT_EQ(bar->GetSelectedItem(), item);
    }
    // The selected item clicked from the keyboard.
    bar->SetActivePageIndex(0);
    bar->Pages()->GetPage(0)->SetSelectedItem(bar->Pages()->GetPage(0)->Item(4));
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Return);
    EXPECT_NE(main.ChildWindow(TChildKind::Cloud), nullptr);
}

} // namespace
