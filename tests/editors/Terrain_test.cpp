#include "editors/Terrain.h"

#include "controls/EnhTrackBar.h"
#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "editors/EditorsTestSupport.h"
#include "editors/TerrainTypeDlg.h"
#include "project/Project.h"
#include "shell/PathDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <functional>

using editortest::EditorTest;

namespace {

// A prompt that also answers the file dialog.
class TFilePrompt : public editortest::TColourPrompt {
public:
    std::deque<std::string> files;
    std::vector<std::string> fileStarts;
    std::string OpenFileName(const std::string&, const std::string&, const std::string& startDir) override
    {
        fileStarts.push_back(startDir);
        if (files.empty())
            return {};
        std::string f = files.front();
        files.pop_front();
        return f;
    }
};

class TerrainEditorTest : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetPrompt(&files);
        editor.SetProject(&current);
        // The type dialog answers with the radio of `nextType`; -1 cancels.
        editor.ExecTypeDialog = [this](TTerrainTypeDlg& dlg) {
            overlayEnabled = dlg.OverlayRadio->isEnabled();
            QRadioButton* radios[] = {dlg.SurfaceRadio, dlg.EcologyRadio, dlg.OverlayRadio,
                                      dlg.ModelRadio,   dlg.VegetationRadio, dlg.UrbanRadio};
            if (nextType < 0)
                return false;
            radios[nextType]->setChecked(true);
            return true;
        };
        RegisterMessageForm(&receiver, [this](TAppMessage& m) { broadcasts.push_back(m.Msg); });
    }
    int New(int type)
    {
        nextType = type;
        editor.NewButtonClick();
        return editor.SelectedLayer();
    }
    TTerrainLayer& L(int i) { return project->TerrainLayers.Items[size_t(i)]; }
    void Type(TFloatEdit* edit, const char* text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void AddPlant(int32_t id, const char* name)
    {
        TActor a;
        a.ID = id;
        a.Name = name;
        project->Actors.Items.resize(size_t(project->Actors.Count));
        project->Actors.Items.push_back(a);
        ++project->Actors.Count;
    }
    size_t Count2033() const { return size_t(std::count(broadcasts.begin(), broadcasts.end(), WM_FORCELIMITEDREDRAW)); }

    TFilePrompt files;
    int nextType = 0;
    bool overlayEnabled = true;
    std::vector<uint32_t> broadcasts;
    QObject receiver;
    TFTerrain editor;
};

} // namespace

TEST(TerrainWindowTest, StartsWithoutSelectionAndRefusesToRefreshWithoutAProject)
{
    TFTerrain editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Terrain Layers Editor"));
    EXPECT_EQ(FTerrain, &editor);
    EXPECT_EQ(editor.SelectedLayer(), -1);
    EXPECT_TRUE(editor.VisiblePages().isEmpty());
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
}

TEST(TerrainLayerPagesTest, EachTypeShowsItsPages)
{
    const std::pair<int32_t, QStringList> cases[] = {
        {ltSurface, {"Surface"}},
        {ltEcology, {"Ecology"}},
        {ltOverlay, {"Texture Image Overlay"}},
        {ltModel, {"Models"}},
        {ltVegetation, {"Surface", "Vegetation"}},
        {ltUrban, {"Surface", "Urban"}},
        {17, {"Surface"}},
        {-3, {"Surface"}},
    };
    for (const auto& [type, pages] : cases)
        EXPECT_EQ(LayerPages(type), pages) << type;
}

