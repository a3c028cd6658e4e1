#include "heightgrid/Interpolation.h"
#include "project/Project.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A grid of the given size, every cell null.
class InterpolationTest : public ::testing::Test {
protected:
    void make(int columns, int rows)
    {
        ASSERT_TRUE(project.NewGrid(columns, rows, 10.0, 10.0));
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r)
                h(c, r) = NullHeight;
        project.Grid.MinHeight = 0;
        project.Grid.MaxHeight = 100;
    }
    double& h(int c, int r) { return project.Grid.Cells[c][r].Height; }

    TProject project;
    qxtest::TempDir dir;
};

TEST_F(InterpolationTest, PointFileListsTheKnownCellsOfTheArea)
{
    make(6, 5);
    h(2, 1) = 5.5;
    h(4, 1) = 12;
    h(3, 3) = 0.1;
    h(1, 1) = 99;  // left of the area
    h(3, 4) = 7;   // below it
    const std::string path = dir.file("in.tmp");
    ASSERT_TRUE(WritePointFile(project.Grid, TCellRect{2, 1, 5, 3}, path));
    // Rows top to bottom, columns left to right, absolute indices times ten, shortest form.
    EXPECT_EQ(qxtest::ReadFileText(path), "20 10 5.5\n40 10 12\n30 30 0.1\n");
    // All known: every cell of the area is written.
    for (int c = 0; c < 6; ++c)
        for (int r = 0; r < 5; ++r)
            h(c, r) = c;
    ASSERT_TRUE(WritePointFile(project.Grid, TCellRect{0, 0, 1, 1}, path));
    EXPECT_EQ(qxtest::ReadFileText(path), "0 0 0\n10 0 1\n0 10 0\n10 10 1\n");
    EXPECT_FALSE(WritePointFile(project.Grid, TCellRect{0, 0, 1, 1}, dir.file("no/such/folder/in.tmp")));
}

TEST_F(InterpolationTest, GridFileFillsOnlyNullCellsBottomRowFirst)
{
    make(5, 5);
    h(2, 2) = 40; // known: keeps its height, its number is skipped
    const std::string path = dir.file("out.tmp");
    // Area columns 1..3, rows 1..2: the first line is row 2, the second row 1.
    qxtest::WriteFileText(path, "  11 -5 -1001\n 21.5 22 150 \n");
    bool outOfRange = false;
    ASSERT_TRUE(ReadGridFile(project.Grid, TCellRect{1, 1, 3, 2}, path, 0.0, outOfRange));
    EXPECT_EQ(h(1, 2), 11.0);        // bottom-left first
    EXPECT_EQ(h(2, 2), 40.0);        // known cell untouched
    EXPECT_EQ(h(3, 2), NullHeight);  // the null value keeps the cell null
    EXPECT_EQ(h(1, 1), 21.5);
    EXPECT_EQ(h(2, 1), 22.0);
    EXPECT_EQ(h(3, 1), 150.0);
    EXPECT_TRUE(outOfRange);         // 150 lies above the grid's maximum of 100
    EXPECT_EQ(project.Grid.MaxHeight, 100.0); // the range itself is not changed
    EXPECT_EQ(h(0, 0), NullHeight);

    // Below the minimum height a value is raised to it.
    make(5, 5);
    qxtest::WriteFileText(path, "-5 3\n");
    ASSERT_TRUE(ReadGridFile(project.Grid, TCellRect{0, 0, 1, 0}, path, 2.0, outOfRange));
    EXPECT_EQ(h(0, 0), 2.0);
    EXPECT_EQ(h(1, 0), 3.0);
    EXPECT_FALSE(outOfRange);
}

TEST_F(InterpolationTest, ShortOrBadGridFileIsAFailure)
{
    const struct {
        const char* name;
        const char* text;
        int filled; // cells of the bottom row filled before the failure
    } cases[] = {
        {"short", "1 2", 2},
        {"empty", "", 0},
        {"not a number", "1 x 3 4", 1},
        {"not finite", "1 2 inf 4", 2},
        {"nan", "nan 2 3 4", 0},
    };
    for (const auto& c : cases) {
        make(2, 2);
        const std::string path = dir.file("out.tmp");
        qxtest::WriteFileText(path, c.text);
        bool outOfRange = false;
        EXPECT_FALSE(ReadGridFile(project.Grid, TCellRect{0, 0, 1, 1}, path, 0.0, outOfRange)) << c.name;
        int filled = 0;
        for (int col = 0; col < 2; ++col)
            filled += h(col, 1) != NullHeight;
        EXPECT_EQ(filled, c.filled) << c.name;
        for (int col = 0; col < 2; ++col)
            EXPECT_TRUE(std::isfinite(h(col, 1)) && std::isfinite(h(col, 0))) << c.name;
    }
    bool outOfRange = false;
    EXPECT_FALSE(ReadGridFile(project.Grid, TCellRect{0, 0, 1, 1}, dir.file("missing.tmp"), 0.0, outOfRange));
}

