#include "project/Project.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A grid whose heights encode their position (h = 10 c + r), so positions can be read back.
void FillEncodedHeights(TProject& p)
{
    for (int c = 0; c < p.Grid.SizeX; ++c)
        for (int r = 0; r < p.Grid.SizeY; ++r)
            p.Grid.Cells[c][r].Height = 10.0 * c + r;
}

TEST(ProjectGeometry, NewProjectWorldSizeAndCorners)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(258, 258, 30.0, 30.0));
    const TDoublePoint size = p.GetWorldSize();
    EXPECT_NEAR(size.X, 500.0, 1e-9);
    EXPECT_NEAR(size.Y, 500.0, 1e-9);
    const double expected[4][2] = {{-250, -250}, {250, -250}, {250, 250}, {-250, 250}};
    for (uint8_t k = 0; k < 4; ++k) {
        TDoublePoint corner{};
        p.GetWorldCorner(k, corner);
        EXPECT_NEAR(corner.X, expected[k][0], 1e-9) << int(k);
        EXPECT_NEAR(corner.Y, expected[k][1], 1e-9) << int(k);
    }
    TDoublePoint untouched{7, 8};
    p.GetWorldCorner(4, untouched);
    EXPECT_EQ(untouched.X, 7);
    EXPECT_EQ(untouched.Y, 8);
}

TEST(ProjectGeometry, GridRenderRoundTrips)
{
    struct Case {
        int columns, rows;
        double sx, sy, verticalScale;
        int c, r;
    };
    const Case cases[] = {
        {258, 258, 30, 30, 1.0, 0, 0},    {258, 258, 30, 30, 1.0, 129, 129}, {258, 258, 30, 30, 1.0, 257, 3},
        {17, 9, 10, 25, 2.5, 16, 8},      {17, 9, 10, 25, 2.5, 5, 0},        {3, 101, 1.5, 0.25, 0.1, 1, 77},
    };
    for (const Case& k : cases) {
        TProject p;
        ASSERT_TRUE(p.NewGrid(k.columns, k.rows, k.sx, k.sy));
        p.Grid.VerticalScale = k.verticalScale;
        FillEncodedHeights(p);
        TVector3 n[9];
        ASSERT_TRUE(p.GetVertexNeighbourhood(k.c, k.r, n));
        const TVector3 render = n[8];
        // The render frame is centred on the grid: SizeX/2 is a real number.
        EXPECT_NEAR(render.X, (k.c - k.columns / 2.0) * k.sx / p.WorldScale, 1e-4);
        EXPECT_NEAR(render.Z, (k.r - k.rows / 2.0) * k.sy / p.WorldScale, 1e-4);
        const TVector3 grid = p.WorldToGrid(render);
        EXPECT_NEAR(grid.X, k.c, 1e-3) << k.columns << " " << k.c;
        EXPECT_NEAR(grid.Z, k.r, 1e-3) << k.rows << " " << k.r;
        EXPECT_NEAR(grid.Y, 10.0 * k.c + k.r, 1e-3);
        EXPECT_NEAR(p.HalfExtents.X, k.columns / 2.0 * k.sx / p.WorldScale, 1e-9);
        EXPECT_NEAR(p.HalfExtents.Z, k.rows / 2.0 * k.sy / p.WorldScale, 1e-9);
    }
    TProject p;
    ASSERT_TRUE(p.NewGrid(258, 258, 30.0, 30.0));
    const TVector3 centre = p.WorldToGrid({0, 0, 0});
    EXPECT_EQ(centre.X, 129.0f);
    EXPECT_EQ(centre.Z, 129.0f);
}

