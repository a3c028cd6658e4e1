#pragma once
// The project's block records: plain data, stored and exchanged field by field (never as raw
// memory). Strings are UTF-8 in memory; the file writer cuts them to 255 bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <stdexcept>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Exceptions shared by the project and its users.

// A project file, an imported file or the map parameters are not valid.
class EInvalidData : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An editor or engine has no project.
class EInitError : public std::runtime_error {
public:
    EInitError() : std::runtime_error("E0101 Internal Initialization Error") {}
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------
// Shared small records.

struct TVector3 {
    float X = 0, Y = 0, Z = 0; // Y is the altitude (up); X and Z span the ground
};

struct TFloatColor {
    float R = 0, G = 0, B = 0, A = 0;
};

struct TFloatRGB {
    float R = 0, G = 0, B = 0;
};

struct TMapPoint {
    double X = 0, Y = 0;
};

struct TSurfaceMaterial {
    TFloatColor PrimaryColor;
    TFloatColor SecondaryColor;
    double Roughness = 0;
    double Specularity = 0;
    int32_t Shininess = 0;
    double Emission = 0;
};

// ---------------------------------------------------------------------------------------------
// Blocks. Every block starts with its record word and tag; readers test the tag only.

struct TProjectHeader {
    uint16_t Magic = 262;
    uint16_t Compatibility = 18;
    uint16_t Version = 192;
    std::string Name;
};

struct TGridCell {
    double Height = -1001.0; // -1001.0: no height ("Null")
    uint8_t Flooded = 0;
    uint8_t WaterEdge = 0;
    uint8_t InShadow = 0;
    TVector3 Normal{0, 1, 0};
    float JitterX = 0, JitterZ = 0, CachedRoughness = 0, ViewDepth = 0;
    int8_t Level = -1;
    TFloatRGB Color;
    float SurfaceHeight = 0;
};

inline constexpr double NullHeight = -1001.0;
inline constexpr double MinEditHeight = -1000.0;

// The grid's cells, addressed Cells[column][row]; one contiguous allocation, columns outer.
// Large grids (a 2049 x 2049 grid is 268 MB) are backed by transparent huge pages where the
// system offers them: making the array is then bound by memory bandwidth, not by page faults.
class TCellArray {
public:
    TCellArray() = default;
    TCellArray(const TCellArray& other) { *this = other; }
    TCellArray(TCellArray&& other) noexcept { Swap(other); }
    TCellArray& operator=(const TCellArray& other)
    {
        if (this != &other) {
            TCellArray copy;
            copy.Allocate(other.columns_, other.rows_);
            std::copy(other.cells_, other.cells_ + other.CellCount(), copy.cells_);
            Swap(copy);
        }
        return *this;
    }
    TCellArray& operator=(TCellArray&& other) noexcept
    {
        TCellArray gone;
        gone.Swap(other);
        Swap(gone);
        return *this;
    }
    ~TCellArray() { Release(); }

    // Replaces the contents with columns x rows default cells; throws std::bad_alloc or
    // std::length_error when that cannot be allocated, leaving the array unchanged.
    void Resize(int columns, int rows)
    {
        TCellArray fresh;
        fresh.Allocate(columns, rows);
        std::uninitialized_fill(fresh.cells_, fresh.cells_ + fresh.CellCount(), TGridCell{});
        Swap(fresh);
    }
    // Replaces the contents with columns x rows cells made by fill(cells), which must construct
    // every one of them (std::construct_at) in its one pass over the fresh memory. When fill
    // throws, the array is unchanged.
    template <class Fill>
    void Build(int columns, int rows, Fill&& fill)
    {
        TCellArray fresh;
        fresh.Allocate(columns, rows);
        fill(fresh.cells_);
        Swap(fresh);
    }
    void Clear()
    {
        TCellArray gone;
        Swap(gone);
    }
    void Swap(TCellArray& other) noexcept
    {
        std::swap(cells_, other.cells_);
        std::swap(columns_, other.columns_);
        std::swap(rows_, other.rows_);
    }
    TGridCell* operator[](int column) { return cells_ + static_cast<size_t>(column) * rows_; }
    const TGridCell* operator[](int column) const { return cells_ + static_cast<size_t>(column) * rows_; }
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }
    bool Empty() const { return CellCount() == 0; }
    size_t CellCount() const { return static_cast<size_t>(columns_) * static_cast<size_t>(rows_); }
    TGridCell* Data() { return cells_; }
    const TGridCell* Data() const { return cells_; }

private:
    // Raw storage for columns x rows cells (not yet constructed: TGridCell is trivially
    // destructible, and every path fills the cells before use).
    void Allocate(int columns, int rows);
    void Release() noexcept;

    TGridCell* cells_ = nullptr;
    int columns_ = 0;
    int rows_ = 0;
};

