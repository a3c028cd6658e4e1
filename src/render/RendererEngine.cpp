#include "render/RendererEngine.h"

#include "models/GraphicEx.h"
#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/atmos32.h"
#include "render/ParallelFor.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr double kDegrees = M_PI / 180.0;

TFloatRGB ToRGB(const TFloatColor& c) { return {c.R, c.G, c.B}; }

TFloatRGB Scaled(const TFloatRGB& c, double f)
{
    return {static_cast<float>(c.R * f), static_cast<float>(c.G * f), static_cast<float>(c.B * f)};
}

float Clamp01(float v) { return v < 0 ? 0.0f : (v > 1 ? 1.0f : v); }

TFloatRGB Clamped(const TFloatRGB& c) { return {Clamp01(c.R), Clamp01(c.G), Clamp01(c.B)}; }

// Progress percentage, never above 100 (the counts of the passes can overshoot their divisor).
int Percent(double done, double total)
{
    if (!(total > 0))
        return 0;
    const double p = done * 100.0 / total;
    return p >= 100.0 ? 100 : (p > 0 ? static_cast<int>(p) : 0);
}

// Vertices both the grid descriptor and the cell array know (they agree for a sound project).
int Columns(const TProject& p) { return std::min(p.Grid.SizeX, p.Grid.Cells.Columns()); }
int Rows(const TProject& p) { return std::min(p.Grid.SizeY, p.Grid.Cells.Rows()); }

double WorldScaleDivisor(const TProject& p)
{
    const double ws = p.WorldScale;
    return (ws != 0 && std::isfinite(ws)) ? ws : 1.0;
}

// Puts the feedback buffer in place and switches to feedback mode; back to render mode (and the
// number of values written, -1 on overflow) when the scope ends or Finish is called.
class TFeedbackScope {
public:
    TFeedbackScope(GLenum type, GLfloat* buffer, GLsizei size)
    {
        const TGLEntryPoints& gl = GL();
        gl.glFeedbackBuffer(size, type, buffer);
        gl.glRenderMode(GL_FEEDBACK);
        active_ = true;
    }
    ~TFeedbackScope() { Finish(); }
    GLint Finish()
    {
        if (!active_)
            return count_;
        active_ = false;
        count_ = GL().glRenderMode(GL_RENDER);
        return count_;
    }

private:
    bool active_ = false;
    GLint count_ = 0;
};

bool InsideView(const TViewRect& v, double x, double y)
{
    return x >= 0 && x <= v.Right && y >= 0 && y <= v.Bottom;
}

} // namespace

// ---- Scopes ------------------------------------------------------------------------------------

TGLMatrixScope::TGLMatrixScope()
{
    const TGLEntryPoints& gl = GL();
    gl.glGetIntegerv(GL_MATRIX_MODE, &mode_);
    gl.glPushMatrix();
}

TGLMatrixScope::~TGLMatrixScope()
{
    if (const TGLEntryPoints* gl = GLEntryPoints()) {
        gl->glMatrixMode(static_cast<GLenum>(mode_));
        gl->glPopMatrix();
    }
}

TGLAttribScope::TGLAttribScope(GLbitfield mask)
{
    GL().glPushAttrib(mask);
}

TGLAttribScope::~TGLAttribScope()
{
    if (const TGLEntryPoints* gl = GLEntryPoints())
        gl->glPopAttrib();
}

// ---- Software projection -----------------------------------------------------------------------

TPointProjector::TPointProjector()
{
    const TGLEntryPoints& gl = GL();
    double model[16], projection[16], range[2] = {0, 1};
    gl.glGetDoublev(GL_MODELVIEW_MATRIX, model);
    gl.glGetDoublev(GL_PROJECTION_MATRIX, projection);
    gl.glGetDoublev(GL_VIEWPORT, viewport_);
    gl.glGetDoublev(GL_DEPTH_RANGE, range);
    depthNear_ = range[0];
    depthFar_ = range[1];
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += projection[k * 4 + row] * model[col * 4 + k];
            m_[col * 4 + row] = sum;
        }
}

bool TPointProjector::Project(const TVector3& p, TVector3& window) const
{
    double clip[4];
    for (int row = 0; row < 4; ++row)
        clip[row] = m_[row] * p.X + m_[4 + row] * p.Y + m_[8 + row] * p.Z + m_[12 + row];
    const double w = clip[3];
    // Points are clipped against the view volume -w <= x, y, z <= w.
    for (int k = 0; k < 3; ++k)
        if (!(clip[k] >= -w && clip[k] <= w))
            return false;
    if (!(w > 0))
        return false;
    const double x = viewport_[0] + (clip[0] / w + 1) * viewport_[2] / 2;
    const double y = viewport_[1] + (clip[1] / w + 1) * viewport_[3] / 2;
    const double z = depthNear_ + (clip[2] / w + 1) * (depthFar_ - depthNear_) / 2;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        return false;
    window = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    return true;
}

int TPointProjector::ClipTriangle(const TVector3& a, const TVector3& b, const TVector3& c,
                                  double (&x)[MaxClippedPoints], double (&y)[MaxClippedPoints], double& area) const
{
    area = 0;
    using TClip = std::array<double, 4>;
    TClip in[MaxClippedPoints], out[MaxClippedPoints];
    int n = 0;
    for (const TVector3* p : {&a, &b, &c}) {
        for (int row = 0; row < 4; ++row)
            in[n][row] = m_[row] * p->X + m_[4 + row] * p->Y + m_[8 + row] * p->Z + m_[12 + row];
        ++n;
    }
    // One plane after the other: w + x >= 0, w - x >= 0, then y and z.
    for (int plane = 0; plane < 6 && n > 0; ++plane) {
        const int axis = plane / 2;
        const double sign = plane % 2 ? -1.0 : 1.0;
        const auto distance = [&](const TClip& v) { return v[3] + sign * v[axis]; };
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const TClip& p = in[i];
            const TClip& q = in[(i + 1) % n];
            const double dp = distance(p), dq = distance(q);
            if (dp >= 0 && m < MaxClippedPoints)
                out[m++] = p;
            if (((dp >= 0) != (dq >= 0)) && m < MaxClippedPoints) {
                const double t = dp / (dp - dq);
                TClip v;
                for (int k = 0; k < 4; ++k)
                    v[k] = p[k] + (q[k] - p[k]) * t;
                out[m++] = v;
            }
        }
        n = m;
        std::copy(out, out + n, in);
    }
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const double w = in[i][3];
        if (!(w > 0))
            continue;
        const double wx = viewport_[0] + (in[i][0] / w + 1) * viewport_[2] / 2;
        const double wy = viewport_[1] + (in[i][1] / w + 1) * viewport_[3] / 2;
        if (!std::isfinite(wx) || !std::isfinite(wy))
            continue;
        x[count] = wx;
        y[count] = wy;
        ++count;
    }
    for (int i = 0; i < count; ++i) {
        const int j = (i + 1) % count;
        area += x[i] * y[j] - x[j] * y[i];
    }
    area /= 2;
    return count >= 3 ? count : 0;
}

