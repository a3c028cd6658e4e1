#include "project/Perlin.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace {

constexpr int B = 256;
constexpr int BM = 255;
constexpr double N = 4096.0;
constexpr double kOctave = 1.7;

int P[B + B + 2];
double G1[B + B + 2];
double G2[B + B + 2][2];
double G3[B + B + 2][3];

double GradientComponent() { return ((Random(65536) % 512) - 256) / 256.0; }

template <int Dim>
void Normalize(double (&v)[Dim])
{
    double s = 0;
    for (double c : v)
        s += c * c;
    s = std::sqrt(s);
    if (s == 0)
        return; // both components drawn as 0: the gradient stays zero
    for (double& c : v)
        c /= s;
}

inline double SCurve(double t) { return t * t * (3.0 - 2.0 * t); }
inline double Lerp(double t, double a, double b) { return a + t * (b - a); }

// Lattice cell and offsets of one coordinate. Truncation (not floor) as the tables were tuned for;
// the offset N keeps it positive down to -4096.
bool Setup(double c, int& b0, int& b1, double& r0, double& r1)
{
    const double t = c + N;
    if (!std::isfinite(t))
        return false;
    const double tt = std::trunc(t);
    // The low byte of the integer part; fmod only where the integer does not fit 64 bits (the
    // remainder has the same low byte in two's complement).
    const int64_t whole = std::fabs(tt) < 0x1p62 ? static_cast<int64_t>(tt) : static_cast<int64_t>(std::fmod(tt, 256.0));
    b0 = static_cast<int>(whole & BM);
    b1 = (b0 + 1) & BM;
    r0 = t - tt;
    r1 = r0 - 1.0;
    return true;
}

inline double InlineNoise2(const double* V)
{
    int bx0, bx1, by0, by1;
    double rx0, rx1, ry0, ry1;
    if (!Setup(V[0], bx0, bx1, rx0, rx1) || !Setup(V[1], by0, by1, ry0, ry1))
        return 0;
    const int i = P[bx0], j = P[bx1];
    const int b00 = P[i + by0], b10 = P[j + by0], b01 = P[i + by1], b11 = P[j + by1];
    const double sx = SCurve(rx0), sy = SCurve(ry0);
    double u = rx0 * G2[b00][0] + ry0 * G2[b00][1];
    double v = rx1 * G2[b10][0] + ry0 * G2[b10][1];
    const double a = Lerp(sx, u, v);
    u = rx0 * G2[b01][0] + ry1 * G2[b01][1];
    v = rx1 * G2[b11][0] + ry1 * G2[b11][1];
    const double b = Lerp(sx, u, v);
    return Lerp(sy, a, b);
}

template <bool SqrtWeight>
double Sum(const double* V, double maxFreq)
{
    double sum = 0;
    // An infinite MaxFreq would never end the octaves; they stop once f overflows.
    for (double f = 1.0; f <= maxFreq && std::isfinite(f); f *= kOctave) {
        const double p[2] = {V[0] * f, V[1] * f};
        sum += InlineNoise2(p) / (SqrtWeight ? std::sqrt(f) : f);
    }
    return sum;
}

template <bool SqrtWeight>
double TableSum(const double* V, const TOctaves& octaves)
{
    if (octaves.Count < 0)
        return Sum<SqrtWeight>(V, octaves.MaxFreq);
    const double* weight = SqrtWeight ? octaves.Root : octaves.Frequency;
    double sum = 0;
    for (int k = 0; k < octaves.Count; ++k) {
        const double f = octaves.Frequency[k];
        const double p[2] = {V[0] * f, V[1] * f};
        sum += InlineNoise2(p) / weight[k];
    }
    return sum;
}

} // namespace

void InitPerlinTables()
{
    for (int i = 0; i < B; ++i) {
        P[i] = i;
        G1[i] = GradientComponent();
        for (int j = 0; j < 2; ++j)
            G2[i][j] = GradientComponent();
        Normalize(G2[i]);
        for (int j = 0; j < 3; ++j)
            G3[i][j] = GradientComponent();
        Normalize(G3[i]);
    }
    for (int i = B - 1; i > 0; --i) {
        const int k = Random(65536) % B;
        std::swap(P[i], P[k]);
    }
    for (int i = 0; i < B + 2; ++i) {
        P[B + i] = P[i];
        G1[B + i] = G1[i];
        G2[B + i][0] = G2[i][0];
        G2[B + i][1] = G2[i][1];
        for (int j = 0; j < 3; ++j)
            G3[B + i][j] = G3[i][j];
    }
}

double Noise2(const double* V) { return InlineNoise2(V); }

double Turbulence(const double* V, double MaxFreq) { return Sum<false>(V, MaxFreq); }

double TurbulenceSqrt(const double* V, double MaxFreq)
{
    MaskFPUExceptions();
    ClearFPUExceptions();
    return Sum<true>(V, MaxFreq);
}

void SetOctaves(TOctaves& octaves, double MaxFreq)
{
    octaves.MaxFreq = MaxFreq;
    octaves.Count = 0;
    // The same products, in the same order, as the loop of Sum.
    for (double f = 1.0; f <= MaxFreq && std::isfinite(f); f *= kOctave) {
        if (octaves.Count == TOctaves::MaxCount) {
            octaves.Count = -1;
            return;
        }
        octaves.Frequency[octaves.Count] = f;
        octaves.Root[octaves.Count] = std::sqrt(f);
        ++octaves.Count;
    }
}

double Turbulence(const double* V, const TOctaves& octaves) { return TableSum<false>(V, octaves); }

double TurbulenceSqrt(const double* V, const TOctaves& octaves)
{
    MaskFPUExceptions();
    ClearFPUExceptions();
    return TableSum<true>(V, octaves);
}
