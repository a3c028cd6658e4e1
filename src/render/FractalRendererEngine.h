#pragma once
// TFractalRenderEngine: the landscape renderer. Every grid cell becomes a displaced fractal mesh
// whose level of detail falls with distance, textured with texels shaded one by one, with water
// edges and per-vertex roughness prepared beforehand, vegetation, buildings and placed models.
//
// The implementation is split by stage, one file each, read top to bottom as Render runs them:
//   FractalRendererEngine.cpp  the pipeline, the water / vertex pre-pass, level of detail and the
//                              cell traversal (stitching, shore split, preview outlines)
//   FractalCell.cpp            subdivision, displacement, texel shading and batched drawing
//   FractalVegetation.cpp      plants and buildings per cell
//   FractalModels.cpp          placed 3D models and their texel shadows
#include "render/GLPlant.h"
#include "render/GLUrban.h"
#include "render/RendererEngine.h"
#include "render/TexelAtlas.h"
#include "render/WorkGate.h"

#include "project/MathUtils.h"
#include "project/ProjectGeometry.h"
#include "project/ProjectSurface.h"

#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>
// Stage times and the message-pump interval of the traversal.
#include <chrono>

class TGLPanel;
class TLinePlanner;
class TML3DS;

// Frees the engine's model renderer (defined with the model stage, where TML3DS is complete).
struct TML3DSDeleter {
    void operator()(TML3DS* models) const;
};

// A placed model's shadow on the landscape texels: the ellipse of points whose distances to the
// model's foot P and to T (P moved away from the sun) sum to at most D, with its bounding box.
struct TModelShadow {
    double PX = 0, PZ = 0, TX = 0, TZ = 0, D = 0;
    double MinX = 0, MaxX = 0, MinZ = 0, MaxZ = 0;
};

// One plant gathered for the cell being drawn. Size 0 marks an entry that is never drawn.
struct TCellPlant {
    int32_t PlantIndex = -1; // into TProject.Actors.Items and Plants
    float X = 0, Y = 0, Z = 0;
    double U = 0, V = 0;     // placement fractions of the sub-quad, -1.5 .. 1.5
    double Size = 0;
    TFloatRGB LitColour;
    TVector3 Normal;
    double ShadowX = 0, ShadowZ = 0;
    double LightFactor = 1;  // the sub-quad's mean light (lower in the terrain's shadow)
    TVector3 HazeColour, HazeAmount; // the haze between the camera and the plant
};

// A plant's shadow on the texels: a disc.
struct TPlantShadow {
    double X = 0, Z = 0, RadiusSquared = 0;
};

// Plant shadows as the texels read them: the discs, their box (min x, min z, max x, max z), the
// light kept in a shadow and the discs sorted into a grid of buckets over the box (offsets and
// disc indices).
struct TPlantShadowView {
    const TPlantShadow* Discs = nullptr;
    size_t Count = 0;
    const double* Box = nullptr;
    double Factor = 1;
    const int32_t* Offsets = nullptr;
    const int32_t* Indices = nullptr;
    // Lowers lightFactor for a texel at (x, z) in a shadow.
    void Apply(double x, double z, double& lightFactor) const;
};

// A copy of the plant shadows of one cell, grid and all.
struct TPlantShadowSet {
    std::vector<TPlantShadow> Discs;
    double Box[4] = {0, 0, 0, 0};
    double Factor = 1;
    std::vector<int32_t> Offsets, Indices;
    TPlantShadowView View() const
    {
        return {Discs.data(), Discs.size(), Box, Factor, Offsets.data(), Indices.data()};
    }
};

