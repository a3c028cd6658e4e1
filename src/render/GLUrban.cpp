#include "render/GLUrban.h"

#include "models/GraphicEx.h"
#include "platform/GLEntryPoints.h"
#include "project/Project.h"
#include "render/GLPlant.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kDegrees = M_PI / 180.0;

double Clamp01(double v) { return v > 0 ? (v < 1 ? v : 1.0) : 0.0; } // NaN becomes 0
double FracAbs(double v) { return std::fabs(v) - std::trunc(std::fabs(v)); }

// The pixel at fractions (fu, fv) of a picture, as floats 0 .. 1.
TFloatRGB PixelAt(const QImage& image, double fu, double fv)
{
    const int x = std::clamp(static_cast<int>(fu * image.width()), 0, image.width() - 1);
    const int y = std::clamp(static_cast<int>(fv * image.height()), 0, image.height() - 1);
    const QRgb c = image.pixel(x, y);
    return {qRed(c) / 255.0f, qGreen(c) / 255.0f, qBlue(c) / 255.0f};
}

// Builds faces in building coordinates (x across, y up, z along; y from the base point), each wound
// so that its first three points give the outward normal, and hands them to the caller's list.
class TShapeBuilder {
public:
    TShapeBuilder(std::vector<TUrbanFace>& faces, const TVector3& base, double cosA, double sinA, int segments)
        : faces_(faces), base_(base), cos_(cosA), sin_(sinA), segments_(segments) {}

    // Four walls from y0 to y1 around (cx, cz) with half-extents a and b, and a flat top if asked.
    void Box(double cx, double cz, double a, double b, double y0, double y1, bool top)
    {
        const double xs[4] = {cx - a, cx + a, cx + a, cx - a};
        const double zs[4] = {cz - b, cz - b, cz + b, cz + b};
        for (int k = 0; k < 4; ++k) {
            const int n = (k + 1) % 4;
            const double mx = (xs[k] + xs[n]) / 2 - cx, mz = (zs[k] + zs[n]) / 2 - cz;
            Face(false, {{xs[k], y0, zs[k]}, {xs[n], y0, zs[n]}, {xs[n], y1, zs[n]}, {xs[k], y1, zs[k]}}, {mx, 0, mz});
        }
        if (top) Face(true, {{xs[0], y1, zs[0]}, {xs[1], y1, zs[1]}, {xs[2], y1, zs[2]}, {xs[3], y1, zs[3]}}, {0, 1, 0});
    }
    // A gable roof over a box top at y with its ridge along z, rising by rise.
    void Gable(double a, double b, double y, double rise)
    {
        const double r = y + rise;
        Face(true, {{-a, y, -b}, {-a, y, b}, {0, r, b}, {0, r, -b}}, {-1, 1, 0});
        Face(true, {{a, y, -b}, {a, y, b}, {0, r, b}, {0, r, -b}}, {1, 1, 0});
        Face(true, {{-a, y, -b}, {a, y, -b}, {0, r, -b}}, {0, 0, -1});
        Face(true, {{-a, y, b}, {a, y, b}, {0, r, b}}, {0, 0, 1});
    }
    // A round part of radius r around (cx, cz) from y0 to y1, closed by a cap if asked.
    void Round(double cx, double cz, double r, double y0, double y1, bool cap)
    {
        for (int k = 0; k < segments_; ++k) {
            const double t0 = 2 * M_PI * k / segments_, t1 = 2 * M_PI * (k + 1) / segments_;
            const double tm = (t0 + t1) / 2;
            Face(false,
                 {{cx + r * std::cos(t0), y0, cz + r * std::sin(t0)}, {cx + r * std::cos(t1), y0, cz + r * std::sin(t1)},
                  {cx + r * std::cos(t1), y1, cz + r * std::sin(t1)}, {cx + r * std::cos(t0), y1, cz + r * std::sin(t0)}},
                 {std::cos(tm), 0, std::sin(tm)});
        }
        if (cap) {
            std::vector<std::array<double, 3>> ring;
            for (int k = 0; k < segments_; ++k) {
                const double t = 2 * M_PI * k / segments_;
                ring.push_back({cx + r * std::cos(t), y1, cz + r * std::sin(t)});
            }
            Face(true, ring, {0, 1, 0});
        }
    }
    // Segments from a ring of radius r at y0 converging to the point (cx, y1, cz).
    void RoundTop(double cx, double cz, double r, double y0, double y1)
    {
        for (int k = 0; k < segments_; ++k) {
            const double t0 = 2 * M_PI * k / segments_, t1 = 2 * M_PI * (k + 1) / segments_;
            const double tm = (t0 + t1) / 2;
            Face(true, {{cx + r * std::cos(t0), y0, cz + r * std::sin(t0)}, {cx + r * std::cos(t1), y0, cz + r * std::sin(t1)},
                        {cx, y1, cz}},
                 {std::cos(tm), r > 0 ? r : 1, std::sin(tm)});
        }
    }

private:
    void Face(bool roof, std::vector<std::array<double, 3>> local, std::array<double, 3> outward)
    {
        // Wind the face so that its normal points outward.
        const auto& p0 = local[0];
        const auto& p1 = local[1];
        const auto& p2 = local[2];
        const double ux = p0[0] - p1[0], uy = p0[1] - p1[1], uz = p0[2] - p1[2];
        const double vx = p1[0] - p2[0], vy = p1[1] - p2[1], vz = p1[2] - p2[2];
        const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        if (nx * outward[0] + ny * outward[1] + nz * outward[2] < 0) std::reverse(local.begin(), local.end());
        TUrbanFace face;
        face.Roof = roof;
        face.Points.reserve(local.size());
        for (const auto& p : local)
            face.Points.push_back(MakeVector3(float(base_.X + p[0] * cos_ - p[2] * sin_), float(base_.Y + p[1]),
                                              float(base_.Z + p[0] * sin_ + p[2] * cos_)));
        faces_.push_back(std::move(face));
    }

