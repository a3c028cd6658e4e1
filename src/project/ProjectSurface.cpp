// Surface, colour and layer-map queries of TProject: the painted terrain-layer map, the layer under a
// point, the colour of a texel of the fractal renderer and the colour a water texel reflects.
// SurfaceColourAt and WaterReflectionColour run for every texel: no allocation, direct scan-line
// reads of the pictures.
#include "project/Project.h"

#include "project/atmos32.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace {

constexpr TFloatColor Black{0, 0, 0, 1};
// How far the mirrored ray of a water texel is taken toward the sky (the radius of the sky dome).
constexpr double SkyReach = 2000.0;
// Map points further out than this are clamped before painting (the map is 4096 pixels wide).
constexpr double PaintLimit = 1 << 20;

double ScaleDivisor(const TProject& p)
{
    const double ws = p.WorldScale;
    return (ws != 0 && std::isfinite(ws)) ? ws : 1.0;
}

double Quotient(double a, double b) { return b != 0 ? a / b : 0.0; }

template <typename Block>
int UsedCount(const Block& block)
{
    return std::clamp<int>(block.Count, 0, static_cast<int>(block.Items.size()));
}

int UsedSurfaces(const TProject& p)
{
    return std::clamp<int>(p.Fractal.TerrainSurfaceCount, 0, static_cast<int>(p.Fractal.TerrainSurfaces.size()));
}

int VertexColumns(const TProject& p) { return std::min(p.Grid.SizeX, p.Grid.Cells.Columns()); }
int VertexRows(const TProject& p) { return std::min(p.Grid.SizeY, p.Grid.Cells.Rows()); }

THalfExtents ComputeHalfExtents(const TProject& p)
{
    const double ws = ScaleDivisor(p);
    return {p.Grid.SizeX / 2.0 * p.Grid.SpacingX / ws, p.Grid.SizeY / 2.0 * p.Grid.SpacingY / ws};
}

