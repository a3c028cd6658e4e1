#pragma once
// Filling the null cells of the height grid, free of widgets: gridding a rectangle of cells with
// the gridding library (through its point and grid files), and the whole-grid trend fill and
// smoothing. The map control shows the dialogs around these.
#include "heightgrid/MapView.h"
#include "platform/inter32.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

struct TGridBlock;

// A failed or cancelled gridding run, with the text to show (empty when cancelled).
class EAbortInterpolation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The entry points of the gridding library a run calls; tests put recording ones in.
struct TGriddingLibrary {
    void (*InitGrid)() = ::InitGrid;
    void (*SetOptions)(const TInterOptions*) = ::SetOptions;
    void (*ReadData)(char*) = ::ReadData;
    void (*Gradient)(char*, TInterContinue) = ::Gradient;
    void (*MakeGrid)(char*, TInterContinue) = ::MakeGrid;
    void (*DoneGrid)() = ::DoneGrid;
};

// What the interpolation dialog chose for the nearest-neighbour gridding.
struct TGridParams {
    bool Gradients = true;
    bool Speed = true;
    bool Extrapolate = false;
    int32_t Tautness1 = 1;
    int32_t Tautness2 = 8;
    double MinHeight = 0.0;
};

// The options record of a run over `area` (cells), with the two file paths.
TInterOptions MakeGridOptions(const TCellRect& area, const TGridParams& params, const std::string& inputPath,
                              const std::string& outputPath);

// The point file: one line "column*10 row*10 height" per non-null cell of the area, rows top to
// bottom, columns left to right. False when the file cannot be written completely.
bool WritePointFile(const TGridBlock& grid, const TCellRect& area, const std::string& path);

// Reads one number per cell of the area (bottom row first, each row left to right) into the null
// cells: below minHeight it is raised to it, the null value leaves the cell null; known cells keep
// their height. outOfRange tells whether a value placed lies outside the grid's height range.
// False when the file cannot be opened or holds fewer (or unreadable) numbers; the cells read
// before that keep their new values.
bool ReadGridFile(TGridBlock& grid, const TCellRect& area, const std::string& path, double minHeight,
                  bool& outOfRange);

// How a gridding run went.
enum class TGridOutcome { Done, Cancelled, Failed };

// Runs the gridding of the area: the point file, the library calls in order (DoneGrid once,
// whatever the outcome), then the grid file into the null cells. `activity` receives the step
// names, `keepGoing` is the library's continue callback (also polled between the steps). Failures
// raise EAbortInterpolation with the text to show. The temporary files are always removed.
// outOfRange as for ReadGridFile.
TGridOutcome RunGridding(TGridBlock& grid, const TCellRect& area, const TGridParams& params,
                         const TGriddingLibrary& library, const std::string& tempFolder,
                         const std::function<void(const char*)>& activity, TInterContinue keepGoing,
                         bool& outOfRange);

// Trend fill of the whole grid: passes of four parity sweeps give each null cell the rounded mean
// of its known neighbours (at least minHeight). False ("insufficient points") when a pass filled
// fewer than 100 cells, known cells included; the cells filled until then keep their heights.
bool TrendFill(TGridBlock& grid, double minHeight, int32_t* passes = nullptr);
inline constexpr int32_t kTrendFillMaxPasses = 1000;
inline constexpr int64_t kTrendFillMinFilled = 100;

// Smoothing of the whole grid: each known cell becomes the rounded mean of the known cells of its
// 3 x 3 window (at least minHeight), all computed from the grid as it was; null cells stay null.
// The height range becomes that of the known cells (unchanged when there are none).
void SmoothGrid(TGridBlock& grid, double minHeight);
