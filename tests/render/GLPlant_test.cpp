#include "render/GLPlant.h"

#include "platform/GLEntryPoints.h"
#include "platform/LSystem.h"
#include "project/MathUtils.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "render/rrColors.h"
#include "support/TestSupport.h"
#include "GLTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace {

class PlantTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = new TProject();
        project->Atmosphere.Ambient = 1.0; // lit colour = palette colour unless a test says otherwise
        project->Atmosphere.Diffuse = 0.0;
        project->Actors.Items.resize(1);
        project->Actors.Count = 1;
        qxtest::WriteFileText(dir.file("far.ls"), "0\n90\n50\nF\n");      // 4 triangles
        qxtest::WriteFileText(dir.file("mid.ls"), "0\n90\n50\nFF\n");     // 8
        qxtest::WriteFileText(dir.file("near.ls"), "0\n90\n50\nFFF\n");   // 12
        qxtest::WriteFileText(dir.file("flat.ls"), "0\n90\n50\n&{.f+.f+.}\n"); // no height at all
    }
    void TearDown() override
    {
        delete project;
        UnloadOpenGLLibraries();
    }
    void Files(TPlant& plant)
    {
        plant.SetProject(&project);
        plant.FarFile = dir.file("far");
        plant.MidFile = dir.file("mid");
        plant.NearFile = dir.file("near");
    }
    void WithContext(int width, int height, const std::function<void()>& body) { qxtest::WithGLContext(width, height, body); }
    // Window coordinates equal world x and y.
    static void Ortho(int size)
    {
        const TGLEntryPoints& gl = GL();
        gl.glViewport(0, 0, size, size);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.glOrtho(0, size, 0, size, -100, 100);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        gl.glDisable(GL_DEPTH_TEST);
        gl.glDisable(GL_LIGHTING);
        gl.glDisable(GL_TEXTURE_2D);
        gl.glClearColor(0, 0, 0, 1);
        gl.glClear(GL_COLOR_BUFFER_BIT);
    }
    static void Perspective(int size)
    {
        const TGLEntryPoints& gl = GL();
        gl.glViewport(0, 0, size, size);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.gluPerspective(60, 1, 0.1, 100);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        gl.gluLookAt(0, 0, 10, 0, 0, 0, 0, 1, 0);
    }
    static std::array<int, 3> Pixel(int x, int y)
    {
        const TGLEntryPoints& gl = GL();
        gl.glFinish();
        unsigned char p[4] = {};
        gl.glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }
    // The screen size measured the slow way, with OpenGL feedback.
    static double FeedbackSize(const TVector3& p, double height)
    {
        const TGLEntryPoints& gl = GL();
        GLfloat buffer[8] = {};
        gl.glFeedbackBuffer(8, GL_3D, buffer);
        gl.glRenderMode(GL_FEEDBACK);
        gl.glBegin(GL_POINTS);
        gl.glVertex3f(p.X, p.Y, p.Z);
        gl.glVertex3f(p.X, float(p.Y + height), p.Z);
        gl.glEnd();
        const int n = gl.glRenderMode(GL_RENDER);
        std::vector<float> ys;
        for (int i = 0; i + 4 <= n; i += 4)
            if (buffer[i] == GL_POINT_TOKEN) ys.push_back(buffer[i + 2]);
        if (ys.size() == 2) return std::fabs(ys[0] - ys[1]);
        return ys.size() == 1 ? 256.0 : 0.0;
    }

    qxtest::TempDir dir;
    TProject* project = nullptr;
};