bool TPointProjector::BoxOutside(const TVector3& lo, const TVector3& hi) const
{
    // Clip coordinates of the eight corners; outside a side: x > w (or x < -w), likewise y and z.
    double clip[8][4];
    for (int k = 0; k < 8; ++k) {
        const double p[3] = {(k & 1) ? hi.X : lo.X, (k & 2) ? hi.Y : lo.Y, (k & 4) ? hi.Z : lo.Z};
        for (int row = 0; row < 4; ++row)
            clip[k][row] = m_[row] * p[0] + m_[4 + row] * p[1] + m_[8 + row] * p[2] + m_[12 + row];
    }
    for (int axis = 0; axis < 3; ++axis)
        for (int side : {-1, 1}) {
            bool allOutside = true;
            for (int k = 0; k < 8 && allOutside; ++k)
                allOutside = side * clip[k][axis] > clip[k][3]; // false for NaN
            if (allOutside)
                return true;
        }
    // Wholly behind the eye (w <= 0 everywhere) projects nowhere either.
    bool behind = true;
    for (int k = 0; k < 8 && behind; ++k)
        behind = clip[k][3] <= 0;
    return behind;
}

// ---- Project and status ------------------------------------------------------------------------

TProject& TRenderEngine::Project() const
{
    if (!projectVar_ || !*projectVar_)
        throw EInitError();
    return **projectVar_;
}

bool TRenderEngine::OpenGLReady()
{
    if (OpenGLLoaded())
        return true;
    ShowError("E0118 cannot load OpenGL: all rendering will fail.  Please check that dlls are present and restart the program.");
    return false;
}

void TRenderEngine::SetStatusText(const std::string& text)
{
    StatusSink().SetOperationText(text);
    StatusSink().ProcessMessages();
}

void TRenderEngine::SetSubStatusText(const std::string& text)
{
    StatusSink().SetStepText(text);
    StatusSink().ProcessMessages();
}

// ---- Per-frame set-up --------------------------------------------------------------------------

void TRenderEngine::SetFrameState()
{
    const TGLEntryPoints& gl = GL();
    gl.glClearColor(1, 1, 1, 1);
    gl.glEnable(GL_DEPTH_TEST);
    gl.glDepthFunc(GL_LESS);
    gl.glDepthMask(GL_TRUE);
    gl.glDisable(GL_LINE_SMOOTH);
    gl.glDisable(GL_POINT_SMOOTH);
    gl.glDisable(GL_POLYGON_SMOOTH);
    gl.glDisable(GL_BLEND);
    gl.glShadeModel(GL_SMOOTH);
}

void TRenderEngine::PrepareScene(int width, int height)
{
    const TGLEntryPoints& gl = GL();
    SetFrameState();
    gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ClearFPUExceptions();
    SetSubStatusText("Raytracing shadows");
    RaytraceShadows();
    SetSubStatusText("Analysing grid");
    CalculateNormals();
    SetViewport(width, height);
    gl.glMatrixMode(GL_MODELVIEW);
    gl.glLoadIdentity();
    ClearFPUExceptions();
}

void TRenderEngine::SetupProjection(int width, int height, double extraAngle)
{
    const TGLEntryPoints& gl = GL();
    const double fovy = (Project().Camera.Perspective + extraAngle) / 2.0;
    const double aspect = height != 0 ? static_cast<double>(width) / height : 1.0;
    {
        TGLMatrixScope keep;
        gl.glMatrixMode(GL_PROJECTION);
        gl.glLoadIdentity();
        gl.gluPerspective(fovy, aspect, NearPlane, FarPlane);
        gl.glViewport(0, 0, width, height);
        gl.glMatrixMode(GL_MODELVIEW);
    }
    gl.glMatrixMode(GL_MODELVIEW);
}

void TRenderEngine::SetViewport(int width, int height)
{
    SetupProjection(width, height, 0.0);
    ViewRect = {0, 0, width, height};
}

void TRenderEngine::SetupCamera()
{
    const TProject& p = Project();
    const TVector3 eye = p.GetCameraPosition();
    const TVector3 target = p.GetCameraTarget();
    GL().gluLookAt(eye.X, eye.Y, eye.Z, target.X, target.Y, target.Z, 0.0, 1.0, 0.0);
}

void TRenderEngine::SetupLights()
{
    const TGLEntryPoints& gl = GL();
    TProject& p = Project();
    TGLMatrixScope keep;
    gl.glMatrixMode(GL_MODELVIEW);
    const double az = p.Lighting.LightAzimuth * kDegrees;
    const double alt = p.Lighting.LightAltitude * kDegrees;
    LightPosition[0] = static_cast<float>(std::sin(az) * SunScale);
    LightPosition[1] = static_cast<float>(std::sin(M_PI / 2 - alt) * SunScale);
    LightPosition[2] = static_cast<float>(std::cos(az + M_PI) * SunScale);
    LightPosition[3] = 0.0f;
    p.Lighting.SunVector = NormalizeVector({LightPosition[0], LightPosition[1], LightPosition[2]});
    gl.glLightfv(GL_LIGHT0, GL_POSITION, LightPosition);
    gl.glEnable(GL_LIGHTING);
    gl.glEnable(GL_LIGHT0);
}

