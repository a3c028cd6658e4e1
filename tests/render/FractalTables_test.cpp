#include "render/FractalRendererEngine.h"

#include <gtest/gtest.h>

using namespace FractalTables;

TEST(FractalTables, TraversalOrderFollowsTheCameraDirection)
{
    struct Case {
        const char* name;
        TVector3 eye, target;
        TTraversalAxis outer;
        bool ascending;
    };
    const Case cases[] = {
        {"looking towards -z", {0, 5, 100}, {0, 0, 0}, TTraversalAxis::Rows, true},
        {"looking towards +z", {0, 5, -100}, {0, 0, 0}, TTraversalAxis::Rows, false},
        {"looking towards -x", {100, 5, 3}, {0, 0, 0}, TTraversalAxis::Columns, true},
        {"looking towards +x", {-100, 5, 3}, {0, 0, 0}, TTraversalAxis::Columns, false},
        {"exact diagonal is row-major", {50, 5, 50}, {0, 0, 0}, TTraversalAxis::Rows, true},
        {"exact diagonal, other side", {-50, 5, -50}, {0, 0, 0}, TTraversalAxis::Rows, false},
        {"eye above the target: rows descending", {7, 500, 9}, {7, 0, 9}, TTraversalAxis::Rows, false},
        {"mostly x with a little z", {100, 0, -99}, {0, 0, 0}, TTraversalAxis::Columns, true},
    };
    for (const Case& c : cases) {
        const TTraversalOrder order = TraversalOrderFor(c.eye, c.target);
        EXPECT_EQ(order.Outer, c.outer) << c.name;
        EXPECT_EQ(order.OuterAscending, c.ascending) << c.name;
    }
}

TEST(FractalTables, LevelForDepthRisesTowardsTheCamera)
{
    const double thresholds[6] = {0.90, 0.95, 0.97, 0.98, 0.99, 0.995};
    struct Case {
        int depth;
        double windowDepth;
        int level;
    };
    const Case cases[] = {
        // Nearer than the first threshold: the foreground gets the finest level, never level 0.
        {4, 0.50, 4}, {1, 0.50, 1}, {3, 0.90, 3},
        {4, 0.91, 4}, {4, 0.96, 4}, {4, 0.975, 3}, {4, 0.985, 2}, {4, 0.992, 1}, {4, 0.999, 0},
        {2, 0.91, 2}, {2, 0.96, 2}, {2, 0.975, 1}, {2, 0.985, 0}, {2, 0.999, 0},
        {1, 0.91, 1}, {1, 0.96, 1}, {1, 0.975, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LevelForDepth(thresholds, c.depth, c.windowDepth), c.level)
            << "depth " << c.depth << " at " << c.windowDepth;

    // Thresholds never reached stay at their sentinel: every visible depth is then foreground.
    const double unreached[6] = {0.9, 2147483647.0, 2147483647.0, 2147483647.0, 2147483647.0, 2147483647.0};
    EXPECT_EQ(LevelForDepth(unreached, 4, 0.99), 4);
    EXPECT_EQ(LevelForDepth(unreached, 4, 0.5), 4);
}

TEST(FractalTables, SubdivisionTextureSideAndDepthClamp)
{
    const int counts[] = {1, 3, 5, 9, 17};
    for (int level = 0; level <= 4; ++level)
        EXPECT_EQ(SubdivisionCount(level), counts[level]) << level;
    struct Side { double extent; int depth, side; };
    const Side sides[] = {{0.5, 4, 2}, {1.9, 4, 2}, {7.99, 4, 4}, {8, 4, 8}, {100, 4, 32}, {100, 3, 16},
                          {100, 2, 4}, {100, 1, 2}, {3, 2, 2}};
    for (const Side& s : sides)
        EXPECT_EQ(TextureSideFor(s.extent, s.depth), s.side) << s.extent << " depth " << s.depth;
    for (auto [stored, clamped] : {std::pair{-3, 1}, std::pair{0, 1}, std::pair{1, 1}, std::pair{4, 4},
                                   std::pair{5, 4}, std::pair{2147483647, 4}})
        EXPECT_EQ(ClampFractalDepth(stored), clamped) << stored;
}

namespace {
TCellGeometry Cell(const double (&heights)[4], const uint16_t (&flooded)[4], const uint16_t (&edge)[4])
{
    TCellGeometry g;
    for (int k = 0; k < 4; ++k) {
        g.Corners[k] = {static_cast<float>(k), static_cast<float>(heights[k]), static_cast<float>(-k)};
        g.CornerFlooded[k] = flooded[k];
        g.CornerWaterEdge[k] = edge[k];
    }
    return g;
}
} // namespace

TEST(FractalTables, ShoreCellsSplitOnlyWithAFloodedCorner)
{
    TCellGeometry water, land;
    // No water-edge corner: drawn whole.
    EXPECT_FALSE(SplitShoreCell(Cell({1, 2, 3, 4}, {1, 1, 0, 0}, {0, 0, 0, 0}), water, land));
    // A water-edge mark but no flooded corner (the flooded neighbour is in another cell): whole,
    // instead of pieces at a water level of 2147483647.
    EXPECT_FALSE(SplitShoreCell(Cell({1, 2, 3, 4}, {0, 0, 0, 0}, {2, 0, 0, 0}), water, land));
    // Flood values other than 1 are not water.
    EXPECT_FALSE(SplitShoreCell(Cell({1, 2, 3, 4}, {2, 0, 0, 0}, {2, 0, 0, 0}), water, land));

    const TCellGeometry shore = Cell({5, 3, 10, 8}, {1, 1, 0, 0}, {2, 2, 2, 0});
    ASSERT_TRUE(SplitShoreCell(shore, water, land));
    // Water level: the lowest flooded corner (3). Water sinks below it by a fifth of each
    // corner's distance from it; land lifts its flooded corners onto it and marks them.
    const float waterY[4] = {2.6f, 3.0f, 1.6f, 2.0f};
    const float landY[4] = {3, 3, 10, 8};
    const uint16_t landEdge[4] = {1, 1, 2, 0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(water.Corners[k].Y, waterY[k]) << k;
        EXPECT_EQ(water.CornerFlooded[k], 1) << k;
        EXPECT_FLOAT_EQ(land.Corners[k].Y, landY[k]) << k;
        EXPECT_EQ(land.CornerFlooded[k], 0) << k;
        EXPECT_EQ(land.CornerWaterEdge[k], landEdge[k]) << k;
        EXPECT_EQ(land.Corners[k].X, shore.Corners[k].X) << k;
    }
    EXPECT_EQ(land.LandPiece, 1);
    EXPECT_EQ(water.LandPiece, 0);
}

TEST(FractalTables, CompletionTextCountsFourPerQuad)
{
    EXPECT_EQ(CompletionText(0, 0.2), "Completed: 0 triangles in 0:00:00");
    EXPECT_EQ(CompletionText(30, 61.9), "Completed: 120 triangles in 0:01:01");
    EXPECT_EQ(CompletionText(2147483647, 3 * 3600 + 7), "Completed: 8589934588 triangles in 3:00:07");
}