TEST_F(TerrainEditorTest, WithoutLayersNothingShowsAndEveryHandlerIsInert)
{
    project->Actors.Items.resize(1); // the spare element of an empty list
    editor.RefreshFromProject();
    EXPECT_EQ(editor.TerrainList->count(), 0);
    EXPECT_EQ(editor.SelectedLayer(), -1);
    EXPECT_TRUE(editor.VisiblePages().isEmpty());
    EXPECT_EQ(editor.PlantCombo[0]->count(), 1);
    EXPECT_EQ(editor.PlantCombo[0]->itemText(0), QStringLiteral("Not Drawn"));

    editor.TerrainListClick(0);
    editor.TerrainListClick(-1);
    editor.DeleteButtonClick();
    editor.TerrainNameEdit->setText(QStringLiteral("nobody"));
    editor.WaterCheckBox->setChecked(true);
    Type(editor.BumpinessFloatEdit, "55");
    editor.AltitudeTrackBar->setValue(10);
    editor.TransparencyEdit->setValue(40);
    editor.PreviewEcologyButtonClick();
    files.files = {"/somewhere/model.3ds"};
    editor.ModelFileButtonClick();
    editor.FileButtonClick();
    prompt.colours = {0x112233};
    QTest::mouseClick(editor.LayerPrimary, Qt::LeftButton, {}, editor.LayerPrimary->rect().center());
    EXPECT_EQ(project->TerrainLayers.Count, 0);
    EXPECT_EQ(project->TerrainLayers.Items.size(), 1u);
    EXPECT_EQ(project->TerrainLayers.Items[0].Name, "");
    EXPECT_TRUE(files.fileStarts.empty());
    EXPECT_TRUE(files.colourStarts.empty());
    EXPECT_TRUE(files.errors.empty());
    EXPECT_TRUE(broadcasts.empty());

    // The landscape colour's face follows the dialog even so; no layer is written.
    files.colours = {0x0000FF};
    QTest::mouseClick(editor.LandscapeColor, Qt::LeftButton, {}, editor.LandscapeColor->rect().center());
    EXPECT_EQ(editor.LandscapeColor->FaceColor(), QColor(255, 0, 0));
    EXPECT_TRUE(broadcasts.empty());
    // The exact mapping switch belongs to the whole block.
    editor.ExactCheck->setChecked(true);
    EXPECT_EQ(project->TerrainLayers.Exact, 1);
}

TEST_F(TerrainEditorTest, NewWithCancelChangesNothing)
{
    editor.RefreshFromProject();
    EXPECT_EQ(New(-1), -1);
    EXPECT_EQ(project->TerrainLayers.Count, 0);
    EXPECT_EQ(project->TerrainLayers.NextID, 0);
    EXPECT_EQ(project->Ecology.Count, 0);
    EXPECT_EQ(project->Overlays.Count, 0);
    EXPECT_EQ(editor.TerrainList->count(), 0);
    EXPECT_TRUE(broadcasts.empty());
}

