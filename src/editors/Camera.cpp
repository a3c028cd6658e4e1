#include "editors/Camera.h"

#include "controls/Flatimge.h"
#include "controls/FloatEdit.h"
#include "editors/EditorPattern.h"
#include "project/Project.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

TFCamera* FCamera = nullptr;

namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;
constexpr int kMapSide = 250;  // longer side of the map picture
constexpr int kBoxSide = 260;  // the paint box around it
constexpr int kMarkerReach = 4;

double Scale(double extent, double pixels) { return pixels > 0 && extent > 0 ? extent / pixels : 1.0; }

QPoint RoundedPoint(double x, double y) { return {Round(x), Round(y)}; }

// Geo edit text: general format, 8 significant digits, in the field's own separator. Exponent
// notation would not survive the field's keystroke filter, so large values are written in full.
QString GeoText(const TFloatEdit& edit, double value)
{
    QString s = QString::number(value, 'g', 8);
    if (s.contains(QLatin1Char('e')))
        return FloatEditFormat(value, edit.Digits(), edit.DecimalSeparator());
    s.replace(QLatin1Char('.'), edit.DecimalSeparator());
    return s;
}

void SetFontColour(QWidget* w, QRgb colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Text, QColor::fromRgb(colour));
    p.setColor(QPalette::WindowText, QColor::fromRgb(colour));
    w->setPalette(p);
}

QLineEdit* ReadoutEdit(QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    return e;
}

TFloatEdit* GeoEdit(QWidget* parent)
{
    auto* e = new TFloatEdit(parent);
    e->SetDigits(4);
    e->SetMin(-99999999.9);
    e->SetMax(99999999.9);
    return e;
}

} // namespace

// ---- Positioning map ------------------------------------------------------------------------------

TPositioningMap MakePositioningMap(const TGridBlock& grid, int imageWidth, int imageHeight, int boxWidth, int boxHeight)
{
    TPositioningMap m;
    m.ImageWidth = imageWidth;
    m.ImageHeight = imageHeight;
    m.BoxWidth = boxWidth;
    m.BoxHeight = boxHeight;
    m.ExtentX = grid.SizeX * grid.SpacingX;
    m.ExtentY = grid.SizeY * grid.SpacingY;
    return m;
}

TDoublePoint MarkerToWorld(const TPositioningMap& m, const TDoublePoint& marker)
{
    return {Scale(m.ExtentX, m.ImageWidth) * (marker.X - m.BoxWidth / 2),
            Scale(m.ExtentY, m.ImageHeight) * (marker.Y - m.BoxHeight / 2)};
}

TDoublePoint WorldToMarker(const TPositioningMap& m, const TDoublePoint& world)
{
    return {world.X / Scale(m.ExtentX, m.ImageWidth) + m.BoxWidth / 2,
            world.Y / Scale(m.ExtentY, m.ImageHeight) + m.BoxHeight / 2};
}

void FillPositioningMap(TFlatImage& image, const TGridBlock& grid)
{
    image.SetFixSide(kMapSide);
    image.SetGridSize(grid.SizeX, grid.SizeY);
    // Heights beyond the integer range (a damaged file) are limited rather than failing the refresh.
    const double limit = 2.0e9;
    image.SetMaxHeight(std::isnan(grid.MaxHeight) ? 0 : Trunc(std::clamp(grid.MaxHeight + 1.0, -limit, limit)));
    image.SetMinHeight(std::isnan(grid.MinHeight) ? 0 : Trunc(std::clamp(grid.MinHeight, -limit, limit)));
    const int columns = std::min(grid.SizeX, grid.Cells.Columns());
    const int rows = std::min(grid.SizeY, grid.Cells.Rows());
    for (int x = 0; x < columns; ++x)
        for (int y = 0; y < rows; ++y) {
            const double h = grid.Cells[x][y].Height;
            image.SetCellHeight(x, y, h > 0 ? ClampedRound(h, 0, int(limit)) : 0);
        }
    image.DrawCells();
}

// ---- View cone ------------------------------------------------------------------------------------

