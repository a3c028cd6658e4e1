// The sky dome drawn by the engine against a straightforward reference: every band as one
// immediate-mode triangle strip, every vertex coloured where it is sent. The engine colours each
// vertex once, leaves out quads that cannot reach the view and draws from vertex arrays; the
// colour and depth buffers must come out the same.
#include "render/RendererEngine.h"

#include "platform/GLEntryPoints.h"
#include "project/Messages.h"
#include "project/Project.h"
#include "project/atmos32.h"
#include "render/GLPanel.h"
#include "support/MessageLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class TTestEngine : public TRenderEngine {
public:
    void Render(TGLPanel&) override {}
};

using TPumpingStatus = qxtest::TStatusLog;

// The dome as it was first drawn; AtmosphereParams must already be filled (DrawSky does that).
void ReferenceDome(TRenderEngine& engine, const TProject& p)
{
    const TGLEntryPoints& gl = GL();
    int segments = 0, bands = 0;
    TRenderEngine::DomeResolution(p.Fractal.FractalDepth, segments, bands);
    StatusSink().ProcessMessages(); // as the status text before the dome does
    TGLAttribScope keep(GL_TEXTURE_BIT | GL_LIGHTING_BIT);
    gl.glDisable(GL_LIGHTING);
    gl.glEnable(GL_COLOR_MATERIAL);
    gl.glEnable(GL_CULL_FACE);
    gl.glFrontFace(GL_CCW);
    const TVector3 eye = p.GetCameraPosition();
    const double dh = TRenderEngine::DomeHeightSpan / bands;
    const int half = bands / 2;
    double previousRadius = TRenderEngine::DomeRadius;
    for (int k = -half; k <= half; ++k) {
        StatusSink().ProcessMessages();
        if (engine.Aborted)
            break;
        const double ratio = static_cast<double>(bands - k) / bands;
        const double radius = ratio * ratio * TRenderEngine::DomeRadius;
        gl.glBegin(GL_TRIANGLE_STRIP);
        for (int j = 0; j <= segments; ++j) {
            const double angle = -j * 2.0 * M_PI / segments;
            const double s = std::sin(angle), c = std::cos(angle);
            const TVector3 upper{static_cast<float>(s * radius), static_cast<float>((k + 1) * dh),
                                 static_cast<float>(c * radius)};
            const TVector3 lower{static_cast<float>(s * previousRadius), static_cast<float>(k * dh),
                                 static_cast<float>(c * previousRadius)};
            for (const TVector3& v : {upper, lower}) {
                TFloatRGB colour = SkyBaseColour();
                AtmosphereColour(eye, {v.X, v.Y - AtmosphereParams.Floor, v.Z}, true, colour);
                gl.glColor3f(colour.R, colour.G, colour.B);
                gl.glVertex3f(v.X, v.Y, v.Z);
            }
        }
        gl.glEnd();
        previousRadius = radius;
    }
}

struct TBuffers {
    std::vector<unsigned char> Colour;
    std::vector<float> Depth;
};

TBuffers ReadBuffers(int width, int height)
{
    TBuffers b;
    b.Colour.resize(static_cast<size_t>(width) * height * 4);
    b.Depth.resize(static_cast<size_t>(width) * height);
    const TGLEntryPoints& gl = GL();
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, b.Colour.data());
    gl.glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, b.Depth.data());
    return b;
}

struct TSkyCase {
    const char* Name;
    bool Clouds;
    double Azimuth, Altitude; // altitude from the vertical: above 90 the sun is below the horizon
    double Blueing, FogDensity, MistHeight;
    TVector3 Eye, Target;
    double Perspective;
    int Depth;
    int AbortAtPump; // 0: never
};

class SkyDomeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousStatus_ = SetStatusSink(&status);
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
    }
    void TearDown() override
    {
        SetStatusSink(previousStatus_);
        delete project;
        UnloadOpenGLLibraries();
    }
    void MakeProject(const TSkyCase& c)
    {
        delete project;
        project = new TProject();
        ASSERT_TRUE(project->NewGrid(16, 16, 10.0, 10.0));
        project->WorldScale = 1.0;
        project->Grid.VerticalScale = 1.0;
        project->Fractal.FractalDepth = c.Depth;
        project->Lighting.LightAzimuth = c.Azimuth;
        project->Lighting.LightAltitude = c.Altitude;
        project->Atmosphere.Blueing = c.Blueing;
        project->Atmosphere.FogDensity = c.FogDensity;
        project->Atmosphere.MistHeight = c.MistHeight;
        project->Camera.Eye = c.Eye;
        project->Camera.Target = c.Target;
        project->Camera.Perspective = c.Perspective;
        ASSERT_FALSE(project->Clouds.Items.empty());
        project->Clouds.Items.front().Draw = c.Clouds ? 1 : 0;
        engine.SetProject(&project);
    }
    // Draws the frame set-up and one dome (engine or reference) and reads back both buffers.
    TBuffers Draw(const TSkyCase& c, int width, int height, bool reference)
    {
        TBuffers result;
        TGLPanel panel;
        panel.resize(width, height);
        panel.OnGLDraw = [&](TGLPanel&) {
            engine.Aborted = 0;
            engine.PrepareScene(width, height);
            engine.SetupCamera();
            engine.SetupLights();
            if (reference) {
                engine.DrawSky(); // fills the atmosphere exactly as a render does
                GL().glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            }
            int pumps = 0;
            status.onPump = [&] {
                if (c.AbortAtPump > 0 && ++pumps == c.AbortAtPump)
                    engine.Aborted = 1;
            };
            if (reference)
                ReferenceDome(engine, *project);
            else
                engine.DrawSky();
            status.onPump = nullptr;
            GL().glFinish();
            result = ReadBuffers(width, height);
        };
        panel.Redraw();
        return result;
    }

    TPumpingStatus status;
    TProject* project = nullptr;
    TTestEngine engine;
    IStatusSink* previousStatus_ = nullptr;
};

