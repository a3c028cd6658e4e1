#include "editors/water.h"

#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "controls/Hemisphere.h"
#include "editors/EditorsTestSupport.h"
#include "project/Project.h"

#include <QSpinBox>
#include <QTest>

using editortest::EditorTest;

namespace {

class WaterEditorTest : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        editor.SetProject(&current);
    }
    TFWater editor;
};

} // namespace

TEST(WaterWindowTest, RefreshWithoutAProjectRaisesInitError)
{
    TFWater editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Water Editor"));
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
}

TEST_F(WaterEditorTest, RefreshShowsWavesSeedsAndMaterial)
{
    TWaterBlock& w = project->Water;
    w.WaveHeight = 2.5;  // ties go to the even neighbour
    w.WaveLength = 3.5;
    w.WindDirection = 135;
    w.WaterTurbulance = 42;
    w.GPlaneSeed = 1234;
    w.GFreqSeed = 50;    // below the field's range: shown at its limit
    w.Surface.Roughness = 12;
    w.Surface.Shininess = 60;
    w.Surface.Specularity = 0.5;
    w.Surface.Emission = 3;
    w.Surface.PrimaryColor = {0.0f, 0.2f, 1.0f, 1.0f};
    editor.RefreshFromProject();
    EXPECT_EQ(editor.WaveHeightSpinEdit->value(), 2);
    EXPECT_EQ(editor.WaterWavelengthSpinEdit->value(), 4);
    EXPECT_EQ(editor.WaveDirectionHemisphere->Azimuth(), 135);
    EXPECT_EQ(editor.WaveDirectionHemisphere->Altitude(), 90);
    EXPECT_EQ(editor.WaterTurbulanceSpinEdit->value(), 42);
    EXPECT_EQ(editor.GPlaneSeed->text(), QStringLiteral("1234"));
    EXPECT_EQ(editor.GFreqSeed->text(), QStringLiteral("100"));
    EXPECT_EQ(editor.WaterRoughness->Value(), 12);
    EXPECT_EQ(editor.WaterShininess->Value(), 60);
    EXPECT_EQ(editor.WaterPrimary->FaceColor(), QColor(0, 51, 255));
    // Showing is not writing.
    EXPECT_DOUBLE_EQ(w.WaveHeight, 2.5);
    EXPECT_EQ(w.GFreqSeed, 50);
}

TEST_F(WaterEditorTest, ControlsWriteTheWaterAtOnce)
{
    editor.RefreshFromProject();
    TWaterBlock& w = project->Water;
    editor.WaveHeightSpinEdit->setValue(17);
    editor.WaterWavelengthSpinEdit->setValue(250);
    editor.WaterTurbulanceSpinEdit->setValue(9);
    EXPECT_DOUBLE_EQ(w.WaveHeight, 17);
    EXPECT_DOUBLE_EQ(w.WaveLength, 250);
    EXPECT_EQ(w.WaterTurbulance, 9);
    struct Case {
        TFloatEdit* edit;
        const char* typed;
        std::function<double()> field;
        double expected;
    } cases[] = {
        {editor.GPlaneSeed, "777", [&] { return double(w.GPlaneSeed); }, 777},
        {editor.GPlaneSeed, "99999", [&] { return double(w.GPlaneSeed); }, 32767}, // limited to the range
        {editor.GFreqSeed, "5", [&] { return double(w.GFreqSeed); }, 100},
        {editor.GFreqSeed, "4096", [&] { return double(w.GFreqSeed); }, 4096},
        {editor.WaterRoughness, "250", [&] { return w.Surface.Roughness; }, 250},
        {editor.WaterShininess, "35", [&] { return double(w.Surface.Shininess); }, 35},
        {editor.WaterSpecularity, "80", [&] { return w.Surface.Specularity; }, 80},
        {editor.WaterEmission, "4", [&] { return w.Surface.Emission; }, 4},
    };
    for (const Case& c : cases) {
        c.edit->selectAll();
        QTest::keyClicks(c.edit, c.typed);
        EXPECT_DOUBLE_EQ(c.field(), c.expected) << c.typed;
    }
}

TEST_F(WaterEditorTest, OnlyThePickersAzimuthCounts)
{
    editor.RefreshFromProject();
    THemisphere* picker = editor.WaveDirectionHemisphere;
    // A press near the centre would pick a low altitude; it snaps back to the rim.
    const THemisphereGeometry g = picker->Geometry();
    QTest::mousePress(picker, Qt::LeftButton, {}, QPoint(g.CentreX + g.PickRadius / 4, g.CentreY));
    QTest::mouseRelease(picker, Qt::LeftButton, {}, QPoint(g.CentreX + g.PickRadius / 4, g.CentreY));
    EXPECT_EQ(picker->Altitude(), 90);
    EXPECT_EQ(project->Water.WindDirection, 90);
    picker->SetAltitude(10);
    EXPECT_EQ(picker->Altitude(), 90);
    picker->SetAzimuth(270);
    EXPECT_EQ(project->Water.WindDirection, 270);
}

TEST_F(WaterEditorTest, ColourButtonsWriteTheMaterial)
{
    editor.RefreshFromProject();
    prompt.colours = {0x404040, 0x0000FF};
    QTest::mouseClick(editor.WaterPrimary, Qt::LeftButton, {}, editor.WaterPrimary->rect().center());
    QTest::mouseClick(editor.WaterSecondary, Qt::LeftButton, {}, editor.WaterSecondary->rect().center());
    ASSERT_EQ(prompt.colourStarts.size(), 2u);
    const TSurfaceMaterial& m = project->Water.Surface;
    EXPECT_FLOAT_EQ(m.PrimaryColor.G, 0x40 / 255.0f);
    EXPECT_FLOAT_EQ(m.SecondaryColor.R, 1.0f);
    EXPECT_FLOAT_EQ(m.SecondaryColor.B, 0.0f);
    EXPECT_FLOAT_EQ(m.SecondaryColor.A, 1.0f);
    EXPECT_EQ(editor.WaterSecondary->FaceColor(), QColor(255, 0, 0));
}
