// Environment settings and animation scripts from untrusted text: every reader must cope, and a
// file written back must parse to the same text.
#include "project/AnimationFrames.h"
#include "project/EnvironmentSettings.h"
#include "project/MathUtils.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TProject* project = [] {
        InitRandomTables();
        auto* p = new TProject;
        p->NewGrid(9, 9, 30.0, 30.0);
        return p;
    }();
    const TIniFile ini(std::string_view(reinterpret_cast<const char*>(data), size));

    TAtmosphereBlock atmosphere = project->Atmosphere;
    TLightingBlock lighting = project->Lighting;
    TCloudsBlock clouds = project->Clouds;
    TFractalBlock fractal = project->Fractal;
    TWaterBlock water = project->Water;
    std::string error;
    ReadAtmosphereSettings(ini, atmosphere, lighting);
    ReadCloudSettings(ini, clouds, error);
    if (ReadFractalSettings(ini, fractal, error) &&
        (fractal.TerrainSurfaceCount < 3 || fractal.TerrainSurfaces.size() != static_cast<size_t>(fractal.TerrainSurfaceCount)))
        std::abort();
    ReadWaterSettings(ini, water);
    for (int frame = 0; frame < 3; ++frame)
        ApplyAnimationFrame(ini, frame, *project);

    // Writing settings into the parsed file and parsing the result again changes nothing more.
    TIniFile written = ini;
    try {
        WriteEnvironmentSettings(written, *project);
    } catch (const std::range_error&) {
    }
    const std::string text = written.Text();
    if (TIniFile(TIniFile(text).Text()).Text() != TIniFile(text).Text())
        std::abort();
    return 0;
}
