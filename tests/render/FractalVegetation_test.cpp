#include "render/FractalRendererEngine.h"

#include "platform/GLEntryPoints.h"
#include "project/MathUtils.h"
#include "project/Project.h"
#include "project/atmos32.h"
#include "render/GLPanel.h"
#include "support/TestSupport.h"
#include "GLTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

namespace {

constexpr int32_t kTree = 10, kBush = 20;

// A 4 x 4 grid at spacing 100 (render -200 .. 200 in x and z), a 16 x 16 layer map.
class VegetationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = new TProject();
        ASSERT_TRUE(project->NewGrid(4, 4, 100.0, 100.0));
        project->WorldScale = 1.0;
        project->Grid.VerticalScale = 1.0;
        project->Grid.MinHeight = 0;
        project->Grid.MaxHeight = 100;
        project->Grid.MinNormalY = 0.5;
        project->Grid.MaxNormalY = 1.0;
        project->Fractal.DrawNoModels = 0;
        project->Atmosphere.Ambient = 1.0;
        project->Atmosphere.ShadowDepth = 0.4;
        project->Actors.Items.resize(2);
        project->Actors.Count = 2;
        project->Actors.Items[0].ID = kTree;
        project->Actors.Items[1].ID = kBush;
        project->LayerBitmap = QImage(16, 16, QImage::Format_RGB32);
        project->LayerBitmap.fill(qRgb(255, 255, 255)); // no layer
        engine.SetProject(&project);
        AtmosphereParams.Blueing = 0; // no haze: pictures show the plain colours
        AtmosphereParams.FogDensity = 0;
    }
    void TearDown() override
    {
        engine.ResetVegetation();
        delete project;
        UnloadOpenGLLibraries();
    }
    // Adds a terrain layer painted over the whole map (unless told otherwise); its index.
    int AddLayer(int32_t id, bool painted = true)
    {
        TTerrainLayer layer;
        layer.ID = id;
        project->TerrainLayers.Items.push_back(layer);
        project->TerrainLayers.Count = static_cast<int32_t>(project->TerrainLayers.Items.size());
        if (painted) project->LayerBitmap.fill(qRgb(id & 255, 0, 0));
        return project->TerrainLayers.Count - 1;
    }
    TTerrainLayer& Layer(int i) { return project->TerrainLayers.Items[i]; }
    // An ecology layer (not painted) whose rule accepts the sub-quads of Quad() with weight 1.
    TEcologyRule& AddEcology(int32_t id, int32_t tree, double density)
    {
        const int i = AddLayer(id, false);
        Layer(i).LayerType = ltEcology;
        Layer(i).DrawPlants = 1;
        TEcologyRule rule;
        rule.TreeID = tree;
        rule.TreeDensity = density;
        rule.TerrainLayerID = id;
        rule.Altitude = 0.5, rule.AltTolerance = 1;
        rule.Slope = 0.5, rule.SlopeTolerance = 1;
        rule.Aspect = 0.5, rule.AspectTolerance = 1;
        project->Ecology.Items.push_back(rule);
        project->Ecology.Count = static_cast<int32_t>(project->Ecology.Items.size());
        return project->Ecology.Items.back();
    }
    // A flat sub-quad of side `side` with corner 0 at (x0, z0); corner 0 at height h0, corner 2 at h2.
    static TCellGeometry Quad(double x0, double z0, double side, float h0 = 50, float h2 = 50)
    {
        TCellGeometry q;
        q.Visible = 1;
        const float x1 = float(x0 + side), z1 = float(z0 + side);
        q.Corners[0] = {float(x0), h0, float(z0)};
        q.Corners[1] = {x1, h0, float(z0)};
        q.Corners[2] = {x1, h2, z1};
        q.Corners[3] = {float(x0), h2, z1};
        for (auto& n : q.CornerNormals) n = {0, 0.75f, 0};
        q.Centre = AverageOfFour(q.Corners[0], q.Corners[1], q.Corners[2], q.Corners[3]);
        q.MeanNormal = {0, 0.75f, 0};
        return q;
    }
    void WithContext(int width, int height, const std::function<void()>& body) { qxtest::WithGLContext(width, height, body); }
    // Looking straight down on the grid (window x = x + 200, window y = 200 - z), or from the
    // front (window y = y + 200); 400 x 400.
    static void TopView(bool down = true)
    {
        const TGLEntryPoints& gl = GL();
        gl.glViewport(0, 0, 400, 400);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.glOrtho(-200, 200, -200, 200, -1000, 1000);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        if (down) gl.glRotatef(90, 1, 0, 0);
        gl.glDisable(GL_DEPTH_TEST);
        gl.glDisable(GL_LIGHTING);
        gl.glDisable(GL_TEXTURE_2D);
        gl.glClearColor(0, 0, 0, 1);
        gl.glClear(GL_COLOR_BUFFER_BIT);
    }
    static int LitPixels()
    {
        const TGLEntryPoints& gl = GL();
        gl.glFinish();
        std::vector<unsigned char> pixels(400 * 400 * 4);
        gl.glReadPixels(0, 0, 400, 400, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        int lit = 0;
        for (size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i] + pixels[i + 1] + pixels[i + 2] > 0;
        return lit;
    }

    TProject* project = nullptr;
    TFractalRenderEngine engine;
};