TEST_F(InterpolationTest, OptionsRecord)
{
    TGridParams params;
    params.Gradients = false;
    params.Speed = true;
    params.Extrapolate = true;
    params.Tautness1 = 3;
    params.Tautness2 = 9;
    const TInterOptions o = MakeGridOptions(TCellRect{4, 2, 10, 7}, params, "/t/~in.tmp", "/t/~out.tmp");
    EXPECT_STREQ(o.InputPath, "/t/~in.tmp");
    EXPECT_STREQ(o.OutputPath, "/t/~out.tmp");
    const int32_t* ints = reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(&o) + 512);
    // Fields 3 to 28 in order.
    const std::vector<int32_t> expected = {0, 0, 0, 0, 7, 6, 0, 1, 0, 0, 1, -1, 3, 9,
                                           1, 1, 1, 40, 20, 100, 70, 0, 0, -1001, 1, 0};
    EXPECT_EQ(std::vector<int32_t>(ints, ints + 26), expected);
    EXPECT_STREQ(o.InputLineFormat, "%lf%lf%*s");
    EXPECT_STREQ(o.InputPointFormat, "%lf%lf%lf");
    EXPECT_STREQ(o.OutputValueFormat, "%12.4f");
    EXPECT_STREQ(o.OutputValueGradientFormat, "%12.4f %8.3f %8.3f");
    EXPECT_STREQ(o.OutputPointFormat, "%12.4f %12.4f %12.4f");
    EXPECT_STREQ(o.OutputPointGradientFormat, "%12.4f %12.4f %12.4f %8.3f %8.3f");
}

// A gridding library that records its calls and fails or stops where told.
struct TFakeLibrary {
    static inline std::vector<std::string> calls;
    static inline TInterOptions options;
    static inline std::string failAt; // the call that reports an error
    static inline std::string gridText;
    static void init() { calls.push_back("InitGrid"); }
    static void setOptions(const TInterOptions* o)
    {
        calls.push_back("SetOptions");
        options = *o;
    }
    static void step(const char* name, char* error)
    {
        calls.push_back(name);
        if (failAt == name)
            std::strcpy(error, "Library says no");
    }
    static void read(char* e) { step("ReadData", e); }
    static void gradient(char* e, TInterContinue) { step("Gradient", e); }
    static void make(char* e, TInterContinue)
    {
        step("MakeGrid", e);
        qxtest::WriteFileText(options.OutputPath, gridText);
    }
    static void done() { calls.push_back("DoneGrid"); }
    static TGriddingLibrary library()
    {
        calls.clear();
        failAt.clear();
        TGriddingLibrary l;
        l.InitGrid = init;
        l.SetOptions = setOptions;
        l.ReadData = read;
        l.Gradient = gradient;
        l.MakeGrid = make;
        l.DoneGrid = done;
        return l;
    }
};

int32_t keepGoing() { return 1; }
int32_t stopNow() { return 0; }

