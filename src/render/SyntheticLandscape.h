#pragma once
// A seeded landscape for the renderer's benchmark and tests: a square grid of fractal terrain with
// a lake in its lowest part (flooded vertices at the water level), plant and model folders that
// exist, and a camera on the near edge looking across the land. The same size and seed always
// give the same project.
#include <cstdint>
#include <memory>

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
