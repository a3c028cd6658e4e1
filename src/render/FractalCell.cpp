// Cells of the fractal renderer: subdivision into displaced sub-quads, the texels of each visible
// sub-quad shaded one by one, and their drawing.
//
// Sub-quads are projected in software with the matrices of the drawing (the same window
// coordinates feedback mode would give). Their texels go into a shared atlas and their triangles
// into one vertex array: one upload and one draw call for thousands of sub-quads. A full batch is
// handed over: its texels are shaded on every core while the next batch fills, and it is drawn
// when that one is handed over in turn. Each sub-quad is shaded from the state the global random
// sequence would have had in drawing order (the generator jumps ahead by a sub-quad's draws as the
// sub-quad is met), so the picture is bit for bit the one of shading them one by one. The cells of
// a line are subdivided ahead on every core as well.
#include "render/FractalRendererEngine.h"

#include "platform/GLEntryPoints.h"
#include "platform/NoiseLib.h"
#include "project/Project.h"
#include "project/ProjectSurface.h"
#include "project/atmos32.h"
#include "render/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <chrono>
#include <future>
#include <limits>
#include <cstring>
#include <memory>

namespace {

constexpr double kDegrees = M_PI / 180.0;
// OpenGL names of the per-quad textures: 1100 + side (2 .. 32).
constexpr GLuint kSideTextureBase = 1100;
// Floats per batched vertex: s, t, x, y, z.
constexpr int kVertexFloats = 5;
// The texture positions of a sub-quad's corners, in fan order.
constexpr TDoublePoint kSubQuadUV[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};

struct TWeights {
    double W[4];
};

// Bilinear weights of the corners (c, r), (c + 1, r), (c + 1, r + 1), (c, r + 1) at fractions
// u (along the columns) and v (along the rows).
TWeights Bilinear(double u, double v)
{
    return {{(1 - u) * (1 - v), u * (1 - v), u * v, (1 - u) * v}};
}

TVector3 Blend(const TVector3 (&c)[4], const TWeights& w)
{
    double x = 0, y = 0, z = 0;
    for (int k = 0; k < 4; ++k) {
        x += c[k].X * w.W[k];
        y += c[k].Y * w.W[k];
        z += c[k].Z * w.W[k];
    }
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

double Blend(const double (&c)[4], const TWeights& w)
{
    return c[0] * w.W[0] + c[1] * w.W[1] + c[2] * w.W[2] + c[3] * w.W[3];
}

TFloatRGB Blend(const TFloatRGB (&c)[4], const TWeights& w)
{
    double r = 0, g = 0, b = 0;
    for (int k = 0; k < 4; ++k) {
        r += c[k].R * w.W[k];
        g += c[k].G * w.W[k];
        b += c[k].B * w.W[k];
    }
    return {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b)};
}

TVector3 Lerp(const TVector3& a, const TVector3& b, double t)
{
    return {static_cast<float>(a.X + (b.X - a.X) * t), static_cast<float>(a.Y + (b.Y - a.Y) * t),
            static_cast<float>(a.Z + (b.Z - a.Z) * t)};
}

bool Finite(const TVector3& v) { return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z); }

double ScaleDivisor(const TProject& p)
{
    const double ws = p.WorldScale;
    return (ws != 0 && std::isfinite(ws)) ? ws : 1.0;
}

// The nearest integer to |v|, modulo 64 (0 for a value beyond any integer).
int DetailIndex(double v)
{
    const double r = std::nearbyint(std::fabs(v));
    if (r < 2147483648.0)
        return static_cast<int>(static_cast<int32_t>(r) & 63);
    return std::isfinite(r) ? static_cast<int>(std::fmod(r, 64.0)) : 0;
}

// A colour component as OpenGL stores it in an 8-bit texture.
uint8_t ToByte(float c)
{
    if (!(c > 0))
        return 0; // NaN included
    if (c >= 1)
        return 255;
    return static_cast<uint8_t>(std::lrint(c * 255.0f));
}

// A sub-quad's shaded texels into its atlas slot, as 8-bit colours; the slot is then closed.
void StoreTexels(TTexelAtlas& atlas, const TTexelAtlas::TSlot& slot, const float* texels, int side)
{
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j) {
            const float* in = texels + (i * side + j) * 3;
            uint8_t* out = atlas.Texel(slot, i, j);
            out[0] = ToByte(in[0]);
            out[1] = ToByte(in[1]);
            out[2] = ToByte(in[2]);
        }
    atlas.CloseSlot(slot);
}

int VertexColumns(const TProject& p) { return std::min(p.Grid.SizeX, p.Grid.Cells.Columns()); }
int VertexRows(const TProject& p) { return std::min(p.Grid.SizeY, p.Grid.Cells.Rows()); }

} // namespace

namespace FractalTables {
TVector3 RotateAboutZ(const TVector3& p, float angleDegrees)
{
    const double angle = static_cast<float>(angleDegrees * (M_PI / 180.0));
    const double c = static_cast<float>(std::cos(angle)), s = static_cast<float>(std::sin(angle));
    return {static_cast<float>(p.X * c + p.Y * -s), static_cast<float>(p.X * s + p.Y * c), p.Z};
}

TVector3 RotateAboutX(const TVector3& p, float angleDegrees)
{
    const double angle = static_cast<float>(angleDegrees * (M_PI / 180.0));
    const double c = static_cast<float>(std::cos(angle)), s = static_cast<float>(std::sin(angle));
    return {p.X, static_cast<float>(p.Y * c + p.Z * -s), static_cast<float>(p.Y * s + p.Z * c)};
}

} // namespace FractalTables

// ---- Displacement ------------------------------------------------------------------------------

