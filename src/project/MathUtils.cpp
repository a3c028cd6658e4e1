#include "project/MathUtils.h"

#include "platform/GLEntryPoints.h"
#include "platform/NoiseLib.h"
#include "project/Perlin.h"

#include <QDir>

#include <cfenv>
#include <cmath>
#include <numbers>

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;

uint32_t gSeed = 0;
// The generator this thread's draws use while a TLocalRandom lives on it; null: the shared one.
thread_local uint32_t* tLocalSeed = nullptr;

uint32_t& ActiveSeed() { return tLocalSeed ? *tLocalSeed : gSeed; }
int16_t gNoiseTable[65536] = {};

bool InInt32(double x) { return x >= -2147483648.0 && x <= 2147483647.0; }

float Clamp01(float v) { return v < 0 ? 0.0f : (v > 1 ? 1.0f : v); }

} // namespace

// ---- Rounding --------------------------------------------------------------------------------

int32_t Round(double x)
{
    // nearbyint in the default rounding mode rounds halves to even.
    const double r = std::nearbyint(x);
    if (!std::isfinite(r) || !InInt32(r))
        throw ERangeError();
    return static_cast<int32_t>(r);
}

int32_t Trunc(double x)
{
    const double r = std::trunc(x);
    if (!std::isfinite(r) || !InInt32(r))
        throw ERangeError();
    return static_cast<int32_t>(r);
}

int32_t FloorToInt(float x)
{
    const int32_t t = Trunc(x);
    if (x >= 0)
        return t;
    if (t == INT32_MIN)
        throw ERangeError();
    return t - 1;
}

// ---- Vectors ---------------------------------------------------------------------------------

TVector3 MakeVector3(float x, float y, float z) { return {x, y, z}; }
TVector4 MakeVector4(float a, float b, float c, float d) { return {a, b, c, d}; }
TVector3 CopyVector3(const TVector3& v) { return v; }
TVector4 Vector3To4(const TVector3& v, float w) { return {v.X, v.Y, v.Z, w}; }

TVector3 AddVector3(const TVector3& a, const TVector3& b)
{
    return {static_cast<float>(double(a.X) + b.X), static_cast<float>(double(a.Y) + b.Y),
            static_cast<float>(double(a.Z) + b.Z)};
}

TVector3 SubtractVector(const TVector3& a, const TVector3& b)
{
    return {static_cast<float>(double(a.X) - b.X), static_cast<float>(double(a.Y) - b.Y),
            static_cast<float>(double(a.Z) - b.Z)};
}

TVector3 ScaleVector(const TVector3& v, double factor)
{
    return {static_cast<float>(v.X * factor), static_cast<float>(v.Y * factor), static_cast<float>(v.Z * factor)};
}

TVector3 ScaleVector3(const TVector3& v, double factor) { return ScaleVector(v, factor); }

TVector4 ScaleColor4(const TVector4& c, double factor)
{
    return {static_cast<float>(c.R * factor), static_cast<float>(c.G * factor), static_cast<float>(c.B * factor), c.A};
}

float DotProduct(const TVector3& a, const TVector3& b)
{
    return static_cast<float>(double(a.X) * b.X + double(a.Y) * b.Y + double(a.Z) * b.Z);
}

float ClampedDot(const TVector3& a, const TVector3& b) { return Clamp01(DotProduct(a, b)); }

float AbsClampedDot(const TVector3& a, const TVector3& b)
{
    const float d = std::fabs(DotProduct(a, b));
    return d > 1 ? 1.0f : d;
}

TVector4 ClampColor3(const TVector4& c) { return {Clamp01(c.R), Clamp01(c.G), Clamp01(c.B), c.A}; }

TVector3 NormalizeVector(const TVector3& v)
{
    double length = std::sqrt(double(v.X) * v.X + double(v.Y) * v.Y + double(v.Z) * v.Z);
    if (length == 0)
        length = 1;
    return {static_cast<float>(v.X / length), static_cast<float>(v.Y / length), static_cast<float>(v.Z / length)};
}

TVector3 TriangleNormal(const TVector3& a, const TVector3& b, const TVector3& c)
{
    const double e1x = double(a.X) - b.X, e1y = double(a.Y) - b.Y, e1z = double(a.Z) - b.Z;
    const double e2x = double(b.X) - c.X, e2y = double(b.Y) - c.Y, e2z = double(b.Z) - c.Z;
    const TVector3 cross{static_cast<float>(e1y * e2z - e1z * e2y), static_cast<float>(e1z * e2x - e1x * e2z),
                         static_cast<float>(e1x * e2y - e1y * e2x)};
    return NormalizeVector(cross);
}

TVector3 QuadCentre(const TVector3& a, const TVector3& b, const TVector3& c, const TVector3& d)
{
    return {static_cast<float>((double(a.X) + b.X + c.X + d.X) / 4),
            static_cast<float>((double(a.Y) + b.Y + c.Y + d.Y) / 4),
            static_cast<float>((double(a.Z) + b.Z + c.Z + d.Z) / 4)};
}

