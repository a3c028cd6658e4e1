#include "editors/FractalParameters.h"

#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "editors/EditorsTestSupport.h"
#include "project/Project.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <functional>

using editortest::EditorTest;

namespace {

class FractalEditorTest : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        editor.SetProject(&current);
    }
    TFractalBlock& F() { return project->Fractal; }
    QTreeWidgetItem* Root(int i) { return editor.SurfaceTreeView->topLevelItem(i); }
    void Select(QTreeWidgetItem* node) { editor.SurfaceTreeView->setCurrentItem(node); }
    void Type(TFloatEdit* edit, const char* text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    // Records the application messages broadcast while the test runs.
    std::vector<uint32_t> broadcasts;
    QObject receiver;
    void ListenToBroadcasts()
    {
        RegisterMessageForm(&receiver, [this](TAppMessage& m) { broadcasts.push_back(m.Msg); });
    }
    TFFractalParameters editor;
};

} // namespace

TEST(FractalWindowTest, RefreshWithoutAProjectRaisesInitError)
{
    TFFractalParameters editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Fractalization Parameters Editor"));
    EXPECT_EQ(FFractalParameters, &editor);
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
}

TEST_F(FractalEditorTest, RefreshShowsTheSettingsAndTheThreeRootSurfaces)
{
    F().FractalDepth = 3;
    F().RPlaneSeed = 1234;
    F().RFreqSeed = 50; // below the field's range: shown at its limit
    F().TreeLine = 35;
    F().BaseTerrainBias = -70;
    F().TerrainSurfaces[0].Coverage = 12.5; // ties to even
    F().TerrainSurfaces[0].Bumpiness = 7.6;
    editor.RefreshFromProject();
    EXPECT_EQ(editor.FractalDepthEdit->value(), 3);
    EXPECT_EQ(editor.RPlaneSeed->text(), QStringLiteral("1234"));
    EXPECT_EQ(editor.RFreqSeed->text(), QStringLiteral("100"));
    EXPECT_EQ(editor.TreeLine->value(), 35);
    EXPECT_EQ(editor.BiasSpinEdit->value(), -70);
    ASSERT_EQ(editor.SurfaceTreeView->topLevelItemCount(), 3);
    const char* names[] = {"Below Treeline", "Intermediate", "Above Snowline"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Root(i)->text(0).toStdString(), names[i]);
        EXPECT_EQ(Root(i)->childCount(), 0);
    }
    // The first node is selected and its surface fills the lower controls.
    EXPECT_EQ(editor.SurfaceTreeView->currentItem(), Root(0));
    EXPECT_EQ(editor.SelectedSurface(), 0);
    EXPECT_EQ(editor.SurfaceNameEdit->text(), QStringLiteral("Below Treeline"));
    EXPECT_EQ(editor.PrimaryColorButton->FaceColor(), QColor(32, 97, 1));
    EXPECT_EQ(editor.CoverageSpinEdit->value(), 12);
    EXPECT_EQ(editor.BumpinessEdit->text(), QStringLiteral("8"));
    EXPECT_EQ(editor.RoughnessEdit->text(), QStringLiteral("20"));
    // Showing is not writing.
    EXPECT_EQ(F().RFreqSeed, 50);
    EXPECT_DOUBLE_EQ(F().TerrainSurfaces[0].Coverage, 12.5);

    Select(Root(2));
    EXPECT_EQ(editor.SelectedSurface(), 2);
    EXPECT_EQ(editor.SurfaceNameEdit->text(), QStringLiteral("Above Snowline"));
}

