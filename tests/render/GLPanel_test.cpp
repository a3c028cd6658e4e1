#include "render/GLPanel.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/WinReg.h"
#include "support/FileSyncRecorder.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPrinter>
#include <QResizeEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>

namespace {

class RecordingPrompt : public IPrompt {
public:
    std::vector<std::string> shown, captions;
    void ShowMessage(const std::string& text, TMsgIcon) override
    {
        shown.push_back(text);
        captions.push_back(Caption);
    }
    TAnswer Ask(const std::string& text, const std::vector<TAnswer>& buttons, TMsgIcon) override
    {
        shown.push_back(text);
        captions.push_back(Caption);
        return buttons.empty() ? TAnswer::Ok : buttons.front();
    }
    std::string OpenFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string SaveFileName(const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
    bool ChooseColor(int&) override { return false; }
};

const TPFDFlags kWindowFlags = SetOf(GLf_DOUBLEBUFFER) | SetOf(GLf_DRAW_TO_WINDOW) | SetOf(GLf_SUPPORT_OPENGL) | SetOf(GLf_SWAP_COPY);
const TPFDFlags kBitmapFlags = SetOf(GLf_DRAW_TO_BITMAP) | SetOf(GLf_SUPPORT_GDI) | SetOf(GLf_SUPPORT_OPENGL);

class GLPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
        previous_ = SetPrompt(&prompt);
    }
    void TearDown() override
    {
        SetPrompt(previous_);
        UnloadOpenGLLibraries();
    }
    // Clears the whole picture to blue and fills the top-left quarter red, so orientation errors show.
    static void DrawQuartered(TGLPanel& panel)
    {
        const TGLEntryPoints& gl = GL();
        gl.glViewport(0, 0, panel.width(), panel.height());
        gl.glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.glOrtho(0, 1, 0, 1, -1, 1); // y runs upward
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glLoadIdentity();
        gl.glColor3f(1.0f, 0.0f, 0.0f);
        gl.glBegin(GL_QUADS);
        gl.glVertex2f(0.0f, 0.5f);
        gl.glVertex2f(0.5f, 0.5f);
        gl.glVertex2f(0.5f, 1.0f);
        gl.glVertex2f(0.0f, 1.0f);
        gl.glEnd();
    }
    static void ExpectQuartered(const QImage& image)
    {
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.pixel(1, 1), qRgb(255, 0, 0));
        EXPECT_EQ(image.pixel(image.width() - 2, 1), qRgb(0, 0, 255));
        EXPECT_EQ(image.pixel(1, image.height() - 2), qRgb(0, 0, 255));
        EXPECT_EQ(image.pixel(image.width() - 2, image.height() - 2), qRgb(0, 0, 255));
    }
    RecordingPrompt prompt;
    IPrompt* previous_ = nullptr;
};

