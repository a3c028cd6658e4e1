// Plants and buildings per cell: each sub-quad asks the terrain-layer map what stands on it (the
// layer's own four plant slots, the ecology rules, or an urban plan), gathers plants for the cell,
// lets them shade the texels, and draws them after the cell's textures.
#include "render/FractalRendererEngine.h"

#include "project/Project.h"
#include "project/atmos32.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>

namespace {

constexpr double kDegrees = M_PI / 180.0;

template <typename Block>
int UsedCount(const Block& block)
{
    return std::clamp<int>(block.Count, 0, static_cast<int>(block.Items.size()));
}

double Positive(double v, double fallback) { return std::isfinite(v) && v > 0 ? v : fallback; }

// Map pixel of a render coordinate over a grid of half extent `half`: clamped into the map.
int MapIndex(double coord, double half, int size)
{
    if (size <= 0) return -1;
    if (!(half > 0) || !std::isfinite(half)) return 0;
    const double f = (coord + half) / (2 * half) * size;
    if (!(f > 0)) return 0; // NaN included
    if (f >= size) return size - 1;
    return std::min(FloorToInt(static_cast<float>(f)), size - 1);
}

std::string WithoutLsExtension(const std::string& name)
{
    const std::size_t n = name.size();
    if (n >= 3 && name[n - 3] == '.' && std::tolower(static_cast<unsigned char>(name[n - 2])) == 'l' &&
        std::tolower(static_cast<unsigned char>(name[n - 1])) == 's')
        return name.substr(0, n - 3);
    return name;
}

// Directory + name; an empty name stays empty (no file).
std::string InDirectory(const std::string& directory, const std::string& name)
{
    if (name.empty()) return {};
    if (directory.empty() || directory.back() == '/' || directory.back() == '\\') return directory + name;
    return directory + "/" + name;
}

// The haze between the eye and point, as the atmosphere applies it to a colour there.
void HazeAt(const TVector3& eye, const TVector3& point, TVector3& colour, TVector3& amount)
{
    AtmosphereParams.LastHazeColour = {};
    AtmosphereParams.LastHazeOpacity = {};
    TFloatRGB scratch;
    AtmosphereColour(eye, point, false, scratch);
    const TFloatRGB& c = AtmosphereParams.LastHazeColour;
    const TFloatRGB& a = AtmosphereParams.LastHazeOpacity;
    // Whatever the atmosphere settings, a plant gets a usable blend.
    const auto clean = [](float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f; };
    colour = MakeVector3(clean(c.R), clean(c.G), clean(c.B));
    amount = MakeVector3(clean(a.R), clean(a.G), clean(a.B));
}

// Area of a sub-quad in 10000 square world units, from its corners 0 and 2.
double SubQuadArea(const TCellGeometry& q, double worldScale)
{
    const double w = std::fabs(double(q.Corners[2].X) - q.Corners[0].X) * worldScale;
    const double d = std::fabs(double(q.Corners[2].Z) - q.Corners[0].Z) * worldScale;
    const double area = w * d / 10000.0;
    return std::isfinite(area) ? area : 0.0;
}

} // namespace

void TFractalRenderEngine::ResetVegetation()
{
    Plants.clear();
    PlantBatch.Vertices.clear();
    PlantBatch.Colours.clear();
    CellPlants.clear();
    PlantShadows.clear();
    ++PlantShadowVersion;
    UrbanPlans.clear();
}

