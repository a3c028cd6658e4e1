#include "models/GraphicEx.h"
#include "support/TestSupport.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutBE16(Bytes& b, std::size_t at, unsigned v)
{
    b[at] = std::uint8_t(v >> 8);
    b[at + 1] = std::uint8_t(v);
}
void PutBE32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}

// An SGI header: storage 0 (verbatim) or 1 (run-length), one byte per channel.
Bytes SgiHeader(int storage, int width, int height, int channels, int bytesPerChannel = 1)
{
    Bytes b(512, 0);
    PutBE16(b, 0, 474);
    b[2] = std::uint8_t(storage);
    b[3] = std::uint8_t(bytesPerChannel);
    PutBE16(b, 4, channels == 1 ? 2 : 3);
    PutBE16(b, 6, width);
    PutBE16(b, 8, height);
    PutBE16(b, 10, channels);
    return b;
}

// Verbatim SGI: planes[c][r][x], rows bottom first.
Bytes SgiVerbatim(int width, int height, const std::vector<std::vector<std::vector<int>>>& planes)
{
    Bytes b = SgiHeader(0, width, height, int(planes.size()));
    for (const auto& plane : planes)
        for (const auto& row : plane)
            for (int v : row)
                b.push_back(std::uint8_t(v));
    return b;
}

// Run-length SGI whose rows are given already encoded: rows[c * height + r].
Bytes SgiRle(int width, int height, int channels, const std::vector<Bytes>& rows)
{
    Bytes b = SgiHeader(1, width, height, channels);
    const std::size_t n = rows.size();
    b.resize(512 + 8 * n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        PutBE32(b, 512 + 4 * i, std::uint32_t(b.size()));
        PutBE32(b, 512 + 4 * (n + i), std::uint32_t(rows[i].size()));
        b.insert(b.end(), rows[i].begin(), rows[i].end());
    }
    return b;
}

bool LoadSgi(const Bytes& b, QImage& img, std::string* err = nullptr)
{
    return TSGIGraphic::LoadFromBytes(b.data(), b.size(), img, err);
}

} // namespace

TEST(SGIGraphic, VerbatimThreeChannelsPutsLastFileRowOnTop)
{
    // 2 x 2, rows bottom first: file row 0 is the picture's bottom row.
    const Bytes b = SgiVerbatim(2, 2, {{{10, 11}, {12, 13}}, {{20, 21}, {22, 23}}, {{30, 31}, {32, 33}}});
    QImage img;
    ASSERT_TRUE(LoadSgi(b, img));
    EXPECT_EQ(img.format(), QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(0, 0), qRgb(12, 22, 32));
    EXPECT_EQ(img.pixel(1, 0), qRgb(13, 23, 33));
    EXPECT_EQ(img.pixel(0, 1), qRgb(10, 20, 30));
    EXPECT_EQ(img.pixel(1, 1), qRgb(11, 21, 31));
}

TEST(SGIGraphic, ChannelCountsChooseTheLayout)
{
    struct Case {
        int channels;
        QImage::Format format;
        QRgb pixel; // of the single pixel, plane c holding 10 * (c + 1)
    };
    const Case cases[] = {
        {1, QImage::Format_Indexed8, qRgb(10, 10, 10)},
        {2, QImage::Format_Indexed8, qRgb(10, 10, 10)}, // grey from the first channel
        {3, QImage::Format_RGB32, qRgb(10, 20, 30)},
        {4, QImage::Format_ARGB32, qRgba(10, 20, 30, 40)},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<std::vector<int>>> planes;
        for (int p = 0; p < c.channels; ++p)
            planes.push_back({{10 * (p + 1)}});
        QImage img;
        ASSERT_TRUE(LoadSgi(SgiVerbatim(1, 1, planes), img)) << c.channels;
        EXPECT_EQ(img.format(), c.format) << c.channels;
        EXPECT_EQ(img.pixel(0, 0), c.pixel) << c.channels;
    }
}

TEST(SGIGraphic, RunLengthRowExpands)
{
    const Bytes row = {0x82, 0x10, 0x20, 0x03, 0x7F, 0x00};
    std::uint8_t out[8];
    EXPECT_EQ(ExpandSGIRow(row.data(), row.size(), out, sizeof out), 5u);
    const std::uint8_t want[8] = {0x10, 0x20, 0x7F, 0x7F, 0x7F, 0, 0, 0};
    EXPECT_EQ(Bytes(out, out + 8), Bytes(want, want + 8));

    // Runs longer than the row and copies past the row's bytes stop at the ends.
    const Bytes overrun = {0x7F, 0x55};
    std::uint8_t small[3];
    EXPECT_EQ(ExpandSGIRow(overrun.data(), overrun.size(), small, sizeof small), 3u);
    EXPECT_EQ(small[2], 0x55);
    const Bytes shortCopy = {0x85, 0x01, 0x02};
    EXPECT_EQ(ExpandSGIRow(shortCopy.data(), shortCopy.size(), out, sizeof out), 2u);
    EXPECT_EQ(out[2], 0);
}

