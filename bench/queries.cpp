// Throughput of the per-texel and per-ray queries of the fractal renderer: the texel colour with no
// layer, under a layer, under an overlay picture and down a deep surface tree; the atmosphere
// colour of a terrain ray and of sky rays through clouds at fractal depths 1 to 4; and painting the
// layer map from about 100 regions and 50 lines.
#include "project/MathUtils.h"
#include "project/Project.h"
#include "project/atmos32.h"

#include <QImage>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

template <typename F>
void Measure(const char* name, long calls, F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    volatile double sink = 0;
    double acc = 0;
    for (long i = 0; i < calls; ++i)
        acc += f(i);
    sink = acc;
    (void)sink;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-40s %10ld calls  %8.3f s  %12.0f calls/s\n", name, calls, seconds, calls / seconds);
}

// A new project as the program makes it, with a small hill so that the bands all occur.
void MakeProject(TProject& p)
{
    p.NewGrid(258, 258, 30.0, 30.0);
    p.Grid.MinHeight = 0;
    p.Grid.MaxHeight = 100;
    for (int c = 0; c < 258; ++c)
        for (int r = 0; r < 258; ++r)
            p.Grid.Cells[c][r].Height = 50 + 50 * std::sin(c * 0.05) * std::cos(r * 0.04);
    p.TreeLineHeight = p.Fractal.TreeLine;
    p.SnowLineHeight = p.Fractal.SnowLine;
    p.Fractal.BandEdgeFuzziness = 10;
}

void CoverWithLayer(TProject& p, int32_t id, int32_t type)
{
    p.TerrainLayers.Items.assign(1, TTerrainLayer{});
    p.TerrainLayers.Count = 1;
    TTerrainLayer& layer = p.TerrainLayers.Items[0];
    layer.ID = id;
    layer.Visible = 1;
    layer.LayerType = type;
    layer.OverrideDefaultColor = 1;
    layer.LayerPrimary = {0.4f, 0.5f, 0.1f, 1};
    layer.LayerSecondary = {0.3f, 0.6f, 0.1f, 1};
    p.TerrainPolys.Items.assign(1, TTerrainPoly{});
    p.TerrainPolys.Count = 1;
    p.TerrainPolys.Items[0].TerrainLayerID = id;
    p.TerrainPolys.Items[0].Points = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    p.TerrainPolys.Items[0].PointCount = 4;
    p.BuildLayerMap();
}

double TexelRun(TProject& p, long i)
{
    TTexelPoint t;
    t.X = float(-240 + (i % 4801) * 0.1);
    t.Z = float(-240 + (i / 4801 % 4801) * 0.1);
    t.Y = float((i % 997) * 0.1);
    t.NormalY = 0.8f + 0.2f * float(i % 5) / 5;
    t.NoiseRow = int(i % 33);
    t.NoiseColumn = int(i / 33 % 33);
    p.SurfaceColourAt(t);
    return t.Color.R;
}

void FillAtmosphere(const TProject& p, int depth)
{
    TAtmosphereParams& a = AtmosphereParams;
    a = TAtmosphereParams{};
    a.Ceiling = 100;
    a.Floor = 0;
    a.Distance = a.BlueDistance = 500;
    a.Infinity = 2000;
    a.Blueing = 0.8f;
    a.FogDensity = 0.3f;
    a.FogDistance = 0.7f * 500;
    a.SkyColour = {0.3f, 0.5f, 0.9f};
    a.HorizonColour = {0.8f, 0.85f, 0.9f};
    a.FogColour = {0.7f, 0.7f, 0.7f};
    a.DecayColour = {0.5f, 0.6f, 0.8f};
    a.CloudHeight = 60;
    a.CloudSize = 51;
    a.CloudDensity = 2;
    a.CloudCover = 0;
    a.CloudDraw = -1;
    a.FractalDepth = float(depth);
    a.CloudColour1 = {1, 1, 1};
    a.CloudColour2 = {0.7f, 0.7f, 0.75f};
    a.PrimaryLight = {1, 0.95f, 0.9f};
    a.Glowing = 0.3f;
    a.MistHeight = 0.5f;
    a.MinHeight = float(p.Grid.MinHeight);
    SetSunAngles(p.Lighting.LightAzimuth, p.Lighting.LightAltitude);
}

} // namespace

