// The QuarlexII program: start-up, the main window and the message loop.
//
// Environment: QUARLEX_NO_ABOUT=1 skips the modal about box at start-up (scripted runs).
#include "heightgrid/HeightDataCommands.h"
#include "heightgrid/Landscape.h"
#include "heightgrid/Placement.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "shell/Help.h"
#include "shell/Main.h"
#include "shell/ShellPrompt.h"
#include "render/FractalRender.h"
#include "render/script.h"
#include "editors/Atmosphere.h"
#include "editors/Camera.h"
#include "editors/Actors.h"
#include "editors/Clouds.h"
#include "editors/FractalParameters.h"
#include "editors/Terrain.h"
#include "editors/TerrainTypeDlg.h"
#include "editors/EnvWiz.h"
#include "editors/Overlay.h"
#include "editors/urban.h"
#include "editors/water.h"
#include "render/OverlayRender.h"
#include "render/RenderPreparation.h"

#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Pellabrine"));
    QApplication::setApplicationName(QStringLiteral("QuarlexII"));
    QApplication::setApplicationDisplayName(QStringLiteral("QuarlexII"));
    SetHelpFile("help\\quarlex.chm");

    // The environment editors the main window can open.
    TMainForm::RegisterChildWindow(TChildKind::Camera, [] { return new TFCamera; });
    TMainForm::RegisterChildWindow(TChildKind::Atmosphere, [] { return new TFAtmosphere; });
    TMainForm::RegisterChildWindow(TChildKind::Cloud, [] { return new TFCloud; });
    TMainForm::RegisterChildWindow(TChildKind::Water, [] { return new TFWater; });
    TMainForm::RegisterChildWindow(TChildKind::FractalParameters, [] { return new TFFractalParameters; });
    TMainForm::RegisterChildWindow(TChildKind::Terrain, [] { return new TFTerrain; });
    TMainForm::RegisterChildWindow(TChildKind::Actors, [] { return new TFActors; });
    TMainForm::RegisterChildWindow(TChildKind::Urban, [] { return new TFUrbanPlan; });
    TMainForm::RegisterChildWindow(TChildKind::Overlay, [] { return new TFOverlay; });
    TMainForm::RegisterChildWindow(TChildKind::EnvWizard, [] { return new TFEnvWizard; });

    // The shared random sequence starts at seed 0 and fills its tables before anything draws.
    InitRandomTables();

    TQtPrompt prompt;
    SetPrompt(&prompt);

    // The editor and renderer windows the main window can open.
    TMainForm::RegisterChildWindow(TChildKind::Landscape, [] { return new TFLandscape; });
    TMainForm::RegisterChildWindow(TChildKind::FractalRender, [] { return new TFFractalRender; });
    TMainForm::RegisterChildWindow(TChildKind::Placement, [] { return new TFPlacement; });
    TMainForm::RegisterChildWindow(TChildKind::OverlayRender, [] { return new TFOverlayRender; });
    SetOverlayScriptRunner(RunOverlayAnimation);
    InstallHeightDataCommands();

    TMainFormOptions options;
    const char* noAbout = std::getenv("QUARLEX_NO_ABOUT");
    options.ShowAboutBox = !(noAbout && std::strcmp(noAbout, "1") == 0);
    // Qt has taken its own options out of argv by now.
    for (int i = 1; i < argc; ++i)
        options.Arguments.push_back(QString::fromLocal8Bit(argv[i]).toStdString());

    int result = 0;
    {
        TMainForm mainForm(options);
        CreateShellDialogs(&mainForm);
        EnsureRunScriptDlg(&mainForm);
        TerrainTypeDlg = new TTerrainTypeDlg(&mainForm);
        mainForm.show();
        // Once the main window shows, what every render needs is prepared in the background.
        QTimer::singleShot(0, &mainForm, [] { PrepareRenderingAhead(); });
        result = QApplication::exec();
    }
    SetPrompt(nullptr);
    return result;
}
