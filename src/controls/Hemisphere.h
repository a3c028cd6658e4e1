#pragma once
// THemisphere: a sky dome seen from above on which the user picks a direction by clicking or
// dragging: an azimuth in whole degrees (clockwise from the top, -1 for none) and an altitude in
// whole degrees (0 at the centre, 90 at the rim), with a quarter gauge below that shows the
// altitude. Used for the sun direction and, azimuth only, for the wave direction.
//
// The layout and pick mathematics are free functions so they can be checked as tables.
#include <QPoint>
#include <QWidget>

struct THemisphereGeometry {
    int CentreX = 0, CentreY = 0; // dome centre
    int Radius = 0;               // dome radius
    int StepCount = 1;            // rings actually drawn
    int Step = 0;                 // ring step in pixels
    int PickRadius = 0;           // points farther from the centre are ignored
    QPoint SecondCentre;          // origin of the altitude gauge
};

// The layout of a width x height picker. Rings never outnumber the pixels of the radius (each
// ring is then one pixel); StepCount 0 or below counts as 1.
THemisphereGeometry HemisphereGeometry(int width, int height, int stepCount, bool azimuthOnly);

// Azimuth and altitude picked at pixel (x, y); false when the point lies beyond the pick radius
// (or the dome has no size).
bool HemispherePick(const THemisphereGeometry& g, int x, int y, int& azimuth, int& altitude);

// Far ends of the two markers (their lines start at the dome centre and the gauge's centre).
QPoint AzimuthMarkerEnd(const THemisphereGeometry& g, int azimuth, int altitude);
QPoint AltitudeMarkerEnd(const THemisphereGeometry& g, int altitude);

class THemisphere : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Altitude READ Altitude WRITE SetAltitude)
    Q_PROPERTY(int Azimuth READ Azimuth WRITE SetAzimuth)
    Q_PROPERTY(int StepCount READ StepCount WRITE SetStepCount)
    Q_PROPERTY(bool AzimuthOnly READ AzimuthOnly WRITE SetAzimuthOnly)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)

public:
    explicit THemisphere(QWidget* parent = nullptr);

    int Altitude() const { return altitude_; }
    void SetAltitude(int altitude); // clamped to 0..90
    int Azimuth() const { return azimuth_; }
    void SetAzimuth(int azimuth);
    int StepCount() const { return stepCount_; }
    void SetStepCount(int count);
    bool AzimuthOnly() const { return azimuthOnly_; }
    void SetAzimuthOnly(bool on); // switching it on sets the altitude to 90
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on); // clips the control to the dome's circle

    THemisphereGeometry Geometry() const;
    // Picks at a point while the left button is held down (ignored otherwise).
    void PickAzimuthAltitude(const QPoint& point);

    QSize sizeHint() const override { return {150, 300}; }

signals:
    void OnAltChange();
    void OnAzChange();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void UpdateMask();

    int altitude_ = 0;
    int azimuth_ = -1;
    int stepCount_ = 36;
    bool azimuthOnly_ = false;
    bool transparent_ = false;
    bool tracking_ = false;
};
