#include "heightgrid/data/usgsdem.h"

#include "heightgrid/HeightDataFixture.h"
#include "heightgrid/USGSDEMFixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace usgsfixture;

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

TEST(USGSDEM, RowsFromTheLongestProfileWhenNoneFitsTheRule)
{
    // Profile lengths (c = 1, 2, ...), the rows per profile that follow, and whether each profile
    // is stored. Elevation k of profile c is 100 + 1000 * c + k.
    struct TCase {
        std::vector<int> lengths;
        int rows;
        std::vector<bool> stored;
    };
    const TCase cases[] = {
        {{257, 257, 257}, 257, {true, true, true}},      // exactly rectangular (GDAL writes these)
        {{257, 255, 250}, 257, {true, true, false}},     // within 3 of the longest, or dropped
        {{470, 470}, 470, {true, true}},                 // longer than 463: stored whole, not folded
        {{463, 300, 470}, 463, {true, false, true}},     // one fits the rule: the rule's rows stay
    };
    for (const TCase& t : cases) {
        TDEMLayout dem;
        for (size_t c = 0; c < t.lengths.size(); ++c)
            dem.profiles.push_back(Profile(t.lengths[c], [c](int k) { return 100L + 1000L * long(c + 1) + k; }));
        TImportResult r = ReadUSGSDEMData(MakeDEM(dem), TImportOptions(), TGridBlock());
        ASSERT_TRUE(r.Ok) << r.Error;
        const THeightImport& g = r.Grid;
        ASSERT_EQ(g.SizeY, t.rows + 1) << t.lengths[0];
        ASSERT_EQ(g.SizeX, int(t.lengths.size()) + 1);
        bool fullSeen = false;
        for (size_t c = 0; c < t.lengths.size(); ++c) {
            const int m = t.lengths[c];
            const int column = int(c) + 1;
            fullSeen = fullSeen || m == t.rows;
            const int o = fullSeen && m < t.rows ? t.rows - m : 0;
            const double base = 100.0 + 1000.0 * column;
            if (!t.stored[c]) {
                EXPECT_EQ(g.At(column, t.rows / 2), NullHeight) << column;
                continue;
            }
            // The first elevation (south) on row min(m + o, R), the last on row 1 + o.
            const int k0 = std::max(0, m + o - t.rows);
            EXPECT_EQ(g.At(column, t.rows), base + k0) << t.lengths[0] << " column " << column;
            EXPECT_EQ(g.At(column, 1 + o), base + m - 1) << t.lengths[0] << " column " << column;
        }
        EXPECT_EQ(g.SpacingX, 30.0);
        EXPECT_EQ(g.MinHeight, 1100.0);
    }
}

TEST(USGSDEM, AFileWithNothingToStoreIsRefused)
{
    TDEMLayout voids;
    voids.profiles.assign(3, std::vector<long>(257, kUSGSVoid));
    TDEMLayout empty;
    empty.profiles.assign(3, std::vector<long>());
    TDEMLayout good;
    good.profiles.assign(3, std::vector<long>(463, 9));
    TImportOptions outside;
    outside.AutoSize = false;
    outside.XOrigin = 50; // every column beyond the 6 x 70 grid
    const TGridBlock current = MakeGrid(6, 70, [](int, int) { return 5.0; });
    const struct {
        std::string file;
        TImportOptions options;
    } cases[] = {{MakeDEM(voids), TImportOptions()}, {MakeDEM(empty), TImportOptions()}, {MakeDEM(good), outside}};
    for (const auto& c : cases) {
        TImportResult r = ReadUSGSDEMData(c.file, c.options, current);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Error.rfind(std::string(kMsgInvalidUSGS) + ": no elevation", 0), 0u) << r.Error;
        EXPECT_EQ(r.Grid.Block.Cells.CellCount(), 0u); // nothing left to commit
    }
}

TEST(USGSDEM, AFullWidthFirstElevationKeepsItsSign)
{
    // The first elevation follows the profile header's last real directly when it fills its six
    // characters: a void there stays a void, not a peak of 32767.
    TDEMLayout dem;
    for (long first : {long(kUSGSVoid), -12345L, 123456L, 7L})
        dem.profiles.push_back(Profile(257, [first](int k) { return k == 0 ? first : 40L + k; }));
    TImportResult r = ReadUSGSDEMData(MakeDEM(dem), TImportOptions(), TGridBlock());
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Grid.At(1, 257), NullHeight);
    EXPECT_EQ(r.Grid.At(2, 257), -12345.0);
    EXPECT_EQ(r.Grid.At(3, 257), 123456.0);
    EXPECT_EQ(r.Grid.At(4, 257), 7.0);
    EXPECT_EQ(r.Grid.At(1, 256), 41.0);
    EXPECT_EQ(r.Grid.MinHeight, -12345.0);
    EXPECT_EQ(r.Grid.MaxHeight, 123456.0);
}

TEST(USGSDEM, LongRunsOfVoidsRead)
{
    // "-32767" fills its field, so a void area is one long token of glued values.
    TDEMLayout dem;
    dem.profiles.push_back(Profile(463, [](int k) { return k >= 10 && k < 300 ? long(kUSGSVoid) : 5L + k; }));
    dem.profiles.push_back(Profile(463, [](int k) { return 1000L + k; }));
    TImportResult r = ReadUSGSDEMData(MakeDEM(dem), TImportOptions(), TGridBlock());
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Grid.At(1, 463 - 9), 5.0 + 9);
    for (int k = 10; k < 300; ++k)
        ASSERT_EQ(r.Grid.At(1, 463 - k), NullHeight) << k;
    EXPECT_EQ(r.Grid.At(1, 463 - 300), 5.0 + 300);
    EXPECT_EQ(r.Grid.At(2, 463), 1000.0);
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
    std::string longDigits = good; // a digit run far past any integer's range
    longDigits.replace(1024 + 144 + 6 * 10, 24, std::string(24, '6'));
    const std::string cases[] = {std::string(), good.substr(0, 900), good.substr(0, good.size() - 1500), badToken,
                                 hugeCount,     longDigits};
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
