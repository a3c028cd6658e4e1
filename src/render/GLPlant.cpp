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
#include <filesystem>
#include <fstream>

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

// ---- Shapes --------------------------------------------------------------------------------------

namespace {

// What is known of a file on disk: its size and time, or size -1 when it is not there.
struct TFileStamp {
    std::intmax_t Size = -1;
    std::filesystem::file_time_type Time{};
    bool operator==(const TFileStamp&) const = default;
};

TFileStamp StampOf(const std::string& path)
{
    std::error_code error;
    TFileStamp stamp;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return stamp;
    stamp.Time = std::filesystem::last_write_time(path, error);
    if (error) return stamp;
    stamp.Size = static_cast<std::intmax_t>(size);
    return stamp;
}

// Stored names may differ from the disk's in case or use '\\'; the name + ".ls" comes first.
std::string ResolvePlantFile(const std::string& file)
{
    std::string path = FindFileCaseInsensitive(file + ".ls");
    if (path.empty()) path = FindFileCaseInsensitive(file);
    return path.empty() ? file : path;
}

std::shared_ptr<const TPlantShape> MakePlantShape(const TLParserBuffer& buf)
{
    auto shape = std::make_shared<TPlantShape>();
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
    return shape;
}

} // namespace

struct TPlantShapeCache::TFileEntry {
    std::string Path;     // as found on disk
    TFileStamp Stamp;     // when read
    bool Usable = false;  // read, within the size limit
    bool UsesSeed = true; // whether seeds can grow different shapes
    std::string Text;
};

TPlantShapeCache::TPlantShapeCache(std::size_t maxTriangles) : maxTriangles_(maxTriangles) {}
TPlantShapeCache::~TPlantShapeCache() = default;

TPlantShapeCache::TFileEntry& TPlantShapeCache::FileEntry(const std::string& file)
{
    auto found = files_.find(file);
    if (found != files_.end()) return *found->second;
    if (files_.size() >= MaxFiles) { // more names than any project has: start again
        files_.clear();
        shapes_.clear();
        order_.clear();
        triangles_ = 0;
    }
    auto entry = std::make_unique<TFileEntry>();
    entry->Path = ResolvePlantFile(file);
    entry->Stamp = StampOf(entry->Path);
    std::ifstream in(entry->Path, std::ios::binary);
    if (in && entry->Stamp.Size >= 0 && std::uintmax_t(entry->Stamp.Size) <= kLSystemMaxFileBytes) {
        entry->Text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        entry->Usable = entry->Text.size() <= kLSystemMaxFileBytes;
        entry->UsesSeed = LSystemUsesSeed(entry->Text);
    }
    if (!entry->Usable) entry->Text.clear();
    return *files_.emplace(file, std::move(entry)).first->second;
}

std::shared_ptr<const TPlantShape> TPlantShapeCache::Shape(const std::string& file, int32_t seed, bool* parsed)
{
    if (parsed) *parsed = false;
    const bool known = files_.count(file) != 0;
    TFileEntry& entry = FileEntry(file);
    if (!entry.Usable) {
        // A file that cannot be used counts as one run of the parser, the first time only.
        if (parsed) *parsed = !known;
        return nullptr;
    }
    const TKey key{file, entry.UsesSeed ? seed : 0};
    if (auto hit = shapes_.find(key); hit != shapes_.end()) return hit->second;
    if (!buffer_) buffer_ = std::make_unique<TLParserBuffer>();
    if (parsed) *parsed = true;
    TLParserBuffer& buf = *buffer_;
    const bool ok = LParseText(entry.Text, key.second, buf);
    // A count outside the buffer is not accepted, whoever filled it.
    std::shared_ptr<const TPlantShape> shape;
    if (ok && buf.Count >= 0 && buf.Count <= kLParserMaxPolygons) shape = MakePlantShape(buf);
    // A failure is kept too (as one triangle's worth), so a file that grows nothing is not
    // expanded again for the same seed.
    shapes_.emplace(key, shape);
    order_.push_back(key);
    triangles_ += shape ? std::max<std::size_t>(1, shape->Count()) : 1;
    while (triangles_ > maxTriangles_ && !order_.empty()) {
        auto oldest = shapes_.find(order_.front());
        if (oldest != shapes_.end()) {
            triangles_ -= oldest->second ? std::max<std::size_t>(1, oldest->second->Count()) : 1;
            shapes_.erase(oldest);
        }
        order_.pop_front();
    }
    return shape;
}

