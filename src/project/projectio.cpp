#include "project/projectio.h"

#include "project/Dbf.h"
#include "project/MathUtils.h"
#include "project/Messages.h"
#include "project/SafeFile.h"

#include <QFileInfo>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

const char* const IncompatibleProjectText =
    "E0046 This project file is not compatible with this release of Quarlex2.  Use XYZ Export/Import";
const char* const DamagedProjectText =
    "E0047 This project file is damaged or incomplete and cannot be opened.  The open project is unchanged";

namespace {

// Limits on what a file may ask for; the byte checks of TByteReader::Count come on top.
constexpr int32_t kMaxListCount = 1000000;
constexpr int32_t kMaxGridSide = 65536;
constexpr size_t kCellBytes = 10;

// Progress meter over a count of steps: the percentage is passed on (and pending messages run)
// only when it changes, which keeps the per-cell loops fast.
class TMeter {
public:
    explicit TMeter(int64_t total) : total_(total) {}
    ~TMeter() { StatusSink().SetProgress(0); }
    TMeter(const TMeter&) = delete;
    TMeter& operator=(const TMeter&) = delete;
    void Step(int64_t done)
    {
        int percent = total_ > 0 ? static_cast<int>(done * 100 / total_) : 0;
        if (percent != last_) {
            last_ = percent;
            StatusSink().SetProgress(percent);
            StatusSink().ProcessMessages();
        }
    }

private:
    int64_t total_;
    int last_ = -1;
};

void Step(const char* text)
{
    StatusSink().SetStepText(text);
    StatusSink().ProcessMessages();
}

void Operation(const char* text)
{
    StatusSink().SetOperationText(text);
    StatusSink().ProcessMessages();
}

// Clears both panels and the hourglass however the operation ends.
struct TStatusScope {
    explicit TStatusScope(const char* operation)
    {
        StatusSink().SetBusyCursor(true);
        Operation(operation);
        Step("Initializing");
    }
    ~TStatusScope()
    {
        StatusSink().SetOperationText("");
        StatusSink().SetStepText("");
        StatusSink().SetBusyCursor(false);
    }
};

void Prefix(TByteWriter& w, uint16_t word, uint8_t tag)
{
    w.U16(word);
    w.U8(tag);
}

void ReadPrefix(TByteReader& r, uint16_t& word, uint8_t& tag, uint8_t expected)
{
    uint16_t readWord = r.U16();
    uint8_t readTag = r.U8();
    if (readTag != expected)
        throw EInvalidData(IncompatibleProjectText);
    word = readWord;
    tag = readTag;
}

// Entries in use: Count, but never more than the array holds.
template <class V>
size_t InUse(int32_t count, const V& items)
{
    return std::min(static_cast<size_t>(std::max(count, 0)), items.size());
}

template <class V>
int32_t WrittenCount(int32_t count, const V& items)
{
    size_t n = InUse(count, items);
    int32_t written = 0;
    for (size_t i = 0; i < n; ++i)
        if (!items[i].Deleted)
            ++written;
    return written;
}

void WriteColor(TByteWriter& w, const TFloatColor& c)
{
    w.F32(c.R);
    w.F32(c.G);
    w.F32(c.B);
    w.F32(c.A);
}

TFloatColor ReadColor(TByteReader& r)
{
    TFloatColor c;
    c.R = r.F32();
    c.G = r.F32();
    c.B = r.F32();
    c.A = r.F32();
    return c;
}

void WriteVector(TByteWriter& w, const TVector3& v)
{
    w.F32(v.X);
    w.F32(v.Y);
    w.F32(v.Z);
}

TVector3 ReadVector(TByteReader& r)
{
    TVector3 v;
    v.X = r.F32();
    v.Y = r.F32();
    v.Z = r.F32();
    return v;
}

// The 64-byte material layout (with four filler bytes after Shininess).
void WriteMaterial64(TByteWriter& w, const TSurfaceMaterial& m)
{
    WriteColor(w, m.PrimaryColor);
    WriteColor(w, m.SecondaryColor);
    w.F64(m.Roughness);
    w.F64(m.Specularity);
    w.I32(m.Shininess);
    w.Zeros(4);
    w.F64(m.Emission);
}

TSurfaceMaterial ReadMaterial64(TByteReader& r)
{
    TSurfaceMaterial m;
    m.PrimaryColor = ReadColor(r);
    m.SecondaryColor = ReadColor(r);
    m.Roughness = r.F64();
    m.Specularity = r.F64();
    m.Shininess = r.I32();
    r.Skip(4);
    m.Emission = r.F64();
    return m;
}

inline void PutLE64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint64_t GetLE64(const uint8_t* p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

// Rows of cells handled together: the file holds rows outer, memory columns outer, so a band of
// rows is walked column by column to keep the memory reads sequential.
constexpr int kRowBand = 16;

} // namespace

// ---------------------------------------------------------------------------------------------
// Grid

void WriteGridBlock(TByteWriter& w, const TGridBlock& b)
{
    Prefix(w, 119, 169);
    // The cells actually held decide the sizes written, so a descriptor that disagrees with its
    // array can never make the file claim cells it does not have.
    const int columns = b.Cells.Columns();
    const int rows = b.Cells.Empty() ? 0 : b.Cells.Rows();
    const int cols = b.Cells.Empty() ? 0 : columns;
    w.I32(cols);
    w.I32(rows);
    w.F64(b.MapWidth);
    w.F64(b.MapHeight);
    w.F64(b.SpacingX);
    w.F64(b.SpacingY);
    w.F64(b.MaxHeight);
    w.F64(b.MinHeight);
    w.F64(b.VerticalScale);
    w.F64(b.LeftGeo);
    w.F64(b.TopGeo);
    w.F64(b.RightGeo);
    w.F64(b.BottomGeo);
    const uint64_t total = static_cast<uint64_t>(cols) * static_cast<uint64_t>(rows);
    TMeter meter(static_cast<int64_t>(total));
    for (int r0 = 0; r0 < rows; r0 += kRowBand) {
        const int r1 = std::min(rows, r0 + kRowBand);
        uint8_t* out = w.Extend(static_cast<size_t>(r1 - r0) * cols * kCellBytes);
        for (int c = 0; c < cols; ++c) {
            const TGridCell* column = b.Cells[c];
            for (int r = r0; r < r1; ++r) {
                const TGridCell& cell = column[r];
                uint8_t* p = out + (static_cast<size_t>(r - r0) * cols + c) * kCellBytes;
                uint64_t bits;
                std::memcpy(&bits, &cell.Height, 8);
                PutLE64(p, bits);
                p[8] = cell.Flooded;
                p[9] = 0;
            }
        }
        meter.Step(static_cast<int64_t>(r1) * cols);
    }
}

std::string GridTooLargeText(int32_t columns, int32_t rows)
{
    return "This project's grid of " + std::to_string(columns) + " x " + std::to_string(rows) +
           " points is larger than this release of Quarlex2 can hold: at most " +
           std::to_string(TProject::MaxGridCells) + " points and " + std::to_string(kMaxGridSide) + " on a side";
}

void ReadGridBlock(TByteReader& r, TGridBlock& b)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 169);
    const int32_t sizeX = r.I32();
    const int32_t sizeY = r.I32();
    if (sizeX < 0 || sizeY < 0)
        r.Fail();
    const uint64_t total = static_cast<uint64_t>(sizeX) * static_cast<uint64_t>(sizeY);
    if (88 + total * kCellBytes > r.Remaining())
        r.Fail();
    // A whole file with a grid beyond what the program holds is not a damaged one: say so.
    if (total > static_cast<uint64_t>(TProject::MaxGridCells) || sizeX > kMaxGridSide || sizeY > kMaxGridSide)
        throw EInvalidData(GridTooLargeText(sizeX, sizeY));
    b.SizeX = sizeX;
    b.SizeY = sizeY;
    b.MapWidth = r.F64();
    b.MapHeight = r.F64();
    b.SpacingX = r.F64();
    const double spacingY = r.F64();
    // The stored Y spacing is kept (importers set it apart from X); only an unusable one falls
    // back to the X spacing.
    b.SpacingY = std::isfinite(spacingY) && spacingY > 0 ? spacingY : b.SpacingX;
    b.MaxHeight = r.F64();
    b.MinHeight = r.F64();
    b.VerticalScale = r.F64();
    b.LeftGeo = r.F64();
    b.TopGeo = r.F64();
    b.RightGeo = r.F64();
    b.BottomGeo = r.F64();
    // The file holds rows outer, memory columns outer: a band of rows is taken at a time and
    // each cell is made whole where it lands, so the fresh memory is written once.
    TMeter meter(static_cast<int64_t>(total));
    b.Cells.Build(sizeX, sizeY, [&](TGridCell* cells) {
        const TGridCell fresh{};
        for (int r0 = 0; r0 < sizeY; r0 += kRowBand) {
            const int r1 = std::min(sizeY, r0 + kRowBand);
            const uint8_t* in = r.Take(static_cast<size_t>(r1 - r0) * sizeX * kCellBytes);
            for (int c = 0; c < sizeX; ++c) {
                TGridCell* column = cells + static_cast<size_t>(c) * sizeY;
                const uint8_t* p = in + static_cast<size_t>(c) * kCellBytes;
                for (int row = r0; row < r1; ++row, p += static_cast<size_t>(sizeX) * kCellBytes) {
                    TGridCell* cell = std::construct_at(column + row, fresh);
                    const uint64_t bits = GetLE64(p);
                    std::memcpy(&cell->Height, &bits, 8);
                    cell->Flooded = p[8];
                    cell->WaterEdge = p[9];
                }
            }
            meter.Step(static_cast<int64_t>(r1) * sizeX);
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Camera, lighting

void WriteCameraBlock(TByteWriter& w, const TCameraBlock& b)
{
    Prefix(w, 67, 171);
    WriteVector(w, b.Eye);
    WriteVector(w, b.Target);
    w.F64(b.Perspective);
    w.F64(b.Reserved);
}

void ReadCameraBlock(TByteReader& r, TCameraBlock& b)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 171);
    b.Eye = ReadVector(r);
    b.Target = ReadVector(r);
    b.Perspective = r.F64();
    b.Reserved = r.F64();
}

void WriteLightingBlock(TByteWriter& w, const TLightingBlock& b)
{
    Prefix(w, 80, 167);
    WriteColor(w, b.PrimaryLightColor);
    WriteColor(w, b.AmbientLightColor);
    w.F64(b.LightAltitude);
    w.F64(b.LightAzimuth);
    w.F64(b.SunSize);
}

void ReadLightingBlock(TByteReader& r, TLightingBlock& b)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 167);
    b.PrimaryLightColor = ReadColor(r);
    b.AmbientLightColor = ReadColor(r);
    b.LightAltitude = r.F64();
    b.LightAzimuth = r.F64();
    b.SunSize = r.F64();
}

