#pragma once
// TProject: the whole landscape document. Exactly one exists at a time, held by the main window in
// one global variable whose address every editor, engine and plug-in service keeps.
#include "project/TypeDefinition.h"
#include "project/ProjectGeometry.h"
#include "project/ProjectSurface.h"

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
    // "E0001 Memory Allocation Error" and returns false, leaving LayerBitmap null. The map made
    // ahead by PrepareLayerBitmap is taken when there is one.
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
    // shows the error (E0046 for a file of another kind or release, E0047 for a damaged or
    // incomplete one), leaves this project exactly as it was and returns false. Creates the empty
    // dBase side tables when they are missing.
    bool LoadFromFile(const std::string& fileName);
    // Exchanges every stored block (header to urban plans) with other's; run-time state stays.
    void SwapBlocks(TProject& other) noexcept;

    // ---- Grid and world geometry queries -------------------------------------------------------
    // Frames: see ProjectGeometry.h. None of these change stored data.

    // SizeX/2 SpacingX / WorldScale and SizeY/2 SpacingY / WorldScale; refreshed by WorldToGrid and
    // GetCellGeometry, read by the layer-map lookups to turn a render X, Z into a map pixel.
    THalfExtents HalfExtents;
    void RefreshHalfExtents();

    // Corner k of the render-frame grid: 0 (-W/2, -D/2), 1 (+W/2, -D/2), 2 (+W/2, +D/2),
    // 3 (-W/2, +D/2) with W = SizeX SpacingX / WorldScale, D likewise; other k leave out untouched.
    void GetWorldCorner(uint8_t k, TDoublePoint& out) const;
    // (W, D) in render units.
    TDoublePoint GetWorldSize() const;
    // Render point -> grid point (column, height, row). Refreshes HalfExtents.
    TVector3 WorldToGrid(const TVector3& p);
    // Eye and Target in render units.
    TVector3 GetCameraPosition() const;
    TVector3 GetCameraTarget() const;
    // Stored frame <-> georeferenced frame (Y unchanged). A degenerate edge pair (LeftGeo =
    // RightGeo, zero MapWidth, ...) maps every value onto that edge instead of dividing by zero.
    TGeoPoint WorldToGeo(const TVector3& p) const;
    TVector3 GeoToWorld(const TGeoPoint& g) const;
    // X and Z of WorldToGeo(Eye) / WorldToGeo(Target).
    TDoublePoint GetCameraGeoPosition() const;
    TDoublePoint GetTargetGeoPosition() const;
    // Render positions of the eight neighbours of vertex (c, r), from the upper left clockwise
    // (c-1,r-1), (c,r-1), (c+1,r-1), (c+1,r), (c+1,r+1), (c,r+1), (c-1,r+1), (c-1,r), then the
    // vertex itself; at an edge the missing neighbour is the vertex itself. False (out untouched)
    // when (c, r) is not a vertex of the grid.
    bool GetVertexNeighbourhood(int32_t c, int32_t r, TVector3 (&out)[9]) const;
    // Fills g for the cell whose corner 0 is (c, r). False when (c + 1, r + 1) is not a vertex;
    // g then holds only Column, Row and the cleared flags.
    bool GetCellGeometry(int32_t c, int32_t r, TCellGeometry& g);
    // Displacement roughness at render point (x, z) inside cell g, scaled spacing (sx, sz):
    // bilinear blend of 0.2 x the corners' CachedRoughness (water roughness on flooded corners).
    double InterpolateRoughness(double x, double z, double sx, double sz, const TCellGeometry& g) const;
    // Roughness of vertex (c, r) from its band, water and terrain layer; 0 outside the grid.
    float RoughnessAt(int32_t c, int32_t r) const;

    // ---- Surface, colour and layer-map queries -------------------------------------------------
    // Paints LayerBitmap (allocating it when needed) from the regions and lines. Deleted entries,
    // entries of a hidden layer and entries whose layer does not exist are not painted.
    void BuildLayerMap();
    // Index of the terrain layer under map pixel (x, y), NoLayer for none; edge := 1 on an edge pixel.
    int32_t TerrainLayerAt(int32_t x, int32_t y, uint8_t& edge) const;
    // Fills Kind, Colors, Bumpiness, LayerIndex, LayerEdge and Color of a land texel. Draws two
    // numbers from the global random generator.
    void SurfaceColourAt(TTexelPoint& t) const;
    // Fills the colours of a water texel: the sky in the mirrored view ray, and the terrain that the
    // mirrored ray meets (Colors[1]) when it meets any. Reads AtmosphereParams.
    void WaterReflectionColour(TTexelPoint& t) const;
    // The part of it that reads no colour the landscape's texels leave in the grid: the sky's
    // colour, and the grid vertex whose colour the terrain the ray meets takes. It can be worked out
    // ahead, in any order; WaterReflectionColour is it followed by the vertex colour's reading.
    TWaterMirror WaterMirrorAt(float x, float y, float z) const;
    // The reflection of a mirror as WaterReflectionColour gives it: the sky, and what the ray meets
    // (the sky again when it meets nothing).
    void MirrorColours(const TWaterMirror& mirror, TFloatRGB& sky, TFloatRGB& reflected) const;

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
// The three band surfaces are addressed by position: a list shorter than three gets the missing
// ones from the defaults, with fresh IDs and no parent (what loading a project and reading
// settings both do).
void CompleteBandSurfaces(TFractalBlock& block);

// The layer map is 48 MiB, and touching that much memory for the first time takes longer than a
// render's every other preparation. One white map is made ahead (on any thread, for instance in the
// background once the program has started) and kept until a project needs one; a project gives its
// map back when it goes, for the next one. Returns at once when a map is kept or being made.
void PrepareLayerBitmap();
// Forgets the map kept (the next project makes its own, as in a fresh process).
void ReleasePreparedLayerBitmap();
