#include "platform/GLEntryPoints.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <gtest/gtest.h>

namespace {

TEST(GLEntryPoints, MissingLibraryOrEntryPointFailsTheLoadAndLeavesNothingLoaded)
{
    struct Case { const char* gl; const char* glu; const char* expect; };
    const Case cases[] = {
        {"libNoSuchGL.so.1", "libGLU.so.1", "libNoSuchGL.so.1"},
        {"libGL.so.1", "libNoSuchGLU.so.1", "libNoSuchGLU.so.1"},
        // A library without the GL functions: the first missing one is named.
        {"libm.so.6", "libGLU.so.1", "entry point glAlphaFunc missing in libm.so.6"},
        // libGL does not export GLU's.
        {"libGL.so.1", "libGL.so.1", "entry point gluBuild2DMipmaps missing"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(LoadOpenGLLibrariesFrom(c.gl, c.glu, &error)) << c.gl << " " << c.glu;
        EXPECT_NE(error.find(c.expect), std::string::npos) << error;
        EXPECT_FALSE(OpenGLLoaded());
        EXPECT_EQ(GLEntryPoints(), nullptr);
        EXPECT_THROW(GL(), EGLNotLoaded);
    }
}

TEST(GLEntryPoints, EveryImplementationNameLoadsAFullTable)
{
    struct Case { const char* name; const char* loadedAs; };
    const Case cases[] = {{"Microsoft", "Microsoft"}, {"SGI", "SGI"}, {"Mesa", "Mesa"}, {"", "SGI"}};
    for (const Case& c : cases) {
        std::string error;
        ASSERT_TRUE(LoadOpenGLLibraries(c.name, &error)) << error;
        EXPECT_TRUE(OpenGLLoaded());
        EXPECT_EQ(LoadedOpenGLImplementation(), c.loadedAs);
        const TGLEntryPoints& gl = GL();
        // Every slot is filled (the struct is nothing but function pointers).
        const void* const* entries = reinterpret_cast<const void* const*>(&gl);
        for (size_t i = 0; i < sizeof(TGLEntryPoints) / sizeof(void*); ++i)
            EXPECT_NE(entries[i], nullptr) << "slot " << i;
    }
    UnloadOpenGLLibraries();
    EXPECT_FALSE(OpenGLLoaded());
    EXPECT_THROW(GL(), EGLNotLoaded);
}

// Qt makes its context current; the table's functions, loaded separately, act on that context.
TEST(GLEntryPoints, TableDrawsIntoTheContextQtMadeCurrent)
{
    std::string error;
    ASSERT_TRUE(LoadOpenGLLibraries("SGI", &error)) << error;
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    QOpenGLContext context;
    context.setFormat(format);
    ASSERT_TRUE(context.create());
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    ASSERT_TRUE(context.makeCurrent(&surface));

    const TGLEntryPoints& gl = GL();
    ASSERT_NE(gl.glGetString(GL_VERSION), nullptr);
    gl.glViewport(0, 0, 1, 1);
    gl.glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    gl.glClear(GL_COLOR_BUFFER_BIT);
    gl.glFinish();
    unsigned char pixel[4] = {};
    gl.glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_NEAR(pixel[0], 51, 1);
    EXPECT_NEAR(pixel[1], 102, 1);
    EXPECT_NEAR(pixel[2], 153, 1);
    EXPECT_EQ(gl.glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // GLU's projection goes through the same libraries.
    const GLdouble identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const GLint viewport[4] = {0, 0, 100, 50};
    GLdouble wx = 0, wy = 0, wz = 0;
    ASSERT_EQ(gl.gluProject(0.5, -0.5, 0.0, identity, identity, viewport, &wx, &wy, &wz), GL_TRUE);
    EXPECT_DOUBLE_EQ(wx, 75.0);
    EXPECT_DOUBLE_EQ(wy, 12.5);
    EXPECT_DOUBLE_EQ(wz, 0.5);
    context.doneCurrent();
    UnloadOpenGLLibraries();
}

} // namespace
