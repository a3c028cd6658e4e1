#include "render/FractalRendererEngine.h"

#include "platform/GLEntryPoints.h"
#include "platform/NoiseLib.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "render/GLPanel.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

class QuietStatus : public IStatusSink {
public:
    void SetOperationText(const std::string&) override {}
    void SetStepText(const std::string&) override {}
    void SetProgress(int) override {}
    void SetBusyCursor(bool) override {}
    void ProcessMessages() override {}
};

class QuietPrompt : public IPrompt {
public:
    void ShowMessage(const std::string&, TMsgIcon) override {}
    TAnswer Ask(const std::string&, const std::vector<TAnswer>& b, TMsgIcon) override { return b.empty() ? TAnswer::Ok : b[0]; }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

TFloatColor Rgb(double r, double g, double b) { return {float(r), float(g), float(b), 1}; }

int Luminance(QRgb c) { return qRed(c) + qGreen(c) + qBlue(c); }

class FractalCellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousStatus_ = SetStatusSink(&status_);
        previousPrompt_ = SetPrompt(&prompt_);
        engine.SetProject(&project);
    }
    void TearDown() override
    {
        SetStatusSink(previousStatus_);
        SetPrompt(previousPrompt_);
        delete project;
        UnloadOpenGLLibraries();
    }

    // A grid at spacing 10, world scale 1, heights from f(column, row); one colour per band, no
    // haze worth speaking of, the sun straight above, no shadows.
    void MakeGrid(int columns, int rows, const std::function<double(int, int)>& f)
    {
        delete project;
        project = new TProject();
        ASSERT_TRUE(project->NewGrid(columns, rows, 10.0, 10.0));
        project->WorldScale = 1.0;
        TGridBlock& g = project->Grid;
        g.VerticalScale = 1.0;
        double lo = 1e300, hi = -1e300;
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r) {
                g.Cells[c][r].Height = f(c, r);
                lo = std::min(lo, g.Cells[c][r].Height);
                hi = std::max(hi, g.Cells[c][r].Height);
            }
        g.MinHeight = lo;
        g.MaxHeight = hi;
        project->Fractal.FractalDepth = 1; // a small sky dome; the cells use engine.RenderDepth
        project->Fractal.BandEdgeFuzziness = 0;
        project->TreeLineHeight = lo + (hi - lo) * 0.4;
        project->SnowLineHeight = lo + (hi - lo) * 0.8;
        SetBandColours(Rgb(0.1, 0.6, 0.1), Rgb(0.5, 0.5, 0.5), Rgb(1, 1, 1));
        project->Atmosphere.Ambient = 0.3;
        project->Atmosphere.Diffuse = 0.7;
        project->Atmosphere.Distance = 100000;
        project->Atmosphere.FogDensity = 0;
        project->Atmosphere.Glowing = 0;
        project->Atmosphere.Blueing = 0;
        for (TCloud& cloud : project->Clouds.Items)
            cloud.Draw = 0;
        project->Lighting.LightAzimuth = 0;
        project->Lighting.LightAltitude = 0;
        project->Camera.Perspective = 60;
        project->Water.Surface.Roughness = 0.3;
        project->ShadowsOutOfDate = 1;
        engine.RenderDepth = 4;
    }
    // Primary and secondary colour alike, so the colour mix gives that colour exactly.
    void SetBandColours(TFloatColor low, TFloatColor middle, TFloatColor high)
    {
        const TFloatColor colours[3] = {low, middle, high};
        for (int k = 0; k < 3; ++k) {
            project->Fractal.TerrainSurfaces[k].Material.PrimaryColor = colours[k];
            project->Fractal.TerrainSurfaces[k].Material.SecondaryColor = colours[k];
        }
    }
    void Look(TVector3 eye, TVector3 target)
    {
        project->Camera.Eye = eye;
        project->Camera.Target = target;
    }
    TCellGeometry Cell(int c, int r, int level)
    {
        TCellGeometry g;
        EXPECT_TRUE(project->GetCellGeometry(c, r, g));
        g.Level = level;
        return g;
    }
    // One frame as the renderer sets it up; body draws cells; the batches are flushed after it.
    QImage Frame(int width, int height, const std::function<void()>& body)
    {
        std::string error;
        EXPECT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        TGLPanel panel;
        panel.resize(width, height);
        panel.GLObjectLoaded = true;
        bool ran = false;
        panel.OnGLDraw = [&](TGLPanel& p) {
            ran = true;
            engine.QuadCount = 0;
            engine.TexelsShaded = 0;
            engine.PrepareScene(p.width(), p.height());
            engine.SetupCamera();
            engine.SetupLights();
            engine.DrawSky();
            GL().glDisable(GL_LIGHTING);
            GL().glEnable(GL_COLOR_MATERIAL);
            body();
            engine.FlushCellBatches();
            engine.ReleaseCellTextures();
        };
        panel.Redraw();
        EXPECT_TRUE(ran);
        return panel.Picture();
    }
    // Window position of a render point, as an image pixel (y down); false when clipped.
    bool Pixel(const TVector3& point, int height, QPoint& at)
    {
        TVector3 window;
        if (!engine.ProjectPoint(point, window))
            return false;
        at = QPoint(int(window.X), height - 1 - int(window.Y));
        return true;
    }

    TProject* project = nullptr;
    TFractalRenderEngine engine;

