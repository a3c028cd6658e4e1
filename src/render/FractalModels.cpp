// Placed 3D models: each drawn on the fractal surface at its grid vertex with its terrain layer's
// model file, turned and scaled to its size, and its shadow darkening the texels around its foot.
#include "render/FractalRendererEngine.h"

#include "project/Project.h"
#include "render/ML3DS.h"

#include <algorithm>
#include <cmath>
#include <string>

void TML3DSDeleter::operator()(TML3DS* models) const { delete models; }

namespace {

constexpr double kDegrees = M_PI / 180.0;

// The first terrain layer not marked deleted with this ID, or nullptr.
const TTerrainLayer* LayerOf(const TProject& p, int32_t id)
{
    for (const TTerrainLayer& l : p.TerrainLayers.Items)
        if (l.ID == id && !l.Deleted)
            return &l;
    return nullptr;
}

std::string ModelPath(const TProject& p, const TTerrainLayer& layer)
{
    const std::string& dir = p.Models.Directory;
    if (dir.empty())
        return layer.ModelSource;
    const char last = dir.back();
    return (last == '/' || last == '\\') ? dir + layer.ModelSource : dir + "/" + layer.ModelSource;
}

// The grid vertex under a placement; false when its position lies outside the grid. A position
// of exactly 1 stands on the last vertex.
bool PlacementVertex(const TProject& p, const TModelPlacement& m, int32_t& column, int32_t& row)
{
    const int32_t sx = p.Grid.SizeX, sy = p.Grid.SizeY;
    const double fx = m.Position.X, fz = m.Position.Z;
    if (sx < 1 || sy < 1 || !(p.WorldScale > 0) || !(fx >= 0 && fx <= 1) || !(fz >= 0 && fz <= 1))
        return false;
    column = std::min(static_cast<int32_t>(std::trunc(sx * fx)), sx - 1);
    row = std::min(static_cast<int32_t>(std::trunc(sy * fz)), sy - 1);
    return true;
}

// The placement's foot in render units (x, z).
void PlacementFoot(const TProject& p, const TModelPlacement& m, double& x, double& z)
{
    const double sx = p.Grid.SizeX, sy = p.Grid.SizeY;
    x = (sx * m.Position.X - sx / 2.0) * p.Grid.SpacingX / p.WorldScale;
    z = (sy * m.Position.Z - sy / 2.0) * p.Grid.SpacingY / p.WorldScale;
}

} // namespace

TML3DS& TFractalRenderEngine::Models3DS()
{
    if (!ModelCache)
        ModelCache.reset(new TML3DS());
    return *ModelCache;
}

void TFractalRenderEngine::PrepareModels()
{
    TProject& p = Project();
    ModelShadows.clear();
    if (p.Fractal.DrawNoModels != 0)
        return;
    TML3DS& models = Models3DS();
    models.Project = ProjectVar();
    const std::size_t layers = p.TerrainLayers.Items.size();
    // The status counts the models to load (the layers that carry one), not every terrain layer.
    const auto carriesModel = [](const TTerrainLayer& l) { return !l.Deleted && l.DrawModels && !l.ModelSource.empty(); };
    const auto models3ds = std::count_if(p.TerrainLayers.Items.begin(), p.TerrainLayers.Items.end(), carriesModel);
    int loaded = 0;
    // Whether each layer's model can be drawn at all: only those cast shadows.
    std::vector<uint8_t> drawable(layers, 0);
    for (std::size_t i = 0; i < layers && !Aborted; ++i) {
        TTerrainLayer& layer = p.TerrainLayers.Items[i];
        layer.ModelAspect = 1.0;
        if (!carriesModel(layer))
            continue;
        SetSubStatusText("Initializing Model " + std::to_string(++loaded) + " of " + std::to_string(models3ds));
        try {
            models.LoadFromFile(ModelPath(p, layer));
            models.ComputeBoundingBox();
            const double height = std::fabs(double(models.MaxY) - double(models.MinY));
            const double aspect = (std::fabs(double(models.MaxX) - double(models.MinX)) +
                                   std::fabs(double(models.MaxZ) - double(models.MinZ))) /
                                  (height * 2.0);
            if (height > 0 && std::isfinite(aspect))
                layer.ModelAspect = aspect;
            models.Build();
            drawable[i] = !models.Meshes().empty() && height > 0;
        } catch (...) {
            // A model file that cannot be read or built is not drawn; the render goes on.
        }
    }

    // The shadow ellipses, once per render: the texel test then only compares distances.
    const double altitude = p.Lighting.LightAltitude, azimuth = p.Lighting.LightAzimuth;
    const double worldScale = p.WorldScale;
    for (const TModelPlacement& m : p.Models.Items) {
        if (m.Deleted)
            continue;
        const TTerrainLayer* layer = LayerOf(p, m.TerrainLayerID);
        if (!layer || !layer->DrawModels || !drawable[std::size_t(layer - p.TerrainLayers.Items.data())])
            continue;
        int32_t column, row;
        if (!PlacementVertex(p, m, column, row))
            continue;
        TModelShadow s;
        PlacementFoot(p, m, s.PX, s.PZ);
        const double h = m.Size * p.Grid.VerticalScale / worldScale;
        double length = h;
        if (altitude < 90)
            length = FractalTables::ShadowReach(h, altitude);
        s.TX = s.PX + std::cos((azimuth + 90.0) * kDegrees) * length;
        s.TZ = s.PZ + std::sin((azimuth + 90.0) * kDegrees) * length;
        const double w = 0.6 * h * layer->ModelAspect;
        const double dx = s.PX - s.TX, dz = s.PZ - s.TZ;
        s.D = std::sqrt(w * w + dx * dx + dz * dz);
        // A model of no size casts no shadow (and does not stop the others from casting theirs).
        if (!(s.D > 0) || !std::isfinite(s.D))
            continue;
        const double cx = (s.PX + s.TX) / 2.0, cz = (s.PZ + s.TZ) / 2.0, r = s.D / 2.0;
        s.MinX = cx - r, s.MaxX = cx + r, s.MinZ = cz - r, s.MaxZ = cz + r;
        ModelShadows.push_back(s);
    }
}

