#include "heightgrid/data/HeightExport.h"
#include "heightgrid/data/HeightImport.h"
#include "platform/vpdem32.h"

#include "heightgrid/HeightDataFixture.h"
#include "support/FileSyncRecorder.h"
#include "support/MessageLog.h"
#include "support/TestSupport.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t p = 0;
    while (p < text.size()) {
        size_t e = text.find("\r\n", p);
        if (e == std::string::npos) {
            out.push_back(text.substr(p));
            break;
        }
        out.push_back(text.substr(p, e - p));
        p = e + 2;
    }
    return out;
}

} // namespace

TEST(HeightExport, TextIsDefaultRealsEachFollowedByABlank)
{
    qxtest::TempDir dir;
    TGridBlock g = MakeGrid(2, 1, [](int x, int) { return x == 0 ? 100.0 : NullHeight; });
    ASSERT_TRUE(ExportText(g, dir.file("a.txt")).Ok);
    EXPECT_EQ(qxtest::ReadFileText(dir.file("a.txt")), " 1.00000000000000E+0002 -1.00100000000000E+0003 ");
}

TEST(HeightExport, XYZHeaderAndPointsLeaveOutOnlyNullCells)
{
    qxtest::TempDir dir;
    TGridBlock big = MakeGrid(258, 258, Pattern);
    ASSERT_TRUE(ExportXYZ(big, dir.file("big.xyz")).Ok);
    EXPECT_EQ(Lines(qxtest::ReadFileText(dir.file("big.xyz")))[0],
              "m,0,0, 7710.000000, 7710.000000,   30.000000,   30.000000,noattr");

    TGridBlock g = MakeGrid(2, 2, [](int x, int y) { return x == 0 && y == 0 ? NullHeight : (x == 1 && y == 0 ? -5.0 : 7.0); });
    ASSERT_TRUE(ExportXYZ(g, dir.file("a.xyz")).Ok);
    const auto lines = Lines(qxtest::ReadFileText(dir.file("a.xyz")));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "Exported from Quarlex2");
    EXPECT_EQ(lines[2], "0");
    EXPECT_EQ(lines[3], "   30.000000,   30.000000,   -5.000000"); // below datum, still a point
    EXPECT_EQ(lines[4], "    0.000000,    0.000000,    7.000000"); // bottom row has Y 0
    EXPECT_EQ(lines[5], "   30.000000,    0.000000,    7.000000");
}

TEST(HeightExport, PGMSamplesAndMaxvalAreAlwaysValid)
{
    qxtest::TempDir dir;
    TGridBlock g = MakeGrid(3, 1, [](int x, int) { return x == 0 ? 0.0 : (x == 1 ? 100.0 : NullHeight); });
    g.MaxHeight = 100;
    g.MinHeight = 0;
    ASSERT_TRUE(ExportPGM(g, dir.file("a.pgm")).Ok);
    EXPECT_EQ(qxtest::ReadFileText(dir.file("a.pgm")), "P2\r\n3 1\r\n1100\r\n0 100 0  \r\n");

    // A stale range: samples below the minimum or above maxval are clamped, maxval stays <= 65535.
    g.MinHeight = 50;
    g.MaxHeight = 99999;
    ASSERT_TRUE(ExportPGM(g, dir.file("b.pgm")).Ok);
    EXPECT_EQ(qxtest::ReadFileText(dir.file("b.pgm")), "P2\r\n3 1\r\n65535\r\n0 50 0  \r\n");
}

TEST(HeightExport, BMPGreysAndAFlatGrid)
{
    qxtest::TempDir dir;
    TGridBlock g = MakeGrid(3, 2, [](int x, int y) { return y == 1 ? NullHeight : x * 50.0; });
    ASSERT_TRUE(ExportBMP(g, dir.file("a.bmp")).Ok);
    QImage img(QString::fromStdString(dir.file("a.bmp")));
    ASSERT_EQ(img.size(), QSize(3, 2));
    EXPECT_EQ(qRed(img.pixel(0, 0)), 0);
    EXPECT_EQ(qRed(img.pixel(1, 0)), 127);
    EXPECT_EQ(qGreen(img.pixel(2, 0)), 255);
    EXPECT_EQ(img.pixel(0, 1), qRgb(255, 255, 255)); // null: white

    TGridBlock flat = MakeGrid(2, 2, [](int, int) { return 40.0; });
    ASSERT_TRUE(ExportBMP(flat, dir.file("f.bmp")).Ok);
    QImage f(QString::fromStdString(dir.file("f.bmp")));
    EXPECT_EQ(f.pixel(1, 1), qRgb(0, 0, 0));
}