TEST(SGIGraphic, RunLengthPictureAndShortRowsZeroFilled)
{
    // 3 x 2 grey; the second row is short (one pixel), the rest of it is black.
    const Bytes b = SgiRle(3, 2, 1, {{0x03, 0x40, 0x00}, {0x81, 0x99, 0x00}});
    QImage img;
    ASSERT_TRUE(LoadSgi(b, img));
    EXPECT_EQ(img.pixel(0, 1), qRgb(0x40, 0x40, 0x40));
    EXPECT_EQ(img.pixel(2, 1), qRgb(0x40, 0x40, 0x40));
    EXPECT_EQ(img.pixel(0, 0), qRgb(0x99, 0x99, 0x99));
    EXPECT_EQ(img.pixel(1, 0), qRgb(0, 0, 0));
}

TEST(SGIGraphic, DamagedFilesAreRefused)
{
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason; // part of the error text
    };
    Bytes rowPastEnd = SgiRle(2, 1, 1, {{0x02, 0x11, 0x00}});
    PutBE32(rowPastEnd, 512, 100000);
    Bytes lengthPastEnd = SgiRle(2, 1, 1, {{0x02, 0x11, 0x00}});
    PutBE32(lengthPastEnd, 516, 0xFFFFFFF0u);
    Bytes shortVerbatim = SgiVerbatim(4, 4, {{{1, 2, 3, 4}}});
    const std::vector<Case> cases = {
        {"16 bits", SgiHeader(0, 1, 1, 1, 2), "16 bits"},
        {"no channels", SgiHeader(0, 1, 1, 0), "no channels"},
        {"header only", Bytes(8, 0), "header"},
        {"row start past end", rowPastEnd, "past the end"},
        {"row length past end", lengthPastEnd, "past the end"},
        {"tables past end", SgiHeader(1, 4, 60000, 4), "row tables"},
        {"verbatim too short", shortVerbatim, "ends inside"},
        {"huge", SgiHeader(1, 65535, 65535, 1), "too large"},
    };
    for (const Case& c : cases) {
        QImage img;
        std::string err;
        EXPECT_FALSE(LoadSgi(c.bytes, img, &err)) << c.name;
        EXPECT_NE(err.find(c.reason), std::string::npos) << c.name << ": " << err;
        EXPECT_TRUE(img.isNull()) << c.name;
    }
}

namespace {

Bytes Autodesk(int width, int height, std::uint16_t magic = 0x9119)
{
    Bytes b(800 + std::size_t(width) * std::size_t(height), 0);
    b[0] = std::uint8_t(magic);
    b[1] = std::uint8_t(magic >> 8);
    b[2] = std::uint8_t(width);
    b[3] = std::uint8_t(width >> 8);
    b[4] = std::uint8_t(height);
    b[5] = std::uint8_t(height >> 8);
    return b;
}

} // namespace

