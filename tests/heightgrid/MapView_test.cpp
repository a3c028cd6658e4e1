#include "heightgrid/MapDrawing.h"
#include "heightgrid/MapParameters.h"
#include "heightgrid/MapView.h"
#include "project/Project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(MapView, ZoomFactorsFollowFibonacci)
{
    const struct { int level; double factor; } cases[] = {
        {0, 1}, {1, 2}, {2, 3}, {3, 5}, {4, 8}, {5, 13}, {-1, 1.0 / 2}, {-2, 1.0 / 3}, {-4, 1.0 / 8},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ZoomFactor(c.level), c.factor) << c.level;
}

TEST(MapView, ZoomIsBoundedOnBothSides)
{
    QSize size;
    ASSERT_TRUE(MapBufferSize(0, 258, 258, size));
    EXPECT_EQ(size, QSize(258, 258));
    ASSERT_TRUE(MapBufferSize(-2, 258, 100, size));
    EXPECT_EQ(size, QSize(86, 33));
    // Far out, a side would vanish; far in, the buffer would blow the pixel budget.
    EXPECT_FALSE(MapBufferSize(-12, 258, 258, size));
    EXPECT_FALSE(MapBufferSize(10, 258, 258, size));
    EXPECT_FALSE(MapBufferSize(std::numeric_limits<int32_t>::min(), 258, 258, size));
    EXPECT_FALSE(MapBufferSize(0, 0, 258, size));
    // The usable level walks back towards 0 until the buffer can be made.
    const int32_t in = UsableZoomLevel(40, 258, 258);
    EXPECT_GT(in, 0);
    EXPECT_TRUE(MapBufferSize(in, 258, 258, size));
    EXPECT_FALSE(MapBufferSize(in + 1, 258, 258, size));
    const int32_t out = UsableZoomLevel(-40, 258, 258);
    EXPECT_LT(out, 0);
    EXPECT_TRUE(MapBufferSize(out, 258, 258, size));
    EXPECT_FALSE(MapBufferSize(out - 1, 258, 258, size));
    EXPECT_EQ(UsableZoomLevel(3, 0, 0), 0);
}

