#pragma once
// Splitting lines of text into words (script values, text height files) and short-string helpers.
#include <memory>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// The words of `text` between occurrences of the whole `separator` text, each trimmed and cleaned
// of characters 7, 13 and 10; empty words are dropped. An empty separator gives the one cleaned word.
// Returns nullptr only when memory runs out (after showing a message).
std::unique_ptr<TStringList> SplitWords(const std::string& text, const std::string& separator);
// `text` with every occurrence of `c` removed.
std::string DeleteChar(const std::string& text, char c);
// `text` without leading and trailing characters whose code is 32 or less.
std::string TrimWord(const std::string& text);

// UTF-8 text cut to at most `maxBytes` bytes without splitting a character (short strings hold 255).
std::string CutShortString(const std::string& text, size_t maxBytes = 255);

// A file `name` in `folder` as the user typed the folder: with or without a trailing separator
// ('/' or '\\'); an empty folder gives the name alone.
std::string FileInDirectory(const std::string& folder, const std::string& name);
