#pragma once
// TProject: the whole landscape document. Exactly one exists at a time, held by the main window in
// one global variable whose address every editor, engine and plug-in service keeps.
#include "project/TypeDefinition.h"

#include <QImage>

#include <cstdint>
#include <string>

class TProject {
public:
    // Create: the sixteen block initialisers, then the run-time state. No grid cells yet.
    TProject();
    // Destroy: frees everything the project owns.
    ~TProject();
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    // ---- Blocks (stored in the project file, in this order) ------------------------------------
    TProjectHeader Header;
    TGridBlock Grid;
    TCameraBlock Camera;
    TLightingBlock Lighting;
    TActorBlock Actors;
    TAtmosphereBlock Atmosphere;
    TCloudsBlock Clouds;
    TEcologyBlock Ecology;
    TFractalBlock Fractal;
    TOverlayBlock Overlays;
    TTerrainLayersBlock TerrainLayers;
    TWaterBlock Water;
    TTerrainPolyBlock TerrainPolys;
    TModelBlock Models;
    TTerrainLineBlock TerrainLines;
    TUrbanBlock Urban;

    // ---- Run-time state (never stored) ---------------------------------------------------------
    double WorldScale = 1.0;
    uint8_t ShadowsOutOfDate = 1;
    double TreeLineHeight = 0, SnowLineHeight = 0;
    uint8_t AnyFullOverlay = 0;
    // 4096 x 4096 24-bit terrain-layer map; null until first needed (0xFFFFFF is no layer).
    QImage LayerBitmap;
    float BandNoise[65][65] = {};
    double BandNoiseScale = 0;

    // ---- Document operations -------------------------------------------------------------------
    // Makes a grid of null cells. Returns false, leaving the project untouched, when the sizes or
    // spacings are unusable or the cells cannot be allocated.
    bool NewGrid(int32_t columns, int32_t rows, double spacingX, double spacingY);
    void ComputeWorldScale();
    // Status texts of long operations (panels 1 and 2 of the main window), then pending messages run.
    void SetOperationText(const std::string& text);
    void SetStepText(const std::string& text);
    // Mark deleted every entry of the terrain layer with this ID; return 0.
    int DeleteLayerLines(int32_t layerID);
    int DeleteLayerRegions(int32_t layerID);
    int DeleteLayerModels(int32_t layerID);
    // Index of the last ecology rule of the terrain layer with this ID, or -1.
    int FindEcologyRule(int32_t layerID) const;
    // Append an empty line / region / placed model for the layer with this index; the new entry's
    // index, or -1 when the layer index is -1 (or out of range).
    int AppendLayerLine(int32_t layerIndex);
    int AppendLayerRegion(int32_t layerIndex);
    int AppendLayerModel(int32_t layerIndex);
    // Half the largest Roughness among the surfaces not marked deleted.
    double MaxRoughnessMargin() const;
    // Allocates the 4096 x 4096 layer map (filled with 0xFFFFFF) unless it exists; on failure shows
    // "E0001 Memory Allocation Error" and returns false, leaving LayerBitmap null.
    bool EnsureLayerBitmap();

    static constexpr int LayerBitmapSize = 4096;
    // Largest grid NewGrid accepts (columns x rows), about 1 GiB of cells.
    static constexpr int64_t MaxGridCells = int64_t(4096) * 4096;

    // ---- Project file --------------------------------------------------------------------------
    // (project file reader and writer)

    // ---- Grid and world geometry queries -------------------------------------------------------
    // (geometry queries)

    // ---- Surface, colour and layer-map queries -------------------------------------------------
    // (surface queries)

    // ---- Environment settings and animation frames ---------------------------------------------
    // (environment INI, animation frames)
};

// Block initialisers: prefix and defaults of one block.
void InitHeaderBlock(TProjectHeader& block);
void InitGridBlock(TGridBlock& block);
void InitCameraBlock(TCameraBlock& block);
void InitLightingBlock(TLightingBlock& block);
void InitActorBlock(TActorBlock& block);
void InitAtmosphereBlock(TAtmosphereBlock& block);
void InitCloudsBlock(TCloudsBlock& block);
void InitEcologyBlock(TEcologyBlock& block);
void InitFractalBlock(TFractalBlock& block);
void InitOverlayBlock(TOverlayBlock& block);
void InitTerrainLayersBlock(TTerrainLayersBlock& block);
void InitWaterBlock(TWaterBlock& block);
void InitTerrainPolyBlock(TTerrainPolyBlock& block);
void InitModelBlock(TModelBlock& block);
void InitTerrainLineBlock(TTerrainLineBlock& block);
void InitUrbanBlock(TUrbanBlock& block);
void DefaultTerrainSurface(TTerrainSurface& surface);