TEST_F(GLPanelTest, BothPathsReadBackTheDrawnPicture)
{
    for (TPFDFlags flags : {kWindowFlags, kBitmapFlags}) {
        TGLPanel panel;
        panel.resize(64, 48);
        panel.SetGLFlags(flags);
        panel.GLObjectLoaded = true;
        panel.OnGLDraw = [](TGLPanel& p) { DrawQuartered(p); };
        panel.Redraw();
        ASSERT_EQ(panel.Picture().size(), QSize(64, 48)) << flags;
        ExpectQuartered(panel.Picture());
        ExpectQuartered(panel.Shown());
    }
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(GLPanelTest, WindowPathWithoutObjectLoadedKeepsThePreviousPicture)
{
    TGLPanel panel;
    panel.resize(32, 32);
    panel.SetGLFlags(kWindowFlags);
    panel.GLObjectLoaded = true;
    float green = 1.0f;
    panel.OnGLDraw = [&](TGLPanel& p) {
        GL().glViewport(0, 0, p.width(), p.height());
        GL().glClearColor(0.0f, green, 0.0f, 1.0f);
        GL().glClear(GL_COLOR_BUFFER_BIT);
    };
    panel.Redraw();
    EXPECT_EQ(panel.Picture().pixel(5, 5), qRgb(0, 255, 0));
    panel.GLObjectLoaded = false;
    green = 0.0f;
    panel.Redraw();
    EXPECT_EQ(panel.Picture().pixel(5, 5), qRgb(0, 255, 0)); // save, copy and print use this
    EXPECT_EQ(panel.Shown().pixel(5, 5), qRgb(0, 0, 0));     // the window shows the new draw
}

TEST_F(GLPanelTest, EventsRunOncePerContext)
{
    struct Case { TPFDFlags flags; const char* expected; };
    // The window path keeps its context; the bitmap path starts every draw as with a new one.
    const Case cases[] = {{kWindowFlags, "IPRD" "D"}, {kBitmapFlags, "IPRD" "IPRD"}};
    for (const Case& c : cases) {
        TGLPanel panel;
        panel.resize(16, 16);
        panel.SetGLFlags(c.flags);
        std::string log;
        panel.OnGLInit = [&](TGLPanel&) { log += 'I'; };
        panel.OnGLPrep = [&](TGLPanel&) { log += 'P'; };
        panel.OnGLDraw = [&](TGLPanel&) { log += 'D'; };
        panel.Redraw();
        panel.OnResize = [&](TGLPanel&) { log += 'R'; };
        if (log == "IPD")
            log = "IPRD"; // OnResize was attached after the first set-up
        panel.Redraw();
        EXPECT_EQ(log, c.expected) << c.flags;
    }
}

namespace {

// A draw that shows what state it starts from: with the state of a new context (but the viewport,
// which every draw sets) it draws a white square, left of the middle by `shift` of the width, on a
// framebuffer holding nothing (and says
// whether a texture of the last draw is still there, so whether the context is the same). Then it
// leaves behind all it can, none of which shows in its own picture: another clear colour, colour,
// viewport, blending, depth test and fog, matrices moved and pushed, attributes pushed, arrays on,
// another pixel store and feedback mode.
struct TStateProbe {
    float shift = 0;
    GLuint texture = 0;
    bool sameContext = false;
    void operator()(TGLPanel& panel)
    {
        const TGLEntryPoints& gl = GL();
        sameContext = texture != 0 && gl.glIsTexture(texture);
        gl.glViewport(0, 0, panel.width(), panel.height());
        const float left = -0.5f - 2 * shift;
        gl.glBegin(GL_QUADS);
        gl.glVertex2f(left, -0.5f);
        gl.glVertex2f(left + 1, -0.5f);
        gl.glVertex2f(left + 1, 0.5f);
        gl.glVertex2f(left, 0.5f);
        gl.glEnd();
        gl.glFinish();

        gl.glGenTextures(1, &texture);
        gl.glBindTexture(GL_TEXTURE_2D, texture);
        const unsigned char texel[4] = {1, 2, 3, 4};
        gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        gl.glClearColor(0, 1, 0, 1);
        gl.glColor3f(1, 0, 0);
        gl.glViewport(0, 0, 3, 3);
        gl.glEnable(GL_BLEND);
        gl.glBlendFunc(GL_ZERO, GL_ONE);
        gl.glEnable(GL_DEPTH_TEST);
        gl.glDepthFunc(GL_NEVER);
        gl.glEnable(GL_FOG);
        gl.glMatrixMode(GL_PROJECTION);
        gl.glTranslatef(0.3f, 0.2f, 0);
        gl.glPushMatrix();
        gl.glMatrixMode(GL_MODELVIEW);
        gl.glScalef(0.1f, 0.1f, 1);
        gl.glPushMatrix();
        gl.glPushAttrib(GL_ALL_ATTRIB_BITS);
        gl.glDisable(GL_TEXTURE_2D);
        static const float vertices[8] = {};
        gl.glEnableClientState(GL_VERTEX_ARRAY);
        gl.glVertexPointer(2, GL_FLOAT, 0, vertices);
        gl.glPixelStorei(GL_PACK_ALIGNMENT, 8);
        gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
        static GLfloat feedback[64];
        gl.glFeedbackBuffer(64, GL_3D, feedback);
        gl.glRenderMode(GL_FEEDBACK);
    }
};

} // namespace

// The bitmap path keeps its context while the size and the pixel format stay the same, and each
// draw starts from the state of a new one: every picture is the one a new panel draws.
TEST_F(GLPanelTest, BitmapDrawsKeepTheirContextAndStartAsInANewOne)
{
    struct Step {
        const char* change;
        int width, height;
        uint32_t depthBits;
        bool sameContext;
    };
    // Each draw puts its square elsewhere, so what the last one drew would show.
    const Step steps[] = {
        {"first draw", 40, 30, 32, false}, {"again", 40, 30, 32, true},       {"again", 40, 30, 32, true},
        {"resized", 48, 30, 32, false},    {"again", 48, 30, 32, true},       {"depth bits", 48, 30, 24, false},
        {"again", 48, 30, 24, true},       {"resized back", 40, 30, 24, false},
    };
    TGLPanel panel;
    panel.SetGLFlags(kBitmapFlags);
    panel.GLObjectLoaded = true;
    TStateProbe probe;
    panel.OnGLDraw = std::ref(probe);
    float shift = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.change);
        shift += 0.02f;
        panel.resize(step.width, step.height);
        if (step.depthBits != panel.GLDepthBits())
            panel.SetGLDepthBits(step.depthBits);
        probe.shift = shift;
        panel.Redraw();
        EXPECT_EQ(probe.sameContext, step.sameContext);

        TGLPanel fresh;
        fresh.SetGLFlags(kBitmapFlags);
        fresh.SetGLDepthBits(step.depthBits);
        fresh.resize(step.width, step.height);
        TStateProbe freshProbe;
        freshProbe.shift = shift;
        fresh.OnGLDraw = std::ref(freshProbe);
        fresh.Redraw();
        EXPECT_FALSE(freshProbe.sameContext);
        ASSERT_EQ(panel.Picture().size(), QSize(step.width, step.height));
        EXPECT_TRUE(panel.Picture() == fresh.Picture());
        // The square is white, just right of its left edge, and there is no white just left of it.
        const int edge = static_cast<int>(std::lround(step.width * (0.25 - shift)));
        EXPECT_EQ(panel.Picture().pixel(edge + 1, step.height / 2), qRgb(255, 255, 255));
        EXPECT_NE(panel.Picture().pixel(edge - 2, step.height / 2), qRgb(255, 255, 255));
    }
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(GLPanelTest, RedrawDoesNotReenterAndRecoversFromAFailingDraw)
{
    TGLPanel panel;
    panel.resize(16, 16);
    panel.SetGLFlags(kBitmapFlags);
    int draws = 0;
    panel.OnGLDraw = [&](TGLPanel& p) {
        ++draws;
        p.Redraw(); // pumped messages may call Redraw again: ignored
        EXPECT_TRUE(p.DrawingInProgress());
        throw std::runtime_error("render failed");
    };
    EXPECT_THROW(panel.Redraw(), std::runtime_error);
    EXPECT_EQ(draws, 1);
    EXPECT_FALSE(panel.DrawingInProgress());
    panel.OnGLDraw = [&](TGLPanel& p) { ++draws; DrawQuartered(p); };
    panel.Redraw();
    EXPECT_EQ(draws, 2);
    ExpectQuartered(panel.Picture());
}