// ---------------------------------------------------------------------------------------------
// Overlays

void WriteOverlayBlock(TByteWriter& w, const TOverlayBlock& b)
{
    Prefix(w, 80, 168);
    w.ShortString(b.Directory);
    w.I32(WrittenCount(b.Count, b.Items));
    const size_t n = InUse(b.Count, b.Items);
    for (size_t i = 0; i < n; ++i) {
        const TOverlayImage& e = b.Items[i];
        if (e.Deleted)
            continue;
        w.ShortString(e.FileName);
        w.ShortString(e.Name);
        w.I32(e.ImageSize);
        w.U8(e.DrawOverlay);
        w.U8(e.TransparencyMode);
        w.I32(e.TransparencyColor);
        w.F64(e.Transparency);
        w.I32(e.Extra);
        w.I32(e.TerrainLayerID);
        w.U8(0); // Deleted
        w.U8(e.DrawFull);
        w.I32(e.Scale);
        w.U8(e.IgnoreWater);
    }
}

void ReadOverlayBlock(TByteReader& r, TOverlayBlock& b, int version)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 168);
    b.Directory = r.ShortString();
    const size_t entryBytes = version >= 186 ? 545 : version >= 183 ? 544 : 534;
    const int32_t count = r.Count(entryBytes, kMaxListCount);
    std::vector<TOverlayImage> items(static_cast<size_t>(std::max(count, 1)));
    for (int32_t i = 0; i < count; ++i) {
        TOverlayImage& e = items[i];
        e.FileName = r.ShortString();
        e.Name = r.ShortString();
        e.ImageSize = r.I32();
        e.DrawOverlay = r.U8();
        e.TransparencyMode = r.U8();
        e.TransparencyColor = r.I32();
        e.Transparency = r.F64();
        e.Extra = r.I32();
        if (version >= 183) {
            e.TerrainLayerID = r.I32();
            r.U8(); // the stored mark is always clear
            e.DrawFull = r.U8();
            e.Scale = r.I32();
        } else {
            e.TerrainLayerID = -1;
            e.DrawFull = 0;
            e.Scale = 10;
        }
        // Entries of older files are kept: marking them deleted would drop them at the next save.
        e.Deleted = 0;
        if (version >= 186)
            e.IgnoreWater = r.U8();
        e.Image.reset();
    }
    b.Count = count;
    b.Items = std::move(items);
}

