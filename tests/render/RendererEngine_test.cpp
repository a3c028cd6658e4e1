#include "render/RendererEngine.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/atmos32.h"
#include "render/GLPanel.h"
#include "support/TestSupport.h"
#include "support/MessageLog.h"
#include "GLTestSupport.h"

#include <QImage>

#include <cfenv>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <stdexcept>

namespace {

class TTestEngine : public TRenderEngine {
public:
    void Render(TGLPanel&) override {}
};

using RecordingStatus = qxtest::TStatusLog;

class RecordingPrompt : public IPrompt {
public:
    std::vector<std::string> shown;
    void ShowMessage(const std::string& text, TMsgIcon) override { shown.push_back(text); }
    TAnswer Ask(const std::string&, const std::vector<TAnswer>& b, TMsgIcon) override { return b.empty() ? TAnswer::Ok : b[0]; }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousStatus_ = SetStatusSink(&status);
        previousPrompt_ = SetPrompt(&prompt);
        engine.SetProject(&project);
    }
    void TearDown() override
    {
        SetStatusSink(previousStatus_);
        SetPrompt(previousPrompt_);
        delete project;
        UnloadOpenGLLibraries();
    }
    // A grid of columns x rows at spacing 10, world scale 1, heights from f(column, row).
    void MakeGrid(int columns, int rows, const std::function<double(int, int)>& f)
    {
        delete project;
        project = new TProject();
        ASSERT_TRUE(project->NewGrid(columns, rows, 10.0, 10.0));
        project->WorldScale = 1.0;
        project->Grid.VerticalScale = 1.0;
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r)
                project->Grid.Cells[c][r].Height = f(c, r);
    }
    // Runs body with a current context drawing into a width x height panel.
    void WithContext(int width, int height, const std::function<void()>& body) { qxtest::WithGLContext(width, height, body); }
    // Ortho view where window coordinates equal x and y (0 .. size) and depth = (1 - z) / 2.
    void OrthoView(int size)
    {
        const TGLEntryPoints& gl = GL();
        gl.glViewport(0, 0, size, size);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.glOrtho(0, size, 0, size, -1, 1);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        engine.ViewRect = {0, 0, size, size};
    }
    static GLint Get(GLenum name)
    {
        GLint value = -1;
        GL().glGetIntegerv(name, &value);
        return value;
    }

    RecordingStatus status;
    RecordingPrompt prompt;
    TProject* project = nullptr;
    TTestEngine engine;
    IStatusSink* previousStatus_ = nullptr;
    IPrompt* previousPrompt_ = nullptr;
};

// ---- Normals -----------------------------------------------------------------------------------

TEST_F(EngineTest, NormalsOfPlanesAndARidge)
{
    const float slope = static_cast<float>(1 / std::sqrt(1.25)); // unit normal of a rise of 5 per 10
    struct Case {
        const char* name;
        std::function<double(int, int)> height;
        int column, row;
        TVector3 expected;
    };
    const Case cases[] = {
        {"flat", [](int, int) { return 3.0; }, 4, 3, {0, 1, 0}},
        {"flat corner", [](int, int) { return 3.0; }, 0, 0, {0, 1, 0}},
        {"tilted", [](int c, int) { return 5.0 * c; }, 4, 3, {-0.5f * slope, slope, 0}},
        {"tilted border", [](int c, int) { return 5.0 * c; }, 8, 6, {-0.5f * slope, slope, 0}},
        {"tilted rows", [](int, int r) { return -5.0 * r; }, 3, 0, {0, slope, 0.5f * slope}},
        // On the crest the two slopes cancel sideways; the mean keeps the shorter length.
        {"ridge crest", [](int c, int) { return -5.0 * std::abs(c - 4); }, 4, 3, {0, slope, 0}},
        {"ridge flank", [](int c, int) { return -5.0 * std::abs(c - 4); }, 6, 3, {0.5f * slope, slope, 0}},
    };
    for (const Case& c : cases) {
        MakeGrid(9, 7, c.height);
        engine.CalculateNormals();
        const TVector3 n = project->Grid.Cells[c.column][c.row].Normal;
        EXPECT_NEAR(n.X, c.expected.X, 1e-5) << c.name;
        EXPECT_NEAR(n.Y, c.expected.Y, 1e-5) << c.name;
        EXPECT_NEAR(n.Z, c.expected.Z, 1e-5) << c.name;
    }
    MakeGrid(9, 7, [](int c, int) { return c < 4 ? 0.0 : 5.0 * (c - 4); }); // flat, then rising
    engine.CalculateNormals();
    EXPECT_NEAR(project->Grid.MaxNormalY, 1.0, 1e-6);
    EXPECT_NEAR(project->Grid.MinNormalY, slope, 1e-6);
}

