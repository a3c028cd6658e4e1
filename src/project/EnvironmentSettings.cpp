#include "project/EnvironmentSettings.h"

#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/StrStuff.h"

#include <map>
#include <stdexcept>

namespace {

void WriteColor(TIniFile& ini, const std::string& section, const std::string& key, const TFloatColor& c)
{
    ini.WriteInteger(section, key, static_cast<int64_t>(FloatToColorRef(c)));
}

void ReadColor(const TIniFile& ini, const std::string& section, const std::string& key, TFloatColor& c)
{
    auto v = ini.Value(section, key);
    if (!v)
        return;
    auto n = ParseInteger(*v, true);
    // A value that is not a 24-bit colour leaves the colour as it is, like any unreadable number.
    if (n && *n >= 0 && *n <= 0xFFFFFF)
        c = ColorRefToFloat(static_cast<uint32_t>(*n));
}

void ReadFloat(const TIniFile& ini, const std::string& section, const std::string& key, double& v)
{
    v = ini.ReadFloat(section, key, v);
}

void ReadInt(const TIniFile& ini, const std::string& section, const std::string& key, int32_t& v)
{
    v = ini.ReadInteger(section, key, v);
}

void ReadFlag(const TIniFile& ini, const std::string& section, const std::string& key, uint8_t& v)
{
    v = ini.ReadBool(section, key, v != 0) ? 1 : 0;
}

const char* const kAtmosphereFloats[] = {"FogDensity", "Ambient",  "Diffuse", "Blueing",  "Glowing", "ShadowDepth",
                                         "Ceiling",    "Floor",    "Distance", "Infinity", "MistHeight"};

double* AtmosphereFloat(TAtmosphereBlock& a, int i)
{
    double* fields[] = {&a.FogDensity, &a.Ambient,  &a.Diffuse,  &a.Blueing,  &a.Glowing,   &a.ShadowDepth,
                        &a.Ceiling,    &a.Floor,    &a.Distance, &a.Infinity, &a.MistHeight};
    return fields[i];
}

} // namespace

void WriteMaterialSettings(TIniFile& ini, const std::string& section, const std::string& prefix,
                           const TSurfaceMaterial& m)
{
    WriteColor(ini, section, prefix + "-PrimaryColor", m.PrimaryColor);
    WriteColor(ini, section, prefix + "-SecondaryColor", m.SecondaryColor);
    ini.WriteFloat(section, prefix + "-Roughness", m.Roughness);
    ini.WriteFloat(section, prefix + "-Specularity", m.Specularity);
    ini.WriteInteger(section, prefix + "-Shininess", m.Shininess);
    ini.WriteFloat(section, prefix + "-Emission", m.Emission);
}

void ReadMaterialSettings(const TIniFile& ini, const std::string& section, const std::string& prefix,
                          TSurfaceMaterial& m)
{
    ReadColor(ini, section, prefix + "-PrimaryColor", m.PrimaryColor);
    ReadColor(ini, section, prefix + "-SecondaryColor", m.SecondaryColor);
    ReadFloat(ini, section, prefix + "-Roughness", m.Roughness);
    ReadFloat(ini, section, prefix + "-Specularity", m.Specularity);
    ReadInt(ini, section, prefix + "-Shininess", m.Shininess);
    ReadFloat(ini, section, prefix + "-Emission", m.Emission);
}

void WriteSurfaceSettings(TIniFile& ini, const std::string& section, const std::string& prefix,
                          const TTerrainSurface& s)
{
    WriteMaterialSettings(ini, section, prefix, s.Material);
    ini.WriteInteger(section, prefix + "-SurfaceID", s.SurfaceID);
    ini.WriteString(section, prefix + "-SurfaceName", s.SurfaceName);
    ini.WriteInteger(section, prefix + "-ParentID", s.ParentID);
    ini.WriteFloat(section, prefix + "-Coverage", s.Coverage);
    ini.WriteBool(section, prefix + "-MaxAltitude", s.MaxAltitude != 0);
    ini.WriteBool(section, prefix + "-MinAltitude", s.MinAltitude != 0);
    ini.WriteBool(section, prefix + "-MaxSlope", s.MaxSlope != 0);
    ini.WriteBool(section, prefix + "-MinSlope", s.MinSlope != 0);
    ini.WriteFloat(section, prefix + "-MaxAltitudeValue", s.MaxAltitudeValue);
    ini.WriteFloat(section, prefix + "-MinAltitudeValue", s.MinAltitudeValue);
    ini.WriteFloat(section, prefix + "-MaxSlopeValue", s.MaxSlopeValue);
    ini.WriteFloat(section, prefix + "-MinSlopeValue", s.MinSlopeValue);
    ini.WriteFloat(section, prefix + "-MaxAltitudeEdge", s.MaxAltitudeEdge);
    ini.WriteFloat(section, prefix + "-MinAltitudeEdge", s.MinAltitudeEdge);
    ini.WriteFloat(section, prefix + "-MaxSlopeEdge", s.MaxSlopeEdge);
    ini.WriteFloat(section, prefix + "-MinSlopeEdge", s.MinSlopeEdge);
    ini.WriteFloat(section, prefix + "-Bumpiness", s.Bumpiness);
}

