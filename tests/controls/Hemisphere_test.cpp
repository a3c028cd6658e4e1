#include "controls/Hemisphere.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(HemisphereGeometry, LayoutAndGuards)
{
    struct Case { int w, h, steps; bool azOnly; int cx, cy, radius, stepCount, step, pick, x2, y2; };
    const Case cases[] = {
        {150, 300, 36, false, 75, 100, 73, 36, 2, 74, 75, 273},
        {150, 300, 36, true, 75, 150, 73, 36, 2, 74, 75, 273},
        {50, 100, 36, false, 25, 33, 23, 23, 1, 24, 25, 89},   // more rings than radius: 1-pixel rings
        {150, 300, 0, false, 75, 100, 73, 1, 73, 146, 75, 273}, // 0 rings count as 1
        {150, 300, -4, false, 75, 100, 73, 1, 73, 146, 75, 273},
        {3, 3, 36, false, 1, 1, 0, 1, 0, 0, 1, 2},              // no room for a dome
        {0, 0, 36, false, 0, 0, 0, 1, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const THemisphereGeometry g = HemisphereGeometry(c.w, c.h, c.steps, c.azOnly);
        const std::string label = std::to_string(c.w) + "x" + std::to_string(c.h) + " steps " + std::to_string(c.steps);
        EXPECT_EQ(g.CentreX, c.cx) << label;
        EXPECT_EQ(g.CentreY, c.cy) << label;
        EXPECT_EQ(g.Radius, c.radius) << label;
        EXPECT_EQ(g.StepCount, c.stepCount) << label;
        EXPECT_EQ(g.Step, c.step) << label;
        EXPECT_EQ(g.PickRadius, c.pick) << label;
        EXPECT_EQ(g.SecondCentre, QPoint(c.x2, c.y2)) << label;
    }
}

TEST(HemispherePick, AnglesAtRimCentreAndQuadrants)
{
    const THemisphereGeometry g = HemisphereGeometry(150, 300, 36, false); // centre (75, 100), pick 74
    struct Case { int x, y; bool picked; int az, alt; };
    const Case cases[] = {
        {75, 100, true, 0, 0},     // centre
        {85, 100, true, 90, 8},    // right
        {75, 110, true, 180, 8},   // below
        {65, 100, true, 270, 8},   // left
        {75, 90, true, 0, 8},      // above
        {85, 90, true, 45, 12},    // the four quadrants
        {85, 110, true, 135, 12},
        {65, 110, true, 225, 12},
        {65, 90, true, 315, 12},
        {145, 100, true, 90, 83},  // r = 70: inside 1/1.05 of the pick radius
        {146, 100, true, 90, 90},  // r = 71: beyond it
        {149, 100, true, 90, 90},  // the rim
        {75, 174, true, 180, 90},
        {150, 100, false, 0, 0},   // outside the pick radius
        {74, 40, true, 0, 58},     // just left of the top: 0, never 360
    };
    for (const Case& c : cases) {
        int az = -7, alt = -7;
        EXPECT_EQ(HemispherePick(g, c.x, c.y, az, alt), c.picked) << c.x << "," << c.y;
        if (c.picked) {
            EXPECT_EQ(az, c.az) << c.x << "," << c.y;
            EXPECT_EQ(alt, c.alt) << c.x << "," << c.y;
        }
    }
    int az = 0, alt = 0;
    EXPECT_FALSE(HemispherePick(HemisphereGeometry(3, 3, 36, false), 1, 1, az, alt)); // no dome
}

TEST(HemisphereMarkers, EndsFollowAzimuthAndAltitude)
{
    const THemisphereGeometry g = HemisphereGeometry(150, 300, 36, false);
    struct Case { int az, alt; QPoint azEnd, altEnd; };
    const Case cases[] = {
        {90, 90, {149, 100}, {149, 273}},
        {0, 90, {75, 26}, {149, 273}},
        {180, 30, {75, 137}, {112, 209}},
        {270, 0, {75, 100}, {75, 199}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AzimuthMarkerEnd(g, c.az, c.alt), c.azEnd) << c.az << "/" << c.alt;
        EXPECT_EQ(AltitudeMarkerEnd(g, c.alt), c.altEnd) << c.az << "/" << c.alt;
    }
}

void Mouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent e(type, QPointF(p), QPointF(p), button, held, {});
    QApplication::sendEvent(w, &e);
}