void TPlantShapeCache::Forget(const std::string& file)
{
    for (auto it = shapes_.begin(); it != shapes_.end();) {
        if (it->first.first == file) {
            triangles_ -= it->second ? std::max<std::size_t>(1, it->second->Count()) : 1;
            it = shapes_.erase(it);
        } else {
            ++it;
        }
    }
    order_.erase(std::remove_if(order_.begin(), order_.end(), [&](const TKey& k) { return k.first == file; }),
                 order_.end());
    files_.erase(file);
}

void TPlantShapeCache::ForgetChangedFiles()
{
    std::vector<std::string> changed;
    for (const auto& [file, entry] : files_)
        if (ResolvePlantFile(file) != entry->Path || !(StampOf(entry->Path) == entry->Stamp)) changed.push_back(file);
    for (const std::string& file : changed) Forget(file);
}

// ---- Drawing -------------------------------------------------------------------------------------

void TPlantBatch::Draw()
{
    const TFPUGuard guard;
    if (Vertices.empty()) return;
    const TGLEntryPoints& gl = GL();
    // The state is saved by hand, not pushed: a push and pop per batch costs more than the few
    // values it keeps.
    const GLboolean culled = gl.glIsEnabled(GL_CULL_FACE);
    GLfloat colour[4] = {1, 1, 1, 1};
    gl.glGetFloatv(GL_CURRENT_COLOR, colour);
    gl.glDisable(GL_CULL_FACE); // both sides of every leaf are seen
    const GLboolean vertexArray = gl.glIsEnabled(GL_VERTEX_ARRAY), colourArray = gl.glIsEnabled(GL_COLOR_ARRAY);
    gl.glEnableClientState(GL_VERTEX_ARRAY);
    gl.glEnableClientState(GL_COLOR_ARRAY);
    gl.glVertexPointer(3, GL_FLOAT, 0, Vertices.data());
    gl.glColorPointer(3, GL_FLOAT, 0, Colours.data());
    gl.glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(VertexCount()));
    if (!vertexArray) gl.glDisableClientState(GL_VERTEX_ARRAY);
    if (!colourArray) gl.glDisableClientState(GL_COLOR_ARRAY);
    if (culled) gl.glEnable(GL_CULL_FACE);
    gl.glColor4fv(colour);
    Vertices.clear();
    Colours.clear();
}

TPlantShapeCache& TPlant::Cache()
{
    if (cache_) return *cache_;
    if (!ownCache_) ownCache_ = std::make_unique<TPlantShapeCache>();
    return *ownCache_;
}

void TPlant::AddPlant(TPlantBatch& batch, const TVector3& position, const TVector3& hazeColour,
                      const TVector3& hazeAmount, double lightFactor, double height)
{
    const TFPUGuard guard;
    const double size = EstimateScreenSize(position, height);
    if (const std::string* file = FileForScreenSize(size)) {
        // Every plant its own seed: one draw of the shared generator per plant that picks a file.
        bool parsed = false;
        current_ = Cache().Shape(*file, Random(2147483647), &parsed);
        parserRuns_ += parsed ? 1 : 0;
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

    // Every polygon is a triangle: one batch draws the same picture as one polygon each.
    const std::size_t n = std::size_t(shape.Count());
    const float* v = shape.Vertices.data();
    for (std::size_t i = 0; i < n; ++i, v += 9) {
        TFloatRGB base;
        GetPlantColor(shape.Colours[i], base);
        const TFloatRGB colour = ApplyHaze(ShadePlantColour(base, shape.Normals[i], sun, lightFactor));
        for (int j = 0; j < 3; ++j) {
            batch.Vertices.insert(batch.Vertices.end(), {position.X + v[j * 3] * k, position.Y + v[j * 3 + 1] * k,
                                                         position.Z + v[j * 3 + 2] * k});
            batch.Colours.insert(batch.Colours.end(), {colour.R, colour.G, colour.B});
        }
    }
}

void TPlant::DrawPlant(const TVector3& position, const TVector3& hazeColour, const TVector3& hazeAmount,
                       double lightFactor, double height)
{
    AddPlant(single_, position, hazeColour, hazeAmount, lightFactor, height);
    single_.Draw();
}
