#pragma once
// The small numeric toolkit every subsystem uses: vectors and the row-vector matrix, colour values,
// spherical angles, checked rounding, the program's one random generator, the table noise built
// from it at start-up and the 65 x 65 noise tile.
#include "project/TypeDefinition.h"

#include <cstdint>
#include <stdexcept>
#include <string>

// A four-component vector; also an RGBA colour.
using TVector4 = TFloatColor;

// 4 x 4 singles, row-major: element (row i, column j) is M[4i + j]. Vectors multiply as rows.
struct TMatrix4 {
    float M[16] = {};
};

struct TDoublePoint {
    double X = 0, Y = 0;
};

struct TIntPoint {
    int32_t X = 0, Y = 0;
};

// A value outside the range of its target (a colour channel, a 32-bit integer).
class ERangeError : public std::range_error {
public:
    ERangeError() : std::range_error("Range check error") {}
};

// ---- Rounding --------------------------------------------------------------------------------
// Nearest integer, halves to even; NaN, infinities and values outside 32 bits raise ERangeError.
int32_t Round(double x);
// Drops the fraction; the same range check.
int32_t Trunc(double x);
// Trunc for x >= 0, Trunc - 1 below (so -2.0 gives -3); the same range check.
int32_t FloorToInt(float x);

// ---- Vectors ---------------------------------------------------------------------------------
TVector3 MakeVector3(float x, float y, float z);
TVector4 MakeVector4(float a, float b, float c, float d);
TVector3 CopyVector3(const TVector3& v);
TVector4 Vector3To4(const TVector3& v, float w);
TVector3 AddVector3(const TVector3& a, const TVector3& b);
TVector3 SubtractVector(const TVector3& a, const TVector3& b);
TVector3 ScaleVector(const TVector3& v, double factor);
TVector3 ScaleVector3(const TVector3& v, double factor);
TVector4 ScaleColor4(const TVector4& colour, double factor); // alpha is copied
float DotProduct(const TVector3& a, const TVector3& b);
float ClampedDot(const TVector3& a, const TVector3& b);    // 0..1
float AbsClampedDot(const TVector3& a, const TVector3& b); // |dot|, at most 1
TVector4 ClampColor3(const TVector4& colour);             // red, green, blue to 0..1
TVector3 NormalizeVector(const TVector3& v);              // a zero vector stays zero
TVector3 TriangleNormal(const TVector3& a, const TVector3& b, const TVector3& c);
TVector3 QuadCentre(const TVector3& a, const TVector3& b, const TVector3& c, const TVector3& d);
TVector4 BlendVector4(const TVector4& a, const TVector4& b, double t); // a t + b (1 - t)
TVector3 ReflectVector(const TVector3& v, const TVector3& n);
TVector4 VectorTransform(const TVector4& v, const TMatrix4& m);
TMatrix4 CreateRotationMatrix(const TVector3& axis, float angleRadians);
TVector3 RotateAboutAxis(const TVector3& point, const TVector3& axis, float angleDegrees);
// (R sin B cos A, R cos B, R sin B sin A), A the azimuth and B the polar angle in degrees.
TVector3 SphericalToCartesian(float azimuth, float polar, float radius);
// Inverse of the above; a zero vector gives polar 0.
void CartesianToSpherical(const TVector3& v, float& azimuth, float& polar, float& length);
TDoublePoint MakeDoublePoint(double x, double y);
TIntPoint RoundDoublePoint(const TDoublePoint& p); // ERangeError outside 32 bits

// ---- Colour values (red in bits 0-7, green 8-15, blue 16-23) ---------------------------------
// Each channel Trunc(component x 255); a channel outside 0..255 raises ERangeError.
uint32_t FloatToColorRef(const TFloatColor& colour);
uint32_t Float3ToColorRef(const TFloatRGB& colour);
TFloatColor ColorRefToFloat(uint32_t colour); // alpha 1.0

// ---- Scalars ---------------------------------------------------------------------------------
// 1 for n < 1, else the largest power of two not above n; 2 once the doubling would overflow.
int32_t LargestPowerOfTwo(int32_t n);
double RealPower(double base, double exponent);
double RealSqrt(double x);
// The system temporary folder ending in '/'; "" when it cannot be had.
std::string GetTempDirectory();

// ---- Random generator ------------------------------------------------------------------------
// One 32-bit seed shared by every draw: seed := seed x 134775813 + 1 (mod 2^32) before each draw.
inline constexpr uint32_t RandMultiplier = 134775813u;
inline constexpr uint32_t RandIncrement = 1u;
uint32_t RandSeed();
void SetRandSeed(uint32_t seed);
// An integer draw below n: the upper 32 bits of seed x n (n read as unsigned 32 bits).
int32_t Random(int32_t n);
// A real draw in [0, 1): seed x 2^-32.
double RandomReal();
// The seed that `draws` draws starting from `seed` leave, in O(log draws) steps.
uint32_t RandSeedAfter(uint32_t seed, uint64_t draws);

// While one lives, every draw on the thread that made it (and RandSeed / SetRandSeed there) uses a
// generator of its own, started at seed; the shared one and other threads are untouched. Lets work
// that draws numbers run on several threads, each from the seed it would have met in order.
class TLocalRandom {
public:
    explicit TLocalRandom(uint32_t seed);
    ~TLocalRandom();
    TLocalRandom(const TLocalRandom&) = delete;
    TLocalRandom& operator=(const TLocalRandom&) = delete;
    uint32_t Seed() const { return seed_; }

private:
    uint32_t seed_;
    uint32_t* outer_;
};

// Start-up of the random tables, called once before any window exists: seed 0, then the noise
// table, then the gradient-noise tables and the draws that follow them, all from one sequence.
void InitRandomTables();

// ---- Noise -----------------------------------------------------------------------------------
// The 65,536-entry noise table (0..32766 each), filled by InitRandomTables.
const int16_t* NoiseTable();
void InitNoiseTable(); // part of InitRandomTables; draws 65,536 numbers
// Noise in 0..1 from the fractional parts of x and y; non-finite input gives 0.
float TableNoise(float x, float y);
// Fills the 65 x 65 tile from the noise library and returns its mean; with scale > 0 the tile is
// scaled so that its largest element equals scale. Seeds the random generator with `seed`.
double MakeNoiseTile(int32_t seed, float (&tile)[65][65], double scale);

// ---- Floating-point guard --------------------------------------------------------------------
// Every floating-point exception masked (faults yield infinities or NaN instead of traps).
void MaskFPUExceptions();
// Clears pending floating-point exception flags.
void ClearFPUExceptions();

// Every glBegin, glEnd and glFlush goes through these, so that an OpenGL implementation that
// unmasks exceptions or leaves a flag set never turns a later calculation into a fault.
struct TGLEntryPoints;
void SafeGLBegin(const TGLEntryPoints& gl, unsigned int mode); // masks, then glBegin(mode)
void SafeGLEnd(const TGLEntryPoints& gl);                       // glEnd, then clears the flags
void SafeGLFlush(const TGLEntryPoints& gl);                     // glFlush, then clears the flags
