#include "render/GLUrban.h"

#include "platform/GLEntryPoints.h"
#include "project/MathUtils.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "support/TestSupport.h"
#include "GLTestSupport.h"

#include <gtest/gtest.h>

#include <cfenv>

#include <cmath>
#include <functional>

namespace {

QImage Picture(int w, int h, QRgb fill)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

class UrbanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = new TProject();
        project->Atmosphere.Ambient = 1.0;
        project->Atmosphere.Diffuse = 0.0;
        plan.SetProject(&project);
        // A 2 x 2 plan repeating every 10 units; scales 1.
        plan.PlanXSize = plan.PlanYSize = 10;
        plan.HeightScale = 51; // red 255 -> 51 units
        plan.HeightPicture = Picture(2, 2, qRgb(255, 0, 0));
        plan.WallPicture = Picture(2, 2, qRgb(200, 100, 50));
        plan.RoofPicture = Picture(2, 2, qRgb(10, 20, 30));
    }
    void TearDown() override
    {
        delete project;
        UnloadOpenGLLibraries();
    }
    void WithContext(int width, int height, const std::function<void()>& body) { qxtest::WithGLContext(width, height, body); }
    static void SetR(TUrbanPlan& p, std::initializer_list<std::pair<int, double>> values)
    {
        for (double& r : p.R) r = 0.5;
        for (auto [k, v] : values) p.R[k] = v;
        p.RotationCos = 1;
        p.RotationSin = 0;
    }
    struct Bounds {
        double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9, minZ = 1e9, maxZ = -1e9;
    };
    static Bounds BoundsOf(const std::vector<TUrbanFace>& faces)
    {
        Bounds b;
        for (const TUrbanFace& f : faces)
            for (const TVector3& v : f.Points) {
                b.minX = std::min(b.minX, double(v.X)), b.maxX = std::max(b.maxX, double(v.X));
                b.minY = std::min(b.minY, double(v.Y)), b.maxY = std::max(b.maxY, double(v.Y));
                b.minZ = std::min(b.minZ, double(v.Z)), b.maxZ = std::max(b.maxZ, double(v.Z));
            }
        return b;
    }

    TProject* project = nullptr;
    TUrbanPlan plan;
};

// Area (x 2..3, z 7..8): the column comes from z (fraction 0.75 -> 1), the row from x (0.25 -> 0).
const TUrbanArea kArea{{2, 7}, {3, 8}};

TEST_F(UrbanTest, BuildingAtSamplesThePicturesUnderTheCell)
{
    struct Case {
        const char* name;
        QRgb height, wall, roof;
        bool building;
    };
    const Case cases[] = {
        {"building", qRgb(255, 0, 0), qRgb(200, 100, 50), qRgb(10, 20, 30), true},
        {"red 0 never builds", qRgb(0, 255, 255), qRgb(200, 100, 50), qRgb(10, 20, 30), false},
        {"black wall", qRgb(128, 0, 0), qRgb(0, 0, 0), qRgb(10, 20, 30), false},
        {"black roof", qRgb(128, 0, 0), qRgb(200, 100, 50), qRgb(0, 0, 0), false},
    };
    for (const Case& c : cases) {
        plan.HeightPicture = Picture(2, 2, qRgb(0, 0, 0));
        plan.HeightPicture.setPixel(1, 0, c.height); // only the pixel under the area
        plan.WallPicture = Picture(2, 2, qRgb(0, 0, 0));
        plan.WallPicture.setPixel(1, 0, c.wall);
        plan.RoofPicture = Picture(2, 2, qRgb(0, 0, 0));
        plan.RoofPicture.setPixel(1, 0, c.roof);
        double h = 0;
        TFloatRGB wall, roof;
        EXPECT_EQ(plan.BuildingAt(kArea, h, wall, roof), c.building) << c.name;
        if (c.building) {
            EXPECT_NEAR(h, 51.0, 1e-9);
            EXPECT_NEAR(wall.R, 200 / 255.0, 1e-6);
            EXPECT_NEAR(roof.B, 30 / 255.0, 1e-6);
        }
    }
    // The plan tiles the land with its period, on both sides of the origin.
    plan.HeightPicture = Picture(2, 2, qRgb(255, 0, 0));
    plan.WallPicture = Picture(2, 2, qRgb(200, 100, 50));
    plan.RoofPicture = Picture(2, 2, qRgb(10, 20, 30));
    double h = 0;
    TFloatRGB wall, roof;
    for (const TUrbanArea& a : {TUrbanArea{{12, 17}, {13, 18}}, TUrbanArea{{-2, -7}, {-3, -8}}})
        EXPECT_TRUE(plan.BuildingAt(a, h, wall, roof));
}

