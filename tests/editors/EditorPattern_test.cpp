#include "editors/EditorPattern.h"

#include "editors/Actors.h"
#include "editors/Overlay.h"
#include "editors/urban.h"
#include "project/Project.h"

#include <gtest/gtest.h>

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

} // namespace
