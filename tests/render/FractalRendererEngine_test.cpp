#include "render/FractalRendererEngine.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "render/RenderPreparation.h"
#include "render/SyntheticLandscape.h"
#include "support/TestSupport.h"
#include "support/MessageLog.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using RecordingStatus = qxtest::TStatusLog;

// Whether any of the names the sub-quads' own textures take (1100 to 1132) still holds a texture.
bool AnyCellTextureLeft()
{
    for (GLuint k = 0; k <= 32; ++k)
        if (GL().glIsTexture(1100 + k))
            return true;
    return false;
}

class RecordingPrompt : public IPrompt {
public:
    std::vector<std::string> asked;
    std::vector<std::pair<std::string, TMsgIcon>> shown;
    std::vector<TAnswer> answers; // given in turn; the last one repeats
    void ShowMessage(const std::string& text, TMsgIcon icon) override { shown.emplace_back(text, icon); }
    TAnswer Ask(const std::string& text, const std::vector<TAnswer>& buttons, TMsgIcon) override
    {
        asked.push_back(text);
        if (answers.empty())
            return buttons.front();
        const TAnswer a = answers.front();
        if (answers.size() > 1)
            answers.erase(answers.begin());
        return a;
    }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

class FractalEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousStatus_ = SetStatusSink(&status);
        previousPrompt_ = SetPrompt(&prompt);
        engine = std::make_unique<TFractalRenderEngine>();
        engine->SetProject(&project);
    }
    void TearDown() override
    {
        engine.reset();
        SetStatusSink(previousStatus_);
        SetPrompt(previousPrompt_);
        delete project;
        UnloadOpenGLLibraries();
    }
    void LoadGL()
    {
        if (OpenGLLoaded())
            return;
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
    }
    void Adopt(std::unique_ptr<TProject> p)
    {
        delete project;
        project = p.release();
        if (project)
            for (TCloud& cloud : project->Clouds.Items)
                cloud.Draw = 0; // a quicker sky
    }
    // columns x rows at spacing 10, world scale 1, heights from f, folders that exist, the camera
    // above the near edge looking at the middle.
    void MakeGrid(int columns, int rows, const std::function<double(int, int)>& f)
    {
        auto p = std::make_unique<TProject>();
        ASSERT_TRUE(p->NewGrid(columns, rows, 10.0, 10.0));
        p->WorldScale = 1.0;
        p->Grid.VerticalScale = 1.0;
        p->Grid.MinHeight = 0;
        p->Grid.MaxHeight = 10;
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r)
                p->Grid.Cells[c][r].Height = f(c, r);
        p->Camera.Eye = {0, 120, 150};
        p->Camera.Target = {0, 0, -5};
        p->Actors.Directory = p->Models.Directory = QDir::tempPath().toStdString();
        Adopt(std::move(p));
    }
    // Renders with engine into a fresh width x height panel; body (when given) runs in the same
    // draw, with the context still current. Returns what the panel shows.
    QImage Render(TFractalRenderEngine& e, int width = 160, int height = 120,
                  const std::function<void()>& body = nullptr)
    {
        LoadGL();
        TGLPanel panel;
        panel.resize(width, height);
        panel.OnGLDraw = [&](TGLPanel& p) {
            e.Render(p);
            if (body)
                body();
        };
        panel.Redraw();
        return panel.Shown();
    }
    QImage Render() { return Render(*engine); }
    static bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

    RecordingStatus status;
    RecordingPrompt prompt;
    TProject* project = nullptr;
    std::unique_ptr<TFractalRenderEngine> engine;
    IStatusSink* previousStatus_ = nullptr;
    IPrompt* previousPrompt_ = nullptr;
};

int CountDarkPixels(const QImage& image)
{
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 64)
                ++dark;
    return dark;
}

// ---- Pre-passes (no display needed) -------------------------------------------------------------

TEST_F(FractalEngineTest, WaterEdgesComeFromDiagonalNeighboursOnly)
{
    struct Case {
        const char* name;
        uint8_t flood[3][3]; // [row][column]
        uint8_t mark;
    };
    const Case cases[] = {
        {"dry, a flooded diagonal", {{1, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 2},
        {"dry, flooded straight neighbours", {{0, 1, 0}, {1, 0, 1}, {0, 1, 0}}, 0},
        {"flooded, dry straight neighbours", {{1, 0, 1}, {0, 1, 0}, {1, 0, 1}}, 0},
        {"flooded, one dry diagonal", {{1, 1, 1}, {1, 1, 1}, {1, 1, 0}}, 2},
        {"all flooded", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 0},
        {"all dry", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 0},
        {"flood value 2 amid dry", {{0, 0, 0}, {0, 2, 0}, {0, 0, 0}}, 0},
        {"dry amid diagonals of 2", {{2, 0, 2}, {0, 0, 0}, {2, 0, 2}}, 0},
        {"flooded amid diagonals of 2", {{2, 1, 2}, {1, 1, 1}, {2, 1, 2}}, 0},
    };
    for (const Case& c : cases) {
        MakeGrid(3, 3, [](int, int) { return 1.0; });
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row) {
                project->Grid.Cells[col][row].Flooded = c.flood[row][col];
                project->Grid.Cells[col][row].WaterEdge = 7; // what an earlier pass left
            }
        status.progress.clear();
        engine->PreprocessWater();
        EXPECT_EQ(project->Grid.Cells[1][1].WaterEdge, c.mark) << c.name;
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row)
                if (col != 1 || row != 1) {
                    EXPECT_EQ(project->Grid.Cells[col][row].WaterEdge, 7) << c.name << ": the border keeps its mark";
                }
        ASSERT_FALSE(status.progress.empty());
        EXPECT_EQ(status.progress.front(), 0);
        for (int p : status.progress)
            EXPECT_LT(p, 100);
    }
}

TEST_F(FractalEngineTest, JitterIgnoresExactUnlessAFullOverlayIsLoaded)
{
    MakeGrid(6, 5, [](int, int) { return 1.0; });
    auto jitter = [&](uint8_t exact, uint8_t fullOverlay, int seed) {
        project->TerrainLayers.Exact = exact;
        project->AnyFullOverlay = fullOverlay;
        project->Fractal.RPlaneSeed = seed;
        engine->CalculateDisplacements();
        std::vector<float> values;
        for (int c = 0; c < 6; ++c)
            for (int r = 0; r < 5; ++r)
                values.insert(values.end(), {project->Grid.Cells[c][r].JitterX, project->Grid.Cells[c][r].JitterZ});
        return values;
    };
    const std::vector<float> plain = jitter(0, 0, 50);
    EXPECT_EQ(jitter(1, 0, 50), plain) << "Exact alone changes nothing";
    EXPECT_EQ(jitter(0, 1, 50), plain) << "a full overlay alone changes nothing";
    EXPECT_EQ(jitter(1, 1, 50), std::vector<float>(plain.size(), 0.0f));
    EXPECT_NE(jitter(0, 0, 51), plain) << "the seed decides the jitter";
    bool moved = false;
    for (float v : plain) {
        EXPECT_LE(std::fabs(v), 0.225f);
        moved = moved || v != 0;
    }
    EXPECT_TRUE(moved);
}

TEST_F(FractalEngineTest, VertexPassForgetsLevelsAndCachesRoughness)
{
    MakeGrid(4, 4, [](int c, int r) { return c * 3.0 + r; });
    project->Water.Surface.Roughness = 9.0;
    project->Grid.Cells[2][2].Flooded = 1;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            project->Grid.Cells[c][r].Level = 3;
            project->Grid.Cells[c][r].CachedRoughness = -5.0f;
        }
    engine->PrepareVertexData();
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(project->Grid.Cells[c][r].Level, -1);
            EXPECT_EQ(project->Grid.Cells[c][r].CachedRoughness, project->RoughnessAt(c, r));
        }
    EXPECT_NE(project->Grid.Cells[2][2].CachedRoughness, project->Grid.Cells[1][1].CachedRoughness);
}

