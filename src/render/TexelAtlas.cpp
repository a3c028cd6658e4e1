#include "render/TexelAtlas.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

constexpr size_t kAtlasBytes = static_cast<size_t>(TTexelAtlas::Width) * TTexelAtlas::Height * 3;

// Texel memory kept for the next atlases, each buffer touched through.
struct TSpareTexels {
    std::mutex Lock;
    std::vector<std::vector<uint8_t>> Buffers;
};

TSpareTexels& SpareTexels()
{
    // Never destroyed: whatever gives memory back at exit finds it still there.
    static TSpareTexels* spare = new TSpareTexels;
    return *spare;
}

// A kept buffer, or an empty one.
std::vector<uint8_t> TakeSpareTexels()
{
    TSpareTexels& spare = SpareTexels();
    const std::lock_guard<std::mutex> hold(spare.Lock);
    if (spare.Buffers.empty())
        return {};
    std::vector<uint8_t> buffer = std::move(spare.Buffers.back());
    spare.Buffers.pop_back();
    return buffer;
}

// Keeps buffer unless enough is kept; true when it was kept.
bool KeepSpareTexels(std::vector<uint8_t>& buffer)
{
    if (buffer.size() != kAtlasBytes)
        return false;
    TSpareTexels& spare = SpareTexels();
    const std::lock_guard<std::mutex> hold(spare.Lock);
    if (spare.Buffers.size() >= static_cast<size_t>(TTexelAtlas::SpareMemory))
        return false;
    spare.Buffers.push_back(std::move(buffer));
    return true;
}

} // namespace

TTexelAtlas::~TTexelAtlas() { KeepSpareTexels(texels_); }

void TTexelAtlas::PrepareMemory(int count)
{
    for (int k = 0; k < count; ++k) {
        {
            TSpareTexels& spare = SpareTexels();
            const std::lock_guard<std::mutex> hold(spare.Lock);
            if (spare.Buffers.size() >= static_cast<size_t>(std::min(count, SpareMemory)))
                return;
        }
        std::vector<uint8_t> buffer(kAtlasBytes, 0);
        if (!KeepSpareTexels(buffer))
            return;
    }
}

void TTexelAtlas::ReleasePreparedMemory()
{
    TSpareTexels& spare = SpareTexels();
    const std::lock_guard<std::mutex> hold(spare.Lock);
    spare.Buffers.clear();
}

int TTexelAtlas::ClassOf(int side)
{
    switch (side) {
    case 2: return 1;
    case 4: return 2;
    case 8: return 3;
    case 16: return 4;
    case 32: return 5;
    default: return -1;
    }
}

bool TTexelAtlas::Allocate(int side, TSlot& slot)
{
    const int k = ClassOf(side);
    if (k < 0)
        return false;
    if (texels_.empty()) {
        // Kept memory still holds another atlas's texels; slots are written whole before they are
        // read, and nothing outside a slot is sampled.
        texels_ = TakeSpareTexels();
        if (texels_.empty())
            texels_.assign(kAtlasBytes, 0);
    }
    const int pitch = side + 2;
    TShelf& shelf = shelves_[k];
    if (shelf.Y < 0 || shelf.NextX + pitch > Width) {
        if (nextShelfY_ + pitch > Height)
            return false;
        shelf.Y = nextShelfY_;
        shelf.NextX = 0;
        nextShelfY_ += pitch;
    }
    slot.X = shelf.NextX;
    slot.Y = shelf.Y;
    slot.Side = side;
    shelf.NextX += pitch;
    if (shelf.Y + pitch > usedRows_)
        usedRows_ = shelf.Y + pitch;
    return true;
}

void TTexelAtlas::CloseSlot(const TSlot& slot)
{
    const int s = slot.Side;
    // Left and right ring columns of every texel row, then the bottom and top rows whole.
    for (int row = 0; row < s; ++row) {
        uint8_t* first = Texel(slot, row, 0);
        uint8_t* last = Texel(slot, row, s - 1);
        std::memcpy(first - 3, first, 3);
        std::memcpy(last + 3, last, 3);
    }
    const size_t rowBytes = static_cast<size_t>(s + 2) * 3;
    uint8_t* bottom = Texel(slot, 0, 0) - 3;
    uint8_t* top = Texel(slot, s - 1, 0) - 3;
    std::memcpy(bottom - static_cast<size_t>(Width) * 3, bottom, rowBytes);
    std::memcpy(top + static_cast<size_t>(Width) * 3, top, rowBytes);
}

void TTexelAtlas::Reset()
{
    for (TShelf& shelf : shelves_)
        shelf = TShelf{};
    nextShelfY_ = 0;
    usedRows_ = 0;
}

void TTexelAtlas::Release()
{
    Reset();
    std::vector<uint8_t>().swap(texels_);
}