TViewCone ComputeViewCone(const TDoublePoint& camera, const TDoublePoint& target, double perspective)
{
    TViewCone c;
    const double half = perspective / 2;
    // The whole angle, not the half: above 90 degrees the chord lies behind the camera.
    const double d = 50 / std::tan(perspective * kRadPerDeg);
    c.Camera = RoundedPoint(camera.X, camera.Y);
    c.Target = RoundedPoint(target.X, target.Y);
    float a = 0, b = 0, len = 0;
    CartesianToSpherical(MakeVector3(float(target.X - camera.X), 0, float(target.Y - camera.Y)), a, b, len);
    const TVector3 e0 = SphericalToCartesian(float(a - half), b, 100);
    const TVector3 e1 = SphericalToCartesian(float(a + half), b, 100);
    c.EdgeEnd[0] = RoundedPoint(camera.X + e0.X, camera.Y + e0.Z);
    c.EdgeEnd[1] = RoundedPoint(camera.X + e1.X, camera.Y + e1.Z);
    const TVector3 l = SphericalToCartesian(float(a - half), b, float(d));
    const TVector3 r = SphericalToCartesian(float(a + half), b, float(d));
    c.ChordEnd[0] = RoundedPoint(camera.X + l.X, camera.Y + l.Z);
    c.ChordEnd[1] = RoundedPoint(camera.X + r.X, camera.Y + r.Z);
    c.Handle = {camera.X + (double(l.X) + r.X) / 2, camera.Y + (double(l.Z) + r.Z) / 2};
    RoundedPoint(c.Handle.X, c.Handle.Y); // the handle's square must be drawable too
    return c;
}

void PaintViewCone(QPainter& p, const TViewCone& c)
{
    p.save();
    // Inverting keeps the lines visible on every colour of the map.
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::NoBrush);
    p.drawLine(c.Camera, c.Target);
    p.drawLine(c.Camera, c.EdgeEnd[0]);
    p.drawLine(c.Camera, c.EdgeEnd[1]);
    p.drawLine(c.ChordEnd[0], c.ChordEnd[1]);
    const QPoint handle = RoundedPoint(c.Handle.X, c.Handle.Y);
    for (const QPoint& m : {c.Camera, c.Target, handle})
        p.drawRect(m.x() - kMarkerReach, m.y() - kMarkerReach, 2 * kMarkerReach - 1, 2 * kMarkerReach - 1);
    p.restore();
}

TMarkerHit HitMarker(const TDoublePoint& camera, const TDoublePoint& target, const TDoublePoint& handle, double x, double y)
{
    auto near = [x, y](const TDoublePoint& m) { return std::abs(m.X - x) <= kMarkerReach && std::abs(m.Y - y) <= kMarkerReach; };
    if (near(camera))
        return TMarkerHit::Camera;
    if (near(target))
        return TMarkerHit::Target;
    if (near(handle))
        return TMarkerHit::Cone;
    return TMarkerHit::None;
}

double PerspectiveFromHandle(const TDoublePoint& camera, const TDoublePoint& point)
{
    const double distance = std::hypot(point.X - camera.X, point.Y - camera.Y);
    // On the camera itself the quotient is infinite and the angle 90 degrees.
    return std::atan(50 / distance) / kRadPerDeg;
}

// ---- Read-outs and the heights check --------------------------------------------------------------

TCameraReadouts CameraReadouts(const TVector3& eye, const TVector3& target)
{
    float a = 0, b = 0, len = 0;
    CartesianToSpherical(SubtractVector(target, eye), a, b, len);
    TCameraReadouts r;
    r.Direction = double(a) + 90;
    if (r.Direction >= 360)
        r.Direction -= 360;
    else if (r.Direction < 0)
        r.Direction += 360;
    r.Elevation = 90 - double(b);
    r.Distance = len;
    return r;
}

QString GeneralText(double value, int digits) { return QString::number(value, 'g', digits); }

bool GridCellAt(const TGridBlock& g, const TDoublePoint& world, int& column, int& row)
{
    try {
        column = Round(world.X / g.SpacingX) + Round(g.SizeX / 2.0);
        row = Round(world.Y / g.SpacingY) + Round(g.SizeY / 2.0);
    } catch (const ERangeError&) {
        return false; // a zero spacing or a far marker: nowhere on the grid
    }
    return column >= 0 && row >= 0 && column < std::min(g.SizeX, g.Cells.Columns()) && row < std::min(g.SizeY, g.Cells.Rows());
}