// ---- Rendering (real OpenGL) ---------------------------------------------------------------------

TEST_F(FractalEngineTest, PreviewOutlinesEveryCellWithoutANullCorner)
{
    MakeGrid(7, 6, [](int c, int r) { return (c * 7 + r * 3) % 5; });
    project->Grid.Cells[2][2].Height = NullHeight; // takes four cells out
    project->Grid.Cells[6][0].Height = NullHeight; // a corner vertex: one cell
    project->Fractal.PreviewMode = 1;
    // Preview leaves the marks of the last full render alone.
    project->Grid.Cells[3][3].Level = 2;
    project->Grid.Cells[3][3].WaterEdge = 2;
    const int cells = 6 * 5 - 4 - 1;

    const QImage picture = Render();
    EXPECT_EQ(engine->LastError, "");
    EXPECT_TRUE(StartsWith(engine->CompletionText, "Completed: " + std::to_string(4 * cells) + " triangles in "))
        << engine->CompletionText;
    EXPECT_EQ(engine->QuadCount, cells);
    EXPECT_EQ(status.operations.back(), engine->CompletionText);
    EXPECT_EQ(status.steps.back(), "");
    EXPECT_EQ(status.progress.back(), 0);
    EXPECT_GT(CountDarkPixels(picture), 50) << "black outlines on the cleared picture";
    EXPECT_EQ(project->Grid.Cells[3][3].Level, 2);
    EXPECT_EQ(project->Grid.Cells[3][3].WaterEdge, 2);

    // The preview sees what the current camera sees: turned away, nothing is outlined.
    project->Camera.Target = {0, 120, 1000};
    Render();
    EXPECT_EQ(engine->QuadCount, 0);
}

TEST_F(FractalEngineTest, NewProjectShowsTheSkyOnly)
{
    // The project the main window makes: a 258 x 258 grid of null heights but one.
    auto p = std::make_unique<TProject>();
    ASSERT_TRUE(p->NewGrid(258, 258, 30.0, 30.0));
    p->Grid.Cells[127][127].Height = 100.0;
    p->Grid.MinHeight = 0;
    p->Grid.MaxHeight = 100;
    p->ComputeWorldScale();
    p->Actors.Directory = p->Models.Directory = QDir::tempPath().toStdString();
    Adopt(std::move(p));

    const QImage picture = Render();
    EXPECT_EQ(engine->LastError, "");
    EXPECT_TRUE(StartsWith(engine->CompletionText, "Completed: 0 triangles in ")) << engine->CompletionText;

    // The same sky drawn by the shared engine alone.
    class TSkyOnly : public TRenderEngine {
    public:
        void Render(TGLPanel& panel) override
        {
            PrepareScene(panel.width(), panel.height());
            SetupCamera();
            SetupLights();
            DrawSky();
        }
    } sky;
    sky.SetProject(&project);
    TGLPanel panel;
    panel.resize(160, 120);
    panel.OnGLDraw = [&](TGLPanel& q) { sky.Render(q); };
    panel.Redraw();
    ASSERT_EQ(picture.size(), panel.Shown().size());
    EXPECT_TRUE(picture == panel.Shown());
    EXPECT_NE(picture.pixel(80, 10), qRgb(255, 255, 255)) << "the sky is drawn, not the cleared buffer";
}

TEST_F(FractalEngineTest, SameProjectAndSizeGiveTheSameImage)
{
    TSyntheticLandscapeOptions options;
    options.Size = 40;
    options.FractalDepth = 2;
    Adopt(MakeSyntheticLandscape(options));
    ASSERT_NE(project, nullptr);
    const QImage first = Render();
    const std::string firstText = engine->CompletionText;
    const QImage second = Render();
    TFractalRenderEngine fresh;
    fresh.SetProject(&project);
    const QImage third = Render(fresh);
    EXPECT_EQ(engine->LastError, "");
    EXPECT_TRUE(first == second);
    EXPECT_TRUE(first == third);
    EXPECT_EQ(firstText.substr(0, firstText.find(" in ")),
              engine->CompletionText.substr(0, engine->CompletionText.find(" in ")));
    EXPECT_GE(engine->StageTimes.size(), 5u);
}

TEST_F(FractalEngineTest, AbortMidTraversalLeavesACleanState)
{
    for (uint8_t preview : {1, 0}) {
        SCOPED_TRACE(preview ? "preview" : "full");
        TSyntheticLandscapeOptions options;
        options.Size = 30;
        options.FractalDepth = 2;
        Adopt(MakeSyntheticLandscape(options));
        project->Fractal.PreviewMode = preview;
        TFractalRenderEngine reference;
        reference.SetProject(&project);
        const QImage whole = Render(reference);
        const int allQuads = reference.QuadCount;

        int pumpsInSurface = 0;
        status.onPump = [&] {
            if (!status.steps.empty() && status.steps.back() == "Drawing fractal surface" && ++pumpsInSurface == 4)
                engine->Aborted = 1;
        };
        // Messages are let in every few milliseconds, between lines: each line takes a while here.
        status.onProgress = [&](int) {
            if (!status.steps.empty() && status.steps.back() == "Drawing fractal surface")
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        };
        bool texturesLeft = true;
        Render(*engine, 160, 120, [&] { texturesLeft = AnyCellTextureLeft(); });
        status.onPump = nullptr;
        status.onProgress = nullptr;
        EXPECT_GE(pumpsInSurface, 4);
        EXPECT_GT(engine->QuadCount, 0);
        EXPECT_LT(engine->QuadCount, allQuads);
        EXPECT_FALSE(texturesLeft);
        EXPECT_EQ(engine->LastError, "");
        EXPECT_TRUE(StartsWith(engine->CompletionText, "Completed: ")) << engine->CompletionText;
        EXPECT_EQ(status.operations.back(), engine->CompletionText);
        EXPECT_EQ(status.steps.back(), "");
        EXPECT_EQ(status.progress.back(), 0);

        // The next render starts afresh and draws the whole picture.
        const QImage again = Render();
        EXPECT_EQ(engine->Aborted, 0);
        EXPECT_EQ(engine->QuadCount, allQuads);
        EXPECT_TRUE(again == whole);
    }
}

// ---- Messages while plants are drawn -----------------------------------------------------------

