#include "controls/Hemibtn.h"

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(HemiShade, ChannelTintScalesAndClamps)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case { int c; double k; int expected; };
    const Case cases[] = {
        {0, 0.9, 0},     {0, -5.0, 0},   {0, inf, 0}, // black stays black under any shading
        {128, 0.0, 128}, {100, 0.25, 125}, {100, -0.25, 75},
        {200, 0.5, 255}, {100, -2.0, 0},  {100, nan, 100}, {100, inf, 255},
        {5, 0.5, 7},  // 2.5 rounds to even: 5 + 2
        {7, 0.5, 11}, // 3.5 rounds to even: 7 + 4
    };
    for (const Case& c : cases)
        EXPECT_EQ(HemiShadeChannel(c.c, c.k), c.expected) << c.c << " k " << c.k;
}

TEST(HemiShade, FactorLightsTheUpperLeft)
{
    // Centre: z = 1, k = 1/sqrt(3); upper left brighter than lower right; AttenControl scales it.
    EXPECT_NEAR(HemiShadeFactor(0, 0, 1.0), 1.0 / std::sqrt(3.0), 1e-12);
    EXPECT_GT(HemiShadeFactor(-0.5, -0.5, 1.0), 0.0);
    EXPECT_LT(HemiShadeFactor(0.5, 0.5, 1.0), 0.0);
    EXPECT_DOUBLE_EQ(HemiShadeFactor(0.3, -0.2, 0.0), 0.0);
    EXPECT_NEAR(HemiShadeFactor(0.3, -0.2, 2.0), 2.0 * HemiShadeFactor(0.3, -0.2, 1.0), 1e-12);
}

TEST(HemiShade, RingGreyFollowsTheBevel)
{
    struct Case { double dx, dy; THemisphereBevel bevel; int expected; };
    const Case cases[] = {
        {-3, -3, THemisphereBevel::hbRaised, 254},  // raised rim facing the light
        {3, 3, THemisphereBevel::hbRaised, 106},    // raised rim facing away
        {-3, -3, THemisphereBevel::hbLowered, 106}, // lowered is the inverse
        {3, 3, THemisphereBevel::hbLowered, 254},
        {5, 0, THemisphereBevel::hbRaised, 128},    // sideways to the light
        {0, 0, THemisphereBevel::hbRaised, 180},    // no direction: only the tilt towards the viewer
    };
    for (const Case& c : cases)
        EXPECT_EQ(HemiRingGrey(c.dx, c.dy, c.bevel), c.expected) << c.dx << "," << c.dy;
}

TEST(HemiHit, FaceOnlyBevelsAndCornersExcluded)
{
    struct Case { int w, h, bevels; double x, y; bool hit; };
    const Case cases[] = {
        {25, 25, 2, 12, 12, true},    // centre
        {25, 25, 2, 0, 0, false},     // corner of the control
        {25, 25, 2, 24, 24, false},
        {25, 25, 2, 12, 1, false},    // on the bevel ring
        {25, 25, 2, 12, 3, true},     // just inside the face
        {25, 25, 0, 12, 0.5, true},   // no bevels: the whole control ellipse
        {40, 20, 2, 37, 10, true},    // wide ellipse
        {40, 20, 2, 20, 1, false},
        {4, 4, 2, 2, 2, false},       // bevels leave no face
        {0, 0, 0, 0, 0, false},       // empty control
    };
    for (const Case& c : cases)
        EXPECT_EQ(HemiHitTest(c.w, c.h, c.bevels, c.x, c.y), c.hit) << c.w << "x" << c.h << " " << c.x << "," << c.y;
}

TEST(HemiGlyph, PositionsFlatAndMapped)
{
    int col = -1, row = -1;
    // Flat: the picture centre lies on the face centre.
    ASSERT_TRUE(HemiGlyphFlatPos(10, 6, 0.5, 0.5, col, row));
    EXPECT_EQ(col, 5);
    EXPECT_EQ(row, 3);
    EXPECT_FALSE(HemiGlyphFlatPos(10, 6, 5.5, 0.0, col, row));
    EXPECT_FALSE(HemiGlyphFlatPos(10, 6, 0.0, -3.5, col, row));
    // Mapped: rim to rim over the dome.
    struct Case { double nx, ny; int col, row; };
    const Case cases[] = {{-0.5, 0, 2, 5}, {0.5, 0, 6, 5}, {0, 0, 4, 5}, {0, -0.5, 4, 2}, {0, 0.5, 4, 7}, {-0.999, 0, 0, 5}};
    for (const Case& c : cases) {
        ASSERT_TRUE(HemiGlyphMappedPos(10, 11, c.nx, c.ny, col, row)) << c.nx << "," << c.ny;
        EXPECT_EQ(col, c.col) << c.nx << "," << c.ny;
        EXPECT_EQ(row, c.row) << c.nx << "," << c.ny;
    }
}