// Pure tables of the renderer, callable without a window or a GL context.
namespace FractalTables {
// Sub-quads per cell side at a level: 1 at level 0, 2^level + 1 above.
int SubdivisionCount(int level);
// The texture side for a sub-quad whose projected extent is extent pixels, by fractal depth.
int TextureSideFor(double extent, int fractalDepth);
// The level for a window depth given the six thresholds, clamped to 0 .. fractalDepth.
int LevelForDepth(const double (&thresholds)[6], int fractalDepth, double depth);
// The clamp applied to a stored fractal depth before rendering (arrays are sized for 1 .. 4).
int ClampFractalDepth(int depth);
// How far the shadow of a thing of this height reaches from its foot for a sun at altitude
// degrees from the vertical (below 90): height / tan(90 - altitude), held at the length for a sun
// LowestShadowSun degrees above the horizon (a lower sun would reach across the whole landscape,
// and infinitely far at the horizon).
constexpr double LowestShadowSun = 1.0;
double ShadowReach(double height, double altitude);

// RotateAboutAxis about (0, 0, 1) and about (1, 0, 0), rounded the same way, without building the
// matrix (texel normals turn twice per texel).
TVector3 RotateAboutZ(const TVector3& point, float angleDegrees);
TVector3 RotateAboutX(const TVector3& point, float angleDegrees);

enum class TTraversalAxis { Rows, Columns };
struct TTraversalOrder {
    TTraversalAxis Outer = TTraversalAxis::Rows;
    bool OuterAscending = true; // the inner loop always ascends
};
// The order of the cell traversal for a camera at eye looking at target.
TTraversalOrder TraversalOrderFor(const TVector3& eye, const TVector3& target);

// A shore cell (a water-edge corner and at least one flooded corner) is drawn as two pieces: water
// under the lowest flooded corner, and land whose flooded corners sit on that water level. Returns
// false (pieces untouched) when the cell is drawn whole.
bool SplitShoreCell(const TCellGeometry& cell, TCellGeometry& water, TCellGeometry& land);

// The completion text: four triangles per quad drawn and the elapsed time as h:mm:ss.
std::string CompletionText(int64_t quads, double seconds);
} // namespace FractalTables

class TFractalRenderEngine : public TRenderEngine {
public:
    // Side of the sub-vertex arrays: room for the finest subdivision and its ring.
    static constexpr int CellArraySide = 67;
    TFractalRenderEngine();
    ~TFractalRenderEngine() override;

    void Render(TGLPanel& panel) override;

    // ---- Results of the last render (read by the window, tests and the benchmark) ---------------
    // Empty after a render that ran to its end (aborted included); otherwise what went wrong.
    std::string LastError;
    // "Completed: ..." after a render that did not fail.
    std::string CompletionText;
    // Seconds spent in each stage of the last render, in the order they ran.
    std::vector<std::pair<std::string, double>> StageTimes;
    // Texels shaded during the last render.
    int64_t TexelsShaded = 0;
    // Plants the last render drew (one whose shape cannot be grown counts, drawing nothing).
    int64_t PlantsDrawn = 0;
    // When KeepTextureSides is set, the texture side of every batched sub-quad of the last render,
    // in drawing order (the benchmark repeats the same uploads for its textured floor).
    bool KeepTextureSides = false;
    std::vector<uint8_t> TextureSides;

