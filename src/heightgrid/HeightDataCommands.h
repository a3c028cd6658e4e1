#pragma once
// The landscape editor's height-data import and export commands: the option dialog of the
// format, the pure importer or exporter, the commit into the project, the messages and the
// refresh of every editor. The editor's own command only asks for the file and, after an import,
// updates its labels, repaints the map and marks the shadows out of date.
#include <string>

class QWidget;
class TProject;

// Open-dialog filters in filter-index order (index 1 is the first entry).
inline constexpr const char* kImportFilters[] = {
    "Ascii text (*.txt)", "Quarlex2 xyz (*.xyz)", "Graphics File (*.bmp)", "UK OS NTF Panorama (*.ntf)",
    "USGS DEM (*.dem)", "USGS DEM (7.5 cd distribution) (*.dem)", "Pixel Greymap (*.pgm)", "Vistapro DEM (*.dem)"};
// Save-dialog filters in filter-index order.
inline constexpr const char* kExportFilters[] = {
    "Ascii (*.txt)", "AutoCAD r12 DXF (*.dxf)", "Bitmap (*.bmp)", "Quarlex2 X,Y,Z (*.xyz)",
    "Pixel Greymap (*.pgm)", "UK OS NTF (Panorama) (*.ntf)", "Terragen Terrain (*.ter)", "Vistapro 3  DEM (*.dem)"};

// Imports `fileName` with the importer of the filter index (1 to 8). A cancelled dialog changes
// nothing; a failed import shows its message in an error box and changes nothing. Returns true
// when the project's grid was replaced or written.
bool RunHeightImport(int filterIndex, const std::string& fileName, TProject& project, QWidget* parent = nullptr);

// Exports the project's grid with the exporter of the filter index (1 to 8), showing the
// exporter's warning and error messages. Returns true when the file was written.
bool RunHeightExport(int filterIndex, const std::string& fileName, const TProject& project);

// Installs RunHeightImport and RunHeightExport as the landscape editor's import and export
// commands (done once at start-up).
void InstallHeightDataCommands();