// Pixels of the face (inside the mask and off the rings); with no bevels that is the whole mask.
template <typename F>
int ForEachMasked(const THemiImages& img, F f)
{
    int n = 0;
    for (int y = 0; y < img.ImageMask.height(); ++y)
        for (int x = 0; x < img.ImageMask.width(); ++x)
            if (qRed(img.ImageMask.pixel(x, y)) == 0) {
                f(x, y);
                ++n;
            }
    return n;
}

TEST(HemiImages, BlackAndUnshadedFacesStayFlat)
{
    struct Case { QColor face; double atten; bool shaded; };
    const Case cases[] = {
        {QColor(0, 0, 0), 1.0, true},       // black stays black
        {QColor(0, 0, 0), 3.0, true},
        {QColor(200, 100, 50), 0.0, true},  // no shading strength
        {QColor(200, 100, 50), 1.0, false}, // shading switched off
    };
    for (const Case& c : cases) {
        THemiLook look;
        look.FaceColor = c.face;
        look.AttenControl = c.atten;
        look.FaceShaded = c.shaded;
        look.BevelOuter = THemisphereBevel::hbNone;
        const THemiImages img = BuildHemisphereImages(look, 25, 25);
        const int n = ForEachMasked(img, [&](int x, int y) {
            EXPECT_EQ(img.ImageOut.pixel(x, y) & 0xffffff, c.face.rgb() & 0xffffff) << x << "," << y;
            EXPECT_EQ(img.ImageIn.pixel(x, y) & 0xffffff, c.face.rgb() & 0xffffff) << x << "," << y;
        });
        EXPECT_GT(n, 400); // nearly pi * 12.5^2
    }
}

TEST(HemiImages, DomeLitFromUpperLeftAndInvertedWhenDown)
{
    THemiLook look;
    look.FaceColor = QColor(128, 128, 128);
    look.BevelOuter = THemisphereBevel::hbRaised;
    look.BevelInner = THemisphereBevel::hbLowered;
    const THemiImages img = BuildHemisphereImages(look, 31, 31);
    ASSERT_FALSE(img.ImageOut.isNull());
    // Corners are outside: white in the mask.
    EXPECT_EQ(img.ImageMask.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(img.ImageMask.pixel(30, 30), qRgb(255, 255, 255));
    // Face: upper left brighter than lower right when up, the other way round when down.
    const int ul = qRed(img.ImageOut.pixel(10, 10)), lr = qRed(img.ImageOut.pixel(20, 20));
    EXPECT_GT(ul, lr);
    EXPECT_LT(qRed(img.ImageIn.pixel(10, 10)), qRed(img.ImageIn.pixel(20, 20)));
    // Centre pixel: z ~ 1, k ~ 1/sqrt(3).
    EXPECT_NEAR(qRed(img.ImageOut.pixel(15, 15)), 128 + 128 / std::sqrt(3.0), 3);
    EXPECT_NEAR(qRed(img.ImageIn.pixel(15, 15)), 128 - 128 / std::sqrt(3.0), 3);
    // Rings: the same grey in both images and part of the mask; raised outer ring bright at the
    // upper left, lowered inner ring dark there.
    const QPoint outer(15, 0), outerUL(5, 4), innerUL(6, 6);
    EXPECT_EQ(img.ImageOut.pixel(outer), img.ImageIn.pixel(outer));
    EXPECT_EQ(qRed(img.ImageMask.pixel(outer)), 0);
    EXPECT_EQ(qRed(img.ImageOut.pixel(outerUL)), HemiRingGrey(-10, -11, THemisphereBevel::hbRaised));
    EXPECT_EQ(qRed(img.ImageOut.pixel(innerUL)), HemiRingGrey(-9, -9, THemisphereBevel::hbLowered));
    EXPECT_GT(qRed(img.ImageOut.pixel(outerUL)), 240);
    EXPECT_LT(qRed(img.ImageOut.pixel(innerUL)), 110);
}

TEST(HemiImages, GlyphFlatSliceAndTransparentKey)
{
    // Two 25x25 pictures side by side; the second is green with a blue centre, its bottom-left
    // pixel red (the transparent key) and also red at (5, 12).
    QImage strip(50, 25, QImage::Format_RGB32);
    strip.fill(QColor(0, 255, 0));
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x)
            strip.setPixel(x, y, qRgb(255, 255, 0));
    strip.setPixel(25 + 12, 12, qRgb(0, 0, 255));
    strip.setPixel(25, 24, qRgb(255, 0, 0));
    strip.setPixel(25 + 5, 12, qRgb(255, 0, 0));

    THemiLook look;
    look.BevelOuter = THemisphereBevel::hbNone;
    look.FaceColor = QColor(10, 20, 30);
    look.Glyph = strip;
    look.NumGlyphs = 2;
    look.GlyphIndex = 2;
    look.GlyphShaded = false;
    look.FaceShaded = false;
    THemiImages img = BuildHemisphereImages(look, 25, 25);
    EXPECT_EQ(img.ImageOut.pixel(12, 12) & 0xffffff, 0x0000ffu);
    EXPECT_EQ(img.ImageOut.pixel(8, 12) & 0xffffff, 0x00ff00u);
    EXPECT_EQ(img.ImageOut.pixel(5, 12) & 0xffffff, 0x0a141eu); // key colour shows the face

    look.GlyphTransparent = false;
    img = BuildHemisphereImages(look, 25, 25);
    EXPECT_EQ(img.ImageOut.pixel(5, 12) & 0xffffff, 0xff0000u);

    // An index outside the strip gives no glyph colour (and no crash).
    for (int index : {0, 3, -1}) {
        look.GlyphIndex = index;
        img = BuildHemisphereImages(look, 25, 25);
        EXPECT_EQ(img.ImageOut.pixel(12, 12) & 0xffffff, 0x0a141eu) << index;
    }
    look.NumGlyphs = 0; // treated as a single picture: its centre column 25 is green
    img = BuildHemisphereImages(look, 25, 25);
    EXPECT_EQ(img.ImageOut.pixel(12, 12) & 0xffffff, 0x00ff00u);
}

