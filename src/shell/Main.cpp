#include "shell/Main.h"

#include "platform/GLEntryPoints.h"
#include "platform/VectorState.h"
#include "project/MathUtils.h"
#include "project/Project.h"
#include "project/StrStuff.h"
#include "project/WinReg.h"
#include "controls/uOutBar.h"
#include "shell/About.h"
#include "shell/ChooseOpenGL.h"
#include "shell/DebugDlg.h"
#include "shell/Help.h"
#include "shell/NewProject.h"
#include "shell/OKBottom.h"
#include "shell/PathDlg.h"
#include "shell/PluginHost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>

#include <exception>
#include <map>

TMainForm* MainForm = nullptr;
QPointer<TAboutQuarlex2> AboutQuarlex2;
QPointer<TFNewProject> FNewProject;
QPointer<TFPathDlg> FPathDlg;
QPointer<TOKBottomDlg> OKBottomDlg;
QPointer<TChooseOpenGLDlg> ChooseOpenGLDlg;

void CreateShellDialogs(QWidget* owner)
{
    if (!FNewProject)
        FNewProject = new TFNewProject(owner);
    if (!AboutQuarlex2)
        AboutQuarlex2 = new TAboutQuarlex2(owner);
    if (!FPathDlg)
        FPathDlg = new TFPathDlg(owner);
    if (!ChooseOpenGLDlg)
        ChooseOpenGLDlg = new TChooseOpenGLDlg(owner);
    if (!DebugDlg)
        DebugDlg = new TDebugDlg(owner);
    if (!OKBottomDlg)
        OKBottomDlg = new TOKBottomDlg(owner);
}

// ---- Status bar pieces -------------------------------------------------------------------------

// Panel 0: one pixel per percent in magenta over the bar's own colour.
class TProgressMeter : public QWidget {
public:
    explicit TProgressMeter(QWidget* parent) : QWidget(parent) { setFixedWidth(100); }
    void SetFill(int pixels)
    {
        fill_ = std::clamp(pixels, 0, 100);
        repaint(); // long operations pump messages only now and then: draw at once
    }
    int Fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        if (fill_ > 0)
            painter.fillRect(QRect(0, 2, fill_, height() - 2), QColor(0xFF, 0x00, 0xFF));
    }

private:
    int fill_ = 0;
};

class TMainStatusSink final : public IStatusSink {
public:
    explicit TMainStatusSink(TMainForm& form) : form_(form) {}
    // Each report paints or pumps; the long operation that made it goes on at full speed only
    // once the wide vector registers the painting used are cleared.
    void SetOperationText(const std::string& text) override
    {
        form_.SetPanelText(1, text);
        ClearUpperVectorState();
    }
    void SetStepText(const std::string& text) override
    {
        form_.SetPanelText(2, text);
        ClearUpperVectorState();
    }
    void SetProgress(int percent) override
    {
        form_.SetProgress(percent);
        ClearUpperVectorState();
    }
    void SetBusyCursor(bool busy) override
    {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ++depth_;
        } else if (depth_ > 0) {
            QApplication::restoreOverrideCursor();
            --depth_;
        }
        ClearUpperVectorState();
    }
    void ProcessMessages() override
    {
        QCoreApplication::processEvents();
        ClearUpperVectorState();
    }
    ~TMainStatusSink() override
    {
        while (depth_-- > 0)
            QApplication::restoreOverrideCursor();
    }

private:
    TMainForm& form_;
    int depth_ = 0;
};

namespace {

std::map<TChildKind, TChildFactory>& factories()
{
    static std::map<TChildKind, TChildFactory> registry;
    return registry;
}

int index(TChildKind kind) { return static_cast<int>(kind); }

bool isRenderer(TChildKind kind) { return kind == TChildKind::FractalRender || kind == TChildKind::OverlayRender; }

// Hourglass for the length of a command.
class THourglass {
public:
    THourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~THourglass() { QApplication::restoreOverrideCursor(); }
};

// Busy for the length of a file operation.
class TBusyScope {
public:
    explicit TBusyScope(uint8_t& busy) : busy_(busy) { busy_ = 1; }
    ~TBusyScope() { busy_ = 0; }

private:
    uint8_t& busy_;
};

QString menuCaption(const std::string& fileName)
{
    // A '&' in a path is text, not an access key.
    return QString::fromStdString(fileName).replace('&', QStringLiteral("&&"));
}

std::string folderOf(const std::string& fileName)
{
    return fileName.empty() ? std::string() : QFileInfo(QString::fromStdString(fileName)).absolutePath().toStdString();
}

struct TBarItem {
    const char* caption;
    int command;
};

} // namespace

// ---- Construction: the start-up steps ---------------------------------------------------------------

