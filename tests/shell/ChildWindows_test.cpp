// Editor and renderer windows: create-or-show, the renderers' exclusion, refreshes and messages.
#include "ShellFixture.h"

#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QTest>

#include "controls/uOutBar.h"

using namespace shelltest;

using ChildWindowsTest = ShellTest;

TEST_F(ChildWindowsTest, UnregisteredWindowsKeepTheirItemsDisabled)
{
    TMainForm& main = Start();
    EXPECT_FALSE(main.MenuItemOf(TChildKind::Camera)->isEnabled());
    EXPECT_EQ(main.OpenChildWindow(TChildKind::Camera), nullptr);
    RegisterProbe<TProbeForm>(TChildKind::Camera);
    EXPECT_TRUE(main.MenuItemOf(TChildKind::Camera)->isEnabled());
}

TEST_F(ChildWindowsTest, CreateOrShowOpensAWindowOnce)
{
    std::vector<TProbeForm*> made;
    RegisterProbe(TChildKind::Camera, &made);
    TMainForm& main = Start();
    QAction* item = main.MenuItemOf(TChildKind::Camera);

    TFBaseForm* first = main.OpenChildWindow(TChildKind::Camera);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(first, made[0]);
    EXPECT_EQ(first->ProjectVar(), &CurrentProject);
    EXPECT_EQ(made[0]->refreshes, 1);
    EXPECT_EQ(main.Modified, 1);
    EXPECT_FALSE(item->isEnabled());
    EXPECT_EQ(main.MdiArea->subWindowList().size(), 1);

    main.Modified = 0;
    EXPECT_EQ(main.OpenChildWindow(TChildKind::Camera), first);
    EXPECT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->refreshes, 1);
    EXPECT_EQ(main.Modified, 0); // bringing it to the front changes nothing

    main.SubWindowOf(first)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main.ChildWindow(TChildKind::Camera), nullptr);
    EXPECT_TRUE(item->isEnabled());
    EXPECT_TRUE(main.MdiArea->subWindowList().isEmpty());
    main.OpenChildWindow(TChildKind::Camera);
    EXPECT_EQ(made.size(), 2u);
}

TEST_F(ChildWindowsTest, LandscapeItemStaysEnabledWhileOpen)
{
    RegisterProbe<TProbeForm>(TChildKind::Landscape);
    TMainForm& main = Start();
    main.OutBarClick(2);
    ASSERT_NE(main.ChildWindow(TChildKind::Landscape), nullptr);
    EXPECT_TRUE(main.MenuItemOf(TChildKind::Landscape)->isEnabled());
}

TEST_F(ChildWindowsTest, CommandNumbersOpenTheirWindows)
{
    const std::pair<int, TChildKind> table[] = {
        {0, TChildKind::FractalRender}, {2, TChildKind::Landscape}, {3, TChildKind::Camera},
        {4, TChildKind::Atmosphere},    {5, TChildKind::Cloud},     {6, TChildKind::FractalParameters},
        {7, TChildKind::Water},         {8, TChildKind::Terrain},   {9, TChildKind::Placement},
        {10, TChildKind::Actors},       {12, TChildKind::Urban},    {13, TChildKind::Overlay},
    };
    for (int i = 0; i < ChildKindCount; ++i)
        RegisterProbe<TProbeForm>(static_cast<TChildKind>(i));
    TMainForm& main = Start();
    main.OutBarClick(11); // the ecology editor does not exist
    EXPECT_TRUE(main.MdiArea->subWindowList().isEmpty());
    for (const auto& [command, kind] : table) {
        SCOPED_TRACE(command);
        main.OutBarClick(command);
        ASSERT_NE(main.ChildWindow(kind), nullptr);
        EXPECT_EQ(main.ChildWindow(kind)->Kind(), kind);
    }
    EXPECT_EQ(main.MdiArea->subWindowList().size(), static_cast<int>(std::size(table)));
}

TEST_F(ChildWindowsTest, RenderersExcludeEachOther)
{
    std::vector<TProbeForm*> made;
    RegisterProbe(TChildKind::FractalRender, &made);
    RegisterProbe(TChildKind::OverlayRender, &made);
    TMainForm& main = Start();
    main.show();

    TFBaseForm* fractal = main.OpenChildWindow(TChildKind::FractalRender);
    ASSERT_NE(fractal, nullptr);
    EXPECT_TRUE(main.RenderMenuItem->isEnabled());
    EXPECT_EQ(made[0]->refreshes, 0); // a renderer draws only when asked
    EXPECT_EQ(made[0]->setProjects, 1);
    EXPECT_EQ(main.Modified, 0);

    EXPECT_EQ(main.OpenChildWindow(TChildKind::OverlayRender), nullptr);
    EXPECT_TRUE(prompt.Showed("Please close fractal renderer before opening overlay renderer"));
    EXPECT_EQ(made.size(), 1u);

    delete main.SubWindowOf(fractal);
    EXPECT_FALSE(main.RenderMenuItem->isEnabled());
    TFBaseForm* overlay = main.OpenChildWindow(TChildKind::OverlayRender);
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(main.SubWindowOf(overlay)->geometry(), main.MdiArea->viewport()->rect());
    EXPECT_EQ(main.OpenChildWindow(TChildKind::FractalRender), nullptr);
    EXPECT_TRUE(prompt.Showed("Please close overlay renderer before opening fractal renderer"));
}