TEST_F(FractalEditorTest, UpperControlsWriteTheFractalBlock)
{
    editor.RefreshFromProject();
    struct Case {
        TFloatEdit* edit;
        const char* typed;
        int32_t TFractalBlock::*field;
        int32_t expected;
    } seeds[] = {
        {editor.RPlaneSeed, "777", &TFractalBlock::RPlaneSeed, 777},
        {editor.RPlaneSeed, "99999", &TFractalBlock::RPlaneSeed, 32767},
        {editor.BPlaneSeed, "12", &TFractalBlock::BPlaneSeed, 12},
        {editor.RFreqSeed, "4096", &TFractalBlock::RFreqSeed, 4096},
        {editor.BFreqSeed, "70000", &TFractalBlock::BFreqSeed, 65536},
    };
    for (const Case& c : seeds) {
        Type(c.edit, c.typed);
        EXPECT_EQ(F().*c.field, c.expected) << c.typed;
    }
    struct Spin {
        QSpinBox* edit;
        int value;
        int32_t TFractalBlock::*field;
    } spins[] = {
        {editor.TreeLine, 45, &TFractalBlock::TreeLine},
        {editor.SnowLine, 90, &TFractalBlock::SnowLine},
        {editor.BandFuzzyness, 3, &TFractalBlock::BandEdgeFuzziness},
        {editor.BiasSpinEdit, -500, &TFractalBlock::BaseTerrainBias},
    };
    for (const Spin& s : spins) {
        s.edit->setValue(s.value);
        EXPECT_EQ(F().*s.field, s.value);
    }
}

TEST_F(FractalEditorTest, SurfaceControlsWriteTheSelectedSurfaceOnly)
{
    editor.RefreshFromProject();
    Select(Root(1));
    TTerrainSurface& s = F().TerrainSurfaces[1];
    const TTerrainSurface before0 = F().TerrainSurfaces[0];
    struct Case {
        TFloatEdit* edit;
        const char* typed;
        std::function<double()> field;
        double expected;
    } cases[] = {
        {editor.RoughnessEdit, "250", [&] { return s.Material.Roughness; }, 250},
        {editor.ShininessEdit, "35", [&] { return double(s.Material.Shininess); }, 35},
        {editor.SpecularityEdit, "80", [&] { return s.Material.Specularity; }, 80},
        {editor.EmissionEdit, "4", [&] { return s.Material.Emission; }, 4},
        {editor.BumpinessEdit, "15000", [&] { return s.Bumpiness; }, 9999},
    };
    for (const Case& c : cases) {
        Type(c.edit, c.typed);
        EXPECT_DOUBLE_EQ(c.field(), c.expected) << c.typed;
    }
    editor.MaxSlopeCheck->setChecked(true);
    editor.MinAltitudeCheck->setChecked(true);
    editor.CoverageSpinEdit->setValue(60);
    editor.MaxAltitudeSpinEdit->setValue(70);
    editor.MinSlopeSpinEdit->setValue(15);
    editor.MaxSlopeFuzzynessSpinEdit->setValue(5);
    EXPECT_EQ(s.MaxSlope, 1);
    EXPECT_EQ(s.MinAltitude, 1);
    EXPECT_EQ(s.MaxAltitude, 0);
    EXPECT_DOUBLE_EQ(s.Coverage, 60);
    EXPECT_DOUBLE_EQ(s.MaxAltitudeValue, 70);
    EXPECT_DOUBLE_EQ(s.MinSlopeValue, 15);
    EXPECT_DOUBLE_EQ(s.MaxSlopeEdge, 5);

    prompt.colours = {0x0000FF, -1};
    QTest::mouseClick(editor.PrimaryColorButton, Qt::LeftButton, {}, editor.PrimaryColorButton->rect().center());
    QTest::mouseClick(editor.SecondaryColorButton, Qt::LeftButton, {}, editor.SecondaryColorButton->rect().center());
    ASSERT_EQ(prompt.colourStarts.size(), 2u);
    EXPECT_EQ(prompt.colourStarts[0], 112 | (135 << 8) | (86 << 16)); // the face
    EXPECT_FLOAT_EQ(s.Material.PrimaryColor.R, 1.0f);
    EXPECT_FLOAT_EQ(s.Material.PrimaryColor.G, 0.0f);
    EXPECT_FLOAT_EQ(s.Material.PrimaryColor.A, 1.0f);
    EXPECT_FLOAT_EQ(s.Material.SecondaryColor.R, 128 / 255.0f); // cancelled
    // Nothing leaked into the other surface.
    EXPECT_DOUBLE_EQ(F().TerrainSurfaces[0].Material.Roughness, before0.Material.Roughness);
    EXPECT_DOUBLE_EQ(F().TerrainSurfaces[0].Coverage, before0.Coverage);
}