TEST(ProjectGeometry, StoredGeoRoundTrips)
{
    struct Geo {
        double left, top, right, bottom;
    };
    const Geo geos[] = {
        {0, 0, 7710, 7710},                    // a new grid's georeference
        {500000, 4200000, 507710, 4192290},    // projected metres, north up
        {-3.5, 52.25, -3.0, 51.75},            // degrees
    };
    const TVector3 points[] = {{-3855, 10, -3855}, {0, 0, 0}, {1234.5f, -7, -999.25f}, {3855, 100, 3855}};
    for (const Geo& g : geos) {
        TProject p;
        ASSERT_TRUE(p.NewGrid(258, 258, 30.0, 30.0));
        p.Grid.LeftGeo = g.left;
        p.Grid.TopGeo = g.top;
        p.Grid.RightGeo = g.right;
        p.Grid.BottomGeo = g.bottom;
        for (const TVector3& pt : points) {
            const TGeoPoint geo = p.WorldToGeo(pt);
            const TVector3 back = p.GeoToWorld(geo);
            EXPECT_NEAR(back.X, pt.X, 1e-3) << g.left;
            EXPECT_NEAR(back.Y, pt.Y, 1e-6);
            EXPECT_NEAR(back.Z, pt.Z, 1e-3) << g.top;
        }
        // The stored-frame edges land on the georeferenced edges.
        const TGeoPoint corner = p.WorldToGeo({-3855, 0, 3855});
        EXPECT_NEAR(corner.X, g.left, 1e-9);
        EXPECT_NEAR(corner.Z, g.bottom, 1e-6);
    }
}

TEST(ProjectGeometry, DegenerateGeoreferenceStaysFinite)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(2, 2, 10.0, 10.0));
    p.Grid.LeftGeo = p.Grid.RightGeo = 5.0;
    p.Grid.TopGeo = p.Grid.BottomGeo = 7.0;
    const TVector3 w = p.GeoToWorld({123.0, 1.0, 456.0});
    EXPECT_EQ(w.X, float(-p.Grid.MapWidth / 2));
    EXPECT_EQ(w.Z, float(-p.Grid.MapHeight / 2));
    p.Grid.MapWidth = p.Grid.MapHeight = 0;
    const TGeoPoint g = p.WorldToGeo({3, 4, 5});
    EXPECT_EQ(g.X, 5.0);
    EXPECT_EQ(g.Z, 7.0);
}

TEST(ProjectGeometry, ZeroScalesStayFinite)
{
    struct Case {
        double worldScale, verticalScale;
    };
    const Case cases[] = {{0.0, 1.0}, {1.0, 0.0}, {0.0, 0.0}};
    for (const Case& k : cases) {
        TProject p;
        ASSERT_TRUE(p.NewGrid(3, 3, 10.0, 10.0));
        p.WorldScale = k.worldScale;
        p.Grid.VerticalScale = k.verticalScale;
        p.Grid.Cells[1][1].Height = 50;
        const TVector3 grid = p.WorldToGrid({1, 2, 3});
        const TVector3 eye = p.GetCameraPosition();
        TCellGeometry g;
        ASSERT_TRUE(p.GetCellGeometry(0, 0, g));
        const float values[] = {grid.X, grid.Y, grid.Z, eye.X, g.Corners[2].Y, g.Centre.X,
                                float(g.CornerJitter[0].X), float(p.HalfExtents.X)};
        for (float v : values)
            EXPECT_TRUE(std::isfinite(v)) << k.worldScale << " " << k.verticalScale;
        TTexelPoint t;
        t.Y = 5;
        p.SurfaceColourAt(t);
        EXPECT_TRUE(std::isfinite(t.Color.R));
    }
}

TEST(ProjectGeometry, CameraInRenderAndGeoFrames)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(258, 258, 30.0, 30.0));
    p.Camera.Eye = {1548, 154.8f, -3096};
    p.Camera.Target = {-3855, 0, 3855};
    const TVector3 eye = p.GetCameraPosition(), target = p.GetCameraTarget();
    EXPECT_NEAR(eye.X, 100, 1e-4);
    EXPECT_NEAR(eye.Y, 10, 1e-4);
    EXPECT_NEAR(eye.Z, -200, 1e-4);
    EXPECT_NEAR(target.X, -3855 / 15.48, 1e-3);
    const TDoublePoint geo = p.GetTargetGeoPosition();
    EXPECT_NEAR(geo.X, 0.0, 1e-9); // -MapWidth/2 is the left edge, geographic 0 on a new grid
    EXPECT_NEAR(geo.Y, 7710.0, 1e-9);
    const TDoublePoint eyeGeo = p.GetCameraGeoPosition();
    EXPECT_NEAR(eyeGeo.X, 1548 + 3855, 1e-3);
}

