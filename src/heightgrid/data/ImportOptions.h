#pragma once
// The options of one height-data import, as the import dialogs return them. The dialogs
// (TImportForm, TBMPImportForm, TPGMImportForm) read and fill these records, the importers
// take them, so both agree on meaning and defaults.
#include <cstdint>

// "Digital Data Import": placement of XYZ, NTF and USGS DEM data.
struct TImportOptions {
    bool AutoSize = true;        // new grid sized to the data; false: load into the current grid
    int32_t XOrigin = 0;         // grid column of the first imported point (load mode)
    int32_t YOrigin = 0;         // grid row offset of the first imported point (load mode)
    double DefaultHeight = 0.0;  // height of cells the file does not cover
    bool UseNull = true;         // the default height is the null height instead
    bool Overwrite = true;       // fill every cell with the default height before reading
    int32_t XOffset = 0;         // points of the file skipped at the start
    int32_t YOffset = 0;
    int32_t Sample = 1;          // keep every n-th point (1 to 10)
};

inline constexpr int32_t kImportOriginLimit = 99999;
inline constexpr int32_t kImportOffsetLimit = 99999;
inline constexpr int32_t kImportSampleMax = 10;

// The order in which a pixel's components form the 24-bit height value.
enum class TChannelOrder { RGB, RBG, GBR, GRB, BRG, BGR, None };

// "BMP Import Parameters".
struct TBMPImportOptions {
    TChannelOrder Order = TChannelOrder::RGB;
    int32_t MaxHeight = 1000;    // height of black (100 to 9000)
    double XSpacing = 0.1;       // grid spacing of the new grid (0.1 to 9999.9)
    double YSpacing = 0.1;
};

// "Pixel Greymap Import".
struct TPGMImportOptions {
    double XSpacing = 30.0;      // grid spacing of the new grid (0.1 to 9999.9)
    double YSpacing = 30.0;
};

inline constexpr double kSpacingMin = 0.1;
inline constexpr double kSpacingMax = 9999.9;
inline constexpr int32_t kBMPMaxHeightMin = 100;
inline constexpr int32_t kBMPMaxHeightMax = 9000;
