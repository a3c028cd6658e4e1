#pragma once
// The L-system plant parser: reads a plant file, expands its rules and turns the result into
// triangles with a 3D turtle. getLParserData is the one entry point the plant renderer calls; the
// buffer layout is fixed byte for byte.
//
// File syntax (text; '#' starts a comment that runs to the end of the line; blank lines skipped):
//   line 1  recursion depth (integer, 0 .. 16; fewer generations are used when the result would
//           not fit the buffer or the size limit)
//   line 2  turning angle in degrees
//   line 3  branch thickness, percent of the segment length
//   line 4  axiom
//   then    rules "P=successor", P a single symbol; several rules for one symbol are chosen
//           among at random, per symbol and generation, from the seed; "@" ends the rules.
// Turtle symbols (the turtle starts at the origin heading up the third axis, length 1):
//   F G  segment forward (two crossed ribbons)     f g  move forward without drawing
//   + -  turn left / right       & ^  pitch down / up      \ /  roll left / right    |  turn around
//   [ ]  push / pop the turtle   !    thickness x 0.7      "    length x 0.8
//   '    next colour (of 16)     ~    a leaf               { . }  polygon: '.' records a vertex
//   any other symbol is a variable the turtle ignores.
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int32_t kLParserMaxPolygons = 32768;

// One triangle: a colour index (0 .. 15 into the plant's palette) and three vertices x, y, z; the
// third coordinate is the height.
struct TLParserPolygon {
    int32_t Colour;
    float Vertices[3][3];
};

// The exact memory block filled by the parser (little-endian on every platform we build for).
struct TLParserBuffer {
    int32_t Count;  // 0 .. kLParserMaxPolygons
    float Lowest;   // lowest third coordinate over all vertices
    float Highest;  // highest third coordinate
    TLParserPolygon Polygons[kLParserMaxPolygons];
};
static_assert(sizeof(TLParserPolygon) == 40);
static_assert(offsetof(TLParserBuffer, Polygons) == 12);
static_assert(sizeof(TLParserBuffer) == 1310732);

// Largest plant file read, and the longest expanded symbol string.
constexpr std::size_t kLSystemMaxFileBytes = std::size_t(1) << 20;
constexpr std::size_t kLSystemMaxExpanded = std::size_t(1) << 21;

// Reads the file (when the name as given does not exist, the name + ".ls"), expands it with the
// seed choosing among stochastic rules, and fills buffer. False, with Count 0, when the file is
// missing, unreadable, too large, malformed or grows no polygon. `reserved` must be 0.
bool getLParserData(const char* fileName, int32_t seed, int32_t reserved, TLParserBuffer* buffer);

// The same on the text of a file.
bool LParseText(const std::string& text, int32_t seed, TLParserBuffer& buffer);

// Whether the seed can change what the text grows: some symbol has more than one rule. When not,
// every seed fills the buffer alike.
bool LSystemUsesSeed(const std::string& text);