TEST_F(VegetationTest, LayerPlantsNeedAVisibleOrNearSubQuadAndCountByArea)
{
    const int layer = AddLayer(1);
    Layer(layer).DrawPlants = 1;
    Layer(layer).Plants[0].TreeID = kTree;
    Layer(layer).Plants[0].TreeSize = 10;
    struct Case {
        const char* name;
        uint8_t visible, near;
        double side, density, worldScale;
        uint8_t noModels;
        uint16_t waterEdge;
        size_t expected;
    };
    // Densities count per 10000 square world units of the sub-quad's own extent.
    const Case cases[] = {
        {"visible", 1, 0, 100, 5, 1, 0, 0, 5},
        {"near only", 0, 1, 100, 5, 1, 0, 0, 5},
        {"neither", 0, 0, 100, 5, 1, 0, 0, 0},
        {"smaller sub-quad", 1, 0, 50, 20, 1, 0, 0, 5},
        {"larger sub-quad", 1, 0, 200, 1.25, 1, 0, 0, 5},
        {"world scale", 1, 0, 50, 5, 2, 0, 0, 5},
        {"no models", 1, 0, 100, 5, 1, 1, 0, 0},
        {"water edge", 1, 0, 100, 5, 1, 0, 1, 0},
        {"huge density is bounded", 1, 0, 100, 1e15, 1, 0, 0, TFractalRenderEngine::MaxPlantsPerSubQuad},
        {"negative density", 1, 0, 100, -5, 1, 0, 0, 0},
        {"density not a number", 1, 0, 100, NAN, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Layer(layer).Plants[0].TreeDensity = c.density;
        project->WorldScale = c.worldScale;
        project->Fractal.DrawNoModels = c.noModels;
        TCellGeometry q = Quad(-100, -100, c.side);
        q.Visible = c.visible;
        q.NearCamera = c.near;
        q.CornerWaterEdge[0] = c.waterEdge;
        engine.CellPlants.clear();
        engine.DrawCellEcology(q);
        EXPECT_EQ(engine.CellPlants.size(), c.expected) << c.name;
    }
}

TEST_F(VegetationTest, SameSubQuadGrowsTheSamePlantsSpreadBeyondItsEdges)
{
    const int layer = AddLayer(1);
    Layer(layer).DrawPlants = 1;
    Layer(layer).Plants[0] = {kTree, 10, 8};
    double lowest = 0, highest = 0;
    int beyond = 0;
    std::set<float> firstX;
    for (int i = 0; i < 200; ++i) {
        const TCellGeometry q = Quad(-100, -100, 100, float(i * 0.731), float(i * 0.277));
        engine.CellPlants.clear();
        SetRandSeed(uint32_t(i * 31));
        engine.DrawCellEcology(q);
        const std::vector<TCellPlant> first = engine.CellPlants;
        engine.CellPlants.clear();
        SetRandSeed(999); // whatever came before
        engine.DrawCellEcology(q);
        ASSERT_EQ(first.size(), engine.CellPlants.size());
        for (size_t k = 0; k < first.size(); ++k) {
            const TCellPlant& a = first[k];
            const TCellPlant& b = engine.CellPlants[k];
            EXPECT_EQ(a.X, b.X);
            EXPECT_EQ(a.Z, b.Z);
            EXPECT_EQ(a.Size, b.Size);
            EXPECT_GE(a.U, -1.5);
            EXPECT_LT(a.U, 1.5);
            EXPECT_GE(a.V, -1.5);
            EXPECT_LT(a.V, 1.5);
            EXPECT_NEAR(a.X, -100 + 100 * a.U, 1e-3);
            EXPECT_NEAR(a.Z, -100 + 100 * a.V, 1e-3);
            EXPECT_GE(a.Size, 8.0 - 1e-9);
            EXPECT_LE(a.Size, 12.0 + 1e-9);
            lowest = std::min({lowest, a.U, a.V});
            highest = std::max({highest, a.U, a.V});
            beyond += std::fabs(a.U) > 1 || std::fabs(a.V) > 1;
        }
        if (!first.empty()) firstX.insert(first[0].X);
    }
    EXPECT_LT(lowest, -1.4);
    EXPECT_GT(highest, 1.4);
    EXPECT_GT(beyond, 0);
    EXPECT_GT(firstX.size(), 150u); // different sub-quads grow different plants
}

TEST_F(VegetationTest, ExpectedCountsBelowOneGiveAPlantWithThatProbability)
{
    const int layer = AddLayer(1);
    Layer(layer).DrawPlants = 1;
    Layer(layer).Plants[0] = {kTree, 10, 0.3};
    int withPlant = 0;
    const int quads = 4000;
    for (int i = 0; i < quads; ++i) {
        engine.CellPlants.clear();
        engine.DrawCellEcology(Quad(-100, -100, 100, float(i * 0.0173), float(i * 0.0311)));
        ASSERT_LE(engine.CellPlants.size(), 1u);
        withPlant += static_cast<int>(engine.CellPlants.size());
    }
    EXPECT_NEAR(double(withPlant) / quads, 0.3, 0.03);
}

TEST_F(VegetationTest, SlotNamingNoPlantTypeLeavesAnEmptyEntryNeverDrawn)
{
    const int layer = AddLayer(1);
    Layer(layer).DrawPlants = 1;
    Layer(layer).Plants[0] = {kTree, 10, 2};
    Layer(layer).Plants[1] = {99, 10, 3}; // no plant type has ID 99
    int empty = 0, trees = 0;
    for (int i = 0; i < 50; ++i) {
        engine.CellPlants.clear();
        engine.DrawCellEcology(Quad(-100, -100, 100, float(i * 0.37), float(i * 0.53)));
        ASSERT_EQ(engine.CellPlants.size(), 5u);
        for (const TCellPlant& p : engine.CellPlants) {
            if (p.PlantIndex < 0) {
                EXPECT_EQ(p.Size, 0.0);
                ++empty;
            } else {
                EXPECT_EQ(p.PlantIndex, 0);
                EXPECT_GT(p.Size, 0.0);
                ++trees;
            }
        }
    }
    EXPECT_NEAR(double(empty) / (empty + trees), 0.6, 0.1); // slot weights 2 : 3
}

TEST_F(VegetationTest, LayerWithoutPlantsFallsBackToTheEcologyRules)
{
    const int painted = AddLayer(1); // painted everywhere, DrawPlants clear
    Layer(painted).Plants[0] = {kTree, 10, 5};
    TEcologyRule& rule = AddEcology(2, kBush, 5); // not painted anywhere
    struct Case {
        const char* name;
        std::function<void(TCellGeometry&)> change;
        size_t expected;
    };
    const Case cases[] = {
        {"ecology rule", [](TCellGeometry&) {}, 5},
        {"near only", [](TCellGeometry& q) { q.Visible = 0, q.NearCamera = 1; }, 5},
        {"flooded", [](TCellGeometry& q) { q.CornerFlooded[0] = 1; }, 0},
        {"water edge", [](TCellGeometry& q) { q.CornerWaterEdge[0] = 1; }, 0},
        {"above the band", [](TCellGeometry& q) { q.Corners[0].Y = 160; }, 0},
        {"too steep", [](TCellGeometry& q) { q.MeanNormal.Y = 0.2f; }, 0},
    };
    for (const Case& c : cases) {
        TCellGeometry q = Quad(-100, -100, 100);
        c.change(q);
        engine.CellPlants.clear();
        engine.DrawCellEcology(q);
        ASSERT_EQ(engine.CellPlants.size(), c.expected) << c.name;
        for (const TCellPlant& p : engine.CellPlants) EXPECT_EQ(p.PlantIndex, 1) << c.name;
    }
    // Bands of no width (a flat grid, zero tolerances) still take a sub-quad right at their centre.
    project->Grid.MaxHeight = project->Grid.MinHeight = 50;
    project->Grid.MaxNormalY = project->Grid.MinNormalY = 0.75;
    rule.AltTolerance = rule.SlopeTolerance = rule.AspectTolerance = 0;
    engine.CellPlants.clear();
    engine.DrawCellEcology(Quad(-100, -100, 100));
    EXPECT_EQ(engine.CellPlants.size(), 5u);
    // A deleted ecology layer, or one without its rule, grows nothing.
    project->Ecology.Items[0].TerrainLayerID = 77;
    engine.CellPlants.clear();
    engine.DrawCellEcology(Quad(-100, -100, 100));
    EXPECT_EQ(engine.CellPlants.size(), 0u);
}

TEST_F(VegetationTest, ShadowsFallAwayFromTheSunAndDarkenTexelsOnce)
{
    const int layer = AddLayer(1);
    Layer(layer).DrawPlants = 1;
    Layer(layer).Plants[0] = {kTree, 10, 1};
    project->Lighting.LightAzimuth = 0; // shadows fall toward +z
    struct Case {
        double altitude;
        double lengthPerSize;
    };
    // Altitude from the vertical: half the size / tan(90 - altitude) all the way down to a sun one
    // degree above the horizon, where it is held, as the placed models' shadows are.
    const auto reach = [](double altitude) { return 0.5 * std::tan(altitude * M_PI / 180); };
    const Case cases[] = {{0, 0}, {45, 0.5}, {30, reach(30)}, {63, reach(63)}, {64, reach(64)}, {75, reach(75)},
                          {85, reach(85)}, {88.5, reach(88.5)}, {89, reach(89)}, {89.9, reach(89)}, {90, 1},
                          {135, 1}, {-20, 0}};
    for (const Case& c : cases) {
        project->Lighting.LightAltitude = c.altitude;
        engine.CellPlants.clear();
        engine.PlantShadows.clear();
        engine.DrawCellEcology(Quad(-100, -100, 100));
        ASSERT_EQ(engine.CellPlants.size(), 1u) << c.altitude;
        const TCellPlant& p = engine.CellPlants[0];
        EXPECT_NEAR(p.ShadowX, p.X, 1e-6) << c.altitude;
        EXPECT_NEAR(p.ShadowZ - p.Z, c.lengthPerSize * p.Size, 1e-9 * p.Size * (1 + c.lengthPerSize)) << c.altitude;
        ASSERT_TRUE(engine.HasPlantShadows());
        double lf = 1.0;
        engine.PlantShadowsOnTexel(p.ShadowX, p.ShadowZ, lf);
        EXPECT_NEAR(lf, 0.6, 1e-12);
        lf = 1.0;
        engine.PlantShadowsOnTexel(p.ShadowX + p.Size / 1.5 + 0.01, p.ShadowZ, lf);
        EXPECT_EQ(lf, 1.0);
    }
    // Two plants on one spot darken it once; drawing the cell forgets them.
    engine.DrawCellEcology(Quad(-100, -100, 100));
    ASSERT_EQ(engine.PlantShadows.size(), 2u);
    double lf = 1.0;
    engine.PlantShadowsOnTexel(engine.CellPlants[0].ShadowX, engine.CellPlants[0].ShadowZ, lf);
    EXPECT_NEAR(lf, 0.6, 1e-12);
    engine.DrawCellPlants(); // no plant types prepared: nothing is drawn
    EXPECT_TRUE(engine.CellPlants.empty());
    EXPECT_FALSE(engine.HasPlantShadows());
}

TEST_F(VegetationTest, TexelShadowTestAgreesWithCheckingEveryPlant)
{
    const int layer = AddLayer(1);
    Layer(layer).DrawPlants = 1;
    Layer(layer).Plants[0] = {kTree, 6, 0};
    project->Lighting.LightAltitude = 40;
    project->Lighting.LightAzimuth = 30;
    for (double density : {1.0, 10.0, 60.0}) {
        Layer(layer).Plants[0].TreeDensity = density;
        engine.DrawCellPlants(); // forgets the previous cell
        for (int i = 0; i < 9; ++i)
            engine.DrawCellEcology(Quad(-100 + (i % 3) * 33.3, -100 + (i / 3) * 33.3, 33.3, float(i * 0.71), float(i * 0.13)));
        ASSERT_FALSE(engine.CellPlants.empty());
        int shaded = 0;
        for (int t = 0; t < 20000; ++t) {
            const double x = -160 + (t % 200) * 1.3, z = -160 + (t / 200) * 1.7;
            bool inside = false;
            for (const TCellPlant& p : engine.CellPlants)
                if (p.Size > 0 && std::hypot(x - p.ShadowX, z - p.ShadowZ) <= p.Size / 1.5 - 1e-9) inside = true;
            double lf = 0.5;
            engine.PlantShadowsOnTexel(x, z, lf);
            if (inside) {
                ASSERT_NEAR(lf, 0.3, 1e-12) << x << "," << z;
                ++shaded;
            } else if (lf != 0.5) {
                // Only a texel right on a disc's rim may go either way.
                bool rim = false;
                for (const TCellPlant& p : engine.CellPlants)
                    rim = rim || std::fabs(std::hypot(x - p.ShadowX, z - p.ShadowZ) - p.Size / 1.5) < 1e-6;
                ASSERT_TRUE(rim) << x << "," << z;
            }
        }
        EXPECT_GT(shaded, 0) << density;
    }
}

TEST_F(VegetationTest, PrepareCreatesPlantsAndPlansFromTheProject)
{
    qxtest::TempDir dir;
    project->Actors.Directory = dir.path().string() + "/";
    project->Actors.Items[0].FarActorSource = "Tree.LS";
    project->Actors.Items[0].MidActorSource = "bush";
    project->Actors.Items[0].NearActorSource = "";
    project->Models.Directory = dir.path().string(); // no trailing separator
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(qRgb(200, 10, 10));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("h.png"))));
    TUrbanPlanDef def;
    def.ID = 5;
    def.PlanXSize = def.PlanYSize = 100;
    def.PlanHeightSize = 20;
    def.PlanHeightSource = def.PlanWallColorSource = def.PlanRoofColorSource = "h.png";
    def.PlanZone = 2;
    project->Urban.Items = {def, def};
    project->Urban.Items[1].PlanRoofColorSource = "missing.png";
    project->Urban.Count = 2;
    project->Fractal.FractalDepth = 9;
    engine.PrepareVegetation();
    ASSERT_EQ(engine.Plants.size(), 2u);
    EXPECT_EQ(engine.Plants[0]->FarFile, dir.file("Tree"));
    EXPECT_EQ(engine.Plants[0]->MidFile, dir.file("bush"));
    EXPECT_EQ(engine.Plants[0]->NearFile, "");
    ASSERT_EQ(engine.UrbanPlans.size(), 2u);
    EXPECT_EQ(engine.UrbanPlans[0]->HeightFile, dir.file("h.png"));
    EXPECT_EQ(engine.UrbanPlans[0]->Loaded, 1);
    EXPECT_EQ(engine.UrbanPlans[1]->Loaded, 0);
    EXPECT_EQ(engine.UrbanPlans[0]->BuildingType, 2);
    EXPECT_EQ(engine.UrbanPlans[0]->DetailLevel, 4);
    EXPECT_FLOAT_EQ(engine.UrbanPlans[0]->HeightScale, 20.0f);
    engine.ResetVegetation();
    EXPECT_TRUE(engine.Plants.empty());
    EXPECT_TRUE(engine.UrbanPlans.empty());
}

