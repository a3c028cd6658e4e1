#include "editors/Atmosphere.h"

#include "controls/EnhTrackBar.h"
#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "controls/Hemisphere.h"
#include "editors/EditorsTestSupport.h"
#include "project/MathUtils.h"
#include "project/Project.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

using editortest::EditorTest;

namespace {

void ExpectColour(const TFloatColor& c, float r, float g, float b)
{
    EXPECT_FLOAT_EQ(c.R, r);
    EXPECT_FLOAT_EQ(c.G, g);
    EXPECT_FLOAT_EQ(c.B, b);
    EXPECT_FLOAT_EQ(c.A, 1.0f);
}

class AtmosphereEditorTest : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        editor.SetProject(&current);
    }
    TFAtmosphere editor;
};

} // namespace

TEST_F(AtmosphereEditorTest, RefreshQuantisesTheIntensitiesToTheTrackBars)
{
    TAtmosphereBlock& a = project->Atmosphere;
    a.FogDensity = 0.5;   // 50.5 rounds to the even 50
    a.Ambient = 0.237;    // 23.7 -> 24
    a.Diffuse = 1.5;      // beyond the bar: 100
    a.Blueing = 0;        // below the bar's 1
    a.ShadowDepth = 0.125; // 12.5 -> 12
    a.Glowing = 1.57;
    a.MistHeight = 0.3;
    editor.RefreshFromProject();
    struct Case {
        TEnhTrackBar* bar;
        QLineEdit* edit;
        int position;
        double field;
    } cases[] = {
        {editor.MistLevel, editor.MistEdit, 50, 50.0 / 101},
        {editor.AmbientLight, editor.AmbientLightEdit, 24, 0.24},
        {editor.DiffuseLight, editor.DiffuseLightEdit, 100, 1.0},
        {editor.BlueingLight, editor.BlueingLightEdit, 1, 0.01},
        {editor.ShadowDepth, editor.ShadowDepthEdit, 12, 0.12},
        {editor.GlowingLight, editor.GlowingLightEdit, 157, 1.57},
        {editor.MistHeight, editor.MistHeightEdit, 30, 0.3},
    };
    const double fields[] = {a.FogDensity, a.Ambient, a.Diffuse, a.Blueing, a.ShadowDepth, a.Glowing, a.MistHeight};
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].bar->value(), cases[i].position) << i;
        EXPECT_EQ(cases[i].edit->text(), QString::number(cases[i].position)) << i;
        EXPECT_DOUBLE_EQ(fields[i], cases[i].field) << i;
    }
    // Moving a bar writes its field at once.
    editor.MistLevel->setValue(100);
    EXPECT_DOUBLE_EQ(a.FogDensity, 100.0 / 101);
    EXPECT_EQ(editor.MistEdit->text(), QStringLiteral("100"));
    editor.ShadowDepth->setValue(150);
    EXPECT_DOUBLE_EQ(a.ShadowDepth, 1.5);
}

TEST_F(AtmosphereEditorTest, RefreshShowsColoursSunAndDistances)
{
    project->Atmosphere.SkyColor = {0.5f, 0.25f, 1.0f, 1.0f};
    project->Atmosphere.HorizonColor = {2.0f, -1.0f, 0.5f, 1.0f}; // damaged: shown limited, not a failure
    project->Lighting.LightAltitude = 35.4;
    project->Lighting.LightAzimuth = 200;
    project->Atmosphere.Ceiling = 3000;
    project->Atmosphere.Floor = -50.25;
    project->ShadowsOutOfDate = 0;
    editor.RefreshFromProject();
    EXPECT_EQ(editor.SkyColorButton->FaceColor(), QColor(127, 63, 255));
    EXPECT_EQ(editor.HorizonColorButton->FaceColor(), QColor(255, 0, 127));
    EXPECT_EQ(editor.LightHemisphere->Altitude(), 35);
    EXPECT_EQ(editor.LightHemisphere->Azimuth(), 200);
    EXPECT_EQ(editor.LightAltSpinEdit->value(), 35);
    EXPECT_EQ(editor.LightAzSpinEdit->value(), 200);
    EXPECT_EQ(editor.CeilingFloatEdit->Value(), 3000);
    EXPECT_NEAR(editor.FloorFloatEdit->Value(), -50.3, 1e-9);
    // Showing the project changes neither the sun nor the shadows.
    EXPECT_DOUBLE_EQ(project->Lighting.LightAltitude, 35.4);
    EXPECT_DOUBLE_EQ(project->Atmosphere.Floor, -50.25);
    EXPECT_EQ(project->ShadowsOutOfDate, 0);
}

