#pragma once
// TML3DS: draws one 3DS model file inside the fractal landscape, lit and hazed like the land
// around it. The fractal engine owns one object for all placed models and loads each model file
// into it in turn.
//
// Building (materials, texture pictures, meshes split by smoothing group, vertex normals, bounding
// box) does not touch OpenGL and is kept per model file: a file drawn again while neither it nor
// its texture pictures changed on disk is drawn from what was built before, so a hundred placements
// of one tree read and build it once. Texture pictures stay in memory as RGB floats; drawing makes
// the OpenGL texture it lights per triangle and deletes it again, so nothing of OpenGL outlives a
// draw and no context is needed to build or to free the object.
#include "models/File3DS.h"
#include "project/MathUtils.h"

#include <GL/gl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TProject;
class TRenderEngine;

class TML3DS {
public:
    struct TMaterial {
        float Ambient[4] = {0.1f, 0.1f, 0.1f, 1.0f};
        float Diffuse[4] = {0.5f, 0.5f, 0.5f, 1.0f};
        float Specular[4] = {1, 1, 1, 1};
        float Emission[4] = {0, 0, 0, 1};
        int32_t Shininess = 128;
        GLenum PolygonMode = GL_FILL;
        GLenum ShadeModel = GL_SMOOTH;
        bool TwoSided = false;
        std::string TextureFile;
        // True once the texture picture was read and is large enough to upload.
        bool Textured = false;
        GLenum WrapS = 0, WrapT = 0, MinFilter = 0, MagFilter = 0, EnvMode = 0;
        int32_t TexWidth = 0, TexHeight = 0;
        // TexWidth x TexHeight texels, red, green, blue each; the picture's bottom row first
        // (texture coordinate v = 0 at the bottom of the picture).
        std::shared_ptr<const std::vector<float>> Texels;
    };

    struct TFaceGroup {
        int32_t MaterialIndex = 0; // into Materials()
        std::vector<uint32_t> Indices; // three per triangle
    };

    struct TMesh {
        std::string Name;
        std::vector<TVector3> Vertices; // file axes
        std::vector<TVector3> Normals;  // file axes, unit length (zero for unused vertices)
        std::vector<float> TexCoords;   // u, v per vertex; empty when the file mesh has none
        std::vector<TFaceGroup> FaceGroups;
        uint32_t VertexCount() const { return static_cast<uint32_t>(Vertices.size()); }
    };

    // A named material as the sorted material list holds it.
    struct TNamedMaterial {
        std::string Name;
        TMaterial Material;
    };

    TML3DS();
    ~TML3DS();
    TML3DS(const TML3DS&) = delete;
    TML3DS& operator=(const TML3DS&) = delete;

    // Reads the model file (found case-insensitively, '\' read as '/'). Raises E3DSError when it
    // cannot be read or is damaged; nothing is then drawn until another file loads.
    void LoadFromFile(const std::string& fileName);
    // The box over the raw vertices of every mesh of the loaded file; nothing is built.
    void ComputeBoundingBox();
    // Draws the loaded model with its lowest point on position, turned angle degrees about the
    // vertical and scaled to height; corner colours come from engine.PointColour. Never raises:
    // a model that cannot be built or drawn simply does not appear.
    void RenderModelAt(TRenderEngine& engine, const TVector3& position, double angle, double height,
                       double lightFactor);
    // Forgets the current model's built state (the loaded file stays).
    void Clear();
    // Forgets everything built for every file.
    void ClearCache();

    // Builds the loaded model unless it is built and unchanged; raises on damaged data. The mesh,
    // material and box accessors below describe the result.
    void Build();
    const std::vector<TMesh>& Meshes() const;
    const std::vector<TNamedMaterial>& Materials() const;
    // Folder of the loaded model file ("" when none).
    std::string ModelFolder() const;
    // The file's reader (empty when nothing is loaded).
    TFile3DS& File3DS();
    // Index of name in the sorted material list (case-insensitive), -1 when absent.
    int MaterialIndexOf(const std::string& name) const;

    // The address of the current-project variable (for the project's models folder).
    TProject** Project = nullptr;

    // The bounding box in OpenGL axes (X = file x, Y = file z, Z = file y).
    float MinX = 0, MinY = 0, MinZ = 0, MaxX = 0, MaxY = 0, MaxZ = 0;
    void ResetBoundingBox();

    // How many times a model was built (reading textures and meshes) since creation.
    int BuildCount = 0;
    // False draws every textured triangle with one PointColour call per texel instead of through
    // the per-triangle light coefficients (the two give the same picture; kept for comparisons).
    bool FastTexelLighting = true;

    // Release level (0 = release 1 .. 3 = not known) used for face normals.
    static void BuildModelMesh(int release, const TMesh3DS& fileMesh, const std::vector<TNamedMaterial>& materials,
                               TMesh& built);

private:
    struct TEntry;
    struct TFileStamp {
        std::string Path;
        int64_t Size = -1;
        int64_t Time = 0;
        bool operator==(const TFileStamp&) const = default;
    };
    static TFileStamp StampOf(const std::string& path);

    void DoBuild(TEntry& entry);
    void BuildMaterials(TEntry& entry);
    void LoadTextureImages(TEntry& entry);
    bool FindTextureFile(const std::string& name, std::string& found) const;
    void DrawModel(TRenderEngine& engine, const TVector3& position, double angle, double height,
                   double lightFactor);

    std::map<std::string, std::unique_ptr<TEntry>> cache_;
    TEntry* current_ = nullptr;
    TFile3DS empty_;
};

// Sorted-list order of material names: case-insensitive (ASCII).
int CompareMaterialNames(const std::string& a, const std::string& b);
