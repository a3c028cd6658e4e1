#pragma once
// USGS DEM reader: the A record (header) and the B records (one profile each) of a USGS DEM
// into a fresh THeightImport, placed by the import options. Fields are found by blanks, so files
// with or without line ends between their 1024-byte records read alike.
#include "heightgrid/data/HeightData.h"
#include "heightgrid/data/ImportOptions.h"

#include <string>
#include <string_view>

inline constexpr const char* kMsgInvalidUSGS = "Invalid data in USGS DEM file";
inline constexpr int32_t kUSGSVoid = -32767; // elevation of a void cell

TImportResult ReadUSGSDEM(const std::string& fileName, const TImportOptions& options, const TGridBlock& current);
TImportResult ReadUSGSDEMData(std::string_view data, const TImportOptions& options, const TGridBlock& current);

// Field conversions, exposed for tests: Fortran reals ("D" exponents read as "E").
double USGSReal24(std::string_view field);
