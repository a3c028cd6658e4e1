#include "models/File3DS.h"

#include "models/GraphicEx.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

namespace {

constexpr std::uint16_t kMain = 0x4D4D, kMeshFile = 0xC23D, kMaterialLibrary = 0x3DAA;
constexpr std::uint16_t kDatabase = 0x3D3D, kKeyframer = 0xB000, kNodeHeader = 0xB010, kNodeId = 0xB030;
constexpr std::uint16_t kInstanceName = 0xB011, kParentName = 0x80F0, kXDataEntry = 0x8001;
// Target, object, camera, omni light, light target and spotlight nodes, in the order they are visited.
constexpr std::uint16_t kNodeTags[] = {0xB004, 0xB002, 0xB003, 0xB005, 0xB006, 0xB007};

std::string Hex(unsigned v)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", v & 0xFFFF);
    return buf;
}

std::string Where(const TChunk3DS* node)
{
    return "chunk " + Hex(node->Tag) + " at offset " + std::to_string(node->Position);
}

bool IsContainer(std::uint16_t t)
{
    switch (t) {
    case 0x1200: case 0x2100: case 0x2D2D: case 0x2D3D: case 0x3000: case 0x3D3D: case 0x3DAA: case 0x3DFF:
    case 0x4100: case 0x4D4D: case 0x8000: case 0x8001: case 0xA010: case 0xA020: case 0xA030: case 0xA050:
    case 0xA052: case 0xA053: case 0xA084: case 0xA200: case 0xA204: case 0xA210: case 0xA220: case 0xA230:
    case 0xA33A: case 0xA340: case 0xA342: case 0xA344: case 0xA346: case 0xA348: case 0xA34A: case 0xA34C:
    case 0xC23D:
        return true;
    default:
        return (t >= 0xA040 && t <= 0xA042) || (t >= 0xA33C && t <= 0xA33E) || (t >= 0xAFFF && t <= 0xB007);
    }
}

bool IsStringChunk(std::uint16_t t)
{
    switch (t) {
    case 0x1100: case 0x3080: case 0x4000: case 0x4181: case 0xA000: case 0xA300: case 0xB011:
        return true;
    default:
        return false;
    }
}

// Own data of fixed length; -1 for tags not in the table.
int FixedOwnData(std::uint16_t t)
{
    switch (t) {
    case 0x0030: case 0x1420: case 0x1430: case 0xB030: return 2;
    case 0x0011: return 3;
    case 0x0002: case 0x0031: case 0x0100: case 0x1300: case 0x1400: case 0x1410: case 0x3D3E: case 0xB009:
    case 0xB015: case 0xD000: return 4;
    case 0xB008: return 8;
    case 0x4641: return 10;
    case 0x0010: case 0x1500: case 0x4600: case 0xA310: case 0xB013: return 12;
    case 0x7001: return 14;
    case 0x2200: case 0x2300: case 0x2302: return 16;
    case 0x4610: return 20;
    case 0xB014: return 24;
    case 0x3070: return 28;
    case 0x4700: return 32;
    case 0x4160: return 48;
    default:
        return t >= 0x3010 && t <= 0x3060 ? 16 : -1;
    }
}

// Canonical place of the chunks that can sit below a node header: earlier ones rank higher.
int CanonicalRank(std::uint16_t t)
{
    static const std::uint16_t order[] = {kNodeId, kNodeHeader, kParentName, kInstanceName, 0xB013, 0xB014, 0xB015,
                                          0xB020, 0xB021, 0xB022, 0xB023, 0xB024, 0xB025, 0xB026, 0xB027, 0xB028, 0xB029};
    constexpr int n = int(sizeof order / sizeof order[0]);
    for (int i = 0; i < n; ++i)
        if (order[i] == t)
            return n - i;
    return n + 1; // unknown chunks keep their place before the known ones
}

bool IsNodeTag(std::uint16_t t)
{
    return std::find(std::begin(kNodeTags), std::end(kNodeTags), t) != std::end(kNodeTags);
}

