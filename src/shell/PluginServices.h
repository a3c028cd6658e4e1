#pragma once
// The interface between the program and its plug-ins: the records a plug-in exchanges with the
// host, the table of host services handed to InitPlugin, and the three entry points a plug-in
// library exports. Plug-in authors include this header (it needs nothing else of the program).
//
// The records are packed and their offsets fixed (checked below); the only difference from the
// program's original 32-bit layout is pointer width: a table entry is two native pointers and
// PluginPolyInfo's Points pointer is 8 bytes on 64-bit systems. There is one calling convention
// on this platform, so the services are plain C functions taking the entry's data pointer first.
//
// Conventions: a "bool" result is one byte (1 true, 0 false); a bool passed in is true when
// non-zero; bools the host writes into records are 255 / 0 in one-byte fields and -1 / 0 in
// four-byte fields. Texts are char[256], zero-terminated, UTF-8. Index arguments count every entry
// of the project's list, deleted ones included. Regions, lines and models are exchanged in
// georeferenced coordinates; layers are named by their index in the layer list. A null record or
// buffer pointer makes a service fail (false, -1, or no effect); a camera with a value that is not
// a finite number is not taken.
#include <cstddef>
#include <cstdint>

extern "C" {

#pragma pack(push, 1)

struct PluginProjectInfo {
    int32_t Columns, Rows;
    double SpacingX, SpacingY, MaxHeight, MinHeight, VerticalScale;
    double GeoX0, GeoY0, GeoX1, GeoY1;
    int32_t TerrainLayerCount, PlantTypeCount, RegionCount, LineCount, ModelCount;
    char PlantsDirectory[256];
    char ModelsDirectory[256];
};

struct PluginCamera {
    float Eye[3];    // georeferenced X, altitude, Y
    float Target[3];
    double Perspective, SunElevation, SunAzimuth;
};

struct PluginMaterialSlot {
    float PrimaryColor[4], SecondaryColor[4];
    double Bumpiness, Specularity;
    int32_t Shininess;
    double Emission;
    uint8_t Unused[64];
};

struct PluginPlantSlot {
    int32_t PlantTypeID;
    double Size, Density;
    uint8_t Unused[64];
};

struct PluginTerrainLayer {
    int32_t ID;
    uint8_t OverrideDefaultColor, OverrideDefaultSurface, DrawPlants;
    char Name[256];
    uint8_t Visible;
    int32_t MaterialCount;
    PluginMaterialSlot Materials[4];
    int32_t PlantCount;
    PluginPlantSlot Plants[4];
    char ModelSource[256];
    double LineWidth, ModelHeight, Rotation;
    float LandscapeColor[4];
    uint8_t Edge, DrawModels, Urban;
    int32_t UrbanPlan, LayerType;
};

struct PluginPlantType {
    int32_t ID;
    char Name[256], FarSource[256], MidSource[256], NearSource[256];
};

struct PluginUrbanPlan {
    int32_t ID;
    char Name[256];
    double XSize, YSize, HeightSize;
    char HeightSource[256], WallColorSource[256], RoofColorSource[256];
    int32_t Zone;
};

struct PluginPolyInfo {
    int32_t ID, Deleted, Layer, PointCount;
    float* Points; // PointCount pairs (X, Y), georeferenced, in the plug-in's memory
};

struct PluginModel {
    int32_t ID, Deleted, Layer;
    float X, Y, Size, Rotation;
};

#pragma pack(pop)

struct PluginHostEntry {
    void* Code; // the service, cast to its type below
    void* Data; // passed back as the service's first argument
};

enum : int {
    PluginServiceCount = 32,
    psGetProjectInfo = 0, psSetProjectInfo, psGetCamera, psSetCamera, psNewHeightGrid, psGetHeight,
    psSetHeight, psGetCellFlag, psSetCellFlag, psGetHeightGrid, psSetHeightGrid, psGetTerrainLayer,
    psSetTerrainLayer, psAddTerrainLayer, psGetPlantType, psSetPlantType, psAddPlantType,
    psGetUrbanPlan, psSetUrbanPlan, psAddUrbanPlan, psDeleteLayerRegions, psDeleteLayerLines,
    psDeleteLayerModels, psGetRegionInfo, psGetRegionPoints, psAddRegion, psGetLineInfo,
    psGetLinePoints, psAddLine, psGetModel, psAddModel, psRefreshEditors,
};

struct PluginHostTable {
    PluginHostEntry Entries[PluginServiceCount];
};

// The services' types, slot by slot.
typedef void (*PluginGetProjectInfoFn)(void* data, PluginProjectInfo* info);  // also SetProjectInfo
typedef void (*PluginGetCameraFn)(void* data, PluginCamera* camera);          // also SetCamera
typedef uint8_t (*PluginNewHeightGridFn)(void* data, int32_t columns, int32_t rows, float spacingX, float spacingY);
typedef double (*PluginGetHeightFn)(void* data, int32_t x, int32_t y);
typedef void (*PluginSetHeightFn)(void* data, int32_t x, int32_t y, double height);
typedef uint8_t (*PluginGetCellFlagFn)(void* data, int32_t x, int32_t y);
typedef void (*PluginSetCellFlagFn)(void* data, int32_t x, int32_t y, uint8_t flag);
typedef uint8_t (*PluginHeightGridFn)(void* data, int32_t count, float* buffer); // Get/SetHeightGrid
typedef uint8_t (*PluginGetTerrainLayerFn)(void* data, int32_t index, PluginTerrainLayer* rec); // also Set
typedef int32_t (*PluginAddTerrainLayerFn)(void* data, PluginTerrainLayer* rec);
typedef uint8_t (*PluginGetPlantTypeFn)(void* data, int32_t index, PluginPlantType* rec); // also Set
typedef int32_t (*PluginAddPlantTypeFn)(void* data, PluginPlantType* rec);
typedef uint8_t (*PluginGetUrbanPlanFn)(void* data, int32_t index, PluginUrbanPlan* rec); // also Set
typedef int32_t (*PluginAddUrbanPlanFn)(void* data, PluginUrbanPlan* rec);
typedef uint8_t (*PluginDeleteLayerItemsFn)(void* data, int32_t layer);
typedef uint8_t (*PluginGetPolyFn)(void* data, int32_t index, PluginPolyInfo* info); // info and points
typedef uint8_t (*PluginAddPolyFn)(void* data, PluginPolyInfo* info);
typedef uint8_t (*PluginGetModelFn)(void* data, int32_t index, PluginModel* rec);
typedef uint8_t (*PluginAddModelFn)(void* data, PluginModel* rec);
typedef void (*PluginRefreshEditorsFn)(void* data);

// What a plug-in library exports (C linkage).
typedef void (*DescribePluginFn)(char* name /* 80 bytes */, int32_t* version);
typedef void (*InitPluginFn)(const PluginHostTable* services); // valid during the call only
typedef void (*RunPluginFn)(void);

} // extern "C"

