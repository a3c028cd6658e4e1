// Height-data import and export speed.
//   heightdata import FORMAT FILE [--save PROJECT.qx2]
//   heightdata export FORMAT FILE [--grid N | --project PROJECT.qx2]
// Prints the time, cells per second and peak memory. Imports use the import dialogs' default
// options (a new grid sized to the data). For a USGS DEM it also times gdal_translate converting
// the same file to GeoTIFF, when that program is installed, and compares every cell with the
// heights GDAL reads. A refused file exits non-zero with
// its message.
#include "heightgrid/data/HeightExport.h"
#include "heightgrid/data/HeightImport.h"
#include "heightgrid/data/usgsdem.h"
#include "project/Project.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

int Usage()
{
    std::fprintf(stderr,
                 "usage: heightdata import text|xyz|bmp|pgm|ntf|usgs|vistapro FILE [--save PROJECT.qx2]\n"
                 "       heightdata export text|dxf|bmp|xyz|pgm|ntf|terragen|vistapro FILE [--grid N | --project PROJECT.qx2]\n");
    return 2;
}

long PeakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void Report(const char* what, double seconds, double cells)
{
    std::printf("%s: %.3f s, %.0f cells, %.0f cells/s, peak memory %.1f MiB\n", what, seconds, cells,
                seconds > 0 ? cells / seconds : 0.0, PeakKiB() / 1024.0);
}

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

void CompareWithGDAL(const std::string& file, double ours)
{
    if (std::system("command -v gdal_translate >/dev/null 2>&1") != 0) {
        std::printf("gdal_translate: not installed, no comparison\n");
        return;
    }
    QTemporaryDir dir;
    const std::string tif = QDir(dir.path()).filePath("dem.tif").toStdString();
    const auto start = Clock::now();
    const int rc = std::system(("gdal_translate -q -of GTiff " + Quote(file) + " " + Quote(tif) + " >/dev/null 2>&1").c_str());
    const double theirs = Seconds(start);
    if (rc != 0) {
        std::printf("gdal_translate: failed on this file\n");
        return;
    }
    std::printf("gdal_translate to GeoTIFF: %.3f s; our import is %.2fx %s\n", theirs,
                ours > 0 ? theirs / ours : 0.0, ours < theirs ? "faster" : "slower (goal missed)");
}

