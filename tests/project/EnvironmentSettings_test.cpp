#include "project/EnvironmentSettings.h"
#include "project/Messages.h"
#include "project/projectio.h"
#include "support/TestSupport.h"
#include "support/MessageLog.h"

#include <gtest/gtest.h>

namespace {

using RecordingPrompt = qxtest::TInstalledMessageLog;

std::vector<uint8_t> Encode(TProject& p)
{
    std::vector<uint8_t> out;
    WriteProject(p, out);
    return out;
}

// Colours whose channels are exact multiples of 1/255, so they survive the 24-bit form.
TFloatColor Exact(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f, 1.0f}; }

void Vary(TProject& p)
{
    p.Atmosphere.SkyColor = Exact(10, 20, 30);
    p.Atmosphere.DecayColor = Exact(40, 50, 60);
    p.Atmosphere.Infinity = 12345.678901234;
    p.Atmosphere.MistHeight = 0.33;
    p.Lighting.AmbientLightColor = Exact(1, 2, 3);
    p.Lighting.SunSize = 7.25;
    p.Clouds.Items[0].Draw = 0;
    p.Clouds.Items[0].Density = 77;
    p.Clouds.Items[0].CloudColor2 = Exact(200, 100, 0);
    p.Clouds.Items[0].YOffset = -3.5;
    p.Fractal.BaseTerrainBias = 12;
    p.Fractal.TerrainSurfaces.push_back(p.Fractal.TerrainSurfaces[0]);
    TTerrainSurface& s = p.Fractal.TerrainSurfaces[3];
    s.SurfaceID = 3;
    s.ParentID = 0;
    s.SurfaceName = "Meadow = green";
    s.MinSlope = 1;
    s.MaxSlopeEdge = 2.5;
    s.Bumpiness = 4.75;
    s.Material.Shininess = 17;
    s.Material.SecondaryColor = Exact(9, 8, 7);
    p.Fractal.TerrainSurfaceCount = 4;
    p.Fractal.TerrainSurfaceNextID = 4;
    p.Water.WaterTurbulance = 33;
    p.Water.Surface.Emission = 0.125;
    p.Water.Surface.PrimaryColor = Exact(0, 64, 128);
    // Every other carried colour exact as well, so that only field mix-ups can differ.
    int k = 0;
    for (TFloatColor* c : {&p.Atmosphere.HorizonColor, &p.Atmosphere.FogColor, &p.Lighting.PrimaryLightColor,
                           &p.Clouds.Items[0].CloudColor1, &p.Water.Surface.SecondaryColor}) {
        ++k;
        *c = Exact(k, 2 * k, 3 * k);
    }
    for (TTerrainSurface& t : p.Fractal.TerrainSurfaces) {
        t.Material.PrimaryColor = Exact(++k, 100, 50);
        t.Material.SecondaryColor = Exact(++k, 50, 100);
    }
}

TEST(EnvironmentSettings, ExportThenImportKeepsEveryCarriedField)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    TProject source;
    Vary(source);
    source.Header.Name = "Alps";
    ASSERT_TRUE(source.ExportEnvironmentSettings(dir.file("env.ini")));

    TProject target;
    ASSERT_TRUE(target.ImportEnvironmentSettings(dir.file("env.ini")));
    EXPECT_TRUE(prompt.shown.empty());
    // What is carried now matches; what is not carried (the header name, seeds) is untouched.
    EXPECT_NE(target.Header.Name, "Alps");
    target.Header.Name = source.Header.Name;
    EXPECT_EQ(Encode(target), Encode(source));

    const std::string text = qxtest::ReadFileText(dir.file("env.ini"));
    for (const char* line : {"[Environment]\nName=Alps\n", "WaterTurbulance=33\n", "3-Bumpiness=4.75\n",
                             "Water-Emission=0.125\n", "3-SurfaceName=Meadow = green\n", "Infinity=12345.678901234\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_LT(text.find("[Environment]"), text.find("[Atmosphere]"));
    EXPECT_LT(text.find("[Fractal]"), text.find("[Lighting]"));
    EXPECT_LT(text.find("[Lighting]"), text.find("[Water]"));
}

TEST(EnvironmentSettings, ColoursCarryTwentyFourBitsAndAlphaOne)
{
    TProject p;
    p.Atmosphere.FogColor = {1.0f, 0.5f, 0.0f, 0.25f};
    TIniFile ini;
    WriteEnvironmentSettings(ini, p);
    EXPECT_EQ(ini.ReadInteger("Atmosphere", "FogColor", -1), 255 + 256 * 127);
    ReadAtmosphereSettings(ini, p.Atmosphere, p.Lighting);
    EXPECT_EQ(p.Atmosphere.FogColor.G, 127 / 255.0f);
    EXPECT_EQ(p.Atmosphere.FogColor.A, 1.0f);
}

TEST(EnvironmentSettings, ExportKeepsTheRestOfAnExistingFile)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("env.ini"), "[Notes]\nAuthor=me\n[Water]\nWaveHeight=1\nExtra=x\n");
    TProject p;
    ASSERT_TRUE(p.ExportEnvironmentSettings(dir.file("env.ini")));
    const std::string text = qxtest::ReadFileText(dir.file("env.ini"));
    EXPECT_EQ(text.rfind("[Notes]\nAuthor=me\n[Water]\nWaveHeight=3\nExtra=x\nWaveLength=3\n", 0), 0u) << text;
}

