#include "models/File3DS.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A chunk to write: tag, own data, sub-chunks; Size is computed unless forced.
struct C {
    std::uint16_t Tag;
    Bytes Own;
    std::vector<C> Kids;
    std::optional<std::uint32_t> Size;
};

void Put16(Bytes& b, unsigned v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}
void PutF(Bytes& b, float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    Put32(b, u);
}
void PutS(Bytes& b, const std::string& s)
{
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
}

Bytes Emit(const C& c)
{
    Bytes body = c.Own;
    for (const C& k : c.Kids) {
        const Bytes kb = Emit(k);
        body.insert(body.end(), kb.begin(), kb.end());
    }
    Bytes out;
    Put16(out, c.Tag);
    Put32(out, c.Size ? *c.Size : std::uint32_t(body.size() + 6));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes U16(unsigned v) { Bytes b; Put16(b, v); return b; }
Bytes U32(std::uint32_t v) { Bytes b; Put32(b, v); return b; }
Bytes Str(const std::string& s) { Bytes b; PutS(b, s); return b; }
Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Points(const std::vector<TPoint3DS>& pts, std::optional<unsigned> count = {})
{
    Bytes b;
    Put16(b, count ? *count : unsigned(pts.size()));
    for (const auto& p : pts) {
        PutF(b, p.X);
        PutF(b, p.Y);
        PutF(b, p.Z);
    }
    return b;
}

Bytes Faces(const std::vector<std::array<unsigned, 3>>& faces)
{
    Bytes b;
    Put16(b, unsigned(faces.size()));
    for (const auto& f : faces) {
        Put16(b, f[0]);
        Put16(b, f[1]);
        Put16(b, f[2]);
        Put16(b, 7);
    }
    return b;
}

Bytes Group(const std::string& name, const std::vector<unsigned>& faces)
{
    Bytes b = Str(name);
    Put16(b, unsigned(faces.size()));
    for (unsigned f : faces)
        Put16(b, f);
    return b;
}

Bytes UVs(unsigned n)
{
    Bytes b;
    Put16(b, n);
    for (unsigned i = 0; i < n; ++i) {
        PutF(b, 0.25f * float(i + 1));
        PutF(b, 0.5f);
    }
    return b;
}

// A material with a name, a 24-bit diffuse colour, 50 % shininess and a texture map.
C Material(const std::string& name, const std::string& texture)
{
    return {0xAFFF, {}, {{0xA000, Str(name), {}, {}},
                         {0xA020, {}, {{0x0011, {255, 51, 0}, {}, {}}}, {}},
                         {0xA040, {}, {{0x0030, U16(50), {}, {}}}, {}},
                         {0xA081, {}, {}, {}},
                         {0xA200, {}, {{0x0030, U16(100), {}, {}}, {0xA300, Str(texture), {}, {}}}, {}}},
            {}};
}

// A quad of four vertices and two faces with the given face-list children.
C Quad(const std::string& name, std::vector<C> faceKids, std::vector<C> extra = {})
{
    std::vector<C> tri = {{0x4110, Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}), {}, {}},
                          {0x4120, Faces({{0, 1, 2}, {2, 3, 0}}), std::move(faceKids), {}}};
    tri.insert(tri.end(), extra.begin(), extra.end());
    return {0x4000, Str(name), {{0x4100, {}, tri, {}}}, {}};
}

C Model(std::vector<C> database, std::vector<C> rest = {}, std::uint32_t version = 3)
{
    std::vector<C> top = {{0x0002, U32(version), {}, {}}, {0x3D3D, {}, std::move(database), {}}};
    top.insert(top.end(), rest.begin(), rest.end());
    return {0x4D4D, {}, top, {}};
}

C NodeHeader(const std::string& name, unsigned parent)
{
    Bytes own = Str(name);
    Put16(own, 0);
    Put16(own, 0);
    Put16(own, parent);
    return {0xB010, own, {}, {}};
}

// Loads the bytes and touches every material and mesh, so that damage anywhere surfaces.
void LoadAll(const Bytes& bytes)
{
    TFile3DS file;
    file.LoadFromBuffer(bytes);
    for (int i = 0; i < file.Materials.Count(); ++i)
        file.Materials.Material(i);
    for (int i = 0; i < file.Objects.MeshCount(); ++i)
        file.Objects.Mesh(i);
}

} // namespace

