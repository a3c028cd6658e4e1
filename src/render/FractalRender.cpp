#include "render/FractalRender.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "render/FractalRendererEngine.h"
#include "render/GLPanel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <filesystem>

TFFractalRender* FFractalRender = nullptr;

namespace {

constexpr const char* PlacementSection = "FractalRender";
constexpr const char* PictureFilter = "Bitmaps (*.bmp)";

// Loads a control without running its change handler (loading never writes back).
template <typename Control, typename Setter>
void Load(Control* control, Setter&& set)
{
    const bool blocked = control->blockSignals(true);
    set(control);
    control->blockSignals(blocked);
}

// While a render runs, its status reports reach the main window through this. The engine asks for
// messages after every cell (the shadow pass after every vertex) and moves the meter every line;
// here messages run at most every PumpInterval and the meter moves at most every
// ProgressInterval, which keeps Abort, the status texts and the partial pictures as prompt as the
// user can tell. (The main window's own sink clears the vector state after it paints.)
class TRenderFeedback final : public IStatusSink {
public:
    using TClock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds PumpInterval{10};
    static constexpr std::chrono::milliseconds ProgressInterval{100};

    TRenderFeedback() : inner_(StatusSink()) { previous_ = SetStatusSink(this); }
    ~TRenderFeedback() override
    {
        FlushProgress();
        SetStatusSink(previous_);
    }
    TRenderFeedback(const TRenderFeedback&) = delete;
    TRenderFeedback& operator=(const TRenderFeedback&) = delete;

    void SetOperationText(const std::string& text) override
    {
        inner_.SetOperationText(text);
    }
    void SetStepText(const std::string& text) override
    {
        inner_.SetStepText(text);
    }
    void SetProgress(int percent) override
    {
        const TClock::time_point now = TClock::now();
        // Clearing the meter is never held back; a new value waits for its turn.
        if (percent == 0 || now - lastProgress_ >= ProgressInterval) {
            pending_ = -1;
            ShowProgress(percent, now);
        } else {
            pending_ = percent;
        }
    }
    void SetBusyCursor(bool busy) override
    {
        inner_.SetBusyCursor(busy);
    }
    void ProcessMessages() override
    {
        const TClock::time_point now = TClock::now();
        if (pumped_ && now - lastPump_ < PumpInterval)
            return;
        pumped_ = true;
        lastPump_ = now;
        if (pending_ >= 0 && now - lastProgress_ >= ProgressInterval)
            FlushProgress();
        inner_.ProcessMessages();
    }

private:
    void ShowProgress(int percent, TClock::time_point now)
    {
        lastProgress_ = now;
        inner_.SetProgress(percent);
    }
    void FlushProgress()
    {
        if (pending_ < 0)
            return;
        const int percent = pending_;
        pending_ = -1;
        ShowProgress(percent, TClock::now());
    }

    IStatusSink& inner_;
    IStatusSink* previous_ = nullptr;
    TClock::time_point lastPump_{}, lastProgress_{};
    bool pumped_ = false;
    int pending_ = -1; // a value not shown yet
};

// The window's frame loop adapter.
class TWindowFrames : public IFrameRenderer {
public:
    explicit TWindowFrames(TFFractalRender& window) : window_(window) {}
    bool RenderFrame() override { return window_.RenderPicture(); }
    bool SaveFrame(const std::string& fileName) override { return window_.MainGLPanel->SaveImageToFile(fileName); }
    bool FrameAborted() const override { return window_.Engine().Aborted != 0; }

private:
    TFFractalRender& window_;
};

QAction* AddItem(QMenu* menu, const QString& caption, std::function<void()> action)
{
    QAction* item = menu->addAction(caption);
    QObject::connect(item, &QAction::triggered, menu, std::move(action));
    return item;
}

} // namespace