TEST_F(PlantTest, FileIsChosenByTheHeightOnTheScreen)
{
    struct Case {
        double height;
        const char* file; // nullptr: nothing loaded
        int triangles;
    };
    const Case cases[] = {
        {0.4, nullptr, 0}, {0.5, nullptr, 0}, {10, "far", 4}, {15.9, "far", 4}, {16, "mid", 8},
        {20, "mid", 8},    {31.9, "mid", 8},  {32, "near", 12}, {100, "near", 12},
    };
    WithContext(256, 256, [&] {
        Ortho(256);
        for (const Case& c : cases) {
            TPlant plant;
            Files(plant);
            plant.DrawPlant(MakeVector3(100, 10, 0), {}, {}, 1.0, c.height);
            if (!c.file) {
                EXPECT_EQ(plant.CurrentShape(), nullptr) << c.height;
                EXPECT_EQ(plant.ParserRuns(), 0) << c.height;
                continue;
            }
            ASSERT_NE(plant.CurrentShape(), nullptr) << c.height;
            EXPECT_EQ(plant.CurrentFile(), dir.file(c.file)) << c.height;
            EXPECT_EQ(plant.CurrentShape()->Count(), c.triangles) << c.height;
        }
        // An empty name keeps the shape drawn last.
        TPlant plant;
        Files(plant);
        plant.DrawPlant(MakeVector3(100, 10, 0), {}, {}, 1.0, 40);
        plant.MidFile.clear();
        plant.DrawPlant(MakeVector3(100, 10, 0), {}, {}, 1.0, 20);
        EXPECT_EQ(plant.CurrentFile(), dir.file("near"));
    });
}

TEST_F(PlantTest, ScreenSizeAgreesWithFeedbackInFrontBehindAndHalfIn)
{
    struct Case {
        TVector3 point;
        double height;
        double expected; // < 0: anything in the view
    };
    const Case cases[] = {
        {{0, 0, 0}, 1, -1},     // both points in view
        {{1, -2, 3}, 2.5, -1},
        {{0, 0, 20}, 1, 0},     // behind the camera
        {{0, 0, 0}, 1000, 256}, // the top leaves the view volume
    };
    WithContext(200, 200, [&] {
        Perspective(200);
        TPlant plant;
        Files(plant);
        for (const Case& c : cases) {
            const double size = plant.EstimateScreenSize(c.point, c.height);
            EXPECT_NEAR(size, FeedbackSize(c.point, c.height), 1e-3) << c.height;
            if (c.expected >= 0) {
                EXPECT_EQ(size, c.expected) << c.height;
            }
        }
        // A plant behind the camera draws the shape it already has; a half-visible one the near file.
        plant.DrawPlant(MakeVector3(0, 0, 0), {}, {}, 1.0, 1000);
        EXPECT_EQ(plant.CurrentFile(), dir.file("near"));
        plant.FarFile = dir.file("flat");
        plant.DrawPlant(MakeVector3(0, 0, 20), {}, {}, 1.0, 1);
        EXPECT_EQ(plant.CurrentFile(), dir.file("near"));
        EXPECT_EQ(plant.ParserRuns(), 1);
    });
}

