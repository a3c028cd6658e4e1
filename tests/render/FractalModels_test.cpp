#include "render/FractalRendererEngine.h"

#include "Model3DSFixture.h"
#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/atmos32.h"
#include "render/GLPanel.h"
#include "render/ML3DS.h"
#include "support/TestSupport.h"
#include "support/MessageLog.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace fixture3ds;

namespace {

using RecordingStatus = qxtest::TStatusLog;

using SilentPrompt = qxtest::TMessageLog;

// An 8 x 8 grid at spacing 4 (render x and z from -16 to 16), one model layer (ID 5) whose model
// is a red box 2 x 2 wide and 2 tall, and placements added by the tests.
class FractalModelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousStatus_ = SetStatusSink(&status);
        previousPrompt_ = SetPrompt(&prompt);
        project = new TProject();
        ASSERT_TRUE(project->NewGrid(8, 8, 4.0, 4.0));
        project->WorldScale = 1.0;
        project->Grid.VerticalScale = 1.0;
        project->Camera.Eye = {0, 0, 60};
        project->Fractal.DrawNoModels = 0;
        project->Atmosphere.Ambient = 0.0;
        project->Atmosphere.Diffuse = 1.0;
        project->Atmosphere.ShadowDepth = 0.75;
        project->Lighting.SunVector = {0, 0, 1}; // toward the viewer: the front faces are fully lit
        project->Models.Directory = dir.path().string();
        project->Models.Items.clear();
        project->TerrainLayers.Items.clear();
        MeshDesc box = Box(-1, -1, 0, 1, 1, 2);
        box.Groups = {{"red", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}};
        Write(dir.file("tower.3ds"), Model({Material("red", {255, 0, 0}), Mesh(box)}));
        TTerrainLayer layer;
        layer.ID = 5;
        layer.DrawModels = 1;
        layer.ModelSource = "tower.3ds";
        project->TerrainLayers.Items.push_back(layer);
        AtmosphereParams = TAtmosphereParams{};
        engine.SetProject(&project);
    }
    void TearDown() override
    {
        SetStatusSink(previousStatus_);
        SetPrompt(previousPrompt_);
        delete project;
        UnloadOpenGLLibraries();
    }
    TModelPlacement& Place(float x, float z, double size, int32_t layerID = 5)
    {
        TModelPlacement m;
        m.ID = static_cast<int32_t>(project->Models.Items.size());
        m.TerrainLayerID = layerID;
        m.Position = {x, 0, z};
        m.Size = size;
        project->Models.Items.push_back(m);
        return project->Models.Items.back();
    }
    // The model stage drawn in an orthographic view of x and y from -16 to 16 (2 pixels a unit,
    // looking down -z) on white.
    QImage DrawStage()
    {
        std::string error;
        EXPECT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        TGLPanel panel;
        panel.resize(64, 64);
        panel.GLObjectLoaded = true;
        panel.OnGLDraw = [&](TGLPanel&) {
            const TGLEntryPoints& gl = GL();
            gl.glViewport(0, 0, 64, 64);
            gl.glClearColor(1, 1, 1, 1);
            gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            gl.glEnable(GL_DEPTH_TEST);
            gl.glDisable(GL_LIGHTING);
            gl.glMatrixMode(GL_PROJECTION);
            gl.glLoadIdentity();
            gl.glOrtho(-16, 16, -16, 16, -100, 100);
            gl.glMatrixMode(GL_MODELVIEW);
            gl.glLoadIdentity();
            engine.PrepareModels();
            engine.DrawModels();
            EXPECT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        };
        panel.Redraw();
        return panel.Picture();
    }
    struct Extent {
        int Left = 64, Right = -1, Top = 64, Bottom = -1;
    };
    static Extent Covered(const QImage& picture, int fromColumn = 0, int toColumn = 63)
    {
        Extent e;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = fromColumn; x <= toColumn; ++x)
                if (picture.pixel(x, y) != qRgb(255, 255, 255)) {
                    e.Left = std::min(e.Left, x), e.Right = std::max(e.Right, x);
                    e.Top = std::min(e.Top, y), e.Bottom = std::max(e.Bottom, y);
                }
        return e;
    }
    double ShadowAt(double x, double z) const
    {
        double f = 1.0;
        engine.ModelShadowsOnTexel(x, z, f);
        return f;
    }

    qxtest::TempDir dir;
    RecordingStatus status;
    SilentPrompt prompt;
    TProject* project = nullptr;
    TFractalRenderEngine engine;
    IStatusSink* previousStatus_ = nullptr;
    IPrompt* previousPrompt_ = nullptr;
};

