#pragma once
// Records of the grid and world geometry queries of TProject: one grid cell as the fractal engine
// draws it, and points of the georeferenced frame.
//
// Frames (c = column, r = row, h = cell height):
// - grid: c in 0 .. SizeX - 1, r in 0 .. SizeY - 1;
// - render (what the engines draw, centred on the grid): X = (c - SizeX/2) SpacingX / WorldScale,
//   Z = (r - SizeY/2) SpacingY / WorldScale, Y = h VerticalScale / WorldScale (SizeX/2 is real);
// - stored: the camera's Eye and Target, unscaled world units (render = stored / WorldScale);
// - georeferenced: a linear map of the stored frame in which -MapWidth/2 .. +MapWidth/2 spans
//   LeftGeo .. RightGeo and -MapHeight/2 .. +MapHeight/2 spans TopGeo .. BottomGeo.
#include "project/MathUtils.h"
#include "project/TypeDefinition.h"

#include <cstdint>

// One grid cell as drawn. Per-corner arrays are in the order (c, r), (c + 1, r), (c + 1, r + 1),
// (c, r + 1). Visible, NearCamera, LandPiece, CornerUV and Level belong to the fractal engine.
struct TCellGeometry {
    int32_t Column = 0, Row = 0;
    uint8_t Visible = 0, NearCamera = 0;
    double Depth = -1.0;   // smallest non-negative ViewDepth of the corners; -1 when none
    uint8_t HasNull = 0;   // a corner height is below -1000
    TVector3 Corners[4];   // render positions
    TVector3 CornerNormals[4];
    double CornerLight[4] = {1, 1, 1, 1}; // 1, times (1 - ShadowDepth) in shadow
    uint16_t CornerFlooded[4] = {};
    uint16_t CornerWaterEdge[4] = {};
    uint8_t LandPiece = 0;
    TVector3 Centre;       // mean of the corners
    TVector3 MeanNormal;   // mean of the corner normals, not renormalised
    double MeanLight = 1;
    TDoublePoint CornerJitter[4]; // X: JitterX SpacingX / WorldScale, Y: JitterZ SpacingY / WorldScale
    TDoublePoint CornerUV[4];
    int32_t Level = 0;
};

// A point of the georeferenced frame; Y is the unchanged altitude. Doubles, since georeferenced
// coordinates are often large.
struct TGeoPoint {
    double X = 0, Y = 0, Z = 0;
};

// Half the render-frame width and depth of the grid.
struct THalfExtents {
    double X = 0, Z = 0;
};

// Mean of four vectors per component (sums in double).
TVector3 AverageOfFour(const TVector3& a, const TVector3& b, const TVector3& c, const TVector3& d);