TEST_F(TerrainEditorTest, NewLayersOfEveryTypeGetTheirDefaultsAndCompanions)
{
    editor.RefreshFromProject();
    struct Case {
        int radio; // order of the dialog: Surface, Ecology, Overlay, Model, Vegetation, Urban
        int32_t type;
        QStringList pages;
    } cases[] = {
        {0, ltSurface, {"Surface"}},        {1, ltEcology, {"Ecology"}},
        {2, ltOverlay, {"Texture Image Overlay"}}, {3, ltModel, {"Models"}},
        {4, ltVegetation, {"Surface", "Vegetation"}}, {5, ltUrban, {"Surface", "Urban"}},
    };
    int expectedIndex = 0;
    for (const Case& c : cases) {
        const int index = New(c.radio);
        ASSERT_EQ(index, expectedIndex) << c.radio;
        const TTerrainLayer& l = L(index);
        EXPECT_EQ(l.ID, expectedIndex);
        EXPECT_EQ(l.LayerType, c.type);
        EXPECT_EQ(l.Name, "Unassigned");
        EXPECT_EQ(l.Visible, 1);
        EXPECT_DOUBLE_EQ(l.ModelHeight, 100.0);
        EXPECT_DOUBLE_EQ(l.LineWidth, 10.0);
        EXPECT_FLOAT_EQ(l.LandscapeColor.R, 0.55f);
        EXPECT_FLOAT_EQ(l.LayerSecondary.R, 0.5f);
        EXPECT_DOUBLE_EQ(l.Bumpiness, 20.0);
        EXPECT_EQ(l.Shininess, 10);
        EXPECT_EQ(l.UrbanPlan, -1);
        for (const TEcologyRule& slot : l.Plants) {
            EXPECT_EQ(slot.TreeID, -1);
            EXPECT_DOUBLE_EQ(slot.TreeSize, 20.0);
        }
        EXPECT_EQ(editor.VisiblePages(), c.pages);
        EXPECT_EQ(editor.TerrainList->count(), expectedIndex + 1);
        EXPECT_EQ(editor.TerrainList->currentRow(), expectedIndex);
        EXPECT_EQ(editor.TerrainNameEdit->text(), QStringLiteral("Unassigned"));
        EXPECT_EQ(Count2033(), size_t(expectedIndex + 1));
        ++expectedIndex;
    }
    EXPECT_EQ(project->TerrainLayers.Count, 6);
    EXPECT_EQ(project->TerrainLayers.NextID, 6);

    // The ecology layer got its rule, the overlay layer its image.
    ASSERT_EQ(project->Ecology.Count, 1);
    const TEcologyRule& rule = project->Ecology.Items[0];
    EXPECT_EQ(rule.TerrainLayerID, 1);
    EXPECT_EQ(rule.TreeID, -1);
    EXPECT_DOUBLE_EQ(rule.TreeDensity, 10.0);
    for (double v : {rule.Altitude, rule.AltTolerance, rule.Slope, rule.SlopeTolerance, rule.Aspect, rule.AspectTolerance})
        EXPECT_DOUBLE_EQ(v, 0.5);
    ASSERT_EQ(project->Overlays.Count, 1);
    const TOverlayImage& image = project->Overlays.Items[0];
    EXPECT_EQ(image.Name, "Image 0");
    EXPECT_EQ(image.TerrainLayerID, 2);
    EXPECT_EQ(image.TransparencyColor, 0xFFFFFF);
    EXPECT_DOUBLE_EQ(image.Transparency, 1.0);
    EXPECT_EQ(image.TransparencyMode, 1);
    EXPECT_EQ(image.Extra, -1);
    EXPECT_EQ(image.Scale, 10);
    EXPECT_EQ(image.IgnoreWater, 1);
    EXPECT_EQ(image.DrawOverlay, 1);
    EXPECT_EQ(FindLayerOverlay(*project, 2), 0);
    EXPECT_EQ(FindLayerOverlay(*project, 1), -1);
    // A second overlay layer's image counts on.
    editor.TerrainListClick(0);
    New(2);
    EXPECT_EQ(project->Overlays.Items[1].Name, "Image 1");
}

TEST_F(TerrainEditorTest, OverlayTypeIsOfferedOnlyWhenTheSelectedLayerHasNoImage)
{
    editor.RefreshFromProject();
    New(0);
    EXPECT_TRUE(overlayEnabled);
    New(2);
    nextType = -1;
    TerrainTypeDlg->OverlayRadio->setChecked(true);
    editor.NewButtonClick();
    EXPECT_FALSE(overlayEnabled);
    EXPECT_TRUE(TerrainTypeDlg->SurfaceRadio->isChecked());
}

TEST_F(TerrainEditorTest, NewLayerNeverTakesAnIDInUse)
{
    // A file whose counter lags behind its layers.
    editor.RefreshFromProject();
    New(0);
    L(0).ID = 7;
    project->TerrainLayers.NextID = 2;
    const int index = New(1);
    EXPECT_EQ(L(index).ID, 8);
    EXPECT_EQ(project->TerrainLayers.NextID, 9);
    EXPECT_EQ(project->Ecology.Items[0].TerrainLayerID, 8);
}

TEST_F(TerrainEditorTest, RefreshListsLayersNotDeletedAndKeepsTheSelection)
{
    editor.RefreshFromProject();
    for (const char* name : {"Grass", "Gone", "Rock", "Sand"}) {
        New(0);
        editor.TerrainNameEdit->setText(QString::fromUtf8(name));
    }
    L(1).Deleted = 1;
    editor.TerrainListClick(2); // "Rock" before the refresh: index 2
    editor.RefreshFromProject();
    EXPECT_EQ(editor.ListToLayer(), (std::vector<int>{0, 2, 3}));
    ASSERT_EQ(editor.TerrainList->count(), 3);
    EXPECT_EQ(editor.TerrainList->item(1)->text(), QStringLiteral("Rock"));
    EXPECT_EQ(editor.SelectedLayer(), 2); // still "Rock", now on row 1
    EXPECT_EQ(editor.TerrainList->currentRow(), 1);
    EXPECT_EQ(editor.TerrainNameEdit->text(), QStringLiteral("Rock"));
    // A selection that went away falls back to the first listed layer.
    L(2).Deleted = 1;
    editor.RefreshFromProject();
    EXPECT_EQ(editor.SelectedLayer(), 0);
    EXPECT_EQ(editor.TerrainNameEdit->text(), QStringLiteral("Grass"));
    // A count beyond the array lists only what exists.
    project->TerrainLayers.Count = 40;
    editor.RefreshFromProject();
    EXPECT_EQ(editor.ListToLayer(), (std::vector<int>{0, 3}));
}