TEST(HeightExport, BMPGreyIsTheTruncOfTheScaledHeight)
{
    qxtest::TempDir dir;
    struct TCase {
        double height;
        int grey; // 255 also for white
    };
    // Range 0 .. 255: the scaled value is the height itself.
    const TCase cases[] = {
        {-0.5, 0},     // just below MinHeight: Trunc(-0.5) = 0, black
        {-0.999, 0},   // still above -1
        {-1.0, 255},   // -1: outside 0 .. 255, white
        {-7.0, 255},
        {0.0, 0},
        {127.9, 127},
        {254.99, 254},
        {255.0, 255},
        {255.5, 255},  // Trunc 255
        {256.0, 255},  // outside: white
    };
    const int n = int(std::size(cases));
    TGridBlock g = MakeGrid(n, 1, [&](int x, int) { return cases[x].height; });
    g.MinHeight = 0.0;
    g.MaxHeight = 255.0;
    ASSERT_TRUE(ExportBMP(g, dir.file("t.bmp")).Ok);
    QImage img(QString::fromStdString(dir.file("t.bmp")));
    ASSERT_EQ(img.width(), n);
    for (int x = 0; x < n; ++x)
        EXPECT_EQ(img.pixel(x, 0), qRgb(cases[x].grey, cases[x].grey, cases[x].grey)) << cases[x].height;
}

TEST(HeightExport, EveryExportShowsTheHourglassWhileItWrites)
{
    qxtest::TempDir dir;
    struct TBusyLog : qxtest::TStatusLog {
        std::string file;
        std::vector<bool> calls;
        bool writtenWhileBusy = false;
        void SetBusyCursor(bool busy) override
        {
            calls.push_back(busy);
            if (!busy)
                writtenWhileBusy = std::filesystem::exists(file);
        }
    } log;
    IStatusSink* old = SetStatusSink(&log);
    int k = 0;
    for (TExportFormat f : {TExportFormat::Text, TExportFormat::DXF, TExportFormat::BMP, TExportFormat::XYZ,
                            TExportFormat::PGM, TExportFormat::NTF, TExportFormat::Terragen, TExportFormat::Vistapro}) {
        log.file = dir.file("e" + std::to_string(k++));
        log.calls.clear();
        log.writtenWhileBusy = false;
        TGridBlock g = MakeGrid(4, 4, [](int x, int y) { return 10.0 * x + y; }, 30.0);
        EXPECT_TRUE(ExportHeightData(f, g, log.file).Ok) << int(f);
        EXPECT_EQ(log.calls, (std::vector<bool>{true, false})) << int(f);
        EXPECT_TRUE(log.writtenWhileBusy) << int(f);
    }
    SetStatusSink(old);
}

TEST(HeightExport, DXFMeshCountsFollowTheVertexOrder)
{
    qxtest::TempDir dir;
    TGridBlock g = MakeGrid(3, 2, Pattern, 10.0);
    ASSERT_TRUE(ExportDXF(g, dir.file("a.dxf")).Ok);
    const auto lines = Lines(qxtest::ReadFileText(dir.file("a.dxf")));
    auto after = [&](const std::string& code) {
        for (size_t k = 0; k + 1 < lines.size(); ++k)
            if (lines[k] == code)
                return lines[k + 1];
        return std::string();
    };
    EXPECT_EQ(after(" 71"), "    3"); // M: the outer (x) loop
    EXPECT_EQ(after(" 72"), "    2"); // N: the inner (y) loop
    // Second vertex: x 0, y 1: E = -15, N = (2 - 1) * 10 - 10 = 0.
    size_t second = 0;
    int seen = 0;
    for (size_t k = 0; k < lines.size(); ++k)
        if (lines[k] == "VERTEX" && ++seen == 2)
            second = k;
    ASSERT_GT(second, 0u);
    EXPECT_EQ(lines[second + 4], "  -15.00");
    EXPECT_EQ(lines[second + 6], "    0.00");
    EXPECT_EQ(lines[second + 8], "  -47.00");
    EXPECT_EQ(lines.back(), "EOF");
}

