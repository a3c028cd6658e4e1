#include "project/MathUtils.h"
#include "platform/GLEntryPoints.h"
#include "project/Perlin.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <ios>
#include <limits>
#include <thread>
#include <vector>

namespace {

// Restores the shared seed so tests do not depend on each other's draws.
class SeedGuard {
public:
    SeedGuard() : saved_(RandSeed()) {}
    ~SeedGuard() { SetRandSeed(saved_); }

private:
    uint32_t saved_;
};

TEST(Random, SequenceFromSeedZero)
{
    SeedGuard guard;
    SetRandSeed(0);
    const int expected[] = {0, 1028, 28213, 6637, 8942};
    for (int e : expected)
        EXPECT_EQ(Random(32767), e);
    // A real draw is the advanced seed over 2^32.
    SetRandSeed(0);
    EXPECT_EQ(RandomReal(), 1.0 / 4294967296.0);
    SetRandSeed(0xFFFFFFFFu);
    Random(10);
    EXPECT_EQ(RandSeed(), 0xFFFFFFFFu * 134775813u + 1u);
    // The upper half of seed x N stays below N even for the largest seed.
    SetRandSeed(0xFFFFFFFFu - 134775813u);
    for (int k = 0; k < 1000; ++k) {
        const int r = Random(7);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 7);
    }
}

TEST(Random, StartUpTablesTakeTheSequenceInOrder)
{
    SeedGuard guard;
    InitRandomTables();
    // The noise table holds the first draws from seed 0.
    const int16_t* table = NoiseTable();
    const int first[] = {0, 1028, 28213, 6637, 8942};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(table[k], first[k]);
    // Then the gradient tables (6 draws per entry and 255 for the shuffle) and 512 more draws.
    uint32_t s = 0;
    for (int k = 0; k < 65536 + 256 * 6 + 255 + 512; ++k)
        s = s * 134775813u + 1u;
    EXPECT_EQ(RandSeed(), s);
    for (int k = 0; k < 65536; ++k)
        ASSERT_TRUE(table[k] >= 0 && table[k] < 32767);
}

// The jump matches the draws taken one by one, from seeds that exercise the carries, for no draws,
// for counts on both sides of powers of two and for more draws than the generator's period.
TEST(Random, JumpAheadEqualsTheDrawsTakenOneByOne)
{
    SeedGuard guard;
    const uint32_t seeds[] = {0u, 1u, 0x80000000u, 0xFFFFFFFFu, 0x9E3779B9u};
    const uint64_t counts[] = {0, 1, 2, 3, 7, 8, 255, 256, 1000, 65537, 1u << 20};
    for (uint32_t seed : seeds) {
        SetRandSeed(seed);
        uint64_t taken = 0;
        for (uint64_t k : counts) {
            while (taken < k) {
                RandomReal();
                ++taken;
            }
            EXPECT_EQ(RandSeedAfter(seed, k), RandSeed()) << seed << " " << k;
        }
    }
    // The full period 2^32 comes back to the start; the count is reduced by nothing else.
    EXPECT_EQ(RandSeedAfter(12345u, uint64_t(1) << 32), 12345u);
    EXPECT_EQ(RandSeedAfter(12345u, (uint64_t(1) << 32) + 5), RandSeedAfter(12345u, 5));
    EXPECT_EQ(RandSeedAfter(12345u, (uint64_t(7) << 40) + 3), RandSeedAfter(12345u, 3));
    // Jumps compose.
    EXPECT_EQ(RandSeedAfter(RandSeedAfter(777u, 123456789u), 987654321u), RandSeedAfter(777u, 1111111110u));
}

// A local generator gives its thread the sequence from its own seed and leaves the shared one (and
// other threads) where they were; scopes nest.
TEST(Random, LocalGeneratorLeavesTheSharedOneAlone)
{
    SeedGuard guard;
    SetRandSeed(42);
    {
        TLocalRandom local(7);
        EXPECT_EQ(RandSeed(), 7u);
        const double a = RandomReal();
        EXPECT_EQ(a, RandSeedAfter(7, 1) * (1.0 / 4294967296.0));
        {
            TLocalRandom inner(100);
            Random(10);
            EXPECT_EQ(inner.Seed(), RandSeedAfter(100, 1));
        }
        EXPECT_EQ(local.Seed(), RandSeedAfter(7, 1));
        SetRandSeed(9);
        EXPECT_EQ(local.Seed(), 9u);
        uint32_t other = 0;
        std::thread([&] { other = RandSeed(); }).join();
        EXPECT_EQ(other, 42u);
    }
    EXPECT_EQ(RandSeed(), 42u);
}

