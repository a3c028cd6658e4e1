#pragma once
// The rules of the map parameters, free of widgets: the map size text, the point-count limits,
// the presets and the default georeference of a new grid.
#include <cstdint>
#include <string>

// "7.7km x 7.7km": the extent between the first and last grid points, one decimal.
std::string DisplayMapSize(double spacingX, double spacingY, int32_t columns, int32_t rows);

inline constexpr int64_t kMinMapPoints = 400;
inline constexpr int64_t kMaxMapPoints = 4004003; // first count refused
inline constexpr const char* kTooManyPoints = "Map has too many grid points";
inline constexpr const char* kTooFewPoints = "Map has too few grid points";
// Throws EInvalidData with one of the two texts above when columns x rows lies outside the limits.
void CheckMapPoints(int32_t columns, int32_t rows);

struct TMapPreset {
    const char* Name;
    double Spacing;
    int32_t Points;
};
inline constexpr TMapPreset kMapPresets[] = {
    {"Vistapro DEM", 30.0, 258},
    {"UK OS Panorama NTF", 50.0, 401},
    {"USGS 1 degree DEM", 100.0, 1201},
};

struct TGeoreference {
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
};
// Left and top 0; right and bottom the extent between the first and last points in x and y
// (the extent the cursor readout maps the map's width and height onto).
TGeoreference DefaultGeoreference(double spacingX, double spacingY, int32_t columns, int32_t rows);
