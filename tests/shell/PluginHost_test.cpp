// The plug-in host: scanning a folder of libraries, the messages for rejected ones, entries and
// runs, and the host services a plug-in calls.
#include "shell/PluginHost.h"

#include "ShellFixture.h"
#include "controls/uOutBar.h"

#include <QAction>
#include <QMenu>
#include <QTest>

#include <filesystem>

using namespace shelltest;

namespace {

// A folder holding copies of the test plug-ins under the names given (name order is load order).
class TPluginFolder {
public:
    void Add(const std::string& variant, const std::string& asName)
    {
        std::filesystem::copy_file(std::string(QX_TEST_PLUGIN_DIR) + "/" + variant + ".qxl", dir_.file(asName));
    }
    void AddJunk(const std::string& asName) { qxtest::WriteFileText(dir_.file(asName), "not a library\n"); }
    std::string Path() const { return dir_.path().string(); }

private:
    qxtest::TempDir dir_;
};

class PluginHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrompt(&prompt);
        project.NewGrid(5, 4, 10.0, 10.0);
        for (int c = 0; c < 5; ++c)
            for (int r = 0; r < 4; ++r)
                project.Grid.Cells[c][r].Height = 0;
        saved = CurrentProject;
        CurrentProject = &project;
        TakePluginProjectChanged();
    }
    void TearDown() override
    {
        host.UnloadPlugins();
        CurrentProject = saved;
        SetPrompt(nullptr);
    }
    double Cell(int c, int r) const { return project.Grid.Cells[c][r].Height; }

    TRecordingPrompt prompt;
    TProject project;
    TProject* saved = nullptr;
    TPluginFolder folder;
    TPluginHost host;
};

TEST_F(PluginHostTest, MissingOrEmptyFolderLoadsNothingAndSaysNothing)
{
    host.ScanPlugins(folder.Path() + "/absent");
    host.ScanPlugins(folder.Path());
    EXPECT_EQ(host.LibraryCount(), 0);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(PluginHostTest, EachRejectedLibraryGetsItsMessageAndTheScanGoesOn)
{
    folder.AddJunk("a_junk.qxl");
    folder.Add("nodescribe", "b_nodescribe.qxl");
    folder.Add("old", "c_old.qxl");
    folder.Add("future", "d_future.qxl");
    folder.Add("alpha", "e_alpha.qxl");
    folder.AddJunk("f_ignored.txt"); // not the plug-in extension
    std::vector<std::string> entries;
    host.AddEntry = [&](const std::string& name) { entries.push_back(name); };
    host.ScanPlugins(folder.Path());

    ASSERT_EQ(prompt.messages.size(), 4u);
    const std::string& loadError = prompt.messages[0].text;
    EXPECT_EQ(loadError.rfind("Error ", 0), 0u);
    EXPECT_NE(loadError.find(" occurred loading the plugin \"a_junk.qxl\". You may need to download additional files from our site."),
              std::string::npos);
    EXPECT_EQ(loadError.find("Error 0 "), std::string::npos);
    EXPECT_EQ(prompt.messages[0].icon, TMsgIcon::Information);
    EXPECT_EQ(prompt.messages[1].text, "File \"b_nodescribe.qxl\" is not a valid plugin.");
    EXPECT_EQ(prompt.messages[1].icon, TMsgIcon::Information);
    EXPECT_EQ(prompt.messages[2].text,
              "Old: E0132 Version 1 Plugins are not supported - please download a new version from our site ");
    EXPECT_EQ(prompt.messages[2].icon, TMsgIcon::None);
    EXPECT_EQ(prompt.messages[3].text, "E0127 Plugin SDK version not supported by this version of QuarlexII Future");
    EXPECT_EQ(prompt.messages[3].icon, TMsgIcon::None);

    // Only the valid one has entries, was initialised (it records the grid size) and runs.
    EXPECT_EQ(entries, std::vector<std::string>{"Alpha"});
    EXPECT_EQ(host.LibraryCount(), 4); // rejected libraries stay loaded until the unload
    EXPECT_EQ(Cell(1, 0), 5 * 1000.0 + 4);
    EXPECT_TRUE(host.RunPluginByIndex(0));
    EXPECT_EQ(Cell(0, 0), 1.0);
    EXPECT_TRUE(TakePluginProjectChanged());
}

TEST_F(PluginHostTest, MissingInitKeepsTheEntriesMissingRunSaysSoAndThrowingRunsAreContained)
{
    folder.Add("noinit", "a.qxl");
    folder.Add("norun", "b.qxl");
    folder.Add("thrower", "c.qxl");
    host.ScanPlugins(folder.Path());
    EXPECT_EQ(host.PluginNames(), (std::vector<std::string>{"Lazy", "Idle", "Thrower"}));
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, "File \"a.qxl\" is not a valid plugin.");

    prompt.messages.clear();
    host.RunPluginByIndex(0); // no InitPlugin: it never got the services, so it changes nothing
    EXPECT_EQ(Cell(0, 0), 0.0);
    host.RunPluginByIndex(1);
    host.RunPluginByIndex(1);
    ASSERT_EQ(prompt.messages.size(), 2u);
    EXPECT_EQ(prompt.messages[1].text, "Error running plugin");
    EXPECT_NO_THROW(host.RunPluginByIndex(2));
    EXPECT_FALSE(host.RunPluginByIndex(3));
}

