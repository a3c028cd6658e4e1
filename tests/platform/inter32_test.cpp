#include "platform/inter32.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TNodeGrid {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0, Columns = 1, Rows = 1;
};

// One run of the library over `points` (lines of the point file); the grid file's numbers come
// back in file order, the errors of the three working calls in `errors`.
struct TRunResult {
    std::string readError, gradientError, gridError;
    std::vector<double> values;
};

int32_t alwaysGo() { return 1; }
int calls = 0;
int32_t stopAfterTwo() { return ++calls <= 2 ? 1 : 0; }

TRunResult runLibrary(const qxtest::TempDir& dir, const std::string& points, const TNodeGrid& g, bool gradients,
                      bool extrapolate, TInterContinue keepGoing = alwaysGo, bool speed = true)
{
    const std::string in = dir.file("in.txt"), out = dir.file("out.txt");
    qxtest::WriteFileText(in, points);
    TInterOptions o;
    std::memset(&o, 0, sizeof o);
    std::strcpy(o.InputPath, in.c_str());
    std::strcpy(o.OutputPath, out.c_str());
    o.GradientFlag = gradients;
    o.Columns = g.Columns;
    o.Rows = g.Rows;
    o.SpeedFlag = speed;
    o.Tautness1 = 1;
    o.Tautness2 = 8;
    o.Left = g.Left;
    o.Top = g.Top;
    o.Right = g.Right;
    o.Bottom = g.Bottom;
    o.NullValue = -1001;
    o.ExtrapolateFlag = extrapolate;
    TRunResult r;
    char error[kInterErrorSize];
    InitGrid();
    SetOptions(&o);
    std::strcpy(error, "stale");
    ReadData(error);
    r.readError = error;
    if (gradients) {
        std::strcpy(error, "stale");
        Gradient(error, keepGoing);
        r.gradientError = error;
    }
    std::strcpy(error, "stale");
    MakeGrid(error, keepGoing);
    r.gridError = error;
    DoneGrid();
    std::istringstream text(qxtest::ReadFileText(out));
    for (double v; text >> v;)
        r.values.push_back(v);
    return r;
}

// A 5 x 5 node grid over 0..40 (ten units a node), rows listed from y = 40 (bottom) up to y = 0.
const TNodeGrid kGrid{0, 0, 40, 40, 5, 5};

double nodeValue(const TRunResult& r, int column, int row)
{
    // The file holds the bottom row (y = 40) first.
    return r.values.at(size_t((4 - row) * 5 + column));
}

TEST(Inter32Test, ExactAtThePointsAndBetweenThem)
{
    qxtest::TempDir dir;
    // A plane z = x + 2 y sampled at the nine even nodes.
    std::string points;
    for (int c = 0; c <= 4; c += 2)
        for (int r = 0; r <= 4; r += 2)
            points += std::to_string(c * 10) + ' ' + std::to_string(r * 10) + ' ' + std::to_string(c * 10 + 2 * r * 10) + ".25\n";
    for (const bool gradients : {false, true}) {
        const TRunResult r = runLibrary(dir, points, kGrid, gradients, false);
        ASSERT_EQ(r.readError, "");
        ASSERT_EQ(r.gridError, "");
        ASSERT_EQ(r.values.size(), 25u);
        for (int c = 0; c <= 4; ++c)
            for (int row = 0; row <= 4; ++row) {
                const double plane = c * 10 + 2 * row * 10 + 0.25, v = nodeValue(r, c, row);
                if (c % 2 == 0 && row % 2 == 0) {
                    EXPECT_EQ(v, plane) << c << "," << row; // a data point comes back exactly
                } else {
                    // Between the points: within the neighbours' span, and on the plane with gradients.
                    EXPECT_GT(v, 0.0) << c << "," << row;
                    EXPECT_LT(v, 120.25) << c << "," << row;
                    if (gradients)
                        EXPECT_NEAR(v, plane, 1e-6) << c << "," << row;
                    else
                        EXPECT_NEAR(v, plane, 20.0) << c << "," << row;
                }
            }
    }
}

