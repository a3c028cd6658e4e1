// Figures for the map control's back buffer: a whole drawing of large grids at a few zoom levels,
// the redraw of one cell after a spot edit, and a flood over a whole flat grid.
#include "heightgrid/HeightTools.h"
#include "heightgrid/MapDrawing.h"
#include "project/Project.h"

#include <QGuiApplication>

#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the height numbers
    for (int size : {258, 1201}) {
        TProject* project = new TProject;
        if (!project->NewGrid(size, size, 30.0, 30.0))
            return 1;
        for (int c = 0; c < size; ++c)
            for (int r = 0; r < size; ++r)
                project->Grid.Cells[c][r].Height = 500 + 400 * std::sin(c * 0.05) * std::cos(r * 0.04);
        project->Grid.MinHeight = 100;
        project->Grid.MaxHeight = 900;
        for (int zoom : {0, 2, 4}) {
            QSize bufferSize;
            if (!MapBufferSize(zoom, size, size, bufferSize))
                continue;
            QImage buffer(bufferSize, QImage::Format_RGB32);
            TMapDrawOptions options;
            options.Scale = FitScale(bufferSize.width(), bufferSize.height(), size, size);
            TMapDrawState state;
            auto start = std::chrono::steady_clock::now();
            DrawMapArea(buffer, project->Grid, QImage(), options, state, true, {});
            const double whole = msSince(start);
            start = std::chrono::steady_clock::now();
            for (int i = 0; i < 100; ++i)
                DrawMapArea(buffer, project->Grid, QImage(), options, state, false, {size / 2, size / 2, size / 2, size / 2});
            const double cell = msSince(start) / 100;
            std::printf("grid %4d  zoom %d  buffer %5dx%-5d  scale %6.2f  whole %8.1f ms  one cell %7.3f ms\n", size, zoom,
                        bufferSize.width(), bufferSize.height(), options.Scale, whole, cell);
        }
        for (int c = 0; c < size; ++c)
            for (int r = 0; r < size; ++r)
                project->Grid.Cells[c][r].Height = 0;
        THeightTools tools(&project);
        const auto start = std::chrono::steady_clock::now();
        const int64_t flooded = tools.Flood(0, 0, false);
        std::printf("grid %4d  flood of %lld cells %8.1f ms\n", size, static_cast<long long>(flooded), msSince(start));
        delete project;
    }
    return 0;
}