double TFractalRenderEngine::DisplacementAt(const TCellGeometry& geometry, double x, double z, bool water,
                                            double& roughness) const
{
    const TProject& p = Project();
    const double n = NoiseAt(x / 100.0, z / 100.0, p.Fractal.RPlaneSeed, p.Fractal.RFreqSeed);
    const double a = 0.2 * std::fabs(n - 0.5);
    double result;
    if (!water) {
        const double ws = ScaleDivisor(p);
        roughness = p.InterpolateRoughness(x, z, p.Grid.SpacingX / ws, p.Grid.SpacingY / ws, geometry);
        result = roughness * a;
    } else {
        roughness = p.Water.Surface.Roughness;
        // A negative roughness would take the root of a negative number.
        result = std::sqrt(std::max(0.0, roughness * a)) + WaveOffset(x, z, a);
    }
    // A damaged roughness (NaN, infinite) leaves the surface undisplaced instead of tearing it.
    if (!std::isfinite(roughness))
        roughness = 0;
    return std::isfinite(result) ? result : 0.0;
}

double TFractalRenderEngine::WaveOffset(double x, double z, double amplitude) const
{
    const TProject& p = Project();
    const double wl = p.Water.WaveLength;
    if (!(wl > 0))
        return 0.0; // NaN included
    const double wh = p.Water.WaveHeight;
    const double d = std::hypot(x - WaveOriginX, z - WaveOriginZ);
    const double s1 = std::sin(d * 500.0 / (wl + amplitude / wl) * kDegrees);
    const double s2 = std::sin(d * 500.0 / ((wl + amplitude / (wl * 10.0)) / 10.0) * kDegrees);
    const double result = 0.001 * wh * (s1 - 0.25) + 0.0001 * wh * (s2 - 0.25);
    // A wave length so short that the phase overflows has no meaningful wave: flat water.
    return std::isfinite(result) ? result : 0.0;
}

// ---- Subdivision -------------------------------------------------------------------------------

void TFractalRenderEngine::BuildSubVertices(const TSubVertexArrays& a, int n, const TCellGeometry& jittered,
                                            bool water) const
{
    for (int i = 0; i <= n; ++i) {
        const double u = static_cast<double>(i) / n;
        for (int j = 0; j <= n; ++j) {
            const double v = static_cast<double>(j) / n;
            const TWeights w = Bilinear(u, v);
            TVector3 position = Blend(jittered.Corners, w);
            double roughness = 0;
            const double d = DisplacementAt(jittered, position.X, position.Z, water, roughness);
            position.Y = static_cast<float>(position.Y + d);
            a.Vertices[i + 1][j + 1] = position;
            a.Normals[i + 1][j + 1] = Blend(jittered.CornerNormals, w);
            a.Light[i + 1][j + 1] = Blend(jittered.CornerLight, w);
            a.UV[i + 1][j + 1] = {u, v};
            a.Roughness[i + 1][j + 1] = roughness;
        }
    }
}

// The ring one sub-step outside each edge: the edge moved toward the grid vertices beyond it by
// the offset of one sub-quad of the neighbouring cell. Where there is no usable neighbour (the
// grid border, a vertex without height) and on water, the cell's own surface is continued
// instead, so the edge normals never collapse onto a zero-length edge.
void TFractalRenderEngine::BuildOuterRing(const TSubVertexArrays& a, int n, const TCellGeometry& jittered,
                                          const TCellGeometry& plain, bool water) const
{
    const TProject& p = Project();
    const int c = jittered.Column, r = jittered.Row;
    const int columns = VertexColumns(p), rows = VertexRows(p);

    // Neighbourhoods of the four corners: [7] left, [1] up, [3] right, [5] down.
    TVector3 around[4][9];
    const int cornerColumn[4] = {c, c + 1, c + 1, c};
    const int cornerRow[4] = {r, r, r + 1, r + 1};
    bool known[4];
    for (int k = 0; k < 4; ++k)
        known[k] = p.GetVertexNeighbourhood(cornerColumn[k], cornerRow[k], around[k]);
    auto usable = [&](int column, int row) {
        return column >= 0 && row >= 0 && column < columns && row < rows &&
               p.Grid.Cells[column][row].Height >= MinEditHeight;
    };

    // One edge runs from corner A to corner B; Slot is the neighbourhood entry beyond it and
    // (DColumn, DRow) the step from a corner to that neighbour.
    struct TEdge {
        int A, B, Slot, DColumn, DRow;
    };
    const TEdge edges[4] = {
        {0, 3, 7, -1, 0}, // left:  i = -1
        {1, 2, 3, +1, 0}, // right: i = N + 1
        {0, 1, 1, 0, -1}, // up:    j = -1
        {3, 2, 5, 0, +1}, // down:  j = N + 1
    };
    for (int e = 0; e < 4; ++e) {
        const TEdge& edge = edges[e];
        const bool neighbour = !water && known[edge.A] && known[edge.B] &&
                               usable(cornerColumn[edge.A] + edge.DColumn, cornerRow[edge.A] + edge.DRow) &&
                               usable(cornerColumn[edge.B] + edge.DColumn, cornerRow[edge.B] + edge.DRow);
        for (int k = 0; k <= n; ++k) {
            const double t = static_cast<double>(k) / n;
            // Array positions of the ring point and of the sub-vertex one step inside the edge.
            int ri, rj, ii, ij;
            if (e < 2) {
                ri = e == 0 ? 0 : n + 2;
                ii = e == 0 ? 2 : n;
                rj = ij = k + 1;
            } else {
                rj = e == 2 ? 0 : n + 2;
                ij = e == 2 ? 2 : n;
                ri = ii = k + 1;
            }
            const TVector3 edgePoint = Lerp(jittered.Corners[edge.A], jittered.Corners[edge.B], t);
            TVector3 ring;
            if (neighbour) {
                const TVector3 plainEdge = Lerp(plain.Corners[edge.A], plain.Corners[edge.B], t);
                const TVector3 beyond = Lerp(around[edge.A][edge.Slot], around[edge.B][edge.Slot], t);
                ring = Lerp(edgePoint, AddVector3(edgePoint, SubtractVector(beyond, plainEdge)), 1.0 / n);
            } else {
                // Undisplaced inner point: the blend of the corners one sub-step inside.
                const double u = static_cast<double>(ii - 1) / n, v = static_cast<double>(ij - 1) / n;
                const TVector3 inner = Blend(jittered.Corners, Bilinear(u, v));
                ring = Lerp(inner, edgePoint, 2.0);
            }
            double roughness = 0;
            const double d = DisplacementAt(jittered, ring.X, ring.Z, water, roughness);
            ring.Y = static_cast<float>(ring.Y + d);
            a.Vertices[ri][rj] = ring;
        }
    }
    // The ring's corners are no vertex's neighbours; they only need to hold finite values.
    a.Vertices[0][0] = a.Vertices[1][1];
    a.Vertices[n + 2][0] = a.Vertices[n + 1][1];
    a.Vertices[0][n + 2] = a.Vertices[1][n + 1];
    a.Vertices[n + 2][n + 2] = a.Vertices[n + 1][n + 1];
}

