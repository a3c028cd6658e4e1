#include "shell/PluginHost.h"

#include "project/ByteStream.h"
#include "project/Project.h"
#include "project/StrStuff.h"
#include "shell/BaseUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

bool g_projectChanged = false;

// A service changed the project: the host's own record, and the main window's unsaved mark.
void markChanged()
{
    g_projectChanged = true;
    ProjectChanged();
}

// The record a plug-in passed; a null one ends the service with its failure value.
template <class T>
T& Rec(T* record)
{
    if (!record)
        throw std::invalid_argument("no record");
    return *record;
}

TProject& Current()
{
    if (!CurrentProject)
        throw std::runtime_error("no project");
    return *CurrentProject;
}

template <class Block>
int32_t Used(const Block& block)
{
    return static_cast<int32_t>(std::clamp<int64_t>(block.Count, 0, static_cast<int64_t>(block.Items.size())));
}

void PutText(char (&field)[256], const std::string& text)
{
    const std::string cut = CutShortString(text, 255);
    std::memcpy(field, cut.data(), cut.size());
    field[cut.size()] = 0;
}

std::string GetText(const char (&field)[256])
{
    const size_t length = strnlen(field, 256);
    return CutShortString(DecodeStoredText(std::string_view(field, std::min<size_t>(length, 255))), 255);
}

uint8_t Bool8(uint8_t v) { return v ? 255 : 0; }
uint8_t Stored(uint8_t v) { return v ? 1 : 0; }

// Georeferenced coordinates to fractions of the grid's extent and back. A degenerate extent has
// no fractions: the services that need them fail instead of storing infinities.
bool ToFraction(const TGridBlock& g, double x, double y, double& fx, double& fy)
{
    const double w = g.RightGeo - g.LeftGeo, h = g.BottomGeo - g.TopGeo;
    if (w == 0 || h == 0 || !std::isfinite(w) || !std::isfinite(h))
        return false;
    fx = (x - g.LeftGeo) / w;
    fy = (y - g.TopGeo) / h;
    return std::isfinite(fx) && std::isfinite(fy);
}

float GeoX(const TGridBlock& g, double fraction)
{
    return static_cast<float>(g.LeftGeo + (g.RightGeo - g.LeftGeo) * static_cast<float>(fraction));
}
float GeoY(const TGridBlock& g, double fraction)
{
    return static_cast<float>(g.TopGeo + (g.BottomGeo - g.TopGeo) * static_cast<float>(fraction));
}

bool InGrid(const TProject& p, int32_t x, int32_t y)
{
    return x >= 0 && y >= 0 && x < p.Grid.SizeX && y < p.Grid.SizeY && p.Grid.Cells.Columns() > x &&
           p.Grid.Cells.Rows() > y;
}

// Layers are named by index in the service records and by ID in the project.
bool LayerIndexValid(const TProject& p, int32_t layer) { return layer >= 0 && layer < Used(p.TerrainLayers); }
int32_t LayerIndexOfID(const TProject& p, int32_t id)
{
    for (int32_t i = 0; i < Used(p.TerrainLayers); ++i)
        if (p.TerrainLayers.Items[i].ID == id)
            return i;
    return -1;
}

// Runs a service body; every exception ends it with the failure value.
template <class R, class F>
R Guard(R failure, F&& body)
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}
template <class F>
void Guard(F&& body)
{
    try {
        body();
    } catch (...) {
    }
}

// ---- 0 .. 3: project information and camera -----------------------------------------------------

