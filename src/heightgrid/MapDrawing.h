#pragma once
// Drawing the map control's back buffer: white ground, the background picture, one square (or
// number) per cell in the height colours, and the flood marks. Works on a QImage, no widgets.
#include "heightgrid/MapView.h"

#include <QImage>

#include <functional>

struct TGridBlock;

struct TMapDrawOptions {
    double Scale = 1.0;
    bool DrawBackground = true;
    bool DrawHeights = true;
    bool DrawFloodMarks = true;
    bool RGB = false; // the RGB ramp instead of the green one
};

// The square halves of the last drawing; the white fill of a partial redraw uses them as they
// stand, so that it covers the squares drawn before.
struct TMapDrawState {
    int32_t Half1 = 0, Half2 = 0;
};

// Called at the start of each column with the percentage done (0 for a one-column area) and after
// each column with -1; returning false ends the drawing (the buffer is left part drawn).
using TMapDrawProgress = std::function<bool(int percent)>;

// Redraws the whole buffer or the pixels of a cell rectangle (clipped to the grid). Returns false
// when the progress callback ended the drawing.
bool DrawMapArea(QImage& buffer, const TGridBlock& grid, const QImage& background, const TMapDrawOptions& options,
                 TMapDrawState& state, bool whole, const TCellRect& cells, const TMapDrawProgress& progress = {});

// The cells clipped to the grid; false when nothing of it lies on the grid.
bool ClipCellRect(const TGridBlock& grid, bool whole, const TCellRect& cells, TCellRect& clipped);