    // ---- Pipeline, pre-passes, traversal (FractalRendererEngine.cpp) -----------------------------
    void BuildDetailTiles();
    void CalculateDisplacements();
    void PreprocessWater();
    void PrepareVertexData();
    void PrecalculateVisibility();
    int LevelForDepth(double depth) const;
    void DrawSurfaceCell(int32_t column, int32_t row);
    // The cell's geometry, when the cell is drawn at all (in view, every corner with a height).
    bool DrawnCellGeometry(int32_t column, int32_t row, TCellGeometry& cell);
    // Sets the level of a cell that is drawn (and, with plants or buildings, its screen test:
    // with the projector given, or the current matrices).
    void SetCellLevel(TCellGeometry& cell, const TPointProjector* projector);
    // The levels a cell is drawn at, in order; returns their count.
    int CellLevels(const TCellGeometry& cell, int (&levels)[3]) const;
    void DrawCellPieces(const TCellGeometry& geometry, int level);
    // A cell piece as drawn at a level: its plain and its jittered corners.
    void CellAtLevel(const TCellGeometry& geometry, TCellGeometry& plain, TCellGeometry& jittered) const;
    void DrawCellAtLevel(const TCellGeometry& geometry, int level);
    void DrawFlatQuad(const TCellGeometry& geometry);

private:
    void RunPipeline(TGLPanel& panel);
    void AskAboutMissingPaths();
    void LoadOverlays();
    void DrawSurface();
    void CleanUp();
    // Lets pending window messages run: always when forced, otherwise at most every PumpInterval,
    // so the Abort button is heard without a pump per cell.
    void PumpMessages(bool force);
    // Whether an unforced pump would let messages run now.
    bool PumpDue() const;
    // Lets messages run with the planning of the lines ahead held (when it runs): a message may
    // change the project, and no line is planned from it meanwhile.
    void PumpHoldingPlans();
    // Inside a line (between its cells, between the plants of a cell) as between lines: lets
    // messages run when their time has come, so a line that takes long keeps the window
    // responsive. The caller stops drawing when Aborted is set afterwards.
    void PumpWithinLine();
    // The planning of the lines ahead while the traversal runs on several threads.
    TLinePlanner* linePlanner_ = nullptr;
    // Closes the running stage under name and starts the next one.
    void StageDone(const char* name);

    using TClock = std::chrono::steady_clock;
    TClock::time_point stageStart_, lastPump_;
    bool previewRender_ = false;
    // Camera position in grid units and the range around it that counts as near the camera.
    TVector3 cameraGrid_;
    double nearCameraRange_ = 0;

public:
    // ---- Cells (FractalCell.cpp) -----------------------------------------------------------------
    void DrawFractalCell(const TCellGeometry& jittered, const TCellGeometry& plain, int level);
    double DisplacementAt(const TCellGeometry& geometry, double x, double z, bool water, double& roughness) const;
    double WaveOffset(double x, double z, double amplitude) const;
    // Makes pending batched sub-quads visible; called after the traversal and before the models.
    void FlushCellBatches();
    // Frees the textures of this render (the clean-up runs it on every path).
    void ReleaseCellTextures();

    // ---- Vegetation and buildings (FractalVegetation.cpp) ----------------------------------------
    // Frees the plants and urban plans of the previous render (full render step).
    void ResetVegetation();
    // Creates the plants and urban plans of the project (full render step).
    void PrepareVegetation();
    // Per sub-quad: may gather plants for the cell.
    void DrawCellEcology(const TCellGeometry& subQuad);
    // Per cell piece, at its first drawn sub-quad: buildings.
    void DrawCellUrbanAt(const TCellGeometry& cell);
    // After the cell's sub-quads: draws and forgets the gathered plants.
    void DrawCellPlants();
    // Lowers lightFactor for a texel at (x, z) in the shadow of a gathered plant.
    void PlantShadowsOnTexel(double x, double z, double& lightFactor) const;
    bool HasPlantShadows() const;
    // The steps of the above.
    void DrawLayerPlants(const TCellGeometry& subQuad, int layer);
    void DrawEcologyPlants(const TCellGeometry& subQuad);
    void AddPlantPlacement(const TCellGeometry& subQuad, double u, double v, int layer, int slot);
    void AddEcologyPlant(const TCellGeometry& subQuad, double u, double v, int rule);
    // What the two placements share: one entry for the rule's plant type (empty when none).
    void AddPlant(const TCellGeometry& subQuad, double u, double v, const TEcologyRule& rule);
    void DrawCellUrban(const TCellGeometry& cell, int layer);
    // The terrain layer (index) painted in the layer map under render point (x, z), or -1.
    int LayerUnder(double x, double z) const;

