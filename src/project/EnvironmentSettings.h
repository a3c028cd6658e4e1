#pragma once
// Environment settings INI: the look of a landscape (atmosphere, lighting, the first cloud layer,
// the fractal bands with every terrain surface, the water) carried between projects. The TProject
// members (Project.h) add the file handling around these functions, which work on a TIniFile.
#include "project/IniFile.h"
#include "project/Project.h"

#include <string>

// Limit on the surface count an INI file may ask for.
inline constexpr int32_t MaxIniSurfaceCount = 1000;

// Writes every section of the environment into ini. Throws std::range_error for a colour that
// has no 24-bit value.
void WriteEnvironmentSettings(TIniFile& ini, const TProject& project);

// The 23 keys of one terrain surface ("<prefix>-Bumpiness" ...).
void WriteSurfaceSettings(TIniFile& ini, const std::string& section, const std::string& prefix,
                          const TTerrainSurface& surface);
void ReadSurfaceSettings(const TIniFile& ini, const std::string& section, const std::string& prefix,
                         TTerrainSurface& surface);
// The six material keys (the water variant).
void WriteMaterialSettings(TIniFile& ini, const std::string& section, const std::string& prefix,
                           const TSurfaceMaterial& material);
void ReadMaterialSettings(const TIniFile& ini, const std::string& section, const std::string& prefix,
                          TSurfaceMaterial& material);

// Section readers; every missing key leaves its field as it is. Those returning bool change
// nothing and set error when the section is unusable.
void ReadAtmosphereSettings(const TIniFile& ini, TAtmosphereBlock& atmosphere, TLightingBlock& lighting);
bool ReadCloudSettings(const TIniFile& ini, TCloudsBlock& clouds, std::string& error);
bool ReadFractalSettings(const TIniFile& ini, TFractalBlock& fractal, std::string& error);
void ReadWaterSettings(const TIniFile& ini, TWaterBlock& water);
