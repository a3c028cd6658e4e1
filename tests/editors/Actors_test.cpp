#include "editors/Actors.h"

#include "controls/EnhTrackBar.h"
#include "controls/Hemibtn.h"
#include "editors/EditorFilePrompt.h"
#include "project/IniFile.h"
#include "project/Project.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <fstream>

using editortest::FileEditorTest;

namespace {

class ActorsEditorTest : public FileEditorTest {
protected:
    void SetUp() override
    {
        FileEditorTest::SetUp();
        project->Actors.Items.clear();
        project->Actors.Count = 0;
        project->Actors.NextID = 1;
        project->Actors.Directory = dir.path().string() + "/Plants/";
        editor.SetProject(&current);
    }
    // Two plant types, the second one selected.
    TActor& TwoAndSelectSecond()
    {
        AddPlantType(project->Actors);
        AddPlantType(project->Actors);
        TActor& a = project->Actors.Items[1];
        a.Name = "Birch";
        a.FarActorSource = "birchf.ls";
        a.MidActorSource = "birchm.ls";
        a.NearActorSource = "birchn.ls";
        a.HueVariability = 0.239;
        a.BrightnessVariability = 1.0;
        a.Colors[7] = {1.0f, 0.5f, 0.0f};
        editor.RefreshFromProject();
        editor.ActorListBox->setCurrentRow(1);
        return a;
    }
    TFActors editor;
};

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

} // namespace

TEST(ActorsWindowTest, RefreshWithoutAProjectRaisesInitError)
{
    TFActors editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Vegetation Editor"));
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
    EXPECT_FALSE(editor.DeleteButton->isVisible());
}

TEST_F(ActorsEditorTest, NewProjectHasNoPlantTypesAndNewAppendsUnassignedWithConsecutiveIDs)
{
    editor.RefreshFromProject();
    EXPECT_EQ(editor.ActorListBox->count(), 0);
    EXPECT_FALSE(editor.FarFileButton->isEnabled());
    EXPECT_FALSE(editor.NearFileButton->isEnabled());

    QTest::mouseClick(editor.NewButton, Qt::LeftButton);
    QTest::mouseClick(editor.NewButton, Qt::LeftButton);
    const TActorBlock& b = project->Actors;
    ASSERT_EQ(b.Items.size(), 2u);
    EXPECT_EQ(b.Count, 2);
    EXPECT_EQ(b.Items[0].ID, 1);
    EXPECT_EQ(b.Items[1].ID, 2);
    EXPECT_EQ(b.NextID, 3);
    EXPECT_EQ(redraws.count, 2);
    EXPECT_EQ(editor.ActorListBox->count(), 2);
    EXPECT_EQ(editor.ActorListBox->item(1)->text(), QStringLiteral("Unassigned"));
    EXPECT_EQ(editor.ActorListBox->currentRow(), -1); // the selection does not move
    EXPECT_TRUE(editor.MidFileButton->isEnabled());

    const TActor& a = b.Items[1];
    EXPECT_EQ(a.Name, "Unassigned");
    EXPECT_TRUE(a.FarActorSource.empty() && a.MidActorSource.empty() && a.NearActorSource.empty());
    EXPECT_DOUBLE_EQ(a.HueVariability, 0.2);
    EXPECT_DOUBLE_EQ(a.BrightnessVariability, 0.2);
    const struct {
        int n;
        float r, g, b;
    } colours[] = {{0, 0.5f, 0.5f, 0.5f}, {2, 0.8f, 0.4f, 0.4f}, {7, 0.8f, 0.4f, 0.8f},
                   {11, 0.5f, 0.2f, 0.5f}, {12, 0.6f, 0.2f, 0.2f}, {15, 0.9f, 0.9f, 0.9f}};
    for (const auto& c : colours) {
        EXPECT_FLOAT_EQ(a.Colors[c.n].R, c.r) << c.n;
        EXPECT_FLOAT_EQ(a.Colors[c.n].G, c.g) << c.n;
        EXPECT_FLOAT_EQ(a.Colors[c.n].B, c.b) << c.n;
    }
}

