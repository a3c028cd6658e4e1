#pragma once
// TMainForm: the main window. A QMainWindow around a QMdiArea that holds the editor and renderer
// windows, with the menus, a shortcut bar on the left, the four status panels (0: progress meter,
// 1: operation, 2: step and hints, 3: project name) and the project commands.
//
// Constructing it runs the start-up steps (maximise, about box, shortcut bar, recent projects,
// OpenGL, first project "Project", command-line project). Closing it asks the save question,
// closes the child windows, frees the project and unloads OpenGL.
//
// Long operations: `Busy` is set while a project file is read or written; while it is set, or a
// renderer holds a TRenderLock, every command that would change or replace the project is refused
// with "E0120 File read/write operation already in process", and so is closing the window.
// Commands added later that change the project (plug-ins) start with `if (RefuseWhileBusy()) return;`.
//
// Child windows: main() registers a factory per kind (RegisterChildWindow); the main window then
// creates, places and tracks the window (menu items, "Render", the globals) by itself. A window
// reaches its MDI frame through SubWindowOf(this), e.g. to store its placement when it closes.
#include "project/Messages.h"
#include "shell/BaseUnit.h"

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class TAboutQuarlex2;
class TChooseOpenGLDlg;
class TOutBar;
class TPluginHost;
class TFNewProject;
class TFPathDlg;
class TOKBottomDlg;
class TProgressMeter;
class TMainStatusSink;

struct TMainFormOptions {
    // Show the modal about box during start-up (tests and QUARLEX_NO_ABOUT=1 turn it off).
    bool ShowAboutBox = true;
    // Command-line parameters (without the program name); joined with blanks they name a project.
    std::vector<std::string> Arguments;
    // Route the status interface (Messages.h) to this window's panels while it exists.
    bool InstallStatusSink = true;
    // Loading of the OpenGL implementation ("Microsoft", "SGI" or "Mesa"); empty members use the
    // entry-point table's own loader.
    std::function<bool(const std::string& implementation, std::string* error)> LoadOpenGL;
    std::function<void()> UnloadOpenGL;
    // Folder scanned for plug-in libraries; empty: the "plugin" folder beside the program.
    std::string PluginFolder;
};