TEST(Hemisphere, WritesClampAndFireOnlyOnChange)
{
    THemisphere h;
    EXPECT_EQ(h.Altitude(), 0);
    EXPECT_EQ(h.Azimuth(), -1);
    QSignalSpy alt(&h, &THemisphere::OnAltChange), az(&h, &THemisphere::OnAzChange);
    struct Case { int write, stored, events; };
    const Case cases[] = {{120, 90, 1}, {90, 90, 1}, {-5, 0, 2}, {0, 0, 2}, {45, 45, 3}, {45, 45, 3}};
    for (const Case& c : cases) {
        h.SetAltitude(c.write);
        EXPECT_EQ(h.Altitude(), c.stored) << c.write;
        EXPECT_EQ(alt.count(), c.events) << c.write;
    }
    h.SetAzimuth(200);
    h.SetAzimuth(200);
    EXPECT_EQ(az.count(), 1);
    EXPECT_EQ(alt.count(), 3);

    THemisphere waves;
    waves.SetAzimuthOnly(true);
    EXPECT_EQ(waves.Altitude(), 90);
}

TEST(Hemisphere, DraggingPicksOnlyWhileTheButtonIsDown)
{
    THemisphere h;
    h.resize(150, 300);
    QSignalSpy alt(&h, &THemisphere::OnAltChange), az(&h, &THemisphere::OnAzChange);

    Mouse(&h, QEvent::MouseMove, {85, 100}, Qt::NoButton); // not tracking
    EXPECT_EQ(az.count(), 0);
    h.PickAzimuthAltitude({85, 100});
    EXPECT_EQ(az.count(), 0);

    Mouse(&h, QEvent::MouseButtonPress, {85, 100}, Qt::LeftButton);
    EXPECT_EQ(h.Azimuth(), 90);
    EXPECT_EQ(h.Altitude(), 8);
    EXPECT_EQ(az.count(), 1);
    EXPECT_EQ(alt.count(), 1);
    Mouse(&h, QEvent::MouseMove, {75, 110}, Qt::NoButton); // same altitude, new azimuth
    EXPECT_EQ(h.Azimuth(), 180);
    EXPECT_EQ(az.count(), 2);
    EXPECT_EQ(alt.count(), 1);
    Mouse(&h, QEvent::MouseMove, {75, 110}, Qt::NoButton); // same point: nothing
    Mouse(&h, QEvent::MouseMove, {5, 290}, Qt::NoButton);  // outside the dome: ignored
    EXPECT_EQ(az.count(), 2);
    EXPECT_EQ(h.Azimuth(), 180);
    Mouse(&h, QEvent::MouseButtonRelease, {5, 290}, Qt::LeftButton);
    Mouse(&h, QEvent::MouseMove, {65, 100}, Qt::NoButton);
    EXPECT_EQ(h.Azimuth(), 180);

    // The right button does not pick.
    Mouse(&h, QEvent::MouseButtonPress, {65, 100}, Qt::RightButton);
    EXPECT_EQ(h.Azimuth(), 180);
}

TEST(Hemisphere, PaintsTheDomeAndClipsWhenTransparent)
{
    THemisphere h;
    h.resize(150, 300);
    const QImage img = h.grab().toImage();
    // Next to the centre the innermost drawn ring: k = 36 - 1 + 20.
    EXPECT_EQ(img.pixel(75, 101) & 0xffffff, qRgb(255 - 110, 255 - 55, 255) & 0xffffff);
    // Near the rim the palest ring: k = 20.
    EXPECT_EQ(img.pixel(75 + 71, 100) & 0xffffff, qRgb(215, 235, 255) & 0xffffff);

    h.SetAzimuth(90);
    h.SetAltitude(90);
    const QImage marked = h.grab().toImage();
    EXPECT_NE(marked.pixel(100, 100), img.pixel(100, 100)); // the marker runs to the right

    EXPECT_TRUE(h.mask().isEmpty());
    h.SetTransparent(true);
    EXPECT_TRUE(h.mask().contains(QPoint(75, 100)));
    EXPECT_FALSE(h.mask().contains(QPoint(2, 2)));
    EXPECT_FALSE(h.mask().contains(QPoint(75, 273)));

    // Too small for its rings, or for any dome: still paints and picks nothing.
    for (QSize size : {QSize(40, 80), QSize(3, 3), QSize(1, 1)}) {
        h.resize(size);
        h.SetAzimuth(size.width());
        EXPECT_FALSE(h.grab().isNull()) << size.width();
    }
    QSignalSpy az(&h, &THemisphere::OnAzChange);
    Mouse(&h, QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton);
    EXPECT_EQ(az.count(), 0);
}

} // namespace
