#include "render/rrColors.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kEpsilon = 1e-08;

// Corners of the colour hexagon in the signed space -1 .. 1: red, yellow, green, cyan, blue, magenta.
constexpr double kCorners[6][3] = {
    {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1},
};

void CheckComponent(double value, const char* conversion, const char* name)
{
    // Written so that NaN fails too: it would otherwise index the corner table with garbage.
    if (!(value >= 0.0 && value <= 1.0))
        throw EColorConv(std::string(conversion) + ": 0 <= " + name + " value <= 1 required");
}

} // namespace

void HLSToRGB(const TColorTriple& HLS, TColorTriple& RGB)
{
    const double h = HLS[0], l = HLS[1], s = HLS[2];
    CheckComponent(h, "HLS2RGB", "Hue");
    CheckComponent(l, "HLS2RGB", "Luminance");
    CheckComponent(s, "HLS2RGB", "Saturation");
    const double sixH = 6.0 * h;
    const double whole = std::trunc(sixH);
    const int i = static_cast<int>(whole) % 6;
    const int j = (i + 1) % 6;
    const double f = sixH - whole;
    for (int k = 0; k < 3; ++k) {
        double c = (kCorners[i][k] + (kCorners[j][k] - kCorners[i][k]) * f) * s;
        c = l <= 0.5 ? (c + 1.0) * l : (1.0 - l) * c + l;
        RGB[static_cast<size_t>(k)] = std::clamp(c, 0.0, 1.0);
    }
}

void RGBToHLS(const TColorTriple& RGB, TColorTriple& HLS)
{
    CheckComponent(RGB[0], "RGB2HLS", "Red");
    CheckComponent(RGB[1], "RGB2HLS", "Green");
    CheckComponent(RGB[2], "RGB2HLS", "Blue");
    const double r = RGB[0], g = RGB[1], b = RGB[2];
    const double largest = std::max({std::fabs(2 * r - 1), std::fabs(2 * g - 1), std::fabs(2 * b - 1)});
    if (largest < kEpsilon) {
        HLS = {0.0, 0.5, 0.0};
        return;
    }
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    const double spread = mx - mn;
    const double l = (mx + mn) / 2.0;
    if (spread < kEpsilon) {
        HLS = {0.0, l, 0.0};
        return;
    }
    // Forward: spread = 2 S L below mid lightness, 2 S (1 - L) above it.
    const double s = l <= 0.5 ? spread / (mx + mn) : spread / (2.0 - mx - mn);
    // Hexagon sector from the largest channel; the position along the edge from the other two.
    double sector;
    if (mx - r < kEpsilon)
        sector = (g - b) / spread;        // red .. yellow, or magenta .. red (negative)
    else if (mx - g < kEpsilon)
        sector = 2.0 + (b - r) / spread;  // yellow .. green .. cyan
    else
        sector = 4.0 + (r - g) / spread;  // cyan .. blue .. magenta
    if (sector < 0.0)
        sector += 6.0;
    double h = sector / 6.0;
    if (h >= 1.0)
        h -= 1.0;
    HLS = {std::clamp(h, 0.0, 1.0), std::clamp(l, 0.0, 1.0), std::clamp(s, 0.0, 1.0)};
}