TEST_F(TerrainEditorTest, ControlsWriteTheSelectedLayer)
{
    AddPlant(11, "Oak");
    AddPlant(12, "Pine");
    TUrbanPlanDef plan;
    plan.ID = 5;
    plan.PlanName = "Village";
    project->Urban.Items = {plan};
    project->Urban.Count = 1;
    editor.RefreshFromProject();
    New(4);
    New(5);
    editor.TerrainListClick(0);
    TTerrainLayer& l = L(0);
    const TTerrainLayer other = L(1);
    struct Case {
        TFloatEdit* edit;
        const char* typed;
        std::function<double()> field;
        double expected;
    } cases[] = {
        {editor.LineWidthFloatEdit, "2.5", [&] { return l.LineWidth; }, 2.5},
        {editor.BumpinessFloatEdit, "300", [&] { return l.Bumpiness; }, 300},
        {editor.SpecularityFloatEdit, "40", [&] { return l.Specularity; }, 40},
        {editor.EmissionFloatEdit, "250", [&] { return l.Emission; }, 100},
        {editor.ShininessFloatEdit, "33", [&] { return double(l.Shininess); }, 33},
        {editor.ModelHeightEdit, "12.25", [&] { return l.ModelHeight; }, 12.25},
        {editor.PlantHeight[2], "3.5", [&] { return l.Plants[2].TreeSize; }, 3.5},
        {editor.PlantDensity[3], "7.5", [&] { return l.Plants[3].TreeDensity; }, 7.5},
    };
    for (const Case& c : cases) {
        Type(c.edit, c.typed);
        EXPECT_DOUBLE_EQ(c.field(), c.expected) << c.typed;
    }
    const std::pair<QCheckBox*, std::function<uint8_t()>> checks[] = {
        {editor.OverrideDefaultColor, [&] { return l.OverrideDefaultColor; }},
        {editor.OverrideDefaultSurface, [&] { return l.OverrideDefaultSurface; }},
        {editor.WaterCheckBox, [&] { return l.Water; }},
        {editor.DrawPlants, [&] { return l.DrawPlants; }},
        {editor.EdgeCheckBox, [&] { return l.Edge; }},
        {editor.DrawModels, [&] { return l.DrawModels; }},
        {editor.UrbanCheckBox, [&] { return l.Urban; }},
    };
    for (const auto& [box, field] : checks) {
        box->setChecked(true);
        EXPECT_EQ(field(), 1) << box->text().toStdString();
    }
    // The ecology page's check box is the same field.
    editor.ShowLayer();
    EXPECT_TRUE(editor.DrawEcology->isChecked());
    editor.DrawEcology->setChecked(false);
    EXPECT_EQ(l.DrawPlants, 0);

    editor.PlantCombo[1]->setCurrentIndex(2);
    EXPECT_EQ(l.Plants[1].TreeID, 12);
    editor.PlantCombo[1]->setCurrentIndex(0);
    EXPECT_EQ(l.Plants[1].TreeID, -1);
    editor.UrbanPlanCombo->setCurrentIndex(1);
    EXPECT_EQ(l.UrbanPlan, 5);
    editor.RotationSpinEdit->setValue(270);
    EXPECT_DOUBLE_EQ(l.Rotation, 270);

    prompt.colours = {0x00FF00};
    files.colours = {0x00FF00};
    QTest::mouseClick(editor.LayerSecondary, Qt::LeftButton, {}, editor.LayerSecondary->rect().center());
    EXPECT_FLOAT_EQ(l.LayerSecondary.G, 1.0f);
    EXPECT_FLOAT_EQ(l.LayerSecondary.R, 0.0f);
    const size_t before = Count2033();
    files.colours = {0x000080};
    QTest::mouseClick(editor.LandscapeColor, Qt::LeftButton, {}, editor.LandscapeColor->rect().center());
    EXPECT_FLOAT_EQ(l.LandscapeColor.R, 128 / 255.0f);
    EXPECT_EQ(Count2033(), before + 1);

    // Shown back as stored; the other layer untouched.
    L(0).Rotation = 123.9;
    editor.ShowLayer();
    EXPECT_EQ(editor.RotationSpinEdit->value(), 123);
    EXPECT_EQ(editor.PlantCombo[1]->currentIndex(), 0);
    EXPECT_EQ(editor.UrbanPlanCombo->currentIndex(), 1);
    EXPECT_DOUBLE_EQ(L(1).Bumpiness, other.Bumpiness);
    EXPECT_EQ(L(1).Water, other.Water);
}