TEST_F(VegetationTest, GatheredPlantsAppearInThePicture)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("tree.ls"), "2\n30\n40\nF\nF=F[+F][-F]F\n");
    project->Actors.Directory = dir.path().string();
    for (TActor& a : project->Actors.Items) {
        a.FarActorSource = a.MidActorSource = a.NearActorSource = "tree.ls";
        for (auto& c : a.Colors) c = {0.3f, 0.8f, 0.3f};
    }
    const int layer = AddLayer(1);
    Layer(layer).DrawPlants = 1;
    Layer(layer).Plants[0] = {kTree, 60, 3};
    Layer(layer).Plants[1] = {99, 60, 3};
    WithContext(400, 400, [&] {
        TopView(false); // plants are sized by their height on the screen
        engine.PrepareVegetation();
        // Only slots naming no plant type: their entries are never drawn.
        Layer(layer).Plants[0].TreeDensity = 0;
        engine.DrawCellEcology(Quad(-100, -100, 100));
        ASSERT_FALSE(engine.CellPlants.empty());
        engine.DrawCellPlants();
        EXPECT_EQ(LitPixels(), 0);
        EXPECT_EQ(engine.Plants[0]->ParserRuns(), 0);
        // Trees cover part of the picture.
        Layer(layer).Plants[0].TreeDensity = 3;
        Layer(layer).Plants[1].TreeDensity = 0;
        engine.DrawCellEcology(Quad(-100, -100, 100));
        ASSERT_FALSE(engine.CellPlants.empty());
        engine.DrawCellPlants();
        EXPECT_GT(LitPixels(), 20);
        EXPECT_GE(engine.Plants[0]->ParserRuns(), 1);
    });
}