TEST_F(AtmosphereEditorTest, MovingTheSunMarksShadowsOutOfDateButColoursDoNot)
{
    editor.RefreshFromProject();
    project->ShadowsOutOfDate = 0;
    prompt.colours = {0x0080FF};
    QTest::mouseClick(editor.SkyColorButton, Qt::LeftButton, {}, editor.SkyColorButton->rect().center());
    ASSERT_EQ(prompt.colourStarts.size(), 1u);
    EXPECT_EQ(prompt.colourStarts[0], int(FloatToColorRef(TFloatColor{0.55f, 0.64f, 1.0f, 1.0f})));
    ExpectColour(project->Atmosphere.SkyColor, 1.0f, 128 / 255.0f, 0.0f);
    EXPECT_EQ(editor.SkyColorButton->FaceColor(), QColor(255, 128, 0));
    EXPECT_EQ(project->ShadowsOutOfDate, 0);

    // Cancel keeps the colour.
    project->Lighting.PrimaryLightColor = {0.5f, 0.5f, 0.25f, 1.0f};
    QTest::mouseClick(editor.PrimaryLightButton, Qt::LeftButton, {}, editor.PrimaryLightButton->rect().center());
    EXPECT_EQ(prompt.colourStarts.size(), 2u);
    ExpectColour(project->Lighting.PrimaryLightColor, 0.5f, 0.5f, 0.25f);

    struct Case {
        std::function<void()> move;
        double altitude, azimuth;
    } cases[] = {
        {[&] { editor.LightHemisphere->SetAltitude(20); }, 20, -1},
        {[&] { editor.LightHemisphere->SetAzimuth(90); }, -1, 90},
        {[&] { editor.LightAltSpinEdit->setValue(70); }, 70, -1},
        {[&] { editor.LightAzSpinEdit->setValue(300); }, -1, 300},
    };
    for (const Case& c : cases) {
        project->ShadowsOutOfDate = 0;
        c.move();
        EXPECT_EQ(project->ShadowsOutOfDate, 1);
        if (c.altitude >= 0) {
            EXPECT_DOUBLE_EQ(project->Lighting.LightAltitude, c.altitude);
            EXPECT_EQ(editor.LightAltSpinEdit->value(), int(c.altitude));
            EXPECT_EQ(editor.LightHemisphere->Altitude(), int(c.altitude));
        } else {
            EXPECT_DOUBLE_EQ(project->Lighting.LightAzimuth, c.azimuth);
            EXPECT_EQ(editor.LightAzSpinEdit->value(), int(c.azimuth));
            EXPECT_EQ(editor.LightHemisphere->Azimuth(), int(c.azimuth));
        }
    }
}

TEST_F(AtmosphereEditorTest, DistanceFieldsWriteAsTheUserTypes)
{
    editor.RefreshFromProject();
    editor.CeilingFloatEdit->selectAll();
    QTest::keyClicks(editor.CeilingFloatEdit, "1234.5");
    EXPECT_DOUBLE_EQ(project->Atmosphere.Ceiling, 1234.5);
    editor.FloorFloatEdit->selectAll();
    QTest::keyClicks(editor.FloorFloatEdit, "-20");
    EXPECT_DOUBLE_EQ(project->Atmosphere.Floor, -20);
}