TMainForm::TMainForm(const TMainFormOptions& options, QWidget* parent) : QMainWindow(parent), options_(options)
{
    MainForm = this;
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("QuarlexII"));
    MdiArea = new QMdiArea(this);
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(MdiArea);
    BuildMenus();
    BuildStatusBar();
    RegisterMessageForm(this, [this](TAppMessage& message) { AppMessage(message); }, true);
    SetProjectChangedHandler([this] { Modified = 1; });
    if (options_.InstallStatusSink) {
        sink_ = new TMainStatusSink(*this);
        previousSink_ = SetStatusSink(sink_);
        sinkInstalled_ = true;
    }
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { FormHelp(); });

    // 1. Maximised (the geometry too, for desktops without a window manager).
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    // 2. About box, shown once and freed.
    if (options_.ShowAboutBox) {
        TAboutQuarlex2 about(this);
        about.exec();
    }
    // 3. Shortcut bar; 4. recent projects; 5. OpenGL; 6. floating-point exceptions masked.
    BuildOutBar();
    LoadRecentProjects();
    LoadOpenGL();
    MaskFPUExceptions();
    // 7. Hints go to panel 2 (event(); eventFilter() gives every control's hint as a status tip).
    qApp->installEventFilter(this);
    // 8. The first project.
    CurrentProject = nullptr;
    GuardedCommand([this] { NewProject("Project"); });
    if (!CurrentProject) // out of memory for the grid: a project without cells still beats none
        CurrentProject = new TProject;
    Modified = 0;
    // 9. Plug-ins.
    ScanPlugins();
    // 10. A project named on the command line.
    OpenCommandLineProject(options_.Arguments);
}

TMainForm::~TMainForm()
{
    FormClose();
    // Child windows still pending deletion must not call back into a window being destroyed.
    for (const auto& connection : childConnections_)
        disconnect(connection);
    if (sinkInstalled_)
        SetStatusSink(previousSink_);
    delete sink_;
    if (MainForm == this) {
        MainForm = nullptr;
        SetProjectChangedHandler({});
    }
}

void TMainForm::BuildMenus()
{
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, const QString& caption, auto handler) {
        QAction* action = menu->addAction(caption);
        connect(action, &QAction::triggered, this, [handler] { GuardedCommand(handler); });
        return action;
    };

    SystemMenu = bar->addMenu(QStringLiteral("&System"));
    SystemPreferencesMenuItem = item(SystemMenu, QStringLiteral("&Preferences"), [this] { SystemPreferencesClick(); });
    DebugMenuItem = item(SystemMenu, QStringLiteral("Debug"), [this] { DebugClick(); });
    DebugMenuItem->setVisible(false);
    item(SystemMenu, QStringLiteral("E&xit"), [this] { ExitMenuItemClick(); });

    ProjectsMenu = bar->addMenu(QStringLiteral("&Projects"));
    item(ProjectsMenu, QStringLiteral("&New Project..."), [this] { NewProjectMenuItemClick(); });
    item(ProjectsMenu, QStringLiteral("&Open Project..."), [this] { OpenProjectMenuItemClick(); });
    item(ProjectsMenu, QStringLiteral("&Edit Project Info..."), [this] { EditProjectInfoClick(); });
    ProjectsMenu->addSeparator();
    item(ProjectsMenu, QStringLiteral("&Save Project..."), [this] { SaveProjectMenuItemClick(); });
    item(ProjectsMenu, QStringLiteral("Save Project &As..."), [this] { SaveProjectAsMenuItemClick(); });
    ProjectsMenu->addSeparator();
    item(ProjectsMenu, QStringLiteral("E&xport Environment Settings..."), [this] { ExportSettingsClick(); });
    item(ProjectsMenu, QStringLiteral("&Import Environment Settings..."), [this] { ImportSettingsClick(); });
    EnvironmentalWizardMenuItem = item(ProjectsMenu, QStringLiteral("Environmental &Wizard..."),
                                       [this] { OpenChildWindow(TChildKind::EnvWizard); });
    kindItems_[index(TChildKind::EnvWizard)] = EnvironmentalWizardMenuItem;
    ProjectsMenu->addSeparator();
    item(ProjectsMenu, QStringLiteral("&Preferences"), [this] { PreferencesMenuItemClick(); });
    ProjectsMenu->addSeparator();

    // A top-level item of its own: brings the open renderer to the front.
    RenderMenuItem = bar->addAction(QStringLiteral("Render"));
    RenderMenuItem->setEnabled(false);
    connect(RenderMenuItem, &QAction::triggered, this, [this] { RenderMenuItemClick(); });

    ModulesMenu = bar->addMenu(QStringLiteral("&Modules"));
    const std::pair<const char*, TChildKind> modules[] = {
        {"&Atmosphere Editor...", TChildKind::Atmosphere}, {"Ca&mera/Target Editor...", TChildKind::Camera},
        {"&Clouds Editor...", TChildKind::Cloud},
    };
    for (const auto& [caption, kind] : modules)
        kindItems_[index(kind)] = item(ModulesMenu, QString::fromUtf8(caption), [this, kind = kind] { OpenChildWindow(kind); });
    EcologyEditorMenuItem = ModulesMenu->addAction(QStringLiteral("&Ecology Editor...")); // no ecology editor exists
    const std::pair<const char*, TChildKind> moreModules[] = {
        {"&Fractal Editor...", TChildKind::FractalParameters}, {"&Landscape Editor...", TChildKind::Landscape},
        {"&Overlay Editor...", TChildKind::Overlay},           {"Terrain &Placement Editor...", TChildKind::Placement},
        {"&Terrain Layers Editor...", TChildKind::Terrain},    {"&Vegetation Editor...", TChildKind::Actors},
        {"&Urban Editor...", TChildKind::Urban},
    };
    for (const auto& [caption, kind] : moreModules)
        kindItems_[index(kind)] = item(ModulesMenu, QString::fromUtf8(caption), [this, kind = kind] { OpenChildWindow(kind); });
    ModulesMenu->addSeparator();
    LevellerMenuItem = ModulesMenu->addAction(QStringLiteral("Levelle&r..."));
    ModulesMenu->menuAction()->setVisible(false);

    RenderingMenu = bar->addMenu(QStringLiteral("&Rendering"));
    kindItems_[index(TChildKind::FractalRender)] =
        item(RenderingMenu, QStringLiteral("&Fractal Renderer..."), [this] { OpenChildWindow(TChildKind::FractalRender); });
    kindItems_[index(TChildKind::OverlayRender)] =
        item(RenderingMenu, QStringLiteral("&Overlay Renderer..."), [this] { OpenChildWindow(TChildKind::OverlayRender); });
    RenderingMenu->menuAction()->setVisible(false);

    PluginMenu = bar->addMenu(QStringLiteral("Plugin &Interfaces"));
    PluginMenu->menuAction()->setVisible(false);

    WindowMenu = bar->addMenu(QStringLiteral("&Window"));
    connect(WindowMenu, &QMenu::aboutToShow, this, [this] { FillWindowMenu(); });
    FillWindowMenu();

    HelpMenu = bar->addMenu(QStringLiteral("&Help"));
    item(HelpMenu, QStringLiteral("&Contents"), [this] { HelpContents(); })->setStatusTip(QStringLiteral("Display the help contents screen"));
    item(HelpMenu, QStringLiteral("&Search for Help On..."), [this] { HelpSearch(); })->setStatusTip(QStringLiteral("Search help file for a topic"));
    HintsAndTipsMenuItem = HelpMenu->addAction(QStringLiteral("Hints and Tips..."));
    item(HelpMenu, QStringLiteral("&About..."), [this] { HelpAbout(); })->setStatusTip(QStringLiteral("Show program information"));

    // Items of windows not registered yet stay disabled.
    for (int i = 0; i < ChildKindCount; ++i)
        if (kindItems_[i])
            kindItems_[i]->setEnabled(ChildWindowRegistered(static_cast<TChildKind>(i)));
}