TEST_F(FractalEditorTest, AddBuildsChildrenAndGrandchildrenWithFreshIDs)
{
    TTerrainSurface& root = F().TerrainSurfaces[1];
    root.Coverage = 33;
    root.MaxAltitude = 1;
    root.MaxAltitudeValue = 80;
    root.MinSlopeEdge = 7;
    root.Bumpiness = 12;
    root.Material.Roughness = 44;
    editor.RefreshFromProject();
    Select(Root(1));
    editor.AddChildButtonClick();
    ASSERT_EQ(F().TerrainSurfaceCount, 4);
    ASSERT_EQ(F().TerrainSurfaces.size(), 4u);
    const TTerrainSurface& child = F().TerrainSurfaces[3];
    EXPECT_EQ(child.SurfaceID, 3);
    EXPECT_EQ(child.ParentID, 1);
    EXPECT_EQ(child.SurfaceName, "Intermediate");
    EXPECT_DOUBLE_EQ(child.Coverage, 33);
    EXPECT_EQ(child.MaxAltitude, 1);
    EXPECT_DOUBLE_EQ(child.MaxAltitudeValue, 80);
    EXPECT_DOUBLE_EQ(child.MinSlopeEdge, 7);
    EXPECT_DOUBLE_EQ(child.Material.Roughness, 44);
    EXPECT_DOUBLE_EQ(child.Bumpiness, 0);
    EXPECT_EQ(F().TerrainSurfaceNextID, 4);
    ASSERT_EQ(Root(1)->childCount(), 1);
    EXPECT_EQ(editor.SurfaceTreeView->currentItem(), Root(1)->child(0));
    EXPECT_EQ(editor.SelectedSurface(), 3);
    EXPECT_EQ(editor.BumpinessEdit->text(), QStringLiteral("0"));

    // A child of the child: its parent is the child's ID.
    editor.AddChildButtonClick();
    ASSERT_EQ(F().TerrainSurfaces.size(), 5u);
    EXPECT_EQ(F().TerrainSurfaces[4].SurfaceID, 4);
    EXPECT_EQ(F().TerrainSurfaces[4].ParentID, 3);
    ASSERT_EQ(Root(1)->child(0)->childCount(), 1);

    // The tree rebuilt from the array has the same shape.
    editor.RefreshFromProject();
    ASSERT_EQ(editor.SurfaceTreeView->topLevelItemCount(), 3);
    ASSERT_EQ(Root(1)->childCount(), 1);
    EXPECT_EQ(Root(1)->child(0)->childCount(), 1);
}

TEST_F(FractalEditorTest, AddNeverReusesAnIDTakenInTheArray)
{
    // A file whose counter lags behind its surfaces.
    F().TerrainSurfaces[2].SurfaceID = 9;
    F().TerrainSurfaceNextID = 3;
    editor.RefreshFromProject();
    Select(Root(0));
    editor.AddChildButtonClick();
    EXPECT_EQ(F().TerrainSurfaces[3].SurfaceID, 10);
    EXPECT_EQ(F().TerrainSurfaceNextID, 11);
    // Entries past the count are not part of the project: the next child takes the first of them.
    F().TerrainSurfaces.resize(6);
    editor.AddChildButtonClick();
    EXPECT_EQ(F().TerrainSurfaceCount, 5);
    EXPECT_EQ(F().TerrainSurfaces[4].SurfaceID, 11);
    EXPECT_EQ(F().TerrainSurfaces[4].ParentID, 10);
}

