#include "editors/EnvWiz.h"

#include "editors/EditorFilePrompt.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "shell/ShellFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <fstream>

using editortest::FileEditorTest;

namespace {

class EnvWizardTest : public FileEditorTest {
protected:
    void SetUp() override
    {
        FileEditorTest::SetUp();
        templates = dir.path().string() + "/Templates/";
        QDir().mkpath(QString::fromStdString(templates));
        ASSERT_TRUE(TWinRegistry(QuarlexBaseKey).WriteString("Paths", "Templates", templates));
        editor.SetProject(&current);
    }
    void TearDown() override
    {
        TWinRegistry settings(QuarlexBaseKey);
        settings.WriteString("Paths", "Templates", "");
        settings.WriteBool("Wizards", "EnvironmentWithRenderer", true);
        FileEditorTest::TearDown();
    }
    // A template holding the environment of a project whose every section differs from the defaults.
    std::string Template(const std::string& file, const std::string& name)
    {
        TProject source;
        source.Header.Name = name;
        source.Atmosphere.FogDensity = 0.75;
        source.Water.WaveHeight = 3.5;
        source.Fractal.TreeLine = 42;
        if (!source.Clouds.Items.empty())
            source.Clouds.Items[0].Cover = 77;
        const std::string path = templates + file;
        EXPECT_TRUE(source.ExportEnvironmentSettings(path));
        return path;
    }
    void SelectRowNamed(const QString& name)
    {
        const auto found = editor.TemplatesListBox->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        editor.TemplatesListBox->setCurrentItem(found[0]);
    }
    struct TSnapshot {
        double fog, wave;
        int treeLine, cover;
    };
    TSnapshot Now() const
    {
        return {project->Atmosphere.FogDensity, project->Water.WaveHeight, project->Fractal.TreeLine,
                project->Clouds.Items.empty() ? -1 : project->Clouds.Items[0].Cover};
    }
    std::string templates;
    TFEnvWizard editor;
};

} // namespace

TEST(EnvWizardWindowTest, RefreshWithoutAProjectRaisesInitError)
{
    TFEnvWizard editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Environment Wizard"));
    EXPECT_TRUE(editor.AllCheck->isChecked());
    EXPECT_FALSE(editor.WaterCheck->isEnabled());
    EXPECT_THROW(editor.RefreshFromProject(), EInitError);
}

TEST_F(EnvWizardTest, ListsTheTemplatesOfTheFolderByName)
{
    Template("b.ini", "Desert");
    Template("a.INI", "Alpine");
    std::ofstream(templates + "noname.ini") << "[Environment]\nOther=1\n";
    std::ofstream(templates + "readme.txt") << "[Environment]\nName=Not a template\n";
    editor.RefreshFromProject();
    ASSERT_EQ(editor.TemplatesListBox->count(), 3);
    ASSERT_EQ(editor.TemplatePaths.size(), 3);
    EXPECT_EQ(editor.TemplatesListBox->item(0)->text(), QStringLiteral("Alpine"));
    EXPECT_EQ(editor.TemplatesListBox->item(1)->text(), QStringLiteral("Desert"));
    EXPECT_EQ(editor.TemplatesListBox->item(2)->text(), QStringLiteral("Unknown"));
    EXPECT_TRUE(editor.TemplatePaths[1].endsWith(QStringLiteral("/Templates/b.ini")));
    EXPECT_TRUE(QFile::exists(editor.TemplatePaths[0]));
    // A second refresh does not add the rows again.
    editor.RefreshFromProject();
    EXPECT_EQ(editor.TemplatesListBox->count(), 3);
}