private:
    QuietStatus status_;
    QuietPrompt prompt_;
    IStatusSink* previousStatus_ = nullptr;
    IPrompt* previousPrompt_ = nullptr;
};

// ---- Tables ------------------------------------------------------------------------------------

TEST(FractalCellTables, SubdivisionAndTextureSides)
{
    const int counts[] = {1, 3, 5, 9, 17};
    for (int level = 0; level <= 4; ++level)
        EXPECT_EQ(FractalTables::SubdivisionCount(level), counts[level]) << level;

    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double extent;
        int depth, side;
    };
    const Case cases[] = {
        {0.0, 4, 2},   {1.5, 4, 2},    {1.99, 4, 2},   {3.99, 4, 2},  {4.0, 4, 4},   {31.9, 4, 16},
        {32.0, 4, 32}, {5000.0, 4, 32}, {5000.0, 1, 2}, {0.5, 1, 2},   {5000.0, 2, 4}, {3.0, 2, 2},
        {5000.0, 3, 16}, {9.0, 3, 8},  {-7.0, 4, 2},   {nan, 4, 2},   {5000.0, 7, 32},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FractalTables::TextureSideFor(c.extent, c.depth), c.side) << c.extent << " depth " << c.depth;
}

TEST(FractalCellTables, TexelNormalTurnsAgreeWithRotateAboutAxis)
{
    const TVector3 points[] = {{0, 1, 0}, {0.3f, 0.9f, -0.2f}, {-0.7f, 0.1f, 0.7f}, {0.5f, 0.5f, 0.5f}};
    const float angles[] = {0.0f, 0.01f, -3.7f, 12.5f, 90.0f, -179.0f, 361.0f};
    for (const TVector3& p : points)
        for (float a : angles) {
            const TVector3 z = RotateAboutAxis(p, {0, 0, 1}, a), x = RotateAboutAxis(p, {1, 0, 0}, a);
            const TVector3 fz = FractalTables::RotateAboutZ(p, a), fx = FractalTables::RotateAboutX(p, a);
            EXPECT_FLOAT_EQ(fz.X, z.X) << a;
            EXPECT_FLOAT_EQ(fz.Y, z.Y) << a;
            EXPECT_FLOAT_EQ(fz.Z, z.Z) << a;
            EXPECT_FLOAT_EQ(fx.X, x.X) << a;
            EXPECT_FLOAT_EQ(fx.Y, x.Y) << a;
            EXPECT_FLOAT_EQ(fx.Z, x.Z) << a;
        }
}

