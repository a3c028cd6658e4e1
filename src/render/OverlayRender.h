#pragma once
// TFOverlayRender: the "Overlay Renderer" window. A TGLPanel (MainGLPanel) fills it; its draw
// event runs the window's TOverlayRenderEngine. Tool buttons Abort and Redraw, the picture size,
// and the "&Overlay" menu: copy, save, save as, printer set-up, print, render, run script, exit.
//
// While a render runs the window holds a TRenderLock (the main window then refuses every command
// that would change or replace the project), refuses to close, and ignores further render
// requests; Abort is the only way out.
#include "shell/BaseUnit.h"

#include <functional>
#include <memory>
#include <string>

class QAction;
class QLineEdit;
class QMenuBar;
class QPrinter;
class QToolButton;
class TGLPanel;
class TOverlayRenderEngine;

class TFOverlayRender : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFOverlayRender(QWidget* parent = nullptr);
    ~TFOverlayRender() override;

    // Stores the address, hands it to the engine, marks the shadows out of date and has every
    // draw read back for save, copy and print.
    void SetProject(TProject** project) override;
    // One render with the buttons switched (Redraw off, Abort on) for its duration. A request
    // while a render runs does nothing.
    void RefreshFromProject() override;
    bool Rendering() const { return rendering_; }
    // A script run (R&un Script...) is under way: like a render, it keeps the lock and the window.
    bool ScriptRunning() const { return scriptRunning_; }

    // ---- Handlers ----------------------------------------------------------------------------
    void MainGLPanelGLDraw();
    void MainGLPanelGLInit();
    void MainGLPanelResize();
    void RedrawClick();
    void RedrawToolButtonClick();
    void AbortToolButtonClick();
    void SaveClick();
    void SaveAsClick();
    void CopyClick();
    void PrintMenuItemClick();
    void PrinterSetupMenuItemClick();
    void RunScriptClick();

    // The picture file of the last Save As ("" until one succeeded).
    const std::string& PictureFileName() const { return pictureFileName_; }

    // ---- Controls ----------------------------------------------------------------------------
    TGLPanel* MainGLPanel = nullptr;
    QToolButton* AbortToolButton = nullptr;
    QToolButton* RedrawToolButton = nullptr;
    QLineEdit* SizeEdit = nullptr;
    QMenuBar* MenuBar = nullptr;
    QAction* CopyMenuItem = nullptr;
    QAction* SaveMenuItem = nullptr;
    QAction* SaveAsMenuItem = nullptr;
    QAction* PrinterSetupMenuItem = nullptr;
    QAction* PrintMenuItem = nullptr;
    QAction* RenderMenuItem = nullptr;
    QAction* RunScriptMenuItem = nullptr;
    QAction* ExitMenuItem = nullptr;

    std::unique_ptr<TOverlayRenderEngine> Engine;

    // The printer set-up dialog (replaceable by tests); true when confirmed.
    std::function<bool(QPrinter&)> ExecPrinterSetup;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateSizeEdit();
    void SetRenderControls(bool rendering);

    std::string pictureFileName_;
    bool rendering_ = false;
    bool scriptRunning_ = false;
};

// The open overlay renderer, or null.
extern TFOverlayRender* FOverlayRender;

// The animation run of "R&un Script..." with a renderer window: apply each frame of a script,
// render it (RefreshFromProject) and save it. Installed by whoever provides the script run; while
// none is installed the menu item stays disabled.
using TOverlayScriptRunner = std::function<void(TFOverlayRender&)>;
void SetOverlayScriptRunner(TOverlayScriptRunner runner);
// The script run of the Run Script dialog and the frame loop for this window (what main() installs).
void RunOverlayAnimation(TFOverlayRender& form);
