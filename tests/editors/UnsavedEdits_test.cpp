// An edit typed into an editor that is already open, after the project was saved, is a change the
// main window asks about before Exit, New or Open throws it away; reloading the editors is not.
#include "shell/ShellFixture.h"
#include "EditorWindowCases.h"

#include "editors/Atmosphere.h"
#include "editors/Camera.h"
#include "editors/Clouds.h"
#include "editors/FractalParameters.h"
#include "editors/water.h"

#include <QSpinBox>

using namespace shelltest;

namespace {

constexpr const char* kSaveQuestion = "Save changes to project?";

// A value the box does not show now, so that setting it fires its change signal.
void Bump(QSpinBox* box)
{
    box->setValue(box->value() < box->maximum() ? box->value() + 1 : box->value() - 1);
}

class UnsavedEditsTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        editortest::RegisterEnvironmentEditors();
        TMainForm::RegisterChildWindow(TChildKind::FractalParameters, [] { return new TFFractalParameters; });
    }
};

enum class TReplace { New, Open, Exit };

struct TEditCase {
    const char* name;
    std::function<void()> edit;
    TReplace command;
};

} // namespace

TEST_F(UnsavedEditsTest, EditAfterSaveAsksBeforeTheProjectIsReplaced)
{
    TMainForm& main = Start();
    for (int command : {3, 4, 5, 6, 7})
        main.OutBarClick(command);
    ASSERT_TRUE(FCamera && FAtmosphere && FCloud && FWater && FFractalParameters);
    const std::string path = dir.file("saved.qx2");
    const std::string other = WriteProject("other.qx2", "Other");

    const TEditCase cases[] = {
        {"camera height", [] { Bump(FCamera->ViewAlt); }, TReplace::Exit},
        {"sun altitude", [] { Bump(FAtmosphere->LightAltSpinEdit); }, TReplace::New},
        {"cloud cover", [] { Bump(FCloud->CloudCoverEdit); }, TReplace::Open},
        {"wave height", [] { Bump(FWater->WaveHeightSpinEdit); }, TReplace::Exit},
        {"tree line", [] { Bump(FFractalParameters->TreeLine); }, TReplace::New},
    };
    for (const TEditCase& c : cases) {
        SCOPED_TRACE(c.name);
        prompt.saveNames = {path};
        ASSERT_TRUE(main.SaveProjectAsMenuItemClick());
        ASSERT_EQ(main.Modified, 0);
        main.UpdateAllEditors(); // filling the controls from the project changes nothing
        EXPECT_EQ(main.Modified, 0);

        c.edit();
        EXPECT_EQ(main.Modified, 1);

        TProject* before = CurrentProject;
        const std::string name = CurrentProject->Header.Name;
        prompt.questions.clear();
        prompt.answers = {TAnswer::Cancel};
        prompt.openNames = {other};
        switch (c.command) {
        case TReplace::New: main.NewProjectMenuItemClick(); break;
        case TReplace::Open: main.OpenProjectMenuItemClick(); break;
        case TReplace::Exit: EXPECT_FALSE(main.close()); break;
        }
        EXPECT_EQ(prompt.questions, (std::vector<std::string>{kSaveQuestion}));
        EXPECT_EQ(CurrentProject, before); // cancelled: the edited project stays
        EXPECT_EQ(CurrentProject->Header.Name, name);
        EXPECT_EQ(main.Modified, 1);
        prompt.openNames.clear();
    }
}

TEST_F(UnsavedEditsTest, ReloadingEveryEditorMarksNothing)
{
    TMainForm& main = Start();
    for (int command : {3, 4, 5, 6, 7})
        main.OutBarClick(command);
    main.Modified = 0;
    // A project whose values differ from every control's makes every control fire while it is filled.
    CurrentProject->Camera.Eye.Y = 234;
    CurrentProject->Lighting.LightAltitude = 12;
    CurrentProject->Clouds.Items[0].Cover = 7;
    CurrentProject->Water.WaveHeight = 9;
    CurrentProject->Fractal.TreeLine = 32;
    main.UpdateAllEditors();
    EXPECT_EQ(FWater->WaveHeightSpinEdit->value(), 9);
    EXPECT_EQ(main.Modified, 0);
    EXPECT_FALSE(ProjectLoading());
}
