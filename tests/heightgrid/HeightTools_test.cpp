#include "heightgrid/HeightTools.h"
#include "project/Project.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A project with a small grid and a tool set that records the messages it sends.
class HeightToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = new TProject;
        ASSERT_TRUE(project->NewGrid(5, 4, 10.0, 10.0));
        for (int c = 0; c < 5; ++c)
            for (int r = 0; r < 4; ++r)
                project->Grid.Cells[c][r].Height = 10.0 * c + r;
        project->Grid.MinHeight = 0;
        project->Grid.MaxHeight = 43;
        tools.SetProject(&project);
        tools.SetNotify([this](uint32_t m) { messages.push_back(m); });
    }
    void TearDown() override { delete project; }
    double& h(int c, int r) { return project->Grid.Cells[c][r].Height; }

    TProject* project = nullptr;
    THeightTools tools;
    std::vector<uint32_t> messages;
};

TEST_F(HeightToolsTest, ApplyHeightAction)
{
    const struct { uint8_t action; double start, base, diff, result, cell; } cases[] = {
        {HeightActionSet, 5, 120, 7, 120, 120},
        {HeightActionAdd, 5, 20, 5, 25, 25},
        {HeightActionSubtract, 5, 20, 5, 15, 15},
        {HeightActionSubtract, 5, -990, 1e6, -1000, -1000}, // floor, never the null value
        {HeightActionAdd, 5, NullHeight, 5, NullHeight, 5},  // null base: the cell is left alone
        {HeightActionNull, 5, 20, 5, NullHeight, NullHeight},
        {9, 5, 30, 5, 30, 30},                               // unknown action: set
    };
    for (const auto& c : cases) {
        h(2, 2) = c.start;
        EXPECT_EQ(tools.ApplyHeightAction(2, 2, c.action, c.base, c.diff), c.result) << int(c.action);
        EXPECT_EQ(h(2, 2), c.cell) << int(c.action);
    }
    // The range only widens: to 120 at the top and -1000 at the bottom.
    EXPECT_EQ(project->Grid.MaxHeight, 120);
    EXPECT_EQ(project->Grid.MinHeight, -1000);
    EXPECT_EQ(tools.CurrentHeight, 30);
    EXPECT_EQ(tools.LastBaseHeight, 30);
    // Off the grid nothing happens.
    EXPECT_EQ(tools.ApplyHeightAction(5, 0, HeightActionSet, 1, 0), NullHeight);
    EXPECT_EQ(tools.ApplyHeightAction(-1, 0, HeightActionSet, 1, 0), NullHeight);
}

TEST_F(HeightToolsTest, LevelAreaOneNotificationAndUndo)
{
    h(2, 1) = NullHeight;
    // Corners in any order; "Add" shifts each cell from its own height and skips the null cell.
    const TCellRect area = tools.LevelArea(3, 2, 1, 1, HeightActionAdd, false, 0, 100);
    EXPECT_EQ(area.Left, 1);
    EXPECT_EQ(area.Top, 1);
    EXPECT_EQ(area.Right, 3);
    EXPECT_EQ(area.Bottom, 2);
    EXPECT_EQ(h(1, 1), 111);
    EXPECT_EQ(h(3, 2), 132);
    EXPECT_EQ(h(2, 1), NullHeight);
    EXPECT_EQ(h(0, 0), 0); // outside
    EXPECT_EQ(tools.UndoList().size(), 6u);
    EXPECT_EQ(messages, (std::vector<uint32_t>{2025})); // one per edit, not per cell

    ASSERT_TRUE(tools.UndoLast());
    for (int c = 1; c <= 3; ++c)
        for (int r = 1; r <= 2; ++r)
            EXPECT_EQ(h(c, r), c == 2 && r == 1 ? NullHeight : 10.0 * c + r) << c << "," << r;
    EXPECT_EQ(messages.back(), 2026u);
    // A second undo repeats the restore.
    h(1, 1) = 77;
    ASSERT_TRUE(tools.UndoLast());
    EXPECT_EQ(h(1, 1), 11);
}

TEST_F(HeightToolsTest, LevelAreaSetAndNullClampToGrid)
{
    tools.LevelArea(3, 2, 99, -5, HeightActionSet, true, 250, 0);
    EXPECT_EQ(h(4, 0), 250);
    EXPECT_EQ(h(3, 2), 250);
    EXPECT_EQ(h(2, 2), 22);
    EXPECT_EQ(project->Grid.MaxHeight, 250);
    const double maxBefore = project->Grid.MaxHeight, minBefore = project->Grid.MinHeight;
    tools.LevelArea(0, 0, 1, 1, HeightActionNull, true, 999, 0);
    EXPECT_EQ(h(0, 0), NullHeight);
    EXPECT_EQ(h(1, 1), NullHeight);
    EXPECT_EQ(project->Grid.MaxHeight, maxBefore);
    EXPECT_EQ(project->Grid.MinHeight, minBefore);
    EXPECT_EQ(tools.UndoList().size(), 4u); // only the last edit is kept
}