TEST_F(InterpolationTest, RunCallsTheLibraryInOrderAndDoneGridOnce)
{
    using TCalls = std::vector<std::string>;
    const TCalls all = {"InitGrid", "SetOptions", "ReadData", "Gradient", "MakeGrid", "DoneGrid"};
    const struct {
        const char* name;
        bool gradients;
        std::string failAt;
        TInterContinue going;
        TGridOutcome outcome; // Failed: raises the library's text
        TCalls calls;
    } cases[] = {
        {"done", true, "", keepGoing, TGridOutcome::Done, all},
        {"no gradients", false, "", keepGoing, TGridOutcome::Done,
         {"InitGrid", "SetOptions", "ReadData", "MakeGrid", "DoneGrid"}},
        {"read fails", true, "ReadData", keepGoing, TGridOutcome::Failed, {"InitGrid", "SetOptions", "ReadData", "DoneGrid"}},
        {"gradient fails", true, "Gradient", keepGoing, TGridOutcome::Failed,
         {"InitGrid", "SetOptions", "ReadData", "Gradient", "DoneGrid"}},
        {"grid fails", true, "MakeGrid", keepGoing, TGridOutcome::Failed, all},
        {"cancelled", true, "", stopNow, TGridOutcome::Cancelled,
         {"InitGrid", "SetOptions", "ReadData", "Gradient", "DoneGrid"}},
    };
    for (const auto& c : cases) {
        make(4, 3);
        h(0, 0) = 10;
        h(3, 2) = 20;
        const TGriddingLibrary lib = TFakeLibrary::library();
        TFakeLibrary::failAt = c.failAt;
        TFakeLibrary::gridText = "1 2 3 4\n5 6 7 8\n9 10 11 12\n";
        TGridParams params;
        params.Gradients = c.gradients;
        std::vector<std::string> steps;
        bool outOfRange = false;
        TGridOutcome outcome = TGridOutcome::Failed;
        std::string message;
        try {
            outcome = RunGridding(project.Grid, TCellRect{0, 0, 3, 2}, params, lib, dir.path().string(),
                                  [&](const char* s) { steps.push_back(s); }, c.going, outOfRange);
        } catch (const EAbortInterpolation& e) {
            message = e.what();
        }
        EXPECT_EQ(outcome, c.outcome) << c.name;
        EXPECT_EQ(TFakeLibrary::calls, c.calls) << c.name;
        EXPECT_EQ(message, c.outcome == TGridOutcome::Failed ? "Library says no" : "") << c.name;
        // The temporary files are gone, whatever the outcome.
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "~in.tmp")) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "~out.tmp")) << c.name;
        EXPECT_EQ(std::string(TFakeLibrary::options.InputPath), (dir.path() / "~in.tmp").string()) << c.name;
        if (c.outcome == TGridOutcome::Done) {
            EXPECT_EQ(steps.back(), "Applying results") << c.name;
            EXPECT_EQ(h(0, 2), 1.0) << c.name; // bottom-left
            EXPECT_EQ(h(1, 0), 10.0) << c.name;
            EXPECT_EQ(h(0, 0), 10.0) << c.name; // known, kept
            EXPECT_EQ(h(3, 2), 20.0) << c.name;
        } else {
            EXPECT_EQ(h(1, 1), NullHeight) << c.name; // nothing applied
        }
    }
}

TEST_F(InterpolationTest, OneCellAreaAndUnwritableFolderStopBeforeTheLibrary)
{
    make(4, 3);
    const struct {
        TCellRect area;
        std::string folder;
        std::string message;
    } cases[] = {
        {{2, 1, 2, 1}, dir.path().string(), "E0016 Interpolation area too small"},
        {{0, 0, 3, 2}, dir.file("no/such/folder"), "E0018 Error creating temporary file"},
        // A folder whose file paths do not fit the library's fields.
        {{0, 0, 3, 2}, (dir.path() / std::string(200, 'a') / std::string(60, 'b')).string(),
         "E0018 Error creating temporary file"},
    };
    std::filesystem::create_directories(cases[2].folder);
    for (const auto& c : cases) {
        const TGriddingLibrary lib = TFakeLibrary::library();
        bool outOfRange = false;
        std::string message;
        try {
            RunGridding(project.Grid, c.area, TGridParams{}, lib, c.folder, {}, keepGoing, outOfRange);
        } catch (const EAbortInterpolation& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.message);
        EXPECT_TRUE(TFakeLibrary::calls.empty());
    }
}

TEST_F(InterpolationTest, GriddingWithOurLibraryFillsBetweenKnownPoints)
{
    make(12, 10);
    const struct {
        int c, r;
        double height;
    } known[] = {{1, 1, 100.5}, {9, 1, 200}, {1, 8, 300}, {9, 8, 400}, {5, 4, 250.25}};
    for (const auto& k : known)
        h(k.c, k.r) = k.height;
    for (const bool gradients : {false, true}) {
        make(12, 10);
        for (const auto& k : known)
            h(k.c, k.r) = k.height;
        TGridParams params;
        params.Gradients = gradients;
        params.MinHeight = 0;
        bool outOfRange = true;
        const TGridOutcome outcome = RunGridding(project.Grid, TCellRect{0, 0, 11, 9}, params, TGriddingLibrary{},
                                                 dir.path().string(), {}, keepGoing, outOfRange);
        ASSERT_EQ(outcome, TGridOutcome::Done);
        for (const auto& k : known)
            EXPECT_EQ(h(k.c, k.r), k.height); // exact at the points
        int filled = 0;
        for (int c = 0; c < 12; ++c)
            for (int r = 0; r < 10; ++r) {
                const bool inside = c >= 1 && c <= 9 && r >= 1 && r <= 8;
                if (!inside) {
                    EXPECT_EQ(h(c, r), NullHeight) << c << "," << r; // outside the points, no extrapolation
                    continue;
                }
                ++filled;
                EXPECT_GE(h(c, r), 100.5 - 1e-9) << c << "," << r;
                EXPECT_LE(h(c, r), 400 + 1e-9) << c << "," << r;
            }
        EXPECT_EQ(filled, 9 * 8);
        // Heights rise from the top-left towards the bottom-right corner.
        EXPECT_LT(h(2, 2), h(5, 5));
        EXPECT_LT(h(5, 5), h(8, 7));
        EXPECT_TRUE(outOfRange); // above the grid's maximum of 100
    }
}