TEST_F(ChildWindowsTest, FractalRendererTakesItsStoredPlacement)
{
    RegisterProbe<TProbeForm>(TChildKind::FractalRender);
    {
        TWinRegistry settings(QuarlexBaseKey);
        settings.WriteInteger("FractalRender", "Top", 12);
        settings.WriteInteger("FractalRender", "Left", 34);
        settings.WriteInteger("FractalRender", "Width", 400);
        settings.WriteInteger("FractalRender", "Height", 300);
    }
    TMainForm& main = Start();
    TFBaseForm* fractal = main.OpenChildWindow(TChildKind::FractalRender);
    EXPECT_EQ(main.SubWindowOf(fractal)->geometry(), QRect(34, 12, 400, 300));
}

TEST_F(ChildWindowsTest, UpdateAllEditorsSkipsTheRenderers)
{
    std::vector<TProbeForm*> made;
    RegisterProbe(TChildKind::FractalRender, &made);
    RegisterProbe(TChildKind::Camera, &made);
    TMainForm& main = Start();
    main.OpenChildWindow(TChildKind::FractalRender);
    main.OpenChildWindow(TChildKind::Camera);
    main.UpdateAllEditors();
    EXPECT_EQ(made[0]->refreshes, 0);
    EXPECT_EQ(made[0]->renderSettings, 1);
    EXPECT_EQ(made[1]->refreshes, 2); // on opening and now
    EXPECT_EQ(made[1]->renderSettings, 0);

    // Plug-ins ask for the same through WM_REFRESHALL.
    BroadcastToForms(TAppMessage{WM_REFRESHALL});
    EXPECT_EQ(made[1]->refreshes, 3);
    EXPECT_EQ(made[0]->renderSettings, 2);
}

TEST_F(ChildWindowsTest, MainWindowRelaysLayerAndDepthChanges)
{
    const TChildKind kinds[] = {TChildKind::Terrain, TChildKind::Placement, TChildKind::FractalParameters,
                                TChildKind::FractalRender, TChildKind::Camera};
    std::vector<TProbeForm*> made;
    for (TChildKind kind : kinds)
        RegisterProbe(kind, &made);
    TMainForm& main = Start();
    for (TChildKind kind : kinds)
        main.OpenChildWindow(kind);
    ASSERT_EQ(made.size(), 5u);

    BroadcastToForms(TAppMessage{WM_FORCELIMITEDREDRAW});
    EXPECT_EQ(made[0]->layerProperties, 1);
    EXPECT_EQ(made[1]->layers, 1);
    BroadcastToForms(TAppMessage{WM_FRACTALDEPTHCHANGED});
    EXPECT_EQ(made[2]->fractalDepth, 1);
    EXPECT_EQ(made[3]->renderSettings, 1);
    // Nobody else was touched, but every form heard both broadcasts.
    EXPECT_EQ(made[4]->layerProperties + made[4]->layers + made[4]->fractalDepth + made[4]->renderSettings, 0);
    EXPECT_EQ(made[4]->received, (std::vector<uint32_t>{WM_FORCELIMITEDREDRAW, WM_FRACTALDEPTHCHANGED}));
}

TEST_F(ChildWindowsTest, NewProjectHandsTheVariableToOpenWindows)
{
    std::vector<TProbeForm*> made;
    RegisterProbe(TChildKind::Atmosphere, &made);
    TMainForm& main = Start();
    main.OpenChildWindow(TChildKind::Atmosphere);
    main.NewProject("Other");
    EXPECT_EQ(made[0]->setProjects, 2);
    EXPECT_EQ(made[0]->Project().Header.Name, "Other");
}

TEST_F(ChildWindowsTest, ClosingTheMainWindowClosesItsChildrenFirst)
{
    std::vector<TProbeForm*> made;
    RegisterProbe(TChildKind::Water, &made);
    TMainForm& main = Start();
    main.OpenChildWindow(TChildKind::Water);
    made[0]->refuseClose = true;
    main.Modified = 0;
    EXPECT_FALSE(main.close()); // a child that cannot close keeps the program running
    EXPECT_NE(CurrentProject, nullptr);
    made[0]->refuseClose = false;
    EXPECT_TRUE(main.close());
    EXPECT_EQ(CurrentProject, nullptr);
}