THeightCheck CheckCameraHeight(const TProject& project, const TDoublePoint& world, double altitude)
{
    int c = 0, r = 0;
    if (!GridCellAt(project.Grid, world, c, r))
        return THeightCheck::Outside;
    const double h = project.Grid.Cells[c][r].Height;
    if (altitude <= h)
        return THeightCheck::Below;
    const double recommended = project.MaxRoughnessMargin() * 1.5 + h;
    return altitude > recommended ? THeightCheck::Clear : THeightCheck::BelowRecommended;
}

THeightCheck CheckTargetHeight(const TProject& project, const TDoublePoint& world, double altitude)
{
    int c = 0, r = 0;
    if (!GridCellAt(project.Grid, world, c, r))
        return THeightCheck::Outside;
    return altitude <= project.Grid.Cells[c][r].Height ? THeightCheck::Below : THeightCheck::Clear;
}

// ---- Paint box ------------------------------------------------------------------------------------

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {}

void TPaintBox::paintEvent(QPaintEvent*)
{
    if (!OnPaint)
        return;
    QPainter p(this);
    RunHandler([&] { OnPaint(p); });
}

void TPaintBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && OnMouseDown) {
        const QPoint pt = event->position().toPoint();
        RunHandler([&] { OnMouseDown(pt.x(), pt.y()); });
    }
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove) {
        const QPoint pt = event->position().toPoint();
        RunHandler([&] { OnMouseMove(pt.x(), pt.y()); });
    }
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && OnMouseUp) {
        const QPoint pt = event->position().toPoint();
        RunHandler([&] { OnMouseUp(pt.x(), pt.y()); });
    }
}

// ---- TFCamera -------------------------------------------------------------------------------------