TEST_F(EngineTest, NarrowGridsOnlyCopyBorders)
{
    for (auto [columns, rows] : {std::pair{2, 5}, std::pair{5, 2}, std::pair{1, 4}, std::pair{4, 1}, std::pair{1, 1}}) {
        MakeGrid(columns, rows, [](int c, int r) { return 7.0 * c + 3.0 * r; });
        engine.CalculateNormals(); // no interior point; must stay within the grid
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r)
                EXPECT_EQ(project->Grid.Cells[c][r].Normal.Y, 1.0f) << columns << "x" << rows;
    }
}

// ---- Shadows -----------------------------------------------------------------------------------

// 12 x 3 grid at spacing 10, a wall of height 35 across column 8.
TEST_F(EngineTest, ShadowsBehindAStep)
{
    struct Case { double azimuth, altitude; std::set<int> shadowed; };
    const Case cases[] = {
        {90, 45, {5, 6, 7}},           // sun towards +column at 45 degrees from the vertical
        {270, 45, {9, 10, 11}},        // the other side
        {90, 60, {2, 3, 4, 5, 6, 7}},  // lower sun, longer shadow (rise tan 30 x 10 per step)
        {90, 0, {}},                   // sun straight above: nothing is shadowed
    };
    for (const Case& c : cases) {
        MakeGrid(12, 3, [](int col, int) { return col == 8 ? 35.0 : 0.0; });
        project->Lighting.LightAzimuth = c.azimuth;
        project->Lighting.LightAltitude = c.altitude;
        project->ShadowsOutOfDate = 1;
        status.pumps = 0;
        engine.RaytraceShadows();
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 12; ++col)
                EXPECT_EQ(project->Grid.Cells[col][row].InShadow, c.shadowed.count(col) ? 1 : 0)
                    << "azimuth " << c.azimuth << " altitude " << c.altitude << " column " << col << " row " << row;
        EXPECT_EQ(project->ShadowsOutOfDate, 0);
        if (c.altitude == 0) {
            EXPECT_EQ(status.pumps, 2); // the two status texts only: no pump per point
        }
    }
}

TEST_F(EngineTest, ShadowsRunOnlyWhenOutOfDateAndAnAbortedPassStaysOutOfDate)
{
    MakeGrid(12, 3, [](int col, int) { return col == 8 ? 35.0 : 0.0; });
    project->Lighting.LightAzimuth = 90;
    project->Lighting.LightAltitude = 45;
    project->ShadowsOutOfDate = 0;
    project->Grid.Cells[0][0].InShadow = 1;
    engine.RaytraceShadows();
    EXPECT_EQ(project->Grid.Cells[0][0].InShadow, 1); // up to date: untouched

    project->ShadowsOutOfDate = 1;
    status.onPump = [&] { engine.Aborted = 1; };
    engine.RaytraceShadows();
    EXPECT_EQ(project->ShadowsOutOfDate, 1);
    status.onPump = nullptr;
    engine.Aborted = 0;
    engine.RaytraceShadows();
    EXPECT_EQ(project->ShadowsOutOfDate, 0);
    EXPECT_EQ(project->Grid.Cells[0][0].InShadow, 0);
    EXPECT_EQ(project->Grid.Cells[6][1].InShadow, 1);
}

// ---- Pure tables -------------------------------------------------------------------------------

TEST(EngineTables, DomeResolutionByFractalDepth)
{
    struct Case { int depth, segments, bands; };
    for (const Case& c : {Case{1, 204, 204}, Case{2, 404, 404}, Case{3, 804, 604}, Case{4, 1004, 1004},
                          Case{5, 708, 708}, Case{0, 203, 203}, Case{6, 809, 809}}) {
        int segments = 0, bands = 0;
        TRenderEngine::DomeResolution(c.depth, segments, bands);
        EXPECT_EQ(segments, c.segments) << c.depth;
        EXPECT_EQ(bands, c.bands) << c.depth;
    }
    // A damaged depth still gives a bounded, positive dome.
    for (int depth : {-2147483647 - 1, 2147483647, -5}) {
        int segments = 0, bands = 0;
        TRenderEngine::DomeResolution(depth, segments, bands);
        EXPECT_GT(segments, 0) << depth;
        EXPECT_LE(segments, 20000) << depth;
    }
}

