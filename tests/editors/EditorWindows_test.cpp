// The four environment editors as the main window opens, refreshes and closes them.
#include "shell/ShellFixture.h"
#include "EditorWindowCases.h"

#include "controls/Flatimge.h"
#include "controls/EnhTrackBar.h"
#include "editors/Atmosphere.h"
#include "editors/Camera.h"
#include "editors/Clouds.h"
#include "editors/water.h"
#include "controls/FloatEdit.h"
#include "controls/Hemisphere.h"

#include <QMdiSubWindow>
#include <QEnterEvent>
#include <QSpinBox>

using namespace shelltest;

namespace {

class EditorWindowsTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        editortest::RegisterEnvironmentEditors();
    }
};

} // namespace

TEST_F(EditorWindowsTest, CommandsOpenEachEditorOnceIntoItsGlobal)
{
    TMainForm& main = Start();
    const std::vector<editortest::TEditorCommand> cases = {
        {3, TChildKind::Camera, [] { return FCamera; }},
        {4, TChildKind::Atmosphere, [] { return FAtmosphere; }},
        {5, TChildKind::Cloud, [] { return FCloud; }},
        {7, TChildKind::Water, [] { return FWater; }},
    };
    editortest::ExpectEachCommandOpensItsEditorOnce(main, cases);
    EXPECT_TRUE(prompt.messages.empty());
    // The first project's 258 x 258 grid is on the camera's map.
    EXPECT_EQ(FCamera->FlatImage->size(), QSize(250, 250));

    for (const editortest::TEditorCommand& c : cases) {
        main.SubWindowOf(main.ChildWindow(c.kind))->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(c.global(), nullptr);
        if (QAction* item = main.MenuItemOf(c.kind)) {
            EXPECT_TRUE(item->isEnabled());
        }
    }
}

TEST_F(EditorWindowsTest, OpenEditorsFollowAReplacedProject)
{
    TMainForm& main = Start();
    main.OutBarClick(5);
    main.OutBarClick(7);
    ASSERT_NE(FCloud, nullptr);
    ASSERT_NE(FWater, nullptr);

    main.NewProject("Second");
    CurrentProject->Water.WaveHeight = 33;
    CurrentProject->Clouds.Items[0].Height = 60;
    main.UpdateAllEditors();
    EXPECT_EQ(FWater->WaveHeightSpinEdit->value(), 33);
    EXPECT_EQ(FCloud->HeightTrackBar->value(), 20);
    FWater->WaterTurbulanceSpinEdit->setValue(77);
    EXPECT_EQ(CurrentProject->Water.WaterTurbulance, 77);
}

TEST_F(EditorWindowsTest, TheHintOfTheControlUnderTheMouseShowsInTheStepPanel)
{
    TMainForm& main = Start();
    main.OutBarClick(7); // the water editor
    ASSERT_NE(FWater, nullptr);
    struct Case {
        QWidget* control;
        const char* hint;
    } cases[] = {{FWater->WaterRoughness, "Non-wave roughness"},
                 {FWater->WaveDirectionHemisphere, "Wavesfront will be at rightangles"}};
    for (const Case& c : cases) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QCoreApplication::sendEvent(c.control, &enter);
        EXPECT_EQ(main.PanelText(2), c.hint);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(c.control, &leave);
        EXPECT_EQ(main.PanelText(2), "");
    }
}