namespace {

// What a render hands OpenGL to draw, in order: each array draw, texture upload and immediate-mode
// primitive reduced to a hash of its mode, sizes and data. Installed over the loaded entry points
// for its lifetime.
class TDrawingTrace {
public:
    TDrawingTrace()
    {
        State& s = state();
        s.calls = &Calls;
        s.arrays[0] = s.arrays[1] = s.arrays[2] = {};
        TGLEntryPoints& table = const_cast<TGLEntryPoints&>(GL());
        s.real = table;
        table.glEnableClientState = [](GLenum a) { Enable(a, true); };
        table.glDisableClientState = [](GLenum a) { Enable(a, false); };
        table.glVertexPointer = [](GLint n, GLenum t, GLsizei st, const void* p) { Point(0, n, t, st, p); };
        table.glColorPointer = [](GLint n, GLenum t, GLsizei st, const void* p) { Point(1, n, t, st, p); };
        table.glTexCoordPointer = [](GLint n, GLenum t, GLsizei st, const void* p) { Point(2, n, t, st, p); };
        table.glDrawArrays = [](GLenum mode, GLint first, GLsizei count) {
            State& s = state();
            uint64_t h = Mix(Mix(Mix(kSeed, mode), first), count);
            for (const Array& a : s.arrays)
                if (a.enabled && a.data) {
                    const size_t element = size_t(a.size) * (a.type == GL_DOUBLE ? 8 : a.type == GL_UNSIGNED_BYTE ? 1 : 4);
                    const size_t stride = a.stride ? size_t(a.stride) : element;
                    for (GLsizei i = 0; i < count; ++i)
                        h = MixBytes(h, static_cast<const char*>(a.data) + (size_t(first) + size_t(i)) * stride, element);
                }
            s.calls->push_back(h);
            s.real.glDrawArrays(mode, first, count);
        };
        table.glTexImage2D = [](GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                                GLenum format, GLenum type, const void* pixels) {
            Upload(w, h, format, type, pixels);
            state().real.glTexImage2D(target, level, internal, w, h, border, format, type, pixels);
        };
        table.glTexSubImage2D = [](GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format,
                                   GLenum type, const void* pixels) {
            Upload(w, h, format, type, pixels);
            state().real.glTexSubImage2D(target, level, x, y, w, h, format, type, pixels);
        };
        table.glBegin = [](GLenum mode) {
            state().primitive = Mix(kSeed, mode);
            state().real.glBegin(mode);
        };
        table.glEnd = [] {
            state().calls->push_back(state().primitive);
            state().real.glEnd();
        };
        table.glVertex3f = [](GLfloat x, GLfloat y, GLfloat z) {
            const GLfloat v[3] = {x, y, z};
            state().primitive = MixBytes(state().primitive, v, sizeof v);
            state().real.glVertex3f(x, y, z);
        };
        table.glColor3f = [](GLfloat r, GLfloat g, GLfloat b) {
            const GLfloat v[3] = {r, g, b};
            state().primitive = MixBytes(state().primitive, v, sizeof v);
            state().real.glColor3f(r, g, b);
        };
    }
    ~TDrawingTrace() { const_cast<TGLEntryPoints&>(GL()) = state().real; }
    TDrawingTrace(const TDrawingTrace&) = delete;
    TDrawingTrace& operator=(const TDrawingTrace&) = delete;

    std::vector<uint64_t> Calls;

private:
    static constexpr uint64_t kSeed = 1469598103934665603ull;
    struct Array {
        bool enabled = false;
        GLint size = 0;
        GLenum type = 0;
        GLsizei stride = 0;
        const void* data = nullptr;
    };
    struct State {
        TGLEntryPoints real;
        std::vector<uint64_t>* calls = nullptr;
        Array arrays[3]; // vertices, colours, texture positions
        uint64_t primitive = 0;
    };
    static State& state()
    {
        static State s;
        return s;
    }
    static uint64_t MixBytes(uint64_t h, const void* data, size_t bytes)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t k = 0; k < bytes; ++k)
            h = (h ^ p[k]) * 1099511628211ull;
        return h;
    }
    static uint64_t Mix(uint64_t h, int64_t v) { return MixBytes(h, &v, sizeof v); }
    static void Enable(GLenum array, bool on)
    {
        State& s = state();
        const int k = array == GL_VERTEX_ARRAY ? 0 : array == GL_COLOR_ARRAY ? 1 : array == GL_TEXTURE_COORD_ARRAY ? 2 : -1;
        if (k >= 0)
            s.arrays[k].enabled = on;
        on ? s.real.glEnableClientState(array) : s.real.glDisableClientState(array);
    }
    static void Point(int k, GLint size, GLenum type, GLsizei stride, const void* data)
    {
        State& s = state();
        s.arrays[k].size = size;
        s.arrays[k].type = type;
        s.arrays[k].stride = stride;
        s.arrays[k].data = data;
        if (k == 0)
            s.real.glVertexPointer(size, type, stride, data);
        else if (k == 1)
            s.real.glColorPointer(size, type, stride, data);
        else
            s.real.glTexCoordPointer(size, type, stride, data);
    }
    static void Upload(GLsizei w, GLsizei h, GLenum format, GLenum type, const void* pixels)
    {
        uint64_t hash = Mix(Mix(Mix(Mix(kSeed, w), h), format), type);
        if (pixels) {
            const size_t channels = format == GL_RGBA ? 4 : format == GL_RGB ? 3 : 1;
            hash = MixBytes(hash, pixels, size_t(w) * size_t(h) * channels * (type == GL_FLOAT ? 4 : 1));
        }
        state().calls->push_back(hash);
    }
};

} // namespace

// A small landscape with many plants in every line: the kit tree at a density far above any forest's.
class PlantedLinesTest : public FractalEngineTest {
protected:
    void MakeForest()
    {
        TSyntheticLandscapeOptions options;
        options.Size = 12;
        options.FractalDepth = 2;
        Adopt(MakeSyntheticLandscape(options));
        ASSERT_NE(project, nullptr);
        ASSERT_TRUE(PlantSyntheticLandscape(*project, dir.path().string(), 3000.0, 12.0, 0.0, 0.0, 1.0, 1.0));
    }
    bool DrawingSurface() const { return !status.steps.empty() && status.steps.back() == "Drawing fractal surface"; }
    qxtest::TempDir dir;
};

// An abort heard between the plants of a line ends the render there: no plant is drawn after it,
// no line starts, and the state is as clean as after an abort between lines; the next render draws
// the whole picture again.
TEST_F(PlantedLinesTest, AbortAmongThePlantsOfALineEndsTheRenderAtOnce)
{
    for (int threads : {0, 1}) {
        SCOPED_TRACE(threads == 1 ? "one by one" : "every core");
        MakeForest();
        engine->ThreadCount = threads;
        engine->PumpInterval = std::chrono::milliseconds(0); // messages at every chance
        // The whole render: the plants drawn before each line, and the picture.
        std::vector<int64_t> beforeLine;
        status.onProgress = [&](int) {
            if (DrawingSurface())
                beforeLine.push_back(engine->PlantsDrawn);
        };
        const QImage whole = Render();
        const int64_t allPlants = engine->PlantsDrawn;
        beforeLine.push_back(allPlants);
        // The busiest line, aborted halfway through its plants.
        size_t busiest = 0;
        for (size_t k = 0; k + 1 < beforeLine.size(); ++k)
            if (beforeLine[k + 1] - beforeLine[k] > beforeLine[busiest + 1] - beforeLine[busiest])
                busiest = k;
        const int64_t linePlants = beforeLine[busiest + 1] - beforeLine[busiest];
        ASSERT_GE(linePlants, 100);
        const int64_t abortAt = beforeLine[busiest] + linePlants / 2;

        int64_t drawnAtAbort = -1;
        size_t progressAtAbort = 0;
        status.onProgress = nullptr;
        status.onPump = [&] {
            if (drawnAtAbort < 0 && DrawingSurface() && engine->PlantsDrawn >= abortAt) {
                engine->Aborted = 1;
                drawnAtAbort = engine->PlantsDrawn;
                progressAtAbort = status.progress.size();
            }
        };
        bool texturesLeft = true;
        Render(*engine, 160, 120, [&] { texturesLeft = AnyCellTextureLeft(); });
        status.onPump = nullptr;
        EXPECT_EQ(drawnAtAbort, abortAt); // messages ran after every plant
        EXPECT_EQ(engine->PlantsDrawn, drawnAtAbort);
        ASSERT_EQ(status.progress.size(), progressAtAbort + 1); // no line after it, the meter cleared
        EXPECT_EQ(status.progress.back(), 0);
        EXPECT_FALSE(texturesLeft);
        EXPECT_EQ(engine->LastError, "");
        EXPECT_TRUE(StartsWith(engine->CompletionText, "Completed: ")) << engine->CompletionText;
        EXPECT_EQ(status.operations.back(), engine->CompletionText);
        EXPECT_EQ(status.steps.back(), "");
        EXPECT_TRUE(engine->CellPlants.empty());

        const QImage again = Render();
        EXPECT_EQ(engine->Aborted, 0);
        EXPECT_EQ(engine->PlantsDrawn, allPlants);
        EXPECT_TRUE(again == whole);
    }
}