TEST(EnvironmentSettings, AFileWithOnlyWaterChangesOnlyTheWater)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("w.ini"), "[Water]\nWaveHeight=9,5\nWater-0--Shininess=4\nWater-0--Roughness=1\n"
                                             "Water-Roughness=2\nWater-PrimaryColor=255\n");
    TProject p, untouched;
    ASSERT_TRUE(p.ImportEnvironmentSettings(dir.file("w.ini")));
    EXPECT_EQ(p.Water.WaveHeight, 9.5);
    EXPECT_EQ(p.Water.Surface.Shininess, 4);      // only the first form has it
    EXPECT_EQ(p.Water.Surface.Roughness, 2.0);    // the second form wins
    EXPECT_EQ(p.Water.Surface.PrimaryColor.R, 1.0f);
    p.Water = untouched.Water;
    EXPECT_EQ(Encode(p), Encode(untouched));
}

TEST(EnvironmentSettings, SurfaceCountShortensOrGrowsTheList)
{
    TProject p;
    Vary(p);
    TIniFile ini;
    WriteEnvironmentSettings(ini, p);
    ini.WriteInteger("Fractal", "TerrainSurfaceCount", 3);
    std::string error;
    ASSERT_TRUE(ReadFractalSettings(ini, p.Fractal, error));
    EXPECT_EQ(p.Fractal.TerrainSurfaces.size(), 3u);

    ini.WriteInteger("Fractal", "TerrainSurfaceCount", 5);
    ASSERT_TRUE(ReadFractalSettings(ini, p.Fractal, error));
    ASSERT_EQ(p.Fractal.TerrainSurfaces.size(), 5u);
    EXPECT_EQ(p.Fractal.TerrainSurfaces[3].SurfaceName, "Meadow = green"); // keys of surface 3 are there
    EXPECT_EQ(p.Fractal.TerrainSurfaces[4].SurfaceName, "");                // a new entry without keys stays zero
    EXPECT_EQ(p.Fractal.TerrainSurfaces[4].Coverage, 0.0);
}

TEST(EnvironmentSettings, UnusableFractalSectionsApplyNothingButTheOtherSectionsApply)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    struct Case {
        const char* name;
        const char* fractal;
    } cases[] = {
        {"negative count", "TerrainSurfaceCount=-1\n"},
        {"huge count", "TerrainSurfaceCount=2000000000\n"},
        {"own parent", "0-ParentID=0\n"},
        {"parent cycle", "1-ParentID=2\n2-ParentID=1\n"},
    };
    for (const Case& c : cases) {
        qxtest::WriteFileText(dir.file("f.ini"), std::string("[Atmosphere]\nAmbient=0.99\n[Fractal]\nTreeLine=5\n") +
                                                     c.fractal);
        TProject p, expected;
        expected.Atmosphere.Ambient = 0.99; // the refused Fractal section does not stop the Atmosphere
        prompt.shown.clear();
        EXPECT_FALSE(p.ImportEnvironmentSettings(dir.file("f.ini"))) << c.name;
        EXPECT_FALSE(p.ImportFractalSettings(dir.file("f.ini"))) << c.name;
        EXPECT_EQ(prompt.shown.size(), 2u) << c.name;
        EXPECT_EQ(Encode(p), Encode(expected)) << c.name;
    }
}

