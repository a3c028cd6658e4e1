#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/projectio.h"
#include "support/TestSupport.h"
#include "support/MessageLog.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

using RecordingPrompt = qxtest::TInstalledMessageLog;

Bytes Encode(TProject& p)
{
    std::vector<uint8_t> out;
    WriteProject(p, out);
    return Bytes(out.begin(), out.end());
}

// ---------------------------------------------------------------------------------------------
// An independent writer of project files of any version, laid out field by field as the format
// describes, so old files can be made without the code under test.

class FileBuilder {
public:
    Bytes b;
    void u8(unsigned v) { b.push_back(static_cast<unsigned char>(v)); }
    void u16(unsigned v)
    {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void i32(int64_t v)
    {
        for (int i = 0; i < 4; ++i)
            u8(static_cast<unsigned>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF));
    }
    void f32(float v)
    {
        uint32_t x;
        std::memcpy(&x, &v, 4);
        i32(x);
    }
    void f64(double v)
    {
        uint64_t x;
        std::memcpy(&x, &v, 8);
        for (int i = 0; i < 8; ++i)
            u8(static_cast<unsigned>((x >> (8 * i)) & 0xFF));
    }
    void str(const std::string& s)
    {
        u8(static_cast<unsigned>(s.size()));
        for (char c : s)
            u8(static_cast<unsigned char>(c));
        for (size_t i = s.size(); i < 255; ++i)
            u8(0);
    }
    void colour(float r, float g, float bl, float a)
    {
        f32(r);
        f32(g);
        f32(bl);
        f32(a);
    }
    void material64(float base)
    {
        colour(base, base / 2, base / 4, 1);
        colour(base / 8, base / 16, base / 32, 1);
        f64(base * 10); // roughness
        f64(base * 20); // specularity
        i32(7);         // shininess
        i32(0);         // filler
        f64(base * 30); // emission
    }
};

struct BlockOffsets {
    size_t grid, camera, lighting, overlays, atmosphere, fractal, water, actors, ecology, clouds, layers, models,
        regions, lines, urban, end;
};

