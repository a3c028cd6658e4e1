#include "project/atmos32.h"

#include "project/MathUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Render-frame vectors are (x, altitude, z); the atmosphere's own frame has the altitude last.
TVector3 At(float x, float altitude, float z) { return {x, altitude, z}; }

class Atmosphere : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = AtmosphereParams;
        TAtmosphereParams& p = AtmosphereParams;
        p = TAtmosphereParams{};
        p.Ceiling = 100;
        p.Floor = 0;
        p.Distance = p.BlueDistance = 200;
        p.Infinity = 1000;
        p.SkyColour = {0.2f, 0.4f, 0.8f};
        p.HorizonColour = {0.8f, 0.85f, 0.9f};
        p.FogColour = {0.6f, 0.6f, 0.6f};
        p.DecayColour = {1, 1, 1};
        p.PrimaryLight = {1, 0.9f, 0.8f};
        p.CloudHeight = 1e6f; // out of reach unless a test lowers it
        p.CloudSize = 50;
        p.FractalDepth = 1;
        SetSunAngles(0, 45);
    }
    void TearDown() override { AtmosphereParams = saved; }
    void Haze(float blueing, float fogDensity)
    {
        AtmosphereParams.Blueing = blueing;
        AtmosphereParams.FogDensity = fogDensity;
        AtmosphereParams.FogDistance = (1 - fogDensity) * AtmosphereParams.Distance;
    }
    static TFloatRGB Ground() { return {0.1f, 0.5f, 0.2f}; }
    static void ExpectColour(const TFloatRGB& a, const TFloatRGB& b, double tol, const char* what)
    {
        EXPECT_NEAR(a.R, b.R, tol) << what;
        EXPECT_NEAR(a.G, b.G, tol) << what;
        EXPECT_NEAR(a.B, b.B, tol) << what;
    }
    TAtmosphereParams saved;
};

TEST_F(Atmosphere, NoBlueingNoFogLeavesTerrainColours)
{
    Haze(0, 0);
    AtmosphereParams.Glowing = 0.5f;
    const TVector3 points[] = {At(100, 10, 0), At(0, 500, 3), At(-4000, 0, 4000), At(1, 1, 1)};
    for (const TVector3& pt : points) {
        TFloatRGB c = Ground();
        AtmosphereColour(At(0, 10, 0), pt, false, c);
        ExpectColour(c, Ground(), 0, "terrain ray");
    }
}

TEST_F(Atmosphere, ZeroLengthRayChangesNothing)
{
    Haze(1, 0.5f);
    AtmosphereParams.Glowing = 1;
    for (bool sky : {false, true}) {
        TFloatRGB c = Ground();
        AtmosphereColour(At(3, 20, 4), At(3, 20, 4), sky, c);
        ExpectColour(c, Ground(), 0, "zero length");
    }
}

TEST_F(Atmosphere, HazeGrowsWithDistanceTowardTheHorizonColour)
{
    Haze(1, 0);
    double lastGap = 1e9;
    for (float d : {0.0f, 1.0f, 10.0f, 50.0f, 200.0f, 1000.0f, 1e5f}) {
        TFloatRGB c = Ground();
        AtmosphereColour(At(0, 20, 0), At(d, 20, 0), false, c);
        const double gap = std::fabs(c.R - 0.8) + std::fabs(c.G - 0.85) + std::fabs(c.B - 0.9);
        if (d == 0)
            ExpectColour(c, Ground(), 0, "no distance");
        else
            EXPECT_LT(gap, lastGap) << d;
        lastGap = gap;
    }
    // Far enough, terrain takes the colour a level sky ray shows at the horizon.
    TFloatRGB far = Ground();
    AtmosphereColour(At(0, 20, 0), At(1e5f, 20, 0), false, far);
    TFloatRGB horizon = SkyBaseColour();
    AtmosphereParams.Infinity = 1e5f;
    AtmosphereColour(At(0, 20, 0), At(2000, 20, 0), true, horizon);
    ExpectColour(far, AtmosphereParams.HorizonColour, 1e-4, "far terrain");
    ExpectColour(horizon, far, 1e-4, "level sky ray");
}

TEST_F(Atmosphere, OnlyThePartInsideTheHazeLayerCounts)
{
    Haze(1, 0.3f);
    struct Case {
        TVector3 eye, point;
    };
    // Wholly above the ceiling, sloped or level: no haze at all.
    const Case above[] = {{At(0, 150, 0), At(300, 120, 0)}, {At(0, 150, 0), At(300, 150, 40)}};
    for (const Case& k : above) {
        TFloatRGB c = Ground();
        AtmosphereColour(k.eye, k.point, false, c);
        ExpectColour(c, Ground(), 0, "above ceiling");
    }
    // A ray leaving the layer gets the haze of the part up to the ceiling only.
    TFloatRGB clipped = Ground(), atCeiling = Ground();
    AtmosphereColour(At(0, 50, 0), At(200, 150, 0), false, clipped);
    AtmosphereColour(At(0, 50, 0), At(100, 100, 0), false, atCeiling);
    ExpectColour(clipped, atCeiling, 1e-6, "clipped at the ceiling");
}

