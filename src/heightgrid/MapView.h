#pragma once
// The arithmetic of the map control, free of widgets: zoom steps, the buffer size a zoom gives,
// fitting the scale to the buffer, screen <-> cell mapping and the two height colour ramps.
#include <QRgb>
#include <QSize>

#include <cstdint>

// An inclusive rectangle of grid cells (columns Left..Right, rows Top..Bottom).
struct TCellRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Largest back buffer the map control makes (pixels); about 128 MB at 32 bits a pixel.
inline constexpr int64_t kMaxMapBufferPixels = int64_t(1) << 25;

// Pixels per grid point at zoom level z: the Fibonacci number F(|z| + 2) (1, 2, 3, 5, 8 ...),
// its reciprocal for z < 0.
double ZoomFactor(int32_t zoomLevel);

// The back buffer size at a zoom level: Trunc(factor x columns) by Trunc(factor x rows). False
// when that buffer would be empty (a side below one pixel) or larger than kMaxMapBufferPixels.
bool MapBufferSize(int32_t zoomLevel, int32_t columns, int32_t rows, QSize& size);

// The zoom level nearest to `wanted` (moving towards level 0) whose buffer can be made; a grid
// without cells gives 0.
int32_t UsableZoomLevel(int32_t wanted, int32_t columns, int32_t rows);

// Pixels per grid spacing that fit a grid of columns x rows into a buffer of the given size with
// half a cell to spare after the last column and row; 1.0 for a grid without cells.
double FitScale(int32_t bufferWidth, int32_t bufferHeight, int32_t columns, int32_t rows);

// Pixel to cell: Trunc((p + scale / 2) / scale), clamped to the grid.
void ScreenToCell(double x, double y, double scale, int32_t columns, int32_t rows, int32_t& column, int32_t& row);
// Cell to pixel: Round(index x scale).
void CellToScreen(int32_t column, int32_t row, double scale, int32_t& x, int32_t& y);

// Height colours. Green: dark to bright green over (h - min) / range, the range 1000.0 when
// max = min. RGB: blue for low ground, green in the middle, red for high ground; with max = min
// every height takes the low end. A height that gives no colour (NaN, infinities) is black.
QRgb GreenRampColor(double height, double minHeight, double maxHeight);
QRgb RgbRampColor(double height, double minHeight, double maxHeight);

// Side of a drawn cell square split around the cell centre: n = Trunc(scale) div 3 + 1, at least
// 3; half1 = n div 2, half2 = n - half1.
void CellSquareHalves(double scale, int32_t& half1, int32_t& half2);
// The same for flood marks, which cover a cell edge to edge: Trunc(scale / 2) and the rest.
void FloodMarkHalves(double scale, int32_t& half1, int32_t& half2);

// Scale from which heights are written as numbers instead of squares.
inline constexpr double kHeightTextScale = 18.0;