// A cell's plants go out as one batch; the picture is that of drawing them one by one.
TEST_F(VegetationTest, ACellsPlantsInOneBatchDrawThePictureOfOneByOne)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("tree.ls"), "3\n30\n40\nA\nA=F[+'A][-''A]\nA=F[&A]'~\n@\n");
    project->Actors.Directory = dir.path().string();
    for (TActor& a : project->Actors.Items) {
        a.FarActorSource = a.MidActorSource = a.NearActorSource = "tree.ls";
        for (int c = 0; c < 16; ++c) a.Colors[c] = {0.1f + c / 20.0f, 0.8f - c / 30.0f, 0.3f};
        a.HueVariability = 0.3;
        a.BrightnessVariability = 0.2;
    }
    project->Atmosphere.Ambient = 0.5;
    project->Atmosphere.Diffuse = 0.7;
    const int layer = AddLayer(1);
    Layer(layer).DrawPlants = 1;
    Layer(layer).Plants[0] = {kTree, 40, 40};
    Layer(layer).Plants[1] = {kBush, 25, 40};
    WithContext(400, 400, [&] {
        const TGLEntryPoints& gl = GL();
        auto picture = [&](bool batched) {
            TopView(false);
            gl.glEnable(GL_DEPTH_TEST);
            gl.glClear(GL_DEPTH_BUFFER_BIT);
            engine.PrepareVegetation();
            engine.DrawCellEcology(Quad(-100, -100, 100));
            engine.DrawCellEcology(Quad(0, -100, 100));
            EXPECT_GT(engine.CellPlants.size(), 4u);
            SetRandSeed(4242); // the shapes' seeds
            if (batched) {
                engine.DrawCellPlants();
            } else {
                for (const TCellPlant& e : engine.CellPlants) {
                    TPlant& plant = *engine.Plants[e.PlantIndex];
                    const TVector3 at = MakeVector3(e.X, e.Y, e.Z);
                    plant.VaryPlantColor(e.PlantIndex, at);
                    plant.DrawPlant(at, e.HazeColour, e.HazeAmount, e.LightFactor, e.Size);
                }
                engine.CellPlants.clear();
            }
            gl.glFinish();
            std::vector<unsigned char> pixels(400 * 400 * 4);
            gl.glReadPixels(0, 0, 400, 400, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            gl.glDisable(GL_DEPTH_TEST);
            return pixels;
        };
        const auto single = picture(false);
        const auto batched = picture(true);
        EXPECT_GT(LitPixels(), 1000);
        EXPECT_TRUE(single == batched);
        EXPECT_EQ(engine.PlantBatch.VertexCount(), 0u);
    });
}

