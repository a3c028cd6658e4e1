#pragma once
// Vistapro DEM codec: our in-process stand-in for the vpdem32 library (ordinals 1, 2 and 4).
//
// File layout: a 2048-byte header (big-endian 32-bit compression flag 1 at byte 128), then the
// rows, the southernmost first. A row is a big-endian 16-bit byte count followed by a PackBits
// (ByteRun1) payload; the decoded row is a big-endian 16-bit base height followed by one signed
// 8-bit delta per further height, where a delta byte of -128 is followed by a new big-endian
// 16-bit absolute height.
#include <cstdint>
#include <string>
#include <vector>

namespace vpdem {

inline constexpr int kDEMSize = 258;          // the only grid size of a Vistapro 3 DEM
inline constexpr int kHeaderBytes = 2048;
inline constexpr int kCompressionFlagOffset = 128;
// Buffer sizes callers must provide for one row of `count` heights.
constexpr int PackedRowCapacity(int count) { return 2 + 3 * (count > 0 ? count - 1 : 0); }
constexpr int EncodedCapacity(int length) { return length + (length + 127) / 128; }

// Ordinal 2: turns `count` heights into the delta stream in `work`
// (PackedRowCapacity(count) bytes); returns its length, or 0 when count < 1.
int32_t PackRow(int32_t count, uint8_t* work, const int16_t* row);

// Ordinal 1: PackBits-encodes `length` bytes of `work` into `out` (EncodedCapacity(length)
// bytes); returns the encoded length.
int32_t EncodeRow(int32_t length, uint8_t* out, const uint8_t* work);

// Decodes a whole DEM file held in memory into rows x columns heights, the file's first (south)
// row first. Returns false with a message in `error` for a damaged file or sizes other than
// 258 x 258; `heights` is then left empty.
bool DecodeDEM(const std::vector<uint8_t>& file, int32_t columns, int32_t rows,
               std::vector<int16_t>& heights, std::string& error);

// Ordinal 4: expands the DEM at `sourcePath` into `tempPath` as white-space separated integers,
// rows of `columns` values, the file's first row first. Non-zero on success; zero when the file
// is missing, damaged or not columns x rows = 258 x 258 (`error`, when given, tells why).
int32_t ExpandDEM(int32_t columns, int32_t rows, const char* tempPath, const char* sourcePath,
                  std::string* error = nullptr);

} // namespace vpdem
