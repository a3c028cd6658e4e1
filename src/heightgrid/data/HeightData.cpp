#include "heightgrid/data/HeightData.h"

#include <algorithm>
#include <cmath>
#include <new>

bool StartNewGrid(THeightImport& out, int64_t columns, int64_t rows, double spacingX, double spacingY)
{
    if (columns < 1 || rows < 1 || columns > kMaxImportSide || rows > kMaxImportSide ||
        columns * rows > kMaxImportCells)
        return false;
    if (!std::isfinite(spacingX) || !std::isfinite(spacingY) || spacingX <= 0 || spacingY <= 0)
        return false;
    try {
        out.Heights.assign(size_t(columns * rows), NullHeight);
    } catch (const std::bad_alloc&) {
        return false;
    }
    out.MakeNewGrid = true;
    out.SizeX = int32_t(columns);
    out.SizeY = int32_t(rows);
    out.SpacingX = spacingX;
    out.SpacingY = spacingY;
    return true;
}

bool StartLoadInto(THeightImport& out, const TGridBlock& current)
{
    const int cols = std::max(0, std::min<int>(current.SizeX, current.Cells.Columns()));
    const int rows = std::max(0, std::min<int>(current.SizeY, current.Cells.Rows()));
    try {
        out.Heights.resize(size_t(cols) * size_t(rows));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int x = 0; x < cols; ++x)
        for (int y = 0; y < rows; ++y)
            out.Heights[size_t(x) * size_t(rows) + size_t(y)] = current.Cells[x][y].Height;
    out.MakeNewGrid = false;
    out.SizeX = cols;
    out.SizeY = rows;
    out.SpacingX = current.SpacingX;
    out.SpacingY = current.SpacingY;
    return true;
}