TEST_F(ShellTest, PluginEntriesRunTheirPluginsAndTheMenuTakesTheLastEqualCaption)
{
    TPluginFolder folder;
    folder.Add("twin1", "a.qxl");
    folder.Add("twin2", "b.qxl");
    TMainFormOptions options = Options();
    options.PluginFolder = folder.Path();
    form = std::make_unique<TMainForm>(options);
    TMainForm& main = *form;
    EXPECT_EQ(main.Modified, 1); // the plug-ins wrote into the project while initialised
    main.Modified = 0;

    const QList<QAction*> items = main.PluginMenu->actions();
    ASSERT_EQ(items.size(), 2);
    TOutPage* page = main.OutBar->Pages()->GetPage(TMainForm::PluginsPage);
    ASSERT_EQ(page->Count(), 2);
    EXPECT_EQ(page->Item(0)->ImageIndex(), 15);

    auto height = [] { return CurrentProject->Grid.Cells[0][0].Height; };
    const double start = height();
    items[0]->trigger(); // both captions are "Twin": the last one runs
    EXPECT_EQ(height(), start + 10);
    main.RunPluginByIndex(0); // the shortcut bar's first item runs its own plug-in
    EXPECT_EQ(height(), start + 11);
    EXPECT_EQ(main.Modified, 1);

    {
        TRenderLock lock; // a running render: the plug-in could change the project under it
        main.RunPluginByIndex(0);
    }
    EXPECT_EQ(height(), start + 11);
    EXPECT_TRUE(prompt.Showed("E0120 File read/write operation already in process"));

    main.UnloadPlugins();
    EXPECT_TRUE(main.PluginMenu->actions().isEmpty());
}

// ---- Services -------------------------------------------------------------------------------------

class PluginServicesTest : public PluginHostTest {
protected:
    void SetUp() override
    {
        PluginHostTest::SetUp();
        FillPluginHostTable(table, &table);
        project.Grid.LeftGeo = 1000;
        project.Grid.RightGeo = 2000;
        project.Grid.TopGeo = 500;
        project.Grid.BottomGeo = 0;
        project.TerrainLayers.Items.clear(); // the tests add the layers they need
        project.TerrainLayers.Count = 0;
    }
    template <class Fn>
    Fn Service(int slot) const
    {
        return reinterpret_cast<Fn>(table.Entries[slot].Code);
    }
    void* Data() const { return table.Entries[0].Data; }
    int AddLayer(int id)
    {
        TTerrainLayer layer;
        layer.ID = id;
        project.TerrainLayers.Items.push_back(layer);
        project.TerrainLayers.Count = static_cast<int32_t>(project.TerrainLayers.Items.size());
        project.TerrainLayers.NextID = id + 1;
        return project.TerrainLayers.Count - 1;
    }
    PluginHostTable table;
};

