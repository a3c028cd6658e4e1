#include "project/IniFile.h"

#include "project/ByteStream.h"
#include "project/SafeFile.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::optional<double> ParseReal(std::string_view text)
{
    std::string s(Trim(text));
    if (!s.empty() && s.front() == '+')
        s.erase(0, 1);
    if (s.empty())
        return std::nullopt;
    for (char& c : s)
        if (c == ',')
            c = '.';
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int32_t> ParseInteger(std::string_view text, bool allowHex)
{
    std::string_view s = Trim(text);
    if (allowHex && s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        uint32_t v = 0;
        auto [end, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), v, 16);
        if (ec != std::errc() || end != s.data() + s.size())
            return std::nullopt;
        return static_cast<int32_t>(v);
    }
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    int32_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

std::string FormatReal(double value)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (ec != std::errc())
        return "0";
    return std::string(buf, end);
}

void TIniFile::Parse(std::string_view raw)
{
    indexed_ = false;
    lines_.clear();
    eol_.assign(1, '\n'); // assigning the literal makes GCC 12 warn falsely of an overlapping copy
    if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF")
        raw.remove_prefix(3);
    const std::string text = DecodeStoredText(raw);
    lines_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    size_t start = 0;
    bool sawCrLf = false;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            sawCrLf = true;
        }
        Line l;
        l.raw = std::string(line);
        std::string_view t = Trim(line);
        if (!t.empty() && t.front() == '[') {
            size_t close = t.find(']');
            l.kind = Line::Section;
            l.section = std::string(Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
        } else if (!t.empty() && t.front() != ';') {
            size_t eq = t.find('=');
            if (eq != std::string_view::npos) {
                l.kind = Line::Key;
                l.key = std::string(Trim(t.substr(0, eq)));
                std::string_view v = Trim(t.substr(eq + 1));
                if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                    v = v.substr(1, v.size() - 2);
                l.value = std::string(v);
            }
        }
        lines_.push_back(std::move(l));
        start = end + 1;
    }
    if (sawCrLf)
        eol_ = "\r\n";
}

std::string TIniFile::Text() const
{
    std::string out;
    for (const Line& l : lines_) {
        out += l.raw;
        out += eol_;
    }
    return out;
}

bool TIniFile::LoadFromFile(const std::string& fileName, std::string* error)
{
    QFile file(QString::fromStdString(fileName));
    if (!file.exists()) {
        lines_.clear();
        indexed_ = false;
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString().toStdString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    Parse(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    return true;
}

bool TIniFile::SaveToFile(const std::string& fileName, std::string* error) const
{
    const std::string text = Text();
    std::string reason;
    if (!WriteFileAtomically(fileName, text.data(), text.size(), reason)) {
        if (error)
            *error = reason;
        return false;
    }
    return true;
}

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Index key of a key line: the section's and the key's names, lower case.
std::string KeyOf(std::string_view section, std::string_view key) { return Lower(section) + '\n' + Lower(key); }

} // namespace

void TIniFile::Index() const
{
    if (indexed_)
        return;
    sections_.clear();
    keys_.clear();
    lastSection_ = -1;
    // Only the first section of a name counts, and the first of equal keys in it.
    const std::string* section = nullptr;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (l.kind == Line::Section) {
            lastSection_ = static_cast<int>(i);
            section = sections_.emplace(Lower(l.section), static_cast<int>(i)).second ? &l.section : nullptr;
        } else if (l.kind == Line::Key && section) {
            keys_.emplace(KeyOf(*section, l.key), static_cast<int>(i));
        }
    }
    indexed_ = true;
}

namespace {

void AppendLower(std::string& out, std::string_view s)
{
    for (char c : s)
        out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

int TIniFile::FindSection(std::string_view section) const
{
    Index();
    probe_.clear();
    AppendLower(probe_, section);
    auto it = sections_.find(std::string_view(probe_));
    return it == sections_.end() ? -1 : it->second;
}

int TIniFile::FindKey(std::string_view section, std::string_view key) const
{
    Index();
    probe_.clear();
    AppendLower(probe_, section);
    probe_ += '\n';
    AppendLower(probe_, key);
    auto it = keys_.find(std::string_view(probe_));
    return it == keys_.end() ? -1 : it->second;
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section) >= 0; }

std::optional<std::string> TIniFile::Value(std::string_view section, std::string_view key) const
{
    int k = FindKey(section, key);
    if (k < 0)
        return std::nullopt;
    return lines_[static_cast<size_t>(k)].value;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, const std::string& def) const
{
    auto v = Value(section, key);
    return v ? *v : def;
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const
{
    auto v = Value(section, key);
    if (!v)
        return def;
    auto n = ParseInteger(*v, true);
    return n ? *n : def;
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key, double def) const
{
    auto v = Value(section, key);
    if (!v)
        return def;
    auto x = ParseReal(*v);
    return x ? *x : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    Line l;
    l.kind = Line::Key;
    l.key = std::string(Trim(key));
    l.value = std::string(value);
    // A line break inside a value would end the line early and corrupt the file's structure.
    for (char& c : l.value)
        if (c == '\r' || c == '\n')
            c = ' ';
    int s = FindSection(section);
    if (s < 0) {
        Line header;
        header.kind = Line::Section;
        header.section = std::string(section);
        header.raw = "[" + header.section + "]";
        lines_.push_back(std::move(header));
        s = static_cast<int>(lines_.size()) - 1;
        sections_.emplace(Lower(section), s);
        lastSection_ = s;
    }
    int k = FindKey(section, key);
    if (k >= 0) {
        Line& existing = lines_[static_cast<size_t>(k)];
        existing.value = l.value;
        existing.raw = existing.key + "=" + existing.value;
        return;
    }
    l.raw = l.key + "=" + l.value;
    // After the last key of the section (blank lines and comments that end it stay after it).
    size_t at = static_cast<size_t>(s) + 1;
    Index();
    if (s == lastSection_ && lines_.back().kind != Line::Other) {
        at = lines_.size(); // the common case of a file being written from start to end
    } else {
        for (size_t i = at; i < lines_.size() && lines_[i].kind != Line::Section; ++i)
            if (lines_[i].kind == Line::Key)
                at = i + 1;
    }
    // The index follows: lines after an insertion move down by one.
    if (at < lines_.size()) {
        for (auto& entry : sections_)
            entry.second += entry.second >= static_cast<int>(at) ? 1 : 0;
        for (auto& entry : keys_)
            entry.second += entry.second >= static_cast<int>(at) ? 1 : 0;
        lastSection_ += lastSection_ >= static_cast<int>(at) ? 1 : 0;
    }
    keys_.emplace(KeyOf(section, l.key), static_cast<int>(at));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(l));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int64_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteFloat(std::string_view section, std::string_view key, double value)
{
    WriteString(section, key, FormatReal(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}
