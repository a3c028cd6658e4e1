// The landscape renderer off screen: a project file or a seeded synthetic landscape, the time of
// each stage, the quads drawn, the completion text, and the floor measured in the same run and
// context (the same number of triangles drawn as one vertex array) with the ratio to it. Then the
// textured floor: the same triangles with as many texels uploaded as the render uploaded, in the
// texture sizes it used and in as many uploads and draws, and the ratio of the first and of the
// last render to it. Before the first render it prepares what the program prepares in the
// background once its main window shows, and the panel's context, and says how long that took
// (not counted in any render); each render's page faults tell how much memory it touched for the
// first time.
// Needs a display (run under xvfb-run).
//
//   render [PROJECT.qx2 | --synthetic N] [--depth D] [--size WxH] [--out FILE.bmp]
//          [--repeat N] [--plants] [--shipped-plants] [--forest TYPE] [--save FILE.qx2] [--window]
//          [--threads N]
//
// --repeat N renders N times in one process and prints each render's peak resident memory.
// --plants plants a wood of our own tree over half the land, renders without and then with the
// plants (N times each) and ends with the ratio of the two render times.
// --shipped-plants grows every plant type of the plants folder beside the program on the synthetic
// landscape, each in a strip of its own terrain layer, and counts the triangles each type adds.
// --forest TYPE grows the plant type TYPE of the plants folder beside the program as a user sets
// up a forest: a vegetation layer (made as the terrain layers editor makes one) planting it at
// density 50 per 10000 square world units, painted over most of the land.
// --save FILE.qx2 writes the project, with every option above applied, and renders nothing (not
// with --plants, whose plant files live in a temporary folder).
// --window renders the same project at the same depth and size through the fractal renderer
// window inside a main window (its message pumping, status bar, progress and partial pictures, the
// read-back of the finished picture) and through the engine alone, alternately, N times each after
// the window's first render (the one a user waits for: the window shown, what the program prepares
// once its main window shows prepared) and one warm-up render of the engine; it prints both median
// times, whether the two pictures agree, the window's first render time (with the page faults it
// took, and the most any later render took) and its ratio to the median of its later ones, and
// ends with the line "window / engine = R". Before that line it
// prints the longest time the window's later renders went without letting messages run (from the
// start of a render to its first pump, between two pumps, from the last pump to its end). The
// window draws as a new installation does (off the window); --out saves its picture. Settings are
// kept in a temporary folder, never the user's.
// --threads N shades the texels on N threads (1: one by one in drawing order; default: every core;
// --window always uses every core).
#include "editors/Actors.h"
#include "editors/EditorPattern.h"
#include "editors/Terrain.h"
#include "platform/GLEntryPoints.h"
#include "project/MathUtils.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "render/FractalRender.h"
#include "render/FractalRendererEngine.h"
#include "render/GLPanel.h"
#include "render/ParallelFor.h"
#include "render/RenderPreparation.h"
#include "render/SyntheticLandscape.h"
#include "render/TexelAtlas.h"
#include "shell/Main.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QOpenGLContext>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using TVertexPointer = void (*)(GLint, GLenum, GLsizei, const void*);
using TClientState = void (*)(GLenum);
using TDrawArrays = void (*)(GLenum, GLint, GLsizei);

int Usage()
{
    std::fprintf(stderr, "usage: render [PROJECT.qx2 | --synthetic N] [--depth D] [--size WxH] [--out FILE.bmp]"
                         " [--repeat N] [--plants] [--shipped-plants] [--forest TYPE] [--save FILE.qx2] [--window]"
                         " [--threads N]\n");
    return 2;
}

