#include "platform/vpdem32.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// A whole DEM file from rows of heights (the file's first row first), through the codec.
std::vector<uint8_t> MakeDEM(const std::vector<int16_t>& heights)
{
    std::vector<uint8_t> file(vpdem::kHeaderBytes, 0);
    const char magic[] = "Vista DEM File";
    std::copy(magic, magic + 14, file.begin());
    file[131] = 1;
    std::vector<uint8_t> work(size_t(vpdem::PackedRowCapacity(vpdem::kDEMSize)));
    std::vector<uint8_t> out(size_t(vpdem::EncodedCapacity(int(work.size()))));
    for (int r = 0; r < vpdem::kDEMSize; ++r) {
        const int n = vpdem::PackRow(vpdem::kDEMSize, work.data(), heights.data() + size_t(r) * vpdem::kDEMSize);
        const int m = vpdem::EncodeRow(n, out.data(), work.data());
        file.push_back(uint8_t(m >> 8));
        file.push_back(uint8_t(m));
        file.insert(file.end(), out.begin(), out.begin() + m);
    }
    return file;
}

std::vector<int16_t> Pattern()
{
    std::vector<int16_t> h(size_t(vpdem::kDEMSize) * vpdem::kDEMSize);
    for (size_t k = 0; k < h.size(); ++k) {
        const int x = int(k % 258), y = int(k / 258);
        // Flat runs (PackBits repeats), small deltas, jumps past +-127 and the i16 extremes.
        if (y < 20)
            h[k] = 500;
        else if (y < 40)
            h[k] = int16_t(x * 3 - y);
        else if (y == 40)
            h[k] = x % 2 ? 32767 : -32768;
        else
            h[k] = int16_t((x * 1237 + y * 7919) % 20000 - 10000);
    }
    return h;
}

} // namespace

TEST(VistaCodec, RowsSurvivePackingAndEncoding)
{
    const std::vector<int16_t> h = Pattern();
    std::vector<int16_t> back;
    std::string error;
    ASSERT_TRUE(vpdem::DecodeDEM(MakeDEM(h), 258, 258, back, error)) << error;
    EXPECT_EQ(back, h);
}

TEST(VistaCodec, DeltaStreamEscapesLargeSteps)
{
    const int16_t row[4] = {100, 227, 99, -28};
    uint8_t work[16];
    ASSERT_EQ(vpdem::PackRow(4, work, row), 2 + 1 + 3 + 1);
    EXPECT_EQ(work[0], 0);
    EXPECT_EQ(work[1], 100);
    EXPECT_EQ(work[2], 127);                 // +127 fits a delta
    EXPECT_EQ(work[3], 0x80);                // -128 fits no delta: escape
    EXPECT_EQ((work[4] << 8 | work[5]), 99); // new absolute height
    EXPECT_EQ(int8_t(work[6]), -127);
}

TEST(VistaCodec, ExpandWritesTheSameHeightsAsTheDirectDecoder)
{
    qxtest::TempDir dir;
    const std::vector<int16_t> h = Pattern();
    const std::vector<uint8_t> file = MakeDEM(h);
    qxtest::WriteFileBytes(dir.file("a.dem"), file);
    ASSERT_NE(vpdem::ExpandDEM(258, 258, dir.file("~dem.tmp").c_str(), dir.file("a.dem").c_str()), 0);
    std::istringstream text(qxtest::ReadFileText(dir.file("~dem.tmp")));
    std::vector<int16_t> read;
    int v;
    while (text >> v)
        read.push_back(int16_t(v));
    EXPECT_EQ(read, h);
}

TEST(VistaCodec, DamagedFilesAndOtherSizesAreRefused)
{
    const std::vector<uint8_t> good = MakeDEM(Pattern());
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int size;
    };
    std::vector<Case> cases;
    cases.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 2048), 258});
    cases.push_back({"last row cut", std::vector<uint8_t>(good.begin(), good.end() - 5), 258});
    cases.push_back({"short header", std::vector<uint8_t>(good.begin(), good.begin() + 100), 258});
    auto noMagic = good;
    noMagic[0] = 'X';
    cases.push_back({"no magic", noMagic, 258});
    auto uncompressed = good;
    uncompressed[131] = 0;
    cases.push_back({"compression flag", uncompressed, 258});
    auto bigCount = good;
    bigCount[2048] = 0xFF; // first row claims 65280+ bytes
    cases.push_back({"row count past the end", bigCount, 258});
    cases.push_back({"other size", good, 300});
    for (const Case& c : cases) {
        std::vector<int16_t> out;
        std::string error;
        EXPECT_FALSE(vpdem::DecodeDEM(c.bytes, c.size, c.size, out, error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_TRUE(out.empty()) << c.what;
    }
    qxtest::TempDir dir;
    EXPECT_EQ(vpdem::ExpandDEM(258, 258, dir.file("t").c_str(), dir.file("missing.dem").c_str()), 0);
}
