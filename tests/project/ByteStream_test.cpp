#include "project/ByteStream.h"

#include <gtest/gtest.h>

namespace {

std::string RoundTrip(const std::string& text, std::vector<uint8_t>* bytes = nullptr)
{
    std::vector<uint8_t> out;
    TByteWriter w(out);
    w.ShortString(text);
    if (bytes)
        *bytes = out;
    TByteReader r(out.data(), out.size(), "short");
    return r.ShortString();
}

TEST(ByteStream, ShortStringsAreUtf8CutOnACharacterBoundary)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(RoundTrip("Vallée", &bytes), "Vallée");
    ASSERT_EQ(bytes.size(), 256u);
    EXPECT_EQ(bytes[0], 7);

    std::string accents;
    for (int i = 0; i < 200; ++i)
        accents += "\xC3\xA9"; // 400 bytes
    const std::string cut = RoundTrip(accents, &bytes);
    EXPECT_EQ(bytes[0], 254); // 127 whole characters, never half of one
    EXPECT_EQ(cut, accents.substr(0, 254));
    EXPECT_EQ(RoundTrip(std::string(300, 'a')), std::string(255, 'a'));
}

TEST(ByteStream, StoredBytesThatAreNotUtf8AreWindows1252)
{
    struct Case {
        std::string stored, text;
    } cases[] = {
        {"Caf\xE9", "Caf\xC3\xA9"},
        {"\x80 100", "\xE2\x82\xAC 100"},           // euro sign
        {"\x93quoted\x94", "\xE2\x80\x9Cquoted\xE2\x80\x9D"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"}, // valid UTF-8 stays
        {"\xC3", "\xC3\x83"},                       // a cut sequence is not UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"}, // an encoded surrogate is not either
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeStoredText(c.stored), c.text) << c.stored;
}

TEST(ByteStream, ReadsAreCheckedAgainstTheBytesLeft)
{
    const uint8_t data[] = {1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0x7F, 5, 0, 0, 0};
    TByteReader r(data, sizeof data, "short");
    EXPECT_EQ(r.I32(), 0x04030201);
    EXPECT_THROW(r.Count(1, 1000), EInvalidData); // beyond the limit
    EXPECT_EQ(r.Remaining(), 4u);
    TByteReader r2(data + 8, 4, "short");
    EXPECT_THROW(r2.Count(1, 1000), EInvalidData); // 5 entries do not fit in 0 bytes
    TByteReader r3(data, 3, "short");
    EXPECT_THROW(r3.U32(), EInvalidData);
    const uint8_t negative[] = {0xFF, 0xFF, 0xFF, 0xFF};
    TByteReader r4(negative, 4, "short");
    EXPECT_THROW(r4.Count(0, 1000), EInvalidData);
}

} // namespace
