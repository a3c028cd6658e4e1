// The project document: creation with every block's defaults, the new grid, the world scale and the
// small list operations that editors and plug-in services share.
#include "project/Project.h"

#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/StrStuff.h"
#include "project/WinReg.h"

#include <QColor>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <new>
#include <utility>

namespace {

// Hourglass for the lifetime of the object, also when the operation leaves early.
class BusyCursor {
public:
    BusyCursor() { StatusSink().SetBusyCursor(true); }
    ~BusyCursor() { StatusSink().SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

TFloatColor Rgb(int r, int g, int b) { return ColorRefToFloat(uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16); }

std::string FolderSetting(const char* name) { return CutShortString(ReadPathSetting(name)); }

// Entries 0 .. Count - 1 that the array really holds.
template <typename Block>
int UsedCount(const Block& block)
{
    return std::clamp<int>(block.Count, 0, static_cast<int>(block.Items.size()));
}

template <typename Block>
int MarkDeletedByLayer(Block& block, int32_t layerID)
{
    const int n = UsedCount(block);
    for (int i = 0; i < n; ++i)
        if (block.Items[i].TerrainLayerID == layerID)
            block.Items[i].Deleted = 1;
    return 0;
}

// Grows the block by one fresh entry and returns its index, or -1 when the count cannot grow.
template <typename Block>
int AppendEntry(Block& block, int32_t layerID)
{
    const int count = std::max<int32_t>(block.Count, 0);
    if (count == INT32_MAX || block.NextID == INT32_MAX)
        return -1;
    try {
        block.Items.resize(static_cast<size_t>(count) + 1);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    block.Count = count + 1;
    auto& entry = block.Items[count];
    entry = {};
    entry.ID = block.NextID++;
    entry.TerrainLayerID = layerID;
    entry.Deleted = 0;
    return count;
}

template <typename Block>
int AppendPolyEntry(Block& block, int32_t layerID)
{
    const int index = AppendEntry(block, layerID);
    if (index >= 0) {
        block.Items[index].PointCount = 0;
        block.Items[index].Points.assign(1, TMapPoint{});
    }
    return index;
}

} // namespace

// ---- Block initialisers ----------------------------------------------------------------------

void InitHeaderBlock(TProjectHeader& block)
{
    block = {};
    block.Magic = 262;
    block.Compatibility = 18;
    block.Version = 192;
    block.Name.clear();
}

void InitGridBlock(TGridBlock& block)
{
    block = {};
    block.RecordWord = 119;
    block.Tag = 169;
    block.VerticalScale = 1.0;
}

void InitCameraBlock(TCameraBlock& block)
{
    block = {};
    block.RecordWord = 67;
    block.Tag = 171;
    block.Eye = {2000, 200, 2000};
    block.Target = {-2000, 200, -2000};
    block.Perspective = 60.0;
    block.Reserved = 1.0;
}

void InitLightingBlock(TLightingBlock& block)
{
    block = {};
    block.RecordWord = 80;
    block.Tag = 167;
    block.PrimaryLightColor = {1, 1, 1, 1};
    block.AmbientLightColor = {1, 1, 1, 1};
    block.LightAltitude = 60.0;
    block.LightAzimuth = 180.0;
    block.SunSize = 20.0;
}

void InitActorBlock(TActorBlock& block)
{
    block = {};
    block.RecordWord = 272;
    block.Tag = 162;
    block.Directory = FolderSetting("Plants");
    block.NextID = 0;
    block.Count = 0;
    block.Items.assign(1, TActor{});
}

void InitAtmosphereBlock(TAtmosphereBlock& block)
{
    block = {};
    block.RecordWord = 160;
    block.Tag = 163;
    block.SkyColor = {0.55f, 0.64f, 1.0f, 1.0f};
    block.HorizonColor = {0.8f, 0.89f, 1.0f, 1.0f};
    block.FogColor = {0.96f, 0.96f, 1.0f, 1.0f};
    block.FogDensity = 0.1;
    block.Ambient = 0.24;
    block.Diffuse = 0.92;
    block.Blueing = 0.6;
    block.Glowing = 0.42;
    block.ShadowDepth = 0.5;
    block.Ceiling = 200.0;
    block.Floor = -100.0;
    block.Distance = 250.0;
    block.Infinity = 10000.0;
    block.DecayColor = {0.25f, 0.51f, 1.0f, 1.0f};
    block.MistHeight = 0.7;
}

void InitCloudsBlock(TCloudsBlock& block)
{
    block = {};
    block.RecordWord = 288;
    block.Tag = 164;
    const int32_t generator[5] = {1004, 1, 80, 80, 500};
    std::copy(std::begin(generator), std::end(generator), block.GeneratorSettings);
    block.Directory = FolderSetting("Clouds");
    TCloud cloud;
    cloud.Draw = 1;
    cloud.Height = 40.0;
    cloud.Cover = 50;
    cloud.Density = 20;
    cloud.Size = 200;
    cloud.CloudSource.clear();
    cloud.CloudColor1 = {0.93f, 0.93f, 0.93f, 1.0f};
    cloud.CloudColor2 = {0.71f, 0.71f, 0.71f, 1.0f};
    cloud.XOffset = 0;
    cloud.YOffset = 0;
    block.Count = 1;
    block.Items.assign(1, cloud);
}

void InitEcologyBlock(TEcologyBlock& block)
{
    block = {};
    block.RecordWord = 272;
    block.Tag = 165;
    block.Flag = 0;
    block.Count = 0;
    block.Items.clear();
}

void DefaultTerrainSurface(TTerrainSurface& surface)
{
    surface.Deleted = 0;
    surface.Material.Roughness = 20.0;
    surface.Material.Specularity = 0;
    surface.Material.Shininess = 10;
    surface.Material.Emission = 0;
    surface.ParentID = -1;
    surface.Coverage = 10.0;
    surface.MaxAltitude = surface.MinAltitude = surface.MaxSlope = surface.MinSlope = 0;
    surface.MaxAltitudeValue = 100.0;
    surface.MinAltitudeValue = 0;
    surface.MaxSlopeValue = 100.0;
    surface.MinSlopeValue = 0;
    surface.MaxAltitudeEdge = surface.MinAltitudeEdge = surface.MaxSlopeEdge = surface.MinSlopeEdge = 20.0;
    surface.Bumpiness = 10.0;
}

void CompleteBandSurfaces(TFractalBlock& block)
{
    auto& surfaces = block.TerrainSurfaces;
    if (surfaces.size() >= 3)
        return;
    TFractalBlock defaults;
    InitFractalBlock(defaults);
    int32_t nextID = block.TerrainSurfaceNextID;
    for (const TTerrainSurface& s : surfaces)
        nextID = std::max(nextID, s.SurfaceID == INT32_MAX ? s.SurfaceID : s.SurfaceID + 1);
    while (surfaces.size() < 3) {
        TTerrainSurface s;
        if (surfaces.size() < defaults.TerrainSurfaces.size())
            s = defaults.TerrainSurfaces[surfaces.size()];
        else
            DefaultTerrainSurface(s);
        s.SurfaceID = nextID < INT32_MAX ? nextID++ : nextID;
        s.ParentID = -1;
        s.Deleted = 0;
        surfaces.push_back(s);
    }
    block.TerrainSurfaceNextID = nextID;
    block.TerrainSurfaceCount = static_cast<int32_t>(surfaces.size());
}

void InitFractalBlock(TFractalBlock& block)
{
    block = {};
    block.RecordWord = 60;
    block.Tag = 166;
    block.FractalDepth = 1;
    block.PreviewMode = 0;
    block.RPlaneSeed = 50;
    block.RFreqSeed = 257;
    block.BPlaneSeed = 100;
    block.BFreqSeed = 291;
    block.TreeLine = 40;
    block.SnowLine = 80;
    block.BandEdgeFuzziness = 20;
    block.BaseTerrainBias = 50;
    block.DrawNoModels = 1;

    struct Default {
        const char* name;
        int primary[3];
        int secondary[3];
    };
    static const Default defaults[3] = {
        {"Below Treeline", {32, 97, 1}, {79, 123, 38}},
        {"Intermediate", {112, 135, 86}, {128, 128, 0}},
        {"Above Snowline", {249, 249, 249}, {250, 250, 250}},
    };
    block.TerrainSurfaces.assign(3, TTerrainSurface{});
    for (int i = 0; i < 3; ++i) {
        TTerrainSurface& s = block.TerrainSurfaces[i];
        DefaultTerrainSurface(s);
        const Default& d = defaults[i];
        s.Material.PrimaryColor = Rgb(d.primary[0], d.primary[1], d.primary[2]);
        s.Material.SecondaryColor = Rgb(d.secondary[0], d.secondary[1], d.secondary[2]);
        s.SurfaceID = i;
        s.SurfaceName = d.name;
    }
    block.TerrainSurfaceCount = 3;
    block.TerrainSurfaceNextID = 3;
}

void InitOverlayBlock(TOverlayBlock& block)
{
    block = {};
    block.RecordWord = 80;
    block.Tag = 168;
    block.Directory = FolderSetting("Overlays");
    block.DefaultSize = 1024;
    block.Count = 0;
    block.Items.assign(1, TOverlayImage{});
}

void InitTerrainLayersBlock(TTerrainLayersBlock& block)
{
    block = {};
    block.RecordWord = 20;
    block.Tag = 170;
    block.Count = 0;
    block.NextID = 0;
    block.Exact = 0;
    block.Items.assign(1, TTerrainLayer{});
}

void InitWaterBlock(TWaterBlock& block)
{
    block = {};
    block.RecordWord = 296;
    block.Tag = 172;
    block.WaveHeight = 3.0;
    block.WaveLength = 3.0;
    block.WindDirection = 45;
    block.GPlaneSeed = 12345;
    block.GFreqSeed = 54321;
    block.WaterTurbulance = 10;
    block.Surface.PrimaryColor = {0, 0, 0, 1};
    block.Surface.SecondaryColor = {0, 0, 0, 1};
    block.Surface.Roughness = 5.0;
    block.Surface.Specularity = 5.0;
    block.Surface.Shininess = 3;
    block.Surface.Emission = 0;
}

void InitTerrainPolyBlock(TTerrainPolyBlock& block)
{
    block = {};
    block.RecordWord = 16;
    block.Tag = 174;
    block.Count = 0;
    block.NextID = 0;
    block.Items.assign(1, TTerrainPoly{});
}

void InitModelBlock(TModelBlock& block)
{
    block = {};
    block.RecordWord = 272;
    block.Tag = 175;
    block.Directory = FolderSetting("Models");
    block.Count = 0;
    block.NextID = 0;
    block.Items.assign(1, TModelPlacement{});
}

void InitTerrainLineBlock(TTerrainLineBlock& block)
{
    block = {};
    block.RecordWord = 16;
    block.Tag = 176;
    block.Count = 0;
    block.NextID = 0;
    block.Items.assign(1, TTerrainLine{});
}

void InitUrbanBlock(TUrbanBlock& block)
{
    block = {};
    block.RecordWord = 16;
    block.Tag = 177;
    block.Count = 0;
    block.NextID = 0;
    block.Items.assign(1, TUrbanPlanDef{});
}

// ---- Create and Destroy ----------------------------------------------------------------------

TProject::TProject()
{
    InitHeaderBlock(Header);
    InitGridBlock(Grid);
    InitCameraBlock(Camera);
    InitLightingBlock(Lighting);
    InitOverlayBlock(Overlays);
    InitAtmosphereBlock(Atmosphere);
    InitFractalBlock(Fractal);
    InitWaterBlock(Water);
    InitActorBlock(Actors);
    InitEcologyBlock(Ecology);
    InitCloudsBlock(Clouds);
    InitTerrainLayersBlock(TerrainLayers);
    InitTerrainPolyBlock(TerrainPolys);
    InitModelBlock(Models);
    InitTerrainLineBlock(TerrainLines);
    InitUrbanBlock(Urban);

    WorldScale = 1.0;
    BandNoiseScale = MakeNoiseTile(Fractal.BPlaneSeed, BandNoise, 1.0);
    // The 48 MiB layer map is made on first use (EnsureLayerBitmap), not here.
}

namespace {

// The one layer map kept for the next project that needs one: made ahead (white) or given back by
// a project that went (still holding that project's layers).
struct TSpareLayerMap {
    std::mutex Lock;
    std::condition_variable Made;
    bool Making = false;
    bool White = false;
    QImage Map;
};

TSpareLayerMap& SpareLayerMap()
{
    // Never destroyed: whatever gives memory back at exit finds it still there.
    static TSpareLayerMap* spare = new TSpareLayerMap;
    return *spare;
}

QImage MakeLayerBitmap()
{
    return QImage(TProject::LayerBitmapSize, TProject::LayerBitmapSize, QImage::Format_RGB888);
}

} // namespace

void PrepareLayerBitmap()
{
    TSpareLayerMap& spare = SpareLayerMap();
    {
        const std::lock_guard<std::mutex> hold(spare.Lock);
        if (spare.Making || !spare.Map.isNull())
            return;
        spare.Making = true;
    }
    QImage map = MakeLayerBitmap();
    if (!map.isNull())
        map.fill(QColor(255, 255, 255));
    {
        const std::lock_guard<std::mutex> hold(spare.Lock);
        spare.Map = std::move(map);
        spare.White = true;
        spare.Making = false;
    }
    spare.Made.notify_all();
}

void ReleasePreparedLayerBitmap()
{
    TSpareLayerMap& spare = SpareLayerMap();
    std::unique_lock<std::mutex> hold(spare.Lock);
    spare.Made.wait(hold, [&] { return !spare.Making; });
    spare.Map = QImage();
}

TProject::~TProject()
{
    for (TOverlayImage& overlay : Overlays.Items)
        overlay.Image.reset();
    // A map no copy of the project shares goes to the next project.
    if (!LayerBitmap.isNull() && LayerBitmap.isDetached()) {
        TSpareLayerMap& spare = SpareLayerMap();
        const std::lock_guard<std::mutex> hold(spare.Lock);
        if (!spare.Making && spare.Map.isNull()) {
            spare.Map = std::exchange(LayerBitmap, QImage());
            spare.White = false;
        }
    }
}

bool TProject::EnsureLayerBitmap()
{
    if (!LayerBitmap.isNull())
        return true;
    QImage bitmap;
    bool white = false;
    {
        // A map being made now is ready sooner than a new one would be.
        TSpareLayerMap& spare = SpareLayerMap();
        std::unique_lock<std::mutex> hold(spare.Lock);
        spare.Made.wait(hold, [&] { return !spare.Making; });
        bitmap = std::exchange(spare.Map, QImage());
        white = spare.White;
    }
    if (bitmap.isNull()) {
        bitmap = MakeLayerBitmap();
        white = false;
    }
    if (bitmap.isNull()) {
        ShowError("E0001 Memory Allocation Error");
        return false;
    }
    if (!white)
        bitmap.fill(QColor(255, 255, 255));
    LayerBitmap = std::move(bitmap);
    return true;
}

// ---- Grid ------------------------------------------------------------------------------------

bool TProject::NewGrid(int32_t columns, int32_t rows, double spacingX, double spacingY)
{
    // Refuse what cannot make a grid before anything of the current one is touched.
    if (columns < 1 || rows < 1 || int64_t(columns) * rows > MaxGridCells)
        return false;
    if (!std::isfinite(spacingX) || !std::isfinite(spacingY) || spacingX <= 0 || spacingY <= 0)
        return false;

    BusyCursor busy;
    TCellArray cells;
    try {
        cells.Resize(columns, rows);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    TFloatRGB colour;
    if (!Fractal.TerrainSurfaces.empty()) {
        const TFloatColor& p = Fractal.TerrainSurfaces[0].Material.PrimaryColor;
        colour = {p.R, p.G, p.B};
    }
    TGridCell* data = cells.Data();
    for (size_t k = 0, n = cells.CellCount(); k < n; ++k) {
        TGridCell& c = data[k];
        c.Height = NullHeight;
        c.Flooded = c.WaterEdge = c.InShadow = 0;
        c.Normal = {0, 1, 0};
        c.Color = colour;
    }

    InitGridBlock(Grid);
    Grid.SpacingX = spacingX;
    Grid.SpacingY = spacingY;
    Grid.MapWidth = (columns - 1) * spacingX;
    Grid.MapHeight = (rows - 1) * spacingY;
    Grid.LeftGeo = 0;
    Grid.TopGeo = 0;
    Grid.RightGeo = Grid.MapWidth;
    Grid.BottomGeo = Grid.MapHeight;
    Grid.Cells = std::move(cells);
    Grid.SizeX = columns;
    Grid.SizeY = rows;
    ComputeWorldScale();
    return true;
}

void TProject::ComputeWorldScale()
{
    WorldScale = ((Grid.SizeX * Grid.SpacingX + Grid.SizeY * Grid.SpacingY) / 2) / 500;
}

// ---- Status texts ----------------------------------------------------------------------------

void TProject::SetOperationText(const std::string& text)
{
    StatusSink().SetOperationText(text);
    StatusSink().ProcessMessages();
}

void TProject::SetStepText(const std::string& text)
{
    StatusSink().SetStepText(text);
    StatusSink().ProcessMessages();
}

// ---- Entries by terrain layer ----------------------------------------------------------------

int TProject::DeleteLayerLines(int32_t layerID) { return MarkDeletedByLayer(TerrainLines, layerID); }
int TProject::DeleteLayerRegions(int32_t layerID) { return MarkDeletedByLayer(TerrainPolys, layerID); }
int TProject::DeleteLayerModels(int32_t layerID) { return MarkDeletedByLayer(Models, layerID); }

int TProject::FindEcologyRule(int32_t layerID) const
{
    // Only the rules in use count; entries past Count are stale.
    for (int i = UsedCount(Ecology) - 1; i >= 0; --i)
        if (Ecology.Items[i].TerrainLayerID == layerID)
            return i;
    return -1;
}

int TProject::AppendLayerLine(int32_t layerIndex)
{
    if (layerIndex < 0 || layerIndex >= UsedCount(TerrainLayers))
        return -1;
    return AppendPolyEntry(TerrainLines, TerrainLayers.Items[layerIndex].ID);
}

int TProject::AppendLayerRegion(int32_t layerIndex)
{
    if (layerIndex < 0 || layerIndex >= UsedCount(TerrainLayers))
        return -1;
    return AppendPolyEntry(TerrainPolys, TerrainLayers.Items[layerIndex].ID);
}

int TProject::AppendLayerModel(int32_t layerIndex)
{
    if (layerIndex < 0 || layerIndex >= UsedCount(TerrainLayers))
        return -1;
    const TTerrainLayer& layer = TerrainLayers.Items[layerIndex];
    const int index = AppendEntry(Models, layer.ID);
    if (index >= 0) {
        Models.Items[index].Size = layer.ModelHeight;
        Models.Items[index].Rotation = layer.Rotation;
    }
    return index;
}

double TProject::MaxRoughnessMargin() const
{
    double maximum = 0;
    for (const TTerrainSurface& s : Fractal.TerrainSurfaces)
        if (!s.Deleted && s.Material.Roughness >= maximum)
            maximum = s.Material.Roughness;
    return maximum / 2;
}