TEST_F(VegetationTest, BuildingsNeedAVisibleDryCellAndAreDrawnOncePerPiece)
{
    const int layer = AddLayer(1);
    Layer(layer).Urban = 1;
    Layer(layer).UrbanPlan = 5;
    TUrbanPlanDef def;
    def.ID = 5;
    project->Urban.Items = {def};
    project->Urban.Count = 1;
    struct Case {
        const char* name;
        std::function<void(TCellGeometry&)> change;
        int drawn;
    };
    const Case cases[] = {
        {"visible", [](TCellGeometry&) {}, 1},
        {"near only", [](TCellGeometry& q) { q.Visible = 0, q.NearCamera = 1; }, 0},
        {"flooded", [](TCellGeometry& q) { q.CornerFlooded[0] = 1; }, 0},
        {"water edge", [](TCellGeometry& q) { q.CornerWaterEdge[0] = 1; }, 0},
    };
    WithContext(400, 400, [&] {
        for (const Case& c : cases) {
            engine.UrbanPlans.clear();
            auto plan = std::make_unique<TUrbanPlan>();
            plan->SetProject(&project);
            plan->PlanXSize = plan->PlanYSize = 1000;
            plan->HeightScale = 30;
            plan->HeightPicture = plan->WallPicture = plan->RoofPicture = QImage(1, 1, QImage::Format_RGB32);
            plan->HeightPicture.fill(qRgb(255, 255, 255));
            plan->Loaded = 1;
            engine.UrbanPlans.push_back(std::move(plan));
            TopView();
            TCellGeometry cell = Quad(-100, -100, 100);
            c.change(cell);
            engine.UrbanDrawn = 0;
            engine.DrawCellUrbanAt(cell);
            engine.DrawCellUrbanAt(cell); // the second sub-quad of the same piece
            EXPECT_EQ(engine.UrbanDrawn, c.drawn) << c.name;
            EXPECT_EQ(LitPixels() > 0, c.drawn > 0) << c.name;
        }
        // A plan that did not load, a layer naming no plan, or models switched off: nothing.
        TCellGeometry cell = Quad(-100, -100, 100);
        engine.UrbanPlans[0]->Loaded = 0;
        engine.UrbanDrawn = 0;
        engine.DrawCellUrbanAt(cell);
        EXPECT_EQ(engine.UrbanDrawn, 0);
        engine.UrbanPlans[0]->Loaded = 1;
        Layer(layer).UrbanPlan = 6;
        engine.DrawCellUrbanAt(cell);
        EXPECT_EQ(engine.UrbanDrawn, 0);
        Layer(layer).UrbanPlan = 5;
        project->Fractal.DrawNoModels = 1;
        engine.DrawCellUrbanAt(cell);
        EXPECT_EQ(engine.UrbanDrawn, 0);
    });
}

} // namespace