void TMainForm::FillWindowMenu()
{
    WindowMenu->clear();
    auto add = [this](const QString& caption, void (TMainForm::*handler)()) {
        connect(WindowMenu->addAction(caption), &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    add(QStringLiteral("&Tile"), &TMainForm::Tile1Click);
    add(QStringLiteral("&Cascade"), &TMainForm::Cascade1Click);
    add(QStringLiteral("&Arrange All"), &TMainForm::ArrangeAll1Click);
    const auto windows = MdiArea->subWindowList(QMdiArea::CreationOrder);
    if (!windows.isEmpty())
        WindowMenu->addSeparator();
    for (QMdiSubWindow* window : windows) {
        QAction* action = WindowMenu->addAction(window->windowTitle());
        action->setCheckable(true);
        action->setChecked(window == MdiArea->activeSubWindow());
        QPointer<QMdiSubWindow> target(window);
        connect(action, &QAction::triggered, this, [this, target] { BringToFront(target); });
    }
}

// The bar's pictures, indexed by command number: a coloured disc with the caption's initial.
static TOutImageList OutBarImages(const std::vector<QString>& initials)
{
    TOutImageList images;
    images.Size = QSize(32, 32);
    for (size_t i = 0; i < initials.size(); ++i) {
        QPixmap picture(images.Size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.5));
        painter.setBrush(QColor::fromHsv(static_cast<int>(i * 360 / initials.size()), 150, 210));
        painter.drawEllipse(QRectF(2, 2, 28, 28));
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(15);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, initials[i]);
        painter.end();
        images.Images.push_back(picture);
    }
    return images;
}

