#include "platform/NoiseLib.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

// Four octaves of improved gradient noise (quintic fade, twelve edge gradients) over a 256-periodic
// lattice. The permutation comes from a private generator with a fixed seed, so it never depends
// on the program's shared random sequence. `param` shifts the point by an amount derived from its
// bits, which gives each seed its own field without rebuilding tables.

namespace {

struct PermutationTable {
    std::array<uint8_t, 512> p{};
    constexpr PermutationTable()
    {
        for (int i = 0; i < 256; ++i)
            p[i] = static_cast<uint8_t>(i);
        uint32_t s = 0x2545F491u;
        for (int i = 255; i > 0; --i) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            const int k = static_cast<int>(s % static_cast<uint32_t>(i + 1));
            const uint8_t t = p[i];
            p[i] = p[k];
            p[k] = t;
        }
        for (int i = 0; i < 256; ++i)
            p[256 + i] = p[i];
    }
};

constexpr PermutationTable kPerm;

inline double Fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }
inline double Lerp(double t, double a, double b) { return a + t * (b - a); }

// The gradient of a hash dotted with the offset: the sum of two of its components, signed.
// Tables instead of branches; multiplying by +-1 and the order of the sum leave the value exact.
constexpr uint8_t kGradU[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1};
constexpr uint8_t kGradV[16] = {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 0, 2, 0, 2};
constexpr double kGradSignU[16] = {1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1};
constexpr double kGradSignV[16] = {1, 1, -1, -1, 1, 1, -1, -1, 1, 1, -1, -1, 1, 1, -1, -1};

inline double Grad(int hash, double x, double y, double z)
{
    const int h = hash & 15;
    const double c[3] = {x, y, z};
    return kGradSignU[h] * c[kGradU[h]] + kGradSignV[h] * c[kGradV[h]];
}

// Splits a coordinate into its lattice cell (0..255) and the offset inside it, for any finite value.
inline void Split(double c, int& cell, double& frac)
{
    if (std::fabs(c) < 0x1p52) {
        // c mod 256 through integer truncation: c / 256 and its integer part are exact, and so is
        // the difference, the exact remainder. Only the sign of a zero may differ from the general
        // path below, and no sum or product of the noise turns a zero's sign into a different value.
        double w = c - 256.0 * static_cast<double>(static_cast<int64_t>(c * (1.0 / 256.0)));
        if (w < 0)
            w += 256.0;
        const int whole = static_cast<int>(w); // w is in 0 .. 256
        cell = whole & 255;
        frac = w - whole;
        return;
    }
    double w = std::fmod(c, 256.0);
    if (w < 0)
        w += 256.0;
    const double f = std::floor(w);
    cell = static_cast<int>(f) & 255;
    frac = w - f;
}

// One coordinate split for the lattice: cell, offset and its fade.
struct TAxis {
    int Cell = 0;
    double Frac = 0, Fade = 0;
};

inline TAxis SplitAxis(double c)
{
    TAxis a;
    Split(c, a.Cell, a.Frac);
    a.Fade = Fade(a.Frac);
    return a;
}

double Gradient3(const TAxis& ax, const TAxis& ay, const TAxis& az)
{
    const int X = ax.Cell, Y = ay.Cell, Z = az.Cell;
    const double fx = ax.Frac, fy = ay.Frac, fz = az.Frac;
    const auto& p = kPerm.p;
    const double u = ax.Fade, v = ay.Fade, w = az.Fade;
    const int A = p[X] + Y, AA = p[A] + Z, AB = p[A + 1] + Z;
    const int B = p[X + 1] + Y, BA = p[B] + Z, BB = p[B + 1] + Z;
    return Lerp(w,
                Lerp(v, Lerp(u, Grad(p[AA], fx, fy, fz), Grad(p[BA], fx - 1, fy, fz)),
                     Lerp(u, Grad(p[AB], fx, fy - 1, fz), Grad(p[BB], fx - 1, fy - 1, fz))),
                Lerp(v, Lerp(u, Grad(p[AA + 1], fx, fy, fz - 1), Grad(p[BA + 1], fx - 1, fy, fz - 1)),
                     Lerp(u, Grad(p[AB + 1], fx, fy - 1, fz - 1), Grad(p[BB + 1], fx - 1, fy - 1, fz - 1))));
}

// Offset of the field selected by `param`: a hash of its value, 0..256 in each axis.
void ParamOffset(double param, double& ox, double& oy, double& oz)
{
    uint64_t h = 0x9E3779B97F4A7C15ull;
    const double q = param == 0.0 ? 0.0 : param; // -0 and +0 select the same field
    h ^= std::bit_cast<uint64_t>(q);
    auto next = [&h]() {
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        h ^= h >> 33;
        return static_cast<double>(h >> 40) / static_cast<double>(1ull << 24) * 256.0;
    };
    ox = next();
    oy = next();
    oz = next();
}

} // namespace

double NoiseAt(double x, double y, double z, double param)
{
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(param))
        return 0.5;
    // Callers sample one field many times in a row: the offset of the last one is kept.
    thread_local double lastParam = 0, lastX = 0, lastY = 0, lastZ = 0;
    thread_local bool known = false;
    if (!known || std::bit_cast<uint64_t>(lastParam) != std::bit_cast<uint64_t>(param)) {
        ParamOffset(param, lastX, lastY, lastZ);
        lastParam = param;
        known = true;
    }
    const double ox = lastX, oy = lastY, oz = lastZ;
    x += ox;
    y += oy;
    z += oz;
    // The displacement passes a seed as the third coordinate: its splits are kept for the next call.
    constexpr int kOctaves = 4;
    thread_local double lastZIn = 0;
    thread_local bool zKnown = false;
    thread_local TAxis zAxes[kOctaves];
    if (!zKnown || std::bit_cast<uint64_t>(lastZIn) != std::bit_cast<uint64_t>(z)) {
        double f = 1;
        for (int octave = 0; octave < kOctaves; ++octave, f *= 2.0)
            zAxes[octave] = SplitAxis(z * f);
        lastZIn = z;
        zKnown = true;
    }
    double sum = 0, amplitude = 1, total = 0, frequency = 1;
    for (int octave = 0; octave < kOctaves; ++octave) {
        sum += amplitude * Gradient3(SplitAxis(x * frequency), SplitAxis(y * frequency), zAxes[octave]);
        total += amplitude;
        amplitude *= 0.5;
        frequency *= 2.0;
    }
    const double v = 0.5 + 0.5 * (sum / total);
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}
