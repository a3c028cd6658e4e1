#include "platform/vpdem32.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace vpdem {

int32_t PackRow(int32_t count, uint8_t* work, const int16_t* row)
{
    if (count < 1)
        return 0;
    int32_t n = 0;
    auto put16 = [&](int16_t v) {
        const auto u = static_cast<uint16_t>(v);
        work[n++] = static_cast<uint8_t>(u >> 8);
        work[n++] = static_cast<uint8_t>(u & 0xFF);
    };
    put16(row[0]);
    for (int32_t i = 1; i < count; ++i) {
        const int delta = int(row[i]) - int(row[i - 1]);
        if (delta >= -127 && delta <= 127) {
            work[n++] = static_cast<uint8_t>(static_cast<int8_t>(delta));
        } else {
            work[n++] = 0x80; // -128: a new absolute height follows
            put16(row[i]);
        }
    }
    return n;
}

int32_t EncodeRow(int32_t length, uint8_t* out, const uint8_t* work)
{
    int32_t o = 0;
    int32_t i = 0;
    while (i < length) {
        // Length of the run of equal bytes starting at i (at most 128).
        int32_t run = 1;
        while (i + run < length && run < 128 && work[i + run] == work[i])
            ++run;
        if (run >= 3) {
            out[o++] = static_cast<uint8_t>(static_cast<int8_t>(1 - run));
            out[o++] = work[i];
            i += run;
            continue;
        }
        // Literal stretch up to the next run of three or more (at most 128 bytes).
        int32_t start = i;
        int32_t lit = 0;
        while (i < length && lit < 128) {
            if (i + 2 < length && work[i] == work[i + 1] && work[i] == work[i + 2])
                break;
            ++i;
            ++lit;
        }
        out[o++] = static_cast<uint8_t>(lit - 1);
        for (int32_t k = 0; k < lit; ++k)
            out[o++] = work[start + k];
    }
    return o;
}

namespace {

// Unpacks PackBits data from [p, end) until `want` bytes were produced or the input ends.
// Returns the number of bytes produced.
size_t Unpack(const uint8_t* p, const uint8_t* end, uint8_t* dst, size_t want)
{
    size_t n = 0;
    while (p < end && n < want) {
        const auto h = static_cast<int8_t>(*p++);
        if (h >= 0) {
            size_t len = size_t(h) + 1;
            if (size_t(end - p) < len)
                len = size_t(end - p);
            for (size_t k = 0; k < len && n < want; ++k)
                dst[n++] = p[k];
            p += len;
        } else if (h != -128) {
            if (p >= end)
                break;
            const size_t len = size_t(1 - h);
            const uint8_t b = *p++;
            for (size_t k = 0; k < len && n < want; ++k)
                dst[n++] = b;
        }
    }
    return n;
}

// Parses one decoded row into `count` heights; false when the stream is too short.
bool ParseRow(const uint8_t* s, size_t len, int32_t count, int16_t* out)
{
    size_t i = 0;
    auto get16 = [&](int16_t& v) {
        if (i + 2 > len)
            return false;
        v = static_cast<int16_t>(uint16_t(s[i]) << 8 | s[i + 1]);
        i += 2;
        return true;
    };
    if (!get16(out[0]))
        return false;
    for (int32_t k = 1; k < count; ++k) {
        if (i >= len)
            return false;
        const auto d = static_cast<int8_t>(s[i++]);
        if (d == -128) {
            if (!get16(out[k]))
                return false;
        } else {
            out[k] = static_cast<int16_t>(int(out[k - 1]) + d);
        }
    }
    return true;
}

} // namespace

bool DecodeDEM(const std::vector<uint8_t>& file, int32_t columns, int32_t rows,
               std::vector<int16_t>& heights, std::string& error)
{
    heights.clear();
    if (columns != kDEMSize || rows != kDEMSize) {
        error = "Vistapro DEM size must be 258 x 258";
        return false;
    }
    if (file.size() < size_t(kHeaderBytes)) {
        error = "Vistapro DEM header is incomplete";
        return false;
    }
    static const char kMagic[] = "Vista DEM File";
    for (size_t k = 0; k + 1 < sizeof kMagic; ++k)
        if (file[k] != uint8_t(kMagic[k])) {
            error = "Not a Vistapro DEM file";
            return false;
        }
    const uint32_t flag = uint32_t(file[128]) << 24 | uint32_t(file[129]) << 16 | uint32_t(file[130]) << 8 | file[131];
    if (flag != 1) {
        error = "Vistapro DEM file is not compressed in the supported way";
        return false;
    }
    std::vector<int16_t> out(size_t(columns) * size_t(rows));
    std::vector<uint8_t> stream(size_t(PackedRowCapacity(columns)));
    size_t pos = kHeaderBytes;
    for (int32_t r = 0; r < rows; ++r) {
        if (file.size() - pos < 2) {
            error = "Vistapro DEM file ends before its last row";
            return false;
        }
        const size_t count = size_t(file[pos]) << 8 | file[pos + 1];
        pos += 2;
        if (file.size() - pos < count) {
            error = "Vistapro DEM file ends inside a row";
            return false;
        }
        const size_t got = Unpack(file.data() + pos, file.data() + pos + count, stream.data(), stream.size());
        if (!ParseRow(stream.data(), got, columns, out.data() + size_t(r) * size_t(columns))) {
            error = "Vistapro DEM row is damaged";
            return false;
        }
        pos += count;
    }
    heights.swap(out);
    return true;
}

int32_t ExpandDEM(int32_t columns, int32_t rows, const char* tempPath, const char* sourcePath,
                  std::string* error)
{
    std::string why;
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        return 0;
    };
    if (!tempPath || !sourcePath)
        return fail("No file name");
    std::ifstream in(sourcePath, std::ios::binary);
    if (!in)
        return fail("Cannot open Vistapro DEM file");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> heights;
    if (!DecodeDEM(bytes, columns, rows, heights, why))
        return fail(why);
    std::string text;
    text.reserve(heights.size() * 6);
    char num[16];
    for (size_t k = 0; k < heights.size(); ++k) {
        const int len = std::snprintf(num, sizeof num, "%d", int(heights[k]));
        text.append(num, size_t(len));
        text.push_back((k + 1) % size_t(columns) == 0 ? '\n' : ' ');
    }
    std::ofstream out(tempPath, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    if (!out)
        return fail("Cannot write the temporary file");
    return 1;
}

} // namespace vpdem
