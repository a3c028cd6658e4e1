#pragma once
// Height-data exporters: the grid (read only) to a file. Each writes a temporary file beside the
// target and renames it over the target only when everything was written, so a failed export
// leaves any existing file as it was.
#include "heightgrid/data/HeightData.h"

#include <string>

enum class TExportFormat { Text, DXF, BMP, XYZ, PGM, NTF, Terragen, Vistapro };

TExportResult ExportText(const TGridBlock& grid, const std::string& fileName);
TExportResult ExportDXF(const TGridBlock& grid, const std::string& fileName);
TExportResult ExportBMP(const TGridBlock& grid, const std::string& fileName);
TExportResult ExportXYZ(const TGridBlock& grid, const std::string& fileName);
TExportResult ExportPGM(const TGridBlock& grid, const std::string& fileName);
TExportResult ExportNTF(const TGridBlock& grid, const std::string& fileName);
TExportResult ExportTerragen(const TGridBlock& grid, const std::string& fileName);
TExportResult ExportVistaDEM(const TGridBlock& grid, const std::string& fileName);

// The exporter of one format (the save dialog's filter index 1 to 8 maps onto the enum in order).
TExportResult ExportHeightData(TExportFormat format, const TProject& project, const std::string& fileName);
TExportResult ExportHeightData(TExportFormat format, const TGridBlock& grid, const std::string& fileName);

// The bytes of the text forms, for callers that want them without a file.
std::string TextExportBytes(const TGridBlock& grid);