TVector4 BlendVector4(const TVector4& a, const TVector4& b, double t)
{
    const double u = 1.0 - t;
    return {static_cast<float>(a.R * t + b.R * u), static_cast<float>(a.G * t + b.G * u),
            static_cast<float>(a.B * t + b.B * u), static_cast<float>(a.A * t + b.A * u)};
}

TVector3 ReflectVector(const TVector3& v, const TVector3& n)
{
    const double d2 = 2.0 * DotProduct(v, n);
    return {static_cast<float>(v.X - d2 * n.X), static_cast<float>(v.Y - d2 * n.Y), static_cast<float>(v.Z - d2 * n.Z)};
}

TVector4 VectorTransform(const TVector4& v, const TMatrix4& m)
{
    const double in[4] = {v.R, v.G, v.B, v.A};
    float out[4];
    for (int j = 0; j < 4; ++j) {
        double s = 0;
        for (int i = 0; i < 4; ++i)
            s += in[i] * m.M[4 * i + j];
        out[j] = static_cast<float>(s);
    }
    return {out[0], out[1], out[2], out[3]};
}

TMatrix4 CreateRotationMatrix(const TVector3& axis, float angle)
{
    const double x = axis.X, y = axis.Y, z = axis.Z;
    const double c = std::cos(double(angle)), s = std::sin(double(angle)), t = 1 - c;
    const double rows[16] = {
        x * x + (1 - x * x) * c, x * y * t + s * z,       x * z * t - s * y,       0,
        x * y * t - s * z,       y * y + (1 - y * y) * c, y * z * t + s * x,       0,
        x * z * t + s * y,       y * z * t - s * x,       z * z + (1 - z * z) * c, 0,
        0,                       0,                       0,                       1,
    };
    TMatrix4 m;
    for (int k = 0; k < 16; ++k)
        m.M[k] = static_cast<float>(rows[k]);
    return m;
}

TVector3 RotateAboutAxis(const TVector3& point, const TVector3& axis, float angleDegrees)
{
    const TMatrix4 m = CreateRotationMatrix(axis, static_cast<float>(angleDegrees * kDegToRad));
    const TVector4 r = VectorTransform(Vector3To4(point, 1.0f), m);
    return {r.R, r.G, r.B};
}

TVector3 SphericalToCartesian(float azimuth, float polar, float radius)
{
    const double a = azimuth * kDegToRad, b = polar * kDegToRad;
    return {static_cast<float>(radius * std::sin(b) * std::cos(a)), static_cast<float>(radius * std::cos(b)),
            static_cast<float>(radius * std::sin(b) * std::sin(a))};
}

void CartesianToSpherical(const TVector3& v, float& azimuth, float& polar, float& length)
{
    const double len = std::sqrt(double(v.X) * v.X + double(v.Y) * v.Y + double(v.Z) * v.Z);
    azimuth = static_cast<float>(std::atan2(double(v.Z), double(v.X)) / kDegToRad);
    // A zero vector has no direction; 0 keeps NaN out of the callers' arithmetic.
    double cosPolar = len > 0 ? v.Y / len : 1.0;
    cosPolar = cosPolar > 1 ? 1 : (cosPolar < -1 ? -1 : cosPolar);
    polar = static_cast<float>(std::acos(cosPolar) / kDegToRad);
    length = static_cast<float>(len);
}

TDoublePoint MakeDoublePoint(double x, double y) { return {x, y}; }

TIntPoint RoundDoublePoint(const TDoublePoint& p) { return {Round(p.X), Round(p.Y)}; }

// ---- Colour values ---------------------------------------------------------------------------

namespace {
uint32_t Channel(float component)
{
    const double v = std::trunc(double(component) * 255.0);
    if (!(v >= 0 && v <= 255))
        throw ERangeError();
    return static_cast<uint32_t>(v);
}
} // namespace

uint32_t FloatToColorRef(const TFloatColor& c) { return Channel(c.R) | (Channel(c.G) << 8) | (Channel(c.B) << 16); }

uint32_t Float3ToColorRef(const TFloatRGB& c) { return Channel(c.R) | (Channel(c.G) << 8) | (Channel(c.B) << 16); }

TFloatColor ColorRefToFloat(uint32_t colour)
{
    return {static_cast<float>((colour & 0xFF) / 255.0), static_cast<float>(((colour >> 8) & 0xFF) / 255.0),
            static_cast<float>(((colour >> 16) & 0xFF) / 255.0), 1.0f};
}

// ---- Scalars ---------------------------------------------------------------------------------

int32_t LargestPowerOfTwo(int32_t n)
{
    if (n < 1)
        return 1;
    if (n >= (1 << 30))
        return 2; // the doubling overflows here; callers keep this long-standing result
    int32_t p = 1;
    while (p * 2 <= n)
        p *= 2;
    return p;
}

double RealPower(double base, double exponent) { return std::pow(base, exponent); }
double RealSqrt(double x) { return std::sqrt(x); }

std::string GetTempDirectory()
{
    try {
        QString path = QDir::tempPath();
        if (path.isEmpty())
            return {};
        if (!path.endsWith('/'))
            path += '/';
        return path.toStdString();
    } catch (...) {
        return {};
    }
}

// ---- Random generator ------------------------------------------------------------------------