void TFractalRenderEngine::PrepareVegetation()
{
    ResetVegetation();
    PlantShapes.ForgetChangedFiles(); // a plant file edited since the last render grows anew
    TProject& p = Project();
    const int actors = UsedCount(p.Actors);
    for (int i = 0; i < actors; ++i) {
        const TActor& actor = p.Actors.Items[i];
        auto plant = std::make_unique<TPlant>();
        plant->SetProject(ProjectVar());
        plant->SetShapeCache(&PlantShapes);
        plant->FarFile = InDirectory(p.Actors.Directory, WithoutLsExtension(actor.FarActorSource));
        plant->MidFile = InDirectory(p.Actors.Directory, WithoutLsExtension(actor.MidActorSource));
        plant->NearFile = InDirectory(p.Actors.Directory, WithoutLsExtension(actor.NearActorSource));
        Plants.push_back(std::move(plant));
    }
    const int plans = UsedCount(p.Urban);
    for (int i = 0; i < plans; ++i) {
        const TUrbanPlanDef& def = p.Urban.Items[i];
        auto plan = std::make_unique<TUrbanPlan>();
        plan->SetProject(ProjectVar());
        plan->HeightFile = InDirectory(p.Models.Directory, def.PlanHeightSource);
        plan->WallColourFile = InDirectory(p.Models.Directory, def.PlanWallColorSource);
        plan->RoofColourFile = InDirectory(p.Models.Directory, def.PlanRoofColorSource);
        plan->SetPlanArea(def.PlanXSize, def.PlanYSize);
        plan->SetPlanHeightScale(def.PlanHeightSize);
        plan->BuildingType = def.PlanZone;
        plan->DetailLevel = FractalTables::ClampFractalDepth(p.Fractal.FractalDepth);
        plan->LoadPlanBitmaps();
        UrbanPlans.push_back(std::move(plan));
    }
}

int TFractalRenderEngine::LayerUnder(double x, double z) const
{
    const TProject& p = Project();
    const double ws = Positive(p.WorldScale, 1.0);
    const double halfX = p.Grid.SizeX / 2.0 * p.Grid.SpacingX / ws;
    const double halfZ = p.Grid.SizeY / 2.0 * p.Grid.SpacingY / ws;
    uint8_t edge = 0;
    const int32_t layer = p.TerrainLayerAt(MapIndex(x, halfX, p.LayerBitmap.width()),
                                           MapIndex(z, halfZ, p.LayerBitmap.height()), edge);
    if (layer < 0 || layer >= UsedCount(p.TerrainLayers) || p.TerrainLayers.Items[layer].Deleted) return -1;
    return layer;
}

void TFractalRenderEngine::DrawCellEcology(const TCellGeometry& q)
{
    const TProject& p = Project();
    if (p.Fractal.DrawNoModels) return;
    const bool wanted = q.Visible || q.NearCamera;
    const int layer = LayerUnder(q.Corners[0].X, q.Corners[0].Z);
    if (layer >= 0 && q.CornerWaterEdge[0] != 1 && p.TerrainLayers.Items[layer].DrawPlants) {
        if (wanted) DrawLayerPlants(q, layer);
        return;
    }
    if (q.CornerFlooded[0] == 0 && q.CornerWaterEdge[0] != 1 && wanted) DrawEcologyPlants(q);
}

namespace {
// Plants for an expected count: its whole part, and one more with the probability of its fraction
// (one draw). Never more than the limit, whatever the density.
int PlantCount(double expected, int limit)
{
    const double fraction = RandomReal();
    if (!(expected > 0)) return 0;
    expected = std::min(expected, double(limit));
    int count = static_cast<int>(std::trunc(expected));
    if (expected - count > fraction) ++count;
    return std::min(count, limit);
}
} // namespace

void TFractalRenderEngine::DrawLayerPlants(const TCellGeometry& q, int layerIndex)
{
    const TProject& p = Project();
    const TTerrainLayer& layer = p.TerrainLayers.Items[layerIndex];
    const double area = SubQuadArea(q, Positive(p.WorldScale, 1.0));
    // The same sub-quad always grows the same plants.
    SetRandSeed(static_cast<uint32_t>(
        static_cast<int64_t>(std::trunc(TableNoise(q.Corners[0].Y, q.Corners[2].Y) * 2147483647.0))));
    double cum[4];
    double total = 0;
    for (int k = 0; k < 4; ++k) cum[k] = total += layer.Plants[k].TreeDensity;
    const int room = MaxPlantsPerCell - static_cast<int>(CellPlants.size());
    const int count = PlantCount(area * total, std::clamp(room, 0, MaxPlantsPerSubQuad));
    for (int i = 0; i < count; ++i) {
        const double u = RandomReal() * 3.0 - 1.5;
        const double v = RandomReal() * 3.0 - 1.5;
        const double r = RandomReal() * total;
        int slot = 0;
        for (int k = 0; k < 4; ++k)
            if (r < cum[k]) {
                slot = k;
                break;
            }
        AddPlantPlacement(q, u, v, layerIndex, slot);
    }
}

