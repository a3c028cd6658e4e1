#include "editors/EditorPattern.h"

#include "editors/Actors.h"
#include "editors/Overlay.h"
#include "editors/urban.h"
#include "project/Project.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

#include <functional>
#include <string>

namespace {

// A new project's lists hold one unused entry (count 0). "New" in each editor must make the first
// entry of the list, not a second one after a blank the editors would then show.
TEST(EditorListsTest, NewOnANewProjectMakesTheFirstEntryAndNoBlankOne)
{
    struct Case {
        const char* name;
        std::function<size_t(TProject&)> add;
        std::function<int32_t(const TProject&)> count;
        std::function<size_t(const TProject&)> size;
        std::function<std::string(const TProject&, size_t)> name0;
    };
    const Case cases[] = {
        {"plant type", [](TProject& p) { return AddPlantType(p.Actors); },
         [](const TProject& p) { return p.Actors.Count; }, [](const TProject& p) { return p.Actors.Items.size(); },
         [](const TProject& p, size_t i) { return p.Actors.Items[i].Name; }},
        {"overlay image", [](TProject& p) { return AddOverlayImage(p.Overlays); },
         [](const TProject& p) { return p.Overlays.Count; }, [](const TProject& p) { return p.Overlays.Items.size(); },
         [](const TProject& p, size_t i) { return p.Overlays.Items[i].Name; }},
        {"urban plan", [](TProject& p) { return AddUrbanPlan(p.Urban); },
         [](const TProject& p) { return p.Urban.Count; }, [](const TProject& p) { return p.Urban.Items.size(); },
         [](const TProject& p, size_t i) { return p.Urban.Items[i].PlanName; }},
    };
    for (const Case& c : cases) {
        TProject project;
        ASSERT_EQ(c.count(project), 0) << c.name;
        EXPECT_EQ(c.add(project), 0u) << c.name;
        EXPECT_EQ(c.add(project), 1u) << c.name;
        EXPECT_EQ(c.count(project), 2) << c.name;
        EXPECT_EQ(c.size(project), 2u) << c.name;
        EXPECT_FALSE(c.name0(project, 0).empty()) << c.name;
    }
    TProject project;
    AddOverlayImage(project.Overlays);
    EXPECT_EQ(project.Overlays.Items[0].Name, "Image 0");
}

// The editors list the entries in use: no blank row for a new project's unused entry, and the
// row New adds shows the entry it made.
TEST(EditorListsTest, EditorsOnANewProjectListOnlyTheEntriesNewMade)
{
    struct Case {
        const char* name;
        std::function<void(TProject**, std::function<void()>&, std::function<int()>&,
                           std::function<std::string(int)>&, std::shared_ptr<QWidget>&)>
            open;
        const char* made;
    };
    // Each case opens its editor on the project and returns: press New, the row count, the name
    // shown once row r is chosen.
    const Case cases[] = {
        {"vegetation",
         [](TProject** var, auto& add, auto& rows, auto& shown, auto& keep) {
             auto e = std::make_shared<TFActors>();
             e->SetProject(var);
             add = [e] { e->NewButtonClick(); };
             rows = [e] { return e->ActorListBox->count(); };
             shown = [e](int r) {
                 e->ActorListBox->setCurrentRow(r);
                 e->ActorListBoxClick();
                 return e->ActorNameEdit->text().toStdString();
             };
             keep = e;
         },
         "Unassigned"},
        {"overlay",
         [](TProject** var, auto& add, auto& rows, auto& shown, auto& keep) {
             auto e = std::make_shared<TFOverlay>();
             e->SetProject(var);
             add = [e] { e->NewImageButtonClick(); };
             rows = [e] { return e->ImagesListBox->count(); };
             shown = [e](int r) {
                 e->ImagesListBox->setCurrentRow(r);
                 e->ImagesListBoxClick(r);
                 return e->NameEdit->text().toStdString();
             };
             keep = e;
         },
         "Image 0"},
        {"urban",
         [](TProject** var, auto& add, auto& rows, auto& shown, auto& keep) {
             auto e = std::make_shared<TFUrbanPlan>();
             e->SetProject(var);
             add = [e] { e->NewButtonClick(); };
             rows = [e] { return e->PlanListBox->count(); };
             shown = [e](int r) {
                 e->PlanListBox->setCurrentRow(r);
                 e->PlanListBoxClick();
                 return e->PlanNameEdit->text().toStdString();
             };
             keep = e;
         },
         "Unassigned"},
    };
    for (const Case& c : cases) {
        auto project = std::make_unique<TProject>();
        TProject* current = project.get();
        std::function<void()> add;
        std::function<int()> rows;
        std::function<std::string(int)> shown;
        std::shared_ptr<QWidget> editor;
        c.open(&current, add, rows, shown, editor);
        auto* refreshing = dynamic_cast<TFBaseForm*>(editor.get());
        ASSERT_NE(refreshing, nullptr);
        refreshing->RefreshFromProject();
        EXPECT_EQ(rows(), 0) << c.name;
        add();
        EXPECT_EQ(rows(), 1) << c.name;
        EXPECT_EQ(shown(0), c.made) << c.name;
        refreshing->RefreshFromProject();
        EXPECT_EQ(rows(), 1) << c.name;
        EXPECT_EQ(shown(0), c.made) << c.name;
    }
}

} // namespace