void ReadSurfaceSettings(const TIniFile& ini, const std::string& section, const std::string& prefix,
                         TTerrainSurface& s)
{
    ReadMaterialSettings(ini, section, prefix, s.Material);
    ReadInt(ini, section, prefix + "-SurfaceID", s.SurfaceID);
    s.SurfaceName = CutShortString(ini.ReadString(section, prefix + "-SurfaceName", s.SurfaceName));
    ReadInt(ini, section, prefix + "-ParentID", s.ParentID);
    ReadFloat(ini, section, prefix + "-Coverage", s.Coverage);
    ReadFlag(ini, section, prefix + "-MaxAltitude", s.MaxAltitude);
    ReadFlag(ini, section, prefix + "-MinAltitude", s.MinAltitude);
    ReadFlag(ini, section, prefix + "-MaxSlope", s.MaxSlope);
    ReadFlag(ini, section, prefix + "-MinSlope", s.MinSlope);
    ReadFloat(ini, section, prefix + "-MaxAltitudeValue", s.MaxAltitudeValue);
    ReadFloat(ini, section, prefix + "-MinAltitudeValue", s.MinAltitudeValue);
    ReadFloat(ini, section, prefix + "-MaxSlopeValue", s.MaxSlopeValue);
    ReadFloat(ini, section, prefix + "-MinSlopeValue", s.MinSlopeValue);
    ReadFloat(ini, section, prefix + "-MaxAltitudeEdge", s.MaxAltitudeEdge);
    ReadFloat(ini, section, prefix + "-MinAltitudeEdge", s.MinAltitudeEdge);
    ReadFloat(ini, section, prefix + "-MaxSlopeEdge", s.MaxSlopeEdge);
    ReadFloat(ini, section, prefix + "-MinSlopeEdge", s.MinSlopeEdge);
    ReadFloat(ini, section, prefix + "-Bumpiness", s.Bumpiness);
}

void WriteEnvironmentSettings(TIniFile& ini, const TProject& p)
{
    ini.WriteString("Environment", "Name", p.Header.Name);

    const TAtmosphereBlock& a = p.Atmosphere;
    WriteColor(ini, "Atmosphere", "SkyColor", a.SkyColor);
    WriteColor(ini, "Atmosphere", "HorizonColor", a.HorizonColor);
    WriteColor(ini, "Atmosphere", "FogColor", a.FogColor);
    WriteColor(ini, "Atmosphere", "DecayColor", a.DecayColor);
    TAtmosphereBlock copy = a;
    for (int i = 0; i < 11; ++i)
        ini.WriteFloat("Atmosphere", kAtmosphereFloats[i], *AtmosphereFloat(copy, i));

    if (p.Clouds.Items.empty())
        throw std::range_error("the project has no cloud layer");
    const TCloud& c = p.Clouds.Items[0];
    ini.WriteBool("Cloud", "Draw-0", c.Draw != 0);
    ini.WriteFloat("Cloud", "Height-0", c.Height);
    ini.WriteInteger("Cloud", "Cover-0", c.Cover);
    ini.WriteInteger("Cloud", "Density-0", c.Density);
    ini.WriteInteger("Cloud", "Size-0", c.Size);
    WriteColor(ini, "Cloud", "CloudColor1-0", c.CloudColor1);
    WriteColor(ini, "Cloud", "CloudColor2-0", c.CloudColor2);
    ini.WriteFloat("Cloud", "XOffset-0", c.XOffset);
    ini.WriteFloat("Cloud", "YOffset-0", c.YOffset);

    const TFractalBlock& f = p.Fractal;
    // Only the surfaces the list really holds are written, and the count says so.
    const int32_t surfaces =
        std::clamp<int32_t>(f.TerrainSurfaceCount, 0, static_cast<int32_t>(f.TerrainSurfaces.size()));
    ini.WriteInteger("Fractal", "TreeLine", f.TreeLine);
    ini.WriteInteger("Fractal", "SnowLine", f.SnowLine);
    ini.WriteInteger("Fractal", "BandEdgeFuzziness", f.BandEdgeFuzziness);
    ini.WriteInteger("Fractal", "BaseTerrainBias", f.BaseTerrainBias);
    ini.WriteInteger("Fractal", "TerrainSurfaceCount", surfaces);
    ini.WriteInteger("Fractal", "TerrainSurfaceNextID", f.TerrainSurfaceNextID);
    for (int32_t i = 0; i < surfaces; ++i)
        WriteSurfaceSettings(ini, "Fractal", std::to_string(i), f.TerrainSurfaces[i]);

    const TLightingBlock& l = p.Lighting;
    WriteColor(ini, "Lighting", "PrimaryLightColor", l.PrimaryLightColor);
    WriteColor(ini, "Lighting", "AmbientLightColor", l.AmbientLightColor);
    ini.WriteFloat("Lighting", "LightAltitude", l.LightAltitude);
    ini.WriteFloat("Lighting", "LightAzimuth", l.LightAzimuth);
    ini.WriteFloat("Lighting", "SunSize", l.SunSize);

    const TWaterBlock& w = p.Water;
    ini.WriteFloat("Water", "WaveHeight", w.WaveHeight);
    ini.WriteFloat("Water", "WaveLength", w.WaveLength);
    ini.WriteInteger("Water", "WindDirection", w.WindDirection);
    ini.WriteInteger("Water", "WaterTurbulance", w.WaterTurbulance);
    WriteMaterialSettings(ini, "Water", "Water", w.Surface);
}