uint32_t RandSeed() { return ActiveSeed(); }
void SetRandSeed(uint32_t seed) { ActiveSeed() = seed; }

int32_t Random(int32_t n)
{
    uint32_t& seed = ActiveSeed();
    seed = seed * RandMultiplier + RandIncrement;
    return static_cast<int32_t>((static_cast<uint64_t>(seed) * static_cast<uint32_t>(n)) >> 32);
}

double RandomReal()
{
    uint32_t& seed = ActiveSeed();
    seed = seed * RandMultiplier + RandIncrement;
    return seed * (1.0 / 4294967296.0);
}

uint32_t RandSeedAfter(uint32_t seed, uint64_t draws)
{
    // One draw is x -> a x + c (mod 2^32); squaring the map halves the draws left to take.
    uint32_t a = RandMultiplier, c = RandIncrement;
    while (draws != 0) {
        if (draws & 1)
            seed = seed * a + c;
        c = c * a + c;
        a = a * a;
        draws >>= 1;
    }
    return seed;
}

TLocalRandom::TLocalRandom(uint32_t seed) : seed_(seed), outer_(tLocalSeed) { tLocalSeed = &seed_; }
TLocalRandom::~TLocalRandom() { tLocalSeed = outer_; }

void InitRandomTables()
{
    SetRandSeed(0);
    InitNoiseTable();
    InitPerlinTables();
    // The floor helper's companion table consumed 512 real draws at start-up; nothing reads it, but
    // the draws keep every later value of the sequence where it has always been.
    for (int k = 0; k < 512; ++k)
        RandomReal();
    MaskFPUExceptions();
}

// ---- Noise -----------------------------------------------------------------------------------

const int16_t* NoiseTable() { return gNoiseTable; }

void InitNoiseTable()
{
    for (int k = 0; k < 65536; ++k)
        gNoiseTable[k] = static_cast<int16_t>(Random(32767));
}

float TableNoise(float x, float y)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return 0;
    const double fx = double(x) - std::trunc(double(x)); // keeps the sign
    const double fy = double(y) - std::trunc(double(y));
    const uint32_t a = static_cast<uint32_t>(static_cast<int32_t>(std::trunc(fx * 15077374.0)));
    const uint32_t b = static_cast<uint32_t>(static_cast<int32_t>(std::trunc(fy * 15570472.0)));
    const uint32_t i1 = ((a >> 8) & 0xFF00) + (b & 0xFF);
    const uint32_t i2 = (((b >> 8) & 0xFF00) + (a & 0xFF00)) & 0xFFFF;
    const uint32_t i3 = (b & 0xFF00) + (a & 0xFF);
    return static_cast<float>((gNoiseTable[i1] ^ gNoiseTable[i2] ^ gNoiseTable[i3]) / 32767.0);
}

double MakeNoiseTile(int32_t seed, float (&tile)[65][65], double scale)
{
    SetRandSeed(static_cast<uint32_t>(seed));
    double sum = 0;
    try {
        double max = 0;
        for (int i = 0; i <= 64; ++i)
            for (int j = 0; j <= 64; ++j) {
                tile[i][j] = static_cast<float>(NoiseAt(i / 10.0, j / 10.0, 2109.0, 188.0));
                sum += tile[i][j];
                if (tile[i][j] > max)
                    max = tile[i][j];
            }
        // A tile without a positive element cannot be scaled to `scale`; it stays as sampled.
        if (scale > 0 && max > 0) {
            sum = 0;
            const double f = scale / max;
            for (int i = 0; i <= 64; ++i)
                for (int j = 0; j <= 64; ++j) {
                    tile[i][j] = static_cast<float>(tile[i][j] * f);
                    sum += tile[i][j];
                }
        }
    } catch (...) {
    }
    return sum / 4225.0;
}

// ---- Floating-point guard --------------------------------------------------------------------

void MaskFPUExceptions()
{
    fedisableexcept(FE_ALL_EXCEPT);
}

// Called for every texel and cloud sample: the flags are read first and written only when one is
// set, which is far cheaper than feclearexcept's save and reload of the whole x87 environment.
void ClearFPUExceptions()
{
#if defined(__x86_64__) && defined(__GNUC__)
    const unsigned int csr = __builtin_ia32_stmxcsr();
    if (csr & FE_ALL_EXCEPT)
        __builtin_ia32_ldmxcsr(csr & ~static_cast<unsigned int>(FE_ALL_EXCEPT));
    unsigned short status;
    __asm__ volatile("fnstsw %0" : "=am"(status));
    if (status & FE_ALL_EXCEPT)
        __asm__ volatile("fnclex");
#else
    std::feclearexcept(FE_ALL_EXCEPT);
#endif
}

void SafeGLBegin(const TGLEntryPoints& gl, unsigned int mode)
{
    MaskFPUExceptions();
    gl.glBegin(mode);
}

void SafeGLEnd(const TGLEntryPoints& gl)
{
    gl.glEnd();
    ClearFPUExceptions();
}

void SafeGLFlush(const TGLEntryPoints& gl)
{
    gl.glFlush();
    ClearFPUExceptions();
}
