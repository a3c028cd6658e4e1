// Throughput of the noise sources the renderers sample per texel and per vertex: the table noise,
// the noise library, the gradient noise and its turbulence sum, and the 65 x 65 noise tile.
#include "platform/NoiseLib.h"
#include "project/MathUtils.h"
#include "project/Perlin.h"

#include <chrono>
#include <cstdio>

namespace {

template <typename F>
void Measure(const char* name, long calls, F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    volatile double sink = 0;
    double acc = 0;
    for (long i = 0; i < calls; ++i)
        acc += f(i);
    sink = acc;
    (void)sink;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-28s %10ld calls  %8.3f s  %12.0f calls/s\n", name, calls, seconds, calls / seconds);
}

} // namespace

int main()
{
    InitRandomTables();
    Measure("TableNoise", 20'000'000, [](long i) { return TableNoise(i * 0.000731f, i * 0.000419f); });
    Measure("NoiseAt (noise library)", 2'000'000,
            [](long i) { return NoiseAt(i * 0.0137, i * 0.0291, 50.0, 257.0); });
    Measure("Noise2", 10'000'000, [](long i) {
        const double v[2] = {i * 0.0137, i * 0.0291};
        return Noise2(v);
    });
    Measure("Turbulence (MaxFreq 64)", 1'000'000, [](long i) {
        const double v[2] = {i * 0.0137, i * 0.0291};
        return Turbulence(v, 64.0);
    });
    Measure("TurbulenceSqrt (MaxFreq 64)", 1'000'000, [](long i) {
        const double v[2] = {i * 0.0137, i * 0.0291};
        return TurbulenceSqrt(v, 64.0);
    });
    static float tile[65][65];
    Measure("MakeNoiseTile (65 x 65)", 200, [](long i) { return MakeNoiseTile(static_cast<int32_t>(i), tile, 1.0); });
    return 0;
}
