// The plug-in host: scanning a folder of libraries, the messages for rejected ones, entries and
// runs, and the host services a plug-in calls.
#include "shell/PluginHost.h"

#include "ShellFixture.h"
#include "controls/uOutBar.h"
#include "platform/DynamicLibrary.h"

#include <QAction>
#include <QMenu>
#include <QTest>

#include <cstring>
#include <filesystem>
#include <limits>

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

    // A declared size the cell array does not hold is refused, not copied past the cells.
    project.Grid.SizeY = 5;
    std::vector<float> larger(25, 1.0f);
    EXPECT_EQ(Service<PluginHeightGridFn>(psGetHeightGrid)(Data(), 25, larger.data()), 0);
    EXPECT_EQ(Service<PluginHeightGridFn>(psSetHeightGrid)(Data(), 25, larger.data()), 0);
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

// ---- Services reached through a loaded plug-in ------------------------------------------------------
// The test plug-in keeps the table InitPlugin handed it and exports one Call... entry point per
// service; these tests load it like any plug-in and drive the services from inside the library.

class PluginLibraryServicesTest : public PluginServicesTest {
protected:
    void SetUp() override
    {
        PluginServicesTest::SetUp();
        folder.Add("alpha", "services.qxl");
        host.ScanPlugins(folder.Path());
        ASSERT_EQ(host.PluginNames(), std::vector<std::string>{"Alpha"});
        int code = 0;
        std::string why;
        library = OpenDynamicLibrary(folder.Path() + "/services.qxl", code, why); // the loaded one
        ASSERT_NE(library, nullptr) << why;
        project.Grid.Cells[1][0].Height = 0; // undo what the plug-in's init wrote
        changes = 0;
        SetProjectChangedHandler([this] { ++changes; });
    }
    void TearDown() override
    {
        SetProjectChangedHandler({});
        if (library)
            CloseDynamicLibrary(library);
        PluginServicesTest::TearDown();
    }
    template <class Fn>
    Fn Entry(const char* name) const
    {
        void* symbol = DynamicLibrarySymbol(library, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<Fn>(symbol);
    }
    void AddLine(int layerId, std::vector<TMapPoint> points, uint8_t deleted = 0)
    {
        TTerrainLineBlock& lines = project.TerrainLines;
        lines.Items.resize(static_cast<size_t>(lines.Count)); // a new project keeps one unused entry
        TTerrainLine line;
        line.ID = project.TerrainLines.NextID++;
        line.TerrainLayerID = layerId;
        line.Deleted = deleted;
        line.PointCount = static_cast<int32_t>(points.size());
        line.Points = std::move(points);
        project.TerrainLines.Items.push_back(line);
        project.TerrainLines.Count = static_cast<int32_t>(project.TerrainLines.Items.size());
    }

    void* library = nullptr;
    int changes = 0; // ProjectChanged calls
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

using InfoFn = void (*)(PluginProjectInfo*);
using CameraFn = void (*)(PluginCamera*);
using NewGridFn = uint8_t (*)(int32_t, int32_t, float, float);
using GetFlagFn = uint8_t (*)(int32_t, int32_t);
using SetFlagFn = void (*)(int32_t, int32_t, uint8_t);
using GetPolyFn = uint8_t (*)(int32_t, PluginPolyInfo*);
using AddPolyFn = uint8_t (*)(PluginPolyInfo*);

TEST_F(PluginLibraryServicesTest, ProjectInfoGoesOutWholeAndOnlyScaleGeoreferenceAndFoldersComeBack)
{
    TGridBlock& g = project.Grid;
    g.SpacingY = 12.5;
    g.MaxHeight = 250;
    g.MinHeight = -20;
    g.VerticalScale = 1.5;
    AddLayer(0);
    AddLayer(1);
    project.Actors.Items.resize(3);
    project.Actors.Count = 3;
    project.TerrainPolys.Items.resize(1);
    project.TerrainPolys.Items[0].Deleted = 1; // deleted entries count too
    project.TerrainPolys.Count = 1;
    AddLine(0, {{0, 0}, {1, 1}});
    AddLine(0, {{0, 0}, {1, 1}}, 1);
    project.Models.Items.resize(4);
    project.Models.Count = 4;
    project.Actors.Directory = "/land/plants/";
    project.Models.Directory = std::string(300, 'm'); // longer than the record's field holds

    PluginProjectInfo info;
    std::memset(&info, 0xAB, sizeof info);
    Entry<InfoFn>("CallGetProjectInfo")(&info);
    EXPECT_EQ(info.Columns, 5);
    EXPECT_EQ(info.Rows, 4);
    EXPECT_EQ(+info.SpacingX, 10.0);
    EXPECT_EQ(+info.SpacingY, 12.5);
    EXPECT_EQ(+info.MaxHeight, 250.0);
    EXPECT_EQ(+info.MinHeight, -20.0);
    EXPECT_EQ(+info.VerticalScale, 1.5);
    EXPECT_EQ(+info.GeoX0, 1000.0); // left
    EXPECT_EQ(+info.GeoY0, 500.0);  // top
    EXPECT_EQ(+info.GeoX1, 2000.0); // right
    EXPECT_EQ(+info.GeoY1, 0.0);    // bottom
    EXPECT_EQ(info.TerrainLayerCount, 2);
    EXPECT_EQ(info.PlantTypeCount, 3);
    EXPECT_EQ(info.RegionCount, 1);
    EXPECT_EQ(info.LineCount, 2);
    EXPECT_EQ(info.ModelCount, 4);
    EXPECT_STREQ(info.PlantsDirectory, "/land/plants/");
    EXPECT_EQ(std::string(info.ModelsDirectory), std::string(255, 'm'));
    EXPECT_EQ(changes, 0); // reading changes nothing

    // Every field changed; only the vertical scale, the georeference and the folders are taken.
    info.Columns = info.Rows = 99;
    info.SpacingX = info.SpacingY = 1;
    info.MaxHeight = 1e6;
    info.MinHeight = -1e6;
    info.VerticalScale = 3;
    info.GeoX0 = 10;
    info.GeoY0 = 20;
    info.GeoX1 = 30;
    info.GeoY1 = 40;
    info.TerrainLayerCount = info.PlantTypeCount = info.RegionCount = info.LineCount = info.ModelCount = 50;
    std::strcpy(info.PlantsDirectory, "/other/plants/");
    std::memset(info.ModelsDirectory, 'n', sizeof info.ModelsDirectory); // no terminator
    project.ShadowsOutOfDate = 0;
    Entry<InfoFn>("CallSetProjectInfo")(&info);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(g.SizeX, 5);
    EXPECT_EQ(g.SizeY, 4);
    EXPECT_EQ(g.Cells.Columns(), 5);
    EXPECT_EQ(g.SpacingX, 10.0);
    EXPECT_EQ(g.SpacingY, 12.5);
    EXPECT_EQ(g.MaxHeight, 250.0);
    EXPECT_EQ(g.MinHeight, -20.0);
    EXPECT_EQ(g.VerticalScale, 3.0);
    EXPECT_EQ(g.LeftGeo, 10.0);
    EXPECT_EQ(g.TopGeo, 20.0);
    EXPECT_EQ(g.RightGeo, 30.0);
    EXPECT_EQ(g.BottomGeo, 40.0);
    EXPECT_EQ(project.TerrainLayers.Count, 2);
    EXPECT_EQ(project.Models.Count, 4);
    EXPECT_EQ(project.Actors.Directory, "/other/plants/");
    EXPECT_EQ(project.Models.Directory, std::string(255, 'n'));
    EXPECT_EQ(project.ShadowsOutOfDate, 1); // the vertical scale shapes the shadows

    PluginProjectInfo again{};
    Entry<InfoFn>("CallGetProjectInfo")(&again);
    EXPECT_EQ(+again.VerticalScale, 3.0);
    EXPECT_EQ(+again.GeoY0, 20.0);
    EXPECT_EQ(+again.GeoX1, 30.0);
    EXPECT_EQ(again.Columns, 5);
    EXPECT_STREQ(again.PlantsDirectory, "/other/plants/");
}

TEST_F(PluginLibraryServicesTest, CameraPointsAreGeoreferencedXAltitudeYInStoredUnitsAndComeBackAsSet)
{
    // The 5 x 4 grid of spacing 10 spans 40 by 30 stored units, centred on the origin; the fixture's
    // georeference runs from 1000 to 2000 in X and from 500 down to 0 in Y.
    struct TCase {
        double left, top, right, bottom; // the georeference
        float geo[3];                    // a point as the plug-in gives it: X, altitude, Y
        TVector3 stored;                 // the project's camera point: X, altitude, Z
    };
    const TCase cases[] = {
        {1000, 500, 2000, 0, {1250, 77, 125}, {-10, 77, 7.5f}},
        {1000, 500, 2000, 0, {2000, -3.5f, 500}, {20, -3.5f, -15}},
        {0, 0, 40, 30, {0, 200, 30}, {-20, 200, 15}}, // a new grid's georeference
        {-100, -50, 100, 50, {50, 0, -25}, {10, 0, -7.5f}},
    };
    auto getCamera = Entry<CameraFn>("CallGetCamera");
    auto setCamera = Entry<CameraFn>("CallSetCamera");
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "geo " << c.geo[0] << ", " << c.geo[1] << ", " << c.geo[2]);
        TGridBlock& g = project.Grid;
        g.LeftGeo = c.left;
        g.TopGeo = c.top;
        g.RightGeo = c.right;
        g.BottomGeo = c.bottom;
        const int before = changes;
        project.ShadowsOutOfDate = 0;

        // The eye takes the case's point, the target its mirror through the centre of the map.
        PluginCamera cam{};
        const float mirror[3] = {float(c.left + c.right - c.geo[0]), -c.geo[1], float(c.top + c.bottom - c.geo[2])};
        std::memcpy(cam.Eye, c.geo, sizeof cam.Eye);
        std::memcpy(cam.Target, mirror, sizeof cam.Target);
        cam.Perspective = 45;
        cam.SunElevation = 30;
        cam.SunAzimuth = 200;
        setCamera(&cam);
        EXPECT_EQ(changes, before + 1);
        EXPECT_EQ(project.ShadowsOutOfDate, 1); // the sun may have moved
        const TVector3 eye = project.Camera.Eye, target = project.Camera.Target;
        EXPECT_FLOAT_EQ(eye.X, c.stored.X);
        EXPECT_FLOAT_EQ(eye.Y, c.stored.Y);
        EXPECT_FLOAT_EQ(eye.Z, c.stored.Z);
        EXPECT_FLOAT_EQ(target.X, -c.stored.X);
        EXPECT_FLOAT_EQ(target.Y, -c.stored.Y);
        EXPECT_FLOAT_EQ(target.Z, -c.stored.Z);
        const TDoublePoint shown = project.GetCameraGeoPosition(); // what the camera editor shows
        EXPECT_NEAR(shown.X, c.geo[0], 1e-3);
        EXPECT_NEAR(shown.Y, c.geo[2], 1e-3);
        EXPECT_EQ(project.Camera.Perspective, 45.0);
        EXPECT_EQ(project.Lighting.LightAltitude, 30.0);
        EXPECT_EQ(project.Lighting.LightAzimuth, 200.0);

        PluginCamera back;
        std::memset(&back, 0xAB, sizeof back);
        getCamera(&back);
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(back.Eye[k], c.geo[k]) << k;
            EXPECT_FLOAT_EQ(back.Target[k], mirror[k]) << k;
        }
        EXPECT_EQ(+back.Perspective, 45.0);
        EXPECT_EQ(+back.SunElevation, 30.0);
        EXPECT_EQ(+back.SunAzimuth, 200.0);
        EXPECT_EQ(changes, before + 1);
    }

    // A camera the project already holds goes out the same way.
    project.Camera.Eye = {20, 5, 15}; // the last case's right, bottom corner
    project.Lighting.LightAltitude = 12;
    PluginCamera cam{};
    getCamera(&cam);
    EXPECT_FLOAT_EQ(cam.Eye[0], 100);
    EXPECT_FLOAT_EQ(cam.Eye[1], 5);
    EXPECT_FLOAT_EQ(cam.Eye[2], 50);
    EXPECT_EQ(+cam.SunElevation, 12.0);

    // A camera with a value that is no number, or that overflows a single in world units, is
    // not taken at all.
    project.Grid.RightGeo = project.Grid.LeftGeo + 1; // a small georeference: large world values
    project.Grid.BottomGeo = project.Grid.TopGeo + 1;
    const TVector3 eye = project.Camera.Eye;
    const double perspective = project.Camera.Perspective;
    const int before = changes;
    PluginCamera good{{0.5f, 0, 0.5f}, {0, 0, 0}, 70, 20, 90};
    int spoilt = 0;
    for (auto spoil : std::initializer_list<void (*)(PluginCamera&)>{
             [](PluginCamera& c) { c.Eye[0] = kNaN; },
             [](PluginCamera& c) { c.Target[1] = -kInf; },
             [](PluginCamera& c) { c.Target[2] = 3e38f; }, // huge once scaled to the map
             [](PluginCamera& c) { c.Perspective = kNaN; },
             [](PluginCamera& c) { c.SunElevation = kInf; },
             [](PluginCamera& c) { c.SunAzimuth = kNaN; }}) {
        SCOPED_TRACE(spoilt++);
        PluginCamera bad = good;
        spoil(bad);
        setCamera(&bad);
        EXPECT_EQ(project.Camera.Eye.X, eye.X);
        EXPECT_EQ(project.Camera.Perspective, perspective);
        EXPECT_EQ(project.Lighting.LightAltitude, 12.0);
        EXPECT_EQ(project.Lighting.LightAzimuth, 200.0);
    }
    EXPECT_EQ(changes, before);
}

