// Grid and world geometry queries of TProject: frame conversions, the drawing record of a cell and
// the displacement roughness. Called per cell and per texel by the renderers: no allocation.
#include "project/Project.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The world scale as a divisor: an empty grid has scale 0, which would turn every position into
// infinities.
double ScaleDivisor(const TProject& p)
{
    const double ws = p.WorldScale;
    return (ws != 0 && std::isfinite(ws)) ? ws : 1.0;
}

// a / b, or 0 for a zero divisor (degenerate edges and spacings map onto their origin).
double Quotient(double a, double b) { return b != 0 ? a / b : 0.0; }

// Vertices that both the descriptor and the cell array know.
int VertexColumns(const TProject& p) { return std::min(p.Grid.SizeX, p.Grid.Cells.Columns()); }
int VertexRows(const TProject& p) { return std::min(p.Grid.SizeY, p.Grid.Cells.Rows()); }

TVector3 RenderPosition(const TProject& p, int c, int r, double ws)
{
    const TGridBlock& g = p.Grid;
    return {float((c - g.SizeX / 2.0) * g.SpacingX / ws), float(g.Cells[c][r].Height * g.VerticalScale / ws),
            float((r - g.SizeY / 2.0) * g.SpacingY / ws)};
}

THalfExtents ComputeHalfExtents(const TProject& p)
{
    const double ws = ScaleDivisor(p);
    return {p.Grid.SizeX / 2.0 * p.Grid.SpacingX / ws, p.Grid.SizeY / 2.0 * p.Grid.SpacingY / ws};
}

int UsedLayers(const TProject& p)
{
    return std::clamp<int>(p.TerrainLayers.Count, 0, static_cast<int>(p.TerrainLayers.Items.size()));
}

int UsedSurfaces(const TProject& p)
{
    return std::clamp<int>(p.Fractal.TerrainSurfaceCount, 0, static_cast<int>(p.Fractal.TerrainSurfaces.size()));
}

// Nearest integer (halves to even) of a value known to be finite and small.
int NearestInt(double v) { return static_cast<int>(std::nearbyint(v)); }

} // namespace

TVector3 AverageOfFour(const TVector3& a, const TVector3& b, const TVector3& c, const TVector3& d)
{
    return {float((double(a.X) + b.X + c.X + d.X) / 4), float((double(a.Y) + b.Y + c.Y + d.Y) / 4),
            float((double(a.Z) + b.Z + c.Z + d.Z) / 4)};
}

void TProject::GetWorldCorner(uint8_t k, TDoublePoint& out) const
{
    const TDoublePoint size = GetWorldSize();
    const double hw = size.X / 2, hd = size.Y / 2;
    switch (k) {
    case 0: out = {-hw, -hd}; break;
    case 1: out = {+hw, -hd}; break;
    case 2: out = {+hw, +hd}; break;
    case 3: out = {-hw, +hd}; break;
    default: break;
    }
}

TDoublePoint TProject::GetWorldSize() const
{
    const double ws = ScaleDivisor(*this);
    return {Grid.SizeX * Grid.SpacingX / ws, Grid.SizeY * Grid.SpacingY / ws};
}

void TProject::RefreshHalfExtents()
{
    // Written only when it changes: the render reads cells on several threads at once, and a
    // value that stays the same is then only read.
    const THalfExtents half = ComputeHalfExtents(*this);
    if (std::memcmp(&half, &HalfExtents, sizeof half) != 0)
        HalfExtents = half;
}

TVector3 TProject::WorldToGrid(const TVector3& p)
{
    RefreshHalfExtents();
    const double ws = ScaleDivisor(*this);
    return {float(Quotient(p.X, Grid.SpacingX / ws) + Grid.SizeX / 2.0), float(Quotient(p.Y * ws, Grid.VerticalScale)),
            float(Quotient(p.Z, Grid.SpacingY / ws) + Grid.SizeY / 2.0)};
}

TVector3 TProject::GetCameraPosition() const
{
    const double ws = ScaleDivisor(*this);
    return {float(Camera.Eye.X / ws), float(Camera.Eye.Y / ws), float(Camera.Eye.Z / ws)};
}

