#include "heightgrid/data/usgsdem.h"

#include "heightgrid/HeightDataFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

std::string I6(long v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%6ld", v);
    return b;
}

// Fortran D24.15, the way DEM producers write it.
std::string D24(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%24.15E", v);
    std::string s = b;
    s[s.find('E')] = 'D';
    return s;
}

std::string E12(double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%12.6E", v);
    return b;
}

void Pad(std::string& s, size_t block = 1024)
{
    s.append((block - s.size() % block) % block, ' ');
}

struct TDEMLayout {
    int groundUnits = 2;        // 2 metres, 3 arc-seconds
    double res = 30.0;
    double corner[4][2] = {{500000, 4486140}, {500000, 4500000}, {501170, 4500000}, {501170, 4486140}};
    std::vector<std::vector<long>> profiles; // south end first
};

std::string MakeDEM(const TDEMLayout& dem)
{
    std::string a = "synthetic test DEM";
    a.resize(144, ' ');
    a += I6(1) + I6(1) + I6(dem.groundUnits == 3 ? 0 : 1) + I6(17);
    for (int k = 0; k < 15; ++k)
        a += D24(0);
    a += I6(dem.groundUnits) + I6(2) + I6(4);
    for (const auto& c : dem.corner)
        a += D24(c[0]) + D24(c[1]);
    a += D24(0) + D24(1000) + D24(0);
    a += I6(0) + E12(dem.res) + E12(dem.res) + E12(1.0);
    a += I6(1) + I6(long(dem.profiles.size()));
    Pad(a);
    for (size_t c = 0; c < dem.profiles.size(); ++c) {
        const auto& p = dem.profiles[c];
        std::string b = I6(1) + I6(long(c + 1)) + I6(long(p.size())) + I6(1);
        b += D24(dem.corner[0][0] + double(c) * dem.res) + D24(dem.corner[0][1]) + D24(0) + D24(0) + D24(0);
        size_t inBlock = 146;
        for (long v : p) {
            if (inBlock == 0) {
                Pad(b);
                inBlock = 170;
            }
            b += I6(v);
            --inBlock;
        }
        Pad(b);
        a += b;
    }
    return a;
}

std::vector<long> Profile(int m, const std::function<long(int)>& f)
{
    std::vector<long> p;
    for (int k = 0; k < m; ++k)
        p.push_back(f(k));
    return p;
}

} // namespace

TEST(USGSDEM, ProfilesFillColumnsFromTheSouth)
{
    TDEMLayout dem;
    // Elevation k of profile c: 100 + c * 1000 + k, with a void, a glued full-width field and
    // the values -1 and -2 (real heights, not markers).
    for (int c = 0; c < 3; ++c)
        dem.profiles.push_back(Profile(463, [c](int k) { return 100L + c * 1000 + k; }));
    dem.profiles[1][5] = kUSGSVoid;
    dem.profiles[1][6] = -1;
    dem.profiles[1][7] = -2;
    dem.profiles[2][0] = 99999; // next to -32767 below: "99999-32767"
    dem.profiles[2][1] = kUSGSVoid;
    TImportResult r = ReadUSGSDEMData(MakeDEM(dem), TImportOptions(), TGridBlock());
    ASSERT_TRUE(r.Ok) << r.Error;
    const THeightImport& g = r.Grid;
    ASSERT_EQ(g.SizeX, 4);
    ASSERT_EQ(g.SizeY, 464);
    EXPECT_EQ(g.SpacingX, 30.0);
    // Profile c (1-based) in column c; elevation k in row 463 - k.
    EXPECT_EQ(g.At(1, 463), 100.0);
    EXPECT_EQ(g.At(1, 1), 100.0 + 462);
    EXPECT_EQ(g.At(3, 400), 2100.0 + 63);
    EXPECT_EQ(g.At(2, 463 - 5), NullHeight);
    EXPECT_EQ(g.At(2, 463 - 6), -1.0);
    EXPECT_EQ(g.At(2, 463 - 7), -2.0);
    EXPECT_EQ(g.At(3, 463), 99999.0);
    EXPECT_EQ(g.At(3, 462), NullHeight);
    for (int y = 0; y < 464; ++y)
        EXPECT_EQ(g.At(0, y), NullHeight);
    EXPECT_EQ(g.MinHeight, -2.0);    // voids do not count
    EXPECT_EQ(g.MaxHeight, 99999.0);
}

TEST(USGSDEM, ShortProfilesAndTheHeightRange)
{
    TDEMLayout dem;
    dem.profiles.push_back(Profile(463, [](int) { return 50L; }));
    dem.profiles.push_back(Profile(461, [](int k) { return 60L + k; }));  // 2 short: shifted north
    dem.profiles.push_back(Profile(400, [](int) { return 70L; }));       // far too short: dropped
    TImportResult r = ReadUSGSDEMData(MakeDEM(dem), TImportOptions(), TGridBlock());
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Grid.At(2, 463), 60.0);   // r = m - k + (R - m), at most R
    EXPECT_EQ(r.Grid.At(2, 3), 60.0 + 460);
    EXPECT_EQ(r.Grid.At(3, 300), NullHeight);
    EXPECT_EQ(r.Grid.MinHeight, 50.0);    // from the first stored value, not from 0
    EXPECT_EQ(r.Grid.MaxHeight, 520.0);

    TDEMLayout zeros;
    zeros.profiles.assign(2, std::vector<long>(463, 0));
    TImportResult z = ReadUSGSDEMData(MakeDEM(zeros), TImportOptions(), TGridBlock());
    ASSERT_TRUE(z.Ok);
    EXPECT_EQ(z.Grid.MaxHeight, 100.0);
    EXPECT_EQ(z.Grid.MinHeight, 0.0);
}

