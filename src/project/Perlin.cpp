#include "project/Perlin.h"

#include <cmath>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)

// Setup for one coordinate of two points, lane by lane as Setup does it; false (nothing set) when a
// lane is not finite or lies beyond 32-bit integers, where Setup takes its general path.
inline bool SetupPair(__m128d c, __m128i& b0, __m128i& b1, __m128d& r0, __m128d& r1)
{
    const __m128d t = _mm_add_pd(c, _mm_set1_pd(N));
    const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), t);
    // False for NaN and the infinities too.
    if (_mm_movemask_pd(_mm_cmplt_pd(magnitude, _mm_set1_pd(2147483648.0))) != 3)
        return false;
    // Truncated to whole numbers (exactly Trunc in this range); the low byte is the same as that
    // of the 64-bit integer Setup takes.
    const __m128i whole = _mm_cvttpd_epi32(t);
    const __m128d tt = _mm_cvtepi32_pd(whole);
    const __m128i mask = _mm_set1_epi32(BM);
    b0 = _mm_and_si128(whole, mask);
    b1 = _mm_and_si128(_mm_add_epi32(b0, _mm_set1_epi32(1)), mask);
    r0 = _mm_sub_pd(t, tt);
    r1 = _mm_sub_pd(r0, _mm_set1_pd(1.0));
    return true;
}

inline __m128d LerpPair(__m128d t, __m128d a, __m128d b) { return _mm_add_pd(a, _mm_mul_pd(t, _mm_sub_pd(b, a))); }

// The gradient components of table entries i0 (lane 0) and i1 (lane 1).
inline __m128d GradientX(int i0, int i1) { return _mm_set_pd(G2[i1][0], G2[i0][0]); }
inline __m128d GradientY(int i0, int i1) { return _mm_set_pd(G2[i1][1], G2[i0][1]); }

// InlineNoise2 at two points (x, y lanes), the same operations in the same order in each lane.
inline __m128d NoisePair(__m128d x, __m128d y)
{
    __m128i bx0, bx1, by0, by1;
    __m128d rx0, rx1, ry0, ry1;
    if (!SetupPair(x, bx0, bx1, rx0, rx1) || !SetupPair(y, by0, by1, ry0, ry1)) {
        double px[2], py[2];
        _mm_storeu_pd(px, x);
        _mm_storeu_pd(py, y);
        const double p0[2] = {px[0], py[0]}, p1[2] = {px[1], py[1]};
        return _mm_set_pd(InlineNoise2(p1), InlineNoise2(p0));
    }
    alignas(16) int32_t ix0[4], ix1[4], iy0[4], iy1[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(ix0), bx0);
    _mm_store_si128(reinterpret_cast<__m128i*>(ix1), bx1);
    _mm_store_si128(reinterpret_cast<__m128i*>(iy0), by0);
    _mm_store_si128(reinterpret_cast<__m128i*>(iy1), by1);
    int b00[2], b10[2], b01[2], b11[2];
    for (int k = 0; k < 2; ++k) {
        const int i = P[ix0[k]], j = P[ix1[k]];
        b00[k] = P[i + iy0[k]];
        b10[k] = P[j + iy0[k]];
        b01[k] = P[i + iy1[k]];
        b11[k] = P[j + iy1[k]];
    }
    const __m128d two = _mm_set1_pd(2.0), three = _mm_set1_pd(3.0);
    const __m128d sx = _mm_mul_pd(_mm_mul_pd(rx0, rx0), _mm_sub_pd(three, _mm_mul_pd(two, rx0)));
    const __m128d sy = _mm_mul_pd(_mm_mul_pd(ry0, ry0), _mm_sub_pd(three, _mm_mul_pd(two, ry0)));
    __m128d u = _mm_add_pd(_mm_mul_pd(rx0, GradientX(b00[0], b00[1])), _mm_mul_pd(ry0, GradientY(b00[0], b00[1])));
    __m128d v = _mm_add_pd(_mm_mul_pd(rx1, GradientX(b10[0], b10[1])), _mm_mul_pd(ry0, GradientY(b10[0], b10[1])));
    const __m128d a = LerpPair(sx, u, v);
    u = _mm_add_pd(_mm_mul_pd(rx0, GradientX(b01[0], b01[1])), _mm_mul_pd(ry1, GradientY(b01[0], b01[1])));
    v = _mm_add_pd(_mm_mul_pd(rx1, GradientX(b11[0], b11[1])), _mm_mul_pd(ry1, GradientY(b11[0], b11[1])));
    const __m128d b = LerpPair(sx, u, v);
    return LerpPair(sy, a, b);
}

#endif

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

void TurbulencePair(const double (&V)[2][2], const TOctaves& octaves, double (&out)[2])
{
#if defined(__SSE2__)
    if (octaves.Count >= 0) {
        const __m128d x = _mm_set_pd(V[1][0], V[0][0]), y = _mm_set_pd(V[1][1], V[0][1]);
        __m128d sum = _mm_setzero_pd();
        for (int k = 0; k < octaves.Count; ++k) {
            const __m128d f = _mm_set1_pd(octaves.Frequency[k]);
            const __m128d noise = NoisePair(_mm_mul_pd(x, f), _mm_mul_pd(y, f));
            sum = _mm_add_pd(sum, _mm_div_pd(noise, _mm_set1_pd(octaves.Frequency[k])));
        }
        _mm_storeu_pd(out, sum);
        return;
    }
#endif
    out[0] = TableSum<false>(V[0], octaves);
    out[1] = TableSum<false>(V[1], octaves);
}
