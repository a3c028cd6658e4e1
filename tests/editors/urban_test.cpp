#include "editors/urban.h"

#include "controls/FloatEdit.h"
#include "editors/EditorFilePrompt.h"
#include "project/Project.h"

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <fstream>

using editortest::FileEditorTest;

namespace {

class UrbanEditorTest : public FileEditorTest {
protected:
    void SetUp() override
    {
        FileEditorTest::SetUp();
        project->Urban.Items.clear();
        project->Urban.Count = 0;
        project->Urban.NextID = 5;
        models = dir.path().string() + "/Models/";
        QDir().mkpath(QString::fromStdString(models));
        project->Models.Directory = models;
        editor.SetProject(&current);
    }
    void Bitmap(const std::string& name, int w, int h)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::red);
        ASSERT_TRUE(image.save(QString::fromStdString(models + name), "BMP"));
    }
    TUrbanPlanDef& OnePlanSelected()
    {
        AddUrbanPlan(project->Urban);
        editor.RefreshFromProject();
        editor.PlanListBox->setCurrentRow(0);
        return project->Urban.Items[0];
    }
    std::string models;
    TFUrbanPlan editor;
};

} // namespace

TEST(UrbanWindowTest, RefreshWithoutAProjectRaisesInitError)
{
    TFUrbanPlan editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Urban Plans"));
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
}

TEST_F(UrbanEditorTest, NewAppendsAnUnassignedSuburbanPlanAndTellsTheLayerViews)
{
    editor.RefreshFromProject();
    EXPECT_EQ(editor.PlanListBox->count(), 0);
    EXPECT_FALSE(editor.HeightFileButton->isEnabled());
    EXPECT_FALSE(editor.RoofColorFileButton->isEnabled());

    QTest::mouseClick(editor.NewButton, Qt::LeftButton);
    QTest::mouseClick(editor.NewButton, Qt::LeftButton);
    const TUrbanBlock& u = project->Urban;
    ASSERT_EQ(u.Items.size(), 2u);
    EXPECT_EQ(u.Count, 2);
    EXPECT_EQ(u.Items[0].ID, 5);
    EXPECT_EQ(u.Items[1].ID, 6);
    EXPECT_EQ(u.NextID, 7);
    EXPECT_EQ(redraws.count, 2);
    EXPECT_EQ(editor.PlanListBox->currentRow(), -1);
    EXPECT_TRUE(editor.WallColorFileButton->isEnabled());
    const TUrbanPlanDef& p = u.Items[1];
    EXPECT_EQ(p.PlanName, "Unassigned");
    EXPECT_DOUBLE_EQ(p.PlanXSize, 1000.0);
    EXPECT_DOUBLE_EQ(p.PlanYSize, 1000.0);
    EXPECT_DOUBLE_EQ(p.PlanHeightSize, 100.0);
    EXPECT_EQ(p.PlanZone, 0);
    EXPECT_TRUE(p.PlanHeightSource.empty() && p.PlanWallColorSource.empty() && p.PlanRoofColorSource.empty());

    // A stale NextID never gives an ID twice.
    project->Urban.NextID = 6;
    AddUrbanPlan(project->Urban);
    EXPECT_EQ(u.Items[2].ID, 7);
}

TEST_F(UrbanEditorTest, ThePlanIsShownAndEditsWriteIt)
{
    TUrbanPlanDef& p = OnePlanSelected();
    EXPECT_EQ(editor.PlanNameEdit->text(), QStringLiteral("Unassigned"));
    EXPECT_DOUBLE_EQ(editor.PlanXSizeEdit->Value(), 1000.0);
    EXPECT_DOUBLE_EQ(editor.PlanHeightSizeEdit->Value(), 100.0);
    EXPECT_EQ(editor.PlanZoneComboBox->currentText(), QStringLiteral("Suburban"));
    // Every plan has no previews, and showing one raised nothing.
    EXPECT_TRUE(editor.PlanHeightImage->pixmap().isNull());
    EXPECT_TRUE(files.errors.empty());
    EXPECT_EQ(redraws.count, 0);

    editor.PlanNameEdit->selectAll();
    QTest::keyClicks(editor.PlanNameEdit, "Town");
    EXPECT_EQ(p.PlanName, "Town");
    EXPECT_EQ(editor.PlanListBox->item(0)->text(), QStringLiteral("Town"));
    EXPECT_EQ(redraws.count, 4);

    editor.PlanXSizeEdit->selectAll();
    QTest::keyClicks(editor.PlanXSizeEdit, "250.5");
    editor.PlanYSizeEdit->selectAll();
    QTest::keyClicks(editor.PlanYSizeEdit, "75");
    editor.PlanHeightSizeEdit->selectAll();
    QTest::keyClicks(editor.PlanHeightSizeEdit, "12");
    editor.PlanZoneComboBox->setCurrentIndex(2);
    EXPECT_DOUBLE_EQ(p.PlanXSize, 250.5);
    EXPECT_DOUBLE_EQ(p.PlanYSize, 75.0);
    EXPECT_DOUBLE_EQ(p.PlanHeightSize, 12.0);
    EXPECT_EQ(p.PlanZone, 2);
    EXPECT_EQ(redraws.count, 4); // sizes and zone send nothing
}