void TRenderEngine::DomeResolution(int32_t fractalDepth, int& segments, int& bands)
{
    switch (fractalDepth) {
    case 1: segments = bands = 204; break;
    case 2: segments = bands = 404; break;
    case 3: segments = 804; bands = 604; break;
    case 4: segments = bands = 1004; break;
    default: {
        // Other depths grow the same way; kept within a sane range so a damaged depth cannot ask
        // for an endless dome.
        const int64_t depth = std::clamp<int64_t>(fractalDepth, -1, 16);
        segments = bands = static_cast<int>((depth + 2) * 101 + 1);
        break;
    }
    }
}

int32_t TRenderEngine::SkyFractalDepth() const { return Project().Fractal.FractalDepth; }

namespace {

// The state the sky dome is drawn in, for the scope's life: lighting off, colours from the
// vertices, front faces counter-clockwise.
class TSkyState {
public:
    TSkyState() : keep_(GL_TEXTURE_BIT | GL_LIGHTING_BIT)
    {
        const TGLEntryPoints& gl = GL();
        gl.glDisable(GL_LIGHTING);
        gl.glEnable(GL_COLOR_MATERIAL);
        gl.glEnable(GL_CULL_FACE);
        gl.glFrontFace(GL_CCW);
    }

private:
    TGLAttribScope keep_;
};

// Enables the vertex and colour arrays; puts both back as they were when the scope ends.
class TColourArraysScope {
public:
    TColourArraysScope()
    {
        const TGLEntryPoints& gl = GL();
        vertex_ = gl.glIsEnabled(GL_VERTEX_ARRAY);
        colour_ = gl.glIsEnabled(GL_COLOR_ARRAY);
        gl.glEnableClientState(GL_VERTEX_ARRAY);
        gl.glEnableClientState(GL_COLOR_ARRAY);
    }
    ~TColourArraysScope()
    {
        if (const TGLEntryPoints* gl = GLEntryPoints()) {
            if (!vertex_)
                gl->glDisableClientState(GL_VERTEX_ARRAY);
            if (!colour_)
                gl->glDisableClientState(GL_COLOR_ARRAY);
        }
    }
    TColourArraysScope(const TColourArraysScope&) = delete;
    TColourArraysScope& operator=(const TColourArraysScope&) = delete;

private:
    GLboolean vertex_ = GL_FALSE, colour_ = GL_FALSE;
};

} // namespace

void TRenderEngine::PrepareSkyDrawing(int width, int height)
{
    const TGLEntryPoints& gl = GL();
    TGLAttribScope keep(GL_ALL_ATTRIB_BITS);
    gl.glMatrixMode(GL_PROJECTION);
    TGLMatrixScope keepProjection;
    gl.glLoadIdentity();
    gl.glMatrixMode(GL_MODELVIEW);
    TGLMatrixScope keepModelview;
    gl.glLoadIdentity();
    gl.glViewport(0, 0, std::max(1, width), std::max(1, height));
    SetFrameState();
    gl.glEnable(GL_LIGHTING); // as SetupLights leaves it
    gl.glEnable(GL_LIGHT0);
    TSkyState state;
    // A hundred bands of a deep dome's width across the view.
    constexpr int kColumns = 1005, kBands = 100;
    std::vector<float> xyz(static_cast<size_t>(kColumns) * 6), rgb(xyz.size(), 0.5f);
    TColourArraysScope arrays;
    gl.glVertexPointer(3, GL_FLOAT, 0, xyz.data());
    gl.glColorPointer(3, GL_FLOAT, 0, rgb.data());
    for (int b = 0; b < kBands; ++b) {
        const float lower = -1.0f + 2.0f * b / kBands, upper = -1.0f + 2.0f * (b + 1) / kBands;
        for (int c = 0; c < kColumns; ++c) {
            // Upper vertex first, as the dome's strips run.
            const float x = -1.0f + 2.0f * c / (kColumns - 1);
            float* v = &xyz[static_cast<size_t>(c) * 6];
            v[0] = x;
            v[1] = upper;
            v[3] = x;
            v[4] = lower;
        }
        gl.glDrawArrays(GL_TRIANGLE_STRIP, 0, 2 * kColumns);
    }
    SafeGLFlush(gl);
}

void TRenderEngine::DrawSky()
{
    const TGLEntryPoints& gl = GL();
    TProject& p = Project();
    gl.glClearColor(1, 1, 1, 1);
    gl.glClear(GL_COLOR_BUFFER_BIT);
    int segments = 0, bands = 0;
    const int32_t depth = SkyFractalDepth();
    DomeResolution(depth, segments, bands);

    TAtmosphereParams& a = AtmosphereParams;
    const TAtmosphereBlock& at = p.Atmosphere;
    a.Ceiling = static_cast<float>(at.Ceiling);
    a.Floor = static_cast<float>(at.Floor);
    a.Distance = static_cast<float>(at.Distance);
    a.Infinity = static_cast<float>(at.Infinity);
    a.FogDensity = static_cast<float>(at.FogDensity);
    a.FogDistance = static_cast<float>((1.0 - at.FogDensity) * at.Distance);
    a.BlueDistance = static_cast<float>(at.Distance);
    a.Blueing = static_cast<float>(at.Blueing);
    a.Glowing = static_cast<float>(at.Glowing);
    a.SkyColour = ToRGB(at.SkyColor);
    a.HorizonColour = ToRGB(at.HorizonColor);
    a.FogColour = ToRGB(at.FogColor);
    a.DecayColour = ToRGB(at.DecayColor);
    a.PrimaryLight = ToRGB(p.Lighting.PrimaryLightColor);
    a.FractalDepth = static_cast<float>(depth);
    a.MistHeight = static_cast<float>(at.MistHeight);
    a.MinHeight = static_cast<float>(p.Grid.MinHeight);
    if (!p.Clouds.Items.empty()) {
        const TCloud& c = p.Clouds.Items.front();
        a.CloudDraw = c.Draw ? -1 : 0;
        a.CloudSize = static_cast<float>(c.Size + 1.0);
        a.CloudDensity = static_cast<float>(c.Density);
        a.CloudCover = static_cast<float>(c.Cover / 100.0 * 2.0 - 1.0);
        a.CloudXOffset = static_cast<float>(c.XOffset);
        a.CloudYOffset = static_cast<float>(c.YOffset);
        a.CloudHeight = static_cast<float>(c.Height / 100.0 * at.Ceiling);
        a.CloudColour1 = ToRGB(c.CloudColor1);
        a.CloudColour2 = ToRGB(c.CloudColor2);
    } else {
        a.CloudDraw = 0;
    }
    AtmosphereInit();
    // Azimuth first: the glow must sit where the sun light is.
    SetSunAngles(p.Lighting.LightAzimuth, p.Lighting.LightAltitude);

    SetSubStatusText("Drawing sky");
    {
        TSkyState state;
        StatusSink().SetProgress(0);
        DrawDome(segments, bands);
        gl.glEnable(GL_CULL_FACE);
    }
    SafeGLFlush(gl);
}