void GetProjectInfo(void*, PluginProjectInfo* record)
{
    Guard([&] {
        PluginProjectInfo* const info = &Rec(record);
        const TProject& p = Current();
        const TGridBlock& g = p.Grid;
        info->Columns = g.SizeX;
        info->Rows = g.SizeY;
        info->SpacingX = g.SpacingX;
        info->SpacingY = g.SpacingY;
        info->MaxHeight = g.MaxHeight;
        info->MinHeight = g.MinHeight;
        info->VerticalScale = g.VerticalScale;
        info->GeoX0 = g.LeftGeo;
        info->GeoY0 = g.TopGeo;
        info->GeoX1 = g.RightGeo;
        info->GeoY1 = g.BottomGeo;
        info->TerrainLayerCount = Used(p.TerrainLayers);
        info->PlantTypeCount = Used(p.Actors);
        info->RegionCount = Used(p.TerrainPolys);
        info->LineCount = Used(p.TerrainLines);
        info->ModelCount = Used(p.Models);
        PutText(info->PlantsDirectory, p.Actors.Directory);
        PutText(info->ModelsDirectory, p.Models.Directory);
    });
}

void SetProjectInfo(void*, PluginProjectInfo* record)
{
    Guard([&] {
        const PluginProjectInfo* const info = &Rec(record);
        TProject& p = Current();
        // A non-finite value would poison every later geometry query; it is not taken.
        auto take = [](double& field, double value) {
            if (std::isfinite(value))
                field = value;
        };
        take(p.Grid.VerticalScale, info->VerticalScale);
        take(p.Grid.LeftGeo, info->GeoX0);
        take(p.Grid.TopGeo, info->GeoY0);
        take(p.Grid.RightGeo, info->GeoX1);
        take(p.Grid.BottomGeo, info->GeoY1);
        p.Actors.Directory = GetText(info->PlantsDirectory);
        p.Models.Directory = GetText(info->ModelsDirectory);
        p.ShadowsOutOfDate = 1;
        markChanged();
    });
}

void GetCamera(void*, PluginCamera* record)
{
    Guard([&] {
        PluginCamera* const camera = &Rec(record);
        const TProject& p = Current();
        const TGeoPoint eye = p.WorldToGeo(p.Camera.Eye), target = p.WorldToGeo(p.Camera.Target);
        camera->Eye[0] = static_cast<float>(eye.X);
        camera->Eye[1] = static_cast<float>(eye.Y);
        camera->Eye[2] = static_cast<float>(eye.Z);
        camera->Target[0] = static_cast<float>(target.X);
        camera->Target[1] = static_cast<float>(target.Y);
        camera->Target[2] = static_cast<float>(target.Z);
        camera->Perspective = p.Camera.Perspective;
        camera->SunElevation = p.Lighting.LightAltitude;
        camera->SunAzimuth = p.Lighting.LightAzimuth;
    });
}

void SetCamera(void*, PluginCamera* record)
{
    Guard([&] {
        const PluginCamera* const camera = &Rec(record);
        TProject& p = Current();
        const TVector3 eye = p.GeoToWorld(TGeoPoint{camera->Eye[0], camera->Eye[1], camera->Eye[2]});
        const TVector3 target = p.GeoToWorld(TGeoPoint{camera->Target[0], camera->Target[1], camera->Target[2]});
        const double perspective = camera->Perspective, elevation = camera->SunElevation, azimuth = camera->SunAzimuth;
        // A camera with a value that is not a number (or no longer fits a single once in world
        // units) would leave every render and the camera editor without a view: not taken at all.
        for (double v : {double(eye.X), double(eye.Y), double(eye.Z), double(target.X), double(target.Y),
                         double(target.Z), perspective, elevation, azimuth})
            if (!std::isfinite(v))
                return;
        p.Camera.Eye = eye;
        p.Camera.Target = target;
        p.Camera.Perspective = perspective;
        p.Lighting.LightAltitude = elevation;
        p.Lighting.LightAzimuth = azimuth;
        p.ShadowsOutOfDate = 1; // the sun may have moved
        markChanged();
    });
}

// ---- 4 .. 10: the height grid ------------------------------------------------------------------

uint8_t NewHeightGrid(void*, int32_t columns, int32_t rows, float spacingX, float spacingY)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        TProject& p = Current();
        if (!p.NewGrid(columns, rows, spacingX, spacingY))
            return 0;
        p.ShadowsOutOfDate = 1;
        markChanged();
        return 1;
    });
}