TEST_F(UrbanEditorTest, AZoneTheListDoesNotKnowIsNotOverwrittenByShowingIt)
{
    AddUrbanPlan(project->Urban);
    project->Urban.Items[0].PlanZone = 9;
    editor.RefreshFromProject();
    editor.PlanListBox->setCurrentRow(0);
    EXPECT_EQ(editor.PlanZoneComboBox->currentIndex(), -1);
    EXPECT_EQ(project->Urban.Items[0].PlanZone, 9);
}

TEST_F(UrbanEditorTest, FileButtonsTakeBitmapsOfTheModelsFolderAndShowThem)
{
    TUrbanPlanDef& p = OnePlanSelected();
    Bitmap("height.bmp", 8, 4);
    Bitmap("roof.bmp", 2, 2);
    files.openNames = {models + "height.bmp", models + "roof.bmp", dir.path().string() + "/wall.bmp"};
    QTest::mouseClick(editor.HeightFileButton, Qt::LeftButton);
    QTest::mouseClick(editor.RoofColorFileButton, Qt::LeftButton);
    QTest::mouseClick(editor.WallColorFileButton, Qt::LeftButton);
    EXPECT_EQ(files.openStarts[0], models);
    EXPECT_EQ(p.PlanHeightSource, "height.bmp");
    EXPECT_EQ(p.PlanRoofColorSource, "roof.bmp");
    EXPECT_EQ(editor.PlanHeightSourceEdit->text(), QStringLiteral("height.bmp"));
    EXPECT_EQ(editor.PlanHeightImage->pixmap().size(), QSize(8, 4));
    EXPECT_FALSE(editor.PlanRoofColorImage->pixmap().isNull());
    // Outside the models folder: the one E0102 text, nothing changes.
    EXPECT_TRUE(p.PlanWallColorSource.empty());
    ASSERT_EQ(files.errors.size(), 1u);
    EXPECT_EQ(files.errors[0], "E0102 File path does not match project's Actor Directory");
    EXPECT_TRUE(editor.PlanWallColorImage->pixmap().isNull());
}

TEST_F(UrbanEditorTest, PicturesAreFoundWhenTheModelsFolderHasNoTrailingSeparator)
{
    Bitmap("wall.bmp", 3, 5);
    project->Models.Directory = models.substr(0, models.size() - 1); // typed without the '/'
    AddUrbanPlan(project->Urban);
    project->Urban.Items[0].PlanWallColorSource = "wall.bmp";
    editor.RefreshFromProject();
    editor.PlanListBox->setCurrentRow(0);
    EXPECT_TRUE(files.errors.empty());
    EXPECT_EQ(editor.PlanWallColorImage->pixmap().size(), QSize(3, 5));
}

TEST_F(UrbanEditorTest, APictureThatCannotBeLoadedIsReportedAndTheRestIsShown)
{
    Bitmap("wall.bmp", 3, 3);
    std::ofstream(models + "broken.bmp") << "not a bitmap";
    AddUrbanPlan(project->Urban);
    AddUrbanPlan(project->Urban);
    TUrbanPlanDef& p = project->Urban.Items[0];
    p.PlanHeightSource = "broken.bmp";
    p.PlanWallColorSource = "wall.bmp";
    p.PlanRoofColorSource = "gone.bmp";
    editor.RefreshFromProject();
    editor.PlanListBox->setCurrentRow(0);
    EXPECT_EQ(files.errors.size(), 2u);
    EXPECT_TRUE(editor.PlanHeightImage->pixmap().isNull());
    EXPECT_EQ(editor.PlanWallColorImage->pixmap().size(), QSize(3, 3));
    EXPECT_EQ(editor.PlanRoofColorSourceEdit->text(), QStringLiteral("gone.bmp"));
    // The next plan has no pictures: none of the first plan's stays on show.
    files.errors.clear();
    editor.PlanListBox->setCurrentRow(1);
    EXPECT_TRUE(editor.PlanWallColorImage->pixmap().isNull());
    EXPECT_TRUE(files.errors.empty());
}
