#include "render/OverlayRender.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/WinReg.h"
#include "render/GLPanel.h"
#include "render/OverlayRendererEngine.h"
#include "render/script.h"

#include <QAction>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>
#include <filesystem>

TFOverlayRender* FOverlayRender = nullptr;

namespace {

TOverlayScriptRunner& scriptRunner()
{
    static TOverlayScriptRunner runner;
    return runner;
}

QToolButton* toolButton(QToolBar* bar, const QString& text, const QString& hint)
{
    auto* button = new QToolButton(bar);
    button->setText(text);
    button->setToolTip(hint);
    bar->addWidget(button);
    return button;
}

} // namespace

void SetOverlayScriptRunner(TOverlayScriptRunner runner)
{
    scriptRunner() = std::move(runner);
    if (FOverlayRender && FOverlayRender->RunScriptMenuItem)
        FOverlayRender->RunScriptMenuItem->setEnabled(bool(scriptRunner()) && !FOverlayRender->Rendering()
                                                      && !FOverlayRender->ScriptRunning());
}

TFOverlayRender::TFOverlayRender(QWidget* parent) : TFBaseForm(parent)
{
    FOverlayRender = this;
    setWindowTitle(QStringLiteral("Overlay Renderer"));
    resize(640, 480);
    ExecPrinterSetup = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        dialog.setWindowTitle(QStringLiteral("Printer setup"));
        return dialog.exec() == QDialog::Accepted;
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    MenuBar = new QMenuBar(this);
    layout->setMenuBar(MenuBar);
    QMenu* menu = MenuBar->addMenu(QStringLiteral("&Overlay"));
    CopyMenuItem = menu->addAction(QStringLiteral("&Copy Picture"));
    SaveMenuItem = menu->addAction(QStringLiteral("&Save Picture"));
    SaveAsMenuItem = menu->addAction(QStringLiteral("Save Picture &As..."));
    menu->addSeparator();
    PrinterSetupMenuItem = menu->addAction(QStringLiteral("Printer set&up..."));
    PrintMenuItem = menu->addAction(QStringLiteral("&Print..."));
    menu->addSeparator();
    RenderMenuItem = menu->addAction(QStringLiteral("&Render Image"));
    RunScriptMenuItem = menu->addAction(QStringLiteral("R&un Script..."));
    menu->addSeparator();
    ExitMenuItem = menu->addAction(QStringLiteral("E&xit"));
    connect(CopyMenuItem, &QAction::triggered, this, [this] { CopyClick(); });
    connect(SaveMenuItem, &QAction::triggered, this, [this] { SaveClick(); });
    connect(SaveAsMenuItem, &QAction::triggered, this, [this] { SaveAsClick(); });
    connect(PrinterSetupMenuItem, &QAction::triggered, this, [this] { PrinterSetupMenuItemClick(); });
    connect(PrintMenuItem, &QAction::triggered, this, [this] { PrintMenuItemClick(); });
    connect(RenderMenuItem, &QAction::triggered, this, [this] { RedrawClick(); });
    connect(RunScriptMenuItem, &QAction::triggered, this, [this] { RunScriptClick(); });
    connect(ExitMenuItem, &QAction::triggered, this, [this] { close(); });
    // The script run comes from elsewhere; without it the item cannot be chosen.
    RunScriptMenuItem->setEnabled(bool(scriptRunner()));

    auto* tools = new QToolBar(this);
    AbortToolButton = toolButton(tools, QStringLiteral("Abort"), QStringLiteral("Abort"));
    AbortToolButton->setEnabled(false);
    RedrawToolButton = toolButton(tools, QStringLiteral("Redraw"), QStringLiteral("Redraw"));
    tools->addSeparator();
    SizeEdit = new QLineEdit(tools);
    SizeEdit->setReadOnly(true);
    SizeEdit->setMaximumWidth(110);
    tools->addWidget(SizeEdit);
    layout->addWidget(tools);
    connect(AbortToolButton, &QToolButton::clicked, this, [this] { AbortToolButtonClick(); });
    connect(RedrawToolButton, &QToolButton::clicked, this, [this] { RedrawToolButtonClick(); });

    // FormCreate: the panel fills the client area; the engine; the size; the drawing path.
    MainGLPanel = new TGLPanel(this);
    MainGLPanel->setObjectName(QStringLiteral("MainGLPanel"));
    layout->addWidget(MainGLPanel, 1);
    Engine = std::make_unique<TOverlayRenderEngine>();
    UpdateSizeEdit();
    const bool toWindow = TWinRegistry(QuarlexBaseKey).ReadBool("OpenGL", "RenderToWindow", false);
    MainGLPanel->SetGLFlags(toWindow ? SetOf(GLf_DOUBLEBUFFER) | SetOf(GLf_DRAW_TO_WINDOW) | SetOf(GLf_SUPPORT_OPENGL)
                                           | SetOf(GLf_SWAP_COPY)
                                     : SetOf(GLf_DRAW_TO_BITMAP) | SetOf(GLf_SUPPORT_GDI) | SetOf(GLf_SUPPORT_OPENGL));
    MainGLPanel->OnGLDraw = [this](TGLPanel&) { MainGLPanelGLDraw(); };
    MainGLPanel->OnGLInit = [this](TGLPanel&) { MainGLPanelGLInit(); };
    MainGLPanel->OnResize = [this](TGLPanel&) { MainGLPanelResize(); };
}

TFOverlayRender::~TFOverlayRender()
{
    // The main window re-enables its renderer items itself when this window goes.
    MainGLPanel->OnGLDraw = nullptr;
    MainGLPanel->OnGLInit = nullptr;
    MainGLPanel->OnResize = nullptr;
    Engine.reset();
    if (FOverlayRender == this)
        FOverlayRender = nullptr;
}