double GetHeight(void*, int32_t x, int32_t y)
{
    return Guard<double>(-2147483647.0, [&] {
        const TProject& p = Current();
        return InGrid(p, x, y) ? p.Grid.Cells[x][y].Height : -2147483647.0;
    });
}

void SetHeight(void*, int32_t x, int32_t y, double height)
{
    Guard([&] {
        TProject& p = Current();
        if (!InGrid(p, x, y))
            return;
        p.Grid.Cells[x][y].Height = height;
        p.ShadowsOutOfDate = 1;
        markChanged();
    });
}

uint8_t GetCellFlag(void*, int32_t x, int32_t y)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        const TProject& p = Current();
        return InGrid(p, x, y) && p.Grid.Cells[x][y].Flooded == 1 ? 1 : 0;
    });
}

void SetCellFlag(void*, int32_t x, int32_t y, uint8_t flag)
{
    Guard([&] {
        TProject& p = Current();
        if (!InGrid(p, x, y))
            return;
        p.Grid.Cells[x][y].Flooded = Stored(flag);
        markChanged();
    });
}

bool GridCountMatches(const TProject& p, int32_t count, const float* buffer)
{
    // Both corners: the copy walks the declared size, which the cell array must hold.
    return buffer && InGrid(p, 0, 0) && InGrid(p, p.Grid.SizeX - 1, p.Grid.SizeY - 1) &&
           static_cast<int64_t>(count) == static_cast<int64_t>(p.Grid.SizeX) * p.Grid.SizeY;
}

uint8_t GetHeightGrid(void*, int32_t count, float* buffer)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        const TProject& p = Current();
        if (!GridCountMatches(p, count, buffer))
            return 0;
        const int32_t columns = p.Grid.SizeX;
        for (int32_t y = 0; y < p.Grid.SizeY; ++y)
            for (int32_t x = 0; x < columns; ++x)
                buffer[static_cast<size_t>(y) * columns + x] = static_cast<float>(p.Grid.Cells[x][y].Height);
        return 1;
    });
}

uint8_t SetHeightGrid(void*, int32_t count, float* buffer)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        TProject& p = Current();
        if (!GridCountMatches(p, count, buffer))
            return 0;
        const int32_t columns = p.Grid.SizeX;
        double lowest = buffer[0], highest = buffer[0];
        for (int32_t y = 0; y < p.Grid.SizeY; ++y)
            for (int32_t x = 0; x < columns; ++x) {
                const double h = buffer[static_cast<size_t>(y) * columns + x];
                p.Grid.Cells[x][y].Height = h;
                lowest = std::min(lowest, h);
                highest = std::max(highest, h);
            }
        p.Grid.MaxHeight = highest;
        p.Grid.MinHeight = lowest;
        p.ShadowsOutOfDate = 1;
        markChanged();
        return 1;
    });
}

// ---- 11 .. 19: layers, plant types, urban plans ------------------------------------------------

void CopyColour(float (&to)[4], const TFloatColor& c)
{
    to[0] = c.R;
    to[1] = c.G;
    to[2] = c.B;
    to[3] = c.A;
}
TFloatColor ColourOf(const float (&c)[4]) { return TFloatColor{c[0], c[1], c[2], c[3]}; }

