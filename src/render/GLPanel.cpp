#include "render/GLPanel.h"

#include "platform/GLEntryPoints.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/SafeFile.h"
#include "project/WinReg.h"

#include <QBuffer>
#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QPainter>
#include <QRegion>
#include <QPrinter>
#include <QResizeEvent>
#include <QScreen>

#include <vector>

namespace {

const char* const kDepthMessage =
    "Cannot initialize OpenGL at display colour depth.  Please set your display to true or high color";

// "OpenGL"/"RefreshRate" in seconds; a value below 1 would make the timer spin.
int RefreshRateSeconds()
{
    const TWinRegistry registry(QuarlexBaseKey);
    const int seconds = registry.ReadInteger("OpenGL", "RefreshRate", 5);
    return seconds >= 1 && seconds <= 3600 ? seconds : 5;
}

// Resets a flag however the scope is left.
struct TFlagScope {
    uint8_t& flag;
    explicit TFlagScope(uint8_t& f) : flag(f) { flag = 1; }
    ~TFlagScope() { flag = 0; }
};

// Stops the partial-result timer however the draw ends.
struct TTimerScope {
    QTimer* timer;
    explicit TTimerScope(QTimer* t) : timer(t) { if (timer) timer->start(); }
    ~TTimerScope() { if (timer) timer->stop(); }
};

void ShowContextError()
{
    TPromptCaption caption("OpenGL");
    ShowMessage("OpenGL Error in wglMakeCurrent");
}

} // namespace

uint16_t TranslateFlags(TPFDFlags flags)
{
    return static_cast<uint16_t>(flags & ((1u << (GLf_SWAP_COPY + 1)) - 1));
}

uint16_t TranslatePixelType(TPFDPixelTypes types)
{
    return (types & SetOf(GLp_TYPE_COLORINDEX)) ? 1 : 0;
}

int16_t TranslateLayerType(TPFDLayerTypes types)
{
    if (types & SetOf(GLL_UNDERLAY_PLANE))
        return -1;
    if (types & SetOf(GLL_OVERLAY_PLANE))
        return 1;
    return 0;
}

TGLPanel::TGLPanel(QWidget* parent, int desktopBitsPerPixel) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    flags_ = SetOf(GLf_DOUBLEBUFFER) | SetOf(GLf_DRAW_TO_WINDOW) | SetOf(GLf_SUPPORT_OPENGL);
    int bits = desktopBitsPerPixel;
    if (bits == 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        bits = screen ? screen->depth() : 24;
    }
    if (flags_ & SetOf(GLf_DRAW_TO_WINDOW)) {
        if (bits == 16 || bits == 24 || bits == 32) {
            colorBits_ = static_cast<uint32_t>(bits);
        } else {
            TPromptCaption caption("OpenGL");
            Prompt().Ask(kDepthMessage, {TAnswer::Ok, TAnswer::Cancel}, TMsgIcon::None);
            usable_ = false;
            return; // no picture and no timer: this panel never draws
        }
    } else {
        colorBits_ = 24;
    }
    depthBits_ = 32;
    needContext_ = 1;
    picture_ = QImage(qMax(1, width()), qMax(1, height()), QImage::Format_RGB32);
    picture_.fill(Qt::white);
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, [this] { ShowPartialPicture(); });
}

TGLPanel::~TGLPanel()
{
    DestroyContext();
}

void TGLPanel::SetGLColorBits(uint32_t bits) { colorBits_ = bits; formatChanged_ = 1; }
void TGLPanel::SetGLDepthBits(uint32_t bits) { depthBits_ = bits; formatChanged_ = 1; }
void TGLPanel::SetGLFlags(TPFDFlags flags) { flags_ = flags; formatChanged_ = 1; }
void TGLPanel::SetGLPixelType(TPFDPixelTypes types) { pixelType_ = types; formatChanged_ = 1; }
void TGLPanel::SetGLLayerType(TPFDLayerTypes types) { layerType_ = types; formatChanged_ = 1; }

QPrinter& TGLPanel::Printer()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>();
    return *printer_;
}

void TGLPanel::RunEvent(const TGLEvent& event)
{
    if (event)
        event(*this);
}

