// Feeds arbitrary text to the L-system plant parser and checks the buffer it fills: a count within
// the buffer, finite vertices, colours within the palette, and the height range over the vertices.
#include "platform/LSystem.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const auto buffer = std::make_unique<TLParserBuffer>();
    if (size < 4)
        return 0;
    int32_t seed = 0;
    for (int i = 0; i < 4; ++i) seed = seed << 8 | data[i];
    const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
    const bool ok = LParseText(text, seed, *buffer);
    if (buffer->Count < 0 || buffer->Count > kLParserMaxPolygons || ok != (buffer->Count > 0))
        std::abort();
    for (int k = 0; k < buffer->Count; ++k) {
        const TLParserPolygon& p = buffer->Polygons[k];
        if (p.Colour < 0 || p.Colour > 15)
            std::abort();
        for (const auto& v : p.Vertices)
            if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2]) || v[2] < buffer->Lowest ||
                v[2] > buffer->Highest)
                std::abort();
    }
    return 0;
}