TEST(File3DS, ReadsTreeMaterialsAndMeshes)
{
    const C model = Model({{0x3D3E, U32(2), {}, {}},
                           Material("Red", "BRICK.JPG"),
                           {0x4000, Str("Light01"), {{0x4600, Bytes(12, 0), {}, {}}}, {}},
                           Quad("Quad", {{0x4130, Group("Red", {1}), {}, {}}, {0x4150, U32(5), {}, {}}},
                                {{0x4140, UVs(2), {}, {}}})});
    qxtest::TempDir dir;
    std::filesystem::create_directory(dir.path() / "Models");
    qxtest::WriteFileBytes(dir.file("Models/House.3DS"), Emit(model));
    // Stored names may use '\\' and another case.
    TFile3DS file(dir.path().string() + "\\models\\house.3ds");

    ASSERT_NE(file.Root(), nullptr);
    EXPECT_EQ(file.Root()->Tag, 0x4D4D);
    EXPECT_EQ(file.GetFileRelease(), rlRelease3);
    EXPECT_EQ(file.GetMeshRelease(), rlRelease2);
    EXPECT_EQ(file.GetDatabaseRelease(), rlRelease3);

    TChunk3DS* db = TFile3DS::FindChunk(file.Root(), 0x3D3D);
    ASSERT_NE(db, nullptr);
    TChunk3DS* firstObject = TFile3DS::FindNextChunk(db->Children.get(), 0x4000);
    ASSERT_NE(firstObject, nullptr);
    TChunk3DS* secondObject = TFile3DS::FindNextChunk(firstObject->Sibling.get(), 0x4000);
    ASSERT_NE(secondObject, nullptr);
    EXPECT_EQ(TFile3DS::FindChunk(secondObject, 0x4110), TFile3DS::FindChunk(file.Root(), 0x4110));
    EXPECT_EQ(TFile3DS::FindChunk(file.Root(), 0x7777), nullptr);
    EXPECT_EQ(TFile3DS::FindChunk(nullptr, 0x4D4D), nullptr);

    // Contents are decoded once and kept.
    TChunkData* first = DecodeChunkPayload(file, firstObject);
    EXPECT_EQ(DecodeChunkPayload(file, firstObject), first);
    EXPECT_EQ(dynamic_cast<TStringChunk*>(first)->Value, "Light01");

    ASSERT_EQ(file.Materials.Count(), 1);
    const TMaterial3DS& m = file.Materials.Material(0);
    EXPECT_EQ(m.Name, "Red");
    EXPECT_FLOAT_EQ(m.Diffuse.R, 1.0f);
    EXPECT_FLOAT_EQ(m.Diffuse.G, 0.2f);
    EXPECT_FLOAT_EQ(m.Shininess, 0.5f);
    EXPECT_TRUE(m.TwoSided);
    EXPECT_EQ(m.Texture.Name, "BRICK.JPG");
    EXPECT_FLOAT_EQ(m.Texture.Percent, 1.0f);
    EXPECT_FLOAT_EQ(m.Texture.UScale, 1.0f);
    EXPECT_EQ(m.Shading, 3);
    EXPECT_FLOAT_EQ(m.WireSize, 1.0f);
    EXPECT_EQ(&file.Materials.Material(0), &m);

    // The light is a named object but not a mesh.
    ASSERT_EQ(file.Objects.MeshCount(), 1);
    const TMesh3DS& q = file.Objects.Mesh(0);
    EXPECT_EQ(q.Name, "Quad");
    EXPECT_EQ(q.VertexArray.size(), 4u);
    ASSERT_EQ(q.FaceArray.size(), 2u);
    EXPECT_EQ(q.FaceArray[1].V2, 3);
    ASSERT_EQ(q.MatArray.size(), 1u);
    EXPECT_EQ(q.MatArray[0].Name, "Red");
    EXPECT_EQ(q.MatArray[0].Faces, std::vector<std::uint16_t>{1});
    // A smoothing list and a uv list shorter than the mesh are fitted to it.
    EXPECT_EQ(q.SmoothArray, (std::vector<std::uint32_t>{5, 0}));
    ASSERT_EQ(q.TextArray.size(), 4u);
    EXPECT_FLOAT_EQ(q.TextArray[1].U, 0.5f);
    EXPECT_FLOAT_EQ(q.TextArray[3].U, 0.0f);
    try {
        ReadMesh3DS(file, firstObject);
        ADD_FAILURE() << "a light read as a mesh";
    } catch (const E3DSError& e) {
        EXPECT_STREQ(e.what(), Err3DS::WrongObject);
    }

    // Clearing a list and gathering again gives the same mesh.
    file.Objects.Clear();
    EXPECT_EQ(file.Objects.Mesh(0).VertexArray.size(), 4u);
}