// Every cell against the heights GDAL reads from the same file (as an ASCII grid, north row
// first). Profile c lands in column c and the south end in the last row, so GDAL's cell (c, r)
// is our cell (c + 1, r + 1).
void CompareHeightsWithGDAL(const std::string& file, const TGridBlock& grid)
{
    if (std::system("command -v gdal_translate >/dev/null 2>&1") != 0)
        return;
    QTemporaryDir dir;
    const std::string asc = QDir(dir.path()).filePath("dem.asc").toStdString();
    if (std::system(("gdal_translate -q -of AAIGrid " + Quote(file) + " " + Quote(asc) + " >/dev/null 2>&1").c_str()) != 0) {
        std::printf("GDAL's heights: gdal_translate failed on this file\n");
        return;
    }
    std::ifstream in(asc);
    long columns = 0, rows = 0;
    double nodata = -1e300;
    std::string key;
    // The header: ncols, nrows, xllcorner, yllcorner, cellsize (or dx, dy), NODATA_value.
    while (in >> key && !(key[0] == '-' || (key[0] >= '0' && key[0] <= '9'))) {
        double v = 0;
        in >> v;
        for (char& ch : key)
            ch = char(std::tolower(static_cast<unsigned char>(ch)));
        if (key == "ncols")
            columns = long(v);
        else if (key == "nrows")
            rows = long(v);
        else if (key == "nodata_value")
            nodata = v;
    }
    long agree = 0, differ = 0, stored = 0;
    std::string token = key;
    for (long r = 0; r < rows && in; ++r)
        for (long c = 0; c < columns && in; ++c) {
            if (!(r == 0 && c == 0) && !(in >> token))
                break;
            const double theirs = std::strtod(token.c_str(), nullptr);
            const double expected = theirs == nodata ? NullHeight : theirs;
            const bool inside = c + 1 < grid.SizeX && r + 1 < grid.SizeY;
            const double h = inside ? grid.Cells[int(c + 1)][int(r + 1)].Height : NullHeight - 1;
            (inside && h == expected ? agree : differ)++;
        }
    for (int x = 0; x < grid.SizeX; ++x)
        for (int y = 0; y < grid.SizeY; ++y)
            stored += grid.Cells[x][y].Height > NullHeight ? 1 : 0;
    std::printf("GDAL's heights: %ld x %ld cells, %ld agree, %ld differ; %ld cells of ours hold a height\n", columns, rows,
                agree, differ, stored);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return Usage();
    const std::string mode = argv[1], format = argv[2], file = argv[3];
    std::string save, projectFile;
    int gridSize = 1201;
    for (int k = 4; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--save" && k + 1 < argc)
            save = argv[++k];
        else if (a == "--project" && k + 1 < argc)
            projectFile = argv[++k];
        else if (a == "--grid" && k + 1 < argc)
            gridSize = std::atoi(argv[++k]);
        else
            return Usage();
    }

    TProject project;
    if (mode == "import") {
        if (!project.NewGrid(258, 258, 30.0, 30.0))
            return 1;
        const auto start = Clock::now();
        TImportResult r;
        if (format == "text")
            r = ImportText(file, project.Grid);
        else if (format == "xyz")
            r = ImportXYZ(file, TImportOptions(), project.Grid);
        else if (format == "bmp")
            r = ImportBMP(file, TBMPImportOptions());
        else if (format == "pgm")
            r = ImportPGM(file, TPGMImportOptions());
        else if (format == "ntf")
            r = ImportNTF(file, TImportOptions(), project.Grid);
        else if (format == "usgs")
            r = ReadUSGSDEM(file, TImportOptions(), project.Grid);
        else if (format == "vistapro")
            r = ImportVistaDEM(file);
        else
            return Usage();
        const double parsed = Seconds(start);
        std::string error = r.Error;
        if (r.Ok && !CommitHeightImport(project, r.Grid, error))
            r.Ok = false;
        const double seconds = Seconds(start);
        if (!r.Ok) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        Report(("import " + format).c_str(), seconds, double(project.Grid.SizeX) * project.Grid.SizeY);
        std::printf("reading the file: %.3f s; committing into the project grid: %.3f s\n", parsed, seconds - parsed);
        std::printf("grid %d x %d, spacing %g x %g, heights %g to %g\n", project.Grid.SizeX, project.Grid.SizeY,
                    project.Grid.SpacingX, project.Grid.SpacingY, project.Grid.MinHeight, project.Grid.MaxHeight);
        if (format == "usgs") {
            CompareWithGDAL(file, seconds);
            CompareHeightsWithGDAL(file, project.Grid);
        }
        if (!save.empty() && !project.SaveToFile(save))
            return 1;
        return 0;
    }
    if (mode == "export") {
        const std::map<std::string, TExportFormat> formats = {
            {"text", TExportFormat::Text}, {"dxf", TExportFormat::DXF}, {"bmp", TExportFormat::BMP},
            {"xyz", TExportFormat::XYZ}, {"pgm", TExportFormat::PGM}, {"ntf", TExportFormat::NTF},
            {"terragen", TExportFormat::Terragen}, {"vistapro", TExportFormat::Vistapro}};
        const auto f = formats.find(format);
        if (f == formats.end())
            return Usage();
        if (!projectFile.empty()) {
            if (!project.LoadFromFile(projectFile))
                return 1;
        } else {
            if (!project.NewGrid(gridSize, gridSize, 30.0, 30.0)) {
                std::fprintf(stderr, "%s\n", kMsgCreateMapFailed);
                return 1;
            }
            for (int x = 0; x < gridSize; ++x)
                for (int y = 0; y < gridSize; ++y)
                    project.Grid.Cells[x][y].Height = (x * 37 + y * 53) % 900 - 100;
            project.Grid.MinHeight = -100;
            project.Grid.MaxHeight = 799;
        }
        const auto start = Clock::now();
        const TExportResult r = ExportHeightData(f->second, project, file);
        const double seconds = Seconds(start);
        if (!r.Warning.empty())
            std::fprintf(stderr, "%s\n", r.Warning.c_str());
        if (!r.Ok) {
            std::fprintf(stderr, "%s\n", r.Error.c_str());
            return 1;
        }
        Report(("export " + format).c_str(), seconds, double(project.Grid.SizeX) * project.Grid.SizeY);
        return 0;
    }
    return Usage();
}
