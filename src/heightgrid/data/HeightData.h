#pragma once
// Height-data exchange: the shared result types of the importers and exporters.
//
// An import parses the whole file into a fresh THeightImport; the caller commits it into the
// project only when the import succeeded, so a bad or cancelled import leaves the grid as it was.
// An export reads the grid and writes through a temporary file renamed over the target.
// Messages are returned, not shown: the caller shows `Error` in an error box (or a plain box when
// `ErrorIcon` says so) and `Warning` in a warning box.
#include "project/Messages.h"
#include "project/TypeDefinition.h"

#include <cstdint>
#include <string>
#include <vector>

// The hourglass through the status interface while an importer reads or an exporter writes.
struct THourglassScope {
    THourglassScope() { StatusSink().SetBusyCursor(true); }
    ~THourglassScope() { StatusSink().SetBusyCursor(false); }
    THourglassScope(const THourglassScope&) = delete;
    THourglassScope& operator=(const THourglassScope&) = delete;
};

class TProject;

// Largest grid an import may ask for (cells), checked before anything is allocated.
inline constexpr int64_t kMaxImportCells = 4096LL * 4096LL;
inline constexpr int32_t kMaxImportSide = 16384;
// The cell limit in force (kMaxImportCells unless a memory-constrained caller lowered it).
int64_t ImportCellLimit();
void SetImportCellLimit(int64_t cells);

// The grid an import produced, ready to be committed: a fresh grid block (a new grid, or a copy
// of the current one in load mode) whose cells the importer wrote.
struct THeightImport {
    bool MakeNewGrid = false;     // true: replaces the project's grid; false: its cells only
    int32_t SizeX = 0, SizeY = 0;
    double SpacingX = 0, SpacingY = 0;
    TGridBlock Block;             // descriptor and cells; heights in Block.Cells[x][y].Height
    bool RangeSet = false;        // false: the grid keeps its height range
    double MaxHeight = 0, MinHeight = 0;
    std::string NewGridError;     // message when the new grid cannot be made

    double& At(int32_t x, int32_t y) { return Block.Cells[x][y].Height; }
    double At(int32_t x, int32_t y) const { return Block.Cells[x][y].Height; }
    // Sets every height (the cells' other fields stay).
    void FillHeights(double h);
};

struct TImportResult {
    bool Ok = false;              // false: nothing to commit
    bool Cancelled = false;       // set by the caller's dialog step; no message
    std::string Error;            // numbered message or reason, shown in an error box
    THeightImport Grid;
};

struct TExportResult {
    bool Ok = false;
    std::string Error;
    TMsgIcon ErrorIcon = TMsgIcon::Error;
    std::string Warning;          // shown before anything else; the export still went on
};

// A fresh import target: a copy of the current grid (load mode), or a new grid of null cells made
// as TProject::NewGrid makes it. Returns false when the sizes are unusable or the cells cannot be
// had (the caller reports its format's message).
bool StartLoadInto(THeightImport& out, const TGridBlock& current);
bool StartNewGrid(THeightImport& out, int64_t columns, int64_t rows, double spacingX, double spacingY);

// Commits a successful import into the project: the new grid block (cells coloured from terrain
// surface 0, world scale recomputed) or the cells of the current one, then the height range when
// the import set one. Returns false with `error` (the project unchanged) when the import's grid is
// damaged or, in load mode, the project's grid no longer has the size it was read for.
// The import's cells are moved into the project.
bool CommitHeightImport(TProject& project, THeightImport& grid, std::string& error);

// Messages of the importers and exporters.
inline constexpr const char* kMsgCreateMapFailed = "E0005 Create Map Failed: too many grid points";
inline constexpr const char* kMsgInvalidXYZ = "E0008 Invalid data in xyz file";
inline constexpr const char* kMsgNotVistaCompatible = "E0014 Warning: Map parameters are not Vistapro compatible";
inline constexpr const char* kMsgErrorSavingDem = "E0015 Error saving dem file";
inline constexpr const char* kMsgInvalidMapSize = "E0055 Invalid map size parameters - PGM file format may be incorrect";
inline constexpr const char* kMsgErrorWriting = "E0126 Error writing to file";
