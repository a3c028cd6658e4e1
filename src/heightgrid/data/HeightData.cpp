#include "heightgrid/data/HeightData.h"

#include "project/Project.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

namespace {
int64_t cellLimit = kMaxImportCells;
}

int64_t ImportCellLimit()
{
    return cellLimit;
}

void SetImportCellLimit(int64_t cells)
{
    cellLimit = std::clamp<int64_t>(cells, 1, kMaxImportCells);
}

void THeightImport::FillHeights(double h)
{
    TGridCell* c = Block.Cells.Data();
    for (size_t k = 0, n = Block.Cells.CellCount(); k < n; ++k)
        c[k].Height = h;
}

bool StartNewGrid(THeightImport& out, int64_t columns, int64_t rows, double spacingX, double spacingY)
{
    if (columns < 1 || rows < 1 || columns > kMaxImportSide || rows > kMaxImportSide ||
        columns * rows > cellLimit || columns * rows > TProject::MaxGridCells)
        return false;
    if (!std::isfinite(spacingX) || !std::isfinite(spacingY) || spacingX <= 0 || spacingY <= 0)
        return false;
    TGridBlock& g = out.Block;
    InitGridBlock(g);
    try {
        g.Cells.Resize(int(columns), int(rows)); // null cells, normal up, nothing flooded
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    g.SizeX = int32_t(columns);
    g.SizeY = int32_t(rows);
    g.SpacingX = spacingX;
    g.SpacingY = spacingY;
    g.MapWidth = double(columns - 1) * spacingX;
    g.MapHeight = double(rows - 1) * spacingY;
    g.RightGeo = g.MapWidth;
    g.BottomGeo = g.MapHeight;
    out.MakeNewGrid = true;
    out.SizeX = g.SizeX;
    out.SizeY = g.SizeY;
    out.SpacingX = spacingX;
    out.SpacingY = spacingY;
    return true;
}

bool StartLoadInto(THeightImport& out, const TGridBlock& current)
{
    if (current.SizeX != current.Cells.Columns() || current.SizeY != current.Cells.Rows())
        return false;
    try {
        out.Block = current;
    } catch (const std::bad_alloc&) {
        return false;
    }
    out.MakeNewGrid = false;
    out.SizeX = current.SizeX;
    out.SizeY = current.SizeY;
    out.SpacingX = current.SpacingX;
    out.SpacingY = current.SpacingY;
    return true;
}