// A project of the given version with one or two entries in every list.
Bytes BuildOldFile(int v, BlockOffsets* at = nullptr)
{
    FileBuilder f;
    BlockOffsets o{};
    f.u16(262);
    f.u16(18);
    f.u16(static_cast<unsigned>(v));
    f.str("Old valley");

    o.grid = f.b.size();
    f.u16(119);
    f.u8(169);
    f.i32(3);
    f.i32(2);
    f.f64(60);   // map width
    f.f64(25);   // map height
    f.f64(30);   // spacing X
    f.f64(25);   // spacing Y, kept apart from X
    f.f64(100);  // max height
    f.f64(-5);   // min height
    f.f64(1.5);  // vertical scale
    f.f64(1000); // left
    f.f64(2000); // top
    f.f64(1060); // right
    f.f64(2025); // bottom
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) {
            f.f64(r * 10 + c);
            f.u16(r == 1 && c == 1 ? 1 : 0);
        }

    o.camera = f.b.size();
    f.u16(67);
    f.u8(171);
    f.f32(1), f.f32(2), f.f32(3), f.f32(4), f.f32(5), f.f32(6);
    f.f64(45);
    f.f64(1);

    o.lighting = f.b.size();
    f.u16(80);
    f.u8(167);
    f.colour(0.9f, 0.8f, 0.7f, 1);
    f.colour(0.1f, 0.2f, 0.3f, 1);
    f.f64(30), f.f64(90), f.f64(15);

    o.overlays = f.b.size();
    f.u16(80);
    f.u8(168);
    f.str("ovl");
    f.i32(1);
    f.str("o.bmp");
    f.str("Ovl");
    f.i32(512);
    f.u8(1);
    f.u8(2);
    f.i32(0x123456);
    f.f64(0.5);
    f.i32(7);
    if (v >= 183) {
        f.i32(3);
        f.u8(0);
        f.u8(1);
        f.i32(20);
    }
    if (v >= 186)
        f.u8(1);

    o.atmosphere = f.b.size();
    f.u16(160);
    f.u8(163);
    f.colour(0.5f, 0.6f, 0.7f, 1);
    f.colour(0.4f, 0.5f, 0.6f, 1);
    f.colour(0.3f, 0.4f, 0.5f, 1);
    for (int i = 0; i < 10; ++i)
        f.f64(i + 0.5);
    if (v >= 183) {
        f.colour(0.2f, 0.3f, 0.4f, 1);
        f.f64(0.3);
    }

    o.fractal = f.b.size();
    f.u16(60);
    f.u8(166);
    f.i32(2);
    f.u8(0);
    for (int s : {11, 12, 13, 14, 30, 70, 10})
        f.i32(s);
    if (v < 185) {
        for (int i = 0; i < 12; ++i)
            f.u8(0xAB);
        const size_t where[3] = {0, 128, 192};
        for (int area = 0; area < 6; ++area) {
            size_t start = f.b.size();
            for (int i = 0; i < 256; ++i)
                f.u8(0xAB);
            if (area < 3) {
                FileBuilder m;
                m.material64(0.25f * static_cast<float>(area + 1));
                std::copy(m.b.begin(), m.b.end(), f.b.begin() + static_cast<long>(start + where[area]));
            }
        }
    }
    f.i32(40);
    if (v < 185)
        f.u8(0xAB);
    f.u8(0);
    if (v >= 184) {
        f.i32(4);
        f.i32(9);
        for (int s = 0; s < 4; ++s) {
            f.colour(0.1f * s, 0.2f, 0.3f, 1);
            f.colour(0.4f, 0.5f, 0.6f, 1);
            f.f64(20 + s), f.f64(1), f.i32(10), f.f64(0);
            f.i32(s == 3 ? 8 : s);
            f.str("Surface " + std::to_string(s));
            f.i32(s == 3 ? 1 : -1);
            f.f64(10);
            f.u8(1), f.u8(0), f.u8(1), f.u8(0);
            for (int k = 0; k < 9; ++k)
                f.f64(k + s);
        }
    }

    o.water = f.b.size();
    f.u16(296);
    f.u8(172);
    f.f64(3), f.f64(4);
    f.i32(45), f.i32(12345), f.i32(54321), f.i32(10);
    f.material64(0.5f);
    if (v < 185)
        for (int i = 0; i < 3; ++i)
            f.material64(0.1f);

    o.actors = f.b.size();
    f.u16(272);
    f.u8(162);
    f.str("plants");
    f.i32(5);
    f.i32(1);
    f.i32(4);
    f.str("Pine");
    f.str("far.ls");
    if (v > 179) {
        f.str("mid.ls");
        f.str("near.ls");
        for (int c = 0; c < 16; ++c)
            f.f32(c / 16.0f), f.f32(0.5f), f.f32(0.25f);
    }
    if (v >= 187)
        f.f64(0.3), f.f64(0.4);

    o.ecology = f.b.size();
    f.u16(272);
    f.u8(165);
    f.u8(0);
    if (v >= 186) {
        f.i32(1);
        f.i32(4), f.f64(2), f.f64(3), f.i32(6), f.u8(0);
        for (int k = 0; k < 6; ++k)
            f.f64(0.1 * k);
    } else {
        for (int k = 0; k < 4; ++k)
            f.i32(k), f.f64(2), f.f64(3);
    }

    o.clouds = f.b.size();
    f.u16(288);
    f.u8(164);
    for (int s : {1004, 1, 80, 80, 500})
        f.i32(s);
    f.str("clouds");
    f.i32(2);
    for (int c = 0; c < 2; ++c) {
        f.u8(1);
        f.f64(40 + c);
        f.i32(50), f.i32(20), f.i32(200);
        f.str("");
        f.colour(0.9f, 0.9f, 0.9f, 1);
        f.colour(0.7f, 0.7f, 0.7f, 1);
        f.f64(1), f.f64(2);
    }

    o.layers = f.b.size();
    f.u16(20);
    f.u8(170);
    f.i32(1);
    f.i32(2);
    if (v >= 188)
        f.u8(1);
    f.i32(6);
    f.u8(0), f.u8(0), f.u8(0); // no plants
    f.str("Houses");
    f.u8(1);
    f.colour(0.1f, 0.1f, 0.1f, 1);
    f.colour(0.2f, 0.2f, 0.2f, 1);
    f.f64(5);
    if (v >= 185)
        f.f64(6); // bumpiness
    f.f64(7), f.i32(8), f.f64(9);
    if (v < 185)
        for (int m = 1; m <= 3; ++m) {
            f.colour(0.1f * m, 0, 0, 1);
            f.colour(0, 0.1f * m, 0, 1);
            f.f64(m), f.f64(m * 2), f.i32(m * 3), f.f64(m * 4);
        }
    for (int k = 0; k < 4; ++k)
        f.i32(k), f.f64(1), f.f64(2);
    f.u8(1);
    f.str("house.3ds");
    f.u8(1); // draws models
    f.f64(12), f.f64(13), f.f64(2.5);
    f.colour(0.3f, 0.3f, 0.3f, 1);
    if (v >= 181)
        f.u8(1), f.i32(1);
    if (v >= 182)
        f.u8(1);
    if (v >= 183)
        f.i32(ltUrban);

    o.models = f.b.size();
    f.u16(272);
    f.u8(175);
    f.str("models");
    f.i32(1);
    f.i32(3);
    f.i32(2), f.i32(6), f.f32(0.25f), f.f32(10), f.f32(0.75f), f.f64(1.5), f.f64(90);

    for (unsigned tag : {174u, 176u}) {
        (tag == 174 ? o.regions : o.lines) = f.b.size();
        f.u16(16);
        f.u8(tag);
        f.i32(1);
        f.i32(2);
        f.i32(1), f.i32(6), f.i32(3);
        for (int k = 0; k < 3; ++k)
            f.f64(0.1 * k), f.f64(0.2 * k);
    }

    o.urban = f.b.size();
    if (v >= 181) {
        f.u16(16);
        f.u8(177);
        f.i32(2);
        f.i32(1);
        f.i32(1);
        f.str("Town");
        f.f64(100), f.f64(200), f.f64(30);
        f.str("h.bmp"), f.str("w.bmp"), f.str("r.bmp");
        f.i32(4);
    }
    o.end = f.b.size();
    if (at)
        *at = o;
    return f.b;
}

bool LoadBytes(TProject& p, const Bytes& bytes, const qxtest::TempDir& dir, const std::string& name = "p.qx2")
{
    qxtest::WriteFileBytes(dir.file(name), bytes);
    return p.LoadFromFile(dir.file(name));
}