TEST_F(SkyDomeTest, MatchesTheImmediateModeDome)
{
    const TVector3 level{0, 150, 300}, ahead{0, 150, -300};
    const TSkyCase cases[] = {
        {"clouds, sun up, haze", true, 135, 40, 0.6, 0.1, 0.7, level, ahead, 45, 1, 0},
        {"no clouds, sun up", false, 135, 40, 0.6, 0.1, 0.7, level, ahead, 45, 1, 0},
        {"sun below the horizon", true, 300, 120, 0.6, 0.1, 0.7, level, ahead, 45, 1, 0},
        {"looking into the sun", true, 180, 70, 0.6, 0.1, 0.7, level, {0, 250, -300}, 45, 1, 0},
        {"no haze, no fog", true, 45, 30, 0.0, 0.0, 0.0, level, ahead, 45, 1, 0},
        {"thick fog and mist", true, 45, 30, 2.0, 0.9, 3.0, level, ahead, 45, 1, 0},
        {"straight up at the open top", true, 90, 20, 0.6, 0.1, 0.7, {0, -300, 0}, {0, 900, 1}, 120, 1, 0},
        {"down past the lowest band", true, 90, 20, 0.6, 0.1, 0.7, {0, 300, 0}, {300, 260, 10}, 70, 1, 0},
        {"wide view from off centre", true, 200, 50, 0.6, 0.1, 0.7, {700, 50, -400}, {-800, 120, 600}, 150, 1, 0},
        {"narrow view, finer dome", true, 10, 60, 0.6, 0.1, 0.7, level, ahead, 8, 2, 0},
        {"aborted part way", true, 135, 40, 0.6, 0.1, 0.7, level, ahead, 45, 1, 120},
    };
    const int width = 96, height = 72;
    for (const TSkyCase& c : cases) {
        SCOPED_TRACE(c.Name);
        MakeProject(c);
        const TBuffers reference = Draw(c, width, height, true);
        const TBuffers drawn = Draw(c, width, height, false);
        ASSERT_EQ(drawn.Colour.size(), reference.Colour.size());
        int differing = 0, sky = 0;
        for (size_t i = 0; i < reference.Colour.size(); i += 4) {
            if (std::memcmp(&drawn.Colour[i], &reference.Colour[i], 3) != 0)
                ++differing;
            if (reference.Depth[i / 4] < 1.0f)
                ++sky;
        }
        EXPECT_EQ(differing, 0);
        EXPECT_EQ(drawn.Depth, reference.Depth); // the land is depth-tested against the dome
        EXPECT_GT(sky, 0) << differing; // the view shows some of the dome
    }
}

// The dome's colours are worked out on other threads while messages run; a message that fills the
// shared atmosphere values again (another renderer's render does) changes none of them.
TEST_F(SkyDomeTest, AMessageRefillingTheAtmosphereChangesNoColourOfTheDome)
{
    const TSkyCase c{"refilled", true, 135, 40, 0.6, 0.1, 0.7, {0, 150, 300}, {0, 150, -300}, 45, 2, 0};
    MakeProject(c);
    const int width = 96, height = 72;
    const TBuffers reference = Draw(c, width, height, true);
    TBuffers drawn;
    TGLPanel panel;
    panel.resize(width, height);
    panel.OnGLDraw = [&](TGLPanel&) {
        engine.Aborted = 0;
        engine.PrepareScene(width, height);
        engine.SetupCamera();
        engine.SetupLights();
        int pumps = 0;
        status.onPump = [&] {
            if (++pumps > 2) {
                AtmosphereParams.SkyColour = {1, 0, 0};
                AtmosphereParams.CloudDensity = 0;
                AtmosphereParams.Glowing = 3;
            }
        };
        engine.DrawSky();
        status.onPump = nullptr;
        GL().glFinish();
        drawn = ReadBuffers(width, height);
    };
    panel.Redraw();
    EXPECT_TRUE(drawn.Colour == reference.Colour);
    EXPECT_TRUE(drawn.Depth == reference.Depth);
}

TEST_F(SkyDomeTest, LeavesTheArrayStateAsItFoundIt)
{
    const TSkyCase c{"state", true, 135, 40, 0.6, 0.1, 0.7, {0, 150, 300}, {0, 150, -300}, 45, 1, 0};
    MakeProject(c);
    TGLPanel panel;
    panel.resize(32, 32);
    panel.OnGLDraw = [&](TGLPanel&) {
        const TGLEntryPoints& gl = GL();
        engine.PrepareScene(32, 32);
        engine.SetupCamera();
        engine.SetupLights();
        engine.DrawSky();
        EXPECT_FALSE(gl.glIsEnabled(GL_VERTEX_ARRAY));
        EXPECT_FALSE(gl.glIsEnabled(GL_COLOR_ARRAY));
        // A caller's enabled vertex array stays enabled, also when the dome fails part way.
        gl.glEnableClientState(GL_VERTEX_ARRAY);
        int pumps = 0;
        status.onPump = [&] {
            if (++pumps == 3) // inside the dome's bands
                throw std::runtime_error("failed");
        };
        EXPECT_THROW(engine.DrawSky(), std::runtime_error);
        status.onPump = nullptr;
        EXPECT_TRUE(gl.glIsEnabled(GL_VERTEX_ARRAY));
        EXPECT_FALSE(gl.glIsEnabled(GL_COLOR_ARRAY));
        gl.glDisableClientState(GL_VERTEX_ARRAY);
        EXPECT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    };
    panel.Redraw();
}

} // namespace