TEST_F(FractalEditorTest, RemoveRefusesRootsAndParentsAndMovesTheSelectionToTheParent)
{
    editor.RefreshFromProject();
    for (int i = 0; i < 3; ++i) {
        Select(Root(i));
        editor.RemoveChildButtonClick();
        EXPECT_EQ(F().TerrainSurfaces[size_t(i)].Deleted, 0);
    }
    EXPECT_EQ(prompt.errors, std::vector<std::string>(3, "E0134 Cannot delete root surface"));
    prompt.errors.clear();

    Select(Root(0));
    editor.AddChildButtonClick(); // index 3
    editor.AddChildButtonClick(); // index 4, child of 3
    Select(Root(0)->child(0));
    editor.RemoveChildButtonClick();
    EXPECT_EQ(prompt.errors, std::vector<std::string>{"E0135 You must delete all child surfaces first"});
    EXPECT_EQ(F().TerrainSurfaces[3].Deleted, 0);

    Select(Root(0)->child(0)->child(0));
    editor.RemoveChildButtonClick();
    EXPECT_EQ(F().TerrainSurfaces[4].Deleted, 1);
    EXPECT_EQ(F().TerrainSurfaces.size(), 5u); // marked, not removed
    EXPECT_EQ(Root(0)->child(0)->childCount(), 0);
    EXPECT_EQ(editor.SurfaceTreeView->currentItem(), Root(0)->child(0));
    EXPECT_EQ(editor.SelectedSurface(), 3);
    // The controls now write the parent, not the deleted surface.
    Type(editor.RoughnessEdit, "123");
    EXPECT_DOUBLE_EQ(F().TerrainSurfaces[3].Material.Roughness, 123);
    EXPECT_DOUBLE_EQ(F().TerrainSurfaces[4].Material.Roughness, 20);

    // With the grandchild gone the child can go.
    editor.RemoveChildButtonClick();
    EXPECT_EQ(F().TerrainSurfaces[3].Deleted, 1);
    EXPECT_EQ(editor.SurfaceTreeView->currentItem(), Root(0));
    EXPECT_EQ(editor.SelectedSurface(), 0);
}

TEST_F(FractalEditorTest, TreeShowsOnlySurfacesWhoseParentHasANode)
{
    auto add = [&](int32_t id, int32_t parent, const char* name, uint8_t deleted = 0) {
        TTerrainSurface s = F().TerrainSurfaces[0];
        s.SurfaceID = id;
        s.ParentID = parent;
        s.SurfaceName = name;
        s.Deleted = deleted;
        F().TerrainSurfaces.push_back(s);
        F().TerrainSurfaceCount = int32_t(F().TerrainSurfaces.size());
    };
    add(20, 21, "before its parent");   // index 3: parent placed later
    add(21, 0, "shown child");          // index 4
    add(22, 23, "child of deleted");    // index 5
    add(23, 1, "deleted", 1);           // index 6
    add(24, 99, "no parent at all");    // index 7
    F().TerrainSurfaceNextID = 25;
    editor.RefreshFromProject();
    ASSERT_EQ(Root(0)->childCount(), 1);
    EXPECT_EQ(Root(0)->child(0)->text(0), QStringLiteral("shown child"));
    EXPECT_EQ(Root(0)->child(0)->childCount(), 0);
    EXPECT_EQ(Root(1)->childCount(), 0);
    EXPECT_EQ(Root(2)->childCount(), 0);

    // The hidden child still refers to "shown child": removing it would orphan that child.
    Select(Root(0)->child(0));
    editor.RemoveChildButtonClick();
    EXPECT_EQ(prompt.errors, std::vector<std::string>{"E0135 You must delete all child surfaces first"});
    EXPECT_EQ(F().TerrainSurfaces[4].Deleted, 0);
}