TEST(EngineTables, TextureSideChoice)
{
    struct Case { int width, height; bool resize; int side; };
    for (const Case& c : {Case{700, 400, true, 1024}, Case{600, 400, true, 512}, Case{700, 400, false, 512},
                          Case{2000, 2000, false, 512}, Case{512, 511, true, 512}, Case{512, 512, true, 512} /* 512.5 rounds to even */,
                          Case{513, 512, true, 1024}})
        EXPECT_EQ(TRenderEngine::TextureSide(c.width, c.height, c.resize), c.side)
            << c.width << "x" << c.height << " " << c.resize;
}

// ---- Shading -----------------------------------------------------------------------------------

TEST_F(EngineTest, DiffuseAndPointShading)
{
    MakeGrid(3, 3, [](int, int) { return 0.0; });
    project->Atmosphere.Ambient = 0.2;
    project->Atmosphere.Diffuse = 0.6;
    project->Lighting.SunVector = {0, 1, 0};
    project->Lighting.LightAzimuth = 90;
    project->Lighting.LightAltitude = 90; // horizon sun, used when an extra angle is asked
    const TFloatRGB colour{0.5f, 0.25f, 1.0f};
    struct Case { TVector3 normal; double extra, self, light, factor; };
    const Case cases[] = {
        {{0, 1, 0}, 0, 0, 1, 0.8},       // facing the sun
        {{0, -1, 0}, 0, 0.1, 1, 0.2},    // away: ambient and self light only
        {{0, 1, 0}, 0, 0, 0.5, 0.5},     // light factor halves the direct light
        {{1, 0, 0}, 0, 0, 1, 0.2},       // sideways to a sun above
        {{0, 0, 1}, 90, 0, 1, 0.8},      // extra 90 turns the horizon sun from +x to +z... 
    };
    for (const Case& c : cases) {
        TFloatRGB out;
        engine.ShadeDiffuse(colour, {}, c.normal, c.extra, c.self, c.light, out);
        EXPECT_NEAR(out.R, 0.5 * (c.self + c.factor), 1e-5);
        EXPECT_NEAR(out.B, 1.0 * (c.self + c.factor), 1e-5);
    }
    // Water facing the camera shows the reflection; seen edge-on from behind it keeps its own colour.
    project->Camera.Eye = {0, 100, 0};
    const TFloatRGB reflect{0.1f, 0.9f, 0.3f};
    TFloatRGB out;
    engine.ShadePoint(colour, reflect, {0, 0, 0}, {0, 1, 0}, 0, 0, 0, 0, 1, out);
    EXPECT_NEAR(out.G, reflect.G, 1e-6);
    engine.ShadePoint(colour, reflect, {0, 0, 0}, {0, -1, 0}, 0, 0, 0, 0, 1, out);
    const double t = std::exp(-8.0);
    EXPECT_NEAR(out.G, t * reflect.G + (1 - t) * 0.25 * 0.2, 1e-6);
}

TEST_F(EngineTest, PointColoursAreShadedHazedAndClamped)
{
    MakeGrid(3, 3, [](int, int) { return 0.0; });
    project->Atmosphere.Ambient = 0.9;
    project->Atmosphere.Diffuse = 0.6;
    project->Lighting.SunVector = {0, 1, 0};
    project->Camera.Eye = {10, 20, 30};
    const TVector3 atEye = project->GetCameraPosition(); // a ray of length 0 adds no haze
    const TFloatRGB colour{0.5f, 1.0f, 0.0f};
    struct Case { bool lit; TFloatRGB expected; };
    for (const Case& c : {Case{true, {0.75f, 1.0f, 0.0f}}, Case{false, {0.5f, 1.0f, 0.0f}}}) {
        TFloatRGB out;
        engine.PointColour(c.lit, colour, atEye, {0, 1, 0}, 0, 0, 1, out);
        EXPECT_NEAR(out.R, c.expected.R, 1e-6) << c.lit;
        EXPECT_NEAR(out.G, c.expected.G, 1e-6) << c.lit; // 1.5 before clamping
        EXPECT_EQ(out.B, 0.0f);
        EXPECT_EQ(engine.CurrentColour.R, out.R);
    }
}

