#include "heightgrid/MapView.h"

#include <QColor>

#include <algorithm>
#include <cmath>
#include <cstdlib>

double ZoomFactor(int32_t zoomLevel)
{
    // |z| beyond a few dozen already gives factors no buffer can hold; the loop stays short.
    const int64_t steps = std::min<int64_t>(std::llabs(int64_t(zoomLevel)), 1000);
    double a = 1.0, b = 1.0; // F(1), F(2)
    for (int64_t i = 0; i < steps; ++i) {
        const double next = a + b;
        a = b;
        b = next;
    }
    return zoomLevel < 0 ? 1.0 / b : b;
}

bool MapBufferSize(int32_t zoomLevel, int32_t columns, int32_t rows, QSize& size)
{
    if (columns < 1 || rows < 1)
        return false;
    const double factor = ZoomFactor(zoomLevel);
    const double w = std::trunc(factor * columns);
    const double h = std::trunc(factor * rows);
    if (!(w >= 1.0) || !(h >= 1.0))
        return false;
    if (w * h > double(kMaxMapBufferPixels))
        return false;
    size = QSize(int(w), int(h));
    return true;
}

int32_t UsableZoomLevel(int32_t wanted, int32_t columns, int32_t rows)
{
    QSize size;
    int32_t level = wanted;
    while (level != 0 && !MapBufferSize(level, columns, rows, size))
        level += level > 0 ? -1 : 1;
    return level;
}

double FitScale(int32_t bufferWidth, int32_t bufferHeight, int32_t columns, int32_t rows)
{
    if (columns < 1 || rows < 1 || bufferWidth < 1 || bufferHeight < 1)
        return 1.0;
    // Whichever side is tighter once the half-cell margin is counted, so that the last column
    // and the last row both stay on the buffer.
    return std::min(bufferHeight / (rows - 0.5), bufferWidth / (columns - 0.5));
}

namespace {

int32_t cellOf(double p, double scale, int32_t count)
{
    if (count < 1)
        return 0;
    double c = std::trunc((p + scale / 2) / scale);
    if (!(c >= 0)) // also NaN
        c = 0;
    if (c > count - 1)
        c = count - 1;
    return int32_t(c);
}

int32_t roundedPixel(double v)
{
    const double r = std::nearbyint(v);
    if (!std::isfinite(r))
        return 0;
    return int32_t(std::clamp(r, -2147483648.0, 2147483647.0));
}

int channel(double c)
{
    return int(std::trunc(255.0 * c));
}

} // namespace

void ScreenToCell(double x, double y, double scale, int32_t columns, int32_t rows, int32_t& column, int32_t& row)
{
    column = cellOf(x, scale, columns);
    row = cellOf(y, scale, rows);
}

void CellToScreen(int32_t column, int32_t row, double scale, int32_t& x, int32_t& y)
{
    x = roundedPixel(column * scale);
    y = roundedPixel(row * scale);
}

QRgb GreenRampColor(double height, double minHeight, double maxHeight)
{
    double range = maxHeight - minHeight;
    if (range == 0)
        range = 1000.0;
    const double t = (height - minHeight) / range;
    if (!std::isfinite(t))
        return qRgb(0, 0, 0);
    const double r = std::clamp(0.1 * t + 0.2, 0.0, 0.8);
    const double g = std::clamp(0.7 * t + 0.3, 0.0, 1.0);
    const double b = std::clamp(0.1 * t + 0.2, 0.0, 0.8);
    return qRgb(channel(r), channel(g), channel(b));
}

QRgb RgbRampColor(double height, double minHeight, double maxHeight)
{
    const double range = maxHeight - minHeight;
    // A flat range has no middle or top: everything is low ground.
    double u = range == 0 ? 0.0 : (height - minHeight) / range;
    if (std::isnan(u) || !std::isfinite(height))
        return qRgb(0, 0, 0);
    u = std::clamp(u, 0.0, 1.0);
    const double r = std::sin(M_PI * u / 2);
    const double g = std::sin(M_PI * u);
    const double b = std::cos(M_PI * u / 2);
    return qRgb(channel(r), channel(g), channel(b));
}

void CellSquareHalves(double scale, int32_t& half1, int32_t& half2)
{
    const double s = std::isfinite(scale) ? std::clamp(std::trunc(scale), 0.0, 1e6) : 0.0;
    const int32_t n = std::max<int32_t>(int32_t(s) / 3 + 1, 3);
    half1 = n / 2;
    half2 = n - half1;
}

void FloodMarkHalves(double scale, int32_t& half1, int32_t& half2)
{
    const double s = std::isfinite(scale) ? std::clamp(scale, 0.0, 1e6) : 0.0;
    half1 = int32_t(std::trunc(s / 2));
    half2 = int32_t(std::ceil(s - half1));
}
