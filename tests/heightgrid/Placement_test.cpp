// Terrain placement: the region, line, model and selection tools, their popup commands, and the
// terrain placement editor's layer choice and shown layers.
#include "heightgrid/DefNet.h"
#include "heightgrid/HeightGridDialogs.h"
#include "heightgrid/ModelPlacementDlg.h"
#include "heightgrid/Placement.h"
#include "heightgrid/PlacementTools.h"
#include "controls/FloatEdit.h"
#include "project/Project.h"
#include "shell/BaseUnit.h"

#include <QComboBox>
#include <QListWidget>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class PlacementToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        project.NewGrid(10, 10, 30, 30);
        project.TerrainLayers.Items.assign(2, TTerrainLayer{});
        project.TerrainLayers.Items[0].ID = 5;
        project.TerrainLayers.Items[1].ID = 6;
        project.TerrainLayers.Items[1].ModelHeight = 25;
        project.TerrainLayers.Items[1].Rotation = 47.9;
        project.TerrainLayers.Count = 2;
        var = &project;
        tools.SetProject(&var);
        tools.Width = 200;
        tools.Height = 100;
        tools.CurrentLayer = 6;
    }
    // A region or line of the current layer through the pixels given.
    void Draw(bool line, std::initializer_list<QPoint> points)
    {
        bool first = true;
        for (QPoint p : points) {
            if (first)
                tools.PolyPress(line, p);
            else
                tools.PolyRelease(line, p);
            first = false;
        }
        tools.PolyFinish(line);
    }
    TProject project;
    TProject* var = nullptr;
    TPlacementTools tools;
};

TEST_F(PlacementToolsTest, RegionsAndLinesStoreTheirVerticesAsFractionsOfTheMap)
{
    tools.PolyPress(false, QPoint(20, 10)); // the pressed point is the first vertex
    tools.PolyRelease(false, QPoint(100, 10));
    tools.PolyPress(false, QPoint(100, 10)); // an open region goes on from its last vertex
    tools.PolyRelease(false, QPoint(100, 50));
    EXPECT_TRUE(tools.Open(false));
    tools.PolyFinish(false);
    EXPECT_FALSE(tools.Open(false));
    ASSERT_EQ(project.TerrainPolys.Count, 1);
    const TTerrainPoly& region = project.TerrainPolys.Items[0];
    EXPECT_EQ(region.TerrainLayerID, 6);
    ASSERT_EQ(region.PointCount, 3);
    EXPECT_DOUBLE_EQ(region.Points[0].X, 0.1);
    EXPECT_DOUBLE_EQ(region.Points[1].X, 0.5);
    EXPECT_DOUBLE_EQ(region.Points[2].Y, 0.5);
    EXPECT_EQ(project.TerrainPolys.NextID, region.ID + 1);

    Draw(true, {QPoint(0, 0), QPoint(200, 100)});
    ASSERT_EQ(project.TerrainLines.Count, 1);
    EXPECT_EQ(project.TerrainLines.Items[0].PointCount, 2);
    EXPECT_DOUBLE_EQ(project.TerrainLines.Items[0].Points[1].X, 1.0);
}

TEST_F(PlacementToolsTest, AModelAtTheBottomRightPixelIsStoredAtOne)
{
    double size = 0;
    int rotation = 0;
    ASSERT_TRUE(tools.CurrentLayerModelDefaults(size, rotation));
    EXPECT_EQ(size, 25);
    EXPECT_EQ(rotation, 47);
    const int index = tools.PlaceModel(QPoint(200, 100), 12.5, 90);
    ASSERT_EQ(index, 0);
    const TModelPlacement& m = project.Models.Items[0];
    EXPECT_EQ(m.Position.X, 1.0f);
    EXPECT_EQ(m.Position.Y, 0.0f);
    EXPECT_EQ(m.Position.Z, 1.0f);
    EXPECT_EQ(m.Size, 12.5);
    EXPECT_EQ(m.Rotation, 90);
    EXPECT_EQ(m.TerrainLayerID, 6);
}

