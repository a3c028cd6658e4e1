#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "support/MessageLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using RecordingPrompt = qxtest::TMessageLog;

class RecordingSink : public IStatusSink {
public:
    std::vector<std::string> events;
    int busyDepth = 0;
    void SetOperationText(const std::string& t) override { events.push_back("op:" + t); }
    void SetStepText(const std::string& t) override { events.push_back("step:" + t); }
    void SetProgress(int) override {}
    void SetBusyCursor(bool busy) override { busyDepth += busy ? 1 : -1; events.push_back(busy ? "busy" : "idle"); }
    void ProcessMessages() override { events.push_back("pump"); }
};

TEST(Project, NewProjectFacts)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(258, 258, 30.0, 30.0));
    EXPECT_EQ(p.Grid.MapWidth, 7710.0);
    EXPECT_EQ(p.Grid.MapHeight, 7710.0);
    EXPECT_DOUBLE_EQ(p.WorldScale, 15.48);
    EXPECT_EQ(p.Grid.SizeX, 258);
    EXPECT_EQ(p.Grid.SizeY, 258);
    EXPECT_EQ(p.Grid.RightGeo, 7710.0);
    EXPECT_EQ(p.Grid.BottomGeo, 7710.0);
    EXPECT_EQ(p.Grid.MaxHeight, 0.0);
    EXPECT_EQ(p.Grid.VerticalScale, 1.0);
    ASSERT_EQ(p.Grid.Cells.Columns(), 258);
    ASSERT_EQ(p.Grid.Cells.Rows(), 258);
    const TFloatColor& below = p.Fractal.TerrainSurfaces[0].Material.PrimaryColor;
    for (int c = 0; c < 258; c += 257)
        for (int r = 0; r < 258; r += 257) {
            const TGridCell& cell = p.Grid.Cells[c][r];
            EXPECT_EQ(cell.Height, NullHeight);
            EXPECT_EQ(cell.Normal.Y, 1.0f);
            EXPECT_EQ(cell.Color.G, below.G);
        }
    ASSERT_EQ(p.Fractal.TerrainSurfaces.size(), 3u);
    const char* names[] = {"Below Treeline", "Intermediate", "Above Snowline"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p.Fractal.TerrainSurfaces[i].SurfaceID, i);
        EXPECT_EQ(p.Fractal.TerrainSurfaces[i].SurfaceName, names[i]);
        EXPECT_EQ(p.Fractal.TerrainSurfaces[i].ParentID, -1);
    }
    EXPECT_EQ(p.Fractal.TerrainSurfaceCount, 3);
    EXPECT_EQ(p.Fractal.TerrainSurfaceNextID, 3);
    // Surface colours are 24-bit values over 255.
    EXPECT_FLOAT_EQ(below.G, 97.0f / 255.0f);
    EXPECT_EQ(below.A, 1.0f);
}

