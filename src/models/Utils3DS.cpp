#include "models/Utils3DS.h"

#include "models/File3DS.h"

#include <cstdio>
#include <cstring>
#include <new>

std::string Err3DS::InvalidIndex(long long index)
{
    return "Invalid index " + std::to_string(index) + ".";
}

void RaiseInvalidChunk(const std::string& detail)
{
    throw E3DSError(std::string(Err3DS::InvalidChunk) + (detail.empty() ? "" : "\r" + detail));
}

namespace {

std::string Hex(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", v & 0xFFFF);
    return buf;
}

// Reads a chunk's own data; never past the chunk's end or the file's end.
class TChunkReader {
public:
    TChunkReader(const std::vector<std::uint8_t>& bytes, const TChunk3DS* node) : D(bytes.data()), Node(node)
    {
        const std::uint64_t start = std::uint64_t(node->Position) + 6;
        End = std::min<std::uint64_t>(std::uint64_t(node->Position) + node->Size, bytes.size());
        Pos = std::min(start, End);
    }

    std::uint64_t Left() const { return End - Pos; }

    void Need(std::uint64_t n, const char* what)
    {
        if (Left() < n)
            RaiseInvalidChunk("chunk " + Hex(Node->Tag) + " at offset " + std::to_string(Node->Position) + ": " + what +
                              " needs " + std::to_string(n) + " bytes, " + std::to_string(Left()) + " are left.");
    }
    // A count followed by count elements of elementSize bytes, checked before anything is allocated.
    std::uint64_t Count16(std::uint64_t elementSize, const char* what)
    {
        const std::uint64_t n = U16();
        Need(n * elementSize, what);
        return n;
    }

