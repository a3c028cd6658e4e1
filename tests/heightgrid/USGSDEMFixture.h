#pragma once
// USGS DEM files for the tests, written as DEM producers write them: 1024-byte records, six-character
// integers, Fortran D24.15 reals.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace usgsfixture {

inline std::string I6(long v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%6ld", v);
    return b;
}

// Fortran D24.15, the way DEM producers write it.
inline std::string D24(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%24.15E", v);
    std::string s = b;
    s[s.find('E')] = 'D';
    return s;
}

inline std::string E12(double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%12.6E", v);
    return b;
}

inline void Pad(std::string& s, size_t block = 1024)
{
    s.append((block - s.size() % block) % block, ' ');
}

struct TDEMLayout {
    int groundUnits = 2;        // 2 metres, 3 arc-seconds
    double res = 30.0;
    double corner[4][2] = {{500000, 4486140}, {500000, 4500000}, {501170, 4500000}, {501170, 4486140}};
    std::vector<std::vector<long>> profiles; // south end first
};

inline std::string MakeDEM(const TDEMLayout& dem)
{
    std::string a = "synthetic test DEM";
    a.resize(144, ' ');
    a += I6(1) + I6(1) + I6(dem.groundUnits == 3 ? 0 : 1) + I6(17);
    for (int k = 0; k < 15; ++k)
        a += D24(0);
    a += I6(dem.groundUnits) + I6(2) + I6(4);
    for (const auto& c : dem.corner)
        a += D24(c[0]) + D24(c[1]);
    a += D24(0) + D24(1000) + D24(0);
    a += I6(0) + E12(dem.res) + E12(dem.res) + E12(1.0);
    a += I6(1) + I6(long(dem.profiles.size()));
    Pad(a);
    for (size_t c = 0; c < dem.profiles.size(); ++c) {
        const auto& p = dem.profiles[c];
        std::string b = I6(1) + I6(long(c + 1)) + I6(long(p.size())) + I6(1);
        b += D24(dem.corner[0][0] + double(c) * dem.res) + D24(dem.corner[0][1]) + D24(0) + D24(0) + D24(0);
        size_t inBlock = 146;
        for (long v : p) {
            if (inBlock == 0) {
                Pad(b);
                inBlock = 170;
            }
            b += I6(v);
            --inBlock;
        }
        Pad(b);
        a += b;
    }
    return a;
}

inline std::vector<long> Profile(int m, const std::function<long(int)>& f)
{
    std::vector<long> p;
    for (int k = 0; k < m; ++k)
        p.push_back(f(k));
    return p;
}

} // namespace usgsfixture