// Plant types named "<type>_far.ls", "<type>_mid.ls", "<type>_near.ls" with the colour file
// "<type>.ini" in folder; each grows in a strip of the map of its own vegetation layer, the strips
// side by side across the camera's view. Returns the type names.
std::vector<std::string> AddPlantStrips(TProject& p, const std::string& folder)
{
    std::vector<std::string> types;
    for (const QString& f : QDir(QString::fromStdString(folder)).entryList({"*_near.ls"}, QDir::Files, QDir::Name))
        types.push_back(f.left(f.size() - 8).toStdString());
    p.Actors.Directory = folder;
    const int n = static_cast<int>(types.size());
    for (int i = 0; i < n; ++i) {
        TActor& actor = p.Actors.Items[AddPlantType(p.Actors)];
        actor.Name = types[i];
        actor.FarActorSource = types[i] + "_far.ls";
        actor.MidActorSource = types[i] + "_mid.ls";
        actor.NearActorSource = types[i] + "_near.ls";
        std::string error;
        if (!LoadPlantColors(actor, folder + types[i] + ".ini", &error))
            std::fprintf(stderr, "%s: no colours (%s)\n", types[i].c_str(), error.c_str());
        actor.HueVariability = actor.BrightnessVariability = 0.1;

        TTerrainLayer layer;
        layer.ID = p.TerrainLayers.NextID++;
        layer.Name = types[i];
        layer.LayerType = ltVegetation;
        layer.Visible = 1;
        layer.DrawPlants = 1;
        // Trees stand a little over a grid spacing tall, bushes a third of that.
        const bool bush = types[i].find("bush") != std::string::npos;
        layer.Plants[0].TreeID = actor.ID;
        layer.Plants[0].TreeSize = p.Grid.SpacingX * (bush ? 0.4 : 1.2);
        layer.Plants[0].TreeDensity = bush ? 6.0 : 3.0;
        AppendInUse(p.TerrainLayers.Count, p.TerrainLayers.Items, layer);

        TTerrainPoly strip;
        strip.ID = p.TerrainPolys.NextID++;
        strip.TerrainLayerID = layer.ID;
        const double x0 = double(i) / n, x1 = double(i + 1) / n;
        strip.Points = {{x0, 0.0}, {x1, 0.0}, {x1, 1.0}, {x0, 1.0}};
        strip.PointCount = 4;
        AppendInUse(p.TerrainPolys.Count, p.TerrainPolys.Items, strip);
    }
    p.Fractal.DrawNoModels = 0;
    return types;
}

// The forest of --forest: plant type `type` of folder at density 50 in a vegetation layer painted
// over the land but a margin of a twentieth on each side. False when the type has no files there.
bool AddForest(TProject& p, const std::string& folder, const std::string& type)
{
    const std::string far = type + "_far.ls", mid = type + "_mid.ls", near = type + "_near.ls";
    if (!QFile::exists(QString::fromStdString(folder + near)))
        return false;
    p.Actors.Directory = folder;
    TActor& actor = p.Actors.Items[AddPlantType(p.Actors)];
    actor.Name = type;
    actor.FarActorSource = far;
    actor.MidActorSource = mid;
    actor.NearActorSource = near;
    std::string error;
    if (!LoadPlantColors(actor, folder + type + ".ini", &error))
        std::fprintf(stderr, "%s: no colours (%s)\n", type.c_str(), error.c_str());

    // The layer as the terrain layers editor adds it (its default plant size), then the choices.
    TTerrainLayer& layer = p.TerrainLayers.Items[AddTerrainLayer(p, ltVegetation)];
    layer.Name = type + " forest";
    layer.DrawPlants = 1;
    layer.Plants[0].TreeID = actor.ID;
    layer.Plants[0].TreeDensity = 50.0;

    TTerrainPoly region;
    region.ID = p.TerrainPolys.NextID++;
    region.TerrainLayerID = layer.ID;
    region.Points = {{0.05, 0.05}, {0.95, 0.05}, {0.95, 0.95}, {0.05, 0.95}};
    region.PointCount = 4;
    AppendInUse(p.TerrainPolys.Count, p.TerrainPolys.Items, region);
    p.Fractal.DrawNoModels = 0;
    return true;
}

// The main window's status sink with the times its pumps let messages run: the longest stretch
// without one while a render runs (its start and end count as pumps).
class TPumpWatch final : public IStatusSink {
public:
    using TClock = std::chrono::steady_clock;
    explicit TPumpWatch(IStatusSink& inner) : inner_(inner) {}
    void SetOperationText(const std::string& text) override { inner_.SetOperationText(text); }
    void SetStepText(const std::string& text) override { inner_.SetStepText(text); }
    void SetProgress(int percent) override { inner_.SetProgress(percent); }
    void SetBusyCursor(bool busy) override { inner_.SetBusyCursor(busy); }
    void ProcessMessages() override
    {
        Mark();
        inner_.ProcessMessages();
        last_ = TClock::now(); // the time the messages took is no wait
    }
    void Start() { last_ = TClock::now(); }
    void Stop() { Mark(); }
    double LongestMs() const { return longest_ * 1000.0; }

private:
    void Mark() { longest_ = std::max(longest_, std::chrono::duration<double>(TClock::now() - last_).count()); }
    IStatusSink& inner_;
    TClock::time_point last_ = TClock::now();
    double longest_ = 0;
};