TEST_F(TerrainEditorTest, NameRenamesTheRowAndIsAnnounced)
{
    editor.RefreshFromProject();
    New(0);
    New(0);
    editor.TerrainListClick(0);
    const size_t before = Count2033();
    editor.TerrainNameEdit->selectAll();
    QTest::keyClicks(editor.TerrainNameEdit, "Meadow");
    EXPECT_EQ(L(0).Name, "Meadow");
    EXPECT_EQ(L(1).Name, "Unassigned");
    EXPECT_EQ(editor.TerrainList->item(0)->text(), QStringLiteral("Meadow"));
    EXPECT_EQ(editor.TerrainList->item(1)->text(), QStringLiteral("Unassigned"));
    EXPECT_EQ(Count2033(), before + 6);
    editor.TerrainNameEdit->setMaxLength(1000);
    editor.TerrainNameEdit->setText(QString(300, QChar(0x00E9)));
    EXPECT_EQ(L(0).Name.size(), 254u);
}

TEST_F(TerrainEditorTest, EcologyAndOverlayControlsWriteTheirCompanions)
{
    AddPlant(3, "Birch");
    editor.RefreshFromProject();
    New(1);
    TEcologyRule& rule = project->Ecology.Items[0];
    rule.Altitude = 0.234; // shown rounded
    editor.ShowLayer();
    EXPECT_EQ(editor.AltitudeTrackBar->value(), 23);
    EXPECT_EQ(editor.SlopeToleranceTrackBar->value(), 50);
    const std::pair<TEnhTrackBar*, double*> bars[] = {
        {editor.AltitudeTrackBar, &rule.Altitude},       {editor.SlopeTrackBar, &rule.Slope},
        {editor.AspectTrackBar, &rule.Aspect},           {editor.AltToleranceTrackBar, &rule.AltTolerance},
        {editor.SlopeToleranceTrackBar, &rule.SlopeTolerance}, {editor.AspectToleranceTrackBar, &rule.AspectTolerance},
    };
    int position = 10;
    for (const auto& [bar, field] : bars) {
        bar->setValue(position);
        EXPECT_DOUBLE_EQ(*field, position / 100.0);
        position += 15;
    }
    Type(editor.TreeSizeEdit, "4.25");
    Type(editor.TreeDensityEdit, "30.5");
    editor.TreeComboBox->setCurrentIndex(1);
    EXPECT_DOUBLE_EQ(rule.TreeSize, 4.25);
    EXPECT_DOUBLE_EQ(rule.TreeDensity, 30.5);
    EXPECT_EQ(rule.TreeID, 3);

    New(2);
    TOverlayImage& image = project->Overlays.Items[0];
    EXPECT_EQ(editor.TransparencyEdit->value(), 0);
    EXPECT_FALSE(editor.TransparencyCheck->isChecked());
    EXPECT_FALSE(editor.IgnoreWaterCheck->isEnabled());
    editor.TransparencyEdit->setValue(30);
    EXPECT_DOUBLE_EQ(image.Transparency, 0.7);
    editor.TransparencyCheck->setChecked(true);
    EXPECT_EQ(image.TransparencyMode, 0);
    editor.DrawFullCheck->setChecked(true);
    EXPECT_EQ(image.DrawFull, 1);
    editor.DrawOverlayCheck->setChecked(false);
    EXPECT_EQ(image.DrawOverlay, 0);
    editor.ScaleSpinEdit->setValue(55);
    EXPECT_EQ(image.Scale, 55);
    files.colours = {0x102030};
    QTest::mouseClick(editor.TransparencyButton, Qt::LeftButton, {}, editor.TransparencyButton->rect().center());
    ASSERT_FALSE(files.colourStarts.empty());
    EXPECT_EQ(files.colourStarts.back(), 0xFFFFFF);
    EXPECT_EQ(image.TransparencyColor, 0x102030);
    // The ecology rule is untouched by the overlay layer's controls.
    EXPECT_EQ(rule.TreeID, 3);
}