void LayerToRecord(const TTerrainLayer& l, PluginTerrainLayer& r)
{
    r.ID = l.ID;
    r.OverrideDefaultColor = Bool8(l.OverrideDefaultColor);
    r.OverrideDefaultSurface = Bool8(l.OverrideDefaultSurface);
    r.DrawPlants = Bool8(l.DrawPlants);
    PutText(r.Name, l.Name);
    r.Visible = Bool8(l.Visible);
    r.MaterialCount = 1;
    for (PluginMaterialSlot& m : r.Materials) { // the layer has one material; every slot shows it
        CopyColour(m.PrimaryColor, l.LayerPrimary);
        CopyColour(m.SecondaryColor, l.LayerSecondary);
        m.Bumpiness = l.Bumpiness;
        m.Specularity = l.Specularity;
        m.Shininess = l.Shininess;
        m.Emission = l.Emission;
    }
    r.PlantCount = 4;
    for (int k = 0; k < 4; ++k) {
        r.Plants[k].PlantTypeID = l.Plants[k].TreeID;
        r.Plants[k].Size = l.Plants[k].TreeSize;
        r.Plants[k].Density = l.Plants[k].TreeDensity;
    }
    PutText(r.ModelSource, l.ModelSource);
    r.LineWidth = l.LineWidth;
    r.ModelHeight = l.ModelHeight;
    r.Rotation = l.Rotation;
    CopyColour(r.LandscapeColor, l.LandscapeColor);
    r.Edge = Bool8(l.Edge);
    r.DrawModels = Bool8(l.DrawModels);
    r.Urban = Bool8(l.Urban);
    r.UrbanPlan = l.UrbanPlan;
    r.LayerType = l.LayerType;
}

void RecordToLayer(const PluginTerrainLayer& r, TTerrainLayer& l)
{
    l.OverrideDefaultColor = Stored(r.OverrideDefaultColor);
    l.OverrideDefaultSurface = Stored(r.OverrideDefaultSurface);
    l.DrawPlants = Stored(r.DrawPlants);
    l.Name = GetText(r.Name);
    l.Visible = Stored(r.Visible);
    const PluginMaterialSlot& m = r.Materials[0];
    l.LayerPrimary = ColourOf(m.PrimaryColor);
    l.LayerSecondary = ColourOf(m.SecondaryColor);
    l.Bumpiness = m.Bumpiness;
    l.Specularity = m.Specularity;
    l.Shininess = m.Shininess;
    l.Emission = m.Emission;
    for (int k = 0; k < 4; ++k) {
        l.Plants[k].TreeID = r.Plants[k].PlantTypeID;
        l.Plants[k].TreeSize = r.Plants[k].Size;
        l.Plants[k].TreeDensity = r.Plants[k].Density;
    }
    l.ModelSource = GetText(r.ModelSource);
    l.LineWidth = r.LineWidth;
    l.ModelHeight = r.ModelHeight;
    l.Rotation = r.Rotation;
    l.LandscapeColor = ColourOf(r.LandscapeColor);
    l.Edge = Stored(r.Edge);
    l.DrawModels = Stored(r.DrawModels);
    l.Urban = Stored(r.Urban);
    l.UrbanPlan = r.UrbanPlan;
    l.LayerType = r.LayerType;
}

void ActorToRecord(const TActor& a, PluginPlantType& r)
{
    r.ID = a.ID;
    PutText(r.Name, a.Name);
    PutText(r.FarSource, a.FarActorSource);
    PutText(r.MidSource, a.MidActorSource);
    PutText(r.NearSource, a.NearActorSource);
}

void RecordToActor(const PluginPlantType& r, TActor& a)
{
    a.Name = GetText(r.Name);
    a.FarActorSource = GetText(r.FarSource);
    a.MidActorSource = GetText(r.MidSource);
    a.NearActorSource = GetText(r.NearSource);
}

void PlanToRecord(const TUrbanPlanDef& u, PluginUrbanPlan& r)
{
    r.ID = u.ID;
    PutText(r.Name, u.PlanName);
    r.XSize = u.PlanXSize;
    r.YSize = u.PlanYSize;
    r.HeightSize = u.PlanHeightSize;
    PutText(r.HeightSource, u.PlanHeightSource);
    PutText(r.WallColorSource, u.PlanWallColorSource);
    PutText(r.RoofColorSource, u.PlanRoofColorSource);
    r.Zone = u.PlanZone;
}

