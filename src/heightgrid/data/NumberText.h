#pragma once
// Locale-independent number texts of the height-data files, and checked conversions.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The default real text: 23 characters, a blank or minus sign, one digit, a point, 14 digits,
// "E", the exponent's sign and four digits (100.0 gives " 1.00000000000000E+0002").
std::string FormatDefaultReal(double value);
void AppendDefaultReal(std::string& out, double value);

// real:w:d: fixed notation with d decimals, right-aligned with blanks to w characters.
std::string FormatReal(double value, int width, int decimals);
void AppendReal(std::string& out, double value, int width, int decimals);

// Decimal integer, minus sign for negatives; right-aligned to `width` with blanks.
void AppendInt(std::string& out, int64_t value, int width = 0);

// Exactly four characters for the fixed-width fields of NTF records: zero-padded (5 -> "0005",
// -5 -> "-005"); the value must lie in -999 to 9999.
void AppendNTFField(std::string& out, int value);

// Round to nearest, halves to even; nullopt for NaN, infinities and values outside int32.
std::optional<int32_t> RoundToInt(double value);
// Drop the fraction; nullopt as above.
std::optional<int32_t> TruncToInt(double value);
// Round to nearest (halves to even) and clamp into [lo, hi]; NaN gives lo.
int32_t RoundClamped(double value, int32_t lo, int32_t hi);

// A whole text as a real number: optional sign, digits with an optional fraction ('.' or, when
// `comma` is set, ','), optional exponent ("E" or "D"); leading and trailing blanks allowed.
std::optional<double> ParseReal(std::string_view text, bool comma = false);
// A whole text as an integer (optional sign), blanks around allowed.
std::optional<int64_t> ParseInt(std::string_view text);

bool IsBlankChar(char c); // codes 0 to 32
std::string_view TrimBlanks(std::string_view text);