void TFractalRenderEngine::RecomputeSubNormals(const TSubVertexArrays& arrays, int n)
{
    auto& v = arrays.Vertices;
    for (int a = 1; a <= n + 1; ++a)
        for (int b = 1; b <= n + 1; ++b) {
            const TVector3& centre = v[a][b];
            const TVector3& left = v[a - 1][b];
            const TVector3& up = v[a][b - 1];
            const TVector3& right = v[a + 1][b];
            const TVector3& down = v[a][b + 1];
            arrays.Normals[a][b] = QuadCentre(TriangleNormal(up, centre, right), TriangleNormal(right, centre, down),
                                          TriangleNormal(down, centre, left), TriangleNormal(left, centre, up));
        }
}

void TFractalRenderEngine::Subdivide(const TSubVertexArrays& a, int n, const TCellGeometry& jittered,
                                     const TCellGeometry& plain, bool water) const
{
    BuildSubVertices(a, n, jittered, water);
    if (n > 1) {
        BuildOuterRing(a, n, jittered, plain, water);
        RecomputeSubNormals(a, n);
    }
}

namespace {

// A thread's own sub-vertex arrays for subdividing cells ahead of their drawing.
constexpr int kArraySide = TFractalRenderEngine::CellArraySide;
struct TSubVertexScratch {
    TVector3 Vertices[kArraySide][kArraySide];
    TVector3 Normals[kArraySide][kArraySide];
    double Light[kArraySide][kArraySide];
    TDoublePoint UV[kArraySide][kArraySide];
    double Roughness[kArraySide][kArraySide];
};

} // namespace

void TFractalRenderEngine::PrepareAhead(TPlannedCell& cell) const
{
    const bool vegetation = Project().Fractal.DrawNoModels == 0;
    cell.Ready = cell.Outside = false;
    const int level = cell.Level;
    if (level < 0 || level > RenderDepth || level > MaxCellLevel)
        return;
    const bool water = cell.Jittered.CornerFlooded[0] == 1;
    const bool ecology = vegetation && !water && cell.Jittered.LandPiece == 0;
    if (!ecology && CellOutsideView(cell.Jittered)) {
        cell.Outside = true;
        return;
    }
    thread_local std::unique_ptr<TSubVertexScratch> scratch;
    if (!scratch)
        scratch = std::make_unique<TSubVertexScratch>();
    TSubVertexScratch& s = *scratch;
    const TSubVertexArrays arrays{s.Vertices, s.Normals, s.Light, s.UV, s.Roughness};
    const int n = FractalTables::SubdivisionCount(level);
    Subdivide(arrays, n, cell.Jittered, cell.Plain, water);
    // Rows 0 .. n + 2 of columns 0 .. n + 2: the cell and its ring.
    const int side = n + 3;
    cell.Vertices.resize(static_cast<size_t>(side) * side);
    cell.Normals.resize(cell.Vertices.size());
    cell.Light.resize(cell.Vertices.size());
    cell.Roughness.resize(cell.Vertices.size());
    for (int i = 0; i < side; ++i) {
        const size_t row = static_cast<size_t>(i) * side;
        std::copy(s.Vertices[i], s.Vertices[i] + side, cell.Vertices.begin() + row);
        std::copy(s.Normals[i], s.Normals[i] + side, cell.Normals.begin() + row);
        std::copy(s.Light[i], s.Light[i] + side, cell.Light.begin() + row);
        std::copy(s.Roughness[i], s.Roughness[i] + side, cell.Roughness.begin() + row);
    }
    cell.QuadSides.resize(static_cast<size_t>(n) * n);
    const TSubdivisionView view{cell.Vertices.data(), cell.Normals.data(), cell.Light.data(), cell.Roughness.data(),
                                static_cast<size_t>(side)};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            cell.QuadSides[static_cast<size_t>(i) * n + j] = static_cast<uint8_t>(SubQuadTextureSide(view, i, j));
    if (water && !PerQuadTextures) {
        // What the corners of the drawn sub-quads reflect, once for each corner: it reads nothing
        // that drawing changes, except the colours of the vertices it meets, which are read later.
        const TProject& p = Project();
        TQuietHazeRecord quiet;
        cell.Mirrors.resize(cell.Vertices.size());
        std::vector<uint8_t>& done = MirrorScratch(cell.Vertices.size());
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                if (cell.QuadSides[static_cast<size_t>(i) * n + j] == 0)
                    continue;
                for (size_t at : view.QuadAt(i, j)) {
                    if (done[at])
                        continue;
                    done[at] = 1;
                    const TVector3& v = cell.Vertices[at];
                    cell.Mirrors[at] = p.WaterMirrorAt(v.X, v.Y, v.Z);
                }
            }
    }
    cell.Ready = true;
}

std::vector<uint8_t>& TFractalRenderEngine::MirrorScratch(size_t size)
{
    thread_local std::vector<uint8_t> done;
    done.assign(size, 0);
    return done;
}

