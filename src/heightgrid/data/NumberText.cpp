#include "heightgrid/data/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

void AppendPadded(std::string& out, const char* text, size_t len, int width)
{
    if (width > 0 && len < size_t(width))
        out.append(size_t(width) - len, ' ');
    out.append(text, len);
}

} // namespace

void AppendDefaultReal(std::string& out, double value)
{
    if (std::isnan(value)) {
        AppendPadded(out, "Nan", 3, 23);
        return;
    }
    if (std::isinf(value)) {
        AppendPadded(out, value > 0 ? "+Inf" : "-Inf", 4, 23);
        return;
    }
    char buf[64];
    // 15 significant digits, e.g. "1.00000000000000e+02" or "-1.00100000000000e+03".
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    const char* p = buf;
    const char* end = res.ptr;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    const char* e = static_cast<const char*>(std::memchr(p, 'e', size_t(end - p)));
    if (!e)
        return; // cannot happen with scientific format
    out.push_back(negative && value != 0.0 ? '-' : ' ');
    out.append(p, size_t(e - p));
    out.push_back('E');
    const char sign = e[1];
    int exponent = 0;
    std::from_chars(e + 2, end, exponent);
    out.push_back(sign == '-' ? '-' : '+');
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", exponent);
    out.append(digits);
}

std::string FormatDefaultReal(double value)
{
    std::string s;
    AppendDefaultReal(s, value);
    return s;
}

void AppendReal(std::string& out, double value, int width, int decimals)
{
    if (!std::isfinite(value)) {
        const char* t = std::isnan(value) ? "Nan" : (value > 0 ? "+Inf" : "-Inf");
        AppendPadded(out, t, std::strlen(t), width);
        return;
    }
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    size_t len = size_t(res.ptr - buf);
    const char* p = buf;
    // "-0.00": a value that rounds to zero is written without its sign.
    if (buf[0] == '-' && std::strspn(buf + 1, "0.") == len - 1) {
        ++p;
        --len;
    }
    AppendPadded(out, p, len, width);
}

std::string FormatReal(double value, int width, int decimals)
{
    std::string s;
    AppendReal(s, value, width, decimals);
    return s;
}

void AppendInt(std::string& out, int64_t value, int width)
{
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    AppendPadded(out, buf, size_t(res.ptr - buf), width);
}

void AppendNTFField(std::string& out, int value)
{
    if (value < -999)
        value = -999;
    if (value > 9999)
        value = 9999;
    char buf[8];
    if (value < 0)
        std::snprintf(buf, sizeof buf, "-%03d", -value);
    else
        std::snprintf(buf, sizeof buf, "%04d", value);
    out.append(buf, 4);
}

std::optional<int32_t> RoundToInt(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value);
    if (r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<int32_t>(r);
}

std::optional<int32_t> TruncToInt(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::trunc(value);
    if (r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<int32_t>(r);
}

int32_t RoundClamped(double value, int32_t lo, int32_t hi)
{
    if (std::isnan(value))
        return lo;
    const double r = std::nearbyint(value);
    if (r <= double(lo))
        return lo;
    if (r >= double(hi))
        return hi;
    return static_cast<int32_t>(r);
}

bool IsBlankChar(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimBlanks(std::string_view text)
{
    size_t b = 0, e = text.size();
    while (b < e && IsBlankChar(text[b]))
        ++b;
    while (e > b && IsBlankChar(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

std::optional<double> ParseReal(std::string_view text, bool comma)
{
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 64)
        return std::nullopt;
    // Normalise into a buffer that from_chars accepts: no '+', '.' as the point, 'e' exponent.
    char buf[72];
    size_t n = 0;
    size_t i = 0;
    if (text[0] == '+' || text[0] == '-') {
        if (text[0] == '-')
            buf[n++] = '-';
        ++i;
    }
    bool digits = false, point = false, exponent = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            buf[n++] = c;
        } else if ((c == '.' || (comma && c == ',')) && !point && !exponent) {
            point = true;
            buf[n++] = '.';
        } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && digits && !exponent) {
            exponent = true;
            buf[n++] = 'e';
            if (i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-')) {
                buf[n++] = text[++i];
            }
            if (i + 1 >= text.size())
                return std::nullopt; // exponent without digits
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    double v = 0;
    auto res = std::from_chars(buf, buf + n, v);
    if (res.ec != std::errc() || res.ptr != buf + n || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int64_t> ParseInt(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.empty())
        return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i >= text.size())
        return std::nullopt;
    int64_t v = 0;
    auto res = std::from_chars(text.data() + i, text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size())
        return std::nullopt;
    return negative ? -v : v;
}