    std::vector<TUrbanFace>& faces_;
    TVector3 base_;
    double cos_, sin_;
    int segments_;
};

} // namespace

TUrbanPlan::TUrbanPlan() = default;

TProject& TUrbanPlan::Project() const
{
    if (!projectVar_ || !*projectVar_) throw EInitError();
    return **projectVar_;
}

double TUrbanPlan::ScaleDivisor() const
{
    const double ws = Project().WorldScale;
    return std::isfinite(ws) && ws > 0 ? ws : 1.0;
}

void TUrbanPlan::SetPlanArea(double xSize, double ySize)
{
    PlanXSize = xSize;
    PlanYSize = ySize;
    const TProject& p = Project();
    XScale = float(p.Grid.SpacingX / ScaleDivisor());
    YScale = float(p.Grid.SpacingY / ScaleDivisor());
}

void TUrbanPlan::SetPlanHeightScale(double height)
{
    PlanHeight = height;
    HeightScale = float(height * Project().Grid.VerticalScale / ScaleDivisor());
}

void TUrbanPlan::LoadPlanBitmaps()
{
    const auto load = [](const std::string& file, QImage& image) {
        if (file.empty()) return false;
        QImage picture;
        if (!LoadPicture(file, picture) || picture.isNull()) return false;
        image = picture.convertToFormat(QImage::Format_RGB32);
        return !image.isNull();
    };
    const bool height = load(HeightFile, HeightPicture);
    const bool wall = load(WallColourFile, WallPicture);
    const bool roof = load(RoofColourFile, RoofPicture);
    // A height picture that failed to load must not count: buildings are sampled from it.
    Loaded = height && wall && roof ? 1 : 0;
}

bool TUrbanPlan::BuildingAt(const TUrbanArea& area, double& height, TFloatRGB& wallColour, TFloatRGB& roofColour) const
{
    height = -1.0 / 255.0 * HeightScale;
    if (HeightPicture.isNull() || WallPicture.isNull() || RoofPicture.isNull()) return false;
    if (!(PlanXSize > 0) || !(PlanYSize > 0)) return false; // a plan of no size tiles nothing
    // The column comes from the second world coordinate, the row from the first.
    const double fu = (FracAbs(area.A.Y * XScale / PlanXSize) + FracAbs(area.B.Y * XScale / PlanXSize)) / 2;
    const double fv = (FracAbs(area.A.X * YScale / PlanYSize) + FracAbs(area.B.X * YScale / PlanYSize)) / 2;
    if (!std::isfinite(fu) || !std::isfinite(fv)) return false;
    const int v = static_cast<int>(std::lround(PixelAt(HeightPicture, fu, fv).R * 255.0f));
    height = (v > 0 ? v : -1) / 255.0 * HeightScale;
    if (v <= 0) return false;
    // Each colour picture is sampled at the same fractions of its own size (they need not match).
    wallColour = PixelAt(WallPicture, fu, fv);
    roofColour = PixelAt(RoofPicture, fu, fv);
    const auto black = [](const TFloatRGB& c) { return c.R + c.G + c.B == 0; };
    return !black(wallColour) && !black(roofColour);
}

TFloatRGB TUrbanPlan::FaceColour(const TFloatRGB& c, const TVector3& normal) const
{
    const TProject& p = Project();
    const double k = p.Atmosphere.Ambient + p.Atmosphere.Diffuse * LightFactor * ClampedDot(normal, SunDirection);
    const double rgb[3] = {c.R * k, c.G * k, c.B * k};
    float out[3];
    for (int i = 0; i < 3; ++i) out[i] = float(Clamp01(rgb[i] + (HazeColour[i] - rgb[i]) * HazeAmount[i]));
    return {out[0], out[1], out[2]};
}

