#include "project/AnimationFrames.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using R = TProject::TFrameResult;

struct Fixture {
    TProject p;
    Fixture()
    {
        EXPECT_TRUE(p.NewGrid(258, 258, 30.0, 30.0));
        p.ShadowsOutOfDate = 0;
    }
};

TEST(AnimationFrames, FrameMovesCameraFromGeoreferencedPoints)
{
    Fixture f;
    const TIniFile script("[Path Data]\nFRAME-0=100:50:200:0:40:0:1,5:2:3\n");
    ASSERT_EQ(ApplyAnimationFrame(script, 0, f.p), R::Applied);
    const double half = 7710.0 / 2;
    EXPECT_EQ(f.p.Camera.Eye.X, static_cast<float>(100 - half));
    EXPECT_EQ(f.p.Camera.Eye.Y, 50.0f);
    EXPECT_EQ(f.p.Camera.Eye.Z, static_cast<float>(200 - half));
    EXPECT_EQ(f.p.Camera.Target.X, static_cast<float>(-half));
    EXPECT_EQ(f.p.Camera.Target.Y, 40.0f);
    EXPECT_EQ(f.p.Camera.PathValue1, 1.5);
    EXPECT_EQ(f.p.Camera.PathValue3, 3.0);
    EXPECT_EQ(f.p.ShadowsOutOfDate, 0); // no LIGHT entry
}

TEST(AnimationFrames, LightAndCloudEntries)
{
    Fixture f;
    const TIniFile script("[Path Data]\nFRAME-3=0:0:0:0:0:0:0:0:0\nLIGHT-3=45:270:255:65280:0.1:0.2:0.3:0.4:0.5\n"
                          "CLOUDS-3=1.5:2.5:60:30:150\nCLOUDS-4=1:2:3\nFRAME-4=1:1:1:1:1:1:1:1:1\nLIGHT-4=1:2\n");
    ASSERT_EQ(ApplyAnimationFrame(script, 3, f.p), R::Applied);
    EXPECT_EQ(f.p.ShadowsOutOfDate, 1);
    EXPECT_EQ(f.p.Lighting.LightAltitude, 45.0);
    EXPECT_EQ(f.p.Lighting.LightAzimuth, 270.0);
    EXPECT_EQ(f.p.Atmosphere.SkyColor.R, 1.0f);
    EXPECT_EQ(f.p.Atmosphere.HorizonColor.G, 1.0f);
    EXPECT_EQ(f.p.Atmosphere.HorizonColor.R, 0.0f);
    EXPECT_EQ(f.p.Atmosphere.ShadowDepth, 0.5);
    EXPECT_EQ(f.p.Clouds.Items[0].YOffset, 2.5);
    EXPECT_EQ(f.p.Clouds.Items[0].Size, 150);

    // Entries with the wrong number of fields are left out; the frame still applies.
    f.p.ShadowsOutOfDate = 0;
    ASSERT_EQ(ApplyAnimationFrame(script, 4, f.p), R::Applied);
    EXPECT_EQ(f.p.Lighting.LightAltitude, 45.0);
    EXPECT_EQ(f.p.Clouds.Items[0].Size, 150);
    EXPECT_EQ(f.p.ShadowsOutOfDate, 0);
    EXPECT_EQ(f.p.Camera.Eye.Y, 1.0f);
}

TEST(AnimationFrames, LightColoursAboveTwentyFourBitsAreMasked)
{
    struct Case {
        const char* value;
        float r, g, b;
    } cases[] = {
        {"33488896", 0.0f, 0.0f, 1.0f}, // 0x1FF0000: 0xFF0000, full blue
        {"16777216", 0.0f, 0.0f, 0.0f}, // 0x1000000: black
        {"16777471", 1.0f, 0.0f, 0.0f}, // 0x10000FF: full red
        {"16777215", 1.0f, 1.0f, 1.0f}, // the largest 24-bit value as it stands
    };
    for (const Case& c : cases) {
        Fixture f;
        const std::string text = std::string("[Path Data]\nFRAME-0=1:2:3:4:5:6:7:8:9\nLIGHT-0=10:20:") + c.value + ":" +
                                 c.value + ":0.1:0.2:0.3:0.4:0.5\n";
        ASSERT_EQ(ApplyAnimationFrame(TIniFile(text), 0, f.p), R::Applied) << c.value;
        for (const TFloatColor& colour : {f.p.Atmosphere.SkyColor, f.p.Atmosphere.HorizonColor}) {
            EXPECT_EQ(colour.R, c.r) << c.value;
            EXPECT_EQ(colour.G, c.g) << c.value;
            EXPECT_EQ(colour.B, c.b) << c.value;
        }
        EXPECT_EQ(f.p.Atmosphere.ShadowDepth, 0.5) << c.value; // the fields after the colours apply too
    }
}

TEST(AnimationFrames, MissingAndMalformedFramesChangeNothing)
{
    struct Case {
        const char* name;
        const char* text;
        R result;
    } cases[] = {
        {"no frame", "[Path Data]\nFRAME-1=1:2:3:4:5:6:7:8:9\n", R::Missing},
        {"eight fields", "[Path Data]\nFRAME-0=1:2:3:4:5:6:7:8\n", R::Missing},
        {"empty field dropped", "[Path Data]\nFRAME-0=1:2::3:4:5:6:7:8\n", R::Missing},
        {"no section", "FRAME-0=1:2:3:4:5:6:7:8:9\n", R::Missing},
        {"not a number", "[Path Data]\nFRAME-0=1:2:3:4:x:6:7:8:9\n", R::Malformed},
        {"negative colour", "[Path Data]\nFRAME-0=1:2:3:4:5:6:7:8:9\nLIGHT-0=10:20:-1:0:0:0:0:0:0\n", R::Malformed},
        {"real cloud cover", "[Path Data]\nFRAME-0=1:2:3:4:5:6:7:8:9\nCLOUDS-0=1:2:3.5:4:5\n", R::Malformed},
    };
    for (const Case& c : cases) {
        Fixture f;
        const TCameraBlock camera = f.p.Camera;
        const double altitude = f.p.Lighting.LightAltitude;
        EXPECT_EQ(ApplyAnimationFrame(TIniFile(c.text), 0, f.p), c.result) << c.name;
        EXPECT_EQ(f.p.Camera.Eye.X, camera.Eye.X) << c.name;
        EXPECT_EQ(f.p.Camera.PathValue1, camera.PathValue1) << c.name;
        EXPECT_EQ(f.p.Lighting.LightAltitude, altitude) << c.name;
        EXPECT_EQ(f.p.ShadowsOutOfDate, 0) << c.name;
    }
}

TEST(AnimationFrames, LoadFromScriptFile)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("a.srp"), "[Path Data]\r\nFRAME-0=1:2:3:4:5:6:7:8:9\r\n");
    Fixture f;
    EXPECT_EQ(f.p.LoadAnimationFrame(dir.file("a.srp"), 0), R::Applied);
    EXPECT_EQ(f.p.Camera.Eye.Y, 2.0f);
    EXPECT_EQ(f.p.LoadAnimationFrame(dir.file("a.srp"), 1), R::Missing);
    EXPECT_EQ(f.p.LoadAnimationFrame(dir.file("none.srp"), 0), R::Missing);
}

} // namespace