void TFractalRenderEngine::SubQuadRecord(const TSubdivisionView& s, const TCellGeometry& jittered, int i, int j,
                                         TCellGeometry& q, double (&roughness)[4])
{
    q = jittered;
    const std::array<size_t, 4> at = s.QuadAt(i, j);
    double light = 0;
    for (int k = 0; k < 4; ++k) {
        q.Corners[k] = s.Vertices[at[k]];
        q.CornerNormals[k] = s.Normals[at[k]];
        q.CornerLight[k] = s.Light[at[k]];
        q.CornerUV[k] = kSubQuadUV[k];
        roughness[k] = s.Roughness[at[k]];
        light += q.CornerLight[k];
    }
    q.Centre = AverageOfFour(q.Corners[0], q.Corners[1], q.Corners[2], q.Corners[3]);
    q.MeanNormal = QuadCentre(q.CornerNormals[0], q.CornerNormals[1], q.CornerNormals[2], q.CornerNormals[3]);
    q.MeanLight = light / 4;
}

void TFractalRenderEngine::SubQuadTexels(const TSubdivisionView& s, const TCellGeometry& jittered, int i, int j,
                                         TTexelQuad& quad, double (&roughness)[4])
{
    const std::array<size_t, 4> at = s.QuadAt(i, j);
    for (int k = 0; k < 4; ++k) {
        quad.Corners[k] = s.Vertices[at[k]];
        quad.CornerNormals[k] = s.Normals[at[k]];
        quad.CornerLight[k] = s.Light[at[k]];
        roughness[k] = s.Roughness[at[k]];
    }
    quad.Column = jittered.Column;
    quad.Row = jittered.Row;
    quad.CentreY = AverageOfFour(quad.Corners[0], quad.Corners[1], quad.Corners[2], quad.Corners[3]).Y;
}

int TFractalRenderEngine::SubQuadTextureSide(const TSubdivisionView& s, int i, int j) const
{
    const TPointProjector& projector = *CellProjector;
    bool inView = false, finite = true;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (size_t at : s.QuadAt(i, j)) {
        const TVector3& corner = s.Vertices[at];
        finite = finite && Finite(corner);
        TVector3 window;
        if (!projector.Project(corner, window))
            continue;
        if (!inView) {
            minX = maxX = window.X;
            minY = maxY = window.Y;
            inView = true;
        } else {
            minX = std::min<double>(minX, window.X);
            maxX = std::max<double>(maxX, window.X);
            minY = std::min<double>(minY, window.Y);
            maxY = std::max<double>(maxY, window.Y);
        }
    }
    // A corner without a position (a damaged height) would make a torn triangle.
    if (!inView || !finite)
        return 0;
    return FractalTables::TextureSideFor(std::max(maxX - minX, maxY - minY), RenderDepth);
}

void TFractalRenderEngine::DrawFractalCell(const TCellGeometry& jittered, const TCellGeometry& plain, int level)
{
    DrawCellFrom(jittered, plain, level, nullptr);
}

void TFractalRenderEngine::DrawCellFrom(const TCellGeometry& jittered, const TCellGeometry& plain, int level,
                                        const TPlannedCell* planned)
{
    // The sub-vertex arrays hold the finest level of the deepest fractal depth and its ring.
    static_assert((1 << MaxCellLevel) + 1 + 2 < CellArraySide);
    if (level < 0 || level > RenderDepth || level > MaxCellLevel)
        return;
    TProject& p = Project();
    const bool water = jittered.CornerFlooded[0] == 1;
    const int n = FractalTables::SubdivisionCount(level);
    CellSubdivision = n;

    const bool vegetation = p.Fractal.DrawNoModels == 0;
    const bool ecology = vegetation && !water && jittered.LandPiece == 0;
    if (!CellProjector)
        PrepareCellProjection();
    // A cell that cannot reach into the view is not subdivided at all, unless its sub-quads are
    // to grow plants.
    if (planned ? planned->Outside : !ecology && CellOutsideView(jittered)) {
        if (vegetation)
            DrawCellPlants();
        return;
    }

    TSubdivisionView view;
    const uint8_t* sides = nullptr;
    if (planned && planned->Ready) {
        view = {planned->Vertices.data(), planned->Normals.data(), planned->Light.data(), planned->Roughness.data(),
                static_cast<size_t>(n) + 3};
        sides = planned->QuadSides.data();
    } else {
        const TSubVertexArrays own{SubVertices, SubNormals, SubLight, SubUV, SubRoughness};
        Subdivide(own, n, jittered, plain, water);
        view = {&SubVertices[0][0], &SubNormals[0][0], &SubLight[0][0], &SubRoughness[0][0], CellArraySide};
    }

    TCellGeometry q;
    double roughness[4];
    if (ecology)
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                SubQuadRecord(view, jittered, i, j, q, roughness);
                DrawCellEcology(q);
            }

    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const int side = sides ? sides[static_cast<size_t>(i) * n + j] : SubQuadTextureSide(view, i, j);
            if (side == 0)
                continue;
            CellTextureSide = side;
            if (PerQuadTextures) {
                SubQuadRecord(view, jittered, i, j, q, roughness);
                UploadCellTexture(q, roughness, water);
                DrawTexturedQuad(q);
            } else {
                TTexelQuad quad;
                SubQuadTexels(view, jittered, i, j, quad, roughness);
                const TWaterMirror* mirrors[4] = {nullptr, nullptr, nullptr, nullptr};
                if (water && planned && planned->Ready && !planned->Mirrors.empty()) {
                    const std::array<size_t, 4> at = view.QuadAt(i, j);
                    for (int k = 0; k < 4; ++k)
                        mirrors[k] = &planned->Mirrors[at[k]];
                }
                BatchCellTexture(quad, roughness, water, mirrors);
            }
            ++QuadCount;
            if (level == jittered.Level && UrbanDrawn == 0)
                DrawCellUrbanAt(jittered);
        }

    if (vegetation)
        DrawCellPlants();
}