TEST_F(PluginServicesTest, HeightsOutsideTheGridAndWholeGridCopiesAreChecked)
{
    auto get = Service<PluginGetHeightFn>(psGetHeight);
    auto set = Service<PluginSetHeightFn>(psSetHeight);
    for (auto [x, y] : {std::pair{-1, 0}, {5, 0}, {0, -1}, {0, 4}}) {
        EXPECT_EQ(get(Data(), x, y), -2147483647.0);
        set(Data(), x, y, 7.0); // nothing happens
    }
    set(Data(), 4, 3, 7.5);
    EXPECT_EQ(get(Data(), 4, 3), 7.5);

    std::vector<float> buffer(20, -5.0f);
    EXPECT_EQ(Service<PluginHeightGridFn>(psGetHeightGrid)(Data(), 19, buffer.data()), 0);
    EXPECT_EQ(buffer[0], -5.0f);
    EXPECT_EQ(Service<PluginHeightGridFn>(psGetHeightGrid)(Data(), 20, buffer.data()), 1);
    EXPECT_EQ(buffer[3 * 5 + 4], 7.5f); // rows outer

    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<float>(i);
    buffer[7] = -1001.0f; // a null cell takes part in the range
    EXPECT_EQ(Service<PluginHeightGridFn>(psSetHeightGrid)(Data(), 20, buffer.data()), 1);
    EXPECT_EQ(project.Grid.MinHeight, -1001.0);
    EXPECT_EQ(project.Grid.MaxHeight, 19.0);
    EXPECT_EQ(Cell(2, 1), -1001.0);
    EXPECT_EQ(project.ShadowsOutOfDate, 1);
}

TEST_F(PluginServicesTest, LayerRecordsCarryOneMaterialAndFourPlantSlots)
{
    const int index = AddLayer(3);
    TTerrainLayer& layer = project.TerrainLayers.Items[index];
    layer.Name = "Forest";
    layer.LayerPrimary = {0.1f, 0.2f, 0.3f, 1.0f};
    layer.Bumpiness = 2.5;
    layer.Plants[2].TreeID = 9;
    layer.Plants[2].TreeDensity = 4.0;
    layer.DrawPlants = 1;

    PluginTerrainLayer rec{};
    ASSERT_EQ(Service<PluginGetTerrainLayerFn>(psGetTerrainLayer)(Data(), index, &rec), 1);
    EXPECT_FALSE(Service<PluginGetTerrainLayerFn>(psGetTerrainLayer)(Data(), index + 1, &rec));
    EXPECT_EQ(rec.ID, 3);
    EXPECT_STREQ(rec.Name, "Forest");
    EXPECT_EQ(rec.DrawPlants, 255);
    EXPECT_EQ(rec.MaterialCount, 1);
    EXPECT_EQ(rec.PlantCount, 4);
    for (const PluginMaterialSlot& m : rec.Materials) {
        EXPECT_EQ(m.PrimaryColor[2], 0.3f);
        EXPECT_EQ(+m.Bumpiness, 2.5); // packed fields are read by value
    }
    EXPECT_EQ(rec.Plants[2].PlantTypeID, 9);
    EXPECT_EQ(+rec.Plants[2].Density, 4.0);

    rec.Materials[1].Bumpiness = 99; // only slot 0 is read back
    rec.ID = 77;                     // never read
    ASSERT_EQ(Service<PluginGetTerrainLayerFn>(psSetTerrainLayer)(Data(), index, &rec), 1);
    EXPECT_EQ(layer.Bumpiness, 2.5);
    EXPECT_EQ(layer.ID, 3);
    EXPECT_EQ(layer.DrawPlants, 1);

    std::strcpy(rec.Name, "Added");
    EXPECT_EQ(Service<PluginAddTerrainLayerFn>(psAddTerrainLayer)(Data(), &rec), 1);
    EXPECT_EQ(rec.ID, 4);
    EXPECT_EQ(project.TerrainLayers.Items[1].Name, "Added");
    EXPECT_EQ(project.TerrainLayers.NextID, 5);
}

TEST_F(PluginServicesTest, PlantTypeAndUrbanPlanRoundTripsChangeNothing)
{
    PluginPlantType plant{};
    std::strcpy(plant.Name, "Pine");
    std::strcpy(plant.NearSource, "pine_near.ls");
    EXPECT_EQ(Service<PluginAddPlantTypeFn>(psAddPlantType)(Data(), &plant), 0);
    project.Actors.Items[0].HueVariability = 0.5; // not carried: kept by a Set
    PluginPlantType back{};
    ASSERT_EQ(Service<PluginGetPlantTypeFn>(psGetPlantType)(Data(), 0, &back), 1);
    ASSERT_EQ(Service<PluginGetPlantTypeFn>(psSetPlantType)(Data(), 0, &back), 1);
    EXPECT_EQ(project.Actors.Items[0].Name, "Pine");
    EXPECT_EQ(project.Actors.Items[0].NearActorSource, "pine_near.ls");
    EXPECT_EQ(project.Actors.Items[0].HueVariability, 0.5);

    PluginUrbanPlan plan{};
    std::strcpy(plan.Name, "Town");
    plan.Zone = 3;
    plan.XSize = 120;
    EXPECT_EQ(Service<PluginAddUrbanPlanFn>(psAddUrbanPlan)(Data(), &plan), 0);
    PluginUrbanPlan planBack{};
    ASSERT_EQ(Service<PluginGetUrbanPlanFn>(psGetUrbanPlan)(Data(), 0, &planBack), 1);
    EXPECT_STREQ(planBack.Name, "Town");
    EXPECT_EQ(planBack.Zone, 3);
    EXPECT_EQ(+planBack.XSize, 120);
    EXPECT_FALSE(Service<PluginGetUrbanPlanFn>(psGetUrbanPlan)(Data(), 1, &planBack));

    // Texts longer than a record field hold are cut, never overrun.
    std::memset(plant.Name, 'x', sizeof plant.Name); // no terminator at all
    ASSERT_EQ(Service<PluginGetPlantTypeFn>(psSetPlantType)(Data(), 0, &plant), 1);
    EXPECT_EQ(project.Actors.Items[0].Name.size(), 255u);
}

