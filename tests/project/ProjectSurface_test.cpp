#include "project/Project.h"
#include "project/atmos32.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

uint32_t MapValue(const TProject& p, double fx, double fy)
{
    const QRgb c = p.LayerBitmap.pixel(int(fx * 4096), int(fy * 4096));
    return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
}

TTerrainLayer& AddLayer(TProject& p, int32_t id)
{
    p.TerrainLayers.Items.resize(p.TerrainLayers.Count + 1);
    TTerrainLayer& layer = p.TerrainLayers.Items[p.TerrainLayers.Count++];
    layer = TTerrainLayer{};
    layer.ID = id;
    layer.Visible = 1;
    return layer;
}

template <typename Block>
TTerrainPoly& AddShape(Block& block, int32_t layerID, std::vector<TMapPoint> points)
{
    block.Items.resize(block.Count + 1);
    TTerrainPoly& shape = block.Items[block.Count++];
    shape.TerrainLayerID = layerID;
    shape.PointCount = int32_t(points.size());
    shape.Points = std::move(points);
    return shape;
}

std::vector<TMapPoint> Square(double x0, double y0, double x1, double y1)
{
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

TEST(LayerMap, PaintsCodesAndSkipsWhatMustNotBePainted)
{
    TProject p;
    p.TerrainLayers.Count = 0;
    p.TerrainPolys.Count = 0;
    p.TerrainLines.Count = 0;
    AddLayer(p, 3).Visible = 0;
    AddLayer(p, 7);
    AddLayer(p, 9).Edge = 1;
    AddLayer(p, 12).LineWidth = 3;
    AddShape(p.TerrainPolys, 3, Square(0.7, 0.1, 0.9, 0.3));  // hidden layer: not painted...
    AddShape(p.TerrainPolys, 7, Square(0.1, 0.1, 0.3, 0.3));  // ...but what follows is
    AddShape(p.TerrainPolys, 99, Square(0.4, 0.5, 0.6, 0.7)); // no such layer: not in 7's pen
    AddShape(p.TerrainPolys, 9, Square(0.4, 0.1, 0.6, 0.3));  // outline only
    AddShape(p.TerrainPolys, 7, Square(0.8, 0.5, 0.9, 0.7)).Deleted = 1;
    AddShape(p.TerrainLines, 12, {{0.1, 0.95}, {0.9, 0.95}});
    AddShape(p.TerrainLines, 3, {{0.1, 0.9}, {0.9, 0.9}});
    p.BuildLayerMap();
    ASSERT_FALSE(p.LayerBitmap.isNull());

    struct Case {
        double fx, fy;
        uint32_t value;
        int32_t layerIndex;
        uint8_t edge;
    };
    const Case cases[] = {
        {0.8, 0.2, 0xFFFFFF, NoLayer, 0},   // hidden layer's region
        {0.2, 0.2, 7, 1, 0},                // inside a region
        {0.5, 0.6, 0xFFFFFF, NoLayer, 0},   // region of a missing layer
        {0.4, 0.2, 0xF00009, 2, 1},         // outline of an edge region
        {0.5, 0.2, 0xFFFFFF, NoLayer, 0},   // inside it
        {0.85, 0.6, 0xFFFFFF, NoLayer, 0},  // deleted region
        {0.5, 0.95, 0xF0000C, 3, 1},        // line
        {0.5, 0.9, 0xFFFFFF, NoLayer, 0},   // line of the hidden layer
    };
    for (const Case& k : cases) {
        EXPECT_EQ(MapValue(p, k.fx, k.fy), k.value) << k.fx << "," << k.fy;
        uint8_t edge = 7;
        EXPECT_EQ(p.TerrainLayerAt(int(k.fx * 4096), int(k.fy * 4096), edge), k.layerIndex) << k.fx << "," << k.fy;
        EXPECT_EQ(edge, k.edge) << k.fx << "," << k.fy;
    }
    const int outside[][2] = {{-1, 0}, {0, -1}, {4096, 10}, {10, 4096}};
    for (const auto& xy : outside) {
        uint8_t edge = 1;
        EXPECT_EQ(p.TerrainLayerAt(xy[0], xy[1], edge), NoLayer);
        EXPECT_EQ(edge, 0);
    }
    // A painted code whose layer has gone since is no layer.
    p.TerrainLayers.Items[1].ID = 70;
    uint8_t edge = 0;
    EXPECT_EQ(p.TerrainLayerAt(int(0.2 * 4096), int(0.2 * 4096), edge), NoLayer);
}

// A 16 x 16 grid of world scale 1 (render units are grid units), heights 0 .. 100.
class Surface : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(p.NewGrid(16, 16, 31.25, 31.25));
        ASSERT_EQ(p.WorldScale, 1.0);
        p.Grid.MinHeight = 0;
        p.Grid.MaxHeight = 100;
        p.TreeLineHeight = 30;
        p.SnowLineHeight = 70;
        p.Fractal.BandEdgeFuzziness = 0;
        p.Fractal.BaseTerrainBias = 50;
        for (auto& row : p.BandNoise)
            for (float& v : row)
                v = 0.5f;
        p.BandNoiseScale = 0.5;
        for (int i = 0; i < 3; ++i)
            SetColours(p.Fractal.TerrainSurfaces[i], Colour(0.1f * (i + 1)));
    }
    static TFloatColor Colour(float v) { return {v, v / 2, v / 4, 1}; }
    static void SetColours(TTerrainSurface& s, TFloatColor c)
    {
        s.Material.PrimaryColor = c;
        s.Material.SecondaryColor = c;
    }
    TTerrainSurface& AddSurface(int32_t id, int32_t parent, double coverage)
    {
        TTerrainSurface s;
        DefaultTerrainSurface(s);
        s.SurfaceID = id;
        s.ParentID = parent;
        s.Coverage = coverage;
        SetColours(s, Colour(0.05f * id));
        p.Fractal.TerrainSurfaces.push_back(s);
        p.Fractal.TerrainSurfaceCount = int32_t(p.Fractal.TerrainSurfaces.size());
        return p.Fractal.TerrainSurfaces.back();
    }
    TTexelPoint Texel(float h, float normalY = 1, float x = 3, float z = 4)
    {
        TTexelPoint t;
        t.X = x;
        t.Y = h;
        t.Z = z;
        t.NormalY = normalY;
        return t;
    }
    // Which surface colour a texel took (by its primary colour).
    int SurfaceOf(const TTexelPoint& t)
    {
        for (size_t i = 0; i < p.Fractal.TerrainSurfaces.size(); ++i)
            if (p.Fractal.TerrainSurfaces[i].Material.PrimaryColor.R == t.Colors[0].R)
                return int(p.Fractal.TerrainSurfaces[i].SurfaceID);
        return -1;
    }
    void CoverWithLayer(int32_t id)
    {
        p.TerrainLayers.Count = 0;
        p.TerrainPolys.Count = 0;
        p.TerrainLines.Count = 0;
        AddLayer(p, id);
        AddShape(p.TerrainPolys, id, Square(-0.1, -0.1, 1.1, 1.1));
        p.BuildLayerMap();
    }
    TProject p;
};