// ---------------------------------------------------------------------------------------------
// Atmosphere

void WriteAtmosphereBlock(TByteWriter& w, const TAtmosphereBlock& b)
{
    Prefix(w, 160, 163);
    WriteColor(w, b.SkyColor);
    WriteColor(w, b.HorizonColor);
    WriteColor(w, b.FogColor);
    for (double v : {b.FogDensity, b.Ambient, b.Diffuse, b.Blueing, b.Glowing, b.ShadowDepth, b.Ceiling, b.Floor,
                     b.Distance, b.Infinity})
        w.F64(v);
    WriteColor(w, b.DecayColor);
    w.F64(b.MistHeight);
}

void ReadAtmosphereBlock(TByteReader& r, TAtmosphereBlock& b, int version)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 163);
    b.SkyColor = ReadColor(r);
    b.HorizonColor = ReadColor(r);
    b.FogColor = ReadColor(r);
    for (double* v : {&b.FogDensity, &b.Ambient, &b.Diffuse, &b.Blueing, &b.Glowing, &b.ShadowDepth, &b.Ceiling,
                      &b.Floor, &b.Distance, &b.Infinity})
        *v = r.F64();
    if (version >= 183) {
        b.DecayColor = ReadColor(r);
        b.MistHeight = r.F64();
    } else {
        b.DecayColor = {1, 1, 1, 1};
        b.MistHeight = 0.7;
    }
}

// ---------------------------------------------------------------------------------------------
// Fractal

void WriteFractalBlock(TByteWriter& w, const TFractalBlock& b)
{
    Prefix(w, 60, 166);
    w.I32(b.FractalDepth);
    w.U8(b.PreviewMode);
    for (int32_t v : {b.RPlaneSeed, b.RFreqSeed, b.BPlaneSeed, b.BFreqSeed, b.TreeLine, b.SnowLine, b.BandEdgeFuzziness})
        w.I32(v);
    w.I32(b.BaseTerrainBias);
    w.U8(b.DrawNoModels);
    w.I32(WrittenCount(b.TerrainSurfaceCount, b.TerrainSurfaces));
    w.I32(b.TerrainSurfaceNextID);
    const size_t n = InUse(b.TerrainSurfaceCount, b.TerrainSurfaces);
    for (size_t i = 0; i < n; ++i) {
        const TTerrainSurface& s = b.TerrainSurfaces[i];
        if (s.Deleted)
            continue;
        WriteColor(w, s.Material.PrimaryColor);
        WriteColor(w, s.Material.SecondaryColor);
        w.F64(s.Material.Roughness);
        w.F64(s.Material.Specularity);
        w.I32(s.Material.Shininess);
        w.F64(s.Material.Emission);
        w.I32(s.SurfaceID);
        w.ShortString(s.SurfaceName);
        w.I32(s.ParentID);
        w.F64(s.Coverage);
        w.U8(s.MaxAltitude);
        w.U8(s.MinAltitude);
        w.U8(s.MaxSlope);
        w.U8(s.MinSlope);
        for (double v : {s.MaxAltitudeValue, s.MinAltitudeValue, s.MaxSlopeValue, s.MinSlopeValue, s.MaxAltitudeEdge,
                         s.MinAltitudeEdge, s.MaxSlopeEdge, s.MinSlopeEdge, s.Bumpiness})
            w.F64(v);
    }
}