TEST_F(PluginServicesTest, RegionsAreExchangedInGeoreferencedCoordinatesAndNameLayersByIndex)
{
    AddLayer(40); // the layer IDs differ from their indices
    const int layer = AddLayer(41);
    auto addRegion = Service<PluginAddPolyFn>(psAddRegion);
    float points[] = {1000, 500, 2000, 0, 1500, 250};
    PluginPolyInfo info{0, 0, layer, 3, points};
    ASSERT_EQ(addRegion(Data(), &info), 1); // the first region of an empty list
    const TTerrainPoly stored = project.TerrainPolys.Items.at(0);
    EXPECT_EQ(info.ID, stored.ID);
    EXPECT_EQ(stored.TerrainLayerID, 41);
    ASSERT_EQ(stored.PointCount, 3);
    EXPECT_DOUBLE_EQ(stored.Points[1].X, 1.0);
    EXPECT_DOUBLE_EQ(stored.Points[1].Y, 1.0);
    EXPECT_DOUBLE_EQ(stored.Points[2].X, 0.5);

    PluginPolyInfo one{0, 0, layer, 1, points};
    EXPECT_EQ(addRegion(Data(), &one), 0);
    PluginPolyInfo noLayer{0, 0, 2, 3, points};
    EXPECT_EQ(addRegion(Data(), &noLayer), 0);
    EXPECT_EQ(project.TerrainPolys.Count, 1);

    PluginPolyInfo read{};
    ASSERT_EQ(Service<PluginGetPolyFn>(psGetRegionInfo)(Data(), 0, &read), 1);
    EXPECT_EQ(read.Layer, layer);
    EXPECT_EQ(read.PointCount, 3);
    float back[6] = {};
    read.Points = back;
    read.PointCount = 2; // too small a capacity
    EXPECT_EQ(Service<PluginGetPolyFn>(psGetRegionPoints)(Data(), 0, &read), 0);
    read.PointCount = 3;
    ASSERT_EQ(Service<PluginGetPolyFn>(psGetRegionPoints)(Data(), 0, &read), 1);
    EXPECT_EQ(back[2], 2000.0f);
    EXPECT_EQ(back[5], 250.0f);

    auto deleteRegions = Service<PluginDeleteLayerItemsFn>(psDeleteLayerRegions);
    EXPECT_EQ(deleteRegions(Data(), 2), 0); // the layer count itself is out of range
    EXPECT_EQ(deleteRegions(Data(), 0), 1); // a layer without regions
    EXPECT_EQ(project.TerrainPolys.Items[0].Deleted, 0);
    EXPECT_EQ(deleteRegions(Data(), layer), 1);
    EXPECT_EQ(project.TerrainPolys.Items[0].Deleted, 1);
    EXPECT_EQ(Service<PluginGetPolyFn>(psGetRegionInfo)(Data(), 0, &read), 0);

    // A degenerate georeference has no fractions: refused rather than stored as infinities.
    project.Grid.RightGeo = project.Grid.LeftGeo;
    EXPECT_EQ(addRegion(Data(), &info), 0);
}