TEST_F(GLPanelTest, WidthIsRoundedDownToAMultipleOfFour)
{
    struct Case { int width, expected; };
    const Case cases[] = {{643, 640}, {640, 640}, {645, 644}, {647, 644}, {9, 8}};
    for (const Case& c : cases) {
        TGLPanel panel;
        // A hidden widget gets its resize event only when shown: deliver it as the window would.
        const QSize old = panel.size();
        panel.resize(c.width, 100);
        QResizeEvent event(QSize(c.width, 100), old);
        QApplication::sendEvent(&panel, &event);
        EXPECT_EQ(panel.width(), c.expected) << c.width;
        EXPECT_EQ(panel.height(), 100);
    }
}

TEST_F(GLPanelTest, UnsupportedDesktopDepthShowsTheMessageAndNeverDraws)
{
    for (int bits : {8, 15, 4}) {
        prompt.shown.clear();
        prompt.captions.clear();
        TGLPanel panel(nullptr, bits);
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0], "Cannot initialize OpenGL at display colour depth.  Please set your display to true or high color");
        EXPECT_EQ(prompt.captions[0], "OpenGL");
        EXPECT_EQ(prompt.Caption, ""); // only that box
        EXPECT_FALSE(panel.Usable());
        bool drawn = false;
        panel.OnGLDraw = [&](TGLPanel&) { drawn = true; };
        panel.Redraw();
        EXPECT_FALSE(drawn);
    }
    for (int bits : {16, 24, 32}) {
        prompt.shown.clear();
        TGLPanel panel(nullptr, bits);
        EXPECT_TRUE(prompt.shown.empty());
        EXPECT_EQ(panel.GLColorBits(), static_cast<uint32_t>(bits));
    }
}

