// Costs of the vegetation per cell: expanding a plant file (once per file and variant per render),
// gathering the plants of a forest cell, and the per-texel plant-shadow test, which runs for every
// landscape texel.
#include "platform/LSystem.h"
#include "project/MathUtils.h"
#include "project/Project.h"
#include "render/FractalRendererEngine.h"

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

template <typename F>
double Seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main()
{
    InitRandomTables();
    auto buffer = std::make_unique<TLParserBuffer>();
    const std::string tree = "6\n25\n20\nF\nF=F[+F'~][-F'~][&F~]F\n";
    int polygons = 0;
    const double parse = Seconds([&] {
        for (int i = 0; i < 20; ++i) {
            LParseText(tree, i, *buffer);
            polygons = buffer->Count;
        }
    });
    std::printf("%-36s %8.3f ms per file (%d triangles)\n", "L-system expansion", parse / 20 * 1e3, polygons);

    TProject* project = new TProject();
    project->NewGrid(4, 4, 100.0, 100.0);
    project->Fractal.DrawNoModels = 0;
    project->Atmosphere.ShadowDepth = 0.4;
    project->Actors.Items.resize(1);
    project->Actors.Count = 1;
    project->Actors.Items[0].ID = 1;
    TTerrainLayer layer;
    layer.ID = 1;
    layer.DrawPlants = 1;
    layer.Plants[0] = {1, 8, 40};
    project->TerrainLayers.Items = {layer};
    project->TerrainLayers.Count = 1;
    project->LayerBitmap = QImage(16, 16, QImage::Format_RGB32);
    project->LayerBitmap.fill(qRgb(1, 0, 0));
    TFractalRenderEngine engine;
    engine.SetProject(&project);

    // A cell at level 4: 17 x 17 sub-quads of a 100 x 100 cell.
    const int n = 17;
    const double side = 100.0 / n;
    const double gather = Seconds([&] {
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                TCellGeometry q;
                q.Visible = 1;
                const float x0 = float(-100 + i * side), z0 = float(-100 + j * side);
                q.Corners[0] = {x0, float(i * 0.3), z0};
                q.Corners[2] = {float(x0 + side), float(j * 0.7), float(z0 + side)};
                q.MeanNormal = {0, 1, 0};
                engine.DrawCellEcology(q);
            }
    });
    std::printf("%-36s %8.3f ms per cell (%zu plants)\n", "gathering a forest cell", gather * 1e3,
                engine.CellPlants.size());

    // Every texel of the cell: 17 x 17 sub-quads of 32 x 32 texels.
    const long texels = long(n) * n * 32 * 32;
    double sum = 0;
    const double shade = Seconds([&] {
        for (long t = 0; t < texels; ++t) {
            double lf = 1.0;
            engine.PlantShadowsOnTexel(-100 + (t % 544) * (100.0 / 544), -100 + (t / 544) * (100.0 / 544), lf);
            sum += lf;
        }
    });
    std::printf("%-36s %8.1f ns per texel (%ld texels, mean light %.3f)\n", "plant-shadow test", shade / texels * 1e9,
                texels, sum / texels);
    engine.DrawCellPlants();
    delete project;
    return 0;
}