void ReadFractalBlock(TByteReader& r, TFractalBlock& b, int version)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 166);
    b.FractalDepth = r.I32();
    b.PreviewMode = r.U8();
    for (int32_t* v : {&b.RPlaneSeed, &b.RFreqSeed, &b.BPlaneSeed, &b.BFreqSeed, &b.TreeLine, &b.SnowLine,
                       &b.BandEdgeFuzziness})
        *v = r.I32();
    // Old band area: 12 bytes, then six 256-byte areas; the first three carried the band materials.
    TSurfaceMaterial bandMaterials[3];
    if (version < 185) {
        r.Skip(12);
        static const size_t kMaterialOffset[3] = {0, 128, 192};
        for (int area = 0; area < 6; ++area) {
            const uint8_t* p = r.Take(256);
            if (area < 3) {
                TByteReader m(p + kMaterialOffset[area], 64, DamagedProjectText);
                bandMaterials[area] = ReadMaterial64(m);
            }
        }
    }
    b.BaseTerrainBias = r.I32();
    if (version < 185)
        r.Skip(1);
    b.DrawNoModels = r.U8();
    if (version >= 184) {
        const int32_t count = r.Count(408, kMaxListCount);
        b.TerrainSurfaceNextID = r.I32();
        std::vector<TTerrainSurface> surfaces(static_cast<size_t>(count));
        for (TTerrainSurface& s : surfaces) {
            s.Material.PrimaryColor = ReadColor(r);
            s.Material.SecondaryColor = ReadColor(r);
            s.Material.Roughness = r.F64();
            s.Material.Specularity = r.F64();
            s.Material.Shininess = r.I32();
            s.Material.Emission = r.F64();
            s.SurfaceID = r.I32();
            s.SurfaceName = r.ShortString();
            s.ParentID = r.I32();
            s.Coverage = r.F64();
            s.MaxAltitude = r.U8();
            s.MinAltitude = r.U8();
            s.MaxSlope = r.U8();
            s.MinSlope = r.U8();
            for (double* v : {&s.MaxAltitudeValue, &s.MinAltitudeValue, &s.MaxSlopeValue, &s.MinSlopeValue,
                              &s.MaxAltitudeEdge, &s.MinAltitudeEdge, &s.MaxSlopeEdge, &s.MinSlopeEdge, &s.Bumpiness})
                *v = r.F64();
            s.Deleted = 0;
        }
        b.TerrainSurfaces = std::move(surfaces);
        b.TerrainSurfaceCount = count;
    } else {
        static const char* const kBandNames[3] = {"Below Treeline", "Intermediate", "Above Snowline"};
        b.TerrainSurfaces.resize(3);
        for (int i = 0; i < 3; ++i) {
            TTerrainSurface& s = b.TerrainSurfaces[i];
            s.Material = bandMaterials[i];
            s.SurfaceID = i;
            s.SurfaceName = kBandNames[i];
            s.ParentID = -1;
            s.Deleted = 0;
        }
        b.TerrainSurfaceCount = 3;
        b.TerrainSurfaceNextID = 3;
    }
}

// ---------------------------------------------------------------------------------------------
// Water

void WriteWaterBlock(TByteWriter& w, const TWaterBlock& b)
{
    Prefix(w, 296, 172);
    w.F64(b.WaveHeight);
    w.F64(b.WaveLength);
    w.I32(b.WindDirection);
    w.I32(b.GPlaneSeed);
    w.I32(b.GFreqSeed);
    w.I32(b.WaterTurbulance);
    WriteMaterial64(w, b.Surface);
}

void ReadWaterBlock(TByteReader& r, TWaterBlock& b, int version)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 172);
    b.WaveHeight = r.F64();
    b.WaveLength = r.F64();
    b.WindDirection = r.I32();
    b.GPlaneSeed = r.I32();
    b.GFreqSeed = r.I32();
    b.WaterTurbulance = r.I32();
    b.Surface = ReadMaterial64(r);
    if (version < 185)
        for (TSurfaceMaterial& m : b.LegacySurfaces)
            m = ReadMaterial64(r);
}

// ---------------------------------------------------------------------------------------------
// Plant types

void WriteActorBlock(TByteWriter& w, const TActorBlock& b)
{
    Prefix(w, 272, 162);
    w.ShortString(b.Directory);
    w.I32(b.NextID);
    const size_t n = InUse(b.Count, b.Items);
    w.I32(static_cast<int32_t>(n));
    for (size_t i = 0; i < n; ++i) {
        const TActor& a = b.Items[i];
        w.I32(a.ID);
        w.ShortString(a.Name);
        w.ShortString(a.FarActorSource);
        w.ShortString(a.MidActorSource);
        w.ShortString(a.NearActorSource);
        for (const TFloatRGB& c : a.Colors) {
            w.F32(c.R);
            w.F32(c.G);
            w.F32(c.B);
        }
        w.F64(a.HueVariability);
        w.F64(a.BrightnessVariability);
    }
}

void ReadActorBlock(TByteReader& r, TActorBlock& b, int version)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 162);
    b.Directory = r.ShortString();
    b.NextID = r.I32();
    const size_t entryBytes = version >= 187 ? 1236 : version > 179 ? 1220 : 516;
    const int32_t count = r.Count(entryBytes, kMaxListCount);
    std::vector<TActor> items(static_cast<size_t>(std::max(count, 1)));
    for (int32_t i = 0; i < count; ++i) {
        TActor& a = items[i];
        a.ID = r.I32();
        a.Name = r.ShortString();
        a.FarActorSource = r.ShortString();
        if (version > 179) {
            a.MidActorSource = r.ShortString();
            a.NearActorSource = r.ShortString();
            for (TFloatRGB& c : a.Colors) {
                c.R = r.F32();
                c.G = r.F32();
                c.B = r.F32();
            }
        } else {
            a.FarActorSource.clear();
        }
        if (version >= 187) {
            a.HueVariability = r.F64();
            a.BrightnessVariability = r.F64();
        } else if (version > 179) {
            a.HueVariability = 0.2;
            a.BrightnessVariability = 0.2;
        }
    }
    b.Count = count;
    b.Items = std::move(items);
}

// ---------------------------------------------------------------------------------------------
// Ecology

void WriteEcologyBlock(TByteWriter& w, const TEcologyBlock& b)
{
    Prefix(w, 272, 165);
    w.U8(b.Flag);
    const size_t n = InUse(b.Count, b.Items);
    w.I32(static_cast<int32_t>(n));
    for (size_t i = 0; i < n; ++i) {
        const TEcologyRule& e = b.Items[i];
        w.I32(e.TreeID);
        w.F64(e.TreeSize);
        w.F64(e.TreeDensity);
        w.I32(e.TerrainLayerID);
        w.U8(e.Flag);
        for (double v : {e.Altitude, e.AltTolerance, e.Slope, e.SlopeTolerance, e.Aspect, e.AspectTolerance})
            w.F64(v);
    }
}