TEST(PlantTypeTest, NewIDsNeverRepeatOnesInUse)
{
    // A damaged file can leave NextID at or below an ID already given.
    TActorBlock b;
    b.NextID = 3;
    b.Items.resize(2);
    b.Items[0].ID = 3;
    b.Items[1].ID = 7;
    b.Count = 2;
    AddPlantType(b);
    EXPECT_EQ(b.Items.back().ID, 8);
    EXPECT_EQ(b.NextID, 9);
    EXPECT_EQ(b.Count, 3);
}

TEST_F(ActorsEditorTest, TheSelectedRowIsShownAndRefreshWritesNothingBack)
{
    TwoAndSelectSecond();
    EXPECT_EQ(editor.ActorNameEdit->text(), QStringLiteral("Birch"));
    EXPECT_EQ(editor.FarActorSourceEdit->text(), QStringLiteral("birchf.ls"));
    EXPECT_EQ(editor.MidActorSourceEdit->text(), QStringLiteral("birchm.ls"));
    EXPECT_EQ(editor.NearActorSourceEdit->text(), QStringLiteral("birchn.ls"));
    EXPECT_EQ(editor.HueVariabilityTrack->value(), 23); // Trunc, not Round
    EXPECT_EQ(editor.BrightnessVariabilityTrack->value(), 100);
    EXPECT_EQ(editor.Colors[7]->FaceColor(), QColor(255, 127, 0));
    EXPECT_EQ(editor.Colors[7]->objectName(), QStringLiteral("Color07"));
    // Showing it changed nothing.
    EXPECT_DOUBLE_EQ(project->Actors.Items[1].HueVariability, 0.239);
    EXPECT_EQ(redraws.count, 0);

    // A refresh keeps the row; a project without it shows nothing of the old one.
    editor.RefreshFromProject();
    EXPECT_EQ(editor.ActorNameEdit->text(), QStringLiteral("Birch"));
    TProject other;
    other.Actors.Items.clear();
    TProject* otherVar = &other;
    editor.SetProject(&otherVar);
    editor.RefreshFromProject();
    EXPECT_EQ(editor.ActorListBox->count(), 0);
    EXPECT_TRUE(editor.ActorNameEdit->text().isEmpty());
    EXPECT_TRUE(editor.FarActorSourceEdit->text().isEmpty());
}

TEST_F(ActorsEditorTest, NameAndTrackBarsWriteTheSelectedPlantType)
{
    TActor& a = TwoAndSelectSecond();
    editor.ActorNameEdit->selectAll();
    QTest::keyClicks(editor.ActorNameEdit, "Oak");
    EXPECT_EQ(a.Name, "Oak");
    EXPECT_EQ(editor.ActorListBox->item(1)->text(), QStringLiteral("Oak"));
    EXPECT_EQ(project->Actors.Items[0].Name, "Unassigned");
    EXPECT_EQ(redraws.count, 3); // one per character typed
    editor.HueVariabilityTrack->setValue(55);
    editor.BrightnessVariabilityTrack->setValue(0);
    EXPECT_DOUBLE_EQ(a.HueVariability, 0.55);
    EXPECT_DOUBLE_EQ(a.BrightnessVariability, 0.0);
    EXPECT_EQ(redraws.count, 3);
}

TEST_F(ActorsEditorTest, HandlersWithoutASelectedRowChangeNothing)
{
    AddPlantType(project->Actors);
    editor.RefreshFromProject();
    ASSERT_EQ(editor.ActorListBox->currentRow(), -1);
    files.openNames = {project->Actors.Directory + "x.ls"};
    QTest::mouseClick(editor.FarFileButton, Qt::LeftButton);
    editor.HueVariabilityTrack->setValue(90);
    QTest::keyClicks(editor.ActorNameEdit, "Z");
    editor.LoadColorsButtonClick();
    editor.SaveColorsButtonClick();
    EXPECT_TRUE(files.openStarts.empty());
    EXPECT_EQ(project->Actors.Items[0].Name, "Unassigned");
    EXPECT_TRUE(project->Actors.Items[0].FarActorSource.empty());
    EXPECT_DOUBLE_EQ(project->Actors.Items[0].HueVariability, 0.2);
    EXPECT_TRUE(files.errors.empty());
}