TEST(Rounding, HalvesToEvenAndRangeChecks)
{
    const struct {
        double x;
        int round, trunc;
    } cases[] = {
        {0.5, 0, 0}, {1.5, 2, 1}, {2.5, 2, 2}, {-0.5, 0, 0}, {-1.5, -2, -1}, {-2.7, -3, -2}, {3.49, 3, 3},
        {2147483647.0, 2147483647, 2147483647}, {-2147483648.0, INT32_MIN, INT32_MIN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Round(c.x), c.round) << c.x;
        EXPECT_EQ(Trunc(c.x), c.trunc) << c.x;
    }
    const double bad[] = {2147483648.0, -2147483649.0, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(), 1e300};
    for (double x : bad) {
        EXPECT_THROW(Round(x), ERangeError) << x;
        EXPECT_THROW(Trunc(x), ERangeError) << x;
    }
    EXPECT_EQ(Round(2147483647.4), 2147483647);
    EXPECT_THROW(RoundDoublePoint({1.0, 3e9}), ERangeError);
    const TIntPoint p = RoundDoublePoint({2.5, -3.5});
    EXPECT_EQ(p.X, 2);
    EXPECT_EQ(p.Y, -4);
    const struct {
        float x;
        int floor;
    } floors[] = {{-2.0f, -3}, {-2.5f, -3}, {0.0f, 0}, {2.9f, 2}, {-0.1f, -1}};
    for (const auto& f : floors)
        EXPECT_EQ(FloorToInt(f.x), f.floor) << f.x;
}

TEST(Vectors, EdgeCases)
{
    const TVector3 zero = NormalizeVector({0, 0, 0});
    EXPECT_EQ(zero.X, 0.0f);
    EXPECT_EQ(zero.Y, 0.0f);
    EXPECT_EQ(zero.Z, 0.0f);
    const TVector3 n = NormalizeVector({3, 0, 4});
    EXPECT_FLOAT_EQ(n.X, 0.6f);
    EXPECT_FLOAT_EQ(n.Z, 0.8f);
    // (a - b) x (b - c) = (0, 0, -1) x (-1, 0, 0) = (0, 1, 0); reversing the order turns it down.
    const TVector3 up = TriangleNormal({0, 0, 0}, {0, 0, 1}, {1, 0, 1});
    EXPECT_FLOAT_EQ(up.Y, 1.0f);
    EXPECT_FLOAT_EQ(TriangleNormal({1, 0, 1}, {0, 0, 1}, {0, 0, 0}).Y, -1.0f);
    EXPECT_FLOAT_EQ(TriangleNormal({0, 0, 0}, {0, 0, 2}, {2, 0, 2}).Y, 1.0f); // unit length
    const TVector3 r = ReflectVector({1, -1, 0}, {0, 1, 0});
    EXPECT_FLOAT_EQ(r.X, 1.0f);
    EXPECT_FLOAT_EQ(r.Y, 1.0f);
    EXPECT_EQ(ClampedDot({1, 0, 0}, {-2, 0, 0}), 0.0f);
    EXPECT_EQ(ClampedDot({1, 0, 0}, {2, 0, 0}), 1.0f);
    EXPECT_EQ(AbsClampedDot({1, 0, 0}, {-0.5f, 0, 0}), 0.5f);
    const TVector4 a{1, 2, 3, 4}, b{5, 6, 7, 8};
    const TVector4 bl = BlendVector4(a, b, 0.0);
    EXPECT_EQ(bl.R, 5.0f);
    EXPECT_EQ(bl.A, 8.0f);
    EXPECT_EQ(BlendVector4(a, b, 1.0).G, 2.0f);
    const TVector4 sc = ScaleColor4({0.5f, 0.25f, 1, 0.3f}, 2.0);
    EXPECT_EQ(sc.R, 1.0f);
    EXPECT_EQ(sc.A, 0.3f);
    const TVector4 cl = ClampColor3({-1, 0.5f, 2, 7});
    EXPECT_EQ(cl.R, 0.0f);
    EXPECT_EQ(cl.B, 1.0f);
    EXPECT_EQ(cl.A, 7.0f);
    const TVector3 q = QuadCentre({0, 0, 0}, {2, 0, 0}, {2, 4, 0}, {0, 4, 8});
    EXPECT_EQ(q.X, 1.0f);
    EXPECT_EQ(q.Y, 2.0f);
    EXPECT_EQ(q.Z, 2.0f);
}

