#include "platform/LSystem.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace {

constexpr int kMaxDepth = 16;
constexpr std::size_t kMaxRules = 256;
constexpr std::size_t kMaxStack = 1024;
constexpr std::size_t kMaxPolygonVertices = 64;

// Triangles each symbol can produce; the expansion stops before a generation would overflow.
int64_t PolygonCost(char symbol)
{
    switch (symbol) {
    case 'F': case 'G': return 4;
    case '~': return 2;
    case '.': return 1;
    default: return 0;
    }
}

struct TRule {
    char Predecessor = 0;
    std::string Successor;
};

struct TLSystem {
    int Depth = 0;
    double Angle = 0;
    double Thickness = 0;
    std::string Axiom;
    std::vector<TRule> Rules;
};

std::string Trim(const std::string& s)
{
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::string WithoutSpaces(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c))) out.push_back(c);
    return out;
}

// A real with '.' or ',' as the decimal mark; false unless the whole text is one finite number.
bool ParseReal(std::string text, double& value)
{
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty()) return false;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> value;
    if (!in || !std::isfinite(value)) return false;
    in >> std::ws;
    return in.eof();
}

bool Parse(const std::string& text, TLSystem& ls)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = Trim(line);
        if (!line.empty()) lines.push_back(line);
    }
    if (lines.size() < 4) return false;
    double depth = 0;
    if (!ParseReal(lines[0], depth) || !ParseReal(lines[1], ls.Angle) || !ParseReal(lines[2], ls.Thickness))
        return false;
    ls.Depth = static_cast<int>(std::clamp(depth, 0.0, double(kMaxDepth)));
    ls.Thickness = std::clamp(ls.Thickness, 0.0, 1000.0);
    ls.Axiom = WithoutSpaces(lines[3]);
    if (ls.Axiom.size() > kLSystemMaxExpanded) return false;
    for (std::size_t i = 4; i < lines.size(); ++i) {
        const std::string rule = WithoutSpaces(lines[i]);
        if (rule == "@") break;
        if (rule.size() < 2 || rule[1] != '=') return false;
        if (ls.Rules.size() >= kMaxRules) return false;
        ls.Rules.push_back({rule[0], rule.substr(2)});
    }
    return true;
}

// The parser's own generator, so that reading a plant never disturbs the program's shared one.
struct TLocalRandom {
    uint32_t State;
    explicit TLocalRandom(int32_t seed) : State(static_cast<uint32_t>(seed) * 2654435761u + 12345u) {}
    uint32_t Below(uint32_t n)
    {
        State = State * 1664525u + 1013904223u;
        return static_cast<uint32_t>((uint64_t(State) * n) >> 32);
    }
};

// Expands generation by generation; keeps the last generation that fits the limits.
std::string Expand(const TLSystem& ls, int32_t seed)
{
    std::vector<std::vector<const std::string*>> choices(256);
    for (const TRule& r : ls.Rules)
        choices[static_cast<unsigned char>(r.Predecessor)].push_back(&r.Successor);
    TLocalRandom random(seed);
    std::string current = ls.Axiom;
    for (int generation = 0; generation < ls.Depth; ++generation) {
        std::string next;
        int64_t cost = 0;
        bool fits = true;
        for (char c : current) {
            const auto& options = choices[static_cast<unsigned char>(c)];
            const std::string* piece = nullptr;
            if (!options.empty())
                piece = options.size() == 1 ? options[0] : options[random.Below(uint32_t(options.size()))];
            const std::size_t add = piece ? piece->size() : 1;
            if (next.size() + add > kLSystemMaxExpanded) {
                fits = false;
                break;
            }
            if (piece) {
                next += *piece;
                for (char s : *piece) cost += PolygonCost(s);
            } else {
                next.push_back(c);
                cost += PolygonCost(c);
            }
            if (cost > kLParserMaxPolygons) {
                fits = false;
                break;
            }
        }
        if (!fits) break;
        if (next == current) break; // nothing changes any more
        current.swap(next);
    }
    return current;
}