TEST_F(FractalModelsTest, ModelStandsOnItsGridVertexScaledToItsSize)
{
    struct Case {
        float x, z;            // placement position (fractions of the grid)
        double size, verticalScale;
        float surface;         // SurfaceHeight of the vertex under it
        bool inShadow;
        Extent expected;       // column = (X + 16) * 2, row = (16 - Y) * 2
        int red;               // the lit front face
    };
    // Position 0.75 is column 6: x = (8 x 0.75 - 4) x 4 = 8. Size 12 scales the 2-unit box by 6:
    // X 2..14, Y from the surface up by 12. A vertex in shadow lights it by 1 - 0.75.
    const std::vector<Case> cases = {
        {0.75f, 0.5f, 12, 1, -10, false, {36, 59, 28, 51}, 255},
        {0.79f, 0.5f, 12, 1, -10, false, {39, 62, 28, 51}, 255}, // x = 9.28: not snapped to the vertex
        {0.75f, 0.5f, 6, 2, -4, false, {36, 59, 16, 39}, 255},   // vertical scale 2: 12 tall again
        {0.25f, 0.1f, 4, 1, 0, true, {12, 19, 24, 31}, 64},      // x = -8, X -10..-6, Y 0..4
    };
    for (const Case& c : cases) {
        project->Models.Items.clear();
        project->Grid.VerticalScale = c.verticalScale;
        Place(c.x, c.z, c.size);
        TGridCell& cell = project->Grid.Cells[int(std::trunc(8 * c.x))][int(std::trunc(8 * c.z))];
        cell.SurfaceHeight = c.surface;
        cell.InShadow = c.inShadow;
        const QImage picture = DrawStage();
        const Extent e = Covered(picture);
        EXPECT_NEAR(e.Left, c.expected.Left, 1) << c.x << " " << c.size;
        EXPECT_NEAR(e.Right, c.expected.Right, 1) << c.x << " " << c.size;
        EXPECT_NEAR(e.Top, c.expected.Top, 1) << c.x << " " << c.size;
        EXPECT_NEAR(e.Bottom, c.expected.Bottom, 1) << c.x << " " << c.size;
        const QRgb centre = picture.pixel((e.Left + e.Right) / 2, (e.Top + e.Bottom) / 2);
        EXPECT_NEAR(qRed(centre), c.red, 1) << c.x << " " << c.size;
        EXPECT_EQ(qGreen(centre), 0);
        cell.InShadow = 0;
    }
}