// The texels' lit point colour reads the project once for many points: the same colour, to the
// bit, as PointColourOf gives for each, through haze, mist and clamping, in and out of the sun.
TEST_F(EngineTest, LitPointColourIsPointColourOfToTheBit)
{
    MakeGrid(3, 3, [](int, int) { return 0.0; });
    project->Atmosphere.Ambient = 0.35;
    project->Atmosphere.Diffuse = 0.8;
    project->Lighting.SunVector = NormalizeVector({0.3f, 0.8f, -0.5f});
    project->Camera.Eye = {40, 250, 600};
    project->WorldScale = 2.5;
    AtmosphereParams.Ceiling = 400;
    AtmosphereParams.Floor = -50;
    AtmosphereParams.Distance = AtmosphereParams.BlueDistance = 900;
    AtmosphereParams.FogDistance = 700;
    AtmosphereParams.FogDensity = 0.3f;
    AtmosphereParams.Blueing = 0.6f;
    AtmosphereParams.Glowing = 0.4f;
    AtmosphereParams.MistHeight = 0.7f;
    const TRenderEngine::TLitShading shading = engine.LitShading();
    std::mt19937 random(20260611);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), span(-800.0f, 800.0f);
    int differing = 0;
    for (int k = 0; k < 2000; ++k) {
        const TFloatRGB colour{unit(random) * 1.4f, unit(random), unit(random)};
        const TVector3 point{span(random), span(random) * 0.3f, span(random)};
        const TVector3 normal = NormalizeVector({span(random), span(random), span(random)});
        const double self = unit(random) * 0.3, light = unit(random);
        const TFloatRGB once = engine.LitPointColour(shading, colour, point, normal, self, light);
        const TFloatRGB each = engine.PointColourOf(true, colour, point, normal, 0.0, self, light);
        differing += std::memcmp(&once, &each, sizeof once) != 0;
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(EngineTest, NoProjectRaisesInitErrorAndNoOpenGLFailsWithAMessage)
{
    TTestEngine bare;
    EXPECT_THROW(bare.Project(), EInitError);
    TProject* none = nullptr;
    bare.SetProject(&none);
    EXPECT_THROW(bare.CalculateNormals(), EInitError);
    UnloadOpenGLLibraries();
    EXPECT_FALSE(TRenderEngine::OpenGLReady());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].substr(0, 5), "E0118");
    MakeGrid(4, 4, [](int, int) { return 0.0; });
    EXPECT_THROW(engine.SetupLights(), EGLNotLoaded); // never a call through a null pointer
}

// ---- With OpenGL -------------------------------------------------------------------------------

TEST_F(EngineTest, ProjectPointAgreesWithGluProject)
{
    MakeGrid(64, 64, [](int c, int r) { return 2.0 * c + r; });
    project->Camera.Eye = {300, 150, 320};
    project->Camera.Target = {0, 0, 0};
    project->Camera.Perspective = 60;
    WithContext(320, 200, [&] {
        engine.PrepareScene(320, 200);
        engine.SetupCamera();
        GLdouble model[16], proj[16];
        GLint viewport[4];
        GL().glGetDoublev(GL_MODELVIEW_MATRIX, model);
        GL().glGetDoublev(GL_PROJECTION_MATRIX, proj);
        GL().glGetIntegerv(GL_VIEWPORT, viewport);
        std::mt19937 random(11);
        std::uniform_real_distribution<double> spread(-400.0, 400.0);
        int projected = 0, clipped = 0;
        for (int n = 0; n < 400; ++n) {
            const TVector3 p{static_cast<float>(spread(random)), static_cast<float>(spread(random) / 3),
                             static_cast<float>(spread(random))};
            TVector3 window;
            GLdouble wx, wy, wz;
            ASSERT_EQ(GL().gluProject(p.X, p.Y, p.Z, model, proj, viewport, &wx, &wy, &wz), GL_TRUE);
            const bool inside = wx >= 0 && wx <= 320 && wy >= 0 && wy <= 200 && wz >= 0 && wz <= 1;
            if (engine.ProjectPoint(p, window)) {
                ++projected;
                EXPECT_NEAR(window.X, wx, 1e-3);
                EXPECT_NEAR(window.Y, wy, 1e-3);
                EXPECT_NEAR(window.Z, wz, 1e-5);
            } else {
                ++clipped;
                EXPECT_FALSE(inside) << wx << " " << wy << " " << wz;
            }
        }
        EXPECT_GT(projected, 100);
        EXPECT_GT(clipped, 10);
    });
}