// Triangles handed to OpenGL (GL_TRIANGLES, drawn one by one or as arrays) while body runs: the
// table's drawing entries are replaced by counting ones that pass every call on.
int64_t CountTriangles(const std::function<void()>& body)
{
    static TGLEntryPoints real;
    static int64_t vertices = 0;
    static GLenum mode = 0;
    // The loaded table itself is not const; only its accessor is.
    TGLEntryPoints& table = const_cast<TGLEntryPoints&>(GL());
    real = table;
    vertices = 0;
    table.glBegin = [](GLenum m) { mode = m; real.glBegin(m); };
    table.glEnd = [] { mode = 0; real.glEnd(); };
    table.glVertex3f = [](GLfloat x, GLfloat y, GLfloat z) { vertices += mode == GL_TRIANGLES; real.glVertex3f(x, y, z); };
    table.glVertex3fv = [](const GLfloat* v) { vertices += mode == GL_TRIANGLES; real.glVertex3fv(v); };
    table.glVertex3d = [](GLdouble x, GLdouble y, GLdouble z) { vertices += mode == GL_TRIANGLES; real.glVertex3d(x, y, z); };
    table.glVertex3dv = [](const GLdouble* v) { vertices += mode == GL_TRIANGLES; real.glVertex3dv(v); };
    table.glDrawArrays = [](GLenum m, GLint first, GLsizei count) {
        if (m == GL_TRIANGLES) vertices += count;
        real.glDrawArrays(m, first, count);
    };
    body();
    table = real;
    return vertices / 3;
}

// Starts a new peak of resident memory (Linux; elsewhere the peak stays the process's).
void ResetPeakMemory()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// Page faults of the process so far: memory touched for the first time, load-independent.
long PageFaults()
{
    rusage usage{};
    return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_minflt + usage.ru_majflt : 0;
}

// Peak resident memory since the last reset, in MiB (0 when unknown).
double PeakMemoryMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// Exactly as many quads as the renderer drew, spread over the cells the picture shows (a corner in
// view, no null corner): each cell cut into s x s quads, s just large enough, until the count is
// reached; two triangles per quad, coloured.
void BuildFloorMesh(TProject& p, int64_t quads, std::vector<float>& xyz, std::vector<float>& rgb)
{
    std::vector<TCellGeometry> cells;
    for (int c = 0; c + 1 < p.Grid.SizeX; ++c)
        for (int r = 0; r + 1 < p.Grid.SizeY; ++r) {
            TCellGeometry g;
            if (p.GetCellGeometry(c, r, g) && g.Depth >= 0 && !g.HasNull)
                cells.push_back(g);
        }
    if (cells.empty() || quads <= 0)
        return;
    const int s = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(quads) / cells.size()))));
    xyz.reserve(static_cast<size_t>(quads) * 18);
    rgb.reserve(static_cast<size_t>(quads) * 18);
    int64_t made = 0;
    for (const TCellGeometry& g : cells) {
        auto at = [&](double u, double v) {
            const TVector3* k = g.Corners;
            return TVector3{static_cast<float>((k[0].X * (1 - u) + k[1].X * u) * (1 - v) + (k[3].X * (1 - u) + k[2].X * u) * v),
                            static_cast<float>((k[0].Y * (1 - u) + k[1].Y * u) * (1 - v) + (k[3].Y * (1 - u) + k[2].Y * u) * v),
                            static_cast<float>((k[0].Z * (1 - u) + k[1].Z * u) * (1 - v) + (k[3].Z * (1 - u) + k[2].Z * u) * v)};
        };
        for (int i = 0; i < s; ++i)
            for (int j = 0; j < s && made < quads; ++j, ++made) {
                const double u0 = double(i) / s, u1 = double(i + 1) / s, v0 = double(j) / s, v1 = double(j + 1) / s;
                const TVector3 q[6] = {at(u0, v0), at(u1, v0), at(u1, v1), at(u0, v0), at(u1, v1), at(u0, v1)};
                for (const TVector3& v : q) {
                    xyz.insert(xyz.end(), {v.X, v.Y, v.Z});
                    rgb.insert(rgb.end(), {0.3f + 0.002f * (v.Y > 0 ? v.Y : 0), 0.5f, 0.3f});
                }
            }
    }
}

