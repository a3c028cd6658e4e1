// Splits arbitrary text the way script values and text height files are split, and checks that
// every word is cleaned (no blanks at its ends, no bell, CR or LF) and none is empty; also feeds
// the bytes to the numeric helpers that take values read from files.
#include "project/MathUtils.h"
#include "project/StrStuff.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string separator = (data[0] & 1) ? ":" : ",";
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto words = SplitWords(text, separator);
    if (!words)
        std::abort();
    for (const std::string& w : *words) {
        if (w.empty() || static_cast<unsigned char>(w.front()) <= 32 || static_cast<unsigned char>(w.back()) <= 32)
            std::abort();
        if (w.find_first_of("\a\r\n") != std::string::npos)
            std::abort();
    }
    (void)CutShortString(text, data[0]);
    if (size >= 1 + 2 * sizeof(double)) {
        double a, b;
        std::memcpy(&a, data + 1, sizeof a);
        std::memcpy(&b, data + 1 + sizeof a, sizeof b);
        try {
            (void)Round(a);
            (void)Trunc(b);
        } catch (const ERangeError&) {
        }
        const float t = TableNoise(static_cast<float>(a), static_cast<float>(b));
        if (!(t >= 0.0f && t <= 1.0f))
            std::abort();
    }
    return 0;
}