TEST(USGSDEM, OneDegreeDEMSpacingFromTheResolution)
{
    TDEMLayout dem;
    dem.groundUnits = 3;
    dem.res = 3.0;
    // Corners in arc-seconds around latitude 40.5.
    const double lon = -80 * 3600.0, lat = 40 * 3600.0;
    const double corners[4][2] = {{lon, lat}, {lon, lat + 3600}, {lon + 900, lat + 3600}, {lon + 900, lat}};
    std::copy(&corners[0][0], &corners[0][0] + 8, &dem.corner[0][0]);
    dem.profiles.assign(301, std::vector<long>(1201, 12)); // (301 - 1) is a multiple of 300
    TImportResult r = ReadUSGSDEMData(MakeDEM(dem), TImportOptions(), TGridBlock());
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Grid.SizeX, 302);
    EXPECT_EQ(r.Grid.SizeY, 1202);
    EXPECT_DOUBLE_EQ(r.Grid.SpacingY, 92.6);
    EXPECT_NEAR(r.Grid.SpacingX, 92.76 * std::cos(40.5 * M_PI / 180.0), 1e-9);
    EXPECT_EQ(r.Grid.At(301, 1201), 12.0);
}

TEST(USGSDEM, LoadModePlacementAndSampling)
{
    TDEMLayout dem;
    for (int c = 0; c < 4; ++c)
        dem.profiles.push_back(Profile(463, [c](int k) { return 1000L * c + k; }));
    TImportOptions o;
    o.AutoSize = false;
    o.XOrigin = 2;
    o.YOrigin = -400;
    o.UseNull = false;
    o.DefaultHeight = 3;
    TGridBlock current = MakeGrid(6, 70, [](int, int) { return 5.0; });
    TImportResult r = ReadUSGSDEMData(MakeDEM(dem), o, current);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_FALSE(r.Grid.MakeNewGrid);
    EXPECT_EQ(r.Grid.At(0, 0), 3.0);               // overwritten with the default height
    EXPECT_EQ(r.Grid.At(3, 63), 1000.0 * 0 + 0);   // profile 1, k 0: row 463 - 400
    EXPECT_EQ(r.Grid.At(5, 10), 1000.0 * 2 + 53);  // profile 3, row 410: k = 53

    TImportOptions s;
    s.Sample = 2;
    TImportResult half = ReadUSGSDEMData(MakeDEM(dem), s, TGridBlock());
    ASSERT_TRUE(half.Ok);
    EXPECT_EQ(half.Grid.SizeX, 2);
    EXPECT_EQ(half.Grid.SizeY, 232);
    EXPECT_EQ(half.Grid.SpacingX, 60.0);
    EXPECT_EQ(half.Grid.At(1, 231), 1000.0 + 1); // profile 2, r = 462: k = 1
}

TEST(USGSDEM, LineEndsBetweenRecordsReadAlike)
{
    TDEMLayout dem;
    for (int c = 0; c < 2; ++c)
        dem.profiles.push_back(Profile(463, [c](int k) { return 10L * c + k; }));
    const std::string plain = MakeDEM(dem);
    std::string lines;
    for (size_t k = 0; k < plain.size(); k += 1024)
        lines += plain.substr(k, 1024) + "\r\n";
    TImportResult a = ReadUSGSDEMData(plain, TImportOptions(), TGridBlock());
    TImportResult b = ReadUSGSDEMData(lines, TImportOptions(), TGridBlock());
    ASSERT_TRUE(a.Ok && b.Ok) << b.Error;
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 464; ++y)
            ASSERT_EQ(a.Grid.At(x, y), b.Grid.At(x, y)) << x << "," << y;
    EXPECT_EQ(b.Grid.At(2, 1), 10.0 + 462);
}

TEST(USGSDEM, DamagedFilesAreReported)
{
    TDEMLayout dem;
    dem.profiles.assign(3, std::vector<long>(463, 7));
    const std::string good = MakeDEM(dem);
    std::string badToken = good;
    badToken.replace(1024 + 144 + 6 * 10, 6, "  1x34");
    std::string hugeCount = good;
    hugeCount.replace(858, 6, "999999");
    const std::string cases[] = {std::string(), good.substr(0, 900), good.substr(0, good.size() - 1500), badToken,
                                 hugeCount};
    for (const std::string& c : cases) {
        TImportResult r = ReadUSGSDEMData(c, TImportOptions(), TGridBlock());
        EXPECT_FALSE(r.Ok) << c.size();
        EXPECT_EQ(r.Error.rfind(kMsgInvalidUSGS, 0), 0u) << r.Error;
    }
}

TEST(USGSDEM, FortranRealsWithEitherExponentLetter)
{
    EXPECT_EQ(USGSReal24("   1.500000000000000D+02"), 150.0);
    EXPECT_EQ(USGSReal24("   1.500000000000000E+02"), 150.0);
    EXPECT_EQ(USGSReal24("  -2.880000000000000D+05"), -288000.0);
    EXPECT_EQ(USGSReal24("                     0.0"), 0.0);
    EXPECT_EQ(USGSReal24("  not a number at all   "), 0.0);
}