TEST_F(Surface, BandsByHeightWithTheBoundaryInTheLowerBand)
{
    p.BuildLayerMap(); // white: no layer anywhere
    struct Case {
        float h;
        uint8_t kind;
        int surface;
    };
    const Case cases[] = {{0, 1, 0}, {30, 1, 0}, {30.5f, 2, 1}, {70, 2, 1}, {70.5f, 3, 2}, {100, 3, 2}};
    for (const Case& k : cases) {
        TTexelPoint t = Texel(k.h);
        p.SurfaceColourAt(t);
        EXPECT_EQ(t.Kind, k.kind) << k.h;
        EXPECT_EQ(SurfaceOf(t), k.surface) << k.h;
        EXPECT_EQ(t.LayerIndex, NoLayer);
        EXPECT_NEAR(t.Color.R, t.Colors[0].R, 1e-6) << k.h; // both colours alike: the mix keeps it
        EXPECT_EQ(t.Bumpiness, p.Fractal.TerrainSurfaces[k.surface].Bumpiness);
    }
}

TEST_F(Surface, FuzzyBandEdgesMoveTheBoundary)
{
    p.Fractal.BandEdgeFuzziness = 50; // A = round(100 x 50 / 500) = 10; offset round(40 v) - 10
    for (auto& row : p.BandNoise)
        for (float& v : row)
            v = 0.75f; // offset +20
    TTexelPoint t = Texel(15);
    p.SurfaceColourAt(t);
    EXPECT_EQ(t.Kind, 2); // 15 + 20 = 35 lies above the tree line
    t = Texel(95);
    p.SurfaceColourAt(t);
    EXPECT_EQ(t.Kind, 3); // clamped below the maximum, still the top band
}