    // Plant types and urban plans of the current render, and the plants of the cell being drawn.
    std::vector<std::unique_ptr<TPlant>> Plants;
    // Grown plant shapes by file and seed, kept from render to render within its bound.
    TPlantShapeCache PlantShapes;
    // The cell's plants as one array of triangles.
    TPlantBatch PlantBatch;
    std::vector<std::unique_ptr<TUrbanPlan>> UrbanPlans;
    std::vector<TCellPlant> CellPlants;
    std::vector<TPlantShadow> PlantShadows;
    double PlantShadowBox[4] = {0, 0, 0, 0}; // min x, min z, max x, max z of the shadow discs
    double PlantShadowFactor = 1;            // light kept in a plant's shadow
    // The discs sorted into a grid of buckets over the box (offsets and disc indices), built at the
    // first texel after the gathering so that a texel looks only at the discs near it.
    static constexpr int PlantShadowBuckets = 16;
    mutable std::vector<int32_t> PlantShadowOffsets, PlantShadowIndices, PlantShadowNext;
    // The PlantShadowVersion the grid was built for (0: none).
    mutable uint64_t PlantShadowGridVersion = 0;
    // Limits on what one sub-quad and one cell may gather, whatever the densities say.
    static constexpr int MaxPlantsPerSubQuad = 256;
    static constexpr int MaxPlantsPerCell = 4096;

    // ---- Placed models (FractalModels.cpp) -------------------------------------------------------
    // Loads each terrain layer's model and sets its ModelAspect (full render step).
    void PrepareModels();
    // Draws every placement not marked deleted (the last stage).
    void DrawModels();
    void DrawModelInstance(int index);
    void ModelShadowsOnTexel(double x, double z, double& lightFactor) const;
    bool HasModelShadows() const;
    // The engine's one model renderer, made on first use.
    TML3DS& Models3DS();
    std::unique_ptr<TML3DS, TML3DSDeleter> ModelCache;
    // The shadows of this render's placements (PrepareModels); read per texel, never resized there.
    std::vector<TModelShadow> ModelShadows;

    // ---- State -----------------------------------------------------------------------------------
    uint8_t PathsQuestionAsked = 0;
    double WaveOriginX = 0, WaveOriginZ = 0;
    TVector3 Eye, Target;
    double LodThresholds[6] = {2147483647.0, 2147483647.0, 2147483647.0,
                               2147483647.0, 2147483647.0, 2147483647.0};
    float DetailTiles[2][65][65] = {};
    double DetailMean = 0;
    uint8_t RowsAscending = 0, ColumnsAscending = 0;
    int32_t UrbanDrawn = 0;
    // The fractal depth of the current render, clamped to 1 .. 4.
    int32_t RenderDepth = 1;

    // Threads the texels of batched sub-quads are shaded on: 0 one per core; 1 one after the other
    // on the render thread as each sub-quad is met, the reference the parallel way is checked
    // against. The picture, the vertex colours and the random sequence are the same either way.
    int ThreadCount = 0;
    // Sub-quads drawn together at most (fewer when the atlas fills first). Batches are drawn in
    // order whatever their size, so the limit changes nothing but the memory held and how soon
    // other threads can start on the texels.
    size_t TexelBatchLimit = 16384;

    // Messages run at most this often while the surface is drawn (0: at every chance: between
    // lines, cells and plants, and while the drawing waits for texels).
    std::chrono::milliseconds PumpInterval{4};
    // The two atlas textures of a context are made when first needed and kept there: making one
    // clears its memory each time. Their names lie outside those of the per-side textures and far
    // above the ones OpenGL hands out first. BindAtlasTexture binds texture k (0 or 1) of the
    // current context, made anew when the context holds none of the atlas's size and format.
    static constexpr GLuint AtlasTextureNames[2] = {0x51580001u, 0x51580002u};
    // Returns whether it was made.
    static bool BindAtlasTexture(int k);
    // Uploads rows of atlas texels (TTexelAtlas::Width wide) into atlas texture k and draws quads
    // with it, each four vertices (s, t, x, y, z each) drawn as the triangles (0, 1, 2) and
    // (0, 2, 3), decal-textured, back faces culled; then has the driver start drawing them. The
    // state it sets for this is put back as it found it.
    static void DrawAtlasQuads(int k, const uint8_t* texels, int rows, const float* vertices, size_t quads);
    // Quads drawn by one call of the driver at most.
    static constexpr int MaxAtlasQuads = 16384;
    // Makes in the current context what every render draws with (the atlas textures) and has the
    // driver ready for a render of width x height (its state compiled, its memory taken), for a
    // context that lives on from render to render and is made before the first render is asked for.
    // In a context that has them already it does nothing more; otherwise it leaves the framebuffer
    // cleared.
    static void PrepareContext(int width, int height);

