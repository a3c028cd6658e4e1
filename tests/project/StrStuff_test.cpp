#include "project/StrStuff.h"

#include <gtest/gtest.h>

namespace {

TEST(StrStuff, SplitWords)
{
    const struct {
        std::string text, separator;
        std::vector<std::string> words;
    } cases[] = {
        {"a:b:c", ":", {"a", "b", "c"}},
        {"a::b", ":", {"a", "b"}},
        {":a:", ":", {"a"}},
        {"12.5 , 7 ", ",", {"12.5", "7"}},
        {"1,\r,2\r\n", ",", {"1", "2"}},
        {"x\a y,z", ",", {"x y", "z"}},
        {"", ",", {}},
        {" , ,", ",", {}},
        {"one two", ",", {"one two"}},
        {"camera:0.5:\t100 ", ":", {"camera", "0.5", "100"}},
        // A longer separator is found as a whole; the next word starts one character after it.
        {"a--b", "--", {"a", "-b"}},
        {"a b", "", {"a b"}},
    };
    for (const auto& c : cases) {
        const auto words = SplitWords(c.text, c.separator);
        ASSERT_NE(words, nullptr);
        EXPECT_EQ(*words, c.words) << '"' << c.text << '"';
    }
}

TEST(StrStuff, TrimAndDelete)
{
    EXPECT_EQ(TrimWord(" \t\x01 ab c\r\n "), "ab c");
    EXPECT_EQ(TrimWord("   "), "");
    EXPECT_EQ(TrimWord("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9"); // bytes above 127 are not blanks
    EXPECT_EQ(DeleteChar("a,b,,c", ','), "abc");
    EXPECT_EQ(DeleteChar("abc", 'x'), "abc");
}

TEST(StrStuff, CutShortStringKeepsWholeCharacters)
{
    EXPECT_EQ(CutShortString(std::string(300, 'a')).size(), 255u);
    EXPECT_EQ(CutShortString("short"), "short");
    // 254 ASCII bytes then a two-byte character: the character does not fit and is dropped whole.
    const std::string s = std::string(254, 'a') + "\xC3\xA9" + "b";
    EXPECT_EQ(CutShortString(s), std::string(254, 'a'));
    EXPECT_EQ(CutShortString("\xE2\x82\xAC\xE2\x82\xAC", 4), "\xE2\x82\xAC");
}

TEST(StrStuff, FileInDirectoryWithOrWithoutTheSeparator)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/data/plants", "/data/plants/oak.ls"},
        {"/data/plants/", "/data/plants/oak.ls"},
        {"C:\\Plants\\", "C:\\Plants\\oak.ls"},
        {"C:\\Plants", "C:\\Plants/oak.ls"},
        {"", "oak.ls"},
    };
    for (const auto& [folder, path] : cases)
        EXPECT_EQ(FileInDirectory(folder, "oak.ls"), path) << folder;
}

} // namespace