TEST_F(FractalEditorTest, SurfacesSharingAnIDStayApart)
{
    // An old file with two roots of the same ID: each node still edits its own surface.
    F().TerrainSurfaces[2].SurfaceID = 1;
    editor.RefreshFromProject();
    Select(Root(2));
    EXPECT_EQ(editor.SelectedSurface(), 2);
    EXPECT_EQ(editor.SurfaceNameEdit->text(), QStringLiteral("Above Snowline"));
    Type(editor.EmissionEdit, "9");
    EXPECT_DOUBLE_EQ(F().TerrainSurfaces[2].Material.Emission, 9);
    EXPECT_DOUBLE_EQ(F().TerrainSurfaces[1].Material.Emission, 0);
}

TEST_F(FractalEditorTest, RenamingRenamesTheNodeAtOnce)
{
    editor.RefreshFromProject();
    Select(Root(1));
    editor.AddChildButtonClick();
    editor.SurfaceNameEdit->selectAll();
    QTest::keyClicks(editor.SurfaceNameEdit, "Scree");
    EXPECT_EQ(F().TerrainSurfaces[3].SurfaceName, "Scree");
    EXPECT_EQ(Root(1)->child(0)->text(0), QStringLiteral("Scree"));
    EXPECT_EQ(F().TerrainSurfaces[1].SurfaceName, "Intermediate");
    // Longer names are cut to what the file holds.
    editor.SurfaceNameEdit->setMaxLength(1000);
    editor.SurfaceNameEdit->setText(QString(300, QChar(0x00E9))); // two bytes each in UTF-8
    EXPECT_EQ(F().TerrainSurfaces[3].SurfaceName.size(), 254u);
}

TEST_F(FractalEditorTest, WithoutSurfacesEveryHandlerIsInert)
{
    editor.RefreshFromProject();
    F().TerrainSurfaces.clear();
    F().TerrainSurfaceCount = 0;
    editor.RefreshFromProject();
    EXPECT_EQ(editor.SurfaceTreeView->topLevelItemCount(), 0);
    EXPECT_EQ(editor.SelectedSurface(), -1);
    Type(editor.RoughnessEdit, "5");
    editor.MaxSlopeCheck->setChecked(!editor.MaxSlopeCheck->isChecked());
    editor.AddChildButtonClick();
    editor.RemoveChildButtonClick();
    prompt.colours = {0xFFFFFF};
    QTest::mouseClick(editor.PrimaryColorButton, Qt::LeftButton, {}, editor.PrimaryColorButton->rect().center());
    EXPECT_TRUE(F().TerrainSurfaces.empty());
    EXPECT_EQ(F().TerrainSurfaceCount, 0);
    EXPECT_TRUE(prompt.errors.empty());
}

TEST_F(FractalEditorTest, OnlyANewDepthIsBroadcast)
{
    editor.RefreshFromProject();
    ListenToBroadcasts();
    editor.FractalDepthEdit->setValue(3);
    EXPECT_EQ(F().FractalDepth, 3);
    EXPECT_EQ(broadcasts, std::vector<uint32_t>{WM_FRACTALDEPTHCHANGED});
    // Choosing the value the project already holds sends nothing.
    F().FractalDepth = 2;
    editor.FractalDepthEdit->setValue(2);
    EXPECT_EQ(broadcasts.size(), 1u);
    // Nor does showing the project's own value, by refresh or on the message.
    F().FractalDepth = 4;
    editor.ShowFractalDepth();
    EXPECT_EQ(editor.FractalDepthEdit->value(), 4);
    editor.RefreshFromProject();
    EXPECT_EQ(broadcasts.size(), 1u);
    // Other seeds and surfaces do not announce anything.
    Type(editor.RPlaneSeed, "5");
    editor.TreeLine->setValue(10);
    EXPECT_EQ(broadcasts.size(), 1u);
}
