#include "render/SyntheticLandscape.h"

#include "project/Project.h"

#include <QDir>

#include <algorithm>
#include <cmath>

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

} // namespace

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