void RecordToPlan(const PluginUrbanPlan& r, TUrbanPlanDef& u)
{
    u.PlanName = GetText(r.Name);
    u.PlanXSize = r.XSize;
    u.PlanYSize = r.YSize;
    u.PlanHeightSize = r.HeightSize;
    u.PlanHeightSource = GetText(r.HeightSource);
    u.PlanWallColorSource = GetText(r.WallColorSource);
    u.PlanRoofColorSource = GetText(r.RoofColorSource);
    u.PlanZone = r.Zone;
}

// Get / Set / Add over one list of the project, the record conversions given.
template <class Block, class Record, class ToRecord>
uint8_t GetItem(Block TProject::*block, int32_t index, Record* rec, ToRecord toRecord)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        Record& out = Rec(rec);
        const Block& b = Current().*block;
        if (index < 0 || index >= Used(b))
            return 0;
        toRecord(b.Items[index], out);
        return 1;
    });
}

template <class Block, class Record, class FromRecord>
uint8_t SetItem(Block TProject::*block, int32_t index, const Record* rec, FromRecord fromRecord)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        const Record& in = Rec(rec);
        Block& b = Current().*block;
        if (index < 0 || index >= Used(b))
            return 0;
        fromRecord(in, b.Items[index]);
        markChanged();
        return 1;
    });
}

template <class Block, class Record, class FromRecord>
int32_t AddItem(Block TProject::*block, Record* rec, FromRecord fromRecord)
{
    return Guard<int32_t>(-1, [&]() -> int32_t {
        Record& io = Rec(rec);
        Block& b = Current().*block;
        const int32_t count = Used(b);
        if (count == INT32_MAX || b.NextID == INT32_MAX)
            return -1;
        typename decltype(b.Items)::value_type entry{};
        entry.ID = b.NextID;
        fromRecord(io, entry);
        b.Items.resize(static_cast<size_t>(count)); // drop entries beyond the count
        b.Items.push_back(std::move(entry));
        b.Count = count + 1;
        ++b.NextID;
        io.ID = b.Items.back().ID;
        markChanged();
        return count;
    });
}

uint8_t GetTerrainLayer(void*, int32_t index, PluginTerrainLayer* rec)
{
    return GetItem(&TProject::TerrainLayers, index, rec, LayerToRecord);
}
uint8_t SetTerrainLayer(void*, int32_t index, PluginTerrainLayer* rec)
{
    return SetItem(&TProject::TerrainLayers, index, rec, RecordToLayer);
}
int32_t AddTerrainLayer(void*, PluginTerrainLayer* rec) { return AddItem(&TProject::TerrainLayers, rec, RecordToLayer); }
uint8_t GetPlantType(void*, int32_t index, PluginPlantType* rec) { return GetItem(&TProject::Actors, index, rec, ActorToRecord); }
uint8_t SetPlantType(void*, int32_t index, PluginPlantType* rec) { return SetItem(&TProject::Actors, index, rec, RecordToActor); }
int32_t AddPlantType(void*, PluginPlantType* rec) { return AddItem(&TProject::Actors, rec, RecordToActor); }
uint8_t GetUrbanPlan(void*, int32_t index, PluginUrbanPlan* rec) { return GetItem(&TProject::Urban, index, rec, PlanToRecord); }
uint8_t SetUrbanPlan(void*, int32_t index, PluginUrbanPlan* rec) { return SetItem(&TProject::Urban, index, rec, RecordToPlan); }
int32_t AddUrbanPlan(void*, PluginUrbanPlan* rec) { return AddItem(&TProject::Urban, rec, RecordToPlan); }

// ---- 20 .. 30: regions, lines, models ----------------------------------------------------------