TFCamera::TFCamera(QWidget* parent) : TFBaseForm(parent)
{
    setWindowTitle(QStringLiteral("Camera and Target Position Editor"));
    auto* top = new QHBoxLayout(this);

    MapGroup = new QGroupBox(QStringLiteral("Positioning Map"), this);
    MapGroup->setFixedSize(kBoxSide + 12, kBoxSide + 28);
    LocPaintBox = new TPaintBox(MapGroup);
    LocPaintBox->setGeometry(6, 22, kBoxSide, kBoxSide);
    FlatImage = new TFlatImage(MapGroup);
    FlatImage->SetFixSide(kMapSide);
    // Centred in the paint box; SetGridSize keeps the centre.
    FlatImage->setGeometry(6 + (kBoxSide - kMapSide) / 2, 22 + (kBoxSide - kMapSide) / 2, kMapSide, kMapSide);
    LocPaintBox->raise();
    top->addWidget(MapGroup, 0, Qt::AlignTop);

    auto* right = new QVBoxLayout;
    top->addLayout(right);

    auto* cameraGroup = new QGroupBox(QStringLiteral("Camera"), this);
    auto* cg = new QGridLayout(cameraGroup);
    CameraGeoRefXEdit = GeoEdit(cameraGroup);
    CameraGeoRefYEdit = GeoEdit(cameraGroup);
    ViewAlt = new QSpinBox(cameraGroup);
    ViewAlt->setRange(0, 32000);
    cg->addWidget(new QLabel(QStringLiteral("X"), cameraGroup), 0, 0);
    cg->addWidget(CameraGeoRefXEdit, 0, 1);
    cg->addWidget(new QLabel(QStringLiteral("Y"), cameraGroup), 1, 0);
    cg->addWidget(CameraGeoRefYEdit, 1, 1);
    cg->addWidget(new QLabel(QStringLiteral("Height"), cameraGroup), 2, 0);
    cg->addWidget(ViewAlt, 2, 1);
    BelowLabel = new QLabel(QStringLiteral("Camera is below surface"), cameraGroup);
    SetFontColour(BelowLabel, kHeightBelowColour);
    BelowLabel->hide();
    RecommendedLabel = new QLabel(QStringLiteral("Camera is below recommended level"), cameraGroup);
    SetFontColour(RecommendedLabel, kHeightNearColour);
    RecommendedLabel->hide();
    cg->addWidget(BelowLabel, 3, 0, 1, 2);
    cg->addWidget(RecommendedLabel, 4, 0, 1, 2);
    right->addWidget(cameraGroup);

    auto* targetGroup = new QGroupBox(QStringLiteral("Target"), this);
    auto* tg = new QGridLayout(targetGroup);
    TargetGeoRefXEdit = GeoEdit(targetGroup);
    TargetGeoRefYEdit = GeoEdit(targetGroup);
    TargetAlt = new QSpinBox(targetGroup);
    TargetAlt->setRange(0, 10000);
    tg->addWidget(new QLabel(QStringLiteral("X"), targetGroup), 0, 0);
    tg->addWidget(TargetGeoRefXEdit, 0, 1);
    tg->addWidget(new QLabel(QStringLiteral("Y"), targetGroup), 1, 0);
    tg->addWidget(TargetGeoRefYEdit, 1, 1);
    tg->addWidget(new QLabel(QStringLiteral("Height"), targetGroup), 2, 0);
    tg->addWidget(TargetAlt, 2, 1);
    right->addWidget(targetGroup);

    auto* viewGroup = new QGroupBox(QStringLiteral("View"), this);
    auto* vg = new QGridLayout(viewGroup);
    PerspectiveSpinEdit = new QSpinBox(viewGroup);
    PerspectiveSpinEdit->setRange(1, 160);
    PerspectiveSpinEdit->setSingleStep(5);
    PerspectiveSpinEdit->setToolTip(QStringLiteral("angle in degrees"));
    ViewDirectionEdit = ReadoutEdit(viewGroup);
    ViewAzimuthEdit = ReadoutEdit(viewGroup);
    ViewDistanceEdit = ReadoutEdit(viewGroup);
    vg->addWidget(new QLabel(QStringLiteral("Perspective"), viewGroup), 0, 0);
    vg->addWidget(PerspectiveSpinEdit, 0, 1);
    vg->addWidget(new QLabel(QStringLiteral("Direction"), viewGroup), 1, 0);
    vg->addWidget(ViewDirectionEdit, 1, 1);
    vg->addWidget(new QLabel(QStringLiteral("Azimuth"), viewGroup), 2, 0);
    vg->addWidget(ViewAzimuthEdit, 2, 1);
    vg->addWidget(new QLabel(QStringLiteral("Distance"), viewGroup), 3, 0);
    vg->addWidget(ViewDistanceEdit, 3, 1);
    right->addWidget(viewGroup);
    right->addStretch();

    LocPaintBox->OnPaint = [this](QPainter& p) {
        if (coneValid_)
            PaintViewCone(p, cone_);
    };
    LocPaintBox->OnMouseDown = [this](int x, int y) { LocPaintBoxMouseDown(x, y); };
    LocPaintBox->OnMouseMove = [this](int x, int y) { LocPaintBoxMouseMove(x, y); };
    LocPaintBox->OnMouseUp = [this](int x, int y) { LocPaintBoxMouseUp(x, y); };

    connect(ViewAlt, &QSpinBox::valueChanged, this, [this] { RunHandler([this] { ViewAltChange(); }); });
    connect(TargetAlt, &QSpinBox::valueChanged, this, [this] { RunHandler([this] { TargetAltChange(); }); });
    connect(PerspectiveSpinEdit, &QSpinBox::valueChanged, this, [this] { RunHandler([this] { PerspectiveSpinEditChange(); }); });
    for (TFloatEdit* e : {CameraGeoRefXEdit, CameraGeoRefYEdit, TargetGeoRefXEdit, TargetGeoRefYEdit})
        e->installEventFilter(this);
    for (TFloatEdit* e : {CameraGeoRefXEdit, CameraGeoRefYEdit})
        connect(e, &QLineEdit::textChanged, this, [this] { RunHandler([this] { CameraGeoRefChange(); }); });
    for (TFloatEdit* e : {TargetGeoRefXEdit, TargetGeoRefYEdit})
        connect(e, &QLineEdit::textChanged, this, [this] { RunHandler([this] { TargetGeoRefChange(); }); });

    setFixedSize(sizeHint());
    FCamera = this;
}

TFCamera::~TFCamera()
{
    if (FCamera == this)
        FCamera = nullptr;
}