TEST_F(HeightToolsTest, SpotAndDefaultHeight)
{
    tools.SpotHeight(1, 2, HeightActionAdd, 12, 5);
    EXPECT_EQ(h(1, 2), 17);
    EXPECT_EQ(tools.CurrentHeight, 17);
    tools.DefaultHeight(4, 3);
    EXPECT_EQ(h(4, 3), 17);
    ASSERT_EQ(tools.UndoList().size(), 1u);
    EXPECT_EQ(tools.UndoList()[0].OldHeight, 43);
    EXPECT_EQ(messages, (std::vector<uint32_t>{2025, 2025}));
}

// The fixture of the flood: a basin at 0 split by a ridge, a lower pit, and a null cell.
//   row 0:  0  0  5  0  0
//   row 1:  0 -3  5  0  0
//   row 2:  0  0  5  N  0
//   row 3:  5  5  5  0  0
class FloodTest : public HeightToolsTest {
protected:
    void SetUp() override
    {
        HeightToolsTest::SetUp();
        const char* rows[4] = {"00500", "0L500", "005N0", "55500"};
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 5; ++c) {
                const char ch = rows[r][c];
                h(c, r) = ch == '5' ? 5.0 : ch == 'L' ? -3.0 : ch == 'N' ? NullHeight : 0.0;
            }
    }
    std::string marks()
    {
        std::string s;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 5; ++c)
                s += project->Grid.Cells[c][r].Flooded ? 'x' : '.';
            s += '/';
        }
        return s;
    }
};

TEST_F(FloodTest, SameHeightMarksTheConnectedPlateauOnly)
{
    EXPECT_EQ(tools.Flood(0, 0, false), 5);
    EXPECT_EQ(marks(), "xx.../x..../xx.../...../");
    EXPECT_EQ(h(1, 1), -3); // the pit is lower, not the same height
    EXPECT_EQ(messages, (std::vector<uint32_t>{2025}));
}

TEST_F(FloodTest, SameOrLowerRaisesPitsAndNullsToTheLevel)
{
    EXPECT_EQ(tools.Flood(4, 3, true), 8);
    EXPECT_EQ(marks(), "...xx/...xx/...xx/...xx/");
    EXPECT_EQ(h(3, 2), 0.0); // the null cell is under the water now
    tools.Flood(0, 0, true);
    EXPECT_EQ(h(1, 1), 0.0);
    EXPECT_EQ(marks(), "xx.xx/xx.xx/xx.xx/...xx/");
    // Undo takes back the last flood only, flags and heights.
    ASSERT_TRUE(tools.UndoLast());
    EXPECT_EQ(marks(), "...xx/...xx/...xx/...xx/");
    EXPECT_EQ(h(1, 1), -3);
}

TEST_F(FloodTest, FloodOfAFlatGridMarksEveryCell)
{
    for (int c = 0; c < 5; ++c)
        for (int r = 0; r < 4; ++r)
            h(c, r) = 0.0;
    EXPECT_EQ(tools.Flood(2, 2, false), 20);
}

TEST_F(HeightToolsTest, UndoSurvivesAReplacedGrid)
{
    tools.LevelArea(0, 0, 4, 3, HeightActionSet, true, 1, 0);
    // Another project with a smaller grid arrives through the same variable.
    TProject* other = new TProject;
    ASSERT_TRUE(other->NewGrid(2, 2, 1.0, 1.0));
    std::swap(project, other);
    ASSERT_TRUE(tools.UndoLast()); // indices beyond the new grid are skipped
    EXPECT_EQ(project->Grid.Cells[1][1].Height, 11);
    delete other;
    tools.GridReplaced();
    EXPECT_TRUE(tools.UndoList().empty());
    EXPECT_EQ(messages.back(), 2026u);
}

TEST_F(HeightToolsTest, AddUndoOutsideAnEditNotifiesAtOnceAndPlaceholdersAreSkipped)
{
    tools.ClearUndo();
    tools.AddUndo(THeightTools::RecordUndo(0, 0, 1, kUndoPlaceholderHeight));
    tools.AddUndo(THeightTools::RecordUndo(0, 1, 1, 99.0));
    EXPECT_EQ(messages, (std::vector<uint32_t>{2025, 2025}));
    tools.UndoLast();
    EXPECT_EQ(h(0, 0), 0);
    EXPECT_EQ(h(0, 1), 99);
    EXPECT_EQ(project->Grid.Cells[0][1].Flooded, 1);
}

TEST(FloodRegion, LargeGridWithoutRecursion)
{
    const auto mask = FloodRegion(2000, 2000, 0, 0, [](int32_t c, int32_t r) { return (c + r) % 2000 != 1999 || c == 0; });
    size_t n = 0;
    for (uint8_t m : mask)
        n += m;
    EXPECT_GT(n, 1000000u);
}

} // namespace