// A project with every block filled through its fields, some entries marked deleted.
void FillProject(TProject& p)
{
    ASSERT_TRUE(p.NewGrid(5, 4, 30.0, 20.0));
    for (int c = 0; c < 5; ++c)
        for (int r = 0; r < 4; ++r)
            p.Grid.Cells[c][r].Height = c * 100 + r + 0.125;
    p.Grid.Cells[2][3].Flooded = 1;
    p.Grid.MaxHeight = 403.125;
    p.Grid.LeftGeo = -7.5;
    p.Header.Name = "Vallée";
    p.Camera.Eye = {10, 20, 30};
    p.Lighting.SunSize = 33;
    p.Atmosphere.MistHeight = 0.45;
    p.Fractal.FractalDepth = 3;
    p.Fractal.TerrainSurfaces.push_back(p.Fractal.TerrainSurfaces[1]);
    p.Fractal.TerrainSurfaces[3].SurfaceID = 3;
    p.Fractal.TerrainSurfaces[3].ParentID = 1;
    p.Fractal.TerrainSurfaces[3].Deleted = 1;
    p.Fractal.TerrainSurfaces.push_back(p.Fractal.TerrainSurfaces[2]);
    p.Fractal.TerrainSurfaces[4].SurfaceID = 4;
    p.Fractal.TerrainSurfaces[4].ParentID = 2;
    p.Fractal.TerrainSurfaces[4].Deleted = 0;
    p.Fractal.TerrainSurfaces[4].SurfaceName = "Scree";
    p.Fractal.TerrainSurfaceCount = 5;
    p.Fractal.TerrainSurfaceNextID = 5;
    p.Water.Surface.Shininess = 9;
    p.Overlays.Items.resize(2);
    p.Overlays.Count = 2;
    p.Overlays.Items[0].FileName = "gone.bmp";
    p.Overlays.Items[0].Deleted = 1;
    p.Overlays.Items[1].FileName = "aerial.bmp";
    p.Overlays.Items[1].IgnoreWater = 1;
    p.Overlays.Items[1].Scale = 12;
    p.Actors.Items.resize(1);
    p.Actors.Count = 1;
    p.Actors.Items[0].Name = "Oak";
    p.Actors.Items[0].Colors[15] = {0.25f, 0.5f, 0.75f};
    p.Actors.Items[0].BrightnessVariability = 0.6;
    p.Ecology.Items.resize(2);
    p.Ecology.Count = 2;
    p.Ecology.Items[1].AspectTolerance = 0.9;
    p.Clouds.Items.push_back(p.Clouds.Items[0]);
    p.Clouds.Count = 2;
    p.Clouds.Items[1].YOffset = 4.5;
    p.TerrainLayers.Items.resize(2);
    p.TerrainLayers.Count = 2;
    p.TerrainLayers.Items[0].ID = 7;
    p.TerrainLayers.Items[0].Name = "Forest";
    p.TerrainLayers.Items[0].Bumpiness = 3.5;
    p.TerrainLayers.Items[0].Plants[3].TreeDensity = 0.7;
    p.TerrainLayers.Items[0].LandscapeColor = {0.1f, 0.2f, 0.3f, 0.4f};
    p.TerrainLayers.Items[0].LayerType = ltVegetation;
    p.TerrainLayers.Items[1].Deleted = 1;
    p.TerrainLayers.Exact = 1;
    ASSERT_EQ(p.AppendLayerModel(0), 0);
    ASSERT_EQ(p.AppendLayerModel(0), 1);
    p.Models.Items[0].Deleted = 1;
    p.Models.Items[1].Position = {0.5f, 12, 0.25f};
    ASSERT_EQ(p.AppendLayerRegion(0), 0);
    p.TerrainPolys.Items[0].Points = {{0.1, 0.2}, {0.3, 0.4}, {0.5, 0.1}};
    p.TerrainPolys.Items[0].PointCount = 3;
    ASSERT_EQ(p.AppendLayerLine(0), 0);
    ASSERT_EQ(p.AppendLayerLine(0), 1);
    p.TerrainLines.Items[0].Deleted = 1;
    p.TerrainLines.Items[1].Points = {{0.9, 0.8}, {0.7, 0.6}};
    p.TerrainLines.Items[1].PointCount = 2;
    p.Urban.Items.resize(1);
    p.Urban.Count = 1;
    p.Urban.Items[0].PlanName = "Centre";
    p.Urban.Items[0].PlanZone = 3;
}

// ---------------------------------------------------------------------------------------------

TEST(ProjectFile, GridCellsAreStoredRowsOuterAfterTheDescriptor)
{
    TGridBlock g;
    g.Cells.Resize(3, 2);
    g.SizeX = 3;
    g.SizeY = 2;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 2; ++r)
            g.Cells[c][r].Height = c + 10 * r;
    g.Cells[2][0].Flooded = 1;
    std::vector<uint8_t> out;
    TByteWriter w(out);
    WriteGridBlock(w, g);
    ASSERT_EQ(out.size(), 99u + 60u);
    EXPECT_EQ(out[0] | out[1] << 8, 119);
    EXPECT_EQ(out[2], 169);
    const double expected[6] = {0, 1, 2, 10, 11, 12}; // [0][0], [1][0], [2][0], [0][1], ...
    for (int i = 0; i < 6; ++i) {
        double h;
        std::memcpy(&h, &out[99 + 10 * i], 8);
        EXPECT_EQ(h, expected[i]) << "cell " << i;
        EXPECT_EQ(out[99 + 10 * i + 8], i == 2 ? 1 : 0);
        EXPECT_EQ(out[99 + 10 * i + 9], 0);
    }
}

TEST(ProjectFile, WriterMatchesTheIndependentLayout)
{
    // Reading the independent writer's current-version file and writing it again must give the
    // same bytes: every field in its place, no padding.
    const Bytes file = BuildOldFile(ProjectVersion);
    TProject p;
    ReadProject(file.data(), file.size(), p);
    EXPECT_EQ(Encode(p), file);
}

