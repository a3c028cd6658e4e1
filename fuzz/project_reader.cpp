// Project files from untrusted bytes: reading must either refuse the file or give a project that
// writes and reads back to the same file.
#include "project/MathUtils.h"
#include "project/projectio.h"

#include <cstdlib>

namespace {

// The blocks of a new project, copied from one made at start (making them anew reads the
// settings store, and remaking the run-time state draws a noise tile: both slow).
void ResetBlocks(TProject& p, const TProject& fresh)
{
    p.Header = fresh.Header;
    p.Grid = fresh.Grid;
    p.Camera = fresh.Camera;
    p.Lighting = fresh.Lighting;
    p.Overlays = fresh.Overlays;
    p.Atmosphere = fresh.Atmosphere;
    p.Fractal = fresh.Fractal;
    p.Water = fresh.Water;
    p.Actors = fresh.Actors;
    p.Ecology = fresh.Ecology;
    p.Clouds = fresh.Clouds;
    p.TerrainLayers = fresh.TerrainLayers;
    p.TerrainPolys = fresh.TerrainPolys;
    p.Models = fresh.Models;
    p.TerrainLines = fresh.TerrainLines;
    p.Urban = fresh.Urban;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TProject* projects = [] {
        InitRandomTables();
        return new TProject[3];
    }();
    TProject& project = projects[0];
    TProject& again = projects[1];
    ResetBlocks(project, projects[2]);
    ResetBlocks(again, projects[2]);
    try {
        ReadProject(data, size, project);
    } catch (const EInvalidData&) {
        return 0;
    }
    std::vector<uint8_t> first;
    WriteProject(project, first);
    ReadProject(first.data(), first.size(), again); // a written file must always be readable
    std::vector<uint8_t> second;
    WriteProject(again, second);
    if (second != first)
        std::abort();
    return 0;
}