TEST_F(ChildWindowsTest, WindowMenuListsTheChildrenAndRenderBringsTheRendererForward)
{
    RegisterProbe<TProbeForm>(TChildKind::Camera);
    RegisterProbe<TProbeForm>(TChildKind::FractalRender);
    TMainForm& main = Start();
    main.show();
    main.OpenChildWindow(TChildKind::FractalRender)->setWindowTitle(QStringLiteral("Fractal Render"));
    TFBaseForm* camera = main.OpenChildWindow(TChildKind::Camera);
    camera->setWindowTitle(QStringLiteral("Camera"));
    EXPECT_EQ(main.MdiArea->activeSubWindow(), main.SubWindowOf(camera));

    emit main.WindowMenu->aboutToShow();
    std::vector<std::string> captions;
    for (QAction* action : main.WindowMenu->actions())
        captions.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    EXPECT_EQ(captions, (std::vector<std::string>{"&Tile", "&Cascade", "&Arrange All", "-", "Fractal Render", "Camera"}));

    main.RenderMenuItem->trigger();
    EXPECT_EQ(main.MdiArea->activeSubWindow(), main.SubWindowOf(main.ChildWindow(TChildKind::FractalRender)));
}

namespace {

enum class TWindowState { Closed, Normal, Maximised, Minimised };

void PutInState(QMdiSubWindow* window, TWindowState state)
{
    switch (state) {
    case TWindowState::Normal: window->showNormal(); break;
    case TWindowState::Maximised: window->showMaximized(); break;
    case TWindowState::Minimised: window->showMinimized(); break;
    case TWindowState::Closed: break;
    }
    QCoreApplication::processEvents();
}

const char* StateName(TWindowState state)
{
    switch (state) {
    case TWindowState::Closed: return "closed";
    case TWindowState::Normal: return "normal";
    case TWindowState::Maximised: return "maximised";
    case TWindowState::Minimised: return "minimised";
    }
    return "";
}

// In front of every other child window, not minimised, inside the area, and the active one.
::testing::AssertionResult InFrontAndActive(TMainForm& main, QMdiSubWindow* window)
{
    if (!window)
        return ::testing::AssertionFailure() << "no window";
    const auto stack = main.MdiArea->subWindowList(QMdiArea::StackingOrder);
    if (stack.isEmpty() || stack.last() != window)
        return ::testing::AssertionFailure() << "not on top of the stack";
    if (main.MdiArea->activeSubWindow() != window)
        return ::testing::AssertionFailure() << "not the active window";
    if (!window->isVisible() || window->isMinimized())
        return ::testing::AssertionFailure() << "hidden or minimised";
    if (!main.MdiArea->viewport()->rect().intersects(window->geometry()))
        return ::testing::AssertionFailure() << "outside the area";
    return ::testing::AssertionSuccess();
}

} // namespace

TEST_F(ChildWindowsTest, AWindowOpenedOrBroughtForwardIsInFrontAndActiveWhateverTheOthersAre)
{
    using S = TWindowState;
    // The landscape editor opened or brought forward from the shortcut bar or the Window menu; the
    // renderer brought forward by "Render". The other of the two is in each state first.
    enum TCommand { ShortcutBar, WindowMenu, Render };
    const char* commandNames[] = {"shortcut bar", "Window menu", "Render"};
    for (TCommand command : {ShortcutBar, WindowMenu, Render})
        for (S before : {S::Closed, S::Normal, S::Minimised, S::Maximised})
            for (S other : {S::Normal, S::Maximised, S::Minimised}) {
                if (command != ShortcutBar && before == S::Closed)
                    continue;
                SCOPED_TRACE(std::string(commandNames[command]) + ", target " + StateName(before) + ", other " +
                             StateName(other));
                RegisterProbe<TProbeForm>(TChildKind::Landscape);
                RegisterProbe<TProbeForm>(TChildKind::FractalRender);
                form.reset();
                TMainForm& main = Start();
                main.resize(1000, 800);
                main.show();
                QCoreApplication::processEvents();
                const TChildKind target = command == Render ? TChildKind::FractalRender : TChildKind::Landscape;
                const TChildKind second = command == Render ? TChildKind::Landscape : TChildKind::FractalRender;
                if (before != S::Closed) {
                    TFBaseForm* opened = main.OpenChildWindow(target);
                    ASSERT_NE(opened, nullptr);
                    opened->setWindowTitle(QStringLiteral("Target"));
                    PutInState(main.SubWindowOf(opened), before);
                }
                TFBaseForm* others = main.OpenChildWindow(second);
                ASSERT_NE(others, nullptr);
                PutInState(main.SubWindowOf(others), other);

                if (command == ShortcutBar) {
                    TOutBar* bar = main.OutBar;
                    bar->SmoothSpeed = 0;
                    bar->SetActivePageIndex(TMainForm::BasicsPage);
                    TOutItem* item = bar->Pages()->GetPage(0)->Item(1); // "Landscape Heightfield Editor"
                    bar->LayoutBar();
                    ASSERT_TRUE(item->LaidOut());
                    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, item->BoundsRect.center());
                } else if (command == WindowMenu) {
                    emit main.WindowMenu->aboutToShow();
                    for (QAction* action : main.WindowMenu->actions())
                        if (action->text() == QStringLiteral("Target"))
                            action->trigger();
                } else {
                    main.RenderMenuItem->trigger();
                }
                QCoreApplication::processEvents();
                EXPECT_TRUE(InFrontAndActive(main, main.SubWindowOf(main.ChildWindow(target))));
            }
}