TEST_F(TerrainEditorTest, DeleteMarksTheLayersEntriesAndKeepsItsRule)
{
    editor.RefreshFromProject();
    New(0);
    New(1);
    New(2);
    const int32_t id = L(1).ID;
    // Entries of the layer and of another one.
    for (int32_t layer : {id, L(0).ID}) {
        project->AppendLayerRegion(layer == id ? 1 : 0);
        project->AppendLayerLine(layer == id ? 1 : 0);
        project->AppendLayerModel(layer == id ? 1 : 0);
    }
    TOverlayImage extra = project->Overlays.Items[0];
    extra.TerrainLayerID = id;
    project->Overlays.Items.push_back(extra);
    project->Overlays.Count = 2;

    editor.TerrainListClick(1);
    const size_t before = Count2033();
    editor.DeleteButtonClick();
    EXPECT_EQ(L(1).Deleted, 1);
    EXPECT_EQ(L(0).Deleted, 0);
    EXPECT_EQ(project->TerrainPolys.Items[0].Deleted, 1);
    EXPECT_EQ(project->TerrainPolys.Items[1].Deleted, 0);
    EXPECT_EQ(project->TerrainLines.Items[0].Deleted, 1);
    EXPECT_EQ(project->TerrainLines.Items[1].Deleted, 0);
    EXPECT_EQ(project->Models.Items[0].Deleted, 1);
    EXPECT_EQ(project->Models.Items[1].Deleted, 0);
    EXPECT_EQ(project->Overlays.Items[0].Deleted, 0); // layer 2's image
    EXPECT_EQ(project->Overlays.Items[1].Deleted, 1);
    EXPECT_EQ(project->Ecology.Count, 1);
    EXPECT_EQ(project->FindEcologyRule(id), 0);
    // The first row takes the selection; the deleted layer is gone from the list.
    EXPECT_EQ(editor.TerrainList->count(), 2);
    EXPECT_EQ(editor.SelectedLayer(), 0);
    EXPECT_EQ(editor.TerrainList->currentRow(), 0);
    EXPECT_EQ(Count2033(), before + 1);
    // The controls no longer reach the deleted layer.
    editor.WaterCheckBox->setChecked(!editor.WaterCheckBox->isChecked());
    EXPECT_EQ(L(1).Water, 0);

    editor.DeleteButtonClick();
    editor.DeleteButtonClick();
    EXPECT_EQ(editor.TerrainList->count(), 0);
    EXPECT_EQ(editor.SelectedLayer(), -1);
    EXPECT_TRUE(editor.VisiblePages().isEmpty());
}