struct TVec {
    double X = 0, Y = 0, Z = 0;
};
TVec operator+(TVec a, TVec b) { return {a.X + b.X, a.Y + b.Y, a.Z + b.Z}; }
TVec operator-(TVec a, TVec b) { return {a.X - b.X, a.Y - b.Y, a.Z - b.Z}; }
TVec operator*(TVec a, double k) { return {a.X * k, a.Y * k, a.Z * k}; }
TVec Cross(TVec a, TVec b) { return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X}; }

// v rotated about the unit axis by the angle (radians).
TVec Rotate(TVec v, TVec axis, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double d = v.X * axis.X + v.Y * axis.Y + v.Z * axis.Z;
    return v * c + Cross(axis, v) * s + axis * (d * (1 - c));
}

TVec Normalised(TVec v, TVec fallback)
{
    const double len = std::sqrt(v.X * v.X + v.Y * v.Y + v.Z * v.Z);
    return len > 1e-12 && std::isfinite(len) ? v * (1.0 / len) : fallback;
}

struct TTurtle {
    TVec Position;
    TVec Heading{0, 0, 1}, Left{1, 0, 0}, Up{0, 1, 0};
    double Length = 1.0;
    double Thickness = 0.1; // fraction of the length
    int Colour = 0;

    // Rounding in thousands of turns would let the frame drift from unit length and grow without
    // bound; it is made orthonormal again after every turn.
    void Orthonormalise()
    {
        Heading = Normalised(Heading, {0, 0, 1});
        const double d = Left.X * Heading.X + Left.Y * Heading.Y + Left.Z * Heading.Z;
        Left = Normalised(Left - Heading * d, std::fabs(Heading.X) < 0.9 ? Normalised(Cross({1, 0, 0}, Heading), {0, 1, 0})
                                                                       : Normalised(Cross({0, 1, 0}, Heading), {1, 0, 0}));
        Up = Cross(Heading, Left);
    }
};

class TBuilder {
public:
    explicit TBuilder(TLParserBuffer& buffer) : buffer_(buffer) { buffer_.Count = 0; }

    void Triangle(TVec a, TVec b, TVec c, int colour)
    {
        if (buffer_.Count >= kLParserMaxPolygons) return;
        const TVec v[3] = {a, b, c};
        for (const TVec& p : v)
            if (!(std::fabs(p.X) < 1e30 && std::fabs(p.Y) < 1e30 && std::fabs(p.Z) < 1e30)) return; // NaN too
        TLParserPolygon& poly = buffer_.Polygons[buffer_.Count++];
        poly.Colour = colour;
        for (int k = 0; k < 3; ++k) {
            poly.Vertices[k][0] = float(v[k].X);
            poly.Vertices[k][1] = float(v[k].Y);
            poly.Vertices[k][2] = float(v[k].Z);
        }
    }
    void Quad(TVec a, TVec b, TVec c, TVec d, int colour)
    {
        Triangle(a, b, c, colour);
        Triangle(a, c, d, colour);
    }

private:
    TLParserBuffer& buffer_;
};