// Messages run between the plants of every line, not only between lines, and the meter moves on
// line by line; letting them in changes nothing OpenGL is given to draw, nor the picture.
TEST_F(PlantedLinesTest, MessagesRunAmongThePlantsOfEachLineAndTheMeterAdvances)
{
    for (int threads : {0, 1}) {
        SCOPED_TRACE(threads == 1 ? "one by one" : "every core");
        MakeForest();
        engine->ThreadCount = threads;
        // Reference: no messages but the ones the stages always let in.
        engine->PumpInterval = std::chrono::hours(1);
        QImage quiet;
        std::vector<uint64_t> quietCalls;
        {
            LoadGL();
            TDrawingTrace trace;
            quiet = Render();
            quietCalls = trace.Calls;
        }
        const int64_t plants = engine->PlantsDrawn;
        ASSERT_GT(plants, 0);

        engine->PumpInterval = std::chrono::milliseconds(0);
        std::vector<int> meter;
        status.onProgress = [&](int percent) {
            if (DrawingSurface())
                meter.push_back(percent);
        };
        int pumpsAmongPlants = 0;
        int64_t plantsAtLastPump = 0;
        size_t progressAtLastPump = 0;
        status.onPump = [&] {
            if (!DrawingSurface())
                return;
            // Plants drawn since the last pump, and no line started since: a pump inside a line.
            if (engine->PlantsDrawn > plantsAtLastPump && status.progress.size() == progressAtLastPump)
                ++pumpsAmongPlants;
            plantsAtLastPump = engine->PlantsDrawn;
            progressAtLastPump = status.progress.size();
        };
        QImage pumped;
        std::vector<uint64_t> pumpedCalls;
        {
            TDrawingTrace trace;
            pumped = Render();
            pumpedCalls = trace.Calls;
        }
        status.onPump = nullptr;
        status.onProgress = nullptr;
        EXPECT_EQ(engine->PlantsDrawn, plants);
        EXPECT_GT(pumpsAmongPlants, plants / 2);
        EXPECT_TRUE(pumped == quiet);
        EXPECT_GT(quietCalls.size(), 10u);
        EXPECT_TRUE(pumpedCalls == quietCalls);

        // The meter during the surface: rising line by line, cleared at the end.
        ASSERT_FALSE(meter.empty());
        EXPECT_TRUE(std::is_sorted(meter.begin(), meter.end()));
        EXPECT_GE(std::set<int>(meter.begin(), meter.end()).size(), 5u);
        EXPECT_LT(meter.back(), 100);
        EXPECT_EQ(status.progress.back(), 0);
    }
}

TEST_F(FractalEngineTest, FailuresAreReportedOnceAndNeverAsCompleted)
{
    struct Case {
        const char* name;
        bool withProject, withGL;
        std::string error; // empty: any text
    };
    const Case cases[] = {
        {"no project", false, true, "E0101 Internal Initialization Error"},
        {"no OpenGL", true, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeGrid(4, 4, [](int, int) { return 1.0; });
        TProject* none = nullptr;
        engine->SetProject(c.withProject ? &project : &none);
        prompt.shown.clear();
        status.operations.clear();
        if (c.withGL) {
            Render();
        } else {
            UnloadOpenGLLibraries();
            TGLPanel panel;
            engine->Render(panel);
        }
        if (!c.error.empty()) {
            EXPECT_EQ(engine->LastError, c.error);
        }
        EXPECT_FALSE(engine->LastError.empty());
        EXPECT_EQ(engine->CompletionText, "");
        ASSERT_FALSE(status.operations.empty());
        EXPECT_NE(status.operations.back().find(engine->LastError), std::string::npos) << status.operations.back();
        for (const std::string& text : status.operations)
            EXPECT_FALSE(StartsWith(text, "Completed")) << text;
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0].first, engine->LastError);
        EXPECT_EQ(prompt.shown[0].second, TMsgIcon::Error);
        EXPECT_EQ(status.progress.back(), 0);
        engine->SetProject(&project);
    }
    // After a failure the engine renders normally again.
    Render();
    EXPECT_EQ(engine->LastError, "");
    EXPECT_TRUE(StartsWith(engine->CompletionText, "Completed: "));
}

TEST_F(FractalEngineTest, MissingDirectoriesQuestion)
{
    const std::string question =
        "At least one of the directory paths defined for this project does not exist.  Reset now?";
    struct Case {
        const char* name;
        bool plantsExist, modelsExist;
        std::vector<TAnswer> answers;
        size_t asked; // over three renders
        uint8_t flag;
    };
    const Case cases[] = {
        {"both folders exist", true, true, {TAnswer::Yes}, 0, 0},
        {"Yes asks again at every render", false, true, {TAnswer::Yes}, 3, 0},
        {"Ignore suppresses the question", true, false, {TAnswer::Ignore}, 1, 1},
        {"Yes, then Ignore", false, false, {TAnswer::Yes, TAnswer::Ignore}, 2, 1},
    };
    qxtest::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeGrid(3, 3, [](int, int) { return 1.0; });
        project->Fractal.PreviewMode = 1;
        project->Actors.Directory = c.plantsExist ? dir.path().string() : dir.file("no plants");
        project->Models.Directory = c.modelsExist ? dir.path().string() : dir.file("no models");
        TFractalRenderEngine e;
        e.SetProject(&project);
        prompt.asked.clear();
        prompt.answers = c.answers;
        for (int k = 0; k < 3; ++k) {
            Render(e);
            EXPECT_EQ(e.LastError, "");
        }
        EXPECT_EQ(prompt.asked.size(), c.asked);
        for (const std::string& text : prompt.asked)
            EXPECT_EQ(text, question);
        EXPECT_EQ(e.PathsQuestionAsked, c.flag);
    }
}

TEST_F(FractalEngineTest, OverlaysLoadInFullRendersOnly)
{
    qxtest::TempDir dir;
    QImage picture(8, 4, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("Lake.bmp")), "BMP"));
    struct Case {
        const char* name;
        std::string file;
        uint8_t draw, full, preview;
        bool loaded;
        uint8_t anyFull;
    };
    const Case cases[] = {
        {"full overlay", "Lake.bmp", 1, 1, 0, true, 1},
        {"name in another case", "LAKE.BMP", 1, 1, 0, true, 1},
        {"plain overlay", "Lake.bmp", 1, 0, 0, true, 0},
        {"not drawn", "Lake.bmp", 0, 1, 0, false, 0},
        {"missing file is skipped", "gone.bmp", 1, 1, 0, false, 0},
        {"preview loads nothing", "Lake.bmp", 1, 1, 1, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeGrid(3, 3, [](int, int) { return 1.0; });
        project->Overlays.Directory = dir.path().string();
        TOverlayImage overlay;
        overlay.FileName = c.file;
        overlay.DrawOverlay = c.draw;
        overlay.DrawFull = c.full;
        project->Overlays.Items = {TOverlayImage(), overlay};
        project->Fractal.PreviewMode = c.preview;
        status.steps.clear();
        Render();
        EXPECT_EQ(engine->LastError, "");
        EXPECT_EQ(project->AnyFullOverlay, c.anyFull);
        const auto& image = project->Overlays.Items[1].Image;
        EXPECT_EQ(image && image->size() == QSize(8, 4), c.loaded);
        EXPECT_EQ(std::count(status.steps.begin(), status.steps.end(), std::string("Loading Overlay 1")), c.loaded ? 1 : 0);
    }
}