// ---- Displacement ------------------------------------------------------------------------------

TEST_F(FractalCellTest, DisplacementFollowsRoughnessNoiseAndWaves)
{
    MakeGrid(8, 8, [](int, int) { return 0.0; });
    for (int c = 0; c < 8; ++c)
        for (int r = 0; r < 8; ++r)
            project->Grid.Cells[c][r].CachedRoughness = 2.5f;
    project->Fractal.RPlaneSeed = 50;
    project->Fractal.RFreqSeed = 257;
    const TCellGeometry g = Cell(3, 3, 1); // spans x, z in -10 .. 0
    engine.WaveOriginX = 100;
    engine.WaveOriginZ = -50;
    auto amplitude = [](double x, double z) { return 0.2 * std::fabs(NoiseAt(x / 100, z / 100, 50.0, 257.0) - 0.5); };

    const double points[][2] = {{-9.5, -0.5}, {-5.0, -5.0}, {-1.25, -7.75}, {-0.01, -9.99}};
    for (const auto& pt : points) {
        const double x = pt[0], z = pt[1], a = amplitude(x, z);
        ASSERT_GT(a, 0.0);
        double r = -1;
        // Land: equal corner roughness gives 0.2 x the cached value anywhere in the cell.
        EXPECT_NEAR(engine.DisplacementAt(g, x, z, false, r), 0.5 * a, 1e-6);
        EXPECT_NEAR(r, 0.5, 1e-6);

        // Water without waves: the noise term only.
        project->Water.WaveLength = 0;
        project->Water.WaveHeight = 3;
        EXPECT_EQ(engine.WaveOffset(x, z, a), 0.0);
        EXPECT_NEAR(engine.DisplacementAt(g, x, z, true, r), std::sqrt(0.3 * a), 1e-9);
        EXPECT_DOUBLE_EQ(r, 0.3);

        // Water with waves measured from the wave origin.
        project->Water.WaveLength = 5;
        const double d = std::hypot(x - 100, z + 50);
        const double s1 = std::sin(d * 500 / (5 + a / 5) * M_PI / 180);
        const double s2 = std::sin(d * 500 / ((5 + a / 50) / 10) * M_PI / 180);
        const double wave = 0.003 * (s1 - 0.25) + 0.0003 * (s2 - 0.25);
        EXPECT_NEAR(engine.WaveOffset(x, z, a), wave, 1e-12);
        EXPECT_NEAR(engine.DisplacementAt(g, x, z, true, r), std::sqrt(0.3 * a) + wave, 1e-9);
    }
}

// Damaged values never displace the surface to NaN or infinity.
TEST_F(FractalCellTest, DisplacementStaysFiniteForDamagedValues)
{
    MakeGrid(8, 8, [](int, int) { return 0.0; });
    const TCellGeometry g = Cell(3, 3, 1);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double waveLength, waterRoughness;
        float cachedRoughness;
        bool water;
    };
    const Case cases[] = {
        {"wave length next to zero", 1e-310, 0.3, 0, true},
        {"wave length NaN", nan, 0.3, 0, true},
        {"infinite wave length", std::numeric_limits<double>::infinity(), 0.3, 0, true},
        {"negative water roughness", 0, -4.0, 0, true},
        {"NaN water roughness", 0, nan, 0, true},
        {"NaN land roughness", 0, 0.3, std::numeric_limits<float>::quiet_NaN(), false},
    };
    for (const Case& c : cases) {
        project->Water.WaveLength = c.waveLength;
        project->Water.WaveHeight = 2;
        project->Water.Surface.Roughness = c.waterRoughness;
        for (int col = 0; col < 8; ++col)
            for (int row = 0; row < 8; ++row)
                project->Grid.Cells[col][row].CachedRoughness = c.cachedRoughness;
        for (double a : {0.0, 0.05, 0.1}) {
            EXPECT_TRUE(std::isfinite(engine.WaveOffset(-5, -5, a))) << c.name << " a=" << a;
            double r = 0;
            EXPECT_TRUE(std::isfinite(engine.DisplacementAt(g, -5, -5, c.water, r))) << c.name;
            EXPECT_TRUE(std::isfinite(r)) << c.name;
        }
    }
}