struct TGridBlock {
    uint16_t RecordWord = 119;
    uint8_t Tag = 169;
    int32_t SizeX = 0; // columns (first cell index)
    int32_t SizeY = 0; // rows (second cell index)
    double MapWidth = 0, MapHeight = 0;
    double SpacingX = 0, SpacingY = 0;
    double MaxHeight = 0, MinHeight = 0;
    double VerticalScale = 1.0;
    double LeftGeo = 0, TopGeo = 0, RightGeo = 0, BottomGeo = 0;
    double MinNormalY = 0, MaxNormalY = 0; // render time, not stored
    TCellArray Cells;
};

struct TCameraBlock {
    uint16_t RecordWord = 67;
    uint8_t Tag = 171;
    TVector3 Eye{2000, 200, 2000};
    TVector3 Target{-2000, 200, -2000};
    double Perspective = 60.0;
    double Reserved = 1.0;
    double PathValue1 = 0, PathValue2 = 0, PathValue3 = 0; // set by animation frames, not stored
};

struct TLightingBlock {
    uint16_t RecordWord = 80;
    uint8_t Tag = 167;
    TFloatColor PrimaryLightColor{1, 1, 1, 1};
    TFloatColor AmbientLightColor{1, 1, 1, 1};
    double LightAltitude = 60.0;
    double LightAzimuth = 180.0;
    double SunSize = 20.0;
    TVector3 SunVector; // render engine's sun direction, not stored
};

struct TActor {
    int32_t ID = 0;
    std::string Name;
    std::string FarActorSource, MidActorSource, NearActorSource;
    TFloatRGB Colors[16];
    double HueVariability = 0;
    double BrightnessVariability = 0;
};

struct TActorBlock {
    uint16_t RecordWord = 272;
    uint8_t Tag = 162;
    std::string Directory;
    int32_t NextID = 0;
    int32_t Count = 0;
    std::vector<TActor> Items;
};

struct TAtmosphereBlock {
    uint16_t RecordWord = 160;
    uint8_t Tag = 163;
    TFloatColor SkyColor, HorizonColor, FogColor;
    double FogDensity = 0, Ambient = 0, Diffuse = 0, Blueing = 0, Glowing = 0, ShadowDepth = 0;
    double Ceiling = 0, Floor = 0, Distance = 0, Infinity = 0;
    TFloatColor DecayColor;
    double MistHeight = 0;
};

struct TCloud {
    uint8_t Draw = 0;
    double Height = 0;
    int32_t Cover = 0;
    int32_t Density = 0;
    int32_t Size = 0;
    std::string CloudSource;
    TFloatColor CloudColor1, CloudColor2;
    double XOffset = 0, YOffset = 0;
};

struct TCloudsBlock {
    uint16_t RecordWord = 288;
    uint8_t Tag = 164;
    int32_t Count = 0;
    std::vector<TCloud> Items;
    int32_t GeneratorSettings[5] = {0, 0, 0, 0, 0};
    std::string Directory;
};

struct TEcologyRule {
    int32_t TreeID = 0;
    double TreeSize = 0;
    double TreeDensity = 0;
    int32_t TerrainLayerID = 0;
    uint8_t Flag = 0;
    double Altitude = 0, AltTolerance = 0, Slope = 0, SlopeTolerance = 0, Aspect = 0, AspectTolerance = 0;
};

struct TEcologyBlock {
    uint16_t RecordWord = 272;
    uint8_t Tag = 165;
    uint8_t Flag = 0;
    int32_t Count = 0;
    std::vector<TEcologyRule> Items;
};

struct TTerrainSurface {
    TSurfaceMaterial Material;
    int32_t SurfaceID = 0;
    std::string SurfaceName;
    int32_t ParentID = -1;
    uint8_t Deleted = 0;
    double Coverage = 0;
    uint8_t MaxAltitude = 0, MinAltitude = 0, MaxSlope = 0, MinSlope = 0;
    double MaxAltitudeValue = 0, MinAltitudeValue = 0, MaxSlopeValue = 0, MinSlopeValue = 0;
    double MaxAltitudeEdge = 0, MinAltitudeEdge = 0, MaxSlopeEdge = 0, MinSlopeEdge = 0;
    double Bumpiness = 0;
};

struct TFractalBlock {
    uint16_t RecordWord = 60;
    uint8_t Tag = 166;
    int32_t FractalDepth = 1;
    uint8_t PreviewMode = 0;
    int32_t RPlaneSeed = 0, RFreqSeed = 0, BPlaneSeed = 0, BFreqSeed = 0;
    int32_t TreeLine = 0, SnowLine = 0; // percent of the height range
    int32_t BandEdgeFuzziness = 0;
    int32_t BaseTerrainBias = 0;
    uint8_t DrawNoModels = 1; // non-zero: no vegetation, urban buildings or placed models
    int32_t TerrainSurfaceCount = 0;
    int32_t TerrainSurfaceNextID = 0;
    std::vector<TTerrainSurface> TerrainSurfaces;
};