TEST_F(TerrainEditorTest, ChosenFilesMustLieInTheProjectFolder)
{
    project->Models.Directory = "/data/Quarlex/Models\\";
    project->Overlays.Directory = "/data/Quarlex/overlays/";
    editor.RefreshFromProject();
    New(3);
    L(0).ModelSource = "mill.3ds";
    files.files = {"/data/other/tower.3ds", "/DATA/quarlex/MODELS/Tower.3ds"};
    editor.ModelFileButtonClick();
    EXPECT_EQ(files.errors, std::vector<std::string>{"E0102 File path does not match project's Actor Directory"});
    EXPECT_EQ(L(0).ModelSource, "mill.3ds");
    EXPECT_EQ(files.fileStarts.at(0), "/data/Quarlex/Models/");
    editor.ModelFileButtonClick();
    EXPECT_EQ(L(0).ModelSource, "Tower.3ds");
    EXPECT_EQ(editor.ModelSourceEdit->text(), QStringLiteral("Tower.3ds"));

    New(2);
    files.errors.clear();
    files.files = {"/data/Quarlex/overlays/sub/map.png", "/data/Quarlex/overlays/map.png"};
    editor.FileButtonClick();
    EXPECT_EQ(files.errors, std::vector<std::string>{"E0114 File path does not match project's Overlay Directory"});
    EXPECT_EQ(project->Overlays.Items[0].FileName, "");
    editor.FileButtonClick();
    EXPECT_EQ(project->Overlays.Items[0].FileName, "map.png");
    EXPECT_EQ(editor.ImageFileEdit->text(), QStringLiteral("map.png"));
}

TEST(TerrainFolderTest, FileInFolderComparesFoldersNotText)
{
    struct Case {
        const char* file;
        const char* folder;
        bool inside;
        const char* bare;
    } cases[] = {
        {"/a/b/c.3ds", "/a/b/", true, "c.3ds"},
        {"/a/b/c.3ds", "/a/b", true, "c.3ds"},
        {"/A/B/c.3ds", "/a/b\\", true, "c.3ds"},
        {"C:\\Models\\x.3ds", "c:/models/", true, "x.3ds"},
        {"/a/b/sub/c.3ds", "/a/b/", false, ""},
        {"/a/bc/c.3ds", "/a/b/", false, ""},
        {"/a/c.3ds", "/a/b/", false, ""},
        {"c.3ds", "/a/b/", false, ""},
    };
    for (const Case& c : cases) {
        std::string bare;
        EXPECT_EQ(FileInFolder(c.file, c.folder, bare), c.inside) << c.file << " in " << c.folder;
        if (c.inside) {
            EXPECT_EQ(bare, c.bare);
        }
    }
}

TEST_F(TerrainEditorTest, PathButtonsEditTheThreeFolders)
{
    project->Actors.Directory = "/p/Plants/";
    project->Models.Directory = "/p/Models/";
    project->Overlays.Directory = "/p/Overlays/";
    editor.RefreshFromProject();
    std::vector<std::string> shown;
    editor.ExecPathDialog = [&](TFPathDlg& dlg) {
        shown = {dlg.VegetationEdit->text().toStdString(), dlg.ModelsEdit->text().toStdString(),
                 dlg.OverlaysEdit->text().toStdString()};
        dlg.ModelsEdit->setText(QStringLiteral("/q/Models/"));
        dlg.OverlaysEdit->setText(QString(300, 'o'));
        return true;
    };
    editor.PathButtonClick();
    EXPECT_EQ(shown, (std::vector<std::string>{"/p/Plants/", "/p/Models/", "/p/Overlays/"}));
    EXPECT_EQ(project->Actors.Directory, "/p/Plants/");
    EXPECT_EQ(project->Models.Directory, "/q/Models/");
    EXPECT_EQ(project->Overlays.Directory.size(), 255u);
    // Cancel keeps the folders.
    editor.ExecPathDialog = [](TFPathDlg& dlg) {
        dlg.ModelsEdit->setText(QStringLiteral("/nowhere/"));
        return false;
    };
    editor.PathButtonClick();
    EXPECT_EQ(project->Models.Directory, "/q/Models/");
}

namespace {

// A flat 20 x 20 grid at height h in a 0..100 range, sampled one pixel per vertex.
struct PreviewCase {
    double height;
    double minHeight, maxHeight;
    double altitude, altTolerance, aspect, aspectTolerance;
    int green; // -1: black
};

} // namespace