bool TFCamera::eventFilter(QObject* watched, QEvent* event)
{
    // Only typing moves a marker: text the editor writes itself arrives with no key held.
    if (event->type() == QEvent::KeyPress)
        geoKeyDown_ = true;
    else if (event->type() == QEvent::KeyRelease)
        geoKeyDown_ = false;
    return TFBaseForm::eventFilter(watched, event);
}

TPositioningMap TFCamera::Map() const
{
    return MakePositioningMap(Project().Grid, FlatImage->width(), FlatImage->height(), LocPaintBox->width(), LocPaintBox->height());
}

TDoublePoint TFCamera::CameraMarkerToWorld() const { return MarkerToWorld(Map(), cameraMarker_); }
TDoublePoint TFCamera::TargetMarkerToWorld() const { return MarkerToWorld(Map(), targetMarker_); }
void TFCamera::WorldToCameraMarker(double x, double y) { cameraMarker_ = WorldToMarker(Map(), {x, y}); }
void TFCamera::WorldToTargetMarker(double x, double y) { targetMarker_ = WorldToMarker(Map(), {x, y}); }

void TFCamera::StoreMarkersInProject()
{
    TProject& p = Project();
    const TDoublePoint eye = CameraMarkerToWorld(), target = TargetMarkerToWorld();
    p.Camera.Eye.X = float(eye.X);
    p.Camera.Eye.Z = float(eye.Y);
    p.Camera.Target.X = float(target.X);
    p.Camera.Target.Z = float(target.Y);
}

void TFCamera::PlaceMarkersFromProject()
{
    const TCameraBlock& c = Project().Camera;
    WorldToCameraMarker(c.Eye.X, c.Eye.Z);
    WorldToTargetMarker(c.Target.X, c.Target.Z);
}

void TFCamera::DrawViewCone()
{
    try {
        cone_ = ComputeViewCone(cameraMarker_, targetMarker_, Project().Camera.Perspective);
        coneHandle_ = cone_.Handle;
        coneValid_ = true;
    } catch (const ERangeError&) {
        coneValid_ = false; // a cone beyond the pixel range is not drawn
    }
    LocPaintBox->update();
}

void TFCamera::ShowReadouts()
{
    const TProject& p = Project();
    const TCameraReadouts r = CameraReadouts(p.Camera.Eye, p.Camera.Target);
    ViewDirectionEdit->setText(GeneralText(r.Direction, 4));
    ViewAzimuthEdit->setText(GeneralText(r.Elevation, 4));
    ViewDistanceEdit->setText(GeneralText(r.Distance, 8));
    CheckCameraHeights();
}

void TFCamera::UpdateCameraReadouts()
{
    StoreMarkersInProject();
    const TProject& p = Project();
    const TDoublePoint camera = p.GetCameraGeoPosition(), target = p.GetTargetGeoPosition();
    CameraGeoRefXEdit->setText(GeoText(*CameraGeoRefXEdit, camera.X));
    CameraGeoRefYEdit->setText(GeoText(*CameraGeoRefYEdit, camera.Y));
    TargetGeoRefXEdit->setText(GeoText(*TargetGeoRefXEdit, target.X));
    TargetGeoRefYEdit->setText(GeoText(*TargetGeoRefYEdit, target.Y));
    ShowReadouts();
}

void TFCamera::CheckCameraHeights()
{
    const TProject& p = Project();
    switch (CheckCameraHeight(p, CameraMarkerToWorld(), ViewAlt->value())) {
    case THeightCheck::Outside:
        SetFontColour(ViewAlt, kHeightOutsideColour);
        BelowLabel->hide();
        RecommendedLabel->hide();
        break;
    case THeightCheck::Below:
        SetFontColour(ViewAlt, kHeightBelowColour);
        BelowLabel->show();
        RecommendedLabel->hide();
        break;
    case THeightCheck::BelowRecommended:
        SetFontColour(ViewAlt, kHeightNearColour);
        RecommendedLabel->show();
        BelowLabel->hide();
        break;
    case THeightCheck::Clear:
        SetFontColour(ViewAlt, kHeightClearColour);
        BelowLabel->hide();
        RecommendedLabel->hide();
        break;
    }
    switch (CheckTargetHeight(p, TargetMarkerToWorld(), TargetAlt->value())) {
    case THeightCheck::Outside: SetFontColour(TargetAlt, kHeightOutsideColour); break;
    case THeightCheck::Below: SetFontColour(TargetAlt, kHeightBelowColour); break;
    default: SetFontColour(TargetAlt, kHeightClearColour); break;
    }
}

