#pragma once
// The height tools of the map control and their one-level undo, free of widgets: the height
// action, spot and default height, level area, flood, and undo. They work on the project through
// the address of the project variable, so a replaced project is seen at once.
//
// Undo: every edit starts a fresh list (BeginEdit), records each cell before changing it, and
// ends with EndEdit, which sends one WM_GRIDCHANGED for the whole edit. AddUndo outside an edit
// sends it at once (for tools that record cell by cell on their own). UndoLast restores the
// recorded cells that still lie on the grid and sends WM_UNDODONE.
#include "heightgrid/MapView.h"

#include <cstdint>
#include <functional>
#include <vector>

class TProject;

struct TUndoEntry {
    int32_t Column = 0;
    int32_t Row = 0;
    double OldHeight = 0;
    uint16_t OldFlooded = 0;
};

// An entry holding this old height is a placeholder: undo skips it.
inline constexpr double kUndoPlaceholderHeight = -2147483647.0;

// Height actions of the set-height dialog.
enum : uint8_t { HeightActionSet = 0, HeightActionAdd = 1, HeightActionSubtract = 2, HeightActionNull = 3 };

class THeightTools {
public:
    // Receives the application messages the tools send (WM_GRIDCHANGED, WM_UNDODONE).
    using TNotify = std::function<void(uint32_t message)>;

    explicit THeightTools(TProject** project = nullptr) : project_(project) {}
    void SetProject(TProject** project) { project_ = project; }
    void SetNotify(TNotify notify) { notify_ = std::move(notify); }

    // Height of the last action (what the default-height tool writes) and its base value.
    double CurrentHeight = 0.0;
    double LastBaseHeight = 0.0;

    // 0 set, 1 add, 2 subtract, 3 null. Adding to or subtracting from the null height leaves the
    // cell alone; results stop at -1000.0; the grid's height range widens to the result. Returns
    // the new height (-1001.0 for null; the cell is untouched when it lies off the grid).
    double ApplyHeightAction(int32_t column, int32_t row, uint8_t action, double base, double difference);

    // ---- Undo list -------------------------------------------------------------------------------
    void ClearUndo();
    static TUndoEntry RecordUndo(int32_t column, int32_t row, uint8_t oldFlag, double oldHeight);
    void AddUndo(const TUndoEntry& entry);
    // Records the cell as it stands now (nothing when it lies off the grid).
    void RecordCell(int32_t column, int32_t row);
    void BeginEdit();
    void EndEdit();
    // Restores the last edit; false (and nothing sent) when there is no project.
    bool UndoLast();
    const std::vector<TUndoEntry>& UndoList() const { return undo_; }
    // The grid was replaced (new grid, import, another project): the list no longer applies.
    void GridReplaced();

    // ---- Tools (each one edit; the cells changed are returned for the redraw) ---------------------
    // Spot height: the dialog's action on one cell.
    TCellRect SpotHeight(int32_t column, int32_t row, uint8_t action, double height, double difference);
    // Default height: the cell takes CurrentHeight as it stands.
    TCellRect DefaultHeight(int32_t column, int32_t row);
    // Level area over the cells between two corners (any order, clamped to the grid). With
    // setAsHeight every cell gets the action on `height`; otherwise each cell's own height is the base.
    TCellRect LevelArea(int32_t column1, int32_t row1, int32_t column2, int32_t row2, uint8_t action, bool setAsHeight,
                        double height, double difference);
    // Flood from a cell: the 4-connected cells at the clicked height (or at it and below, when
    // sameOrLower) become flooded at that height. Returns the number of cells flooded.
    int64_t Flood(int32_t column, int32_t row, bool sameOrLower);

private:
    TProject* project() const { return project_ ? *project_ : nullptr; }
    bool onGrid(int32_t column, int32_t row) const;
    void send(uint32_t message) const;

    TProject** project_ = nullptr;
    TNotify notify_;
    std::vector<TUndoEntry> undo_;
    int editDepth_ = 0;
    bool editChanged_ = false;
};

// The cells 4-connected to (column, row) for which `member` holds, as a columns x rows mask
// (index column * rows + row); the start cell is included only when member holds for it.
std::vector<uint8_t> FloodRegion(int32_t columns, int32_t rows, int32_t column, int32_t row,
                                 const std::function<bool(int32_t, int32_t)>& member);
