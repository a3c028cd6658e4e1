#pragma once
// The contour tools of the map control, free of widgets: the cells of a drawn polyline, writing a
// height into every n-th of them with undo, and following one colour of the background picture
// from a clicked pixel.
#include "heightgrid/MapView.h"

#include <QImage>
#include <QPoint>

#include <cstdint>
#include <functional>
#include <vector>

class THeightTools;
struct TGridBlock;

struct TCellPoint {
    int32_t Column = 0;
    int32_t Row = 0;
    bool operator==(const TCellPoint&) const = default;
};

// The cells of the segment from a to b, both ends included: one step at a time along the longer
// axis, the other offset by Round(shorter * i / longer) (halves to even) towards b.
std::vector<TCellPoint> SegmentCells(TCellPoint a, TCellPoint b);

// The cells of the polyline through the points in order, each joint once.
std::vector<TCellPoint> ContourPath(const std::vector<TCellPoint>& points);

// Writes `height` along the polyline as one edit: counting the path cells whose height differs
// from it, every density-th of them is recorded for undo and set (density below 1 counts as 1).
// Cells off the grid are passed over. Returns the bounding rectangle of the points (clamped to
// the grid); `changed` receives the number of cells set.
TCellRect WriteContour(THeightTools& tools, const TGridBlock& grid, const std::vector<TCellPoint>& points,
                       double height, int32_t density, int32_t* changed = nullptr);

// Most entries the trace keeps in its stack of branches and in its list of cells.
inline constexpr size_t kTraceLimit = 10000;

// Follows the colour of the pixel at `start` through `picture` (the background stretched to the
// buffer): from each pixel to the first matching unvisited neighbour (left, left-up, right,
// right-up, up, right-down, left-down, down), coming back to branch points at dead ends. A colour
// matches when each component lies within `tolerance` of the start colour. The right-most two
// columns and bottom two rows are not entered. Each visited non-white pixel adds its cell
// (`cellOf`) to the result when it differs from the cell before; `visit` sees every visited
// pixel. A white start pixel, or one outside the picture, gives nothing. Every pixel is visited
// at most once, so the walk always ends.
std::vector<TCellPoint> TraceColour(const QImage& picture, QPoint start, int32_t tolerance,
                                    const std::function<TCellPoint(int x, int y)>& cellOf,
                                    const std::function<void(int x, int y)>& visit = {});

// The colour the trace marks its pixels with: the inverse of the start colour, red when that is
// white.
QRgb TraceMarkerColour(QRgb start);