TEST(EnvironmentSettings, TwoSurfacesAreTakenAndTheBandSurfacesMadeWhole)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    std::string text = "[Atmosphere]\nAmbient=0.42\n[Fractal]\nTreeLine=7\nTerrainSurfaceCount=2\nTerrainSurfaceNextID=9\n";
    for (int i = 0; i < 5; ++i)
        text += std::to_string(i) + "-SurfaceName=From file " + std::to_string(i) + "\n" + std::to_string(i) +
                "-SurfaceID=" + std::to_string(i) + "\n" + std::to_string(i) + "-ParentID=-1\n";
    text += "[Water]\nWaterTurbulance=61\n";
    qxtest::WriteFileText(dir.file("t.ini"), text);

    TProject p;
    TFractalBlock defaults;
    InitFractalBlock(defaults);
    EXPECT_TRUE(p.ImportEnvironmentSettings(dir.file("t.ini")));
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(p.Atmosphere.Ambient, 0.42);
    EXPECT_EQ(p.Fractal.TreeLine, 7);
    EXPECT_EQ(p.Water.WaterTurbulance, 61);
    // The list takes the two surfaces it holds (the keys of 2 to 4 are ignored); the third band
    // surface comes from the defaults with the next free ID, as for a loaded project.
    const auto& surfaces = p.Fractal.TerrainSurfaces;
    ASSERT_EQ(surfaces.size(), 3u);
    EXPECT_EQ(p.Fractal.TerrainSurfaceCount, 3);
    EXPECT_EQ(surfaces[0].SurfaceName, "From file 0");
    EXPECT_EQ(surfaces[1].SurfaceName, "From file 1");
    EXPECT_EQ(surfaces[2].SurfaceName, defaults.TerrainSurfaces[2].SurfaceName);
    EXPECT_EQ(surfaces[2].SurfaceID, 9);
    EXPECT_EQ(surfaces[2].ParentID, -1);
    EXPECT_EQ(p.Fractal.TerrainSurfaceNextID, 10);

    // A count of 0 gives the three default bands.
    qxtest::WriteFileText(dir.file("z.ini"), "[Fractal]\nTerrainSurfaceCount=0\n");
    TProject q;
    EXPECT_TRUE(q.ImportFractalSettings(dir.file("z.ini")));
    ASSERT_EQ(q.Fractal.TerrainSurfaces.size(), 3u);
    EXPECT_EQ(q.Fractal.TerrainSurfaces[0].SurfaceName, defaults.TerrainSurfaces[0].SurfaceName);
}

TEST(EnvironmentSettings, SectionImportsReadTheirOwnSections)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("all.ini"), "[Atmosphere]\nAmbient=0.5\n[Lighting]\nSunSize=3\n[Cloud]\nCover-0=9\n"
                                               "[Fractal]\nTreeLine=11\n[Water]\nWindDirection=90\n");
    TProject p;
    ASSERT_TRUE(p.ImportCloudSettings(dir.file("all.ini")));
    EXPECT_EQ(p.Clouds.Items[0].Cover, 9);
    EXPECT_NE(p.Atmosphere.Ambient, 0.5);
    ASSERT_TRUE(p.ImportAtmosphereSettings(dir.file("all.ini")));
    EXPECT_EQ(p.Atmosphere.Ambient, 0.5);
    EXPECT_EQ(p.Lighting.SunSize, 3.0);
    EXPECT_NE(p.Fractal.TreeLine, 11);
    ASSERT_TRUE(p.ImportFractalSettings(dir.file("all.ini")));
    EXPECT_EQ(p.Fractal.TreeLine, 11);
    ASSERT_TRUE(p.ImportWaterSettings(dir.file("all.ini")));
    EXPECT_EQ(p.Water.WindDirection, 90);
}

TEST(EnvironmentSettings, ExportFailuresAreReported)
{
    RecordingPrompt prompt;
    qxtest::TempDir dir;
    TProject p;
    EXPECT_FALSE(p.ExportEnvironmentSettings(dir.file("missing/env.ini")));
    p.Atmosphere.SkyColor.R = 2.0f; // no 24-bit value
    EXPECT_FALSE(p.ExportEnvironmentSettings(dir.file("env.ini")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("env.ini")));
    EXPECT_EQ(prompt.shown.size(), 2u);
}

} // namespace