// 24-bit colour value (red in the low byte) of a pixel inside the picture.
uint32_t PictureValue(const QImage& image, int x, int y)
{
    switch (image.format()) {
    case QImage::Format_RGB888: {
        const uchar* p = image.constScanLine(y) + 3 * x;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: {
        const QRgb c = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
        return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
    }
    default: {
        const QRgb c = image.pixel(x, y);
        return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
    }
    }
}

bool PictureLoaded(const TOverlayImage& overlay) { return overlay.Image && !overlay.Image->isNull(); }

// Pixel column (or row) of a render coordinate on a picture stretched over the whole map,
// clamped to the picture.
int StretchedIndex(double pos, double half, int size, bool up)
{
    double r = (pos + half) / (2 * half) * size;
    r = up ? std::ceil(r) : std::floor(r);
    if (!(r >= 0))
        return 0;
    if (r > size - 1)
        return size - 1;
    return static_cast<int>(r);
}

// floor(u) or ceil(u) modulo size, non-negative.
int TiledIndex(double u, int size, bool up)
{
    const double r = std::fmod(up ? std::ceil(u) : std::floor(u), double(size));
    if (!std::isfinite(r))
        return 0;
    const int i = static_cast<int>(r);
    return i < 0 ? i + size : i;
}

// The nearest integer to |v|, modulo 64.
int NoiseIndex64(double v)
{
    const double r = std::nearbyint(std::fabs(v));
    if (r < 2147483648.0)
        return static_cast<int>(static_cast<int32_t>(r) & 63);
    return std::isfinite(r) ? static_cast<int>(std::fmod(r, 64.0)) : 0;
}

QColor CodeColour(uint32_t code)
{
    code &= 0xFFFFFF;
    return QColor(int(code & 0xFF), int(code >> 8 & 0xFF), int(code >> 16 & 0xFF));
}

int PenWidth(double lineWidth)
{
    const double w = std::nearbyint(lineWidth);
    if (!(w > 0))
        return 0;
    return static_cast<int>(std::min(w, 4096.0));
}

const TTerrainLayer* FindLayerByID(const TProject& p, int32_t id)
{
    const int n = UsedCount(p.TerrainLayers);
    for (int i = 0; i < n; ++i)
        if (p.TerrainLayers.Items[i].ID == id)
            return &p.TerrainLayers.Items[i];
    return nullptr;
}

void ToPolygon(const TTerrainPoly& poly, int width, int height, QPolygon& out)
{
    out.clear();
    const int n = std::clamp<int>(poly.PointCount, 0, static_cast<int>(poly.Points.size()));
    for (int i = 0; i < n; ++i) {
        const double x = std::nearbyint(poly.Points[i].X * width);
        const double y = std::nearbyint(poly.Points[i].Y * height);
        if (!std::isfinite(x) || !std::isfinite(y))
            continue;
        out.append(QPoint(int(std::clamp(x, -PaintLimit, PaintLimit)), int(std::clamp(y, -PaintLimit, PaintLimit))));
    }
}

// A limit of a surface: 1 inside, fading over `edge` beyond it, 0 further out.
double UpperLimit(double v, double value, double edge)
{
    if (v <= value)
        return 1.0;
    if (v <= value + edge)
        return 1.0 - std::fabs(value - v) / edge;
    return 0.0;
}

double LowerLimit(double v, double value, double edge)
{
    if (v >= value)
        return 1.0;
    if (v >= value - edge)
        return 1.0 - std::fabs(value - v) / edge;
    return 0.0;
}

double SurfaceWeight(const TTerrainSurface& s, double rel, double slope)
{
    double w = s.Coverage;
    if (s.MaxAltitude)
        w *= UpperLimit(rel, s.MaxAltitudeValue, s.MaxAltitudeEdge);
    if (s.MinAltitude)
        w *= LowerLimit(rel, s.MinAltitudeValue, s.MinAltitudeEdge);
    if (s.MaxSlope)
        w *= UpperLimit(slope, s.MaxSlopeValue, s.MaxSlopeEdge);
    if (s.MinSlope)
        w *= LowerLimit(slope, s.MinSlopeValue, s.MinSlopeEdge);
    return w;
}

bool IsChild(const TTerrainSurface& candidate, const TTerrainSurface& parent)
{
    return !candidate.Deleted && candidate.ParentID == parent.SurfaceID;
}

// The default surfaces: the band by height (with fuzzy edges), then down the surface tree by the
// weights of altitude and slope.
void ChooseDefaultSurface(const TProject& p, TTexelPoint& t)
{
    const TGridBlock& g = p.Grid;
    const double ws = ScaleDivisor(p);
    double h = Quotient(t.Y, g.VerticalScale) * ws;
    if (p.Fractal.BandEdgeFuzziness > 0) {
        const double a = std::nearbyint((g.MaxHeight - g.MinHeight) * p.Fractal.BandEdgeFuzziness / 500.0);
        const double v = p.BandNoise[NoiseIndex64(t.X * 19.0)][NoiseIndex64(t.Z * 19.0)];
        h = h + std::nearbyint(4 * a * v) - a;
        if (h <= g.MinHeight)
            h = g.MinHeight;
        if (h >= g.MaxHeight)
            h = g.MaxHeight - 0.01;
    }
    int band;
    if (h <= p.TreeLineHeight) {
        t.Kind = 1;
        band = 0;
    } else if (h <= p.SnowLineHeight) {
        t.Kind = 2;
        band = 1;
    } else {
        t.Kind = 3;
        band = 2;
    }
    const int n = UsedSurfaces(p);
    if (n == 0)
        return;
    const auto& surfaces = p.Fractal.TerrainSurfaces;

    const double highest = g.MaxHeight * g.VerticalScale / ws, lowest = g.MinHeight * g.VerticalScale / ws;
    double range = highest - lowest;
    if (range == 0)
        range = 1.0;
    const double rel = (t.Y - lowest) / range * 100;
    const double slope = (1 - t.NormalY) * 111.1;

    int current = std::min(band, n - 1);
    // A tree is at most n deep; a ParentID cycle ends there.
    for (int depth = 0; depth < n; ++depth) {
        const TTerrainSurface& s = surfaces[current];
        double total = SurfaceWeight(s, rel, slope);
        for (int j = 0; j < n; ++j)
            if (IsChild(surfaces[j], s))
                total += SurfaceWeight(surfaces[j], rel, slope);
        const double threshold = p.BandNoise[0][0] * total;
        int chosen = current;
        double running = SurfaceWeight(s, rel, slope);
        if (!(running > threshold)) {
            for (int j = 0; j < n; ++j) {
                if (!IsChild(surfaces[j], s))
                    continue;
                running += SurfaceWeight(surfaces[j], rel, slope);
                if (running > threshold) {
                    chosen = j;
                    break;
                }
            }
        }
        if (chosen == current)
            break;
        current = chosen;
    }
    const TTerrainSurface& s = surfaces[current];
    t.Colors[0] = s.Material.PrimaryColor;
    t.Colors[1] = s.Material.SecondaryColor;
    t.Bumpiness = s.Bumpiness;
}

// Dithered mix of the primary and secondary colour into t.Color, with the texel's two draws.
void ColourMix(const TProject& p, TTexelPoint& t, double r1, double r2)
{
    const TFloatColor& primary = t.Colors[0];
    const TFloatColor& secondary = t.Colors[1];
    const float k1 = TableNoise(t.X, t.Z), k2 = TableNoise(t.Z, t.X);
    const int row = t.NoiseRow + static_cast<int>(std::fabs(k1) * 32);
    const int column = t.NoiseColumn + static_cast<int>(std::fabs(k2) * 32);
    const double base = p.BandNoiseScale - (p.Fractal.BaseTerrainBias / 100.0 - 0.5) + (1 - t.NormalY);
    const bool inTable = row >= 0 && row < 65 && column >= 0 && column < 65;
    const double d = inTable ? base - p.BandNoise[row][column] : 0.0;
    const double f = d > 0 ? d / (2 * base) + 0.5 : -d / ((base - 1) * 2) + 0.5;
    if (!inTable || !std::isfinite(f)) {
        t.Color = primary;
        return;
    }
    if (r1 <= f) {
        t.Color = r2 <= 1 - f ? secondary : primary;
    } else {
        t.Color.R = float(primary.R * f + secondary.R * (1 - f));
        t.Color.G = float(primary.G * f + secondary.G * (1 - f));
        t.Color.B = float(primary.B * f + secondary.B * (1 - f));
        t.Color.A = primary.A;
    }
}

// The overlay picture of an overlay-type layer, tiled by the overlay's scale, laid over the colours.
void ApplyLayerOverlay(const TProject& p, const TTerrainLayer& layer, TTexelPoint& t)
{
    const int index = OverlayIndexOfLayer(p, layer.ID);
    if (index < 0)
        return;
    const TOverlayImage& overlay = p.Overlays.Items[index];
    if (!PictureLoaded(overlay) || !overlay.DrawOverlay || overlay.DrawFull)
        return;
    const QImage& picture = *overlay.Image;
    const double u = (501.0 + t.X) * overlay.Scale, v = (501.0 + t.Z) * overlay.Scale;
    const int w = picture.width(), h = picture.height();
    const uint32_t first = PictureValue(picture, TiledIndex(u, w, false), TiledIndex(v, h, false));
    const uint32_t second = PictureValue(picture, TiledIndex(u, w, true), TiledIndex(v, h, true));
    // A pixel in the transparency colour shows the ground unchanged.
    const double weight = second == (uint32_t(overlay.TransparencyColor) & 0xFFFFFF) ? 0.0 : overlay.Transparency;
    const TFloatColor colours[4] = {ColorRefToFloat(first), ColorRefToFloat(second), Black, Black};
    for (int k = 0; k < 4; ++k)
        t.Colors[k] = BlendVector4(colours[k], t.Colors[k], weight);
}

// The first full-layer overlay: its picture stretched over the whole map at the texel, and its weight.
bool FullOverlayColour(const TProject& p, const TTexelPoint& t, const THalfExtents& half, TFloatColor& colour,
                       double& weight)
{
    const int n = UsedCount(p.Overlays);
    for (int i = 0; i < n; ++i) {
        const TOverlayImage& overlay = p.Overlays.Items[i];
        if (overlay.Deleted || !overlay.DrawOverlay || !overlay.DrawFull || !PictureLoaded(overlay))
            continue;
        const QImage& picture = *overlay.Image;
        const int w = picture.width(), h = picture.height();
        const uint32_t first =
            PictureValue(picture, StretchedIndex(t.X, half.X, w, false), StretchedIndex(t.Z, half.Z, h, false));
        const uint32_t second =
            PictureValue(picture, StretchedIndex(t.X, half.X, w, true), StretchedIndex(t.Z, half.Z, h, true));
        colour = ColorRefToFloat(first);
        const bool transparent =
            overlay.TransparencyMode == 0 && second == (uint32_t(overlay.TransparencyColor) & 0xFFFFFF);
        weight = transparent ? 0.0 : overlay.Transparency;
        return true;
    }
    return false;
}

// Height of the ground at grid point (x, z), x in 0 .. columns - 1 and z in 0 .. rows - 1, blended
// from the four vertices around it; with roughnessScale, the cached roughness of dry vertices is added.
double GroundAt(const TProject& p, double x, double z, double roughnessScale)
{
    const int columns = VertexColumns(p), rows = VertexRows(p);
    // The last vertex belongs to the cell before it, so no read goes past the grid.
    const int i = std::clamp(static_cast<int>(std::floor(x)), 0, columns - 2);
    const int j = std::clamp(static_cast<int>(std::floor(z)), 0, rows - 2);
    const double fx = std::clamp(x - i, 0.0, 1.0), fz = std::clamp(z - j, 0.0, 1.0);
    auto height = [&](int c, int r) {
        const TGridCell& cell = p.Grid.Cells[c][r];
        return cell.Height + (cell.Flooded ? 0.0 : cell.CachedRoughness * roughnessScale);
    };
    return (height(i, j) * (1 - fx) + height(i + 1, j) * fx) * (1 - fz) +
           (height(i, j + 1) * (1 - fx) + height(i + 1, j + 1) * fx) * fz;
}

} // namespace