// The visibility pass projects in software; it must agree with OpenGL's feedback.
TEST_F(EngineTest, SoftwareProjectionAgreesWithFeedback)
{
    MakeGrid(40, 40, [](int c, int r) { return 3.0 * std::sin(c * 0.3) * r; });
    project->Camera.Eye = {250, 90, 260};
    project->Camera.Target = {0, 0, 0};
    WithContext(160, 120, [&] {
        engine.PrepareScene(160, 120);
        engine.SetupCamera();
        engine.CalculateVisibility();
        // Same matrices as the pass: the half-height projection it sets up.
        engine.SetupProjection(160, 60, 0.0);
        const TPointProjector projector;
        int seen = 0, unseen = 0;
        for (int c = 0; c < 40; ++c)
            for (int r = 0; r < 40; ++r) {
                const TVector3 p{static_cast<float>((c - 20.0) * 10), static_cast<float>(project->Grid.Cells[c][r].Height),
                                 static_cast<float>((r - 20.0) * 10)};
                const double feedback = engine.PointVisibility(p, project->MaxRoughnessMargin());
                EXPECT_NEAR(project->Grid.Cells[c][r].ViewDepth, feedback, 1e-5) << c << "," << r;
                (feedback < 0 ? unseen : seen)++;
            }
        EXPECT_GT(seen, 100);
        EXPECT_GT(unseen, 10);
        std::mt19937 random(3);
        std::uniform_real_distribution<double> spread(-500.0, 500.0);
        for (int n = 0; n < 500; ++n) {
            const TVector3 p{static_cast<float>(spread(random)), static_cast<float>(spread(random) / 4),
                             static_cast<float>(spread(random))};
            TVector3 a, b;
            const bool soft = projector.Project(p, a), fed = engine.ProjectPoint(p, b);
            ASSERT_EQ(soft, fed) << p.X << "," << p.Y << "," << p.Z;
            if (soft) {
                EXPECT_NEAR(a.X, b.X, 1e-3);
                EXPECT_NEAR(a.Y, b.Y, 1e-3);
                EXPECT_NEAR(a.Z, b.Z, 1e-5);
            }
        }
    });
}

TEST_F(EngineTest, PointVisibilityFallsBackToTheRaisedPoint)
{
    MakeGrid(4, 4, [](int, int) { return 0.0; });
    WithContext(100, 100, [&] {
        OrthoView(100);
        struct Case { TVector3 point; double margin, depth; };
        const Case cases[] = {
            {{50, 50, 0.5f}, 0, 0.25},     // inside: its own depth
            {{50, -10, 0}, 100, 0.5},      // below the view, the raised point (y 10) is inside
            {{50, -100, 0}, 100, -1.0},    // both outside
            {{150, 50, 0}, 100, -1.0},     // beside the view: raising does not help
        };
        for (const Case& c : cases)
            EXPECT_NEAR(engine.PointVisibility(c.point, c.margin), c.depth, 1e-6) << c.point.X << "," << c.point.Y;
    });
}

TEST_F(EngineTest, CellScreenSizeFromFeedback)
{
    MakeGrid(4, 4, [](int, int) { return 0.0; });
    WithContext(100, 100, [&] {
        OrthoView(100);
        auto cell = [](float x0, float y0, float w, float h, bool clockwise) {
            TCellGeometry g;
            g.Corners[0] = {x0, y0, 0};
            g.Corners[1] = clockwise ? TVector3{x0, y0 + h, 0} : TVector3{x0 + w, y0, 0};
            g.Corners[2] = {x0 + w, y0 + h, 0};
            g.Corners[3] = clockwise ? TVector3{x0 + w, y0, 0} : TVector3{x0, y0 + h, 0};
            return g;
        };
        // A cell turned toward the camera runs clockwise on the screen, as the surface is drawn.
        struct Case { TCellGeometry g; bool cull, visible; double size; };
        const Case cases[] = {
            {cell(10, 10, 20, 10, true), true, true, 1.415 * 20},
            {cell(90, 40, 30, 5, true), false, true, 1.415 * 10}, // clipped at the right edge
            {cell(90, 40, 30, 5, true), true, true, 1.415 * 10},
            {cell(200, 200, 10, 10, true), false, false, 0},
            {cell(200, 200, 10, 10, true), true, false, 0},
            {cell(10, 10, 20, 10, false), true, false, 0},        // facing away and culled
            {cell(10, 10, 20, 10, false), false, true, 1.415 * 20},
        };
        // Whatever winding and culled side the caller left in force.
        for (const GLenum front : {GL_CCW, GL_CW})
        for (const Case& c : cases) {
            GL().glFrontFace(front);
            GL().glCullFace(front == GL_CCW ? GL_BACK : GL_FRONT);
            double size = -7;
            EXPECT_EQ(engine.CellScreenSize(c.g, c.cull, size), c.visible);
            if (c.visible) {
                EXPECT_NEAR(size, c.size, 1e-3);
            } else {
                EXPECT_EQ(size, -7);
            }
        }
        EXPECT_FALSE(GL().glIsEnabled(GL_CULL_FACE)); // the caller's state is kept
        GLint front = 0, culled = 0;
        GL().glGetIntegerv(GL_FRONT_FACE, &front);
        GL().glGetIntegerv(GL_CULL_FACE_MODE, &culled);
        EXPECT_EQ(front, GL_CW);
        EXPECT_EQ(culled, GL_FRONT);
    });
}

