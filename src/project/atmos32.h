#pragma once
// Colour of a view ray through the atmosphere: the glow around the sun, one cloud layer where the
// ray crosses the cloud height, and the fade toward the haze colours by the length of the ray
// inside the haze layer and inside the lower mist layer.
//
// The unit works in its own frame (X, Y, Z) = (world x, world z, world altitude): a TVector3
// (x, altitude, z) handed in is read as X = first, Y = third, Z = second component.
//
// Every input comes from the one global record AtmosphereParams, which the render engine fills
// from the project before each render. Evaluations allocate nothing.
#include "project/TypeDefinition.h"

#include <cstdint>

// A point or direction of the unit's frame in doubles.
struct TAtmosVector {
    double X = 0, Y = 0, Z = 0;
};

struct TAtmosphereParams {
    float Ceiling = 0, Floor = 0, Distance = 0, Infinity = 0;
    float BlueDistance = 0;         // a copy of Distance
    float FogDistance = 0;          // (1 - FogDensity) x Distance
    float Blueing = 0, FogDensity = 0;
    TFloatRGB SkyColour, HorizonColour, FogColour;
    float CloudHeight = 0;          // layer 0 height / 100 x Ceiling
    float CloudSize = 1;            // layer size + 1
    float CloudDensity = 0;
    float CloudCover = 0;           // cover / 100 x 2 - 1
    float CloudXOffset = 0, CloudYOffset = 0;
    int32_t CloudDraw = 0;          // -1 when layer 0 is drawn, else 0
    float FractalDepth = 1;
    TFloatRGB CloudColour1, CloudColour2;
    TFloatRGB PrimaryLight;
    TFloatRGB Sun;                  // unit frame, set by SetSunAngles
    float Glowing = 0;
    TFloatRGB LastHazeColour, LastHazeOpacity; // written by every haze evaluation
    TFloatRGB DecayColour;
    float MistHeight = 0;
    float MinHeight = 0;            // the grid's minimum height
};

extern TAtmosphereParams AtmosphereParams;

// While one lives, haze evaluations on this thread leave LastHazeColour and LastHazeOpacity alone,
// so that rays can be coloured on several threads at once while AtmosphereParams is only read.
class TQuietHazeRecord {
public:
    TQuietHazeRecord();
    ~TQuietHazeRecord();
    TQuietHazeRecord(const TQuietHazeRecord&) = delete;
    TQuietHazeRecord& operator=(const TQuietHazeRecord&) = delete;

private:
    bool outer_;
};

// Nothing to prepare; kept so that the engine's order of calls stays as designed.
void AtmosphereInit();

// Degrees; "altitude" is measured from the vertical: Z = cos(Altitude),
// X = sin(Altitude) sin(Azimuth), Y = -sin(Altitude) cos(Azimuth).
void SetSunAngles(double Azimuth, double Altitude);

// The colour each sky-dome vertex starts from before AtmosphereColour (sky mode) is applied.
TFloatRGB SkyBaseColour();

// Colours the ray from Eye to Point (render frame) in place. Sky: the ray goes to the sky dome (adds
// the sun glow and measures the haze to the floor plane). A zero-length ray leaves Colour as it is.
void AtmosphereColour(const TVector3& Eye, const TVector3& Point, bool Sky, TFloatRGB& Colour);

// The same with the values of Params instead of AtmosphereParams (a copy taken when the values
// were set, say); the last haze colour and opacity are left alone.
void AtmosphereColour(const TAtmosphereParams& Params, const TVector3& Eye, const TVector3& Point, bool Sky,
                      TFloatRGB& Colour);

// AtmosphereColour with the cloud-draw flag set from CloudFlag and Glowing multiplied by GlowFactor
// for this one call; AtmosphereParams itself is only read.
void ScaledRayAtmosphere(const TVector3& Eye, const TVector3& Point, bool Sky, TFloatRGB& Colour,
                         bool CloudFlag, double GlowFactor);

// The haze step over one segment of a ray. Far is the end away from the eye (the point or the cloud
// crossing), Near the end on the eye's side; AtmosphereColour passes them in this order. Light is
// added to the fog colour (the sun's glow scattered in the fog).
void HazeAlongSegment(bool Sky, TFloatRGB& Colour, const TFloatRGB& Light, const TAtmosVector& Far,
                      const TAtmosVector& Near);

// In-place colour arithmetic.
void ColourScale(TFloatRGB& c, double factor);
void ColourAdd(TFloatRGB& c, const TFloatRGB& other);
void ColourSubtract(TFloatRGB& c, const TFloatRGB& other);
