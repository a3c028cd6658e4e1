#pragma once
// TRenderEngine: what the fractal and overlay renderers share. The per-frame OpenGL set-up, the
// three grid passes (vertex normals, sun shadows, visibility), projection, sun light, sky dome,
// picture textures in display lists, the shading formulas of terrain, water and model faces, the
// projection tests and the status texts.
//
// A renderer derives from it, overrides Render(TGLPanel&) and reaches the project only through the
// address of the shell's project variable, so a project replaced while the window is open is seen
// at once. Every OpenGL call goes through the entry-point table; matrix and attribute pushes are
// scoped (TGLMatrixScope, TGLAttribScope) so they are popped on every path, exceptions included.
#include "project/MathUtils.h"
#include "project/ProjectGeometry.h"
#include "project/TypeDefinition.h"

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

class TGLPanel;
class TProject;

// Pushes the matrix of the current mode; pops it (in that mode) when the scope ends.
class TGLMatrixScope {
public:
    TGLMatrixScope();
    ~TGLMatrixScope();
    TGLMatrixScope(const TGLMatrixScope&) = delete;
    TGLMatrixScope& operator=(const TGLMatrixScope&) = delete;

private:
    GLint mode_ = GL_MODELVIEW;
};

// Pushes the attribute groups of mask; pops them when the scope ends.
class TGLAttribScope {
public:
    explicit TGLAttribScope(GLbitfield mask);
    ~TGLAttribScope();
    TGLAttribScope(const TGLAttribScope&) = delete;
    TGLAttribScope& operator=(const TGLAttribScope&) = delete;
};

struct TViewRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// OpenGL's point transformation done in software with the matrices and viewport current when it
// was made: the same window coordinates and clipping as feedback mode, without a mode switch per
// point. The visibility pass projects every grid vertex through it.
class TPointProjector {
public:
    TPointProjector(); // reads the current matrices and viewport
    // Window x, y and depth; false when the point lies outside the view volume (clipped).
    bool Project(const TVector3& point, TVector3& window) const;
    // True when the box between corners lo and hi lies wholly outside one side of the view
    // volume: then no point inside it projects.
    bool BoxOutside(const TVector3& lo, const TVector3& hi) const;
    // The triangle clipped to the view volume as OpenGL clips it, in window x and y: count points
    // (0 when nothing is left) and the signed area of the clipped polygon (positive when it runs
    // counter-clockwise on the screen).
    static constexpr int MaxClippedPoints = 9;
    int ClipTriangle(const TVector3& a, const TVector3& b, const TVector3& c, double (&x)[MaxClippedPoints],
                     double (&y)[MaxClippedPoints], double& area) const;

private:
    double m_[16] = {}; // projection x modelview, column-major like OpenGL
    double viewport_[4] = {};
    double depthNear_ = 0, depthFar_ = 1;
};

class TRenderEngine {
public:
    static constexpr double SunScale = 4096.0 / 3.0;   // distance at which the sun light is placed
    static constexpr double NearPlane = 0.1;
    static constexpr double FarPlane = 5000.0;
    static constexpr double DomeRadius = 2000.0;
    static constexpr double DomeHeightSpan = 1000.0;
    static constexpr double ScreenSizeFactor = 1.415;

    TRenderEngine() = default;
    virtual ~TRenderEngine() = default;
    TRenderEngine(const TRenderEngine&) = delete;
    TRenderEngine& operator=(const TRenderEngine&) = delete;

    // The whole picture into the panel; each renderer clears Aborted when it starts.
    virtual void Render(TGLPanel& panel) = 0;

    // Stores the address of the shell's project variable (not the project).
    void SetProject(TProject** projectVar) { projectVar_ = projectVar; }
    TProject** ProjectVar() const { return projectVar_; }
    // The current project; raises EInitError ("E0101 Internal Initialization Error") when none.
    TProject& Project() const;
    // False, after telling the user, when no OpenGL implementation is loaded.
    static bool OpenGLReady();

    // Status-bar panels 1 and 2; pending messages run once afterwards.
    void SetStatusText(const std::string& text);
    void SetSubStatusText(const std::string& text);

    // ---- Per-frame set-up ----------------------------------------------------------------------
    // Clear, depth test, shadows (when out of date) and normals, viewport; modelview identity.
    void PrepareScene(int width, int height);
    // Perspective of half the camera's angle plus extra, aspect width / height; matrices balanced.
    void SetupProjection(int width, int height, double extraAngle);
    // SetupProjection(width, height, 0) and ViewRect := (0, 0, width, height).
    void SetViewport(int width, int height);
    // gluLookAt from the camera position to its target, up (0, 1, 0), on the modelview matrix.
    void SetupCamera();
    // The sun as a directional light; also sets the project's SunVector.
    void SetupLights();
    // Fills AtmosphereParams from the project and draws the sky dome (stops at once on abort).
    void DrawSky();
    // The drawing state PrepareScene gives a frame: clear colour, depth test, no smoothing or
    // blending, smooth shading.
    static void SetFrameState();
    // Draws coloured strips over a viewport of width x height, in the state the sky dome is drawn
    // in and about as many as a dome has in view (the caller clears them away): the driver
    // compiles that state and takes the memory such drawing needs now, not in the first render
    // of a context. Changes nothing but the framebuffer.
    static void PrepareSkyDrawing(int width, int height);

    // ---- Grid passes ---------------------------------------------------------------------------
    void CalculateNormals();
    // Runs only while the project's shadows are out of date; marks them up to date only after a
    // pass that was not aborted.
    void RaytraceShadows();
    void CalculateVisibility();

