// The fractal cells of a 258 x 258 synthetic project at fractal depth 4 in a 640 x 480 panel:
// subdivision, texel shading and batched drawing, against the floor of drawing the same
// triangles as one untextured vertex array. Levels fall with distance from the camera (a
// stand-in for the renderer's level of detail). Needs a display (run under xvfb-run).
// Usage: cells [--per-quad] (one texture upload and one fan per sub-quad, for comparison).
#include "platform/GLEntryPoints.h"
#include "project/Project.h"
#include "render/FractalRendererEngine.h"
#include "render/GLPanel.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool perQuad = argc > 1 && std::strcmp(argv[1], "--per-quad") == 0;
    std::string error;
    if (!LoadOpenGLLibraries("SGI", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const int size = 258;
    auto* project = new TProject();
    project->NewGrid(size, size, 30.0, 30.0);
    TGridBlock& g = project->Grid;
    for (int c = 0; c < size; ++c)
        for (int r = 0; r < size; ++r) {
            TGridCell& cell = g.Cells[c][r];
            cell.Height = 400.0 + 300.0 * std::sin(c * 0.05) * std::cos(r * 0.04) + 40.0 * std::sin(c * 0.31 + r * 0.17);
            cell.CachedRoughness = 20.0f;
            cell.Flooded = cell.Height < 150.0;
        }
    g.MinHeight = 0;
    g.MaxHeight = 800;
    project->ComputeWorldScale();
    project->TreeLineHeight = 320;
    project->SnowLineHeight = 640;
    project->Fractal.FractalDepth = 4;
    const double ws = project->WorldScale;
    project->Camera.Eye = {static_cast<float>(-60 * 30.0), 1200.0f, static_cast<float>(90 * 30.0)};
    project->Camera.Target = {0.0f, 300.0f, 0.0f};

    TFractalRenderEngine engine;
    engine.SetProject(&project);
    engine.RenderDepth = 4;
    engine.PerQuadTextures = perQuad;
    TGLPanel panel;
    panel.resize(640, 480);
    panel.GLObjectLoaded = true;
    panel.OnGLDraw = [&](TGLPanel&) {
        const TGLEntryPoints& gl = GL();
        using clock = std::chrono::steady_clock;
        auto ms = [](clock::time_point a, clock::time_point b) {
            return std::chrono::duration<double, std::milli>(b - a).count();
        };
        engine.PrepareScene(640, 480);
        engine.SetupCamera();
        engine.CalculateVisibility();
        engine.SetupLights();
        auto s0 = clock::now();
        engine.DrawSky();
        gl.glFinish();
        auto s1 = clock::now();
        gl.glDisable(GL_LIGHTING);
        gl.glEnable(GL_COLOR_MATERIAL);
        SetRandSeed(1);
        const TVector3 eye = project->GetCameraPosition();
        const double spacing = 30.0 / ws;
        std::vector<float> floor;
        auto t0 = clock::now();
        for (int c = 0; c + 1 < size; ++c)
            for (int r = 0; r + 1 < size; ++r) {
                TCellGeometry cell;
                if (!project->GetCellGeometry(c, r, cell) || cell.Depth < 0)
                    continue;
                const double d = std::hypot(cell.Centre.X - eye.X, cell.Centre.Y - eye.Y, cell.Centre.Z - eye.Z);
                const int level = std::clamp(4 - static_cast<int>(std::floor(std::log2(std::max(1.0, d / (spacing * 4))))), 0, 4);
                cell.Level = level;
                engine.DrawFractalCell(cell, cell, level);
                // The same sub-quads, flat, for the floor.
                const int n = FractalTables::SubdivisionCount(level);
                for (int i = 0; i < n; ++i)
                    for (int j = 0; j < n; ++j)
                        for (int k : {0, 1, 2, 0, 2, 3}) {
                            const double u = (i + (k == 1 || k == 2)) / double(n), v = (j + (k >= 2)) / double(n);
                            const double w[4] = {(1 - u) * (1 - v), u * (1 - v), u * v, (1 - u) * v};
                            float p[3] = {0, 0, 0};
                            for (int q = 0; q < 4; ++q) {
                                p[0] += float(cell.Corners[q].X * w[q]);
                                p[1] += float(cell.Corners[q].Y * w[q]);
                                p[2] += float(cell.Corners[q].Z * w[q]);
                            }
                            floor.insert(floor.end(), p, p + 3);
                        }
            }
        engine.FlushCellBatches();
        gl.glFinish();
        auto t1 = clock::now();
        gl.glClear(GL_DEPTH_BUFFER_BIT);
        gl.glEnable(GL_CULL_FACE);
        gl.glFrontFace(GL_CW);
        gl.glColor3f(0.3f, 0.5f, 0.2f);
        auto f0 = clock::now();
        gl.glEnableClientState(GL_VERTEX_ARRAY);
        gl.glVertexPointer(3, GL_FLOAT, 0, floor.data());
        gl.glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(floor.size() / 3));
        gl.glDisableClientState(GL_VERTEX_ARRAY);
        gl.glFinish();
        auto f1 = clock::now();
        engine.ReleaseCellTextures();
        const double cellsMs = ms(t0, t1), floorMs = ms(f0, f1);
        std::printf("%s: sky %.0f ms; cells %.0f ms: %d sub-quads drawn (%.0f /s), %lld texels (%.2f M/s)\n",
                    perQuad ? "per-quad textures" : "batched atlas", ms(s0, s1), cellsMs, engine.QuadCount,
                    engine.QuadCount / (cellsMs / 1000), static_cast<long long>(engine.TexelsShaded),
                    engine.TexelsShaded / (cellsMs / 1000) / 1e6);
        std::printf("floor: %zu sub-quads as one vertex array %.1f ms; cells / floor = %.1f\n", floor.size() / 18,
                    floorMs, cellsMs / std::max(floorMs, 0.001));
    };
    panel.Redraw();
    delete project;
    return 0;
}
