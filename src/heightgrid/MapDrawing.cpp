#include "heightgrid/MapDrawing.h"

#include "project/TypeDefinition.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

int px(double v)
{
    const double r = std::nearbyint(v);
    if (!std::isfinite(r))
        return 0;
    return int(std::clamp(r, -1e9, 1e9));
}

// The Windows rectangle convention: right and bottom are excluded.
QRect fromCorners(int x1, int y1, int x2, int y2)
{
    return QRect(x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1));
}

QString heightText(double h)
{
    return QString::number(std::trunc(h), 'f', 0);
}

} // namespace

bool ClipCellRect(const TGridBlock& grid, bool whole, const TCellRect& cells, TCellRect& clipped)
{
    const int32_t columns = std::min(grid.SizeX, grid.Cells.Columns());
    const int32_t rows = std::min(grid.SizeY, grid.Cells.Rows());
    if (columns < 1 || rows < 1)
        return false;
    if (whole) {
        clipped = {0, 0, columns - 1, rows - 1};
        return true;
    }
    clipped.Left = std::max(cells.Left, 0);
    clipped.Top = std::max(cells.Top, 0);
    clipped.Right = std::min(cells.Right, columns - 1);
    clipped.Bottom = std::min(cells.Bottom, rows - 1);
    return clipped.Left <= clipped.Right && clipped.Top <= clipped.Bottom;
}

bool DrawMapArea(QImage& buffer, const TGridBlock& grid, const QImage& background, const TMapDrawOptions& options,
                 TMapDrawState& state, bool whole, const TCellRect& cells, const TMapDrawProgress& progress)
{
    if (buffer.isNull())
        return true;
    const double scale = options.Scale;
    QPainter painter(&buffer);

    // White ground, then the picture under the area.
    QRect target = buffer.rect();
    if (!whole)
        target = fromCorners(px(cells.Left * scale - state.Half1), px(cells.Top * scale - state.Half1),
                             px(cells.Right * scale + state.Half2), px(cells.Bottom * scale + state.Half2))
                     .intersected(buffer.rect());
    painter.fillRect(target, Qt::white);
    if (options.DrawBackground && !background.isNull() && !target.isEmpty()) {
        if (whole) {
            painter.drawImage(buffer.rect(), background);
        } else {
            const double fx = double(background.width()) / buffer.width();
            const double fy = double(background.height()) / buffer.height();
            const QRectF source(target.x() * fx, target.y() * fy, target.width() * fx, target.height() * fy);
            painter.drawImage(QRectF(target), background, source);
        }
    }

    TCellRect area;
    const bool onGrid = ClipCellRect(grid, whole, cells, area);

    if (options.DrawHeights && onGrid) {
        CellSquareHalves(scale, state.Half1, state.Half2);
        const int32_t half1 = state.Half1, half2 = state.Half2;
        const bool asText = scale >= kHeightTextScale;
        QFont font(QStringLiteral("Arial"));
        font.setStyleStrategy(QFont::NoAntialias); // glyphs in the ramp colour itself
        font.setPixelSize(std::max(1, int(std::clamp(std::trunc(0.4 * scale), 1.0, 4096.0))));
        painter.setFont(font);
        const QFontMetrics metrics(font);
        const double minH = grid.MinHeight, maxH = grid.MaxHeight;
        const int span = area.Right - area.Left;
        for (int32_t c = area.Left; c <= area.Right; ++c) {
            if (progress && !progress(span == 0 ? 0 : int(std::nearbyint((c - area.Left) * 100.0 / span))))
                return false;
            const TGridCell* column = grid.Cells[c];
            for (int32_t r = area.Top; r <= area.Bottom; ++r) {
                const double h = column[r].Height;
                if (!(h >= MinEditHeight)) // the null height (and NaN) leaves the picture visible
                    continue;
                const QColor colour = QColor::fromRgb(options.RGB ? RgbRampColor(h, minH, maxH)
                                                                  : GreenRampColor(h, minH, maxH));
                if (h == 0.0) {
                    painter.fillRect(fromCorners(px(c * scale - 1), px(r * scale - 1), px(c * scale + 1), px(r * scale + 1)),
                                     colour);
                } else if (asText) {
                    const QString text = heightText(h);
                    const QPoint topLeft(px(c * scale - half1), px(r * scale - half1));
                    const QRect box(topLeft, metrics.size(Qt::TextSingleLine, text));
                    painter.fillRect(box, Qt::white);
                    painter.setPen(colour);
                    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
                } else {
                    painter.fillRect(fromCorners(px(c * scale - half1), px(r * scale - half1), px(c * scale + half2),
                                                 px(r * scale + half2)),
                                     colour);
                }
            }
            if (progress && !progress(-1))
                return false;
        }
    }

    if (options.DrawFloodMarks && onGrid) {
        int32_t half1 = 0, half2 = 0;
        FloodMarkHalves(scale, half1, half2);
        const QColor blue(0, 0, 255);
        for (int32_t c = area.Left; c <= area.Right; ++c) {
            const TGridCell* column = grid.Cells[c];
            for (int32_t r = area.Top; r <= area.Bottom; ++r)
                if (column[r].Flooded == 1)
                    painter.fillRect(fromCorners(px(c * scale - half1), px(r * scale - half1), px(c * scale + half2),
                                                 px(r * scale + half2)),
                                     blue);
        }
    }
    return true;
}