TEST_F(ActorsEditorTest, FileButtonsAcceptOnlyFilesOfThePlantsFolder)
{
    TActor& a = TwoAndSelectSecond();
    const std::string folder = project->Actors.Directory; // ends in "/Plants/"
    std::string upper = folder;
    for (char& ch : upper)
        ch = ch == '/' ? '\\' : char(std::toupper(static_cast<unsigned char>(ch)));
    const struct {
        std::string chosen;
        bool accepted;
        std::string stored;
    } cases[] = {
        {folder + "pine.ls", true, "pine.ls"},
        {upper + "Fir.LS", true, "Fir.LS"},                  // case and separators do not matter
        {folder + "sub/pine.ls", false, ""},                 // a sub-folder is outside
        {dir.path().string() + "/pine.ls", false, ""},       // the parent folder
        {folder.substr(0, folder.size() - 1) + "2/a.ls", false, ""}, // a folder sharing the prefix
    };
    for (const auto& c : cases) {
        a.NearActorSource = "before.ls";
        files.errors.clear();
        files.openNames = {c.chosen};
        QTest::mouseClick(editor.NearFileButton, Qt::LeftButton);
        if (c.accepted) {
            EXPECT_EQ(a.NearActorSource, c.stored) << c.chosen;
            EXPECT_EQ(editor.NearActorSourceEdit->text().toStdString(), c.stored);
            EXPECT_TRUE(files.errors.empty());
        } else {
            EXPECT_EQ(a.NearActorSource, "before.ls") << c.chosen;
            ASSERT_EQ(files.errors.size(), 1u) << c.chosen;
            EXPECT_EQ(files.errors[0], "E0102 File path does not match project's Actor Directory");
        }
    }
    // The dialog starts on the folder and the current file; cancelling changes nothing.
    files.openStarts.clear();
    QTest::mouseClick(editor.FarFileButton, Qt::LeftButton);
    ASSERT_EQ(files.openStarts.size(), 1u);
    EXPECT_EQ(files.openStarts[0], folder + "birchf.ls");
    EXPECT_EQ(a.FarActorSource, "birchf.ls");

    // A plants folder typed without its trailing separator: the same start, the same files taken.
    project->Actors.Directory = folder.substr(0, folder.size() - 1);
    files.openStarts.clear();
    files.errors.clear();
    files.openNames = {folder + "oak.ls"};
    QTest::mouseClick(editor.FarFileButton, Qt::LeftButton);
    ASSERT_EQ(files.openStarts.size(), 1u);
    EXPECT_EQ(files.openStarts[0], folder + "birchf.ls");
    EXPECT_EQ(a.FarActorSource, "oak.ls");
    EXPECT_TRUE(files.errors.empty());
}

TEST_F(ActorsEditorTest, ColourButtonsWriteTheColourOfTheirNumber)
{
    TActor& a = TwoAndSelectSecond();
    prompt.colours.clear();
    files.colours = {0x0000FF, 0x00FF00};
    QTest::mouseClick(editor.Colors[12], Qt::LeftButton, {}, editor.Colors[12]->rect().center());
    QTest::mouseClick(editor.Colors[0], Qt::LeftButton, {}, editor.Colors[0]->rect().center());
    ASSERT_EQ(files.colourStarts.size(), 2u);
    EXPECT_EQ(files.colourStarts[0], 153 + 256 * 51 + 65536 * 51); // 0.6, 0.2, 0.2
    EXPECT_FLOAT_EQ(a.Colors[12].R, 1.0f);
    EXPECT_FLOAT_EQ(a.Colors[12].G, 0.0f);
    EXPECT_FLOAT_EQ(a.Colors[0].G, 1.0f);
    EXPECT_FLOAT_EQ(a.Colors[0].R, 0.0f);
    EXPECT_EQ(editor.Colors[12]->FaceColor(), QColor(255, 0, 0));
    EXPECT_FLOAT_EQ(project->Actors.Items[0].Colors[12].R, 0.6f);
}