TEST_F(FractalEngineTest, ShoreCellsAreDrawnAsTwoPiecesOnlyWithWater)
{
    struct Case {
        const char* name;
        uint16_t flooded, edge; // of vertex (0, 0); a 2 x 2 grid keeps the marks it is given
        int pieces;
    };
    const Case cases[] = {
        {"dry cell", 0, 0, 1},
        {"shore cell", 1, 2, 2},
        {"water-edge mark without a flooded corner", 0, 2, 1},
        {"flood value 2 is not water", 2, 2, 1},
    };
    int whole = -1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeGrid(2, 2, [](int col, int row) { return 1.0 + col + 2.0 * row; });
        project->Fractal.FractalDepth = 2;
        project->Grid.Cells[0][0].Flooded = static_cast<uint8_t>(c.flooded);
        project->Grid.Cells[0][0].WaterEdge = static_cast<uint8_t>(c.edge);
        Render();
        EXPECT_EQ(engine->LastError, "");
        if (whole < 0)
            whole = engine->QuadCount;
        EXPECT_EQ(engine->QuadCount, c.pieces * whole);
    }
    EXPECT_GT(whole, 0);
}

TEST_F(FractalEngineTest, CellsStitchToNeighboursDrawnEarlierAtAnotherLevel)
{
    // Cell (1, 1) of a 4 x 3 grid fully in view, at level 2 (5 x 5 sub-quads); its neighbours'
    // marks say at which level they were drawn (-1: not yet). A stitch draws the cell once more
    // at the neighbour's level: 3 x 3 sub-quads for level 1, one quad for level 0.
    struct Case {
        const char* name;
        uint8_t columnsAscending, rowsAscending;
        int8_t left, right, above, below; // marks of (0, 1), (2, 1), (1, 0), (1, 2)
        int quads;
    };
    const Case cases[] = {
        {"nothing drawn yet", 1, 1, -1, -1, -1, -1, 25},
        {"earlier column at level 1", 1, 1, 1, -1, -1, -1, 25 + 9},
        {"earlier neighbours at the same level", 1, 1, 2, -1, 2, -1, 25},
        {"earlier row at level 0", 1, 1, -1, -1, 0, -1, 25 + 1},
        {"both earlier neighbours differ", 1, 1, 1, -1, 0, -1, 25 + 9 + 1},
        {"later neighbours are not looked at", 1, 1, -1, 1, -1, 0, 25},
        {"descending: the neighbours on the other side", 0, 0, 1, 0, 1, 1, 25 + 1 + 9},
    };
    MakeGrid(4, 3, [](int, int) { return 1.0; });
    project->Fractal.FractalDepth = 2;
    Render(*engine, 160, 120, [&] {
        for (double& t : engine->LodThresholds)
            t = 0.99;
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 3; ++r)
                project->Grid.Cells[c][r].ViewDepth = 0.5f; // nearer than every threshold: level 2
        for (const Case& c : cases) {
            engine->ColumnsAscending = c.columnsAscending;
            engine->RowsAscending = c.rowsAscending;
            project->Grid.Cells[1][1].Level = -1;
            project->Grid.Cells[0][1].Level = c.left;
            project->Grid.Cells[2][1].Level = c.right;
            project->Grid.Cells[1][0].Level = c.above;
            project->Grid.Cells[1][2].Level = c.below;
            const int before = engine->QuadCount;
            engine->DrawSurfaceCell(1, 1);
            engine->FlushCellBatches();
            EXPECT_EQ(engine->QuadCount - before, c.quads) << c.name;
            EXPECT_EQ(project->Grid.Cells[1][1].Level, 2) << c.name;
        }
    });
    EXPECT_EQ(engine->LastError, "");
}

TEST_F(FractalEngineTest, StoredFractalDepthIsClampedForTheRender)
{
    for (auto [stored, used] : {std::pair{0, 1}, std::pair{-7, 1}, std::pair{3, 3}, std::pair{9, 4},
                                std::pair{2147483647, 4}}) {
        MakeGrid(5, 5, [](int c, int r) { return c + r; });
        project->Fractal.FractalDepth = stored;
        Render();
        EXPECT_EQ(engine->LastError, "") << stored;
        EXPECT_EQ(engine->RenderDepth, used) << stored;
        EXPECT_EQ(project->Fractal.FractalDepth, stored) << "the project keeps what the file says";
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r)
                EXPECT_LE(project->Grid.Cells[c][r].Level, used) << stored;
    }
}

TEST_F(FractalEngineTest, InnerAxisStitchesBackOnEveryRender)
{
    MakeGrid(5, 5, [](int, int) { return 1.0; });
    struct Case {
        TVector3 eye, target;
        uint8_t rows, columns;
    };
    // In turn on one engine: each render sets its outer flag and the inner one to ascending.
    const Case cases[] = {
        {{-150, 120, 0}, {0, 0, 0}, 1, 0},  // columns descending
        {{0, 120, -150}, {0, 0, 0}, 0, 1},  // rows descending: columns ascend again
        {{150, 120, 0}, {0, 0, 0}, 1, 1},   // columns ascending: rows ascend again
        {{0, 120, 150}, {0, 0, -5}, 1, 1},
    };
    for (const Case& c : cases) {
        project->Camera.Eye = c.eye;
        project->Camera.Target = c.target;
        Render();
        EXPECT_EQ(engine->RowsAscending, c.rows) << c.eye.X << "," << c.eye.Z;
        EXPECT_EQ(engine->ColumnsAscending, c.columns) << c.eye.X << "," << c.eye.Z;
    }
}

TEST_F(FractalEngineTest, DetailThresholdsFollowTheProjectedSpacing)
{
    MakeGrid(5, 5, [](int, int) { return 1.0; });
    const int width = 200, height = 150;
    Render(*engine, width, height);
    ASSERT_EQ(engine->LastError, "");

    // Half a spacing (5 units) seen straight on at distance d spans h/2 f 5 / d pixels, with f the
    // focal factor of the vertical view angle (half the camera's perspective); the window depth of
    // distance d is F / (F - N) (1 - N / d) for the near and far planes N and F.
    const double fovy = project->Camera.Perspective / 2.0 * M_PI / 180.0;
    const double f = 1.0 / std::tan(fovy / 2.0);
    const double n = TRenderEngine::NearPlane, far = TRenderEngine::FarPlane;
    double expected[6];
    int k = 0;
    double pix = 64;
    for (int m = 0; m < 10000 && k <= 5; ++m) {
        const double d = 0.1 + 10.0 * m;
        if (height / 2.0 * f * 5.0 / d < pix) {
            expected[k++] = far / (far - n) * (1 - n / d);
            pix /= 2;
        }
    }
    ASSERT_EQ(k, 6);
    for (int t = 0; t < 6; ++t)
        EXPECT_NEAR(engine->LodThresholds[t], expected[t], 1e-6) << t;
}

} // namespace

namespace {

uint64_t Fnv1a(uint64_t h, const void* data, size_t size)
{
    const auto* b = static_cast<const unsigned char*>(data);
    for (size_t k = 0; k < size; ++k)
        h = (h ^ b[k]) * 0x100000001B3ull;
    return h;
}

uint64_t PictureHash(const QImage& rendered)
{
    const QImage picture = rendered.convertToFormat(QImage::Format_RGB32);
    uint64_t hash = 0xCBF29CE484222325ull;
    for (int y = 0; y < picture.height(); ++y)
        hash = Fnv1a(hash, picture.constScanLine(y), static_cast<size_t>(picture.width()) * 4);
    return hash;
}

// The colour and surface height every vertex was left with by the texels.
uint64_t VertexShadingHash(const TGridBlock& grid)
{
    uint64_t hash = 0xCBF29CE484222325ull;
    for (int col = 0; col < grid.SizeX; ++col)
        for (int row = 0; row < grid.SizeY; ++row) {
            const TGridCell& cell = grid.Cells[col][row];
            const float values[4] = {cell.Color.R, cell.Color.G, cell.Color.B, cell.SurfaceHeight};
            hash = Fnv1a(hash, values, sizeof values);
        }
    return hash;
}

} // namespace

