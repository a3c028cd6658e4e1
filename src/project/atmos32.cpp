// Haze, mist, sun glow and one cloud layer along a view ray.
#include "project/atmos32.h"

#include "project/Perlin.h"

#include <algorithm>
#include <cmath>

TAtmosphereParams AtmosphereParams;

namespace {

// Smallest angle to the sun that the glow terms use: exactly at the sun they would divide by zero.
constexpr double MinGlowAngle = 1e-3;
// Stands in for L / D when the haze or fog distance is zero: the haze is then complete at once.
constexpr double InstantHaze = 1e30;
// Bounds the light march through a cloud for absurd fractal depths (depth 14 and below are exact).
constexpr int MaxCloudLightSteps = 1000;

// Off while a TQuietHazeRecord lives on this thread.
thread_local bool tRecordHaze = true;

double Channel(const TFloatRGB& c, int ch) { return ch == 0 ? c.R : ch == 1 ? c.G : c.B; }
float& Channel(TFloatRGB& c, int ch) { return ch == 0 ? c.R : ch == 1 ? c.G : c.B; }

TAtmosVector ToUnitFrame(const TVector3& v) { return {v.X, v.Z, v.Y}; }

double Length(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

double HazeRatio(double length, double distance)
{
    if (distance > 0)
        return length / distance;
    return length > 0 ? InstantHaze : 0.0;
}

// Positions on the line Base + s Dir (Dir.Z not 0).
struct TLine {
    TAtmosVector Base, Dir;
    void MoveOnto(TAtmosVector& p, double planeZ) const
    {
        const double s = (planeZ - Base.Z) / Dir.Z;
        p = {Base.X + s * Dir.X, Base.Y + s * Dir.Y, planeZ};
    }
};

double Distance(const TAtmosVector& a, const TAtmosVector& b) { return Length(b.X - a.X, b.Y - a.Y, b.Z - a.Z); }

// The octaves of the cloud noise depend on the layer size only: worked out again when it changes.
const TOctaves& CloudOctaves(double size)
{
    // One per thread: rays are coloured on several threads at once.
    thread_local TOctaves octaves;
    thread_local bool ready = false;
    if (!ready || octaves.MaxFreq != size) {
        SetOctaves(octaves, size);
        ready = true;
    }
    return octaves;
}

void CloudAt(const TAtmosphereParams& p, const TAtmosVector& q, const TFloatRGB& light, TFloatRGB& colour)
{
    const double size = p.CloudSize;
    if (!(size > 0))
        return;
    const TOctaves& octaves = CloudOctaves(size);
    const double uv[2] = {(q.X + p.CloudXOffset) / size, (q.Y + p.CloudYOffset) / size};
    const double t = std::exp(-p.CloudDensity * std::max(0.0, TurbulenceSqrt(uv, octaves) + p.CloudCover));
    if (!(t < 1))
        return;
    // Light reaching the cloud point: march toward the sun through the layer. The turbulence of
    // two steps is worked out at once; the light is taken away step by step, in order.
    double s = 1;
    const double depth = p.FractalDepth;
    if (depth > 0) {
        const double step = 0.1 / depth;
        const double limit = depth * 0.5;
        int steps = 0;
        while (steps < MaxCloudLightSteps && steps * step < limit)
            ++steps;
        const double x = q.X / size, y = q.Y / size;
        const auto absorb = [&](double turbulence) {
            const double exponent = -step * p.CloudDensity * std::max(0.0, turbulence + p.CloudCover);
            // Where the cloud is clear the light passes whole (the exponential of 0 is 1).
            if (exponent != 0)
                s *= std::exp(exponent);
        };
        int i = 0;
        for (; i + 1 < steps; i += 2) {
            const double k0 = i * step, k1 = (i + 1) * step;
            const double v[2][2] = {{x + k0 * p.Sun.R, y + k0 * p.Sun.G}, {x + k1 * p.Sun.R, y + k1 * p.Sun.G}};
            double m[2];
            TurbulencePair(v, octaves, m);
            absorb(m[0]);
            absorb(m[1]);
        }
        if (i < steps) {
            const double k = i * step;
            const double v[2] = {x + k * p.Sun.R, y + k * p.Sun.G};
            absorb(Turbulence(v, octaves));
        }
    }
    for (int ch = 0; ch < 3; ++ch) {
        const double c1 = Channel(p.CloudColour1, ch), c2 = Channel(p.CloudColour2, ch);
        float& c = Channel(colour, ch);
        c = float(c * t + (1 - t) * (c2 + s * (c1 - c2 + Channel(light, ch))));
    }
}

} // namespace

void AtmosphereInit() {}

TQuietHazeRecord::TQuietHazeRecord() : outer_(tRecordHaze) { tRecordHaze = false; }
TQuietHazeRecord::~TQuietHazeRecord() { tRecordHaze = outer_; }

void SetSunAngles(double Azimuth, double Altitude)
{
    const double az = Azimuth * M_PI / 180.0, alt = Altitude * M_PI / 180.0;
    AtmosphereParams.Sun.R = float(std::sin(alt) * std::sin(az));
    AtmosphereParams.Sun.G = float(std::sin(alt) * -std::cos(az));
    AtmosphereParams.Sun.B = float(std::cos(alt));
}

TFloatRGB SkyBaseColour() { return AtmosphereParams.SkyColour; }

void ColourScale(TFloatRGB& c, double factor)
{
    c.R = float(c.R * factor);
    c.G = float(c.G * factor);
    c.B = float(c.B * factor);
}

void ColourAdd(TFloatRGB& c, const TFloatRGB& other)
{
    c.R += other.R;
    c.G += other.G;
    c.B += other.B;
}

void ColourSubtract(TFloatRGB& c, const TFloatRGB& other)
{
    c.R -= other.R;
    c.G -= other.G;
    c.B -= other.B;
}

namespace {

// The haze step with the values of p; the last haze colour and opacity go to *record when given.
void HazeAlong(const TAtmosphereParams& p, bool Sky, TFloatRGB& Colour, const TFloatRGB& Light,
               const TAtmosVector& Far, const TAtmosVector& Near, TAtmosphereParams* record)
{
    const double ceiling = p.Ceiling, floor = p.Floor;
    TAtmosVector far = Far, near = Near;
    const TLine line{Near, {Far.X - Near.X, Far.Y - Near.Y, Far.Z - Near.Z}};
    const bool level = line.Dir.Z == 0;

    double l1 = 0, l2 = 0;
    if (Sky && std::fabs(line.Dir.Z) < 0.0001) {
        l1 = l2 = p.Infinity;
    } else {
        // Clip the segment to the haze layer between floor and ceiling (in sky mode the far end
        // always goes to the floor plane).
        if (!level) {
            if (far.Z > ceiling || Sky)
                line.MoveOnto(far, ceiling);
            if (near.Z > ceiling)
                line.MoveOnto(near, ceiling);
            if (far.Z < floor || Sky)
                line.MoveOnto(far, floor);
            if (near.Z < floor)
                line.MoveOnto(near, floor);
            l1 = Distance(near, far);
        } else {
            // A level segment lies wholly inside or wholly outside the layer.
            l1 = (near.Z > ceiling || near.Z < floor) ? 0.0 : Distance(near, far);
        }
        // The mist fills the layer from the floor up to its top M.
        const double minH = p.MinHeight;
        const double mistTop = ((ceiling - minH) / 5 - minH) * p.MistHeight + minH;
        if (!level) {
            if (far.Z > mistTop)
                line.MoveOnto(far, mistTop);
            if (near.Z > mistTop)
                line.MoveOnto(near, mistTop);
            l2 = Distance(near, far);
        } else {
            l2 = near.Z > mistTop ? 0.0 : l1;
        }
    }

    const double b = p.Blueing > 0 ? HazeRatio(l1 * p.Blueing, p.BlueDistance) : 0.0;
    const double f = p.FogDensity > 0 ? HazeRatio(l2 * p.FogDensity, p.FogDistance) : 0.0;
    const double fogFade = std::exp(-f);
    for (int ch = 0; ch < 3; ++ch) {
        const double decay = b * Channel(p.DecayColour, ch);
        const double skyWeight = b * Channel(p.SkyColour, ch);
        const double fogColour = Channel(p.FogColour, ch) + Channel(Light, ch);
        const double opacity = 1 - std::exp(-decay) * fogFade;
        float& c = Channel(Colour, ch);
        const double weight = skyWeight + f;
        const double haze = weight != 0 ? (skyWeight * Channel(p.HorizonColour, ch) + f * fogColour) / weight : double(c);
        c = float(c + (haze - c) * opacity);
        if (record) {
            Channel(record->LastHazeColour, ch) = float(haze);
            Channel(record->LastHazeOpacity, ch) = float(opacity);
        }
    }
}

// Where the haze steps of this thread leave the last haze colour: the shared record, unless a
// TQuietHazeRecord lives.
TAtmosphereParams* HazeRecord() { return tRecordHaze ? &AtmosphereParams : nullptr; }

} // namespace

void HazeAlongSegment(bool Sky, TFloatRGB& Colour, const TFloatRGB& Light, const TAtmosVector& Far,
                      const TAtmosVector& Near)
{
    HazeAlong(AtmosphereParams, Sky, Colour, Light, Far, Near, HazeRecord());
}

namespace {

// AtmosphereColour with the cloud-draw flag and the glow given rather than read from the record,
// which is then only read: a scaled ray never disturbs rays coloured on other threads.
void RayColour(const TAtmosphereParams& p, const TVector3& Eye, const TVector3& Point, bool Sky, TFloatRGB& Colour,
               int32_t cloudDraw, float glowing, TAtmosphereParams* record)
{
    const TAtmosVector eye = ToUnitFrame(Eye), point = ToUnitFrame(Point);
    const double dx = point.X - eye.X, dy = point.Y - eye.Y, dz = point.Z - eye.Z;
    const double len = Length(dx, dy, dz);
    if (!(len > 0) || !std::isfinite(len))
        return; // no ray, no atmosphere
    const TAtmosVector dir{dx / len, dy / len, dz / len};

    const double cosine = std::clamp(dir.X * p.Sun.R + dir.Y * p.Sun.G + dir.Z * p.Sun.B, -1.0, 1.0);
    const double angle = std::max(std::acos(cosine), MinGlowAngle);
    const double nearSun = std::sqrt(0.1 / angle);
    if (Sky) {
        const double glow = nearSun * glowing;
        Colour.R = float(Colour.R + p.PrimaryLight.R * glow);
        Colour.G = float(Colour.G + p.PrimaryLight.G * glow);
        Colour.B = float(Colour.B + p.PrimaryLight.B * glow);
    }
    const double scatter = (1 - std::exp(-std::sqrt(nearSun))) * glowing;
    TFloatRGB light{float(p.PrimaryLight.R * scatter), float(p.PrimaryLight.G * scatter),
                    float(p.PrimaryLight.B * scatter)};

    const double h = p.CloudHeight;
    const bool crossing = (eye.Z < h && dir.Z > 0) || (eye.Z > h && dir.Z < 0);
    // The cloud is drawn where a ray from below reaches a point above the cloud height, and on
    // every sky ray that crosses it. Land seen from above the clouds stays clear, and so does a
    // point that lies above the cloud height on the eye's own side.
    const bool beyond = Sky || (eye.Z < h && point.Z > h);
    if (crossing && beyond) {
        const double s = (h - eye.Z) / dir.Z;
        const TAtmosVector q{eye.X + s * dir.X, eye.Y + s * dir.Y, h};
        HazeAlong(p, Sky, Colour, light, point, q, record);
        if (cloudDraw != 0)
            CloudAt(p, q, light, Colour);
        HazeAlong(p, false, Colour, light, q, eye, record);
    } else {
        HazeAlong(p, Sky, Colour, light, point, eye, record);
    }
}

} // namespace

void AtmosphereColour(const TVector3& Eye, const TVector3& Point, bool Sky, TFloatRGB& Colour)
{
    RayColour(AtmosphereParams, Eye, Point, Sky, Colour, AtmosphereParams.CloudDraw, AtmosphereParams.Glowing,
              HazeRecord());
}

void AtmosphereColour(const TAtmosphereParams& Params, const TVector3& Eye, const TVector3& Point, bool Sky,
                      TFloatRGB& Colour)
{
    RayColour(Params, Eye, Point, Sky, Colour, Params.CloudDraw, Params.Glowing, nullptr);
}

void ScaledRayAtmosphere(const TVector3& Eye, const TVector3& Point, bool Sky, TFloatRGB& Colour,
                         bool CloudFlag, double GlowFactor)
{
    RayColour(AtmosphereParams, Eye, Point, Sky, Colour, CloudFlag ? -1 : 0,
              float(AtmosphereParams.Glowing * GlowFactor), HazeRecord());
}
