#include "heightgrid/Contour.h"
#include "heightgrid/HeightTools.h"
#include "project/Project.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace {

using TCells = std::vector<TCellPoint>;

TEST(ContourTest, SegmentCellsStepAlongTheLongerAxis)
{
    const struct {
        TCellPoint from, to;
        TCells cells;
    } cases[] = {
        // Offsets Round(2 i / 4) = 0, 0 (0.5 to even), 1, 2 (1.5 to even), 2.
        {{0, 0}, {4, 2}, {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 2}}},
        {{4, 2}, {0, 0}, {{4, 2}, {3, 2}, {2, 1}, {1, 0}, {0, 0}}},
        {{0, 0}, {2, 4}, {{0, 0}, {0, 1}, {1, 2}, {2, 3}, {2, 4}}},
        {{5, 1}, {2, 1}, {{5, 1}, {4, 1}, {3, 1}, {2, 1}}},
        {{3, 3}, {3, 3}, {{3, 3}}},
        {{0, 3}, {3, 0}, {{0, 3}, {1, 2}, {2, 1}, {3, 0}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SegmentCells(c.from, c.to), c.cells) << c.from.Column << "," << c.from.Row;
}

TEST(ContourTest, PathVisitsEachJointOnce)
{
    EXPECT_EQ(ContourPath({}), TCells{});
    EXPECT_EQ(ContourPath({{2, 2}}), (TCells{{2, 2}}));
    EXPECT_EQ(ContourPath({{0, 0}, {2, 0}, {2, 2}}), (TCells{{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}}));
    // A repeated point adds nothing.
    EXPECT_EQ(ContourPath({{1, 1}, {1, 1}, {2, 1}}), (TCells{{1, 1}, {2, 1}}));
}

// A 10 x 8 grid with heights 10 c + r, and the tools that edit it.
class WriteContourTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = new TProject;
        ASSERT_TRUE(project->NewGrid(10, 8, 10.0, 10.0));
        for (int c = 0; c < 10; ++c)
            for (int r = 0; r < 8; ++r)
                h(c, r) = 10.0 * c + r;
        project->Grid.MinHeight = 0;
        project->Grid.MaxHeight = 97;
        tools.SetProject(&project);
        tools.SetNotify([this](uint32_t m) { messages.push_back(m); });
    }
    void TearDown() override { delete project; }
    double& h(int c, int r) { return project->Grid.Cells[c][r].Height; }
    std::set<std::pair<int, int>> cellsAt(double height)
    {
        std::set<std::pair<int, int>> s;
        for (int c = 0; c < 10; ++c)
            for (int r = 0; r < 8; ++r)
                if (h(c, r) == height)
                    s.insert({c, r});
        return s;
    }

    TProject* project = nullptr;
    THeightTools tools;
    std::vector<uint32_t> messages;
};

TEST_F(WriteContourTest, EveryNthCellOfThePath)
{
    using TSet = std::set<std::pair<int, int>>;
    const struct {
        const char* name;
        TCells points;
        int32_t density;
        double preset; // a height put into cell (1, 2) first, or 0
        TSet set;
    } cases[] = {
        {"row, density 1", {{0, 2}, {5, 2}}, 1, 0, {{0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}}},
        {"row, density 3", {{0, 2}, {5, 2}}, 3, 0, {{2, 2}, {5, 2}}},
        {"corner counted once", {{0, 0}, {2, 0}, {2, 2}}, 2, 0, {{1, 0}, {2, 1}}},
        // A cell already at the height is neither set nor counted.
        {"cell at height skipped", {{0, 2}, {5, 2}}, 2, 500, {{2, 2}, {4, 2}}},
        {"density 0 acts as 1", {{7, 7}, {9, 7}}, 0, 0, {{7, 7}, {8, 7}, {9, 7}}},
        {"off the grid passed over", {{8, 5}, {11, 5}}, 1, 0, {{8, 5}, {9, 5}}},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        if (c.preset)
            h(1, 2) = c.preset;
        int32_t changed = -1;
        const TCellRect box = WriteContour(tools, project->Grid, c.points, 500.0, c.density, &changed);
        TSet expected = c.set;
        if (c.preset)
            expected.insert({1, 2});
        EXPECT_EQ(cellsAt(500.0), expected) << c.name;
        EXPECT_EQ(changed, int32_t(c.set.size())) << c.name;
        EXPECT_EQ(tools.UndoList().size(), c.set.size()) << c.name;
        EXPECT_EQ(project->Grid.MaxHeight, 500.0) << c.name;
        EXPECT_GE(box.Left, 0);
        EXPECT_LE(box.Right, 9) << c.name;
        // Undo restores every cell the path changed.
        ASSERT_TRUE(tools.UndoLast());
        for (const auto& [col, row] : c.set)
            EXPECT_EQ(h(col, row), 10.0 * col + row) << c.name;
    }
}

TEST_F(WriteContourTest, OneEditAndAnUnchangedPathKeepsTheLastUndo)
{
    WriteContour(tools, project->Grid, {{0, 1}, {3, 1}}, 44.0, 1);
    EXPECT_EQ(messages, (std::vector<uint32_t>{2025})); // one notification for the whole path
    EXPECT_EQ(tools.UndoList().size(), 4u);
    // The same path again changes nothing: the undo of the first stays usable.
    int32_t changed = -1;
    WriteContour(tools, project->Grid, {{0, 1}, {3, 1}}, 44.0, 1, &changed);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(tools.UndoList().size(), 4u);
    ASSERT_TRUE(tools.UndoLast());
    EXPECT_EQ(h(0, 1), 1.0);
    EXPECT_EQ(h(3, 1), 31.0);
}