TEST(File3DS, MeshWithoutGroupsOrSmoothing)
{
    TFile3DS file;
    const Bytes bytes = Emit(Model({Quad("Plain", {})}));
    std::istringstream stream(std::string(bytes.begin(), bytes.end()));
    file.LoadFromStream(stream);
    const TMesh3DS& q = file.Objects.Mesh(0);
    EXPECT_TRUE(q.SmoothArray.empty());
    EXPECT_TRUE(q.MatArray.empty());
    EXPECT_TRUE(q.TextArray.empty());
}

TEST(File3DS, IndexAndKindErrors)
{
    struct Case {
        const char* name;
        std::optional<Bytes> bytes; // nothing loaded when empty
        int index;
        std::string error;
    };
    const Bytes model = Emit(Model({Material("A", "a.bmp"), Quad("Q", {})}));
    const Bytes notADatabase = Emit({0x1234, Bytes(4, 0), {}, {}});
    const std::vector<Case> cases = {
        {"past the end", model, 1, "Invalid index 1."},
        {"negative", model, -1, "Invalid index -1."},
        {"wrong kind", notADatabase, 0, Err3DS::WrongDatabase},
        {"nothing loaded", std::nullopt, 0, Err3DS::NoDatabase},
    };
    for (const Case& c : cases) {
        TFile3DS file;
        if (c.bytes)
            file.LoadFromBuffer(*c.bytes);
        for (int list = 0; list < 2; ++list) {
            try {
                if (list == 0)
                    file.Materials.Material(c.index);
                else
                    file.Objects.Mesh(c.index);
                ADD_FAILURE() << c.name << ": no error";
            } catch (const E3DSError& e) {
                EXPECT_EQ(e.what(), c.error) << c.name;
            }
        }
    }
    TFile3DS other;
    other.LoadFromBuffer(notADatabase);
    ASSERT_NE(other.Root(), nullptr);
    EXPECT_EQ(other.Root()->Children, nullptr);
    EXPECT_EQ(other.Materials.Count(), 0);
    EXPECT_EQ(other.Objects.MeshCount(), 0);
    EXPECT_EQ(other.GetDatabaseRelease(), rlReleaseNotKnown);
}

TEST(File3DS, MaterialLibraryAndMeshFileReleases)
{
    TFile3DS lib;
    lib.LoadFromBuffer(Emit({0x3DAA, {}, {Material("A", "a.png"), Material("B", "b.png")}, {}}));
    EXPECT_EQ(lib.GetDatabaseRelease(), rlRelease3);
    EXPECT_EQ(lib.GetFileRelease(), rlReleaseNotKnown);
    ASSERT_EQ(lib.Materials.Count(), 2);
    EXPECT_EQ(lib.Materials.Material(1).Texture.Name, "b.png");

    TFile3DS mesh;
    mesh.LoadFromBuffer(Emit({0xC23D, {}, {{0x3D3D, {}, {{0x3D3E, U32(1), {}, {}}}, {}}}, {}}));
    EXPECT_EQ(mesh.GetMeshRelease(), rlRelease1);
    EXPECT_EQ(mesh.GetDatabaseRelease(), rlRelease1);

    TFile3DS odd;
    odd.LoadFromBuffer(Emit(Model({}, {}, 7)));
    EXPECT_EQ(odd.GetFileRelease(), rlReleaseNotKnown);
}