void TFractalRenderEngine::DrawEcologyPlants(const TCellGeometry& q)
{
    const TProject& p = Project();
    const double vs = p.Grid.VerticalScale != 0 && std::isfinite(p.Grid.VerticalScale) ? p.Grid.VerticalScale : 1.0;
    const double h = q.Corners[0].Y / vs * p.WorldScale;
    const double s = q.MeanNormal.Y, t = q.MeanNormal.Z;
    const double area = SubQuadArea(q, Positive(p.WorldScale, 1.0));
    const auto width = [](double half) { return half == 0 ? 0.01 : half; };
    const int layers = UsedCount(p.TerrainLayers);
    for (int i = 0; i < layers; ++i) {
        const TTerrainLayer& layer = p.TerrainLayers.Items[i];
        if (layer.Deleted || layer.LayerType != ltEcology || !layer.DrawPlants) continue;
        const int ruleIndex = p.FindEcologyRule(layer.ID);
        if (ruleIndex < 0) continue;
        const TEcologyRule& rule = p.Ecology.Items[ruleIndex];
        const double altRange = p.Grid.MaxHeight - p.Grid.MinHeight;
        const double altCentre = altRange * rule.Altitude + p.Grid.MinHeight;
        const double altHalf = altRange * rule.AltTolerance;
        const double slopeRange = p.Grid.MaxNormalY - p.Grid.MinNormalY;
        const double slopeCentre = slopeRange * rule.Slope + p.Grid.MinNormalY;
        const double slopeHalf = slopeRange * rule.SlopeTolerance;
        const double a = (rule.Aspect - 0.5) * 2.0;
        const double low = std::max(a - rule.AspectTolerance, -1.0), high = std::min(a + rule.AspectTolerance, 1.0);
        if (!(h >= altCentre - altHalf && h <= altCentre + altHalf)) continue;
        if (!(s >= slopeCentre - slopeHalf && s <= slopeCentre + slopeHalf)) continue;
        if (!(t >= low && t <= high)) continue;
        const double wa = 1 - std::pow((altCentre - h) / width(altHalf), 2);
        const double ws = 1 - std::pow((slopeCentre - s) / width(slopeHalf), 2);
        const double wt = 1 - std::pow((a - t) / 2.0, 2);
        const double w = std::clamp(wa * ws * wt, 0.0, 1.0);
        const int room = MaxPlantsPerCell - static_cast<int>(CellPlants.size());
        const int count = PlantCount(rule.TreeDensity * area * w, std::clamp(room, 0, MaxPlantsPerSubQuad));
        for (int k = 0; k < count; ++k) {
            const double u = RandomReal() * 3.0 - 1.5;
            const double v = RandomReal() * 3.0 - 1.5;
            AddEcologyPlant(q, u, v, ruleIndex);
        }
    }
}

namespace {
// Shadow offset of a plant of this size, the sun's altitude measured from the vertical: the reach
// of half its size, held near the horizon as the placed models' shadows are; a sun at or below the
// horizon gives the plant's size.
double ShadowLength(double size, double altitude)
{
    if (!std::isfinite(altitude)) return 0;
    if (altitude >= 90) return size;
    if (altitude <= 0) return 0;
    return FractalTables::ShadowReach(size / 2, altitude);
}
} // namespace