TEST_F(AtmosphereEditorTest, QuickSettingsWriteThePresetAndKeepTheRest)
{
    TAtmosphereBlock& a = project->Atmosphere;
    struct Case {
        int item;
        float sky[3], horizon[3], decay[3];
        double blueing, glowing;
    } cases[] = {
        {1, {0.7f, 0.85f, 0.98f}, {0.05f, 0.43f, 0.85f}, {0.41f, 0.5f, 1.0f}, 0.29, 0.42},
        {2, {0.59f, 0.64f, 0.73f}, {0.0f, 0.18f, 0.42f}, {0.33f, 0.5f, 1.0f}, 0.29, 0.42},
        {3, {0.79f, 0.79f, 1.0f}, {0.0f, 0.17f, 0.44f}, {0.31f, 0.38f, 0.62f}, 0.29, 1.57},
        {0, {0.55f, 0.64f, 1.0f}, {0.8f, 0.89f, 1.0f}, {0.25f, 0.51f, 1.0f}, 0.6, 0.42},
        {7, {0.55f, 0.64f, 1.0f}, {0.8f, 0.89f, 1.0f}, {0.25f, 0.51f, 1.0f}, 0.6, 0.42},
    };
    editor.RefreshFromProject();
    for (const Case& c : cases) {
        a.Ceiling = 4321;
        a.Floor = -12;
        a.MistHeight = 0.37;
        a.FogDensity = 20.0 / 101;
        a.ShadowDepth = 1.9;
        a.Distance = a.Infinity = 1;
        project->Lighting.LightAltitude = 12;
        project->Lighting.LightAzimuth = 34;
        project->Lighting.PrimaryLightColor = {0, 0, 0, 1};
        editor.QuickSettingsComboChange(c.item);
        ExpectColour(a.SkyColor, c.sky[0], c.sky[1], c.sky[2]);
        ExpectColour(a.HorizonColor, c.horizon[0], c.horizon[1], c.horizon[2]);
        ExpectColour(a.DecayColor, c.decay[0], c.decay[1], c.decay[2]);
        ExpectColour(a.FogColor, 0.96f, 0.96f, 1.0f);
        ExpectColour(project->Lighting.PrimaryLightColor, 1.0f, 1.0f, 0.79f);
        EXPECT_DOUBLE_EQ(a.Ambient, 0.24) << c.item;
        EXPECT_DOUBLE_EQ(a.Diffuse, 0.92) << c.item;
        EXPECT_DOUBLE_EQ(a.Blueing, c.blueing) << c.item;
        EXPECT_DOUBLE_EQ(a.Glowing, c.glowing) << c.item;
        EXPECT_DOUBLE_EQ(a.ShadowDepth, 0.5);
        EXPECT_DOUBLE_EQ(a.Distance, 250.0);
        EXPECT_DOUBLE_EQ(a.Infinity, 10000.0);
        EXPECT_EQ(editor.GlowingLight->value(), Round(c.glowing * 100)) << c.item;
        // Untouched by every preset.
        EXPECT_DOUBLE_EQ(a.Ceiling, 4321);
        EXPECT_DOUBLE_EQ(a.Floor, -12);
        EXPECT_DOUBLE_EQ(a.MistHeight, 0.37);
        EXPECT_DOUBLE_EQ(a.FogDensity, 20.0 / 101);
        EXPECT_DOUBLE_EQ(project->Lighting.LightAltitude, 12);
        EXPECT_DOUBLE_EQ(project->Lighting.LightAzimuth, 34);
        EXPECT_EQ(editor.CeilingFloatEdit->Value(), 4321);
    }
}

TEST(AtmosphereDefaultsTest, DefaultsPresetHasTheAtmosphereColoursOfANewProject)
{
    TProject fresh, changed;
    changed.Atmosphere.SkyColor = changed.Atmosphere.HorizonColor = changed.Atmosphere.FogColor = {0, 0, 0, 0};
    changed.Atmosphere.DecayColor = {0, 0, 0, 0};
    ApplyQuickSetting(changed, 0);
    auto same = [](const TFloatColor& x, const TFloatColor& y) { return x.R == y.R && x.G == y.G && x.B == y.B && x.A == y.A; };
    EXPECT_TRUE(same(changed.Atmosphere.SkyColor, fresh.Atmosphere.SkyColor));
    EXPECT_TRUE(same(changed.Atmosphere.HorizonColor, fresh.Atmosphere.HorizonColor));
    EXPECT_TRUE(same(changed.Atmosphere.FogColor, fresh.Atmosphere.FogColor));
    EXPECT_TRUE(same(changed.Atmosphere.DecayColor, fresh.Atmosphere.DecayColor));
}

TEST(AtmosphereWindowTest, RefreshWithoutAProjectRaisesInitError)
{
    TFAtmosphere editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Atmosphere Editor"));
    EXPECT_EQ(editor.QuickSettingsCombo->count(), 4);
    EXPECT_EQ(editor.QuickSettingsCombo->currentIndex(), 0);
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
}