// The screen test in software agrees with what feedback mode reports for the cell's two
// triangles, culled as the surface is drawn: cells seen from a perspective camera facing it or
// away, crossing the near plane and the picture's edges.
TEST_F(EngineTest, CellScreenSizeAgreesWithFeedbackModeInPerspective)
{
    MakeGrid(4, 4, [](int, int) { return 0.0; });
    WithContext(160, 120, [&] {
        const TGLEntryPoints& gl = GL();
        gl.glViewport(0, 0, 160, 120);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.gluPerspective(45, 160.0 / 120.0, 0.1, 5000);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        gl.gluLookAt(0, 20, 40, 0, 0, 0, 0, 1, 0);
        engine.ViewRect = {0, 0, 160, 120};
        // Feedback of the triangles, as the screen test was once made: visible and window extent.
        auto feedback = [&](const TCellGeometry& g, bool cull, double& size) {
            std::vector<GLfloat> buffer(256);
            gl.glFeedbackBuffer(256, GL_2D, buffer.data());
            gl.glRenderMode(GL_FEEDBACK);
            engine.DrawCellTriangles(g, cull);
            const GLint count = gl.glRenderMode(GL_RENDER);
            bool visible = false, any = false;
            double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
            for (GLint at = 0; at + 1 < count && buffer[at] == GL_POLYGON_TOKEN;) {
                const int n = int(std::lround(buffer[at + 1]));
                at += 2;
                for (int v = 0; v < n; ++v, at += 2) {
                    const double x = buffer[at], y = buffer[at + 1];
                    visible = visible || (x >= 0 && x <= 160 && y >= 0 && y <= 120);
                    x0 = any ? std::min(x0, x) : x, x1 = any ? std::max(x1, x) : x;
                    y0 = any ? std::min(y0, y) : y, y1 = any ? std::max(y1, y) : y;
                    any = true;
                }
            }
            size = 1.415 * std::max(x1 - x0, y1 - y0);
            return visible;
        };
        // Corners (c, r), (c + 1, r), (c + 1, r + 1), (c, r + 1) of a cell at x, z with side s and
        // heights h0 .. h3.
        auto cell = [](float x, float z, float s, float h0, float h1, float h2, float h3) {
            TCellGeometry g;
            g.Corners[0] = {x, h0, z};
            g.Corners[1] = {x + s, h1, z};
            g.Corners[2] = {x + s, h2, z + s};
            g.Corners[3] = {x, h3, z + s};
            return g;
        };
        const TCellGeometry cases[] = {
            cell(-5, -5, 10, 0, 0, 0, 0),      // flat, in the middle of the view
            cell(-5, -5, 10, 30, 30, 0, 0),    // a slope rising away: faces the camera
            cell(-5, -5, 10, 0, 0, 60, 60),    // a steep slope toward the camera: turned away
            cell(15, -5, 10, 0, 0, 0, 0),      // across the right edge
            cell(-10, 0, 60, 0, 0, 0, 0),      // reaching behind the camera: clipped at the near plane
            cell(-300, -5, 10, 0, 0, 0, 0),    // far to the left: outside
            cell(-5, 60, 10, 0, 0, 0, 0),      // behind the camera
            cell(-40, -200, 80, 0, 5, 90, 0),  // large, far, partly above the picture
        };
        int visibleCases = 0;
        for (const bool cull : {true, false})
            for (const TCellGeometry& g : cases) {
                double expected = 0, size = -1;
                const bool want = feedback(g, cull, expected);
                EXPECT_EQ(engine.CellScreenSize(g, cull, size), want) << g.Corners[0].X << "," << g.Corners[0].Z;
                if (want) {
                    EXPECT_NEAR(size, expected, 0.01 * expected + 0.01) << g.Corners[0].X << "," << g.Corners[0].Z;
                }
                visibleCases += want;
            }
        EXPECT_EQ(visibleCases, 10); // both visible and hidden cells are among the cases
    });
}