TEST_F(InterpolationTest, TrendFill)
{
    // Fewer than 100 cells filled after the first pass, known cells included.
    make(9, 9);
    h(4, 4) = 50;
    EXPECT_FALSE(TrendFill(project.Grid, 0.0));
    // A null cell between 10 and 11 gets 10 (10.5 to even); a low mean is raised to the minimum.
    make(20, 20);
    for (int c = 0; c < 20; ++c)
        for (int r = 0; r < 20; ++r)
            h(c, r) = 30;
    h(5, 5) = NullHeight;
    for (int c = 4; c <= 6; ++c)
        for (int r = 4; r <= 6; ++r)
            if (c != 5 || r != 5)
                h(c, r) = (c + r) % 2 ? 10.0 : 11.0;
    // Ring of 8: 4 cells of 10 and 4 of 11 -> 10.5 -> 10.
    h(15, 15) = NullHeight;
    for (int c = 14; c <= 16; ++c)
        for (int r = 14; r <= 16; ++r)
            if (c != 15 || r != 15)
                h(c, r) = 2;
    int32_t passes = 0;
    EXPECT_TRUE(TrendFill(project.Grid, 5.0, &passes));
    EXPECT_EQ(h(5, 5), 10.0);
    EXPECT_EQ(h(15, 15), 5.0);
    EXPECT_EQ(passes, 1);
    // Heights only in the first column still spread over the whole grid.
    make(20, 40);
    for (int r = 0; r < 40; ++r)
        h(0, r) = 70;
    EXPECT_TRUE(TrendFill(project.Grid, 0.0, &passes));
    EXPECT_GT(passes, 1);
    for (int c = 0; c < 20; ++c)
        for (int r = 0; r < 40; ++r)
            ASSERT_EQ(h(c, r), 70.0) << c << "," << r;
    // Nothing known at all.
    make(20, 20);
    EXPECT_FALSE(TrendFill(project.Grid, 0.0));
}

TEST_F(InterpolationTest, SmoothGrid)
{
    make(4, 3);
    const double start[4][3] = {{1, 2, 3}, {4, NullHeight, 6}, {7, 8, 9}, {10, 11, 100}};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r)
            h(c, r) = start[c][r];
    SmoothGrid(project.Grid, 2.0);
    EXPECT_EQ(h(1, 1), NullHeight); // null stays null
    // Corner (0,0): mean of 1, 2, 4 = 2.33 -> 2. (0,1): 1,2,3,4,6 = 3.2 -> 3.
    EXPECT_EQ(h(0, 0), 2.0);
    EXPECT_EQ(h(0, 1), 3.0);
    // (2,1) from the unsmoothed grid: 4, 6, 7, 8, 9, 10, 11, 100 = 19.375 -> 19.
    EXPECT_EQ(h(2, 1), 19.0);
    // (3,2): 8, 9, 11, 100 = 32.
    EXPECT_EQ(h(3, 2), 32.0);
    // (1,0): 1, 2, 4, 7, 8 = 4.4 -> 4.
    EXPECT_EQ(h(1, 0), 4.0);
    // The range is that of the known cells: the null cell does not drag the minimum down.
    double lo = 1e9, hi = -1e9;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r)
            if (h(c, r) != NullHeight) {
                lo = std::min(lo, h(c, r));
                hi = std::max(hi, h(c, r));
            }
    EXPECT_EQ(project.Grid.MinHeight, lo);
    EXPECT_EQ(project.Grid.MaxHeight, hi);
    // Raised to the minimum height.
    make(3, 3);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            h(c, r) = 1;
    SmoothGrid(project.Grid, 2.0);
    EXPECT_EQ(h(1, 1), 2.0);
}

} // namespace