class QImage;

struct TOverlayImage {
    std::string FileName; // relative to the overlays folder
    std::string Name;
    int32_t ImageSize = 0;
    uint8_t DrawOverlay = 0;
    uint8_t TransparencyMode = 0;
    int32_t TransparencyColor = 0; // 24-bit colour value
    double Transparency = 0;
    int32_t Extra = 0;
    int32_t TerrainLayerID = 0;
    uint8_t Deleted = 0;
    uint8_t DrawFull = 0;
    int32_t Scale = 0;
    uint8_t IgnoreWater = 0;
    // The loaded picture of the overlay renderers; owned by the project, not stored. Shared so that
    // copying a record (as editors do) never frees the picture twice.
    std::shared_ptr<QImage> Image;
};

struct TOverlayBlock {
    uint16_t RecordWord = 80;
    uint8_t Tag = 168;
    std::string Directory;
    int32_t DefaultSize = 1024; // not stored
    int32_t Count = 0;
    std::vector<TOverlayImage> Items;
};

enum TLayerType : int32_t {
    ltSurface = 0,
    ltEcology = 1,
    ltOverlay = 2,
    ltModel = 3,
    ltVegetation = 4,
    ltUrban = 5,
};

struct TTerrainLayer {
    int32_t ID = 0;
    uint8_t Deleted = 0;
    uint8_t OverrideDefaultColor = 0, OverrideDefaultSurface = 0, DrawPlants = 0;
    std::string Name;
    uint8_t Visible = 0;
    TFloatColor LayerPrimary, LayerSecondary;
    double Roughness = 0;
    double Bumpiness = 0;
    double Specularity = 0;
    int32_t Shininess = 0;
    double Emission = 0;
    TEcologyRule Plants[4]; // only TreeID, TreeSize, TreeDensity of each slot are stored
    uint8_t Edge = 0;
    std::string ModelSource;
    uint8_t DrawModels = 0;
    double ModelHeight = 0;
    double Rotation = 0;
    TFloatColor LandscapeColor;
    double LineWidth = 0;
    uint8_t Urban = 0;
    int32_t UrbanPlan = 0;
    uint8_t Water = 0;
    int32_t LayerType = ltSurface;
    double ModelAspect = 0; // render time, not stored
};

struct TTerrainLayersBlock {
    uint16_t RecordWord = 20;
    uint8_t Tag = 170;
    int32_t Count = 0;
    int32_t NextID = 0;
    uint8_t Exact = 0;
    std::vector<TTerrainLayer> Items;
};

// A region (closed polygon) or a line (polyline); the two share one layout.
struct TTerrainPoly {
    int32_t ID = 0;
    uint8_t Deleted = 0;
    int32_t TerrainLayerID = 0;
    int32_t PointCount = 0;
    std::vector<TMapPoint> Points;
};
using TTerrainLine = TTerrainPoly;

struct TTerrainPolyBlock {
    uint16_t RecordWord = 16;
    uint8_t Tag = 174;
    int32_t Count = 0;
    int32_t NextID = 0;
    std::vector<TTerrainPoly> Items;
};

struct TTerrainLineBlock {
    uint16_t RecordWord = 16;
    uint8_t Tag = 176;
    int32_t Count = 0;
    int32_t NextID = 0;
    std::vector<TTerrainLine> Items;
};

struct TModelPlacement {
    int32_t ID = 0;
    uint8_t Deleted = 0;
    int32_t TerrainLayerID = 0;
    TVector3 Position; // X and Z as fractions of the grid, Y the altitude
    double Size = 0;
    double Rotation = 0;
    uint8_t Unstored[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

struct TModelBlock {
    uint16_t RecordWord = 272;
    uint8_t Tag = 175;
    std::string Directory;
    int32_t Count = 0;
    int32_t NextID = 0;
    std::vector<TModelPlacement> Items;
};

struct TUrbanPlanDef {
    int32_t ID = 0;
    uint8_t Flag = 0; // not stored
    std::string PlanName;
    double PlanXSize = 0, PlanYSize = 0, PlanHeightSize = 0;
    std::string PlanHeightSource, PlanWallColorSource, PlanRoofColorSource;
    int32_t PlanZone = 0;
};

struct TUrbanBlock {
    uint16_t RecordWord = 16;
    uint8_t Tag = 177;
    int32_t Count = 0;
    int32_t NextID = 0;
    std::vector<TUrbanPlanDef> Items;
};

struct TWaterBlock {
    uint16_t RecordWord = 296;
    uint8_t Tag = 172;
    double WaveHeight = 0, WaveLength = 0;
    int32_t WindDirection = 0;
    int32_t GPlaneSeed = 0, GFreqSeed = 0;
    int32_t WaterTurbulance = 0;
    TSurfaceMaterial Surface;
    TSurfaceMaterial LegacySurfaces[3]; // the three extra materials of old files; never stored
};