void ReadEcologyBlock(TByteReader& r, TEcologyBlock& b, int version)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 165);
    b.Flag = r.U8();
    if (version >= 186) {
        const int32_t count = r.Count(73, kMaxListCount);
        std::vector<TEcologyRule> items(static_cast<size_t>(std::max(count, 1)));
        for (int32_t i = 0; i < count; ++i) {
            TEcologyRule& e = items[i];
            e.TreeID = r.I32();
            e.TreeSize = r.F64();
            e.TreeDensity = r.F64();
            e.TerrainLayerID = r.I32();
            e.Flag = r.U8();
            for (double* v : {&e.Altitude, &e.AltTolerance, &e.Slope, &e.SlopeTolerance, &e.Aspect, &e.AspectTolerance})
                *v = r.F64();
        }
        b.Count = count;
        b.Items = std::move(items);
    } else {
        std::vector<TEcologyRule> items(4);
        for (TEcologyRule& e : items) {
            e.TreeID = r.I32();
            e.TreeSize = r.F64();
            e.TreeDensity = r.F64();
            e.TerrainLayerID = -1;
            e.Flag = 0;
            e.Altitude = e.AltTolerance = e.Slope = e.SlopeTolerance = e.Aspect = e.AspectTolerance = 0.5;
        }
        b.Count = 4;
        b.Items = std::move(items);
    }
}

// ---------------------------------------------------------------------------------------------
// Clouds

void WriteCloudsBlock(TByteWriter& w, const TCloudsBlock& b)
{
    Prefix(w, 288, 164);
    for (int32_t v : b.GeneratorSettings)
        w.I32(v);
    w.ShortString(b.Directory);
    const size_t n = InUse(b.Count, b.Items);
    w.I32(static_cast<int32_t>(n));
    for (size_t i = 0; i < n; ++i) {
        const TCloud& c = b.Items[i];
        w.U8(c.Draw);
        w.F64(c.Height);
        w.I32(c.Cover);
        w.I32(c.Density);
        w.I32(c.Size);
        w.ShortString(c.CloudSource);
        WriteColor(w, c.CloudColor1);
        WriteColor(w, c.CloudColor2);
        w.F64(c.XOffset);
        w.F64(c.YOffset);
    }
}

void ReadCloudsBlock(TByteReader& r, TCloudsBlock& b)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 164);
    for (int32_t& v : b.GeneratorSettings)
        v = r.I32();
    b.Directory = r.ShortString();
    const int32_t count = r.Count(325, kMaxListCount);
    std::vector<TCloud> items(static_cast<size_t>(count));
    for (TCloud& c : items) {
        c.Draw = r.U8();
        c.Height = r.F64();
        c.Cover = r.I32();
        c.Density = r.I32();
        c.Size = r.I32();
        c.CloudSource = r.ShortString();
        c.CloudColor1 = ReadColor(r);
        c.CloudColor2 = ReadColor(r);
        c.XOffset = r.F64();
        c.YOffset = r.F64();
    }
    b.Count = count;
    b.Items = std::move(items);
}

// ---------------------------------------------------------------------------------------------
// Terrain layers

void WriteTerrainLayersBlock(TByteWriter& w, const TTerrainLayersBlock& b)
{
    Prefix(w, 20, 170);
    w.I32(WrittenCount(b.Count, b.Items));
    w.I32(b.NextID);
    w.U8(b.Exact);
    const size_t n = InUse(b.Count, b.Items);
    for (size_t i = 0; i < n; ++i) {
        const TTerrainLayer& l = b.Items[i];
        if (l.Deleted)
            continue;
        w.I32(l.ID);
        w.U8(l.OverrideDefaultColor);
        w.U8(l.OverrideDefaultSurface);
        w.U8(l.DrawPlants);
        w.ShortString(l.Name);
        w.U8(l.Visible);
        WriteColor(w, l.LayerPrimary);
        WriteColor(w, l.LayerSecondary);
        w.F64(l.Roughness);
        w.F64(l.Bumpiness);
        w.F64(l.Specularity);
        w.I32(l.Shininess);
        w.F64(l.Emission);
        for (const TEcologyRule& p : l.Plants) {
            w.I32(p.TreeID);
            w.F64(p.TreeSize);
            w.F64(p.TreeDensity);
        }
        w.U8(l.Edge);
        w.ShortString(l.ModelSource);
        w.U8(l.DrawModels);
        w.F64(l.ModelHeight);
        w.F64(l.Rotation);
        w.F64(l.LineWidth);
        WriteColor(w, l.LandscapeColor);
        w.U8(l.Urban);
        w.I32(l.UrbanPlan);
        w.U8(l.Water);
        w.I32(l.LayerType);
    }
}

