// Writes the render benchmark's project loaded from a file, made as a user makes one: a 257 x 257
// USGS DEM written by GDAL's gdal_translate (which must be on the path) from a valley of our own,
// imported through the program's USGS DEM reader with the import dialog's defaults, then the
// first cloud layer drawn, a surface layer painted over part of the map, the camera on the near
// edge looking up the valley, fractal depth 3, saved as a project file.
//
//   dem_project OUT.qx2
//
// Then: render OUT.qx2 --depth 3 --size 1436x885 --repeat 4
#include "editors/Terrain.h"
#include "heightgrid/data/HeightData.h"
#include "heightgrid/data/usgsdem.h"
#include "project/Project.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Heights in metres of a valley between two ridges, with a basin that floods, 30 m apart.
bool WriteAsciiGrid(const std::string& path, int n)
{
    std::ofstream out(path, std::ios::trunc);
    out << "ncols " << n << "\nnrows " << n << "\nxllcorner 500000\nyllcorner 4100000\ncellsize 30\n"
        << "NODATA_value -9999\n";
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const double x = double(c) / (n - 1), y = double(r) / (n - 1);
            double h = 900 + 350 * std::sin(3.1 * x + 0.7) * std::cos(2.3 * y - 0.4) + 180 * std::sin(9 * x * y + 1.3) +
                       60 * std::sin(23 * x + 17 * y);
            h -= 420 * std::exp(-((x - 0.55) * (x - 0.55) + (y - 0.35) * (y - 0.35)) / 0.02);
            char value[32];
            std::snprintf(value, sizeof value, "%s%.1f", c ? " " : "", h);
            out << value;
        }
        out << '\n';
    }
    return static_cast<bool>(out.flush());
}

bool Run(const QStringList& arguments)
{
    QProcess gdal;
    gdal.start(QStringLiteral("gdal_translate"), arguments);
    if (!gdal.waitForFinished(60000) || gdal.exitStatus() != QProcess::NormalExit || gdal.exitCode() != 0) {
        std::fprintf(stderr, "gdal_translate failed: %s\n%s\n", qPrintable(gdal.errorString()),
                     gdal.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dem_project OUT.qx2\n");
        return 2;
    }
    QTemporaryDir folder;
    const QString ascii = folder.filePath(QStringLiteral("valley.asc"));
    const QString tiff = folder.filePath(QStringLiteral("valley.tif"));
    const QString dem = folder.filePath(QStringLiteral("valley.dem"));
    if (!folder.isValid() || !WriteAsciiGrid(ascii.toStdString(), 257) ||
        !Run({"-q", "-a_srs", "EPSG:32613", "-ot", "Int16", ascii, tiff}) ||
        !Run({"-q", "-of", "USGSDEM", "-ot", "Int16", tiff, dem}))
        return 1;

    TProject project;
    // Landscape editor, Import, USGS DEM, the import dialog's defaults.
    const TImportOptions options;
    TImportResult imported = ReadUSGSDEM(dem.toStdString(), options, project.Grid);
    std::string error;
    if (!imported.Ok || !CommitHeightImport(project, imported.Grid, error)) {
        std::fprintf(stderr, "import failed: %s\n", (imported.Ok ? error : imported.Error).c_str());
        return 1;
    }
    TGridBlock& grid = project.Grid;
    std::printf("imported %d x %d vertices, heights %.0f .. %.0f\n", grid.SizeX, grid.SizeY, grid.MinHeight,
                grid.MaxHeight);

    // Cloud editor: the first layer drawn.
    if (project.Clouds.Items.empty()) {
        std::fprintf(stderr, "the project has no cloud layer\n");
        return 1;
    }
    project.Clouds.Items.front().Draw = 1;

    // Terrain layers editor: a surface layer with its own colours painted over the valley floor.
    const int layer = AddTerrainLayer(project, ltSurface);
    TTerrainLayer& surface = project.TerrainLayers.Items[static_cast<size_t>(layer)];
    surface.Name = "Meadow";
    surface.OverrideDefaultColor = 1;
    const int region = project.AppendLayerRegion(layer);
    if (region < 0) {
        std::fprintf(stderr, "cannot add a region\n");
        return 1;
    }
    TTerrainPoly& poly = project.TerrainPolys.Items[static_cast<size_t>(region)];
    poly.Points = {{0.2, 0.15}, {0.85, 0.1}, {0.9, 0.6}, {0.5, 0.75}, {0.15, 0.55}};
    poly.PointCount = static_cast<int32_t>(poly.Points.size());

    // Camera editor: from above the near edge up the valley; fractal parameters: depth 3.
    const double half = (grid.SizeY - 1) * grid.SpacingY / 2.0;
    project.Camera.Eye = {0.0f, static_cast<float>(grid.MaxHeight + 300.0), static_cast<float>(half * 0.95)};
    project.Camera.Target = {0.0f, static_cast<float>((grid.MinHeight + grid.MaxHeight) / 2.0),
                             static_cast<float>(-half * 0.3)};
    project.Fractal.FractalDepth = 3;
    project.Actors.Directory = project.Models.Directory = project.Overlays.Directory = QDir::tempPath().toStdString();

    if (!project.SaveToFile(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("wrote %s\n", argv[1]);
    return 0;
}