bool TGLPanel::CreateContext()
{
    DestroyContext();
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    const int channel = colorBits_ <= 16 ? 5 : 8;
    format.setRedBufferSize(channel);
    format.setGreenBufferSize(colorBits_ <= 16 ? 6 : 8);
    format.setBlueBufferSize(channel);
    format.setDepthBufferSize(static_cast<int>(qMin<uint32_t>(depthBits_, 255)));
    format.setSwapBehavior(DoubleBuffered() ? QSurfaceFormat::DoubleBuffer : QSurfaceFormat::SingleBuffer);
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(format);
    if (!context->create())
        return false;
    auto surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(context->format());
    surface->create();
    if (!surface->isValid() || !context->makeCurrent(surface.get()))
        return false;
    context_ = std::move(context);
    surface_ = std::move(surface);
    const QSize size(qMax(1, width()), qMax(1, height()));
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(depthBits_ > 0 ? QOpenGLFramebufferObject::Depth : QOpenGLFramebufferObject::NoAttachment);
    fboFormat.setInternalTextureFormat(colorBits_ <= 16 ? GL_RGB5 : GL_RGBA8);
    fbo_ = std::make_unique<QOpenGLFramebufferObject>(size, fboFormat);
    if (!fbo_->isValid() || !fbo_->bind()) {
        DestroyContext();
        return false;
    }
    return true;
}

bool TGLPanel::MakeCurrent()
{
    if (!context_ || !surface_)
        return false;
    if (!context_->makeCurrent(surface_.get()))
        return false;
    // The framebuffer follows the panel's size.
    const QSize size(qMax(1, width()), qMax(1, height()));
    if (!fbo_ || fbo_->size() != size) {
        fbo_.reset();
        QOpenGLFramebufferObjectFormat fboFormat;
        fboFormat.setAttachment(depthBits_ > 0 ? QOpenGLFramebufferObject::Depth : QOpenGLFramebufferObject::NoAttachment);
        fboFormat.setInternalTextureFormat(colorBits_ <= 16 ? GL_RGB5 : GL_RGBA8);
        fbo_ = std::make_unique<QOpenGLFramebufferObject>(size, fboFormat);
        if (!fbo_->isValid())
            return false;
    }
    return fbo_->bind();
}

void TGLPanel::DestroyContext()
{
    if (context_ && surface_)
        context_->makeCurrent(surface_.get()); // the framebuffer is freed in its own context
    fbo_.reset();
    if (context_)
        context_->doneCurrent();
    context_.reset();
    surface_.reset();
    bitmapContextSize_ = QSize();
    newStateKept_ = false;
}

bool TGLPanel::BitmapContext()
{
    const QSize size(qMax(1, width()), qMax(1, height()));
    const bool formatChanged = formatChanged_ != 0;
    formatChanged_ = 0;
    if (context_ && newStateKept_ && !formatChanged && bitmapContextSize_ == size && MakeCurrent() &&
        RestoreNewContextState())
        return true;
    if (!CreateContext())
        return false;
    bitmapContextSize_ = size;
    // The state of the new context, kept at the bottom of its attribute stacks to go back to.
    if (const TGLEntryPoints* gl = GLEntryPoints()) {
        gl->glPushAttrib(GL_ALL_ATTRIB_BITS);
        gl->glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        newStateKept_ = gl->glGetError() == GL_NO_ERROR;
    }
    return true;
}