TEST(ProjectFile, RoundTripOfEveryBlock)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    TProject original;
    FillProject(original);
    ASSERT_TRUE(original.SaveToFile(dir.file("full.qx2")));
    TProject loaded;
    loaded.ShadowsOutOfDate = 0;
    SetRandSeed(4242);
    ASSERT_TRUE(loaded.LoadFromFile(dir.file("full.qx2")));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(RandSeed(), 4242u); // loading leaves the random sequence alone

    EXPECT_EQ(loaded.Header.Name, "Vallée");
    EXPECT_EQ(loaded.Header.Version, 192);
    EXPECT_EQ(loaded.Grid.Cells.Columns(), 5);
    EXPECT_EQ(loaded.Grid.Cells[4][3].Height, 403.125);
    EXPECT_EQ(loaded.Grid.Cells[2][3].Flooded, 1);
    EXPECT_EQ(loaded.Grid.SpacingY, 20.0); // kept apart from SpacingX
    EXPECT_EQ(loaded.Grid.LeftGeo, -7.5);
    EXPECT_DOUBLE_EQ(loaded.WorldScale, (5 * 30.0 + 4 * 20.0) / 2 / 500);
    EXPECT_EQ(loaded.ShadowsOutOfDate, 1);
    EXPECT_EQ(loaded.Camera.Eye.Z, 30.0f);
    EXPECT_EQ(loaded.Fractal.FractalDepth, 3);
    // Deleted entries are gone, the others keep their order.
    ASSERT_EQ(loaded.Fractal.TerrainSurfaceCount, 4);
    EXPECT_EQ(loaded.Fractal.TerrainSurfaces[3].SurfaceName, "Scree");
    EXPECT_EQ(loaded.Fractal.TerrainSurfaces[3].ParentID, 2);
    ASSERT_EQ(loaded.Overlays.Count, 1);
    EXPECT_EQ(loaded.Overlays.Items[0].FileName, "aerial.bmp");
    EXPECT_EQ(loaded.Overlays.Items[0].IgnoreWater, 1);
    EXPECT_EQ(loaded.Actors.Items[0].Colors[15].B, 0.75f);
    EXPECT_EQ(loaded.Actors.Items[0].BrightnessVariability, 0.6);
    ASSERT_EQ(loaded.Ecology.Count, 2);
    EXPECT_EQ(loaded.Ecology.Items[1].AspectTolerance, 0.9);
    ASSERT_EQ(loaded.Clouds.Count, 2);
    EXPECT_EQ(loaded.Clouds.Items[1].YOffset, 4.5);
    ASSERT_EQ(loaded.TerrainLayers.Count, 1);
    EXPECT_EQ(loaded.TerrainLayers.Exact, 1);
    EXPECT_EQ(loaded.TerrainLayers.Items[0].Bumpiness, 3.5);
    EXPECT_EQ(loaded.TerrainLayers.Items[0].Plants[3].TreeDensity, 0.7);
    EXPECT_EQ(loaded.TerrainLayers.Items[0].LandscapeColor.A, 0.4f);
    EXPECT_EQ(loaded.TerrainLayers.Items[0].LayerType, ltVegetation);
    ASSERT_EQ(loaded.Models.Count, 1);
    EXPECT_EQ(loaded.Models.Items[0].ID, 1);
    EXPECT_EQ(loaded.Models.Items[0].Position.Z, 0.25f);
    ASSERT_EQ(loaded.TerrainPolys.Count, 1);
    EXPECT_EQ(loaded.TerrainPolys.Items[0].Points[2].X, 0.5);
    ASSERT_EQ(loaded.TerrainLines.Count, 1);
    EXPECT_EQ(loaded.TerrainLines.Items[0].Points[1].Y, 0.6);
    EXPECT_EQ(loaded.Urban.Items[0].PlanZone, 3);
    for (const auto* list : {&loaded.TerrainPolys.Items, &loaded.TerrainLines.Items})
        for (const TTerrainPoly& e : *list)
            EXPECT_EQ(e.Deleted, 0);

    // Saving what was loaded reproduces the file exactly.
    EXPECT_EQ(Encode(loaded), qxtest::ReadFileBytes(dir.file("full.qx2")));
}

TEST(ProjectFile, StreamedReadingMatchesReadingFromMemory)
{
    // Larger than one read window, delivered by a source in small uneven pieces.
    TProject big;
    ASSERT_TRUE(big.NewGrid(300, 420, 10.0, 10.0));
    for (int c = 0; c < 300; ++c)
        for (int r = 0; r < 420; ++r)
            big.Grid.Cells[c][r].Height = c * 0.5 - r;
    big.Grid.Cells[299][419].Flooded = 1;
    const Bytes file = Encode(big);
    ASSERT_GT(file.size(), 1u << 20);
    size_t at = 0, calls = 0;
    TByteReader r(
        [&](uint8_t* data, size_t size) -> size_t {
            const size_t n = std::min({size, file.size() - at, size_t(1) + calls++ % 4096});
            std::memcpy(data, file.data() + at, n);
            at += n;
            return n;
        },
        file.size(), DamagedProjectText);
    TProject streamed;
    ReadProject(r, streamed);
    EXPECT_EQ(Encode(streamed), file);
    EXPECT_EQ(r.Remaining(), 0u);

    // A source that ends early is a short file.
    at = 0;
    TByteReader cut(
        [&](uint8_t* data, size_t size) -> size_t {
            const size_t n = std::min(size, file.size() / 2 - at);
            std::memcpy(data, file.data() + at, n);
            at += n;
            return n;
        },
        file.size(), DamagedProjectText);
    TProject partial;
    EXPECT_THROW(ReadProject(cut, partial), EInvalidData);
}

class OldVersions : public ::testing::TestWithParam<int> {};

