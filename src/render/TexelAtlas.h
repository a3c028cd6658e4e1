#pragma once
// TTexelAtlas: many small square textures (sides 2 .. 32) packed into one large RGB texture, so
// that thousands of sub-quads share one upload and one draw call instead of one texture each.
//
// Each slot is its texels plus a one-texel ring that repeats the outermost texels. Texture
// coordinates 0 .. 1 of a slot map onto its texels exactly as they would onto a texture of their
// own with clamping and nearest sampling: the coordinate 1.0, and anything a rasteriser rounds a
// little beyond the slot, lands on the ring, which holds the same texel clamping would pick.
//
// Slots are packed on shelves, one open shelf per side; a shelf is as high as its slots. Pure
// memory: no OpenGL here, the caller uploads Data() and draws.
#include <cstddef>
#include <cstdint>
#include <vector>

class TTexelAtlas {
public:
    static constexpr int Width = 2048;
    static constexpr int Height = 2048;
    static constexpr int MaxSide = 32;

    TTexelAtlas() = default;
    TTexelAtlas(const TTexelAtlas&) = default;
    TTexelAtlas(TTexelAtlas&&) noexcept = default;
    TTexelAtlas& operator=(const TTexelAtlas&) = default;
    TTexelAtlas& operator=(TTexelAtlas&&) noexcept = default;
    // The texel memory is kept for the next atlas.
    ~TTexelAtlas();

    // Texel memory is large (12 MiB an atlas) and slow to touch for the first time: count atlases'
    // worth is made ahead (on any thread) and kept until atlases need it; an atlas that goes gives
    // its memory back. At most SpareMemory atlases' worth is kept.
    static constexpr int SpareMemory = 2;
    static void PrepareMemory(int count);
    // Forgets the memory kept (new atlases make their own, as in a fresh process).
    static void ReleasePreparedMemory();

    struct TSlot {
        int X = 0, Y = 0; // lower left texel of the slot's ring
        int Side = 0;     // texels per side, without the ring
    };

    // A free slot of side texels (2 .. MaxSide); false when the atlas has no room left (or the side
    // is out of range). The first call allocates the texel memory.
    bool Allocate(int side, TSlot& slot);
    // Texel (row, column) of the slot, row and column in 0 .. Side - 1: three bytes R, G, B.
    uint8_t* Texel(const TSlot& slot, int row, int column)
    {
        return texels_.data() + (static_cast<size_t>(slot.Y + 1 + row) * Width + slot.X + 1 + column) * 3;
    }
    // Fills the slot's ring from its outermost texels; call once its texels are written.
    void CloseSlot(const TSlot& slot);
    // Atlas texture coordinates of slot coordinates (s, t), 0 .. 1 across the slot's texels.
    static void TexCoord(const TSlot& slot, float s, float t, float& atlasS, float& atlasT)
    {
        atlasS = (static_cast<float>(slot.X + 1) + s * static_cast<float>(slot.Side)) / static_cast<float>(Width);
        atlasT = (static_cast<float>(slot.Y + 1) + t * static_cast<float>(slot.Side)) / static_cast<float>(Height);
    }

    // Texel rows 0 .. UsedRows() - 1 hold every slot handed out since the last Reset.
    int UsedRows() const { return usedRows_; }
    bool Empty() const { return usedRows_ == 0; }
    // Forgets every slot (the memory is kept for the next use).
    void Reset();
    // Frees the memory as well (it is not kept for another atlas).
    void Release();
    const uint8_t* Data() const { return texels_.data(); }

private:
    struct TShelf {
        int Y = -1;    // -1: no open shelf for this side
        int NextX = 0;
    };
    static int ClassOf(int side);

    std::vector<uint8_t> texels_;
    TShelf shelves_[6];
    int nextShelfY_ = 0;
    int usedRows_ = 0;
};
