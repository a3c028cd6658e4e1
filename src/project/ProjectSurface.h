#pragma once
// Records of the surface, colour and layer-map queries of TProject.
//
// Layer map (TProject::LayerBitmap, 4096 x 4096, 24 bits; colour value = red + 256 green +
// 65536 blue): 0xFFFFFF no layer; 0xF00000 + ID an edge pixel (outline of a region of a layer with
// Edge set, or a line) of the layer with that ID; any other value the ID itself (inside a region).
#include "project/MathUtils.h"
#include "project/TypeDefinition.h"

#include <cstdint>

class TProject;

inline constexpr int32_t NoLayer = 0xFFFFFF;
inline constexpr uint32_t LayerEdgeCode = 0xF00000;

// One texel of a fractal sub-quad, made and owned by the fractal engine.
struct TTexelPoint {
    int32_t NoiseRow = 0, NoiseColumn = 0; // base position in the band-noise table (0 .. 32)
    float X = 0, Y = 0, Z = 0;             // render position
    float NormalY = 1;                     // Y of the unit normal (1 = flat)
    // How the colour was chosen: 1 lowest band, 2 middle band, 3 highest band, 5 a layer's colours.
    uint8_t Kind = 0;
    TFloatColor Colors[4];                 // [0] primary, [1] secondary of the chosen surface or layer
    double Bumpiness = 0;
    int32_t LayerIndex = NoLayer;          // terrain layer under the texel
    uint8_t LayerEdge = 0;                 // 1 on an edge pixel
    TFloatColor Color;                     // the resulting texel colour
};

// What a water texel reflects before the colours of the land are read (TProject::WaterMirrorAt).
struct TWaterMirror {
    TFloatColor Sky;                      // the sky in the mirrored view ray
    int32_t Column = -1, Row = -1;        // the grid vertex of the terrain the ray meets; -1 none
};

// The random draws TProject::SurfaceColourAt takes per texel, always.
inline constexpr int SurfaceColourDraws = 2;

// Index of the first overlay image not deleted whose TerrainLayerID is layerID, else -1.
int OverlayIndexOfLayer(const TProject& project, int32_t layerID);
