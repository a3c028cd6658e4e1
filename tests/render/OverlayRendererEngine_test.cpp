#include "render/OverlayRendererEngine.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "shell/BaseUnit.h"
#include "support/TestSupport.h"
#include "support/MessageLog.h"

#include <QImage>
#include <QObject>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using RecordingStatus = qxtest::TStatusLog;

struct RecordingPrompt : qxtest::TMessageLog {
    RecordingPrompt() { answer = TAnswer::No; }
};

struct OverlaySetup {
    QRgb colour;
    uint8_t draw = 1;
    uint8_t mode = 1;
    double transparency = 1.0;
    int32_t key = 0;
};

constexpr int kWidth = 64, kHeight = 48;
constexpr int kCells = 16 * 16; // a 17 x 17 grid

// A texel colour as the flat grid shows it: global ambient 0.2 plus the sun's diffuse light at
// 45 degrees.
QRgb Lit(int r, int g, int b)
{
    const double f = 0.2 + std::sqrt(0.5);
    return qRgb(static_cast<int>(r * f), static_cast<int>(g * f), static_cast<int>(b * f));
}

int Channel(QRgb c, int k) { return k == 0 ? qRed(c) : (k == 1 ? qGreen(c) : qBlue(c)); }

::testing::AssertionResult Near(QRgb actual, QRgb expected, int tolerance = 3)
{
    for (int k = 0; k < 3; ++k)
        if (std::abs(Channel(actual, k) - Channel(expected, k)) > tolerance)
            return ::testing::AssertionFailure() << "got (" << qRed(actual) << ", " << qGreen(actual) << ", "
                                                 << qBlue(actual) << "), expected (" << qRed(expected) << ", "
                                                 << qGreen(expected) << ", " << qBlue(expected) << ")";
    return ::testing::AssertionSuccess();
}

class OverlayEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        previousStatus_ = SetStatusSink(&status);
        previousPrompt_ = SetPrompt(&prompt);
        project = new TProject();
        ASSERT_TRUE(project->NewGrid(17, 17, 10.0, 10.0));
        project->WorldScale = 1.0;
        project->Grid.VerticalScale = 1.0;
        for (int c = 0; c < 17; ++c)
            for (int r = 0; r < 17; ++r)
                project->Grid.Cells[c][r].Height = 0.0;
        // Looking at the middle of a flat grid with the horizon in the upper part of the picture;
        // no fog. The sun light (altitude 0) comes in at 45 degrees, so a texel shows at Lit().
        project->Camera.Eye = {0, 30, 120};
        project->Camera.Target = {0, 0, 0};
        project->Camera.Perspective = 90.0;
        project->Lighting.LightAltitude = 0.0;
        project->Atmosphere.FogDensity = 0.0;
        project->Fractal.FractalDepth = 1;
        project->Overlays.Directory = dir.path().string() + "/";
        project->Overlays.Items.clear();
        engine.SetProject(&project);
    }
    void TearDown() override
    {
        SetStatusSink(previousStatus_);
        SetPrompt(previousPrompt_);
        delete project;
        UnloadOpenGLLibraries();
    }
    void AddOverlay(const OverlaySetup& setup)
    {
        const int index = static_cast<int>(project->Overlays.Items.size());
        const std::string name = "overlay" + std::to_string(index) + ".bmp";
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(setup.colour);
        ASSERT_TRUE(picture.save(QString::fromStdString(dir.file(name)), "BMP"));
        TOverlayImage overlay;
        overlay.FileName = name;
        overlay.Name = "Overlay " + std::to_string(index);
        overlay.DrawOverlay = setup.draw;
        overlay.TransparencyMode = setup.mode;
        overlay.Transparency = setup.transparency;
        overlay.TransparencyColor = setup.key;
        project->Overlays.Items.push_back(overlay);
        project->Overlays.Count = static_cast<int32_t>(project->Overlays.Items.size());
    }
    // One render through a bitmap-path panel; the picture it leaves.
    QImage Render(TOverlayRenderEngine& with)
    {
        TGLPanel panel;
        panel.resize(kWidth, kHeight);
        panel.SetGLFlags(SetOf(GLf_DRAW_TO_BITMAP) | SetOf(GLf_SUPPORT_GDI) | SetOf(GLf_SUPPORT_OPENGL));
        panel.OnGLInit = [](TGLPanel&) {
            GL().glEnable(GL_DEPTH_TEST);
            GL().glEnable(GL_CULL_FACE);
        };
        panel.OnGLDraw = [&](TGLPanel& p) { with.Render(p); };
        panel.Redraw();
        return panel.Picture().convertToFormat(QImage::Format_RGB32);
    }
    QImage Render() { return Render(engine); }
    static QRgb Centre(const QImage& image) { return image.pixel(kWidth / 2, kHeight / 2); }
    static QRgb Top(const QImage& image) { return image.pixel(kWidth / 2, 1); }

    qxtest::TempDir dir;
    RecordingStatus status;
    RecordingPrompt prompt;
    TProject* project = nullptr;
    TOverlayRenderEngine engine;
    IStatusSink* previousStatus_ = nullptr;
    IPrompt* previousPrompt_ = nullptr;
};

