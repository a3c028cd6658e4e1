#pragma once
// Records of the 3DS reader: the decoded contents of single chunks (held by the chunk tree) and
// the gathered records of materials, meshes, lights, cameras and keyframer nodes.
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Raised on damaged 3DS data and on misuse of the reader's lists.
class E3DSError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reader's error texts.
namespace Err3DS {
inline constexpr const char* NoMemory = "Not enough memory to complete operation.";
inline constexpr const char* InvalidChunk =
    "An invalid Chunk structure was encountered while reading\rthe database. Usually caused by a corrupt database or file.";
inline constexpr const char* NoDatabase = "The database passed as an argument has not be created yet.";
inline constexpr const char* WrongDatabase =
    "The database passed as an argument is the wrong kind of\rdatabase for this function.";
inline constexpr const char* WrongObject =
    "The Name passed to the functions exists but is not the type of object asked for.\rFor example asking for a mesh "
    "object with the GetCameraByName3DS function.";
// "Invalid index %d." with the index.
std::string InvalidIndex(long long index);
} // namespace Err3DS

// The invalid-structure error with what was wrong (after a line break).
[[noreturn]] void RaiseInvalidChunk(const std::string& detail);

// ---------------------------------------------------------------------------------------------
// Small values.

struct TPoint3DS {
    float X = 0, Y = 0, Z = 0;
};

struct TFColor3DS {
    float R = 0, G = 0, B = 0;
};

struct TColor24_3DS {
    std::uint8_t R = 0, G = 0, B = 0;
};

struct TFace3DS {
    std::uint16_t V1 = 0, V2 = 0, V3 = 0, Flag = 0;
};

struct TTexVert3DS {
    float U = 0, V = 0;
};

// ---------------------------------------------------------------------------------------------
// Decoded chunk contents: one record per chunk, made when first asked for and kept in the node.

struct TChunkData {
    virtual ~TChunkData() = default;
};

// A chunk holding one value of type T (versions, colours, percentages, names, ids, ...).
template <class T>
struct TChunkValue : TChunkData {
    T Value{};
};

using TUInt32Chunk = TChunkValue<std::uint32_t>;   // 0x0002, 0x3D3E, 0xB009
using TUInt16Chunk = TChunkValue<std::uint16_t>;   // 0xA351 tiling, 0xB030 node id, 0x4165 colour
using TInt16Chunk = TChunkValue<std::int16_t>;     // 0x0030 percentage, 0xA100 shading
using TSingleChunk = TChunkValue<float>;           // 0x0031, 0x0100 and the single-valued settings
using TStringChunk = TChunkValue<std::string>;     // names
using TColorChunk = TChunkValue<TFColor3DS>;       // 0x0010, 0x0013
using TColor24Chunk = TChunkValue<TColor24_3DS>;   // 0x0011, 0x0012 and the map tints
using TPointChunk = TChunkValue<TPoint3DS>;        // 0x4600 light position, 0xB013 pivot
using TPointArrayChunk = TChunkValue<std::vector<TPoint3DS>>;    // 0x4110
using TFlagArrayChunk = TChunkValue<std::vector<std::uint16_t>>; // 0x4111
using TTexVertArrayChunk = TChunkValue<std::vector<TTexVert3DS>>; // 0x4140
using TFaceArrayChunk = TChunkValue<std::vector<TFace3DS>>;      // 0x4120
using TSmoothGroupChunk = TChunkValue<std::vector<std::uint32_t>>; // 0x4150
using TMeshMatrixChunk = TChunkValue<std::array<float, 12>>;     // 0x4160
using TBoxMapChunk = TChunkValue<std::array<std::string, 6>>;    // 0x4190
using TRawChunk = TChunkValue<std::vector<std::uint8_t>>;        // own data kept as stored

struct TMatGroupChunk : TChunkData { // 0x4130
    std::string MaterialName;
    std::vector<std::uint16_t> Faces;
};

struct TSpotLightChunk : TChunkData { // 0x4610
    TPoint3DS Target;
    float Hotspot = 0, Falloff = 0;
};

struct TCameraChunk : TChunkData { // 0x4700
    TPoint3DS Position, Target;
    float Bank = 0, Lens = 0;
};

struct TCameraRangesChunk : TChunkData { // 0x4720
    float Near = 0, Far = 0;
};

struct TKFSegmentChunk : TChunkData { // 0xB008
    std::uint32_t First = 0, Last = 0;
};

struct TKFHeaderChunk : TChunkData { // 0xB00A
    std::uint16_t Revision = 0;
    std::string FileName;
    std::int32_t AnimLength = 0;
};