TEST_F(EnvWizardTest, AnEmptyOrMissingFolderListsNothingAndLoadAsksForATemplate)
{
    const std::string folders[] = {templates, templates + "none/", ""};
    for (const std::string& folder : folders) {
        TWinRegistry(QuarlexBaseKey).WriteString("Paths", "Templates", folder);
        editor.RefreshFromProject();
        EXPECT_EQ(editor.TemplatesListBox->count(), 0) << folder;
    }
    const TSnapshot before = Now();
    QTest::mouseClick(editor.LoadButton, Qt::LeftButton);
    ASSERT_EQ(files.plainMessages.size(), 1u);
    EXPECT_EQ(files.plainMessages[0], "Please select a template to load");
    EXPECT_EQ(Now().wave, before.wave);
}

TEST_F(EnvWizardTest, AllLoadsEverySectionOfTheTemplate)
{
    Template("t.ini", "Storm");
    editor.RefreshFromProject();
    SelectRowNamed(QStringLiteral("Storm"));
    QTest::mouseClick(editor.LoadButton, Qt::LeftButton);
    EXPECT_TRUE(files.errors.empty());
    const TSnapshot now = Now();
    EXPECT_DOUBLE_EQ(now.fog, 0.75);
    EXPECT_DOUBLE_EQ(now.wave, 3.5);
    EXPECT_EQ(now.treeLine, 42);
    EXPECT_EQ(now.cover, 77);
}

TEST_F(EnvWizardTest, WithoutAllOnlyTheCheckedSectionsLoad)
{
    Template("t.ini", "Storm");
    editor.RefreshFromProject();
    SelectRowNamed(QStringLiteral("Storm"));
    editor.AllCheck->click();
    ASSERT_FALSE(editor.AllCheck->isChecked());
    for (QCheckBox* box : {editor.AtmosphereCheck, editor.CloudCheck, editor.SurfaceCheck, editor.WaterCheck}) {
        EXPECT_TRUE(box->isChecked());
        EXPECT_TRUE(box->isEnabled());
    }
    editor.AtmosphereCheck->setChecked(false);
    editor.CloudCheck->setChecked(false);
    const TSnapshot before = Now();
    QTest::mouseClick(editor.LoadButton, Qt::LeftButton);
    const TSnapshot now = Now();
    EXPECT_DOUBLE_EQ(now.fog, before.fog);
    EXPECT_EQ(now.cover, before.cover);
    EXPECT_DOUBLE_EQ(now.wave, 3.5);
    EXPECT_EQ(now.treeLine, 42);

    // "All" again: the four are unchecked and disabled.
    editor.AllCheck->click();
    for (QCheckBox* box : {editor.AtmosphereCheck, editor.CloudCheck, editor.SurfaceCheck, editor.WaterCheck}) {
        EXPECT_FALSE(box->isChecked());
        EXPECT_FALSE(box->isEnabled());
    }
}

TEST_F(EnvWizardTest, ATemplateRemovedSinceListingIsReportedNotApplied)
{
    const std::string path = Template("t.ini", "Storm");
    editor.RefreshFromProject();
    SelectRowNamed(QStringLiteral("Storm"));
    ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
    const TSnapshot before = Now();
    QTest::mouseClick(editor.LoadButton, Qt::LeftButton);
    EXPECT_EQ(files.errors.size(), 1u);
    EXPECT_DOUBLE_EQ(Now().wave, before.wave);
}

TEST_F(EnvWizardTest, TheRendererCheckFollowsTheSettingAndStoresAtOnce)
{
    const struct {
        bool stored;
    } cases[] = {{false}, {true}};
    for (const auto& c : cases) {
        TWinRegistry(QuarlexBaseKey).WriteBool("Wizards", "EnvironmentWithRenderer", c.stored);
        editor.RefreshFromProject();
        EXPECT_EQ(editor.RendererCheck->isChecked(), c.stored);
        // Refreshing wrote nothing.
        EXPECT_EQ(TWinRegistry(QuarlexBaseKey).ReadBool("Wizards", "EnvironmentWithRenderer", !c.stored), c.stored);
    }
    editor.RendererCheck->click();
    EXPECT_FALSE(TWinRegistry(QuarlexBaseKey).ReadBool("Wizards", "EnvironmentWithRenderer", true));
    editor.RendererCheck->click();
    EXPECT_TRUE(TWinRegistry(QuarlexBaseKey).ReadBool("Wizards", "EnvironmentWithRenderer", false));
}

