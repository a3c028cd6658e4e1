#pragma once
// TPlacementTools: the terrain-placement tools of the map control, without the widget. Terrain
// regions and lines are drawn vertex by vertex, models placed at a point, and a selection tool picks
// a model, line vertex or region vertex of the current terrain layer and drags it.
//
// Positions are stored as fractions of the map control's size (Width x Height pixels) and drawn at
// (Round(x Width), Round(y Height)). The current layer is a terrain layer ID (-1: none).
#include <QPoint>

#include <cstdint>
#include <vector>

class QPainter;
class TProject;
struct TTerrainPoly;

// What WM_PLACEMENTSELECT's high word names.
enum TPlacementKind : uint32_t { pkRegion = 0, pkModel = 1, pkLine = 2 };

// One WM_PLACEMENTSELECT to send: selected (1) or cleared (0) and the kind.
struct TPlacementNotice {
    uint32_t Selected = 0;
    TPlacementKind Kind = pkRegion;
    uint32_t WParam() const { return (Selected & 0xFFFF) | (uint32_t(Kind) << 16); }
};

class TPlacementTools {
public:
    void SetProject(TProject** project) { project_ = project; }
    TProject* Project() const { return project_ ? *project_ : nullptr; }

    int32_t CurrentLayer = -1;
    int Width = 1, Height = 1;

    // ---- Regions (line = false) and lines (line = true) ----------------------------------------
    // Left press: starts a new one when none is open (the point is its first vertex).
    void PolyPress(bool line, QPoint p);
    // Left release: the point is appended as a vertex of the open one.
    void PolyRelease(bool line, QPoint p);
    // Right release: the open one is finished.
    void PolyFinish(bool line);
    // Leaving the tool while one is open deletes it.
    void CancelOpen();
    bool Open(bool line) const { return line ? openLine_ >= 0 : openRegion_ >= 0; }
    // The last vertex of the open region or line (for the rubber line), when one is open.
    bool LastOpenVertex(QPoint& p) const;

    // ---- Models --------------------------------------------------------------------------------
    // The size and rotation offered for a new model: the current layer's model height and turn.
    bool CurrentLayerModelDefaults(double& size, int& rotation) const;
    // Appends a model of the current layer at pixel p; its index.
    int PlaceModel(QPoint p, double size, double rotation);

    // ---- Selection -----------------------------------------------------------------------------
    int SelectedRegion = -1, SelectedLine = -1, SelectedModel = -1, SelectedVertex = -1;
    QPoint Marker;
    bool Moved = false;
    bool HasMarker() const { return SelectedModel >= 0 || SelectedVertex >= 0; }
    // The selection press at p: the notices to broadcast, in order.
    std::vector<TPlacementNotice> SelectAt(QPoint p);
    // Dragging the selection to p; false when nothing is selected.
    bool DragTo(QPoint p);
    void ClearSelection();
    // Clears the model, region and line selection; the notices of what was cleared, in order.
    std::vector<TPlacementNotice> DropSelection();

    // ---- Popup commands (nothing selected: nothing happens) ------------------------------------
    void InsertPoint(bool line);
    void DeletePoint(bool line);
    void DeleteSelectedRegion();
    void DeleteSelectedLine();
    void DeleteSelectedModel();
    void DeleteLayerRegions();
    void DeleteLayerLines();
    void DeleteLayerModels();
    bool SelectedModelValues(double& size, int& rotation) const;
    void SetSelectedModelValues(double size, double rotation);

    // The drawn pixel of a stored fraction pair.
    QPoint PixelOf(double x, double y) const;

private:
    TTerrainPoly* poly(bool line, int index) const;
    int appendPoly(bool line);
    void appendVertex(TTerrainPoly& poly, QPoint p) const;

    TProject** project_ = nullptr;
    int openRegion_ = -1, openLine_ = -1;
};

// Regions, lines and models of every shown layer over the map (width x height pixels).
void DrawPlacements(QPainter& painter, const TProject& project, int width, int height);