void TUrbanPlan::BuildingFaces(double h, const TVector3& base, std::vector<TUrbanFace>& faces) const
{
    faces.clear();
    if (!(h > 0) || !std::isfinite(h)) return;
    TShapeBuilder shape(faces, base, RotationCos, RotationSin, 10 * std::clamp(DetailLevel, 1, 4));
    const auto footprint = [&](int k, double f, double& width, double& depth) {
        const double m = R[k] <= 0.3 ? 1 : R[k] <= 0.6 ? 3 : 2;
        width = (R[7] * 50 + 50) / (100 * f * m) * h;
        depth = (R[3] * 50 + 50) / (100 * f * 2) * h;
    };
    const double bottom = -0.1;
    double w = 0, d = 0;
    switch (BuildingType) {
    case 0: // houses
        footprint(2, 0.5, w, d);
        if (R[3] > 0.95) {
            shape.Box(0, 0, w, d, bottom, h, true);
        } else {
            shape.Box(0, 0, w, d, bottom, h, false);
            shape.Gable(w, d, h, 0.2 * h * (R[3] < 0.5 ? 1.0 : 0.5));
        }
        break;
    case 1: // blocks
        footprint(0, 2.0, w, d);
        if (R[13] > 0.8) {
            shape.Round(0, 0, w, bottom, h, true);
        } else if (R[13] > 0.6) {
            shape.Box(0, 0, w, d, bottom, h, false);
            shape.Gable(w, d, h, 0.2 * h);
        } else if (R[13] > 0.5) {
            shape.Box(0, 0, w, d, bottom, h, true);
            shape.Round(0, -d, 0.75 * w, bottom, h, true);
            shape.Round(0, d, 0.75 * w, bottom, h, true);
        } else {
            shape.Box(0, 0, w, d, bottom, h, true);
        }
        break;
    case 2: // towers
        footprint(2, 1.0, w, d);
        if (R[13] > 0.8) {
            shape.Round(0, 0, w / 1.5, bottom, h, true);
            shape.Round(0, 0, w, bottom, 0.3 * h, true);
        } else if (R[13] > 0.6) {
            shape.Round(0, 0, 0.75 * w, bottom, 0.8 * h, false);
            shape.RoundTop(0, 0, 0.75 * w, 0.8 * h, h);
        } else if (R[13] > 0.5) {
            shape.Round(0, 0, w, bottom, h, true);
        } else {
            shape.Box(0, 0, w, d, bottom, h, true);
        }
        break;
    default: break;
    }
}

void TUrbanPlan::DrawUrbanPlan(const TUrbanArea& area, int32_t seed, const TVector3& hazeColour,
                               const TVector3& hazeAmount, double lightFactor, double ground)
{
    double h = 0;
    TFloatRGB wall, roof;
    if (!BuildingAt(area, h, wall, roof)) return;
    HazeColour[0] = hazeColour.X;
    HazeColour[1] = hazeColour.Y;
    HazeColour[2] = hazeColour.Z;
    HazeAmount[0] = hazeAmount.X;
    HazeAmount[1] = hazeAmount.Y;
    HazeAmount[2] = hazeAmount.Z;
    LightFactor = lightFactor;
    SetRandSeed(static_cast<uint32_t>(seed));
    for (double& r : R) r = RandomReal();
    Rotation = R[7] * 90.0;
    RotationSin = std::sin(Rotation * kDegrees);
    RotationCos = std::cos(Rotation * kDegrees);
    const TProject& p = Project();
    SunDirection = TPlant::SunDirectionFor(p.Lighting.LightAzimuth, p.Lighting.LightAltitude);
    const TVector3 base = MakeVector3(float((area.A.X + area.B.X) / 2), float(ground - 0.1), float((area.A.Y + area.B.Y) / 2));
    BuildingFaces(h, base, faces_);

    const TGLEntryPoints& gl = GL();
    const bool culled = gl.glIsEnabled(GL_CULL_FACE);
    gl.glDisable(GL_CULL_FACE);
    for (const TUrbanFace& face : faces_) {
        const TVector3 n = TriangleNormal(face.Points[0], face.Points[1], face.Points[2]);
        const TFloatRGB c = FaceColour(face.Roof ? roof : wall, n);
        SafeGLBegin(gl, GL_POLYGON);
        gl.glColor3f(c.R, c.G, c.B);
        for (const TVector3& v : face.Points) gl.glVertex3f(v.X, v.Y, v.Z);
        SafeGLEnd(gl);
    }
    if (culled) gl.glEnable(GL_CULL_FACE);
}