TEST(Inter32Test, EveryDataPointComesBackExactlyFromClusteredAndSparsePoints)
{
    qxtest::TempDir dir;
    // 64 x 48 nodes: every node of the top-left 10 x 10 corner, and a sparse scatter elsewhere.
    const TNodeGrid grid{0, 0, 630, 470, 64, 48};
    std::vector<double> at(64 * 48, NAN);
    uint32_t state = 7;
    auto next = [&] { return state = state * 1103515245u + 12345u; };
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 48; ++r)
            if ((c < 10 && r < 10) || (next() >> 16) % 40 == 0)
                at[size_t(c * 48 + r)] = double(next() % 100000) / 1000.0 + 0.000123;
    std::string points;
    double lo = 1e9, hi = -1e9;
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 48; ++r)
            if (const double z = at[size_t(c * 48 + r)]; !std::isnan(z)) {
                char line[96];
                std::snprintf(line, sizeof line, "%d %d %.17g\n", c * 10, r * 10, z);
                points += line;
                lo = std::min(lo, z);
                hi = std::max(hi, z);
            }
    for (const int speed : {0, 1}) {
        for (const bool gradients : {false, true}) {
            const TRunResult r = runLibrary(dir, points, grid, gradients, true, alwaysGo, speed != 0);
            ASSERT_EQ(r.gridError, "");
            ASSERT_EQ(r.values.size(), size_t(64 * 48));
            for (int c = 0; c < 64; ++c)
                for (int row = 0; row < 48; ++row) {
                    const double v = r.values[size_t((47 - row) * 64 + c)];
                    const double z = at[size_t(c * 48 + row)];
                    ASSERT_TRUE(std::isfinite(v));
                    if (!std::isnan(z))
                        EXPECT_EQ(v, z) << c << "," << row << " speed " << speed;
                    else if (!gradients) {
                        EXPECT_GE(v, lo) << c << "," << row;
                        EXPECT_LE(v, hi) << c << "," << row;
                    }
                }
        }
    }
}

TEST(Inter32Test, SymmetricPointsGiveASymmetricGrid)
{
    qxtest::TempDir dir;
    // Every second node of a 9 x 9 grid, heights symmetric about the centre: many points lie at
    // equal distances from a node, and the result must not depend on which of them is seen first.
    std::string points;
    for (int c = 0; c <= 8; c += 2)
        for (int r = 0; r <= 8; r += 2)
            points += std::to_string(c * 10) + ' ' + std::to_string(r * 10) + ' ' +
                      std::to_string((c - 4) * (c - 4) + 2 * (r - 4) * (r - 4)) + '\n';
    const TNodeGrid grid{0, 0, 80, 80, 9, 9};
    for (const bool speed : {true, false})
        for (const bool gradients : {false, true}) {
            const TRunResult r = runLibrary(dir, points, grid, gradients, false, alwaysGo, speed);
            ASSERT_EQ(r.values.size(), 81u);
            auto at = [&](int c, int row) { return r.values[size_t(row * 9 + c)]; };
            for (int c = 0; c <= 8; ++c)
                for (int row = 0; row <= 8; ++row) {
                    EXPECT_NEAR(at(c, row), at(8 - c, row), 1e-9) << c << "," << row << " speed " << speed;
                    EXPECT_NEAR(at(c, row), at(c, 8 - row), 1e-9) << c << "," << row << " speed " << speed;
                }
        }
}

TEST(Inter32Test, BottomRowFirstAndNullOutsideThePoints)
{
    qxtest::TempDir dir;
    // Heights by row only; a triangle of points covering the left part of the grid.
    const std::string points = "0 0 100\n0 40 500\n40 40 500\n";
    const TRunResult r = runLibrary(dir, points, kGrid, false, false);
    ASSERT_EQ(r.gridError, "");
    ASSERT_EQ(r.values.size(), 25u);
    EXPECT_EQ(r.values[0], 500.0);  // bottom-left node (0, 40)
    EXPECT_EQ(r.values[20], 100.0); // top-left node (0, 0)
    // The top-right node lies outside the triangle: null without extrapolation.
    EXPECT_EQ(r.values[24], -1001.0);
    const TRunResult e = runLibrary(dir, points, kGrid, false, true);
    EXPECT_NE(e.values.at(24), -1001.0);
    EXPECT_GE(e.values.at(24), 100.0);
    EXPECT_LE(e.values.at(24), 500.0);
}

