// Interpolation speed: gridding, trend fill and smoothing of a square grid with one known cell in
// `every` (a random sprinkle of heights on a smooth surface).
//   interp [SIZE] [EVERY]      defaults 513 and 50
// Prints the time of each method and the cells filled per second.
#include "heightgrid/Interpolation.h"
#include "project/Project.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

int64_t sprinkle(TProject& p, int size, int every)
{
    p.NewGrid(size, size, 30.0, 30.0);
    int64_t known = 0;
    uint64_t state = 12345;
    for (int c = 0; c < size; ++c)
        for (int r = 0; r < size; ++r) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const bool keep = (state >> 33) % uint64_t(every) == 0;
            p.Grid.Cells[c][r].Height = keep ? 500 + 200 * std::sin(c * 0.02) * std::cos(r * 0.03) : NullHeight;
            known += keep;
        }
    p.Grid.MinHeight = 300;
    p.Grid.MaxHeight = 700;
    return known;
}

int64_t filled(const TProject& p, int size)
{
    int64_t n = 0;
    for (int c = 0; c < size; ++c)
        for (int r = 0; r < size; ++r)
            n += p.Grid.Cells[c][r].Height != NullHeight;
    return n;
}

int32_t keepGoing() { return 1; }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int size = argc > 1 ? std::max(4, std::atoi(argv[1])) : 513;
    const int every = argc > 2 ? std::max(1, std::atoi(argv[2])) : 50;
    QTemporaryDir temp;
    TProject project;
    for (const bool gradients : {false, true}) {
        for (const bool speed : {true, false}) {
            const int64_t known = sprinkle(project, size, every);
            TGridParams params;
            params.Gradients = gradients;
            params.Speed = speed;
            bool outOfRange = false;
            const auto t0 = Clock::now();
            RunGridding(project.Grid, TCellRect{0, 0, size - 1, size - 1}, params, TGriddingLibrary{},
                        temp.path().toStdString(), {}, keepGoing, outOfRange);
            const double s = std::chrono::duration<double>(Clock::now() - t0).count();
            const int64_t n = filled(project, size) - known;
            std::printf("gridding %dx%d, %lld points, gradients %d, speed %d: %.3f s, %.0f cells/s\n", size, size,
                        static_cast<long long>(known), gradients, speed, s, n / std::max(s, 1e-9));
        }
    }
    {
        sprinkle(project, size, every);
        const auto t0 = Clock::now();
        int32_t passes = 0;
        const bool ok = TrendFill(project.Grid, 0.0, &passes);
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        std::printf("trend fill %dx%d: %s after %d passes, %.3f s\n", size, size, ok ? "done" : "insufficient", passes, s);
        const auto t1 = Clock::now();
        SmoothGrid(project.Grid, 0.0);
        std::printf("smoothing %dx%d: %.3f s\n", size, size, std::chrono::duration<double>(Clock::now() - t1).count());
    }
    return 0;
}