void TFractalRenderEngine::AddPlantPlacement(const TCellGeometry& q, double u, double v, int layer, int slot)
{
    AddPlant(q, u, v, Project().TerrainLayers.Items[layer].Plants[std::clamp(slot, 0, 3)]);
}

void TFractalRenderEngine::AddEcologyPlant(const TCellGeometry& q, double u, double v, int rule)
{
    AddPlant(q, u, v, Project().Ecology.Items[rule]);
}

void TFractalRenderEngine::AddPlant(const TCellGeometry& q, double u, double v, const TEcologyRule& rule)
{
    const TProject& p = Project();
    const double sizeFactor = 0.8 + 0.4 * RandomReal();
    TCellPlant entry;
    entry.U = u;
    entry.V = v;
    const int actors = UsedCount(p.Actors);
    for (int i = 0; i < actors; ++i)
        if (p.Actors.Items[i].ID == rule.TreeID) {
            entry.PlantIndex = i;
            break;
        }
    if (static_cast<int>(CellPlants.size()) >= MaxPlantsPerCell) return;
    if (entry.PlantIndex < 0) { // names no plant type: an empty entry, never drawn
        CellPlants.push_back(entry);
        return;
    }
    const TVector3& c0 = q.Corners[0];
    const TVector3& c2 = q.Corners[2];
    entry.X = float(c0.X + std::fabs(double(c0.X) - c2.X) * u);
    entry.Z = float(c0.Z + std::fabs(double(c0.Z) - c2.Z) * v);
    entry.Y = q.Centre.Y;
    const double size = rule.TreeSize * sizeFactor * p.Grid.VerticalScale / Positive(p.WorldScale, 1.0);
    entry.Size = std::isfinite(size) && size > 0 ? size : 0.0;
    entry.Normal = q.MeanNormal;
    entry.LightFactor = q.MeanLight;
    const TVector3 position = MakeVector3(entry.X, entry.Y, entry.Z);
    ShadeDiffuse({1, 1, 1}, position, q.MeanNormal, 0, 0, q.MeanLight, entry.LitColour);
    HazeAt(p.GetCameraPosition(), position, entry.HazeColour, entry.HazeAmount);
    const double len = ShadowLength(entry.Size, p.Lighting.LightAltitude);
    const double az = (p.Lighting.LightAzimuth + 90) * kDegrees;
    entry.ShadowX = entry.X + std::cos(az) * len;
    entry.ShadowZ = entry.Z + std::sin(az) * len;
    CellPlants.push_back(entry);
    if (entry.Size > 0 && std::isfinite(entry.ShadowX) && std::isfinite(entry.ShadowZ)) {
        const double r = entry.Size / 1.5;
        if (PlantShadows.empty()) {
            PlantShadowBox[0] = PlantShadowBox[2] = entry.ShadowX;
            PlantShadowBox[1] = PlantShadowBox[3] = entry.ShadowZ;
            PlantShadowFactor = 1 - std::clamp(p.Atmosphere.ShadowDepth, 0.0, 1.0);
        }
        PlantShadowBox[0] = std::min(PlantShadowBox[0], entry.ShadowX - r);
        PlantShadowBox[1] = std::min(PlantShadowBox[1], entry.ShadowZ - r);
        PlantShadowBox[2] = std::max(PlantShadowBox[2], entry.ShadowX + r);
        PlantShadowBox[3] = std::max(PlantShadowBox[3], entry.ShadowZ + r);
        PlantShadows.push_back({entry.ShadowX, entry.ShadowZ, r * r});
        ++PlantShadowVersion;
    }
}