template <class Block>
uint8_t DeleteLayerItems(Block TProject::*block, int32_t layer)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        TProject& p = Current();
        if (!LayerIndexValid(p, layer))
            return 0;
        const int32_t id = p.TerrainLayers.Items[layer].ID;
        Block& b = p.*block;
        for (int32_t i = 0; i < Used(b); ++i)
            if (b.Items[i].TerrainLayerID == id && !b.Items[i].Deleted) {
                b.Items[i].Deleted = 1;
                markChanged();
            }
        return 1;
    });
}

uint8_t DeleteLayerRegions(void*, int32_t layer) { return DeleteLayerItems(&TProject::TerrainPolys, layer); }
uint8_t DeleteLayerLines(void*, int32_t layer) { return DeleteLayerItems(&TProject::TerrainLines, layer); }
uint8_t DeleteLayerModels(void*, int32_t layer) { return DeleteLayerItems(&TProject::Models, layer); }

template <class Block>
const TTerrainPoly* LivePoly(const TProject& p, Block TProject::*block, int32_t index)
{
    const Block& b = p.*block;
    if (index < 0 || index >= Used(b) || b.Items[index].Deleted)
        return nullptr;
    return &b.Items[index];
}

int32_t StoredPointCount(const TTerrainPoly& poly)
{
    return static_cast<int32_t>(std::clamp<int64_t>(poly.PointCount, 0, static_cast<int64_t>(poly.Points.size())));
}

template <class Block>
uint8_t GetPolyInfo(Block TProject::*block, int32_t index, PluginPolyInfo* record)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        PluginPolyInfo* const info = &Rec(record);
        const TProject& p = Current();
        const TTerrainPoly* poly = LivePoly(p, block, index);
        if (!poly)
            return 0;
        info->ID = poly->ID;
        info->Deleted = 0;
        info->Layer = LayerIndexOfID(p, poly->TerrainLayerID);
        info->PointCount = StoredPointCount(*poly);
        return 1;
    });
}

template <class Block>
uint8_t GetPolyPoints(Block TProject::*block, int32_t index, PluginPolyInfo* record)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        PluginPolyInfo* const info = &Rec(record);
        const TProject& p = Current();
        const TTerrainPoly* poly = LivePoly(p, block, index);
        const int32_t count = poly ? StoredPointCount(*poly) : 0;
        if (!poly || count > info->PointCount || (count > 0 && !info->Points))
            return 0;
        info->ID = poly->ID;
        for (int32_t i = 0; i < count; ++i) {
            info->Points[2 * i] = GeoX(p.Grid, poly->Points[i].X);
            info->Points[2 * i + 1] = GeoY(p.Grid, poly->Points[i].Y);
        }
        return 1;
    });
}

template <class Block>
uint8_t AddPoly(Block TProject::*block, int (TProject::*append)(int32_t), PluginPolyInfo* record)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        PluginPolyInfo* const info = &Rec(record);
        TProject& p = Current();
        if (!LayerIndexValid(p, info->Layer) || info->PointCount < 2 || !info->Points)
            return 0;
        std::vector<TMapPoint> points(static_cast<size_t>(info->PointCount));
        for (int32_t i = 0; i < info->PointCount; ++i) {
            double fx = 0, fy = 0;
            if (!ToFraction(p.Grid, info->Points[2 * i], info->Points[2 * i + 1], fx, fy))
                return 0;
            points[i] = TMapPoint{static_cast<float>(fx), static_cast<float>(fy)};
        }
        const int index = (p.*append)(info->Layer);
        if (index < 0)
            return 0;
        TTerrainPoly& entry = (p.*block).Items[index];
        entry.PointCount = info->PointCount;
        entry.Points = std::move(points);
        info->ID = entry.ID;
        markChanged();
        return 1;
    });
}

