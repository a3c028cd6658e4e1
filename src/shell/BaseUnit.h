#pragma once
// The base every editor and renderer window builds on, and the application messages.
//
// - CurrentProject: the one current project. Windows and engines keep its address (TProject**)
//   and dereference it on every use, so a project replaced by the main window is seen at once.
// - TFBaseForm: base class of every editor and renderer window (an MDI child of the main window).
//   Override RefreshFromProject; override SetProject only to do more than store the address
//   (call the base first). A form frees itself when it is closed.
// - TAppMessage / BroadcastToForms: the application messages 2025-2038. Every TFBaseForm and the
//   main window receive broadcasts in AppMessage and react only to the numbers they handle.
// - SetProgress: the main window's percentage meter (0 clears it), through the installed status
//   sink, so it works (as a no-op) in headless tests too.
// - TRenderLock: held by a renderer window while a render pumps messages; the main window then
//   refuses every command that would change or replace the project (E0120).
#include <QWidget>

#include <cstdint>
#include <exception>
#include <functional>

class TProject;

// The current project; null only before the main window creates the first one and after it closes.
extern TProject* CurrentProject;

// ---- Application messages -------------------------------------------------------------------------
struct TAppMessage {
    uint32_t Msg = 0;
    uint32_t WParam = 0;
    uint32_t LParam = 0;
    uint32_t Result = 0;
};

constexpr uint32_t WM_GRIDCHANGED = 2025;         // map control: an edit was made (undo possible)
constexpr uint32_t WM_UNDODONE = 2026;            // map control: undo done
constexpr uint32_t WM_AREAINTERPOLATED = 2027;    // map control: an area was interpolated (unhandled)
constexpr uint32_t WM_GRIDCURSOR = 2028;          // map control: WParam col | row << 16, LParam x | y << 16
constexpr uint32_t WM_EDITMODECHANGED = 2029;     // map control: tool changed (unhandled)
constexpr uint32_t WM_FORCELIMITEDREDRAW = 2033;  // layer/plant/urban editors: layer views are stale
constexpr uint32_t WM_PLACEMENTSELECT = 2034;     // map control: WParam selected | kind << 16
constexpr uint32_t WM_RESETPATHS = 2035;          // render engines -> main window: project paths dialog
constexpr uint32_t WM_FRACTALDEPTHCHANGED = 2036; // fractal depth or DrawNoModels changed
constexpr uint32_t WM_GRIDDRAWPROGRESS = 2037;    // map control: WParam percent, below 1 when done
constexpr uint32_t WM_REFRESHALL = 2038;          // plug-in host -> main window: UpdateAllEditors

// Hands a copy of the message to every registered form, in registration order (the main window
// first). The forms are taken as a snapshot first, so a handler may close or delete forms; a form
// deleted meanwhile is skipped. A handler that throws ends the broadcast silently.
void BroadcastToForms(const TAppMessage& message);
// Hands the message to the main window only (what the render engines do with WM_RESETPATHS).
// Returns false when there is no main window.
bool SendToMainForm(TAppMessage& message);

// Registers a receiver of broadcasts for the lifetime of `owner`. TFBaseForm and TMainForm do this
// themselves; other windows may too.
void RegisterMessageForm(QObject* owner, std::function<void(TAppMessage&)> dispatch, bool isMainForm = false);

// ---- Editor and renderer windows ------------------------------------------------------------------
// The windows the main window opens, one at most of each.
enum class TChildKind {
    Landscape,         // TFLandscape
    Placement,         // TFPlacement
    Camera,            // TFCamera
    Overlay,           // TFOverlay
    FractalParameters, // TFFractalParameters
    Atmosphere,        // TFAtmosphere
    Terrain,           // TFTerrain
    Water,             // TFWater
    Actors,            // TFActors
    Cloud,             // TFCloud
    Urban,             // TFUrbanPlan
    EnvWizard,         // TFEnvWizard
    OverlayRender,     // TFOverlayRender
    FractalRender,     // TFFractalRender
};
constexpr int ChildKindCount = 14;

class TFBaseForm : public QWidget {
    Q_OBJECT
public:
    explicit TFBaseForm(QWidget* parent = nullptr);
    ~TFBaseForm() override;

    // Reloads the window's controls from the current project.
    virtual void RefreshFromProject() = 0;
    // Stores the address of the project variable. Overrides call the base first.
    virtual void SetProject(TProject** project);
    TProject** ProjectVar() const { return project_; }
    // The current project through the stored address; throws EInitError when there is none.
    TProject& Project() const;

    // A broadcast application message (see BroadcastToForms); the default ignores all.
    virtual void AppMessage(TAppMessage& message);

    // Called by the main window only on the window of the matching kind:
    virtual void ShowLayerProperties() {}   // TFTerrain, on WM_FORCELIMITEDREDRAW
    virtual void RefreshLayers() {}         // TFPlacement, on WM_FORCELIMITEDREDRAW
    virtual void RefreshFractalDepth() {}   // TFFractalParameters, on WM_FRACTALDEPTHCHANGED
    virtual void RefreshRenderSettings() {} // TFFractalRender, on WM_FRACTALDEPTHCHANGED and in
                                            // UpdateAllEditors (instead of RefreshFromProject)

    // Set by the main window when it opens the window.
    TChildKind Kind() const { return kind_; }
    void SetKind(TChildKind kind) { kind_ = kind; }

private:
    TProject** project_ = nullptr;
    TChildKind kind_ = TChildKind::Landscape;
};

// ---- Unsaved changes -------------------------------------------------------------------------------
// Every command that changes the project (editor controls, map and placement tools, undo,
// interpolation, imports, templates, plug-in services) calls ProjectChanged; the main window then
// marks the project modified. Loading controls from the project is not a change: while a
// TProjectLoadScope lives (RefreshFromProject, a file being read), ProjectChanged does nothing,
// so signals fired while controls are filled never mark the project.
void ProjectChanged();
// Installed by the main window (an empty function removes it).
void SetProjectChangedHandler(std::function<void()> handler);
class TProjectLoadScope {
public:
    TProjectLoadScope();
    ~TProjectLoadScope();
    TProjectLoadScope(const TProjectLoadScope&) = delete;
    TProjectLoadScope& operator=(const TProjectLoadScope&) = delete;
};
// True while a TProjectLoadScope lives.
bool ProjectLoading();

// ---- Progress and the long-operation guard -------------------------------------------------------
// The main window's progress meter: 0 clears it; other values draw that many percent.
void SetProgress(int percent);

// Held (RAII) by a renderer window for the duration of a render that pumps messages.
class TRenderLock {
public:
    TRenderLock();
    ~TRenderLock();
    TRenderLock(const TRenderLock&) = delete;
    TRenderLock& operator=(const TRenderLock&) = delete;
};
// True while at least one TRenderLock is alive.
bool RenderLocked();

// Runs a command of a window so that no exception reaches the event loop: a failure is shown as an
// error ("E0101 Internal Initialization Error" when it carries no text of its own).
void ShowCommandError(const char* what);
template <class F>
void GuardedCommand(F&& command)
{
    try {
        command();
    } catch (const std::exception& e) {
        ShowCommandError(e.what());
    } catch (...) {
        ShowCommandError(nullptr);
    }
}
