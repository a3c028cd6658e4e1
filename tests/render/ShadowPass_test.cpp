// The sun-shadow pass against a reference that marches every ray to the edge of the grid: the
// engine stops a rising ray once it is above the highest vertex, which must never change a result.
#include "render/RendererEngine.h"

#include "project/Messages.h"
#include "project/Project.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

class TTestEngine : public TRenderEngine {
public:
    void Render(TGLPanel&) override {}
};

// Every vertex's ray towards the sun, one cell per step, to where it leaves the grid.
std::vector<uint8_t> ReferenceShadows(const TProject& p)
{
    const TGridBlock& grid = p.Grid;
    const int sx = grid.SizeX, sy = grid.SizeY;
    const double altitude = p.Lighting.LightAltitude;
    const double az = (p.Lighting.LightAzimuth - 90.0) * M_PI / 180.0;
    const double dx = std::cos(az), dy = std::sin(az);
    const double cellLength = std::fabs(dy) * grid.SpacingY + (1.0 - std::fabs(dy)) * grid.SpacingX;
    const double rise = std::tan((90.0 - altitude) * M_PI / 180.0) * cellLength;
    const double limit = sy > sx ? sy * 1.5 * grid.SpacingY : sx * 1.5 * grid.SpacingX;
    std::vector<uint8_t> shadowed(static_cast<size_t>(sx) * sy, 0);
    for (int j = 0; j < sy; ++j)
        for (int i = 0; i < sx; ++i) {
            if (altitude == 0.0)
                continue;
            const double h0 = grid.Cells[i][j].Height;
            for (double t = 1.0; t < limit; t += 1.0) {
                const double col = std::nearbyint(dx * t + i), row = std::nearbyint(dy * t + j);
                if (!(col >= -1 && col < sx + 1 && row >= -1 && row < sy + 1))
                    break;
                const int c = static_cast<int>(std::clamp(col, 1.0, sx - 1.0));
                const int r = static_cast<int>(std::clamp(row, 1.0, sy - 1.0));
                if (h0 + t * rise < grid.Cells[c][r].Height) {
                    shadowed[static_cast<size_t>(j) * sx + i] = 1;
                    break;
                }
            }
        }
    return shadowed;
}

TEST(ShadowPass, MatchesTheFullMarch)
{
    // A tall spike (at column, row; -1: none) is the highest vertex; on the last column or row it
    // is reached only through the clamping at the edge.
    struct Terrain { const char* name; int columns, rows; double relief; int spikeColumn, spikeRow; };
    const Terrain terrains[] = {
        {"rough", 40, 31, 300.0, -1, -1},
        {"gentle with a spike inside", 37, 44, 20.0, 18, 14},
        {"gentle with a spike on the last column", 30, 26, 20.0, 29, 13},
        {"gentle with a spike on the last row", 26, 30, 20.0, 12, 29},
        {"flat", 12, 12, 0.0, -1, -1},
    };
    // Azimuths along and between the axes; altitudes from high sun to below the horizon.
    const double azimuths[] = {0, 37, 90, 135, 200, 271};
    const double altitudes[] = {0, 10, 45, 80, 89.5, 90, 100};
    std::mt19937 random(7);
    for (const Terrain& terrain : terrains) {
        TProject project;
        ASSERT_TRUE(project.NewGrid(terrain.columns, terrain.rows, 10.0, 12.0));
        std::uniform_real_distribution<double> height(0.0, terrain.relief);
        for (int c = 0; c < terrain.columns; ++c)
            for (int r = 0; r < terrain.rows; ++r)
                project.Grid.Cells[c][r].Height = height(random);
        if (terrain.spikeColumn >= 0)
            project.Grid.Cells[terrain.spikeColumn][terrain.spikeRow].Height = 500.0;
        TProject* var = &project;
        TTestEngine engine;
        engine.SetProject(&var);
        for (double azimuth : azimuths)
            for (double altitude : altitudes) {
                project.Lighting.LightAzimuth = azimuth;
                project.Lighting.LightAltitude = altitude;
                project.ShadowsOutOfDate = 1;
                engine.RaytraceShadows();
                const std::vector<uint8_t> expected = ReferenceShadows(project);
                int differing = 0, shadowed = 0;
                for (int j = 0; j < terrain.rows; ++j)
                    for (int i = 0; i < terrain.columns; ++i) {
                        const uint8_t e = expected[static_cast<size_t>(j) * terrain.columns + i];
                        differing += project.Grid.Cells[i][j].InShadow != e;
                        shadowed += e;
                    }
                EXPECT_EQ(differing, 0) << terrain.name << ", azimuth " << azimuth << ", altitude " << altitude
                                        << " (" << shadowed << " shadowed)";
            }
    }
}

} // namespace

namespace {

TEST(ShadowPass, GridsOfOneColumnOrRowHaveNoShadowsAndReadNothingOutside)
{
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {9, 1}};
    for (const auto& [columns, rows] : sizes) {
        TProject project;
        ASSERT_TRUE(project.NewGrid(columns, rows, 10.0, 10.0));
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r) {
                project.Grid.Cells[c][r].Height = 100.0 * (c + r);
                project.Grid.Cells[c][r].InShadow = 1;
            }
        TProject* var = &project;
        TTestEngine engine;
        engine.SetProject(&var);
        project.Lighting.LightAltitude = 20;
        project.ShadowsOutOfDate = 1;
        engine.RaytraceShadows();
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r)
                EXPECT_EQ(project.Grid.Cells[c][r].InShadow, 0) << columns << " x " << rows;
        EXPECT_EQ(project.ShadowsOutOfDate, 0);
    }
}

} // namespace