namespace {

// Bits of the clip planes a point lies beyond (x, y, z against -w and w), from its clip
// coordinates and a margin per coordinate within which it counts as inside.
uint8_t ClipOutcode(const double* c, const double* margin)
{
    const double w = c[3];
    uint8_t code = 0;
    for (int k = 0; k < 3; ++k) {
        const double m = margin[k] + margin[3];
        if (c[k] < -w - m)
            code |= static_cast<uint8_t>(1u << (2 * k));
        if (c[k] > w + m)
            code |= static_cast<uint8_t>(2u << (2 * k));
    }
    return code;
}

} // namespace

void TRenderEngine::DrawDome(int segments, int bands)
{
    const TGLEntryPoints& gl = GL();
    const TProject& p = Project();
    if (segments <= 0 || bands <= 0)
        return;
    TDomeScratch& d = dome_;
    const TVector3 eye = p.GetCameraPosition();
    // The colours are worked out on other threads while messages run here, and a message may fill
    // the shared atmosphere values again (another renderer's render): they use a copy of this one's.
    const TAtmosphereParams atmosphere = AtmosphereParams;
    const float floorLevel = atmosphere.Floor;
    const TFloatRGB base = atmosphere.SkyColour;

    // Projection x modelview, column-major, to tell which quads can reach the view.
    double clip[16];
    {
        double model[16], projection[16];
        gl.glGetDoublev(GL_MODELVIEW_MATRIX, model);
        gl.glGetDoublev(GL_PROJECTION_MATRIX, projection);
        for (int col = 0; col < 4; ++col)
            for (int row = 0; row < 4; ++row) {
                double sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum += projection[k * 4 + row] * model[col * 4 + k];
                clip[col * 4 + row] = sum;
            }
    }

    const size_t columns = static_cast<size_t>(segments) + 1;
    d.Sin.resize(columns);
    d.Cos.resize(columns);
    for (size_t j = 0; j < columns; ++j) {
        const double angle = -static_cast<double>(j) * 2.0 * M_PI / segments;
        d.Sin[j] = std::sin(angle);
        d.Cos[j] = std::cos(angle);
    }
    for (int row = 0; row < 4; ++row) {
        d.Across[row].resize(columns);
        for (size_t j = 0; j < columns; ++j)
            d.Across[row][j] = d.Sin[j] * clip[row] + d.Cos[j] * clip[8 + row];
    }

    // A quad is left out only when all its corners lie beyond one clip plane, so it cannot touch
    // the view. The corners are tested in doubles from the ring's radius and height; the margin,
    // far above the rounding of the single-precision vertices OpenGL transforms, keeps a corner
    // near a plane counted as inside.
    auto makeRing = [&](TDomeChunk& chunk, size_t r, double y, double radius) {
        chunk.RingY[r] = y;
        chunk.RingRadius[r] = radius;
        double offset[4], margin[4];
        for (int row = 0; row < 4; ++row) {
            offset[row] = y * clip[4 + row] + clip[12 + row];
            margin[row] = 1e-5 * (radius * (std::fabs(clip[row]) + std::fabs(clip[8 + row])) +
                                  std::fabs(y * clip[4 + row]) + std::fabs(clip[12 + row]));
        }
        const double* across[4] = {d.Across[0].data(), d.Across[1].data(), d.Across[2].data(), d.Across[3].data()};
        uint8_t* out = chunk.Outcode.data() + r * columns;
        for (size_t j = 0; j < columns; ++j) {
            const double c[4] = {offset[0] + radius * across[0][j], offset[1] + radius * across[1][j],
                                 offset[2] + radius * across[2][j], offset[3] + radius * across[3][j]};
            out[j] = ClipOutcode(c, margin);
        }
        std::fill_n(chunk.Needed.data() + r * columns, columns, uint8_t{0});
    };
    auto vertex = [&](const TDomeChunk& chunk, size_t r, size_t j, float (&v)[3]) {
        v[0] = static_cast<float>(d.Sin[j] * chunk.RingRadius[r]);
        v[1] = static_cast<float>(chunk.RingY[r]);
        v[2] = static_cast<float>(d.Cos[j] * chunk.RingRadius[r]);
    };
    // Whether quad j of the band between rings r and r + 1 may reach the view.
    auto inView = [&](const TDomeChunk& chunk, size_t r, size_t j) {
        const uint8_t* lo = chunk.Outcode.data() + r * columns;
        const uint8_t* up = lo + columns;
        return (lo[j] & lo[j + 1] & up[j] & up[j + 1]) == 0;
    };
    // Puts ring vertex j into the strip at slot (upper first, as the strip alternates).
    auto put = [&](const TDomeChunk& chunk, size_t r, size_t j, size_t slot) {
        float v[3];
        vertex(chunk, r, j, v);
        std::copy(v, v + 3, &d.Strip[slot * 3]);
        const float* colour = &chunk.RingColour[(r * columns + j) * 3];
        std::copy(colour, colour + 3, &d.StripColour[slot * 3]);
    };

    d.Strip.resize(columns * 6);
    d.StripColour.resize(columns * 6);
    TColourArraysScope arrays;
    gl.glVertexPointer(3, GL_FLOAT, 0, d.Strip.data());
    gl.glColorPointer(3, GL_FLOAT, 0, d.StripColour.data());

    const double dh = DomeHeightSpan / bands;
    const int half = bands / 2;
    const auto radiusOf = [&](int k) {
        const double ratio = static_cast<double>(bands - k) / bands;
        return ratio * ratio * DomeRadius;
    };
    // Bands a chunk at a time: the colours a chunk's quads in view need are worked out on every
    // core (each vertex on its own, with the same arithmetic in any order) while the chunk before
    // is drawn, its bands in order, messages pumped before each as always.
    constexpr int kChunk = 64;
    // The rings of the chunk starting at band k0, and the vertices its quads in view need.
    const auto plan = [&](TDomeChunk& chunk, int k0) {
        chunk.First = k0;
        chunk.Count = std::min(kChunk, half - k0 + 1);
        chunk.RingY.resize(kChunk + 1);
        chunk.RingRadius.resize(kChunk + 1);
        chunk.Outcode.resize((kChunk + 1) * columns);
        chunk.Needed.resize((kChunk + 1) * columns);
        chunk.RingColour.resize((kChunk + 1) * columns * 3);
        // Ring 0 is the lower ring of band k0 (the previous band's upper one, the base for the first).
        makeRing(chunk, 0, k0 * dh, k0 == -half ? DomeRadius : radiusOf(k0 - 1));
        for (int b = 0; b < chunk.Count; ++b)
            makeRing(chunk, static_cast<size_t>(b) + 1, (k0 + b + 1) * dh, radiusOf(k0 + b));
        chunk.ToColour.clear();
        for (int b = 0; b < chunk.Count; ++b)
            for (size_t j = 0; j + 1 < columns; ++j)
                if (inView(chunk, static_cast<size_t>(b), j))
                    for (size_t r : {static_cast<size_t>(b), static_cast<size_t>(b) + 1})
                        for (size_t c : {j, j + 1}) {
                            uint8_t& needed = chunk.Needed[r * columns + c];
                            if (!needed) {
                                needed = 1;
                                chunk.ToColour.push_back(static_cast<uint32_t>(r * columns + c));
                            }
                        }
    };
    const auto colour = [&](TDomeChunk& chunk, TWorkPool pool) {
        ParallelFor(
            0, chunk.ToColour.size(),
            [&](size_t n) {
                const size_t at = chunk.ToColour[n];
                float v[3];
                vertex(chunk, at / columns, at % columns, v);
                TFloatRGB rgb = base;
                AtmosphereColour(atmosphere, eye, {v[0], v[1] - floorLevel, v[2]}, true, rgb);
                float* c = &chunk.RingColour[at * 3];
                c[0] = rgb.R;
                c[1] = rgb.G;
                c[2] = rgb.B;
            },
            pool);
    };
    // False when the render is aborted.
    const auto draw = [&](const TDomeChunk& chunk) {
        for (int b = 0; b < chunk.Count; ++b) {
            const int k = chunk.First + b;
            StatusSink().SetProgress(Percent(k + half, 2.0 * half));
            StatusSink().ProcessMessages();
            if (Aborted)
                return false;
            const size_t lower = static_cast<size_t>(b), upper = lower + 1;
            // Runs of quads that may reach the view, each drawn as its own part of the band's
            // strip (starting on an even vertex keeps every triangle's winding).
            size_t j = 0;
            while (j < columns - 1) {
                if (!inView(chunk, lower, j)) {
                    ++j;
                    continue;
                }
                const size_t first = j;
                while (j < columns - 1 && inView(chunk, lower, j))
                    ++j;
                for (size_t c = first; c <= j; ++c) {
                    put(chunk, upper, c, 2 * c);
                    put(chunk, lower, c, 2 * c + 1);
                }
                gl.glDrawArrays(GL_TRIANGLE_STRIP, static_cast<GLint>(2 * first),
                                static_cast<GLsizei>(2 * (j - first + 1)));
            }
        }
        // Drawn by the driver's threads while the next chunk is worked on.
        SafeGLFlush(gl);
        return true;
    };

    // The colours of the next chunk, on other threads; however the dome ends, they end first.
    std::future<void> next;
    struct TWait {
        std::future<void>& Work;
        ~TWait()
        {
            if (Work.valid())
                Work.wait();
        }
    } wait{next};
    int current = 0;
    plan(d.Chunks[0], -half);
    colour(d.Chunks[0], TWorkPool::Waited);
    for (;;) {
        TDomeChunk& chunk = d.Chunks[current];
        const int following = chunk.First + kChunk;
        if (following <= half) {
            TDomeChunk& after = d.Chunks[1 - current];
            plan(after, following);
            next = RunInBackground([&colour, &after] { colour(after, TWorkPool::Background); }, TWorkPool::Background);
        }
        if (!draw(chunk) || !next.valid())
            return;
        next.get();
        current = 1 - current;
    }
}

