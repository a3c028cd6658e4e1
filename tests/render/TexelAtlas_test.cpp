#include "render/TexelAtlas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct TRect {
    int X0, Y0, X1, Y1; // half-open
};

bool Overlap(const TRect& a, const TRect& b) { return a.X0 < b.X1 && b.X0 < a.X1 && a.Y0 < b.Y1 && b.Y0 < a.Y1; }

// The texel nearest sampling picks at texture coordinate c in a texture of size texels.
int Nearest(double c, int size) { return static_cast<int>(std::floor(c * size)); }

} // namespace

// Mixed sides, handed out until the atlas is full: slots (with their rings) never overlap, stay
// inside the texture and below UsedRows; a full atlas refuses and takes slots again after Reset.
TEST(TexelAtlasTest, SlotsNeverOverlapAndTheAtlasFills)
{
    TTexelAtlas atlas;
    const int sides[] = {2, 32, 4, 4, 16, 8, 2, 32, 2};
    std::vector<TRect> taken;
    TTexelAtlas::TSlot slot;
    int k = 0;
    while (atlas.Allocate(sides[k % 9], slot)) {
        ASSERT_EQ(slot.Side, sides[k % 9]);
        const TRect r{slot.X, slot.Y, slot.X + slot.Side + 2, slot.Y + slot.Side + 2};
        ASSERT_GE(r.X0, 0);
        ASSERT_GE(r.Y0, 0);
        ASSERT_LE(r.X1, TTexelAtlas::Width);
        ASSERT_LE(r.Y1, TTexelAtlas::Height);
        ASSERT_LE(r.Y1, atlas.UsedRows());
        taken.push_back(r);
        ++k;
        ASSERT_LT(k, 1000000);
    }
    // Thousands of sub-quads share one atlas.
    EXPECT_GT(taken.size(), 4000u);
    // Checking every pair is quadratic; neighbours in allocation order and a sample suffice to
    // catch a shelf that is reused or overruns.
    for (size_t i = 0; i < taken.size(); ++i)
        for (size_t j = i + 1; j < std::min(taken.size(), i + 40); ++j)
            ASSERT_FALSE(Overlap(taken[i], taken[j])) << i << " " << j;
    for (size_t i = 0; i < taken.size(); i += 97)
        for (size_t j = i + 1; j < taken.size(); ++j)
            ASSERT_FALSE(Overlap(taken[i], taken[j])) << i << " " << j;

    EXPECT_FALSE(atlas.Allocate(2, slot) && atlas.Allocate(32, slot) && atlas.Allocate(32, slot));
    atlas.Reset();
    EXPECT_TRUE(atlas.Empty());
    EXPECT_TRUE(atlas.Allocate(32, slot));
    for (int bad : {0, 1, 3, 64, -2})
        EXPECT_FALSE(atlas.Allocate(bad, slot)) << bad;
}

// For every side, nearest sampling of the atlas at a slot's coordinates (0 .. 1, the ends
// included) picks the texel that nearest sampling of a texture of its own with clamping picks.
TEST(TexelAtlasTest, SamplingASlotMatchesATextureOfItsOwn)
{
    TTexelAtlas atlas;
    TTexelAtlas::TSlot filler;
    ASSERT_TRUE(atlas.Allocate(8, filler)); // slots away from the origin
    for (int side : {2, 4, 8, 16, 32}) {
        TTexelAtlas::TSlot slot;
        ASSERT_TRUE(atlas.Allocate(side, slot));
        // Each texel gets its own code (row, column, side).
        for (int row = 0; row < side; ++row)
            for (int column = 0; column < side; ++column) {
                uint8_t* t = atlas.Texel(slot, row, column);
                t[0] = static_cast<uint8_t>(row);
                t[1] = static_cast<uint8_t>(column);
                t[2] = static_cast<uint8_t>(side);
            }
        atlas.CloseSlot(slot);
        const int steps = 4 * side;
        for (int a = 0; a <= steps; ++a)
            for (int b = 0; b <= steps; ++b) {
                const float s = static_cast<float>(a) / steps, t = static_cast<float>(b) / steps;
                float as = 0, at = 0;
                TTexelAtlas::TexCoord(slot, s, t, as, at);
                const int x = Nearest(as, TTexelAtlas::Width), y = Nearest(at, TTexelAtlas::Height);
                const uint8_t* got = atlas.Data() + (static_cast<size_t>(y) * TTexelAtlas::Width + x) * 3;
                const int column = std::clamp(Nearest(s, side), 0, side - 1);
                const int row = std::clamp(Nearest(t, side), 0, side - 1);
                ASSERT_EQ(got[0], row) << side << " s=" << s << " t=" << t;
                ASSERT_EQ(got[1], column) << side << " s=" << s << " t=" << t;
                ASSERT_EQ(got[2], side);
            }
    }
}