TEST_P(OldVersions, LoadWithTheDefaultsOfWhatTheyLack)
{
    const int v = GetParam();
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    TProject p;
    // Values an old file lacks must not survive from the project that was open.
    p.Urban.Items.resize(1);
    p.Urban.Count = 1;
    p.Urban.Items[0].PlanName = "previous";
    ASSERT_TRUE(LoadBytes(p, BuildOldFile(v), dir)) << (prompt.shown.empty() ? "" : prompt.shown[0]);
    EXPECT_EQ(p.Header.Version, v);
    EXPECT_EQ(p.Grid.SpacingY, 25.0);
    EXPECT_EQ(p.Grid.Cells[1][1].Height, 11.0);
    EXPECT_EQ(p.Grid.Cells[1][1].Flooded, 1);

    const TOverlayImage& o = p.Overlays.Items[0];
    EXPECT_EQ(o.TerrainLayerID, v >= 183 ? 3 : -1);
    EXPECT_EQ(o.Deleted, 0); // kept, so the next save does not drop it
    EXPECT_EQ(o.DrawFull, v >= 183 ? 1 : 0);
    EXPECT_EQ(o.Scale, v >= 183 ? 20 : 10);
    EXPECT_EQ(o.IgnoreWater, v >= 186 ? 1 : 0);

    EXPECT_EQ(p.Atmosphere.MistHeight, v >= 183 ? 0.3 : 0.7);
    EXPECT_EQ(p.Atmosphere.DecayColor.R, v >= 183 ? 0.2f : 1.0f);
    EXPECT_EQ(p.Atmosphere.Infinity, 9.5);

    EXPECT_EQ(p.Fractal.BaseTerrainBias, 40);
    EXPECT_EQ(p.Fractal.DrawNoModels, 0);
    if (v >= 184) {
        ASSERT_EQ(p.Fractal.TerrainSurfaceCount, 4);
        EXPECT_EQ(p.Fractal.TerrainSurfaceNextID, 9);
        EXPECT_EQ(p.Fractal.TerrainSurfaces[3].SurfaceID, 8);
        EXPECT_EQ(p.Fractal.TerrainSurfaces[3].Bumpiness, 11.0);
    } else {
        ASSERT_EQ(p.Fractal.TerrainSurfaces.size(), 3u);
        EXPECT_EQ(p.Fractal.TerrainSurfaceNextID, 3);
        const char* names[] = {"Below Treeline", "Intermediate", "Above Snowline"};
        for (int i = 0; i < 3; ++i) {
            const TTerrainSurface& s = p.Fractal.TerrainSurfaces[i];
            EXPECT_EQ(s.SurfaceID, i);
            EXPECT_EQ(s.SurfaceName, names[i]);
            EXPECT_EQ(s.ParentID, -1);
            const float base = 0.25f * static_cast<float>(i + 1);
            EXPECT_EQ(s.Material.PrimaryColor.R, base) << "surface " << i;
            EXPECT_EQ(s.Material.Emission, static_cast<double>(base * 30));
        }
    }
    EXPECT_EQ(p.Water.Surface.Emission, static_cast<double>(0.5f * 30));
    EXPECT_EQ(p.Water.Surface.Shininess, 7);

    const TActor& a = p.Actors.Items[0];
    EXPECT_EQ(a.FarActorSource, v > 179 ? "far.ls" : "");
    EXPECT_EQ(a.NearActorSource, v > 179 ? "near.ls" : "");
    EXPECT_EQ(a.HueVariability, v >= 187 ? 0.3 : v > 179 ? 0.2 : 0.0);

    if (v >= 186) {
        ASSERT_EQ(p.Ecology.Count, 1);
        EXPECT_EQ(p.Ecology.Items[0].TerrainLayerID, 6);
    } else {
        ASSERT_EQ(p.Ecology.Count, 4);
        for (const TEcologyRule& e : p.Ecology.Items) {
            EXPECT_EQ(e.TerrainLayerID, -1);
            EXPECT_EQ(e.Slope, 0.5);
        }
        EXPECT_EQ(p.Ecology.Items[3].TreeID, 3);
    }

    const TTerrainLayer& l = p.TerrainLayers.Items[0];
    EXPECT_EQ(p.TerrainLayers.Exact, v >= 188 ? 1 : 0);
    EXPECT_EQ(l.Name, "Houses");
    EXPECT_EQ(l.Bumpiness, v >= 185 ? 6.0 : 0.0);
    EXPECT_EQ(l.Roughness, v >= 185 ? 5.0 : 3.0); // old files: the third extra material stays
    EXPECT_EQ(l.Shininess, v >= 185 ? 8 : 9);
    EXPECT_EQ(l.Urban, v >= 181 ? 1 : 0);
    EXPECT_EQ(l.Water, v >= 182 ? 1 : 0);
    EXPECT_EQ(l.LayerType, v >= 183 ? ltUrban : ltModel); // derived: models drawn, no plants
    EXPECT_EQ(l.LineWidth, 2.5);
    EXPECT_EQ(l.Plants[3].TreeID, 3);

    EXPECT_EQ(p.Models.Items[0].Rotation, 90.0);
    EXPECT_EQ(p.TerrainLines.Items[0].Points[2].Y, 0.4);
    if (v >= 181) {
        ASSERT_EQ(p.Urban.Count, 1);
        EXPECT_EQ(p.Urban.Items[0].PlanRoofColorSource, "r.bmp");
    } else {
        EXPECT_EQ(p.Urban.Count, 0);
        EXPECT_NE(p.Urban.Items.empty() ? "" : p.Urban.Items[0].PlanName, "previous");
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, OldVersions, ::testing::Values(179, 180, 181, 182, 183, 184, 185, 186, 187, 188, 192));

// ---------------------------------------------------------------------------------------------
// Refused files: false, and the open project exactly as it was. A file of another kind or release
// (magic, compatibility, a block's tag) says E0046; one that ends early or whose counts or sizes
// cannot be right says it is damaged or incomplete.

struct BadFileCase {
    const char* name;
    Bytes (*make)();
    const char* message;
};

Bytes PutI32At(Bytes b, size_t at, int64_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF);
    return b;
}

