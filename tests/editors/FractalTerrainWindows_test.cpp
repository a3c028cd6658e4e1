// The fractal parameters and terrain layers editors as the main window opens them and passes their
// messages on.
#include "shell/ShellFixture.h"

#include "editors/FractalParameters.h"
#include "editors/Terrain.h"
#include "editors/TerrainTypeDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

using namespace shelltest;

namespace {

class FractalTerrainWindowsTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        TMainForm::RegisterChildWindow(TChildKind::FractalParameters, [] { return new TFFractalParameters; });
        TMainForm::RegisterChildWindow(TChildKind::Terrain, [] { return new TFTerrain; });
        RegisterProbe<TProbeForm>(TChildKind::FractalRender, &renderers);
        RegisterProbe<TProbeForm>(TChildKind::Placement, &placements);
    }
    std::vector<TProbeForm*> renderers;
    std::vector<TProbeForm*> placements;
};

} // namespace

TEST_F(FractalTerrainWindowsTest, CommandsOpenBothEditorsIntoTheirGlobals)
{
    TMainForm& main = Start();
    const std::pair<int, TChildKind> cases[] = {{6, TChildKind::FractalParameters}, {8, TChildKind::Terrain}};
    for (const auto& [command, kind] : cases) {
        main.OutBarClick(command);
        TFBaseForm* open = main.ChildWindow(kind);
        ASSERT_NE(open, nullptr) << command;
        EXPECT_EQ(open->ProjectVar(), &CurrentProject);
        ASSERT_NE(main.MenuItemOf(kind), nullptr);
        EXPECT_FALSE(main.MenuItemOf(kind)->isEnabled());
    }
    EXPECT_EQ(main.ChildWindow(TChildKind::FractalParameters), FFractalParameters);
    EXPECT_EQ(main.ChildWindow(TChildKind::Terrain), FTerrain);
    // Opened on the first project: its three surfaces, no layers.
    EXPECT_EQ(FFractalParameters->SurfaceTreeView->topLevelItemCount(), 3);
    EXPECT_EQ(FTerrain->TerrainList->count(), 0);
    EXPECT_TRUE(prompt.messages.empty());

    for (const auto& [command, kind] : cases) {
        main.SubWindowOf(main.ChildWindow(kind))->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(main.MenuItemOf(kind)->isEnabled());
    }
    EXPECT_EQ(FFractalParameters, nullptr);
    EXPECT_EQ(FTerrain, nullptr);
}

TEST_F(FractalTerrainWindowsTest, DepthChangesReachTheRendererAndComeBackFromIt)
{
    TMainForm& main = Start();
    main.OutBarClick(6);
    ASSERT_NE(main.OpenChildWindow(TChildKind::FractalRender), nullptr);
    ASSERT_EQ(renderers.size(), 1u);
    TFFractalParameters& editor = *FFractalParameters;
    const int before = renderers[0]->renderSettings;

    // The editor's change: the renderer is told once, the editor keeps the value.
    editor.FractalDepthEdit->setValue(3);
    EXPECT_EQ(CurrentProject->Fractal.FractalDepth, 3);
    EXPECT_EQ(renderers[0]->renderSettings, before + 1);
    EXPECT_EQ(editor.FractalDepthEdit->value(), 3);

    // The renderer's change: the editor shows it without announcing it again.
    CurrentProject->Fractal.FractalDepth = 2;
    TAppMessage message;
    message.Msg = WM_FRACTALDEPTHCHANGED;
    BroadcastToForms(message);
    EXPECT_EQ(editor.FractalDepthEdit->value(), 2);
    EXPECT_EQ(renderers[0]->renderSettings, before + 2);
}

TEST_F(FractalTerrainWindowsTest, LayerChangesReachThePlacementEditorAndOtherEditorsChangesTheLayerEditor)
{
    TMainForm& main = Start();
    ASSERT_NE(main.OpenChildWindow(TChildKind::Placement), nullptr);
    main.OutBarClick(8);
    TFTerrain& editor = *FTerrain;
    editor.ExecTypeDialog = [](TTerrainTypeDlg& dlg) {
        dlg.VegetationRadio->setChecked(true);
        return true;
    };
    const int before = placements[0]->layers;
    editor.NewButtonClick();
    EXPECT_EQ(CurrentProject->TerrainLayers.Count, 1);
    EXPECT_EQ(placements[0]->layers, before + 1);

    // Typing in the middle of the name: the message round trip leaves the text and cursor alone.
    editor.TerrainNameEdit->setText(QStringLiteral("Foest"));
    editor.TerrainNameEdit->setCursorPosition(2);
    QTest::keyClicks(editor.TerrainNameEdit, "r");
    EXPECT_EQ(editor.TerrainNameEdit->text(), QStringLiteral("Forest"));
    EXPECT_EQ(editor.TerrainNameEdit->cursorPosition(), 3);
    EXPECT_EQ(CurrentProject->TerrainLayers.Items[0].Name, "Forest");
    EXPECT_EQ(editor.TerrainList->item(0)->text(), QStringLiteral("Forest"));
    EXPECT_GT(placements[0]->layers, before + 1);

    // A plant type added elsewhere shows in the choices once its editor announces it.
    TActor oak;
    oak.ID = 4;
    oak.Name = "Oak";
    CurrentProject->Actors.Items.resize(size_t(CurrentProject->Actors.Count));
    CurrentProject->Actors.Items.push_back(oak);
    CurrentProject->Actors.Count += 1;
    CurrentProject->TerrainLayers.Items[0].Plants[2].TreeID = 4;
    TAppMessage message;
    message.Msg = WM_FORCELIMITEDREDRAW;
    BroadcastToForms(message);
    ASSERT_EQ(editor.PlantCombo[2]->count(), 2);
    EXPECT_EQ(editor.PlantCombo[2]->itemText(1), QStringLiteral("Oak"));
    EXPECT_EQ(editor.PlantCombo[2]->currentIndex(), 1);
    EXPECT_EQ(editor.PlantCombo[0]->currentIndex(), 0);

    // A new project empties the list.
    main.NewProject("Other");
    main.UpdateAllEditors();
    EXPECT_EQ(editor.TerrainList->count(), 0);
    EXPECT_EQ(editor.SelectedLayer(), -1);
    EXPECT_TRUE(editor.VisiblePages().isEmpty());
}