TEST(Inter32Test, DegeneratePointSets)
{
    qxtest::TempDir dir;
    const struct {
        const char* name;
        std::string points;
        bool extrapolate;
        double expectAll; // every node, or NAN when only the node at (20, 20) is checked
        double atCentre;
    } cases[] = {
        {"one point, extrapolated", "20 20 7.5\n", true, 7.5, 7.5},
        {"one point", "20 20 7.5\n", false, NAN, 7.5},
        {"all equal", "0 0 3\n40 0 3\n0 40 3\n40 40 3\n20 20 3\n", false, 3.0, 3.0},
        {"coincident points", "20 20 4\n20 20 8\n20 20 6\n0 0 6\n40 40 6\n", true, NAN, 6.0},
        {"points on one line", "0 20 1\n20 20 2\n40 20 3\n", false, NAN, 2.0},
    };
    for (const auto& c : cases) {
        for (const bool gradients : {false, true}) {
            const TRunResult r = runLibrary(dir, c.points, kGrid, gradients, c.extrapolate);
            ASSERT_EQ(r.readError, "") << c.name;
            ASSERT_EQ(r.gradientError, "") << c.name;
            ASSERT_EQ(r.gridError, "") << c.name;
            ASSERT_EQ(r.values.size(), 25u) << c.name;
            for (double v : r.values)
                EXPECT_TRUE(std::isfinite(v)) << c.name;
            EXPECT_EQ(nodeValue(r, 2, 2), c.atCentre) << c.name << " gradients " << gradients;
            if (!std::isnan(c.expectAll)) {
                for (double v : r.values)
                    EXPECT_DOUBLE_EQ(v, c.expectAll) << c.name;
            }
        }
    }
    // One point without extrapolation: only its own node gets a value.
    const TRunResult one = runLibrary(dir, "20 20 7.5\n", kGrid, false, false);
    int known = 0;
    for (double v : one.values)
        known += v != -1001.0;
    EXPECT_EQ(known, 1);
}

TEST(Inter32Test, ErrorsGoToTheBuffer)
{
    qxtest::TempDir dir;
    const struct {
        const char* name;
        std::string points;
        TNodeGrid grid;
    } cases[] = {
        {"no points", "", kGrid},
        {"blank lines only", "\n  \n", kGrid},
        {"missing height", "0 0\n", kGrid},
        {"not a number", "0 0 x\n", kGrid},
        {"non-finite", "0 0 nan\n", kGrid},
        {"no columns", "0 0 1\n", TNodeGrid{0, 0, 40, 40, 0, 5}},
        {"negative rows", "0 0 1\n", TNodeGrid{0, 0, 40, 40, 5, -3}},
    };
    for (const auto& c : cases) {
        const TRunResult r = runLibrary(dir, c.points, c.grid, true, false);
        EXPECT_NE(r.readError, "") << c.name;
        EXPECT_LT(r.readError.size(), size_t(kInterErrorSize)) << c.name;
        // The later steps refuse to work without data.
        EXPECT_NE(r.gridError, "") << c.name;
    }
    // Out of order: reading before any options.
    char error[kInterErrorSize] = "";
    InitGrid();
    ReadData(error);
    EXPECT_NE(std::string(error), "");
    DoneGrid();
    // A missing point file.
    TInterOptions o;
    std::memset(&o, 0, sizeof o);
    std::strcpy(o.InputPath, dir.file("none.txt").c_str());
    o.Columns = o.Rows = 2;
    InitGrid();
    SetOptions(&o);
    ReadData(error);
    EXPECT_NE(std::string(error), "");
    DoneGrid();
}

TEST(Inter32Test, ContinueCallbackStopsTheGridEarly)
{
    qxtest::TempDir dir;
    calls = 0;
    const TRunResult r = runLibrary(dir, "0 0 1\n40 40 2\n0 40 3\n", kGrid, false, true, stopAfterTwo);
    EXPECT_EQ(r.gridError, ""); // stopping is not an error
    EXPECT_LT(r.values.size(), 25u);
    EXPECT_GE(calls, 3);
}

} // namespace