void ReadTerrainLayersBlock(TByteReader& r, TTerrainLayersBlock& b, int version)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 170);
    // The count comes before NextID and Exact; check it against the entry size afterwards.
    const int32_t count = r.I32();
    b.NextID = r.I32();
    if (version >= 188)
        b.Exact = r.U8();
    size_t entryBytes = version >= 185 ? 710 : 882;
    if (version >= 181)
        entryBytes += 5;
    if (version >= 182)
        entryBytes += 1;
    if (version >= 183)
        entryBytes += 4;
    if (count < 0 || count > kMaxListCount || static_cast<uint64_t>(count) * entryBytes > r.Remaining())
        r.Fail();
    std::vector<TTerrainLayer> items(static_cast<size_t>(std::max(count, 1)));
    for (int32_t i = 0; i < count; ++i) {
        TTerrainLayer& l = items[i];
        l.ID = r.I32();
        l.OverrideDefaultColor = r.U8();
        l.OverrideDefaultSurface = r.U8();
        l.DrawPlants = r.U8();
        l.Name = r.ShortString();
        l.Visible = r.U8();
        l.LayerPrimary = ReadColor(r);
        l.LayerSecondary = ReadColor(r);
        l.Roughness = r.F64();
        if (version >= 185)
            l.Bumpiness = r.F64();
        l.Specularity = r.F64();
        l.Shininess = r.I32();
        l.Emission = r.F64();
        if (version < 185) {
            // Three older materials follow; each overwrites the layer's own, the last one stays.
            for (int m = 0; m < 3; ++m) {
                l.LayerPrimary = ReadColor(r);
                l.LayerSecondary = ReadColor(r);
                l.Roughness = r.F64();
                l.Specularity = r.F64();
                l.Shininess = r.I32();
                l.Emission = r.F64();
            }
        }
        for (TEcologyRule& p : l.Plants) {
            p.TreeID = r.I32();
            p.TreeSize = r.F64();
            p.TreeDensity = r.F64();
        }
        l.Edge = r.U8();
        l.ModelSource = r.ShortString();
        l.DrawModels = r.U8();
        l.ModelHeight = r.F64();
        l.Rotation = r.F64();
        l.LineWidth = r.F64();
        l.LandscapeColor = ReadColor(r);
        if (version >= 181) {
            l.Urban = r.U8();
            l.UrbanPlan = r.I32();
        } else {
            l.Urban = 0;
            l.UrbanPlan = 0;
        }
        l.Water = version >= 182 ? r.U8() : 0;
        if (version >= 183)
            l.LayerType = r.I32();
        else
            l.LayerType = l.DrawPlants ? ltVegetation : l.DrawModels ? ltModel : l.Urban ? ltUrban : ltSurface;
        l.Deleted = 0;
    }
    b.Count = count;
    b.Items = std::move(items);
}

// ---------------------------------------------------------------------------------------------
// Placed models

void WriteModelBlock(TByteWriter& w, const TModelBlock& b)
{
    Prefix(w, 272, 175);
    w.ShortString(b.Directory);
    w.I32(WrittenCount(b.Count, b.Items));
    w.I32(b.NextID);
    const size_t n = InUse(b.Count, b.Items);
    for (size_t i = 0; i < n; ++i) {
        const TModelPlacement& m = b.Items[i];
        if (m.Deleted)
            continue;
        w.I32(m.ID);
        w.I32(m.TerrainLayerID);
        WriteVector(w, m.Position);
        w.F64(m.Size);
        w.F64(m.Rotation);
    }
}

void ReadModelBlock(TByteReader& r, TModelBlock& b)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 175);
    b.Directory = r.ShortString();
    const int32_t count = r.I32();
    b.NextID = r.I32();
    if (count < 0 || count > kMaxListCount || static_cast<uint64_t>(count) * 36 > r.Remaining())
        r.Fail();
    std::vector<TModelPlacement> items(static_cast<size_t>(std::max(count, 1)));
    for (int32_t i = 0; i < count; ++i) {
        TModelPlacement& m = items[i];
        m.ID = r.I32();
        m.TerrainLayerID = r.I32();
        m.Position = ReadVector(r);
        m.Size = r.F64();
        m.Rotation = r.F64();
        m.Deleted = 0;
    }
    b.Count = count;
    b.Items = std::move(items);
}

// ---------------------------------------------------------------------------------------------
// Terrain regions and lines (one layout)

namespace {

void WritePolys(TByteWriter& w, uint8_t tag, int32_t count, int32_t nextID, const std::vector<TTerrainPoly>& items)
{
    Prefix(w, 16, tag);
    w.I32(WrittenCount(count, items));
    w.I32(nextID);
    const size_t n = InUse(count, items);
    TMeter meter(count);
    for (size_t i = 0; i < n; ++i) {
        meter.Step(static_cast<int64_t>(i));
        const TTerrainPoly& p = items[i];
        if (p.Deleted)
            continue;
        w.Checkpoint();
        const size_t points = InUse(p.PointCount, p.Points);
        w.I32(p.ID);
        w.I32(p.TerrainLayerID);
        w.I32(static_cast<int32_t>(points));
        for (size_t k = 0; k < points; ++k) {
            w.F64(p.Points[k].X);
            w.F64(p.Points[k].Y);
        }
    }
}

void ReadPolys(TByteReader& r, uint8_t tag, uint16_t& word, uint8_t& blockTag, int32_t& count, int32_t& nextID,
               std::vector<TTerrainPoly>& out)
{
    ReadPrefix(r, word, blockTag, tag);
    const int32_t n = r.I32();
    const int32_t next = r.I32();
    if (n < 0 || n > kMaxListCount || static_cast<uint64_t>(n) * 12 > r.Remaining())
        r.Fail();
    std::vector<TTerrainPoly> items(static_cast<size_t>(std::max(n, 1)));
    TMeter meter(n);
    for (int32_t i = 0; i < n; ++i) {
        meter.Step(i);
        TTerrainPoly& p = items[i];
        p.ID = r.I32();
        p.TerrainLayerID = r.I32();
        p.PointCount = r.Count(16, INT32_MAX);
        p.Points.resize(static_cast<size_t>(std::max(p.PointCount, 1)));
        for (int32_t k = 0; k < p.PointCount; ++k) {
            p.Points[k].X = r.F64();
            p.Points[k].Y = r.F64();
        }
        p.Deleted = 0;
    }
    count = n;
    nextID = next;
    out = std::move(items);
}

} // namespace

void WriteTerrainPolyBlock(TByteWriter& w, const TTerrainPolyBlock& b) { WritePolys(w, 174, b.Count, b.NextID, b.Items); }
void ReadTerrainPolyBlock(TByteReader& r, TTerrainPolyBlock& b)
{
    ReadPolys(r, 174, b.RecordWord, b.Tag, b.Count, b.NextID, b.Items);
}
void WriteTerrainLineBlock(TByteWriter& w, const TTerrainLineBlock& b) { WritePolys(w, 176, b.Count, b.NextID, b.Items); }
void ReadTerrainLineBlock(TByteReader& r, TTerrainLineBlock& b)
{
    ReadPolys(r, 176, b.RecordWord, b.Tag, b.Count, b.NextID, b.Items);
}