TEST_F(GLPanelTest, BitmapPathTimerFollowsTheRefreshRateSetting)
{
    struct Case { int stored; int expectedMs; };
    // Unset (the default 5 s), set, and unusable values (0 would make the timer spin).
    const Case cases[] = {{-2, 5000}, {7, 7000}, {2, 2000}, {0, 5000}};
    for (const Case& c : cases) {
        if (c.stored != -2) {
            ASSERT_TRUE(TWinRegistry(QuarlexBaseKey).WriteInteger("OpenGL", "RefreshRate", c.stored));
        }
        TGLPanel panel;
        panel.resize(8, 8);
        panel.SetGLFlags(kBitmapFlags);
        EXPECT_EQ(panel.RefreshInterval(), 100);
        panel.Redraw();
        EXPECT_EQ(panel.RefreshInterval(), c.expectedMs) << c.stored;
    }
    ASSERT_TRUE(TWinRegistry(QuarlexBaseKey).WriteInteger("OpenGL", "RefreshRate", 5));
}

TEST_F(GLPanelTest, SavesA24BitBmpWithThePicture)
{
    qxtest::TempDir dir;
    TGLPanel panel;
    panel.resize(20, 10);
    panel.SetGLFlags(kBitmapFlags);
    panel.OnGLDraw = [](TGLPanel& p) { DrawQuartered(p); };
    panel.Redraw();
    const std::string file = dir.file("picture.bmp");
    ASSERT_TRUE(panel.SaveImageToFile(file));
    const std::vector<unsigned char> bytes = qxtest::ReadFileBytes(file);
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(bytes[28] | (bytes[29] << 8), 24); // bits per pixel
    const int32_t height = static_cast<int32_t>(bytes[22] | (bytes[23] << 8) | (bytes[24] << 16) | (bytes[25] << 24));
    EXPECT_EQ(height, 10); // positive: rows stored bottom-up
    // The first stored row is the bottom row: all blue (stored blue, green, red).
    const size_t offset = bytes[10] | (bytes[11] << 8) | (bytes[12] << 16) | (bytes[13] << 24);
    ASSERT_GE(bytes.size(), offset + 3);
    EXPECT_EQ(bytes[offset + 0], 255);
    EXPECT_EQ(bytes[offset + 1], 0);
    EXPECT_EQ(bytes[offset + 2], 0);
    QImage loaded(QString::fromStdString(file));
    ExpectQuartered(loaded.convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(GLPanelTest, ASavedPictureIsOnTheDiskBeforeItReplacesTheOldOne)
{
    qxtest::TempDir dir;
    TGLPanel panel;
    panel.resize(8, 8);
    panel.SetGLFlags(kBitmapFlags);
    panel.Redraw();
    const std::string file = dir.file("picture.bmp");
    qxtest::WriteFileText(file, "old");
    qxtest::TFileSyncRecorder syncs(file);
    ASSERT_TRUE(panel.SaveImageToFile(file));
    ASSERT_EQ(syncs.Syncs().size(), 2u);
    EXPECT_EQ(syncs.Syncs()[0].TargetHeld, "old");
    EXPECT_TRUE(syncs.Syncs()[1].Folder);
    EXPECT_EQ(syncs.Syncs()[1].TargetHeld.substr(0, 2), "BM");
}

TEST_F(GLPanelTest, SaveFailureShowsE0058AndKeepsTheOldFile)
{
    qxtest::TempDir dir;
    TGLPanel panel;
    panel.resize(8, 8);
    panel.SetGLFlags(kBitmapFlags);
    panel.Redraw();
    // A folder where the file should be, and a file in a folder that does not exist.
    std::filesystem::create_directory(dir.path() / "taken.bmp");
    for (const std::string& target : {dir.file("taken.bmp"), dir.file("missing/picture.bmp")}) {
        prompt.shown.clear();
        prompt.captions.clear();
        EXPECT_FALSE(panel.SaveImageToFile(target)) << target;
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0], "E0058 Error saving image to file");
        EXPECT_EQ(prompt.captions[0], ""); // the program's own caption
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "taken.bmp"));
}