void TFractalRenderEngine::PrepareCellProjection()
{
    CellProjector.emplace();
    // Land: 0.2 x the largest cached (or water) roughness times the noise amplitude (at most 0.1);
    // water: the root term and the two wave terms at their largest.
    const TProject& p = Project();
    const int columns = VertexColumns(p), rows = VertexRows(p);
    double roughest = std::fabs(p.Water.Surface.Roughness);
    for (int c = 0; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            roughest = std::max<double>(roughest, std::fabs(p.Grid.Cells[c][r].CachedRoughness));
    const double land = 0.2 * roughest * 0.1;
    const double water = std::sqrt(std::fabs(p.Water.Surface.Roughness) * 0.1) +
                         (p.Water.WaveLength > 0 ? 0.0011 * 1.25 * std::fabs(p.Water.WaveHeight) : 0.0);
    const double bound = std::max(land, water);
    // NaN compares false in max: a damaged value anywhere turns the test off.
    CellDisplacementBound = std::isfinite(bound) && std::isfinite(roughest) ? bound * 1.001 + 1e-6
                                                                              : std::numeric_limits<double>::infinity();
}

bool TFractalRenderEngine::CellOutsideView(const TCellGeometry& cell) const
{
    if (!std::isfinite(CellDisplacementBound))
        return false;
    TVector3 lo = cell.Corners[0], hi = cell.Corners[0];
    for (const TVector3& c : cell.Corners) {
        if (!Finite(c))
            return false;
        lo = {std::min(lo.X, c.X), std::min(lo.Y, c.Y), std::min(lo.Z, c.Z)};
        hi = {std::max(hi.X, c.X), std::max(hi.Y, c.Y), std::max(hi.Z, c.Z)};
    }
    // Sub-vertices are blends of the corners (inside the box) moved up or down by a displacement;
    // a hair of margin covers the rounding of the blends.
    const double margin = 1e-4 * std::max({hi.X - lo.X, hi.Y - lo.Y, hi.Z - lo.Z, 1.0f});
    const float dy = static_cast<float>(CellDisplacementBound + margin);
    const TVector3 low{static_cast<float>(lo.X - margin), lo.Y - dy, static_cast<float>(lo.Z - margin)};
    const TVector3 high{static_cast<float>(hi.X + margin), hi.Y + dy, static_cast<float>(hi.Z + margin)};
    return CellProjector->BoxOutside(low, high);
}

// ---- Texels ------------------------------------------------------------------------------------

TFractalRenderEngine::TTexelQuad TFractalRenderEngine::TexelQuadOf(const TCellGeometry& q)
{
    TTexelQuad t;
    std::copy(q.Corners, q.Corners + 4, t.Corners);
    std::copy(q.CornerNormals, q.CornerNormals + 4, t.CornerNormals);
    std::copy(q.CornerLight, q.CornerLight + 4, t.CornerLight);
    t.Column = q.Column;
    t.Row = q.Row;
    t.CentreY = q.Centre.Y;
    return t;
}

void TFractalRenderEngine::CornerReflections(const TTexelQuad& q, TFloatRGB (&sky)[4],
                                             TFloatRGB (&reflected)[4]) const
{
    const TProject& p = Project();
    for (int k = 0; k < 4; ++k)
        p.MirrorColours(p.WaterMirrorAt(q.Corners[k].X, q.Corners[k].Y, q.Corners[k].Z), sky[k], reflected[k]);
}

TFloatRGB TFractalRenderEngine::ShadeTexels(const TTexelQuad& q, const double (&roughness)[4], bool water,
                                            int side, const TFloatRGB (&sky)[4], const TFloatRGB (&reflected)[4],
                                            const TPlantShadowView* plantShadows, float* out) const
{
    const TProject& p = Project();
    const double step = 1.0 / (side - 1); // side is at least 2
    const TSurfaceMaterial& waterMaterial = p.Water.Surface;
    const bool modelShadows = HasModelShadows();
    const auto& surfaces = p.Fractal.TerrainSurfaces;
    const int surfaceCount = std::clamp<int>(p.Fractal.TerrainSurfaceCount, 0, static_cast<int>(surfaces.size()));
    const int layerCount = std::clamp<int>(p.TerrainLayers.Count, 0, static_cast<int>(p.TerrainLayers.Items.size()));

    const TLitShading lit = LitShading();
    TFloatRGB colour, result;
    TTexelPoint t;
    for (int i = 0; i < side; ++i) {
        const double u = i * step;
        for (int j = 0; j < side; ++j) {
            const double v = j * step;
            const TWeights w = Bilinear(u, v);
            const TVector3 position = Blend(q.Corners, w);
            TVector3 normal = Blend(q.CornerNormals, w);
            double light = Blend(q.CornerLight, w);
            const double rough = Blend(roughness, w);
            if (!water) {
                t.NoiseRow = i;
                t.NoiseColumn = j;
                t.X = position.X;
                t.Y = position.Y;
                t.Z = position.Z;
                t.NormalY = NormalizeVector(normal).Y;
                p.SurfaceColourAt(t);
                colour = {t.Color.R, t.Color.G, t.Color.B};
                const int a = DetailIndex(position.X * 11.0), b = DetailIndex(position.Z * 11.0);
                const double na = DetailTiles[0][a][b] - DetailMean, nb = DetailTiles[0][b][a] - DetailMean;
                if (rough != 0) {
                    normal = FractalTables::RotateAboutZ(normal, static_cast<float>(rough * 2.0 * na));
                    normal = FractalTables::RotateAboutX(normal, static_cast<float>(rough * 2.0 * nb));
                }
            }
            if (modelShadows)
                ModelShadowsOnTexel(position.X, position.Z, light);
            if (plantShadows)
                plantShadows->Apply(position.X, position.Z, light);
            if (!water) {
                double selfLight = 0;
                if (t.Kind >= 1 && t.Kind <= 3 && t.Kind - 1 < surfaceCount)
                    selfLight = surfaces[t.Kind - 1].Material.Emission / 100.0;
                else if (t.Kind == 5 && t.LayerIndex >= 0 && t.LayerIndex < layerCount)
                    selfLight = p.TerrainLayers.Items[t.LayerIndex].Emission / 100.0;
                result = LitPointColour(lit, colour, position, normal, selfLight, light);
            } else {
                result = SkyColourOf(true, Blend(sky, w), Blend(reflected, w), position, normal, 0.0,
                                     waterMaterial.Emission / 100.0, waterMaterial.Specularity / 100.0,
                                     waterMaterial.Shininess, light);
            }
            float* texel = out + (i * side + j) * 3;
            texel[0] = result.R;
            texel[1] = result.G;
            texel[2] = result.B;
        }
    }
    return result;
}

void TFractalRenderEngine::KeepTexelResult(const TTexelQuad& q, bool water, const TFloatRGB& last)
{
    // The cell's vertex keeps the last texel's colour and the sub-quad's height, for the water
    // reflections and the placed models.
    TProject& p = Project();
    const int c = q.Column, r = q.Row;
    if (c >= 0 && r >= 0 && c < VertexColumns(p) && r < VertexRows(p)) {
        TGridCell& cell = p.Grid.Cells[c][r];
        if (!water)
            cell.Color = last;
        cell.SurfaceHeight = q.CentreY;
    }
}

void TFractalRenderEngine::ComputeCellTexels(const TTexelQuad& quad, const double (&roughness)[4], bool water)
{
    // Water reflects what the four corners see; blended across the sub-quad.
    TFloatRGB sky[4], reflected[4];
    if (water)
        CornerReflections(quad, sky, reflected);
    TPlantShadowView shadows;
    const bool plantShadows = HasPlantShadows();
    if (plantShadows)
        shadows = LivePlantShadows();
    const int side = CellTextureSide;
    const TFloatRGB last =
        ShadeTexels(quad, roughness, water, side, sky, reflected, plantShadows ? &shadows : nullptr, Texels);
    TexelsShaded += static_cast<int64_t>(side) * side;
    KeepTexelResult(quad, water, last);
    CurrentColour = last;
}

void TFractalRenderEngine::BatchCellTexture(const TTexelQuad& quad, const double (&roughness)[4], bool water,
                                            const TWaterMirror* const (&mirrors)[4])
{
    BatchesReady();
    const int side = CellTextureSide;
    const bool deferred = ThreadCount != 1;
    if (TexelBatches[FillingBatch].Vertices.size() >= std::max<size_t>(TexelBatchLimit, 1) * 4 * kVertexFloats)
        HandOverBatch();
    if (!deferred)
        ComputeCellTexels(quad, roughness, water);
    TTexelAtlas::TSlot slot;
    if (!TexelBatches[FillingBatch].Atlas.Allocate(side, slot)) {
        HandOverBatch();
        if (!TexelBatches[FillingBatch].Atlas.Allocate(side, slot))
            return; // cannot happen for the sides of the table: an empty atlas holds any slot
    }
    TTexelBatch& batch = TexelBatches[FillingBatch];
    if (KeepTextureSides)
        TextureSides.push_back(static_cast<uint8_t>(side));
    if (deferred) {
        // The texels are shaded later, on other threads. Everything that runs before then sees
        // what it would have seen had they been shaded now: the generator moves on by the draws
        // they take, and the shading counter counts them.
        TTexelJob& job = batch.Jobs.emplace_back();
        job.Quad = quad;
        std::copy(roughness, roughness + 4, job.Roughness);
        job.Water = water;
        job.Side = side;
        job.Slot = slot;
        job.Seed = RandSeed();
        job.MirrorsKnown = water && mirrors[0] && mirrors[1] && mirrors[2] && mirrors[3];
        if (job.MirrorsKnown)
            for (int k = 0; k < 4; ++k)
                job.Mirrors[k] = *mirrors[k];
        if (!water)
            SetRandSeed(RandSeedAfter(job.Seed, static_cast<uint64_t>(side) * side * SurfaceColourDraws));
        if (HasPlantShadows()) {
            // The gathered shadows belong to the cell being drawn and are gone by the time the
            // texels are shaded: the sub-quads of the cell share one copy.
            if (batch.PlantShadows.empty() || batch.PlantShadowsVersion != PlantShadowVersion) {
                BuildPlantShadowGrid();
                TPlantShadowSet& copy = batch.PlantShadows.emplace_back();
                copy.Discs = PlantShadows;
                std::copy(PlantShadowBox, PlantShadowBox + 4, copy.Box);
                copy.Factor = PlantShadowFactor;
                copy.Offsets = PlantShadowOffsets;
                copy.Indices = PlantShadowIndices;
                batch.PlantShadowsVersion = PlantShadowVersion;
            }
            job.PlantShadows = static_cast<int32_t>(batch.PlantShadows.size()) - 1;
        }
        TexelsShaded += static_cast<int64_t>(side) * side;
    } else {
        StoreTexels(batch.Atlas, slot, Texels, side);
    }
    // The fan's four corners; drawn as the triangles (0, 1, 2) and (0, 2, 3).
    const size_t at = batch.Vertices.size();
    batch.Vertices.resize(at + 4 * kVertexFloats);
    float* out = batch.Vertices.data() + at;
    for (int k = 0; k < 4; ++k) {
        TTexelAtlas::TexCoord(slot, static_cast<float>(kSubQuadUV[k].X), static_cast<float>(kSubQuadUV[k].Y), out[0],
                              out[1]);
        const TVector3& v = quad.Corners[k];
        out[2] = v.X;
        out[3] = v.Y;
        out[4] = v.Z;
        out += kVertexFloats;
    }
}

void TFractalRenderEngine::ShadeBatch(TTexelBatch& batch)
{
    std::vector<TTexelJob>& jobs = batch.Jobs;
    auto shade = [&](TTexelJob& job) {
        const TWorkGate::TPass pass(ShadingGate);
        // Each job draws from a generator of its own, started where the sequence in drawing order
        // would have been, and leaves the shared haze record alone.
        TLocalRandom generator(job.Seed);
        TQuietHazeRecord quiet;
        float texels[TTexelAtlas::MaxSide * TTexelAtlas::MaxSide * 3];
        TPlantShadowView shadows;
        if (job.PlantShadows >= 0)
            shadows = batch.PlantShadows[job.PlantShadows].View();
        job.Last = ShadeTexels(job.Quad, job.Roughness, job.Water, job.Side, job.Sky, job.Reflected,
                               job.PlantShadows >= 0 ? &shadows : nullptr, texels);
        StoreTexels(batch.Atlas, job.Slot, texels, job.Side);
    };
    // Land first: no land texel reads what another texel leaves behind.
    std::vector<size_t> land, water;
    for (size_t k = 0; k < jobs.size(); ++k)
        (jobs[k].Water ? water : land).push_back(k);
    ParallelFor(ThreadCount, land.size(), [&](size_t k) { shade(jobs[land[k]]); }, TWorkPool::Background);
    // Then, in drawing order, what each sub-quad leaves in its vertex; a water sub-quad looks at
    // its reflections just where it would have in order, after the vertices drawn before it. (Its
    // own vertex gets only its height, which no texel reads.)
    {
        TQuietHazeRecord quiet;
        const TProject& p = Project();
        for (TTexelJob& job : jobs) {
            const TWorkGate::TPass pass(ShadingGate);
            if (job.Water && job.MirrorsKnown) {
                for (int k = 0; k < 4; ++k)
                    p.MirrorColours(job.Mirrors[k], job.Sky[k], job.Reflected[k]);
            } else if (job.Water) {
                CornerReflections(job.Quad, job.Sky, job.Reflected);
            }
            KeepTexelResult(job.Quad, job.Water, job.Last);
        }
    }
    ParallelFor(ThreadCount, water.size(), [&](size_t k) { shade(jobs[water[k]]); }, TWorkPool::Background);
    if (!jobs.empty())
        batch.Last = jobs.back().Last;
}

void TFractalRenderEngine::HandOverBatch()
{
    TTexelBatch& batch = TexelBatches[FillingBatch];
    if (batch.Vertices.empty()) {
        DrawHandedBatch();
        batch.Clear();
        return;
    }
    // The batch handed over before is drawn when this one is handed over (or at the end),
    // whichever way its texels are shaded, so that OpenGL sees the same commands in the same
    // order either way. This one's texels are being shaded meanwhile.
    const int previous = FinishHandedShading();
    HandedBatch = FillingBatch;
    FillingBatch = 1 - FillingBatch;
    if (!batch.Jobs.empty())
        HandedShading = RunInBackground([this, &batch] { ShadeBatch(batch); }, TWorkPool::Background);
    if (previous >= 0)
        DrawAtlas(TexelBatches[previous]);
}

int TFractalRenderEngine::FinishHandedShading()
{
    if (HandedBatch < 0)
        return -1;
    if (HandedShading.valid()) {
        // Messages go on running while the drawing waits for the texels.
        const auto slice = std::max(PumpInterval, std::chrono::milliseconds(1));
        while (HandedShading.wait_for(slice) != std::future_status::ready)
            PumpWithinLine();
    }
    const int handed = HandedBatch;
    TTexelBatch& batch = TexelBatches[handed];
    HandedBatch = -1;
    if (HandedShading.valid()) {
        try {
            HandedShading.get();
        } catch (...) {
            batch.Clear();
            throw;
        }
        // The shading scratch colour ends as the last texel's, as it would in order.
        if (!batch.Jobs.empty())
            CurrentColour = batch.Last;
    }
    return handed;
}

void TFractalRenderEngine::DrawHandedBatch()
{
    const int handed = FinishHandedShading();
    if (handed >= 0)
        DrawAtlas(TexelBatches[handed]);
}

void TFractalRenderEngine::WaitForHandedBatch()
{
    if (HandedShading.valid())
        HandedShading.wait();
}

void TFractalRenderEngine::TTexelBatch::Clear()
{
    Atlas.Reset();
    Vertices.clear();
    Jobs.clear();
    PlantShadows.clear();
}

void TFractalRenderEngine::DrawAtlas(TTexelBatch& batch)
{
    TTexelAtlas& Atlas = batch.Atlas;
    std::vector<float>& BatchVertices = batch.Vertices;
    if (Atlas.Empty() || BatchVertices.empty()) {
        batch.Clear();
        return;
    }
    const int texture = AtlasTextureInUse;
    AtlasTextureInUse = 1 - AtlasTextureInUse;
    DrawAtlasQuads(texture, Atlas.Data(), Atlas.UsedRows(), BatchVertices.data(),
                   BatchVertices.size() / (4 * kVertexFloats));
    ClearFPUExceptions();
    batch.Clear();
}

void TFractalRenderEngine::DrawAtlasQuads(int k, const uint8_t* texels, int rows, const float* vertices, size_t quads)
{
    const TGLEntryPoints& gl = GL();
    TGLAttribScope keep(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT);
    GLint alignment = 4, rowLength = 0, skipRows = 0, skipPixels = 0;
    gl.glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    gl.glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    gl.glGetIntegerv(GL_UNPACK_SKIP_ROWS, &skipRows);
    gl.glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &skipPixels);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl.glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    gl.glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);

    gl.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    gl.glEnable(GL_CULL_FACE);
    gl.glFrontFace(GL_CW);
    gl.glEnable(GL_TEXTURE_2D);
    gl.glColor4f(1, 1, 1, 1);
    gl.glEnableClientState(GL_VERTEX_ARRAY);
    gl.glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    BindAtlasTexture(k);
    gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, TTexelAtlas::Width, rows, GL_RGB, GL_UNSIGNED_BYTE, texels);
    const GLsizei stride = kVertexFloats * sizeof(float);
    // The same triangles as six vertices a quad would give, each corner sent to the driver once:
    // it transforms four vertices a quad instead of six.
    static const std::vector<uint32_t> indices = [] {
        std::vector<uint32_t> list;
        list.reserve(static_cast<size_t>(MaxAtlasQuads) * 6);
        for (uint32_t q = 0; q < static_cast<uint32_t>(MaxAtlasQuads); ++q)
            for (uint32_t corner : {0u, 1u, 2u, 0u, 2u, 3u})
                list.push_back(4 * q + corner);
        return list;
    }();
    for (size_t first = 0; first < quads; first += MaxAtlasQuads) {
        const size_t count = std::min<size_t>(quads - first, MaxAtlasQuads);
        gl.glTexCoordPointer(2, GL_FLOAT, stride, vertices + first * 4 * kVertexFloats);
        gl.glVertexPointer(3, GL_FLOAT, stride, vertices + first * 4 * kVertexFloats + 2);
        gl.glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(count * 6), GL_UNSIGNED_INT, indices.data());
    }
    gl.glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    gl.glDisableClientState(GL_VERTEX_ARRAY);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    gl.glPixelStorei(GL_UNPACK_SKIP_ROWS, skipRows);
    gl.glPixelStorei(GL_UNPACK_SKIP_PIXELS, skipPixels);
    // The driver rasterises what it has been given only once it is flushed, or once a texture it
    // still reads is to be uploaded again, and then the upload waits for it. Flushed now, the
    // batch is drawn while the next one is made, and the atlas texture is free again by the time
    // it is uploaded to.
    SafeGLFlush(gl);
}

