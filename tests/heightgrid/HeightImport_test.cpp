#include "heightgrid/data/HeightExport.h"
#include "heightgrid/data/HeightImport.h"

#include "heightgrid/HeightDataFixture.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

namespace {

TGridBlock Current(int cols = 3, int rows = 2)
{
    return MakeGrid(cols, rows, [](int, int) { return 5.0; });
}

std::string XYZHeader(const std::string& fields = "0,0,60,30,30,30")
{
    return "m," + fields + ",noattr\r\nfree text\r\n0\r\n";
}

} // namespace

TEST(TextImport, FillsRowsFromTheTopAndStopsWhenFull)
{
    struct Case {
        const char* text;
        std::vector<double> cells; // row order
        bool rangeSet;
        double maxH, minH;
    } cases[] = {
        {"1 2\t3\r\n4 5 6 7 8", {1, 2, 3, 4, 5, 6}, true, 6, 1},              // extras ignored
        {"10 -2e1", {10, -20, NullHeight, NullHeight, NullHeight, NullHeight}, true, 10, -20},
        {"-5000 3,5", {NullHeight, 3.5, NullHeight, NullHeight, NullHeight, NullHeight}, true, 3.5, -1000},
        {"", {NullHeight, NullHeight, NullHeight, NullHeight, NullHeight, NullHeight}, false, 0, 0},
    };
    for (const Case& c : cases) {
        TImportResult r = ImportTextData(c.text, Current());
        ASSERT_TRUE(r.Ok) << c.text;
        EXPECT_FALSE(r.Grid.MakeNewGrid);
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(r.Grid.At(k % 3, k / 3), c.cells[size_t(k)]) << c.text << " cell " << k;
        EXPECT_EQ(r.Grid.RangeSet, c.rangeSet) << c.text;
        if (c.rangeSet) {
            EXPECT_EQ(r.Grid.MaxHeight, c.maxH) << c.text;
            EXPECT_EQ(r.Grid.MinHeight, c.minH) << c.text;
        }
    }
    TImportResult bad = ImportTextData("1 2 x3 4", Current());
    EXPECT_FALSE(bad.Ok);
    EXPECT_NE(bad.Error.find(kMsgInvalidText), std::string::npos);
}

TEST(PGMImport, PlainHeadersWithCommentsAndUnscaledSamples)
{
    const char* good[] = {
        "P2\n2 2\n255\n200 0\n-3000 7\n",
        "P2 2 2 255 200 0 -3000 7",
        "P2\n# made by hand\n2 # width\n2\n255\n200 0 -3000 7",
    };
    for (const char* text : good) {
        TImportResult r = ImportPGMData(text, TPGMImportOptions());
        ASSERT_TRUE(r.Ok) << text;
        EXPECT_EQ(r.Grid.SizeX, 2);
        EXPECT_EQ(r.Grid.SpacingX, 30.0);
        EXPECT_EQ(r.Grid.At(0, 0), 200.0);
        EXPECT_EQ(r.Grid.At(0, 1), -1000.0);
        EXPECT_EQ(r.Grid.MaxHeight, 200.0);
        EXPECT_EQ(r.Grid.MinHeight, -1000.0);
    }
    const char* bad[] = {
        "P5\n2 2\n255\n....",
        "P2\n2 2\n255\n1 2 3",          // a sample missing
        "P2\n2 2\n255\n1 2 x 4",
        "P2\n0 5\n255\n",
        "P2\n100000 100000\n255\n1 2",   // more samples than the file could hold
        "P2\n3000 3000\n255\n1 2",
        "P22\n1 1\n1\n0",
    };
    for (const char* text : bad) {
        TImportResult r = ImportPGMData(text, TPGMImportOptions());
        EXPECT_FALSE(r.Ok) << text;
        EXPECT_EQ(r.Error, kMsgInvalidMapSize) << text;
    }
}

TEST(BMPImport, ChannelOrderAndHeightOfBlack)
{
    QImage img(4, 1, QImage::Format_RGB888);
    img.setPixel(0, 0, qRgb(255, 255, 255));
    img.setPixel(1, 0, qRgb(0, 0, 0));
    img.setPixel(2, 0, qRgb(0, 0, 255));
    img.setPixel(3, 0, qRgb(128, 0, 0));
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    ASSERT_TRUE(img.save(&buf, "BMP"));
    const std::string data(bytes.constData(), size_t(bytes.size()));
    struct Case {
        TChannelOrder order;
        double blue, red;
    } cases[] = {
        {TChannelOrder::RGB, 1000, 500},  // blue is the low byte, red the high one
        {TChannelOrder::BGR, 4, 1000},    // blue high: 1000 - Round(1000 x 255 x 65536 / 16777215)
        {TChannelOrder::None, 1000, 1000},
    };
    for (const Case& c : cases) {
        TBMPImportOptions o;
        o.Order = c.order;
        TImportResult r = ImportBMPData(data, o);
        ASSERT_TRUE(r.Ok);
        EXPECT_EQ(r.Grid.SpacingX, 0.1);
        if (c.order != TChannelOrder::None) {
            EXPECT_EQ(r.Grid.At(0, 0), 0.0);
        }
        EXPECT_EQ(r.Grid.At(1, 0), 1000.0);
        EXPECT_EQ(r.Grid.At(2, 0), c.blue) << int(c.order);
        EXPECT_EQ(r.Grid.At(3, 0), c.red) << int(c.order);
    }
    EXPECT_FALSE(ImportBMPData("not a picture", TBMPImportOptions()).Ok);
}