void TFractalRenderEngine::DrawCellPlants()
{
    // The plants are batched in the order they were gathered, the picture of drawing them one by
    // one. Each plant that picks a file takes one draw of the shared generator (its shape's seed),
    // in that order, after the cell's sub-quads were gathered: the sequence the terrain continues
    // with does not depend on how the plants are drawn.
    // A cell may hold thousands of plants, each grown anew: messages run between them as between
    // cells (nothing is drawn for them, so the commands stay the same), and once the render is
    // aborted the rest of them are left out.
    const int plants = static_cast<int>(Plants.size());
    for (const TCellPlant& entry : CellPlants) {
        if (Aborted)
            break;
        if (!(entry.Size > 0) || entry.PlantIndex < 0 || entry.PlantIndex >= plants || !Plants[entry.PlantIndex])
            continue;
        TPlant& plant = *Plants[entry.PlantIndex];
        const TVector3 position = MakeVector3(entry.X, entry.Y, entry.Z);
        try {
            plant.VaryPlantColor(entry.PlantIndex, position);
            plant.AddPlant(PlantBatch, position, entry.HazeColour, entry.HazeAmount, entry.LightFactor, entry.Size);
            ++PlantsDrawn;
            if (PlantBatch.Full())
                PlantBatch.Draw();
        } catch (const std::exception&) {
            // One plant that cannot be drawn is left out; the landscape goes on.
        }
        PumpWithinLine();
    }
    try {
        PlantBatch.Draw();
    } catch (const std::exception&) {
        // Nothing to draw with: the plants are dropped, the landscape goes on.
        PlantBatch.Vertices.clear();
        PlantBatch.Colours.clear();
    }
    CellPlants.clear();
    PlantShadows.clear();
    ++PlantShadowVersion;
}

namespace {
// Bucket of a coordinate along one side of the shadow box.
int ShadowBucket(double v, double low, double high, int buckets)
{
    const double f = high > low ? (v - low) / (high - low) * buckets : 0.0;
    return f > 0 ? std::min(static_cast<int>(f), buckets - 1) : 0;
}

// The lookup both the live shadows and their copies use.
void ApplyPlantShadows(const TPlantShadow* discs, const double* box, double factor, const int32_t* offsets,
                       const int32_t* indices, double x, double z, double& lightFactor)
{
    if (x < box[0] || z < box[1] || x > box[2] || z > box[3])
        return;
    constexpr int n = TFractalRenderEngine::PlantShadowBuckets;
    const int bucket = ShadowBucket(z, box[1], box[3], n) * n + ShadowBucket(x, box[0], box[2], n);
    for (int32_t i = offsets[bucket]; i < offsets[bucket + 1]; ++i) {
        const TPlantShadow& s = discs[indices[i]];
        const double dx = x - s.X, dz = z - s.Z;
        if (dx * dx + dz * dz <= s.RadiusSquared) {
            lightFactor *= factor; // overlapping shadows darken once
            return;
        }
    }
}
} // namespace

void TPlantShadowView::Apply(double x, double z, double& lightFactor) const
{
    if (Count == 0)
        return;
    ApplyPlantShadows(Discs, Box, Factor, Offsets, Indices, x, z, lightFactor);
}

TPlantShadowView TFractalRenderEngine::LivePlantShadows() const
{
    BuildPlantShadowGrid();
    return {PlantShadows.data(), PlantShadows.size(), PlantShadowBox, PlantShadowFactor, PlantShadowOffsets.data(),
            PlantShadowIndices.data()};
}