// A white picture with shapes drawn in; the cell of a pixel is the pixel itself.
class TraceTest : public ::testing::Test {
protected:
    QImage picture{40, 30, QImage::Format_RGB32};
    void SetUp() override { picture.fill(Qt::white); }
    TCells trace(QPoint start, int tolerance, std::vector<QPoint>* visited = nullptr)
    {
        return TraceColour(
            picture, start, tolerance, [](int x, int y) { return TCellPoint{x, y}; },
            [visited](int x, int y) {
                if (visited)
                    visited->emplace_back(x, y);
            });
    }
    static std::set<std::pair<int, int>> asSet(const TCells& cells)
    {
        std::set<std::pair<int, int>> s;
        for (const TCellPoint& c : cells)
            s.insert({c.Column, c.Row});
        return s;
    }
};

TEST_F(TraceTest, FollowsAClosedOutlineOnceAndEnds)
{
    const QRgb blue = qRgb(0, 0, 200);
    QPainter p(&picture);
    p.setPen(QColor(blue));
    p.drawRect(5, 5, 10, 8); // outline 11 x 9 pixels
    p.end();
    std::vector<QPoint> visited;
    const TCells cells = trace({10, 5}, 0, &visited);
    EXPECT_EQ(cells.size(), size_t(2 * 11 + 2 * 7)); // every outline pixel, each once
    EXPECT_EQ(asSet(cells).size(), cells.size());
    EXPECT_EQ(visited.size(), cells.size());
    for (const TCellPoint& c : cells)
        EXPECT_EQ(picture.pixel(c.Column, c.Row), blue);
    EXPECT_EQ(cells.front(), (TCellPoint{10, 5}));
}

TEST_F(TraceTest, ToleranceDecidesWhichColoursJoin)
{
    picture.setPixel(10, 10, qRgb(0, 0, 200));
    picture.setPixel(11, 10, qRgb(0, 0, 200));
    picture.setPixel(12, 10, qRgb(0, 30, 170)); // 30 away in two components
    picture.setPixel(13, 10, qRgb(0, 0, 200));
    const struct {
        int tolerance;
        size_t cells;
    } cases[] = {{0, 2}, {29, 2}, {30, 4}, {100, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(trace({10, 10}, c.tolerance).size(), c.cells) << c.tolerance;
}

TEST_F(TraceTest, EdgeCasesEnd)
{
    // White start, start outside the picture, and an empty picture give nothing.
    EXPECT_TRUE(trace({3, 3}, 50).empty());
    picture.setPixel(0, 0, qRgb(90, 10, 10));
    EXPECT_TRUE(trace({40, 0}, 50).empty());
    EXPECT_TRUE(trace({-1, 0}, 50).empty());
    EXPECT_TRUE(TraceColour(QImage(), {0, 0}, 50, [](int, int) { return TCellPoint{}; }).empty());
    // A one-pixel region in the corner, where the left and up neighbours are the pixel itself.
    EXPECT_EQ(trace({0, 0}, 50), (TCells{{0, 0}}));
    // A tolerance that lets white match: the walk still ends, with only the coloured pixels.
    picture.setPixel(20, 20, qRgb(200, 200, 200));
    picture.setPixel(21, 20, qRgb(210, 200, 200));
    const TCells wide = trace({20, 20}, 100);
    EXPECT_EQ(asSet(wide), (std::set<std::pair<int, int>>{{20, 20}, {21, 20}}));
}

TEST_F(TraceTest, StaysOffTheLastTwoColumnsAndRows)
{
    QPainter p(&picture);
    p.setPen(QColor(0, 120, 0));
    p.drawLine(30, 4, 39, 4);  // to the right edge
    p.drawLine(2, 20, 2, 29);  // to the bottom edge
    p.end();
    const TCells right = trace({30, 4}, 0);
    EXPECT_EQ(right.size(), 8u); // x = 30 .. 37
    EXPECT_EQ(right.back(), (TCellPoint{37, 4}));
    const TCells down = trace({2, 20}, 0);
    EXPECT_EQ(down.size(), 8u); // y = 20 .. 27
}

TEST(TraceLimitTest, BoundedByTheEntryLimit)
{
    QImage big(200, 200, QImage::Format_RGB32);
    big.fill(qRgb(10, 10, 10));
    const TCells cells = TraceColour(big, {100, 100}, 0, [](int x, int y) { return TCellPoint{x, y}; });
    EXPECT_LE(cells.size(), kTraceLimit);
    EXPECT_GT(cells.size(), 1000u);
}

TEST(TraceMarkerTest, InverseOrRed)
{
    EXPECT_EQ(TraceMarkerColour(qRgb(0, 0, 200)) & 0xFFFFFF, qRgb(255, 255, 55) & 0xFFFFFF);
    EXPECT_EQ(TraceMarkerColour(qRgb(0, 0, 0)) & 0xFFFFFF, 0xFF0000u);
}

} // namespace