TVector3 TProject::GetCameraTarget() const
{
    const double ws = ScaleDivisor(*this);
    return {float(Camera.Target.X / ws), float(Camera.Target.Y / ws), float(Camera.Target.Z / ws)};
}

TGeoPoint TProject::WorldToGeo(const TVector3& p) const
{
    const TGridBlock& g = Grid;
    return {g.LeftGeo + Quotient(p.X + g.MapWidth / 2, g.MapWidth) * (g.RightGeo - g.LeftGeo), p.Y,
            g.TopGeo + Quotient(p.Z + g.MapHeight / 2, g.MapHeight) * (g.BottomGeo - g.TopGeo)};
}

TVector3 TProject::GeoToWorld(const TGeoPoint& geo) const
{
    const TGridBlock& g = Grid;
    return {float(Quotient(geo.X - g.LeftGeo, g.RightGeo - g.LeftGeo) * g.MapWidth - g.MapWidth / 2), float(geo.Y),
            float(Quotient(geo.Z - g.TopGeo, g.BottomGeo - g.TopGeo) * g.MapHeight - g.MapHeight / 2)};
}

TDoublePoint TProject::GetCameraGeoPosition() const
{
    const TGeoPoint geo = WorldToGeo(Camera.Eye);
    return {geo.X, geo.Z};
}

TDoublePoint TProject::GetTargetGeoPosition() const
{
    const TGeoPoint geo = WorldToGeo(Camera.Target);
    return {geo.X, geo.Z};
}

bool TProject::GetVertexNeighbourhood(int32_t c, int32_t r, TVector3 (&out)[9]) const
{
    const int columns = VertexColumns(*this), rows = VertexRows(*this);
    if (c < 0 || r < 0 || c >= columns || r >= rows)
        return false;
    const int left = c > 0 ? 1 : 0, up = r > 0 ? 1 : 0;
    const int right = c < columns - 1 ? 1 : 0, down = r < rows - 1 ? 1 : 0;
    const double ws = ScaleDivisor(*this);
    out[0] = RenderPosition(*this, c - left, r - up, ws);
    out[1] = RenderPosition(*this, c, r - up, ws);
    out[2] = RenderPosition(*this, c + right, r - up, ws);
    out[3] = RenderPosition(*this, c + right, r, ws);
    out[4] = RenderPosition(*this, c + right, r + down, ws);
    out[5] = RenderPosition(*this, c, r + down, ws);
    out[6] = RenderPosition(*this, c - left, r + down, ws);
    out[7] = RenderPosition(*this, c - left, r, ws);
    out[8] = RenderPosition(*this, c, r, ws);
    return true;
}

bool TProject::GetCellGeometry(int32_t c, int32_t r, TCellGeometry& g)
{
    RefreshHalfExtents();
    g.LandPiece = 0;
    g.Depth = -1.0;
    g.HasNull = 0;
    g.Column = c;
    g.Row = r;
    if (c < 0 || r < 0 || c + 1 >= VertexColumns(*this) || r + 1 >= VertexRows(*this))
        return false;

    const double ws = ScaleDivisor(*this);
    const double shadowLight = 1.0 - Atmosphere.ShadowDepth;
    static constexpr int dc[4] = {0, 1, 1, 0};
    static constexpr int dr[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k) {
        const int cc = c + dc[k], rr = r + dr[k];
        const TGridCell& cell = Grid.Cells[cc][rr];
        g.Corners[k] = RenderPosition(*this, cc, rr, ws);
        g.CornerNormals[k] = cell.Normal;
        g.CornerFlooded[k] = cell.Flooded;
        g.CornerWaterEdge[k] = cell.WaterEdge;
        if (cell.Height < MinEditHeight)
            g.HasNull = 1;
        g.CornerLight[k] = cell.InShadow != 0 ? shadowLight : 1.0;
        g.CornerJitter[k] = {cell.JitterX * Grid.SpacingX / ws, cell.JitterZ * Grid.SpacingY / ws};
        if (cell.ViewDepth >= 0 && (g.Depth < 0 || cell.ViewDepth < g.Depth))
            g.Depth = cell.ViewDepth;
    }
    g.Centre = AverageOfFour(g.Corners[0], g.Corners[1], g.Corners[2], g.Corners[3]);
    g.MeanLight = (g.CornerLight[0] + g.CornerLight[1] + g.CornerLight[2] + g.CornerLight[3]) / 4;
    g.MeanNormal = QuadCentre(g.CornerNormals[0], g.CornerNormals[1], g.CornerNormals[2], g.CornerNormals[3]);
    return true;
}

