#pragma once
// Little-endian field-by-field encoding over a memory buffer, for the binary project file.
// Readers check every read against the bytes left and throw EInvalidData instead of reading past
// the end; strings are the 256-byte short strings of the file (a length byte and 255 bytes).
#include "project/TypeDefinition.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Text of a stored string: kept when it is valid UTF-8, otherwise read as Windows-1252.
std::string DecodeStoredText(std::string_view bytes);

// Where a streaming writer sends its full buffers; throws to stop the encoding.
using TByteSink = std::function<void(const uint8_t* data, size_t size)>;

class TByteWriter {
public:
    // Collects everything in out.
    explicit TByteWriter(std::vector<uint8_t>& out) : out_(out) {}
    // Streams: whenever out holds at least chunk bytes at a checkpoint, they go to sink.
    TByteWriter(std::vector<uint8_t>& out, TByteSink sink, size_t chunk = size_t(1) << 20)
        : out_(out), sink_(std::move(sink)), chunk_(chunk)
    {
        out_.reserve(chunk_ + chunk_ / 2);
    }

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
    // Appends n bytes (zeroed) and returns where they start, for bulk encoders. A checkpoint.
    uint8_t* Extend(size_t n)
    {
        Checkpoint();
        size_t at = out_.size();
        out_.resize(at + n);
        return out_.data() + at;
    }
    // Lets a streaming writer pass on what it holds.
    void Checkpoint()
    {
        if (sink_ && out_.size() >= chunk_)
            Drain();
    }
    // Passes on everything still held (streaming writers only).
    void Finish()
    {
        if (sink_ && !out_.empty())
            Drain();
    }
    // Bytes written so far.
    uint64_t Size() const { return drained_ + out_.size(); }

private:
    void Drain()
    {
        sink_(out_.data(), out_.size());
        drained_ += out_.size();
        out_.clear();
    }
    void Put(uint64_t v, int bytes)
    {
        uint8_t b[8];
        for (int i = 0; i < bytes; ++i)
            b[i] = static_cast<uint8_t>(v >> (8 * i));
        out_.insert(out_.end(), b, b + bytes);
    }
    std::vector<uint8_t>& out_;
    TByteSink sink_;
    size_t chunk_ = 0;
    uint64_t drained_ = 0;
};

// Where a streaming reader gets more bytes: fills up to size bytes and returns how many it
// delivered (0 only at the end); throws when the bytes cannot be read.
using TByteSource = std::function<size_t(uint8_t* data, size_t size)>;

class TByteReader {
public:
    // Reads bytes in memory. failText: the message of the EInvalidData thrown on a short read.
    TByteReader(const uint8_t* data, size_t size, std::string failText)
        : data_(data), size_(size), total_(size), failText_(std::move(failText))
    {
    }
    // Reads totalSize bytes from source, a window at a time.
    TByteReader(TByteSource source, uint64_t totalSize, std::string failText)
        : total_(totalSize), source_(std::move(source)), failText_(std::move(failText))
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
    // The next n bytes, valid until the next read; throws when fewer are left.
    const uint8_t* Take(size_t n)
    {
        if (n > size_ - pos_)
            Refill(n);
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    // A list count: not negative, at most limit, and count entries of at least minEntryBytes
    // each must fit in the bytes left.
    int32_t Count(size_t minEntryBytes, int32_t limit);
    uint64_t Remaining() const { return total_ - base_ - pos_; }
    [[noreturn]] void Fail() const { throw EInvalidData(failText_); }

private:
    void Refill(size_t n);
    uint64_t Get(int bytes)
    {
        const uint8_t* p = Take(static_cast<size_t>(bytes));
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= static_cast<uint64_t>(p[i]) << (8 * i);
        return v;
    }
    const uint8_t* data_ = nullptr; // the current window
    size_t size_ = 0;               // bytes in the window
    size_t pos_ = 0;                // read position in the window
    uint64_t base_ = 0;             // bytes consumed before the window
    uint64_t total_;
    TByteSource source_;
    std::vector<uint8_t> buffer_;
    std::string failText_;
};