bool TGLPanel::RestoreNewContextState()
{
    const TGLEntryPoints* gl = GLEntryPoints();
    if (!gl)
        return false;
    // Errors the last draw left are not this draw's.
    for (int k = 0; k < 64 && gl->glGetError() != GL_NO_ERROR; ++k) {
    }
    gl->glRenderMode(GL_RENDER);
    const struct {
        GLenum Mode, Depth;
    } stacks[] = {{GL_TEXTURE, GL_TEXTURE_STACK_DEPTH},
                  {GL_PROJECTION, GL_PROJECTION_STACK_DEPTH},
                  {GL_MODELVIEW, GL_MODELVIEW_STACK_DEPTH}};
    for (const auto& stack : stacks) {
        gl->glMatrixMode(stack.Mode);
        GLint depth = 1;
        gl->glGetIntegerv(stack.Depth, &depth);
        for (; depth > 1; --depth)
            gl->glPopMatrix();
        gl->glLoadIdentity();
    }
    // Down to the kept entry of each attribute stack (a draw may have left entries of its own),
    // which is taken back, restoring the new state (the matrix mode too), and kept again.
    GLint attribDepth = 0, clientDepth = 0;
    gl->glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attribDepth);
    gl->glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &clientDepth);
    if (attribDepth < 1 || clientDepth < 1)
        return false; // the kept entries were taken by a draw
    for (; attribDepth > 1; --attribDepth)
        gl->glPopAttrib();
    for (; clientDepth > 1; --clientDepth)
        gl->glPopClientAttrib();
    gl->glPopAttrib();
    gl->glPopClientAttrib();
    gl->glPushAttrib(GL_ALL_ATTRIB_BITS);
    gl->glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    // The current vertex values are set as well: Mesa does not take them back from the stack.
    gl->glColor4f(1, 1, 1, 1);
    gl->glNormal3f(0, 0, 1);
    gl->glTexCoord2f(0, 0);
    // Nothing drawn yet, as in a new framebuffer (the clear values and masks are the new ones).
    gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    return gl->glGetError() == GL_NO_ERROR;
}

QImage TGLPanel::ReadFramebuffer()
{
    const TGLEntryPoints* gl = GLEntryPoints();
    if (!gl || !fbo_ || QOpenGLContext::currentContext() != context_.get())
        return {};
    const int w = fbo_->width(), h = fbo_->height();
    gl->glFinish();
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~static_cast<size_t>(3);
    std::vector<unsigned char> pixels(stride * static_cast<size_t>(h));
    gl->glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    // OpenGL's rows run bottom-up.
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        memcpy(image.scanLine(y), pixels.data() + stride * static_cast<size_t>(h - 1 - y), static_cast<size_t>(w) * 3);
    return image;
}

void TGLPanel::Redraw()
{
    if (!usable_ || painting_ || drawing_)
        return;
    TFlagScope guard(painting_);
    if (BitmapPath())
        BitmapPathDraw();
    else
        WindowPath();
}

void TGLPanel::PrepareContext()
{
    if (!usable_ || painting_ || drawing_)
        return;
    TFlagScope guard(painting_);
    if (!BitmapPath()) {
        WindowContext();
        return;
    }
    // The draw itself tells the user when no context can be made, or an event fails.
    try {
        if (BitmapContext()) {
            RunEvent(OnGLInit);
            RunEvent(OnGLPrep);
            RunEvent(OnResize);
        }
    } catch (...) {
    }
    LeaveContext();
}

void TGLPanel::LeaveContext()
{
    if (context_ && QOpenGLContext::currentContext() == context_.get())
        context_->doneCurrent();
}

bool TGLPanel::WindowContext()
{
    ReGetContext = true;
    if (formatChanged_) {
        // A new surface format needs a new context, so the set-up events run again.
        formatChanged_ = 0;
        needContext_ = 1;
    }
    if (needContext_) {
        needContext_ = 0;
        ReGetContext = false;
        if (!CreateContext()) {
            ShowContextError();
            needContext_ = 1;
            return false;
        }
        RunEvent(OnGLInit);
        RunEvent(OnGLPrep);
        RunEvent(OnResize);
    } else if (ReGetContext) {
        MakeCurrent();
        ReGetContext = false;
    }
    return true;
}

void TGLPanel::WindowPath()
{
    if (!WindowContext())
        return;
    {
        TTimerScope timer(timer_);
        TFlagScope drawing(drawing_);
        RunEvent(OnGLDraw);
    }
    sizeChanged_ = 0;
    if (QOpenGLContext::currentContext() != context_.get())
        MakeCurrent(); // an event may have made another context current
    shown_ = ReadFramebuffer();
    if (GLObjectLoaded && !shown_.isNull())
        picture_ = shown_;
    update();
}