// ---- Grid passes -------------------------------------------------------------------------------

void TRenderEngine::CalculateNormals()
{
    TProject& p = Project();
    SetStatusText("Preprocessing");
    SetSubStatusText("Calculating normals");
    TGridBlock& grid = p.Grid;
    grid.MaxNormalY = -2147483647.0;
    grid.MinNormalY = 2147483647.0;
    const int sx = Columns(p), sy = Rows(p);
    // Columns on every core, a band at a time; the extremes are kept per column and met after.
    const int inner = std::max(0, sx - 2);
    std::vector<double> highest(static_cast<size_t>(inner), grid.MaxNormalY);
    std::vector<double> lowest(static_cast<size_t>(inner), grid.MinNormalY);
    const auto column = [&](size_t k) {
        const int i = static_cast<int>(k) + 1;
        TVector3 ring[9];
        for (int j = 1; j <= sy - 2; ++j) {
            p.GetVertexNeighbourhood(i, j, ring);
            const TVector3& n = ring[1];
            const TVector3& e = ring[3];
            const TVector3& s = ring[5];
            const TVector3& w = ring[7];
            const TVector3& c = ring[8];
            const TVector3 mean = AverageOfFour(TriangleNormal(n, c, e), TriangleNormal(e, c, s),
                                                TriangleNormal(s, c, w), TriangleNormal(w, c, n));
            grid.Cells[i][j].Normal = mean;
            highest[k] = std::max<double>(highest[k], mean.Y);
            lowest[k] = std::min<double>(lowest[k], mean.Y);
        }
    };
    ParallelForInBands(0, static_cast<size_t>(inner), static_cast<size_t>(sy),
                       [&](size_t first) {
                           StatusSink().SetProgress(Percent(static_cast<double>(first) * (sy - 2), (sx - 1.0) * (sy - 1.0)));
                           return true;
                       },
                       column);
    for (int k = 0; k < inner; ++k) {
        grid.MaxNormalY = std::max(grid.MaxNormalY, highest[static_cast<size_t>(k)]);
        grid.MinNormalY = std::min(grid.MinNormalY, lowest[static_cast<size_t>(k)]);
    }
    // Borders copy their inner neighbours (rows first, then columns, so corners follow).
    if (sy >= 2)
        for (int i = 1; i <= sx - 2; ++i) {
            grid.Cells[i][0].Normal = grid.Cells[i][1].Normal;
            grid.Cells[i][sy - 1].Normal = grid.Cells[i][sy - 2].Normal;
        }
    if (sx >= 2)
        for (int j = 0; j < sy; ++j) {
            grid.Cells[0][j].Normal = grid.Cells[1][j].Normal;
            grid.Cells[sx - 1][j].Normal = grid.Cells[sx - 2][j].Normal;
        }
}

