// The render engine's per-frame work on a seeded synthetic landscape: the sky dome at each fractal
// depth (with and without clouds), the vertex normals and the sun shadows, each the mean of a few
// runs. Needs a display (run under xvfb-run).
//
//   sky [--synthetic N] [--size WxH] [--runs R]
#include "platform/GLEntryPoints.h"
#include "project/MathUtils.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "render/RendererEngine.h"
#include "render/SyntheticLandscape.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

class TBenchEngine : public TRenderEngine {
public:
    void Render(TGLPanel&) override {}
};

int Usage()
{
    std::fprintf(stderr, "usage: sky [--synthetic N] [--size WxH] [--runs R]\n");
    return 2;
}

double Seconds(const std::function<void()>& body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // As the program starts: the noise tables filled. Without them no cloud has any cover, and the
    // light march through the clouds never runs.
    InitRandomTables();
    int synthetic = 258, width = 640, height = 480, runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v)
            return Usage();
        ++i;
        if (a == "--synthetic")
            synthetic = std::atoi(v);
        else if (a == "--size") {
            if (std::sscanf(v, "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0)
                return Usage();
        } else if (a == "--runs")
            runs = std::max(1, std::atoi(v));
        else
            return Usage();
    }
    std::string error;
    if (!LoadOpenGLLibraries("SGI", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    TSyntheticLandscapeOptions options;
    options.Size = synthetic;
    TProject* project = MakeSyntheticLandscape(options).release();
    if (!project) {
        std::fprintf(stderr, "cannot make a %d x %d landscape\n", synthetic, synthetic);
        return 1;
    }
    std::printf("synthetic landscape: %d x %d vertices, picture %d x %d, mean of %d runs\n", synthetic, synthetic,
                width, height, runs);
    TBenchEngine engine;
    engine.SetProject(&project);
    TGLPanel panel;
    panel.resize(width, height);
    panel.OnGLDraw = [&](TGLPanel&) {
        const TGLEntryPoints& gl = GL();
        double normals = 0, shadows = 0;
        for (int r = 0; r < runs; ++r) {
            project->ShadowsOutOfDate = 1;
            shadows += Seconds([&] { engine.RaytraceShadows(); });
            normals += Seconds([&] { engine.CalculateNormals(); });
        }
        std::printf("  normals                  %8.4f s\n", normals / runs);
        std::printf("  shadows                  %8.4f s\n", shadows / runs);
        engine.PrepareScene(width, height);
        engine.SetupCamera();
        engine.SetupLights();
        for (int depth = 1; depth <= 4; ++depth)
            for (bool clouds : {false, true}) {
                project->Fractal.FractalDepth = depth;
                project->Clouds.Items.front().Draw = clouds ? 1 : 0;
                double sky = 0;
                for (int r = 0; r < runs; ++r)
                    sky += Seconds([&] {
                        engine.DrawSky();
                        gl.glFinish();
                    });
                std::printf("  sky depth %d, clouds %-3s  %8.4f s\n", depth, clouds ? "on" : "off", sky / runs);
            }
    };
    panel.Redraw();
    delete project;
    return 0;
}