TEST_F(FractalModelsTest, TwoPlacementsOfOneLayerDrawTheSameFile)
{
    Place(0.25f, 0.5f, 4);                 // x = -8
    Place(0.5f, 0.5f, 4).Deleted = 1;      // x = 0, not drawn
    Place(0.75f, 0.5f, 4);                 // x = 8
    const QImage picture = DrawStage();
    EXPECT_NEAR(Covered(picture, 0, 23).Left, 12, 1);
    EXPECT_EQ(Covered(picture, 24, 39).Right, -1);
    EXPECT_NEAR(Covered(picture, 40, 63).Right, 51, 1);
    EXPECT_EQ(engine.Models3DS().BuildCount, 1);
    EXPECT_EQ(status.operations.back(), "Drawing models");
    const std::vector<std::string> tail(status.steps.end() - 3, status.steps.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Model 1 of 3", "Model 2 of 3", "Model 3 of 3"}));
    EXPECT_EQ(status.steps.front(), "Initializing Model 1 of 1");
}

TEST_F(FractalModelsTest, PlacementsThatCannotBeDrawnDrawNothingAndCastNoShadow)
{
    Write(dir.file("broken.3ds"), Bytes(40, 0x4D));
    struct Case {
        const char* what;
        std::function<void()> arrange;
    };
    const std::vector<Case> cases = {
        {"layer ID matches no layer", [&] { Place(0.5f, 0.5f, 8, 77); }},
        {"layer draws no models", [&] { project->TerrainLayers.Items[0].DrawModels = 0; Place(0.5f, 0.5f, 8); }},
        {"layer deleted", [&] { project->TerrainLayers.Items[0].Deleted = 1; Place(0.5f, 0.5f, 8); }},
        {"placement deleted", [&] { Place(0.5f, 0.5f, 8).Deleted = 1; }},
        {"position beyond the grid", [&] { Place(1.5f, 0.5f, 8); }},
        {"position before the grid", [&] { Place(0.5f, -0.2f, 8); }},
        {"no model file named", [&] { project->TerrainLayers.Items[0].ModelSource.clear(); Place(0.5f, 0.5f, 8); }},
        {"model file missing", [&] { project->TerrainLayers.Items[0].ModelSource = "gone.3ds"; Place(0.5f, 0.5f, 8); }},
        {"model file damaged", [&] { project->TerrainLayers.Items[0].ModelSource = "broken.3ds"; Place(0.5f, 0.5f, 8); }},
        {"models switched off", [&] { project->Fractal.DrawNoModels = 1; Place(0.5f, 0.5f, 8); }},
    };
    for (const Case& c : cases) {
        project->Models.Items.clear();
        project->TerrainLayers.Items[0].DrawModels = 1;
        project->TerrainLayers.Items[0].Deleted = 0;
        project->TerrainLayers.Items[0].ModelSource = "tower.3ds";
        project->Fractal.DrawNoModels = 0;
        c.arrange();
        const QImage picture = DrawStage();
        EXPECT_EQ(Covered(picture).Right, -1) << c.what;
        EXPECT_FALSE(engine.HasModelShadows()) << c.what;
        EXPECT_EQ(ShadowAt(0, 0), 1.0) << c.what;
        // The same placement on the drawable layer does appear (the case is not vacuous).
        if (project->Models.Items.size() == 1 && project->Fractal.DrawNoModels == 0) {
            TModelPlacement& m = project->Models.Items[0];
            m = TModelPlacement{};
            m.TerrainLayerID = 5;
            m.Position = {0.5f, 0, 0.5f};
            m.Size = 8;
            project->TerrainLayers.Items[0] = TTerrainLayer{};
            project->TerrainLayers.Items[0].ID = 5;
            project->TerrainLayers.Items[0].DrawModels = 1;
            project->TerrainLayers.Items[0].ModelSource = "tower.3ds";
            EXPECT_NE(Covered(DrawStage()).Right, -1) << c.what;
            EXPECT_TRUE(engine.HasModelShadows()) << c.what;
        }
    }
}

TEST_F(FractalModelsTest, ShadowEllipseTowardTheSun)
{
    // The placement at x = 8, z = 0, h = 12; the box's footprint-to-height ratio is 1, so the
    // ellipse is 0.6 x 12 = 7.2 wide, its second focus L from the foot toward azimuth + 90.
    Place(0.75f, 0.5f, 12);
    struct Probe {
        double x, z, factor;
    };
    struct Case {
        double altitude, azimuth;
        std::vector<Probe> probes;
    };
    // Sun at or below the horizon (90 and above): L = h = 12 along +z for azimuth 0.
    const std::vector<Probe> alongZ = {{8, 0, 0.10749}, {8, 6, 0.10749}, {8, -0.9, 0.23612}, {8, -1, 1.0},
                                       {8, 13.5, 1.0}, {2, 0, 1.0}};
    const std::vector<Case> cases = {
        {90, 0, alongZ},
        {120, 0, alongZ},
        // 45 degrees from the vertical: L = h; azimuth 90 turns it to -x.
        {45, 90, {{2, 0, 0.10749}, {-5.5, 0, 1.0}, {8, 6, 1.0}}},
        // Overhead: both foci at the foot; the ellipse is a disc of diameter 7.2.
        {0, 0, {{8, 0, 0.0}, {11.5, 0, 0.22222}, {12, 0, 1.0}}},
    };
    for (const Case& c : cases) {
        project->Lighting.LightAltitude = c.altitude;
        project->Lighting.LightAzimuth = c.azimuth;
        engine.PrepareModels();
        ASSERT_TRUE(engine.HasModelShadows());
        for (const Probe& p : c.probes)
            EXPECT_NEAR(ShadowAt(p.x, p.z), p.factor, 1e-4) << c.altitude << "/" << c.azimuth << " at " << p.x << "," << p.z;
    }
    // A sun just above the horizon gives a long but bounded shadow: nothing infinite or NaN.
    project->Lighting.LightAltitude = 89.99999;
    project->Lighting.LightAzimuth = 0;
    engine.PrepareModels();
    EXPECT_LT(ShadowAt(8, 300), 1.0);
    EXPECT_EQ(ShadowAt(8, 5000), 1.0);
    EXPECT_EQ(ShadowAt(8, -20), 1.0);
}

TEST_F(FractalModelsTest, ShadowsAddUpAndAModelOfNoSizeDoesNotHideTheOthers)
{
    project->Lighting.LightAltitude = 90;
    project->Lighting.LightAzimuth = 0;
    Place(0.75f, 0.5f, 0);  // no size: no shadow of its own
    Place(0.75f, 0.5f, 12);
    engine.PrepareModels();
    EXPECT_NEAR(ShadowAt(8, 0), 0.10749, 1e-4);
    Place(0.75f, 0.5f, 12); // a second shadow on the same texel takes the factor down to 0
    engine.PrepareModels();
    EXPECT_EQ(ShadowAt(8, 0), 0.0);
    double dark = 0.05;
    engine.ModelShadowsOnTexel(100, 100, dark); // far from every shadow: unchanged
    EXPECT_EQ(dark, 0.05);
    // A position of exactly 1 stands on the last vertex (its foot at x = z = 16); beyond the
    // grid there is no vertex to stand on.
    project->Models.Items.clear();
    Place(1.0f, 1.0f, 12);
    Place(1.01f, 0.5f, 12);
    engine.PrepareModels();
    EXPECT_NEAR(ShadowAt(16, 16), 0.10749, 1e-4);
    EXPECT_EQ(engine.ModelShadows.size(), 1u);
}

TEST_F(FractalModelsTest, PreparingSetsEachLayersModelAspect)
{
    MeshDesc wide = Box(0, 0, 0, 4, 2, 2);
    Write(dir.file("wide.3ds"), Model({Mesh(wide)}));
    MeshDesc flat;
    flat.Vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    flat.Faces = {{0, 1, 2}};
    Write(dir.file("flat.3ds"), Model({Mesh(flat)}));
    Write(dir.file("broken.3ds"), Bytes(30, 0x4D));
    struct Case {
        const char* source;
        uint8_t drawModels;
        double aspect;
    };
    const std::vector<Case> cases = {
        {"wide.3ds", 1, (4.0 + 2.0) / (2.0 * 2.0)},
        {"tower.3ds", 0, 1.0},  // not a model layer
        {"flat.3ds", 1, 1.0},   // no height to compare with
        {"broken.3ds", 1, 1.0}, // damaged: the render goes on
        {"", 1, 1.0},
        {"WIDE.3DS", 1, 1.5},   // found whatever the case of its name
    };
    project->TerrainLayers.Items.clear();
    for (const Case& c : cases) {
        TTerrainLayer l;
        l.ID = int32_t(project->TerrainLayers.Items.size());
        l.DrawModels = c.drawModels;
        l.ModelSource = c.source;
        l.ModelAspect = 7.0;
        project->TerrainLayers.Items.push_back(l);
    }
    TTerrainLayer gone;
    gone.ID = 99;
    gone.Deleted = 1;
    gone.DrawModels = 1;
    gone.ModelSource = "wide.3ds";
    project->TerrainLayers.Items.insert(project->TerrainLayers.Items.begin() + 1, gone);
    EXPECT_NO_THROW(engine.PrepareModels());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_DOUBLE_EQ(project->TerrainLayers.Items[i + (i > 0)].ModelAspect, cases[i].aspect) << cases[i].source;
    // The steps count the models to load: the live layers that carry one, not every layer.
    EXPECT_EQ(status.steps, (std::vector<std::string>{"Initializing Model 1 of 4", "Initializing Model 2 of 4",
                                                      "Initializing Model 3 of 4", "Initializing Model 4 of 4"}));

    // An abort during the loop stops it at the next check.
    status.steps.clear();
    status.onPump = [&] {
        if (status.steps.size() == 2)
            engine.Aborted = 1;
    };
    engine.PrepareModels();
    EXPECT_EQ(status.steps.size(), 2u);
    status.steps.clear();
    Place(0.25f, 0.5f, 4, 0);
    Place(0.75f, 0.5f, 4, 0);
    engine.Aborted = 0;
    status.onPump = [&] {
        if (status.steps.size() == 1)
            engine.Aborted = 1;
    };
    engine.DrawModels();
    EXPECT_EQ(status.steps, std::vector<std::string>{"Model 1 of 2"});
}

} // namespace