TEST(Vectors, RotationAndSphericalAngles)
{
    // A quarter turn about the altitude axis takes +X to -Z (right-handed, row vectors).
    const TVector3 p = RotateAboutAxis({1, 0, 0}, {0, 1, 0}, 90.0f);
    EXPECT_NEAR(p.X, 0.0f, 1e-6);
    EXPECT_NEAR(p.Z, -1.0f, 1e-6);
    const TVector3 q = RotateAboutAxis({0, 1, 0}, {1, 0, 0}, 90.0f);
    EXPECT_NEAR(q.Z, 1.0f, 1e-6);
    // Row-vector product: the translation row of a matrix moves a point with w = 1.
    TMatrix4 m;
    m.M[0] = m.M[5] = m.M[10] = m.M[15] = 1;
    m.M[12] = 5;
    m.M[13] = 6;
    const TVector4 moved = VectorTransform({1, 2, 3, 1}, m);
    EXPECT_EQ(moved.R, 6.0f);
    EXPECT_EQ(moved.G, 8.0f);
    EXPECT_EQ(moved.B, 3.0f);

    const TVector3 s = SphericalToCartesian(0, 90, 100);
    EXPECT_NEAR(s.X, 100.0f, 1e-4);
    EXPECT_NEAR(s.Y, 0.0f, 1e-4);
    EXPECT_NEAR(s.Z, 0.0f, 1e-4);
    float az, polar, len;
    CartesianToSpherical({0, 1, 0}, az, polar, len);
    EXPECT_EQ(polar, 0.0f);
    EXPECT_EQ(len, 1.0f);
    CartesianToSpherical(SphericalToCartesian(30, 60, 2), az, polar, len);
    EXPECT_NEAR(az, 30.0f, 1e-4);
    EXPECT_NEAR(polar, 60.0f, 1e-4);
    EXPECT_NEAR(len, 2.0f, 1e-5);
    CartesianToSpherical({0, 0, 0}, az, polar, len);
    EXPECT_FALSE(std::isnan(polar));
}

TEST(Colours, ColorRefConversions)
{
    const uint32_t c = FloatToColorRef({1, 0.5f, 0, 1});
    EXPECT_EQ(c & 0xFF, 255u);
    EXPECT_EQ((c >> 8) & 0xFF, 127u);
    EXPECT_EQ((c >> 16) & 0xFF, 0u);
    EXPECT_EQ(Float3ToColorRef({0, 0, 1}), 0xFF0000u);
    const TFloatColor f = ColorRefToFloat(0xFF00FF);
    EXPECT_EQ(f.R, 1.0f);
    EXPECT_EQ(f.G, 0.0f);
    EXPECT_EQ(f.B, 1.0f);
    EXPECT_EQ(f.A, 1.0f);
    // Round trip of every channel value.
    for (uint32_t v = 0; v < 256; ++v)
        ASSERT_EQ(FloatToColorRef(ColorRefToFloat(v | v << 8 | v << 16)), v | v << 8 | v << 16);
    // A channel outside 0..255 is a range failure; a small negative still truncates to 0.
    EXPECT_EQ(FloatToColorRef({-0.5f / 255, 0, 0, 1}), 0u);
    EXPECT_THROW(FloatToColorRef({-1.0f / 255, 0, 0, 1}), ERangeError);
    EXPECT_THROW(FloatToColorRef({0, 256.0f / 255, 0, 1}), ERangeError);
    EXPECT_THROW(Float3ToColorRef({0, 0, std::numeric_limits<float>::quiet_NaN()}), ERangeError);
}

TEST(Scalars, LargestPowerOfTwo)
{
    const int cases[][2] = {{-3, 1}, {0, 1}, {1, 1}, {5, 4}, {64, 64}, {1023, 512}, {(1 << 30) - 1, 1 << 29},
                            {1 << 30, 2}, {INT32_MAX, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(LargestPowerOfTwo(c[0]), c[1]) << c[0];
}

TEST(Scalars, TempDirectoryEndsWithSeparator)
{
    const std::string t = GetTempDirectory();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), '/');
}