bool TFractalRenderEngine::BindAtlasTexture(int k)
{
    const TGLEntryPoints& gl = GL();
    gl.glBindTexture(GL_TEXTURE_2D, AtlasTextureNames[k]);
    GLint width = 0, height = 0, format = 0;
    gl.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    gl.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    gl.glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    // Only the rows a batch uploads are ever sampled, so what an earlier render left does not show.
    const bool made = width != TTexelAtlas::Width || height != TTexelAtlas::Height || format != GL_RGB;
    if (made)
        gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, TTexelAtlas::Width, TTexelAtlas::Height, 0, GL_RGB,
                        GL_UNSIGNED_BYTE, nullptr);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    return made;
}

void TFractalRenderEngine::PrepareContext(int width, int height)
{
    const TGLEntryPoints& gl = GL();
    bool made = false;
    {
        TGLAttribScope keep(GL_TEXTURE_BIT);
        made = BindAtlasTexture(0);
        made = BindAtlasTexture(1) || made;
    }
    // A context met before has all it needs.
    if (!made)
        return;
    // The sky is the first drawing of a render, and the one that meets the driver's first use of
    // its state and memory: it is drawn here once, ahead, and cleared away.
    PrepareSkyDrawing(width, height);
    TGLAttribScope keep(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.glClearColor(0, 0, 0, 0);
    gl.glClearDepth(1);
    gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SafeGLFlush(gl);
}

void TFractalRenderEngine::UploadCellTexture(const TCellGeometry& q, const double (&roughness)[4], bool water)
{
    ComputeCellTexels(TexelQuadOf(q), roughness, water);
    const TGLEntryPoints& gl = GL();
    const int side = CellTextureSide;
    gl.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    gl.glBindTexture(GL_TEXTURE_2D, kSideTextureBase + side);
    if (!TextureAllocated[side]) {
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, side, side, 0, GL_RGB, GL_FLOAT, Texels);
        TextureAllocated[side] = 1;
    } else {
        gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, side, side, GL_RGB, GL_FLOAT, Texels);
    }
}

