// The plant types, urban plans and overlay editors as the main window opens and closes them, and
// what their broadcasts and the paths dialog do there.
#include "shell/ShellFixture.h"
#include "EditorWindowCases.h"

#include "editors/Actors.h"
#include "editors/Overlay.h"
#include "editors/urban.h"
#include "shell/PathDlg.h"

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPushButton>

using namespace shelltest;

namespace {

class CatalogueEditorWindowsTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        TMainForm::RegisterChildWindow(TChildKind::Actors, [] { return new TFActors; });
        TMainForm::RegisterChildWindow(TChildKind::Urban, [] { return new TFUrbanPlan; });
        TMainForm::RegisterChildWindow(TChildKind::Overlay, [] { return new TFOverlay; });
    }
};

} // namespace

TEST_F(CatalogueEditorWindowsTest, CommandsOpenEachEditorOnceAndClosingEmptiesItsGlobal)
{
    TMainForm& main = Start();
    const std::vector<editortest::TEditorCommand> cases = {
        {10, TChildKind::Actors, [] { return FActors; }},
        {12, TChildKind::Urban, [] { return FUrbanPlan; }},
        {13, TChildKind::Overlay, [] { return FOverlay; }},
    };
    editortest::ExpectEachCommandOpensItsEditorOnce(main, cases);
    EXPECT_TRUE(prompt.messages.empty());
    for (const editortest::TEditorCommand& c : cases) {
        main.SubWindowOf(main.ChildWindow(c.kind))->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(c.global(), nullptr);
        if (QAction* item = main.MenuItemOf(c.kind)) {
            EXPECT_TRUE(item->isEnabled());
        }
    }
}

TEST_F(CatalogueEditorWindowsTest, NewPlantTypesAndPlansRefreshTheLayerViews)
{
    RegisterProbe<TProbeForm>(TChildKind::Terrain);
    RegisterProbe<TProbeForm>(TChildKind::Placement);
    TMainForm& main = Start();
    auto* terrain = static_cast<TProbeForm*>(main.OpenChildWindow(TChildKind::Terrain));
    auto* placement = static_cast<TProbeForm*>(main.OpenChildWindow(TChildKind::Placement));
    ASSERT_NE(terrain, nullptr);
    ASSERT_NE(placement, nullptr);
    main.OutBarClick(10);
    main.OutBarClick(12);
    main.OutBarClick(13);
    // Counts, not list sizes: a new project's lists hold one unused entry that New fills.
    const int32_t plants = CurrentProject->Actors.Count;
    const int32_t plans = CurrentProject->Urban.Count;
    const int32_t images = CurrentProject->Overlays.Count;
    FActors->NewButton->click();
    FUrbanPlan->NewButton->click();
    EXPECT_EQ(terrain->layerProperties, 2);
    EXPECT_EQ(placement->layers, 2);
    // Adding an overlay image is not a layer change.
    FOverlay->NewImageButton->click();
    EXPECT_EQ(terrain->layerProperties, 2);
    EXPECT_EQ(CurrentProject->Actors.Count, plants + 1);
    EXPECT_EQ(CurrentProject->Urban.Count, plans + 1);
    EXPECT_EQ(CurrentProject->Overlays.Count, images + 1);
    EXPECT_EQ(CurrentProject->Actors.Items.size(), size_t(plants + 1));
    EXPECT_EQ(CurrentProject->Urban.Items.size(), size_t(plans + 1));
    EXPECT_EQ(CurrentProject->Overlays.Items.size(), size_t(images + 1));
}

TEST_F(CatalogueEditorWindowsTest, PathButtonsEditTheThreeProjectFolders)
{
    TMainForm& main = Start();
    main.OutBarClick(10);
    main.OutBarClick(13);
    TProject& p = *CurrentProject;
    p.Actors.Directory = "/plants/";
    p.Models.Directory = "/models/";
    p.Overlays.Directory = "/overlays/";
    FOverlay->NewImageButton->click(); // the overlay button needs a selected image

    const struct {
        QPushButton* button;
        bool accept;
        std::string plants;
    } cases[] = {
        {FActors->ActorPathButton, true, "/new/plants/"},
        {FOverlay->SetOverlayDirButton, true, "/other/plants/"},
        {FActors->ActorPathButton, false, "/other/plants/"},
    };
    for (const auto& c : cases) {
        std::string shownModels;
        AnswerNextModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<TFPathDlg*>(modal);
            ASSERT_NE(dialog, nullptr);
            shownModels = dialog->ModelsEdit->text().toStdString();
            dialog->VegetationEdit->setText(c.accept ? QString::fromStdString(c.plants) : QStringLiteral("/ignored/"));
            dialog->OverlaysEdit->setText(QStringLiteral("/o2/"));
            c.accept ? dialog->accept() : dialog->reject();
        });
        c.button->click();
        EXPECT_EQ(shownModels, "/models/");
        EXPECT_EQ(p.Actors.Directory, c.plants);
        EXPECT_EQ(p.Models.Directory, "/models/");
    }
    EXPECT_EQ(p.Overlays.Directory, "/o2/");
}
