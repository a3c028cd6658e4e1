// The program's folders as the build leaves them beside the program (this test program gets them
// the same way): a new project finds every folder it names, the templates import cleanly, and every
// plant file grows and draws a plant.
#include "editors/Actors.h"
#include "editors/EnvWiz.h"
#include "platform/LSystem.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "render/FractalRendererEngine.h"
#include "render/GLPanel.h"
#include "render/GLPlant.h"
#include "render/GLTestSupport.h"
#include "support/MessageLog.h"
#include "support/TestSupport.h"

#include "render/SyntheticLandscape.h"

#include <QCheckBox>
#include <QListWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string PlantsFolder() { return ProgramFolder() + "Plants/"; }

// The plant types of the plants folder: every "<type>_near.ls".
std::vector<std::string> PlantTypes()
{
    std::vector<std::string> types;
    for (const fs::directory_entry& e : fs::directory_iterator(PlantsFolder())) {
        const std::string name = e.path().filename().string();
        const std::string suffix = "_near.ls";
        if (name.size() > suffix.size() && name.ends_with(suffix))
            types.push_back(name.substr(0, name.size() - suffix.size()));
    }
    std::sort(types.begin(), types.end());
    return types;
}

std::vector<std::string> PlantFiles()
{
    std::vector<std::string> files;
    for (const fs::directory_entry& e : fs::directory_iterator(PlantsFolder()))
        if (e.path().extension() == ".ls") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string ExportText(const TProject& project, const qxtest::TempDir& dir, const std::string& name)
{
    const std::string file = dir.file(name);
    EXPECT_TRUE(project.ExportEnvironmentSettings(file));
    return qxtest::ReadFileText(file);
}

// Renders the project once in a small off-screen panel; the picture.
QImage RenderOnce(TProject* project)
{
    QImage picture;
    std::string error;
    EXPECT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
    if (!OpenGLLoaded()) return picture;
    TFractalRenderEngine engine;
    engine.SetProject(&project);
    TGLPanel panel;
    panel.resize(160, 120);
    panel.OnGLDraw = [&](TGLPanel& p) { engine.Render(p); };
    panel.GLObjectLoaded = true; // keeps the finished picture
    panel.Redraw();
    EXPECT_EQ(engine.LastError, "");
    return panel.Picture().convertToFormat(QImage::Format_RGB32);
}

// Mean difference of two pictures of one size over the three channels, 0 .. 255.
double MeanDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull()) return -1;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

TEST(ProgramFolders, ANewProjectFindsEveryFolderAndItsFirstRenderAsksNothing)
{
    {
        const TProject project;
        for (const std::string& folder : {project.Overlays.Directory, project.Actors.Directory,
                                          project.Models.Directory, project.Clouds.Directory,
                                          ReadPathSetting("Templates"), ProgramFolder() + "plugin/"})
            EXPECT_TRUE(fs::is_directory(folder)) << folder;
    }
    struct Case {
        const char* name;
        bool plantsMissing;
        size_t questions;
    };
    // The second case shows that the question is still asked here when a folder really is missing.
    const Case cases[] = {{"as built", false, 0}, {"plants folder missing", true, 1}};
    for (const Case& c : cases) {
        auto project = std::make_unique<TProject>();
        ASSERT_TRUE(project->NewGrid(9, 9, 30.0, 30.0));
        project->Grid.Cells[4][4].Height = 100.0;
        project->Grid.MaxHeight = 100.0;
        if (c.plantsMissing) project->Actors.Directory = ProgramFolder() + "NoSuchFolder/";
        qxtest::TInstalledMessageLog log;
        EXPECT_FALSE(RenderOnce(project.get()).isNull());
        EXPECT_EQ(log.questions.size(), c.questions) << c.name;
        EXPECT_TRUE(log.shown.empty()) << c.name;
    }
    UnloadOpenGLLibraries();
}

TEST(ProgramFolders, EveryTemplateImportsCleanlyAndIsExactlyWhatTheExportWritesOfItsLook)
{
    const std::vector<TEnvTemplate> templates = FindEnvironmentTemplates(ReadPathSetting("Templates"));
    ASSERT_GE(templates.size(), 4u);
    qxtest::TempDir dir;
    const std::string defaults = ExportText(TProject(), dir, "defaults.ini");
    std::set<std::string> names, looks;
    for (const TEnvTemplate& t : templates) {
        SCOPED_TRACE(t.Path);
        EXPECT_NE(t.Name, "Unknown");
        names.insert(t.Name);
        TProject project;
        qxtest::TInstalledMessageLog log;
        ASSERT_TRUE(project.ImportEnvironmentSettings(t.Path));
        EXPECT_TRUE(log.shown.empty());
        // Written whole by the export from a look: importing it and exporting again gives the file
        // back, so every key is there and nothing else is.
        project.Header.Name = t.Name;
        EXPECT_EQ(ExportText(project, dir, "again.ini"), qxtest::ReadFileText(t.Path));
        project.Header.Name.clear();
        const std::string look = ExportText(project, dir, "look.ini");
        EXPECT_NE(look, defaults) << "the template changes nothing";
        looks.insert(look);
    }
    EXPECT_EQ(names.size(), templates.size()) << "two templates share a name";
    EXPECT_EQ(looks.size(), templates.size()) << "two templates share a look";
}