TEST(File3DS, DamagedFilesRaise)
{
    const Bytes good = Emit(Model({Material("A", "a.bmp"), Quad("Q", {{0x4130, Group("A", {0, 1}), {}, {}}})}));
    ASSERT_NO_THROW(LoadAll(good));

    auto withTri = [](std::vector<C> tri) { return Emit(Model({{0x4000, Str("Bad"), {{0x4100, {}, tri, {}}}, {}}})); };
    C deep{0x3D3D, {}, {}, {}};
    for (int i = 0; i < 200; ++i)
        deep = C{0x3D3D, {}, {deep}, {}};

    struct Case {
        const char* name;
        Bytes bytes;
    };
    std::vector<Case> cases = {
        {"empty file", {}},
        {"header cut short", {0x4D, 0x4D, 0x10}},
        {"vertex count past the chunk", withTri({{0x4110, Points({{0, 0, 0}}, 100), {}, {}}})},
        {"face count past the chunk", withTri({{0x4110, Points({{0, 0, 0}}), {}, {}}, {0x4120, U16(50), {}, {}}})},
        {"face index past the vertices",
         withTri({{0x4110, Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), {}, {}}, {0x4120, Faces({{0, 1, 3}}), {}, {}}})},
        {"group face past the faces",
         withTri({{0x4110, Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), {}, {}},
                  {0x4120, Faces({{0, 1, 2}}), {{0x4130, Group("A", {0, 1}), {}, {}}}, {}}})},
        {"group count past the chunk",
         withTri({{0x4110, Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), {}, {}},
                  {0x4120, Faces({{0, 1, 2}}), {{0x4130, Cat(Str("A"), U16(9000)), {}, {}}}, {}}})},
        {"unexpected chunk in a mesh", withTri({{0x3000, {}, {}, {}}})},
        {"chunk size below its header", Emit(Model({{0x3D3E, U32(3), {}, 2u}}))},
        {"fixed contents larger than the chunk", Emit(Model({{0x3D3E, U16(3), {}, {}}}))},
        {"size past the end of the file", Emit(Model({{0xAFFF, {}, {}, 5000u}}))},
        {"deep nesting", Emit(Model({deep}))},
        {"not a material in a material slot", Emit({0x3DAA, {}, {{0xAFFF, {}, {{0x4110, Points({}), {}, {}}}, {}}}, {}})},
    };
    for (std::size_t cut : {std::size_t(20), good.size() / 2, good.size() - 3})
        cases.push_back({"truncated", Bytes(good.begin(), good.begin() + std::ptrdiff_t(cut))});
    for (const Case& c : cases) {
        try {
            LoadAll(c.bytes);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const E3DSError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(Err3DS::InvalidChunk, 0), 0u) << c.name << ": " << e.what();
        }
    }
}

TEST(File3DS, MissingFileAndFailedLoadLeaveNothing)
{
    TFile3DS file;
    file.LoadFromBuffer(Emit(Model({Quad("Q", {})})));
    EXPECT_EQ(file.Objects.MeshCount(), 1);
    EXPECT_THROW(file.LoadFromFile("/nonexistent/model.3ds"), E3DSError);
    EXPECT_EQ(file.Root(), nullptr);
    EXPECT_EQ(file.Objects.MeshCount(), 0);
}

TEST(File3DS, KeyframerParentNames)
{
    auto node = [](std::uint16_t tag, std::optional<unsigned> id, const std::string& name, unsigned parent,
                   const std::string& instance = "") {
        C n{tag, {}, {}, {}};
        if (id)
            n.Kids.push_back({0xB030, U16(*id), {}, {}});
        n.Kids.push_back(NodeHeader(name, parent));
        if (!instance.empty())
            n.Kids.push_back({0xB011, Str(instance), {}, {}});
        return n;
    };
    auto parentOf = [](TFile3DS& f, int index) -> std::string {
        TChunk3DS* header = TFile3DS::FindNextChunk(f.NodeNames()[std::size_t(index)].Chunk->Children.get(), 0xB010);
        const auto* s = ChunkData<TStringChunk>(f, TFile3DS::FindNextChunk(header->Children.get(), 0x80F0));
        return s ? s->Value : "<none>";
    };

    TFile3DS file;
    file.LoadFromBuffer(Emit(Model({}, {{0xB000, {}, {node(0xB002, 10, "Body", 0xFFFF, "left"),
                                                      node(0xB003, 11, "Cam", 10),
                                                      node(0xB002, 12, "Wheel", 11)}, {}}})));
    ASSERT_EQ(file.NodeNames().size(), 3u);
    EXPECT_EQ(parentOf(file, 0), "<none>");
    EXPECT_EQ(parentOf(file, 1), "Body.left");
    EXPECT_EQ(parentOf(file, 2), "Cam");
    const auto table = file.ReadNodeList();
    EXPECT_EQ(table[0].InstanceName, "left");
    EXPECT_EQ(table[2].ID, 12);

    // One node without an id chunk: all are numbered in file order, parents refer to those numbers.
    TFile3DS renumbered;
    renumbered.LoadFromBuffer(Emit(Model({}, {{0xB000, {}, {node(0xB002, std::nullopt, "A", 0xFFFF),
                                                            node(0xB002, 1, "B", 0),
                                                            node(0xB002, 7, "C", 1)}, {}}})));
    const auto nodes = renumbered.ReadNodeList();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].ID, 0);
    EXPECT_EQ(nodes[2].ID, 2);
    EXPECT_EQ(parentOf(renumbered, 1), "A");
    EXPECT_EQ(parentOf(renumbered, 2), "<none>"); // its id 7 is no longer in the table
}