void TFOverlayRender::SetProject(TProject** project)
{
    TFBaseForm::SetProject(project);
    Engine->SetProject(project);
    if (project && *project)
        (*project)->ShadowsOutOfDate = 1;
    MainGLPanel->GLObjectLoaded = true;
}

void TFOverlayRender::SetRenderControls(bool rendering)
{
    RedrawToolButton->setEnabled(!rendering);
    AbortToolButton->setEnabled(rendering);
    RenderMenuItem->setEnabled(!rendering);
    RunScriptMenuItem->setEnabled(!rendering && !scriptRunning_ && bool(scriptRunner()));
}

void TFOverlayRender::RefreshFromProject()
{
    // The render pumps messages, so a second request can arrive meanwhile; it would end with the
    // buttons of an idle window while the first render still runs.
    if (rendering_)
        return;
    if (!TRenderEngine::OpenGLReady())
        return;
    struct TRenderingScope {
        TFOverlayRender& form;
        TRenderLock lock;
        explicit TRenderingScope(TFOverlayRender& f) : form(f)
        {
            form.rendering_ = true;
            form.SetRenderControls(true);
        }
        ~TRenderingScope()
        {
            form.SetRenderControls(false);
            form.rendering_ = false;
        }
    } scope(*this);
    try {
        MainGLPanel->Redraw();
    } catch (const std::exception&) {
        ShowError("crashed");
    } catch (...) {
        ShowError("crashed");
    }
}

void TFOverlayRender::MainGLPanelGLDraw()
{
    MainGLPanel->ReGetContext = true;
    MainGLPanelGLInit();
    update();
    Engine->Render(*MainGLPanel);
}

void TFOverlayRender::MainGLPanelGLInit()
{
    const TGLEntryPoints& gl = GL();
    gl.glEnable(GL_DEPTH_TEST);
    gl.glEnable(GL_CULL_FACE);
}

void TFOverlayRender::MainGLPanelResize()
{
    UpdateSizeEdit();
    update();
}

void TFOverlayRender::RedrawClick() { RefreshFromProject(); }
void TFOverlayRender::RedrawToolButtonClick() { RefreshFromProject(); }
void TFOverlayRender::AbortToolButtonClick() { Engine->Aborted = 1; }

void TFOverlayRender::SaveClick()
{
    if (pictureFileName_.empty())
        SaveAsClick();
    else
        MainGLPanel->SaveImageToFile(pictureFileName_);
}

void TFOverlayRender::SaveAsClick()
{
    const std::string start =
        pictureFileName_.empty() ? std::string() : std::filesystem::path(pictureFileName_).parent_path().string();
    std::string name = Prompt().SaveFileName("Save Picture As", "Bitmaps (*.bmp)", start);
    if (name.empty())
        return;
    if (std::filesystem::path(name).extension().empty())
        name += ".bmp";
    // Only a name that could be written is kept, so a later Save never retries a bad one silently.
    if (MainGLPanel->SaveImageToFile(name))
        pictureFileName_ = name;
}

void TFOverlayRender::CopyClick() { MainGLPanel->CopyToClipboard(); }
void TFOverlayRender::PrintMenuItemClick() { MainGLPanel->Print(); }

void TFOverlayRender::PrinterSetupMenuItemClick()
{
    if (ExecPrinterSetup)
        ExecPrinterSetup(MainGLPanel->Printer());
}

void TFOverlayRender::RunScriptClick()
{
    if (rendering_ || scriptRunning_ || !scriptRunner())
        return;
    // The whole run, frames and saves between the renders included, keeps the project and the
    // window in place.
    struct TScriptScope {
        TFOverlayRender& form;
        TRenderLock lock;
        explicit TScriptScope(TFOverlayRender& f) : form(f)
        {
            form.scriptRunning_ = true;
            form.RunScriptMenuItem->setEnabled(false);
        }
        ~TScriptScope()
        {
            form.scriptRunning_ = false;
            form.RunScriptMenuItem->setEnabled(!form.rendering_ && bool(scriptRunner()));
        }
    } scope(*this);
    try {
        scriptRunner()(*this);
    } catch (...) {
        ShowError("crashed");
    }
}

void TFOverlayRender::closeEvent(QCloseEvent* event)
{
    // Freeing the window under a running render would pull the panel away from it.
    if (rendering_ || scriptRunning_ || !RedrawToolButton->isEnabled()) {
        event->ignore();
        return;
    }
    TFBaseForm::closeEvent(event);
}

void TFOverlayRender::resizeEvent(QResizeEvent* event)
{
    TFBaseForm::resizeEvent(event);
    UpdateSizeEdit();
}

void TFOverlayRender::UpdateSizeEdit()
{
    SizeEdit->setText(QStringLiteral("%1 x %2").arg(MainGLPanel->width()).arg(MainGLPanel->height()));
}

// ---- Script runs ---------------------------------------------------------------------------------

void RunOverlayAnimation(TFOverlayRender& form)
{
    TRunScriptDlg& dialog = EnsureRunScriptDlg(form.window());
    if (dialog.exec() != QDialog::Accepted)
        return;
    class TFrames : public IFrameRenderer {
    public:
        explicit TFrames(TFOverlayRender& window) : window_(window) {}
        bool RenderFrame() override
        {
            window_.RefreshFromProject();
            return window_.Engine->LastError.empty();
        }
        bool SaveFrame(const std::string& fileName) override { return window_.MainGLPanel->SaveImageToFile(fileName); }
        bool FrameAborted() const override { return window_.Engine->Aborted != 0; }

    private:
        TFOverlayRender& window_;
    } frames(form);
    RunAnimationScript(form.Project(), dialog.Choice(), frames);
}