TEST(ProgramFolders, TheWizardListsEveryTemplateAndLoadingOneChangesTheRenderVisibly)
{
    const std::vector<TEnvTemplate> templates = FindEnvironmentTemplates(ReadPathSetting("Templates"));
    TSyntheticLandscapeOptions options;
    options.Size = 34;
    options.FractalDepth = 2;
    options.Relief = 900;
    std::unique_ptr<TProject> project = MakeSyntheticLandscape(options);
    TProject* current = project.get();
    const QImage before = RenderOnce(current);
    TFEnvWizard wizard;
    wizard.SetProject(&current);
    wizard.RefreshFromProject();
    ASSERT_EQ(wizard.TemplatesListBox->count(), static_cast<int>(templates.size()));
    ASSERT_TRUE(wizard.AllCheck->isChecked());
    std::vector<QImage> pictures;
    for (int row = 0; row < wizard.TemplatesListBox->count(); ++row) {
        const std::string name = wizard.TemplatesListBox->item(row)->text().toStdString();
        SCOPED_TRACE(name);
        EXPECT_EQ(name, templates[row].Name);
        project = MakeSyntheticLandscape(options);
        current = project.get();
        wizard.TemplatesListBox->setCurrentRow(row);
        qxtest::TInstalledMessageLog log;
        wizard.LoadButtonClick();
        EXPECT_TRUE(log.shown.empty());
        pictures.push_back(RenderOnce(current));
        // A change anyone sees: several steps of 255 on average over the whole picture.
        EXPECT_GT(MeanDifference(pictures.back(), before), 8.0);
        for (size_t other = 0; other + 1 < pictures.size(); ++other)
            EXPECT_GT(MeanDifference(pictures.back(), pictures[other]), 8.0) << "looks like " << templates[other].Name;
    }
    UnloadOpenGLLibraries();
}

TEST(ProgramFolders, EveryPlantTypeHasThreeFilesWithMoreDetailNearerAndItsOwnColours)
{
    const std::vector<std::string> types = PlantTypes();
    ASSERT_GE(types.size(), 3u);
    auto buffer = std::make_unique<TLParserBuffer>();
    size_t typeFiles = 0;
    for (const std::string& type : types) {
        SCOPED_TRACE(type);
        int previous = 0;
        for (const char* view : {"_far.ls", "_mid.ls", "_near.ls"}) {
            const std::string file = PlantsFolder() + type + view;
            ASSERT_TRUE(getLParserData(file.c_str(), 0, 0, buffer.get())) << file;
            EXPECT_GT(buffer->Highest, buffer->Lowest) << file;
            EXPECT_GT(buffer->Count, previous) << file << " has no more detail than the view before";
            previous = buffer->Count;
            ++typeFiles;
        }
        TActorBlock block;
        TActor& actor = block.Items[AddPlantType(block)];
        const TActor fresh = actor;
        std::string error;
        ASSERT_TRUE(LoadPlantColors(actor, PlantsFolder() + type + ".ini", &error)) << error;
        int changed = 0;
        for (int i = 0; i < 16; ++i)
            changed += actor.Colors[i].R != fresh.Colors[i].R || actor.Colors[i].G != fresh.Colors[i].G ||
                       actor.Colors[i].B != fresh.Colors[i].B;
        EXPECT_GE(changed, 2) << "wood and foliage keep the new plant type's colours";
    }
    EXPECT_EQ(PlantFiles().size(), typeFiles) << "a plant file that belongs to no plant type";
}

// Polygons recorded by a 3D feedback pass; -1 when the buffer overflowed or held something else.
int FeedbackPolygons(const std::vector<GLfloat>& values, GLint used)
{
    if (used < 0) return -1;
    int polygons = 0;
    for (GLint i = 0; i < used;) {
        if (values[i] != GL_POLYGON_TOKEN) return -1;
        const int vertices = static_cast<int>(values[i + 1]);
        i += 2 + 3 * vertices;
        ++polygons;
    }
    return polygons;
}

TEST(ProgramFolders, EveryPlantFileDrawsItsTriangles)
{
    const std::vector<std::string> files = PlantFiles();
    ASSERT_FALSE(files.empty());
    auto project = std::make_unique<TProject>();
    TProject* current = project.get();
    AddPlantType(project->Actors);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        TPlant plant;
        plant.SetProject(&current);
        plant.FarFile = plant.MidFile = plant.NearFile = file;
        std::vector<GLfloat> feedback(1 << 20);
        GLint used = -1;
        qxtest::WithGLContext(300, 300, [&] {
            const TGLEntryPoints& gl = GL();
            gl.glMatrixMode(GL_PROJECTION);
            gl.glLoadIdentity();
            gl.gluPerspective(30.0, 1.0, 1.0, 2000.0);
            gl.glMatrixMode(GL_MODELVIEW);
            gl.glLoadIdentity();
            gl.gluLookAt(0, 50, 800, 0, 50, 0, 0, 1, 0);
            gl.glFeedbackBuffer(static_cast<GLsizei>(feedback.size()), GL_3D, feedback.data());
            gl.glRenderMode(GL_FEEDBACK);
            plant.VaryPlantColor(0, {0.3f, 0.6f, 0.2f});
            plant.DrawPlant({0, 0, 0}, {1, 1, 1}, {0, 0, 0}, 1.0, 100.0);
            used = gl.glRenderMode(GL_RENDER);
        });
        ASSERT_NE(plant.CurrentShape(), nullptr);
        EXPECT_GT(plant.CurrentShape()->Count(), 0);
        // Both faces are drawn and the plant stands in the view: every triangle reaches the picture.
        EXPECT_EQ(FeedbackPolygons(feedback, used), plant.CurrentShape()->Count());
    }
    UnloadOpenGLLibraries();
}

} // namespace