void TMainForm::BuildOutBar()
{
    auto* dock = new QDockWidget(this);
    dock->setObjectName(QStringLiteral("OutBarDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    // No title bar: an empty widget with a layout, whose size hint is 0 x 0 (a bare widget's hint
    // of -1 would make the dock's minimum height negative).
    auto* noTitle = new QWidget(dock);
    auto* noTitleLayout = new QHBoxLayout(noTitle);
    noTitleLayout->setContentsMargins(0, 0, 0, 0);
    dock->setTitleBarWidget(noTitle);
    OutBar = new TOutBar(dock);
    OutBar->setObjectName(QStringLiteral("OutBar"));
    OutBar->setMinimumWidth(150);
    OutBar->SmoothSpeed = 24;
    // Plug-in items stand for their plug-in and built-in items for their command: none may go or move.
    OutBar->ItemsFixed = true;
    // Commands 0 to 13 for the editors and renderers, 15 for plug-ins.
    OutBar->SetLargeImages(OutBarImages({"R", "O", "L", "C", "A", "C", "T", "W", "L", "P", "V", "E", "U", "O", "", "P"}));
    const TBarItem basics[] = {
        {"Landscape Renderer", 0},    {"Landscape Heightfield Editor", 2}, {"Camera / Target Editor", 3},
        {"Atmosphere Editor", 4},     {"Clouds Editor", 5},                {"Terrain Color/Texture Editor", 6},
        {"Water Editor", 7},
    };
    const TBarItem advanced[] = {
        {"Terrain Layers Editor", 8}, {"Terrain Placement Editor", 9}, {"Vegetation Editor", 10}, {"Urban Editor", 12},
    };
    auto page = [this](const QString& caption, const TBarItem* items, size_t count) {
        TOutPage* outPage = OutBar->Pages()->AddPage();
        outPage->SetCaption(caption);
        for (size_t i = 0; i < count; ++i) {
            TOutItem* item = outPage->AddItem();
            item->SetCaption(QString::fromUtf8(items[i].caption));
            item->SetImageIndex(items[i].command);
        }
    };
    OutBar->BeginUpdate();
    page(QStringLiteral("Basics"), basics, std::size(basics));
    page(QStringLiteral("Advanced"), advanced, std::size(advanced));
    page(QStringLiteral("Plugins"), nullptr, 0);
    OutBar->EndUpdate();
    OutBar->SetActivePageIndex(BasicsPage);
    connect(OutBar, &TCustomOutBar::OnClick, this, [this] {
        TOutItem* item = OutBar->GetSelectedItem();
        if (!item)
            return;
        // Items of the built-in commands 0 .. 13; anything else is a plug-in's, whose index it carries.
        if (item->ImageIndex() >= 0 && item->ImageIndex() <= 13)
            OutBarClick(item->ImageIndex());
        else
            RunPluginByIndex(item->Tag);
    });
    dock->setWidget(OutBar);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    for (auto& child : children_)
        child = nullptr;
}

void TMainForm::BuildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    meter_ = new TProgressMeter(bar);
    bar->addWidget(meter_);
    const int widths[4] = {100, 300, 200, 200};
    for (int i = 1; i < 4; ++i) {
        panels_[i] = new QLabel(bar);
        panels_[i]->setFixedWidth(widths[i]);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(panels_[i]);
    }
}

void TMainForm::LoadRecentProjects()
{
    TWinRegistry settings(QuarlexBaseKey);
    for (const char* name : {"Last1", "Last2", "Last3"}) {
        const std::string file = settings.ReadString("Menu", name, "");
        if (!file.empty())
            AddRecentItem(file, static_cast<int>(recentItems_.size()));
    }
}

void TMainForm::LoadOpenGL()
{
    OpenGLImplementation = TWinRegistry(QuarlexBaseKey).ReadString("OpenGL", "Implementation", "SGI");
    // Only the exact names choose another pair; anything else is the SGI default.
    std::string pair = "SGI";
    if (OpenGLImplementation == "Microsoft" || OpenGLImplementation == "Mesa")
        pair = OpenGLImplementation;
    const bool loaded = LoadOpenGLPair(pair);
    if (pair == "SGI") {
        // Written whether or not the load worked; a failure to write is not reported.
        TWinRegistry(TRegistryRoot::LocalMachine, SiliconGraphicsBaseKey).WriteInteger("OpenGL", "OverrideDispatch", 1);
    }
    if (!loaded)
        ::ShowMessage(OpenGLFailedMessage);
}

bool TMainForm::LoadOpenGLPair(const std::string& implementation)
{
    std::string error;
    bool loaded = false;
    try {
        loaded = options_.LoadOpenGL ? options_.LoadOpenGL(implementation, &error) : LoadOpenGLLibraries(implementation, &error);
    } catch (...) {
        loaded = false;
    }
    openGLLoaded_ = loaded;
    return loaded;
}

void TMainForm::UnloadOpenGLPair()
{
    if (!openGLLoaded_)
        return;
    if (options_.UnloadOpenGL)
        options_.UnloadOpenGL();
    else if (!options_.LoadOpenGL)
        UnloadOpenGLLibraries();
    openGLLoaded_ = false;
}

void TMainForm::OpenCommandLineProject(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return;
    std::string fileName;
    for (const std::string& argument : arguments)
        fileName += (fileName.empty() ? "" : " ") + argument;
    GuardedCommand([&] { OpenProjectFile(fileName, false); });
}

// ---- Shut-down -------------------------------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (RefuseWhileBusy() || !QuerySaveProject()) {
        event->ignore();
        return;
    }
    // The child windows go first: they hold the project's address.
    MdiArea->closeAllSubWindows();
    for (QMdiSubWindow* window : MdiArea->subWindowList())
        if (!window->isHidden()) { // it refused to close
            event->ignore();
            return;
        }
    FormClose();
    event->accept();
}

void TMainForm::FormClose()
{
    if (closed_)
        return;
    closed_ = true;
    for (QMdiSubWindow* window : MdiArea->subWindowList())
        delete window;
    delete CurrentProject;
    CurrentProject = nullptr;
    UnloadPlugins();
    UnloadOpenGLPair();
}

void TMainForm::ExitMenuItemClick() { close(); }

// ---- Long-operation guard ----------------------------------------------------------------------------

bool TMainForm::LongOperationRunning() const { return Busy != 0 || RenderLocked(); }

bool TMainForm::RefuseWhileBusy()
{
    if (!LongOperationRunning())
        return false;
    ::ShowMessage(BusyMessage);
    return true;
}

// ---- Project commands --------------------------------------------------------------------------------

void TMainForm::NewProject(const std::string& name)
{
    THourglass hourglass;
    auto project = std::make_unique<TProject>();
    if (!project->NewGrid(258, 258, 30.0, 30.0))
        throw std::runtime_error("E0001 Memory Allocation Error");
    project->Grid.Cells[127][127].Height = 100.0;
    project->Grid.MaxHeight = 100.0;
    project->Grid.MinHeight = 0.0;
    project->Header.Name = CutShortString(name);
    delete CurrentProject;
    CurrentProject = project.release();
    SetPanelText(3, CurrentProject->Header.Name);
    FileName.clear();
    for (const auto& child : children_)
        if (child)
            child->SetProject(&CurrentProject);
    Modified = 0;
}