TEST(HeightExport, NTFRecordsKeepTheirWidthForAnyHeight)
{
    qxtest::TempDir dir;
    const double odd[] = {-5.0, NullHeight, 12000.0, 9999.4, -999.0, 0.0};
    TGridBlock g = MakeGrid(3, 2, [&](int x, int y) { return odd[x * 2 + y]; });
    ASSERT_TRUE(ExportNTF(g, dir.file("a.ntf")).Ok);
    const auto lines = Lines(qxtest::ReadFileText(dir.file("a.ntf")));
    size_t columns = 0;
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string& l = lines[k];
        ASSERT_LE(l.size(), 80u) << k;
        ASSERT_EQ(l.back(), '%') << k;
        if (l.compare(0, 2, "51") == 0)
            ++columns;
        // A record marked as continued must be followed by a continuation record.
        if (l.size() >= 2 && l[l.size() - 2] == '1' && k + 1 < lines.size()) {
            EXPECT_EQ(lines[k + 1].compare(0, 2, "00"), 0) << "unfinished record at line " << k;
        }
        // ... and a continuation record must follow one that is continued.
        if (k > 0 && l.compare(0, 2, "00") == 0) {
            EXPECT_EQ(lines[k - 1][lines[k - 1].size() - 2], '1') << "orphan record at line " << k;
        }
    }
    EXPECT_EQ(columns, 401u);
    EXPECT_EQ(lines.back(), "99End Of Transfer Set0%");

    TImportResult back = ImportNTF(dir.file("a.ntf"), TImportOptions(), TGridBlock());
    ASSERT_TRUE(back.Ok) << back.Error;
    ASSERT_EQ(back.Grid.SizeX, 401);
    const double expect[] = {-5.0, -999.0, 9999.0, 9999.0, -999.0, 0.0};
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 2; ++y)
            EXPECT_EQ(back.Grid.At(x, y), expect[x * 2 + y]) << x << "," << y;
    EXPECT_EQ(back.Grid.At(400, 400), 0.0); // outside the grid
}

namespace {

struct TTer {
    std::map<std::string, std::string> chunks;
    int heightScale = 0, base = 0;
    std::vector<int16_t> raw;
    size_t size = 0;
    bool eof = false;
};

TTer ReadTer(const std::vector<unsigned char>& b, int cells)
{
    TTer t;
    t.size = b.size();
    size_t p = 16;
    auto u16 = [&](size_t at) { return int(int16_t(b[at] | b[at + 1] << 8)); };
    while (p + 4 <= b.size()) {
        std::string id(b.begin() + long(p), b.begin() + long(p) + 4);
        p += 4;
        if (id == "ALTW") {
            t.heightScale = u16(p);
            t.base = u16(p + 2);
            p += 4;
            for (int k = 0; k < cells; ++k, p += 2)
                t.raw.push_back(int16_t(u16(p)));
            if (cells % 2)
                p += 2;
        } else if (id == "EOF ") {
            t.eof = true;
            break;
        } else {
            const size_t len = id == "SCAL" ? 12 : 4;
            t.chunks[id] = std::string(b.begin() + long(p), b.begin() + long(p + len));
            p += len;
        }
    }
    return t;
}

} // namespace

TEST(HeightExport, TerragenHeightsComeOutInMetres)
{
    qxtest::TempDir dir;
    struct Case {
        int cols, rows;
        std::function<double(int, int)> f;
    } cases[] = {
        {5, 3, Pattern},                                             // not square, odd cell count
        {4, 4, [](int, int) { return 250.0; }},                      // flat
        {3, 3, [](int x, int y) { return x == 1 && y == 1 ? NullHeight : -40.0 * x; }}, // null, negatives
    };
    for (const Case& c : cases) {
        TGridBlock g = MakeGrid(c.cols, c.rows, c.f, 25.0);
        ASSERT_TRUE(ExportTerragen(g, dir.file("t.ter")).Ok);
        const auto bytes = qxtest::ReadFileBytes(dir.file("t.ter"));
        ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + 16), "TERRAGENTERRAIN ");
        const TTer t = ReadTer(bytes, c.cols * c.rows);
        EXPECT_TRUE(t.eof);
        EXPECT_EQ(t.chunks.count("XPTS"), c.cols != c.rows ? 1u : 0u);
        ASSERT_EQ(t.chunks.count("SCAL"), 1u);
        float scale;
        std::memcpy(&scale, t.chunks.at("SCAL").data() + 8, 4);
        EXPECT_EQ(scale, 25.0f);
        EXPECT_GE(t.heightScale, 1);
        for (int y = 0; y < c.rows; ++y)
            for (int x = 0; x < c.cols; ++x) {
                const double h = c.f(x, y);
                if (h == NullHeight)
                    continue;
                // Bottom row first.
                const int raw = t.raw[size_t((c.rows - 1 - y) * c.cols + x)];
                const double metres = scale * (t.base + raw * t.heightScale / 65536.0);
                EXPECT_NEAR(metres, h, 0.05) << x << "," << y;
            }
    }
}

