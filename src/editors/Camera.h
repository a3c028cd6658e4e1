#pragma once
// TFCamera: the camera and target editor. The eye and the point it looks at are placed on a small
// top-down picture of the height grid by dragging markers or by typing georeferenced coordinates
// and heights; the perspective angle by a spin edit or by dragging a handle on the view cone. It
// shows the view direction, elevation and distance and warns when the camera is below the ground
// or close to it.
//
// It sets the pattern of every environment editor: a TFBaseForm that reaches the project only
// through the stored address of the project variable, keeps no copy of project data beyond what
// its controls show, and writes every control's value straight into the project (no apply,
// cancel or undo). RefreshFromProject reloads the controls without writing them back.
//
// The map mapping, the cone geometry, the read-outs and the height check are free functions.
#include "project/MathUtils.h"
#include "project/TypeDefinition.h"
#include "shell/BaseUnit.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPainter;
class QSpinBox;
class TFlatImage;
class TFloatEdit;
class TProject;

// ---- Positioning map ------------------------------------------------------------------------------
// Pixels of the map picture (ImageWidth x ImageHeight, centred in the BoxWidth x BoxHeight paint
// box) against the stored world frame, whose origin is the middle of the grid. Extents are columns
// times spacing, not MapWidth.
struct TPositioningMap {
    double ImageWidth = 0, ImageHeight = 0;
    double BoxWidth = 0, BoxHeight = 0;
    double ExtentX = 0, ExtentY = 0;
};
TPositioningMap MakePositioningMap(const TGridBlock& grid, int imageWidth, int imageHeight, int boxWidth, int boxHeight);
// Paint-box pixels <-> world X and Y (Y is the third component of Eye and Target). A picture or a
// grid without size maps one world unit to one pixel.
TDoublePoint MarkerToWorld(const TPositioningMap& map, const TDoublePoint& marker);
TDoublePoint WorldToMarker(const TPositioningMap& map, const TDoublePoint& world);

// Gives the picture the grid: longer side 250 pixels, range Trunc(MaxHeight + 1) .. Trunc(MinHeight),
// each cell its rounded height with negative (and null) heights as 0.
void FillPositioningMap(TFlatImage& image, const TGridBlock& grid);

// ---- View cone ------------------------------------------------------------------------------------
// What DrawViewCone draws, in whole paint-box pixels, and the perspective handle.
struct TViewCone {
    QPoint Camera, Target;      // the markers, rounded
    QPoint EdgeEnd[2];          // ends of the two 100-pixel cone edges (A - half, A + half)
    QPoint ChordEnd[2];         // the chord across the cone 50 / tan(Perspective) from the camera
    TDoublePoint Handle;        // middle of the chord, unrounded
};
// Raises ERangeError when a point falls outside the 32-bit range.
TViewCone ComputeViewCone(const TDoublePoint& camera, const TDoublePoint& target, double perspective);
// Draws the line, the cone, the chord and the three marker squares inverting the pixels below.
void PaintViewCone(QPainter& painter, const TViewCone& cone);

enum class TMarkerHit { None, Camera, Target, Cone };
// The marker within 4 pixels of (x, y) in each axis; camera before target before handle.
TMarkerHit HitMarker(const TDoublePoint& camera, const TDoublePoint& target, const TDoublePoint& handle, double x, double y);
// Perspective for the handle dragged to `point`: degrees(arctan(50 / distance to the camera)).
double PerspectiveFromHandle(const TDoublePoint& camera, const TDoublePoint& point);

// ---- Read-outs and the heights check --------------------------------------------------------------
struct TCameraReadouts {
    double Direction = 0; // azimuth + 90, in 0 .. 360
    double Elevation = 0; // positive when the target is above the eye
    double Distance = 0;
};
TCameraReadouts CameraReadouts(const TVector3& eye, const TVector3& target);
// General format with `digits` significant digits and '.'.
QString GeneralText(double value, int digits);

// Grid cell under world X, Y: column Round(X / SpacingX) + Round(SizeX / 2), row likewise.
bool GridCellAt(const TGridBlock& grid, const TDoublePoint& world, int& column, int& row);