TEST(Noise, TableNoise)
{
    SeedGuard guard;
    InitRandomTables();
    const int16_t* table = NoiseTable();
    EXPECT_EQ(TableNoise(0, 0), table[0] / 32767.0f);
    // Only the fractional parts count.
    EXPECT_EQ(TableNoise(1.0f, 2.0f), TableNoise(0, 0));
    EXPECT_EQ(TableNoise(3.25f, 7.5f), TableNoise(0.25f, 0.5f));
    // Pinned: these values follow from the start-up sequence and the index formula.
    EXPECT_FLOAT_EQ(TableNoise(0.25f, 0.5f), 0.107089452f);
    EXPECT_FLOAT_EQ(TableNoise(-0.25f, 0.75f), 0.563249588f);
    EXPECT_FLOAT_EQ(TableNoise(0.123f, 0.987f), 0.282692939f);
    // The index formula: A = Trunc(0.25 x 15077374), B = Trunc(0.5 x 15570472).
    const uint32_t a = 3769343, b = 7785236;
    const int i1 = ((a >> 8) & 0xFF00) + (b & 0xFF), i2 = (((b >> 8) & 0xFF00) + (a & 0xFF00)) & 0xFFFF,
              i3 = (b & 0xFF00) + (a & 0xFF);
    EXPECT_EQ(TableNoise(0.25f, 0.5f), float((table[i1] ^ table[i2] ^ table[i3]) / 32767.0));
    EXPECT_EQ(TableNoise(std::numeric_limits<float>::quiet_NaN(), 0.5f), 0.0f);
    EXPECT_EQ(TableNoise(0.5f, std::numeric_limits<float>::infinity()), 0.0f);
    for (int k = 0; k < 2000; ++k) {
        const float v = TableNoise(k * 0.37f - 300.0f, k * 0.0113f);
        ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
    }
}

TEST(Noise, MakeNoiseTileScalesToItsLargestElement)
{
    SeedGuard guard;
    float raw[65][65], scaled[65][65];
    const double rawMean = MakeNoiseTile(7, raw, 0.0);
    EXPECT_EQ(RandSeed(), 7u); // the tile seeds the generator
    const double mean = MakeNoiseTile(100, scaled, 1.0);
    EXPECT_EQ(RandSeed(), 100u);
    float maximum = 0, rawMax = 0;
    double sum = 0, rawSum = 0;
    for (int i = 0; i < 65; ++i)
        for (int j = 0; j < 65; ++j) {
            maximum = std::max(maximum, scaled[i][j]);
            rawMax = std::max(rawMax, raw[i][j]);
            sum += scaled[i][j];
            rawSum += raw[i][j];
        }
    EXPECT_EQ(maximum, 1.0f);
    EXPECT_NEAR(mean, sum / 4225.0, 1e-12);
    EXPECT_NEAR(rawMean, rawSum / 4225.0, 1e-12);
    // Scaling keeps the shape: the tile does not depend on the seed.
    EXPECT_NEAR(scaled[10][20], raw[10][20] / rawMax, 1e-6);
    EXPECT_NEAR(mean, rawMean / rawMax, 1e-6);
    const double twice = MakeNoiseTile(100, scaled, 2.0);
    EXPECT_NEAR(twice, 2 * mean, 1e-6);
}

TEST(Perlin, LatticeZerosTurbulenceAndPinnedValues)
{
    SeedGuard guard;
    InitRandomTables();
    for (double x = -4096; x <= 4096; x += 511)
        for (double y : {-3.0, 0.0, 17.0}) {
            const double v[2] = {x, y};
            EXPECT_EQ(Noise2(v), 0.0) << x << ", " << y;
        }
    const double p[2] = {10.25, 3.75};
    EXPECT_EQ(Turbulence(p, 1.0), Noise2(p));
    const double p17[2] = {10.25 * 1.7, 3.75 * 1.7};
    EXPECT_DOUBLE_EQ(Turbulence(p, 2.0), Noise2(p) + Noise2(p17) / 1.7);
    EXPECT_DOUBLE_EQ(TurbulenceSqrt(p, 2.0), Noise2(p) + Noise2(p17) / std::sqrt(1.7));
    EXPECT_EQ(Turbulence(p, 0.99), 0.0);
    EXPECT_EQ(TurbulenceSqrt(p, 0.5), 0.0);
    // An unbounded frequency still ends.
    EXPECT_TRUE(std::isfinite(Turbulence(p, std::numeric_limits<double>::infinity())));
    const double nan2[2] = {std::numeric_limits<double>::quiet_NaN(), 1.0};
    EXPECT_EQ(Noise2(nan2), 0.0);
    // Pinned: the tables come from the start-up sequence.
    const struct {
        double x, y, noise, turbulence4;
    } pins[] = {
        {0.5, 0.5, -0.17565668108144705, -0.11559046456227098},
        {1.3, -2.7, 0.01047970966482617, -0.060676242433062404},
        {-4000.6, 100.1, 0.21946456203145612, -0.89885501816165791},
        {10.25, 3.75, 0.18185033573710346, 0.34157983756757893},
    };
    for (const auto& pin : pins) {
        const double v[2] = {pin.x, pin.y};
        EXPECT_NEAR(Noise2(v), pin.noise, 1e-12) << pin.x << ", " << pin.y;
        EXPECT_NEAR(Turbulence(v, 4.0), pin.turbulence4, 1e-12) << pin.x << ", " << pin.y;
    }
    // Smooth: nearby points give nearby values, including across a lattice line.
    for (double x = -2.01; x < 2.0; x += 0.1) {
        const double a[2] = {x, 0.3}, b[2] = {x + 1e-4, 0.3};
        ASSERT_NEAR(Noise2(a), Noise2(b), 1e-3) << x;
    }
}