TEST_F(PlacementToolsTest, SelectionReachesFivePixelsButNotSixAndOnlyInTheCurrentLayer)
{
    tools.PlaceModel(QPoint(100, 50), 1, 0);
    struct Case {
        QPoint at;
        bool selected;
    } cases[] = {{{105, 50}, true}, {{106, 50}, false}, {{95, 45}, true}, {{100, 44}, false}};
    for (const Case& c : cases) {
        tools.SelectAt(c.at);
        EXPECT_EQ(tools.SelectedModel >= 0, c.selected) << c.at.x() << "," << c.at.y();
    }
    tools.CurrentLayer = 5;
    tools.SelectAt(QPoint(100, 50));
    EXPECT_EQ(tools.SelectedModel, -1);
}

TEST_F(PlacementToolsTest, SelectingTellsWhatWasClearedThenWhatIsSelectedAndDragsIt)
{
    Draw(false, {QPoint(10, 10), QPoint(60, 10), QPoint(60, 60)});
    tools.PlaceModel(QPoint(150, 80), 1, 0);
    auto notices = tools.SelectAt(QPoint(61, 59));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].WParam(), 1u | (uint32_t(pkRegion) << 16));
    EXPECT_EQ(tools.SelectedVertex, 2);
    notices = tools.SelectAt(QPoint(150, 80));
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].WParam(), uint32_t(pkRegion) << 16); // the region is let go
    EXPECT_EQ(notices[1].WParam(), 1u | (uint32_t(pkModel) << 16));
    ASSERT_TRUE(tools.DragTo(QPoint(20, 90)));
    EXPECT_TRUE(tools.Moved);
    EXPECT_FLOAT_EQ(project.Models.Items[0].Position.X, 0.1f);
    EXPECT_FLOAT_EQ(project.Models.Items[0].Position.Z, 0.9f);
}

TEST_F(PlacementToolsTest, DeletingPointsKeepsAtLeastThreeOrDeletesTheWhole)
{
    struct Case {
        bool line;
        int vertices;
        int remaining; // -1: deleted whole
    } cases[] = {{false, 4, 3}, {false, 3, -1}, {true, 4, 3}, {true, 3, -1}, {true, 2, -1}};
    for (const Case& c : cases) {
        std::vector<QPoint> pts;
        for (int i = 0; i < c.vertices; ++i)
            pts.push_back(QPoint(20 + 30 * i, 20 + 10 * i));
        tools.PolyPress(c.line, pts[0]);
        for (size_t i = 1; i < pts.size(); ++i)
            tools.PolyRelease(c.line, pts[i]);
        tools.PolyFinish(c.line);
        tools.SelectAt(pts[1]);
        tools.DeletePoint(c.line);
        const auto& items = c.line ? project.TerrainLines.Items : project.TerrainPolys.Items;
        const TTerrainPoly& poly = items.back();
        if (c.remaining < 0) {
            EXPECT_EQ(poly.Deleted, 1);
        } else {
            EXPECT_EQ(poly.Deleted, 0);
            EXPECT_EQ(poly.PointCount, c.remaining);
            EXPECT_EQ(tools.SelectedVertex, -1);
        }
        poly.Deleted ? void() : tools.DeleteSelectedRegion();
    }
}

TEST_F(PlacementToolsTest, InsertPointDuplicatesTheSelectedVertexAndLayerDeletesMarkTheirOwn)
{
    Draw(false, {QPoint(10, 10), QPoint(60, 10), QPoint(60, 60)});
    tools.SelectAt(QPoint(60, 10));
    tools.InsertPoint(false);
    const TTerrainPoly& region = project.TerrainPolys.Items[0];
    ASSERT_EQ(region.PointCount, 4);
    EXPECT_DOUBLE_EQ(region.Points[1].X, region.Points[2].X);
    EXPECT_DOUBLE_EQ(region.Points[3].Y, 0.6);

    tools.CurrentLayer = 5;
    Draw(false, {QPoint(100, 10), QPoint(150, 10), QPoint(150, 60)});
    tools.DeleteLayerRegions();
    EXPECT_EQ(project.TerrainPolys.Items[0].Deleted, 0);
    EXPECT_EQ(project.TerrainPolys.Items[1].Deleted, 1);
}

// ---- The map control and the window ----------------------------------------------------------------

class PlacementWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        project.NewGrid(20, 20, 30, 30);
        project.TerrainLayers.Items.clear();
        const int32_t types[] = {0, 3, 1, 2};
        for (int i = 0; i < 4; ++i) {
            TTerrainLayer layer;
            layer.ID = 10 + i;
            layer.Name = "Layer " + std::to_string(i);
            layer.LayerType = types[i];
            layer.Visible = 1;
            project.TerrainLayers.Items.push_back(layer);
        }
        project.TerrainLayers.Count = 4;
        var = &project;
        window = std::make_unique<TFPlacement>();
        window->SetProject(&var);
        window->RefreshFromProject();
    }
    void TearDown() override
    {
        window.reset();
        DestroyHeightGridDialogs();
    }
    TProject project;
    TProject* var = nullptr;
    std::unique_ptr<TFPlacement> window;
};

TEST(PlacementToolSets, EachLayerTypeAllowsItsTools)
{
    struct Case {
        int32_t type;
        TPlacementToolSet tools;
    } cases[] = {{0, {true, true, false, true}},  {4, {true, true, false, true}}, {5, {true, true, false, true}},
                 {1, {false, false, false, false}}, {2, {true, true, false, false}}, {3, {true, false, true, false}},
                 {9, {false, false, false, false}}};
    for (const Case& c : cases)
        EXPECT_EQ(PlacementToolsForLayerType(c.type), c.tools) << c.type;
}

TEST_F(PlacementWindowTest, ChoosingALayerEnablesItsToolsAndHeightsWaterDisablesThemAll)
{
    window->LayersComboBox->setCurrentIndex(2); // the model layer
    EXPECT_EQ(window->Map->Placement.CurrentLayer, 11);
    EXPECT_EQ(window->Map->Mode, ModeSelect);
    EXPECT_TRUE(window->SelectToolButton->isChecked());
    EXPECT_TRUE(window->SelectToolButton->isEnabled());
    EXPECT_FALSE(window->TerrainToolButton->isEnabled());
    EXPECT_TRUE(window->ActorToolButton->isEnabled());
    EXPECT_FALSE(window->LineToolButton->isEnabled());

    window->LayersComboBox->setCurrentIndex(0);
    EXPECT_EQ(window->Map->Placement.CurrentLayer, -1);
    EXPECT_EQ(window->Map->Mode, ModeSpotHeight);
    for (QToolButton* b : {window->SelectToolButton, window->TerrainToolButton, window->ActorToolButton, window->LineToolButton})
        EXPECT_FALSE(b->isEnabled());
}

TEST_F(PlacementWindowTest, DeletedLayersAreNotListedAndEachRowChangesItsOwnLayer)
{
    project.TerrainLayers.Items[1].Deleted = 1;
    window->RefreshFromProject();
    ASSERT_EQ(window->LayersComboBox->count(), 4); // "Heights/Water" and three layers
    ASSERT_EQ(window->LayersCheckList->count(), 6);
    EXPECT_EQ(window->LayersCheckList->item(4)->text(), "Layer 2");
    window->LayersCheckList->item(4)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(project.TerrainLayers.Items[2].Visible, 0);
    EXPECT_EQ(project.TerrainLayers.Items[1].Visible, 1);

    window->LayersCheckList->item(2)->setCheckState(Qt::Unchecked); // "Water"
    EXPECT_FALSE(window->Map->DrawFloodMarks);
}