TEST(Project, CreateDefaults)
{
    TProject p;
    EXPECT_EQ(p.WorldScale, 1.0);
    EXPECT_TRUE(p.Grid.Cells.Empty());
    EXPECT_EQ(p.Header.Magic, 262);
    EXPECT_EQ(p.Header.Compatibility, 18);
    EXPECT_EQ(p.Header.Version, 192);
    // Prefix words and tags of every block.
    const int prefixes[][2] = {{p.Grid.RecordWord, p.Grid.Tag},         {p.Camera.RecordWord, p.Camera.Tag},
                               {p.Lighting.RecordWord, p.Lighting.Tag}, {p.Actors.RecordWord, p.Actors.Tag},
                               {p.Atmosphere.RecordWord, p.Atmosphere.Tag}, {p.Clouds.RecordWord, p.Clouds.Tag},
                               {p.Ecology.RecordWord, p.Ecology.Tag},   {p.Fractal.RecordWord, p.Fractal.Tag},
                               {p.Overlays.RecordWord, p.Overlays.Tag}, {p.TerrainLayers.RecordWord, p.TerrainLayers.Tag},
                               {p.Water.RecordWord, p.Water.Tag},       {p.TerrainPolys.RecordWord, p.TerrainPolys.Tag},
                               {p.Models.RecordWord, p.Models.Tag},     {p.TerrainLines.RecordWord, p.TerrainLines.Tag},
                               {p.Urban.RecordWord, p.Urban.Tag}};
    const int expected[][2] = {{119, 169}, {67, 171}, {80, 167}, {272, 162}, {160, 163}, {288, 164}, {272, 165}, {60, 166},
                               {80, 168},  {20, 170}, {296, 172}, {16, 174}, {272, 175}, {16, 176}, {16, 177}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(prefixes[i][0], expected[i][0]) << "block " << i;
        EXPECT_EQ(prefixes[i][1], expected[i][1]) << "block " << i;
    }
    // Lists start with Count 0 and one spare element; the ecology rules with no array; one cloud.
    EXPECT_EQ(p.Actors.Count, 0);
    EXPECT_EQ(p.Actors.Items.size(), 1u);
    EXPECT_EQ(p.TerrainLayers.Items.size(), 1u);
    EXPECT_EQ(p.Models.Items.size(), 1u);
    EXPECT_TRUE(p.Ecology.Items.empty());
    ASSERT_EQ(p.Clouds.Count, 1);
    ASSERT_EQ(p.Clouds.Items.size(), 1u);
    EXPECT_EQ(p.Clouds.Items[0].Size, 200);
    EXPECT_EQ(p.Clouds.GeneratorSettings[0], 1004);
    EXPECT_EQ(p.Fractal.BPlaneSeed, 100);
    EXPECT_EQ(p.Fractal.DrawNoModels, 1);
    EXPECT_EQ(p.Camera.Eye.X, 2000.0f);
    EXPECT_EQ(p.Camera.Target.Z, -2000.0f);
    EXPECT_EQ(p.Atmosphere.Infinity, 10000.0);
    EXPECT_FLOAT_EQ(p.Atmosphere.DecayColor.G, 0.51f);
    EXPECT_EQ(p.Water.GFreqSeed, 54321);
    EXPECT_EQ(p.Water.Surface.Shininess, 3);
    // The band-noise tile is scaled to a largest element of exactly 1 and its mean is kept.
    float maximum = 0;
    double sum = 0;
    for (auto& row : p.BandNoise)
        for (float v : row) {
            maximum = std::max(maximum, v);
            sum += v;
        }
    EXPECT_EQ(maximum, 1.0f);
    EXPECT_NEAR(p.BandNoiseScale, sum / 4225.0, 1e-9);
    EXPECT_GT(p.BandNoiseScale, 0.2);
    // The layer map waits for its first use.
    EXPECT_TRUE(p.LayerBitmap.isNull());
}

TEST(Project, DefaultFoldersBesideProgramUnlessSet)
{
    {
        TProject p;
        EXPECT_EQ(p.Overlays.Directory, ProgramFolder() + "Overlays/");
        EXPECT_EQ(p.Actors.Directory, ProgramFolder() + "Plants/");
        EXPECT_EQ(p.Models.Directory, ProgramFolder() + "Models/");
        EXPECT_EQ(p.Clouds.Directory, ProgramFolder() + "Clouds/");
    }
    {
        TWinRegistry store(QuarlexBaseKey);
        store.WriteString("Paths", "Models", "/data/models/");
        store.WriteString("Paths", "Plants", std::string(300, 'p'));
    }
    TProject p;
    EXPECT_EQ(p.Models.Directory, "/data/models/");
    EXPECT_EQ(p.Actors.Directory, std::string(255, 'p')); // cut to a short string
    EXPECT_EQ(p.Overlays.Directory, ProgramFolder() + "Overlays/");
    TWinRegistry store(QuarlexBaseKey);
    store.WriteString("Paths", "Models", ProgramFolder() + "Models/");
    store.WriteString("Paths", "Plants", ProgramFolder() + "Plants/");
}

TEST(Project, NewGridOneColumnStillCountsSizeInWorldScale)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(1, 11, 10.0, 20.0));
    EXPECT_EQ(p.Grid.MapWidth, 0.0);
    EXPECT_EQ(p.Grid.MapHeight, 200.0);
    EXPECT_DOUBLE_EQ(p.WorldScale, ((1 * 10.0 + 11 * 20.0) / 2) / 500);
}

TEST(Project, NewGridRefusesUnusableParametersAndKeepsTheGrid)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        int columns, rows;
        double sx, sy;
    } cases[] = {
        {0, 10, 30, 30}, {10, 0, 30, 30}, {-5, 10, 30, 30}, {10, 10, 0, 30},  {10, 10, 30, -1},
        {10, 10, nan, 30}, {10, 10, 30, inf}, {100000, 100000, 30, 30}, {INT32_MAX, INT32_MAX, 1, 1},
    };
    TProject p;
    ASSERT_TRUE(p.NewGrid(5, 6, 30.0, 30.0));
    p.Grid.Cells[2][3].Height = 55.0;
    p.Grid.MaxHeight = 100.0;
    RecordingSink sink;
    SetStatusSink(&sink);
    for (const Case& c : cases) {
        EXPECT_FALSE(p.NewGrid(c.columns, c.rows, c.sx, c.sy)) << c.columns << " x " << c.rows;
        EXPECT_EQ(p.Grid.SizeX, 5);
        EXPECT_EQ(p.Grid.SizeY, 6);
        EXPECT_EQ(p.Grid.Cells[2][3].Height, 55.0);
        EXPECT_EQ(p.Grid.MaxHeight, 100.0);
        EXPECT_DOUBLE_EQ(p.WorldScale, ((5 * 30.0 + 6 * 30.0) / 2) / 500);
    }
    // A grid that is made shows the hourglass and takes it away again.
    EXPECT_TRUE(p.NewGrid(3, 3, 1.0, 1.0));
    SetStatusSink(nullptr);
    EXPECT_EQ(sink.busyDepth, 0);
    EXPECT_NE(std::find(sink.events.begin(), sink.events.end(), "busy"), sink.events.end());
    EXPECT_EQ(p.Grid.MaxHeight, 0.0);
}