void ReadAtmosphereSettings(const TIniFile& ini, TAtmosphereBlock& a, TLightingBlock& l)
{
    ReadColor(ini, "Atmosphere", "SkyColor", a.SkyColor);
    ReadColor(ini, "Atmosphere", "HorizonColor", a.HorizonColor);
    ReadColor(ini, "Atmosphere", "FogColor", a.FogColor);
    ReadColor(ini, "Atmosphere", "DecayColor", a.DecayColor);
    for (int i = 0; i < 11; ++i)
        ReadFloat(ini, "Atmosphere", kAtmosphereFloats[i], *AtmosphereFloat(a, i));
    ReadColor(ini, "Lighting", "PrimaryLightColor", l.PrimaryLightColor);
    ReadColor(ini, "Lighting", "AmbientLightColor", l.AmbientLightColor);
    ReadFloat(ini, "Lighting", "LightAltitude", l.LightAltitude);
    ReadFloat(ini, "Lighting", "LightAzimuth", l.LightAzimuth);
    ReadFloat(ini, "Lighting", "SunSize", l.SunSize);
}

bool ReadCloudSettings(const TIniFile& ini, TCloudsBlock& clouds, std::string& error)
{
    if (clouds.Items.empty()) {
        error = "The project has no cloud layer";
        return false;
    }
    TCloud& c = clouds.Items[0];
    ReadFlag(ini, "Cloud", "Draw-0", c.Draw);
    ReadFloat(ini, "Cloud", "Height-0", c.Height);
    ReadInt(ini, "Cloud", "Cover-0", c.Cover);
    ReadInt(ini, "Cloud", "Density-0", c.Density);
    ReadInt(ini, "Cloud", "Size-0", c.Size);
    ReadColor(ini, "Cloud", "CloudColor1-0", c.CloudColor1);
    ReadColor(ini, "Cloud", "CloudColor2-0", c.CloudColor2);
    ReadFloat(ini, "Cloud", "XOffset-0", c.XOffset);
    ReadFloat(ini, "Cloud", "YOffset-0", c.YOffset);
    return true;
}