TEST_F(EngineTest, StacksStayBalancedOnEveryPath)
{
    MakeGrid(16, 16, [](int c, int r) { return 1.0 * c * r; });
    project->Fractal.FractalDepth = 1;
    WithContext(64, 64, [&] {
        const GLint model = Get(GL_MODELVIEW_STACK_DEPTH), proj = Get(GL_PROJECTION_STACK_DEPTH);
        const GLint attrib = Get(GL_ATTRIB_STACK_DEPTH);
        engine.PrepareScene(64, 64);
        engine.SetupCamera();
        engine.SetupLights();
        engine.DrawSky();
        engine.CalculateVisibility();
        EXPECT_EQ(Get(GL_MODELVIEW_STACK_DEPTH), model);
        EXPECT_EQ(Get(GL_PROJECTION_STACK_DEPTH), proj);
        EXPECT_EQ(Get(GL_ATTRIB_STACK_DEPTH), attrib);
        EXPECT_EQ(Get(GL_MATRIX_MODE), GL_MODELVIEW);
        // A failure while the sky is drawn (inside the pushed attributes) still pops them.
        status.onPump = [] { throw std::runtime_error("failed"); };
        EXPECT_THROW(engine.DrawSky(), std::runtime_error);
        status.onPump = nullptr;
        EXPECT_EQ(Get(GL_ATTRIB_STACK_DEPTH), attrib);
        EXPECT_TRUE(GL().glIsEnabled(GL_LIGHTING)); // restored by the pop
        // An abort ends the dome at once, also balanced.
        int pumps = 0;
        status.onPump = [&] { if (++pumps == 3) engine.Aborted = 1; };
        engine.DrawSky();
        status.onPump = nullptr;
        EXPECT_LE(pumps, 3);
        EXPECT_EQ(Get(GL_ATTRIB_STACK_DEPTH), attrib);
        EXPECT_EQ(GL().glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    });
}

TEST_F(EngineTest, SkyUsesTheSunWhereTheLightIs)
{
    MakeGrid(8, 8, [](int, int) { return 0.0; });
    project->Lighting.LightAzimuth = 90;
    project->Lighting.LightAltitude = 30;
    project->Fractal.FractalDepth = 1;
    WithContext(32, 32, [&] {
        engine.PrepareScene(32, 32);
        engine.SetupLights();
        engine.DrawSky();
    });
    // The glow's sun in the atmosphere frame (x, z, altitude) points along the light's azimuth.
    EXPECT_NEAR(AtmosphereParams.Sun.R, 0.5, 1e-6);
    EXPECT_NEAR(AtmosphereParams.Sun.G, 0.0, 1e-6);
    EXPECT_NEAR(AtmosphereParams.Sun.B, std::cos(30 * M_PI / 180), 1e-6);
    EXPECT_GT(project->Lighting.SunVector.X, 0.5);
    EXPECT_NEAR(project->Lighting.SunVector.Z, 0.0, 1e-6);
}

// The whole frame set-up as the renderers run it: the dome is seen from inside and fills the view.
TEST_F(EngineTest, SkyDomeFillsThePicture)
{
    MakeGrid(64, 64, [](int, int) { return 0.0; });
    project->ComputeWorldScale();
    project->Camera.Eye = {200, 150, 200};
    project->Camera.Target = {-200, 150, -200};
    project->Fractal.FractalDepth = 1;
    std::string error;
    ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
    TGLPanel panel;
    panel.resize(80, 60);
    panel.GLObjectLoaded = true;
    panel.OnGLDraw = [&](TGLPanel& p) {
        engine.PrepareScene(p.width(), p.height());
        engine.SetupCamera();
        engine.SetupLights();
        engine.DrawSky();
    };
    panel.Redraw();
    const QImage& picture = panel.Picture();
    ASSERT_EQ(picture.size(), QSize(80, 60));
    for (QPoint at : {QPoint(40, 2), QPoint(2, 30), QPoint(77, 57)})
        EXPECT_NE(picture.pixel(at), qRgb(255, 255, 255)) << at.x() << "," << at.y();
    // Higher up the sky is bluer than at the horizon (less haze).
    EXPECT_LT(qRed(picture.pixel(40, 2)), 255);
}

// Whatever flag is pending when a drawing call starts, or is left by the implementation, is
// cleared by the guard after its glEnd or glFlush.
TEST_F(EngineTest, EveryDrawingCallEndsWithoutAFloatingPointFlag)
{
    MakeGrid(16, 16, [](int c, int r) { return 1.0 * c + r; });
    project->Camera.Eye = {80, 60, 200};
    project->Camera.Target = {80, 0, 80};
    project->Fractal.FractalDepth = 1;
    TCellGeometry cell;
    cell.Corners[0] = {10, 0, 10};
    cell.Corners[1] = {20, 0, 10};
    cell.Corners[2] = {20, 0, 20};
    cell.Corners[3] = {10, 0, 20};
    TVector3 window;
    const struct {
        const char* name;
        std::function<void()> draw;
    } sites[] = {
        {"cell triangles", [&] { engine.DrawCellTriangles(cell, true); }},
        {"projected point", [&] { engine.ProjectPoint({80, 0, 80}, window); }},
        {"point visibility", [&] { engine.PointVisibility({80, 0, 80}, 1.0); }},
        {"sky", [&] { engine.DrawSky(); }},
    };
    WithContext(64, 64, [&] {
        engine.PrepareScene(64, 64);
        engine.SetupCamera();
        engine.SetupLights();
        for (const auto& site : sites) {
            SCOPED_TRACE(site.name);
            std::feraiseexcept(FE_INVALID | FE_DIVBYZERO);
            site.draw();
            EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO), 0);
        }
    });
}