TEST(Project, MarkDeletedByLayerComparesLayerIDs)
{
    TProject p;
    auto fill = [](auto& block) {
        block.Items.assign(4, {});
        block.Count = 3; // the fourth is a stale entry past Count
        const int layers[] = {7, 2, 7, 7};
        for (int i = 0; i < 4; ++i)
            block.Items[i].TerrainLayerID = layers[i];
    };
    fill(p.TerrainLines);
    fill(p.TerrainPolys);
    fill(p.Models);
    p.TerrainPolys.Items[1].Deleted = 1; // an existing mark is never cleared
    EXPECT_EQ(p.DeleteLayerLines(7), 0);
    EXPECT_EQ(p.DeleteLayerRegions(7), 0);
    EXPECT_EQ(p.DeleteLayerModels(7), 0);
    for (const auto* items : {&p.TerrainLines.Items, &p.TerrainPolys.Items}) {
        EXPECT_EQ((*items)[0].Deleted, 1);
        EXPECT_EQ((*items)[2].Deleted, 1);
        EXPECT_EQ((*items)[3].Deleted, 0);
    }
    EXPECT_EQ(p.TerrainLines.Items[1].Deleted, 0);
    EXPECT_EQ(p.TerrainPolys.Items[1].Deleted, 1);
    EXPECT_EQ(p.Models.Items[0].Deleted, 1);
    EXPECT_EQ(p.Models.Items[1].Deleted, 0);
    EXPECT_EQ(p.Models.Items[2].Deleted, 1);
    EXPECT_EQ(p.Models.Items[3].Deleted, 0);
}

TEST(Project, FindEcologyRuleReturnsLastRuleInUse)
{
    TProject p;
    EXPECT_EQ(p.FindEcologyRule(0), -1); // no array at all
    p.Ecology.Items.resize(5);
    const int layers[] = {4, 9, 4, 1, 9};
    for (int i = 0; i < 5; ++i)
        p.Ecology.Items[i].TerrainLayerID = layers[i];
    p.Ecology.Count = 4; // entry 4 is stale
    EXPECT_EQ(p.FindEcologyRule(4), 2);
    EXPECT_EQ(p.FindEcologyRule(9), 1);
    EXPECT_EQ(p.FindEcologyRule(1), 3);
    EXPECT_EQ(p.FindEcologyRule(3), -1);
}

TEST(Project, AppendForLayerStoresTheLayersID)
{
    TProject p;
    EXPECT_EQ(p.AppendLayerLine(-1), -1);
    EXPECT_EQ(p.AppendLayerRegion(0), -1); // no layers yet
    EXPECT_EQ(p.AppendLayerModel(-1), -1);
    EXPECT_EQ(p.TerrainLines.Count, 0);
    EXPECT_EQ(p.Models.Count, 0);

    p.TerrainLayers.Items.resize(2);
    p.TerrainLayers.Count = 2;
    p.TerrainLayers.Items[0].ID = 10;
    p.TerrainLayers.Items[1].ID = 42;
    p.TerrainLayers.Items[1].ModelHeight = 12.5;
    p.TerrainLayers.Items[1].Rotation = 90.0;
    EXPECT_EQ(p.AppendLayerRegion(2), -1);

    p.TerrainLines.NextID = 5;
    p.TerrainLines.Items[0].PointCount = 3; // leftovers in the spare element
    EXPECT_EQ(p.AppendLayerLine(1), 0);
    EXPECT_EQ(p.AppendLayerLine(0), 1);
    ASSERT_EQ(p.TerrainLines.Items.size(), 2u);
    EXPECT_EQ(p.TerrainLines.Count, 2);
    EXPECT_EQ(p.TerrainLines.NextID, 7);
    const TTerrainLine& first = p.TerrainLines.Items[0];
    EXPECT_EQ(first.ID, 5);
    EXPECT_EQ(first.TerrainLayerID, 42);
    EXPECT_EQ(first.PointCount, 0);
    EXPECT_EQ(first.Points.size(), 1u);
    EXPECT_EQ(p.TerrainLines.Items[1].TerrainLayerID, 10);

    EXPECT_EQ(p.AppendLayerRegion(1), 0);
    EXPECT_EQ(p.TerrainPolys.Items[0].TerrainLayerID, 42);

    EXPECT_EQ(p.AppendLayerModel(1), 0);
    const TModelPlacement& m = p.Models.Items[0];
    EXPECT_EQ(m.TerrainLayerID, 42);
    EXPECT_EQ(m.Size, 12.5);
    EXPECT_EQ(m.Rotation, 90.0);
    EXPECT_EQ(m.Deleted, 0);
    EXPECT_EQ(p.Models.NextID, 1);
    // The new model is found by the layer's ID.
    p.DeleteLayerModels(42);
    EXPECT_EQ(p.Models.Items[0].Deleted, 1);
}