static_assert(sizeof(PluginProjectInfo) == 612 && offsetof(PluginProjectInfo, PlantsDirectory) == 100 &&
              offsetof(PluginProjectInfo, ModelsDirectory) == 356);
static_assert(sizeof(PluginCamera) == 48 && offsetof(PluginCamera, SunAzimuth) == 40);
static_assert(sizeof(PluginMaterialSlot) == 124 && offsetof(PluginMaterialSlot, Emission) == 52);
static_assert(sizeof(PluginPlantSlot) == 84 && offsetof(PluginPlantSlot, Density) == 12);
static_assert(sizeof(PluginTerrainLayer) == 1411 && offsetof(PluginTerrainLayer, Materials) == 268 &&
              offsetof(PluginTerrainLayer, Plants) == 768 && offsetof(PluginTerrainLayer, ModelSource) == 1104 &&
              offsetof(PluginTerrainLayer, LandscapeColor) == 1384 && offsetof(PluginTerrainLayer, LayerType) == 1407);
static_assert(sizeof(PluginPlantType) == 1028 && offsetof(PluginPlantType, NearSource) == 772);
static_assert(sizeof(PluginUrbanPlan) == 1056 && offsetof(PluginUrbanPlan, HeightSource) == 284 &&
              offsetof(PluginUrbanPlan, Zone) == 1052);
static_assert(offsetof(PluginPolyInfo, Points) == 16);
static_assert(sizeof(PluginModel) == 28);
