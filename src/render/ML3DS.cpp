#include "render/ML3DS.h"

#include "models/GraphicEx.h"
#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/atmos32.h"
#include "render/RendererEngine.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr float kBoxStart = 2147483648.0f;

TVector3 Sub(const TVector3& a, const TVector3& b) { return {a.X - b.X, a.Y - b.Y, a.Z - b.Z}; }
TVector3 Cross(const TVector3& a, const TVector3& b)
{
    return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

std::string JoinFolder(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

int FindMaterial(const std::vector<TML3DS::TNamedMaterial>& list, const std::string& name)
{
    const auto it = std::lower_bound(list.begin(), list.end(), name, [](const TML3DS::TNamedMaterial& m,
                                                                         const std::string& n) {
        return CompareMaterialNames(m.Name, n) < 0;
    });
    if (it != list.end() && CompareMaterialNames(it->Name, name) == 0)
        return static_cast<int>(it - list.begin());
    return -1;
}

void Info(const std::string& text) { Prompt().ShowMessage(text, TMsgIcon::Information); }

// Deletes a texture made for one draw on every path out of it.
class TDrawTexture {
public:
    TDrawTexture() { GL().glGenTextures(1, &name_); }
    ~TDrawTexture()
    {
        if (name_ != 0)
            GL().glDeleteTextures(1, &name_);
    }
    TDrawTexture(const TDrawTexture&) = delete;
    TDrawTexture& operator=(const TDrawTexture&) = delete;
    GLuint Name() const { return name_; }

private:
    GLuint name_ = 0;
};

// Byte rows of RGB texels are not padded: unpack with alignment 1 while drawing, then restore.
class TUnpackAlignment {
public:
    TUnpackAlignment()
    {
        GL().glGetIntegerv(GL_UNPACK_ALIGNMENT, &previous_);
        GL().glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    ~TUnpackAlignment() { GL().glPixelStorei(GL_UNPACK_ALIGNMENT, previous_); }
    TUnpackAlignment(const TUnpackAlignment&) = delete;
    TUnpackAlignment& operator=(const TUnpackAlignment&) = delete;

private:
    GLint previous_ = 4;
};

} // namespace

int CompareMaterialNames(const std::string& a, const std::string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Everything known about one model file: its reader and, once built, what is drawn.
struct TML3DS::TEntry {
    TFileStamp Stamp;
    TFile3DS File;
    bool Built = false;
    bool Failed = false; // the last build raised; not retried until the file or a texture changes
    std::string FailText;
    std::vector<TMesh> Meshes;
    std::vector<TNamedMaterial> Materials;
    float Box[6] = {kBoxStart, kBoxStart, kBoxStart, -kBoxStart, -kBoxStart, -kBoxStart};
    std::vector<TFileStamp> Textures; // the texture pictures read by the build
};

TML3DS::TML3DS() = default;
TML3DS::~TML3DS() = default;

TML3DS::TFileStamp TML3DS::StampOf(const std::string& path)
{
    TFileStamp s;
    s.Path = path;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec)
        return s;
    s.Size = static_cast<int64_t>(size);
    const auto time = fs::last_write_time(path, ec);
    if (!ec)
        s.Time = static_cast<int64_t>(time.time_since_epoch().count());
    return s;
}

void TML3DS::ResetBoundingBox()
{
    MinX = MinY = MinZ = kBoxStart;
    MaxX = MaxY = MaxZ = -kBoxStart;
}

void TML3DS::LoadFromFile(const std::string& fileName)
{
    current_ = nullptr;
    std::string path = FindFileCaseInsensitive(fileName);
    if (path.empty())
        path = fileName;
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    const std::string key = ec ? path : absolute.lexically_normal().string();
    const TFileStamp stamp = StampOf(key);
    auto& slot = cache_[key];
    if (slot && slot->Stamp == stamp && stamp.Size >= 0) {
        current_ = slot.get();
        return;
    }
    auto entry = std::make_unique<TEntry>();
    entry->Stamp = stamp;
    try {
        entry->File.LoadFromFile(key);
    } catch (...) {
        cache_.erase(key);
        throw;
    }
    slot = std::move(entry);
    current_ = slot.get();
}

void TML3DS::ComputeBoundingBox()
{
    ResetBoundingBox();
    if (!current_)
        return;
    TFile3DS& file = current_->File;
    const int count = file.Objects.MeshCount();
    for (int i = 0; i < count; ++i)
        for (const TPoint3DS& v : file.Objects.Mesh(i).VertexArray) {
            MinX = std::min(MinX, v.X), MaxX = std::max(MaxX, v.X);
            MinY = std::min(MinY, v.Z), MaxY = std::max(MaxY, v.Z);
            MinZ = std::min(MinZ, v.Y), MaxZ = std::max(MaxZ, v.Y);
        }
}

void TML3DS::Clear()
{
    if (current_) {
        current_->Built = current_->Failed = false;
        current_->Meshes.clear();
        current_->Materials.clear();
        current_->Textures.clear();
    }
}

void TML3DS::ClearCache()
{
    current_ = nullptr;
    cache_.clear();
}

TFile3DS& TML3DS::File3DS() { return current_ ? current_->File : empty_; }

const std::vector<TML3DS::TMesh>& TML3DS::Meshes() const
{
    static const std::vector<TMesh> none;
    return current_ ? current_->Meshes : none;
}

const std::vector<TML3DS::TNamedMaterial>& TML3DS::Materials() const
{
    static const std::vector<TNamedMaterial> none;
    return current_ ? current_->Materials : none;
}

int TML3DS::MaterialIndexOf(const std::string& name) const { return FindMaterial(Materials(), name); }

std::string TML3DS::ModelFolder() const
{
    return current_ ? fs::path(current_->Stamp.Path).parent_path().string() : std::string();
}

// ---- Building ------------------------------------------------------------------------------------

void TML3DS::Build()
{
    if (!current_)
        return;
    TEntry& e = *current_;
    if (e.Built || e.Failed) {
        bool unchanged = true;
        for (const TFileStamp& t : e.Textures)
            if (!(StampOf(t.Path) == t)) {
                unchanged = false;
                break;
            }
        if (unchanged) {
            if (e.Failed)
                throw E3DSError(e.FailText);
            return;
        }
    }
    try {
        DoBuild(e);
    } catch (const std::exception& ex) {
        e.Meshes.clear();
        e.Built = false;
        e.Failed = true;
        e.FailText = ex.what();
        throw;
    }
}

void TML3DS::DoBuild(TEntry& e)
{
    ++BuildCount;
    e.Built = e.Failed = false;
    e.Meshes.clear();
    e.Materials.clear();
    e.Textures.clear();
    std::fill(e.Box, e.Box + 3, kBoxStart);
    std::fill(e.Box + 3, e.Box + 6, -kBoxStart);
    TFile3DS& file = e.File;
    const int meshCount = file.Objects.MeshCount();
    if (meshCount < 1) {
        e.Built = true;
        return;
    }
    int release = file.GetMeshRelease();
    if (release == rlReleaseNotKnown)
        release = file.GetDatabaseRelease();
    else
        release = std::max(release, static_cast<int>(file.GetDatabaseRelease()));
    BuildMaterials(e);
    LoadTextureImages(e);
    for (int i = 0; i < meshCount; ++i) {
        const TMesh3DS& fileMesh = file.Objects.Mesh(i);
        if (fileMesh.VertexArray.size() < 3)
            continue;
        TMesh mesh;
        BuildModelMesh(release, fileMesh, e.Materials, mesh);
        for (const TVector3& v : mesh.Vertices) {
            e.Box[0] = std::min(e.Box[0], v.X), e.Box[3] = std::max(e.Box[3], v.X);
            e.Box[1] = std::min(e.Box[1], v.Z), e.Box[4] = std::max(e.Box[4], v.Z);
            e.Box[2] = std::min(e.Box[2], v.Y), e.Box[5] = std::max(e.Box[5], v.Y);
        }
        e.Meshes.push_back(std::move(mesh));
    }
    e.Built = true;
}

void TML3DS::BuildMaterials(TEntry& e)
{
    TFile3DS& file = e.File;
    const int count = file.Materials.Count();
    if (count == 0) {
        e.Materials.push_back({"Default", TMaterial{}});
        return;
    }
    for (int i = 0; i < count; ++i) {
        const TMaterial3DS& m = file.Materials.Material(i);
        TMaterial t;
        const float alpha = std::fabs(m.Transparency);
        const auto fill = [alpha](float (&out)[4], const TFColor3DS& c) {
            out[0] = c.R, out[1] = c.G, out[2] = c.B, out[3] = alpha;
        };
        fill(t.Ambient, m.Ambient);
        fill(t.Diffuse, m.Diffuse);
        fill(t.Specular, m.Specular);
        t.Emission[0] = t.Emission[1] = t.Emission[2] = t.Emission[3] = 0;
        t.Shininess = Round(m.Shininess * 128.0);
        t.PolygonMode = m.Shading == 0 ? GL_LINE : GL_FILL;
        t.ShadeModel = m.Shading <= 1 ? GL_FLAT : GL_SMOOTH;
        t.TwoSided = m.TwoSided;
        t.TextureFile = m.Texture.Name;
        t.WrapS = t.WrapT = GL_REPEAT;
        t.MinFilter = t.MagFilter = GL_NEAREST;
        t.EnvMode = m.Shininess == 0.0f ? GL_DECAL : GL_MODULATE;
        const auto at = std::lower_bound(e.Materials.begin(), e.Materials.end(), m.Name,
                                         [](const TNamedMaterial& a, const std::string& n) {
                                             return CompareMaterialNames(a.Name, n) < 0;
                                         });
        if (at != e.Materials.end() && CompareMaterialNames(at->Name, m.Name) == 0)
            throw E3DSError("Duplicate material name '" + m.Name + "'.");
        e.Materials.insert(at, {m.Name, std::move(t)});
    }
}

bool TML3DS::FindTextureFile(const std::string& name, std::string& found) const
{
    std::vector<std::string> candidates;
    // The project's models folder only when it exists: an empty folder would look in the
    // working directory of the program instead.
    if (Project && *Project) {
        const std::string dir = (*Project)->Models.Directory;
        std::string slashed = dir;
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        std::error_code ec;
        if (!dir.empty() && (fs::is_directory(dir, ec) || fs::is_directory(slashed, ec)))
            candidates.push_back(JoinFolder(dir, name));
    }
    const std::string folder = ModelFolder();
    candidates.push_back(JoinFolder(folder, name));
    candidates.push_back(JoinFolder(folder, "Textures\\" + name));
    candidates.push_back(JoinFolder(folder, "Maps\\" + name));
    for (const std::string& c : candidates) {
        const std::string hit = FindFileCaseInsensitive(c);
        std::error_code ec;
        if (!hit.empty() && fs::is_regular_file(hit, ec)) {
            found = hit;
            return true;
        }
    }
    Info("Texture image not found (" + name + ")");
    return false;
}

void TML3DS::LoadTextureImages(TEntry& e)
{
    for (TNamedMaterial& named : e.Materials) {
        TMaterial& m = named.Material;
        if (m.TextureFile.empty())
            continue;
        std::string path;
        if (!FindTextureFile(m.TextureFile, path))
            continue;
        e.Textures.push_back(StampOf(path));
        QImage picture;
        // A picture that cannot be read counts as an empty one.
        if (!LoadPicture(path, picture) || picture.width() == 0 || picture.height() == 0) {
            Info("Invalid texture image  (" + m.TextureFile + ")");
            continue;
        }
        const int w = LargestPowerOfTwo(picture.width()), h = LargestPowerOfTwo(picture.height());
        if (!(w > 2 && h > 2)) {
            Info("Texture object could not be created (" + m.TextureFile + ")");
            continue;
        }
        QImage bitmap = picture.convertToFormat(QImage::Format_RGB32);
        if (w != bitmap.width() || h != bitmap.height())
            bitmap = bitmap.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        auto texels = std::make_shared<std::vector<float>>(std::size_t(w) * h * 3);
        float* out = texels->data();
        for (int y = h - 1; y >= 0; --y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(bitmap.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                *out++ = float(qRed(row[x])) / 255.0f;
                *out++ = float(qGreen(row[x])) / 255.0f;
                *out++ = float(qBlue(row[x])) / 255.0f;
            }
        }
        m.TexWidth = w;
        m.TexHeight = h;
        m.Texels = std::move(texels);
        m.Textured = true;
    }
}

void TML3DS::BuildModelMesh(int release, const TMesh3DS& fileMesh, const std::vector<TNamedMaterial>& materials,
                            TMesh& built)
{
    const std::size_t count = fileMesh.VertexArray.size();
    built = TMesh{};
    built.Name = fileMesh.Name;
    built.Vertices.reserve(count);
    for (const TPoint3DS& p : fileMesh.VertexArray)
        built.Vertices.push_back({p.X, p.Y, p.Z});
    const bool textured = !fileMesh.TextArray.empty();
    if (textured) {
        built.TexCoords.reserve(count * 2);
        for (std::size_t i = 0; i < count; ++i) {
            const TTexVert3DS t = i < fileMesh.TextArray.size() ? fileMesh.TextArray[i] : TTexVert3DS{};
            built.TexCoords.push_back(t.U);
            built.TexCoords.push_back(t.V);
        }
    }
    built.Normals.assign(count, TVector3{0, 0, 0});
    std::vector<uint8_t> used(count, 0);
    const bool smoothing = !fileMesh.SmoothArray.empty();
    using TSlots = std::array<int32_t, 32>;
    std::vector<TSlots> groupSlots;
    if (smoothing)
        groupSlots.resize(count);

    const auto duplicate = [&](uint32_t i) -> uint32_t {
        const uint32_t k = static_cast<uint32_t>(built.Vertices.size());
        built.Vertices.push_back(built.Vertices[i]);
        built.Normals.push_back({0, 0, 0});
        used.push_back(0);
        if (smoothing) {
            TSlots empty;
            empty.fill(-1);
            groupSlots.push_back(empty);
        }
        if (textured) {
            built.TexCoords.push_back(built.TexCoords[2 * i]);
            built.TexCoords.push_back(built.TexCoords[2 * i + 1]);
        }
        return k;
    };
    const auto add = [](TVector3& a, const TVector3& b) { a = {a.X + b.X, a.Y + b.Y, a.Z + b.Z}; };

    const std::size_t faces = fileMesh.FaceArray.size();
    std::vector<uint32_t> corners(faces * 3);
    for (std::size_t f = 0; f < faces; ++f) {
        const TFace3DS& face = fileMesh.FaceArray[f];
        const uint32_t abc[3] = {face.V1, face.V2, face.V3};
        for (uint32_t v : abc)
            if (v >= count)
                throw E3DSError("Mesh \"" + fileMesh.Name + "\": face " + std::to_string(f) + " uses vertex " +
                                std::to_string(v) + " of " + std::to_string(count) + ".");
        const TVector3 e1 = Sub(built.Vertices[abc[0]], built.Vertices[abc[1]]);
        const TVector3 e2 = Sub(built.Vertices[abc[2]], built.Vertices[abc[1]]);
        const TVector3 n = release < rlRelease3 ? Cross(e1, e2) : Cross(e2, e1);
        const uint32_t g = smoothing && f < fileMesh.SmoothArray.size() ? fileMesh.SmoothArray[f] : 0;
        int b = 0;
        while (g != 0 && !(g & (uint32_t(1) << b)))
            ++b;
        for (int c = 0; c < 3; ++c) {
            const uint32_t i = abc[c];
            uint32_t corner = i;
            if (!used[i]) {
                built.Normals[i] = n;
                if (smoothing) {
                    groupSlots[i].fill(-1);
                    if (g != 0)
                        groupSlots[i][b] = int32_t(i);
                }
                used[i] = 1;
            } else if (!smoothing || g == 0) {
                corner = duplicate(i);
                built.Normals[corner] = n;
                used[corner] = 1;
            } else if (groupSlots[i][b] == -1) {
                corner = duplicate(i);
                built.Normals[corner] = n;
                groupSlots[i][b] = int32_t(corner);
                groupSlots[corner][b] = int32_t(corner);
                used[corner] = 1;
            } else {
                corner = uint32_t(groupSlots[i][b]);
                add(built.Normals[corner], n);
            }
            corners[f * 3 + c] = corner;
        }
    }
    for (TVector3& n : built.Normals)
        n = NormalizeVector(n);

    if (fileMesh.MatArray.empty()) {
        built.FaceGroups.push_back({0, corners});
        return;
    }
    for (const TObjMat3DS& assignment : fileMesh.MatArray) {
        TFaceGroup group;
        group.MaterialIndex = FindMaterial(materials, assignment.Name);
        if (group.MaterialIndex < 0) {
            ShowMessage("Material '" + assignment.Name + "' not found. Using default material.");
            group.MaterialIndex = 0;
        }
        group.Indices.reserve(assignment.Faces.size() * 3);
        for (uint16_t f : assignment.Faces) {
            if (f >= faces)
                throw E3DSError("Mesh \"" + fileMesh.Name + "\": material '" + assignment.Name + "' names face " +
                                std::to_string(f) + " of " + std::to_string(faces) + ".");
            group.Indices.insert(group.Indices.end(), corners.begin() + f * 3, corners.begin() + f * 3 + 3);
        }
        built.FaceGroups.push_back(std::move(group));
    }
}

// ---- Drawing -------------------------------------------------------------------------------------

void TML3DS::RenderModelAt(TRenderEngine& engine, const TVector3& position, double angle, double height,
                           double lightFactor)
{
    ResetBoundingBox();
    try {
        DrawModel(engine, position, angle, height, lightFactor);
    } catch (...) {
        // A model that fails simply does not appear; the GL scopes have been unwound.
    }
}

void TML3DS::DrawModel(TRenderEngine& engine, const TVector3& position, double angle, double height,
                       double lightFactor)
{
    if (!current_)
        return;
    Build();
    TEntry& e = *current_;
    if (e.Meshes.empty())
        return;
    MinX = e.Box[0], MinY = e.Box[1], MinZ = e.Box[2];
    MaxX = e.Box[3], MaxY = e.Box[4], MaxZ = e.Box[5];
    // A model without height cannot be scaled to one.
    const double extent = double(MaxY) - double(MinY);
    if (!(extent > 0) || !std::isfinite(extent))
        return;
    const double s = height / extent;
    if (!std::isfinite(s))
        return;

    const TGLEntryPoints& gl = GL();
    TGLAttribScope attribs(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_TEXTURE_BIT);
    gl.glDisable(GL_COLOR_MATERIAL);
    gl.glDisable(GL_CULL_FACE);
    gl.glShadeModel(GL_SMOOTH);
    TGLMatrixScope matrix;
    gl.glTranslatef(position.X, position.Y, position.Z);
    gl.glRotatef(static_cast<GLfloat>(-angle), 0, 1, 0);
    gl.glTranslatef(-position.X, -position.Y, -position.Z);

    const float fs = static_cast<float>(s);
    const float baseY = static_cast<float>(position.Y - double(MinY) * s);
    const auto point = [&](const TVector3& v) {
        return TVector3{v.X * fs + position.X, v.Z * fs + baseY, v.Y * fs + position.Z};
    };
    const auto normal = [](const TVector3& n) { return TVector3{n.X, n.Z, n.Y}; };

    std::vector<TVector3> points, normals;
    std::vector<TFloatRGB> colours;
    std::vector<uint8_t> coloured;
    std::vector<float> lit;
    std::vector<uint8_t> litBytes;
    for (const TMesh& mesh : e.Meshes) {
        gl.glDisable(GL_CULL_FACE);
        points.resize(mesh.Vertices.size());
        normals.resize(mesh.Vertices.size());
        for (std::size_t i = 0; i < mesh.Vertices.size(); ++i) {
            points[i] = point(mesh.Vertices[i]);
            normals[i] = normal(mesh.Normals[i]);
        }
        for (const TFaceGroup& group : mesh.FaceGroups) {
            const std::size_t index = group.MaterialIndex >= 0 && std::size_t(group.MaterialIndex) < e.Materials.size()
                                          ? std::size_t(group.MaterialIndex)
                                          : 0;
            const TMaterial& m = e.Materials[index].Material;
            const std::size_t triangles = group.Indices.size() / 3;
            if (!m.Textured || mesh.TexCoords.empty()) {
                // Untextured: one colour per vertex (shared corners have the same point and normal).
                const TFloatRGB colour{m.Diffuse[0], m.Diffuse[1], m.Diffuse[2]};
                colours.resize(mesh.Vertices.size());
                coloured.assign(mesh.Vertices.size(), 0);
                gl.glDisable(GL_TEXTURE_2D);
                SafeGLBegin(gl, GL_TRIANGLES);
                for (std::size_t k = 0; k < triangles * 3; ++k) {
                    const uint32_t v = group.Indices[k];
                    if (!coloured[v]) {
                        engine.PointColour(true, colour, points[v], normals[v], -angle, 0, lightFactor, colours[v]);
                        coloured[v] = 1;
                    }
                    gl.glColor4f(colours[v].R, colours[v].G, colours[v].B, 1.0f);
                    gl.glVertex3f(points[v].X, points[v].Y, points[v].Z);
                }
                SafeGLEnd(gl);
                continue;
            }
            // Textured: the texture is lit anew for every triangle at its centre and mean normal.
            const std::vector<float>& source = *m.Texels;
            const std::size_t texels = std::size_t(m.TexWidth) * m.TexHeight;
            lit.resize(texels * 3);
            litBytes.resize(texels * 3);
            TDrawTexture texture;
            TUnpackAlignment tightRows;
            gl.glBindTexture(GL_TEXTURE_2D, texture.Name());
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GLint(m.WrapS));
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GLint(m.WrapT));
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(m.MinFilter));
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(m.MagFilter));
            gl.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
            gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, m.TexWidth, m.TexHeight, 0, GL_RGB, GL_FLOAT, source.data());
            gl.glEnable(GL_TEXTURE_2D);
            StatusSink().ProcessMessages();
            const TVector3 eye = engine.Project().GetCameraPosition();
            for (std::size_t t = 0; t < triangles; ++t) {
                const uint32_t* tri = &group.Indices[t * 3];
                const TVector3& a = points[tri[0]];
                const TVector3& b = points[tri[1]];
                const TVector3& c = points[tri[2]];
                const TVector3 centre{(a.X + b.X + c.X) / 3.0f, (a.Y + b.Y + c.Y) / 3.0f, (a.Z + b.Z + c.Z) / 3.0f};
                const TVector3& na = normals[tri[0]];
                const TVector3& nb = normals[tri[1]];
                const TVector3& nc = normals[tri[2]];
                const TVector3 mean{(na.X + nb.X + nc.X) / 3.0f, (na.Y + nb.Y + nc.Y) / 3.0f,
                                    (na.Z + nb.Z + nc.Z) / 3.0f};
                if (FastTexelLighting) {
                    // The lit colour is clamp(haze(shade(texel))): shading scales the colour and the
                    // haze is affine in it, so three evaluations give every texel's colour.
                    TFloatRGB k;
                    engine.ShadeDiffuse({1, 1, 1}, centre, mean, -angle, 0, lightFactor, k);
                    TFloatRGB zero{0, 0, 0}, one{1, 1, 1};
                    AtmosphereColour(eye, centre, false, zero);
                    AtmosphereColour(eye, centre, false, one);
                    const float r0 = k.R * (one.R - zero.R), g0 = k.G * (one.G - zero.G), b0 = k.B * (one.B - zero.B);
                    // Uploaded as bytes, rounded as OpenGL rounds the floats it converts.
                    const auto level = [](float v) {
                        return static_cast<uint8_t>(std::lrint((v < 0 ? 0.0f : (v > 1 ? 1.0f : v)) * 255.0f));
                    };
                    const float* in = source.data();
                    uint8_t* out = litBytes.data();
                    for (std::size_t i = 0; i < texels; ++i, in += 3, out += 3) {
                        out[0] = level(in[0] * r0 + zero.R);
                        out[1] = level(in[1] * g0 + zero.G);
                        out[2] = level(in[2] * b0 + zero.B);
                    }
                    gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m.TexWidth, m.TexHeight, GL_RGB, GL_UNSIGNED_BYTE,
                                       litBytes.data());
                } else {
                    for (std::size_t i = 0; i < texels; ++i) {
                        TFloatRGB out;
                        engine.PointColour(true, {source[3 * i], source[3 * i + 1], source[3 * i + 2]}, centre, mean,
                                           -angle, 0, lightFactor, out);
                        lit[3 * i] = out.R, lit[3 * i + 1] = out.G, lit[3 * i + 2] = out.B;
                    }
                    gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m.TexWidth, m.TexHeight, GL_RGB, GL_FLOAT, lit.data());
                }
                SafeGLBegin(gl, GL_TRIANGLES);
                for (int k = 0; k < 3; ++k) {
                    const uint32_t v = tri[k];
                    gl.glTexCoord2f(mesh.TexCoords[2 * v], mesh.TexCoords[2 * v + 1]);
                    gl.glVertex3f(points[v].X, points[v].Y, points[v].Z);
                }
                SafeGLEnd(gl);
            }
            gl.glBindTexture(GL_TEXTURE_2D, 0);
        }
        gl.glEnable(GL_CULL_FACE);
    }
}