void TFractalRenderEngine::BuildPlantShadowGrid() const
{
    if (PlantShadowGridVersion == PlantShadowVersion)
        return;
    // Counting sort of the discs into every bucket their square overlaps; the vectors keep their
    // capacity from cell to cell.
    constexpr int n = PlantShadowBuckets;
    const double* box = PlantShadowBox;
    PlantShadowOffsets.assign(n * n + 1, 0);
    const auto span = [&](const TPlantShadow& s, int& x0, int& x1, int& z0, int& z1) {
        const double r = std::sqrt(s.RadiusSquared);
        x0 = ShadowBucket(s.X - r, box[0], box[2], n), x1 = ShadowBucket(s.X + r, box[0], box[2], n);
        z0 = ShadowBucket(s.Z - r, box[1], box[3], n), z1 = ShadowBucket(s.Z + r, box[1], box[3], n);
    };
    for (const TPlantShadow& s : PlantShadows) {
        int x0, x1, z0, z1;
        span(s, x0, x1, z0, z1);
        for (int bz = z0; bz <= z1; ++bz)
            for (int bx = x0; bx <= x1; ++bx) ++PlantShadowOffsets[bz * n + bx + 1];
    }
    for (int i = 0; i < n * n; ++i) PlantShadowOffsets[i + 1] += PlantShadowOffsets[i];
    PlantShadowIndices.resize(PlantShadowOffsets[n * n]);
    std::vector<int32_t>& fill = PlantShadowIndices;
    std::vector<int32_t>& next = PlantShadowNext;
    next.assign(PlantShadowOffsets.begin(), PlantShadowOffsets.end() - 1);
    for (int32_t k = 0; k < static_cast<int32_t>(PlantShadows.size()); ++k) {
        int x0, x1, z0, z1;
        span(PlantShadows[k], x0, x1, z0, z1);
        for (int bz = z0; bz <= z1; ++bz)
            for (int bx = x0; bx <= x1; ++bx) fill[next[bz * n + bx]++] = k;
    }
    PlantShadowGridVersion = PlantShadowVersion;
}

void TFractalRenderEngine::PlantShadowsOnTexel(double x, double z, double& lightFactor) const
{
    if (!PlantShadows.empty())
        LivePlantShadows().Apply(x, z, lightFactor);
}

bool TFractalRenderEngine::HasPlantShadows() const { return !PlantShadows.empty(); }

void TFractalRenderEngine::DrawCellUrbanAt(const TCellGeometry& cell)
{
    const TProject& p = Project();
    if (p.Fractal.DrawNoModels || UrbanDrawn != 0) return;
    const int layer = LayerUnder(cell.Corners[0].X, cell.Corners[0].Z);
    if (layer < 0 || !p.TerrainLayers.Items[layer].Urban || !cell.Visible) return;
    if (cell.CornerFlooded[0] == 1 || cell.CornerWaterEdge[0] == 1) return;
    DrawCellUrban(cell, layer);
}

void TFractalRenderEngine::DrawCellUrban(const TCellGeometry& cell, int layer)
{
    const TProject& p = Project();
    if (p.Fractal.DrawNoModels) return;
    const int32_t planID = p.TerrainLayers.Items[layer].UrbanPlan;
    const int plans = std::min(UsedCount(p.Urban), static_cast<int>(UrbanPlans.size()));
    int index = -1;
    for (int i = 0; i < plans; ++i)
        if (p.Urban.Items[i].ID == planID) {
            index = i;
            break;
        }
    if (index < 0 || !UrbanPlans[index] || !UrbanPlans[index]->Loaded) return;
    const TVector3& c0 = cell.Corners[0];
    const TVector3& c2 = cell.Corners[2];
    const TUrbanArea area{{c0.X, c0.Z}, {c2.X, c2.Z}};
    double roughness = 0;
    const double base =
        c0.Y + DisplacementAt(cell, (double(c0.X) + c2.X) / 2, (double(c0.Z) + c2.Z) / 2, false, roughness);
    const double fraction = base - std::trunc(base);
    const int32_t seed = std::isfinite(fraction) ? static_cast<int32_t>(std::trunc(fraction * 1000.0)) : 0;
    TVector3 hazeColour, hazeAmount;
    HazeAt(p.GetCameraPosition(),
           MakeVector3(float((double(c0.X) + c2.X) / 2), float(base), float((double(c0.Z) + c2.Z) / 2)), hazeColour,
           hazeAmount);
    try {
        UrbanPlans[index]->DrawUrbanPlan(area, seed, hazeColour, hazeAmount, cell.MeanLight, base);
    } catch (const std::exception&) {
        // A building that cannot be drawn is left out; the landscape goes on.
    }
    ++UrbanDrawn;
}
