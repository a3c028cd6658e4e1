#pragma once
// TDefineNet: the zoomable map on which the height grid is edited. It draws the grid into a back
// buffer (background picture, height colours, flood marks), copies that buffer to the screen,
// turns mouse positions into cells, reports the cell under the cursor (WM_GRIDCURSOR) and hands
// clicks to the tool of the current mode. The arithmetic lives in MapView.h, the drawing in
// MapDrawing.h and the height tools with their undo in HeightTools.h; this class only routes.
//
// Modal dialogs are reached through the Exec* members so that tests can fill and confirm them.
// Drawing pumps pending messages after each column; a redraw asked for meanwhile (by a tool, or
// because the grid was replaced) is done once the running drawing has ended.
#include "heightgrid/Contour.h"
#include "heightgrid/HeightTools.h"
#include "heightgrid/Interpolation.h"
#include "heightgrid/MapDrawing.h"
#include "heightgrid/PlacementTools.h"
#include "shell/BaseUnit.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QMenu;
class TProject;
class TFloodDlg;
class TModelPlacementDlg;
class TInterpolateDlg;
class TSetHeightDlg;

// Tools of the map control.
enum : uint8_t {
    ModeSpotHeight = 1,
    ModeDefaultHeight = 2,
    ModeContour = 3,
    ModeContourTrace = 4,
    ModeLevelArea = 5,
    ModeInterpolate = 6,
    ModeFlood = 8,
    ModeRegion = 9,
    ModeModel = 10,
    ModeSelect = 11,
    ModeLine = 12,
};

class TDefineNet : public QWidget {
    Q_OBJECT
public:
    explicit TDefineNet(QWidget* parent = nullptr);
    ~TDefineNet() override;

    void SetProject(TProject** project);
    TProject* Project() const { return project_ ? *project_ : nullptr; }

    // ---- View ----------------------------------------------------------------------------------
    // Sizes the buffer (and the control) for the zoom level; a level whose buffer cannot be made
    // is brought back towards 0 first. Notices a replaced grid (the undo list is dropped then).
    bool ApplyZoom();
    double ZoomFactor() const;
    // One zoom step in or out; false (nothing changes) at the bounds.
    bool ZoomBy(bool in);
    bool CanZoom(bool in) const;
    void FitToWindow();
    void ScreenToCell(int x, int y, int32_t& column, int32_t& row) const;
    void CellToScreen(int32_t column, int32_t row, int& x, int& y) const;
    // Redraws the whole buffer or the cells of a rectangle (not repainted: call update()).
    void RedrawArea(bool whole, const TCellRect& cells = {});
    void SetMode(uint8_t mode, QMenu* popupMenu);
    void BroadcastMessage(const TAppMessage& message);
    // The map whose cursor message (WM_GRIDCURSOR) is being handled, while it is: the pixel in
    // that message belongs to this map's picture, whose size may differ from another window's map.
    static const TDefineNet* CursorMessageSender();

    // ---- Tools ---------------------------------------------------------------------------------
    void UndoLast();
    // The grid was replaced by a command of the window: drop the undo list (WM_UNDODONE).
    void GridReplaced();
    // The tool actions after their gestures (what the mouse calls).
    void SpotHeightAt(int x, int y);
    void DefaultHeightAt(int x, int y);
    void LevelAreaBetween(QPoint start, QPoint end);
    void FloodAt(int x, int y);
    // The model tool at pixel (x, y): the placement dialog, then a new model of the current layer.
    void PlaceModelAt(int x, int y);
    // "Edit parameters..." of the selected model.
    void EditSelectedModel();
    // Contour tool: a press adds a point (the first starts the contour), a right press finishes;
    // moves with the button held add points too. Points outside the buffer are ignored.
    void ContourPress(QPoint p, Qt::MouseButton button);
    void ContourMove(QPoint p);
    // Ends an open contour: the height dialog, then the height along the path (one edit).
    void FinishContour();
    // Automatic contour tool: follows the background colour under the pixel, then finishes.
    void ContourTraceAt(int x, int y);
    // Interpolation tool over the cells between two pixel corners.
    void InterpolateArea(QPoint start, QPoint end);

    // Modal dialogs; by default exec() == Accepted.
    std::function<bool(TSetHeightDlg&)> ExecSetHeight;
    std::function<bool(TFloodDlg&)> ExecFlood;
    std::function<bool(TModelPlacementDlg&)> ExecModelPlacement;
    std::function<bool(TInterpolateDlg&)> ExecInterpolate;
    // The gridding library the interpolation calls.
    TGriddingLibrary Gridding;

    // ---- State ---------------------------------------------------------------------------------
    int32_t ZoomLevel = 0;
    QImage Buffer;
    double Scale = 1.0;
    uint8_t Mode = ModeSpotHeight;
    THeightTools Tools;
    // Regions, lines and models of the current terrain layer (the terrain placement editor).
    TPlacementTools Placement;
    int32_t AutoTraceTolerance = 50;
    int32_t AutoTraceDensity = 3;
    QImage Background; // at its own size; stretched over the map
    bool DrawHeights = true, DrawBackground = true, DrawFloodMarks = true, DrawPlacements = true;
    bool MouseDown = false;
    // The rectangle gesture: painted over the buffer while it runs.
    bool RectangleActive = false;
    QPoint RectangleStart, RectangleEnd;
    // The contour being drawn or traced.
    std::vector<TCellPoint> ContourPoints;
    bool ContourStarted = false;
    bool IgnoreNextPress = false;
    TCellPoint LastContourCell{9999, 9999};
    // The background stretched to the buffer, as the last trace saw it.
    QImage TraceWork;
    // Cells of the last interpolation run.
    TCellRect InterpolationArea;

    bool Drawing() const { return drawing_ > 0; }
    QMenu* PopupMenu() const { return popupMenu_; }
    // The menu of a right click (the selection's, set by the editor); the tool stays.
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct TGridKey {
        const TProject* Project = nullptr;
        const void* Cells = nullptr;
        int32_t Columns = 0, Rows = 0;
        bool operator==(const TGridKey&) const = default;
    };
    TGridKey currentKey() const;
    // Clamps to the buffer; true when the point had to be moved.
    bool clampToBuffer(QPoint& p) const;
    void redrawNow(bool whole, const TCellRect& cells);
    // The placement tools work in pixels of the map as it is drawn now.
    void syncPlacementSize();
    // The height dialog of a tool, captioned; without actions only "set to a height" is offered.
    TSetHeightDlg& heightDialog(const QString& caption, bool withActions);
    bool insideBuffer(QPoint p) const;
    void addContourPoint(QPoint p);
    void clearContourOverlay();

    TProject** project_ = nullptr;
    TMapDrawState drawState_;
    TGridKey gridKey_;
    QMenu* popupMenu_ = nullptr;
    int drawing_ = 0;
    bool redrawPending_ = false;
    bool zoomPending_ = false;
    QPoint rubberEnd_;
    // What the contour tools show over the buffer until the height is set: the drawn polyline
    // (pixels) and the pixels the trace visited.
    std::vector<QPoint> contourLine_;
    QImage traceMarks_;
    // A gridding run is going on (its progress dialog pumps messages).
    bool interpolating_ = false;
};