    // Sub-quads get a texture of their own each, uploaded and drawn at once, instead of sharing
    // the atlas and being drawn in batches. Slow; kept as the reference the batches are checked
    // against.
    bool PerQuadTextures = false;

protected:
    // The sky of a fractal render follows the clamped depth too.
    int32_t SkyFractalDepth() const override { return RenderDepth; }

private:
    // Sub-vertex arrays of the cell being drawn: sub-vertex (i, j), i and j in 0 .. N, lives at
    // [i + 1][j + 1]; indices 0 and N + 2 hold the ring just outside the cell.
    static constexpr int MaxCellLevel = 4; // N = 17: the ring fits well inside the arrays
    TVector3 SubVertices[CellArraySide][CellArraySide];
    TVector3 SubNormals[CellArraySide][CellArraySide];
    double SubLight[CellArraySide][CellArraySide];
    TDoublePoint SubUV[CellArraySide][CellArraySide];
    double SubRoughness[CellArraySide][CellArraySide];
    int32_t CellSubdivision = 1; // N, sub-quads per side of the cell being drawn
    // Texels of the sub-quad being shaded, row-major, three floats per texel.
    int32_t CellTextureSide = 2;
    float Texels[TTexelAtlas::MaxSide * TTexelAtlas::MaxSide * 3] = {};
    // Per-side textures of the per-quad way (names 1100 + side).
    uint8_t TextureAllocated[33] = {};
    // Batched way: two atlas textures taken in turn, so filling one never waits for the drawing
    // of the other.
    int AtlasTextureInUse = 0;
    // The projection of the pending sub-quads, read at the first cell after a flush; the matrices
    // stay as they are until the batches are flushed.
    std::optional<TPointProjector> CellProjector;
    // The largest height any displacement of this render can add or take away (infinite when a
    // damaged value leaves it unknown); read together with the projection.
    double CellDisplacementBound = 0;
    void PrepareCellProjection();
    bool CellOutsideView(const TCellGeometry& cell) const;

