#include "editors/Clouds.h"

#include "controls/EnhTrackBar.h"
#include "controls/FloatEdit.h"
#include "controls/Hemibtn.h"
#include "editors/EditorsTestSupport.h"
#include "project/Project.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QTest>

using editortest::EditorTest;

namespace {

class CloudEditorTest : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        ASSERT_FALSE(project->Clouds.Items.empty());
        editor.SetProject(&current);
    }
    TCloud& Layer() { return project->Clouds.Items[0]; }
    TFCloud editor;
};

} // namespace

TEST(CloudHeightTest, TrackBarSpansFortyToNinety)
{
    const struct {
        double height;
        int position;
    } cases[] = {{40, 0}, {90, 50}, {65.5, 26}, {66.5, 26}, {10, 0}, {120, 50}};
    for (const auto& c : cases)
        EXPECT_EQ(CloudHeightPosition(c.height), c.position) << c.height;
    EXPECT_DOUBLE_EQ(CloudHeightOf(0), 40);
    EXPECT_DOUBLE_EQ(CloudHeightOf(50), 90);
}

TEST_F(CloudEditorTest, RefreshShowsTheFirstLayer)
{
    TCloud& c = Layer();
    c.Draw = 0;
    c.Height = 40;
    c.Cover = 35;
    c.Density = 70;
    c.Size = 1230;
    c.XOffset = -12.25;
    c.YOffset = 400;
    c.CloudColor1 = {1.0f, 0.5f, 0.0f, 1.0f};
    TCloud second = c;
    second.Cover = 90;
    project->Clouds.Items.push_back(second);
    editor.RefreshFromProject();
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Cloud Editor"));
    EXPECT_FALSE(editor.DrawCloudDrawCheck->isChecked());
    EXPECT_EQ(editor.HeightTrackBar->value(), 0);
    EXPECT_EQ(editor.CloudCoverEdit->value(), 35);
    EXPECT_EQ(editor.CloudDensityEdit->value(), 70);
    EXPECT_EQ(editor.CloudSizeEdit->value(), 1230);
    EXPECT_NEAR(editor.XOffsetFloatEdit->Value(), -12.3, 1e-9);
    EXPECT_EQ(editor.YOffsetFloatEdit->Value(), 400);
    EXPECT_EQ(editor.CloudColor1Button->FaceColor(), QColor(255, 127, 0));
    // Showing the layer wrote nothing back.
    EXPECT_DOUBLE_EQ(Layer().XOffset, -12.25);
}

TEST_F(CloudEditorTest, EveryControlWritesTheLayerAtOnce)
{
    editor.RefreshFromProject();
    TCloud& c = Layer();
    editor.HeightTrackBar->setValue(50);
    EXPECT_DOUBLE_EQ(c.Height, 90);
    editor.HeightTrackBar->setValue(7);
    EXPECT_DOUBLE_EQ(c.Height, 47);
    editor.DrawCloudDrawCheck->setChecked(!editor.DrawCloudDrawCheck->isChecked());
    EXPECT_EQ(c.Draw, editor.DrawCloudDrawCheck->isChecked() ? 1 : 0);
    editor.CloudCoverEdit->setValue(85);
    editor.CloudDensityEdit->setValue(3);
    editor.CloudSizeEdit->setValue(640);
    EXPECT_EQ(c.Cover, 85);
    EXPECT_EQ(c.Density, 3);
    EXPECT_EQ(c.Size, 640);
    editor.XOffsetFloatEdit->selectAll();
    QTest::keyClicks(editor.XOffsetFloatEdit, "-25.5");
    EXPECT_DOUBLE_EQ(c.XOffset, -25.5);
    editor.YOffsetFloatEdit->selectAll();
    QTest::keyClicks(editor.YOffsetFloatEdit, "7");
    EXPECT_DOUBLE_EQ(c.YOffset, 7);
}

TEST_F(CloudEditorTest, ColourDialogStartsOnTheFaceAndWritesTheLayer)
{
    Layer().CloudColor2 = {0.2f, 0.4f, 0.6f, 0.5f};
    editor.RefreshFromProject();
    prompt.colours = {0x102030, -1};
    QTest::mouseClick(editor.CloudColor2Button, Qt::LeftButton, {}, editor.CloudColor2Button->rect().center());
    ASSERT_EQ(prompt.colourStarts.size(), 1u);
    EXPECT_EQ(prompt.colourStarts[0], 51 + 256 * 102 + 65536 * 153);
    EXPECT_FLOAT_EQ(Layer().CloudColor2.R, 0x30 / 255.0f);
    EXPECT_FLOAT_EQ(Layer().CloudColor2.B, 0x10 / 255.0f);
    EXPECT_FLOAT_EQ(Layer().CloudColor2.A, 1.0f);
    EXPECT_EQ(editor.CloudColor2Button->FaceColor(), QColor(0x30, 0x20, 0x10));
    // Cancelled: nothing changes.
    const TFloatColor before = Layer().CloudColor1;
    QTest::mouseClick(editor.CloudColor1Button, Qt::LeftButton, {}, editor.CloudColor1Button->rect().center());
    EXPECT_EQ(prompt.colourStarts.size(), 2u);
    EXPECT_FLOAT_EQ(Layer().CloudColor1.R, before.R);
}

TEST_F(CloudEditorTest, AProjectWithoutCloudLayersIsShownDisabled)
{
    project->Clouds.Items.clear();
    project->Clouds.Count = 0;
    editor.RefreshFromProject();
    EXPECT_FALSE(editor.HeightTrackBar->isEnabled());
    editor.HeightTrackBar->setValue(30);
    editor.CloudCoverEdit->setValue(10);
    EXPECT_TRUE(project->Clouds.Items.empty());
    EXPECT_TRUE(prompt.errors.empty());
    // A layer again: the controls come back.
    project->Clouds.Items.emplace_back();
    editor.RefreshFromProject();
    EXPECT_TRUE(editor.HeightTrackBar->isEnabled());
}