TEST(XYZImport, HeaderPlacementUnitsAndNullPoints)
{
    // 3 x 2 grid spacing 30; Y grows northwards (Y 0 is the bottom row).
    const std::string points = "0,0,1\r\n30,0,2\r\n60,30,3\r\n30,30,-1001.0\r\n";
    TImportResult r = ImportXYZData(XYZHeader() + points, TImportOptions(), Current());
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_TRUE(r.Grid.MakeNewGrid);
    ASSERT_EQ(r.Grid.SizeX, 3);
    ASSERT_EQ(r.Grid.SizeY, 2);
    EXPECT_EQ(r.Grid.At(0, 1), 1.0);
    EXPECT_EQ(r.Grid.At(1, 1), 2.0);
    EXPECT_EQ(r.Grid.At(2, 0), 3.0);
    EXPECT_EQ(r.Grid.At(1, 0), NullHeight); // skipped point keeps the default
    EXPECT_EQ(r.Grid.MaxHeight, 3.0);
    EXPECT_EQ(r.Grid.MinHeight, 1.0);

    TImportResult u = ImportXYZData("u" + XYZHeader().substr(1) + points, TImportOptions(), Current());
    ASSERT_TRUE(u.Ok);
    EXPECT_EQ(u.Grid.At(2, 0), 30.0);

    // Fractional header reals are kept: spacing 2.5 makes 5 columns over 10.
    TImportResult frac = ImportXYZData(XYZHeader("0,0,10,5,2.5,2.5") + "10,5,9\r\n", TImportOptions(), Current());
    ASSERT_TRUE(frac.Ok) << frac.Error;
    EXPECT_EQ(frac.Grid.SizeX, 5);
    EXPECT_EQ(frac.Grid.SpacingX, 2.5);
    EXPECT_EQ(frac.Grid.At(4, 0), 9.0);

    // Load mode: into the current grid, at an origin, default height instead of null.
    TImportOptions load;
    load.AutoSize = false;
    load.UseNull = false;
    load.DefaultHeight = 7;
    load.XOrigin = 1;
    TImportResult l = ImportXYZData(XYZHeader() + "0,0,1\r\n60,0,9\r\n", load, Current());
    ASSERT_TRUE(l.Ok);
    EXPECT_FALSE(l.Grid.MakeNewGrid);
    EXPECT_EQ(l.Grid.At(1, 1), 1.0);
    EXPECT_EQ(l.Grid.At(0, 1), 7.0);
    EXPECT_EQ(l.Grid.At(0, 0), 7.0);
}

TEST(XYZImport, BadFilesAreRefusedWithTheirMessage)
{
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"x,0,0,60,30,30,30,noattr\r\n\r\n0\r\n", kMsgInvalidXYZ},                   // unit
        {"m,0,0,60,30,30,noattr\r\n\r\n0\r\n", kMsgInvalidXYZ},                      // five numbers
        {"m,0,0,60,30,0,30,noattr\r\n\r\n0\r\n", kMsgInvalidXYZ},                    // zero DX
        {"m,0,zero,60,30,30,30,noattr\r\n\r\n0\r\n", kMsgInvalidXYZ},
        {"m,0,0,60,30,30,30,noattr\r\n\r\nnone\r\n", kMsgInvalidXYZ},               // line count
        {"m,0,0,60,30,30,30,noattr\r\n\r\n2\r\n1,a\r\n", kMsgInvalidXYZ},           // attribute lines run out
        {"m,0,0,60,30,30,30,noattr\r\n\r\n0\r\n1,2\r\n", kMsgInvalidXYZ},           // two values
        {"m,0,0,60,30,30,30,noattr\r\n\r\n0\r\n1,2,high\r\n", kMsgInvalidXYZ},
        {"m,0,0,1e9,1e9,1,1,noattr\r\n\r\n0\r\n", kMsgInvalidMapSize},              // grid too large
        {"m,0,0,-60,30,30,30,noattr\r\n\r\n0\r\n", kMsgInvalidMapSize},
    };
    for (const auto& c : cases) {
        TImportResult r = ImportXYZData(c.text, TImportOptions(), Current());
        EXPECT_FALSE(r.Ok) << c.text;
        EXPECT_EQ(r.Error, c.message) << c.text;
    }
}