BlockOffsets Offsets()
{
    BlockOffsets o;
    BuildOldFile(ProjectVersion, &o);
    return o;
}

Bytes Cut(size_t size)
{
    Bytes b = BuildOldFile(192);
    b.resize(std::min(size, b.size()));
    return b;
}

const BadFileCase kBadFiles[] = {
    {"wrong magic", [] { return PutI32At(BuildOldFile(192), 0, 263 | 18 << 16); }, IncompatibleProjectText},
    {"compatibility 17", [] { return PutI32At(BuildOldFile(192), 0, 262 | 17 << 16); }, IncompatibleProjectText},
    {"compatibility 17, file ends in the header", [] { return Cut(6); }, DamagedProjectText},
    {"wrong camera tag", [] {
         Bytes b = BuildOldFile(192);
         b[Offsets().camera + 2] = 170;
         return b;
     }, IncompatibleProjectText},
    {"wrong urban tag", [] {
         Bytes b = BuildOldFile(192);
         b[Offsets().urban + 2] = 176;
         return b;
     }, IncompatibleProjectText},
    {"empty", [] { return Bytes{}; }, DamagedProjectText},
    {"half a magic number", [] { return Cut(1); }, DamagedProjectText},
    {"name cut short", [] { return Cut(100); }, DamagedProjectText},
    {"header only", [] { return Cut(262); }, DamagedProjectText},
    {"cells cut short", [] { return Cut(Offsets().grid + 99 + 25); }, DamagedProjectText},
    {"ends inside the overlays", [] { return Cut(Offsets().overlays + 300); }, DamagedProjectText},
    {"ends between two blocks", [] { return Cut(Offsets().regions); }, DamagedProjectText},
    {"last byte missing", [] {
         Bytes b = BuildOldFile(192);
         b.pop_back();
         return b;
     }, DamagedProjectText},
    {"huge grid", [] { return PutI32At(PutI32At(BuildOldFile(192), Offsets().grid + 3, 60000), Offsets().grid + 7, 60000); },
     DamagedProjectText},
    {"negative grid", [] { return PutI32At(BuildOldFile(192), Offsets().grid + 3, -3); }, DamagedProjectText},
    {"huge overlay count", [] { return PutI32At(BuildOldFile(192), Offsets().overlays + 259, 0x7FFFFFFF); },
     DamagedProjectText},
    {"negative cloud count", [] { return PutI32At(BuildOldFile(192), Offsets().clouds + 279, -1); }, DamagedProjectText},
    {"huge layer count", [] { return PutI32At(BuildOldFile(192), Offsets().layers + 3, 5000000); }, DamagedProjectText},
    {"huge point count", [] { return PutI32At(BuildOldFile(192), Offsets().regions + 11 + 8, 0x10000000); },
     DamagedProjectText},
    {"huge surface count", [] { return PutI32At(BuildOldFile(192), Offsets().fractal + 41, 100000); }, DamagedProjectText},
};

TEST(ProjectFile, RefusedFilesLeaveTheOpenProjectUnchanged)
{
    qxtest::TempDir dir;
    TProject p;
    FillProject(p);
    p.ShadowsOutOfDate = 0;
    const Bytes before = Encode(p);
    const double scale = p.WorldScale;
    for (const BadFileCase& c : kBadFiles) {
        RecordingPrompt prompt;
        EXPECT_FALSE(LoadBytes(p, c.make(), dir)) << c.name;
        ASSERT_EQ(prompt.shown.size(), 1u) << c.name;
        EXPECT_EQ(prompt.shown[0], c.message) << c.name;
        EXPECT_EQ(Encode(p), before) << c.name;
        EXPECT_EQ(p.ShadowsOutOfDate, 0) << c.name;
        EXPECT_EQ(p.WorldScale, scale) << c.name;
    }
}

TEST(ProjectFile, APartOfASavedProjectSaysItIsDamagedAndKeepsTheOpenProject)
{
    // A landscape as a user saves it: large enough that its first 20,000 bytes end in the grid.
    qxtest::TempDir dir;
    TProject saved;
    FillProject(saved); // every block filled; the grid is made again, larger
    ASSERT_TRUE(saved.NewGrid(120, 90, 30.0, 30.0));
    for (int c = 0; c < 120; ++c)
        for (int r = 0; r < 90; ++r)
            saved.Grid.Cells[c][r].Height = (c * 7 + r * 3) % 250;
    ASSERT_TRUE(saved.SaveToFile(dir.file("whole.qx2")));
    const Bytes whole = qxtest::ReadFileBytes(dir.file("whole.qx2"));
    ASSERT_GT(whole.size(), 120u * 90u * 10u); // the grid alone ends far beyond the first cut

    TProject open;
    FillProject(open);
    const Bytes before = Encode(open);
    const size_t cuts[] = {20000, 4, 262, 265, whole.size() / 2, whole.size() - 1000, whole.size() - 1};
    for (size_t cut : cuts) {
        RecordingPrompt prompt;
        EXPECT_FALSE(LoadBytes(open, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)), dir)) << cut;
        ASSERT_EQ(prompt.shown.size(), 1u) << cut;
        EXPECT_EQ(prompt.shown[0], DamagedProjectText) << cut;
        EXPECT_EQ(Encode(open), before) << cut;
    }
    // The whole file still opens.
    RecordingPrompt prompt;
    EXPECT_TRUE(LoadBytes(open, whole, dir));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(Encode(open), whole);
}