TEST(Project, MaxRoughnessMargin)
{
    TProject p;
    EXPECT_EQ(p.MaxRoughnessMargin(), 10.0);
    p.Fractal.TerrainSurfaces[1].Material.Roughness = 64.0;
    EXPECT_EQ(p.MaxRoughnessMargin(), 32.0);
    p.Fractal.TerrainSurfaces[1].Deleted = 1;
    EXPECT_EQ(p.MaxRoughnessMargin(), 10.0);
    for (auto& s : p.Fractal.TerrainSurfaces)
        s.Deleted = 1;
    EXPECT_EQ(p.MaxRoughnessMargin(), 0.0);
}

TEST(Project, StatusTextsGoToTheSinkAndPumpMessages)
{
    RecordingSink sink;
    SetStatusSink(&sink);
    TProject p;
    sink.events.clear();
    p.SetOperationText("Loading");
    p.SetStepText("");
    SetStatusSink(nullptr);
    const std::vector<std::string> expected{"op:Loading", "pump", "step:", "pump"};
    EXPECT_EQ(sink.events, expected);
}

TEST(Project, LayerBitmapMadeOnFirstUse)
{
    TProject p;
    ASSERT_TRUE(p.EnsureLayerBitmap());
    EXPECT_EQ(p.LayerBitmap.width(), 4096);
    EXPECT_EQ(p.LayerBitmap.height(), 4096);
    EXPECT_EQ(p.LayerBitmap.format(), QImage::Format_RGB888);
    EXPECT_EQ(p.LayerBitmap.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(p.LayerBitmap.pixel(4095, 4095) & 0xFFFFFF, 0xFFFFFFu);
    p.LayerBitmap.setPixel(1, 1, 0x000102);
    ASSERT_TRUE(p.EnsureLayerBitmap()); // kept, not cleared
    EXPECT_EQ(p.LayerBitmap.pixel(1, 1) & 0xFFFFFF, 0x000102u);
}

// The map is made ahead and handed from a project that goes to the next one; whichever way a
// project gets it, it starts white, and a map another project still shares is left as it is.
TEST(Project, LayerBitmapMadeAheadOrHandedOnStartsWhite)
{
    const auto painted = [](TProject& p) {
        if (!p.EnsureLayerBitmap())
            return false;
        p.LayerBitmap.setPixel(0, 0, 0x102030);
        p.LayerBitmap.setPixel(4095, 4095, 0x405060);
        return true;
    };
    const auto white = [](const TProject& p) {
        return (p.LayerBitmap.pixel(0, 0) & 0xFFFFFF) == 0xFFFFFFu &&
               (p.LayerBitmap.pixel(4095, 4095) & 0xFFFFFF) == 0xFFFFFFu;
    };
    for (const bool prepared : {false, true}) {
        SCOPED_TRACE(prepared ? "made ahead" : "handed on");
        ReleasePreparedLayerBitmap();
        const uchar* handed = nullptr;
        if (prepared) {
            PrepareLayerBitmap();
        } else {
            TProject gone;
            ASSERT_TRUE(painted(gone));
            handed = gone.LayerBitmap.constBits();
        }
        TProject next;
        ASSERT_TRUE(next.EnsureLayerBitmap());
        if (handed) {
            EXPECT_EQ(next.LayerBitmap.constBits(), handed); // the same memory, not a new map
        }
        EXPECT_TRUE(white(next));
    }
    // A copy still holds the map when its project goes.
    ReleasePreparedLayerBitmap();
    TProject holder;
    {
        TProject gone;
        ASSERT_TRUE(painted(gone));
        holder.LayerBitmap = gone.LayerBitmap;
    }
    TProject next;
    ASSERT_TRUE(next.EnsureLayerBitmap());
    EXPECT_NE(next.LayerBitmap.constBits(), holder.LayerBitmap.constBits());
    EXPECT_EQ(holder.LayerBitmap.pixel(0, 0) & 0xFFFFFF, 0x102030u);
    EXPECT_TRUE(white(next));
    ReleasePreparedLayerBitmap();
}

} // namespace