    std::uint8_t U8()
    {
        Need(1, "a byte");
        return D[Pos++];
    }
    std::uint16_t U16()
    {
        Need(2, "a 16-bit value");
        const std::uint16_t v = std::uint16_t(D[Pos] | (D[Pos + 1] << 8));
        Pos += 2;
        return v;
    }
    std::uint32_t U32()
    {
        Need(4, "a 32-bit value");
        const std::uint32_t v = std::uint32_t(D[Pos]) | (std::uint32_t(D[Pos + 1]) << 8) | (std::uint32_t(D[Pos + 2]) << 16) |
                                (std::uint32_t(D[Pos + 3]) << 24);
        Pos += 4;
        return v;
    }
    std::int16_t I16() { return std::int16_t(U16()); }
    std::int32_t I32() { return std::int32_t(U32()); }
    float Single()
    {
        const std::uint32_t bits = U32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    TPoint3DS Point()
    {
        TPoint3DS p;
        p.X = Single();
        p.Y = Single();
        p.Z = Single();
        return p;
    }
    TColor24_3DS Color24()
    {
        TColor24_3DS c;
        c.R = U8();
        c.G = U8();
        c.B = U8();
        return c;
    }
    // Up to the terminating zero or the chunk's end.
    std::string String()
    {
        std::string s;
        while (Pos < End && D[Pos] != 0)
            s.push_back(char(D[Pos++]));
        if (Pos < End)
            ++Pos;
        return s;
    }
    std::vector<std::uint8_t> Rest()
    {
        std::vector<std::uint8_t> v(D + Pos, D + End);
        Pos = End;
        return v;
    }

private:
    const std::uint8_t* D;
    const TChunk3DS* Node;
    std::uint64_t Pos = 0, End = 0;
};

template <class C, class F>
std::unique_ptr<TChunkData> Value(F&& read)
{
    auto c = std::make_unique<C>();
    c->Value = read();
    return c;
}

bool NoOwnData(std::uint16_t t)
{
    switch (t) {
    case 0x1200: case 0x2100: case 0x3000: case 0x3D3D: case 0x3DAA: case 0x4100: case 0x4D4D: case 0x8000:
    case 0x8001: case 0x8009: case 0xA010: case 0xA020: case 0xA030: case 0xA050: case 0xA052: case 0xA053:
    case 0xA084: case 0xA200: case 0xA204: case 0xA210: case 0xA220: case 0xA230: case 0xAFFF: case 0xC23D:
        return true;
    default:
        return (t >= 0xA040 && t <= 0xA042) || (t >= 0xA33A && t <= 0xA34C) || (t >= 0xB000 && t <= 0xB007);
    }
}

std::unique_ptr<TChunkData> DecodeTrack(TChunkReader& r, std::uint16_t tag)
{
    auto track = std::make_unique<TTrackChunk>();
    track->Flags = r.U16();
    track->NU1 = r.U32();
    track->NU2 = r.U32();
    const std::uint64_t keys = r.U32();
    // Every key holds at least its frame and spline flags.
    r.Need(keys * 6, "the track's keys");
    track->Keys.resize(std::size_t(keys));
    for (TTrackKey3DS& key : track->Keys) {
        key.Header.Time = r.U32();
        key.Header.RFlags = r.U16();
        const std::uint16_t f = key.Header.RFlags;
        if (f & 0x01) key.Header.Tension = r.Single();
        if (f & 0x02) key.Header.Continuity = r.Single();
        if (f & 0x04) key.Header.Bias = r.Single();
        if (f & 0x08) key.Header.EaseTo = r.Single();
        if (f & 0x10) key.Header.EaseFrom = r.Single();
        int values = 0;
        switch (tag) {
        case 0xB020: case 0xB022: case 0xB025: values = 3; break;
        case 0xB021: values = 4; break;
        case 0xB023: case 0xB024: case 0xB027: case 0xB028: values = 1; break;
        case 0xB026: key.Name = r.String(); break;
        default: break; // hide keys carry no value
        }
        for (int i = 0; i < values; ++i)
            key.Values[std::size_t(i)] = r.Single();
    }
    return track;
}

std::unique_ptr<TChunkData> Decode(TChunkReader& r, std::uint16_t t)
{
    switch (t) {
    case 0x0002: case 0x3D3E: case 0xB009:
        return Value<TUInt32Chunk>([&] { return r.U32(); });
    case 0x0010: case 0x0013:
        return Value<TColorChunk>([&] { TFColor3DS c; c.R = r.Single(); c.G = r.Single(); c.B = r.Single(); return c; });
    case 0x0011: case 0x0012: case 0xA360: case 0xA362: case 0xA364: case 0xA366: case 0xA368:
        return Value<TColor24Chunk>([&] { return r.Color24(); });
    case 0x0030: case 0xA100:
        return Value<TInt16Chunk>([&] { return r.I16(); });
    case 0x0031: case 0x0100: case 0xA087: case 0xA353: case 0xA354: case 0xA356: case 0xA358: case 0xA35A:
    case 0xA35C: case 0xB015: case 0x4620: case 0x4625: case 0x4656: case 0x4658: case 0x4659: case 0x465A:
    case 0x465B:
        return Value<TSingleChunk>([&] { return r.Single(); });
    case 0x1100: case 0x1110: case 0x3080: case 0x4000: case 0xA000: case 0xA300: case 0xB011: case 0x80F0:
    case 0x4181: case 0x8002: case 0x8003:
        return Value<TStringChunk>([&] { return r.String(); });
    case 0x4110:
        return Value<TPointArrayChunk>([&] {
            std::vector<TPoint3DS> v(std::size_t(r.Count16(12, "the vertex list")));
            for (auto& p : v)
                p = r.Point();
            return v;
        });
    case 0x4111:
        return Value<TFlagArrayChunk>([&] {
            std::vector<std::uint16_t> v(std::size_t(r.Count16(2, "the vertex flags")));
            for (auto& f : v)
                f = r.U16();
            return v;
        });
    case 0x4140:
        return Value<TTexVertArrayChunk>([&] {
            std::vector<TTexVert3DS> v(std::size_t(r.Count16(8, "the texture vertex list")));
            for (auto& tv : v) {
                tv.U = r.Single();
                tv.V = r.Single();
            }
            return v;
        });
    case 0x4120:
        return Value<TFaceArrayChunk>([&] {
            std::vector<TFace3DS> v(std::size_t(r.Count16(8, "the face list")));
            for (auto& f : v) {
                f.V1 = r.U16();
                f.V2 = r.U16();
                f.V3 = r.U16();
                f.Flag = r.U16();
            }
            return v;
        });
    case 0x4130: {
        auto g = std::make_unique<TMatGroupChunk>();
        g->MaterialName = r.String();
        g->Faces.resize(std::size_t(r.Count16(2, "the material group")));
        for (auto& f : g->Faces)
            f = r.U16();
        return g;
    }
    case 0x4150:
        return Value<TSmoothGroupChunk>([&] {
            std::vector<std::uint32_t> v(std::size_t(r.Left() / 4));
            for (auto& m : v)
                m = r.U32();
            return v;
        });
    case 0x4160:
        return Value<TMeshMatrixChunk>([&] {
            std::array<float, 12> m{};
            for (float& f : m)
                f = r.Single();
            return m;
        });
    case 0x4165:
        return Value<TChunkValue<std::uint8_t>>([&] { return r.U8(); });
    case 0x4190:
        return Value<TBoxMapChunk>([&] {
            std::array<std::string, 6> names;
            for (auto& n : names)
                n = r.String();
            return names;
        });
    case 0x4600: case 0xB013:
        return Value<TPointChunk>([&] { return r.Point(); });
    case 0x4610: {
        auto s = std::make_unique<TSpotLightChunk>();
        s->Target = r.Point();
        s->Hotspot = r.Single();
        s->Falloff = r.Single();
        return s;
    }
    case 0x4700: {
        auto c = std::make_unique<TCameraChunk>();
        c->Position = r.Point();
        c->Target = r.Point();
        c->Bank = r.Single();
        c->Lens = r.Single();
        return c;
    }
    case 0x4720: {
        auto c = std::make_unique<TCameraRangesChunk>();
        c->Near = r.Single();
        c->Far = r.Single();
        return c;
    }
    case 0xA351: case 0xB030:
        return Value<TUInt16Chunk>([&] { return r.U16(); });
    case 0xB008: {
        auto s = std::make_unique<TKFSegmentChunk>();
        s->First = r.U32();
        s->Last = r.U32();
        return s;
    }
    case 0xB00A: {
        auto h = std::make_unique<TKFHeaderChunk>();
        h->Revision = r.U16();
        h->FileName = r.String();
        h->AnimLength = r.I32();
        return h;
    }
    case 0xB010: {
        auto h = std::make_unique<TNodeHeaderChunk>();
        h->ObjName = r.String();
        h->Flags1 = r.U16();
        h->Flags2 = r.U16();
        h->ParentIndex = r.U16();
        return h;
    }
    case 0xB014: {
        auto b = std::make_unique<TBoundBoxChunk>();
        b->Min = r.Point();
        b->Max = r.Point();
        return b;
    }
    default:
        break;
    }
    if (t >= 0xB020 && t <= 0xB029)
        return DecodeTrack(r, t);
    // The remaining settings (background, shadows, fog, views, viewports, further light, map
    // and material settings) are kept as stored; nothing reads them back field by field.
    const bool kept = (t >= 0x1300 && t <= 0x1500) || t == 0x2200 || t == 0x2300 || t == 0x2302 ||
                      (t >= 0x3010 && t <= 0x3070) || (t >= 0x4600 && t <= 0x465B) || t == 0x4170 || t == 0x4182 ||
                      (t >= 0x7001 && t <= 0x7020) || (t >= 0xA000 && t <= 0xA368) || (t >= 0xB008 && t <= 0xB030);
    if (!kept)
        return nullptr;
    auto raw = std::make_unique<TRawChunk>();
    raw->Value = r.Rest();
    return raw;
}

} // namespace

TChunkData* DecodeChunkPayload(TFile3DS& file, TChunk3DS* node)
{
    if (!node)
        return nullptr;
    if (node->Data || node->Position < 0 || NoOwnData(node->Tag))
        return node->Data.get();
    try {
        TChunkReader reader(file.Bytes(), node);
        node->Data = Decode(reader, node->Tag);
    } catch (const std::bad_alloc&) {
        throw E3DSError(Err3DS::NoMemory);
    }
    return node->Data.get();
}

// ---------------------------------------------------------------------------------------------
// Gathering

namespace {

bool IsXData(std::uint16_t t) { return (t & 0xFF00) == 0x8000; }

[[noreturn]] void Unexpected(const TChunk3DS* parent, const TChunk3DS* child)
{
    RaiseInvalidChunk("chunk " + Hex(parent->Tag) + " at offset " + std::to_string(parent->Position) +
                      " holds the unexpected chunk " + Hex(child->Tag) + ".");
}

TChunk3DS* Child(TChunk3DS* node, std::uint16_t tag)
{
    return node ? TFile3DS::FindNextChunk(node->Children.get(), tag) : nullptr;
}

// A percentage below the chunk as a fraction: integer percentages divided by 100.
float Percentage(TFile3DS& file, TChunk3DS* node)
{
    for (TChunk3DS* c = node ? node->Children.get() : nullptr; c; c = c->Sibling.get()) {
        if (c->Tag == 0x0030)
            if (auto* v = ChunkData<TInt16Chunk>(file, c))
                return float(v->Value) / 100.0f;
        if (c->Tag == 0x0031)
            if (auto* v = ChunkData<TSingleChunk>(file, c))
                return v->Value;
    }
    return 0.0f;
}

TFColor3DS Colour(TFile3DS& file, TChunk3DS* node)
{
    for (TChunk3DS* c = node ? node->Children.get() : nullptr; c; c = c->Sibling.get()) {
        if (c->Tag == 0x0010)
            if (auto* v = ChunkData<TColorChunk>(file, c))
                return v->Value;
        if (c->Tag == 0x0011)
            if (auto* v = ChunkData<TColor24Chunk>(file, c))
                return TFColor3DS{v->Value.R / 255.0f, v->Value.G / 255.0f, v->Value.B / 255.0f};
    }
    return {};
}

float SingleOf(TFile3DS& file, TChunk3DS* node, float fallback)
{
    const auto* v = ChunkData<TSingleChunk>(file, node);
    return v ? v->Value : fallback;
}

TColor24_3DS TintOf(TFile3DS& file, TChunk3DS* node)
{
    const auto* v = ChunkData<TColor24Chunk>(file, node);
    return v ? v->Value : TColor24_3DS{};
}

void ReadMapSet(TFile3DS& file, TChunk3DS* map, TMapSet3DS& set)
{
    if (!map)
        return;
    set.Percent = Percentage(file, map);
    if (auto* n = ChunkData<TStringChunk>(file, Child(map, 0xA300)))
        set.Name = n->Value;
    if (auto* t = ChunkData<TUInt16Chunk>(file, Child(map, 0xA351)))
        set.TileFlags = t->Value;
    set.Blur = SingleOf(file, Child(map, 0xA353), 0.0f);
    set.UScale = SingleOf(file, Child(map, 0xA354), 1.0f);
    set.VScale = SingleOf(file, Child(map, 0xA356), 1.0f);
    set.UOffset = SingleOf(file, Child(map, 0xA358), 0.0f);
    set.VOffset = SingleOf(file, Child(map, 0xA35A), 0.0f);
    set.Rotation = SingleOf(file, Child(map, 0xA35C), 0.0f);
    set.Tint1 = TintOf(file, Child(map, 0xA360));
    set.Tint2 = TintOf(file, Child(map, 0xA362));
    set.RTint = TintOf(file, Child(map, 0xA364));
    set.GTint = TintOf(file, Child(map, 0xA366));
    set.BTint = TintOf(file, Child(map, 0xA368));
}

} // namespace

std::unique_ptr<TMaterial3DS> ReadMaterial3DS(TFile3DS& file, TChunk3DS* chunk)
{
    if (!chunk || chunk->Tag != 0xAFFF)
        RaiseInvalidChunk(chunk ? "chunk " + Hex(chunk->Tag) + " is not a material entry." : "no material entry.");
    auto m = std::make_unique<TMaterial3DS>();
    for (TChunk3DS* c = chunk->Children.get(); c; c = c->Sibling.get()) {
        const std::uint16_t t = c->Tag;
        if (IsXData(t))
            continue;
        if (t < 0xA000 || t > 0xAFFF)
            Unexpected(chunk, c);
        switch (t) {
        case 0xA000:
            if (auto* n = ChunkData<TStringChunk>(file, c))
                m->Name = n->Value;
            break;
        case 0xA010: m->Ambient = Colour(file, c); break;
        case 0xA020: m->Diffuse = Colour(file, c); break;
        case 0xA030: m->Specular = Colour(file, c); break;
        case 0xA040: m->Shininess = Percentage(file, c); break;
        case 0xA041: m->ShinStrength = Percentage(file, c); break;
        case 0xA050: m->Transparency = Percentage(file, c); break;
        case 0xA052: m->TransFalloff = Percentage(file, c); break;
        case 0xA053: m->Blur = Percentage(file, c); break;
        case 0xA084: m->SelfIllumPct = Percentage(file, c); break;
        case 0xA087: m->WireSize = SingleOf(file, c, 1.0f); break;
        case 0xA100:
            if (auto* s = ChunkData<TInt16Chunk>(file, c))
                m->Shading = s->Value;
            break;
        case 0xA080: m->SelfIllum = true; break;
        case 0xA081: m->TwoSided = true; break;
        case 0xA083: m->Additive = true; break;
        case 0xA085: m->UseWire = true; break;
        case 0xA088: m->FaceMap = true; break;
        case 0xA08C: m->Soften = true; break;
        case 0xA08E: m->UseWireAbs = true; break;
        case 0xA240: m->UseFall = true; break;
        case 0xA250: m->UseBlur = true; break;
        case 0xA200: ReadMapSet(file, c, m->Texture); break;
        case 0xA33A: ReadMapSet(file, c, m->Texture2); break;
        case 0xA210: ReadMapSet(file, c, m->Opacity); break;
        case 0xA230: ReadMapSet(file, c, m->Bump); break;
        case 0xA204: ReadMapSet(file, c, m->SpecMap); break;
        case 0xA33C: ReadMapSet(file, c, m->ShinMap); break;
        case 0xA33D: ReadMapSet(file, c, m->IllumMap); break;
        case 0xA220: ReadMapSet(file, c, m->Reflect); break;
        case 0xA33E: ReadMapSet(file, c, m->TextureMask); break;
        case 0xA340: ReadMapSet(file, c, m->Texture2Mask); break;
        case 0xA342: ReadMapSet(file, c, m->OpacityMask); break;
        case 0xA344: ReadMapSet(file, c, m->BumpMask); break;
        case 0xA346: ReadMapSet(file, c, m->ShinMask); break;
        case 0xA348: ReadMapSet(file, c, m->SpecMask); break;
        case 0xA34A: ReadMapSet(file, c, m->IllumMask); break;
        case 0xA34C: ReadMapSet(file, c, m->ReflectMask); break;
        default: break;
        }
    }
    return m;
}

std::unique_ptr<TMesh3DS> ReadMesh3DS(TFile3DS& file, TChunk3DS* object)
{
    if (!object || object->Tag != 0x4000)
        RaiseInvalidChunk(object ? "chunk " + Hex(object->Tag) + " is not a named object." : "no named object.");
    TChunk3DS* tri = Child(object, 0x4100);
    if (!tri)
        throw E3DSError(Err3DS::WrongObject);
    auto mesh = std::make_unique<TMesh3DS>();
    if (auto* n = ChunkData<TStringChunk>(file, object))
        mesh->Name = n->Value;
    for (TChunk3DS* c = object->Children.get(); c; c = c->Sibling.get()) {
        switch (c->Tag) {
        case 0x4010: mesh->IsHidden = true; break;
        case 0x4011: mesh->IsVisLofter = true; break;
        case 0x4012: mesh->IsNoCast = true; break;
        case 0x4013: mesh->IsMatte = true; break;
        case 0x4014: mesh->IsFast = true; break;
        case 0x4015: mesh->IsProcedural = true; break;
        case 0x4016: mesh->IsFrozen = true; break;
        case 0x4017: mesh->IsNoRcvShad = true; break;
        case 0x4100: break;
        default:
            if (!IsXData(c->Tag))
                Unexpected(object, c);
        }
    }
    // The decoded arrays are copied, not taken over: the chunk keeps its contents, so gathering
    // again after the list is cleared gives the same mesh.
    for (TChunk3DS* c = tri->Children.get(); c; c = c->Sibling.get()) {
        const std::uint16_t t = c->Tag;
        if (IsXData(t))
            continue;
        if (t < 0x4100 || t > 0x41FF)
            Unexpected(tri, c);
        switch (t) {
        case 0x4110:
            if (auto* v = ChunkData<TPointArrayChunk>(file, c))
                mesh->VertexArray = v->Value;
            break;
        case 0x4111:
            if (auto* v = ChunkData<TFlagArrayChunk>(file, c))
                mesh->VFlagArray = v->Value;
            break;
        case 0x4140:
            if (auto* v = ChunkData<TTexVertArrayChunk>(file, c))
                mesh->TextArray = v->Value;
            break;
        case 0x4170:
            if (auto* v = ChunkData<TRawChunk>(file, c))
                mesh->MapInfo = v->Value;
            break;
        case 0x4160:
            if (auto* v = ChunkData<TMeshMatrixChunk>(file, c))
                mesh->LocMatrix = v->Value;
            break;
        case 0x4190:
            if (auto* v = ChunkData<TBoxMapChunk>(file, c))
                mesh->BoxMap = v->Value;
            break;
        case 0x4165:
            if (auto* v = ChunkData<TChunkValue<std::uint8_t>>(file, c))
                mesh->MeshColor = v->Value;
            break;
        case 0x4181:
            if (auto* v = ChunkData<TStringChunk>(file, c))
                mesh->ProcName = v->Value;
            break;
        case 0x4120:
            if (auto* v = ChunkData<TFaceArrayChunk>(file, c))
                mesh->FaceArray = v->Value;
            for (TChunk3DS* g = c->Children.get(); g; g = g->Sibling.get()) {
                if (g->Tag == 0x4130) {
                    if (auto* mg = ChunkData<TMatGroupChunk>(file, g))
                        mesh->MatArray.push_back({mg->MaterialName, mg->Faces});
                } else if (g->Tag == 0x4150) {
                    if (auto* s = ChunkData<TSmoothGroupChunk>(file, g))
                        mesh->SmoothArray = s->Value;
                } else if (!IsXData(g->Tag)) {
                    Unexpected(c, g);
                }
            }
            break;
        default:
            break;
        }
    }

    // Indices that point outside their lists are damage, not something to draw.
    const std::size_t vertices = mesh->VertexArray.size(), faces = mesh->FaceArray.size();
    for (std::size_t i = 0; i < faces; ++i) {
        const TFace3DS& f = mesh->FaceArray[i];
        if (f.V1 >= vertices || f.V2 >= vertices || f.V3 >= vertices)
            RaiseInvalidChunk("mesh \"" + mesh->Name + "\": face " + std::to_string(i) + " uses a vertex past its " +
                              std::to_string(vertices) + " vertices.");
    }
    for (const TObjMat3DS& g : mesh->MatArray)
        for (std::uint16_t f : g.Faces)
            if (f >= faces)
                RaiseInvalidChunk("mesh \"" + mesh->Name + "\": material group \"" + g.Name + "\" names face " +
                                  std::to_string(f) + " of " + std::to_string(faces) + ".");
    // Per-face and per-vertex lists of another length are fitted to their mesh: missing smoothing
    // masks are 0 (no group), missing texture vertices (0, 0).
    if (!mesh->SmoothArray.empty())
        mesh->SmoothArray.resize(faces, 0);
    if (!mesh->TextArray.empty())
        mesh->TextArray.resize(vertices);
    return mesh;
}

// ---------------------------------------------------------------------------------------------
// Lists

int TMaterialList::Count()
{
    if (Slots.empty())
        Slots.resize(Owner.MaterialNames().size());
    return int(Slots.size());
}

const TMaterial3DS& TMaterialList::Material(int index)
{
    if (!Owner.Root())
        throw E3DSError(Err3DS::NoDatabase);
    if (!Owner.IsKnownDatabase())
        throw E3DSError(Err3DS::WrongDatabase);
    if (index < 0 || index >= Count())
        throw E3DSError(Err3DS::InvalidIndex(index));
    auto& slot = Slots[std::size_t(index)];
    if (!slot)
        slot = ReadMaterial3DS(Owner, Owner.MaterialNames()[std::size_t(index)].Chunk);
    return *slot;
}

namespace {

std::vector<TChunk3DS*> MeshObjects(TFile3DS& file)
{
    std::vector<TChunk3DS*> out;
    for (const TNameEntry3DS& e : file.ObjectNames())
        if (Child(e.Chunk, 0x4100))
            out.push_back(e.Chunk);
    return out;
}

} // namespace

int TObjectList::MeshCount()
{
    if (Meshes.empty())
        Meshes.resize(MeshObjects(Owner).size());
    return int(Meshes.size());
}

const TMesh3DS& TObjectList::Mesh(int index)
{
    if (!Owner.Root())
        throw E3DSError(Err3DS::NoDatabase);
    if (!Owner.IsKnownDatabase())
        throw E3DSError(Err3DS::WrongDatabase);
    if (index < 0 || index >= MeshCount())
        throw E3DSError(Err3DS::InvalidIndex(index));
    auto& slot = Meshes[std::size_t(index)];
    if (!slot)
        slot = ReadMesh3DS(Owner, MeshObjects(Owner)[std::size_t(index)]);
    return *slot;
}

void TObjectList::Clear()
{
    Meshes.clear();
    OmniLights.clear();
    SpotLights.clear();
    Cameras.clear();
}

void TKeyFramer::Clear()
{
    Cameras.clear();
    Meshes.clear();
    OmniLights.clear();
    SpotLights.clear();
}