bool TMainForm::QuerySaveProject()
{
    if (!Modified)
        return true;
    switch (Prompt().Ask("Save changes to project?", {TAnswer::Yes, TAnswer::No, TAnswer::Cancel}, TMsgIcon::None)) {
    case TAnswer::Yes:
        // Going on after a save that did not happen (cancelled or failed) would drop the changes.
        return SaveProjectMenuItemClick();
    case TAnswer::No:
        return true;
    default:
        return false;
    }
}

void TMainForm::NewProjectMenuItemClick()
{
    if (RefuseWhileBusy() || !QuerySaveProject())
        return;
    CreateShellDialogs(this);
    if (FNewProject->exec() != QDialog::Accepted)
        return;
    NewProject(FNewProject->ProjectNameEdit->text().toStdString());
    UpdateAllEditors();
}

void TMainForm::OpenProjectMenuItemClick()
{
    if (RefuseWhileBusy() || !QuerySaveProject())
        return;
    const std::string file = Prompt().OpenFileName("Open Project", ProjectFileFilter, folderOf(FileName));
    if (file.empty())
        return;
    OpenProjectFile(file, true);
}

void TMainForm::RecentProjectClick(const std::string& fileName)
{
    if (RefuseWhileBusy() || !QuerySaveProject())
        return;
    OpenProjectFile(fileName, false);
}

bool TMainForm::OpenProjectFile(const std::string& fileName, bool addToRecent)
{
    if (!CurrentProject)
        return false;
    bool loaded = false;
    {
        TBusyScope busy(Busy);
        THourglass hourglass;
        // On failure the loader has shown its message and left the project as it was: so do we.
        {
            TProjectLoadScope reading;
            loaded = CurrentProject->LoadFromFile(fileName);
        }
        if (loaded) {
            FileName = fileName;
            CurrentProject->ShadowsOutOfDate = 1;
            SetPanelText(3, CurrentProject->Header.Name);
            UpdateAllEditors();
            Modified = 0;
            if (addToRecent)
                AddRecentProject(fileName);
        }
    }
    return loaded;
}

bool TMainForm::SaveProjectTo(const std::string& fileName)
{
    TBusyScope busy(Busy);
    THourglass hourglass;
    return CurrentProject && CurrentProject->SaveToFile(fileName);
}

bool TMainForm::SaveProjectMenuItemClick()
{
    if (Busy) { // saving only reads the project, so a render may go on meanwhile
        ::ShowMessage(BusyMessage);
        return false;
    }
    if (FileName.empty())
        return SaveProjectAsMenuItemClick();
    if (!SaveProjectTo(FileName))
        return false;
    Modified = 0;
    return true;
}

bool TMainForm::SaveProjectAsMenuItemClick()
{
    if (Busy) {
        ::ShowMessage(BusyMessage);
        return false;
    }
    const std::string file = Prompt().SaveFileName("Save Project As", ProjectFileFilter, folderOf(FileName));
    if (file.empty())
        return false;
    if (!SaveProjectTo(file))
        return false;
    FileName = file;
    Modified = 0;
    AddRecentProject(file);
    return true;
}

void TMainForm::EditProjectInfoClick()
{
    if (RefuseWhileBusy() || !CurrentProject)
        return;
    CreateShellDialogs(this);
    FNewProject->ProjectNameEdit->setText(QString::fromStdString(CurrentProject->Header.Name));
    if (FNewProject->exec() != QDialog::Accepted || !CurrentProject)
        return;
    CurrentProject->Header.Name = CutShortString(FNewProject->ProjectNameEdit->text().toStdString());
    SetPanelText(3, CurrentProject->Header.Name);
    Modified = 1;
}

void TMainForm::ExportSettingsClick()
{
    if (Busy) {
        ::ShowMessage(BusyMessage);
        return;
    }
    const std::string file = Prompt().SaveFileName("Export Environment Settings", SettingsFileFilter, folderOf(FileName));
    if (file.empty() || !CurrentProject)
        return;
    CurrentProject->ExportEnvironmentSettings(file);
    UpdateAllEditors();
}

void TMainForm::ImportSettingsClick()
{
    if (RefuseWhileBusy())
        return;
    const std::string file = Prompt().OpenFileName("Import Environment Settings", SettingsFileFilter, folderOf(FileName));
    if (file.empty() || !CurrentProject)
        return;
    // Sections read before a refused one stay applied, so the editors are refreshed either way.
    CurrentProject->ImportEnvironmentSettings(file);
    UpdateAllEditors();
    Modified = 1;
}

void TMainForm::PreferencesMenuItemClick()
{
    // Also reached from a render (WM_RESETPATHS), so only a file operation refuses it.
    if (Busy) {
        ::ShowMessage(BusyMessage);
        return;
    }
    if (!CurrentProject)
        return;
    CreateShellDialogs(this);
    FPathDlg->VegetationEdit->setText(QString::fromStdString(CurrentProject->Actors.Directory));
    FPathDlg->ModelsEdit->setText(QString::fromStdString(CurrentProject->Models.Directory));
    FPathDlg->OverlaysEdit->setText(QString::fromStdString(CurrentProject->Overlays.Directory));
    if (FPathDlg->exec() != QDialog::Accepted || !CurrentProject)
        return;
    CurrentProject->Actors.Directory = CutShortString(FPathDlg->VegetationEdit->text().toStdString());
    CurrentProject->Models.Directory = CutShortString(FPathDlg->ModelsEdit->text().toStdString());
    CurrentProject->Overlays.Directory = CutShortString(FPathDlg->OverlaysEdit->text().toStdString());
    Modified = 1;
}