// Makes an editor or renderer window (without parent; the main window puts it into its MDI area).
using TChildFactory = std::function<TFBaseForm*()>;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(const TMainFormOptions& options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- State -------------------------------------------------------------------------------------
    std::string FileName;        // project file of the current project; "" for one never saved
    uint8_t Busy = 0;            // a project file is being read or written
    uint8_t Modified = 0;        // the project may have unsaved changes
    int32_t LastPercent = 0;     // last percentage drawn by SetProgress
    std::string OpenGLImplementation; // as read from the settings at start-up

    // Busy or a render lock is held.
    bool LongOperationRunning() const;
    // Shows E0120 and returns true while a long operation runs.
    bool RefuseWhileBusy();

    // ---- Project commands --------------------------------------------------------------------------
    void NewProject(const std::string& name);
    bool QuerySaveProject(); // false: the caller stops
    void NewProjectMenuItemClick();
    void OpenProjectMenuItemClick();
    void RecentProjectClick(const std::string& fileName);
    bool SaveProjectMenuItemClick();   // true when the project was saved
    bool SaveProjectAsMenuItemClick(); // true when the project was saved
    void EditProjectInfoClick();
    void ExportSettingsClick();
    void ImportSettingsClick();
    void PreferencesMenuItemClick(); // project paths
    // "&System", "&Preferences": the OpenGL choice, rendering protocol and templates folder. On OK
    // the settings are stored and, unless a renderer window is open, the chosen libraries are
    // loaded again; the editors are refreshed either way.
    void SystemPreferencesClick();
    void ExitMenuItemClick();

    // Recent projects, newest first (the "&Projects" menu from position 13 on).
    std::vector<std::string> RecentProjects() const;
    void AddRecentProject(const std::string& fileName);

    // ---- Child windows -----------------------------------------------------------------------------
    // Windows register their factory once (main() does, for every window that exists); a kind
    // without a factory keeps its menu item disabled and its command does nothing.
    static void RegisterChildWindow(TChildKind kind, TChildFactory factory);
    static bool ChildWindowRegistered(TChildKind kind);
    // Create-or-show, the renderers' mutual exclusion and placement, the wizard: the window now
    // open for the kind, or null.
    TFBaseForm* OpenChildWindow(TChildKind kind);
    // The open window of a kind, or null.
    TFBaseForm* ChildWindow(TChildKind kind) const;
    // The MDI sub-window around an open form.
    QMdiSubWindow* SubWindowOf(const TFBaseForm* form) const;
    // Where every command that opens a window or brings one forward ends: the window is in front
    // of all others, visible (restored when minimised) and active, whatever state they are in.
    void BringToFront(QMdiSubWindow* window);
    // Shortcut-bar and menu commands by number: 0 fractal renderer, 1 overlay renderer, 2 landscape,
    // 3 camera, 4 atmosphere, 5 clouds, 6 fractal parameters, 7 water, 8 terrain layers,
    // 9 placement, 10 plant types, 11 ecology (nothing), 12 urban, 13 overlay editor.
    void OutBarClick(int command);
    // The shortcut bar's pages, in order.
    enum TOutBarPage { BasicsPage = 0, AdvancedPage = 1, PluginsPage = 2 };

    void UpdateAllEditors();
    void AppMessage(TAppMessage& message);

    // ---- Plug-ins ----------------------------------------------------------------------------------
    // Loads the plug-in libraries (start-up, after the first project exists).
    void ScanPlugins();
    // A plug-in menu item: runs the plug-in of the last item with the same caption.
    void PluginMenuItemClick(QAction* item);
    // Runs the k-th accepted plug-in (refused like every project-changing command while busy).
    void RunPluginByIndex(int index);
    // Releases every plug-in library and deletes the plug-in menu's items (after the project is freed).
    void UnloadPlugins();
    TPluginHost* Plugins() const { return plugins_.get(); }

    // ---- Status bar --------------------------------------------------------------------------------
    void SetProgress(int percent);
    void SetPanelText(int panel, const std::string& text);
    std::string PanelText(int panel) const;
    QWidget* ProgressPanel() const;

    // ---- Help and shell dialogs --------------------------------------------------------------------
    void HelpAbout();
    void HelpContents();
    void HelpSearch();
    void FormHelp();
    void DebugClick();
    void RenderMenuItemClick();
    void Tile1Click();
    void Cascade1Click();
    void ArrangeAll1Click();

    // ---- Controls (public so windows and tests can reach them) ------------------------------------
    QMdiArea* MdiArea = nullptr;
    TOutBar* OutBar = nullptr; // pages "Basics", "Advanced", "Plugins"; ImageIndex is the command
    QMenu* SystemMenu = nullptr;
    QMenu* ProjectsMenu = nullptr;
    QMenu* ModulesMenu = nullptr;
    QMenu* RenderingMenu = nullptr;
    QMenu* PluginMenu = nullptr;
    QMenu* WindowMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* RenderMenuItem = nullptr;
    QAction* SystemPreferencesMenuItem = nullptr;
    QAction* DebugMenuItem = nullptr;
    QAction* EnvironmentalWizardMenuItem = nullptr;
    QAction* EcologyEditorMenuItem = nullptr;
    QAction* LevellerMenuItem = nullptr;
    QAction* HintsAndTipsMenuItem = nullptr;
    // The menu item of each kind (null for kinds without one).
    QAction* MenuItemOf(TChildKind kind) const { return kindItems_[static_cast<int>(kind)]; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildOutBar();
    void BuildStatusBar();
    void LoadRecentProjects();
    void LoadOpenGL();
    // Loads the pair of an implementation name ("Microsoft", "Mesa" or "SGI") / frees what is loaded.
    bool LoadOpenGLPair(const std::string& implementation);
    void UnloadOpenGLPair();
    void OpenCommandLineProject(const std::vector<std::string>& arguments);
    bool OpenProjectFile(const std::string& fileName, bool addToRecent);
    bool SaveProjectTo(const std::string& fileName);
    void WriteRecentSettings();
    QAction* AddRecentItem(const std::string& fileName, int position);
    void ChildClosed(TChildKind kind);
    TFBaseForm* ShowChild(TChildKind kind, TFBaseForm* form);
    QRect RendererArea() const;
    void FillWindowMenu();
    void FormClose();

    TMainFormOptions options_;
    std::vector<QAction*> recentItems_;
    QAction* kindItems_[ChildKindCount] = {};
    QPointer<TFBaseForm> children_[ChildKindCount];
    std::vector<QMetaObject::Connection> childConnections_;
    QLabel* panels_[4] = {};
    TProgressMeter* meter_ = nullptr;
    TMainStatusSink* sink_ = nullptr;
    IStatusSink* previousSink_ = nullptr;
    bool sinkInstalled_ = false;
    bool openGLLoaded_ = false;
    bool closed_ = false;
    std::unique_ptr<TPluginHost> plugins_;
};

// The main window while it exists.
extern TMainForm* MainForm;

// The dialogs created once at start-up, owned by the main window (null without one).
extern QPointer<TAboutQuarlex2> AboutQuarlex2;
extern QPointer<TFNewProject> FNewProject;
extern QPointer<TFPathDlg> FPathDlg;
extern QPointer<TOKBottomDlg> OKBottomDlg;
extern QPointer<TChooseOpenGLDlg> ChooseOpenGLDlg;
// Creates those that are missing, in start-up order, as children of owner.
void CreateShellDialogs(QWidget* owner);

// Texts of the project commands.
inline constexpr const char* ProjectFileFilter = "Quarlex2 Project (*.qx2)";
inline constexpr const char* SettingsFileFilter = "Settings (*.ini)";
inline constexpr const char* BusyMessage = "E0120 File read/write operation already in process";
inline constexpr const char* OpenGLFailedMessage =
    "E0118 cannot load OpenGL: all rendering will fail.  Please check that dlls are present and restart the program.";