// The floor's quads drawn textured the way the render draws its sub-quads: each quad takes a slot
// of the side the render gave its sub-quad (in the same order) in an atlas of the same size, and a
// batch is uploaded (the rows in use) and drawn as one vertex array whenever the render would have
// done so. The texels are not shaded: the atlas holds a fixed colour.
struct TTexturedFloor {
    struct TBatch {
        int Rows = 0;
        std::vector<float> Vertices; // s, t, x, y, z per vertex
    };
    std::vector<TBatch> Batches;
    TTexelAtlas Atlas;

    void Build(const std::vector<float>& xyz, const std::vector<uint8_t>& sides, size_t quadsPerBatch)
    {
        const size_t quads = std::min(xyz.size() / 18, sides.size());
        TTexelAtlas::TSlot slot;
        TBatch batch;
        Atlas.Reset();
        const auto close = [&] {
            if (batch.Vertices.empty())
                return;
            batch.Rows = Atlas.UsedRows();
            Batches.push_back(std::move(batch));
            batch = {};
            Atlas.Reset();
        };
        // The fan (0, 1, 2, 3), four vertices a quad, as the render sends it.
        constexpr float corner[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
        constexpr int fanCorner[4] = {0, 1, 2, 5}; // where the fan's corners are among the floor's six
        for (size_t q = 0; q < quads; ++q) {
            if (batch.Vertices.size() / 20 >= quadsPerBatch)
                close();
            if (!Atlas.Allocate(sides[q], slot)) {
                close();
                if (!Atlas.Allocate(sides[q], slot))
                    continue;
            }
            for (int k = 0; k < 4; ++k) {
                float s = 0, t = 0;
                TTexelAtlas::TexCoord(slot, corner[k][0], corner[k][1], s, t);
                const float* v = &xyz[(q * 6 + fanCorner[k]) * 3];
                batch.Vertices.insert(batch.Vertices.end(), {s, t, v[0], v[1], v[2]});
            }
        }
        close();
        // Every texel the batches upload, in one colour.
        for (int row = 0; row < TTexelAtlas::Height && Atlas.Allocate(32, slot); ++row)
            for (int i = 0; i < 32; ++i)
                for (int j = 0; j < 32; ++j) {
                    uint8_t* texel = Atlas.Texel(slot, i, j);
                    texel[0] = 90;
                    texel[1] = 140;
                    texel[2] = 70;
                }
    }
    size_t Quads() const
    {
        size_t n = 0;
        for (const TBatch& b : Batches)
            n += b.Vertices.size() / 20;
        return n;
    }
    // The render's two atlas textures taken in turn, uploaded to and drawn with as the render does
    // it (made in the context when it has none, and kept there).
    void Draw() const
    {
        for (size_t b = 0; b < Batches.size(); ++b) {
            const TBatch& batch = Batches[b];
            TFractalRenderEngine::DrawAtlasQuads(static_cast<int>(b % 2), Atlas.Data(), batch.Rows, batch.Vertices.data(),
                                                 batch.Vertices.size() / 20);
        }
    }
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Pixels that differ between two pictures of the same size (-1 when the sizes differ).
int64_t DifferentPixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int64_t differ = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            differ += (p[col] & 0xFFFFFF) != (q[col] & 0xFFFFFF);
    }
    return differ;
}

