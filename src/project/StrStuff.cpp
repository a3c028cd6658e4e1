#include "project/StrStuff.h"

#include "project/Messages.h"

#include <algorithm>
#include <new>

namespace {

std::string CleanWord(const std::string& candidate)
{
    std::string w = TrimWord(candidate);
    w = DeleteChar(w, '\x07');
    w = DeleteChar(w, '\r');
    w = DeleteChar(w, '\n');
    return w;
}

} // namespace

std::unique_ptr<TStringList> SplitWords(const std::string& text, const std::string& separator)
{
    try {
        auto list = std::make_unique<TStringList>();
        // Texts are cut at a zero character, as files holding one are not text.
        const std::string source = text.substr(0, text.find('\0'));
        const std::string sep = separator.substr(0, separator.find('\0'));
        auto add = [&list](const std::string& candidate) {
            std::string w = CleanWord(candidate);
            if (!w.empty())
                list->push_back(std::move(w));
        };
        if (source.empty())
            return list;
        if (sep.empty()) {
            add(source);
            return list;
        }
        size_t start = 0;
        while (start < source.size()) {
            const size_t at = source.find(sep, start);
            if (at == std::string::npos) {
                add(source.substr(start));
                break;
            }
            add(source.substr(start, at - start));
            // The search resumes one character after the start of the occurrence.
            start = at + 1;
        }
        return list;
    } catch (const std::bad_alloc&) {
        ShowError("Error Allocating Memory for String Buffer.");
        return nullptr;
    }
}

std::string DeleteChar(const std::string& text, char c)
{
    std::string out = text;
    out.erase(std::remove(out.begin(), out.end(), c), out.end());
    return out;
}

std::string TrimWord(const std::string& text)
{
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

std::string CutShortString(const std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t n = maxBytes;
    // Step back over continuation bytes so the cut falls before a character's first byte.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}

std::string FileInDirectory(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    return folder + '/' + name;
}