    // The sub-vertex arrays a subdivision is written to: the engine's own, or a thread's.
    struct TSubVertexArrays {
        TVector3 (&Vertices)[CellArraySide][CellArraySide];
        TVector3 (&Normals)[CellArraySide][CellArraySide];
        double (&Light)[CellArraySide][CellArraySide];
        TDoublePoint (&UV)[CellArraySide][CellArraySide];
        double (&Roughness)[CellArraySide][CellArraySide];
    };
    void BuildSubVertices(const TSubVertexArrays& a, int n, const TCellGeometry& jittered, bool water) const;
    void BuildOuterRing(const TSubVertexArrays& a, int n, const TCellGeometry& jittered, const TCellGeometry& plain,
                        bool water) const;
    static void RecomputeSubNormals(const TSubVertexArrays& a, int n);
    void Subdivide(const TSubVertexArrays& a, int n, const TCellGeometry& jittered, const TCellGeometry& plain,
                   bool water) const;

public:
    // A cell piece the traversal is about to draw, and what is made of it ahead on other threads:
    // its subdivision (rows and columns 0 .. N + 2 of the sub-vertex arrays, row-major) and the
    // texture side of each sub-quad (row-major, 0 where the sub-quad is not drawn).
    struct TPlannedCell {
        const TCellGeometry* Source = nullptr; // the piece, in its line's cell slots
        TCellGeometry Jittered, Plain;
        int Level = 0;
        bool Ready = false;   // subdivided
        bool Outside = false; // cannot reach into the view: not subdivided at all
        std::vector<TVector3> Vertices, Normals;
        std::vector<double> Light, Roughness;
        std::vector<uint8_t> QuadSides;
        // Water: what the sub-vertices at the corners of drawn sub-quads reflect (laid out as
        // Vertices), each worked out once for the sub-quads that share it.
        std::vector<TWaterMirror> Mirrors;
    };
    // Subdivides and sizes a planned cell (on any thread).
    void PrepareAhead(TPlannedCell& cell) const;
    // A thread's marks of the sub-vertices done, size of them, all clear.
    static std::vector<uint8_t>& MirrorScratch(size_t size);

private:
    // The cell pieces of a line, in drawing order; entries are reused from line to line.
    struct TLinePlan {
        std::vector<TPlannedCell> Cells;
        size_t Count = 0;
    };
    // Lines are drawn from their plans while the next few are planned (on helper threads).
    static constexpr int LinesPlannedAhead = 4;
    TLinePlan linePlans_[LinesPlannedAhead];
    // Each cell of a line: whether it is drawn, its geometry and its shore pieces. Kept for the
    // line being planned and the next.
    struct TCellSlot {
        bool Drawn = false, Split = false;
        TCellGeometry Whole, Water, Land;
    };
    std::vector<TCellSlot> lineSlots_[2];
    // The cells of one line (the outer index), their levels set.
    void PlanCells(int outer, int innerCount, bool rowMajor, std::vector<TCellSlot>& line);
    // The pieces of a line's cells in drawing order, and what can be made of them ahead; on
    // one of the threads, meanwhile runs too.
    void PlanLine(const std::vector<TCellSlot>& line, TLinePlan& plan, const std::function<void()>& meanwhile);
    // The matrices of the surface's drawing, for the screen test of cells planned off this thread.
    std::optional<TPointProjector> planProjector_;
    // DrawFractalCell, from what was made ahead of it when planned is given.
    void DrawCellFrom(const TCellGeometry& jittered, const TCellGeometry& plain, int level,
                      const TPlannedCell* planned);
    // Sub-vertex arrays as they are read once made: the engine's own or a planned cell's.
    struct TSubdivisionView {
        const TVector3* Vertices = nullptr;
        const TVector3* Normals = nullptr;
        const double* Light = nullptr;
        const double* Roughness = nullptr;
        size_t Stride = 0;
        size_t At(int i, int j) const { return static_cast<size_t>(i) * Stride + static_cast<size_t>(j); }
        // Where the corners of sub-quad (i, j) are, in fan order.
        std::array<size_t, 4> QuadAt(int i, int j) const
        {
            return {At(i + 1, j + 1), At(i + 2, j + 1), At(i + 2, j + 2), At(i + 1, j + 2)};
        }
    };
    static void SubQuadRecord(const TSubdivisionView& s, const TCellGeometry& jittered, int i, int j,
                              TCellGeometry& q, double (&roughness)[4]);
    // What the texels of sub-quad (i, j) are made from (what SubQuadRecord gives, without the rest).
    struct TTexelQuad;
    static void SubQuadTexels(const TSubdivisionView& s, const TCellGeometry& jittered, int i, int j,
                              TTexelQuad& quad, double (&roughness)[4]);
    // The texture side of sub-quad (i, j), or 0 when it is not drawn (wholly outside the view, or
    // a corner without a position).
    int SubQuadTextureSide(const TSubdivisionView& s, int i, int j) const;
    void ComputeCellTexels(const TTexelQuad& quad, const double (&roughness)[4], bool water);
    void UploadCellTexture(const TCellGeometry& q, const double (&roughness)[4], bool water);
    void DrawTexturedQuad(const TCellGeometry& q);
    // mirrors: for water, what the four corners reflect, when worked out ahead (else null).
    void BatchCellTexture(const TTexelQuad& quad, const double (&roughness)[4], bool water,
                          const TWaterMirror* const (&mirrors)[4]);