// The --window mode. Takes over the project (the main window frees it).
int CompareWindowWithEngine(TProject* project, int width, int height, int repeat, const std::string& outFile)
{
    // The main window reads and writes settings: keep them away from the user's.
    QTemporaryDir settingsFolder, pluginFolder;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, settingsFolder.path());

    TMainFormOptions options;
    options.ShowAboutBox = false;
    options.LoadOpenGL = [](const std::string&, std::string*) { return true; }; // loaded already
    options.UnloadOpenGL = [] {};
    options.PluginFolder = pluginFolder.path().toStdString();
    TMainForm::RegisterChildWindow(TChildKind::FractalRender, [] { return new TFFractalRender; });
    TMainForm main(options);
    main.show();
    // As the program does once its main window shows; a user opens the renderer after that.
    PrepareRenderingAhead();
    WaitForRenderPreparation();
    delete CurrentProject;
    CurrentProject = project;
    auto* window = dynamic_cast<TFFractalRender*>(main.OpenChildWindow(TChildKind::FractalRender));
    if (!window) {
        std::fprintf(stderr, "cannot open the fractal renderer window\n");
        return 1;
    }
    QCoreApplication::processEvents();
    window->SetRenderSize(width, height);
    // The main window's status bar while the window renders; none (as in the plain benchmark)
    // while the engine renders alone.
    IStatusSink* mainSink = SetStatusSink(nullptr);
    TPumpWatch watch(mainSink ? *mainSink : StatusSink());
    bool watching = false; // the warm-up render is not measured

    TFractalRenderEngine engine;
    engine.SetProject(&CurrentProject);
    TGLPanel panel;
    panel.resize(window->MainGLPanel->width(), window->MainGLPanel->height());
    panel.GLObjectLoaded = true;
    panel.OnGLDraw = [&](TGLPanel& p) { engine.Render(p); };

    const auto timed = [](const std::function<void()>& body) {
        const auto start = std::chrono::steady_clock::now();
        body();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    const auto engineRender = [&] {
        CurrentProject->ShadowsOutOfDate = 1;
        return timed([&] { panel.Redraw(); });
    };
    bool windowOk = true;
    const auto windowRender = [&] {
        CurrentProject->ShadowsOutOfDate = 1;
        SetStatusSink(watching ? &watch : mainSink);
        watch.Start();
        const double seconds = timed([&] { windowOk = window->RenderPicture() && windowOk; });
        if (watching)
            watch.Stop();
        SetStatusSink(nullptr);
        return seconds;
    };
    std::printf("size %d x %d, fractal depth %d\n", panel.width(), panel.height(), CurrentProject->Fractal.FractalDepth);
    // The render a user waits for first: the window's, once the window shows (the program has
    // prepared what every render needs by then, and the window its panel's context). Then the
    // engine's first render, which also pays for starting the driver: not counted.
    // The user looks at the window for a moment before asking for the render.
    QElapsedTimer looking;
    looking.start();
    while (looking.elapsed() < 300) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    long faults = PageFaults();
    const double windowFirst = windowRender();
    const long windowFirstFaults = PageFaults() - faults;
    long windowLaterFaults = 0; // the most of any later render
    engineRender();
    watching = true;
    std::vector<double> engineTimes, windowTimes;
    for (int k = 1; k <= repeat; ++k) {
        engineTimes.push_back(engineRender());
        faults = PageFaults();
        windowTimes.push_back(windowRender());
        windowLaterFaults = std::max(windowLaterFaults, PageFaults() - faults);
        std::printf("run %d: engine %.3f s, window %.3f s\n", k, engineTimes.back(), windowTimes.back());
        std::fflush(stdout);
    }
    const auto stages = [](const char* title, const TFractalRenderEngine& e) {
        std::printf("%s stages, last run (texels shaded %lld):\n", title, static_cast<long long>(e.TexelsShaded));
        for (const auto& [name, seconds] : e.StageTimes)
            std::printf("  %-22s %9.3f s\n", name.c_str(), seconds);
    };
    stages("engine", engine);
    stages("window", window->Engine());
    std::printf("engine: %s\n", engine.LastError.empty() ? engine.CompletionText.c_str() : ("failed: " + engine.LastError).c_str());
    std::printf("window: %s%s\n", main.PanelText(1).c_str(), windowOk ? "" : " (the window reported a failure)");
    const int64_t differ = DifferentPixels(panel.Picture(), window->MainGLPanel->Picture());
    if (differ == 0)
        std::printf("pictures: the same\n");
    else if (differ < 0)
        std::printf("pictures: of different sizes\n");
    else
        std::printf("pictures: %lld pixels differ\n", static_cast<long long>(differ));
    if (!outFile.empty() && !window->MainGLPanel->SaveImageToFile(outFile))
        std::fprintf(stderr, "cannot write %s\n", outFile.c_str());
    SetStatusSink(mainSink);

    const double engineMedian = Median(engineTimes), windowMedian = Median(windowTimes);
    std::printf("engine median %.3f s, window median %.3f s (%d runs each)\n", engineMedian, windowMedian, repeat);
    std::printf("window first render %.3f s, page faults %ld (later renders: %ld at most)\n", windowFirst,
                windowFirstFaults, windowLaterFaults);
    std::printf("window first / later = %.2f\n", windowMedian > 0 ? windowFirst / windowMedian : 0.0);
    std::printf("longest wait between pumped messages: %.0f ms\n", watch.LongestMs());
    std::printf("window / engine = %.2f\n", engineMedian > 0 ? windowMedian / engineMedian : 0.0);
    std::fflush(stdout);
    main.Modified = 0; // nothing to ask about on closing
    return windowOk && engine.LastError.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // As the program starts: the shared random sequence fills the noise tables first. Without them
    // every sub-quad grows its plants from one seed, and far more of them than the densities say.
    InitRandomTables();
    std::string projectFile, outFile, forestType, saveFile;
    int synthetic = 258, depth = -1, width = 640, height = 480, repeat = 1, threads = 0;
    bool plants = false, shippedPlants = false, windowMode = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--synthetic") {
            const char* v = next();
            if (!v) return Usage();
            synthetic = std::atoi(v);
            projectFile.clear();
        } else if (a == "--depth") {
            const char* v = next();
            if (!v) return Usage();
            depth = std::atoi(v);
        } else if (a == "--size") {
            const char* v = next();
            if (!v || std::sscanf(v, "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) return Usage();
        } else if (a == "--out") {
            const char* v = next();
            if (!v) return Usage();
            outFile = v;
        } else if (a == "--repeat") {
            const char* v = next();
            if (!v || (repeat = std::atoi(v)) <= 0) return Usage();
        } else if (a == "--threads") {
            const char* v = next();
            if (!v || (threads = std::atoi(v)) < 0) return Usage();
        } else if (a == "--plants") {
            plants = true;
        } else if (a == "--shipped-plants") {
            shippedPlants = true;
        } else if (a == "--forest") {
            const char* v = next();
            if (!v) return Usage();
            forestType = v;
        } else if (a == "--save") {
            const char* v = next();
            if (!v) return Usage();
            saveFile = v;
        } else if (a == "--window") {
            windowMode = true;
        } else if (!a.empty() && a[0] != '-') {
            projectFile = a;
        } else {
            return Usage();
        }
    }

    if (plants && !saveFile.empty())
        return Usage();

    std::string error;
    if (!LoadOpenGLLibraries("SGI", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    TProject* project = nullptr;
    if (!projectFile.empty()) {
        project = new TProject();
        if (!project->LoadFromFile(projectFile)) {
            std::fprintf(stderr, "cannot load %s\n", projectFile.c_str());
            delete project;
            return 1;
        }
        std::printf("project %s: %d x %d vertices\n", projectFile.c_str(), project->Grid.SizeX, project->Grid.SizeY);
    } else {
        TSyntheticLandscapeOptions options;
        options.Size = synthetic;
        options.FractalDepth = depth > 0 ? depth : 4;
        project = MakeSyntheticLandscape(options).release();
        if (!project) {
            std::fprintf(stderr, "cannot make a %d x %d landscape\n", synthetic, synthetic);
            return 1;
        }
        std::printf("synthetic landscape: %d x %d vertices, seed %u\n", synthetic, synthetic, options.Seed);
    }
    if (depth > 0)
        project->Fractal.FractalDepth = depth;

    std::vector<std::string> plantTypes;
    if (shippedPlants) {
        const std::string folder = ProgramFolder() + "Plants/";
        plantTypes = AddPlantStrips(*project, folder);
        std::printf("plant types of %s: %zu\n", folder.c_str(), plantTypes.size());
    }

    if (!forestType.empty()) {
        const std::string folder = ProgramFolder() + "Plants/";
        if (!AddForest(*project, folder, forestType)) {
            std::fprintf(stderr, "no plant type %s in %s\n", forestType.c_str(), folder.c_str());
            delete project;
            return 1;
        }
        std::printf("a forest of %s over most of the land, density 50\n", forestType.c_str());
    }

    // The wood: density 50 per 10000 square world units, trees about 12 world units tall.
    QTemporaryDir plantFolder;
    if (plants) {
        if (!plantFolder.isValid() || !PlantSyntheticLandscape(*project, plantFolder.path().toStdString(), 50.0, 12.0)) {
            std::fprintf(stderr, "cannot write the plant files\n");
            delete project;
            return 1;
        }
        std::string error;
        TActor& tree = project->Actors.Items.back();
        if (!LoadPlantColors(tree, (plantFolder.path() + "/kit_colors.ini").toStdString(), &error))
            std::fprintf(stderr, "plant colours: %s\n", error.c_str());
    }

    if (!saveFile.empty()) {
        const bool saved = project->SaveToFile(saveFile);
        if (saved)
            std::printf("saved %s\n", saveFile.c_str());
        else
            std::fprintf(stderr, "cannot write %s\n", saveFile.c_str());
        delete project;
        return saved ? 0 : 1;
    }

    if (windowMode)
        return CompareWindowWithEngine(project, width, height, repeat, outFile);

    TFractalRenderEngine engine;
    engine.SetProject(&project);
    engine.ThreadCount = threads;
    engine.KeepTextureSides = true; // for the textured floor
    TGLPanel panel;
    panel.resize(width, height);
    panel.GLObjectLoaded = true; // keep the finished picture for --out
    panel.OnGLDraw = [&](TGLPanel& p) { engine.Render(p); };
    // The program prepares this in the background once its main window shows, and the renderer's
    // panel makes its context (and what every render draws with in it) once it shows: the renders
    // below start where a user's first render starts. Not counted in any render.
    panel.OnGLPrep = [](TGLPanel& p) { TFractalRenderEngine::PrepareContext(p.width(), p.height()); };
    {
        const auto start = std::chrono::steady_clock::now();
        PrepareRenderingAhead();
        WaitForRenderPreparation();
        panel.PrepareContext();
        std::printf("prepared ahead (not counted): %.3f s\n",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    double total = 0, surface = 0, first = 0;
    int renders = 0;
    // Renders `repeat` times; the mean time of a render.
    const auto renderSeries = [&](const char* title) {
        if (title)
            std::printf("%s:\n", title);
        double sum = 0;
        for (int k = 1; k <= repeat; ++k) {
            project->ShadowsOutOfDate = 1; // every render does the same work
            ResetPeakMemory();
            const long faults = PageFaults();
            const auto start = std::chrono::steady_clock::now();
            panel.Redraw();
            total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            sum += total;
            if (renders == 0)
                first = total;
            if (++renders == 1 || k == repeat) {
                std::printf("size %d x %d, fractal depth %d\n", width, height, engine.RenderDepth);
                surface = 0;
                for (const auto& [name, seconds] : engine.StageTimes) {
                    std::printf("  %-22s %9.3f s\n", name.c_str(), seconds);
                    if (name == "Surface")
                        surface = seconds;
                }
            }
            std::printf("render total %.3f s, quads %d\n", total, engine.QuadCount);
            std::printf("%s\n", engine.LastError.empty() ? engine.CompletionText.c_str()
                                                        : ("failed: " + engine.LastError).c_str());
            if (engine.PlantShapes.Shapes() > 0)
                std::printf("plant shapes kept: %zu (%zu triangles)\n", engine.PlantShapes.Shapes(),
                            engine.PlantShapes.Triangles());
            std::printf("render %d: peak resident memory %.0f MiB\n", k, PeakMemoryMiB());
            std::printf("render %d: page faults %ld\n", k, PageFaults() - faults);
            std::fflush(stdout);
        }
        return sum / repeat;
    };
    double withoutPlants = 0, withPlants = 0;
    if (plants) {
        // The first render of a process also pays for starting the driver: not counted.
        panel.Redraw();
        project->Fractal.DrawNoModels = 1;
        withoutPlants = renderSeries("without plants");
        project->Fractal.DrawNoModels = 0;
        withPlants = renderSeries("with plants");
    } else {
        renderSeries(nullptr);
    }

    if (!plantTypes.empty()) {
        // The same render with the plants of one layer at a time, against none at all.
        auto countWith = [&](int only) {
            for (int i = 0; i < static_cast<int>(plantTypes.size()); ++i)
                project->TerrainLayers.Items[i].DrawPlants = only == i;
            return CountTriangles([&] { panel.Redraw(); });
        };
        const int64_t bare = countWith(-1);
        std::printf("triangles without plants: %lld\n", static_cast<long long>(bare));
        for (int i = 0; i < static_cast<int>(plantTypes.size()); ++i)
            std::printf("plant type %s: %lld triangles\n", plantTypes[i].c_str(),
                        static_cast<long long>(countWith(i) - bare));
        for (TTerrainLayer& layer : project->TerrainLayers.Items) layer.DrawPlants = 1;
    }
    if (surface > 0)
        std::printf("texels shaded %lld (%.0f per second of surface)\n", static_cast<long long>(engine.TexelsShaded),
                    engine.TexelsShaded / surface);
    std::printf("texel shading threads: %d\n", threads > 0 ? threads : MachineThreads());
    if (!outFile.empty() && !panel.SaveImageToFile(outFile))
        std::fprintf(stderr, "cannot write %s\n", outFile.c_str());

    // The floor: the same number of triangles as one vertex array, in the same context.
    std::vector<float> xyz, rgb;
    BuildFloorMesh(*project, engine.QuadCount, xyz, rgb);
    double floor = 0;
    panel.OnGLDraw = [&](TGLPanel&) {
        QOpenGLContext* context = QOpenGLContext::currentContext();
        if (!context || xyz.empty())
            return;
        auto vertexPointer = reinterpret_cast<TVertexPointer>(context->getProcAddress("glVertexPointer"));
        auto colorPointer = reinterpret_cast<TVertexPointer>(context->getProcAddress("glColorPointer"));
        auto enable = reinterpret_cast<TClientState>(context->getProcAddress("glEnableClientState"));
        auto disable = reinterpret_cast<TClientState>(context->getProcAddress("glDisableClientState"));
        auto drawArrays = reinterpret_cast<TDrawArrays>(context->getProcAddress("glDrawArrays"));
        if (!vertexPointer || !colorPointer || !enable || !disable || !drawArrays)
            return;
        const TGLEntryPoints& gl = GL();
        gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        gl.glEnable(GL_DEPTH_TEST);
        gl.glDisable(GL_LIGHTING);
        gl.glDisable(GL_CULL_FACE);
        engine.SetViewport(width, height);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        engine.SetupCamera();
        gl.glFinish();
        const auto t0 = std::chrono::steady_clock::now();
        enable(GL_VERTEX_ARRAY);
        enable(GL_COLOR_ARRAY);
        vertexPointer(3, GL_FLOAT, 0, xyz.data());
        colorPointer(3, GL_FLOAT, 0, rgb.data());
        drawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(xyz.size() / 3));
        disable(GL_COLOR_ARRAY);
        disable(GL_VERTEX_ARRAY);
        gl.glFinish();
        floor = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    panel.Redraw();
    // The textured floor, drawn three times in a row; the median counts.
    TTexturedFloor textured;
    textured.Build(xyz, engine.TextureSides, engine.TexelBatchLimit);
    std::vector<double> texturedTimes;
    panel.OnGLDraw = [&](TGLPanel&) {
        const TGLEntryPoints& gl = GL();
        gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        gl.glEnable(GL_DEPTH_TEST);
        gl.glDisable(GL_LIGHTING);
        engine.SetViewport(width, height);
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        engine.SetupCamera();
        gl.glFinish();
        const auto t0 = std::chrono::steady_clock::now();
        textured.Draw();
        gl.glFinish();
        texturedTimes.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    };
    if (textured.Quads() > 0)
        for (int k = 0; k < 3; ++k)
            panel.Redraw();
    const double texturedFloor = Median(texturedTimes);

    if (floor > 0) {
        const size_t triangles = xyz.size() / 9;
        std::printf("floor: %zu triangles (%zu quads) as one vertex array in %.3f s (%.0f quads/s)\n", triangles,
                    triangles / 2, floor, triangles / 2 / floor);
        if (surface > 0)
            std::printf("surface stage / floor = %.1fx, whole render / floor = %.1fx\n", surface / floor, total / floor);
    } else {
        std::printf("floor: nothing drawn (no quads)\n");
    }

    if (texturedFloor > 0) {
        std::printf("whole render / textured floor = %.2f\n", total / texturedFloor);
        std::printf("first render / textured floor = %.2f\n", first / texturedFloor);
        std::printf("textured floor: %zu quads, %lld texels in %zu uploads and draws, in %.3f s (median of %zu)\n",
                    textured.Quads(), static_cast<long long>(engine.TexelsShaded), textured.Batches.size(),
                    texturedFloor, texturedTimes.size());
    } else {
        std::printf("textured floor: nothing drawn (no batched quads)\n");
    }
    if (plants && withoutPlants > 0)
        std::printf("plants / no plants = %.2f\n", withPlants / withoutPlants);
    delete project;
    return 0;
}