TEST_F(ActorsEditorTest, ColourFileRoundTripsToTheLowerMultipleOf255)
{
    TActor& a = TwoAndSelectSecond();
    a.Colors[3] = {0.999f, 0.5f, 1.0f / 255.0f + 0.001f};
    a.Colors[15] = {0.0f, 1.0f, 0.3f};
    const std::string file = Path("colours.ini");
    files.saveNames = {file};
    QTest::mouseClick(editor.SaveColorsButton, Qt::LeftButton);
    ASSERT_TRUE(files.errors.empty()) << files.errors[0];

    TIniFile ini;
    ASSERT_TRUE(ini.LoadFromFile(file));
    EXPECT_EQ(ini.ReadInteger("Plant Colors", "Color3", -1), 254 + 256 * 127 + 65536 * 1);
    EXPECT_EQ(ini.ReadInteger("Plant Colors", "Color15", -1), 255 * 256 + 65536 * 76);

    TActor& first = project->Actors.Items[0];
    editor.ActorListBox->setCurrentRow(0);
    files.openNames = {file};
    QTest::mouseClick(editor.LoadColorsButton, Qt::LeftButton);
    ASSERT_TRUE(files.errors.empty()) << files.errors[0];
    for (int n = 0; n < 16; ++n) {
        const float in[3] = {a.Colors[n].R, a.Colors[n].G, a.Colors[n].B};
        const float out[3] = {first.Colors[n].R, first.Colors[n].G, first.Colors[n].B};
        for (int k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(out[k], std::trunc(in[k] * 255.0f) / 255.0f) << n << " " << k;
    }
    EXPECT_EQ(editor.Colors[3]->FaceColor(), QColor(254, 127, 1)); // shown at once
}

TEST_F(ActorsEditorTest, AnUnusableColourFileChangesNoColour)
{
    TActor& a = TwoAndSelectSecond();
    std::string keys;
    for (int n = 0; n < 16; ++n)
        keys += "Color" + std::to_string(n) + "=" + (n == 5 ? "-1" : "255") + "\n";
    WriteText(Path("negative.ini"), "[Plant Colors]\n" + keys);
    WriteText(Path("other.ini"), "[Colours]\nColor0=255\n");
    WriteText(Path("toolarge.ini"), "[Plant Colors]\nColor9=16777216\n");
    const std::string cases[] = {Path("negative.ini"), Path("other.ini"), Path("toolarge.ini"), Path("missing.ini")};
    for (const std::string& file : cases) {
        files.errors.clear();
        files.openNames = {file};
        QTest::mouseClick(editor.LoadColorsButton, Qt::LeftButton);
        EXPECT_EQ(files.errors.size(), 1u) << file;
        EXPECT_FLOAT_EQ(a.Colors[0].R, 0.5f) << file; // nothing before the bad key was applied
        EXPECT_FLOAT_EQ(a.Colors[7].G, 0.5f) << file;
    }
    // A missing key reads as black; the others load.
    WriteText(Path("partial.ini"), "[Plant Colors]\nColor0=255\n");
    files.errors.clear();
    files.openNames = {Path("partial.ini")};
    QTest::mouseClick(editor.LoadColorsButton, Qt::LeftButton);
    EXPECT_TRUE(files.errors.empty());
    EXPECT_FLOAT_EQ(a.Colors[0].R, 1.0f);
    EXPECT_FLOAT_EQ(a.Colors[7].R, 0.0f);
    EXPECT_FLOAT_EQ(a.Colors[7].G, 0.0f);
}

TEST_F(ActorsEditorTest, SavingColoursAddsTheExtensionAndReportsAFileThatCannotBeWritten)
{
    TwoAndSelectSecond();
    files.saveNames = {Path("plain"), Path("no/such/folder/c.ini")};
    editor.SaveColorsButtonClick();
    EXPECT_TRUE(files.errors.empty());
    TIniFile ini;
    ASSERT_TRUE(ini.LoadFromFile(Path("plain.ini")));
    EXPECT_EQ(ini.ReadInteger("Plant Colors", "Color7", -1), 255 + 256 * 127);
    editor.SaveColorsButtonClick();
    EXPECT_EQ(files.errors.size(), 1u);
}