TEST(File3DS, TrackKeysReadOnlyTheirSplineValues)
{
    Bytes track;
    Put16(track, 0);
    Put32(track, 0);
    Put32(track, 0);
    Put32(track, 2);
    Put32(track, 5);   // frame
    Put16(track, 0x05); // tension and bias
    PutF(track, 0.25f);
    PutF(track, -0.5f);
    PutF(track, 1);
    PutF(track, 2);
    PutF(track, 3);
    Put32(track, 9);
    Put16(track, 0);
    PutF(track, 4);
    PutF(track, 5);
    PutF(track, 6);
    TFile3DS file;
    file.LoadFromBuffer(Emit(Model({}, {{0xB000, {}, {{0xB002, {}, {{0xB020, track, {}, {}}}, {}}}, {}}})));
    auto* t = ChunkData<TTrackChunk>(file, TFile3DS::FindChunk(file.Root(), 0xB020));
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->Keys.size(), 2u);
    EXPECT_FLOAT_EQ(t->Keys[0].Header.Tension, 0.25f);
    EXPECT_FLOAT_EQ(t->Keys[0].Header.Bias, -0.5f);
    EXPECT_FLOAT_EQ(t->Keys[0].Header.Continuity, 0.0f);
    EXPECT_FLOAT_EQ(t->Keys[0].Values[0], 1.0f);
    EXPECT_EQ(t->Keys[1].Header.Time, 9u);
    EXPECT_FLOAT_EQ(t->Keys[1].Values[2], 6.0f);

    // A key count the chunk cannot hold.
    Bytes bad(track.begin(), track.begin() + 10);
    Put32(bad, 0x10000000);
    TFile3DS damaged;
    damaged.LoadFromBuffer(Emit(Model({}, {{0xB000, {}, {{0xB002, {}, {{0xB021, bad, {}, {}}}, {}}}, {}}})));
    EXPECT_THROW(DecodeChunkPayload(damaged, TFile3DS::FindChunk(damaged.Root(), 0xB021)), E3DSError);
}

TEST(File3DS, ExtendedDataEntriesKeepOnlyTheirOwnChunks)
{
    // Entry 1: an application name, an overrunning string (dropped), another application name.
    Bytes overrun;
    Put16(overrun, 0x8003);
    Put32(overrun, 500);
    C entry1{0x8001, {}, {{0x8002, Str("app"), {}, {}}}, {}};
    Bytes e1 = Emit(entry1);
    // Splice in the overrunning header, then a proper chunk, and fix the entry's size.
    const Bytes tail = Emit({0x8002, Str("next"), {}, {}});
    e1.insert(e1.end(), overrun.begin(), overrun.end());
    e1.insert(e1.end(), tail.begin(), tail.end());
    const std::uint32_t size1 = std::uint32_t(e1.size());
    std::memcpy(e1.data() + 2, &size1, 4);
    // Entry 2: a foreign chunk ends the entry.
    const Bytes e2 = Emit({0x8001, {}, {{0x4110, Points({}), {}, {}}, {0x8002, Str("lost"), {}, {}}}, {}});
    Bytes xdata = e1;
    xdata.insert(xdata.end(), e2.begin(), e2.end());
    Bytes container;
    Put16(container, 0x8000);
    Put32(container, std::uint32_t(xdata.size() + 6));
    container.insert(container.end(), xdata.begin(), xdata.end());
    Bytes db;
    Put16(db, 0x3D3D);
    Put32(db, std::uint32_t(container.size() + 6));
    db.insert(db.end(), container.begin(), container.end());
    Bytes root;
    Put16(root, 0x4D4D);
    Put32(root, std::uint32_t(db.size() + 6));
    root.insert(root.end(), db.begin(), db.end());

    TFile3DS file;
    file.LoadFromBuffer(root);
    TChunk3DS* first = TFile3DS::FindChunk(file.Root(), 0x8001);
    ASSERT_NE(first, nullptr);
    std::vector<std::string> names;
    for (TChunk3DS* c = first->Children.get(); c; c = c->Sibling.get())
        names.push_back(ChunkData<TStringChunk>(file, c)->Value);
    EXPECT_EQ(names, (std::vector<std::string>{"app", "next"}));
    TChunk3DS* second = TFile3DS::FindNextChunk(first->Sibling.get(), 0x8001);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Children, nullptr);
}
