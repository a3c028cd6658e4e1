// The overlay renderer on a 258 x 258 grid with two overlays at 640 x 480: cells drawn in row
// batches against one fan per cell. Needs a display (run under xvfb-run).
// QX_BENCH_NO_PUMP=1: no message pumping; QX_BENCH_PICTURE=prefix: the pictures are saved as PNG.
#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "render/GLPanel.h"
#include "render/OverlayRendererEngine.h"

#include <QApplication>
#include <QDir>
#include <QImage>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
// Pumps the event loop as the main window's status sink does.
class TPumpingStatus : public IStatusSink {
public:
    void SetOperationText(const std::string&) override {}
    void SetStepText(const std::string&) override {}
    void SetProgress(int) override {}
    void SetBusyCursor(bool) override {}
    void ProcessMessages() override { QCoreApplication::processEvents(); }
};
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::string error;
    if (!LoadOpenGLLibraries("SGI", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::string folder = QDir::tempPath().toStdString() + "/qx_overlay_bench/";
    QDir().mkpath(QString::fromStdString(folder));
    auto* project = new TProject();
    project->NewGrid(258, 258, 30.0, 30.0);
    project->ComputeWorldScale();
    for (int c = 0; c < 258; ++c)
        for (int r = 0; r < 258; ++r)
            project->Grid.Cells[c][r].Height = 300.0 * std::sin(c * 0.05) * std::cos(r * 0.04);
    project->Camera.Eye = {0, 2500, 5000};
    project->Camera.Target = {0, 0, 0};
    project->Overlays.Directory = folder;
    project->Overlays.Items.clear();
    for (int i = 0; i < 2; ++i) {
        QImage picture(256, 256, QImage::Format_RGB32);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                picture.setPixel(x, y, qRgb(x, y, i * 200));
        const std::string name = "bench" + std::to_string(i) + ".bmp";
        picture.save(QString::fromStdString(folder + name), "BMP");
        TOverlayImage overlay;
        overlay.FileName = name;
        overlay.DrawOverlay = 1;
        overlay.TransparencyMode = 1;
        overlay.Transparency = i == 0 ? 1.0 : 0.4;
        project->Overlays.Items.push_back(overlay);
    }
    project->Overlays.Count = 2;

    TPumpingStatus pumping;
    // QX_BENCH_NO_PUMP=1 leaves the messages unpumped, to show what pumping after every cell costs.
    const char* noPump = std::getenv("QX_BENCH_NO_PUMP");
    const bool pumped = !(noPump && std::string(noPump) == "1");
    if (pumped)
        SetStatusSink(&pumping);
    auto time = [&](bool batched, QImage& picture) {
        TOverlayRenderEngine engine;
        engine.SetProject(&project);
        engine.BatchCells = batched;
        TGLPanel panel;
        panel.resize(640, 480);
        panel.SetGLFlags(SetOf(GLf_DRAW_TO_BITMAP) | SetOf(GLf_SUPPORT_GDI) | SetOf(GLf_SUPPORT_OPENGL));
        panel.OnGLInit = [](TGLPanel&) {
            GL().glEnable(GL_DEPTH_TEST);
            GL().glEnable(GL_CULL_FACE);
        };
        panel.OnGLDraw = [&](TGLPanel& p) { engine.Render(p); };
        project->ShadowsOutOfDate = 1;
        const auto t0 = std::chrono::steady_clock::now();
        panel.Redraw();
        const auto t1 = std::chrono::steady_clock::now();
        picture = panel.Picture();
        if (const char* out = std::getenv("QX_BENCH_PICTURE")) picture.save(QString::fromUtf8(out) + (batched ? "b.png" : "f.png"));
        return std::chrono::duration<double, std::milli>(t1 - t0).count();
    };
    QImage batchedPicture, fanPicture, skyPicture;
    for (TOverlayImage& overlay : project->Overlays.Items)
        overlay.DrawOverlay = 0;
    const double sky = time(true, skyPicture);
    for (TOverlayImage& overlay : project->Overlays.Items)
        overlay.DrawOverlay = 1;
    const double fans = time(false, fanPicture);
    const double batched = time(true, batchedPicture);
    std::printf("overlay render, 258 x 258 grid, 640 x 480, messages %s: sky and preprocessing only "
                "%.1f ms; 2 overlays one fan per cell %.1f ms, row batches %.1f ms (pictures %s)\n",
                pumped ? "pumped after every cell" : "not pumped", sky, fans, batched,
                fanPicture == batchedPicture ? "equal" : "DIFFER");
    SetStatusSink(nullptr);
    delete project;
    UnloadOpenGLLibraries();
    return 0;
}