TEST_F(Surface, ChoiceDownTheSurfaceTree)
{
    p.TreeLineHeight = 100; // everything in band 0
    TTerrainSurface& band0 = p.Fractal.TerrainSurfaces[0];
    band0.Coverage = 1;
    TTerrainSurface& high = AddSurface(10, 0, 100); // only above 20 % (fading in over 10 %)
    high.MinAltitude = 1;
    high.MinAltitudeValue = 20;
    high.MinAltitudeEdge = 10;
    AddSurface(11, 10, 100);                        // child of 10: wins once 10 is chosen
    AddSurface(12, 0, 0);                           // no coverage: never
    AddSurface(13, 0, 1000).Deleted = 1;            // deleted: never
    TTerrainSurface& flat = AddSurface(14, 11, 50); // child of 11, flat ground only
    flat.MaxSlope = 1;
    flat.MaxSlopeValue = 10;
    flat.MaxSlopeEdge = 0;
    flat.Coverage = 1000;

    struct Case {
        float h, normalY;
        int surface;
    };
    // Threshold = 0.5 x total weight; a candidate wins when the running total passes it.
    const Case cases[] = {
        {5, 0.5f, 0},    // 10 has weight 0 below 10 %: the band surface itself
        {15, 0.5f, 11},  // 10 fades in with 50: total 51, passes at 10; then 11 over 10
        {30, 0.5f, 11},  // steep: 14 has weight 0
        {30, 1.0f, 14},  // flat: 14 outweighs 11
    };
    for (const Case& k : cases) {
        TTexelPoint t = Texel(k.h, k.normalY);
        p.SurfaceColourAt(t);
        EXPECT_EQ(SurfaceOf(t), k.surface) << k.h << " " << k.normalY;
        EXPECT_EQ(t.Kind, 1);
    }
}

TEST_F(Surface, ParentCycleEnds)
{
    p.TreeLineHeight = 100;
    // Equal weights: each passes the choice on to the other, 0 -> 20 -> 0 -> ...
    p.Fractal.TerrainSurfaces[0].ParentID = 20;
    p.Fractal.TerrainSurfaces[0].Coverage = 100;
    AddSurface(20, 0, 100);
    AddSurface(21, 21, 100); // its own parent
    p.Fractal.TerrainSurfaces[2].SurfaceID = 21;
    for (float h : {10.0f, 50.0f}) {
        TTexelPoint t = Texel(h);
        p.SurfaceColourAt(t);
        EXPECT_EQ(t.Kind, 1);
    }
    p.TreeLineHeight = 30;
    p.SnowLineHeight = 30;
    TTexelPoint t = Texel(90);
    p.SurfaceColourAt(t);
    EXPECT_EQ(t.Kind, 3);
}

TEST_F(Surface, LayerColoursOverrideTheSurfaces)
{
    CoverWithLayer(6);
    TTerrainLayer& layer = p.TerrainLayers.Items[0];
    TTexelPoint t = Texel(10);
    p.SurfaceColourAt(t);
    EXPECT_EQ(t.LayerIndex, 0);
    EXPECT_EQ(t.LayerEdge, 0);
    EXPECT_EQ(SurfaceOf(t), 0); // OverrideDefaultColor clear: the default surfaces

    layer.OverrideDefaultColor = 1;
    layer.LayerPrimary = {0.9f, 0.8f, 0.7f, 1};
    layer.LayerSecondary = {0.9f, 0.8f, 0.7f, 1};
    layer.Bumpiness = 33;
    t = Texel(10);
    p.SurfaceColourAt(t);
    EXPECT_EQ(t.Kind, 5);
    EXPECT_EQ(t.Colors[0].R, 0.9f);
    EXPECT_EQ(t.Bumpiness, 33);
    EXPECT_NEAR(t.Color.G, 0.8f, 1e-6);

    layer.Water = 1; // water layers keep black colours for the water pass
    t = Texel(10);
    p.SurfaceColourAt(t);
    EXPECT_EQ(t.Colors[0].R, 0.0f);
    EXPECT_NE(t.Kind, 5);
}