bool ReadFractalSettings(const TIniFile& ini, TFractalBlock& fractal, std::string& error)
{
    TFractalBlock f = fractal;
    ReadInt(ini, "Fractal", "TreeLine", f.TreeLine);
    ReadInt(ini, "Fractal", "SnowLine", f.SnowLine);
    ReadInt(ini, "Fractal", "BandEdgeFuzziness", f.BandEdgeFuzziness);
    ReadInt(ini, "Fractal", "BaseTerrainBias", f.BaseTerrainBias);
    ReadInt(ini, "Fractal", "TerrainSurfaceCount", f.TerrainSurfaceCount);
    ReadInt(ini, "Fractal", "TerrainSurfaceNextID", f.TerrainSurfaceNextID);
    // The count sizes an allocation: only a count no list can have is refused. A short list is
    // taken as it stands and its band surfaces made whole below.
    if (f.TerrainSurfaceCount < 0 || f.TerrainSurfaceCount > MaxIniSurfaceCount) {
        error = "The Fractal section asks for " + std::to_string(f.TerrainSurfaceCount) +
                " terrain surfaces; at most " + std::to_string(MaxIniSurfaceCount) + " are possible";
        return false;
    }
    const size_t before = f.TerrainSurfaces.size();
    f.TerrainSurfaces.resize(static_cast<size_t>(f.TerrainSurfaceCount));
    for (size_t i = before; i < f.TerrainSurfaces.size(); ++i)
        f.TerrainSurfaces[i].ParentID = 0; // new entries start zeroed, as the settings files expect
    for (int32_t i = 0; i < f.TerrainSurfaceCount; ++i)
        ReadSurfaceSettings(ini, "Fractal", std::to_string(i), f.TerrainSurfaces[i]);
    // A parent chain that returns to where it started would make the surface tree endless.
    std::map<int32_t, int32_t> parentOf;
    for (const TTerrainSurface& s : f.TerrainSurfaces)
        parentOf.emplace(s.SurfaceID, s.ParentID);
    for (const TTerrainSurface& s : f.TerrainSurfaces) {
        int32_t id = s.SurfaceID;
        for (size_t steps = 0;; ++steps) {
            auto it = parentOf.find(id);
            if (it == parentOf.end() || it->second == -1)
                break;
            if (steps >= parentOf.size()) {
                error = "The terrain surfaces of the Fractal section are their own parents (surface " +
                        std::to_string(s.SurfaceID) + ")";
                return false;
            }
            id = it->second;
        }
    }
    CompleteBandSurfaces(f);
    fractal = std::move(f);
    return true;
}

void ReadWaterSettings(const TIniFile& ini, TWaterBlock& w)
{
    ReadFloat(ini, "Water", "WaveHeight", w.WaveHeight);
    ReadFloat(ini, "Water", "WaveLength", w.WaveLength);
    ReadInt(ini, "Water", "WindDirection", w.WindDirection);
    ReadInt(ini, "Water", "WaterTurbulance", w.WaterTurbulance);
    // Both key forms seen in settings files; the second wins where both are present.
    ReadMaterialSettings(ini, "Water", "Water-0-", w.Surface);
    ReadMaterialSettings(ini, "Water", "Water", w.Surface);
}

// ---------------------------------------------------------------------------------------------
// TProject members

namespace {

bool LoadIni(const std::string& fileName, TIniFile& ini)
{
    std::string error;
    if (!ini.LoadFromFile(fileName, &error)) {
        ShowError("Cannot read environment settings file " + fileName + ": " + error);
        return false;
    }
    return true;
}

} // namespace

bool TProject::ExportEnvironmentSettings(const std::string& fileName) const
{
    TIniFile ini;
    if (!LoadIni(fileName, ini))
        return false;
    try {
        WriteEnvironmentSettings(ini, *this);
    } catch (const std::exception& e) {
        ShowError("Cannot export environment settings: " + std::string(e.what()));
        return false;
    }
    std::string error;
    if (!ini.SaveToFile(fileName, &error)) {
        ShowError("Cannot write environment settings file " + fileName + ": " + error);
        return false;
    }
    return true;
}

bool TProject::ImportAtmosphereSettings(const std::string& fileName)
{
    TIniFile ini;
    if (!LoadIni(fileName, ini))
        return false;
    ReadAtmosphereSettings(ini, Atmosphere, Lighting);
    return true;
}

bool TProject::ImportCloudSettings(const std::string& fileName)
{
    TIniFile ini;
    if (!LoadIni(fileName, ini))
        return false;
    std::string error;
    if (!ReadCloudSettings(ini, Clouds, error)) {
        ShowError(error);
        return false;
    }
    return true;
}

bool TProject::ImportFractalSettings(const std::string& fileName)
{
    TIniFile ini;
    if (!LoadIni(fileName, ini))
        return false;
    std::string error;
    if (!ReadFractalSettings(ini, Fractal, error)) {
        ShowError(error);
        return false;
    }
    return true;
}

bool TProject::ImportWaterSettings(const std::string& fileName)
{
    TIniFile ini;
    if (!LoadIni(fileName, ini))
        return false;
    ReadWaterSettings(ini, Water);
    return true;
}

bool TProject::ImportEnvironmentSettings(const std::string& fileName)
{
    TIniFile ini;
    if (!LoadIni(fileName, ini))
        return false;
    // Each section applies on its own: a refused one is reported and never stops the others.
    std::string error;
    ReadAtmosphereSettings(ini, Atmosphere, Lighting);
    bool complete = true;
    if (!ReadCloudSettings(ini, Clouds, error)) {
        ShowError(error);
        complete = false;
    }
    if (!ReadFractalSettings(ini, Fractal, error)) {
        ShowError(error);
        complete = false;
    }
    ReadWaterSettings(ini, Water);
    return complete;
}
