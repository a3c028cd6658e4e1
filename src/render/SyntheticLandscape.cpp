#include "render/SyntheticLandscape.h"

#include "project/Project.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

// Integer hash of a lattice point: the value noise below needs no global generator state.
double LatticeValue(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / static_cast<double>(0xFFFFFF);
}

double Smooth(double t) { return t * t * (3 - 2 * t); }

double ValueNoise(double x, double y, uint32_t seed)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    const double tx = Smooth(x - fx), ty = Smooth(y - fy);
    const double a = LatticeValue(ix, iy, seed), b = LatticeValue(ix + 1, iy, seed);
    const double c = LatticeValue(ix, iy + 1, seed), d = LatticeValue(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

// Five octaves, each half as strong and twice as fine as the one before: hills with detail.
double Fractal(double x, double y, uint32_t seed)
{
    double sum = 0, weight = 1, total = 0, scale = 1.0 / 48.0;
    for (int octave = 0; octave < 5; ++octave) {
        sum += weight * ValueNoise(x * scale, y * scale, seed + octave * 7919u);
        total += weight;
        weight *= 0.5;
        scale *= 2;
    }
    return sum / total;
}

// The kit's tree. Colour 0 is the bark, 1 to 3 the leaves ("'" steps to the next colour; a branch
// keeps the colour it started with when it ends).
const char* const kFarTree = R"(# A tree seen from far: a trunk and four leaves
1
35
14
FF'[&~][^~][+~][-~]
@
)";
const char* const kMidTree = R"(# A tree at middle distance: a few branches with leaves; two growths to choose from
3
32
10
FFA
A=["&F'~][/"&F'~][//"&F'~]"FA
A=["&F'~]["^F'~]/"FA
@
)";
const char* const kNearTree = R"(# A tree seen from near: branches with twigs and leaves of two greens
4
28
8
FFA
A=!["&FB]/["&FB]/["&FB]"FA
A=!["&FB]//["&FB]"FA
B=[+'~''~][-'~]"FB
B=[^'~]["&''~]"FB
@
)";
// Bark, three leaf greens, then greens again.
const TFloatRGB kTreeColours[4] = {{0.36f, 0.25f, 0.14f}, {0.22f, 0.50f, 0.16f}, {0.33f, 0.62f, 0.20f},
                                   {0.16f, 0.40f, 0.12f}};

bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

TFloatRGB KitColour(int n) { return n == 0 ? kTreeColours[0] : kTreeColours[1 + (n - 1) % 3]; }

// A colour as the colour file stores it: red + 256 x green + 65536 x blue.
long ColourValue(const TFloatRGB& c)
{
    const auto byte = [](float v) { return std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f); };
    return byte(c.R) + 256 * byte(c.G) + 65536 * byte(c.B);
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

} // namespace

bool WriteSyntheticPlantKit(const std::string& folder, TSyntheticPlantKit& kit)
{
    kit = {"kit_far.ls", "kit_mid.ls", "kit_near.ls", "kit_colors.ini"};
    std::string colours = "[Plant Colors]\n";
    for (int n = 0; n < 16; ++n)
        colours += "Color" + std::to_string(n) + "=" + std::to_string(ColourValue(KitColour(n))) + "\n";
    return WriteText(InFolder(folder, kit.FarFile), kFarTree) && WriteText(InFolder(folder, kit.MidFile), kMidTree) &&
           WriteText(InFolder(folder, kit.NearFile), kNearTree) && WriteText(InFolder(folder, kit.ColourFile), colours);
}

bool PlantSyntheticLandscape(TProject& project, const std::string& folder, double density, double size, double x0,
                             double y0, double x1, double y1)
{
    TSyntheticPlantKit kit;
    if (!WriteSyntheticPlantKit(folder, kit))
        return false;
    TActor tree;
    tree.ID = ++project.Actors.NextID;
    tree.Name = "Kit tree";
    tree.FarActorSource = kit.FarFile;
    tree.MidActorSource = kit.MidFile;
    tree.NearActorSource = kit.NearFile;
    for (int n = 0; n < 16; ++n)
        tree.Colors[n] = KitColour(n);
    tree.HueVariability = 0.05;
    tree.BrightnessVariability = 0.1;
    project.Actors.Directory = folder;
    project.Actors.Items.resize(std::clamp<int32_t>(project.Actors.Count, 0, int32_t(project.Actors.Items.size())));
    project.Actors.Items.push_back(tree);
    project.Actors.Count = static_cast<int32_t>(project.Actors.Items.size());

    TTerrainLayer layer;
    layer.ID = ++project.TerrainLayers.NextID;
    layer.Name = "Kit wood";
    layer.Visible = 1;
    layer.DrawPlants = 1;
    layer.Plants[0].TreeID = tree.ID;
    layer.Plants[0].TreeDensity = density;
    layer.Plants[0].TreeSize = size;
    project.TerrainLayers.Items.resize(
        std::clamp<int32_t>(project.TerrainLayers.Count, 0, int32_t(project.TerrainLayers.Items.size())));
    project.TerrainLayers.Items.push_back(layer);
    project.TerrainLayers.Count = static_cast<int32_t>(project.TerrainLayers.Items.size());

    TTerrainPoly region;
    region.ID = ++project.TerrainPolys.NextID;
    region.TerrainLayerID = layer.ID;
    region.Points = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    region.PointCount = 4;
    project.TerrainPolys.Items.resize(
        std::clamp<int32_t>(project.TerrainPolys.Count, 0, int32_t(project.TerrainPolys.Items.size())));
    project.TerrainPolys.Items.push_back(region);
    project.TerrainPolys.Count = static_cast<int32_t>(project.TerrainPolys.Items.size());
    project.Fractal.DrawNoModels = 0;
    return true;
}

std::unique_ptr<TProject> MakeSyntheticLandscape(const TSyntheticLandscapeOptions& o)
{
    auto project = std::make_unique<TProject>();
    const int n = std::max(2, o.Size);
    if (!project->NewGrid(n, n, o.Spacing, o.Spacing))
        return nullptr;
    TGridBlock& grid = project->Grid;
    double low = 1e300, high = -1e300;
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            const double h = o.Relief * Fractal(c, r, o.Seed);
            grid.Cells[c][r].Height = h;
            low = std::min(low, h);
            high = std::max(high, h);
        }
    const double water = low + (high - low) * o.LakeFraction;
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            TGridCell& cell = grid.Cells[c][r];
            if (cell.Height <= water) {
                cell.Height = water;
                cell.Flooded = 1;
            }
        }
    grid.MinHeight = water;
    grid.MaxHeight = high;
    grid.VerticalScale = 1.0;
    project->ComputeWorldScale();
    project->Header.Name = "Synthetic";

    // Stored (unscaled) units: from above the near edge across the middle of the land.
    const double half = (n - 1) * o.Spacing / 2.0;
    project->Camera.Eye = {0.0f, static_cast<float>(high + 250.0), static_cast<float>(half * 0.95)};
    project->Camera.Target = {0.0f, static_cast<float>((water + high) / 2.0), static_cast<float>(-half * 0.3)};

    const std::string folder = QDir::tempPath().toStdString();
    project->Actors.Directory = folder;
    project->Models.Directory = folder;
    project->Overlays.Directory = folder;
    project->Fractal.FractalDepth = o.FractalDepth;
    project->Fractal.PreviewMode = 0;
    project->Fractal.DrawNoModels = 1;
    return project;
}