TChunk3DS* DirectChild(TChunk3DS* node, std::uint16_t tag)
{
    return node ? TFile3DS::FindNextChunk(node->Children.get(), tag) : nullptr;
}

} // namespace

TChunk3DS::~TChunk3DS()
{
    // Each step detaches the next sibling before the current one is freed.
    std::unique_ptr<TChunk3DS> next = std::move(Sibling);
    while (next)
        next = std::move(next->Sibling);
}

TFile3DS::TFile3DS() : Materials(*this), Objects(*this) {}

TFile3DS::TFile3DS(const std::string& fileName) : TFile3DS() { LoadFromFile(fileName); }

TFile3DS::~TFile3DS() { Clear(); }

void TFile3DS::Clear()
{
    Materials.Clear();
    Objects.Clear();
    KeyFramer.Clear();
    RootNode.reset();
    Data.clear();
    Data.shrink_to_fit();
    ResetCaches();
}

void TFile3DS::ResetCaches()
{
    RefreshObjects = RefreshMaterials = RefreshNodes = true;
    ObjectTable.clear();
    MaterialTable.clear();
    NodeTable.clear();
}

void TFile3DS::LoadFromFile(const std::string& fileName)
{
    Clear();
    Name = fileName;
    // Stored names may use '\' and another case than the file on disk.
    const std::string path = FindFileCaseInsensitive(fileName);
    std::error_code ec;
    const auto size = path.empty() ? 0 : std::filesystem::file_size(path, ec);
    if (path.empty() || ec)
        throw E3DSError("Cannot open the model file " + fileName + ".");
    if (size > kMaxFileBytes)
        throw E3DSError(Err3DS::NoMemory);
    std::vector<std::uint8_t> bytes(size);
    std::ifstream in(path, std::ios::binary);
    if (!in || (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size))))
        throw E3DSError("Cannot read the model file " + fileName + ".");
    LoadFromBuffer(std::move(bytes));
}