TFFractalRender::TFFractalRender(QWidget* parent) : TFBaseForm(parent)
{
    FFractalRender = this;
    setWindowTitle(QStringLiteral("Fractal Render"));
    engine_ = std::make_unique<TFractalRenderEngine>();

    MenuBar = new QMenuBar(this);
    FractalMenu = MenuBar->addMenu(QStringLiteral("&Fractal"));
    CopyPictureItem = AddItem(FractalMenu, QStringLiteral("&Copy Picture"), [this] { CopyClick(); });
    SavePictureItem = AddItem(FractalMenu, QStringLiteral("&Save Picture"), [this] { SaveClick(); });
    SavePictureAsItem = AddItem(FractalMenu, QStringLiteral("Save Picture &As..."), [this] { SaveAsClick(); });
    FractalMenu->addSeparator();
    PrintSetupItem = AddItem(FractalMenu, QStringLiteral("Print set&up..."), [this] { PageSetupMenuItemClick(); });
    PrintItem = AddItem(FractalMenu, QStringLiteral("&Print..."), [this] { PrintMenuItemClick(); });
    FractalMenu->addSeparator();
    ResizeMenu = FractalMenu->addMenu(QStringLiteral("Resize..."));
    NWindowSizeItem = AddItem(ResizeMenu, QStringLiteral("Align to &Window Size"), [this] { NWindowSizeClick(); });
    N2XItem = AddItem(ResizeMenu, QStringLiteral("Set to &2x Current Window Size"), [this] { N2XClick(); });
    N3XItem = AddItem(ResizeMenu, QStringLiteral("Set to &3x Current Window Size"), [this] { N3XClick(); });
    N4XItem = ResizeMenu->addAction(QStringLiteral("Set to &4x Current Window Size"));
    N5XItem = ResizeMenu->addAction(QStringLiteral("Set to &5x Current Window Size"));
    N4XItem->setVisible(false);
    N5XItem->setVisible(false);
    RenderImageItem = AddItem(FractalMenu, QStringLiteral("&Render Image"), [this] { RedrawClick(); });
    RunScriptItem = AddItem(FractalMenu, QStringLiteral("R&un Script..."), [this] { RunScriptClick(); });
    FractalMenu->addSeparator();
    ExitItem = AddItem(FractalMenu, QStringLiteral("E&xit"), [this] { close(); });

    ToolBar = new QWidget(this);
    ToolBar->setFixedHeight(ToolBarHeight);
    AbortToolButton = new QToolButton(ToolBar);
    AbortToolButton->setText(QStringLiteral("Abort"));
    AbortToolButton->setToolTip(QStringLiteral("Abort"));
    AbortToolButton->setEnabled(false);
    RedrawToolButton = new QToolButton(ToolBar);
    RedrawToolButton->setText(QStringLiteral("Redraw"));
    RedrawToolButton->setToolTip(QStringLiteral("Redraw"));
    FractalDepthEdit = new QSpinBox(ToolBar);
    FractalDepthEdit->setRange(1, 4);
    FractalDepthEdit->setToolTip(QStringLiteral("Fractal recursion level"));
    DrawNoModelsCheck = new QCheckBox(QStringLiteral("Draw vegetation/models"), ToolBar);
    PreviewModeCheck = new QCheckBox(QStringLiteral("Preview"), ToolBar);
    SizeEdit = new QLineEdit(ToolBar);
    SizeEdit->setEnabled(false);
    SizeEdit->setFixedWidth(90);
    btResize = new QPushButton(QStringLiteral("Resize to window"), ToolBar);
    auto* tools = new QHBoxLayout(ToolBar);
    tools->setContentsMargins(2, 1, 2, 1);
    tools->setSpacing(4);
    tools->addWidget(AbortToolButton);
    tools->addWidget(RedrawToolButton);
    tools->addWidget(FractalDepthEdit);
    tools->addWidget(DrawNoModelsCheck);
    tools->addWidget(PreviewModeCheck);
    tools->addWidget(SizeEdit);
    tools->addWidget(btResize);
    tools->addStretch();

    ScrollBox = new QScrollArea(this);
    ScrollBox->setFrameShape(QFrame::NoFrame);
    ScrollBox->setWidgetResizable(false);
    RenderPanel = new QWidget;
    RenderPanel->setAutoFillBackground(true);
    QPalette white = RenderPanel->palette();
    white.setColor(QPalette::Window, Qt::white);
    RenderPanel->setPalette(white);
    MainGLPanel = new TGLPanel(RenderPanel);
    ScrollBox->setWidget(RenderPanel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window may be narrower than its tool bar: the tool bar is clipped, as the picture is.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    ToolBar->setMinimumWidth(1);
    layout->setMenuBar(MenuBar);
    layout->addWidget(ToolBar);
    layout->addWidget(ScrollBox, 1);

    connect(AbortToolButton, &QToolButton::clicked, this, [this] { AbortToolButtonClick(); });
    connect(RedrawToolButton, &QToolButton::clicked, this, [this] { RedrawToolButtonClick(); });
    connect(FractalDepthEdit, &QSpinBox::valueChanged, this, [this] { FractalDepthEditChange(); });
    connect(DrawNoModelsCheck, &QCheckBox::toggled, this, [this] { DrawNoModelsCheckClick(); });
    connect(PreviewModeCheck, &QCheckBox::toggled, this, [this] { PreviewModeCheckClick(); });
    connect(btResize, &QPushButton::clicked, this, [this] { btResizeClick(); });

    MainGLPanel->OnGLDraw = [this](TGLPanel& panel) { MainGLPanelGLDraw(panel); };
    MainGLPanel->OnGLInit = [this](TGLPanel& panel) { MainGLPanelGLInit(panel); };
    MainGLPanel->OnResize = [](TGLPanel& panel) { panel.update(); };

    // Drawing straight to the window is faster but not reliable everywhere; off-window by default.
    const bool toWindow = TWinRegistry(QuarlexBaseKey).ReadBool("OpenGL", "RenderToWindow", false);
    MainGLPanel->SetGLFlags(toWindow ? SetOf(GLf_DOUBLEBUFFER) | SetOf(GLf_DRAW_TO_WINDOW) | SetOf(GLf_SUPPORT_OPENGL)
                                           | SetOf(GLf_SWAP_COPY)
                                     : SetOf(GLf_DRAW_TO_BITMAP) | SetOf(GLf_SUPPORT_GDI) | SetOf(GLf_SUPPORT_OPENGL));
    // Both paths keep their context from render to render: what every render draws with is made
    // in it when it is made (on the window's first showing), and found there afterwards.
    MainGLPanel->OnGLPrep = [](TGLPanel& p) { TFractalRenderEngine::PrepareContext(p.width(), p.height()); };
    SetRenderSize(400, 300);
}

TFFractalRender::~TFFractalRender()
{
    if (FFractalRender == this)
        FFractalRender = nullptr;
}

void TFFractalRender::SetProject(TProject** project)
{
    TFBaseForm::SetProject(project);
    engine_->SetProject(project);
    MainGLPanel->GLObjectLoaded = true;
    if (!project || !*project)
        return;
    TProject& current = **project;
    current.ShadowsOutOfDate = 1;
    Load(PreviewModeCheck, [&](QCheckBox* box) { box->setChecked(current.Fractal.PreviewMode != 0); });
    RefreshRenderSettings();
}

void TFFractalRender::RefreshRenderSettings()
{
    TProject* project = AttachedProject();
    if (!project)
        return;
    const TFractalBlock& fractal = project->Fractal;
    Load(FractalDepthEdit, [&](QSpinBox* edit) { edit->setValue(fractal.FractalDepth); });
    Load(DrawNoModelsCheck, [&](QCheckBox* box) { box->setChecked(fractal.DrawNoModels == 0); });
}

void TFFractalRender::RefreshFromProject() { RenderPicture(); }

bool TFFractalRender::RenderPicture()
{
    if (rendering_)
        return false;
    // Held until the controls are back: the main window refuses project commands meanwhile.
    TRenderLock lock;
    rendering_ = 1;
    drawn_ = 0;
    SetRenderingState(true);
    std::string failure;
    try {
        TRenderFeedback feedback;
        MainGLPanel->Redraw();
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "Unknown error";
    }
    rendering_ = 0;
    SetRenderingState(false);
    update();
    if (!failure.empty()) {
        StatusSink().SetOperationText("Render failed: " + failure);
        ShowError(failure);
        return false;
    }
    if (!drawn_) {
        // The panel could not draw (it has said why, when it knows).
        StatusSink().SetOperationText("Render failed: the picture could not be drawn");
        return false;
    }
    // A failing engine has already reported itself.
    return engine_->LastError.empty();
}

bool TFFractalRender::FormCloseQuery() const { return !rendering_ && !scriptRunning_; }

void TFFractalRender::SetRenderingState(bool rendering)
{
    const bool busy = rendering || scriptRunning_;
    RedrawToolButton->setEnabled(!busy);
    AbortToolButton->setEnabled(rendering);
    RenderImageItem->setEnabled(!busy);
    RunScriptItem->setEnabled(!busy);
    // The picture keeps its size while it is drawn.
    for (QAction* item : {NWindowSizeItem, N2XItem, N3XItem})
        item->setEnabled(!busy);
    btResize->setEnabled(!busy);
}

void TFFractalRender::MainGLPanelGLDraw(TGLPanel& panel)
{
    drawn_ = 1;
    panel.ReGetContext = true;
    MainGLPanelGLInit(panel);
    update();
    engine_->Render(panel);
}

void TFFractalRender::MainGLPanelGLInit(TGLPanel&)
{
    if (const TGLEntryPoints* gl = GLEntryPoints()) {
        gl->glEnable(GL_DEPTH_TEST);
        gl->glEnable(GL_CULL_FACE);
    }
}

void TFFractalRender::AbortToolButtonClick() { engine_->Aborted = 1; }

TProject* TFFractalRender::AttachedProject() const { return ProjectVar() ? *ProjectVar() : nullptr; }

void TFFractalRender::FractalDepthEditChange()
{
    TProject* attached = AttachedProject();
    if (!attached)
        return;
    TProject& project = *attached;
    if (FractalDepthEdit->value() == project.Fractal.FractalDepth)
        return;
    project.Fractal.FractalDepth = FractalDepthEdit->value();
    BroadcastToForms(TAppMessage{WM_FRACTALDEPTHCHANGED, 0, 0, 0});
}

void TFFractalRender::DrawNoModelsCheckClick()
{
    TProject* attached = AttachedProject();
    if (!attached)
        return;
    TProject& project = *attached;
    const bool ticked = DrawNoModelsCheck->isChecked();
    // The box says "draw", the project says "draw none": equal values mean they disagree.
    if (ticked != (project.Fractal.DrawNoModels != 0))
        return;
    project.Fractal.DrawNoModels = ticked ? 0 : 1;
    BroadcastToForms(TAppMessage{WM_FRACTALDEPTHCHANGED, 0, 0, 0});
}

void TFFractalRender::PreviewModeCheckClick()
{
    if (TProject* project = AttachedProject())
        project->Fractal.PreviewMode = PreviewModeCheck->isChecked() ? 1 : 0;
}

// ---- Size ----------------------------------------------------------------------------------------

int TFFractalRender::ClientWidth() const { return width(); }

int TFFractalRender::ClientHeight() const
{
    if (layout())
        layout()->activate();
    return height() - (MenuBar->isHidden() ? 0 : MenuBar->height());
}

void TFFractalRender::SetRenderSize(int width, int height)
{
    width = std::max(1, width);
    height = std::max(1, height);
    RenderPanel->resize(width, height);
    MainGLPanel->setGeometry(0, 0, width, height);
    // The panel keeps its width a multiple of 4; the white area around it follows.
    RenderPanel->resize(MainGLPanel->width(), MainGLPanel->height());
    ShowSize();
    // The panel keeps its context for one size: the one for a new size is made ahead as well.
    if (sizedOnce_)
        QTimer::singleShot(0, MainGLPanel, [panel = MainGLPanel] { panel->PrepareContext(); });
}

void TFFractalRender::ShowSize()
{
    SizeEdit->setText(QStringLiteral("%1 x %2").arg(MainGLPanel->width()).arg(MainGLPanel->height()));
}

void TFFractalRender::NWindowSizeClick()
{
    SetRenderSize(ClientWidth(), ClientHeight() - ToolBarHeight);
    ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TFFractalRender::SizeFromWindow(int factor)
{
    SetRenderSize(factor * ClientWidth(), factor * ClientHeight() - ToolBarHeight);
    ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TFFractalRender::resizeEvent(QResizeEvent* event)
{
    TFBaseForm::resizeEvent(event);
    ShowSize();
}

void TFFractalRender::showEvent(QShowEvent* event)
{
    TFBaseForm::showEvent(event);
    if (!sizedOnce_) {
        sizedOnce_ = true;
        // The render area takes the window's size, and the panel's context for it is made while
        // the user looks at the window, not when the first render is asked for.
        NWindowSizeClick();
    }
}

// ---- Picture -------------------------------------------------------------------------------------

void TFFractalRender::SaveClick()
{
    if (PictureFileName.empty())
        SaveAsClick();
    else
        MainGLPanel->SaveImageToFile(PictureFileName);
}

void TFFractalRender::SaveAsClick()
{
    std::string name = Prompt().SaveFileName("Save Picture As", PictureFilter, PictureFileName);
    if (name.empty())
        return;
    if (std::filesystem::path(name).extension().empty())
        name += ".bmp";
    // A name that could not be written is not offered again silently.
    if (MainGLPanel->SaveImageToFile(name))
        PictureFileName = name;
}

void TFFractalRender::CopyClick() { MainGLPanel->CopyToClipboard(); }

void TFFractalRender::PrintMenuItemClick() { MainGLPanel->Print(); }

void TFFractalRender::PageSetupMenuItemClick()
{
    QPageSetupDialog dialog(&MainGLPanel->Printer(), this);
    dialog.exec();
}

// ---- Script runs ---------------------------------------------------------------------------------

void TFFractalRender::RunScriptClick()
{
    if (!FormCloseQuery())
        return;
    TRunScriptDlg& dialog = EnsureRunScriptDlg(window());
    if (dialog.exec() != QDialog::Accepted)
        return;
    RunScript(dialog.Choice());
}

TScriptRun TFFractalRender::RunScript(const TScriptChoice& choice)
{
    if (!FormCloseQuery())
        return TScriptRun{TScriptEnd::RenderFailed, 0, 0, "A render is running"};
    // Nothing may replace or change the project between the frames of the run either.
    TRenderLock lock;
    scriptRunning_ = 1;
    SetRenderingState(false);
    TScriptRun run;
    try {
        TWindowFrames frames(*this);
        run = RunAnimationScript(Project(), choice, frames);
    } catch (const std::exception& error) {
        run.End = TScriptEnd::RenderFailed;
        run.Message = error.what();
        ShowError(run.Message);
    }
    scriptRunning_ = 0;
    SetRenderingState(false);
    return run;
}

void TFFractalRender::ReplaceEngine(std::unique_ptr<TFractalRenderEngine> engine)
{
    if (rendering_ || !engine)
        return;
    engine_ = std::move(engine);
    engine_->SetProject(ProjectVar());
}

// ---- Closing -------------------------------------------------------------------------------------

void TFFractalRender::WritePlacement()
{
    if (placementWritten_)
        return;
    placementWritten_ = true;
    // Inside the main window the frame around the form is what gets placed.
    const QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    const QRect placed = frame->geometry();
    TWinRegistry settings(QuarlexBaseKey);
    settings.WriteInteger(PlacementSection, "Top", placed.top());
    settings.WriteInteger(PlacementSection, "Left", placed.left());
    settings.WriteInteger(PlacementSection, "Width", placed.width());
    settings.WriteInteger(PlacementSection, "Height", placed.height());
}

void TFFractalRender::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    WritePlacement();
    TFBaseForm::closeEvent(event);
}