void TMainForm::SystemPreferencesClick()
{
    CreateShellDialogs(this);
    TChooseOpenGLDlg& dialog = *ChooseOpenGLDlg;
    {
        TWinRegistry settings(QuarlexBaseKey);
        const std::string implementation = settings.ReadString("OpenGL", "Implementation", "SGI");
        dialog.LockOpenGL(false);
        dialog.RenderCheck->setChecked(settings.ReadBool("OpenGL", "RenderToWindow", false));
        dialog.RefreshTimerSpin->setValue(settings.ReadInteger("OpenGL", "RefreshRate", 5));
        dialog.TemplatesSourceEdit->setText(QString::fromStdString(ReadPathSetting("Templates")));
        dialog.RenderCheckClick();
        dialog.CheckImplementation(implementation);
    }
    // The libraries stay as they are while a renderer holds them.
    const bool rendererOpen = ChildWindow(TChildKind::FractalRender) || ChildWindow(TChildKind::OverlayRender);
    if (rendererOpen)
        dialog.LockOpenGL(true);

    if (dialog.exec() == QDialog::Accepted) {
        TWinRegistry settings(QuarlexBaseKey);
        settings.WriteBool("OpenGL", "RenderToWindow", dialog.RenderCheck->isChecked());
        settings.WriteInteger("OpenGL", "RefreshRate", dialog.RefreshTimerSpin->value());
        const std::string implementation = dialog.CheckedImplementation();
        settings.WriteString("OpenGL", "Implementation", implementation);
        bool loaded = true;
        if (!rendererOpen) {
            UnloadOpenGLPair();
            loaded = LoadOpenGLPair(implementation);
            OpenGLImplementation = implementation;
        }
        settings.WriteString("Paths", "Templates", dialog.TemplatesSourceEdit->text().toStdString());
        if (!loaded)
            ::ShowMessage(OpenGLFailedMessage);
    }
    UpdateAllEditors();
}

// ---- Recent projects -----------------------------------------------------------------------------

std::vector<std::string> TMainForm::RecentProjects() const
{
    std::vector<std::string> files;
    for (const QAction* action : recentItems_)
        files.push_back(action->data().toString().toStdString());
    return files;
}

QAction* TMainForm::AddRecentItem(const std::string& fileName, int position)
{
    auto* action = new QAction(menuCaption(fileName), ProjectsMenu);
    action->setData(QString::fromStdString(fileName));
    QAction* before = position < static_cast<int>(recentItems_.size()) ? recentItems_[position] : nullptr;
    ProjectsMenu->insertAction(before, action);
    recentItems_.insert(recentItems_.begin() + position, action);
    connect(action, &QAction::triggered, this, [this, action] {
        const std::string file = action->data().toString().toStdString();
        GuardedCommand([this, file] { RecentProjectClick(file); });
    });
    return action;
}

void TMainForm::AddRecentProject(const std::string& fileName)
{
    for (const QAction* action : recentItems_)
        if (action->data().toString().toStdString() == fileName)
            return; // already listed: the order stays
    AddRecentItem(fileName, 0);
    while (recentItems_.size() > 3) {
        QAction* oldest = recentItems_.back();
        recentItems_.pop_back();
        ProjectsMenu->removeAction(oldest);
        oldest->deleteLater();
    }
    WriteRecentSettings();
}

void TMainForm::WriteRecentSettings()
{
    TWinRegistry settings(QuarlexBaseKey);
    const char* names[3] = {"Last1", "Last2", "Last3"};
    for (size_t i = 0; i < recentItems_.size() && i < 3; ++i)
        settings.WriteString("Menu", names[i], recentItems_[i]->data().toString().toStdString());
}

// ---- Child windows -------------------------------------------------------------------------------------

void TMainForm::RegisterChildWindow(TChildKind kind, TChildFactory factory)
{
    factories()[kind] = std::move(factory);
    if (MainForm)
        if (QAction* item = MainForm->MenuItemOf(kind))
            item->setEnabled(!MainForm->ChildWindow(kind));
}

bool TMainForm::ChildWindowRegistered(TChildKind kind)
{
    auto it = factories().find(kind);
    return it != factories().end() && it->second;
}

TFBaseForm* TMainForm::ChildWindow(TChildKind kind) const { return children_[index(kind)].data(); }

QMdiSubWindow* TMainForm::SubWindowOf(const TFBaseForm* form) const
{
    for (QMdiSubWindow* window : MdiArea->subWindowList())
        if (window->widget() == form)
            return window;
    return nullptr;
}

QRect TMainForm::RendererArea() const { return MdiArea->viewport()->rect(); }

