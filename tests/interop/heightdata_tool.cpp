// Command-line access to our height-data importers and exporters for the interoperability
// scripts:  heightdata_tool export FORMAT FILE COLUMNS ROWS [SPACING]   (the synthetic grid)
//           heightdata_tool import FORMAT FILE OUT.txt                   (heights as text lines)
// The synthetic grid: h(x, y) = (x * 37 + y * 53) % 900 - 100, row 0 the north edge.
#include "heightgrid/data/HeightExport.h"
#include "heightgrid/data/HeightImport.h"
#include "heightgrid/data/usgsdem.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

static int Usage()
{
    std::fprintf(stderr, "usage: heightdata_tool export FORMAT FILE COLUMNS ROWS [SPACING] | import FORMAT FILE OUT\n");
    return 2;
}

int main(int argc, char** argv)
{
    if (argc < 5)
        return Usage();
    const std::string cmd = argv[1], format = argv[2], file = argv[3];
    if (cmd == "export" && argc >= 6) {
        const std::map<std::string, TExportFormat> formats = {
            {"text", TExportFormat::Text}, {"dxf", TExportFormat::DXF}, {"bmp", TExportFormat::BMP},
            {"xyz", TExportFormat::XYZ}, {"pgm", TExportFormat::PGM}, {"ntf", TExportFormat::NTF},
            {"terragen", TExportFormat::Terragen}, {"vistapro", TExportFormat::Vistapro}};
        if (!formats.count(format))
            return Usage();
        TGridBlock grid;
        grid.SizeX = std::atoi(argv[4]);
        grid.SizeY = std::atoi(argv[5]);
        grid.SpacingX = grid.SpacingY = argc > 6 ? std::atof(argv[6]) : 30.0;
        grid.Cells.Resize(grid.SizeX, grid.SizeY);
        grid.MinHeight = 1e9;
        grid.MaxHeight = -1e9;
        for (int x = 0; x < grid.SizeX; ++x)
            for (int y = 0; y < grid.SizeY; ++y) {
                const double h = (x * 37 + y * 53) % 900 - 100;
                grid.Cells[x][y].Height = h;
                grid.MinHeight = std::min(grid.MinHeight, h);
                grid.MaxHeight = std::max(grid.MaxHeight, h);
            }
        const TExportResult r = ExportHeightData(formats.at(format), grid, file);
        if (!r.Ok) {
            std::fprintf(stderr, "%s\n", r.Error.c_str());
            return 1;
        }
        return 0;
    }
    if (cmd == "import") {
        TGridBlock current; // auto-sized imports do not use it
        TImportResult r;
        if (format == "usgs")
            r = ReadUSGSDEM(file, DefaultImportOptions(TImportFormat::XYZ), current);
        else if (format == "xyz")
            r = ImportXYZ(file, DefaultImportOptions(TImportFormat::XYZ), current);
        else if (format == "ntf")
            r = ImportNTF(file, DefaultImportOptions(TImportFormat::NTF), current);
        else if (format == "pgm")
            r = ImportPGM(file, TPGMImportOptions());
        else if (format == "bmp")
            r = ImportBMP(file, TBMPImportOptions());
        else if (format == "vistapro")
            r = ImportVistaDEM(file);
        else
            return Usage();
        if (!r.Ok) {
            std::fprintf(stderr, "%s\n", r.Error.c_str());
            return 1;
        }
        // One line per row, top row first: columns, rows, spacings, then the heights.
        std::ofstream out(argv[4]);
        const THeightImport& g = r.Grid;
        out.precision(17);
        out << g.SizeX << ' ' << g.SizeY << ' ' << g.SpacingX << ' ' << g.SpacingY << ' ' << g.MinHeight << ' '
            << g.MaxHeight << '\n';
        for (int y = 0; y < g.SizeY; ++y) {
            for (int x = 0; x < g.SizeX; ++x)
                out << g.At(x, y) << (x + 1 < g.SizeX ? ' ' : '\n');
        }
        return out ? 0 : 1;
    }
    return Usage();
}