TEST(EcologyPreviewTest, GreenFollowsTheAltitudeBand)
{
    const PreviewCase cases[] = {
        {50, 0, 100, 0.5, 0.25, 0.5, 0.5, 255},
        {25, 0, 100, 0.5, 0.25, 0.5, 0.5, 191},   // band edge: fA = 0.75
        {75, 0, 100, 0.5, 0.25, 0.5, 0.5, 191},
        {62.5, 0, 100, 0.5, 0.25, 0.5, 0.5, 239}, // fA = 0.9375
        {24, 0, 100, 0.5, 0.25, 0.5, 0.5, -1},
        {40, 40, 40, 0.5, 0.5, 0.5, 0.5, 255},    // no range: only that very height passes
        {40.5, 40, 40, 0.5, 0.5, 0.5, 0.5, -1},
        {50, 0, 100, 0.5, 0.25, 1.0, 0.1, -1},    // a flat cell faces no aspect
    };
    for (const PreviewCase& c : cases) {
        TProject p;
        ASSERT_TRUE(p.NewGrid(20, 20, 30.0, 30.0));
        for (size_t i = 0; i < p.Grid.Cells.CellCount(); ++i)
            p.Grid.Cells.Data()[i].Height = c.height;
        p.Grid.MinHeight = c.minHeight;
        p.Grid.MaxHeight = c.maxHeight;
        TEcologyRule rule;
        rule.Altitude = c.altitude;
        rule.AltTolerance = c.altTolerance;
        rule.Slope = 0.5;
        rule.SlopeTolerance = 0.5;
        rule.Aspect = c.aspect;
        rule.AspectTolerance = c.aspectTolerance;
        const QImage image = EcologyPreview(p, rule, 20, 20);
        ASSERT_EQ(image.size(), QSize(20, 20));
        const QRgb expected = c.green < 0 ? qRgb(0, 0, 0) : qRgb(0, c.green, 0);
        EXPECT_EQ(image.pixel(10, 10), expected) << c.height;
        EXPECT_EQ(image.pixel(1, 18), expected) << c.height;
        // The outermost rows and columns are not drawn.
        EXPECT_EQ(image.pixel(0, 10), qRgb(255, 255, 255));
        EXPECT_EQ(image.pixel(19, 19), qRgb(255, 255, 255));
        // The sampled vertices carry their normal now.
        EXPECT_FLOAT_EQ(p.Grid.Cells[10][10].Normal.Y, 1.0f);
    }
}

TEST(EcologyPreviewTest, PixelsPastTheLastVertexOfASmallGridStayOnTheGrid)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(2, 3, 30.0, 30.0));
    for (size_t i = 0; i < p.Grid.Cells.CellCount(); ++i)
        p.Grid.Cells.Data()[i].Height = 5.0;
    p.Grid.MinHeight = 0;
    p.Grid.MaxHeight = 10;
    TEcologyRule rule;
    rule.Altitude = rule.AltTolerance = rule.Slope = rule.SlopeTolerance = rule.Aspect = rule.AspectTolerance = 0.5;
    const QImage image = EcologyPreview(p, rule, 40, 40);
    // Pixel 38 rounds to column 2 of a 2-column grid: it takes the last column, as pixel 25 does.
    EXPECT_EQ(image.pixel(38, 20), image.pixel(25, 20));
    EXPECT_EQ(image.pixel(25, 20), qRgb(0, 191, 0));
    // A grid without cells draws nothing.
    TProject empty;
    const QImage blank = EcologyPreview(empty, rule, 10, 10);
    EXPECT_EQ(blank.pixel(5, 5), qRgb(255, 255, 255));
}

TEST_F(TerrainEditorTest, PreviewNeedsARuleAndDrawsIntoTheEcologyImage)
{
    editor.RefreshFromProject();
    New(0);
    editor.PreviewEcologyButtonClick();
    EXPECT_EQ(editor.EcologyPicture().pixel(20, 20), qRgb(255, 255, 255));
    New(1);
    // The fixture's grid: every cell at 10 in 0..100, right in the band 10 +- 50. Its edge
    // vertices lean (their outer triangles vanish), so the flat inside sits at the top of the
    // slope band 0.25..1: fS = 0.75.
    project->Ecology.Items[0].Altitude = 0.1;
    editor.PreviewEcologyButtonClick();
    EXPECT_EQ(editor.EcologyPicture().pixel(20, 20), qRgb(0, 191, 0));
    // Showing the layer again clears the picture.
    editor.ShowLayer();
    EXPECT_EQ(editor.EcologyPicture().pixel(20, 20), qRgb(255, 255, 255));
}