uint8_t GetRegionInfo(void*, int32_t index, PluginPolyInfo* info) { return GetPolyInfo(&TProject::TerrainPolys, index, info); }
uint8_t GetRegionPoints(void*, int32_t index, PluginPolyInfo* info) { return GetPolyPoints(&TProject::TerrainPolys, index, info); }
uint8_t AddRegion(void*, PluginPolyInfo* info) { return AddPoly(&TProject::TerrainPolys, &TProject::AppendLayerRegion, info); }
uint8_t GetLineInfo(void*, int32_t index, PluginPolyInfo* info) { return GetPolyInfo(&TProject::TerrainLines, index, info); }
uint8_t GetLinePoints(void*, int32_t index, PluginPolyInfo* info) { return GetPolyPoints(&TProject::TerrainLines, index, info); }
uint8_t AddLine(void*, PluginPolyInfo* info) { return AddPoly(&TProject::TerrainLines, &TProject::AppendLayerLine, info); }

uint8_t GetModel(void*, int32_t index, PluginModel* record)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        PluginModel* const rec = &Rec(record);
        const TProject& p = Current();
        if (index < 0 || index >= Used(p.Models) || p.Models.Items[index].Deleted)
            return 0;
        const TModelPlacement& m = p.Models.Items[index];
        rec->ID = m.ID;
        rec->Deleted = 0;
        rec->Layer = LayerIndexOfID(p, m.TerrainLayerID);
        rec->X = GeoX(p.Grid, m.Position.X);
        rec->Y = GeoY(p.Grid, m.Position.Z);
        rec->Size = static_cast<float>(m.Size);
        rec->Rotation = static_cast<float>(m.Rotation);
        return 1;
    });
}

uint8_t AddModel(void*, PluginModel* record)
{
    return Guard<uint8_t>(0, [&]() -> uint8_t {
        PluginModel* const rec = &Rec(record);
        TProject& p = Current();
        double fx = 0, fy = 0;
        if (!LayerIndexValid(p, rec->Layer) || !ToFraction(p.Grid, rec->X, rec->Y, fx, fy))
            return 0;
        const int index = p.AppendLayerModel(rec->Layer);
        if (index < 0)
            return 0;
        TModelPlacement& m = p.Models.Items[index];
        rec->ID = m.ID;
        m.Position = TVector3{static_cast<float>(fx), 0.0f, static_cast<float>(fy)};
        m.Size = rec->Size;
        m.Rotation = rec->Rotation;
        markChanged();
        return 1;
    });
}

// ---- 31 ----------------------------------------------------------------------------------------

void RefreshEditors(void*)
{
    Guard([] {
        TAppMessage message;
        message.Msg = WM_REFRESHALL;
        BroadcastToForms(message);
    });
}

template <class F>
void* Code(F* f)
{
    return reinterpret_cast<void*>(f);
}

} // namespace

void FillPluginHostTable(PluginHostTable& table, void* data)
{
    void* const codes[PluginServiceCount] = {
        Code(GetProjectInfo),    Code(SetProjectInfo),    Code(GetCamera),         Code(SetCamera),
        Code(NewHeightGrid),     Code(GetHeight),         Code(SetHeight),         Code(GetCellFlag),
        Code(SetCellFlag),       Code(GetHeightGrid),     Code(SetHeightGrid),     Code(GetTerrainLayer),
        Code(SetTerrainLayer),   Code(AddTerrainLayer),   Code(GetPlantType),      Code(SetPlantType),
        Code(AddPlantType),      Code(GetUrbanPlan),      Code(SetUrbanPlan),      Code(AddUrbanPlan),
        Code(DeleteLayerRegions), Code(DeleteLayerLines), Code(DeleteLayerModels), Code(GetRegionInfo),
        Code(GetRegionPoints),   Code(AddRegion),         Code(GetLineInfo),       Code(GetLinePoints),
        Code(AddLine),           Code(GetModel),          Code(AddModel),          Code(RefreshEditors),
    };
    for (int i = 0; i < PluginServiceCount; ++i)
        table.Entries[i] = PluginHostEntry{codes[i], data};
}

bool TakePluginProjectChanged()
{
    const bool changed = g_projectChanged;
    g_projectChanged = false;
    return changed;
}
