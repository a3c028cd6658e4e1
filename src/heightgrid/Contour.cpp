#include "heightgrid/Contour.h"

#include "heightgrid/HeightTools.h"
#include "project/TypeDefinition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

std::vector<TCellPoint> SegmentCells(TCellPoint a, TCellPoint b)
{
    const int64_t dc = std::llabs(int64_t(b.Column) - a.Column), dr = std::llabs(int64_t(b.Row) - a.Row);
    const int32_t sc = b.Column >= a.Column ? 1 : -1, sr = b.Row >= a.Row ? 1 : -1;
    const int64_t longer = std::max(dc, dr), shorter = std::min(dc, dr);
    std::vector<TCellPoint> cells;
    cells.reserve(size_t(longer) + 1);
    for (int64_t i = 0; i <= longer; ++i) {
        const int64_t offset = longer == 0 ? 0 : int64_t(std::nearbyint(double(shorter) * double(i) / double(longer)));
        if (dc >= dr)
            cells.push_back({int32_t(a.Column + sc * i), int32_t(a.Row + sr * offset)});
        else
            cells.push_back({int32_t(a.Column + sc * offset), int32_t(a.Row + sr * i)});
    }
    return cells;
}

std::vector<TCellPoint> ContourPath(const std::vector<TCellPoint>& points)
{
    std::vector<TCellPoint> path;
    if (points.empty())
        return path;
    path.push_back(points.front());
    for (size_t i = 1; i < points.size(); ++i) {
        const std::vector<TCellPoint> segment = SegmentCells(points[i - 1], points[i]);
        // The segment's first cell is the previous point, already on the path.
        path.insert(path.end(), segment.begin() + 1, segment.end());
    }
    return path;
}

TCellRect WriteContour(THeightTools& tools, const TGridBlock& grid, const std::vector<TCellPoint>& points,
                       double height, int32_t density, int32_t* changed)
{
    const int32_t columns = std::min(grid.SizeX, grid.Cells.Columns());
    const int32_t rows = std::min(grid.SizeY, grid.Cells.Rows());
    density = std::max(density, 1);
    int64_t counter = 0;
    int32_t set = 0;
    bool editing = false;
    for (const TCellPoint& cell : ContourPath(points)) {
        if (cell.Column < 0 || cell.Row < 0 || cell.Column >= columns || cell.Row >= rows)
            continue;
        if (grid.Cells[cell.Column][cell.Row].Height == height)
            continue;
        if (++counter % density != 0)
            continue;
        // The undo list is replaced only once this path really changes a cell.
        if (!editing) {
            tools.BeginEdit();
            editing = true;
        }
        tools.RecordCell(cell.Column, cell.Row);
        tools.ApplyHeightAction(cell.Column, cell.Row, HeightActionSet, height, 0.0);
        ++set;
    }
    if (editing)
        tools.EndEdit();
    if (changed)
        *changed = set;
    TCellRect box;
    if (!points.empty()) {
        box = {points[0].Column, points[0].Row, points[0].Column, points[0].Row};
        for (const TCellPoint& p : points) {
            box.Left = std::min(box.Left, p.Column);
            box.Right = std::max(box.Right, p.Column);
            box.Top = std::min(box.Top, p.Row);
            box.Bottom = std::max(box.Bottom, p.Row);
        }
    }
    if (columns > 0 && rows > 0) {
        box.Left = std::clamp(box.Left, 0, columns - 1);
        box.Right = std::clamp(box.Right, 0, columns - 1);
        box.Top = std::clamp(box.Top, 0, rows - 1);
        box.Bottom = std::clamp(box.Bottom, 0, rows - 1);
    }
    return box;
}

QRgb TraceMarkerColour(QRgb start)
{
    const QRgb inverse = qRgb(255 - qRed(start), 255 - qGreen(start), 255 - qBlue(start));
    return (inverse & 0xFFFFFF) == 0xFFFFFF ? qRgb(255, 0, 0) : inverse;
}

std::vector<TCellPoint> TraceColour(const QImage& pictureIn, QPoint start, int32_t tolerance,
                                    const std::function<TCellPoint(int x, int y)>& cellOf,
                                    const std::function<void(int x, int y)>& visit)
{
    std::vector<TCellPoint> cells;
    if (pictureIn.isNull() || !pictureIn.rect().contains(start))
        return cells;
    const QImage picture = pictureIn.format() == QImage::Format_RGB32 || pictureIn.format() == QImage::Format_ARGB32
                               ? pictureIn
                               : pictureIn.convertToFormat(QImage::Format_RGB32);
    const int w = picture.width(), h = picture.height();
    auto colourAt = [&](int x, int y) { return reinterpret_cast<const QRgb*>(picture.constScanLine(y))[x] & 0xFFFFFF; };
    auto isWhite = [](QRgb c) { return (c & 0xFFFFFF) == 0xFFFFFF; };
    const QRgb c0 = colourAt(start.x(), start.y());
    if (isWhite(c0))
        return cells;
    // Visited pixels never match again, whatever the tolerance: this is what ends the walk.
    std::vector<uint8_t> visited(size_t(w) * size_t(h), 0);
    auto matches = [&](int x, int y) {
        if (visited[size_t(y) * w + x])
            return false;
        const QRgb c = colourAt(x, y);
        return std::abs(qRed(c) - qRed(c0)) <= tolerance && std::abs(qGreen(c) - qGreen(c0)) <= tolerance
               && std::abs(qBlue(c) - qBlue(c0)) <= tolerance;
    };
    std::vector<QPoint> stack{start};
    QPoint cur = start;
    TCellPoint last{9999, 9999};
    while (stack.size() < kTraceLimit && cells.size() < kTraceLimit) {
        const int x = cur.x(), y = cur.y();
        const int left = x > 0 ? x - 1 : x, right = x < w - 3 ? x + 1 : x;
        const int up = y > 0 ? y - 1 : y, down = y < h - 3 ? y + 1 : y;
        uint8_t& seen = visited[size_t(y) * w + x];
        if (!seen) {
            seen = 1;
            if (!isWhite(colourAt(x, y))) {
                const TCellPoint cell = cellOf(x, y);
                if (!(cell == last)) {
                    cells.push_back(cell);
                    last = cell;
                }
            }
            if (visit)
                visit(x, y);
        }
        const QPoint order[8] = {{left, y}, {left, up}, {right, y}, {right, up}, {x, up}, {right, down}, {left, down}, {x, down}};
        int count = 0;
        const QPoint* next = nullptr;
        for (const QPoint& p : order) {
            if (matches(p.x(), p.y())) {
                ++count;
                if (!next)
                    next = &p;
            }
        }
        if (count == 0) {
            if (stack.empty())
                break;
            cur = stack.back();
            stack.pop_back();
            continue;
        }
        if (count > 1)
            stack.push_back(cur);
        cur = *next;
    }
    return cells;
}