// The shaded surface of a fixed landscape (land, lake and haze) must not change by a
// single bit when the texel pass is reworked: the picture and the per-vertex colours and heights
// the pass leaves behind (full float precision) are pinned to the values the original code gave.
TEST_F(FractalEngineTest, ShadedSurfaceMatchesItsPinnedReference)
{
    struct Case {
        int size, depth, width, height;
        uint64_t picture, cells;
        int64_t texels;
    };
    const Case cases[] = {
        {40, 3, 160, 120, 0x8547a150cd2f75full, 0xc4517d4d0b37226bull, 32416},
        {24, 4, 120, 90, 0xe0a7134ea9afe21cull, 0xff4fd7ee62d1de1ull, 20484},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        TSyntheticLandscapeOptions options;
        options.Size = c.size;
        options.FractalDepth = c.depth;
        Adopt(MakeSyntheticLandscape(options));
        ASSERT_NE(project, nullptr);
        const uint64_t pictureHash = PictureHash(Render(*engine, c.width, c.height));
        ASSERT_EQ(engine->LastError, "");
        const uint64_t cellHash = VertexShadingHash(project->Grid);
        EXPECT_EQ(engine->TexelsShaded, c.texels);
        EXPECT_EQ(pictureHash, c.picture) << std::hex << "0x" << pictureHash;
        EXPECT_EQ(cellHash, c.cells) << std::hex << "0x" << cellHash;
    }
}

// The same pin with the cloud layer drawn and thick haze and mist, the eye above the cloud: the land
// seen from above the clouds stays clear of them (the vertex colours are those without the cloud),
// while the sky rays through the cloud layer still carry it.
TEST_F(FractalEngineTest, ShadedSurfaceWithCloudsAndHazeMatchesItsPinnedReference)
{
    struct Case {
        double ceiling, floor, cloudHeight, blueing, fogDensity, mistHeight;
        uint64_t picture, cells;
    };
    // The land lies between 241 and 298, the eye at 456: the haze layer takes in the land and the
    // cloud lies between the eye and the land.
    const Case cases[] = {
        {600, 0, 63, 0.6, 0.1, 0.7, 0xeab81e6b69da2c2eull, 0x9c3f423bd7e0709bull}, // the mist top under the land
        {2000, 250, 20, 0.0, 0.45, 0.7, 0xa164f004a17a0134ull, 0x6e3b4cd4f653ccc5ull}, // no blueing; mist over the land
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fogDensity);
        TSyntheticLandscapeOptions options;
        options.Size = 20;
        options.FractalDepth = 3;
        Adopt(MakeSyntheticLandscape(options));
        ASSERT_NE(project, nullptr);
        ASSERT_FALSE(project->Clouds.Items.empty());
        TCloud& cloud = project->Clouds.Items.front();
        cloud.Draw = 1;
        cloud.XOffset = 13;
        cloud.YOffset = -7;
        cloud.Height = c.cloudHeight;
        project->Atmosphere.Ceiling = c.ceiling;
        project->Atmosphere.Floor = c.floor;
        project->Atmosphere.Blueing = c.blueing;
        project->Atmosphere.FogDensity = c.fogDensity;
        project->Atmosphere.MistHeight = c.mistHeight;
        const auto hashes = [&] {
            const uint64_t pictureHash = PictureHash(Render(*engine, 96, 72));
            EXPECT_EQ(engine->LastError, "");
            return std::pair{pictureHash, VertexShadingHash(project->Grid)};
        };
        const auto [pictureHash, cellHash] = hashes();
        EXPECT_GT(engine->TexelsShaded, 0);
        EXPECT_EQ(pictureHash, c.picture) << std::hex << "0x" << pictureHash;
        EXPECT_EQ(cellHash, c.cells) << std::hex << "0x" << cellHash;
        // No cloud on the land below it.
        cloud.Draw = 0;
        EXPECT_EQ(hashes().second, cellHash);
    }
}

// ---- What is kept from render to render ---------------------------------------------------------

namespace {

// A synthetic landscape with a red surface layer painted over the part of the map from x0 to x1.
std::unique_ptr<TProject> PaintedLandscape(int size, double x0, double x1)
{
    TSyntheticLandscapeOptions options;
    options.Size = size;
    options.FractalDepth = 3;
    std::unique_ptr<TProject> p = MakeSyntheticLandscape(options);
    if (!p)
        return p;
    for (TCloud& cloud : p->Clouds.Items)
        cloud.Draw = 0;
    TTerrainLayer layer;
    layer.ID = ++p->TerrainLayers.NextID;
    layer.Visible = 1;
    layer.OverrideDefaultColor = 1;
    layer.LayerPrimary = {0.8f, 0.1f, 0.1f, 1};
    layer.LayerSecondary = {0.6f, 0.2f, 0.1f, 1};
    p->TerrainLayers.Items.push_back(layer);
    p->TerrainLayers.Count = static_cast<int32_t>(p->TerrainLayers.Items.size());
    TTerrainPoly region;
    region.ID = ++p->TerrainPolys.NextID;
    region.TerrainLayerID = layer.ID;
    region.Points = {{x0, 0.0}, {x1, 0.0}, {x1, 1.0}, {x0, 1.0}};
    region.PointCount = 4;
    p->TerrainPolys.Items.push_back(region);
    p->TerrainPolys.Count = static_cast<int32_t>(p->TerrainPolys.Items.size());
    return p;
}

} // namespace

// The helper threads, the layer map and the texel atlases' memory are prepared ahead and kept from
// render to render, and the renderer's panel keeps its context (drawing into the window or off
// it). None of it may show in a picture: after the project, the grid size or the window size
// changes, a render gives bit for bit the picture a new engine and panel give in a process that
// has kept nothing.
TEST_F(FractalEngineTest, RenderAfterAChangeMatchesAFreshProcess)
{
    struct Case {
        const char* change;
        int size, width, height;            // before the change
        int newSize, newWidth, newHeight;   // after it
        double newX0, newX1;                // the painted layer after it (before: 0 .. 0.5)
    };
    const Case cases[] = {
        {"layer painted elsewhere", 30, 120, 90, 30, 120, 90, 0.5, 1.0},
        {"grid size", 30, 120, 90, 22, 120, 90, 0.0, 0.5},
        {"window size", 30, 120, 90, 30, 160, 100, 0.0, 0.5},
    };
    const TPFDFlags offWindow = SetOf(GLf_DRAW_TO_BITMAP) | SetOf(GLf_SUPPORT_GDI) | SetOf(GLf_SUPPORT_OPENGL);
    LoadGL();
    for (const Case& c : cases)
    for (const bool bitmap : {false, true}) {
        SCOPED_TRACE(c.change);
        SCOPED_TRACE(bitmap ? "off the window" : "into the window");
        ReleaseRenderPreparation();
        PrepareRenderingAhead();
        WaitForRenderPreparation();
        // One engine and one panel (its context kept) render the project, then the changed one.
        TGLPanel panel;
        if (bitmap)
            panel.SetGLFlags(offWindow);
        panel.GLObjectLoaded = true;
        panel.resize(c.width, c.height);
        panel.OnGLDraw = [&](TGLPanel& p) { engine->Render(p); };
        panel.OnGLPrep = [](TGLPanel& p) { TFractalRenderEngine::PrepareContext(p.width(), p.height()); };
        panel.PrepareContext();
        Adopt(PaintedLandscape(c.size, 0.0, 0.5));
        ASSERT_NE(project, nullptr);
        panel.Redraw();
        ASSERT_EQ(engine->LastError, "");
        if (c.newSize == c.size) {
            TTerrainPoly& region = project->TerrainPolys.Items.back();
            region.Points = {{c.newX0, 0.0}, {c.newX1, 0.0}, {c.newX1, 1.0}, {c.newX0, 1.0}};
        } else {
            // The project goes (its layer map is kept for the next) and another takes its place.
            Adopt(PaintedLandscape(c.newSize, c.newX0, c.newX1));
        }
        panel.resize(c.newWidth, c.newHeight);
        project->ShadowsOutOfDate = 1;
        panel.Redraw();
        ASSERT_EQ(engine->LastError, "");
        const QImage kept = panel.Picture().convertToFormat(panel.Shown().format());
        EXPECT_TRUE(kept == panel.Shown());

        ReleaseRenderPreparation();
        Adopt(PaintedLandscape(c.newSize, c.newX0, c.newX1));
        TFractalRenderEngine fresh;
        fresh.SetProject(&project);
        const QImage fromNothing = Render(fresh, c.newWidth, c.newHeight);
        ASSERT_EQ(fresh.LastError, "");
        ASSERT_EQ(kept.size(), QSize(c.newWidth, c.newHeight));
        EXPECT_TRUE(kept == fromNothing);
        // The layer shows: the change is one the picture can tell.
        int red = 0;
        for (int y = 0; y < kept.height(); ++y)
            for (int x = 0; x < kept.width(); ++x)
                red += qRed(kept.pixel(x, y)) > qGreen(kept.pixel(x, y)) + 60;
        EXPECT_GT(red, 0);
    }
    ReleaseRenderPreparation();
}

