#pragma once
// TFFractalRender: the fractal renderer's window. It owns the engine and the OpenGL panel, and
// offers redraw and abort, the fractal depth, the vegetation/models and preview switches, the
// picture size, save, copy, print and script runs.
//
// A render pumps messages while it runs, so the window guards it: it holds a TRenderLock (the main
// window then refuses every command that would change or replace the project), it disables its
// own render commands, and it refuses to close until the render is over. A render that fails is
// never taken for a finished one: the window restores its controls and reports the failure.
#include "render/script.h"
#include "shell/BaseUnit.h"

#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QToolButton;
class TFractalRenderEngine;
class TGLPanel;

class TFFractalRender : public TFBaseForm {
    Q_OBJECT
public:
    // Height of the tool bar above the picture: the render area is the client area less this.
    static constexpr int ToolBarHeight = 28;

    explicit TFFractalRender(QWidget* parent = nullptr);
    ~TFFractalRender() override;

    // Stores the address, hands it to the engine, marks the shadows out of date and loads the
    // depth, preview and vegetation/models controls.
    void SetProject(TProject** project) override;
    // The render (Redraw).
    void RefreshFromProject() override;
    // Depth and vegetation/models controls from the project (message 2036, refresh of all editors).
    void RefreshRenderSettings() override;

    // Renders the picture: true when the render ran to its end (an aborted render included), false
    // when it failed or nothing could be drawn. Refused (false) while a render runs.
    bool RenderPicture();
    bool Rendering() const { return rendering_ != 0; }
    // Closing is allowed only while no render and no script run is going on.
    bool FormCloseQuery() const;

    // The render area takes the size; the scroll ranges follow; SizeEdit shows it.
    void SetRenderSize(int width, int height);
    // The form's client area: everything below its menu bar.
    int ClientWidth() const;
    int ClientHeight() const;

    // ---- Handlers ----------------------------------------------------------------------------
    void AbortToolButtonClick();
    void RedrawToolButtonClick() { RefreshFromProject(); }
    void RedrawClick() { RefreshFromProject(); }
    void FractalDepthEditChange();
    void DrawNoModelsCheckClick();
    void PreviewModeCheckClick();
    void NWindowSizeClick();
    void btResizeClick() { NWindowSizeClick(); }
    void N2XClick() { SizeFromWindow(2); }
    void N3XClick() { SizeFromWindow(3); }
    void SaveClick();
    void SaveAsClick();
    void CopyClick();
    void PrintMenuItemClick();
    void PageSetupMenuItemClick();
    // The dialog, then the frame loop.
    void RunScriptClick();
    // The frame loop for a choice already made.
    TScriptRun RunScript(const TScriptChoice& choice);

    TFractalRenderEngine& Engine() const { return *engine_; }
    // Puts another engine in place of the owned one (a test engine); refused while rendering.
    void ReplaceEngine(std::unique_ptr<TFractalRenderEngine> engine);

    // The file the picture was last saved to by Save / Save As ("" at first).
    std::string PictureFileName;

    // ---- Controls ----------------------------------------------------------------------------
    QMenuBar* MenuBar;
    QMenu* FractalMenu;
    QAction* CopyPictureItem;
    QAction* SavePictureItem;
    QAction* SavePictureAsItem;
    QAction* PrintSetupItem;
    QAction* PrintItem;
    QMenu* ResizeMenu;
    QAction* NWindowSizeItem;
    QAction* N2XItem;
    QAction* N3XItem;
    QAction* N4XItem; // hidden, no action
    QAction* N5XItem; // hidden, no action
    QAction* RenderImageItem;
    QAction* RunScriptItem;
    QAction* ExitItem;
    QWidget* ToolBar;
    QToolButton* AbortToolButton;
    QToolButton* RedrawToolButton;
    QSpinBox* FractalDepthEdit;
    QCheckBox* DrawNoModelsCheck;
    QCheckBox* PreviewModeCheck;
    QLineEdit* SizeEdit;
    QPushButton* btResize;
    QScrollArea* ScrollBox;
    QWidget* RenderPanel;
    TGLPanel* MainGLPanel;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void MainGLPanelGLDraw(TGLPanel& panel);
    void MainGLPanelGLInit(TGLPanel& panel);
    void SizeFromWindow(int factor);
    void ShowSize();
    // Switches the controls between idle and rendering.
    void SetRenderingState(bool rendering);
    void WritePlacement();
    // The project through the stored address, or null (handlers then do nothing).
    TProject* AttachedProject() const;

    std::unique_ptr<TFractalRenderEngine> engine_;
    uint8_t rendering_ = 0;
    uint8_t scriptRunning_ = 0;
    uint8_t drawn_ = 0;     // the panel called the draw event during this render
    bool sizedOnce_ = false; // the render area took the window's size when first shown
    bool placementWritten_ = false;
};

// The open fractal renderer window, or null.
extern TFFractalRender* FFractalRender;