TEST_F(PluginLibraryServicesTest, NewHeightGridReplacesTheGridOrRefusesAndKeepsIt)
{
    auto newGrid = Entry<NewGridFn>("CallNewHeightGrid");
    struct TRefused {
        int32_t columns, rows;
        float sx, sy;
    };
    for (const TRefused& r : {TRefused{0, 4, 1, 1}, {4, 0, 1, 1}, {-3, 4, 1, 1}, {4, INT32_MIN, 1, 1},
                              {INT32_MAX, INT32_MAX, 1, 1}, {4, 4, 0, 1}, {4, 4, 1, -2}, {4, 4, kNaN, 1}, {4, 4, 1, kInf}}) {
        SCOPED_TRACE(testing::Message() << r.columns << " x " << r.rows << " by " << r.sx << ", " << r.sy);
        EXPECT_EQ(newGrid(r.columns, r.rows, r.sx, r.sy), 0);
        EXPECT_EQ(project.Grid.SizeX, 5);
        EXPECT_EQ(project.Grid.Cells.Rows(), 4);
        EXPECT_EQ(project.Grid.LeftGeo, 1000.0);
    }
    EXPECT_EQ(changes, 0);

    project.ShadowsOutOfDate = 0;
    EXPECT_EQ(newGrid(3, 2, 2.5f, 4.0f), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(project.ShadowsOutOfDate, 1);
    const TGridBlock& g = project.Grid;
    EXPECT_EQ(g.SpacingX, 2.5);
    EXPECT_EQ(g.SpacingY, 4.0);
    ASSERT_EQ(g.Cells.Columns(), 3);
    ASSERT_EQ(g.Cells.Rows(), 2);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 2; ++r)
            EXPECT_EQ(g.Cells[c][r].Height, -1001.0);

    // The plug-in sees the new grid and its own georeference.
    PluginProjectInfo info{};
    Entry<InfoFn>("CallGetProjectInfo")(&info);
    EXPECT_EQ(info.Columns, 3);
    EXPECT_EQ(info.Rows, 2);
    EXPECT_EQ(+info.GeoX0, 0.0);
    EXPECT_EQ(+info.GeoX1, 5.0); // (columns - 1) x spacing
    EXPECT_EQ(+info.GeoY1, 4.0);
    EXPECT_EQ(Entry<GetFlagFn>("CallGetCellFlag")(2, 1), 0);
    EXPECT_EQ(Entry<GetFlagFn>("CallGetCellFlag")(3, 0), 0); // beyond the new grid
}