// The lattice cell of coordinates below the offset, on a period boundary, subnormal and beyond
// 64-bit integers: exact values.
TEST(Perlin, EdgeCoordinatesGiveTheirExactValues)
{
    SeedGuard guard;
    InitRandomTables();
    const struct {
        double x, noise;
    } pins[] = {
        {-0x1p+8, -0x1.2987638829b33p-4},
        {0x1p+8, -0x1.005c122b62e28p-5},
        {-0x0p+0, 0x1.ecf6db40f17c4p-3},
        {0x0.012688b70e62bp-1022, 0x1.ecf6db40f17c4p-3},
        {-0x0.012688b70e62bp-1022, 0x1.ecf6db40f17c4p-3},
        {-0x1.ep+1, 0x1.d8a87e123de1p-8},
        {0x1.ffffffde7210cp+7, -0x1.005d14f63e39bp-5},
        {0x1.0018p+12, -0x1.9aa5b4f99a243p-2},
        {-0x1.0004p+12, 0x1.04bbdf6b0e02p-1},
        {-0x1.3884ccccccccdp+12, 0x1.f85d131633538p-3},
        {0x1.0000000000002p+62, 0x0p+0},
        {-0x1p+63, 0x0p+0},
        {0x1.7e43c8800759cp+996, 0x0p+0},
        {-0x1.7e43c8800759cp+996, 0x0p+0},
        {0x1.d6f34547df3b6p+26, 0x1.db160844a56ddp+0},
    };
    for (const auto& p : pins) {
        const double v[2] = {p.x, 0.61 - p.x / 7.0};
        EXPECT_EQ(Noise2(v), p.noise) << std::hexfloat << p.x;
    }
}

// Sums over octaves worked out beforehand give the very bits of the plain sums: below one octave,
// at exact octave boundaries, a typical cloud size, beyond the table (the plain loop then) and
// an endless MaxFreq.
TEST(Perlin, PreparedOctavesGiveTheSameSums)
{
    SeedGuard guard;
    InitRandomTables();
    const double inf = std::numeric_limits<double>::infinity();
    const double maxFreqs[] = {0.5, 1.0, 1.7, 2.89, 201.0, 1e9, 1e40, inf};
    const double points[][2] = {{0.37, -1.91}, {123.456, 7.5}, {-4095.5, 0.001}};
    for (double maxFreq : maxFreqs) {
        TOctaves octaves;
        SetOctaves(octaves, maxFreq);
        for (const auto& v : points) {
            EXPECT_EQ(Turbulence(v, octaves), Turbulence(v, maxFreq)) << maxFreq << " at " << v[0];
            EXPECT_EQ(TurbulenceSqrt(v, octaves), TurbulenceSqrt(v, maxFreq)) << maxFreq << " at " << v[0];
        }
    }
    TOctaves few, many;
    SetOctaves(few, 0.5);
    SetOctaves(many, 1e40);
    EXPECT_EQ(few.Count, 0);
    EXPECT_EQ(many.Count, -1); // 1.7^64 is far below 1e40
}