TEST_F(GLPanelTest, SaveDuringABitmapDrawWritesThePictureAsLastReadBack)
{
    qxtest::TempDir dir;
    const std::string file = dir.file("partial.bmp");
    TGLPanel panel;
    panel.resize(16, 16);
    panel.SetGLFlags(kBitmapFlags);
    panel.OnGLDraw = [&](TGLPanel& p) {
        GL().glViewport(0, 0, p.width(), p.height());
        GL().glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
        GL().glClear(GL_COLOR_BUFFER_BIT);
        p.ShowPartialPicture(); // as a refresh tick does
        GL().glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        GL().glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_TRUE(p.SaveImageToFile(file));
    };
    panel.Redraw();
    EXPECT_EQ(QImage(QString::fromStdString(file)).pixel(4, 4), qRgb(255, 0, 0));
    EXPECT_EQ(panel.Picture().pixel(4, 4), qRgb(0, 255, 0));
}

TEST_F(GLPanelTest, AFirstBitmapDrawShowsTheClearedPanelUntilItsFirstReadBack)
{
    TGLPanel panel;
    panel.resize(16, 16);
    panel.SetGLFlags(kBitmapFlags);
    QImage before, after;
    panel.OnGLDraw = [&](TGLPanel& p) {
        GL().glViewport(0, 0, p.width(), p.height());
        GL().glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
        GL().glClear(GL_COLOR_BUFFER_BIT);
        QImage canvas(16, 16, QImage::Format_RGB32);
        canvas.fill(Qt::black); // what lay beneath the panel
        p.render(&canvas);
        before = canvas;
        p.ShowPartialPicture();
        p.render(&canvas);
        after = canvas;
    };
    panel.Redraw();
    EXPECT_EQ(before.pixel(4, 4), qRgb(255, 255, 255));
    EXPECT_EQ(after.pixel(4, 4), qRgb(255, 0, 0));
}

// What the panel paints over a canvas holding what lay beneath it (a colour no draw here makes),
// and how many pixels of that it leaves.
static QImage PaintedOver(TGLPanel& panel, int* beneath)
{
    const QRgb under = qRgb(1, 2, 3);
    QImage canvas(panel.size(), QImage::Format_RGB32);
    canvas.fill(under);
    panel.render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags()); // no background of its own
    *beneath = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            *beneath += canvas.pixel(x, y) == under;
    return canvas;
}

TEST_F(GLPanelTest, ThePanelNeverShowsWhatLayBeneathIt)
{
    for (TPFDFlags flags : {kWindowFlags, kBitmapFlags}) {
        SCOPED_TRACE(flags);
        TGLPanel panel; // made at a new widget's size, then given the renderer's
        panel.SetGLFlags(flags);
        panel.GLObjectLoaded = true;
        panel.resize(160, 120);
        int beneath = -1;
        QImage painted = PaintedOver(panel, &beneath);
        EXPECT_EQ(beneath, 0) << "before the first draw";
        EXPECT_EQ(painted.pixel(0, 0), qRgb(255, 255, 255));
        EXPECT_EQ(painted.pixel(159, 119), qRgb(255, 255, 255));

        // Grown after a draw, before the next one.
        panel.resize(64, 48);
        panel.OnGLDraw = [](TGLPanel& p) { DrawQuartered(p); };
        panel.Redraw();
        panel.resize(160, 120);
        painted = PaintedOver(panel, &beneath);
        EXPECT_EQ(beneath, 0) << "grown after a draw";
        EXPECT_EQ(painted.pixel(159, 119), qRgb(255, 255, 255));
    }
}