TEST_F(PlantTest, PaletteLookupsAndVariation)
{
    TPlant plant;
    plant.SetProject(&project);
    for (auto [index, grey] : {std::pair{-1, true}, std::pair{0, false}, std::pair{15, false}, std::pair{16, true}}) {
        TFloatRGB c;
        plant.GetPlantColor(index, c);
        if (grey) {
            EXPECT_FLOAT_EQ(c.R, 0.5f);
            EXPECT_FLOAT_EQ(c.G, 0.5f);
            EXPECT_FLOAT_EQ(c.B, 0.5f);
        } else {
            EXPECT_FLOAT_EQ(c.B, plant.Palette[index].B);
        }
    }
    TActor& actor = project->Actors.Items[0];
    for (int c = 0; c < 16; ++c) actor.Colors[c] = {c / 15.0f, 0.6f, 0.2f};
    actor.Colors[3] = {1.5f, -0.5f, 0.3f}; // outside 0 .. 1: clamped, not an error
    plant.VaryPlantColor(0, MakeVector3(12.3f, 4.5f, 6.7f));
    for (int c = 0; c < 16; ++c) {
        if (c == 3) continue;
        EXPECT_NEAR(plant.Palette[c].R, actor.Colors[c].R, 1e-5) << c;
        EXPECT_NEAR(plant.Palette[c].G, actor.Colors[c].G, 1e-5) << c;
        EXPECT_NEAR(plant.Palette[c].B, actor.Colors[c].B, 1e-5) << c;
    }
    EXPECT_NEAR(plant.Palette[3].R, 1.0, 1e-5);
    EXPECT_NEAR(plant.Palette[3].G, 0.0, 1e-5);

    // Hue varies alone: every colour keeps its lightness, some change.
    actor.HueVariability = 0.3;
    int changed = 0;
    for (float x : {0.13f, 0.41f, 0.77f}) {
        plant.VaryPlantColor(0, MakeVector3(x, 0.29f, 0.58f));
        for (int c = 1; c < 15; ++c) {
            if (c == 3) continue;
            TColorTriple in, out;
            RGBToHLS({actor.Colors[c].R, actor.Colors[c].G, actor.Colors[c].B}, in);
            RGBToHLS({plant.Palette[c].R, plant.Palette[c].G, plant.Palette[c].B}, out);
            EXPECT_NEAR(out[1], in[1], 1e-5) << c;
            changed += std::fabs(plant.Palette[c].R - actor.Colors[c].R) > 1e-3;
        }
    }
    EXPECT_GT(changed, 0);
    // An index that names no plant type keeps the palette.
    const TFloatRGB before = plant.Palette[7];
    plant.VaryPlantColor(1, MakeVector3(0.5f, 0.5f, 0.5f));
    plant.VaryPlantColor(-1, MakeVector3(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(plant.Palette[7].R, before.R);
}

TEST_F(PlantTest, ShadingLightsBothFacesAlikeAndHazeBlends)
{
    TPlant plant;
    plant.SetProject(&project);
    project->Atmosphere.Ambient = 0.2;
    project->Atmosphere.Diffuse = 0.8;
    // The engine's sun: horizontal part (sin Az, -cos Az), vertical part cos(altitude).
    const TVector3 sun = TPlant::SunDirectionFor(0, 0);
    EXPECT_NEAR(sun.X, 0.0, 1e-6);
    EXPECT_NEAR(sun.Y, std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(sun.Z, -std::sqrt(0.5), 1e-6);
    const TFloatRGB c{0.5f, 1.0f, 0.25f};
    const TFloatRGB up = plant.ShadePlantColour(c, sun, sun, 1.0);
    const TFloatRGB down = plant.ShadePlantColour(c, ScaleVector(sun, -1.0), sun, 1.0);
    const TFloatRGB side = plant.ShadePlantColour(c, {1, 0, 0}, sun, 1.0);
    EXPECT_NEAR(up.G, 0.2 + 0.8 * 0.5, 1e-6);
    EXPECT_FLOAT_EQ(up.R, down.R);
    EXPECT_NEAR(side.G, 0.2, 1e-6);
    plant.HazeColour[0] = 1.0f;
    plant.HazeAmount[0] = 0.5f;
    plant.HazeAmount[1] = 2.0f; // blends past the haze colour are clamped
    const TFloatRGB hazed = plant.ApplyHaze({0.2f, 0.8f, 0.4f});
    EXPECT_NEAR(hazed.R, 0.6, 1e-6);
    EXPECT_FLOAT_EQ(hazed.G, 0.0f);
    EXPECT_FLOAT_EQ(hazed.B, 0.4f);
}

TEST_F(PlantTest, PlantAppearsInThePictureInItsColourAndHaze)
{
    project->Actors.Items[0].Colors[0] = {0.2f, 0.6f, 0.4f};
    WithContext(64, 64, [&] {
        Ortho(64);
        TPlant plant;
        Files(plant);
        plant.VaryPlantColor(0, MakeVector3(1, 2, 3));
        const GLboolean culledBefore = GL().glIsEnabled(GL_CULL_FACE);
        plant.DrawPlant(MakeVector3(32, 10, 0), {}, {}, 1.0, 40); // near file: a trunk 40 high
        EXPECT_EQ(GL().glIsEnabled(GL_CULL_FACE), culledBefore);
        const auto trunk = Pixel(32, 30);
        EXPECT_NEAR(trunk[0], 51, 2);
        EXPECT_NEAR(trunk[1], 153, 2);
        EXPECT_NEAR(trunk[2], 102, 2);
        EXPECT_EQ(Pixel(32, 55), (std::array<int, 3>{0, 0, 0})); // above the top
        EXPECT_EQ(Pixel(5, 30), (std::array<int, 3>{0, 0, 0}));  // beside it

        GL().glEnable(GL_CULL_FACE);
        plant.DrawPlant(MakeVector3(32, 10, 0), MakeVector3(1, 0, 0), MakeVector3(1, 1, 1), 1.0, 40);
        EXPECT_TRUE(GL().glIsEnabled(GL_CULL_FACE));
        EXPECT_EQ(Pixel(32, 30), (std::array<int, 3>{255, 0, 0}));
    });
}

// The batch of triangles draws the same picture as one GL_POLYGON per polygon.
TEST_F(PlantTest, BatchedTrianglesDrawTheSamePictureAsOnePolygonEach)
{
    qxtest::WriteFileText(dir.file("bush.ls"), "3\n35\n30\nF\nF=F[+F'~][-F''~][&F~]\n");
    project->Atmosphere.Ambient = 0.3;
    project->Atmosphere.Diffuse = 0.9;
    project->Lighting.LightAzimuth = 40;
    project->Lighting.LightAltitude = 35;
    for (int c = 0; c < 16; ++c) project->Actors.Items[0].Colors[c] = {c / 16.0f, 0.7f, 1 - c / 16.0f};
    WithContext(128, 128, [&] {
        const TGLEntryPoints& gl = GL();
        auto read = [&] {
            gl.glFinish();
            std::vector<unsigned char> pixels(128 * 128 * 4);
            gl.glReadPixels(0, 0, 128, 128, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            return pixels;
        };
        Ortho(128);
        TPlant plant;
        Files(plant);
        plant.NearFile = dir.file("bush");
        plant.VaryPlantColor(0, MakeVector3(3, 4, 5));
        const TVector3 at = MakeVector3(64, 10, 0), haze = MakeVector3(0.2f, 0.3f, 0.9f), amount = MakeVector3(0.3f, 0.2f, 0.1f);
        plant.DrawPlant(at, haze, amount, 0.8, 100);
        const auto batched = read();
        const TPlantShape* shape = plant.CurrentShape();
        ASSERT_NE(shape, nullptr);
        ASSERT_GT(shape->Count(), 50);

        Ortho(128);
        const float k = float(100 / shape->Extent);
        const TVector3 sun = TPlant::SunDirectionFor(40, 35);
        for (int i = 0; i < shape->Count(); ++i) {
            TFloatRGB base;
            plant.GetPlantColor(shape->Colours[i], base);
            const TFloatRGB c = plant.ApplyHaze(plant.ShadePlantColour(base, shape->Normals[i], sun, 0.8));
            gl.glBegin(GL_POLYGON);
            gl.glColor3f(c.R, c.G, c.B);
            for (int j = 0; j < 3; ++j) {
                const float* v = &shape->Vertices[i * 9 + j * 3];
                gl.glVertex3f(at.X + v[0] * k, at.Y + v[1] * k, at.Z + v[2] * k);
            }
            gl.glEnd();
        }
        const auto single = read();
        int lit = 0;
        for (size_t i = 0; i < batched.size(); i += 4) lit += batched[i] + batched[i + 1] + batched[i + 2] > 0;
        EXPECT_GT(lit, 100);
        EXPECT_TRUE(batched == single);
    });
}

TEST_F(PlantTest, BadAndFlatFilesDrawNothingAndAreReadOnce)
{
    WithContext(64, 64, [&] {
        Ortho(64);
        TPlant plant;
        Files(plant);
        plant.NearFile = dir.file("missing");
        for (int i = 0; i < 10; ++i) plant.DrawPlant(MakeVector3(32, 10, 0), {}, {}, 1.0, 40);
        EXPECT_EQ(plant.CurrentShape(), nullptr);
        EXPECT_EQ(plant.ParserRuns(), 1);
        plant.NearFile = dir.file("flat");
        plant.DrawPlant(MakeVector3(32, 10, 0), {}, {}, 1.0, 40);
        ASSERT_NE(plant.CurrentShape(), nullptr);
        EXPECT_EQ(plant.CurrentShape()->Extent, 0.0f);
        for (int x = 0; x < 64; x += 4)
            for (int y = 0; y < 64; y += 4) ASSERT_EQ(Pixel(x, y), (std::array<int, 3>{0, 0, 0}));
        // A forest of one file whose rules leave nothing to chance expands it once.
        plant.NearFile = dir.file("NEAR"); // found whatever the case
        SetRandSeed(5);
        for (int i = 0; i < 60; ++i) plant.DrawPlant(MakeVector3(32, 10, 0), {}, {}, 1.0, 40);
        EXPECT_EQ(plant.ParserRuns(), 3);
        ASSERT_NE(plant.CurrentShape(), nullptr);
        EXPECT_EQ(plant.CurrentShape()->Count(), 12);
    });
}

// A stochastic file: every plant its own seed from the shared generator, so two plants differ;
// the cache gives exactly the shapes the parser grows for each seed.
TEST_F(PlantTest, EveryPlantGrowsFromItsOwnSeedAndTheCacheGivesTheSamePlants)
{
    qxtest::WriteFileText(dir.file("wild.ls"), "5\n30\n20\nA\nA=F[+A]\nA=F[-A]A\nA=F[&A][^A]\n@\n");
    WithContext(64, 64, [&] {
        Ortho(64);
        TPlant plant;
        Files(plant);
        plant.NearFile = dir.file("wild");
        SetRandSeed(11);
        std::vector<std::vector<float>> drawn;
        for (int i = 0; i < 8; ++i) {
            plant.DrawPlant(MakeVector3(32, 10, 0), {}, {}, 1.0, 40);
            ASSERT_NE(plant.CurrentShape(), nullptr);
            drawn.push_back(plant.CurrentShape()->Vertices);
        }
        EXPECT_EQ(plant.ParserRuns(), 8);
        int different = 0;
        for (size_t i = 1; i < drawn.size(); ++i) different += drawn[i] != drawn[0];
        EXPECT_GE(different, 5);
        // The seeds were the generator's next eight draws below 2147483647.
        SetRandSeed(11);
        for (const auto& vertices : drawn) {
            const int32_t seed = Random(2147483647);
            auto buf = std::make_unique<TLParserBuffer>();
            ASSERT_TRUE(getLParserData((dir.file("wild") + ".ls").c_str(), seed, 0, buf.get()));
            ASSERT_EQ(vertices.size(), size_t(buf->Count) * 9);
            const TLParserPolygon& last = buf->Polygons[buf->Count - 1];
            EXPECT_EQ(vertices[vertices.size() - 3], last.Vertices[2][0]);
            EXPECT_EQ(vertices[vertices.size() - 1], last.Vertices[2][1]);
        }
    });

    // The same seeds through a cache, a cache that keeps nothing, and one that must evict.
    TPlantShapeCache kept, none(0), small(40);
    struct Case { const char* file; int32_t seed; };
    const Case cases[] = {{"wild", 1}, {"wild", 2}, {"wild", 1}, {"near", 7}, {"wild", 99}, {"near", 8},
                          {"wild", 2}, {"wild", 123456789}, {"wild", 1}, {"near", 7}};
    for (const Case& c : cases) {
        const auto a = kept.Shape(dir.file(c.file), c.seed);
        const auto b = none.Shape(dir.file(c.file), c.seed);
        const auto d = small.Shape(dir.file(c.file), c.seed);
        ASSERT_TRUE(a && b && d) << c.file << c.seed;
        EXPECT_EQ(a->Vertices, b->Vertices) << c.file << c.seed;
        EXPECT_EQ(a->Colours, b->Colours) << c.file << c.seed;
        EXPECT_EQ(d->Vertices, b->Vertices) << c.file << c.seed;
        EXPECT_EQ(a->Extent, b->Extent) << c.file << c.seed;
    }
    EXPECT_EQ(kept.Shapes(), 5u); // wild 1, 2, 99, 123456789; near once for every seed
    EXPECT_EQ(none.Shapes(), 0u);
    EXPECT_LE(small.Triangles(), 40u + 0u);
    bool parsed = true;
    kept.Shape(dir.file("wild"), 2, &parsed);
    EXPECT_FALSE(parsed);

    // An edited file grows anew; an unchanged one is kept.
    kept.ForgetChangedFiles();
    EXPECT_EQ(kept.Shapes(), 5u);
    qxtest::WriteFileText(dir.file("near.ls"), "0\n90\n50\nFFFF\n");
    kept.ForgetChangedFiles();
    EXPECT_EQ(kept.Shapes(), 4u);
    EXPECT_EQ(kept.Shape(dir.file("near"), 7)->Count(), 16);
}

// Plants gathered into one batch draw the picture of drawing them one by one, overlaps included.
TEST_F(PlantTest, ABatchOfPlantsDrawsThePictureOfDrawingThemOneByOne)
{
    qxtest::WriteFileText(dir.file("wild.ls"), "4\n30\n30\nA\nA=F[+'~A]\nA=F[-''~A]A\nA=F[&A][^'~A]\n@\n");
    project->Atmosphere.Ambient = 0.4;
    project->Atmosphere.Diffuse = 0.8;
    project->Lighting.LightAzimuth = 120;
    project->Lighting.LightAltitude = 50;
    for (int c = 0; c < 16; ++c) project->Actors.Items[0].Colors[c] = {c / 16.0f, 0.6f, 1 - c / 20.0f};
    struct Spot { TVector3 at; double height; };
    const Spot spots[] = {{MakeVector3(30, 5, 0), 60}, {MakeVector3(40, 8, 10), 70}, {MakeVector3(80, 2, -20), 90},
                          {MakeVector3(60, 30, 5), 8}, {MakeVector3(100, 12, 30), 25}, {MakeVector3(50, 10, 0), 0.2}};
    WithContext(128, 128, [&] {
        const TGLEntryPoints& gl = GL();
        auto draw = [&](bool batched) {
            Ortho(128);
            gl.glEnable(GL_DEPTH_TEST);
            gl.glClear(GL_DEPTH_BUFFER_BIT);
            TPlant plant;
            Files(plant);
            plant.NearFile = plant.MidFile = dir.file("wild");
            TPlantBatch batch;
            SetRandSeed(77);
            for (const Spot& s : spots) {
                plant.VaryPlantColor(0, s.at);
                const TVector3 haze = MakeVector3(0.7f, 0.8f, 0.9f), amount = MakeVector3(0.1f, 0.2f, 0.3f);
                if (batched)
                    plant.AddPlant(batch, s.at, haze, amount, 0.9, s.height);
                else
                    plant.DrawPlant(s.at, haze, amount, 0.9, s.height);
            }
            EXPECT_EQ(batch.VertexCount() > 0, batched);
            batch.Draw();
            EXPECT_EQ(batch.VertexCount(), 0u);
            gl.glFinish();
            std::vector<unsigned char> pixels(128 * 128 * 4);
            gl.glReadPixels(0, 0, 128, 128, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            gl.glDisable(GL_DEPTH_TEST);
            return pixels;
        };
        const auto single = draw(false);
        const auto batched = draw(true);
        int lit = 0;
        for (size_t i = 0; i < single.size(); i += 4) lit += single[i] + single[i + 1] + single[i + 2] > 0;
        EXPECT_GT(lit, 500);
        EXPECT_TRUE(single == batched);
        EXPECT_FALSE(gl.glIsEnabled(GL_VERTEX_ARRAY));
        EXPECT_FALSE(gl.glIsEnabled(GL_COLOR_ARRAY));
    });
}

} // namespace