// Two points summed at once give each the very bits of its own sum: ordinary points, lattice
// points, coordinates below the lattice offset, beyond 32-bit and 64-bit integers, not finite, and
// pairs that mix them, for every kind of octave table.
TEST(Perlin, PairsOfPointsGiveTheSumsOfEachAlone)
{
    SeedGuard guard;
    InitRandomTables();
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> coordinates = {0.0,     -0.0,    1.0,      -1.0,     0.5,       -4096.0,  -4095.5,  -4096.25,
                                       -5000.3, 255.99,  256.0,    -0x1p+8,  0x1p+31,   -0x1p+31, 0x1p+31 - 4096.5,
                                       0x1p+40, -0x1p+63, 0x1p+70, 1e300,    -1e300,    inf,      -inf,     nan,
                                       0x0.012688b70e62bp-1022};
    uint64_t state = 12345;
    const auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / static_cast<double>(1ull << 53);
    };
    for (int k = 0; k < 400; ++k)
        coordinates.push_back((next() - 0.5) * (k % 4 == 0 ? 20.0 : k % 4 == 1 ? 2000.0 : k % 4 == 2 ? 9000.0 : 3e9));
    for (double maxFreq : {0.5, 1.0, 1.7, 11.0, 201.0, 1e40, inf}) {
        TOctaves octaves;
        SetOctaves(octaves, maxFreq);
        for (size_t a = 0; a + 3 < coordinates.size(); a += 2) {
            const double v[2][2] = {{coordinates[a], coordinates[a + 1]}, {coordinates[a + 2], coordinates[a + 3]}};
            const double swapped[2][2] = {{v[1][0], v[1][1]}, {v[0][0], v[0][1]}};
            double pair[2], other[2];
            TurbulencePair(v, octaves, pair);
            TurbulencePair(swapped, octaves, other);
            for (int lane = 0; lane < 2; ++lane) {
                const double alone = Turbulence(v[lane], octaves);
                ASSERT_EQ(std::bit_cast<uint64_t>(pair[lane]), std::bit_cast<uint64_t>(alone))
                    << maxFreq << " at " << v[lane][0] << ", " << v[lane][1];
                ASSERT_EQ(std::bit_cast<uint64_t>(other[1 - lane]), std::bit_cast<uint64_t>(alone));
            }
        }
    }
}

// Every pending flag goes, whichever unit raised it: the SSE unit (doubles) or the x87 unit (long
// double arithmetic, some library functions).
TEST(FloatingPointGuard, ClearRemovesTheFlagsOfBothUnits)
{
    MaskFPUExceptions();
    const struct {
        const char* name;
        int flag;
        bool x87;
    } cases[] = {
        {"sse divide by zero", FE_DIVBYZERO, false}, {"sse invalid", FE_INVALID, false},
        {"sse overflow", FE_OVERFLOW, false},        {"x87 divide by zero", FE_DIVBYZERO, true},
        {"x87 invalid", FE_INVALID, true},           {"x87 inexact", FE_INEXACT, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::feclearexcept(FE_ALL_EXCEPT);
        volatile double zero = 0, one = 1, big = 1e308;
        volatile long double lzero = 0, lone = 1, lthree = 3;
        volatile double d = 0;
        volatile long double l = 0;
        if (c.x87)
            l = c.flag == FE_DIVBYZERO ? lone / lzero : c.flag == FE_INVALID ? lzero / lzero : lone / lthree;
        else
            d = c.flag == FE_DIVBYZERO ? one / zero : c.flag == FE_INVALID ? zero / zero : big * big;
        (void)d;
        (void)l;
        ASSERT_NE(std::fetestexcept(c.flag), 0);
        ClearFPUExceptions();
        EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
    }
}

// The OpenGL guards on a stand-in table: glBegin is reached with every exception masked, and
// whatever flag the implementation leaves behind at glEnd or glFlush is gone after the guard.
int gTrapsAtBegin = -1;
void StubBegin(GLenum) { gTrapsAtBegin = fegetexcept(); }
void StubLeaveFlags() { std::feraiseexcept(FE_INVALID | FE_DIVBYZERO); }

TEST(FloatingPointGuard, GLCallsLeaveNoTrapsAndNoFlags)
{
    TGLEntryPoints gl;
    gl.glBegin = StubBegin;
    gl.glEnd = StubLeaveFlags;
    gl.glFlush = StubLeaveFlags;
    MaskFPUExceptions();
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_DIVBYZERO | FE_OVERFLOW); // as a library might leave them
    SafeGLBegin(gl, GL_TRIANGLES);
    EXPECT_EQ(gTrapsAtBegin, 0);
    EXPECT_EQ(fegetexcept(), 0);
    SafeGLEnd(gl);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
    StubLeaveFlags();
    ASSERT_NE(std::fetestexcept(FE_INVALID), 0);
    SafeGLFlush(gl);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
}

} // namespace