// The atlas textures are made once in a context (ahead of the first render when the context is
// prepared) and kept there: a render in the same context makes none (only uploads), one in a new
// context makes both again, and what a texture held from an earlier render, of another project,
// never shows. The per-side texture names stay free.
TEST_F(FractalEngineTest, AtlasTexturesAreMadeOncePerContextAndNeverShow)
{
    LoadGL();
    static int made = 0;
    static TGLEntryPoints real;
    TGLEntryPoints& table = const_cast<TGLEntryPoints&>(GL());
    const auto counting = [&](const std::function<void()>& body) {
        real = table;
        made = 0;
        table.glTexImage2D = [](GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                                GLenum format, GLenum type, const void* data) {
            made += w == TTexelAtlas::Width && h == TTexelAtlas::Height;
            real.glTexImage2D(target, level, internal, w, h, border, format, type, data);
        };
        body();
        table = real;
        return made;
    };
    Adopt(PaintedLandscape(30, 0.5, 1.0));
    ASSERT_NE(project, nullptr);
    TFractalRenderEngine fresh;
    fresh.SetProject(&project);
    const QImage reference = Render(fresh, 120, 90);

    // Small batches: both textures are taken.
    engine->TexelBatchLimit = 256;
    TGLPanel panel;
    panel.resize(120, 90);
    bool namesFree = false, atlasKept = false;
    panel.OnGLDraw = [&](TGLPanel& p) {
        engine->Render(p);
        namesFree = !AnyCellTextureLeft();
        atlasKept = GL().glIsTexture(TFractalRenderEngine::AtlasTextureNames[0]) &&
                    GL().glIsTexture(TFractalRenderEngine::AtlasTextureNames[1]);
    };
    // The context is made ahead with them; another project first, so they hold other texels.
    panel.OnGLPrep = [](TGLPanel& p) { TFractalRenderEngine::PrepareContext(p.width(), p.height()); };
    EXPECT_EQ(counting([&] { panel.PrepareContext(); }), 2);
    std::unique_ptr<TProject> other = PaintedLandscape(24, 0.0, 0.3);
    TProject* painted = project;
    project = other.get();
    other->Camera.Eye.Y += 40;
    EXPECT_EQ(counting([&] { panel.Redraw(); }), 0);
    project = painted;
    EXPECT_EQ(counting([&] { panel.Redraw(); }), 0);
    EXPECT_TRUE(panel.Shown() == reference);
    EXPECT_TRUE(namesFree);
    EXPECT_TRUE(atlasKept);
    // A new context has none of them.
    QImage again;
    EXPECT_EQ(counting([&] { again = Render(*engine, 120, 90); }), 2);
    EXPECT_TRUE(again == reference);
}

// ---- What stands on the land the camera sees --------------------------------------------------

// Magenta, which neither the terrain nor the sky has.
int CountMagenta(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > qGreen(p) + 60 && qBlue(p) > qGreen(p) + 60)
                ++n;
        }
    return n;
}

// A 21 x 21 ridge at spacing 10 running across the view (rows 0 and 20 low, row 10 40 high), no
// haze; the camera well off the grid (no cell near it) on the +z side, or on the -z side (behind
// the ridge), looking at the ridge.
class StandingOnTheRidgeTest : public FractalEngineTest {
protected:
    void MakeRidge(bool fromBehind)
    {
        MakeGrid(21, 21, [](int, int r) { return 40.0 - 4.0 * std::abs(r - 10); });
        project->Grid.MaxHeight = 40;
        project->Fractal.FractalDepth = 1;
        project->Fractal.DrawNoModels = 0;
        project->Atmosphere.Ambient = 1.0;
        project->Atmosphere.Diffuse = 0.0;
        project->Atmosphere.FogDensity = 0;
        project->Atmosphere.Blueing = 0;
        project->Atmosphere.Glowing = 0;
        project->Camera.Eye = {0, 120, fromBehind ? -260.0f : 260.0f};
        project->Camera.Target = {0, 20, 0};
        project->Atmosphere.ShadowDepth = 0;
    }
    // A visible layer painted over the map rectangle (fractions) with region; its index.
    TTerrainLayer& AddPaintedLayer(int32_t id, double x0, double y0, double x1, double y1)
    {
        TTerrainLayer layer;
        layer.ID = id;
        layer.Visible = 1;
        project->TerrainLayers.Items.push_back(layer);
        project->TerrainLayers.Count = int32_t(project->TerrainLayers.Items.size());
        TTerrainPoly region;
        region.ID = id;
        region.TerrainLayerID = id;
        region.Points = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        region.PointCount = 4;
        project->TerrainPolys.Items.push_back(region);
        project->TerrainPolys.Count = int32_t(project->TerrainPolys.Items.size());
        return project->TerrainLayers.Items.back();
    }
    // An urban plan (ID 3) from the pictures h.bmp and c.bmp of dir, built on a layer painted from
    // the map fraction left to the right edge.
    void AddTown(int32_t layerID, double left)
    {
        project->Models.Directory = dir.path().string();
        TUrbanPlanDef plan;
        plan.ID = 3;
        plan.PlanXSize = plan.PlanYSize = 40;
        plan.PlanHeightSize = 8;
        plan.PlanHeightSource = "h.bmp";
        plan.PlanWallColorSource = plan.PlanRoofColorSource = "c.bmp";
        plan.PlanZone = 1;
        project->Urban.Items = {plan};
        project->Urban.Count = 1;
        TTerrainLayer& town = AddPaintedLayer(layerID, left, 0.0, 1.0, 1.0);
        town.Urban = 1;
        town.UrbanPlan = 3;
    }
    qxtest::TempDir dir;
};

// Both slopes of the ridge are planted: whichever side the camera looks from, the slope it sees
// carries the plants, in the part of the picture where the slope is; nothing stands off the region.
TEST_F(StandingOnTheRidgeTest, PlantsStandOnTheSlopeFacingTheCameraFromEitherSide)
{
    for (const bool behind : {false, true}) {
        SCOPED_TRACE(behind ? "from behind" : "from the front");
        MakeRidge(behind);
        ASSERT_TRUE(PlantSyntheticLandscape(*project, dir.path().string(), 3000.0, 12.0, 0.0, 0.0, 0.5, 1.0));
        for (TFloatRGB& c : project->Actors.Items.back().Colors)
            c = {1.0f, 0.0f, 1.0f};
        project->Actors.Items.back().HueVariability = project->Actors.Items.back().BrightnessVariability = 0;
        const QImage picture = Render(*engine, 200, 150);
        ASSERT_EQ(engine->LastError, "");
        // The outer thirds of the picture: plants stand up to one and a half sub-quads beyond the
        // region's edge, which runs down the middle. From behind, the planted half (x < 0 on the
        // map) is on the right of the picture.
        const int left = CountMagenta(picture.copy(0, 0, 65, 150));
        const int right = CountMagenta(picture.copy(135, 0, 65, 150));
        EXPECT_GT(behind ? right : left, 400);
        EXPECT_EQ(behind ? left : right, 0);
        // The region is the slope the camera sees: the plants stand in its lower part of the
        // picture, not only above the ridge line.
        const int lowHalf = CountMagenta(picture.copy(0, 75, 200, 75));
        EXPECT_GT(lowHalf, 100);
        EXPECT_EQ(CountMagenta(Render(*engine, 200, 150)), CountMagenta(picture)); // the same again
        // Without models nothing stands at all.
        project->Fractal.DrawNoModels = 1;
        EXPECT_EQ(CountMagenta(Render(*engine, 200, 150)), 0);
    }
}