TEST_F(UrbanTest, UnusablePlansBuildNothingAndNeverReadOutside)
{
    double h = 0;
    TFloatRGB wall, roof;
    // Colour pictures of another size are sampled at the same place of their own size.
    plan.WallPicture = Picture(7, 3, qRgb(1, 2, 3));
    plan.RoofPicture = Picture(1, 1, qRgb(4, 5, 6));
    EXPECT_TRUE(plan.BuildingAt({{9.99, 9.99}, {9.999, 9.999}}, h, wall, roof));
    EXPECT_NEAR(roof.R, 4 / 255.0, 1e-6);
    struct Case {
        const char* name;
        std::function<void(TUrbanPlan&)> spoil;
    };
    const Case cases[] = {
        {"no size", [](TUrbanPlan& p) { p.PlanXSize = 0; }},
        {"negative size", [](TUrbanPlan& p) { p.PlanYSize = -3; }},
        {"no height picture", [](TUrbanPlan& p) { p.HeightPicture = QImage(); }},
        {"no roof picture", [](TUrbanPlan& p) { p.RoofPicture = QImage(); }},
        {"infinite scale", [](TUrbanPlan& p) { p.XScale = INFINITY; }},
    };
    for (const Case& c : cases) {
        TUrbanPlan copy;
        copy.PlanXSize = copy.PlanYSize = 10;
        copy.HeightPicture = plan.HeightPicture;
        copy.WallPicture = plan.WallPicture;
        copy.RoofPicture = plan.RoofPicture;
        c.spoil(copy);
        EXPECT_FALSE(copy.BuildingAt(kArea, h, wall, roof)) << c.name;
    }
}

TEST_F(UrbanTest, LoadedOnlyWhenAllThreePicturesLoad)
{
    qxtest::TempDir dir;
    ASSERT_TRUE(Picture(4, 4, qRgb(255, 0, 0)).save(QString::fromStdString(dir.file("h.png"))));
    ASSERT_TRUE(Picture(4, 4, qRgb(9, 9, 9)).save(QString::fromStdString(dir.file("w.png"))));
    qxtest::WriteFileText(dir.file("bad.png"), "not a picture");
    struct Case {
        const char *height, *wall, *roof;
        uint8_t loaded;
    };
    const Case cases[] = {
        {"h.png", "w.png", "w.png", 1},
        {"missing.png", "w.png", "w.png", 0}, // a height picture that fails must not count
        {"", "w.png", "w.png", 0},
        {"h.png", "bad.png", "w.png", 0},
        {"h.png", "w.png", "", 0},
    };
    for (const Case& c : cases) {
        TUrbanPlan p;
        p.HeightFile = *c.height ? dir.file(c.height) : "";
        p.WallColourFile = *c.wall ? dir.file(c.wall) : "";
        p.RoofColourFile = *c.roof ? dir.file(c.roof) : "";
        p.LoadPlanBitmaps();
        EXPECT_EQ(p.Loaded, c.loaded) << c.height << " " << c.wall << " " << c.roof;
    }
}

TEST_F(UrbanTest, ScalesFollowTheGrid)
{
    project->Grid.SpacingX = 30;
    project->Grid.SpacingY = 20;
    project->Grid.VerticalScale = 2;
    project->WorldScale = 4;
    plan.SetPlanArea(100, 50);
    plan.SetPlanHeightScale(10);
    EXPECT_FLOAT_EQ(plan.XScale, 7.5f);
    EXPECT_FLOAT_EQ(plan.YScale, 5.0f);
    EXPECT_FLOAT_EQ(plan.HeightScale, 5.0f);
    EXPECT_EQ(plan.PlanXSize, 100);
    EXPECT_EQ(plan.PlanHeight, 10);
}