void TGLPanel::BitmapPathDraw()
{
    timer_->setInterval(RefreshRateSeconds() * 1000);
    picture_ = QImage(qMax(1, width()), qMax(1, height()), QImage::Format_RGB32);
    picture_.fill(Qt::white);
    needContext_ = 1;
    sizeChanged_ = 0;
    // The context is kept for the next draw, but current only during this one, however it ends.
    struct TContextScope {
        TGLPanel& panel;
        ~TContextScope() { panel.LeaveContext(); }
    } contextScope{*this};
    if (!BitmapContext()) {
        ShowContextError();
        // Drawing goes on, but never into some other panel's context.
        if (QOpenGLContext* other = QOpenGLContext::currentContext())
            other->doneCurrent();
    }
    if (needContext_) {
        RunEvent(OnGLInit);
        RunEvent(OnGLPrep);
        RunEvent(OnResize);
        needContext_ = 0;
    }
    {
        TTimerScope timer(timer_);
        TFlagScope drawing(drawing_);
        RunEvent(OnGLDraw);
    }
    if (context_ && QOpenGLContext::currentContext() != context_.get())
        MakeCurrent();
    const QImage finished = ReadFramebuffer();
    if (!finished.isNull())
        picture_ = finished;
    shown_ = picture_;
    repaint();
}

void TGLPanel::ShowPartialPicture()
{
    const TGLEntryPoints* gl = GLEntryPoints();
    const bool ours = gl && context_ && QOpenGLContext::currentContext() == context_.get();
    if (ours)
        SafeGLFlush(*gl);
    if (BitmapPath()) {
        if (ours && drawing_) {
            QImage partial = ReadFramebuffer();
            if (!partial.isNull())
                copy_ = std::move(partial);
        }
        repaint();
        StatusSink().ProcessMessages();
    } else if (DoubleBuffered() && ours) {
        ShowFramebuffer();
        repaint();
    }
    if (gl && context_ && QOpenGLContext::currentContext() == context_.get())
        SafeGLFlush(*gl);
}

void TGLPanel::ShowFramebuffer()
{
    shown_ = ReadFramebuffer();
    if (!shown_.isNull())
        sizeChanged_ = 0;
}

void TGLPanel::SwapNow()
{
    const TGLEntryPoints* gl = GLEntryPoints();
    if (!gl || !context_ || QOpenGLContext::currentContext() != context_.get())
        return;
    SafeGLFlush(*gl);
    if (DoubleBuffered() && !BitmapPath()) {
        ShowFramebuffer();
        update();
    }
}

void TGLPanel::paintEvent(QPaintEvent*)
{
    // The panel is opaque to the window system, so it paints every pixel it covers: the picture
    // where there is one and the cleared background around it, never what lay beneath the panel.
    // (Its size follows the window while the picture keeps the size of its draw, and before the
    // first draw the picture is no bigger than a new widget.)
    const QImage* image = nullptr;
    if (!BitmapPath()) {
        if (!sizeChanged_ && !shown_.isNull())
            image = &shown_;
    } else {
        // Before the first partial read-back of a draw the cleared picture is shown.
        image = drawing_ && !copy_.isNull() ? &copy_ : &picture_;
    }
    QPainter painter(this);
    QRegion background(rect());
    if (image && !image->isNull()) {
        painter.drawImage(0, 0, *image);
        background -= QRect(QPoint(0, 0), image->size());
    }
    for (const QRect& part : background)
        painter.fillRect(part, Qt::white);
}

void TGLPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    if (w % 4 != 0)
        resize(w - w % 4, height());
    sizeChanged_ = 1;
    RunEvent(OnResize);
}

void TGLPanel::CopyToClipboard()
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(picture_.convertToFormat(QImage::Format_RGB888));
}

void TGLPanel::Print(QPrinter* printer)
{
    QPrinter& target = printer ? *printer : Printer();
    QPainter painter;
    if (!painter.begin(&target))
        return;
    painter.drawImage(0, 0, picture_);
    painter.end();
}

bool TGLPanel::SaveImageToFile(const std::string& fileName)
{
    StatusSink().SetBusyCursor(true);
    // During a bitmap-path draw the picture as last read back is saved.
    const QImage& source = (drawing_ && BitmapPath() && !copy_.isNull()) ? copy_ : picture_;
    copy_ = source.convertToFormat(QImage::Format_RGB888);
    bool ok = !copy_.isNull();
    if (ok) {
        // Written beside the target and renamed over it, so a failed save leaves the old file.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        std::string error;
        ok = buffer.open(QIODevice::WriteOnly) && copy_.save(&buffer, "BMP") &&
             WriteFileAtomically(fileName, bytes.constData(), size_t(bytes.size()), error);
    }
    StatusSink().SetBusyCursor(false);
    if (!ok)
        ShowError("E0058 Error saving image to file");
    return ok;
}
