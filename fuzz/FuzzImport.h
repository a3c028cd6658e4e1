#pragma once
// Shared set-up of the importer fuzz targets: small grids so one input stays cheap, and the
// options picked from the input's first byte.
#include "heightgrid/data/HeightImport.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fuzzimport {

inline void Setup()
{
    static bool done = false;
    if (!done) {
        SetImportCellLimit(1 << 20);
        done = true;
    }
}

// The current grid of load-mode imports: 17 x 11 cells of height 5.
inline const TGridBlock& Current()
{
    static TGridBlock g = [] {
        TGridBlock b;
        b.SizeX = 17;
        b.SizeY = 11;
        b.SpacingX = b.SpacingY = 30.0;
        b.Cells.Resize(17, 11);
        for (int x = 0; x < 17; ++x)
            for (int y = 0; y < 11; ++y)
                b.Cells[x][y].Height = 5.0;
        return b;
    }();
    return g;
}

// Options from the first byte (mode, sample, offsets, origin); the rest is the file.
inline TImportOptions Options(const uint8_t*& data, size_t& size)
{
    TImportOptions o;
    if (size == 0)
        return o;
    const uint8_t b = *data++;
    --size;
    o.AutoSize = (b & 1) == 0;
    o.Sample = 1 + ((b >> 1) & 3);
    o.XOffset = (b >> 3) & 1;
    o.YOffset = (b >> 4) & 1;
    o.XOrigin = (b & 0x20) ? -3 : 2;
    o.YOrigin = (b & 0x40) ? -2 : 1;
    o.UseNull = (b & 0x80) == 0;
    return o;
}

inline std::string_view View(const uint8_t* data, size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace fuzzimport