TEST_F(Atmosphere, MistFillsTheLayerUpToItsTop)
{
    Haze(0, 0.5f);
    AtmosphereParams.MistHeight = 1; // top = ((100 - 0) / 5 - 0) x 1 + 0 = 20
    TFloatRGB below = Ground(), above = Ground(), half = Ground(), halfBelow = Ground();
    AtmosphereColour(At(0, 10, 0), At(100, 10, 0), false, below);
    AtmosphereColour(At(0, 50, 0), At(100, 50, 0), false, above);
    AtmosphereColour(At(0, 10, 0), At(100, 30, 0), false, half);      // half of it below 20
    AtmosphereColour(At(0, 10, 0), At(50, 20, 0), false, halfBelow);  // that half alone
    EXPECT_NE(below.R, Ground().R);
    ExpectColour(above, Ground(), 0, "above the mist");
    ExpectColour(half, halfBelow, 1e-6, "mist part");
}

TEST_F(Atmosphere, SunGlowOnSkyRays)
{
    Haze(0, 0);
    AtmosphereParams.Glowing = 0.5f;
    SetSunAngles(0, 0); // straight up
    TFloatRGB away{0, 0, 0};
    AtmosphereColour(At(0, 10, 0), At(0, -1000, 0), true, away);
    const double glow = std::sqrt(0.1 / M_PI) * 0.5;
    ExpectColour(away, {float(glow), float(glow * 0.9), float(glow * 0.8)}, 1e-5, "away from the sun");

    double last = 0;
    for (float x : {1000.0f, 100.0f, 10.0f, 1.0f, 0.0f}) {
        TFloatRGB c{0, 0, 0};
        AtmosphereColour(At(0, 10, 0), At(x, 1000, 0), true, c);
        EXPECT_TRUE(std::isfinite(c.R)) << x;
        EXPECT_GT(c.R, last) << x;
        last = c.R;
    }
    // Terrain rays get no glow.
    TFloatRGB terrain = Ground();
    AtmosphereColour(At(0, 10, 0), At(0, 1000, 0), false, terrain);
    ExpectColour(terrain, Ground(), 0, "terrain ray at the sun");
}

TEST_F(Atmosphere, SunAnglesFromTheVertical)
{
    struct Case {
        double azimuth, altitude;
        float x, y, z;
    };
    const Case cases[] = {{0, 0, 0, 0, 1}, {90, 90, 1, 0, 0}, {180, 90, 0, 1, 0}, {0, 90, 0, -1, 0}};
    for (const Case& k : cases) {
        SetSunAngles(k.azimuth, k.altitude);
        EXPECT_NEAR(AtmosphereParams.Sun.R, k.x, 1e-6) << k.azimuth << "," << k.altitude;
        EXPECT_NEAR(AtmosphereParams.Sun.G, k.y, 1e-6);
        EXPECT_NEAR(AtmosphereParams.Sun.B, k.z, 1e-6);
    }
}

TEST_F(Atmosphere, CloudCrossingSplitsTheRay)
{
    Haze(1, 0.2f);
    AtmosphereParams.CloudHeight = 60;
    AtmosphereParams.CloudDensity = 5;
    AtmosphereParams.CloudCover = 1;
    AtmosphereParams.CloudColour1 = {1, 1, 1};
    AtmosphereParams.CloudColour2 = {0.9f, 0.9f, 0.9f};
    const TVector3 eye = At(0, 20, 0), point = At(100, 100, 30);

    // Cloud not drawn: still two haze segments, beyond and before the crossing.
    TFloatRGB split = Ground();
    AtmosphereColour(eye, point, false, split);
    TFloatRGB manual = Ground();
    const TAtmosVector e{0, 0, 20}, q{50, 15, 60}, pt{100, 30, 100};
    HazeAlongSegment(false, manual, {0, 0, 0}, pt, q);
    HazeAlongSegment(false, manual, {0, 0, 0}, q, e);
    ExpectColour(split, manual, 1e-6, "two segments");

    // Drawn, the cloud covers a point above it seen from below...
    AtmosphereParams.CloudDraw = -1;
    TFloatRGB clouded = Ground();
    AtmosphereColour(eye, point, false, clouded);
    EXPECT_GT(clouded.R, split.R + 0.1);
    // ...but land seen from above the clouds is clear: one haze segment, eye to point.
    TFloatRGB fromAbove = Ground();
    AtmosphereColour(point, eye, false, fromAbove);
    TFloatRGB oneSegment = Ground();
    HazeAlongSegment(false, oneSegment, {0, 0, 0}, e, pt);
    ExpectColour(fromAbove, oneSegment, 1e-6, "terrain below the clouds from above");
    // A sky ray from above the clouds still meets them.
    TFloatRGB skyDown = Ground(), skyDownClear = Ground();
    AtmosphereColour(point, eye, true, skyDown);
    AtmosphereParams.CloudDraw = 0;
    AtmosphereColour(point, eye, true, skyDownClear);
    EXPECT_GT(skyDown.R, skyDownClear.R + 0.1);
    // ...and never a point on the eye's side of the cloud height.
    AtmosphereParams.CloudDraw = -1;
    TFloatRGB near = Ground(), nearClear = Ground();
    AtmosphereColour(At(0, 90, 0), At(100, 70, 0), false, near);
    AtmosphereParams.CloudDraw = 0;
    AtmosphereColour(At(0, 90, 0), At(100, 70, 0), false, nearClear);
    ExpectColour(near, nearClear, 0, "no cloud before the crossing");
}