TEST(ProjectGeometry, VertexNeighbourhoodAtEdges)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(5, 4, 10.0, 10.0));
    FillEncodedHeights(p);
    struct Case {
        int c, r;
        int expected[9][2]; // (column, row) of each result
    };
    const Case cases[] = {
        {2, 1, {{1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}, {2, 2}, {1, 2}, {1, 1}, {2, 1}}},
        {0, 0, {{0, 0}, {0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 1}, {0, 0}, {0, 0}}},
        {4, 3, {{3, 2}, {4, 2}, {4, 2}, {4, 3}, {4, 3}, {4, 3}, {3, 3}, {3, 3}, {4, 3}}},
    };
    for (const Case& k : cases) {
        TVector3 n[9];
        ASSERT_TRUE(p.GetVertexNeighbourhood(k.c, k.r, n));
        for (int i = 0; i < 9; ++i) {
            const TVector3 g = p.WorldToGrid(n[i]);
            EXPECT_NEAR(g.X, k.expected[i][0], 1e-4) << k.c << "," << k.r << " #" << i;
            EXPECT_NEAR(g.Z, k.expected[i][1], 1e-4) << k.c << "," << k.r << " #" << i;
            EXPECT_NEAR(g.Y, 10.0 * k.expected[i][0] + k.expected[i][1], 1e-3);
        }
    }
    TVector3 n[9];
    EXPECT_FALSE(p.GetVertexNeighbourhood(5, 0, n));
    EXPECT_FALSE(p.GetVertexNeighbourhood(0, -1, n));
}

TEST(ProjectGeometry, CellGeometryCornersAndMeans)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(4, 3, 20.0, 10.0));
    FillEncodedHeights(p);
    p.Atmosphere.ShadowDepth = 0.25;
    const int order[4][2] = {{1, 1}, {2, 1}, {2, 2}, {1, 2}};
    const float depths[4] = {-1, 7, 3, -1};
    for (int k = 0; k < 4; ++k) {
        TGridCell& cell = p.Grid.Cells[order[k][0]][order[k][1]];
        cell.Normal = {0.1f * k, 1, 0};
        cell.Flooded = k == 2;
        cell.WaterEdge = k == 3 ? 2 : 0;
        cell.InShadow = k == 1;
        cell.JitterX = 0.5f;
        cell.JitterZ = -0.25f;
        cell.ViewDepth = depths[k];
    }
    p.Grid.Cells[2][2].Height = NullHeight;

    TCellGeometry g;
    g.LandPiece = 1;
    ASSERT_TRUE(p.GetCellGeometry(1, 1, g));
    EXPECT_EQ(g.Column, 1);
    EXPECT_EQ(g.Row, 1);
    EXPECT_EQ(g.LandPiece, 0);
    EXPECT_EQ(g.HasNull, 1);
    EXPECT_EQ(g.Depth, 3.0);
    for (int k = 0; k < 4; ++k) {
        const TVector3 grid = p.WorldToGrid(g.Corners[k]);
        EXPECT_NEAR(grid.X, order[k][0], 1e-4) << k;
        EXPECT_NEAR(grid.Z, order[k][1], 1e-4) << k;
        EXPECT_FLOAT_EQ(g.CornerNormals[k].X, 0.1f * k);
        EXPECT_EQ(g.CornerFlooded[k], k == 2 ? 1 : 0);
        EXPECT_EQ(g.CornerWaterEdge[k], k == 3 ? 2 : 0);
        EXPECT_DOUBLE_EQ(g.CornerLight[k], k == 1 ? 0.75 : 1.0);
        EXPECT_NEAR(g.CornerJitter[k].X, 0.5 * 20.0 / p.WorldScale, 1e-6);
        EXPECT_NEAR(g.CornerJitter[k].Y, -0.25 * 10.0 / p.WorldScale, 1e-6);
    }
    EXPECT_NEAR(g.MeanLight, 3.75 / 4, 1e-12);
    EXPECT_NEAR(g.MeanNormal.X, 0.15, 1e-6);
    EXPECT_NEAR(g.Centre.X, (g.Corners[0].X + g.Corners[1].X) / 2, 1e-5);
    EXPECT_NEAR(g.Centre.Y, (g.Corners[0].Y + g.Corners[1].Y + g.Corners[2].Y + g.Corners[3].Y) / 4, 1e-3);

    // No corner in view: depth -1. The last column and row have no cell.
    for (int k = 0; k < 4; ++k)
        p.Grid.Cells[order[k][0]][order[k][1]].ViewDepth = -1;
    ASSERT_TRUE(p.GetCellGeometry(1, 1, g));
    EXPECT_EQ(g.Depth, -1.0);
    EXPECT_FALSE(p.GetCellGeometry(3, 0, g));
    EXPECT_FALSE(p.GetCellGeometry(0, 2, g));
    EXPECT_FALSE(p.GetCellGeometry(-1, 0, g));
}

class RoughnessFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(p.NewGrid(4, 4, 10.0, 10.0));
        sx = 10.0 / p.WorldScale;
        sz = sx;
        p.Water.Surface.Roughness = 50.0;
    }
    void SetCorners(float r0, float r1, float r2, float r3)
    {
        p.Grid.Cells[1][1].CachedRoughness = r0;
        p.Grid.Cells[2][1].CachedRoughness = r1;
        p.Grid.Cells[2][2].CachedRoughness = r2;
        p.Grid.Cells[1][2].CachedRoughness = r3;
        ASSERT_TRUE(p.GetCellGeometry(1, 1, g));
    }
    TProject p;
    TCellGeometry g;
    double sx = 0, sz = 0;
};

TEST_F(RoughnessFixture, BilinearInsideTheCell)
{
    SetCorners(10, 20, 30, 40);
    const double x0 = g.Corners[0].X, z0 = g.Corners[0].Z;
    struct Case {
        double u, v, expected;
    };
    const Case cases[] = {{0, 0, 2}, {1, 0, 4}, {1, 1, 6}, {0, 1, 8}, {0.5, 0.5, 5}, {0.25, 0, 2.5}};
    for (const Case& k : cases)
        EXPECT_NEAR(p.InterpolateRoughness(x0 + k.u * sx, z0 + k.v * sz, sx, sz, g), k.expected, 1e-5)
            << k.u << "," << k.v;
}

TEST_F(RoughnessFixture, EqualCornersShortcutOnlyForEqualCorners)
{
    SetCorners(15, 15, 15, 15);
    for (double u : {0.0, 0.3, 0.9})
        EXPECT_DOUBLE_EQ(p.InterpolateRoughness(g.Corners[0].X + u * sx, g.Corners[0].Z, sx, sz, g), 3.0);
    // Corners whose sum is four times the first are not equal: corner 1 must give its own value.
    SetCorners(1, 0, 2, 1);
    EXPECT_NEAR(p.InterpolateRoughness(g.Corners[1].X, g.Corners[1].Z, sx, sz, g), 0.0, 1e-9);
    EXPECT_NEAR(p.InterpolateRoughness(g.Corners[2].X, g.Corners[2].Z, sx, sz, g), 0.4, 1e-6);
}