// ---- Main paths --------------------------------------------------------------------------------

TEST_F(OverlayEngineTest, OverlaysAreDrapedAndBlendedInIndexOrder)
{
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
    struct Case {
        const char* name;
        std::vector<OverlaySetup> overlays;
        QRgb centre;
        std::vector<int> drawn;
    };
    const Case cases[] = {
        // Alpha Round(255 x 0.5) = 128 of green over red.
        {"one opaque", {{red}}, Lit(255, 0, 0), {0}},
        {"the first drawn is opaque even with transparency", {{red, 1, 1, 0.0}}, Lit(255, 0, 0), {0}},
        {"second blended by its amount", {{red}, {green, 1, 1, 0.5}}, Lit(127, 128, 0), {0, 1}},
        {"second fully opaque covers", {{red}, {green, 1, 1, 1.0}}, Lit(0, 255, 0), {0, 1}},
        {"key colour of the second is see-through", {{red}, {blue, 1, 0, 0.0, 0xFF0000}}, Lit(255, 0, 0), {0, 1}},
        {"other colours than the key stay opaque", {{red}, {green, 1, 0, 0.0, 0xFF0000}}, Lit(0, 255, 0), {0, 1}},
        {"switched-off overlays are skipped", {{green, 0}, {red}, {blue, 0}}, Lit(255, 0, 0), {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        project->Overlays.Items.clear();
        for (const OverlaySetup& setup : c.overlays)
            AddOverlay(setup);
        status.operations.clear();
        const QImage picture = Render();
        EXPECT_TRUE(Near(Centre(picture), c.centre));
        EXPECT_EQ(engine.DrawnOverlays, c.drawn);
        EXPECT_EQ(engine.QuadCount, kCells * static_cast<int>(c.drawn.size()));
        ASSERT_FALSE(status.operations.empty());
        EXPECT_EQ(status.operations.back(),
                  "Completed: " + std::to_string(4 * kCells * c.drawn.size()) + " triangles");
        EXPECT_EQ(status.progress.back(), 0);
    }
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(OverlayEngineTest, WithoutOverlaysOnlyTheSkyIsDrawn)
{
    const QImage sky = Render();
    ASSERT_EQ(sky.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(engine.QuadCount, 0);
    EXPECT_EQ(status.operations.back(), "Completed: 0 triangles");
    // The dome is drawn: above the horizon no white clear colour is left.
    EXPECT_NE(Top(sky), qRgb(255, 255, 255));
    EXPECT_LT(qRed(Top(sky)), 255);

    AddOverlay({qRgb(255, 0, 0), 0});
    EXPECT_EQ(Render(), sky) << "a switched-off overlay draws nothing";
    AddOverlay({qRgb(255, 0, 0)});
    const QImage draped = Render();
    EXPECT_EQ(Top(draped), Top(sky)) << "the sky above the grid's far edge stays";
    EXPECT_NE(Centre(draped), Centre(sky));
}

TEST_F(OverlayEngineTest, SameProjectSameSizeSamePicture)
{
    AddOverlay({qRgb(200, 40, 10)});
    AddOverlay({qRgb(10, 90, 250), 1, 1, 0.3});
    project->Atmosphere.FogDensity = 0.4;
    project->Lighting.LightAltitude = 40.0;
    for (int c = 0; c < 17; ++c)
        for (int r = 0; r < 17; ++r)
            project->Grid.Cells[c][r].Height = 8.0 * std::sin(c * 0.7) * std::cos(r * 0.5);
    const QImage first = Render();
    const QImage second = Render();
    EXPECT_EQ(first, second);
}

TEST_F(OverlayEngineTest, RowBatchesDrawWhatOneFanPerCellDraws)
{
    AddOverlay({qRgb(200, 40, 10)});
    AddOverlay({qRgb(10, 90, 250), 1, 1, 0.3});
    project->Atmosphere.FogDensity = 0.4;
    project->Lighting.LightAltitude = 40.0;
    for (int c = 0; c < 17; ++c)
        for (int r = 0; r < 17; ++r) {
            project->Grid.Cells[c][r].Height = 8.0 * std::sin(c * 0.7) * std::cos(r * 0.5);
            project->Grid.Cells[c][r].InShadow = 0;
        }
    project->Atmosphere.ShadowDepth = 0.5;
    for (const auto& [eyeZ, what] : {std::pair{100.0f, "rows ascending"}, std::pair{-100.0f, "rows descending"}}) {
        SCOPED_TRACE(what);
        project->Camera.Eye.Z = eyeZ;
        TOverlayRenderEngine single;
        single.SetProject(&project);
        single.BatchCells = false;
        project->ShadowsOutOfDate = 1;
        const QImage batched = Render(engine);
        project->ShadowsOutOfDate = 1;
        const QImage fans = Render(single);
        EXPECT_EQ(single.QuadCount, engine.QuadCount);
        EXPECT_EQ(batched, fans);
    }
}

// ---- Abort -------------------------------------------------------------------------------------

TEST_F(OverlayEngineTest, AbortDuringTheFirstOverlayStopsEveryLaterOne)
{
    AddOverlay({qRgb(255, 0, 0)});
    AddOverlay({qRgb(0, 255, 0)});
    const QImage sky = [&] {
        TOverlayRenderEngine plain;
        project->Overlays.Items[0].DrawOverlay = 0;
        project->Overlays.Items[1].DrawOverlay = 0;
        plain.SetProject(&project);
        const QImage image = Render(plain);
        project->Overlays.Items[0].DrawOverlay = 1;
        project->Overlays.Items[1].DrawOverlay = 1;
        return image;
    }();
    // Abort after 40 cells of the first overlay: two rows and eight cells of the third.
    status.onPump = [&] {
        if (engine.QuadCount == 40)
            engine.Aborted = 1;
    };
    const QImage picture = Render();
    status.onPump = nullptr;
    EXPECT_EQ(engine.DrawnOverlays, std::vector<int>{0});
    EXPECT_EQ(engine.QuadCount, 40) << "the aborted cell is drawn, nothing after it";
    EXPECT_EQ(status.operations.back(), "Completed: 160 triangles");
    EXPECT_EQ(status.progress.back(), 0);
    // The near rows are drawn last (eye beyond the target): the first rows drawn are the far ones,
    // so the far part of the grid is red and the centre still shows the sky.
    EXPECT_TRUE(Near(Centre(picture), Centre(sky), 0));
    bool anyRed = false;
    for (int y = 0; y < kHeight; ++y)
        anyRed = anyRed || Near(picture.pixel(kWidth / 2, y), Lit(255, 0, 0));
    EXPECT_TRUE(anyRed);
    // The next render starts afresh.
    const QImage full = Render();
    EXPECT_EQ(engine.QuadCount, 2 * kCells);
    EXPECT_TRUE(Near(Centre(full), Lit(0, 255, 0)));
}

TEST(OverlayRowOrder, FollowsTheCameraDirection)
{
    TProject project;
    ASSERT_TRUE(project.NewGrid(3, 5, 10.0, 10.0));
    struct Case {
        float eyeZ, targetZ;
        std::vector<int32_t> rows;
    };
    const Case cases[] = {
        {10, 0, {0, 1, 2, 3}},  // looking toward decreasing third coordinate
        {0, 10, {3, 2, 1, 0}},  // toward increasing: from the last row to the first
        {5, 5, {3, 2, 1, 0}},   // level: the same as increasing
    };
    for (const Case& c : cases) {
        project.Camera.Eye.Z = c.eyeZ;
        project.Camera.Target.Z = c.targetZ;
        EXPECT_EQ(TOverlayRenderEngine::RowOrder(project), c.rows) << c.eyeZ << " / " << c.targetZ;
    }
    TProject single;
    ASSERT_TRUE(single.NewGrid(1, 5, 10.0, 10.0));
    EXPECT_TRUE(TOverlayRenderEngine::RowOrder(single).empty()) << "one column has no cells";
}

// ---- Failures ----------------------------------------------------------------------------------

TEST_F(OverlayEngineTest, APictureThatFailsToLoadIsNotDrawnWithAnotherTexture)
{
    AddOverlay({qRgb(255, 0, 0)});
    AddOverlay({qRgb(0, 255, 0)});
    const QImage both = Render();
    ASSERT_TRUE(Near(Centre(both), Lit(0, 255, 0)));
    // The second picture goes missing: its message, and the first overlay's picture stays on top
    // (neither the old green list nor the red texture is drawn again for it).
    project->Overlays.Items[1].FileName = "missing.bmp";
    const QImage one = Render();
    EXPECT_TRUE(prompt.Showed("E0002 Error loading bmp file"));
    EXPECT_EQ(engine.DrawnOverlays, std::vector<int>{0});
    EXPECT_TRUE(Near(Centre(one), Lit(255, 0, 0)));
    EXPECT_EQ(status.operations.back(), "Completed: " + std::to_string(4 * kCells) + " triangles");
}

TEST_F(OverlayEngineTest, OverlaysRemovedWhileTheRenderPumpsMessagesAreNotTouched)
{
    // An editor window runs during the pumped messages and empties the overlay list.
    for (const char* when : {"Loading Overlay 1", "Drawing Surface 0"}) {
        SCOPED_TRACE(when);
        project->Overlays.Items.clear();
        AddOverlay({qRgb(255, 0, 0)});
        AddOverlay({qRgb(0, 255, 0)});
        AddOverlay({qRgb(0, 0, 255)});
        status.onPump = [&] {
            const bool now = (!status.steps.empty() && status.steps.back() == when)
                             || (!status.operations.empty() && status.operations.back() == when);
            if (now)
                std::vector<TOverlayImage>().swap(project->Overlays.Items); // freed, not just emptied
        };
        Render();
        status.onPump = nullptr;
        EXPECT_LE(engine.DrawnOverlays.size(), 1u);
        EXPECT_EQ(status.operations.back(),
                  "Completed: " + std::to_string(4 * kCells * engine.DrawnOverlays.size()) + " triangles");
    }
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(OverlayEngineTest, MissingProjectEndsInCrashedAndIsNotReportedAsCompleted)
{
    TProject* none = nullptr;
    TOverlayRenderEngine orphan;
    orphan.SetProject(&none);
    const QImage picture = Render(orphan);
    EXPECT_EQ(prompt.shown, std::vector<std::string>{"crashed"});
    ASSERT_FALSE(status.operations.empty());
    EXPECT_EQ(status.operations.back(), "Render failed: crashed");
    EXPECT_EQ(orphan.LastError, "crashed");
    EXPECT_EQ(status.progress.back(), 0);
    TOverlayRenderEngine unset;
    prompt.shown.clear();
    Render(unset);
    EXPECT_EQ(prompt.shown, std::vector<std::string>{"crashed"});
}

TEST_F(OverlayEngineTest, MissingOverlayFolderAsksUntilIgnored)
{
    // The main window's stand-in records the reset request.
    QObject mainStandIn;
    std::vector<uint32_t> received;
    RegisterMessageForm(&mainStandIn, [&](TAppMessage& m) { received.push_back(m.Msg); }, true);
    AddOverlay({qRgb(255, 0, 0)});
    const std::string question =
        "At least one of the directory paths defined for this project does not exist.  Reset now?";

    Render();
    EXPECT_TRUE(prompt.questions.empty()) << "an existing folder is not questioned";

    // The folder of a file that exists, but the folder text itself names nothing.
    project->Overlays.Directory = dir.file("gone") + "/";
    prompt.answer = TAnswer::Yes;
    Render();
    Render();
    EXPECT_EQ(prompt.questions, (std::vector<std::string>{question, question})) << "Yes asks again next time";
    EXPECT_EQ(received, (std::vector<uint32_t>{WM_RESETPATHS, WM_RESETPATHS}));
    EXPECT_EQ(status.operations.back(), "Completed: 0 triangles") << "the render goes on (no picture found)";

    prompt.answer = TAnswer::Ignore;
    Render();
    Render();
    EXPECT_EQ(prompt.questions.size(), 3u) << "any other answer is final for this engine";
    EXPECT_EQ(received.size(), 2u);

    TOverlayRenderEngine fresh;
    fresh.SetProject(&project);
    Render(fresh);
    EXPECT_EQ(prompt.questions.size(), 4u) << "a new engine asks again";
}

// ---- Pieces ------------------------------------------------------------------------------------

TEST_F(OverlayEngineTest, FogDensityFollowsTheAtmosphereAndFactor)
{
    struct Case {
        double fogDensity, factor, expected;
    };
    const Case cases[] = {
        {0.5, 1.0, 0.005},
        {0.5, 2.0, 0.0025},
        {0.5, 0.0, 0.005},  // no factor: the plain density instead of a division by zero
        {0.5, -3.0, 0.005},
        {-1.0, 1.0, 0.0},   // OpenGL takes no negative density
    };
    project->Atmosphere.FogColor = {0.25f, 0.5f, 0.75f, 0.0f};
    TGLPanel panel;
    panel.resize(8, 8);
    panel.OnGLDraw = [&](TGLPanel&) {
        for (const Case& c : cases) {
            project->Atmosphere.FogDensity = c.fogDensity;
            engine.SetupFog(c.factor);
            GLfloat density = -1, colour[4] = {};
            GLint mode = 0;
            GL().glGetFloatv(GL_FOG_DENSITY, &density);
            GL().glGetFloatv(GL_FOG_COLOR, colour);
            GL().glGetIntegerv(GL_FOG_MODE, &mode);
            EXPECT_NEAR(density, c.expected, 1e-7) << c.fogDensity << " / " << c.factor;
            EXPECT_EQ(mode, GL_EXP);
            EXPECT_EQ(GL().glIsEnabled(GL_FOG), GL_TRUE);
            EXPECT_FLOAT_EQ(colour[0], 0.25f);
            EXPECT_FLOAT_EQ(colour[2], 0.75f);
            EXPECT_FLOAT_EQ(colour[3], 1.0f);
        }
    };
    panel.Redraw();
}

TEST(OverlayTexture, CoordinatesSpanTheGridFromCornerZero)
{
    TProject project;
    ASSERT_TRUE(project.NewGrid(5, 3, 10.0, 20.0)); // 50 x 60 render units
    project.WorldScale = 1.0;
    struct Case {
        double x, z, u, v;
    };
    const Case cases[] = {
        {-25, -30, 0, 1}, {25, -30, 1, 1}, {25, 30, 1, 0}, {-25, 30, 0, 0}, {0, 0, 0.5, 0.5}, {-15, 0, 0.2, 0.5},
    };
    for (const Case& c : cases) {
        const TDoublePoint uv = TOverlayRenderEngine::TextureCoordinate(project, c.x, c.z);
        EXPECT_NEAR(uv.X, c.u, 1e-12) << c.x << ", " << c.z;
        EXPECT_NEAR(uv.Y, c.v, 1e-12) << c.x << ", " << c.z;
    }
    project.Grid.SpacingX = 0.0; // a damaged grid of no width
    const TDoublePoint flat = TOverlayRenderEngine::TextureCoordinate(project, 3.0, 0.0);
    EXPECT_EQ(flat.X, 0.0);
    EXPECT_NEAR(flat.Y, 0.5, 1e-12);
}

TEST(OverlayFiles, FolderAndFileAreJoinedWithOneSeparator)
{
    struct Case {
        const char *folder, *file, *expected;
    };
    const Case cases[] = {
        {"C:\\Overlays\\", "a.bmp", "C:\\Overlays\\a.bmp"},
        {"/data/overlays/", "a.bmp", "/data/overlays/a.bmp"},
        {"/data/overlays", "a.bmp", "/data/overlays/a.bmp"},
        {"", "a.bmp", "a.bmp"},
        {"/data/overlays/", "", "/data/overlays/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TOverlayRenderEngine::OverlayFileName(c.folder, c.file), c.expected) << c.folder;

    qxtest::TempDir dir;
    std::filesystem::create_directories(dir.path() / "sub");
    std::string backslashed = dir.path().string() + "\\sub\\";
    EXPECT_TRUE(TOverlayRenderEngine::FolderExists(dir.path().string()));
    EXPECT_TRUE(TOverlayRenderEngine::FolderExists(backslashed));
    EXPECT_FALSE(TOverlayRenderEngine::FolderExists(dir.file("none")));
    EXPECT_FALSE(TOverlayRenderEngine::FolderExists(""));
}

} // namespace
