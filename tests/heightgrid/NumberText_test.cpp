#include "heightgrid/data/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

TEST(NumberText, DefaultRealHasTheFixedTwentyThreeCharacterForm)
{
    const struct {
        double v;
        const char* text;
    } cases[] = {
        {100.0, " 1.00000000000000E+0002"},
        {-1001.0, "-1.00100000000000E+0003"},
        {0.0, " 0.00000000000000E+0000"},
        {-0.0, " 0.00000000000000E+0000"},
        {0.1, " 1.00000000000000E-0001"},
        {123456789.123456789, " 1.23456789123457E+0008"}, // 15 significant digits
        {9.999999999999999, " 1.00000000000000E+0001"},   // rounding carries into the exponent
        {1e-300, " 1.00000000000000E-0300"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatDefaultReal(c.v), c.text) << c.v;
        EXPECT_EQ(FormatDefaultReal(c.v).size(), 23u);
    }
}

TEST(NumberText, FixedRealsAreRightAlignedAndIgnoreTheLocale)
{
    // A locale with a decimal comma must not leak into the files.
    const char* old = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(FormatReal(7710.0, 12, 6), " 7710.000000");
    EXPECT_EQ(FormatReal(-12.346, 8, 2), "  -12.35");
    EXPECT_EQ(FormatReal(1234567.891, 8, 2), "1234567.89"); // wider when needed
    EXPECT_EQ(FormatReal(-0.001, 8, 2), "    0.00");
    EXPECT_EQ(FormatReal(2.5, 0, 0), "2");                 // halves to even
    if (old)
        std::setlocale(LC_NUMERIC, "C");
}

TEST(NumberText, NTFFieldsAreAlwaysFourCharacters)
{
    const struct {
        int v;
        const char* text;
    } cases[] = {{5, "0005"}, {-5, "-005"}, {0, "0000"}, {9999, "9999"}, {12000, "9999"}, {-1001, "-999"}, {-999, "-999"}};
    for (const auto& c : cases) {
        std::string s;
        AppendNTFField(s, c.v);
        EXPECT_EQ(s, c.text) << c.v;
    }
}

TEST(NumberText, ParsingAcceptsWholeNumbersOnly)
{
    EXPECT_EQ(ParseReal(" 12.5 "), 12.5);
    EXPECT_EQ(ParseReal("-3e2"), -300.0);
    EXPECT_EQ(ParseReal("+1.5D+02"), 150.0);
    EXPECT_EQ(ParseReal(".5"), 0.5);
    EXPECT_EQ(ParseReal("1,5", true), 1.5);
    for (const char* bad : {"", " ", "1.2.3", "abc", "1e", "1e+", "12a", "--1", "1,5", "nan", "inf", "1e999"})
        EXPECT_FALSE(ParseReal(bad).has_value()) << bad;
    EXPECT_EQ(ParseInt(" -42 "), -42);
    EXPECT_EQ(ParseInt("+7"), 7);
    for (const char* bad : {"", "-", "4.0", "00-5", "99999999999999999999"})
        EXPECT_FALSE(ParseInt(bad).has_value()) << bad;
}

TEST(NumberText, CheckedConversionsRefuseWhatDoesNotFit)
{
    EXPECT_EQ(RoundToInt(2.5), 2);
    EXPECT_EQ(RoundToInt(-3.5), -4);
    EXPECT_FALSE(RoundToInt(NAN).has_value());
    EXPECT_FALSE(RoundToInt(3e9).has_value());
    EXPECT_EQ(TruncToInt(-2.9), -2);
    EXPECT_EQ(RoundClamped(1e20, -5, 5), 5);
    EXPECT_EQ(RoundClamped(NAN, -5, 5), -5);
}
