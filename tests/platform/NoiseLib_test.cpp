#include "platform/NoiseLib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ios>
#include <limits>

namespace {

// Stored landscapes depend on these values: the noise must never change.
TEST(NoiseLib, PinnedValues)
{
    const struct {
        double x, y, z, param, value;
    } pins[] = {
        {0.1, 0.2, 2109.0, 188.0, 0.65563185011187775},
        {1.5, 2.5, 3.5, 0, 0.50043549113689967},
        {12.34, -5.6, 50, 257, 0.50205015375235174},
        {-100.25, 0.5, -7.75, 291, 0.56874560745697833},
        {0, 0, 0, 0, 0.65049675611948532},
    };
    for (const auto& p : pins)
        EXPECT_NEAR(NoiseAt(p.x, p.y, p.z, p.param), p.value, 1e-14) << p.x << " " << p.y << " " << p.z;
}

TEST(NoiseLib, RangeSmoothnessAndFields)
{
    double lo = 1, hi = 0, sum = 0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        const double v = NoiseAt(i * 0.0137, i * 0.0291, i * 0.0071, i % 7);
        ASSERT_TRUE(v >= 0.0 && v <= 1.0) << i;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
    }
    EXPECT_NEAR(sum / n, 0.5, 0.03);
    EXPECT_LT(lo, 0.3);
    EXPECT_GT(hi, 0.7);
    // Continuous: a tiny step changes the value a little.
    for (double x = -3; x < 3; x += 0.173)
        ASSERT_NEAR(NoiseAt(x, 0.4, 7.0, 50), NoiseAt(x + 1e-6, 0.4, 7.0, 50), 1e-4) << x;
    // Different parameters give different fields; the same call gives the same value.
    EXPECT_NE(NoiseAt(0.3, 0.4, 0.5, 50), NoiseAt(0.3, 0.4, 0.5, 51));
    EXPECT_EQ(NoiseAt(0.3, 0.4, 0.5, 50), NoiseAt(0.3, 0.4, 0.5, 50));
    // Far-away and non-finite points are safe.
    const double big = NoiseAt(1e300, -1e300, 1e18, 3);
    EXPECT_TRUE(big >= 0 && big <= 1);
    EXPECT_EQ(NoiseAt(std::numeric_limits<double>::quiet_NaN(), 0, 0, 0), 0.5);
    EXPECT_EQ(NoiseAt(0, 0, std::numeric_limits<double>::infinity(), 0), 0.5);
}

// Coordinates where the lattice cell is found the hard way: negative, on a period boundary,
// subnormal, past 2^62 and far beyond any integer. Exact values, each field sampled in turn.
TEST(NoiseLib, EdgeCoordinatesGiveTheirExactValues)
{
    const struct {
        double x, first, second;
    } pins[] = {
        {-0x1p+8, 0x1.f63c2f359bf52p-2, 0x1.43aab37d47442p-1},
        {0x1p+8, 0x1.1916a25e2e39ap-1, 0x1.43aab37d47442p-1},
        {-0x0p+0, 0x1.2f3513835a57cp-1, 0x1.43aab37d47442p-1},
        {0x0.012688b70e62bp-1022, 0x1.2f3513835a57cp-1, 0x1.43aab37d47442p-1},
        {-0x0.012688b70e62bp-1022, 0x1.2f3513835a57cp-1, 0x1.43aab37d47442p-1},
        {-0x1.ep+1, 0x1.18351f812c53cp-1, 0x1.02a3f45ba0e8ep-1},
        {0x1.ffffffde7210cp+7, 0x1.19168f2df8947p-1, 0x1.43aaa86d709bp-1},
        {0x1.0018p+12, 0x1.31bbc2b4b0504p-1, 0x1.f991d0e1e48e7p-2},
        {-0x1.0004p+12, 0x1.6c9dd61406a36p-2, 0x1.00470b76ae496p-1},
        {-0x1.3884ccccccccdp+12, 0x1.5c61eb78b614p-2, 0x1.2333f30e6c226p-1},
        {0x1.0000000000002p+62, 0x1p-1, 0x1.0d7582293320ep-1},
        {-0x1p+63, 0x1p-1, 0x1.0d7582293320ep-1},
        {0x1.7e43c8800759cp+996, 0x1p-1, 0x1.0d7582293320ep-1},
        {-0x1.7e43c8800759cp+996, 0x1p-1, 0x1.0d7582293320ep-1},
        {0x1.d6f34547df3b6p+26, 0x1.09e3daf078213p-2, 0x1.9cf619d0a57abp-2},
    };
    for (const auto& p : pins) {
        EXPECT_EQ(NoiseAt(p.x, 0.37 * p.x + 0.5, -p.x / 3.0, 4), p.first) << std::hexfloat << p.x;
        EXPECT_EQ(NoiseAt(0.25, p.x, 0.125, -0.0), p.second) << std::hexfloat << p.x;
    }
}

} // namespace
