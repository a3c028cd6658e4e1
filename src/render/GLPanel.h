#pragma once
// TGLPanel: the widget the renderer windows draw into. All drawing happens off screen: a
// compatibility-profile context (immediate mode, feedback, display lists, attribute stack) renders
// into a framebuffer object, and the widget paints the last picture read back from it. A long
// render that pumps messages therefore never competes with the window system for the surface.
//
// Two paths, chosen by GLf_DRAW_TO_BITMAP in GLFlags:
//  - window path: one context for the panel's life; a finished draw is shown, and read back into
//    the picture (for save, copy, print) only when GLObjectLoaded is set;
//  - bitmap path: every draw starts from a new context's state, its set-up events run, and the
//    picture is always the finished draw; partial results are shown every "OpenGL"/"RefreshRate"
//    seconds. The context itself is kept from draw to draw while the panel's size and pixel format
//    stay the same, and put back into the state it had when new before each draw: a new context
//    would give the same picture, but each would pay again for its first use (the driver compiles
//    its state for each kind of drawing, the renderer makes its textures).
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QOpenGLContext;
class QOffscreenSurface;
class QOpenGLFramebufferObject;
class QPrinter;

enum TPFDFlag {
    GLf_DOUBLEBUFFER, GLf_STEREO, GLf_DRAW_TO_WINDOW, GLf_DRAW_TO_BITMAP, GLf_SUPPORT_GDI,
    GLf_SUPPORT_OPENGL, GLf_GENERIC_FORMAT, GLf_NEED_PALETTE, GLf_NEED_SYSTEM_PALETTE,
    GLf_SWAP_EXCHANGE, GLf_SWAP_COPY
};
enum TPFDPixelType { GLp_TYPE_RGBA, GLp_TYPE_COLORINDEX };
enum TPFDLayerType { GLL_MAIN_PLANE, GLL_OVERLAY_PLANE, GLL_UNDERLAY_PLANE };

// Sets as bit masks: element n is bit 1 << n (so a flag set is also the pixel-format flag word).
using TPFDFlags = uint32_t;
using TPFDPixelTypes = uint32_t;
using TPFDLayerTypes = uint32_t;
constexpr uint32_t SetOf(int element) { return 1u << element; }

// Translations of the sets into pixel-format values; where a set holds several elements the last
// one in declaration order wins.
uint16_t TranslateFlags(TPFDFlags flags);
uint16_t TranslatePixelType(TPFDPixelTypes types);   // RGBA 0, colour index 1
int16_t TranslateLayerType(TPFDLayerTypes types);    // main 0, overlay 1, underlay -1

class TGLPanel : public QWidget {
    Q_OBJECT
public:
    using TGLEvent = std::function<void(TGLPanel&)>;

    // desktopBitsPerPixel 0 reads the depth of the primary screen.
    explicit TGLPanel(QWidget* parent = nullptr, int desktopBitsPerPixel = 0);
    ~TGLPanel() override;

    // ---- Published properties ------------------------------------------------------------------
    uint32_t GLColorBits() const { return colorBits_; }
    void SetGLColorBits(uint32_t bits);
    uint32_t GLDepthBits() const { return depthBits_; }
    void SetGLDepthBits(uint32_t bits);
    TPFDFlags GLFlags() const { return flags_; }
    void SetGLFlags(TPFDFlags flags);
    TPFDPixelTypes GLPixelType() const { return pixelType_; }
    void SetGLPixelType(TPFDPixelTypes types);
    TPFDLayerTypes GLLayerType() const { return layerType_; }
    void SetGLLayerType(TPFDLayerTypes types);
    bool ReGetContext = false;
    bool GLObjectLoaded = false;
    TGLEvent OnGLInit, OnGLPrep, OnGLDraw, OnResize;

