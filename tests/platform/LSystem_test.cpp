#include "platform/LSystem.h"

#include "project/MathUtils.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>

namespace {

std::unique_ptr<TLParserBuffer> NewBuffer()
{
    auto b = std::make_unique<TLParserBuffer>();
    b->Count = -7; // so that a parser that forgets to set it is seen
    return b;
}

TEST(LSystem, BranchingRuleGrowsTheExpectedTriangles)
{
    // One generation of F -> F[+F]F: three segments (four triangles each); the branch is turned
    // to the horizontal at height 1, the trunk reaches 2.
    auto b = NewBuffer();
    ASSERT_TRUE(LParseText("1\n90\n10\nF\nF=F[+F]F\n@\n", 0, *b));
    EXPECT_EQ(b->Count, 12);
    EXPECT_NEAR(b->Lowest, 0.0f, 1e-6);
    EXPECT_NEAR(b->Highest, 2.0f, 1e-5);
    for (int k = 0; k < b->Count; ++k) {
        EXPECT_EQ(b->Polygons[k].Colour, 0);
        for (const auto& v : b->Polygons[k].Vertices) {
            EXPECT_GE(v[2], -1e-5f);
            EXPECT_LE(v[2], 2.0f + 1e-5f);
        }
    }
}

TEST(LSystem, SymbolsThatDrawTable)
{
    struct Case {
        const char* text;
        int count;
    };
    const Case cases[] = {
        {"0\n90\n10\nF\n", 4},                       // depth 0: the axiom itself
        {"0\n90\n10\nfF\n", 4},                      // a move draws nothing
        {"0\n90\n10\nF~\n", 6},                      // a leaf is two triangles
        {"0\n90\n10\n{.f+.f+.f+.}\n", 2},            // a four-point polygon is a fan of two
        {"0\n90\n10\n{.f.}F\n", 4},                  // two points make no polygon
        {"0\n90\n10\n]]]F[[[\n", 4},                 // unbalanced brackets are harmless
        {"# a comment\n\n2 # depth\n90\n10\nX\nX=F[X]\n", 8},
        {"1\n22,5\n10\nF\nF=FF\n", 8},                // decimal comma
    };
    for (const Case& c : cases) {
        auto b = NewBuffer();
        ASSERT_TRUE(LParseText(c.text, 0, *b)) << c.text;
        EXPECT_EQ(b->Count, c.count) << c.text;
    }
}

TEST(LSystem, ColourIndexAdvancesAndWraps)
{
    std::string axiom;
    for (int i = 0; i < 17; ++i) axiom += "F'";
    auto b = NewBuffer();
    ASSERT_TRUE(LParseText("0\n90\n10\n" + axiom + "\n", 0, *b));
    ASSERT_EQ(b->Count, 17 * 4);
    EXPECT_EQ(b->Polygons[0].Colour, 0);
    EXPECT_EQ(b->Polygons[4 * 5].Colour, 5);
    EXPECT_EQ(b->Polygons[4 * 15].Colour, 15);
    EXPECT_EQ(b->Polygons[4 * 16].Colour, 0);
}

TEST(LSystem, BadFilesAreRefused)
{
    const char* cases[] = {
        "",
        "3\n90\n10\n",                  // no axiom
        "x\n90\n10\nF\n",               // depth not a number
        "3\nnan\n10\nF\n",              // angle not finite
        "3\n90\ninf\nF\n",
        "3\n90\n10\nF\nF-FF\n",         // rule without '='
        "3\n90\n10\nF\nFF=F\n",         // predecessor of two symbols
        "3\n90\n10\n+-[]\n",            // grows no polygon
        "1e300\n90\n10\nF\nF=\n",       // the axiom vanishes
    };
    for (const char* text : cases) {
        auto b = NewBuffer();
        EXPECT_FALSE(LParseText(text, 0, *b)) << text;
        EXPECT_EQ(b->Count, 0) << text;
    }
    auto b = NewBuffer();
    EXPECT_FALSE(LParseText(std::string(kLSystemMaxFileBytes + 1, ' '), 0, *b));
}

TEST(LSystem, GrowthStopsAtTheLastGenerationThatFits)
{
    // F -> FF doubles the segments each generation: 2^13 segments are exactly 32768 triangles.
    auto b = NewBuffer();
    ASSERT_TRUE(LParseText("16\n0\n10\nF\nF=FF\n", 0, *b));
    EXPECT_EQ(b->Count, kLParserMaxPolygons);
    // A rule that grows only variables is held by the length limit instead.
    ASSERT_TRUE(LParseText("16\n0\n10\nFX\nX=XXXX\n", 0, *b));
    EXPECT_EQ(b->Count, 4);
}

TEST(LSystem, SeedChoosesAmongRulesWithoutTouchingTheSharedGenerator)
{
    const std::string text = "3\n30\n10\nF\nF=F[+F]F\nF=F[-F]\nF=FF\n";
    SetRandSeed(4242);
    auto a = NewBuffer(), b = NewBuffer();
    ASSERT_TRUE(LParseText(text, 7, *a));
    ASSERT_TRUE(LParseText(text, 7, *b));
    EXPECT_EQ(a->Count, b->Count);
    EXPECT_EQ(std::memcmp(a->Polygons, b->Polygons, sizeof(TLParserPolygon) * a->Count), 0);
    std::set<int> counts;
    for (int seed = 0; seed < 12; ++seed) {
        ASSERT_TRUE(LParseText(text, seed, *b));
        counts.insert(b->Count);
    }
    EXPECT_GT(counts.size(), 1u);
    EXPECT_EQ(RandSeed(), 4242u);
}

TEST(LSystem, FileIsFoundWithOrWithoutItsExtension)
{
    qxtest::TempDir dir;
    qxtest::WriteFileText(dir.file("tree.ls"), "1\n25\n10\nF\nF=F[+F][-F]\n");
    auto b = NewBuffer();
    EXPECT_TRUE(getLParserData(dir.file("tree.ls").c_str(), 1, 0, b.get()));
    EXPECT_EQ(b->Count, 12);
    EXPECT_TRUE(getLParserData(dir.file("tree").c_str(), 1, 0, b.get()));
    EXPECT_EQ(b->Count, 12);
    EXPECT_FALSE(getLParserData(dir.file("bush").c_str(), 1, 0, b.get()));
    EXPECT_EQ(b->Count, 0);
    EXPECT_FALSE(getLParserData(dir.path().string().c_str(), 1, 0, b.get())); // a folder
    EXPECT_FALSE(getLParserData(nullptr, 1, 0, b.get()));
    EXPECT_FALSE(getLParserData(dir.file("tree").c_str(), 1, 0, nullptr));
}

TEST(LSystem, ThousandsOfTurnsKeepThePlantFinite)
{
    // Found by fuzzing: a wide angle turned thousands of times let the turtle's frame grow
    // until the vertices overflowed.
    const char text[] = "5\n 202\n0\n\nF\nF=F[G=F~\r\0~[+F*~G@F!&";
    auto b = NewBuffer();
    ASSERT_TRUE(LParseText(std::string(text, sizeof text - 1), 11, *b));
    ASSERT_GT(b->Count, 1000);
    for (int k = 0; k < b->Count; ++k)
        for (const auto& v : b->Polygons[k].Vertices)
            ASSERT_TRUE(std::fabs(v[0]) < 1e4 && std::fabs(v[1]) < 1e4 && std::fabs(v[2]) < 1e4) << k;
    EXPECT_TRUE(std::isfinite(b->Highest));
}

TEST(LSystem, RandomTextNeverBreaksTheBuffer)
{
    std::mt19937 random(99);
    const std::string alphabet = "FfGg+-&^\\/|[]!\"'~{.}XY=\n0123456789#@ ,";
    for (int round = 0; round < 300; ++round) {
        std::string text = std::to_string(random() % 8) + "\n" + std::to_string(random() % 360) + "\n5\n";
        const int length = static_cast<int>(random() % 200);
        for (int i = 0; i < length; ++i) text.push_back(alphabet[random() % alphabet.size()]);
        auto b = NewBuffer();
        const bool ok = LParseText(text, static_cast<int32_t>(random()), *b);
        EXPECT_GE(b->Count, 0);
        EXPECT_LE(b->Count, kLParserMaxPolygons);
        EXPECT_EQ(ok, b->Count > 0);
        for (int k = 0; k < b->Count; ++k) {
            EXPECT_TRUE(b->Polygons[k].Colour >= 0 && b->Polygons[k].Colour < 16);
            for (const auto& v : b->Polygons[k].Vertices)
                EXPECT_TRUE(std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]));
        }
    }
}

} // namespace