TEST_F(PlacementWindowTest, TheModelToolPlacesWhatTheDialogSaysAndTheSelectionGetsItsMenu)
{
    window->LayersComboBox->setCurrentIndex(2);
    window->Map->SetMode(ModeModel, nullptr);
    window->Map->ExecModelPlacement = [](TModelPlacementDlg& dlg) {
        dlg.ModelHeightEdit->SetValue(40);
        dlg.RotationSpinEdit->setValue(30);
        return true;
    };
    QTest::mouseClick(window->Map, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(project.Models.Count, 1);
    EXPECT_EQ(project.Models.Items[0].Size, 40);
    EXPECT_EQ(project.Models.Items[0].TerrainLayerID, 11);
    const float expectedX = float(10.0 / window->Map->Buffer.width());
    EXPECT_FLOAT_EQ(project.Models.Items[0].Position.X, expectedX);

    window->Map->SetMode(ModeSelect, nullptr);
    TAppMessage selected{WM_PLACEMENTSELECT, 1u | (1u << 16), 0, 0};
    window->AppMessage(selected);
    EXPECT_EQ(window->Map->PopupMenu(), window->SelectModelPopupMenu);
    TAppMessage cleared{WM_PLACEMENTSELECT, 1u << 16, 0, 0};
    window->AppMessage(cleared);
    EXPECT_EQ(window->Map->PopupMenu(), nullptr);
}

TEST_F(PlacementWindowTest, LeavingTheRegionToolWithARegionOpenDeletesIt)
{
    window->LayersComboBox->setCurrentIndex(1);
    window->Map->SetMode(ModeRegion, nullptr);
    QTest::mouseClick(window->Map, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(window->Map, Qt::LeftButton, {}, QPoint(40, 10));
    ASSERT_EQ(project.TerrainPolys.Count, 1);
    window->Map->SetMode(ModeSelect, nullptr);
    EXPECT_EQ(project.TerrainPolys.Items[0].Deleted, 1);
}

// Records the WParam of every WM_PLACEMENTSELECT broadcast while it lives.
struct TPlacementSelectLog {
    QObject owner;
    std::vector<uint32_t> wparams;
    TPlacementSelectLog()
    {
        RegisterMessageForm(&owner, [this](TAppMessage& m) {
            if (m.Msg == WM_PLACEMENTSELECT)
                wparams.push_back(m.WParam);
        });
    }
};

TEST_F(PlacementWindowTest, ToolAndLayerChangesClearEverySelectionAndSayWhatWasCleared)
{
    window->LayersComboBox->setCurrentIndex(1); // an area layer
    TPlacementSelectLog log;
    TPlacementTools& tools = window->Map->Placement;

    tools.SelectedModel = 0;
    tools.SelectedVertex = 0;
    window->Map->SetMode(ModeRegion, nullptr);
    EXPECT_EQ(log.wparams, (std::vector<uint32_t>{pkModel << 16}));
    EXPECT_FALSE(tools.HasMarker());
    EXPECT_EQ(tools.SelectedModel, -1);

    log.wparams.clear();
    window->Map->SetMode(ModeSelect, nullptr);
    EXPECT_TRUE(log.wparams.empty()); // nothing selected, nothing to say

    tools.SelectedRegion = 0;
    tools.SelectedLine = 0;
    tools.SelectedVertex = 1;
    window->LayersComboBox->setCurrentIndex(3); // another layer
    EXPECT_EQ(log.wparams, (std::vector<uint32_t>{pkRegion << 16, pkLine << 16}));
    EXPECT_EQ(tools.SelectedRegion, -1);
    EXPECT_EQ(tools.SelectedLine, -1);
    EXPECT_EQ(tools.SelectedVertex, -1);
    EXPECT_EQ(window->Map->PopupMenu(), nullptr);
}

TEST_F(PlacementWindowTest, DeletingTheCurrentLayerLeavesNoLayerAndNoTools)
{
    window->LayersComboBox->setCurrentIndex(1);
    ASSERT_EQ(window->Map->Placement.CurrentLayer, 10);
    window->Map->SetMode(ModeRegion, nullptr);

    // Another layer deleted: the current one stays with its tools.
    project.TerrainLayers.Items[2].Deleted = 1;
    window->RefreshLayers();
    EXPECT_EQ(window->Map->Placement.CurrentLayer, 10);
    EXPECT_TRUE(window->TerrainToolButton->isEnabled());

    // The current layer deleted: nothing may be drawn on it any more.
    project.TerrainLayers.Items[0].Deleted = 1;
    window->RefreshLayers();
    EXPECT_EQ(window->LayersComboBox->currentIndex(), 0);
    EXPECT_EQ(window->Map->Placement.CurrentLayer, -1);
    EXPECT_EQ(window->Map->Mode, ModeSpotHeight);
    for (QToolButton* b : {window->SelectToolButton, window->TerrainToolButton, window->ActorToolButton, window->LineToolButton})
        EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(window->TerrainToolButton->isChecked());
}

} // namespace
