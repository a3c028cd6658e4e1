#include "heightgrid/data/HeightData.h"

#include "project/Project.h"

bool CommitHeightImport(TProject& project, const THeightImport& grid, std::string& error)
{
    if (grid.Heights.size() != size_t(grid.SizeX) * size_t(grid.SizeY)) {
        error = kMsgInvalidMapSize;
        return false;
    }
    if (grid.MakeNewGrid) {
        if (!project.NewGrid(grid.SizeX, grid.SizeY, grid.SpacingX, grid.SpacingY)) {
            error = grid.NewGridError.empty() ? kMsgInvalidMapSize : grid.NewGridError;
            return false;
        }
    } else if (project.Grid.SizeX != grid.SizeX || project.Grid.SizeY != grid.SizeY ||
               project.Grid.Cells.Columns() < grid.SizeX || project.Grid.Cells.Rows() < grid.SizeY) {
        error = kMsgInvalidMapSize;
        return false;
    }
    for (int32_t x = 0; x < grid.SizeX; ++x) {
        TGridCell* column = project.Grid.Cells[x];
        for (int32_t y = 0; y < grid.SizeY; ++y)
            column[y].Height = grid.At(x, y);
    }
    if (grid.RangeSet) {
        project.Grid.MaxHeight = grid.MaxHeight;
        project.Grid.MinHeight = grid.MinHeight;
    }
    return true;
}