TEST(MapView, FitScaleUsesTheTighterSide)
{
    const struct { int w, h, cols, rows; double scale; } cases[] = {
        {258, 258, 258, 258, 258 / 257.5}, // square: from the height
        {400, 100, 40, 20, 100 / 19.5},    // wide buffer: rows decide
        {100, 400, 20, 40, 100 / 19.5},    // tall buffer: columns decide
        {30, 25, 30, 25, 30 / 29.5},       // same ratio, more columns: columns decide
        {10, 10, 0, 0, 1.0},               // no grid
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(FitScale(c.w, c.h, c.cols, c.rows), c.scale) << c.w << "x" << c.h;
    // The last cell's centre lies on the buffer, and the last pixel maps back to it.
    for (int cols : {21, 30, 258, 401}) {
        const int rows = 25;
        const double scale = FitScale(cols, rows, cols, rows);
        int32_t x = 0, y = 0, c = 0, r = 0;
        CellToScreen(cols - 1, rows - 1, scale, x, y);
        EXPECT_LT(x, cols);
        EXPECT_LT(y, rows);
        ScreenToCell(cols - 1, rows - 1, scale, cols, rows, c, r);
        EXPECT_EQ(c, cols - 1);
        EXPECT_EQ(r, rows - 1);
    }
}

TEST(MapView, ScreenToCellRoundsToNearestAndClamps)
{
    const struct { double x, y, scale; int col, row; } cases[] = {
        {0, 0, 10, 0, 0},     {4.9, 5.0, 10, 0, 1}, {14.9, 15, 10, 1, 2},
        {-30, -1, 10, 0, 0},  {1e9, 95, 10, 9, 9},   {std::nan(""), 20, 10, 0, 2},
    };
    for (const auto& c : cases) {
        int32_t col = -1, row = -1;
        ScreenToCell(c.x, c.y, c.scale, 10, 10, col, row);
        EXPECT_EQ(col, c.col) << c.x;
        EXPECT_EQ(row, c.row) << c.y;
    }
    int32_t x = 0, y = 0;
    CellToScreen(3, 5, 2.5, x, y);
    EXPECT_EQ(x, 8); // 7.5 rounds to even
    EXPECT_EQ(y, 12); // 12.5 rounds to even
}

TEST(MapView, GreenRamp)
{
    const struct { double h, min, max; QRgb colour; } cases[] = {
        {0, 0, 100, qRgb(51, 76, 51)},    // 0.2, 0.3, 0.2
        {100, 0, 100, qRgb(76, 255, 76)}, // 0.3, 1.0, 0.3
        {1e6, 0, 100, qRgb(204, 255, 204)}, // clamped at 0.8, 1.0, 0.8
        {-1e6, 0, 100, qRgb(0, 0, 0)},    // clamped at 0
        {500, 50, 50, qRgb(62, 156, 62)}, // flat range: 1000.0 is the range, t = 0.45
        {std::nan(""), 0, 100, qRgb(0, 0, 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GreenRampColor(c.h, c.min, c.max), c.colour) << c.h;
}

TEST(MapView, RgbRamp)
{
    const struct { double h, min, max; QRgb colour; } cases[] = {
        {0, 0, 100, qRgb(0, 0, 255)},     // low: blue
        {50, 0, 100, qRgb(180, 255, 180)}, // middle: green with the two halves
        {100, 0, 100, qRgb(255, 0, 0)},   // high: red (sin(pi) is a hair above 0)
        {300, 0, 100, qRgb(255, 0, 0)},   // clamped
        {70, 70, 70, qRgb(0, 0, 255)},    // flat range: the low end, no division by zero
        {90, 70, 70, qRgb(0, 0, 255)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RgbRampColor(c.h, c.min, c.max), c.colour) << c.h;
}

TEST(MapView, SquareSizes)
{
    const struct { double scale; int half1, half2; } cases[] = {
        {1.0, 1, 2}, {6.0, 1, 2}, {9.0, 2, 2}, {17.9, 3, 3}, {30.0, 5, 6},
    };
    for (const auto& c : cases) {
        int32_t h1 = 0, h2 = 0;
        CellSquareHalves(c.scale, h1, h2);
        EXPECT_EQ(h1, c.half1) << c.scale;
        EXPECT_EQ(h2, c.half2) << c.scale;
    }
    int32_t h1 = 0, h2 = 0;
    FloodMarkHalves(5.5, h1, h2);
    EXPECT_EQ(h1, 2);
    EXPECT_EQ(h2, 4);
}

// A small grid drawn at scale 10: squares, the 0.0 mark, a null hole and a flood mark.
class MapDrawingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(project.NewGrid(4, 3, 10.0, 10.0));
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 3; ++r)
                project.Grid.Cells[c][r].Height = 50.0;
        project.Grid.MinHeight = 0;
        project.Grid.MaxHeight = 100;
        buffer = QImage(40, 30, QImage::Format_RGB32);
        buffer.fill(Qt::black);
        options.Scale = 10.0;
    }
    TProject project;
    QImage buffer;
    TMapDrawOptions options;
    TMapDrawState state;
};

TEST_F(MapDrawingTest, CellsAsSquaresMarksAndHoles)
{
    project.Grid.Cells[1][1].Height = 0.0;
    project.Grid.Cells[2][1].Height = NullHeight;
    project.Grid.Cells[3][2].Flooded = 1;
    ASSERT_TRUE(DrawMapArea(buffer, project.Grid, QImage(), options, state, true, {}));
    const QRgb green = GreenRampColor(50, 0, 100);
    // Square of side 4 (10 div 3 + 1) around (10, 0): x 8..11.
    EXPECT_EQ(buffer.pixel(10, 0), green);
    EXPECT_EQ(buffer.pixel(8, 1), green);
    EXPECT_EQ(buffer.pixel(12, 1), qRgb(255, 255, 255));
    // Height 0.0: a 2-pixel mark at (9..10, 9..10) whatever the scale.
    EXPECT_EQ(buffer.pixel(9, 9), GreenRampColor(0, 0, 100));
    EXPECT_EQ(buffer.pixel(10, 10), GreenRampColor(0, 0, 100));
    EXPECT_EQ(buffer.pixel(11, 10), qRgb(255, 255, 255));
    // The null cell leaves the ground white.
    EXPECT_EQ(buffer.pixel(20, 10), qRgb(255, 255, 255));
    // The flood mark covers the whole cell pitch around (30, 20).
    EXPECT_EQ(buffer.pixel(26, 16), qRgb(0, 0, 255));
    EXPECT_EQ(buffer.pixel(34, 24), qRgb(0, 0, 255));
    EXPECT_EQ(buffer.pixel(24, 20), qRgb(255, 255, 255)); // ends at the half pitch
    EXPECT_EQ(buffer.pixel(21, 21), GreenRampColor(50, 0, 100)); // the neighbour's square is left
}

TEST_F(MapDrawingTest, PartialRedrawTouchesOnlyTheCellAndReportsProgress)
{
    ASSERT_TRUE(DrawMapArea(buffer, project.Grid, QImage(), options, state, true, {}));
    project.Grid.Cells[1][1].Height = 100.0;
    project.Grid.Cells[0][0].Height = 100.0; // changed but not redrawn
    std::vector<int> reports;
    ASSERT_TRUE(DrawMapArea(buffer, project.Grid, QImage(), options, state, false, {1, 1, 1, 1}, [&](int p) {
        reports.push_back(p);
        return true;
    }));
    EXPECT_EQ(buffer.pixel(10, 10), GreenRampColor(100, 0, 100));
    EXPECT_EQ(buffer.pixel(0, 0), GreenRampColor(50, 0, 100));
    EXPECT_EQ(reports, (std::vector<int>{0, -1}));
}

TEST_F(MapDrawingTest, BackgroundShowsUnderNullCellsAndProgressCanStop)
{
    project.Grid.Cells[0][0].Height = NullHeight;
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(qRgb(200, 10, 10));
    ASSERT_TRUE(DrawMapArea(buffer, project.Grid, picture, options, state, true, {}));
    EXPECT_EQ(buffer.pixel(0, 0), qRgb(200, 10, 10));
    EXPECT_EQ(buffer.pixel(5, 5), qRgb(200, 10, 10)); // between squares
    EXPECT_EQ(buffer.pixel(10, 10), GreenRampColor(50, 0, 100));
    int calls = 0;
    EXPECT_FALSE(DrawMapArea(buffer, project.Grid, picture, options, state, true, {}, [&](int) { return ++calls < 2; }));
}

TEST_F(MapDrawingTest, LargeScaleWritesHeightsAsNumbers)
{
    buffer = QImage(100, 80, QImage::Format_RGB32);
    options.Scale = 20.0; // squares would be 7 pixels wide here
    project.Grid.Cells[2][2].Height = 0.0;
    ASSERT_TRUE(DrawMapArea(buffer, project.Grid, QImage(), options, state, true, {}));
    // The number sits right and below the cell centre's top-left offset; its box holds both the
    // ramp colour (the glyphs) and white (around them), which a filled square never would.
    const QRgb green = GreenRampColor(50, 0, 100);
    int inks = 0, whites = 0;
    for (int x = 20 - state.Half1; x < 20 - state.Half1 + 16; ++x)
        for (int y = 20 - state.Half1; y < 20 - state.Half1 + 8; ++y) {
            inks += buffer.pixel(x, y) == green;
            whites += buffer.pixel(x, y) == qRgb(255, 255, 255);
        }
    EXPECT_GT(inks, 0);
    EXPECT_GT(whites, 0);
    // Height 0.0 keeps its 2-pixel mark at any scale.
    EXPECT_EQ(buffer.pixel(39, 39), GreenRampColor(0, 0, 100));
    EXPECT_EQ(buffer.pixel(40, 40), GreenRampColor(0, 0, 100));
    EXPECT_EQ(buffer.pixel(41, 41), qRgb(255, 255, 255));
}

TEST(MapParameters, SizeTextLimitsAndGeoreference)
{
    EXPECT_EQ(DisplayMapSize(30.0, 30.0, 258, 258), "7.7km x 7.7km");
    EXPECT_EQ(DisplayMapSize(50.0, 100.0, 401, 21), "20.0km x 2.0km");
    const struct { int cols, rows; const char* error; } cases[] = {
        {19, 21, kTooFewPoints}, {20, 20, nullptr}, {20, 21, nullptr}, {2001, 2001, nullptr},
        {2001, 2002, kTooManyPoints}, {99999, 99999, kTooManyPoints}, {-30, -30, kTooFewPoints},
    };
    for (const auto& c : cases) {
        try {
            CheckMapPoints(c.cols, c.rows);
            EXPECT_EQ(c.error, nullptr) << c.cols << "x" << c.rows;
        } catch (const EInvalidData& e) {
            ASSERT_NE(c.error, nullptr) << c.cols << "x" << c.rows;
            EXPECT_STREQ(e.what(), c.error);
        }
    }
    // Right spans the columns, bottom the rows, both between first and last point.
    const TGeoreference g = DefaultGeoreference(30.0, 10.0, 258, 101);
    EXPECT_EQ(g.Left, 0.0);
    EXPECT_EQ(g.Top, 0.0);
    EXPECT_EQ(g.Right, 7710.0);
    EXPECT_EQ(g.Bottom, 1000.0);
}

} // namespace