TEST(ProjectFile, AWholeFileWithAGridBeyondTheLimitSaysSoWithTheLimit)
{
    // The file holds every cell it claims (sparse on disk), so it is not damaged: the message
    // names the size and the limit instead of calling the file incompatible.
    const struct {
        int32_t columns, rows;
    } cases[] = {{4097, 4097}, {70000, 2}};
    qxtest::TempDir dir;
    TProject p;
    FillProject(p);
    const Bytes before = Encode(p);
    for (const auto& c : cases) {
        const Bytes small = BuildOldFile(192);
        Bytes b = PutI32At(PutI32At(small, Offsets().grid + 3, c.columns), Offsets().grid + 7, c.rows);
        const std::string file = dir.file("big.qx2");
        qxtest::WriteFileBytes(file, b);
        std::filesystem::resize_file(file, b.size() + uint64_t(c.columns) * uint64_t(c.rows) * 10);
        RecordingPrompt prompt;
        EXPECT_FALSE(p.LoadFromFile(file)) << c.columns;
        ASSERT_EQ(prompt.shown.size(), 1u);
        const std::string expected = "This project's grid of " + std::to_string(c.columns) + " x " +
                                     std::to_string(c.rows) +
                                     " points is larger than this release of Quarlex2 can hold: at most 16777216 "
                                     "points and 65536 on a side";
        EXPECT_EQ(prompt.shown[0], expected);
        EXPECT_EQ(Encode(p), before);
        // The same descriptor in a file too short for its cells is a damaged file.
        RecordingPrompt short_;
        EXPECT_FALSE(LoadBytes(p, b, dir));
        ASSERT_EQ(short_.shown.size(), 1u);
        EXPECT_EQ(short_.shown[0], DamagedProjectText);
    }
}

// The message a file image is refused with; empty when it is read.
std::string RefusalOf(const Bytes& b, size_t size)
{
    TProject p;
    try {
        ReadProject(b.data(), size, p);
    } catch (const EInvalidData& e) {
        return e.what();
    }
    return {};
}

TEST(ProjectFile, EveryBlockChecksItsTag)
{
    const BlockOffsets o = Offsets();
    const size_t blocks[] = {o.grid,    o.camera, o.lighting, o.overlays, o.atmosphere, o.fractal, o.water, o.actors,
                             o.ecology, o.clouds, o.layers,   o.models,   o.regions,    o.lines,   o.urban};
    for (size_t at : blocks) {
        Bytes b = BuildOldFile(ProjectVersion);
        TProject p;
        ReadProject(b.data(), b.size(), p); // intact: accepted
        b[at + 2] ^= 0x40;
        EXPECT_EQ(RefusalOf(b, b.size()), IncompatibleProjectText) << "block at " << at;
        // The record word is not checked.
        b[at + 2] ^= 0x40;
        b[at] ^= 0xFF;
        TProject r;
        EXPECT_NO_THROW(ReadProject(b.data(), b.size(), r)) << "block at " << at;
    }
}

TEST(ProjectFile, EveryTruncationIsRefused)
{
    const Bytes file = BuildOldFile(ProjectVersion);
    for (size_t size = 0; size < file.size(); size += 7)
        EXPECT_EQ(RefusalOf(file, size), DamagedProjectText) << size;
}

TEST(ProjectFile, MissingFileIsReportedAndChangesNothing)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    TProject p;
    FillProject(p);
    const Bytes before = Encode(p);
    EXPECT_FALSE(p.LoadFromFile(dir.file("nothing.qx2")));
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(Encode(p), before);
}

TEST(ProjectFile, ListsAreMadeUsableForTheRenderer)
{
    // No surfaces, no clouds and an absurd depth in the file.
    Bytes b = BuildOldFile(ProjectVersion);
    const BlockOffsets o = Offsets();
    const size_t surfacesStart = o.fractal + 49;
    b.erase(b.begin() + static_cast<long>(surfacesStart), b.begin() + static_cast<long>(o.water));
    b = PutI32At(b, o.fractal + 41, 0);
    b = PutI32At(b, o.fractal + 3, 99);
    const size_t shift = o.water - surfacesStart;
    const size_t cloudsCount = o.clouds - shift + 279;
    b = PutI32At(b, cloudsCount, 0);
    b.erase(b.begin() + static_cast<long>(cloudsCount + 4), b.begin() + static_cast<long>(cloudsCount + 4 + 2 * 325));

    TProject p;
    ReadProject(b.data(), b.size(), p);
    EXPECT_EQ(p.Fractal.FractalDepth, 4);
    ASSERT_EQ(p.Fractal.TerrainSurfaces.size(), 3u);
    EXPECT_EQ(p.Fractal.TerrainSurfaceCount, 3);
    EXPECT_EQ(p.Fractal.TerrainSurfaces[2].SurfaceName, "Above Snowline");
    EXPECT_GE(p.Fractal.TerrainSurfaceNextID, 3);
    ASSERT_EQ(p.Clouds.Items.size(), 1u);
    EXPECT_EQ(p.Clouds.Count, 1);
    EXPECT_EQ(p.Clouds.Items[0].Cover, 50);

    b = PutI32At(b, o.fractal + 3, -5);
    TProject q;
    ReadProject(b.data(), b.size(), q);
    EXPECT_EQ(q.Fractal.FractalDepth, 1);
}

