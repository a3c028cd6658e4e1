#include "heightgrid/Interpolation.h"

#include "project/TypeDefinition.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

int32_t columnsOf(const TGridBlock& g) { return std::max(0, std::min(g.SizeX, g.Cells.Columns())); }
int32_t rowsOf(const TGridBlock& g) { return std::max(0, std::min(g.SizeY, g.Cells.Rows())); }

// The area with its corners in order and clamped to the grid; false when the grid has no cells.
bool clampArea(const TGridBlock& g, TCellRect& a)
{
    const int32_t columns = columnsOf(g), rows = rowsOf(g);
    if (columns < 1 || rows < 1)
        return false;
    if (a.Left > a.Right)
        std::swap(a.Left, a.Right);
    if (a.Top > a.Bottom)
        std::swap(a.Top, a.Bottom);
    a.Left = std::clamp(a.Left, 0, columns - 1);
    a.Right = std::clamp(a.Right, 0, columns - 1);
    a.Top = std::clamp(a.Top, 0, rows - 1);
    a.Bottom = std::clamp(a.Bottom, 0, rows - 1);
    return true;
}

bool isNull(double h) { return !(h >= MinEditHeight); }

void copyText(char* field, size_t size, const std::string& text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

void removeQuietly(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

} // namespace

TInterOptions MakeGridOptions(const TCellRect& area, const TGridParams& params, const std::string& inputPath,
                              const std::string& outputPath)
{
    TInterOptions o;
    std::memset(&o, 0, sizeof o);
    copyText(o.InputPath, sizeof o.InputPath, inputPath);
    copyText(o.OutputPath, sizeof o.OutputPath, outputPath);
    o.GradientFlag = params.Gradients ? 1 : 0;
    o.Columns = area.Right - area.Left + 1;
    o.Rows = area.Bottom - area.Top + 1;
    o.Reserved3 = 1;
    o.SpeedFlag = params.Speed ? 1 : 0;
    o.Reserved5 = -1;
    o.Tautness1 = params.Tautness1;
    o.Tautness2 = params.Tautness2;
    o.Reserved6[0] = o.Reserved6[1] = o.Reserved6[2] = 1;
    o.Left = area.Left * 10;
    o.Top = area.Top * 10;
    o.Right = area.Right * 10;
    o.Bottom = area.Bottom * 10;
    o.NullValue = -1001;
    o.ExtrapolateFlag = params.Extrapolate ? 1 : 0;
    copyText(o.InputLineFormat, sizeof o.InputLineFormat, "%lf%lf%*s");
    copyText(o.InputPointFormat, sizeof o.InputPointFormat, "%lf%lf%lf");
    copyText(o.OutputValueFormat, sizeof o.OutputValueFormat, "%12.4f");
    copyText(o.OutputValueGradientFormat, sizeof o.OutputValueGradientFormat, "%12.4f %8.3f %8.3f");
    copyText(o.OutputPointFormat, sizeof o.OutputPointFormat, "%12.4f %12.4f %12.4f");
    copyText(o.OutputPointGradientFormat, sizeof o.OutputPointGradientFormat, "%12.4f %12.4f %12.4f %8.3f %8.3f");
    return o;
}

bool WritePointFile(const TGridBlock& grid, const TCellRect& areaIn, const std::string& path)
{
    TCellRect area = areaIn;
    const bool hasCells = clampArea(grid, area);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = true;
    if (hasCells) {
        std::string line;
        char number[64];
        for (int32_t r = area.Top; r <= area.Bottom && ok; ++r) {
            for (int32_t c = area.Left; c <= area.Right && ok; ++c) {
                const double h = grid.Cells[c][r].Height;
                if (isNull(h) || !std::isfinite(h))
                    continue;
                line = std::to_string(int64_t(c) * 10) + ' ' + std::to_string(int64_t(r) * 10) + ' ';
                line.append(number, std::to_chars(number, number + sizeof number, h).ptr);
                line.push_back('\n');
                ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
            }
        }
    }
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

bool ReadGridFile(TGridBlock& grid, const TCellRect& areaIn, const std::string& path, double minHeight,
                  bool& outOfRange)
{
    outOfRange = false;
    TCellRect area = areaIn;
    if (!clampArea(grid, area))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    const char* p = text.c_str();
    for (int32_t r = area.Bottom; r >= area.Top; --r) {
        for (int32_t c = area.Left; c <= area.Right; ++c) {
            while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
                ++p;
            char* end = nullptr;
            double v = std::strtod(p, &end);
            // A missing, unreadable or non-finite number ends the reading as a failure.
            if (end == p || !std::isfinite(v))
                return false;
            p = end;
            TGridCell& cell = grid.Cells[c][r];
            if (!isNull(cell.Height) || v == NullHeight)
                continue;
            if (v < minHeight)
                v = minHeight;
            // A value below the floor of edited heights would read as null: keep it at the floor.
            if (v < MinEditHeight)
                v = MinEditHeight;
            cell.Height = v;
            if (v > grid.MaxHeight || v < grid.MinHeight)
                outOfRange = true;
        }
    }
    return true;
}

TGridOutcome RunGridding(TGridBlock& grid, const TCellRect& areaIn, const TGridParams& params,
                         const TGriddingLibrary& library, const std::string& tempFolder,
                         const std::function<void(const char*)>& activity, TInterContinue keepGoing,
                         bool& outOfRange)
{
    outOfRange = false;
    TCellRect area = areaIn;
    if (!clampArea(grid, area) || (area.Left == area.Right && area.Top == area.Bottom))
        throw EAbortInterpolation("E0016 Interpolation area too small");
    const std::string inPath = (std::filesystem::path(tempFolder) / "~in.tmp").string();
    const std::string outPath = (std::filesystem::path(tempFolder) / "~out.tmp").string();
    struct TRemoveFiles {
        std::string a, b;
        ~TRemoveFiles()
        {
            removeQuietly(a);
            removeQuietly(b);
        }
    } removeFiles{inPath, outPath};
    // A grid file left by an earlier run must never be taken for this run's.
    removeQuietly(outPath);
    // The library gets the paths in fixed fields: a longer path would name another file.
    const bool pathsFit = outPath.size() < sizeof(TInterOptions::OutputPath) && inPath.size() < sizeof(TInterOptions::InputPath);
    if (!pathsFit || !WritePointFile(grid, area, inPath))
        throw EAbortInterpolation("E0018 Error creating temporary file");

    auto say = [&](const char* text) {
        if (activity)
            activity(text);
    };
    auto going = [&] { return !keepGoing || keepGoing() != 0; };
    say("Generating parameters");
    const TInterOptions options = MakeGridOptions(area, params, inPath, outPath);
    char error[kInterErrorSize];
    auto check = [&] {
        error[kInterErrorSize - 1] = '\0';
        if (error[0])
            throw EAbortInterpolation(std::string(error, strnlen(error, kInterErrorSize - 1)));
    };

    struct TDone {
        const TGriddingLibrary& lib;
        ~TDone() { lib.DoneGrid(); }
    };
    library.InitGrid();
    TDone done{library};
    say("Initializing");
    library.SetOptions(&options);
    error[0] = '\0';
    library.ReadData(error);
    check();
    if (params.Gradients) {
        say("Calculating gradients");
        error[0] = '\0';
        library.Gradient(error, keepGoing);
        check();
    }
    if (!going())
        return TGridOutcome::Cancelled;
    say("Creating grid");
    error[0] = '\0';
    library.MakeGrid(error, keepGoing);
    check();
    if (!going())
        return TGridOutcome::Cancelled;
    say("Applying results");
    if (!ReadGridFile(grid, area, outPath, params.MinHeight, outOfRange))
        throw EAbortInterpolation("E0017 Error reading temporary file");
    return TGridOutcome::Done;
}

bool TrendFill(TGridBlock& grid, double minHeight, int32_t* passesOut)
{
    const int32_t columns = columnsOf(grid), rows = rowsOf(grid);
    if (passesOut)
        *passesOut = 0;
    // The four parity classes in sweep order: (column parity, row parity).
    static constexpr int kSweeps[4][2] = {{1, 1}, {0, 0}, {0, 1}, {1, 0}};
    for (int32_t pass = 1; pass <= kTrendFillMaxPasses; ++pass) {
        if (passesOut)
            *passesOut = pass;
        int64_t filled = 0;
        bool incomplete = false;
        for (const auto& sweep : kSweeps) {
            for (int32_t c = sweep[0]; c < columns; c += 2) {
                for (int32_t r = sweep[1]; r < rows; r += 2) {
                    TGridCell& cell = grid.Cells[c][r];
                    if (!isNull(cell.Height)) {
                        ++filled;
                        continue;
                    }
                    double sum = 0;
                    int n = 0;
                    for (int32_t dc = -1; dc <= 1; ++dc) {
                        for (int32_t dr = -1; dr <= 1; ++dr) {
                            const int32_t nc = c + dc, nr = r + dr;
                            if ((dc == 0 && dr == 0) || nc < 0 || nr < 0 || nc >= columns || nr >= rows)
                                continue;
                            const double h = grid.Cells[nc][nr].Height;
                            if (!isNull(h)) {
                                sum += h;
                                ++n;
                            }
                        }
                    }
                    if (n == 0) {
                        incomplete = true;
                        continue;
                    }
                    double estimate = std::nearbyint(sum / n);
                    if (estimate < minHeight)
                        estimate = minHeight;
                    cell.Height = estimate;
                    ++filled;
                }
            }
        }
        if (filled < kTrendFillMinFilled)
            return false;
        if (!incomplete)
            break;
    }
    return true;
}

void SmoothGrid(TGridBlock& grid, double minHeight)
{
    const int32_t columns = columnsOf(grid), rows = rowsOf(grid);
    if (columns < 1 || rows < 1)
        return;
    // Every value from the grid as it was: the results go to a copy first.
    std::vector<double> smoothed(size_t(columns) * size_t(rows), NullHeight);
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < columns; ++c) {
            if (isNull(grid.Cells[c][r].Height))
                continue;
            double sum = 0;
            int n = 0;
            for (int32_t nc = std::max(c - 1, 0); nc <= std::min(c + 1, columns - 1); ++nc)
                for (int32_t nr = std::max(r - 1, 0); nr <= std::min(r + 1, rows - 1); ++nr) {
                    const double h = grid.Cells[nc][nr].Height;
                    if (!isNull(h)) {
                        sum += h;
                        ++n;
                    }
                }
            double v = std::nearbyint(sum / n);
            if (v < minHeight)
                v = minHeight;
            smoothed[size_t(c) * size_t(rows) + size_t(r)] = v;
        }
    }
    bool any = false;
    double lo = 0, hi = 0;
    for (int32_t c = 0; c < columns; ++c)
        for (int32_t r = 0; r < rows; ++r) {
            const double v = smoothed[size_t(c) * size_t(rows) + size_t(r)];
            grid.Cells[c][r].Height = v;
            if (v == NullHeight)
                continue;
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
    if (any) {
        grid.MinHeight = lo;
        grid.MaxHeight = hi;
    }
}
