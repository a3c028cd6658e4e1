#include "render/GLPlant.h"

#include "models/GraphicEx.h"
#include "platform/GLEntryPoints.h"
#include "platform/LSystem.h"
#include "project/MathUtils.h"
#include "project/Project.h"
#include "render/RendererEngine.h"
#include "render/rrColors.h"

#include <algorithm>
#include <cmath>

namespace {

const TFloatRGB kDefaultPalette[16] = {
    {0.5f, 0.5f, 0.5f}, {0.3f, 0.3f, 0.3f}, {0.4f, 0.4f, 0.8f}, {0.4f, 0.8f, 0.8f},
    {0.4f, 0.8f, 0.4f}, {0.8f, 0.8f, 0.4f}, {0.8f, 0.4f, 0.4f}, {0.8f, 0.4f, 0.8f},
    {0.2f, 0.5f, 0.2f}, {0.5f, 0.5f, 0.2f}, {0.5f, 0.2f, 0.2f}, {0.5f, 0.2f, 0.5f},
    {0.2f, 0.2f, 0.6f}, {0.5f, 0.5f, 0.5f}, {0.7f, 0.7f, 0.7f}, {0.9f, 0.9f, 0.9f},
};

constexpr double kDegrees = M_PI / 180.0;

double Clamp01(double v) { return v > 0 ? (v < 1 ? v : 1.0) : 0.0; } // NaN becomes 0
float Frac(float v) { return v - std::trunc(v); }

// Clears pending floating-point flags however the scope is left.
struct TFPUGuard {
    ~TFPUGuard() { ClearFPUExceptions(); }
};

} // namespace

TPlant::TPlant()
{
    std::copy(std::begin(kDefaultPalette), std::end(kDefaultPalette), Palette);
}

TPlant::~TPlant() = default;

TProject& TPlant::Project() const
{
    if (!projectVar_ || !*projectVar_) throw EInitError();
    return **projectVar_;
}

TVector3 TPlant::SunDirectionFor(double azimuth, double altitude)
{
    const double k = TRenderEngine::SunScale;
    return NormalizeVector(MakeVector3(float(std::sin(azimuth * kDegrees) * k),
                                       float(std::sin((90.0 - altitude) * kDegrees) * k),
                                       float(std::cos((azimuth + 180.0) * kDegrees) * k)));
}

void TPlant::VaryPlantColor(int32_t actorIndex, const TVector3& point)
{
    const TProject& p = Project();
    const int used = std::clamp<int>(p.Actors.Count, 0, static_cast<int>(p.Actors.Items.size()));
    if (actorIndex < 0 || actorIndex >= used) return;
    const TActor& actor = p.Actors.Items[actorIndex];
    // The same three noise values serve every colour of the palette.
    double a = TableNoise(Frac(point.Y), Frac(point.X));
    double b = TableNoise(Frac(point.Z), Frac(point.X));
    const double t = TableNoise(Frac(point.Z), Frac(point.Y));
    if (t > a) a = -a;
    if (t < b) b = -b;
    for (int c = 0; c < 16; ++c) {
        // Stored colours outside 0 .. 1 are clamped rather than let the conversion fail the render.
        const TFloatRGB& src = actor.Colors[c];
        TColorTriple hls, rgb{Clamp01(src.R), Clamp01(src.G), Clamp01(src.B)};
        RGBToHLS(rgb, hls);
        hls[0] = Clamp01(hls[0] + a * actor.HueVariability);
        hls[1] = Clamp01(hls[1] + b * actor.BrightnessVariability);
        HLSToRGB(hls, rgb);
        Palette[c] = {float(rgb[0]), float(rgb[1]), float(rgb[2])};
    }
}

double TPlant::EstimateScreenSize(const TVector3& point, double height) const
{
    const TPointProjector projector;
    TVector3 foot, top;
    const bool footIn = projector.Project(point, foot);
    const bool topIn = projector.Project(MakeVector3(point.X, float(point.Y + height), point.Z), top);
    if (footIn && topIn) return std::fabs(double(foot.Y) - double(top.Y));
    if (footIn || topIn) return 256.0;
    return 0.0;
}

const std::string* TPlant::FileForScreenSize(double size) const
{
    if (!(size > 0.5)) return nullptr;
    const std::string* file = size < 16 ? &FarFile : size < 32 ? &MidFile : &NearFile;
    return file->empty() ? nullptr : file;
}

void TPlant::GetPlantColor(int32_t index, TFloatRGB& colour) const
{
    colour = index >= 0 && index <= 15 ? Palette[index] : TFloatRGB{0.5f, 0.5f, 0.5f};
}

TFloatRGB TPlant::ShadePlantColour(const TFloatRGB& c, const TVector3& normal, const TVector3& sun,
                                   double lightFactor) const
{
    const TProject& p = Project();
    const double k = p.Atmosphere.Ambient + p.Atmosphere.Diffuse * lightFactor * 0.5 * AbsClampedDot(normal, sun);
    return {float(c.R * k), float(c.G * k), float(c.B * k)};
}

