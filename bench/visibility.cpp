// Visibility of every vertex of a 258 x 258 grid: OpenGL feedback per point against the software
// projector the visibility pass uses. Needs a display (run under xvfb-run).
#include "platform/GLEntryPoints.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "render/RendererEngine.h"

#include <QApplication>

#include <chrono>
#include <cmath>
#include <cstdio>

namespace {
class TBenchEngine : public TRenderEngine {
public:
    void Render(TGLPanel&) override {}
};
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::string error;
    if (!LoadOpenGLLibraries("SGI", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    auto* project = new TProject();
    project->NewGrid(258, 258, 30.0, 30.0);
    project->ComputeWorldScale();
    for (int c = 0; c < 258; ++c)
        for (int r = 0; r < 258; ++r)
            project->Grid.Cells[c][r].Height = 100.0 * std::sin(c * 0.05) * std::cos(r * 0.04);
    TBenchEngine engine;
    engine.SetProject(&project);
    TGLPanel panel;
    panel.resize(640, 480);
    panel.OnGLDraw = [&](TGLPanel&) {
        engine.PrepareScene(640, 480);
        engine.SetupCamera();
        engine.SetupProjection(640, 240, 0.0);
        const double margin = project->MaxRoughnessMargin();
        using clock = std::chrono::steady_clock;
        auto t0 = clock::now();
        double sumFeedback = 0;
        for (int c = 0; c < 258; ++c)
            for (int r = 0; r < 258; ++r)
                sumFeedback += engine.PointVisibility({float(c - 129), float(project->Grid.Cells[c][r].Height / 10), float(r - 129)}, margin);
        auto t1 = clock::now();
        const TPointProjector projector;
        double sumSoftware = 0;
        for (int c = 0; c < 258; ++c)
            for (int r = 0; r < 258; ++r)
                sumSoftware += engine.PointVisibility(projector, {float(c - 129), float(project->Grid.Cells[c][r].Height / 10), float(r - 129)}, margin);
        auto t2 = clock::now();
        const double feedbackMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
        const double softwareMs = std::chrono::duration<double, std::milli>(t2 - t1).count();
        std::printf("visibility of 66564 vertices: feedback %.1f ms, software %.1f ms (sums %.3f / %.3f)\n",
                    feedbackMs, softwareMs, sumFeedback, sumSoftware);
    };
    panel.Redraw();
    delete project;
    return 0;
}