bool TFractalRenderEngine::HasModelShadows() const
{
    TProject** var = ProjectVar();
    return !ModelShadows.empty() && var && *var && (*var)->Fractal.DrawNoModels == 0;
}

void TFractalRenderEngine::ModelShadowsOnTexel(double x, double z, double& lightFactor) const
{
    for (const TModelShadow& s : ModelShadows) {
        if (x < s.MinX || x > s.MaxX || z < s.MinZ || z > s.MaxZ)
            continue;
        const double ax = x - s.PX, az = z - s.PZ, bx = x - s.TX, bz = z - s.TZ;
        const double sum = std::sqrt(ax * ax + az * az) + std::sqrt(bx * bx + bz * bz);
        if (sum <= s.D) {
            lightFactor -= std::min(1.0, (1.75 * s.D - sum) / s.D);
            if (lightFactor < 0)
                lightFactor = 0;
        }
    }
}

void TFractalRenderEngine::DrawModels()
{
    TProject& p = Project();
    if (p.Fractal.DrawNoModels != 0)
        return;
    SetStatusText("Drawing models");
    const std::size_t count = p.Models.Items.size();
    for (std::size_t i = 0; i < count && !Aborted; ++i) {
        SetSubStatusText("Model " + std::to_string(i + 1) + " of " + std::to_string(count));
        // The pump above may have run anything: look the placement up again.
        if (i < p.Models.Items.size() && !p.Models.Items[i].Deleted)
            DrawModelInstance(static_cast<int>(i));
    }
}

void TFractalRenderEngine::DrawModelInstance(int index)
{
    TProject& p = Project();
    if (index < 0 || std::size_t(index) >= p.Models.Items.size())
        return;
    const TModelPlacement& m = p.Models.Items[std::size_t(index)];
    TML3DS& models = Models3DS();
    models.Project = ProjectVar();
    const TTerrainLayer* layer = LayerOf(p, m.TerrainLayerID);
    if (!layer || !layer->DrawModels || layer->ModelSource.empty())
        return;
    int32_t column, row;
    if (!PlacementVertex(p, m, column, row))
        return;
    try {
        models.LoadFromFile(ModelPath(p, *layer));
    } catch (...) {
        return; // an unreadable model file draws nothing; the other placements still draw
    }
    const TGridCell& cell = p.Grid.Cells[column][row];
    double x, z;
    PlacementFoot(p, m, x, z);
    const TVector3 position{static_cast<float>(x), cell.SurfaceHeight, static_cast<float>(z)};
    const double light = cell.InShadow ? std::max(0.0, 1.0 - p.Atmosphere.ShadowDepth) : 1.0;
    const double size = m.Size * p.Grid.VerticalScale / p.WorldScale;
    models.RenderModelAt(*this, position, m.Rotation, size, light);
}