TEST(ProjectFile, AllOverlaysDeletedLeaveOneSpareElement)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    TProject p;
    FillProject(p);
    for (TOverlayImage& o : p.Overlays.Items)
        o.Deleted = 1;
    ASSERT_TRUE(p.SaveToFile(dir.file("a.qx2")));
    TProject q;
    ASSERT_TRUE(q.LoadFromFile(dir.file("a.qx2")));
    EXPECT_EQ(q.Overlays.Count, 0);
    EXPECT_EQ(q.Overlays.Items.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Saving

TEST(ProjectFile, FailedSaveKeepsTheOldFile)
{
    qxtest::TempDir dir;
    const std::string target = dir.file("keep.qx2");
    qxtest::WriteFileBytes(target, Bytes{'o', 'l', 'd'});
    TProject p;
    FillProject(p);

    if (::geteuid() != 0) {
        // A folder the user cannot write into.
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        RecordingPrompt prompt;
        EXPECT_FALSE(p.SaveToFile(target));
        EXPECT_EQ(prompt.shown.size(), 1u);
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
        EXPECT_EQ(qxtest::ReadFileBytes(target), (Bytes{'o', 'l', 'd'}));
    }

    // A disk that fills up in the middle of the file (a file size limit applies to root too).
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    RecordingPrompt prompt;
    const bool saved_ok = p.SaveToFile(target);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(qxtest::ReadFileBytes(target), (Bytes{'o', 'l', 'd'}));
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(ProjectFile, SaveReplacesAnExistingFileAndReportsStatus)
{
    class Sink : public IStatusSink {
    public:
        std::vector<std::string> steps;
        int busy = 0;
        void SetOperationText(const std::string& t) override { steps.push_back("op:" + t); }
        void SetStepText(const std::string& t) override { steps.push_back(t); }
        void SetProgress(int) override {}
        void SetBusyCursor(bool b) override { busy += b ? 1 : -1; }
        void ProcessMessages() override {}
    } sink;
    IStatusSink* previous = SetStatusSink(&sink);
    qxtest::TempDir dir;
    const std::string target = dir.file("over.qx2");
    qxtest::WriteFileBytes(target, Bytes(100000, 0xEE));
    TProject p;
    FillProject(p);
    const bool ok = p.SaveToFile(target);
    SetStatusSink(previous);
    ASSERT_TRUE(ok);
    EXPECT_EQ(qxtest::ReadFileBytes(target), Encode(p));
    EXPECT_EQ(sink.busy, 0);
    const std::vector<std::string> expected = {"op:Saving landscape", "Initializing", "Writing grid",
                                               "Writing environment", "Writing terrain models",
                                               "Writing terrain regions", "Writing terrain lines",
                                               "Writing urban plans", "op:", ""};
    EXPECT_EQ(sink.steps, expected);

    sink.steps.clear();
    SetStatusSink(&sink);
    TProject loaded;
    const bool loadedOk = loaded.LoadFromFile(target);
    SetStatusSink(previous);
    ASSERT_TRUE(loadedOk);
    const std::vector<std::string> reading = {"op:Loading landscape", "Initializing", "Reading grid",
                                              "Reading environment", "Reading terrain models",
                                              "Reading terrain regions", "Reading terrain lines",
                                              "Reading urban block", "op:", ""};
    EXPECT_EQ(sink.steps, reading);
    EXPECT_EQ(sink.busy, 0);
}

// ---------------------------------------------------------------------------------------------
// Side tables

TEST(ProjectFile, SideTablesAreNamedFromTheProjectPath)
{
    EXPECT_EQ(SideTableBase("/maps/valley.qx2"), "/maps/valley2");
    EXPECT_EQ(SideTableBase("a.qx2"), "a2");
    EXPECT_EQ(SideTableBase("ab"), "ab");
}

TEST(ProjectFile, LoadCreatesMissingSideTablesOnly)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    TProject p;
    ASSERT_TRUE(LoadBytes(p, BuildOldFile(192), dir, "a.qx2"));
    EXPECT_EQ(qxtest::ReadFileBytes(dir.file("a2Obj.dbf")).size(), 162u);
    EXPECT_EQ(qxtest::ReadFileBytes(dir.file("a2Coord.dbf")).size(), 34u + 32u * 8u);

    // Present tables are left alone.
    qxtest::WriteFileBytes(dir.file("a2Obj.dbf"), Bytes{'x'});
    ASSERT_TRUE(p.LoadFromFile(dir.file("a.qx2")));
    EXPECT_EQ(qxtest::ReadFileBytes(dir.file("a2Obj.dbf")), Bytes{'x'});

    // A table that cannot be created does not stop the load.
    std::filesystem::remove(dir.file("a2Obj.dbf"));
    std::filesystem::remove(dir.file("a2Coord.dbf"));
    std::filesystem::create_directory(dir.file("a2Coord.dbf"));
    TProject q;
    EXPECT_TRUE(q.LoadFromFile(dir.file("a.qx2")));
    EXPECT_EQ(q.Header.Name, "Old valley");
    EXPECT_TRUE(prompt.shown.empty());

    // Saving never creates them.
    std::filesystem::remove(dir.file("a2Obj.dbf"));
    ASSERT_TRUE(q.SaveToFile(dir.file("b.qx2")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("b2Obj.dbf")));
}

TEST(ProjectFile, RejectedFileCreatesNoSideTables)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    TProject p;
    EXPECT_FALSE(LoadBytes(p, PutI32At(BuildOldFile(192), 0, 262 | 17 << 16), dir, "a.qx2"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a2Obj.dbf")));
}

} // namespace
