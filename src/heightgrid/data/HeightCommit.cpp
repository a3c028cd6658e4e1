#include "heightgrid/data/HeightData.h"

#include "project/Project.h"

bool CommitHeightImport(TProject& project, THeightImport& grid, std::string& error)
{
    TGridBlock& g = grid.Block;
    if (g.SizeX != grid.SizeX || g.SizeY != grid.SizeY || g.Cells.Columns() != g.SizeX ||
        g.Cells.Rows() != g.SizeY) {
        error = kMsgInvalidMapSize;
        return false;
    }
    if (grid.MakeNewGrid) {
        if (g.SizeX < 1 || g.SizeY < 1) {
            error = grid.NewGridError.empty() ? kMsgInvalidMapSize : grid.NewGridError;
            return false;
        }
        // The cells start in the colour of the base surface, as a new grid's do.
        TFloatRGB colour;
        if (!project.Fractal.TerrainSurfaces.empty()) {
            const TFloatColor& p = project.Fractal.TerrainSurfaces[0].Material.PrimaryColor;
            colour = {p.R, p.G, p.B};
        }
        TGridCell* c = g.Cells.Data();
        for (size_t k = 0, n = g.Cells.CellCount(); k < n; ++k)
            c[k].Color = colour;
        project.Grid = std::move(g);
        project.ComputeWorldScale();
    } else {
        if (project.Grid.SizeX != g.SizeX || project.Grid.SizeY != g.SizeY ||
            project.Grid.Cells.Columns() != g.SizeX || project.Grid.Cells.Rows() != g.SizeY) {
            error = kMsgInvalidMapSize;
            return false;
        }
        project.Grid.Cells = std::move(g.Cells);
    }
    grid.SizeX = grid.SizeY = 0;
    if (grid.RangeSet) {
        project.Grid.MaxHeight = grid.MaxHeight;
        project.Grid.MinHeight = grid.MinHeight;
    }
    return true;
}