TEST_F(GLPanelTest, PartialPicturesAreShownInTheFirstDrawAfterAResize)
{
    for (TPFDFlags flags : {kWindowFlags, kBitmapFlags}) {
        SCOPED_TRACE(flags);
        TGLPanel panel;
        panel.SetGLFlags(flags);
        panel.resize(32, 24);
        panel.OnGLDraw = [](TGLPanel& p) { DrawQuartered(p); };
        panel.show(); // resized as a window on the screen is: the resize event comes at once
        panel.Redraw();
        panel.resize(64, 48); // the next draw is the first at this size
        QCoreApplication::processEvents();
        QImage partial;
        panel.OnGLDraw = [&](TGLPanel& p) {
            DrawQuartered(p);
            p.ShowPartialPicture();
            partial = QImage(64, 48, QImage::Format_RGB32);
            partial.fill(Qt::black);
            p.render(&partial);
        };
        panel.Redraw();
        ExpectQuartered(partial);
    }
}

TEST_F(GLPanelTest, CopyPutsThePictureOnTheClipboard)
{
    TGLPanel panel;
    panel.resize(24, 12);
    panel.SetGLFlags(kBitmapFlags);
    panel.OnGLDraw = [](TGLPanel& p) { DrawQuartered(p); };
    panel.Redraw();
    panel.CopyToClipboard();
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(24, 12));
    ExpectQuartered(copied.convertToFormat(QImage::Format_RGB32));
}

TEST_F(GLPanelTest, PrintsThePictureToAPdfFile)
{
    qxtest::TempDir dir;
    TGLPanel panel;
    panel.resize(24, 12);
    panel.SetGLFlags(kBitmapFlags);
    panel.OnGLDraw = [](TGLPanel& p) { DrawQuartered(p); };
    panel.Redraw();
    const std::string file = dir.file("picture.pdf");
    panel.Printer().setOutputFormat(QPrinter::PdfFormat);
    panel.Printer().setOutputFileName(QString::fromStdString(file));
    panel.Print();
    const std::string text = qxtest::ReadFileText(file);
    ASSERT_GT(text.size(), 100u);
    EXPECT_EQ(text.substr(0, 5), "%PDF-");
    EXPECT_NE(text.find("/Image"), std::string::npos); // the picture is in it
}

TEST(GLPanelSets, TranslationsLetTheLastElementWin)
{
    EXPECT_EQ(TranslateFlags(kWindowFlags), 1061);
    EXPECT_EQ(TranslateFlags(kBitmapFlags), 56);
    EXPECT_EQ(TranslateFlags(SetOf(GLf_DOUBLEBUFFER) | SetOf(GLf_DRAW_TO_WINDOW) | SetOf(GLf_SUPPORT_OPENGL)), 37);
    struct LayerCase { TPFDLayerTypes set; int16_t value; };
    for (const LayerCase& c : {LayerCase{SetOf(GLL_MAIN_PLANE), 0}, LayerCase{SetOf(GLL_OVERLAY_PLANE), 1},
                               LayerCase{SetOf(GLL_MAIN_PLANE) | SetOf(GLL_UNDERLAY_PLANE), -1},
                               LayerCase{SetOf(GLL_MAIN_PLANE) | SetOf(GLL_OVERLAY_PLANE), 1}})
        EXPECT_EQ(TranslateLayerType(c.set), c.value) << c.set;
    EXPECT_EQ(TranslatePixelType(SetOf(GLp_TYPE_RGBA)), 0);
    EXPECT_EQ(TranslatePixelType(SetOf(GLp_TYPE_RGBA) | SetOf(GLp_TYPE_COLORINDEX)), 1);
}

} // namespace