TFBaseForm* TMainForm::ShowChild(TChildKind kind, TFBaseForm* form)
{
    form->SetKind(kind);
    children_[index(kind)] = form;
    QMdiSubWindow* window = MdiArea->addSubWindow(form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    childConnections_.push_back(connect(form, &QObject::destroyed, this, [this, kind] { ChildClosed(kind); }));
    if (QAction* item = MenuItemOf(kind); item && kind != TChildKind::Landscape && kind != TChildKind::Placement)
        item->setEnabled(false);
    if (isRenderer(kind))
        RenderMenuItem->setEnabled(true);
    return form;
}

void TMainForm::ChildClosed(TChildKind kind)
{
    children_[index(kind)] = nullptr;
    if (QAction* item = MenuItemOf(kind))
        item->setEnabled(ChildWindowRegistered(kind));
    if (isRenderer(kind))
        RenderMenuItem->setEnabled(ChildWindow(TChildKind::FractalRender) || ChildWindow(TChildKind::OverlayRender));
}

void TMainForm::BringToFront(QMdiSubWindow* window)
{
    if (!window || !MdiArea->subWindowList().contains(window))
        return;
    // A maximised window keeps its size; a minimised one is restored, since an icon is not a window
    // in front. Activating it raises it above every other and gives it the keyboard; when the
    // window it replaces was maximised, the area maximises this one in its place.
    if (window->isMinimized())
        window->showNormal();
    else if (window->isHidden())
        window->show();
    MdiArea->setActiveSubWindow(window);
    window->raise();
}

TFBaseForm* TMainForm::OpenChildWindow(TChildKind kind)
{
    if (TFBaseForm* open = ChildWindow(kind)) {
        BringToFront(SubWindowOf(open));
        return open;
    }
    if (kind == TChildKind::OverlayRender && ChildWindow(TChildKind::FractalRender)) {
        ::ShowMessage("Please close fractal renderer before opening overlay renderer");
        return nullptr;
    }
    if (kind == TChildKind::FractalRender && ChildWindow(TChildKind::OverlayRender)) {
        ::ShowMessage("Please close overlay renderer before opening fractal renderer");
        return nullptr;
    }
    if (!ChildWindowRegistered(kind))
        return nullptr;
    if (kind == TChildKind::FractalRender && ChildWindowRegistered(TChildKind::EnvWizard)
        && ReadEnvironmentWithRenderer())
        OpenChildWindow(TChildKind::EnvWizard);

    TFBaseForm* form = factories()[kind]();
    if (!form)
        return nullptr;
    ShowChild(kind, form);
    QMdiSubWindow* window = SubWindowOf(form);
    if (kind == TChildKind::OverlayRender) {
        window->setGeometry(RendererArea());
    } else if (kind == TChildKind::FractalRender) {
        const QRect area = RendererArea();
        TWinRegistry settings(QuarlexBaseKey);
        window->setGeometry(settings.ReadInteger("FractalRender", "Left", area.left()),
                            settings.ReadInteger("FractalRender", "Top", area.top()),
                            std::max(100, settings.ReadInteger("FractalRender", "Width", area.width())),
                            std::max(100, settings.ReadInteger("FractalRender", "Height", area.height())));
    }
    window->show();
    form->SetProject(&CurrentProject);
    if (!isRenderer(kind)) {
        {
            TProjectLoadScope filling;
            form->RefreshFromProject();
        }
        Modified = 1;
    }
    // Last, so that nothing the refresh let run (it may pump messages) leaves another in front.
    if (ChildWindow(kind) == form)
        BringToFront(window);
    return ChildWindow(kind);
}

void TMainForm::OutBarClick(int command)
{
    static const std::map<int, TChildKind> commands = {
        {0, TChildKind::FractalRender}, {1, TChildKind::OverlayRender}, {2, TChildKind::Landscape},
        {3, TChildKind::Camera},        {4, TChildKind::Atmosphere},    {5, TChildKind::Cloud},
        {6, TChildKind::FractalParameters}, {7, TChildKind::Water},     {8, TChildKind::Terrain},
        {9, TChildKind::Placement},     {10, TChildKind::Actors},       {12, TChildKind::Urban},
        {13, TChildKind::Overlay},
    };
    auto it = commands.find(command);
    if (it != commands.end())
        GuardedCommand([this, kind = it->second] { OpenChildWindow(kind); });
    // 11 is the ecology editor, which does not exist; higher numbers belong to plug-ins.
}

void TMainForm::UpdateAllEditors()
{
    TProjectLoadScope filling; // reloading the controls changes nothing
    for (QMdiSubWindow* window : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        QPointer<TFBaseForm> form = qobject_cast<TFBaseForm*>(window->widget());
        if (!form)
            continue;
        GuardedCommand([&] {
            switch (form->Kind()) {
            case TChildKind::FractalRender: form->RefreshRenderSettings(); break;
            case TChildKind::OverlayRender: break;
            default: form->RefreshFromProject(); break;
            }
        });
    }
}

void TMainForm::AppMessage(TAppMessage& message)
{
    auto eachChild = [this](auto&& action) {
        for (QMdiSubWindow* window : MdiArea->subWindowList(QMdiArea::CreationOrder))
            if (QPointer<TFBaseForm> form = qobject_cast<TFBaseForm*>(window->widget()))
                action(*form);
    };
    switch (message.Msg) {
    case WM_FORCELIMITEDREDRAW:
        eachChild([](TFBaseForm& form) {
            if (form.Kind() == TChildKind::Terrain)
                form.ShowLayerProperties();
            else if (form.Kind() == TChildKind::Placement)
                form.RefreshLayers();
        });
        break;
    case WM_RESETPATHS: PreferencesMenuItemClick(); break;
    case WM_FRACTALDEPTHCHANGED:
        ProjectChanged(); // the renderer or the fractal editor changed the depth or the models switch
        eachChild([](TFBaseForm& form) {
            if (form.Kind() == TChildKind::FractalParameters)
                form.RefreshFractalDepth();
            else if (form.Kind() == TChildKind::FractalRender)
                form.RefreshRenderSettings();
        });
        break;
    case WM_REFRESHALL: UpdateAllEditors(); break;
    default: break;
    }
}

// ---- Status bar ----------------------------------------------------------------------------------------

void TMainForm::SetProgress(int percent)
{
    if (percent == 0) {
        meter_->SetFill(0); // LastPercent stays
        return;
    }
    if (percent == LastPercent)
        return;
    meter_->SetFill(percent);
    LastPercent = percent;
}

void TMainForm::SetPanelText(int panel, const std::string& text)
{
    if (panel >= 1 && panel <= 3)
        panels_[panel]->setText(QString::fromStdString(text));
}

std::string TMainForm::PanelText(int panel) const
{
    return panel >= 1 && panel <= 3 ? panels_[panel]->text().toStdString() : std::string();
}

QWidget* TMainForm::ProgressPanel() const { return meter_; }

bool TMainForm::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        // ShowHint: the hint of the control under the mouse goes to panel 2.
        panels_[2]->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // Controls carry their hint as a tooltip; the widget announces its status tip when the mouse
    // enters it (and clears it when the mouse leaves), so a hint without a status tip gets one first.
    if (event->type() == QEvent::Enter && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->statusTip().isEmpty() && !widget->toolTip().isEmpty() && widget->window() == this)
            widget->setStatusTip(widget->toolTip());
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Help, windows and the shell dialogs ---------------------------------------------------------------

void TMainForm::HelpAbout()
{
    CreateShellDialogs(this);
    AboutQuarlex2->exec();
}

void TMainForm::HelpContents() { ShowHelpContents(); }
void TMainForm::HelpSearch() { ShowHelpIndex(); }
void TMainForm::FormHelp() { ShowHelpTopic(); }

void TMainForm::DebugClick()
{
    CreateShellDialogs(this);
    DebugDlg->setVisible(!DebugDlg->isVisible());
}

void TMainForm::RenderMenuItemClick()
{
    for (TChildKind kind : {TChildKind::FractalRender, TChildKind::OverlayRender})
        if (TFBaseForm* form = ChildWindow(kind)) {
            BringToFront(SubWindowOf(form));
            return;
        }
}

void TMainForm::Tile1Click() { MdiArea->tileSubWindows(); }
void TMainForm::Cascade1Click() { MdiArea->cascadeSubWindows(); }

void TMainForm::ArrangeAll1Click()
{
    // Lines up the minimised windows along the bottom of the area.
    int x = 0;
    const QRect area = MdiArea->viewport()->rect();
    for (QMdiSubWindow* window : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isMinimized())
            continue;
        const QSize size = window->size();
        window->move(x, area.bottom() - size.height() + 1);
        x += size.width();
    }
}