// ---------------------------------------------------------------------------------------------
// Urban plans

void WriteUrbanBlock(TByteWriter& w, const TUrbanBlock& b)
{
    Prefix(w, 16, 177);
    w.I32(b.NextID);
    const size_t n = InUse(b.Count, b.Items);
    w.I32(static_cast<int32_t>(n));
    for (size_t i = 0; i < n; ++i) {
        const TUrbanPlanDef& u = b.Items[i];
        w.I32(u.ID);
        w.ShortString(u.PlanName);
        w.F64(u.PlanXSize);
        w.F64(u.PlanYSize);
        w.F64(u.PlanHeightSize);
        w.ShortString(u.PlanHeightSource);
        w.ShortString(u.PlanWallColorSource);
        w.ShortString(u.PlanRoofColorSource);
        w.I32(u.PlanZone);
    }
}

void ReadUrbanBlock(TByteReader& r, TUrbanBlock& b)
{
    ReadPrefix(r, b.RecordWord, b.Tag, 177);
    b.NextID = r.I32();
    const int32_t count = r.Count(1056, kMaxListCount);
    std::vector<TUrbanPlanDef> items(static_cast<size_t>(std::max(count, 1)));
    for (int32_t i = 0; i < count; ++i) {
        TUrbanPlanDef& u = items[i];
        u.ID = r.I32();
        u.PlanName = r.ShortString();
        u.PlanXSize = r.F64();
        u.PlanYSize = r.F64();
        u.PlanHeightSize = r.F64();
        u.PlanHeightSource = r.ShortString();
        u.PlanWallColorSource = r.ShortString();
        u.PlanRoofColorSource = r.ShortString();
        u.PlanZone = r.I32();
    }
    b.Count = count;
    b.Items = std::move(items);
}

// ---------------------------------------------------------------------------------------------
// Whole file

void WriteProject(TProject& project, std::vector<uint8_t>& out)
{
    out.clear();
    out.reserve(static_cast<size_t>(project.Grid.Cells.CellCount() * kCellBytes + 64 * 1024));
    TByteWriter w(out);
    WriteProject(project, w);
}

void WriteProject(TProject& project, TByteWriter& w)
{
    project.Header.Magic = ProjectMagic;
    project.Header.Compatibility = ProjectCompatibility;
    project.Header.Version = ProjectVersion;
    w.U16(project.Header.Magic);
    w.U16(project.Header.Compatibility);
    w.U16(project.Header.Version);
    w.ShortString(project.Header.Name);
    Step("Writing grid");
    WriteGridBlock(w, project.Grid);
    Step("Writing environment");
    WriteCameraBlock(w, project.Camera);
    WriteLightingBlock(w, project.Lighting);
    WriteOverlayBlock(w, project.Overlays);
    WriteAtmosphereBlock(w, project.Atmosphere);
    WriteFractalBlock(w, project.Fractal);
    WriteWaterBlock(w, project.Water);
    WriteActorBlock(w, project.Actors);
    WriteEcologyBlock(w, project.Ecology);
    WriteCloudsBlock(w, project.Clouds);
    WriteTerrainLayersBlock(w, project.TerrainLayers);
    Step("Writing terrain models");
    WriteModelBlock(w, project.Models);
    Step("Writing terrain regions");
    WriteTerrainPolyBlock(w, project.TerrainPolys);
    Step("Writing terrain lines");
    WriteTerrainLineBlock(w, project.TerrainLines);
    Step("Writing urban plans");
    WriteUrbanBlock(w, project.Urban);
    w.Finish();
}

namespace {

// What the renderer and the editors rely on, whatever the file held.
void MakeSane(TProject& p)
{
    p.Fractal.FractalDepth = std::clamp(p.Fractal.FractalDepth, 1, 4);

    if (p.Clouds.Items.empty()) {
        TCloudsBlock defaults;
        InitCloudsBlock(defaults);
        if (defaults.Items.empty())
            defaults.Items.resize(1);
        p.Clouds.Items.push_back(defaults.Items.front());
        p.Clouds.Count = 1;
    }

    CompleteBandSurfaces(p.Fractal);
}

} // namespace

void ReadProject(const uint8_t* data, size_t size, TProject& project)
{
    TByteReader r(data, size, DamagedProjectText);
    ReadProject(r, project);
}

void ReadProject(TByteReader& r, TProject& project)
{
    // Another kind of file, or one of another release, is told apart from a damaged one as soon
    // as its first words show it.
    TProjectHeader header;
    header.Magic = r.U16();
    if (header.Magic != ProjectMagic)
        throw EInvalidData(IncompatibleProjectText);
    header.Compatibility = r.U16();
    if (header.Compatibility != ProjectCompatibility)
        throw EInvalidData(IncompatibleProjectText);
    header.Version = r.U16();
    header.Name = r.ShortString();
    const int version = header.Version;
    project.Header = header;

    Step("Reading grid");
    ReadGridBlock(r, project.Grid);
    Step("Reading environment");
    ReadCameraBlock(r, project.Camera);
    ReadLightingBlock(r, project.Lighting);
    ReadOverlayBlock(r, project.Overlays, version);
    ReadAtmosphereBlock(r, project.Atmosphere, version);
    ReadFractalBlock(r, project.Fractal, version);
    ReadWaterBlock(r, project.Water, version);
    ReadActorBlock(r, project.Actors, version);
    ReadEcologyBlock(r, project.Ecology, version);
    ReadCloudsBlock(r, project.Clouds);
    ReadTerrainLayersBlock(r, project.TerrainLayers, version);
    Step("Reading terrain models");
    ReadModelBlock(r, project.Models);
    Step("Reading terrain regions");
    ReadTerrainPolyBlock(r, project.TerrainPolys);
    Step("Reading terrain lines");
    ReadTerrainLineBlock(r, project.TerrainLines);
    if (version >= 181) {
        Step("Reading urban block");
        ReadUrbanBlock(r, project.Urban);
    }
    MakeSane(project);
}

