#pragma once
// A seeded landscape for the renderer's benchmark and tests: a square grid of fractal terrain with
// a lake in its lowest part (flooded vertices at the water level), plant and model folders that
// exist, and a camera on the near edge looking across the land. The same size and seed always
// give the same project.
#include <cstdint>
#include <memory>
#include <string>

class TProject;

struct TSyntheticLandscapeOptions {
    int32_t Size = 258;        // vertices per side (at least 2)
    uint32_t Seed = 1;
    int32_t FractalDepth = 4;
    double Spacing = 30.0;
    double Relief = 400.0;     // height range of the terrain before the lake is cut in
    double LakeFraction = 0.2; // share of the height range under water
};

std::unique_ptr<TProject> MakeSyntheticLandscape(const TSyntheticLandscapeOptions& options);

// A plant type of our own, a small broadleaf tree in three levels of detail: three L-system files
// (far, middle, near; the middle and near ones stochastic, so every seed grows another tree) and a
// plant colour file, written into folder as "kit_far.ls", "kit_mid.ls", "kit_near.ls" and
// "kit_colors.ini". False when a file cannot be written.
struct TSyntheticPlantKit {
    std::string FarFile, MidFile, NearFile, ColourFile; // bare names
};
bool WriteSyntheticPlantKit(const std::string& folder, TSyntheticPlantKit& kit);

// Plants the kit over a rectangle of the land (fractions of the map, x0 < x1, y0 < y1): adds the
// plant type (its files in folder, which becomes the plants folder, and its colours), a visible
// terrain layer whose slot 0 plants it at density (per 10000 square world units) and size (world
// units), and the region painting the layer. Models are switched on. False when the kit cannot be
// written.
bool PlantSyntheticLandscape(TProject& project, const std::string& folder, double density, double size,
                             double x0 = 0.0, double y0 = 0.0, double x1 = 0.5, double y1 = 1.0);