TEST(HemiImages, TooSmallGivesNoImages)
{
    EXPECT_TRUE(BuildHemisphereImages(THemiLook{}, 1, 25).ImageOut.isNull());
    EXPECT_TRUE(BuildHemisphereImages(THemiLook{}, 25, 0).ImageMask.isNull());
}

TEST(HemisphereButton, DefaultsAndIgnoredBevelWidth)
{
    THemisphereButton b;
    EXPECT_EQ(b.size(), QSize(25, 25));
    EXPECT_EQ(b.FaceColor(), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(b.BevelOuter(), THemisphereBevel::hbLowered);
    EXPECT_EQ(b.BevelInner(), THemisphereBevel::hbNone);
    EXPECT_EQ(b.BevelWidth(), 2);
    EXPECT_TRUE(b.FaceShaded());
    EXPECT_TRUE(b.GlyphTransparent());
    EXPECT_FALSE(b.Down());
    EXPECT_FALSE(b.ImageOut().isNull());
    for (int w : {0, -3}) {
        b.SetBevelWidth(w);
        EXPECT_EQ(b.BevelWidth(), 2);
    }
    b.SetBevelWidth(4);
    EXPECT_EQ(b.BevelsTotal(), 4);
    b.SetFaceColor(QColor(1, 2, 3));
    EXPECT_EQ(b.FaceRed() * 10000 + b.FaceGreen() * 100 + b.FaceBlue(), 10203);
    b.resize(40, 30);
    EXPECT_EQ(b.ImageIn().size(), QSize(40, 30));
}

TEST(HemisphereButton, ClicksCountOnlyOnTheFace)
{
    QWidget parent;
    auto* b = new THemisphereButton(&parent);
    QSignalSpy click(b, &THemisphereButton::OnClick);
    QSignalSpy down(b, &THemisphereButton::OnMouseDown);
    QSignalSpy up(b, &THemisphereButton::OnMouseUp);
    struct Case { QPoint p; int clicks; };
    const Case cases[] = {{{12, 12}, 1}, {{1, 1}, 0}, {{24, 1}, 0}, {{12, 1}, 0} /* bevel ring */};
    for (const Case& c : cases) {
        click.clear();
        down.clear();
        QTest::mouseClick(b, Qt::LeftButton, {}, c.p);
        EXPECT_EQ(click.count(), c.clicks) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(down.count(), c.clicks) << c.p.x() << "," << c.p.y();
        EXPECT_FALSE(b->Down());
    }
    EXPECT_EQ(up.count(), 4); // mouse up is always reported
}

TEST(HemisphereButton, PressedFollowsTheCursorAndReleaseOutsideIsNoClick)
{
    QWidget parent;
    auto* b = new THemisphereButton(&parent);
    QSignalSpy click(b, &THemisphereButton::OnClick);
    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_TRUE(b->Down());
    QMouseEvent moveOut(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(b, &moveOut);
    EXPECT_FALSE(b->Down());
    QMouseEvent moveIn(QEvent::MouseMove, QPointF(12, 14), QPointF(12, 14), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(b, &moveIn);
    EXPECT_TRUE(b->Down());
    QApplication::sendEvent(b, &moveOut);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(click.count(), 0);
    EXPECT_FALSE(b->Down());
    // Moves without a press never push the button.
    QMouseEvent hover(QEvent::MouseMove, QPointF(12, 12), QPointF(12, 12), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(b, &hover);
    EXPECT_FALSE(b->Down());
}

TEST(HemisphereButton, GroupTogglesAndAllowAllUp)
{
    QWidget parent;
    THemisphereButton* g[3];
    for (auto*& b : g) {
        b = new THemisphereButton(&parent);
        b->SetGroupIndex(1);
    }
    auto* other = new THemisphereButton(&parent);
    other->SetGroupIndex(2);
    other->SetDown(true);
    const QPoint c(12, 12);
    auto state = [&] { return QString("%1%2%3%4").arg(g[0]->Down()).arg(g[1]->Down()).arg(g[2]->Down()).arg(other->Down()); };

    QTest::mouseClick(g[0], Qt::LeftButton, {}, c);
    EXPECT_EQ(state(), "1001");
    QTest::mouseClick(g[1], Qt::LeftButton, {}, c);
    EXPECT_EQ(state(), "0101");
    QTest::mouseClick(g[1], Qt::LeftButton, {}, c); // the button that is down stays down
    EXPECT_EQ(state(), "0101");

    g[2]->SetAllowAllUp(true); // spreads to the whole group, not to other groups
    EXPECT_TRUE(g[0]->AllowAllUp());
    EXPECT_TRUE(g[1]->AllowAllUp());
    EXPECT_FALSE(other->AllowAllUp());
    QTest::mouseClick(g[1], Qt::LeftButton, {}, c); // now it pops up
    EXPECT_EQ(state(), "0001");
}

} // namespace

namespace {

TEST(HemisphereButton, PaintsTheDomeAndLetsTheParentShowAtTheCorners)
{
    QWidget parent;
    parent.resize(40, 40);
    parent.setAutoFillBackground(true);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(255, 0, 0));
    parent.setPalette(pal);
    auto* b = new THemisphereButton(&parent);
    b->move(5, 5);
    b->SetFaceColor(QColor(0, 0, 200));
    const QImage up = parent.grab().toImage();
    EXPECT_EQ(up.pixel(5, 5) & 0xffffff, 0xff0000u);       // corner of the button: parent
    EXPECT_EQ(up.pixel(17, 17), b->ImageOut().pixel(12, 12)); // face
    EXPECT_EQ(up.pixel(17, 6), b->ImageOut().pixel(12, 1));   // bevel ring is drawn too
    b->SetDown(true);
    const QImage down = parent.grab().toImage();
    THemisphereButton tiny;
    tiny.resize(1, 1);
    EXPECT_TRUE(tiny.ImageOut().isNull());
    EXPECT_FALSE(tiny.grab().isNull());
    EXPECT_EQ(down.pixel(17, 17), b->ImageIn().pixel(12, 12));
    EXPECT_NE(down.pixel(17, 17), up.pixel(17, 17));
}

} // namespace

namespace {

TEST(HemisphereButton, DoubleClickReportsBothClicksAndTheDoubleClick)
{
    QWidget parent;
    auto* b = new THemisphereButton(&parent);
    QSignalSpy click(b, &THemisphereButton::OnClick), dbl(b, &THemisphereButton::OnDblClick);
    // What the window system delivers for a double click: press, release, double click, release.
    auto doubleClick = [b](QPoint p) {
        const QEvent::Type types[] = {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                      QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease};
        for (QEvent::Type t : types) {
            const Qt::MouseButtons held = t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
            QMouseEvent e(t, QPointF(p), QPointF(p), Qt::LeftButton, held, {});
            QApplication::sendEvent(b, &e);
        }
    };
    doubleClick({12, 12});
    EXPECT_EQ(dbl.count(), 1);
    EXPECT_EQ(click.count(), 2);
    EXPECT_FALSE(b->Down());
    doubleClick({1, 1}); // off the face
    EXPECT_EQ(dbl.count(), 1);
    EXPECT_EQ(click.count(), 2);
}

} // namespace