TEST(AutodeskGraphic, PaletteScaledAndRowsTopFirst)
{
    Bytes b = Autodesk(2, 2);
    const std::uint8_t entry[3] = {63, 32, 0};
    std::copy(entry, entry + 3, b.begin() + 32 + 3 * 5);
    b[32 + 3 * 7] = 64; // 64 x 4 wraps to 0 in 8 bits, as old readers did
    b[800] = 5;
    b[801] = 0;
    b[802] = 7;
    QImage img;
    ASSERT_TRUE(TAutodeskGraphic::LoadFromBytes(b.data(), b.size(), img, nullptr));
    EXPECT_EQ(img.size(), QSize(2, 2));
    EXPECT_EQ(img.pixel(0, 0), qRgb(252, 128, 0));
    EXPECT_EQ(img.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(img.pixel(0, 1), qRgb(0, 0, 0));
}

TEST(AutodeskGraphic, WrongMagicAndShortFilesAreRefused)
{
    QImage img;
    std::string err;
    Bytes wrong = Autodesk(1, 1, 0x1234);
    EXPECT_FALSE(TAutodeskGraphic::LoadFromBytes(wrong.data(), wrong.size(), img, &err));
    EXPECT_EQ(err, "Cannot load image. Only old style autodesk images are supported.");

    Bytes shortPixels = Autodesk(100, 100);
    shortPixels.resize(800 + 100 * 99);
    EXPECT_FALSE(TAutodeskGraphic::LoadFromBytes(shortPixels.data(), shortPixels.size(), img, &err));
    EXPECT_NE(err.find("100 x 100"), std::string::npos) << err;
    EXPECT_TRUE(img.isNull());
}

TEST(PictureLoader, DispatchesOnTheExtensionAndFindsNamesCaseInsensitively)
{
    qxtest::TempDir dir;
    std::filesystem::create_directory(dir.path() / "Maps");
    const Bytes sgi = SgiVerbatim(1, 1, {{{10}}, {{20}}, {{30}}});
    qxtest::WriteFileBytes(dir.file("Maps/Tex.RGB"), sgi);
    qxtest::WriteFileBytes(dir.file("grey.bw"), SgiVerbatim(1, 1, {{{77}}}));
    const Bytes pic = Autodesk(1, 1);
    qxtest::WriteFileBytes(dir.file("a.CEL"), pic);
    qxtest::WriteFileBytes(dir.file("new.pic"), Autodesk(1, 1, 0x1234));
    QImage png(3, 1, QImage::Format_RGB32);
    png.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(png.save(QString::fromStdString(dir.file("p.png")), "PNG"));
    ASSERT_TRUE(png.save(QString::fromStdString(dir.file("b.bmp")), "BMP"));
    // A PNG named .rgb goes to the SGI reader, not to a content sniffer.
    ASSERT_TRUE(png.save(QString::fromStdString(dir.file("fake.rgb")), "PNG"));

    struct Case {
        std::string name;
        bool ok;
        QRgb pixel;
    };
    const std::vector<Case> cases = {
        {dir.file("Maps/Tex.RGB"), true, qRgb(10, 20, 30)},
        {dir.file("MAPS/tex.rgb"), true, qRgb(10, 20, 30)},
        {dir.path().string() + "\\maps\\TEX.rgb", true, qRgb(10, 20, 30)},
        {dir.file("grey.bw"), true, qRgb(77, 77, 77)},
        {dir.file("a.cel"), true, qRgb(0, 0, 0)},
        {dir.file("P.PNG"), true, qRgb(1, 2, 3)},
        {dir.file("b.bmp"), true, qRgb(1, 2, 3)},
        {dir.file("fake.rgb"), false, 0},
        {dir.file("missing.png"), false, 0},
        {dir.file("p.xyz"), false, 0},
        {dir.file("noext"), false, 0},
    };
    std::string picError;
    QImage none;
    EXPECT_FALSE(LoadPicture(dir.file("new.pic"), none, &picError));
    EXPECT_EQ(picError, "Cannot load image. Only old style autodesk images are supported.");
    for (const Case& c : cases) {
        QImage img;
        std::string err;
        const bool ok = LoadPicture(c.name, img, &err);
        EXPECT_EQ(ok, c.ok) << c.name << ": " << err;
        if (ok && c.ok) {
            EXPECT_EQ(img.pixel(0, 0), c.pixel) << c.name;
        }
        if (!ok) {
            EXPECT_FALSE(err.empty()) << c.name;
        }
    }
}

TEST(PictureLoader, JpegThroughLibjpeg)
{
    qxtest::TempDir dir;
    QImage src(16, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            src.setPixel(x, y, x < 8 ? qRgb(200, 40, 40) : qRgb(40, 40, 200));
    ASSERT_TRUE(src.save(QString::fromStdString(dir.file("a.jpg")), "JPG", 100));
    ASSERT_TRUE(src.convertToFormat(QImage::Format_Grayscale8).save(QString::fromStdString(dir.file("g.JPEG")), "JPG", 100));
    QImage img;
    std::string err;
    ASSERT_TRUE(LoadPicture(dir.file("a.jpg"), img, &err)) << err;
    ASSERT_EQ(img.size(), QSize(16, 8));
    for (QPoint p : {QPoint(2, 2), QPoint(13, 5)}) {
        const QRgb want = src.pixel(p), got = img.pixel(p);
        EXPECT_NEAR(qRed(got), qRed(want), 8);
        EXPECT_NEAR(qGreen(got), qGreen(want), 8);
        EXPECT_NEAR(qBlue(got), qBlue(want), 8);
    }
    ASSERT_TRUE(LoadPicture(dir.file("g.jpeg"), img, &err)) << err;
    EXPECT_EQ(img.format(), QImage::Format_Indexed8);

    // A cut-off JPEG and a non-JPEG fail without crashing.
    Bytes bytes = qxtest::ReadFileBytes(dir.file("a.jpg"));
    for (std::size_t cut : {std::size_t(3), std::size_t(40), bytes.size() / 2}) {
        QImage out;
        if (LoadJPEGFromBytes(bytes.data(), cut, out, &err)) {
            EXPECT_EQ(out.size(), QSize(16, 8)); // libjpeg pads a truncated scan: still a whole picture
        } else {
            EXPECT_FALSE(err.empty());
        }
    }
}

namespace {

// A TGA header: image type, width, height, bits per pixel, descriptor; no id, no colour map.
Bytes Tga(int type, int width, int height, int depth, int descriptor = 0)
{
    Bytes b(18, 0);
    b[2] = std::uint8_t(type);
    b[12] = std::uint8_t(width);
    b[14] = std::uint8_t(height);
    b[16] = std::uint8_t(depth);
    b[17] = std::uint8_t(descriptor);
    return b;
}

// A PCX header: bits per pixel, planes, window, bytes per line; run-length encoded, version 5.
Bytes Pcx(int bits, int planes, int width, int height, int bytesPerLine)
{
    Bytes b(128, 0);
    b[0] = 0x0A;
    b[1] = 5;
    b[2] = 1;
    b[3] = std::uint8_t(bits);
    b[8] = std::uint8_t(width - 1);
    b[10] = std::uint8_t(height - 1);
    b[65] = std::uint8_t(planes);
    b[66] = std::uint8_t(bytesPerLine);
    return b;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(ExtraGraphic, TgaRowsBottomUpAndRunsAcrossRows)
{
    // 2 x 2, 24 bits, run-length: one run of three blue pixels crosses into the top row.
    const Bytes rle = Tga(10, 2, 2, 24) + Bytes{0x82, 255, 0, 0, 0x00, 0, 0, 255};
    QImage img;
    std::string err;
    ASSERT_TRUE(TExtraGraphic::LoadTGAFromBytes(rle.data(), rle.size(), img, &err)) << err;
    EXPECT_EQ(img.pixel(0, 1), qRgb(0, 0, 255)); // first stored pixel: bottom left
    EXPECT_EQ(img.pixel(1, 1), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(1, 0), qRgb(255, 0, 0));
}

TEST(ExtraGraphic, DamagedTgaAndPcxAreRefused)
{
    struct Case {
        const char* name;
        bool tga;
        Bytes bytes;
    };
    Bytes mapped = Tga(1, 2, 2, 8);
    mapped[1] = 1; // a colour map of 200 entries that is not there
    mapped[5] = 200;
    mapped[7] = 24;
    const std::vector<Case> cases = {
        {"tga header cut", true, Bytes(10, 0)},
        {"tga raw data short", true, Tga(2, 4, 4, 24) + Bytes(20, 0)},
        {"tga run-length claim beyond any file", true, Tga(10, 255, 255, 32) + Bytes{0xFF, 1, 2, 3, 4}},
        {"tga unsupported type", true, Tga(32, 1, 1, 8) + Bytes(4, 0)},
        {"tga unsupported depth", true, Tga(2, 1, 1, 12) + Bytes(4, 0)},
        {"tga indices without a map", true, Tga(1, 1, 1, 8) + Bytes(1, 0)},
        {"tga colour map past the end", true, mapped + Bytes(4, 0)},
        {"pcx header cut", false, Bytes(100, 0x0A)},
        {"pcx lines shorter than the width", false, Pcx(8, 1, 10, 1, 4) + Bytes(20, 0)},
        {"pcx unsupported planes", false, Pcx(8, 2, 1, 1, 1) + Bytes(4, 0)},
        {"pcx size beyond what the file can hold", false, Pcx(8, 3, 200, 200, 200) + Bytes{0xFF, 0}},
    };
    for (const Case& c : cases) {
        QImage img;
        std::string err;
        const bool ok = c.tga ? TExtraGraphic::LoadTGAFromBytes(c.bytes.data(), c.bytes.size(), img, &err)
                              : TExtraGraphic::LoadPCXFromBytes(c.bytes.data(), c.bytes.size(), img, &err);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_FALSE(err.empty()) << c.name;
        EXPECT_TRUE(img.isNull()) << c.name;
    }
}