struct TNodeHeaderChunk : TChunkData { // 0xB010
    std::string ObjName;
    std::uint16_t Flags1 = 0, Flags2 = 0;
    std::uint16_t ParentIndex = 0xFFFF;
};

struct TBoundBoxChunk : TChunkData { // 0xB014
    TPoint3DS Min, Max;
};

// One key of a keyframer track with its spline settings (unset ones keep the template's 0.0).
struct TKeyHeader3DS {
    std::uint32_t Time = 0;
    std::uint16_t RFlags = 0;
    float Tension = 0, Continuity = 0, Bias = 0, EaseTo = 0, EaseFrom = 0;
};

struct TTrackKey3DS {
    TKeyHeader3DS Header;
    std::array<float, 4> Values{}; // point (3), angle and axis (4) or one single
    std::string Name;              // morph keys
};

struct TTrackChunk : TChunkData { // 0xB020 - 0xB029
    std::uint16_t Flags = 0;
    std::uint32_t NU1 = 0, NU2 = 0;
    std::vector<TTrackKey3DS> Keys;
};

// ---------------------------------------------------------------------------------------------
// Gathered records.

// One map of a material (texture, bump, opacity ... or a mask).
struct TMapSet3DS {
    std::string Name;      // 0xA300 file name
    float Percent = 0;     // strength
    std::uint16_t TileFlags = 0;
    float Blur = 0;
    float UScale = 1, VScale = 1, UOffset = 0, VOffset = 0, Rotation = 0;
    TColor24_3DS Tint1, Tint2, RTint, GTint, BTint;
};

struct TMaterial3DS {
    std::string Name;
    TFColor3DS Ambient, Diffuse, Specular;
    float Shininess = 0, ShinStrength = 0, Blur = 0, Transparency = 0, TransFalloff = 0, SelfIllumPct = 0;
    float WireSize = 1;
    int Shading = 3;
    bool UseBlur = false, UseFall = false, TwoSided = false, SelfIllum = false, Additive = false;
    bool UseWire = false, UseWireAbs = false, FaceMap = false, Soften = false;
    TMapSet3DS Texture, Texture2, Opacity, Bump, SpecMap, ShinMap, IllumMap, Reflect;
    TMapSet3DS TextureMask, Texture2Mask, OpacityMask, BumpMask, SpecMask, ShinMask, IllumMask, ReflectMask;
};

// A material assignment of a mesh: the named material on the listed faces.
struct TObjMat3DS {
    std::string Name;
    std::vector<std::uint16_t> Faces;
};

struct TMesh3DS {
    std::string Name;
    bool IsHidden = false, IsVisLofter = false, IsNoCast = false, IsMatte = false, IsFast = false;
    bool IsProcedural = false, IsFrozen = false, IsNoRcvShad = false;
    std::vector<TPoint3DS> VertexArray;       // 0x4110
    std::vector<std::uint16_t> VFlagArray;    // 0x4111
    std::vector<TTexVert3DS> TextArray;       // 0x4140: empty, or one per vertex
    std::vector<std::uint8_t> MapInfo;        // 0x4170 as stored
    std::array<float, 12> LocMatrix{};        // 0x4160
    std::vector<TFace3DS> FaceArray;          // 0x4120; every index below the vertex count
    std::vector<std::uint32_t> SmoothArray;   // 0x4150: empty, or one mask per face
    std::array<std::string, 6> BoxMap;        // 0x4190
    std::uint8_t MeshColor = 0;               // 0x4165
    std::vector<TObjMat3DS> MatArray;         // 0x4130; every face index below the face count
    std::string ProcName;                     // 0x4181
};

// Records of the light, camera and keyframer lists: released with their lists, never gathered.
struct TLight3DS {
    std::string Name;
    TPoint3DS Pos;
    TFColor3DS Color;
};

struct TCamera3DS {
    std::string Name;
    TPoint3DS Position, Target;
    float Roll = 0, FOV = 0;
};

struct TKFCamera3DS {
    std::string Name, Parent;
    std::vector<TTrackKey3DS> PosKeys, FOVKeys, RollKeys, TargetKeys;
};

struct TKFMesh3DS {
    std::string Name, Parent, Instance;
    TPoint3DS Pivot;
    std::vector<TTrackKey3DS> PosKeys, RotKeys, ScaleKeys, MorphKeys, HideKeys;
};

struct TKFOmni3DS {
    std::string Name, Parent;
    std::vector<TTrackKey3DS> PosKeys, ColorKeys;
};

struct TKFSpot3DS {
    std::string Name, Parent;
    std::vector<TTrackKey3DS> PosKeys, ColorKeys, HotKeys, FallKeys, RollKeys, TargetKeys;
};