int main()
{
    InitRandomTables();

    TProject plain;
    MakeProject(plain);
    plain.BuildLayerMap();
    Measure("SurfaceColourAt, no layer", 2'000'000, [&](long i) { return TexelRun(plain, i); });

    TProject layered;
    MakeProject(layered);
    CoverWithLayer(layered, 3, ltSurface);
    Measure("SurfaceColourAt, a layer", 2'000'000, [&](long i) { return TexelRun(layered, i); });

    TProject overlaid;
    MakeProject(overlaid);
    CoverWithLayer(overlaid, 4, ltOverlay);
    overlaid.Overlays.Items.assign(1, TOverlayImage{});
    overlaid.Overlays.Count = 1;
    TOverlayImage& overlay = overlaid.Overlays.Items[0];
    overlay.TerrainLayerID = 4;
    overlay.DrawOverlay = 1;
    overlay.Scale = 3;
    overlay.Transparency = 0.6;
    overlay.Image = std::make_shared<QImage>(512, 512, QImage::Format_RGB32);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            overlay.Image->setPixel(x, y, qRgb(x / 2, y / 2, (x + y) / 4));
    Measure("SurfaceColourAt, an overlay", 2'000'000, [&](long i) { return TexelRun(overlaid, i); });

    TProject deep;
    MakeProject(deep);
    deep.BuildLayerMap();
    // Each band surface has a chain of eight levels, each level with two siblings.
    int32_t nextID = 3;
    for (int band = 0; band < 3; ++band) {
        int32_t parent = band;
        for (int level = 0; level < 8; ++level) {
            int32_t chainChild = -1;
            for (int k = 0; k < 3; ++k) {
                TTerrainSurface s;
                DefaultTerrainSurface(s);
                s.SurfaceID = nextID++;
                s.ParentID = parent;
                s.Coverage = k == 0 ? 100 : 5;
                s.MinSlope = k == 1;
                s.MaxAltitude = k == 2;
                deep.Fractal.TerrainSurfaces.push_back(s);
                if (k == 0)
                    chainChild = s.SurfaceID;
            }
            parent = chainChild;
        }
    }
    deep.Fractal.TerrainSurfaceCount = int32_t(deep.Fractal.TerrainSurfaces.size());
    Measure("SurfaceColourAt, deep surface tree", 500'000, [&](long i) { return TexelRun(deep, i); });

    FillAtmosphere(plain, 1);
    const TVector3 eye{0, 20, -240};
    Measure("AtmosphereColour, terrain ray", 2'000'000, [&](long i) {
        TFloatRGB c{0.2f, 0.5f, 0.1f};
        AtmosphereColour(eye, {float(-240 + i % 480), float(i % 50), float(i / 480 % 480 - 240)}, false, c);
        return c.R;
    });
    const char* skyNames[] = {"AtmosphereColour, sky + clouds, depth 1", "AtmosphereColour, sky + clouds, depth 2",
                              "AtmosphereColour, sky + clouds, depth 3", "AtmosphereColour, sky + clouds, depth 4"};
    for (int depth = 1; depth <= 4; ++depth) {
        FillAtmosphere(plain, depth);
        const long calls = 400'000 / (depth * depth);
        Measure(skyNames[depth - 1], calls, [&](long i) {
            const double a = i * 0.0123, b = 0.05 + (i % 97) * 0.015;
            TFloatRGB c = SkyBaseColour();
            AtmosphereColour(eye, {float(2000 * std::sin(a) * std::cos(b)), float(2000 * std::sin(b)),
                                   float(2000 * std::cos(a) * std::cos(b))},
                             true, c);
            return c.R;
        });
    }

    TProject map;
    MakeProject(map);
    map.TerrainLayers.Items.assign(10, TTerrainLayer{});
    map.TerrainLayers.Count = 10;
    for (int i = 0; i < 10; ++i) {
        map.TerrainLayers.Items[i].ID = i;
        map.TerrainLayers.Items[i].Visible = 1;
        map.TerrainLayers.Items[i].Edge = i % 3 == 0;
        map.TerrainLayers.Items[i].LineWidth = 1 + i % 4;
    }
    map.TerrainPolys.Items.assign(100, TTerrainPoly{});
    map.TerrainPolys.Count = 100;
    for (int i = 0; i < 100; ++i) {
        TTerrainPoly& poly = map.TerrainPolys.Items[i];
        poly.TerrainLayerID = i % 10;
        const double cx = 0.05 + 0.09 * (i % 10), cy = 0.05 + 0.09 * (i / 10);
        for (int k = 0; k < 24; ++k) {
            const double a = k * 2 * M_PI / 24, r = 0.03 + 0.015 * std::sin(k * 1.7 + i);
            poly.Points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
        poly.PointCount = int32_t(poly.Points.size());
    }
    map.TerrainLines.Items.assign(50, TTerrainLine{});
    map.TerrainLines.Count = 50;
    for (int i = 0; i < 50; ++i) {
        TTerrainLine& line = map.TerrainLines.Items[i];
        line.TerrainLayerID = i % 10;
        for (int k = 0; k < 40; ++k)
            line.Points.push_back({k / 40.0, (i + 0.5) / 50 + 0.005 * std::sin(k * 0.7)});
        line.PointCount = int32_t(line.Points.size());
    }
    Measure("BuildLayerMap, 100 regions, 50 lines", 10, [&](long) {
        map.BuildLayerMap();
        return double(map.LayerBitmap.constBits()[0]);
    });
    return 0;
}
