#pragma once
// Conversion between red-green-blue and hue-lightness-saturation, every component 0 .. 1. The
// plant renderer varies hue and lightness of plant colours through it.
#include <array>
#include <stdexcept>
#include <string>

using TColorTriple = std::array<double, 3>; // (red, green, blue) or (hue, lightness, saturation)

// A component outside 0 .. 1 (or not a number) was handed to a conversion.
class EColorConv : public std::runtime_error {
public:
    explicit EColorConv(const std::string& message) : std::runtime_error(message) {}
};

// H = 0, L = 0.5, S = 1 is pure red; L = 0 black and L = 1 white for any H and S; S = 0 grey.
void HLSToRGB(const TColorTriple& HLS, TColorTriple& RGB);
// The inverse of HLSToRGB (within 1e-8); hue in 0 .. 1 (below 1), greys give hue 0 and saturation 0.
void RGBToHLS(const TColorTriple& RGB, TColorTriple& HLS);