TFloatRGB TPlant::ApplyHaze(const TFloatRGB& c) const
{
    return {float(Clamp01(c.R + (HazeColour[0] - c.R) * HazeAmount[0])),
            float(Clamp01(c.G + (HazeColour[1] - c.G) * HazeAmount[1])),
            float(Clamp01(c.B + (HazeColour[2] - c.B) * HazeAmount[2]))};
}

const TPlantShape* TPlant::ShapeFor(const std::string& file, int32_t seed)
{
    const int variant = static_cast<int>(static_cast<uint32_t>(seed) % VariantsPerFile);
    TFileShapes& entry = shapes_[file];
    if (entry.Shapes[variant]) return entry.Shapes[variant].get();
    if (entry.Failed[variant]) return nullptr;
    if (!buffer_) buffer_ = std::make_unique<TLParserBuffer>();
    ++parserRuns_;
    TLParserBuffer& buf = *buffer_;
    // Stored names may differ from the disk's in case or use '\\'.
    std::string path = FindFileCaseInsensitive(file + ".ls");
    if (path.empty()) path = FindFileCaseInsensitive(file);
    if (path.empty()) path = file;
    const bool ok = getLParserData(path.c_str(), variant, 0, &buf);
    // A count outside the buffer is not accepted, whoever filled it.
    if (!ok || buf.Count < 0 || buf.Count > kLParserMaxPolygons) {
        // A file that cannot be used fails for every seed: it is not read again this render.
        entry.Failed.fill(true);
        return nullptr;
    }
    auto shape = std::make_unique<TPlantShape>();
    shape->Extent = buf.Highest - buf.Lowest;
    shape->Vertices.reserve(size_t(buf.Count) * 9);
    shape->Normals.reserve(size_t(buf.Count));
    shape->Colours.reserve(size_t(buf.Count));
    for (int k = 0; k < buf.Count; ++k) {
        const TLParserPolygon& poly = buf.Polygons[k];
        TVector3 v[3];
        for (int i = 0; i < 3; ++i) {
            // The file's third coordinate is the height; the lowest point stands on the ground.
            v[i] = MakeVector3(poly.Vertices[i][0], poly.Vertices[i][2] - buf.Lowest, poly.Vertices[i][1]);
            shape->Vertices.insert(shape->Vertices.end(), {v[i].X, v[i].Y, v[i].Z});
        }
        shape->Normals.push_back(TriangleNormal(v[0], v[1], v[2]));
        shape->Colours.push_back(poly.Colour);
    }
    // A plant flat but for rounding (a leaf lying on the ground) has no height to scale to: left
    // as it is, the scale Height / extent would blow it up to giant polygons.
    float size = 0;
    for (float c : shape->Vertices) size = std::max(size, std::fabs(c));
    if (!(shape->Extent > 1e-5f * size)) shape->Extent = 0;
    ClearFPUExceptions();
    entry.Shapes[variant] = std::move(shape);
    return entry.Shapes[variant].get();
}

void TPlant::DrawPlant(const TVector3& position, const TVector3& hazeColour, const TVector3& hazeAmount,
                       double lightFactor, double height)
{
    const TFPUGuard guard;
    const double size = EstimateScreenSize(position, height);
    if (const std::string* file = FileForScreenSize(size)) {
        current_ = ShapeFor(*file, Random(2147483647));
        currentFile_ = *file;
    }
    if (!current_) return;
    const TPlantShape& shape = *current_;
    if (!(shape.Extent > 0) || shape.Count() == 0) return;
    const float k = float(height / shape.Extent);
    if (!std::isfinite(k)) return;

    HazeColour[0] = hazeColour.X;
    HazeColour[1] = hazeColour.Y;
    HazeColour[2] = hazeColour.Z;
    HazeAmount[0] = hazeAmount.X;
    HazeAmount[1] = hazeAmount.Y;
    HazeAmount[2] = hazeAmount.Z;
    const TProject& p = Project();
    const TVector3 sun = SunDirectionFor(p.Lighting.LightAzimuth, p.Lighting.LightAltitude);

    const TGLEntryPoints& gl = GL();
    const bool culled = gl.glIsEnabled(GL_CULL_FACE);
    gl.glDisable(GL_CULL_FACE); // both sides of every leaf are seen
    // Every polygon is a triangle: one batch draws the same picture as one polygon each.
    gl.glBegin(GL_TRIANGLES);
    const float* v = shape.Vertices.data();
    for (int i = 0; i < shape.Count(); ++i, v += 9) {
        TFloatRGB base;
        GetPlantColor(shape.Colours[i], base);
        const TFloatRGB colour = ApplyHaze(ShadePlantColour(base, shape.Normals[i], sun, lightFactor));
        gl.glColor3f(colour.R, colour.G, colour.B);
        for (int j = 0; j < 3; ++j)
            gl.glVertex3f(position.X + v[j * 3] * k, position.Y + v[j * 3 + 1] * k, position.Z + v[j * 3 + 2] * k);
    }
    gl.glEnd();
    if (culled) gl.glEnable(GL_CULL_FACE);
}