std::shared_ptr<QImage> Picture(std::initializer_list<QRgb> pixels, int width)
{
    auto image = std::make_shared<QImage>(width, int(pixels.size()) / width, QImage::Format_RGB32);
    int i = 0;
    for (QRgb c : pixels) {
        image->setPixel(i % width, i / width, c);
        ++i;
    }
    return image;
}

TEST_F(Surface, OverlayLayerBlendsItsPictureAndKeepsTransparentPixels)
{
    CoverWithLayer(5);
    p.TerrainLayers.Items[0].LayerType = ltOverlay;
    p.TerrainLayers.Items[0].OverrideDefaultColor = 1; // an overlay layer still shows the surfaces
    p.Overlays.Count = 1;
    p.Overlays.Items.resize(1);
    TOverlayImage& overlay = p.Overlays.Items[0];
    overlay.TerrainLayerID = 5;
    overlay.DrawOverlay = 1;
    overlay.Scale = 1;
    overlay.Transparency = 0.5;
    overlay.TransparencyColor = 0x00FF00; // green
    overlay.Image = Picture({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)}, 2);

    const TFloatColor ground = Colour(0.1f);
    // u = (501 + X) x Scale: X = 1 gives column 0 (red), X = 2 column 1 (the transparent green).
    TTexelPoint t = Texel(10, 1, 1, 1);
    p.SurfaceColourAt(t);
    EXPECT_NEAR(t.Colors[0].R, 0.5 + 0.5 * ground.R, 1e-6);
    EXPECT_NEAR(t.Colors[0].G, 0.5 * ground.G, 1e-6);
    t = Texel(10, 1, 2, 1);
    p.SurfaceColourAt(t);
    EXPECT_NEAR(t.Colors[0].R, ground.R, 1e-6);
    EXPECT_NEAR(t.Colors[0].G, ground.G, 1e-6);
    EXPECT_NEAR(t.Color.G, ground.G, 1e-6);

    overlay.DrawFull = 1; // a full-layer overlay is not the layer's own picture
    t = Texel(10, 1, 1, 1);
    p.SurfaceColourAt(t);
    EXPECT_NEAR(t.Colors[0].R, ground.R, 1e-6);
}

TEST_F(Surface, FullLayerOverlayOverTheWholeMap)
{
    p.BuildLayerMap();
    p.AnyFullOverlay = 1;
    p.Overlays.Count = 1;
    p.Overlays.Items.resize(1);
    TOverlayImage& overlay = p.Overlays.Items[0];
    overlay.DrawOverlay = 1;
    overlay.DrawFull = 1;
    overlay.Transparency = 0.25;
    overlay.TransparencyMode = 0;
    overlay.TransparencyColor = 0x00FF00;
    overlay.Image = Picture({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)}, 2);
    const TFloatColor ground = Colour(0.1f);
    // Stretched over -250 .. 250: X = -250 is column 0, X = 0 column 1.
    TTexelPoint t = Texel(10, 1, -250, -250);
    p.SurfaceColourAt(t);
    EXPECT_NEAR(t.Color.R, 0.25 + 0.75 * ground.R, 1e-6);
    t = Texel(10, 1, 0, -250);
    p.SurfaceColourAt(t);
    EXPECT_NEAR(t.Color.R, ground.R, 1e-6); // transparent pixel: the ground unchanged
    EXPECT_NEAR(t.Color.G, ground.G, 1e-6);
    overlay.TransparencyMode = 1; // no colour key: every pixel counts
    t = Texel(10, 1, 0, -250);
    p.SurfaceColourAt(t);
    EXPECT_NEAR(t.Color.G, 0.25 + 0.75 * ground.G, 1e-6);
}