    // ---- Operations ----------------------------------------------------------------------------
    // Runs the current path once. A call while the panel paints or draws does nothing. Exceptions
    // of the events propagate after the panel has cleaned up.
    void Redraw();
    // The context made, and its set-up events run, now rather than at the first draw (the owner
    // calls it once the panel shows, so the first draw does not wait for it). On the bitmap path
    // the first draw at this size and format then finds it ready. A call while the panel paints
    // or draws does nothing.
    void PrepareContext();
    void CopyToClipboard();
    // Draws the picture at (0, 0) on the panel's printer (see Printer()), or on the one given.
    void Print(QPrinter* printer = nullptr);
    // 24-bit BMP; shows "E0058 Error saving image to file" and returns false on failure.
    bool SaveImageToFile(const std::string& fileName);
    // Flush; in the double-buffered window path also show what has been drawn so far.
    void SwapNow();
    // What each tick of the refresh timer does while a draw runs: flush and show the picture drawn
    // so far (in the bitmap path it is also what a save during the draw writes).
    void ShowPartialPicture();

    // The printer that Print uses; the renderer windows' printer set-up dialogs configure it.
    QPrinter& Printer();
    // The picture kept for save, copy and print (24-bit colour), and what the widget shows.
    const QImage& Picture() const { return picture_; }
    const QImage& Shown() const { return shown_; }
    // False after an unsupported desktop depth: the panel never draws.
    bool Usable() const { return usable_; }
    bool DrawingInProgress() const { return drawing_ != 0; }
    // Interval of the partial-result timer in milliseconds.
    int RefreshInterval() const { return timer_ ? timer_->interval() : 0; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool BitmapPath() const { return (flags_ & SetOf(GLf_DRAW_TO_BITMAP)) != 0; }
    bool DoubleBuffered() const { return (flags_ & SetOf(GLf_DOUBLEBUFFER)) != 0; }
    void WindowPath();
    // The window path's context, made (with its set-up events) when needed, current; false when
    // it cannot be made (the user has been told).
    bool WindowContext();
    void BitmapPathDraw();
    // The bitmap path's kept context, current and in the state it had when new, or a new one made
    // (its state kept to go back to); false when none can be made.
    bool BitmapContext();
    // Puts the current kept context back into the state it had when new: attributes, client
    // attributes, matrices, render mode, and a framebuffer cleared to nothing. False when it cannot.
    bool RestoreNewContextState();
    // The panel's context no longer current, when it is; the context itself is kept.
    void LeaveContext();
    // Context and framebuffer at the panel's size, made current; false (context kept null) on failure.
    bool CreateContext();
    bool MakeCurrent();
    void DestroyContext();
    // Reads the framebuffer into an RGB image (empty when no context or GL).
    QImage ReadFramebuffer();
    // The picture drawn so far becomes the one shown: the framebuffer follows the panel's size, so
    // it shows even in the first draw after a resize, instead of the white of the resize.
    void ShowFramebuffer();
    void RunEvent(const TGLEvent& event);

    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    // The bitmap path's context: the panel size it was made for; whether its state when new is
    // kept (pushed as the bottom entry of its attribute stacks) to go back to before each draw.
    QSize bitmapContextSize_;
    bool newStateKept_ = false;
    uint8_t needContext_ = 1;
    uint8_t formatChanged_ = 0;
    TPFDFlags flags_ = SetOf(GLf_DOUBLEBUFFER) | SetOf(GLf_DRAW_TO_WINDOW) | SetOf(GLf_SUPPORT_OPENGL);
    TPFDPixelTypes pixelType_ = SetOf(GLp_TYPE_RGBA);
    TPFDLayerTypes layerType_ = SetOf(GLL_MAIN_PLANE);
    QImage picture_;
    QImage shown_;
    QImage copy_;
    QTimer* timer_ = nullptr;
    uint32_t colorBits_ = 24;
    uint32_t depthBits_ = 32;
    uint8_t painting_ = 0;
    uint8_t drawing_ = 0;
    uint8_t sizeChanged_ = 0;
    bool usable_ = true;
    std::unique_ptr<QPrinter> printer_; // made on first use (printer discovery is slow)
};