namespace {

class EnvWizardWindowShellTest : public shelltest::ShellTest {};

} // namespace

TEST_F(EnvWizardWindowShellTest, LoadWithNoSectionChangesNothingAndStillRefreshesTheEditors)
{
    const std::string folder = dir.path().string() + "/Templates/";
    QDir().mkpath(QString::fromStdString(folder));
    TWinRegistry(QuarlexBaseKey).WriteString("Paths", "Templates", folder);
    {
        TProject source;
        source.Header.Name = "Calm";
        source.Water.WaveHeight = 9.0;
        ASSERT_TRUE(source.ExportEnvironmentSettings(folder + "calm.ini"));
    }
    TMainForm::RegisterChildWindow(TChildKind::EnvWizard, [] { return new TFEnvWizard; });
    TMainForm::RegisterChildWindow(TChildKind::Camera, [] { return new shelltest::TProbeForm; });
    TMainForm& main = Start();
    auto* probe = static_cast<shelltest::TProbeForm*>(main.OpenChildWindow(TChildKind::Camera));
    auto* wizard = static_cast<TFEnvWizard*>(main.OpenChildWindow(TChildKind::EnvWizard));
    ASSERT_NE(probe, nullptr);
    ASSERT_EQ(wizard, FEnvWizard);
    EXPECT_FALSE(main.EnvironmentalWizardMenuItem->isEnabled());
    ASSERT_EQ(wizard->TemplatesListBox->count(), 1);
    wizard->TemplatesListBox->setCurrentRow(0);
    wizard->AllCheck->click();
    for (QCheckBox* box : {wizard->AtmosphereCheck, wizard->CloudCheck, wizard->SurfaceCheck, wizard->WaterCheck})
        box->setChecked(false);
    const double wave = CurrentProject->Water.WaveHeight;
    const int refreshes = probe->refreshes;
    QTest::mouseClick(wizard->LoadButton, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(CurrentProject->Water.WaveHeight, wave);
    EXPECT_GT(probe->refreshes, refreshes);
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(EnvWizardWindowShellTest, TheRendererCheckShowsWhatTheRendererCommandDoes)
{
    // A fresh settings store, then each stored value: the box the wizard shows is ticked exactly
    // when opening the renderer brought the wizard with it.
    const struct {
        const char* name;
        int stored; // -1: never stored
    } cases[] = {{"fresh store", -1}, {"stored false", 0}, {"stored true", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        shelltest::ClearSettings();
        if (c.stored >= 0) {
            ASSERT_TRUE(TWinRegistry(QuarlexBaseKey).WriteBool("Wizards", "EnvironmentWithRenderer", c.stored == 1));
        }
        TMainForm::RegisterChildWindow(TChildKind::EnvWizard, [] { return new TFEnvWizard; });
        shelltest::RegisterProbe<shelltest::TProbeForm>(TChildKind::FractalRender);
        TMainForm& main = Start();
        main.OutBarClick(0); // "Landscape Renderer"
        ASSERT_NE(main.ChildWindow(TChildKind::FractalRender), nullptr);
        const bool cameWithRenderer = main.ChildWindow(TChildKind::EnvWizard) != nullptr;
        auto* wizard = static_cast<TFEnvWizard*>(main.OpenChildWindow(TChildKind::EnvWizard));
        ASSERT_NE(wizard, nullptr);
        EXPECT_EQ(wizard->RendererCheck->isChecked(), cameWithRenderer);
        EXPECT_EQ(cameWithRenderer, c.stored == 1);
        form.reset();
    }
}
