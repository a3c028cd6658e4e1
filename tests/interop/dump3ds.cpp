// Prints what our 3DS reader makes of a file, in a plain form the interop script compares with
// lib3ds's 3dsdump: the chunk tree, the materials and the meshes' vertex and face counts.
#include "models/File3DS.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void DumpTree(const TChunk3DS* node, int depth)
{
    for (; node; node = node->Sibling.get()) {
        if (node->Position < 0)
            continue; // chunks the reader added itself
        std::printf("S %d 0x%04X %u\n", depth, unsigned(node->Tag), unsigned(node->Size));
        DumpTree(node->Children.get(), depth + 1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dump3ds file.3ds\n");
        return 2;
    }
    try {
        TFile3DS file(argv[1]);
        DumpTree(file.Root(), 0);
        for (int i = 0; i < file.Materials.Count(); ++i) {
            const TMaterial3DS& m = file.Materials.Material(i);
            std::printf("M %s|%s|%.4f %.4f %.4f\n", m.Name.c_str(), m.Texture.Name.c_str(), m.Diffuse.R, m.Diffuse.G,
                        m.Diffuse.B);
        }
        for (const TNameEntry3DS& node : file.NodeNames()) {
            TChunk3DS* header = TFile3DS::FindNextChunk(node.Chunk->Children.get(), 0xB010);
            TChunk3DS* parent = header ? TFile3DS::FindNextChunk(header->Children.get(), 0x80F0) : nullptr;
            if (const auto* name = ChunkData<TStringChunk>(file, parent))
                std::printf("P %s|%s\n", node.Name.c_str(), name->Value.c_str());
        }
        for (int i = 0; i < file.Objects.MeshCount(); ++i) {
            const TMesh3DS& mesh = file.Objects.Mesh(i);
            std::printf("T %s vertices=%zu faces=%zu\n", mesh.Name.c_str(), mesh.VertexArray.size(), mesh.FaceArray.size());
            for (const TPoint3DS& p : mesh.VertexArray)
                std::printf("V %f %f %f\n", p.X, p.Y, p.Z);
            // A face's material is that of the last group that lists it.
            std::vector<const std::string*> material(mesh.FaceArray.size(), nullptr);
            for (const TObjMat3DS& g : mesh.MatArray)
                for (std::uint16_t f : g.Faces)
                    material[f] = &g.Name;
            for (std::size_t f = 0; f < mesh.FaceArray.size(); ++f) {
                const TFace3DS& face = mesh.FaceArray[f];
                std::printf("F %u %u %u %x %x %s\n", unsigned(face.V1), unsigned(face.V2), unsigned(face.V3),
                            unsigned(mesh.SmoothArray.empty() ? 0 : mesh.SmoothArray[f]), unsigned(face.Flag),
                            material[f] ? material[f]->c_str() : "");
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