void TFCamera::ShowPerspective() { PerspectiveSpinEdit->setValue(ClampedRound(Project().Camera.Perspective, 1, 160)); }

void TFCamera::RefreshFromProject()
{
    TProject& p = Project(); // EInitError without a project
    TBusyCursor busy;
    TRefreshScope scope(refreshing_);
    FillPositioningMap(*FlatImage, p.Grid);
    MapGroup->update();
    PlaceMarkersFromProject();
    ShowPerspective();
    ViewAlt->setValue(ClampedRound(p.Camera.Eye.Y, 0, 32000));
    TargetAlt->setValue(ClampedRound(p.Camera.Target.Y, 0, 10000));
    UpdateCameraReadouts();
    DrawViewCone();
}

void TFCamera::LocPaintBoxMouseDown(int x, int y)
{
    switch (HitMarker(cameraMarker_, targetMarker_, coneHandle_, x, y)) {
    case TMarkerHit::Camera: draggingCamera_ = true; break;
    case TMarkerHit::Target: draggingTarget_ = true; break;
    case TMarkerHit::Cone: draggingCone_ = true; break;
    case TMarkerHit::None: break;
    }
}

void TFCamera::LocPaintBoxMouseMove(int x, int y)
{
    if (!draggingCamera_ && !draggingTarget_ && !draggingCone_)
        return;
    const TDoublePoint pt{double(std::clamp(x, 0, LocPaintBox->width())), double(std::clamp(y, 0, LocPaintBox->height()))};
    if (draggingCamera_) {
        cameraMarker_ = pt;
        UpdateCameraReadouts();
    } else if (draggingTarget_) {
        targetMarker_ = pt;
        UpdateCameraReadouts();
    } else {
        Project().Camera.Perspective = PerspectiveFromHandle(cameraMarker_, pt);
        ShowPerspective();
    }
    DrawViewCone();
}

void TFCamera::LocPaintBoxMouseUp(int, int)
{
    const bool dragged = draggingCamera_ || draggingTarget_ || draggingCone_;
    draggingCamera_ = draggingTarget_ = draggingCone_ = false;
    StoreMarkersInProject();
    if (dragged)
        ProjectChanged();
}

void TFCamera::ViewAltChange()
{
    if (refreshing_)
        return;
    ProjectChanged();
    Project().Camera.Eye.Y = float(ViewAlt->value());
    UpdateCameraReadouts();
}

void TFCamera::TargetAltChange()
{
    if (refreshing_)
        return;
    ProjectChanged();
    Project().Camera.Target.Y = float(TargetAlt->value());
    UpdateCameraReadouts();
}

void TFCamera::PerspectiveSpinEditChange()
{
    if (refreshing_)
        return;
    ProjectChanged();
    Project().Camera.Perspective = PerspectiveSpinEdit->value();
    if (!draggingCone_)
        DrawViewCone();
}

void TFCamera::CameraGeoRefChange()
{
    if (refreshing_ || !geoKeyDown_)
        return;
    ProjectChanged();
    TProject& p = Project();
    p.Camera.Eye = p.GeoToWorld({CameraGeoRefXEdit->Value(), double(ViewAlt->value()), CameraGeoRefYEdit->Value()});
    PlaceMarkersFromProject();
    // The read-outs and the warnings follow the typed position; the edits being typed in stay.
    ShowReadouts();
    DrawViewCone();
}

void TFCamera::TargetGeoRefChange()
{
    if (refreshing_ || !geoKeyDown_)
        return;
    ProjectChanged();
    TProject& p = Project();
    p.Camera.Target = p.GeoToWorld({TargetGeoRefXEdit->Value(), double(TargetAlt->value()), TargetGeoRefYEdit->Value()});
    PlaceMarkersFromProject();
    ShowReadouts();
    DrawViewCone();
}