double TProject::InterpolateRoughness(double x, double z, double sx, double sz, const TCellGeometry& g) const
{
    const int columns = VertexColumns(*this), rows = VertexRows(*this);
    if (columns < 2 || rows < 2)
        return 0.0;
    // A point just outside the cell (jitter, the outer ring) is taken from the neighbouring cell.
    int i = g.Column, j = g.Row;
    if (x < g.Corners[0].X) {
        --i;
        x += sx;
    } else if (x > g.Corners[1].X) {
        ++i;
        x -= sx;
    }
    if (z < g.Corners[0].Z) {
        --j;
        z += sz;
    } else if (z > g.Corners[2].Z) {
        ++j;
        z -= sz;
    }
    x -= g.Corners[0].X;
    z -= g.Corners[0].Z;
    i = std::clamp(i, 0, columns - 2);
    j = std::clamp(j, 0, rows - 2);

    double rough[4] = {Grid.Cells[i][j].CachedRoughness, Grid.Cells[i + 1][j].CachedRoughness,
                       Grid.Cells[i + 1][j + 1].CachedRoughness, Grid.Cells[i][j + 1].CachedRoughness};
    for (int k = 0; k < 4; ++k) {
        // The flood marks are the record's own corners, also after moving to a neighbour.
        if (g.CornerFlooded[k] == 1)
            rough[k] = Water.Surface.Roughness;
        rough[k] *= 0.2;
    }
    if (rough[0] == rough[1] && rough[0] == rough[2] && rough[0] == rough[3])
        return rough[0];
    if (sx == 0)
        sx = 1.0;
    if (sz == 0)
        sz = 1.0;
    const double ux = std::fabs(x / sx), uz = std::fabs(z / sz);
    const double wx = 1 - ux, wz = 1 - uz;
    const double result = rough[0] * wx * wz + rough[1] * ux * wz + rough[2] * ux * uz + rough[3] * wx * uz;
    return std::isfinite(result) ? result : 0.0;
}

float TProject::RoughnessAt(int32_t c, int32_t r) const
{
    if (c < 0 || r < 0 || c >= VertexColumns(*this) || r >= VertexRows(*this))
        return 0.0f;
    const TGridCell& cell = Grid.Cells[c][r];
    double range = Grid.MaxHeight - Grid.MinHeight;
    if (range == 0)
        range = 1.0;
    // The height itself as a percentage of the range (not its distance above MinHeight).
    const double rel = cell.Height / range * 100;

    int32_t layerIndex = NoLayer;
    if (!LayerBitmap.isNull()) {
        const int px = NearestInt(double(c) * LayerBitmap.width() / Grid.SizeX);
        const int py = NearestInt(double(r) * LayerBitmap.height() / Grid.SizeY);
        uint8_t edge = 0;
        layerIndex = TerrainLayerAt(px, py, edge);
    }
    const bool hasLayer = layerIndex >= 0 && layerIndex < UsedLayers(*this) &&
                          TerrainLayers.Items[layerIndex].LayerType != ltOverlay;

    double result = 0.0;
    if (cell.Flooded == 1) {
        result = Water.Surface.Roughness;
    } else {
        int band = 2;
        if (Fractal.SnowLine >= rel)
            band = Fractal.TreeLine >= rel ? 0 : 1;
        // A list shorter than the three band surfaces falls back to its last surface.
        const int surfaces = UsedSurfaces(*this);
        if (surfaces > 0)
            result = Fractal.TerrainSurfaces[std::min(band, surfaces - 1)].Material.Roughness;
    }
    if (hasLayer && TerrainLayers.Items[layerIndex].OverrideDefaultSurface)
        result = TerrainLayers.Items[layerIndex].Roughness;
    return std::isfinite(result) ? float(result) : 0.0f;
}