TEST_F(Atmosphere, ScaledRayRestoresItsSettings)
{
    Haze(0, 0);
    AtmosphereParams.Glowing = 0.25f;
    AtmosphereParams.CloudDraw = -1;
    TFloatRGB once{0, 0, 0}, twice{0, 0, 0};
    AtmosphereColour(At(0, 10, 0), At(0, -1000, 0), true, once);
    ScaledRayAtmosphere(At(0, 10, 0), At(0, -1000, 0), true, twice, false, 2.0);
    EXPECT_NEAR(twice.R, 2 * once.R, 1e-6);
    EXPECT_EQ(AtmosphereParams.Glowing, 0.25f);
    EXPECT_EQ(AtmosphereParams.CloudDraw, -1);
}

TEST_F(Atmosphere, ZeroDistancesGiveFullHazeNotNaN)
{
    Haze(1, 1); // fog distance (1 - 1) x 200 = 0
    AtmosphereParams.BlueDistance = 0;
    AtmosphereParams.MistHeight = 1;
    TFloatRGB c = Ground();
    AtmosphereColour(At(0, 10, 0), At(10, 10, 0), false, c);
    EXPECT_TRUE(std::isfinite(c.R) && std::isfinite(c.G) && std::isfinite(c.B));
    EXPECT_NEAR(c.R, (0.2 * 0.8 + 0.6) / 1.2, 1e-4); // blueing and fog weighted alike
}

// The light march through a cloud and the cloud's cover, pinned to the bit over many rays: sky
// rays in every direction above the horizon, and rays from below to points beyond the cloud height,
// for fractal depths 1 to 4 (march lengths 5 to 80 steps), several covers and densities and a sun
// high and low.
TEST_F(Atmosphere, CloudColoursArePinnedToTheBit)
{
    // The noise tables as the program fills them at start.
    const uint32_t seed = RandSeed();
    SetRandSeed(0);
    InitRandomTables();
    SetRandSeed(seed);
    struct Case {
        float depth, cover, density, altitude, cloudSize;
        uint64_t hash;
    };
    const Case cases[] = {
        {1, 0.0f, 1.0f, 45, 50, 0x1d656e0eacf9385full},  {2, 0.3f, 3.0f, 30, 11, 0x74226195be3f490dull},
        {3, -0.2f, 0.5f, 60, 6, 0x9099702f2150a96full},  {4, 0.0f, 2.0f, 45, 21, 0xb688df9c1dfa4b0eull},
        {4, 0.8f, 8.0f, 80, 3, 0xc91825cea2180479ull},   {3, 1.0f, 1.0f, 10, 101, 0xd6a9dc24ba3cd379ull},
    };
    for (const Case& c : cases) {
        Haze(1, 0.2f);
        TAtmosphereParams& p = AtmosphereParams;
        p.FractalDepth = c.depth;
        p.CloudHeight = 60;
        p.CloudSize = c.cloudSize;
        p.CloudCover = c.cover;
        p.CloudDensity = c.density;
        p.CloudXOffset = 13;
        p.CloudYOffset = -7;
        p.CloudColour1 = {1, 0.95f, 0.9f};
        p.CloudColour2 = {0.5f, 0.55f, 0.6f};
        p.CloudDraw = -1;
        p.Glowing = 0.3f;
        SetSunAngles(35, c.altitude);
        uint64_t hash = 1469598103934665603ull;
        const auto add = [&](const TFloatRGB& colour) {
            for (float v : {colour.R, colour.G, colour.B}) {
                uint32_t bits;
                std::memcpy(&bits, &v, sizeof bits);
                hash = (hash ^ bits) * 1099511628211ull;
            }
        };
        for (int a = 0; a < 72; ++a)
            for (int e = 1; e < 30; ++e) {
                const double azimuth = a * 5.0 * M_PI / 180.0, elevation = e * 3.0 * M_PI / 180.0;
                const float x = float(std::cos(azimuth) * std::cos(elevation) * 2000);
                const float z = float(std::sin(azimuth) * std::cos(elevation) * 2000);
                const float y = float(std::sin(elevation) * 2000);
                TFloatRGB sky{0.2f, 0.4f, 0.8f};
                AtmosphereColour(At(1, 20, 2), At(x, y, z), true, sky);
                add(sky);
                TFloatRGB land = Ground();
                AtmosphereColour(At(-3, 10, 5), At(x / 20, 70 + y / 100, z / 20), false, land);
                add(land);
            }
        EXPECT_EQ(hash, c.hash) << "depth " << c.depth << ", cover " << c.cover << ": 0x" << std::hex << hash;
    }
}

} // namespace