TEST(Import, NegativeOriginsDropWhatFallsOffTheGrid)
{
    // Guard cells around the grid: nothing outside the grid's own cells may be written.
    TImportOptions o;
    o.AutoSize = false;
    o.Overwrite = false;
    o.XOrigin = -1;
    o.YOrigin = -2;
    TGridBlock current = MakeGrid(3, 2, [](int, int) { return 5.0; });
    TImportResult x = ImportXYZData(XYZHeader() + "0,0,1\r\n30,0,2\r\n60,30,3\r\n", o, current);
    ASSERT_TRUE(x.Ok);
    // Only (60, 30): c = 2 -> x = 1; r = 1 -> y = 2 - 1 - 1 + 2 = 2, off the bottom: dropped.
    for (int cx = 0; cx < 3; ++cx)
        for (int cy = 0; cy < 2; ++cy)
            EXPECT_EQ(x.Grid.At(cx, cy), 5.0) << cx << "," << cy;

    qxtest::TempDir dir;
    ASSERT_TRUE(ExportNTF(MakeGrid(4, 4, Pattern), dir.file("a.ntf")).Ok);
    o.XOrigin = 0;
    TImportResult n = ImportNTF(dir.file("a.ntf"), o, current);
    ASSERT_TRUE(n.Ok) << n.Error;
    EXPECT_FALSE(n.Grid.RangeSet); // every value fell below the bottom edge
    EXPECT_EQ(n.Grid.At(2, 1), 5.0);
}

TEST(XYZImport, ReadsOurExportBack)
{
    qxtest::TempDir dir;
    TGridBlock g = MakeGrid(9, 5, [](int x, int y) { return x == 4 && y == 2 ? NullHeight : Pattern(x, y) + 0.25; }, 12.5);
    ASSERT_TRUE(ExportXYZ(g, dir.file("a.xyz")).Ok);
    TImportResult r = ImportXYZ(dir.file("a.xyz"), TImportOptions(), TGridBlock());
    ASSERT_TRUE(r.Ok) << r.Error;
    ASSERT_EQ(r.Grid.SizeX, 9);
    ASSERT_EQ(r.Grid.SizeY, 5);
    EXPECT_EQ(r.Grid.SpacingY, 12.5);
    for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(r.Grid.At(x, y), g.Cells[x][y].Height) << x << "," << y;
}

TEST(NTFImport, SamplingAndEndOfFile)
{
    qxtest::TempDir dir;
    TGridBlock g = MakeGrid(401, 401, Pattern);
    ASSERT_TRUE(ExportNTF(g, dir.file("a.ntf")).Ok);
    TImportOptions o;
    o.Sample = 2;
    TImportResult r = ImportNTF(dir.file("a.ntf"), o, TGridBlock());
    ASSERT_TRUE(r.Ok) << r.Error;
    ASSERT_EQ(r.Grid.SizeX, 201);
    ASSERT_EQ(r.Grid.SizeY, 201);
    EXPECT_EQ(r.Grid.SpacingX, 100.0);
    for (int x : {0, 1, 100, 200})
        for (int y : {0, 3, 200})
            EXPECT_EQ(r.Grid.At(x, y), Pattern(2 * x, 2 * y)) << x << "," << y;

    // A file cut inside profile 3 keeps the two whole profiles and stops there.
    std::string text = qxtest::ReadFileText(dir.file("a.ntf"));
    size_t cut = 0;
    for (int k = 0; k < 3; ++k)
        cut = text.find("\r\n51", cut + 1);
    text.resize(text.find("\r\n", cut + 200) + 2);
    TImportResult part = ImportNTFData(text, TImportOptions(), TGridBlock());
    ASSERT_TRUE(part.Ok);
    EXPECT_EQ(part.Grid.At(1, 400), Pattern(1, 400));
    EXPECT_EQ(part.Grid.At(5, 400), 0.0); // the default height: not reached

    EXPECT_FALSE(ImportNTFData("no grid here\r\n", TImportOptions(), TGridBlock()).Ok);
    // A damaged height field is reported, not read as a number.
    std::string damaged = qxtest::ReadFileText(dir.file("a.ntf"));
    const size_t data = damaged.find("00000004011%\r\n") + 14;
    damaged[data + 3] = 'x';
    TImportResult d = ImportNTFData(damaged, TImportOptions(), TGridBlock());
    EXPECT_FALSE(d.Ok);
    EXPECT_NE(d.Error.find(kMsgInvalidNTF), std::string::npos);
}

TEST(VistaImport, RefusesWhatIsNotAVistaproDEM)
{
    for (const std::string& text : {std::string(), std::string(3000, 'x'), std::string("Vista DEM File") + std::string(2034, '\0')}) {
        TImportResult r = ImportVistaDEMData(text);
        EXPECT_FALSE(r.Ok);
        EXPECT_NE(r.Error.find(kMsgInvalidVista), std::string::npos);
    }
}