TEST_F(EngineTest, VisibilityUsesTheDrawnVerticalScale)
{
    // Camera looking down on a flat grid; a vertical scale of 0 draws the land at height 0.
    MakeGrid(16, 16, [](int, int) { return 400.0; });
    project->Grid.VerticalScale = 0.0;
    project->Camera.Eye = {0, 100, 1};
    project->Camera.Target = {0, 0, 0};
    project->Camera.Perspective = 90;
    WithContext(64, 64, [&] {
        engine.PrepareScene(64, 64);
        engine.SetupCamera();
        engine.CalculateVisibility();
    });
    // At the stored height of 400 the centre would lie behind the camera and count as unseen.
    EXPECT_GT(project->Grid.Cells[8][8].ViewDepth, 0.0f);
}

TEST_F(EngineTest, TexturesFromPictures)
{
    qxtest::TempDir dir;
    const std::string file = dir.file("layer.bmp");
    QImage picture(4, 2, QImage::Format_RGB32);
    picture.fill(qRgb(10, 20, 30));
    picture.setPixel(0, 1, qRgb(255, 0, 255)); // the key colour, bottom-left
    ASSERT_TRUE(picture.save(QString::fromStdString(file)));
    const uint32_t key = 255 + 65536 * 255;
    MakeGrid(4, 4, [](int, int) { return 0.0; });
    WithContext(16, 16, [&] {
        const TGLEntryPoints& gl = GL();
        struct Case { uint8_t mode; uint8_t keyAlpha, otherAlpha; };
        for (const Case& c : {Case{0, 128, 255}, Case{1, 128, 128}}) {
            engine.LoadBmpTexture(file, 1100, c.mode, 0.5, key, false);
            ASSERT_TRUE(gl.glIsList(1100));
            GLuint texture = 0;
            gl.glGenTextures(1, &texture);
            gl.glBindTexture(GL_TEXTURE_2D, texture);
            gl.glCallList(1100);
            GLint width = 0;
            gl.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
            ASSERT_EQ(width, 512);
            std::vector<unsigned char> texels(512 * 512 * 4);
            gl.glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            // First texel row: the picture's bottom row; its first quarter is the key pixel.
            EXPECT_EQ(texels[0], 255);
            EXPECT_EQ(texels[1], 0);
            EXPECT_EQ(texels[3], c.keyAlpha);
            const size_t other = (511u * 512u + 511u) * 4u; // top right
            EXPECT_EQ(texels[other], 10);
            EXPECT_EQ(texels[other + 2], 30);
            EXPECT_EQ(texels[other + 3], c.otherAlpha);
            gl.glDeleteTextures(1, &texture);
            gl.glDeleteLists(1100, 1);
        }
        engine.LoadBmpTexture("", 1101, 0, 1, 0, false);
        EXPECT_FALSE(gl.glIsList(1101));
        EXPECT_TRUE(prompt.shown.empty());
        engine.LoadBmpTexture(dir.file("missing.bmp"), 1101, 0, 1, 0, false);
        EXPECT_FALSE(gl.glIsList(1101));
    });
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0], "E0002 Error loading bmp file");
}

} // namespace
