#pragma once
// Decoding of single chunks and gathering of materials and meshes, and the lists of TFile3DS that
// hand them out. Every list fills a slot on first access and keeps it until it is cleared.
#include "models/Types3DS.h"

#include <cstdint>
#include <memory>
#include <vector>

class TFile3DS;
struct TChunk3DS;

// Decodes the chunk's own data into its record on first use (kept in the node) and returns it;
// nullptr for chunks without own data. Raises E3DSError on damaged contents.
TChunkData* DecodeChunkPayload(TFile3DS& file, TChunk3DS* node);

// Typed access to a decoded chunk; nullptr when the chunk is nullptr or holds something else.
template <class T>
T* ChunkData(TFile3DS& file, TChunk3DS* node)
{
    return node ? dynamic_cast<T*>(DecodeChunkPayload(file, node)) : nullptr;
}

// Gathers the material entry (a 0xAFFF chunk).
std::unique_ptr<TMaterial3DS> ReadMaterial3DS(TFile3DS& file, TChunk3DS* materialChunk);
// Gathers the mesh of a named object (a 0x4000 chunk holding a 0x4100 triangle mesh).
std::unique_ptr<TMesh3DS> ReadMesh3DS(TFile3DS& file, TChunk3DS* objectChunk);

class TMaterialList {
public:
    explicit TMaterialList(TFile3DS& owner) : Owner(owner) {}
    int Count();
    // Raises E3DSError "Invalid index %d." for an index without an entry.
    const TMaterial3DS& Material(int index);
    void Clear() { Slots.clear(); }

private:
    TFile3DS& Owner;
    std::vector<std::unique_ptr<TMaterial3DS>> Slots;
};

class TObjectList {
public:
    explicit TObjectList(TFile3DS& owner) : Owner(owner) {}
    int MeshCount();
    const TMesh3DS& Mesh(int index);
    // Never filled by the program; held so that Clear releases whatever they hold.
    std::vector<std::unique_ptr<TLight3DS>> OmniLights, SpotLights;
    std::vector<std::unique_ptr<TCamera3DS>> Cameras;
    void Clear();

private:
    TFile3DS& Owner;
    std::vector<std::unique_ptr<TMesh3DS>> Meshes;
};

class TKeyFramer {
public:
    std::vector<std::unique_ptr<TKFCamera3DS>> Cameras;
    std::vector<std::unique_ptr<TKFMesh3DS>> Meshes;
    std::vector<std::unique_ptr<TKFOmni3DS>> OmniLights;
    std::vector<std::unique_ptr<TKFSpot3DS>> SpotLights;
    void Clear();
};