// ---- Drawing -----------------------------------------------------------------------------------

// A cell in full view: N x N sub-quads drawn, each with a texture of 2 .. 32 texels a side; level 0
// is the one quad; levels outside 0 .. the render depth draw nothing (also beyond the arrays).
TEST_F(FractalCellTest, SubQuadsAndTexelsPerLevel)
{
    MakeGrid(8, 8, [](int c, int r) { return (c * 3 + r * 2) % 5; });
    Look({-5, 25, 10}, {-5, 0, -5});
    struct Case {
        int renderDepth, level, quads;
        int minSide, maxSide;
    };
    const Case cases[] = {
        {4, 0, 1, 32, 32}, {4, 1, 9, 4, 32}, {4, 2, 25, 4, 32}, {4, 4, 289, 2, 8},
        {1, 1, 9, 2, 2},   {2, 2, 25, 2, 4}, {2, 3, 0, 0, 0},   {4, -1, 0, 0, 0}, {9, 9, 0, 0, 0},
    };
    for (const Case& c : cases) {
        engine.RenderDepth = c.renderDepth;
        int64_t texels = 0;
        int quads = 0;
        Frame(200, 200, [&] {
            const TCellGeometry g = Cell(3, 3, c.level);
            engine.DrawFractalCell(g, g, c.level);
            quads = engine.QuadCount;
            texels = engine.TexelsShaded;
        });
        EXPECT_EQ(quads, c.quads) << "depth " << c.renderDepth << " level " << c.level;
        EXPECT_GE(texels, int64_t(c.quads) * c.minSide * c.minSide) << c.level;
        EXPECT_LE(texels, int64_t(c.quads) * c.maxSide * c.maxSide) << c.level;
    }
}

// Only sub-quads with a corner in the view are textured and counted, by the same projection as
// OpenGL's feedback mode; a cell wholly behind the camera draws nothing at all.
TEST_F(FractalCellTest, SubQuadsOutsideTheViewAreSkipped)
{
    MakeGrid(8, 8, [](int, int) { return 0.0; });
    // Looking along -z from just above the ground at the cell's middle: part of it lies behind.
    Look({-5, 0.5, -5}, {-5, 0.4, -40});
    int quads = -1, expected = 0;
    int64_t texels = -1;
    const int level = 3, n = 9;
    Frame(160, 120, [&] {
        const TCellGeometry g = Cell(3, 3, level);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                bool any = false;
                for (const auto& d : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
                    const double u = double(i + d.first) / n, v = double(j + d.second) / n;
                    const TVector3 p{float(-10 + 10 * u), 0.0f, float(-10 + 10 * v)};
                    TVector3 window;
                    any = any || engine.ProjectPoint(p, window);
                }
                expected += any;
            }
        engine.DrawFractalCell(g, g, level);
        quads = engine.QuadCount;
    });
    EXPECT_GT(expected, 0);
    EXPECT_LT(expected, n * n);
    EXPECT_EQ(quads, expected);

    Look({-5, 5, -20}, {-5, 5, -60}); // the cell is behind the camera
    const QImage picture = Frame(160, 120, [&] {
        const TCellGeometry g = Cell(3, 3, level);
        engine.DrawFractalCell(g, g, level);
        quads = engine.QuadCount;
        texels = engine.TexelsShaded;
    });
    EXPECT_EQ(quads, 0);
    EXPECT_EQ(texels, 0);
}