TEST_F(RoughnessFixture, FloodedCornersAndNeighbours)
{
    SetCorners(10, 10, 10, 10);
    g.CornerFlooded[2] = 1;
    EXPECT_NEAR(p.InterpolateRoughness(g.Corners[2].X, g.Corners[2].Z, sx, sz, g), 10.0, 1e-5);
    EXPECT_NEAR(p.InterpolateRoughness(g.Corners[0].X, g.Corners[0].Z, sx, sz, g), 2.0, 1e-6);
    g.CornerFlooded[2] = 0;

    // A point left of the cell is taken from the cell to the left.
    p.Grid.Cells[0][1].CachedRoughness = 100;
    p.Grid.Cells[0][2].CachedRoughness = 100;
    const double x = g.Corners[0].X - 0.5 * sx;
    EXPECT_NEAR(p.InterpolateRoughness(x, g.Corners[0].Z, sx, sz, g), 0.5 * 20 + 0.5 * 2, 1e-5);
    // Zero spacing does not divide by zero.
    EXPECT_TRUE(std::isfinite(p.InterpolateRoughness(g.Corners[0].X + 0.1, g.Corners[0].Z, 0, 0, g)));
}

TEST(ProjectGeometry, RoughnessOfDegenerateGridsIsZero)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(1, 5, 10.0, 10.0));
    TCellGeometry g;
    EXPECT_FALSE(p.GetCellGeometry(0, 0, g));
    EXPECT_EQ(p.InterpolateRoughness(0, 0, 1, 1, g), 0.0);
    EXPECT_EQ(p.RoughnessAt(0, 5), 0.0f);
    EXPECT_EQ(p.RoughnessAt(-1, 0), 0.0f);
}

TEST(ProjectGeometry, RoughnessAtByBandWaterAndLayer)
{
    TProject p;
    ASSERT_TRUE(p.NewGrid(8, 8, 10.0, 10.0));
    p.Grid.MinHeight = 0;
    p.Grid.MaxHeight = 200;
    p.Fractal.TreeLine = 25;
    p.Fractal.SnowLine = 75;
    p.Fractal.TerrainSurfaces[0].Material.Roughness = 1;
    p.Fractal.TerrainSurfaces[1].Material.Roughness = 2;
    p.Fractal.TerrainSurfaces[2].Material.Roughness = 3;
    p.Water.Surface.Roughness = 9;
    struct Case {
        double height;
        uint8_t flooded;
        float expected;
    };
    // rel = h / range x 100: 50 -> 25 % (tree line itself), 51 -> band 1, 150 -> 75 %, 151 -> band 2.
    const Case cases[] = {{0, 0, 1}, {50, 0, 1}, {51, 0, 2}, {150, 0, 2}, {151, 0, 3}, {151, 1, 9}};
    for (const Case& k : cases) {
        p.Grid.Cells[2][3].Height = k.height;
        p.Grid.Cells[2][3].Flooded = k.flooded;
        EXPECT_EQ(p.RoughnessAt(2, 3), k.expected) << k.height;
    }

    // A surface layer that overrides the surface wins, also over water; an overlay layer does not.
    p.TerrainLayers.Items.resize(1);
    p.TerrainLayers.Count = 1;
    TTerrainLayer& layer = p.TerrainLayers.Items[0];
    layer.ID = 4;
    layer.Visible = 1;
    layer.OverrideDefaultSurface = 1;
    layer.Roughness = 42;
    p.TerrainPolys.Items.resize(1);
    p.TerrainPolys.Count = 1;
    p.TerrainPolys.Items[0].TerrainLayerID = 4;
    p.TerrainPolys.Items[0].Points = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    p.TerrainPolys.Items[0].PointCount = 4;
    p.BuildLayerMap();
    EXPECT_EQ(p.RoughnessAt(2, 3), 42.0f);
    layer.LayerType = ltOverlay;
    EXPECT_EQ(p.RoughnessAt(2, 3), 9.0f);

    // A surface list shorter than the bands falls back to its last surface.
    p.Grid.Cells[2][3].Flooded = 0;
    p.Fractal.TerrainSurfaceCount = 2;
    EXPECT_EQ(p.RoughnessAt(2, 3), 2.0f);
}

} // namespace