    // What a sub-quad's texels are made from: its corners and what they carry, and the vertex
    // they leave their colour and height in.
    struct TTexelQuad {
        TVector3 Corners[4], CornerNormals[4];
        double CornerLight[4] = {1, 1, 1, 1};
        int32_t Column = 0, Row = 0;
        float CentreY = 0;
    };
    static TTexelQuad TexelQuadOf(const TCellGeometry& q);
    // What one sub-quad's texels depend on besides the project, and where they go.
    struct TTexelJob {
        TTexelQuad Quad;
        double Roughness[4] = {0, 0, 0, 0};
        bool Water = false;
        int Side = 2;
        TTexelAtlas::TSlot Slot;
        uint32_t Seed = 0;         // the generator's state where the sub-quad's draws begin
        int32_t PlantShadows = -1; // index into the batch's PlantShadows; -1 none
        TFloatRGB Sky[4], Reflected[4]; // water: what the corners reflect
        bool MirrorsKnown = false;      // water: the corners' mirrors were worked out ahead
        TWaterMirror Mirrors[4];
        TFloatRGB Last;            // the colour of the last texel, once shaded
    };
    // Sub-quads drawn together: their texels in an atlas, their triangles (s, t, x, y, z per
    // vertex) and, when the texels are shaded later, what they depend on.
    struct TTexelBatch {
        TTexelAtlas Atlas;
        std::vector<float> Vertices;
        std::vector<TTexelJob> Jobs;
        // Copies of the plant shadows of the cells the jobs belong to, and PlantShadowVersion
        // when the last one was taken.
        std::vector<TPlantShadowSet> PlantShadows;
        uint64_t PlantShadowsVersion = 0;
        TFloatRGB Last; // the colour of the last texel of the last job, once shaded
        void Clear();
    };
    // Shades the side x side texels of a sub-quad into out (row-major, three floats per texel) and
    // returns the colour of the last one. Reads only what no texel writes; draws from the calling
    // thread's generator, so several sub-quads can be shaded at once.
    TFloatRGB ShadeTexels(const TTexelQuad& q, const double (&roughness)[4], bool water, int side,
                          const TFloatRGB (&sky)[4], const TFloatRGB (&reflected)[4], const TPlantShadowView* plantShadows,
                          float* out) const;
    // What the four corners of a water sub-quad reflect (reads the colours earlier texels left).
    void CornerReflections(const TTexelQuad& q, TFloatRGB (&sky)[4], TFloatRGB (&reflected)[4]) const;
    // Leaves the last texel's colour and the sub-quad's height in the cell's vertex.
    void KeepTexelResult(const TTexelQuad& q, bool water, const TFloatRGB& last);
    // The texels of a batch's jobs, shaded on every thread into its atlas, with what they leave in
    // the vertices applied in drawing order.
    void ShadeBatch(TTexelBatch& batch);
    // Draws the batch handed over before (once its texels are shaded), then hands over the one
    // being filled: its texels are shaded on other threads while the next one fills.
    void HandOverBatch();
    // Waits for the shading of the batch handed over and returns it (-1: none), to be drawn.
    int FinishHandedShading();
    void DrawHandedBatch();
    void WaitForHandedBatch();
    void DrawAtlas(TTexelBatch& batch);
    TTexelBatch TexelBatches[2];
    // The batches' memory is touched through in the background when the engine is made, so that
    // its first render does not wait for the memory to be first touched; BatchesReady waits for it.
    void PrepareBatchMemory(size_t quads);
    void BatchesReady();
    std::thread batchMemory_;
    int FillingBatch = 0;
    int HandedBatch = -1; // handed over, not drawn yet
    std::future<void> HandedShading;
    // Texels are shaded (and what they leave in the vertices applied) sub-quad by sub-quad through
    // this gate; a pump closes it, so no message runs while texels are shaded from the project.
    TWorkGate ShadingGate;
public:
    // Changes whenever the gathered plant shadows change.
    uint64_t PlantShadowVersion = 1;
    // Builds the bucket grid of the gathered plant shadows when it is not up to date.
    void BuildPlantShadowGrid() const;
    // The gathered plant shadows, grid built; valid until they change.
    TPlantShadowView LivePlantShadows() const;
};