// ---- Plug-ins ----------------------------------------------------------------------------------------

void TMainForm::ScanPlugins()
{
    plugins_ = std::make_unique<TPluginHost>(this);
    plugins_->AddEntry = [this](const std::string& name) {
        QAction* action = PluginMenu->addAction(QString::fromStdString(name));
        connect(action, &QAction::triggered, this, [this, action] { GuardedCommand([&] { PluginMenuItemClick(action); }); });
        OutBar->BeginUpdate();
        if (TOutPage* page = OutBar->Pages()->GetPage(PluginsPage)) {
            TOutItem* item = page->AddItem();
            item->SetCaption(QString::fromStdString(name));
            item->SetImageIndex(15);
            item->Tag = PluginMenu->actions().size() - 1; // the plug-in's index, as for its menu item
        }
        OutBar->EndUpdate();
    };
    plugins_->RemoveEntries = [this] {
        const QList<QAction*> actions = PluginMenu->actions();
        for (QAction* action : actions) {
            PluginMenu->removeAction(action);
            delete action;
        }
    };
    GuardedCommand([this] { plugins_->ScanPlugins(options_.PluginFolder.empty() ? TPluginHost::DefaultFolder() : options_.PluginFolder); });
    // What a plug-in changed while it was initialised is a change of the project like any other.
    if (TakePluginProjectChanged())
        Modified = 1;
}

void TMainForm::PluginMenuItemClick(QAction* item)
{
    if (!item)
        return;
    const QString caption = item->text();
    int position = -1;
    const QList<QAction*> actions = PluginMenu->actions();
    for (int i = 0; i < actions.size(); ++i)
        if (actions[i]->text() == caption)
            position = i;
    if (position >= 0)
        RunPluginByIndex(position);
}

void TMainForm::RunPluginByIndex(int index)
{
    if (!plugins_ || RefuseWhileBusy())
        return;
    TakePluginProjectChanged();
    plugins_->RunPluginByIndex(index);
    if (TakePluginProjectChanged())
        Modified = 1;
}

void TMainForm::UnloadPlugins()
{
    if (plugins_)
        plugins_->UnloadPlugins();
}