// Cells that cannot reach into the view are not subdivided: the box test never calls a box outside
// when a point inside it projects, and does call boxes beside, behind and beyond the view outside.
TEST_F(FractalCellTest, BoxesOutsideTheViewHoldNoVisiblePoint)
{
    MakeGrid(8, 8, [](int, int) { return 0.0; });
    Look({0, 10, 40}, {0, 0, 0});
    struct Case {
        const char* name;
        TVector3 lo, hi;
        bool outside;
    };
    const Case cases[] = {
        {"around the target", {-5, -1, -5}, {5, 1, 5}, false},
        {"straddling the left edge", {-60, 0, -5}, {-10, 1, 5}, false},
        {"around the eye", {-1, 9, 39}, {1, 11, 41}, false},
        {"far to the left", {-500, 0, -5}, {-400, 1, 5}, true},
        {"behind the eye", {-5, 0, 60}, {5, 20, 80}, true},
        {"high above", {-5, 400, -5}, {5, 500, 5}, true},
        {"beyond the far plane", {-5, 0, -6000}, {5, 1, -5500}, true},
    };
    Frame(160, 120, [&] {
        const TPointProjector projector;
        for (const Case& c : cases) {
            EXPECT_EQ(projector.BoxOutside(c.lo, c.hi), c.outside) << c.name;
            // Sample the box: a box called outside has no point that projects.
            bool anyProjects = false;
            for (int i = 0; i <= 8; ++i)
                for (int j = 0; j <= 8; ++j)
                    for (int k = 0; k <= 8; ++k) {
                        const TVector3 p{c.lo.X + (c.hi.X - c.lo.X) * i / 8.0f, c.lo.Y + (c.hi.Y - c.lo.Y) * j / 8.0f,
                                         c.lo.Z + (c.hi.Z - c.lo.Z) * k / 8.0f};
                        TVector3 window;
                        anyProjects = anyProjects || projector.Project(p, window);
                    }
            EXPECT_EQ(anyProjects, !c.outside) << c.name;
        }
    });
}

// A cell whose corner has a damaged (NaN) height is not drawn and shades nothing.
TEST_F(FractalCellTest, CellWithoutFinitePositionsDrawsNothing)
{
    MakeGrid(8, 8, [](int, int) { return 0.0; });
    project->Grid.Cells[4][4].Height = std::numeric_limits<double>::quiet_NaN();
    Look({-5, 25, 10}, {-5, 0, -5});
    for (int level : {0, 2}) {
        int quads = -1;
        int64_t texels = -1;
        Frame(100, 100, [&] {
            const TCellGeometry g = Cell(3, 3, level);
            engine.DrawFractalCell(g, g, level);
            quads = engine.QuadCount;
            texels = engine.TexelsShaded;
        });
        EXPECT_EQ(quads, 0) << level;
        EXPECT_EQ(texels, 0) << level;
    }
}

