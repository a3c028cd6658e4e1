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
    // Writes the project to a temporary file beside fileName and renames it over the old file.
    // On failure shows the error, leaves any old file untouched and returns false.
    bool SaveToFile(const std::string& fileName);
    // Reads the whole file into a fresh project and only then takes over its blocks (run-time
    // state stays; the shadows are marked out of date and the world scale recomputed). On failure
    // shows the error (E0046 for a file that is not a valid project), leaves this project exactly
    // as it was and returns false. Creates the empty dBase side tables when they are missing.
    bool LoadFromFile(const std::string& fileName);
    // Exchanges every stored block (header to urban plans) with other's; run-time state stays.
    void SwapBlocks(TProject& other) noexcept;

    // ---- Grid and world geometry queries -------------------------------------------------------
    // (geometry queries)

    // ---- Surface, colour and layer-map queries -------------------------------------------------
    // (surface queries)

    // ---- Environment settings and animation frames ---------------------------------------------
    // Environment INI: each opens the file, does its work and closes it; they change neither the
    // modified state nor the shadows flag. A missing file reads as empty (nothing changes, true).
    // False (after showing the error) when the file cannot be read or written or, for an import,
    // when its section is unusable; a refused import applies nothing.
    bool ExportEnvironmentSettings(const std::string& fileName) const;
    bool ImportAtmosphereSettings(const std::string& fileName); // "Atmosphere" and "Lighting"
    bool ImportCloudSettings(const std::string& fileName);      // "Cloud" into cloud layer 0
    bool ImportFractalSettings(const std::string& fileName);    // "Fractal" with every surface
    bool ImportWaterSettings(const std::string& fileName);      // "Water" with its material
    bool ImportEnvironmentSettings(const std::string& fileName); // all four, in that order

    // Animation frames ("Path Data" of a script file). Applied: frame n was applied. Missing: the
    // file or its "FRAME-n" entry is absent or lacks its nine fields (the script ends there).
    // Malformed: a field is not a number; nothing of the frame was applied. Never shows a message.
    enum class TFrameResult { Applied, Missing, Malformed };
    TFrameResult LoadAnimationFrame(const std::string& fileName, int frame);
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
