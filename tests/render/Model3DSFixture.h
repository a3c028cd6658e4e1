#pragma once
// Small 3DS files written by the tests: a chunk tree is described in memory and emitted as the
// bytes of a file.
#include "models/Types3DS.h"
#include "support/TestSupport.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fixture3ds {

using Bytes = std::vector<std::uint8_t>;

struct Chunk {
    std::uint16_t Tag = 0;
    Bytes Own;
    std::vector<Chunk> Kids;
};

inline void Put16(Bytes& b, unsigned v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}
inline void PutF(Bytes& b, float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    Put32(b, u);
}
inline Bytes Str(const std::string& s)
{
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}
inline Bytes U16(unsigned v)
{
    Bytes b;
    Put16(b, v);
    return b;
}
inline Bytes U32(std::uint32_t v)
{
    Bytes b;
    Put32(b, v);
    return b;
}

inline Bytes Emit(const Chunk& c)
{
    Bytes body = c.Own;
    for (const Chunk& k : c.Kids) {
        const Bytes kb = Emit(k);
        body.insert(body.end(), kb.begin(), kb.end());
    }
    Bytes out;
    Put16(out, c.Tag);
    Put32(out, std::uint32_t(body.size() + 6));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A material: name, 24-bit diffuse colour, shininess in percent, optional texture map file.
inline Chunk Material(const std::string& name, std::array<std::uint8_t, 3> diffuse, unsigned shininess = 50,
                      const std::string& texture = {})
{
    Chunk m{0xAFFF, {}, {{0xA000, Str(name), {}},
                         {0xA020, {}, {{0x0011, {diffuse[0], diffuse[1], diffuse[2]}, {}}}},
                         {0xA040, {}, {{0x0030, U16(shininess), {}}}}}};
    if (!texture.empty())
        m.Kids.push_back({0xA200, {}, {{0x0030, U16(100), {}}, {0xA300, Str(texture), {}}}});
    return m;
}

struct MeshDesc {
    std::string Name = "mesh";
    std::vector<TPoint3DS> Vertices;
    std::vector<std::array<unsigned, 3>> Faces;
    std::vector<std::uint32_t> Smoothing;     // empty: no smoothing chunk
    std::vector<TTexVert3DS> UV;              // empty: no texture vertices
    std::vector<std::pair<std::string, std::vector<unsigned>>> Groups; // material assignments
};

inline Chunk Mesh(const MeshDesc& m)
{
    Bytes points;
    Put16(points, unsigned(m.Vertices.size()));
    for (const TPoint3DS& p : m.Vertices) {
        PutF(points, p.X);
        PutF(points, p.Y);
        PutF(points, p.Z);
    }
    Bytes faces;
    Put16(faces, unsigned(m.Faces.size()));
    for (const auto& f : m.Faces) {
        Put16(faces, f[0]);
        Put16(faces, f[1]);
        Put16(faces, f[2]);
        Put16(faces, 7);
    }
    Chunk faceChunk{0x4120, faces, {}};
    for (const auto& [name, list] : m.Groups) {
        Bytes g = Str(name);
        Put16(g, unsigned(list.size()));
        for (unsigned f : list)
            Put16(g, f);
        faceChunk.Kids.push_back({0x4130, g, {}});
    }
    if (!m.Smoothing.empty()) {
        Bytes s;
        for (std::uint32_t v : m.Smoothing)
            Put32(s, v);
        faceChunk.Kids.push_back({0x4150, s, {}});
    }
    Chunk tri{0x4100, {}, {{0x4110, points, {}}}};
    if (!m.UV.empty()) {
        Bytes uv;
        Put16(uv, unsigned(m.UV.size()));
        for (const TTexVert3DS& t : m.UV) {
            PutF(uv, t.U);
            PutF(uv, t.V);
        }
        tri.Kids.push_back({0x4140, uv, {}});
    }
    tri.Kids.push_back(faceChunk);
    return {0x4000, Str(m.Name), {tri}};
}

// A model file of the given release (the version chunk under the root).
inline Bytes Model(std::vector<Chunk> database, std::uint32_t release = 3)
{
    return Emit({0x4D4D, {}, {{0x0002, U32(release), {}}, {0x3D3D, {}, std::move(database)}}});
}

// An axis-aligned box from (x0, y0, z0) to (x1, y1, z1) in file axes (z up): eight vertices,
// twelve triangles, two per side, sides in the order -z, +z, -y, +y, -x, +x.
inline MeshDesc Box(float x0, float y0, float z0, float x1, float y1, float z1)
{
    MeshDesc m;
    m.Name = "box";
    m.Vertices = {{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0},
                  {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}};
    m.Faces = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
               {3, 6, 2}, {3, 7, 6}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
    return m;
}

inline void Write(const std::string& path, const Bytes& bytes) { qxtest::WriteFileBytes(path, bytes); }

} // namespace fixture3ds
