#include "heightgrid/HeightTools.h"

#include "project/Project.h"

#include <algorithm>
#include <utility>

namespace {
constexpr uint32_t kGridChanged = 2025;
constexpr uint32_t kUndoDone = 2026;
} // namespace

bool THeightTools::onGrid(int32_t column, int32_t row) const
{
    const TProject* p = project();
    if (!p)
        return false;
    const TGridBlock& g = p->Grid;
    return column >= 0 && row >= 0 && column < std::min(g.SizeX, g.Cells.Columns())
           && row < std::min(g.SizeY, g.Cells.Rows());
}

void THeightTools::send(uint32_t message) const
{
    if (notify_)
        notify_(message);
}

double THeightTools::ApplyHeightAction(int32_t column, int32_t row, uint8_t action, double base, double difference)
{
    if (!onGrid(column, row))
        return NullHeight;
    TGridBlock& grid = project()->Grid;
    TGridCell& cell = grid.Cells[column][row];
    if (action == HeightActionNull) {
        cell.Height = NullHeight;
        return NullHeight;
    }
    if ((action == HeightActionAdd || action == HeightActionSubtract) && base == NullHeight)
        return NullHeight;
    const double delta = action == HeightActionAdd ? difference : action == HeightActionSubtract ? -difference : 0.0;
    LastBaseHeight = base;
    double result = base + delta;
    if (result < MinEditHeight)
        result = MinEditHeight;
    CurrentHeight = result;
    cell.Height = result;
    if (result > grid.MaxHeight)
        grid.MaxHeight = result;
    if (result < grid.MinHeight)
        grid.MinHeight = result;
    return result;
}

void THeightTools::ClearUndo()
{
    undo_.clear();
}

TUndoEntry THeightTools::RecordUndo(int32_t column, int32_t row, uint8_t oldFlag, double oldHeight)
{
    return TUndoEntry{column, row, oldHeight, oldFlag};
}

void THeightTools::AddUndo(const TUndoEntry& entry)
{
    undo_.push_back(entry);
    if (editDepth_ > 0)
        editChanged_ = true;
    else
        send(kGridChanged);
}

void THeightTools::RecordCell(int32_t column, int32_t row)
{
    if (!onGrid(column, row))
        return;
    const TGridCell& cell = project()->Grid.Cells[column][row];
    AddUndo(RecordUndo(column, row, cell.Flooded, cell.Height));
}

void THeightTools::BeginEdit()
{
    if (editDepth_++ == 0) {
        ClearUndo();
        editChanged_ = false;
    }
}

void THeightTools::EndEdit()
{
    if (editDepth_ == 0 || --editDepth_ > 0)
        return;
    if (editChanged_) {
        editChanged_ = false;
        send(kGridChanged);
    }
}

bool THeightTools::UndoLast()
{
    if (!project())
        return false;
    TGridBlock& grid = project()->Grid;
    for (const TUndoEntry& e : undo_) {
        if (e.OldHeight == kUndoPlaceholderHeight || !onGrid(e.Column, e.Row))
            continue;
        TGridCell& cell = grid.Cells[e.Column][e.Row];
        cell.Height = e.OldHeight;
        cell.Flooded = static_cast<uint8_t>(e.OldFlooded);
    }
    send(kUndoDone);
    return true;
}

void THeightTools::GridReplaced()
{
    ClearUndo();
    send(kUndoDone);
}

TCellRect THeightTools::SpotHeight(int32_t column, int32_t row, uint8_t action, double height, double difference)
{
    BeginEdit();
    RecordCell(column, row);
    ApplyHeightAction(column, row, action, height, difference);
    EndEdit();
    return {column, row, column, row};
}

TCellRect THeightTools::DefaultHeight(int32_t column, int32_t row)
{
    BeginEdit();
    if (onGrid(column, row)) {
        RecordCell(column, row);
        project()->Grid.Cells[column][row].Height = CurrentHeight;
    }
    EndEdit();
    return {column, row, column, row};
}

TCellRect THeightTools::LevelArea(int32_t column1, int32_t row1, int32_t column2, int32_t row2, uint8_t action,
                                  bool setAsHeight, double height, double difference)
{
    TCellRect area{std::min(column1, column2), std::min(row1, row2), std::max(column1, column2), std::max(row1, row2)};
    TProject* p = project();
    if (!p)
        return area;
    const TGridBlock& g = p->Grid;
    area.Left = std::max(area.Left, 0);
    area.Top = std::max(area.Top, 0);
    area.Right = std::min(area.Right, std::min(g.SizeX, g.Cells.Columns()) - 1);
    area.Bottom = std::min(area.Bottom, std::min(g.SizeY, g.Cells.Rows()) - 1);
    BeginEdit();
    for (int32_t c = area.Left; c <= area.Right; ++c)
        for (int32_t r = area.Top; r <= area.Bottom; ++r) {
            const double own = p->Grid.Cells[c][r].Height;
            RecordCell(c, r);
            ApplyHeightAction(c, r, action, setAsHeight ? height : own, difference);
        }
    EndEdit();
    return area;
}

std::vector<uint8_t> FloodRegion(int32_t columns, int32_t rows, int32_t column, int32_t row,
                                 const std::function<bool(int32_t, int32_t)>& member)
{
    if (columns < 1 || rows < 1)
        return {};
    std::vector<uint8_t> mask(size_t(columns) * size_t(rows), 0);
    if (column < 0 || row < 0 || column >= columns || row >= rows || !member(column, row))
        return mask;
    // An explicit stack: a recursive fill would overflow on large grids.
    std::vector<std::pair<int32_t, int32_t>> stack;
    stack.emplace_back(column, row);
    mask[size_t(column) * rows + row] = 1;
    while (!stack.empty()) {
        const auto [c, r] = stack.back();
        stack.pop_back();
        const std::pair<int32_t, int32_t> next[4] = {{c - 1, r}, {c + 1, r}, {c, r - 1}, {c, r + 1}};
        for (const auto& [nc, nr] : next) {
            if (nc < 0 || nr < 0 || nc >= columns || nr >= rows)
                continue;
            uint8_t& m = mask[size_t(nc) * rows + nr];
            if (m || !member(nc, nr))
                continue;
            m = 1;
            stack.emplace_back(nc, nr);
        }
    }
    return mask;
}

int64_t THeightTools::Flood(int32_t column, int32_t row, bool sameOrLower)
{
    if (!onGrid(column, row))
        return 0;
    TGridBlock& g = project()->Grid;
    const int32_t columns = std::min(g.SizeX, g.Cells.Columns());
    const int32_t rows = std::min(g.SizeY, g.Cells.Rows());
    const double level = g.Cells[column][row].Height;
    const std::vector<uint8_t> mask = FloodRegion(columns, rows, column, row, [&](int32_t c, int32_t r) {
        const double h = g.Cells[c][r].Height;
        return sameOrLower ? h <= level : h == level;
    });
    int64_t flooded = 0;
    BeginEdit();
    for (int32_t c = 0; c < columns; ++c)
        for (int32_t r = 0; r < rows; ++r) {
            if (!mask[size_t(c) * rows + r])
                continue;
            RecordCell(c, r);
            TGridCell& cell = g.Cells[c][r];
            cell.Flooded = 1;
            cell.Height = level;
            ++flooded;
        }
    EndEdit();
    return flooded;
}