// Buildings of an urban plan on the slope facing the camera.
TEST_F(StandingOnTheRidgeTest, BuildingsStandOnTheSlopeFacingTheCamera)
{
    QImage height(4, 4, QImage::Format_RGB32), colour(4, 4, QImage::Format_RGB32);
    height.fill(qRgb(255, 0, 0));
    colour.fill(qRgb(255, 0, 255));
    ASSERT_TRUE(height.save(QString::fromStdString(dir.file("h.bmp"))));
    ASSERT_TRUE(colour.save(QString::fromStdString(dir.file("c.bmp"))));
    for (const bool behind : {false, true}) {
        SCOPED_TRACE(behind ? "from behind" : "from the front");
        MakeRidge(behind);
        AddTown(7, 0.0);
        const QImage picture = Render(*engine, 200, 150);
        ASSERT_EQ(engine->LastError, "");
        ASSERT_EQ(engine->UrbanPlans.size(), 1u);
        ASSERT_EQ(engine->UrbanPlans[0]->Loaded, 1);
        EXPECT_GT(CountMagenta(picture.copy(0, 75, 200, 75)), 200);
    }
}

// ---- Texels on every core -----------------------------------------------------------------------

namespace {

// Everything a render leaves that the texels decide: the picture pixel for pixel, the colour and
// height of every vertex, the generator's state, the texel count and the shading scratch colour.
struct TRenderOutcome {
    QImage Picture;
    std::vector<float> Vertices;
    uint32_t Seed = 0;
    int64_t Texels = 0;
    TFloatRGB LastColour;
};

} // namespace

// Shading the texels on several threads gives exactly what shading them one by one in drawing order
// gives, on land whose colours are dithered by the random draws, with water reflecting the land
// shaded before it, with plants (their shadows on the texels, their draws between cells) and with
// buildings (which re-seed the generator between sub-quads).
TEST_F(StandingOnTheRidgeTest, TexelsShadedOnEveryCoreMatchTheOneByOnePicture)
{
    QImage height(4, 4, QImage::Format_RGB32), colour(4, 4, QImage::Format_RGB32);
    height.fill(qRgb(255, 0, 0));
    colour.fill(qRgb(200, 60, 40));
    ASSERT_TRUE(height.save(QString::fromStdString(dir.file("h.bmp"))));
    ASSERT_TRUE(colour.save(QString::fromStdString(dir.file("c.bmp"))));

    enum class TExtras { None, Plants, PlantsAndTown };
    struct Case {
        const char* name;
        int size, depth, width, height;
        TExtras extras;
        double heading; // degrees the camera is turned about the grid's centre: the four traversal orders
    };
    const Case cases[] = {
        {"land and lake", 40, 3, 160, 120, TExtras::None, 0},
        {"land and lake, turned a quarter", 40, 3, 160, 120, TExtras::None, 90},
        {"land and lake, turned a half", 40, 3, 160, 120, TExtras::None, 180},
        {"land and lake, turned three quarters", 40, 3, 160, 120, TExtras::None, 270},
        {"deepest level", 24, 4, 200, 150, TExtras::None, 0},
        {"plants", 30, 3, 160, 120, TExtras::Plants, 0},
        {"plants and town", 30, 4, 200, 150, TExtras::PlantsAndTown, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSyntheticLandscapeOptions options;
        options.Size = c.size;
        options.FractalDepth = c.depth;
        Adopt(MakeSyntheticLandscape(options));
        ASSERT_NE(project, nullptr);
        // Secondary colours unlike the primary ones, so that every draw shows in the picture.
        for (TTerrainSurface& s : project->Fractal.TerrainSurfaces)
            s.Material.SecondaryColor = {1.0f - s.Material.PrimaryColor.R, 0.5f, s.Material.PrimaryColor.B * 0.5f, 1};
        project->Fractal.BandEdgeFuzziness = 20;
        project->Atmosphere.ShadowDepth = 0.6;
        if (c.extras != TExtras::None) {
            ASSERT_TRUE(PlantSyntheticLandscape(*project, dir.path().string(), 400.0, 20.0, 0.0, 0.0, 0.6, 1.0));
        }
        if (c.extras == TExtras::PlantsAndTown)
            AddTown(project->TerrainLayers.NextID + 7, 0.4);
        const double turn = c.heading * M_PI / 180.0;
        for (TVector3* v : {&project->Camera.Eye, &project->Camera.Target}) {
            const double x = v->X, z = v->Z;
            v->X = static_cast<float>(x * std::cos(turn) - z * std::sin(turn));
            v->Z = static_cast<float>(x * std::sin(turn) + z * std::cos(turn));
        }
        auto render = [&](int threads) {
            engine->ThreadCount = threads;
            SetRandSeed(99);
            for (int col = 0; col < project->Grid.SizeX; ++col)
                for (int row = 0; row < project->Grid.SizeY; ++row) {
                    project->Grid.Cells[col][row].Color = {};
                    project->Grid.Cells[col][row].SurfaceHeight = 0;
                }
            TRenderOutcome out;
            out.Picture = Render(*engine, c.width, c.height).convertToFormat(QImage::Format_RGB32);
            EXPECT_EQ(engine->LastError, "");
            out.Seed = RandSeed();
            out.Texels = engine->TexelsShaded;
            out.LastColour = engine->CurrentColour;
            for (int col = 0; col < project->Grid.SizeX; ++col)
                for (int row = 0; row < project->Grid.SizeY; ++row) {
                    const TGridCell& cell = project->Grid.Cells[col][row];
                    out.Vertices.insert(out.Vertices.end(), {cell.Color.R, cell.Color.G, cell.Color.B, cell.SurfaceHeight});
                }
            return out;
        };
        // Many small batches as well: a batch's texels are shaded while the next one fills.
        for (size_t limit : {size_t(16384), size_t(37)}) {
            SCOPED_TRACE(limit);
            engine->TexelBatchLimit = limit;
            const TRenderOutcome serial = render(1);
            ASSERT_GT(serial.Texels, 0);
            for (int threads : {0, 3}) {
                SCOPED_TRACE(threads);
                const TRenderOutcome parallel = render(threads);
                ASSERT_EQ(parallel.Picture.size(), serial.Picture.size());
                int differing = 0;
                for (int y = 0; y < serial.Picture.height(); ++y)
                    for (int x = 0; x < serial.Picture.width(); ++x)
                        differing += parallel.Picture.pixel(x, y) != serial.Picture.pixel(x, y);
                EXPECT_EQ(differing, 0);
                EXPECT_TRUE(parallel.Vertices == serial.Vertices);
                EXPECT_EQ(parallel.Seed, serial.Seed);
                EXPECT_EQ(parallel.Texels, serial.Texels);
                EXPECT_EQ(std::memcmp(&parallel.LastColour, &serial.LastColour, sizeof(TFloatRGB)), 0);
            }
        }
        engine->TexelBatchLimit = 16384;
        engine->ThreadCount = 0;
    }
}
