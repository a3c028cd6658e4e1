#pragma once
// Small grids for the height-data tests.
#include "project/TypeDefinition.h"

#include <functional>

// A grid of columns x rows with heights f(x, y) (row 0 the north edge) and the given range.
inline TGridBlock MakeGrid(int columns, int rows, const std::function<double(int, int)>& f, double spacing = 30.0)
{
    TGridBlock g;
    g.SizeX = columns;
    g.SizeY = rows;
    g.SpacingX = g.SpacingY = spacing;
    g.Cells.Resize(columns, rows);
    g.MaxHeight = -1e300;
    g.MinHeight = 1e300;
    for (int x = 0; x < columns; ++x)
        for (int y = 0; y < rows; ++y) {
            const double h = f(x, y);
            g.Cells[x][y].Height = h;
            if (h > NullHeight) {
                g.MaxHeight = std::max(g.MaxHeight, h);
                g.MinHeight = std::min(g.MinHeight, h);
            }
        }
    return g;
}

inline double Pattern(int x, int y)
{
    return (x * 37 + y * 53) % 900 - 100;
}