void TRenderEngine::RaytraceShadows()
{
    TProject& p = Project();
    if (!p.ShadowsOutOfDate)
        return;
    SetStatusText("Preprocessing");
    SetSubStatusText("Raytracing Shadows");
    TGridBlock& grid = p.Grid;
    const int sx = Columns(p), sy = Rows(p);
    const double altitude = p.Lighting.LightAltitude;
    const double az = (p.Lighting.LightAzimuth - 90.0) * kDegrees;
    const double dx = std::cos(az), dy = std::sin(az);
    const double cellLength = std::fabs(dy) * grid.SpacingY + (1.0 - std::fabs(dy)) * grid.SpacingX;
    const double rise = std::tan((90.0 - altitude) * kDegrees) * cellLength;
    const double limit = grid.SizeY > grid.SizeX ? grid.SizeY * 1.5 * grid.SpacingY : grid.SizeX * 1.5 * grid.SpacingX;
    // The highest vertex a ray can test: a rising ray that has climbed above it stays unshadowed
    // to its end, so the march stops there.
    double highest = std::numeric_limits<double>::infinity();
    if (sx >= 2 && sy >= 2) {
        highest = -std::numeric_limits<double>::infinity();
        for (int c = 1; c <= sx - 1; ++c)
            for (int r = 1; r <= sy - 1; ++r)
                if (grid.Cells[c][r].Height > highest)
                    highest = grid.Cells[c][r].Height;
    }
    const bool rising = rise >= 0;
    const auto shadeRow = [&](int j) {
        for (int i = 0; i < sx; ++i) {
            TGridCell& cell = grid.Cells[i][j];
            cell.InShadow = 0;
            const double h0 = cell.Height;
            for (double t = 1.0; t < limit; t += 1.0) {
                const double col = std::nearbyint(dx * t + i);
                const double row = std::nearbyint(dy * t + j);
                if (!(col >= -1 && col < sx + 1 && row >= -1 && row < sy + 1))
                    break;
                const int c = static_cast<int>(std::clamp(col, 1.0, sx - 1.0));
                const int r = static_cast<int>(std::clamp(row, 1.0, sy - 1.0));
                const double reach = h0 + t * rise;
                if (reach < grid.Cells[c][r].Height) {
                    cell.InShadow = 1;
                    break; // one blocker is enough
                }
                if (rising && reach >= highest)
                    break;
            }
        }
    };
    bool aborted = false;
    if (altitude == 0.0 || sx < 2 || sy < 2) {
        // The sun straight above, or a single column or row (no inner vertex to cast a shadow):
        // nothing is shadowed, and nothing to pump for.
        for (int j = 0; j < sy; ++j)
            for (int i = 0; i < sx; ++i)
                grid.Cells[i][j].InShadow = 0;
    } else {
        // Each ray reads heights only, so rows are marched on every core, a band at a time, with
        // the messages pumped between bands.
        aborted = !ParallelForInBands(
            0, static_cast<size_t>(sy), static_cast<size_t>(sx),
            [&](size_t first) {
                StatusSink().SetProgress(Percent(static_cast<double>(first) * sx, static_cast<double>(sx) * sy));
                StatusSink().ProcessMessages();
                return Aborted == 0;
            },
            [&](size_t j) { shadeRow(static_cast<int>(j)); });
    }
    // Only a complete pass brings the shadows up to date; an aborted one is redone next time.
    if (!aborted)
        p.ShadowsOutOfDate = 0;
}

void TRenderEngine::CalculateVisibility()
{
    TProject& p = Project();
    SetStatusText("Preprocessing");
    SetSubStatusText("Calculating visibility");
    // Twice the picture's width of frustum, so cells just outside still get a depth.
    SetupProjection(ViewRect.Right, ViewRect.Bottom / 2, 0.0);
    const double margin = p.MaxRoughnessMargin();
    const TPointProjector projector; // the matrices stay fixed for the whole pass
    const TGridBlock& grid = p.Grid;
    const int sx = Columns(p), sy = Rows(p);
    const double ws = WorldScaleDivisor(p);
    const double total = (sx - 1.0) * (sy - 1.0);
    double done = 0;
    for (int i = 0; i < sx; ++i) {
        StatusSink().SetProgress(Percent(done, total));
        for (int j = 0; j < sy; ++j) {
            TGridCell& cell = p.Grid.Cells[i][j];
            // The same vertical scale as the drawn surface, so visibility matches the picture.
            const TVector3 point{static_cast<float>((i - grid.SizeX / 2.0) * grid.SpacingX / ws),
                                 static_cast<float>(cell.Height * grid.VerticalScale / ws),
                                 static_cast<float>((j - grid.SizeY / 2.0) * grid.SpacingY / ws)};
            cell.ViewDepth = static_cast<float>(PointVisibility(projector, point, margin));
            ++done;
        }
    }
    SetupProjection(ViewRect.Right, ViewRect.Bottom, 0.0);
}

// ---- Projection tests --------------------------------------------------------------------------