TEST_F(PluginServicesTest, AddedModelsStandAtAltitudeZeroWithTheGivenSizeAndTurn)
{
    const int layer = AddLayer(8);
    project.TerrainLayers.Items[layer].ModelHeight = 30;
    PluginModel rec{0, 0, layer, 1250.0f, 125.0f, 12.0f, 45.0f};
    ASSERT_EQ(Service<PluginAddModelFn>(psAddModel)(Data(), &rec), 1);
    const TModelPlacement& m = project.Models.Items.at(0);
    EXPECT_EQ(rec.ID, m.ID);
    EXPECT_EQ(m.TerrainLayerID, 8);
    EXPECT_FLOAT_EQ(m.Position.X, 0.25f);
    EXPECT_FLOAT_EQ(m.Position.Z, 0.75f);
    EXPECT_EQ(m.Position.Y, 0.0f);
    EXPECT_EQ(m.Size, 12.0);
    EXPECT_EQ(m.Rotation, 45.0);

    PluginModel back{};
    ASSERT_EQ(Service<PluginGetModelFn>(psGetModel)(Data(), 0, &back), 1);
    EXPECT_EQ(back.Layer, layer);
    EXPECT_FLOAT_EQ(back.X, 1250.0f);
    EXPECT_FLOAT_EQ(back.Y, 125.0f);
    PluginModel bad{0, 0, 1, 0, 0, 1, 0};
    EXPECT_EQ(Service<PluginAddModelFn>(psAddModel)(Data(), &bad), 0);
}

TEST_F(PluginServicesTest, WithoutAProjectEveryServiceFailsQuietly)
{
    CurrentProject = nullptr;
    PluginProjectInfo info{};
    info.Columns = -3;
    Service<PluginGetProjectInfoFn>(psGetProjectInfo)(Data(), &info);
    EXPECT_EQ(info.Columns, -3);
    EXPECT_EQ(Service<PluginGetHeightFn>(psGetHeight)(Data(), 0, 0), -2147483647.0);
    PluginPlantType plant{};
    EXPECT_EQ(Service<PluginAddPlantTypeFn>(psAddPlantType)(Data(), &plant), -1);
    EXPECT_EQ(Service<PluginNewHeightGridFn>(psNewHeightGrid)(Data(), 3, 3, 1, 1), 0);
    EXPECT_TRUE(prompt.messages.empty());
}

} // namespace

TEST_F(ShellTest, ServiceCalledOutsideARunMarksTheProjectAndExitAsks)
{
    TMainForm& main = Start();
    prompt.saveNames = {dir.file("saved.qx2")};
    ASSERT_TRUE(main.SaveProjectAsMenuItemClick());
    ASSERT_EQ(main.Modified, 0);
    // A plug-in with a window of its own calls the services long after its run ended.
    PluginHostTable table;
    FillPluginHostTable(table, &table);
    const PluginHostEntry& setHeight = table.Entries[psSetHeight];
    reinterpret_cast<PluginSetHeightFn>(setHeight.Code)(setHeight.Data, 1, 1, 42.0);
    EXPECT_EQ(CurrentProject->Grid.Cells[1][1].Height, 42.0);
    EXPECT_EQ(main.Modified, 1);
    prompt.answers = {TAnswer::Cancel};
    EXPECT_FALSE(main.close());
    EXPECT_EQ(prompt.questions, (std::vector<std::string>{"Save changes to project?"}));
    TakePluginProjectChanged();
}

TEST_F(ShellTest, APluginItemRunsItsOwnPluginWhereverItStands)
{
    TPluginFolder folder;
    folder.Add("twin1", "a.qxl"); // adds 1 to the first cell
    folder.Add("twin2", "b.qxl"); // adds 10
    TMainFormOptions options = Options();
    options.PluginFolder = folder.Path();
    form = std::make_unique<TMainForm>(options);
    TMainForm& main = *form;
    TOutBar* bar = main.OutBar;
    TOutPage* page = bar->Pages()->GetPage(TMainForm::PluginsPage);
    ASSERT_EQ(page->Count(), 2);
    bar->SetActivePageIndex(TMainForm::PluginsPage);
    auto height = [] { return CurrentProject->Grid.Cells[0][0].Height; };

    // The Delete key leaves plug-in and built-in items alone.
    page->SetSelectedItem(page->Item(0));
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Delete);
    EXPECT_EQ(page->Count(), 2);
    bar->DeleteItem(bar->Pages()->GetPage(TMainForm::BasicsPage)->Item(0));
    EXPECT_EQ(bar->Pages()->GetPage(TMainForm::BasicsPage)->Count(), 7);

    // Even an item moved by a program runs its own plug-in.
    TOutItem* second = page->Item(1);
    page->MoveItem(second, 0);
    ASSERT_EQ(page->Item(0), second);
    const double start = height();
    bar->ItemClick(second);
    EXPECT_EQ(height(), start + 10);
    bar->ItemClick(page->Item(1));
    EXPECT_EQ(height(), start + 11);
}