// The texel shaded for a point of the sub-quad is drawn at that point: on a quad whose corner 2
// rises above the snow line and whose corner 1 reaches the middle band, the white lies at corner
// 2, the grey at corner 1 and the green at corners 0 and 3, both ways of drawing.
TEST_F(FractalCellTest, TexelsLandWhereTheirPointsAre)
{
    // Nearly flat, so the drawn triangles stay close to the shaded surface.
    MakeGrid(8, 8, [](int c, int r) { return (c == 4 && r == 4) ? 1.0 : (c == 4 && r == 3) ? 0.55 : 0.0; });
    Look({-5, 60, -40}, {-5, 0, -5});
    for (bool perQuad : {false, true}) {
        engine.PerQuadTextures = perQuad;
        QPoint near0, near2, near1, near3;
        const QImage picture = Frame(200, 200, [&] {
            const TCellGeometry g = Cell(3, 3, 0);
            // Points a tenth of the way in from each corner toward the centre.
            auto inward = [&](int k) {
                return TVector3{g.Corners[k].X * 0.9f + g.Centre.X * 0.1f, g.Corners[k].Y * 0.9f + g.Centre.Y * 0.1f,
                                g.Corners[k].Z * 0.9f + g.Centre.Z * 0.1f};
            };
            ASSERT_TRUE(Pixel(inward(0), 200, near0));
            ASSERT_TRUE(Pixel(inward(1), 200, near1));
            ASSERT_TRUE(Pixel(inward(2), 200, near2));
            ASSERT_TRUE(Pixel(inward(3), 200, near3));
            engine.DrawFractalCell(g, g, 0);
        });
        auto green = [](QRgb c) { return qRed(c) < 100 && qGreen(c) > 2 * qRed(c); };
        auto grey = [](QRgb c) {
            return qRed(c) > 60 && qRed(c) < 200 && std::abs(qRed(c) - qGreen(c)) < 8 && std::abs(qRed(c) - qBlue(c)) < 8;
        };
        const QRgb at0 = picture.pixel(near0), at1 = picture.pixel(near1), at2 = picture.pixel(near2),
                   at3 = picture.pixel(near3);
        EXPECT_GT(qRed(at2), 160) << perQuad; // grey stays below 128
        EXPECT_GT(qBlue(at2), 160) << perQuad;
        EXPECT_TRUE(grey(at1)) << perQuad << " " << std::hex << at1;
        EXPECT_TRUE(green(at0)) << perQuad << " " << std::hex << at0;
        EXPECT_TRUE(green(at3)) << perQuad << " " << std::hex << at3;
    }
    engine.PerQuadTextures = false;
}

// The batched drawing gives the picture of one texture upload and one fan per sub-quad, up to
// which texel a pixel on a texel boundary samples.
TEST_F(FractalCellTest, BatchedPictureMatchesOneTexturePerSubQuad)
{
    MakeGrid(10, 10, [](int c, int r) { return std::fmod(c * 7.3 + r * 4.1 + c * r * 0.7, 11.0); });
    SetBandColours(Rgb(0.1, 0.6, 0.1), Rgb(0.8, 0.3, 0.2), Rgb(1, 1, 1));
    project->Fractal.TerrainSurfaces[0].Material.SecondaryColor = Rgb(0.3, 0.2, 0.05); // dithered mix
    project->Fractal.BandEdgeFuzziness = 20;
    for (int c = 0; c < 10; ++c)
        for (int r = 0; r < 10; ++r)
            project->Grid.Cells[c][r].CachedRoughness = 4.0f;
    Look({0, 45, 45}, {0, 0, 0});
    auto draw = [&](bool perQuad) {
        engine.PerQuadTextures = perQuad;
        SetRandSeed(4711);
        return Frame(240, 180, [&] {
            int level = 0;
            for (int c = 1; c < 8; ++c)
                for (int r = 1; r < 8; ++r) {
                    const TCellGeometry g = Cell(c, r, level);
                    engine.DrawFractalCell(g, g, level);
                    level = (level + 1) % 5;
                }
        });
    };
    const QImage batched = draw(false);
    const QImage reference = draw(true);
    const QImage sky = Frame(240, 180, [] {});
    engine.PerQuadTextures = false;
    ASSERT_EQ(batched.size(), reference.size());
    ASSERT_EQ(batched.size(), sky.size());
    int differing = 0, surface = 0;
    for (int y = 0; y < batched.height(); ++y)
        for (int x = 0; x < batched.width(); ++x) {
            const QRgb a = batched.pixel(x, y), b = reference.pixel(x, y);
            surface += a != sky.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b))});
            differing += d > 6;
        }
    // The cells cover much of the picture, and nearly all of it alike.
    EXPECT_GT(surface, batched.width() * batched.height() / 4);
    EXPECT_LT(differing, surface / 50) << differing << " of " << surface;
}