void Interpret(const TLSystem& ls, const std::string& symbols, TLParserBuffer& buffer)
{
    TBuilder out(buffer);
    const double angle = ls.Angle * M_PI / 180.0;
    TTurtle t;
    t.Thickness = ls.Thickness / 100.0;
    std::vector<TTurtle> stack;
    std::size_t ignoredPushes = 0;
    std::vector<TVec> polygon;
    bool inPolygon = false;
    for (char c : symbols) {
        switch (c) {
        case 'F': case 'G': {
            const TVec end = t.Position + t.Heading * t.Length;
            const double w = t.Thickness * t.Length / 2;
            const TVec l = t.Left * w, u = t.Up * w;
            out.Quad(t.Position - l, t.Position + l, end + l, end - l, t.Colour);
            out.Quad(t.Position - u, t.Position + u, end + u, end - u, t.Colour);
            t.Position = end;
            break;
        }
        case 'f': case 'g': t.Position = t.Position + t.Heading * t.Length; break;
        case '+': t.Heading = Rotate(t.Heading, t.Up, angle); t.Left = Rotate(t.Left, t.Up, angle); t.Orthonormalise(); break;
        case '-': t.Heading = Rotate(t.Heading, t.Up, -angle); t.Left = Rotate(t.Left, t.Up, -angle); t.Orthonormalise(); break;
        case '&': t.Heading = Rotate(t.Heading, t.Left, angle); t.Up = Rotate(t.Up, t.Left, angle); t.Orthonormalise(); break;
        case '^': t.Heading = Rotate(t.Heading, t.Left, -angle); t.Up = Rotate(t.Up, t.Left, -angle); t.Orthonormalise(); break;
        case '\\': t.Left = Rotate(t.Left, t.Heading, angle); t.Up = Rotate(t.Up, t.Heading, angle); t.Orthonormalise(); break;
        case '/': t.Left = Rotate(t.Left, t.Heading, -angle); t.Up = Rotate(t.Up, t.Heading, -angle); t.Orthonormalise(); break;
        case '|': t.Heading = t.Heading * -1.0; t.Left = t.Left * -1.0; break;
        case '[':
            if (stack.size() < kMaxStack) stack.push_back(t);
            else ++ignoredPushes;
            break;
        case ']':
            if (ignoredPushes > 0) --ignoredPushes;
            else if (!stack.empty()) {
                t = stack.back();
                stack.pop_back();
            }
            break;
        case '!': t.Thickness *= 0.7; break;
        case '"': t.Length *= 0.8; break;
        case '\'': t.Colour = (t.Colour + 1) % 16; break;
        case '~': {
            const TVec mid = t.Position + t.Heading * (t.Length * 0.5) + t.Left * (t.Length * 0.25);
            const TVec mid2 = t.Position + t.Heading * (t.Length * 0.5) - t.Left * (t.Length * 0.25);
            const TVec tip = t.Position + t.Heading * t.Length;
            out.Quad(t.Position, mid, tip, mid2, t.Colour);
            break;
        }
        case '{': inPolygon = true; polygon.clear(); break;
        case '.':
            if (inPolygon && polygon.size() < kMaxPolygonVertices) polygon.push_back(t.Position);
            break;
        case '}':
            for (std::size_t k = 2; inPolygon && k < polygon.size(); ++k)
                out.Triangle(polygon[0], polygon[k - 1], polygon[k], t.Colour);
            inPolygon = false;
            polygon.clear();
            break;
        default: break;
        }
    }
}

} // namespace

bool LParseText(const std::string& text, int32_t seed, TLParserBuffer& buffer)
{
    buffer.Count = 0;
    buffer.Lowest = buffer.Highest = 0;
    TLSystem ls;
    if (text.size() > kLSystemMaxFileBytes || !Parse(text, ls)) return false;
    Interpret(ls, Expand(ls, seed), buffer);
    if (buffer.Count <= 0) return false;
    float lowest = buffer.Polygons[0].Vertices[0][2], highest = lowest;
    for (int k = 0; k < buffer.Count; ++k)
        for (const auto& v : buffer.Polygons[k].Vertices) {
            lowest = std::min(lowest, v[2]);
            highest = std::max(highest, v[2]);
        }
    buffer.Lowest = lowest;
    buffer.Highest = highest;
    return true;
}

bool LSystemUsesSeed(const std::string& text)
{
    TLSystem ls;
    if (text.size() > kLSystemMaxFileBytes || !Parse(text, ls)) return false;
    int rules[256] = {};
    for (const TRule& r : ls.Rules)
        if (++rules[static_cast<unsigned char>(r.Predecessor)] > 1) return true;
    return false;
}

bool getLParserData(const char* fileName, int32_t seed, int32_t reserved, TLParserBuffer* buffer)
{
    if (!buffer) return false;
    buffer->Count = 0;
    buffer->Lowest = buffer->Highest = 0;
    if (!fileName || reserved != 0 || !*fileName) return false;
    const std::string name(fileName);
    for (const std::string& candidate : {name, name + ".ls"}) {
        std::ifstream in(candidate, std::ios::binary);
        if (!in) continue;
        std::string text;
        char chunk[65536];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
            text.append(chunk, static_cast<std::size_t>(in.gcount()));
            if (text.size() > kLSystemMaxFileBytes) return false;
        }
        return LParseText(text, seed, *buffer);
    }
    return false;
}