TEST_F(PluginLibraryServicesTest, CellFlagsAreTheFloodedFlagsOfCellsInsideTheGrid)
{
    auto getFlag = Entry<GetFlagFn>("CallGetCellFlag");
    auto setFlag = Entry<SetFlagFn>("CallSetCellFlag");
    for (auto [x, y] : {std::pair{-1, 0}, {5, 0}, {0, -1}, {0, 4}, {INT32_MIN, 2}, {2, INT32_MAX}}) {
        SCOPED_TRACE(testing::Message() << x << ", " << y);
        setFlag(x, y, 1);
        EXPECT_EQ(getFlag(x, y), 0);
    }
    EXPECT_EQ(changes, 0);
    for (int c = 0; c < 5; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(project.Grid.Cells[c][r].Flooded, 0);

    struct TCase {
        uint8_t given, stored, read;
    };
    for (const TCase& k : {TCase{1, 1, 1}, {0, 0, 0}, {255, 1, 1}, {2, 1, 1}, {0, 0, 0}}) {
        SCOPED_TRACE(int(k.given));
        const int before = changes;
        setFlag(4, 3, k.given);
        EXPECT_EQ(project.Grid.Cells[4][3].Flooded, k.stored);
        EXPECT_EQ(getFlag(4, 3), k.read);
        EXPECT_EQ(changes, before + 1);
    }
    EXPECT_EQ(project.Grid.Cells[3][4 - 1].Flooded, 0); // the neighbour is left alone
    project.Grid.Cells[0][0].Flooded = 2; // only 1 counts as flooded
    EXPECT_EQ(getFlag(0, 0), 0);
}

TEST_F(PluginLibraryServicesTest, LinesAreAddedAndReadInGeoreferencedCoordinatesByTheirOwnServices)
{
    AddLayer(40); // layer IDs differ from their indices
    const int layer = AddLayer(41);
    auto info = Entry<GetPolyFn>("CallGetLineInfo");
    auto points = Entry<GetPolyFn>("CallGetLinePoints");
    auto add = Entry<AddPolyFn>("CallAddLine");

    float given[] = {1000, 500, 1750, 100, 2000, 0};
    PluginPolyInfo rec{-5, 0, layer, 3, given};
    ASSERT_EQ(add(&rec), 1); // the first line of an empty list
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(project.TerrainLines.Count, 1);
    EXPECT_EQ(project.TerrainPolys.Count, 0); // a line, not a region
    const TTerrainLine& line = project.TerrainLines.Items[0];
    EXPECT_EQ(rec.ID, line.ID);
    EXPECT_EQ(line.TerrainLayerID, 41);
    EXPECT_EQ(line.Deleted, 0);
    ASSERT_EQ(line.PointCount, 3);
    EXPECT_DOUBLE_EQ(line.Points[0].X, 0.0);
    EXPECT_DOUBLE_EQ(line.Points[1].X, 0.75);
    EXPECT_EQ(line.Points[1].Y, double(0.8f)); // rounded to single before it is stored
    EXPECT_DOUBLE_EQ(line.Points[2].Y, 1.0);

    // Refused additions leave the list and the project as they were.
    PluginPolyInfo refused[] = {
        {0, 0, layer, 1, given},   // one point is no line
        {0, 0, 2, 3, given},       // the layer count itself
        {0, 0, -1, 3, given},
        {0, 0, layer, 3, nullptr}, // no points
    };
    for (PluginPolyInfo& r : refused) {
        SCOPED_TRACE(testing::Message() << "layer " << r.Layer << ", " << r.PointCount << " points");
        EXPECT_EQ(add(&r), 0);
        EXPECT_EQ(r.ID, 0);
    }
    EXPECT_EQ(project.TerrainLines.Count, 1);

    PluginPolyInfo read{};
    ASSERT_EQ(info(0, &read), 1);
    EXPECT_EQ(read.ID, line.ID);
    EXPECT_EQ(read.Layer, layer);
    EXPECT_EQ(read.PointCount, 3);
    EXPECT_EQ(read.Points, nullptr); // untouched

    float back[6] = {};
    read.Points = back;
    read.PointCount = 2; // too small
    EXPECT_EQ(points(0, &read), 0);
    EXPECT_EQ(back[0], 0.0f);
    read.PointCount = 3;
    read.ID = -1;
    ASSERT_EQ(points(0, &read), 1);
    EXPECT_EQ(read.ID, line.ID);
    for (int k = 0; k < 6; ++k)
        EXPECT_FLOAT_EQ(back[k], given[k]) << k;

    // Indices outside the list, and a deleted line, are refused by both readers.
    AddLine(1, {{0, 0}, {1, 1}}, 1);
    for (int32_t index : {-1, 2, INT32_MAX, 1}) {
        SCOPED_TRACE(index);
        PluginPolyInfo r{7, 7, 7, 3, back};
        EXPECT_EQ(info(index, &r), 0);
        EXPECT_EQ(points(index, &r), 0);
        EXPECT_EQ(r.ID, 7);
    }
    EXPECT_EQ(changes, 1);
}

TEST_F(PluginLibraryServicesTest, NullRecordsFailQuietlyAndChangeNothing)
{
    AddLayer(0);
    AddLine(0, {{0, 0}, {1, 1}});
    const double scale = project.Grid.VerticalScale;
    const float eyeX = project.Camera.Eye.X;
    const int32_t plants = project.Actors.Count, plans = project.Urban.Count;
    // Through the plug-in's own entry points.
    Entry<InfoFn>("CallGetProjectInfo")(nullptr);
    Entry<InfoFn>("CallSetProjectInfo")(nullptr);
    Entry<CameraFn>("CallGetCamera")(nullptr);
    Entry<CameraFn>("CallSetCamera")(nullptr);
    EXPECT_EQ(Entry<GetPolyFn>("CallGetLineInfo")(0, nullptr), 0);
    EXPECT_EQ(Entry<GetPolyFn>("CallGetLinePoints")(0, nullptr), 0);
    EXPECT_EQ(Entry<AddPolyFn>("CallAddLine")(nullptr), 0);
    // And every other service that takes a record, straight from the table.
    for (int slot : {psGetTerrainLayer, psSetTerrainLayer, psGetPlantType, psSetPlantType, psGetUrbanPlan,
                     psSetUrbanPlan, psGetRegionInfo, psGetRegionPoints, psGetModel}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(Service<uint8_t (*)(void*, int32_t, void*)>(slot)(Data(), 0, nullptr), 0);
    }
    for (int slot : {psAddTerrainLayer, psAddPlantType, psAddUrbanPlan}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(Service<int32_t (*)(void*, void*)>(slot)(Data(), nullptr), -1);
    }
    for (int slot : {psAddRegion, psAddModel}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(Service<uint8_t (*)(void*, void*)>(slot)(Data(), nullptr), 0);
    }
    EXPECT_EQ(Service<PluginHeightGridFn>(psGetHeightGrid)(Data(), 20, nullptr), 0);
    EXPECT_EQ(Service<PluginHeightGridFn>(psSetHeightGrid)(Data(), 20, nullptr), 0);

    EXPECT_EQ(changes, 0);
    EXPECT_EQ(project.Grid.VerticalScale, scale);
    EXPECT_EQ(project.Camera.Eye.X, eyeX);
    EXPECT_EQ(project.TerrainLayers.Count, 1);
    EXPECT_EQ(project.Actors.Count, plants);
    EXPECT_EQ(project.Urban.Count, plans);
    EXPECT_EQ(project.TerrainLines.Count, 1);
    EXPECT_EQ(project.TerrainPolys.Count, 0);
    EXPECT_EQ(project.Models.Count, 0);
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