enum class THeightCheck {
    Outside,          // not over the grid
    Below,            // at or below the ground
    BelowRecommended, // camera only: not above the ground plus 1.5 x the roughness margin
    Clear,
};
THeightCheck CheckCameraHeight(const TProject& project, const TDoublePoint& world, double altitude);
THeightCheck CheckTargetHeight(const TProject& project, const TDoublePoint& world, double altitude);

// Font colours of the altitude fields.
inline constexpr QRgb kHeightOutsideColour = 0xFF0000FF;  // blue
inline constexpr QRgb kHeightBelowColour = 0xFFFF0000;    // red
inline constexpr QRgb kHeightNearColour = 0xFFFF8000;     // orange
inline constexpr QRgb kHeightClearColour = 0xFF000000;    // black

// ---- The window -----------------------------------------------------------------------------------
// The paint box over the map picture: paints and reports the mouse through callbacks.
class TPaintBox : public QWidget {
public:
    explicit TPaintBox(QWidget* parent = nullptr);
    std::function<void(QPainter&)> OnPaint;
    std::function<void(int x, int y)> OnMouseDown, OnMouseMove, OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TFCamera : public TFBaseForm {
    Q_OBJECT
public:
    explicit TFCamera(QWidget* parent = nullptr);
    ~TFCamera() override;

    void RefreshFromProject() override;

    TDoublePoint CameraMarkerToWorld() const;
    TDoublePoint TargetMarkerToWorld() const;
    void WorldToCameraMarker(double x, double y);
    void WorldToTargetMarker(double x, double y);
    void StoreMarkersInProject();
    void PlaceMarkersFromProject();
    // Recomputes the cone and the handle and repaints the paint box.
    void DrawViewCone();
    void UpdateCameraReadouts();
    void CheckCameraHeights();
    void ShowPerspective();

    // Mouse on the paint box, in its pixels.
    void LocPaintBoxMouseDown(int x, int y);
    void LocPaintBoxMouseMove(int x, int y);
    void LocPaintBoxMouseUp(int x, int y);

    TDoublePoint CameraMarker() const { return cameraMarker_; }
    TDoublePoint TargetMarker() const { return targetMarker_; }
    TDoublePoint ConeHandle() const { return coneHandle_; }
    bool DraggingCamera() const { return draggingCamera_; }
    bool DraggingTarget() const { return draggingTarget_; }
    bool DraggingCone() const { return draggingCone_; }
    bool GeoKeyDown() const { return geoKeyDown_; }
    // The cone last computed (valid unless it fell outside the pixel range).
    bool ConeValid() const { return coneValid_; }
    const TViewCone& Cone() const { return cone_; }

    // Controls.
    TFloatEdit* CameraGeoRefXEdit = nullptr;
    TFloatEdit* CameraGeoRefYEdit = nullptr;
    TFloatEdit* TargetGeoRefXEdit = nullptr;
    TFloatEdit* TargetGeoRefYEdit = nullptr;
    QSpinBox* ViewAlt = nullptr;
    QSpinBox* TargetAlt = nullptr;
    QSpinBox* PerspectiveSpinEdit = nullptr;
    QLineEdit* ViewDirectionEdit = nullptr;
    QLineEdit* ViewAzimuthEdit = nullptr;
    QLineEdit* ViewDistanceEdit = nullptr;
    QLabel* BelowLabel = nullptr;
    QLabel* RecommendedLabel = nullptr;
    QGroupBox* MapGroup = nullptr;
    TFlatImage* FlatImage = nullptr;
    TPaintBox* LocPaintBox = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TPositioningMap Map() const;
    void ShowReadouts();
    void ViewAltChange();
    void TargetAltChange();
    void PerspectiveSpinEditChange();
    void CameraGeoRefChange();
    void TargetGeoRefChange();

    TDoublePoint cameraMarker_, targetMarker_, coneHandle_;
    bool draggingCamera_ = false, draggingTarget_ = false, draggingCone_ = false;
    bool geoKeyDown_ = false;
    bool refreshing_ = false;
    bool coneValid_ = false;
    TViewCone cone_;
};

// The open camera editor, or null.
extern TFCamera* FCamera;
