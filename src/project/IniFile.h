#pragma once
// INI text files: "[Section]" lines followed by "Key=Value" lines. Section and key lookup ignores
// case; writing keeps the order and the other lines of an existing file, replaces a key's value
// where it stands or adds the key at the end of its section (a new section at the end of the
// file). Reals are written with '.', read with '.' or ','. A missing key gives the default.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct TFloatColor;

class TIniFile {
public:
    TIniFile() = default;
    // Text as read from a file: UTF-8 (an optional byte-order mark is dropped), or
    // Windows-1252 when it is not valid UTF-8.
    explicit TIniFile(std::string_view text) { Parse(text); }
    void Parse(std::string_view text);
    std::string Text() const;

    // A missing file reads as empty and succeeds; false (with error) when it cannot be read.
    bool LoadFromFile(const std::string& fileName, std::string* error = nullptr);
    // Writes the whole text at once through a temporary file beside the target.
    bool SaveToFile(const std::string& fileName, std::string* error = nullptr) const;

    bool SectionExists(std::string_view section) const;
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
    // Decimal, or hexadecimal with a leading 0x; anything else gives the default.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
    double ReadFloat(std::string_view section, std::string_view key, double def) const;
    // Any integer other than 0 is true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int64_t value);
    // Up to 15 significant digits, '.' as the decimal separator.
    void WriteFloat(std::string_view section, std::string_view key, double value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

private:
    struct Line {
        std::string raw;     // the line as it stands (without its line break)
        std::string section; // for a section header: its name
        std::string key;     // for a key line: its key (trimmed)
        std::string value;   // for a key line: its value (trimmed, quotes removed)
        enum Kind { Other, Section, Key } kind = Other;
    };
    int FindSection(std::string_view section) const;
    int FindKey(std::string_view section, std::string_view key) const;
    void Index() const;
    std::vector<Line> lines_;
    std::string eol_ = "\n";
    // Lookup index (lower-case names to line numbers), rebuilt after the lines change.
    mutable bool indexed_ = false;
    mutable std::unordered_map<std::string, int> sections_;
    mutable std::unordered_map<std::string, int> keys_; // "<section>\n<key>"
    mutable int lastSection_ = -1;
};

// Text helpers shared by the INI readers and the animation scripts.
// A real in '.' or ',' notation (surrounding blanks allowed); nullopt when it is not a finite
// number.
std::optional<double> ParseReal(std::string_view text);
// A decimal integer (or hexadecimal with 0x when allowHex) within the 32-bit range.
std::optional<int32_t> ParseInteger(std::string_view text, bool allowHex);
// Shortest text of up to 15 significant digits, '.' as the decimal separator.
std::string FormatReal(double value);
