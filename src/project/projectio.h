#pragma once
// The binary project file ("*.qx2"): a header and fifteen blocks, each with one writer and one
// reader here. The readers work on bytes in memory so that they can be driven without files;
// TProject::SaveToFile / LoadFromFile add the file handling around them.
#include "project/ByteStream.h"
#include "project/Project.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint16_t ProjectMagic = 262;
inline constexpr uint16_t ProjectCompatibility = 18;
inline constexpr uint16_t ProjectVersion = 192;
// A wrong magic, compatibility number or block tag: another kind of file or another release.
extern const char* const IncompatibleProjectText; // the E0046 message
// A file that ends early or holds a count or size that cannot be right.
extern const char* const DamagedProjectText;      // the E0047 message

// The whole file image of a project (sets Header.Version to the current version first).
void WriteProject(TProject& project, std::vector<uint8_t>& out);
void WriteProject(TProject& project, TByteWriter& w);
// Reads a whole file image into project, which should be freshly created (fields an old file
// lacks keep their defaults). Throws EInvalidData(IncompatibleProjectText) for a wrong magic,
// compatibility or tag, and EInvalidData with the reader's fail text (DamagedProjectText for the
// first overload) for a short file or an impossible count or size. Leaves the blocks sane for the
// renderer and the editors (at least one cloud layer, the three band surfaces, depth 1..4).
void ReadProject(const uint8_t* data, size_t size, TProject& project);
void ReadProject(TByteReader& r, TProject& project);

// Block writers and readers; version is the file's header version.
void WriteGridBlock(TByteWriter& w, const TGridBlock& b);
void ReadGridBlock(TByteReader& r, TGridBlock& b);
void WriteCameraBlock(TByteWriter& w, const TCameraBlock& b);
void ReadCameraBlock(TByteReader& r, TCameraBlock& b);
void WriteLightingBlock(TByteWriter& w, const TLightingBlock& b);
void ReadLightingBlock(TByteReader& r, TLightingBlock& b);
void WriteOverlayBlock(TByteWriter& w, const TOverlayBlock& b);
void ReadOverlayBlock(TByteReader& r, TOverlayBlock& b, int version);
void WriteAtmosphereBlock(TByteWriter& w, const TAtmosphereBlock& b);
void ReadAtmosphereBlock(TByteReader& r, TAtmosphereBlock& b, int version);
void WriteFractalBlock(TByteWriter& w, const TFractalBlock& b);
void ReadFractalBlock(TByteReader& r, TFractalBlock& b, int version);
void WriteWaterBlock(TByteWriter& w, const TWaterBlock& b);
void ReadWaterBlock(TByteReader& r, TWaterBlock& b, int version);
void WriteActorBlock(TByteWriter& w, const TActorBlock& b);
void ReadActorBlock(TByteReader& r, TActorBlock& b, int version);
void WriteEcologyBlock(TByteWriter& w, const TEcologyBlock& b);
void ReadEcologyBlock(TByteReader& r, TEcologyBlock& b, int version);
void WriteCloudsBlock(TByteWriter& w, const TCloudsBlock& b);
void ReadCloudsBlock(TByteReader& r, TCloudsBlock& b);
void WriteTerrainLayersBlock(TByteWriter& w, const TTerrainLayersBlock& b);
void ReadTerrainLayersBlock(TByteReader& r, TTerrainLayersBlock& b, int version);
void WriteModelBlock(TByteWriter& w, const TModelBlock& b);
void ReadModelBlock(TByteReader& r, TModelBlock& b);
void WriteTerrainPolyBlock(TByteWriter& w, const TTerrainPolyBlock& b);
void ReadTerrainPolyBlock(TByteReader& r, TTerrainPolyBlock& b);
void WriteTerrainLineBlock(TByteWriter& w, const TTerrainLineBlock& b);
void ReadTerrainLineBlock(TByteReader& r, TTerrainLineBlock& b);
void WriteUrbanBlock(TByteWriter& w, const TUrbanBlock& b);
void ReadUrbanBlock(TByteReader& r, TUrbanBlock& b);

// Side tables beside a project file: the path without the three characters that begin four
// before its end ("valley.qx2" -> "valley2"), followed by "Obj.dbf" / "Coord.dbf".
std::string SideTableBase(const std::string& projectFile);
// Creates both empty side tables (replacing existing ones); false when one cannot be written.
bool CreateSideTables(const std::string& projectFile);
