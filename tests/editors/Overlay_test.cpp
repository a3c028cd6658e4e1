#include "editors/Overlay.h"

#include "controls/Hemibtn.h"
#include "editors/EditorFilePrompt.h"
#include "project/Project.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using editortest::FileEditorTest;

namespace {

class OverlayEditorTest : public FileEditorTest {
protected:
    void SetUp() override
    {
        FileEditorTest::SetUp();
        project->Overlays.Items.clear();
        project->Overlays.Count = 0;
        project->Overlays.Directory = dir.path().string() + "/Overlays/";
        editor.SetProject(&current);
    }
    TOverlayImage Image(const std::string& name, bool draw)
    {
        TOverlayImage i;
        i.Name = name;
        i.FileName = name + ".bmp";
        i.DrawOverlay = draw ? 1 : 0;
        i.Transparency = 0.25;
        i.TransparencyMode = 0;
        i.TransparencyColor = 0x3060FF;
        return i;
    }
    void ClickRow(int row)
    {
        QListWidget* list = editor.ImagesListBox;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    TFOverlay editor;
};

} // namespace

TEST(OverlayTransparencyTest, SpinShowsTheOpacityInPercent)
{
    const struct {
        double field;
        int shown;
    } cases[] = {{0.0, 100}, {1.0, 0}, {0.25, 75}, {0.125, 88}, {0.134, 87}, {-0.5, 100}, {3.0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(TransparencyShown(c.field), c.shown) << c.field;
    EXPECT_DOUBLE_EQ(TransparencyOf(100), 0.0);
    EXPECT_DOUBLE_EQ(TransparencyOf(0), 1.0);
    EXPECT_DOUBLE_EQ(TransparencyOf(40), 0.6);
}

TEST(OverlayWindowTest, RefreshWithoutAProjectRaisesInitError)
{
    TFOverlay editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Overlay Parameters Editor"));
    EXPECT_EQ(editor.SelectedImage, -1);
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
}

TEST_F(OverlayEditorTest, AddOnAnEmptyProjectMakesImageZeroFullyOpaque)
{
    editor.show();
    editor.RefreshFromProject();
    EXPECT_EQ(editor.ImagesListBox->count(), 0);
    EXPECT_FALSE(editor.FileButton->isEnabled());

    QTest::mouseClick(editor.NewImageButton, Qt::LeftButton);
    ASSERT_EQ(project->Overlays.Items.size(), 1u);
    EXPECT_EQ(project->Overlays.Count, 1);
    const TOverlayImage& i = project->Overlays.Items[0];
    EXPECT_EQ(i.Name, "Image 0");
    EXPECT_TRUE(i.FileName.empty());
    EXPECT_EQ(i.ImageSize, 1024);
    EXPECT_EQ(i.DrawOverlay, 1);
    EXPECT_EQ(i.TransparencyColor, 0xFFFFFF);
    EXPECT_DOUBLE_EQ(i.Transparency, 0.0);
    EXPECT_EQ(i.TransparencyMode, 1);
    EXPECT_EQ(i.Extra, -1);
    EXPECT_EQ(i.TerrainLayerID, -1); // belongs to no terrain layer
    EXPECT_EQ(i.Deleted, 0);
    EXPECT_EQ(editor.SelectedImage, 0);
    EXPECT_TRUE(editor.FileButton->isEnabled());
    EXPECT_EQ(editor.TransparencyEdit->value(), 100);
    EXPECT_EQ(editor.TransparencyModeCombo->currentText(), QStringLiteral("Whole Layer"));
    EXPECT_EQ(editor.NameEdit->text(), QStringLiteral("Image 0"));
    EXPECT_EQ(editor.ImagesListBox->item(0)->checkState(), Qt::Checked);
    // Showing the new image wrote nothing back.
    EXPECT_DOUBLE_EQ(i.Transparency, 0.0);

    QTest::mouseClick(editor.NewImageButton, Qt::LeftButton);
    EXPECT_EQ(project->Overlays.Items[1].Name, "Image 1");
    EXPECT_EQ(editor.SelectedImage, 1);
}

TEST_F(OverlayEditorTest, EveryImageIsListedAndTheSelectedOneShown)
{
    TOverlayImage layerImage = Image("Layer", true);
    layerImage.TerrainLayerID = 4;
    TOverlayImage deleted = Image("Gone", false);
    deleted.Deleted = 1;
    project->Overlays.Items = {Image("Roads", true), layerImage, deleted};
    project->Overlays.Count = 3;
    editor.show();
    editor.RefreshFromProject();
    ASSERT_EQ(editor.ImagesListBox->count(), 3);
    EXPECT_EQ(editor.ImagesListBox->item(1)->text(), QStringLiteral("Layer"));
    EXPECT_EQ(editor.ImagesListBox->item(2)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(editor.FileButton->isEnabled());

    ClickRow(1);
    EXPECT_EQ(editor.SelectedImage, 1);
    EXPECT_EQ(editor.FileEdit->text(), QStringLiteral("Layer.bmp"));
    EXPECT_EQ(editor.NameEdit->text(), QStringLiteral("Layer"));
    EXPECT_EQ(editor.TransparencyEdit->value(), 75);
    EXPECT_EQ(editor.TransparencyModeCombo->currentIndex(), 0);
    EXPECT_EQ(editor.TransparencyButton->FaceColor(), QColor(0xFF, 0x60, 0x30));
    EXPECT_DOUBLE_EQ(project->Overlays.Items[1].Transparency, 0.25);

    // The selection survives a refresh.
    editor.RefreshFromProject();
    EXPECT_EQ(editor.NameEdit->text(), QStringLiteral("Layer"));
}

TEST_F(OverlayEditorTest, UncheckingARowWritesDrawOverlayOfThatImage)
{
    project->Overlays.Items = {Image("A", true), Image("B", true)};
    project->Overlays.Count = 2;
    editor.show();
    editor.RefreshFromProject();
    editor.ImagesListBox->item(1)->setCheckState(Qt::Unchecked);
    ClickRow(1);
    EXPECT_EQ(project->Overlays.Items[1].DrawOverlay, 0);
    EXPECT_EQ(project->Overlays.Items[0].DrawOverlay, 1);
    editor.ImagesListBox->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(project->Overlays.Items[0].DrawOverlay, 0);
}

TEST_F(OverlayEditorTest, ControlsWriteTheSelectedImage)
{
    project->Overlays.Items = {Image("A", true), Image("B", true)};
    project->Overlays.Count = 2;
    editor.show();
    editor.RefreshFromProject();
    ClickRow(1);
    TOverlayImage& b = project->Overlays.Items[1];
    editor.NameEdit->selectAll();
    QTest::keyClicks(editor.NameEdit, "Fields");
    EXPECT_EQ(b.Name, "Fields");
    EXPECT_EQ(editor.ImagesListBox->item(1)->text(), QStringLiteral("Fields"));
    editor.TransparencyEdit->setValue(40);
    EXPECT_DOUBLE_EQ(b.Transparency, 0.6);
    editor.TransparencyModeCombo->setCurrentIndex(1);
    EXPECT_EQ(b.TransparencyMode, 1);
    files.colours = {0x123456};
    QTest::mouseClick(editor.TransparencyButton, Qt::LeftButton, {}, editor.TransparencyButton->rect().center());
    ASSERT_EQ(files.colourStarts.size(), 1u);
    EXPECT_EQ(files.colourStarts[0], 0x3060FF);
    EXPECT_EQ(b.TransparencyColor, 0x123456);
    EXPECT_EQ(project->Overlays.Items[0].Name, "A");
    EXPECT_DOUBLE_EQ(project->Overlays.Items[0].Transparency, 0.25);
}

TEST_F(OverlayEditorTest, FileButtonAcceptsOnlyBitmapsOfTheOverlayFolder)
{
    project->Overlays.Items = {Image("A", true)};
    project->Overlays.Count = 1;
    editor.show();
    editor.RefreshFromProject();
    ClickRow(0);
    std::string upper = project->Overlays.Directory;
    for (char& ch : upper)
        ch = char(std::toupper(static_cast<unsigned char>(ch)));
    files.openNames = {upper + "roads.bmp", dir.path().string() + "/elsewhere.bmp"};
    QTest::mouseClick(editor.FileButton, Qt::LeftButton);
    EXPECT_EQ(files.openStarts[0], project->Overlays.Directory);
    EXPECT_EQ(project->Overlays.Items[0].FileName, "roads.bmp");
    EXPECT_EQ(editor.FileEdit->text(), QStringLiteral("roads.bmp"));
    QTest::mouseClick(editor.FileButton, Qt::LeftButton);
    EXPECT_EQ(project->Overlays.Items[0].FileName, "roads.bmp");
    ASSERT_EQ(files.errors.size(), 1u);
    EXPECT_EQ(files.errors[0], "E0114 File path does not match project's Overlay Directory");
}

TEST_F(OverlayEditorTest, ASelectionBeyondANewProjectsImagesEditsNothing)
{
    project->Overlays.Items = {Image("A", true), Image("B", true), Image("C", true)};
    project->Overlays.Count = 3;
    editor.show();
    editor.RefreshFromProject();
    ClickRow(2);
    ASSERT_EQ(editor.SelectedImage, 2);

    TProject other;
    other.Overlays.Items = {Image("Only", true)};
    other.Overlays.Count = 1;
    other.Overlays.Directory = project->Overlays.Directory;
    TProject* otherVar = &other;
    editor.SetProject(&otherVar);
    editor.RefreshFromProject();
    EXPECT_EQ(editor.SelectedImage, 2);
    editor.TransparencyEdit->setValue(10);
    QTest::keyClicks(editor.NameEdit, "x");
    files.openNames = {other.Overlays.Directory + "x.bmp"};
    QTest::mouseClick(editor.FileButton, Qt::LeftButton);
    files.colours = {0};
    editor.TransparencyButtonClick();
    EXPECT_EQ(other.Overlays.Items.size(), 1u);
    EXPECT_EQ(other.Overlays.Items[0].Name, "Only");
    EXPECT_DOUBLE_EQ(other.Overlays.Items[0].Transparency, 0.25);
    EXPECT_EQ(other.Overlays.Items[0].FileName, "Only.bmp");
    EXPECT_TRUE(files.openStarts.empty());
    EXPECT_TRUE(files.colourStarts.empty());
    EXPECT_TRUE(files.errors.empty());
}
