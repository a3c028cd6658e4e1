#include "project/IniFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(IniFile, LookupIgnoresCaseAndValuesAreTrimmed)
{
    const TIniFile ini("; comment\n[Atmosphere]\n  FogDensity = 0.25 \nName=\"quoted\"\n[water]\nWaveHeight=3\n");
    EXPECT_EQ(ini.ReadFloat("atmosphere", "fogdensity", 0), 0.25);
    EXPECT_EQ(ini.ReadString("ATMOSPHERE", "name", ""), "quoted");
    EXPECT_EQ(ini.ReadInteger("Water", "WAVEHEIGHT", 0), 3);
    EXPECT_EQ(ini.ReadInteger("Water", "FogDensity", 7), 7); // keys belong to their own section
    EXPECT_TRUE(ini.SectionExists("WATER"));
    EXPECT_FALSE(ini.SectionExists("Cloud"));
}

TEST(IniFile, NumbersAndTheirDefaults)
{
    const TIniFile ini("[S]\ncomma=12,5\ndot=-0.125\nhex=0x1F\nword=abc\nempty=\nbig=99999999999\n"
                       "inf=inf\nbool=2\nzero=0\n");
    struct Case {
        const char* key;
        double real;
        int32_t integer;
    } cases[] = {
        {"comma", 12.5, -1}, {"dot", -0.125, -1}, {"hex", -1, 31},  {"word", -1, -1}, {"empty", -1, -1},
        {"big", 99999999999.0, -1}, {"inf", -1, -1}, {"missing", -1, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ini.ReadFloat("S", c.key, -1), c.real) << c.key;
        EXPECT_EQ(ini.ReadInteger("S", c.key, -1), c.integer) << c.key;
    }
    EXPECT_TRUE(ini.ReadBool("S", "bool", false));
    EXPECT_FALSE(ini.ReadBool("S", "zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "word", true));
}

TEST(IniFile, WritingKeepsTheFileAndReplacesOrAddsKeys)
{
    TIniFile ini("; settings\r\n[Water]\r\nWaveHeight=3\r\n\r\n[Atmosphere]\r\nAmbient=0.2\r\n");
    ini.WriteFloat("water", "waveheight", 4.5);  // replaced where it stands, spelling kept
    ini.WriteInteger("Water", "WindDirection", 45); // added after the section's last key
    ini.WriteString("Cloud", "Draw-0", "1");       // new section at the end
    ini.WriteString("Environment", "Name", "two\nlines");
    EXPECT_EQ(ini.Text(), "; settings\r\n[Water]\r\nWaveHeight=4.5\r\nWindDirection=45\r\n\r\n[Atmosphere]\r\n"
                          "Ambient=0.2\r\n[Cloud]\r\nDraw-0=1\r\n[Environment]\r\nName=two lines\r\n");
    // Lookups see every change, wherever it went.
    ini.WriteString("atmosphere", "Blueing", "0.5");
    ini.WriteString("Cloud", "Cover-0", "50");
    EXPECT_EQ(ini.ReadString("Water", "WindDirection", ""), "45");
    EXPECT_EQ(ini.ReadString("Atmosphere", "Ambient", ""), "0.2");
    EXPECT_EQ(ini.ReadString("Atmosphere", "blueing", ""), "0.5");
    EXPECT_EQ(ini.ReadString("cloud", "draw-0", ""), "1");
    EXPECT_EQ(ini.ReadString("Cloud", "Cover-0", ""), "50");
    EXPECT_EQ(ini.ReadString("Environment", "Name", ""), "two lines");
    // Parsing what was written gives the same file.
    EXPECT_EQ(TIniFile(ini.Text()).Text(), ini.Text());
}

TEST(IniFile, RealsAreWrittenWithAPointAndFifteenDigits)
{
    EXPECT_EQ(FormatReal(0.1), "0.1");
    EXPECT_EQ(FormatReal(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatReal(-250.0), "-250");
    EXPECT_EQ(FormatReal(1e20), "1e+20");
    EXPECT_EQ(ParseReal(FormatReal(1e20)), 1e20);
}

TEST(IniFile, FilesAreReadAsUtf8OrWindows1252)
{
    qxtest::TempDir dir;
    qxtest::WriteFileBytes(dir.file("a.ini"), {'[', 'S', ']', '\n', 'N', '=', 'C', 'a', 'f', 0xE9, '\n'});
    TIniFile ini;
    ASSERT_TRUE(ini.LoadFromFile(dir.file("a.ini")));
    EXPECT_EQ(ini.ReadString("S", "N", ""), "Caf\xC3\xA9");
    // A missing file reads as empty.
    TIniFile none;
    EXPECT_TRUE(none.LoadFromFile(dir.file("none.ini")));
    EXPECT_FALSE(none.SectionExists("S"));
    // Saving writes the whole text; a folder that does not exist is reported.
    ASSERT_TRUE(ini.SaveToFile(dir.file("b.ini")));
    EXPECT_EQ(qxtest::ReadFileText(dir.file("b.ini")), "[S]\nN=Caf\xC3\xA9\n");
    std::string error;
    EXPECT_FALSE(ini.SaveToFile(dir.file("no/b.ini"), &error));
    EXPECT_FALSE(error.empty());
}

} // namespace
