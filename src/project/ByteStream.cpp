#include "project/ByteStream.h"

#include "project/StrStuff.h"

#include <algorithm>

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
size_t Utf8SequenceLength(std::string_view s, size_t i)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    if (c < 0x80)
        return 1;
    size_t n;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool IsValidUtf8(std::string_view s)
{
    for (size_t i = 0; i < s.size();) {
        size_t n = Utf8SequenceLength(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 code points of the bytes 0x80..0x9F (the five unassigned ones map to themselves).
const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

std::string DecodeStoredText(std::string_view bytes)
{
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        auto c = static_cast<unsigned char>(ch);
        AppendUtf8(out, c >= 0x80 && c <= 0x9F ? kCp1252High[c - 0x80] : c);
    }
    return out;
}

void TByteWriter::ShortString(const std::string& text)
{
    std::string cut = CutShortString(text, 255);
    uint8_t* p = Extend(256);
    p[0] = static_cast<uint8_t>(cut.size());
    std::memcpy(p + 1, cut.data(), cut.size());
}

std::string TByteReader::ShortString()
{
    const uint8_t* p = Take(256);
    return DecodeStoredText(std::string_view(reinterpret_cast<const char*>(p + 1), p[0]));
}

void TByteReader::Refill(size_t n)
{
    if (!source_ || n > Remaining())
        Fail();
    // Keep the unread rest of the window, then fill up from the source.
    const uint8_t* rest = data_ + pos_;
    const size_t left = size_ - pos_;
    base_ += pos_;
    pos_ = 0;
    const size_t window = static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(n, size_t(1) << 20), Remaining()));
    if (buffer_.size() < window) {
        std::vector<uint8_t> bigger(window);
        if (left > 0)
            std::memcpy(bigger.data(), rest, left);
        buffer_.swap(bigger);
    } else if (left > 0) {
        std::memmove(buffer_.data(), rest, left);
    }
    data_ = buffer_.data();
    size_ = left;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), Remaining()));
    while (size_ < want) {
        const size_t got = source_(buffer_.data() + size_, want - size_);
        if (got == 0)
            break;
        size_ += got;
    }
    if (size_ < n)
        Fail();
}

int32_t TByteReader::Count(size_t minEntryBytes, int32_t limit)
{
    int32_t n = I32();
    if (n < 0 || n > limit)
        Fail();
    if (minEntryBytes > 0 && static_cast<uint64_t>(n) * minEntryBytes > Remaining())
        Fail();
    return n;
}
