// Loads arbitrary bytes as a 3DS file and reads everything the program can ask of it.
#include "models/File3DS.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void DecodeAll(TFile3DS& file, TChunk3DS* node)
{
    for (; node; node = node->Sibling.get()) {
        try {
            DecodeChunkPayload(file, node);
        } catch (const E3DSError&) {
        }
        DecodeAll(file, node->Children.get());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFile3DS file;
    try {
        file.LoadFromBuffer(std::vector<std::uint8_t>(data, data + size));
    } catch (const E3DSError&) {
        return 0;
    }
    file.GetDatabaseRelease();
    file.GetMeshRelease();
    file.NodeNames();
    for (int i = 0; i < file.Materials.Count(); ++i) {
        try {
            file.Materials.Material(i);
        } catch (const E3DSError&) {
        }
    }
    for (int i = 0; i < file.Objects.MeshCount(); ++i) {
        try {
            const TMesh3DS& mesh = file.Objects.Mesh(i);
            // What the renderer relies on.
            for (const TFace3DS& f : mesh.FaceArray)
                if (f.V1 >= mesh.VertexArray.size() || f.V2 >= mesh.VertexArray.size() || f.V3 >= mesh.VertexArray.size())
                    __builtin_trap();
            if (!mesh.TextArray.empty() && mesh.TextArray.size() != mesh.VertexArray.size())
                __builtin_trap();
            if (!mesh.SmoothArray.empty() && mesh.SmoothArray.size() != mesh.FaceArray.size())
                __builtin_trap();
        } catch (const E3DSError&) {
        }
    }
    DecodeAll(file, file.Root());
    return 0;
}