// Flat ground in the shadow of a ridge is darker than flat ground in the sun: the corners' light
// factor (from the shadow pass) reaches the texels.
TEST_F(FractalCellTest, GroundBehindARidgeIsDarker)
{
    MakeGrid(14, 6, [](int c, int) { return c == 7 ? 60.0 : 0.0; });
    project->Lighting.LightAzimuth = 90; // the sun toward +x, 30 degrees above the horizon
    project->Lighting.LightAltitude = 60;
    project->Atmosphere.ShadowDepth = 0.6;
    Look({0, 140, 40}, {0, 0, 0});
    QPoint shadowed, lit;
    const QImage picture = Frame(240, 160, [&] {
        const TCellGeometry behind = Cell(3, 2, 1), sunny = Cell(10, 2, 1);
        EXPECT_LT(behind.MeanLight, 1.0);
        EXPECT_EQ(sunny.MeanLight, 1.0);
        ASSERT_TRUE(Pixel(behind.Centre, 160, shadowed));
        ASSERT_TRUE(Pixel(sunny.Centre, 160, lit));
        engine.DrawFractalCell(behind, behind, 1);
        engine.DrawFractalCell(sunny, sunny, 1);
    });
    const int dark = Luminance(picture.pixel(shadowed)), bright = Luminance(picture.pixel(lit));
    EXPECT_GT(bright, 0);
    EXPECT_LT(dark, bright * 0.85) << dark << " vs " << bright;
}

// Cells at the grid's border are lit like the cells inside: their outer edge has no neighbour
// vertex, yet its normals stay those of the flat ground.
TEST_F(FractalCellTest, BorderCellsKeepTheirNormals)
{
    MakeGrid(6, 6, [](int, int) { return 0.0; });
    Look({-25, 30, -10}, {-25, 0, -25}); // above cell (0, 0)
    for (int level : {1, 2, 4}) {
        QPoint inside[5];
        const QImage picture = Frame(200, 200, [&] {
            const TCellGeometry g = Cell(0, 0, level);
            // Near each corner and at the centre.
            for (int k = 0; k < 4; ++k) {
                const TVector3 p{g.Corners[k].X * 0.9f + g.Centre.X * 0.1f, 0.0f,
                                 g.Corners[k].Z * 0.9f + g.Centre.Z * 0.1f};
                ASSERT_TRUE(Pixel(p, 200, inside[k]));
            }
            ASSERT_TRUE(Pixel(g.Centre, 200, inside[4]));
            engine.DrawFractalCell(g, g, level);
        });
        const int centre = Luminance(picture.pixel(inside[4]));
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(Luminance(picture.pixel(inside[k])), centre, 6) << "level " << level << " corner " << k;
    }
}

// The same project and panel size give the same picture.
TEST_F(FractalCellTest, SamePictureTwice)
{
    MakeGrid(8, 8, [](int c, int r) { return std::fmod(c * 5.3 + r * 3.7, 9.0); });
    project->Fractal.TerrainSurfaces[1].Material.SecondaryColor = Rgb(0.2, 0.2, 0.6);
    project->Fractal.BandEdgeFuzziness = 30;
    for (int c = 0; c < 8; ++c)
        for (int r = 0; r < 8; ++r) {
            project->Grid.Cells[c][r].CachedRoughness = 3.0f;
            project->Grid.Cells[c][r].Flooded = (c < 2);
        }
    Look({0, 35, 35}, {0, 0, 0});
    auto draw = [&] {
        SetRandSeed(99);
        return Frame(160, 120, [&] {
            for (int c = 0; c < 7; ++c)
                for (int r = 0; r < 7; ++r) {
                    const int level = (c + r) % 4;
                    const TCellGeometry g = Cell(c, r, level);
                    engine.DrawFractalCell(g, g, level);
                }
        });
    };
    const QImage first = draw();
    const QImage second = draw();
    EXPECT_EQ(first, second);
}

} // namespace
