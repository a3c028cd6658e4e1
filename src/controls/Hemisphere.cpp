#include "controls/Hemisphere.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

int RoundToInt(double v)
{
    // Marker ends stay within a few widget sizes, so the conversion is always in range.
    return static_cast<int>(std::nearbyint(v));
}

} // namespace

THemisphereGeometry HemisphereGeometry(int width, int height, int stepCount, bool azimuthOnly)
{
    THemisphereGeometry g;
    g.CentreX = width / 2;
    g.CentreY = azimuthOnly ? height / 2 : height / 3;
    g.Radius = std::max(0, (width - 4) / 2);
    // More rings than pixels would leave a ring step of 0 and no dome to pick on.
    g.StepCount = std::clamp(stepCount, 1, std::max(1, g.Radius));
    g.Step = g.Radius / g.StepCount;
    g.PickRadius = g.Step > 0 ? (g.StepCount + 1) * g.Step : 0;
    g.SecondCentre = QPoint(width / 2, height * 2 / 3 + g.Radius);
    return g;
}

bool HemispherePick(const THemisphereGeometry& g, int x, int y, int& azimuth, int& altitude)
{
    if (g.PickRadius <= 0)
        return false;
    const double dx = g.CentreX - x, dy = g.CentreY - y;
    const double r = std::sqrt(dx * dx + dy * dy);
    if (r > g.PickRadius)
        return false;
    int a = 0;
    if (r > 0.0) {
        a = static_cast<int>(std::acos(std::clamp(dy / r, -1.0, 1.0)) / kDeg);
        if (x < g.CentreX)
            a = (360 - a) % 360; // just left of the top is 0, not 360
    }
    const double t = std::min(1.0, 1.05 * r / g.PickRadius);
    azimuth = a;
    altitude = static_cast<int>(std::nearbyint(std::asin(t) / kDeg));
    return true;
}

QPoint AzimuthMarkerEnd(const THemisphereGeometry& g, int azimuth, int altitude)
{
    const double len = std::sin(altitude * kDeg) * g.PickRadius;
    return {RoundToInt(g.CentreX + std::sin(azimuth * kDeg) * len), RoundToInt(g.CentreY - std::cos(azimuth * kDeg) * len)};
}

QPoint AltitudeMarkerEnd(const THemisphereGeometry& g, int altitude)
{
    const double a = (90 - altitude) * kDeg;
    return {RoundToInt(g.SecondCentre.x() + std::cos(a) * g.PickRadius),
            RoundToInt(g.SecondCentre.y() - std::sin(a) * g.PickRadius)};
}

THemisphere::THemisphere(QWidget* parent) : QWidget(parent)
{
    SetAltitude(-1);
    resize(150, 300);
}

THemisphereGeometry THemisphere::Geometry() const
{
    return HemisphereGeometry(width(), height(), stepCount_, azimuthOnly_);
}

void THemisphere::SetAltitude(int altitude)
{
    altitude = std::clamp(altitude, 0, 90);
    if (altitude == altitude_)
        return;
    altitude_ = altitude;
    update();
    emit OnAltChange();
}

void THemisphere::SetAzimuth(int azimuth)
{
    if (azimuth == azimuth_)
        return;
    azimuth_ = azimuth;
    update();
    emit OnAzChange();
}

void THemisphere::SetStepCount(int count)
{
    stepCount_ = count;
    UpdateMask();
    update();
}

void THemisphere::SetAzimuthOnly(bool on)
{
    azimuthOnly_ = on;
    if (on)
        SetAltitude(90);
    UpdateMask();
    update();
}

void THemisphere::SetTransparent(bool on)
{
    transparent_ = on;
    UpdateMask();
    update();
}

void THemisphere::UpdateMask()
{
    if (!transparent_) {
        clearMask();
        return;
    }
    const THemisphereGeometry g = Geometry();
    const int r = g.StepCount * g.Step;
    if (r <= 0) {
        clearMask();
        return;
    }
    setMask(QRegion(g.CentreX - r, g.CentreY - r, 2 * r, 2 * r, QRegion::Ellipse));
}

void THemisphere::PickAzimuthAltitude(const QPoint& point)
{
    if (!tracking_)
        return;
    int az = 0, alt = 0;
    if (!HemispherePick(Geometry(), point.x(), point.y(), az, alt))
        return;
    if (az == azimuth_ && alt == altitude_)
        return;
    SetAzimuth(az);
    SetAltitude(alt);
}

void THemisphere::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const THemisphereGeometry g = Geometry();
    const QPoint c(g.CentreX, g.CentreY);

    // The dome: pale at the rim, deeper blue toward the centre.
    p.setPen(Qt::NoPen);
    for (int i = g.StepCount; i >= 0; --i) {
        const int k = g.StepCount - i + 20;
        p.setBrush(QColor(std::max(0, 255 - 2 * k), std::max(0, 255 - k), 255));
        const int r = i * g.Step;
        p.drawEllipse(c, r, r);
    }

    // The altitude gauge: a quarter circle from the zenith (up) to the horizon (right).
    const QPoint c2 = g.SecondCentre;
    if (!azimuthOnly_ && g.PickRadius > 0) {
        p.setBrush(Qt::NoBrush);
        p.setPen(palette().color(QPalette::WindowText));
        const int r = g.PickRadius;
        p.drawArc(QRect(c2.x() - r, c2.y() - r, 2 * r, 2 * r), 0, 90 * 16);
        p.drawLine(c2, c2 + QPoint(0, -r));
        p.drawLine(c2, c2 + QPoint(r, 0));
        for (int a = 15; a < 90; a += 15)
            p.drawLine(AltitudeMarkerEnd(g, a), c2 + (AltitudeMarkerEnd(g, a) - c2) * 0.9);
    }

    if (azimuth_ < 0)
        return;
    // Markers in an inverting pen, so they show on the pale and the deep parts of the dome alike.
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    p.drawLine(c, AzimuthMarkerEnd(g, azimuth_, altitude_));
    if (!azimuthOnly_)
        p.drawLine(c2, AltitudeMarkerEnd(g, altitude_));
}

void THemisphere::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    UpdateMask();
}

void THemisphere::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    tracking_ = true;
    PickAzimuthAltitude(event->position().toPoint());
}

void THemisphere::mouseMoveEvent(QMouseEvent* event)
{
    if (tracking_)
        PickAzimuthAltitude(event->position().toPoint());
}

void THemisphere::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        tracking_ = false;
}