TEST_F(UrbanTest, ShapesByTypeAndRandomNumbers)
{
    const double H = 10;
    const TVector3 base{0, 0, 0};
    struct Case {
        const char* name;
        int type;
        std::initializer_list<std::pair<int, double>> r;
        double top;            // highest point
        double halfX, halfZ;   // half extents of the footprint (0: not checked)
    };
    // Footprint(k, F): width (R7 50 + 50) / (100 F m) H, depth (R3 50 + 50) / (100 F 2) H.
    const Case cases[] = {
        {"house, flat roof", 0, {{3, 0.97}, {2, 0.2}}, H, 15, 9.85},
        {"house, steep roof", 0, {{3, 0.3}, {2, 0.2}}, H + 2, 15, 6.5},
        {"house, low roof", 0, {{3, 0.7}, {2, 0.5}}, H + 1, 5, 0},
        {"plain block", 1, {{13, 0.1}, {0, 0.2}}, H, 3.75, 1.875},
        {"block, m = 2", 1, {{13, 0.1}, {0, 0.9}}, H, 1.875, 1.875},
        {"round block", 1, {{13, 0.9}, {0, 0.2}}, H, 3.75, 0},
        {"block with roof", 1, {{13, 0.7}, {0, 0.2}}, H + 2, 3.75, 1.875},
        {"plain tower", 2, {{13, 0.1}, {2, 0.2}}, H, 7.5, 3.75},
        {"tower with round top", 2, {{13, 0.7}, {2, 0.2}}, H, 0.75 * 7.5, 0},
        {"two round parts", 2, {{13, 0.9}, {2, 0.2}}, H, 7.5, 0},
    };
    std::vector<TUrbanFace> faces;
    for (const Case& c : cases) {
        plan.BuildingType = c.type;
        SetR(plan, c.r);
        plan.BuildingFaces(H, base, faces);
        ASSERT_FALSE(faces.empty()) << c.name;
        const Bounds b = BoundsOf(faces);
        EXPECT_NEAR(b.maxY, c.top, 1e-4) << c.name;
        EXPECT_NEAR(b.minY, -0.1, 1e-6) << c.name;
        if (c.halfX > 0) {
            EXPECT_NEAR(b.maxX, c.halfX, 1e-3) << c.name;
        }
        if (c.halfZ > 0) {
            EXPECT_NEAR(b.maxZ, c.halfZ, 1e-3) << c.name;
        }
        // Lighting clamps N . sun: every face must face outward from the building's axis or up.
        for (const TUrbanFace& f : faces) {
            const TVector3 n = TriangleNormal(f.Points[0], f.Points[1], f.Points[2]);
            double cx = 0, cy = 0, cz = 0;
            for (const TVector3& v : f.Points) cx += v.X, cy += v.Y, cz += v.Z;
            cx /= f.Points.size(), cy /= f.Points.size(), cz /= f.Points.size();
            const bool flat = std::fabs(n.Y) > 0.999;
            if (flat) {
                EXPECT_GT(n.Y, 0) << c.name; // tops and caps face the sky
            } else {
                EXPECT_GE(n.X * cx + n.Z * cz, -1e-4) << c.name;
            }
        }
    }
    plan.BuildingType = 3;
    plan.BuildingFaces(H, base, faces);
    EXPECT_TRUE(faces.empty());
    plan.BuildingType = 0;
    plan.BuildingFaces(0, base, faces);
    EXPECT_TRUE(faces.empty());
}

TEST_F(UrbanTest, SameSeedSameBuildingAndTheGeneratorAdvancesSixteenDraws)
{
    WithContext(64, 64, [&] {
        plan.BuildingType = 1;
        plan.DrawUrbanPlan(kArea, 777, {}, {}, 1.0, 5.0);
        const std::vector<double> first(std::begin(plan.R), std::end(plan.R));
        const double rotation = plan.Rotation;
        const uint32_t after = RandSeed();
        SetRandSeed(777);
        for (int i = 0; i < 16; ++i) RandomReal();
        EXPECT_EQ(after, RandSeed());
        SetRandSeed(1);
        plan.DrawUrbanPlan(kArea, 777, {}, {}, 1.0, 5.0);
        EXPECT_EQ(first, std::vector<double>(std::begin(plan.R), std::end(plan.R)));
        EXPECT_EQ(rotation, plan.R[7] * 90.0);
        EXPECT_EQ(plan.Rotation, rotation);
        // No building under the area: nothing happens, not even the draws.
        plan.HeightPicture.fill(qRgb(0, 0, 0));
        SetRandSeed(3);
        plan.DrawUrbanPlan(kArea, 777, {}, {}, 1.0, 5.0);
        EXPECT_EQ(RandSeed(), 3u);
    });
}

TEST_F(UrbanTest, BuildingAppearsInThePictureInItsColours)
{
    WithContext(64, 64, [&] {
        const TGLEntryPoints& gl = GL();
        gl.glViewport(0, 0, 64, 64);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.glOrtho(-32, 32, -32, 32, -100, 100);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        gl.glRotatef(90, 1, 0, 0); // looking straight down: window x = world x, window y = -world z
        gl.glDisable(GL_DEPTH_TEST);
        gl.glDisable(GL_LIGHTING);
        gl.glDisable(GL_TEXTURE_2D);
        gl.glClearColor(0, 0, 0, 1);
        gl.glClear(GL_COLOR_BUFFER_BIT);
        plan.BuildingType = 2;
        plan.HeightScale = 10; // small enough to stay inside the view
        // The area's centre is (2.5, 7.5): the top of the building is drawn there in the roof colour.
        std::feraiseexcept(FE_INVALID | FE_DIVBYZERO);
        plan.DrawUrbanPlan(kArea, 12, {}, {}, 1.0, 0.0);
        EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO), 0); // the guard after each face
        gl.glFinish();
        unsigned char centre[4] = {}, corner[4] = {};
        gl.glReadPixels(32 + 2, 32 - 8, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, centre);
        gl.glReadPixels(1, 62, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
        EXPECT_NEAR(centre[0], 10, 2);
        EXPECT_NEAR(centre[1], 20, 2);
        EXPECT_NEAR(centre[2], 30, 2);
        EXPECT_EQ(corner[0] + corner[1] + corner[2], 0);
    });
}

} // namespace