TEST_F(Surface, ColourMixStaysFinite)
{
    p.BuildLayerMap();
    SetColours(p.Fractal.TerrainSurfaces[0], Colour(0.2f));
    p.Fractal.TerrainSurfaces[0].Material.SecondaryColor = Colour(0.8f);
    // Normal mix: the colour is one of the two or lies on the line between them.
    for (int i = 0; i < 50; ++i) {
        TTexelPoint t = Texel(10, 1, 0.37f * i, 0.11f * i);
        t.NoiseRow = i % 33;
        t.NoiseColumn = (i * 7) % 33;
        p.SurfaceColourAt(t);
        EXPECT_NEAR(t.Color.G, t.Color.R / 2, 1e-6);
        EXPECT_TRUE(std::isfinite(t.Color.R));
    }
    // base = 1 and d = 0 would be 0 / 0; noise positions past the table would read outside it.
    p.BandNoiseScale = 1;
    for (auto& row : p.BandNoise)
        for (float& v : row)
            v = 1;
    TTexelPoint t = Texel(10);
    p.SurfaceColourAt(t);
    EXPECT_FLOAT_EQ(t.Color.R, 0.2f);
    t = Texel(10);
    t.NoiseRow = 60;
    t.NoiseColumn = -5;
    p.SurfaceColourAt(t);
    EXPECT_FLOAT_EQ(t.Color.R, 0.2f);
}

class WaterReflection : public Surface {
protected:
    void SetUp() override
    {
        Surface::SetUp();
        saved = AtmosphereParams;
        AtmosphereParams = TAtmosphereParams{};
        AtmosphereParams.SkyColour = {0.3f, 0.5f, 0.9f};
        AtmosphereParams.CloudHeight = 1e6f;
        for (int c = 0; c < 16; ++c)
            for (int r = 0; r < 16; ++r) {
                p.Grid.Cells[c][r].Height = 0;
                p.Grid.Cells[c][r].Flooded = 1;
            }
        // The camera looks down the +Z axis at the centre from 50 up, 300 back.
        p.Camera.Eye = {0, 50, -300};
    }
    void TearDown() override { AtmosphereParams = saved; }
    TAtmosphereParams saved;
};

TEST_F(WaterReflection, SkyWithoutTerrainInTheWay)
{
    TTexelPoint t = Texel(0, 1, 0, 0);
    p.WaterReflectionColour(t);
    EXPECT_EQ(t.Colors[0].B, 0.9f);
    EXPECT_EQ(t.Colors[1].B, 0.9f);
    EXPECT_EQ(t.Color.B, 0.9f);
    EXPECT_EQ(t.Color.A, 1.0f);
}

TEST_F(WaterReflection, TerrainMetByTheMirroredRay)
{
    for (int c = 0; c < 16; ++c)
        for (int r = 10; r < 16; ++r) {
            p.Grid.Cells[c][r].Height = 100;
            p.Grid.Cells[c][r].Flooded = 0;
            p.Grid.Cells[c][r].Color = {1, 0, 0};
        }
    TTexelPoint t = Texel(0, 1, 0, 0);
    p.WaterReflectionColour(t);
    EXPECT_EQ(t.Colors[0].B, 0.9f);
    EXPECT_EQ(t.Color.B, 0.9f);
    EXPECT_EQ(t.Colors[1].R, 1.0f);
    EXPECT_EQ(t.Colors[1].B, 0.0f);
    EXPECT_EQ(t.Colors[1].A, 1.0f);
}

TEST_F(WaterReflection, TexelsAtTheGridsEdgesStayInside)
{
    // Texels on the last vertex and beyond, rays leaving the grid: no reads outside the cells.
    const float edge = 250;
    const float points[][2] = {{edge - 31.25f, edge - 31.25f}, {edge, edge}, {edge + 10, 0}, {-edge, -edge}};
    for (const auto& xz : points) {
        p.Camera.Eye = {xz[0] - 100, 50, xz[1] - 100};
        TTexelPoint t = Texel(0, 1, xz[0], xz[1]);
        p.WaterReflectionColour(t);
        EXPECT_EQ(t.Color.A, 1.0f);
    }
    TProject one;
    ASSERT_TRUE(one.NewGrid(1, 1, 10, 10));
    TTexelPoint t = Texel(0);
    one.WaterReflectionColour(t);
    EXPECT_EQ(t.Colors[0].B, t.Colors[1].B);
}

} // namespace