TEST(HeightExport, VistaproWritesTheSouthRowFirstAndRoundTrips)
{
    qxtest::TempDir dir;
    auto f = [](int x, int y) { return y == 3 && x == 2 ? NullHeight : double((x * 131 + y * 17) % 3000 - 900); };
    TGridBlock g = MakeGrid(300, 260, f);
    TExportResult r = ExportVistaDEM(g, dir.file("a.dem"));
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_TRUE(r.Warning.empty());
    const auto bytes = qxtest::ReadFileBytes(dir.file("a.dem"));
    std::vector<int16_t> rows;
    std::string error;
    ASSERT_TRUE(vpdem::DecodeDEM(std::vector<uint8_t>(bytes.begin(), bytes.end()), 258, 258, rows, error)) << error;
    EXPECT_EQ(rows[5], f(5, 257)); // the file's first row is the grid's row 257
    EXPECT_EQ(std::string(bytes.begin() + 32, bytes.begin() + 53), "Generated by Quarlex2");
    EXPECT_EQ(bytes[1024 + 4 * 76 + 1], 0xC0);

    TImportResult back = ImportVistaDEM(dir.file("a.dem"));
    ASSERT_TRUE(back.Ok) << back.Error;
    for (int x = 0; x < 258; ++x)
        for (int y = 0; y < 258; ++y)
            ASSERT_EQ(back.Grid.At(x, y), f(x, y)) << x << "," << y;

    g.SpacingX = 25;
    EXPECT_EQ(ExportVistaDEM(g, dir.file("b.dem")).Warning, kMsgNotVistaCompatible);
}

TEST(HeightExport, FailuresLeaveTheTargetAsItWas)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("keep.dem"), "old");
    TGridBlock g = MakeGrid(4, 4, [](int x, int) { return x == 3 ? 40000.0 : 1.0; });
    TExportResult r = ExportVistaDEM(g, dir.file("keep.dem"));
    EXPECT_FALSE(r.Ok);
    EXPECT_FALSE(r.Error.empty());
    EXPECT_EQ(qxtest::ReadFileText(dir.file("keep.dem")), "old");

    const std::string nowhere = dir.file("missing/sub/a.txt");
    for (TExportFormat f : {TExportFormat::Text, TExportFormat::DXF, TExportFormat::BMP, TExportFormat::XYZ,
                            TExportFormat::PGM, TExportFormat::NTF, TExportFormat::Terragen}) {
        TExportResult e = ExportHeightData(f, MakeGrid(2, 2, Pattern), nowhere);
        EXPECT_FALSE(e.Ok) << int(f);
        EXPECT_EQ(e.Error, kMsgErrorWriting) << int(f);
    }
}

TEST(HeightExport, EveryFormatReachesTheDiskBeforeReplacingTheTarget)
{
    const TGridBlock grid = MakeGrid(9, 7, Pattern);
    const TExportFormat formats[] = {TExportFormat::Text, TExportFormat::DXF,      TExportFormat::BMP,
                                     TExportFormat::XYZ,  TExportFormat::PGM,      TExportFormat::NTF,
                                     TExportFormat::Terragen, TExportFormat::Vistapro};
    for (TExportFormat f : formats) {
        qxtest::TempDir dir;
        const std::string target = dir.file("target");
        qxtest::WriteFileText(target, "old");
        qxtest::TFileSyncRecorder syncs(target);
        const TExportResult r = ExportHeightData(f, grid, target);
        ASSERT_TRUE(r.Ok) << int(f) << r.Error;
        const std::string written = qxtest::ReadFileText(target);
        ASSERT_FALSE(syncs.Syncs().empty()) << int(f);
        const qxtest::TFileSync& folder = syncs.Syncs().back();
        ASSERT_GE(syncs.Syncs().size(), 2u) << int(f);
        const qxtest::TFileSync& file = syncs.Syncs()[syncs.Syncs().size() - 2];
        EXPECT_FALSE(file.Folder) << int(f);
        EXPECT_EQ(file.TargetHeld, "old") << int(f);
        EXPECT_TRUE(folder.Folder) << int(f);
        EXPECT_EQ(folder.TargetHeld, written) << int(f);
    }
}
