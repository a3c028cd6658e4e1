#pragma once
// Little-endian field-by-field encoding over a memory buffer, for the binary project file.
// Readers check every read against the bytes left and throw EInvalidData instead of reading past
// the end; strings are the 256-byte short strings of the file (a length byte and 255 bytes).
#include "project/TypeDefinition.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Text of a stored string: kept when it is valid UTF-8, otherwise read as Windows-1252.
std::string DecodeStoredText(std::string_view bytes);

class TByteWriter {
public:
    explicit TByteWriter(std::vector<uint8_t>& out) : out_(out) {}

    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v) { Put(v, 2); }
    void I32(int32_t v) { Put(static_cast<uint32_t>(v), 4); }
    void U32(uint32_t v) { Put(v, 4); }
    void F32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        Put(bits, 4);
    }
    void F64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        Put(bits, 8);
    }
    void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
    // A short string: UTF-8 cut to 255 bytes on a character boundary, zero filler.
    void ShortString(const std::string& text);
    // Appends n bytes (zeroed) and returns where they start, for bulk encoders.
    uint8_t* Extend(size_t n)
    {
        size_t at = out_.size();
        out_.resize(at + n);
        return out_.data() + at;
    }
    size_t Size() const { return out_.size(); }

private:
    void Put(uint64_t v, int bytes)
    {
        uint8_t b[8];
        for (int i = 0; i < bytes; ++i)
            b[i] = static_cast<uint8_t>(v >> (8 * i));
        out_.insert(out_.end(), b, b + bytes);
    }
    std::vector<uint8_t>& out_;
};

class TByteReader {
public:
    // failText: the message of the EInvalidData thrown on a short read.
    TByteReader(const uint8_t* data, size_t size, std::string failText)
        : data_(data), size_(size), failText_(std::move(failText))
    {
    }

    uint8_t U8() { return *Take(1); }
    uint16_t U16() { return static_cast<uint16_t>(Get(2)); }
    int32_t I32() { return static_cast<int32_t>(static_cast<uint32_t>(Get(4))); }
    uint32_t U32() { return static_cast<uint32_t>(Get(4)); }
    float F32()
    {
        uint32_t bits = static_cast<uint32_t>(Get(4));
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    double F64()
    {
        uint64_t bits = Get(8);
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    std::string ShortString();
    void Skip(size_t n) { Take(n); }
    // The next n bytes; throws when fewer are left.
    const uint8_t* Take(size_t n)
    {
        if (n > size_ - pos_)
            Fail();
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    // A list count: not negative, at most limit, and count entries of at least minEntryBytes
    // each must fit in the bytes left.
    int32_t Count(size_t minEntryBytes, int32_t limit);
    size_t Remaining() const { return size_ - pos_; }
    size_t Position() const { return pos_; }
    [[noreturn]] void Fail() const { throw EInvalidData(failText_); }

private:
    uint64_t Get(int bytes)
    {
        const uint8_t* p = Take(static_cast<size_t>(bytes));
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= static_cast<uint64_t>(p[i]) << (8 * i);
        return v;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::string failText_;
};