    // ---- Textures ------------------------------------------------------------------------------
    // Compiles the picture into display list listId as an S x S RGBA texture. Mode 1: every texel
    // gets alpha Round(255 Amount); otherwise texels of keyColour (red + 256 green + 65536 blue)
    // get that alpha and all others 255. Messages E0002 / E0056 on failure; nothing on an empty name.
    void LoadBmpTexture(const std::string& fileName, GLuint listId, uint8_t mode, double amount,
                        uint32_t keyColour, bool resize);
    // The texture side S for a picture: 1024 or 512 (see LoadBmpTexture).
    static int TextureSide(int width, int height, bool resize);

    // ---- Shading (colours 0 .. 1, angles in degrees, Point in the render frame) ----------------
    void ShadeDiffuse(const TFloatRGB& colour, const TVector3& point, const TVector3& normal, double extraAngle,
                      double selfLight, double lightFactor, TFloatRGB& result) const;
    void ShadePoint(const TFloatRGB& colour, const TFloatRGB& reflectColour, const TVector3& point,
                    const TVector3& normal, double extraAngle, double selfLight, double specularity,
                    double shininess, double lightFactor, TFloatRGB& result) const;
    // Lit: ShadeDiffuse, else the plain colour; then the haze from the camera to point; clamped.
    void PointColour(bool lit, const TFloatRGB& colour, const TVector3& point, const TVector3& normal,
                     double extraAngle, double selfLight, double lightFactor, TFloatRGB& result);
    // The same around ShadePoint (water).
    void SkyColour(bool lit, const TFloatRGB& colour, const TFloatRGB& reflectColour, const TVector3& point,
                   const TVector3& normal, double extraAngle, double selfLight, double specularity,
                   double shininess, double lightFactor, TFloatRGB& result);
    // The two above without keeping the result in CurrentColour: safe on several threads at once
    // (with a TQuietHazeRecord on each).
    TFloatRGB PointColourOf(bool lit, const TFloatRGB& colour, const TVector3& point, const TVector3& normal,
                            double extraAngle, double selfLight, double lightFactor) const;
    TFloatRGB SkyColourOf(bool lit, const TFloatRGB& colour, const TFloatRGB& reflectColour, const TVector3& point,
                          const TVector3& normal, double extraAngle, double selfLight, double specularity,
                          double shininess, double lightFactor) const;
    // PointColourOf, lit, without an extra angle, for many points in a row: what it reads of the
    // project is read once (TLitShading) and the same arithmetic follows, to the same bit.
    struct TLitShading {
        TVector3 Sun, Eye;
        double Ambient = 0, Diffuse = 0;
    };
    TLitShading LitShading() const;
    TFloatRGB LitPointColour(const TLitShading& shading, const TFloatRGB& colour, const TVector3& point,
                             const TVector3& normal, double selfLight, double lightFactor) const;

    // ---- Projection tests (current matrices) ---------------------------------------------------
    // Window x, y and depth of point; false when it is clipped or not finite.
    bool ProjectPoint(const TVector3& point, TVector3& window);
    // Window depth of point, or of the point 0.2 margin above it, when inside ViewRect; else -1.
    double PointVisibility(const TVector3& point, double margin);
    // The same through a projector made for the current matrices.
    double PointVisibility(const TPointProjector& projector, const TVector3& point, double margin) const;
    // Whether the cell's triangles reach into ViewRect; size: 1.415 x their larger window extent.
    // With cull, a cell turned away from the camera (counter-clockwise on the screen) is not. The
    // window points are those feedback mode gives, computed in software: a switch to feedback
    // mode per cell made the driver's memory grow with every render.
    bool CellScreenSize(const TCellGeometry& cell, bool cull, double& size);
    // The same with matrices taken earlier: callable off the drawing thread.
    bool CellScreenSize(const TCellGeometry& cell, bool cull, double& size, const TPointProjector& projector) const;
    void DrawCellTriangles(const TCellGeometry& cell, bool cull);

    // Sky dome segments and bands for a fractal depth.
    static void DomeResolution(int32_t fractalDepth, int& segments, int& bands);

    uint8_t Aborted = 0;
    int32_t QuadCount = 0;
    TViewRect ViewRect;
    float LightPosition[4] = {0, 0, 0, 0};
    TFloatRGB CurrentColour;

protected:
    // The sun direction, turned by extraAngle degrees about the vertical (0: the project's SunVector).
    TVector3 SunDirection(double extraAngle) const;
    // The fractal depth the sky is drawn for: the project's, unless a renderer limits it.
    virtual int32_t SkyFractalDepth() const;

private:
    // Scratch of the sky dome, kept between frames so a frame allocates nothing once warmed up.
    // The rings of a chunk of bands (ring r is the lower ring of band First + r): height, radius,
    // and per vertex its clip outcode, whether a quad in view needs it, and its colour (r, g, b)
    // once worked out.
    struct TDomeChunk {
        int First = 0, Count = 0;
        std::vector<double> RingY, RingRadius;
        std::vector<uint8_t> Outcode, Needed;
        std::vector<float> RingColour;
        std::vector<uint32_t> ToColour;            // ring x columns + column of each needed vertex
    };
    struct TDomeScratch {
        std::vector<double> Sin, Cos;              // per segment
        std::vector<double> Across[4];             // per segment: clip row of (sin, 0, cos)
        TDomeChunk Chunks[2];                      // the chunk being drawn and the next
        std::vector<float> Strip, StripColour;     // one band as a triangle strip
    };
    // The dome's bands as triangle strips, colouring only vertices of quads that reach the view.
    void DrawDome(int segments, int bands);

    TProject** projectVar_ = nullptr;
    TDomeScratch dome_;
};
