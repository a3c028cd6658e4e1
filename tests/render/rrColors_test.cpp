#include "render/rrColors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

void ExpectNear(const TColorTriple& actual, const TColorTriple& expected, double tolerance, const char* what)
{
    for (size_t k = 0; k < 3; ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance) << what << " component " << k;
}

TEST(rrColors, KnownColoursBothWays)
{
    struct Case { TColorTriple hls, rgb; };
    const Case cases[] = {
        {{0.0, 0.5, 1.0}, {1, 0, 0}},
        {{1.0 / 6, 0.5, 1.0}, {1, 1, 0}},
        {{2.0 / 6, 0.5, 1.0}, {0, 1, 0}},
        {{3.0 / 6, 0.5, 1.0}, {0, 1, 1}},
        {{4.0 / 6, 0.5, 1.0}, {0, 0, 1}},
        {{5.0 / 6, 0.5, 1.0}, {1, 0, 1}},
        {{0.0, 0.25, 1.0}, {0.5, 0, 0}},
        {{0.0, 0.75, 0.5}, {0.875, 0.625, 0.625}},
        {{0.0, 0.3, 0.0}, {0.3, 0.3, 0.3}},
        {{0.0, 0.5, 0.0}, {0.5, 0.5, 0.5}},
    };
    for (const Case& c : cases) {
        TColorTriple rgb{}, hls{};
        HLSToRGB(c.hls, rgb);
        ExpectNear(rgb, c.rgb, 1e-12, "HLSToRGB");
        RGBToHLS(c.rgb, hls);
        ExpectNear(hls, c.hls, 1e-8, "RGBToHLS");
    }
}

TEST(rrColors, ExtremesAndHueOne)
{
    TColorTriple rgb{}, red{};
    HLSToRGB({1.0, 0.5, 1.0}, rgb);
    HLSToRGB({0.0, 0.5, 1.0}, red);
    ExpectNear(rgb, red, 0, "hue 1 is hue 0");
    for (double h : {0.0, 0.37, 0.9}) {
        for (double s : {0.0, 0.6, 1.0}) {
            HLSToRGB({h, 0.0, s}, rgb);
            ExpectNear(rgb, {0, 0, 0}, 1e-12, "black");
            HLSToRGB({h, 1.0, s}, rgb);
            ExpectNear(rgb, {1, 1, 1}, 1e-12, "white");
        }
    }
}

TEST(rrColors, RandomColoursRoundTrip)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int n = 0; n < 2000; ++n) {
        const TColorTriple rgb{unit(random), unit(random), unit(random)};
        TColorTriple hls{}, back{};
        RGBToHLS(rgb, hls);
        for (double v : hls) {
            EXPECT_GE(v, 0.0);
            EXPECT_LE(v, 1.0);
        }
        HLSToRGB(hls, back);
        ExpectNear(back, rgb, 1e-8, "round trip");
    }
}

TEST(rrColors, OutOfRangeComponentsRaiseEColorConv)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case { bool toRGB; TColorTriple value; const char* message; };
    const Case cases[] = {
        {true, {0.5, -0.01, 0.5}, "HLS2RGB: 0 <= Luminance value <= 1 required"},
        {true, {1.01, 0.5, 0.5}, "HLS2RGB: 0 <= Hue value <= 1 required"},
        {true, {0.5, 0.5, 2.0}, "HLS2RGB: 0 <= Saturation value <= 1 required"},
        {true, {-1, -1, -1}, "HLS2RGB: 0 <= Hue value <= 1 required"}, // checked in order
        {true, {nan, 0.5, 0.5}, "HLS2RGB: 0 <= Hue value <= 1 required"},
        {false, {-0.5, 0, 0}, "RGB2HLS: 0 <= Red value <= 1 required"},
        {false, {0, 1.5, 0}, "RGB2HLS: 0 <= Green value <= 1 required"},
        {false, {0, 0, nan}, "RGB2HLS: 0 <= Blue value <= 1 required"},
    };
    for (const Case& c : cases) {
        TColorTriple out{};
        try {
            if (c.toRGB)
                HLSToRGB(c.value, out);
            else
                RGBToHLS(c.value, out);
            ADD_FAILURE() << "no exception for " << c.message;
        } catch (const EColorConv& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

} // namespace
