#pragma once
// Reader of 3DS chunk files (models, material libraries and mesh files): the file is read into a
// tree of chunk nodes without decoding their contents; contents are decoded when first asked for
// (Utils3DS.h). Keyframer node headers get a parent-name chunk (0x80F0) while loading.
//
// Damaged input never reads outside the file: sizes, counts and nesting are checked, and every
// fault raises E3DSError.
#include "models/Types3DS.h"
#include "models/Utils3DS.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

// One chunk of the file. Owned by the tree: freeing a node frees its data, children and siblings.
struct TChunk3DS {
    std::uint16_t Tag = 0;
    std::uint32_t Size = 0;      // whole chunk, header included
    std::int32_t Position = -1;  // offset of the header in the file; -1 for chunks added by the reader
    std::unique_ptr<TChunkData> Data;
    std::unique_ptr<TChunk3DS> Sibling;
    std::unique_ptr<TChunk3DS> Children;

    TChunk3DS() = default;
    TChunk3DS(const TChunk3DS&) = delete;
    TChunk3DS& operator=(const TChunk3DS&) = delete;
    ~TChunk3DS(); // frees long sibling chains without deep recursion
};

// Release levels of the file, the mesh and the database.
enum TReleaseLevel : int { rlRelease1 = 0, rlRelease2 = 1, rlRelease3 = 2, rlReleaseNotKnown = 3 };

// One keyframer node as found while loading (the table is built and dropped during a load).
struct TNodeList {
    std::uint16_t ID = 0xFFFF;
    std::uint16_t Tag = 0;
    std::string Name;
    std::string InstanceName;
    std::uint16_t ParentID = 0xFFFF;
};

// A name and the chunk it belongs to (named objects, materials, keyframer nodes).
struct TNameEntry3DS {
    std::string Name;
    TChunk3DS* Chunk = nullptr;
};

class TFile3DS {
public:
    // Deepest chunk nesting accepted; real files stay below ten levels.
    static constexpr int kMaxDepth = 64;
    // Largest file read.
    static constexpr std::uint64_t kMaxFileBytes = std::uint64_t(1) << 28;

    TFile3DS();
    explicit TFile3DS(const std::string& fileName); // CreateFromFile
    ~TFile3DS();
    TFile3DS(const TFile3DS&) = delete;
    TFile3DS& operator=(const TFile3DS&) = delete;

    // Clears, then reads the file. Raises E3DSError when it cannot be read or is damaged; the
    // reader is then left empty.
    void LoadFromFile(const std::string& fileName);
    // The same from an open stream, read from its current position to its end.
    void LoadFromStream(std::istream& stream);
    // The same from bytes already in memory (the whole file).
    void LoadFromBuffer(std::vector<std::uint8_t> bytes);
    void Clear();

    TChunk3DS* Root() const { return RootNode.get(); }
    const std::string& FileName() const { return Name; }
    // The file's bytes (the decoders read chunk contents from them).
    const std::vector<std::uint8_t>& Bytes() const { return Data; }

    // Depth first, the node itself first; nullptr when not found (or node is nullptr).
    static TChunk3DS* FindChunk(TChunk3DS* node, std::uint16_t tag);
    // The node itself or the first following sibling with the tag.
    static TChunk3DS* FindNextChunk(TChunk3DS* node, std::uint16_t tag);

    TReleaseLevel GetFileRelease();
    TReleaseLevel GetMeshRelease();
    TReleaseLevel GetDatabaseRelease();

    // True when the root is a model (0x4D4D), mesh file (0xC23D) or material library (0x3DAA).
    bool IsKnownDatabase() const;
    // Name tables, rebuilt on first use after a load: named objects (0x4000 chunks), materials
    // (0xAFFF chunks) and keyframer nodes (their 0xB010 headers).
    const std::vector<TNameEntry3DS>& ObjectNames();
    const std::vector<TNameEntry3DS>& MaterialNames();
    const std::vector<TNameEntry3DS>& NodeNames();

    // The keyframer node table of the loaded tree (renumbered in file order when any node lacks
    // an id chunk).
    std::vector<TNodeList> ReadNodeList();

    TMaterialList Materials;
    TObjectList Objects;
    TKeyFramer KeyFramer;

private:
    void LoadChunkTree(TChunk3DS* node, std::uint64_t& pos, int depth);
    void LoadXDataEntry(TChunk3DS* node, std::uint64_t& pos, int depth);
    std::unique_ptr<TChunk3DS> ReadHeader(std::uint64_t& pos);
    std::uint64_t ChildrenOffset(const TChunk3DS* node, std::uint64_t pos) const;
    void AddParentNames(const std::vector<TNodeList>& nodes);
    void ResetCaches();

    std::unique_ptr<TChunk3DS> RootNode;
    std::vector<std::uint8_t> Data;
    std::string Name;
    bool RefreshObjects = true, RefreshMaterials = true, RefreshNodes = true;
    std::vector<TNameEntry3DS> ObjectTable, MaterialTable, NodeTable;
};