int OverlayIndexOfLayer(const TProject& project, int32_t layerID)
{
    const int n = UsedCount(project.Overlays);
    for (int i = 0; i < n; ++i) {
        const TOverlayImage& overlay = project.Overlays.Items[i];
        if (!overlay.Deleted && overlay.TerrainLayerID == layerID)
            return i;
    }
    return -1;
}

void TProject::BuildLayerMap()
{
    if (!EnsureLayerBitmap())
        return;
    LayerBitmap.fill(QColor(255, 255, 255));
    const int width = LayerBitmap.width(), height = LayerBitmap.height();
    QPainter painter(&LayerBitmap);
    // Pixel values are codes: never blend them.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    QPolygon polygon;

    const int regions = UsedCount(TerrainPolys);
    for (int i = 0; i < regions; ++i) {
        const TTerrainPoly& region = TerrainPolys.Items[i];
        const TTerrainLayer* layer = region.Deleted ? nullptr : FindLayerByID(*this, region.TerrainLayerID);
        if (!layer || !layer->Visible)
            continue;
        const uint32_t id = uint32_t(layer->ID);
        QPen pen(CodeColour(layer->Edge ? LayerEdgeCode + id : id), PenWidth(layer->LineWidth), Qt::SolidLine,
                 Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(layer->Edge ? QBrush(Qt::NoBrush) : QBrush(CodeColour(id)));
        ToPolygon(region, width, height, polygon);
        if (!polygon.isEmpty())
            painter.drawPolygon(polygon, Qt::OddEvenFill);
    }

    painter.setBrush(Qt::NoBrush);
    const int lines = UsedCount(TerrainLines);
    for (int i = 0; i < lines; ++i) {
        const TTerrainLine& line = TerrainLines.Items[i];
        const TTerrainLayer* layer = line.Deleted ? nullptr : FindLayerByID(*this, line.TerrainLayerID);
        if (!layer || !layer->Visible)
            continue;
        painter.setPen(QPen(CodeColour(LayerEdgeCode + uint32_t(layer->ID)), PenWidth(layer->LineWidth),
                            Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        ToPolygon(line, width, height, polygon);
        if (!polygon.isEmpty())
            painter.drawPolyline(polygon);
    }
}

int32_t TProject::TerrainLayerAt(int32_t x, int32_t y, uint8_t& edge) const
{
    edge = 0;
    if (x < 0 || y < 0 || x >= LayerBitmap.width() || y >= LayerBitmap.height())
        return NoLayer;
    const uint32_t v = PictureValue(LayerBitmap, x, y);
    if (v == 0xFFFFFF)
        return NoLayer;
    uint32_t id = v;
    if (v >= LayerEdgeCode) {
        id = v - LayerEdgeCode;
        edge = 1;
    }
    const int n = UsedCount(TerrainLayers);
    for (int i = 0; i < n; ++i)
        if (int64_t(TerrainLayers.Items[i].ID) == int64_t(id))
            return i;
    return NoLayer;
}

void TProject::SurfaceColourAt(TTexelPoint& t) const
{
    // Taken first, so that every texel takes exactly SurfaceColourDraws draws whatever happens
    // below: the renderer works out where each texel's draws start without shading it.
    const double r1 = RandomReal(), r2 = RandomReal();
    try {
        const THalfExtents half = ComputeHalfExtents(*this);
        TFloatColor fullColour = Black;
        double fullWeight = 0;
        const bool full = AnyFullOverlay && FullOverlayColour(*this, t, half, fullColour, fullWeight);

        for (TFloatColor& c : t.Colors)
            c = Black;
        t.Kind = 0;
        t.Bumpiness = 0;
        ClearFPUExceptions();

        t.LayerEdge = 0;
        t.LayerIndex = NoLayer;
        if (!LayerBitmap.isNull())
            t.LayerIndex = TerrainLayerAt(StretchedIndex(t.X, half.X, LayerBitmap.width(), false),
                                          StretchedIndex(t.Z, half.Z, LayerBitmap.height(), false), t.LayerEdge);
        const TTerrainLayer* layer =
            t.LayerIndex >= 0 && t.LayerIndex < UsedCount(TerrainLayers) ? &TerrainLayers.Items[t.LayerIndex] : nullptr;

        if (!layer || layer->LayerType == ltOverlay || !layer->OverrideDefaultColor) {
            ChooseDefaultSurface(*this, t);
            if (layer && layer->LayerType == ltOverlay)
                ApplyLayerOverlay(*this, *layer, t);
        } else if (!layer->Water) {
            t.Colors[0] = layer->LayerPrimary;
            t.Colors[1] = layer->LayerSecondary;
            t.Kind = 5;
            t.Bumpiness = layer->Bumpiness;
        }
        ColourMix(*this, t, r1, r2);
        if (full)
            t.Color = BlendVector4(fullColour, t.Color, fullWeight);
    } catch (...) {
        t.Color = t.Colors[0];
    }
}

void TProject::WaterReflectionColour(TTexelPoint& t) const
{
    const TWaterMirror mirror = WaterMirrorAt(t.X, t.Y, t.Z);
    TFloatColor ground = mirror.Sky;
    if (mirror.Column >= 0) {
        const TFloatRGB& colour = Grid.Cells[mirror.Column][mirror.Row].Color;
        ground = {colour.R, colour.G, colour.B, 1};
    }
    t.Colors[0] = mirror.Sky;
    t.Colors[1] = ground;
    t.Color = mirror.Sky;
}

void TProject::MirrorColours(const TWaterMirror& mirror, TFloatRGB& sky, TFloatRGB& reflected) const
{
    sky = {mirror.Sky.R, mirror.Sky.G, mirror.Sky.B};
    reflected = mirror.Column >= 0 ? Grid.Cells[mirror.Column][mirror.Row].Color : sky;
}

TWaterMirror TProject::WaterMirrorAt(float x, float y, float z) const
{
    TWaterMirror result;
    const TVector3 texel{x, y, z};
    const TVector3 view = SubtractVector(texel, GetCameraPosition());
    const TVector3 mirrored = NormalizeVector(ReflectVector(view, TVector3{0, 1, 0}));

    TFloatRGB sky = SkyBaseColour();
    const TVector3 skyPoint = AddVector3(texel, ScaleVector(mirrored, SkyReach));
    ScaledRayAtmosphere(texel, skyPoint, true, sky, AtmosphereParams.CloudDraw != 0,
                        Water.Surface.Emission / 4 + 1);
    result.Sky = {sky.R, sky.G, sky.B, 1};

    const int columns = VertexColumns(*this), rows = VertexRows(*this);
    const TGridBlock& g = Grid;
    if (columns >= 2 && rows >= 2) {
        const double ws = ScaleDivisor(*this);
        const double gx = Quotient(x, g.SpacingX / ws) + g.SizeX / 2.0;
        const double gz = Quotient(z, g.SpacingY / ws) + g.SizeY / 2.0;
        float azimuth = 0, polar = 0, length = 0;
        CartesianToSpherical(mirrored, azimuth, polar, length);
        const double a = azimuth * M_PI / 180.0, e = (90.0 - polar) * M_PI / 180.0;
        const double dx = std::cos(a), dz = std::sin(a), s = std::tan(e);
        if (std::isfinite(gx) && std::isfinite(gz) && std::isfinite(s) && std::isfinite(dx) && std::isfinite(dz)) {
            const double h0 = GroundAt(*this, std::clamp(gx, 0.0, columns - 1.0), std::clamp(gz, 0.0, rows - 1.0), 0.0);
            const double reach = g.SizeX < g.SizeY ? 1.5 * g.SizeY * g.SpacingY : 1.5 * g.SizeX * g.SpacingX;
            const double risePerStep = s * (std::fabs(dz) * g.SpacingY + (1 - std::fabs(dz)) * g.SpacingX);
            const double roughnessScale = g.VerticalScale / ws;
            for (int k = 1; k < reach; ++k) {
                const double level = h0 + k * risePerStep;
                if (level > g.MaxHeight)
                    break;
                double px = gx + dx * k, pz = gz + dz * k;
                if (px < -1 || pz < -1 || px >= columns + 1 || pz >= rows + 1)
                    break;
                px = std::clamp(px, 1.0, columns - 1.0);
                pz = std::clamp(pz, 1.0, rows - 1.0);
                if (level < GroundAt(*this, px, pz, roughnessScale)) {
                    result.Column = std::clamp(static_cast<int>(std::nearbyint(px)), 0, columns - 1);
                    result.Row = std::clamp(static_cast<int>(std::nearbyint(pz)), 0, rows - 1);
                    break;
                }
            }
        }
    }
    return result;
}