double TRenderEngine::PointVisibility(const TVector3& point, double margin)
{
    const TGLEntryPoints& gl = GL();
    GLfloat buffer[8] = {};
    GLint count = 0;
    {
        TFeedbackScope feedback(GL_3D, buffer, 8);
        SafeGLBegin(gl, GL_POINTS);
        gl.glVertex3f(point.X, point.Y, point.Z);
        gl.glVertex3f(point.X, static_cast<float>(point.Y + 0.2 * margin), point.Z);
        SafeGLEnd(gl);
        count = feedback.Finish();
    }
    // Only records actually written count; a clipped point writes none.
    for (int record = 0; record < 2 && (record + 1) * 4 <= count; ++record) {
        const GLfloat* r = buffer + record * 4;
        if (r[0] == static_cast<GLfloat>(GL_POINT_TOKEN) && InsideView(ViewRect, r[1], r[2]))
            return r[3];
    }
    return -1.0;
}

double TRenderEngine::PointVisibility(const TPointProjector& projector, const TVector3& point, double margin) const
{
    TVector3 window;
    if (projector.Project(point, window) && InsideView(ViewRect, window.X, window.Y))
        return window.Z;
    const TVector3 raised{point.X, static_cast<float>(point.Y + 0.2 * margin), point.Z};
    if (projector.Project(raised, window) && InsideView(ViewRect, window.X, window.Y))
        return window.Z;
    return -1.0;
}

bool TRenderEngine::ProjectPoint(const TVector3& point, TVector3& window)
{
    const TGLEntryPoints& gl = GL();
    GLfloat buffer[4] = {};
    GLint count = 0;
    {
        TFeedbackScope feedback(GL_3D, buffer, 4);
        SafeGLBegin(gl, GL_POINTS);
        gl.glVertex3f(point.X, point.Y, point.Z);
        SafeGLEnd(gl);
        count = feedback.Finish();
    }
    if (count >= 4 && buffer[0] == static_cast<GLfloat>(GL_POINT_TOKEN) && std::isfinite(buffer[1]) &&
        std::isfinite(buffer[2]) && std::isfinite(buffer[3])) {
        window = {buffer[1], buffer[2], buffer[3]};
        return true;
    }
    ClearFPUExceptions();
    return false;
}

void TRenderEngine::DrawCellTriangles(const TCellGeometry& cell, bool cull)
{
    const TGLEntryPoints& gl = GL();
    TGLAttribScope keep(GL_ENABLE_BIT | GL_POLYGON_BIT);
    // The corners run clockwise on the screen for a cell turned toward the camera, and the surface
    // is drawn with clockwise front faces. Culling under whatever winding was left in force (the
    // sky dome leaves counter-clockwise) would keep only the cells turned away instead.
    gl.glFrontFace(GL_CW);
    gl.glCullFace(GL_BACK);
    if (cull)
        gl.glEnable(GL_CULL_FACE);
    else
        gl.glDisable(GL_CULL_FACE);
    const TVector3* c = cell.Corners;
    SafeGLBegin(gl, GL_TRIANGLES);
    for (int k : {0, 1, 2, 0, 2, 3})
        gl.glVertex3f(c[k].X, c[k].Y, c[k].Z);
    SafeGLEnd(gl);
}

bool TRenderEngine::CellScreenSize(const TCellGeometry& cell, bool cull, double& size)
{
    return CellScreenSize(cell, cull, size, TPointProjector());
}

bool TRenderEngine::CellScreenSize(const TCellGeometry& cell, bool cull, double& size,
                                   const TPointProjector& projector) const
{
    // The two triangles DrawCellTriangles draws, clipped and culled as it would have them: the
    // surface's clockwise front faces, back faces culled.
    const TVector3* c = cell.Corners;
    bool visible = false, any = false;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    double x[TPointProjector::MaxClippedPoints], y[TPointProjector::MaxClippedPoints];
    for (const auto& [i, j, k] : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
        double area = 0;
        const int n = projector.ClipTriangle(c[i], c[j], c[k], x, y, area);
        if (n == 0 || (cull && !(area < 0)))
            continue;
        for (int v = 0; v < n; ++v) {
            if (InsideView(ViewRect, x[v], y[v]))
                visible = true;
            if (!any) {
                minX = maxX = x[v];
                minY = maxY = y[v];
                any = true;
            } else {
                minX = std::min(minX, x[v]);
                maxX = std::max(maxX, x[v]);
                minY = std::min(minY, y[v]);
                maxY = std::max(maxY, y[v]);
            }
        }
    }
    if (visible)
        size = ScreenSizeFactor * std::max(maxX - minX, maxY - minY);
    return visible;
}

// ---- Shading -----------------------------------------------------------------------------------

TVector3 TRenderEngine::SunDirection(double extraAngle) const
{
    const TProject& p = Project();
    if (extraAngle == 0.0)
        return p.Lighting.SunVector;
    const double az = p.Lighting.LightAzimuth, alt = p.Lighting.LightAltitude;
    return NormalizeVector({static_cast<float>(std::sin((az + extraAngle) * kDegrees) * SunScale),
                            static_cast<float>(std::sin((90.0 - alt) * kDegrees) * SunScale),
                            static_cast<float>(std::cos((az + 180.0 + extraAngle) * kDegrees) * SunScale)});
}

namespace {

// Colour lit by its own light, the ambient light and the sun falling on normal.
TFloatRGB DiffuseLit(const TFloatRGB& colour, const TVector3& normal, const TVector3& sun, double ambient,
                     double diffuse, double selfLight, double lightFactor)
{
    const double d = ClampedDot(normal, sun);
    return Scaled(colour, selfLight + ambient + diffuse * lightFactor * d);
}

} // namespace

void TRenderEngine::ShadeDiffuse(const TFloatRGB& colour, const TVector3&, const TVector3& normal, double extraAngle,
                                 double selfLight, double lightFactor, TFloatRGB& result) const
{
    const TProject& p = Project();
    result = DiffuseLit(colour, normal, SunDirection(extraAngle), p.Atmosphere.Ambient, p.Atmosphere.Diffuse,
                        selfLight, lightFactor);
}