// ---------------------------------------------------------------------------------------------
// Side tables

std::string SideTableBase(const std::string& projectFile)
{
    // Remove the three characters that begin four before the end; the last one stays.
    if (projectFile.size() < 4)
        return projectFile;
    std::string base = projectFile;
    base.erase(base.size() - 4, 3);
    return base;
}

bool CreateSideTables(const std::string& projectFile)
{
    const std::string base = SideTableBase(projectFile);
    TDbf objects;
    objects.FileName = base + "Obj.dbf";
    objects.AddFieldDef("Type", TFieldType::Integer, 0, true);
    objects.AddFieldDef("ID", TFieldType::Integer, 0, true);
    objects.AddFieldDef("TerrainLayerID", TFieldType::Integer, 0, true);
    objects.AddFieldDef("Deleted", TFieldType::Boolean, 0, true);
    TDbf coords;
    coords.FileName = base + "Coord.dbf";
    coords.AddFieldDef("Type", TFieldType::Integer, 0, true);
    coords.AddFieldDef("ID", TFieldType::Integer, 0, true);
    coords.AddFieldDef("Coordinate", TFieldType::Integer, 0, true);
    for (const char* name : {"X", "Y", "Z", "Size", "Rotation"})
        coords.AddFieldDef(name, TFieldType::Float, 0, true);
    const bool objectsMade = objects.CreateTable();
    const bool coordsMade = coords.CreateTable();
    return objectsMade && coordsMade;
}

namespace {

// True when the file exists, or a file whose name differs only in case does (tables made on a
// case-insensitive file system).
bool ExistsIgnoringCase(const std::string& path)
{
    QFileInfo info(QString::fromStdString(path));
    if (info.exists())
        return true;
    QDir dir = info.absoluteDir();
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& e : entries)
        if (e.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TProject members

void TProject::SwapBlocks(TProject& other) noexcept
{
    using std::swap;
    swap(Header, other.Header);
    swap(Grid, other.Grid);
    swap(Camera, other.Camera);
    swap(Lighting, other.Lighting);
    swap(Actors, other.Actors);
    swap(Atmosphere, other.Atmosphere);
    swap(Clouds, other.Clouds);
    swap(Ecology, other.Ecology);
    swap(Fractal, other.Fractal);
    swap(Overlays, other.Overlays);
    swap(TerrainLayers, other.TerrainLayers);
    swap(Water, other.Water);
    swap(TerrainPolys, other.TerrainPolys);
    swap(Models, other.Models);
    swap(TerrainLines, other.TerrainLines);
    swap(Urban, other.Urban);
}

namespace {

// A write failure while streaming the project out.
class EWriteFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A read failure (not a format error) while streaming a project in.
class EReadFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace

bool TProject::SaveToFile(const std::string& fileName)
{
    TStatusScope status("Saving landscape");
    // The new file is written beside the old one and renamed over it only when complete.
    TAtomicFile file;
    std::string error;
    if (!file.Open(fileName, error)) {
        ShowError("Cannot save project file " + fileName + ": " + error);
        return false;
    }
    try {
        std::vector<uint8_t> buffer;
        TByteWriter w(buffer, [&](const uint8_t* data, size_t size) {
            if (!file.Write(data, size, error))
                throw EWriteFailed(error);
        });
        WriteProject(*this, w);
    } catch (const EWriteFailed&) {
        ShowError("Cannot save project file " + fileName + ": " + error);
        return false;
    } catch (const std::bad_alloc&) {
        ShowError("E0001 Memory Allocation Error");
        return false;
    } catch (const std::length_error&) {
        ShowError("E0001 Memory Allocation Error");
        return false;
    }
    if (!file.Commit(error)) {
        ShowError("Cannot save project file " + fileName + ": " + error);
        return false;
    }
    return true;
}

bool TProject::LoadFromFile(const std::string& fileName)
{
    TStatusScope status("Loading landscape");
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const std::string reason = fd < 0 ? std::strerror(errno) : "not a file";
        if (fd >= 0)
            ::close(fd);
        ShowError("Cannot open project file " + fileName + ": " + reason);
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    try {
        TByteReader r(
            [fd](uint8_t* data, size_t size) -> size_t {
                for (;;) {
                    const ssize_t n = ::read(fd, data, size);
                    if (n >= 0)
                        return static_cast<size_t>(n);
                    if (errno != EINTR)
                        throw EReadFailed(std::strerror(errno));
                }
            },
            static_cast<uint64_t>(info.st_size), DamagedProjectText);
        // Making the fresh project draws its band noise; the program's random sequence must
        // not notice that a file was loaded.
        const uint32_t seed = RandSeed();
        TProject fresh;
        SetRandSeed(seed);
        ReadProject(r, fresh);
        // Missing side tables are created; failing to create them does not stop the load.
        if (!ExistsIgnoringCase(SideTableBase(fileName) + "Obj.dbf"))
            CreateSideTables(fileName);
        SwapBlocks(fresh);
    } catch (const EInvalidData& e) {
        ShowError(e.what());
        return false;
    } catch (const EReadFailed& e) {
        ShowError("Cannot read project file " + fileName + ": " + e.what());
        return false;
    } catch (const std::bad_alloc&) {
        ShowError("E0001 Memory Allocation Error");
        return false;
    } catch (const std::length_error&) {
        ShowError("E0001 Memory Allocation Error");
        return false;
    }
    ShadowsOutOfDate = 1;
    ComputeWorldScale();
    return true;
}