void TFractalRenderEngine::DrawTexturedQuad(const TCellGeometry& q)
{
    const TGLEntryPoints& gl = GL();
    gl.glEnable(GL_CULL_FACE);
    gl.glFrontFace(GL_CW);
    gl.glEnable(GL_TEXTURE_2D);
    gl.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    gl.glBindTexture(GL_TEXTURE_2D, kSideTextureBase + CellTextureSide);
    SafeGLBegin(gl, GL_TRIANGLE_FAN);
    gl.glColor4f(1, 1, 1, 1);
    for (int k = 0; k < 4; ++k) {
        gl.glTexCoord2f(static_cast<float>(q.CornerUV[k].X), static_cast<float>(q.CornerUV[k].Y));
        gl.glVertex3f(q.Corners[k].X, q.Corners[k].Y, q.Corners[k].Z);
    }
    SafeGLEnd(gl);
    SafeGLFlush(gl);
    gl.glDisable(GL_TEXTURE_2D);
}

void TFractalRenderEngine::PrepareBatchMemory(size_t quads)
{
    try {
        for (TTexelBatch& batch : TexelBatches) {
            batch.Jobs.resize(quads);
            batch.Jobs.clear();
            batch.Vertices.resize(quads * 4 * kVertexFloats);
            batch.Vertices.clear();
        }
    } catch (...) {
        // Short of memory now: the batches grow as they are filled.
    }
}

void TFractalRenderEngine::BatchesReady()
{
    if (batchMemory_.joinable())
        batchMemory_.join();
}

void TFractalRenderEngine::FlushCellBatches()
{
    BatchesReady();
    HandOverBatch();
    DrawHandedBatch();
    CellProjector.reset();
    planProjector_.reset();
}

void TFractalRenderEngine::ReleaseCellTextures()
{
    BatchesReady();
    // Pending sub-quads of a render that failed are dropped with their textures.
    WaitForHandedBatch();
    HandedShading = {};
    HandedBatch = -1;
    for (TTexelBatch& batch : TexelBatches)
        batch.Clear();
    FillingBatch = 0;
    CellProjector.reset();
    planProjector_.reset();
    // The atlas textures stay in the context for the next render.
    const TGLEntryPoints* gl = GLEntryPoints();
    for (int side = 0; side <= 32; ++side) {
        if (TextureAllocated[side] && gl) {
            const GLuint name = kSideTextureBase + side;
            gl->glDeleteTextures(1, &name);
        }
        TextureAllocated[side] = 0;
    }
    AtlasTextureInUse = 0;
}