void TFile3DS::LoadFromStream(std::istream& stream)
{
    std::vector<std::uint8_t> bytes;
    char buffer[65536];
    while (stream) {
        stream.read(buffer, sizeof buffer);
        const std::streamsize got = stream.gcount();
        if (got <= 0)
            break;
        if (bytes.size() + std::size_t(got) > kMaxFileBytes)
            throw E3DSError(Err3DS::NoMemory);
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (stream.bad())
        throw E3DSError("Cannot read the model file " + Name + ".");
    LoadFromBuffer(std::move(bytes));
}

void TFile3DS::LoadFromBuffer(std::vector<std::uint8_t> bytes)
{
    Materials.Clear();
    Objects.Clear();
    KeyFramer.Clear();
    RootNode.reset();
    ResetCaches();
    Data = std::move(bytes);
    try {
        std::uint64_t pos = 0;
        std::unique_ptr<TChunk3DS> root = ReadHeader(pos);
        const std::uint16_t tag = root->Tag;
        RootNode = std::move(root);
        if (tag != kMain && tag != kMeshFile && tag != kMaterialLibrary)
            return; // not a 3DS database: the tree is the root alone
        LoadChunkTree(RootNode.get(), pos, 0);
        AddParentNames(ReadNodeList());
        ResetCaches();
    } catch (const std::bad_alloc&) {
        RootNode.reset();
        Data.clear();
        ResetCaches();
        throw E3DSError(Err3DS::NoMemory);
    } catch (...) {
        RootNode.reset();
        Data.clear();
        ResetCaches();
        throw;
    }
}

std::unique_ptr<TChunk3DS> TFile3DS::ReadHeader(std::uint64_t& pos)
{
    if (pos + 6 > Data.size())
        RaiseInvalidChunk("The file ends at byte " + std::to_string(Data.size()) + " where a chunk header should start (offset " +
                          std::to_string(pos) + ").");
    auto node = std::make_unique<TChunk3DS>();
    const std::uint8_t* p = Data.data() + pos;
    node->Tag = std::uint16_t(p[0] | (p[1] << 8));
    node->Size = std::uint32_t(p[2]) | (std::uint32_t(p[3]) << 8) | (std::uint32_t(p[4]) << 16) | (std::uint32_t(p[5]) << 24);
    node->Position = std::int32_t(pos);
    if (node->Size < 6)
        RaiseInvalidChunk(Where(node.get()) + " has the size " + std::to_string(node->Size) + ", below its own header.");
    pos += 6;
    return node;
}

std::uint64_t TFile3DS::ChildrenOffset(const TChunk3DS* node, std::uint64_t pos) const
{
    const std::uint16_t t = node->Tag;
    const std::uint64_t payload = node->Size - 6u;
    const std::uint64_t limit = std::min<std::uint64_t>(std::uint64_t(node->Position) + node->Size, Data.size());
    // Length of a zero-terminated string at p, never past the chunk (or file) end.
    auto stringLength = [&](std::uint64_t p) -> std::uint64_t {
        std::uint64_t q = p;
        while (q < limit && Data[q] != 0)
            ++q;
        return q < limit ? q - p + 1 : q - std::min(p, q);
    };
    std::uint64_t own;
    if (IsContainer(t)) {
        own = 0;
    } else if (IsStringChunk(t)) {
        own = stringLength(pos);
    } else if (t == kNodeHeader) {
        own = stringLength(pos) + 6;
    } else if (t == 0xB00A) {
        own = 2 + stringLength(pos + 2) + 4;
    } else if (t == 0x4120) {
        if (pos + 2 > limit)
            RaiseInvalidChunk(Where(node) + " ends before its face count.");
        const std::uint64_t count = Data[pos] | (Data[pos + 1] << 8);
        own = 2 + 8 * count;
    } else {
        const int fixed = FixedOwnData(t);
        own = fixed >= 0 ? std::uint64_t(fixed) : payload;
    }
    if (own > payload)
        RaiseInvalidChunk(Where(node) + " holds " + std::to_string(payload) + " bytes but its contents need " +
                          std::to_string(own) + ".");
    return own;
}

void TFile3DS::LoadChunkTree(TChunk3DS* node, std::uint64_t& pos, int depth)
{
    if (depth > kMaxDepth)
        RaiseInvalidChunk(Where(node) + " is nested deeper than " + std::to_string(kMaxDepth) + " levels.");
    pos += ChildrenOffset(node, pos);
    if (pos > Data.size())
        RaiseInvalidChunk("The file ends at byte " + std::to_string(Data.size()) + " inside " + Where(node) + ".");
    const std::uint64_t end = std::uint64_t(node->Position) + node->Size;
    std::unique_ptr<TChunk3DS>* tail = &node->Children;
    while (pos < end) {
        std::unique_ptr<TChunk3DS> child = ReadHeader(pos);
        TChunk3DS* c = child.get();
        *tail = std::move(child);
        tail = &c->Sibling;
        if (c->Tag == kXDataEntry)
            LoadXDataEntry(c, pos, depth + 1);
        else
            LoadChunkTree(c, pos, depth + 1);
    }
}

void TFile3DS::LoadXDataEntry(TChunk3DS* node, std::uint64_t& pos, int depth)
{
    if (depth > kMaxDepth)
        RaiseInvalidChunk(Where(node) + " is nested deeper than " + std::to_string(kMaxDepth) + " levels.");
    pos += ChildrenOffset(node, pos);
    const std::uint64_t end = std::uint64_t(node->Position) + node->Size;
    std::unique_ptr<TChunk3DS>* tail = &node->Children;
    while (pos < end) {
        std::unique_ptr<TChunk3DS> child = ReadHeader(pos);
        if (child->Tag < 0x8002 || child->Tag > 0x800F) {
            pos = end; // not extended data: the rest of the entry is dropped
            continue;
        }
        if (std::uint64_t(child->Position) + child->Size > end)
            continue; // runs past the entry: dropped, reading goes on after its header
        TChunk3DS* c = child.get();
        *tail = std::move(child);
        tail = &c->Sibling;
        LoadChunkTree(c, pos, depth + 1);
    }
}

TChunk3DS* TFile3DS::FindChunk(TChunk3DS* node, std::uint16_t tag)
{
    if (!node)
        return nullptr;
    // Depth first without recursion along siblings; the depth of the tree is bounded at load.
    if (node->Tag == tag)
        return node;
    for (TChunk3DS* c = node->Children.get(); c; c = c->Sibling.get())
        if (TChunk3DS* hit = FindChunk(c, tag))
            return hit;
    return nullptr;
}

TChunk3DS* TFile3DS::FindNextChunk(TChunk3DS* node, std::uint16_t tag)
{
    for (TChunk3DS* c = node; c; c = c->Sibling.get())
        if (c->Tag == tag)
            return c;
    return nullptr;
}

bool TFile3DS::IsKnownDatabase() const
{
    return RootNode && (RootNode->Tag == kMain || RootNode->Tag == kMeshFile || RootNode->Tag == kMaterialLibrary);
}

namespace {

TReleaseLevel ReleaseOf(TFile3DS& file, TChunk3DS* versionChunk)
{
    const auto* v = ChunkData<TUInt32Chunk>(file, versionChunk);
    if (!v)
        return rlReleaseNotKnown;
    switch (v->Value) {
    case 1: return rlRelease1;
    case 2: return rlRelease2;
    case 3: return rlRelease3;
    default: return rlReleaseNotKnown;
    }
}

} // namespace

TReleaseLevel TFile3DS::GetFileRelease()
{
    if (!RootNode || RootNode->Tag != kMain)
        return rlReleaseNotKnown;
    return ReleaseOf(*this, FindChunk(RootNode.get(), 0x0002));
}

TReleaseLevel TFile3DS::GetMeshRelease()
{
    if (!RootNode || (RootNode->Tag != kMain && RootNode->Tag != kMeshFile))
        return rlReleaseNotKnown;
    return ReleaseOf(*this, FindChunk(RootNode.get(), 0x3D3E));
}

TReleaseLevel TFile3DS::GetDatabaseRelease()
{
    if (!RootNode)
        return rlReleaseNotKnown;
    switch (RootNode->Tag) {
    case kMaterialLibrary: return rlRelease3;
    case kMain: return GetFileRelease();
    case kMeshFile: return GetMeshRelease();
    default: return rlReleaseNotKnown;
    }
}

namespace {

// The chunk whose children are the materials and named objects.
TChunk3DS* DatabaseChunk(TChunk3DS* root)
{
    if (!root)
        return nullptr;
    if (root->Tag == kMaterialLibrary)
        return root;
    if (root->Tag == kMain || root->Tag == kMeshFile)
        return TFile3DS::FindChunk(root, kDatabase);
    return nullptr;
}

std::string StringOf(TFile3DS& file, TChunk3DS* chunk)
{
    const auto* s = ChunkData<TStringChunk>(file, chunk);
    return s ? s->Value : std::string();
}

} // namespace

const std::vector<TNameEntry3DS>& TFile3DS::ObjectNames()
{
    if (RefreshObjects) {
        ObjectTable.clear();
        if (TChunk3DS* db = DatabaseChunk(RootNode.get()))
            for (TChunk3DS* c = FindNextChunk(db->Children.get(), 0x4000); c; c = FindNextChunk(c->Sibling.get(), 0x4000))
                ObjectTable.push_back({StringOf(*this, c), c});
        RefreshObjects = false;
    }
    return ObjectTable;
}

const std::vector<TNameEntry3DS>& TFile3DS::MaterialNames()
{
    if (RefreshMaterials) {
        MaterialTable.clear();
        if (TChunk3DS* db = DatabaseChunk(RootNode.get()))
            for (TChunk3DS* c = FindNextChunk(db->Children.get(), 0xAFFF); c; c = FindNextChunk(c->Sibling.get(), 0xAFFF))
                MaterialTable.push_back({StringOf(*this, DirectChild(c, 0xA000)), c});
        RefreshMaterials = false;
    }
    return MaterialTable;
}

const std::vector<TNameEntry3DS>& TFile3DS::NodeNames()
{
    if (RefreshNodes) {
        NodeTable.clear();
        if (TChunk3DS* kf = IsKnownDatabase() ? FindChunk(RootNode.get(), kKeyframer) : nullptr)
            for (TChunk3DS* c = kf->Children.get(); c; c = c->Sibling.get())
                if (IsNodeTag(c->Tag))
                    if (auto* h = ChunkData<TNodeHeaderChunk>(*this, DirectChild(c, kNodeHeader)))
                        NodeTable.push_back({h->ObjName, c});
        RefreshNodes = false;
    }
    return NodeTable;
}

std::vector<TNodeList> TFile3DS::ReadNodeList()
{
    std::vector<TNodeList> nodes;
    TChunk3DS* kf = IsKnownDatabase() ? FindChunk(RootNode.get(), kKeyframer) : nullptr;
    if (!kf)
        return nodes;
    bool renumber = false;
    for (TChunk3DS* c = kf->Children.get(); c; c = c->Sibling.get()) {
        if (!IsNodeTag(c->Tag))
            continue;
        auto* header = ChunkData<TNodeHeaderChunk>(*this, DirectChild(c, kNodeHeader));
        if (!header)
            continue;
        TNodeList entry;
        const auto* id = ChunkData<TUInt16Chunk>(*this, DirectChild(c, kNodeId));
        entry.ID = id ? id->Value : 0xFFFF;
        entry.Tag = c->Tag;
        entry.Name = header->ObjName;
        entry.ParentID = header->ParentIndex;
        if (c->Tag == 0xB002)
            entry.InstanceName = StringOf(*this, DirectChild(c, kInstanceName));
        renumber = renumber || entry.ID == 0xFFFF;
        nodes.push_back(std::move(entry));
    }
    if (renumber)
        for (std::size_t i = 0; i < nodes.size(); ++i)
            nodes[i].ID = std::uint16_t(i);
    return nodes;
}

void TFile3DS::AddParentNames(const std::vector<TNodeList>& nodes)
{
    TChunk3DS* kf = FindChunk(RootNode.get(), kKeyframer);
    if (!kf || nodes.empty())
        return;
    auto byId = [&](std::uint16_t id) -> const TNodeList* {
        for (const TNodeList& n : nodes)
            if (n.ID == id)
                return &n;
        return nullptr;
    };
    for (std::uint16_t tag : kNodeTags) {
        for (TChunk3DS* c = FindChunk(kf, tag); c; c = FindNextChunk(c->Sibling.get(), tag)) {
            TChunk3DS* header = DirectChild(c, kNodeHeader);
            const auto* id = ChunkData<TUInt16Chunk>(*this, DirectChild(c, kNodeId));
            if (!header || !id)
                continue;
            const TNodeList* entry = byId(id->Value);
            if (!entry || entry->ParentID == 0xFFFF)
                continue;
            const TNodeList* parent = byId(entry->ParentID);
            if (!parent)
                continue;
            const std::string name = parent->InstanceName.empty() ? parent->Name : parent->Name + "." + parent->InstanceName;
            if (name.empty())
                continue;
            TChunk3DS* slot = DirectChild(header, kParentName);
            if (!slot) {
                auto fresh = std::make_unique<TChunk3DS>();
                fresh->Tag = kParentName;
                fresh->Size = std::uint32_t(6 + name.size() + 1);
                slot = fresh.get();
                // After the last child that comes no later in the canonical order.
                const int rank = CanonicalRank(kParentName);
                std::unique_ptr<TChunk3DS>* link = &header->Children;
                std::unique_ptr<TChunk3DS>* after = nullptr;
                for (TChunk3DS* k = header->Children.get(); k; k = k->Sibling.get()) {
                    if (CanonicalRank(k->Tag) >= rank)
                        after = &k->Sibling;
                }
                if (after)
                    link = after;
                fresh->Sibling = std::move(*link);
                *link = std::move(fresh);
            }
            auto value = std::make_unique<TStringChunk>();
            value->Value = name;
            slot->Data = std::move(value);
        }
    }
}