void TRenderEngine::ShadePoint(const TFloatRGB& colour, const TFloatRGB& reflectColour, const TVector3& point,
                               const TVector3& normal, double extraAngle, double selfLight, double specularity,
                               double shininess, double lightFactor, TFloatRGB& result) const
{
    const TProject& p = Project();
    const TVector3 sun = SunDirection(extraAngle);
    const double d = ClampedDot(normal, sun);
    TFloatRGB shaded = Scaled(colour, selfLight + p.Atmosphere.Ambient + p.Atmosphere.Diffuse * lightFactor * d);
    if (d > 0 && specularity > 0 && shininess > 0) {
        const TVector3 view = NormalizeVector(SubtractVector(point, p.Camera.Eye));
        const TVector3 halfway = NormalizeVector(AddVector3(view, sun));
        const double s = p.Atmosphere.Diffuse * lightFactor * ClampedDot(normal, halfway) * specularity * shininess;
        if (s > 0) {
            const TFloatRGB light = Scaled(ToRGB(p.Lighting.PrimaryLightColor), s);
            shaded = {shaded.R + light.R, shaded.G + light.G, shaded.B + light.B};
        }
    }
    const TVector3 toPoint = NormalizeVector(SubtractVector(point, p.GetCameraPosition()));
    const double t = std::exp(-8.0 * ClampedDot(normal, toPoint));
    result = {static_cast<float>(t * reflectColour.R + (1 - t) * shaded.R),
              static_cast<float>(t * reflectColour.G + (1 - t) * shaded.G),
              static_cast<float>(t * reflectColour.B + (1 - t) * shaded.B)};
}

TFloatRGB TRenderEngine::PointColourOf(bool lit, const TFloatRGB& colour, const TVector3& point,
                                       const TVector3& normal, double extraAngle, double selfLight,
                                       double lightFactor) const
{
    TFloatRGB result = colour;
    if (lit)
        ShadeDiffuse(colour, point, normal, extraAngle, selfLight, lightFactor, result);
    AtmosphereColour(Project().GetCameraPosition(), point, false, result);
    return Clamped(result);
}

TFloatRGB TRenderEngine::SkyColourOf(bool lit, const TFloatRGB& colour, const TFloatRGB& reflectColour,
                                     const TVector3& point, const TVector3& normal, double extraAngle,
                                     double selfLight, double specularity, double shininess,
                                     double lightFactor) const
{
    TFloatRGB result = colour;
    if (lit)
        ShadePoint(colour, reflectColour, point, normal, extraAngle, selfLight, specularity, shininess, lightFactor,
                   result);
    AtmosphereColour(Project().GetCameraPosition(), point, false, result);
    return Clamped(result);
}

TRenderEngine::TLitShading TRenderEngine::LitShading() const
{
    const TProject& p = Project();
    return {SunDirection(0.0), p.GetCameraPosition(), p.Atmosphere.Ambient, p.Atmosphere.Diffuse};
}

TFloatRGB TRenderEngine::LitPointColour(const TLitShading& s, const TFloatRGB& colour, const TVector3& point,
                                        const TVector3& normal, double selfLight, double lightFactor) const
{
    // ShadeDiffuse, then the haze, then the clamp, as PointColourOf does them.
    TFloatRGB result = DiffuseLit(colour, normal, s.Sun, s.Ambient, s.Diffuse, selfLight, lightFactor);
    AtmosphereColour(s.Eye, point, false, result);
    return Clamped(result);
}

void TRenderEngine::PointColour(bool lit, const TFloatRGB& colour, const TVector3& point, const TVector3& normal,
                                double extraAngle, double selfLight, double lightFactor, TFloatRGB& result)
{
    result = CurrentColour = PointColourOf(lit, colour, point, normal, extraAngle, selfLight, lightFactor);
}

void TRenderEngine::SkyColour(bool lit, const TFloatRGB& colour, const TFloatRGB& reflectColour, const TVector3& point,
                              const TVector3& normal, double extraAngle, double selfLight, double specularity,
                              double shininess, double lightFactor, TFloatRGB& result)
{
    result = CurrentColour = SkyColourOf(lit, colour, reflectColour, point, normal, extraAngle, selfLight, specularity,
                                         shininess, lightFactor);
}

// ---- Textures ----------------------------------------------------------------------------------

int TRenderEngine::TextureSide(int width, int height, bool resize)
{
    if (!resize)
        return 512;
    const double m = std::nearbyint((static_cast<double>(width) + height + 1.0) / 2.0);
    return m > 512 ? 1024 : 512;
}

void TRenderEngine::LoadBmpTexture(const std::string& fileName, GLuint listId, uint8_t mode, double amount,
                                   uint32_t keyColour, bool resize)
{
    if (fileName.empty())
        return;
    const double scaledAlpha = std::nearbyint(255.0 * amount);
    const uint8_t alpha = static_cast<uint8_t>(std::isfinite(scaledAlpha) ? std::clamp(scaledAlpha, 0.0, 255.0) : 255.0);
    QImage picture;
    if (!LoadPicture(fileName, picture) || picture.isNull()) {
        ShowError("E0002 Error loading bmp file");
        return;
    }
    const int side = TextureSide(picture.width(), picture.height(), resize);
    std::vector<unsigned char> texels;
    QImage square;
    try {
        square = picture.convertToFormat(QImage::Format_RGB32)
                     .scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (square.isNull())
            throw std::bad_alloc();
        texels.resize(static_cast<size_t>(side) * side * 4);
    } catch (const std::bad_alloc&) {
        ShowError("E0056 Unable to allocate sufficient memory for image");
        return;
    }
    const int keyR = keyColour & 0xFF, keyG = (keyColour >> 8) & 0xFF, keyB = (keyColour >> 16) & 0xFF;
    // OpenGL's first texel row is the bottom row of the picture.
    for (int y = 0; y < side; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(square.constScanLine(side - 1 - y));
        unsigned char* out = texels.data() + static_cast<size_t>(y) * side * 4;
        for (int x = 0; x < side; ++x, out += 4) {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            out[0] = static_cast<unsigned char>(r);
            out[1] = static_cast<unsigned char>(g);
            out[2] = static_cast<unsigned char>(b);
            out[3] = (mode == 1 || (r == keyR && g == keyG && b == keyB)) ? alpha : 255;
        }
    }
    const TGLEntryPoints& gl = GL();
    gl.glNewList(listId, GL_COMPILE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl.glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    gl.glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, 4, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    gl.glEndList();
}
