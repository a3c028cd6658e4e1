#pragma once
// TUrbanPlan: one urban plan of the project turned into simple buildings on the cells of an urban
// terrain layer. The plan is three pictures tiled over the land: building height (red channel,
// black = none), wall colour and roof colour. Per cell the plan samples them and, where there is a
// building, draws one of a small family of shapes chosen and proportioned by sixteen random numbers.
#include "project/MathUtils.h"
#include "project/TypeDefinition.h"

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

class TProject;

// Two opposite corners of a cell as (x, z) pairs of the render frame.
struct TUrbanArea {
    TDoublePoint A, B;
};

// One flat face of a building, in render coordinates.
struct TUrbanFace {
    bool Roof = false; // roof or top: the roof colour; otherwise a wall
    std::vector<TVector3> Points;
};

class TUrbanPlan {
public:
    TUrbanPlan();
    TUrbanPlan(const TUrbanPlan&) = delete;
    TUrbanPlan& operator=(const TUrbanPlan&) = delete;

    // The building being drawn.
    float HazeColour[3] = {0, 0, 0};
    float HazeAmount[3] = {0, 0, 0};
    double LightFactor = 1.0;
    TVector3 SunDirection;
    double R[16] = {};
    // Round shapes use 10 x DetailLevel segments (1 .. 4).
    int32_t DetailLevel = 1;
    std::string HeightFile, WallColourFile, RoofColourFile;
    double PlanXSize = 0, PlanYSize = 0;
    double PlanHeight = 0;
    int32_t BuildingType = 0; // 0 houses, 1 blocks, 2 towers
    QImage HeightPicture, WallPicture, RoofPicture;
    uint8_t Loaded = 0;
    float XScale = 1.0f, HeightScale = 1.0f, YScale = 1.0f;
    double Rotation = 0, RotationSin = 0, RotationCos = 1;

    void SetProject(TProject** projectVar) { projectVar_ = projectVar; }
    void SetPlanArea(double xSize, double ySize);
    void SetPlanHeightScale(double height);
    // Loads each named picture; Loaded := 1 only when all three are loaded.
    void LoadPlanBitmaps();
    // Samples the pictures under the area; true with the building's height and colours when one
    // stands there.
    bool BuildingAt(const TUrbanArea& area, double& height, TFloatRGB& wallColour, TFloatRGB& roofColour) const;
    // Draws the building of the area (if any) standing on ground; seed fixes its shape.
    void DrawUrbanPlan(const TUrbanArea& area, int32_t seed, const TVector3& hazeColour, const TVector3& hazeAmount,
                       double lightFactor, double ground);

    // The faces of the building of height h at base by BuildingType, from R and the rotation
    // (what DrawUrbanPlan draws; empty for an unknown type).
    void BuildingFaces(double h, const TVector3& base, std::vector<TUrbanFace>& faces) const;
    // lit := C Ambient + C Diffuse LightFactor clamp01(N . sun), then the haze blend.
    TFloatRGB FaceColour(const TFloatRGB& colour, const TVector3& normal) const;

private:
    TProject& Project() const;
    double ScaleDivisor() const;

    TProject** projectVar_ = nullptr;
    std::vector<TUrbanFace> faces_; // reused from building to building
};
