#pragma once
// The OpenGL 1.1 and GLU entry points the renderers call, loaded at start-up from the chosen
// implementation's libraries. Nothing in the program calls OpenGL except through this table, so a
// missing or unloaded library is a clean failure instead of a crash.
//
// The context itself is made current by Qt (QOpenGLContext); the table's functions come from the
// same vendor-neutral libGL and act on whatever context is current on the calling thread.
#include <GL/gl.h>
#include <GL/glu.h>

#include <stdexcept>
#include <string>

// X-macro lists: every function named here must be present or the load fails.
#define QX_GL_FUNCTIONS(X)                                                                         \
    X(glAlphaFunc) X(glBegin) X(glEnd) X(glBindTexture) X(glBlendFunc) X(glCallList)              \
    X(glEnableClientState) X(glDisableClientState) X(glVertexPointer) X(glNormalPointer)          \
    X(glColorPointer) X(glTexCoordPointer) X(glDrawArrays) X(glDrawElements)                      \
    X(glCallLists) X(glClear) X(glClearColor) X(glClearDepth) X(glColor3d) X(glColor3f)           \
    X(glColor3fv) X(glColor3ub) X(glColor4f) X(glColor4fv) X(glColor4ub) X(glColorMaterial)       \
    X(glCullFace) X(glDeleteLists) X(glDeleteTextures) X(glDepthFunc) X(glDepthMask)              \
    X(glDisable) X(glDrawBuffer) X(glEnable) X(glEndList) X(glFeedbackBuffer) X(glFinish)        \
    X(glFlush) X(glFogf) X(glFogfv) X(glFogi) X(glFrontFace) X(glFrustum) X(glGenLists)           \
    X(glGenTextures) X(glGetDoublev) X(glGetError) X(glGetFloatv) X(glGetIntegerv)                \
    X(glGetString) X(glGetTexImage) X(glGetTexLevelParameteriv) X(glHint) X(glIsEnabled)          \
    X(glIsList) X(glIsTexture) X(glLightModelf) X(glLightModelfv) X(glLightModeli) X(glLightf)    \
    X(glLightfv) X(glLineWidth) X(glLoadIdentity) X(glLoadMatrixd) X(glLoadMatrixf)              \
    X(glMaterialf) X(glMaterialfv) X(glMateriali) X(glMatrixMode) X(glMultMatrixd)                \
    X(glMultMatrixf) X(glNewList) X(glNormal3d) X(glNormal3f) X(glNormal3fv) X(glOrtho)          \
    X(glPassThrough) X(glPixelStorei) X(glPointSize) X(glPolygonMode) X(glPolygonOffset)         \
    X(glPopAttrib) X(glPopClientAttrib) X(glPopMatrix) X(glPushAttrib) X(glPushClientAttrib)        \
    X(glPushMatrix) X(glReadBuffer)                                                               \
    X(glReadPixels) X(glRenderMode) X(glRotated) X(glRotatef) X(glScaled) X(glScalef)             \
    X(glScissor) X(glShadeModel) X(glTexCoord2d) X(glTexCoord2f) X(glTexCoord2fv) X(glTexEnvf)    \
    X(glTexEnvi) X(glTexImage2D) X(glTexParameterf) X(glTexParameteri) X(glTexSubImage2D)         \
    X(glTranslated) X(glTranslatef) X(glVertex2f) X(glVertex3d) X(glVertex3dv) X(glVertex3f)      \
    X(glVertex3fv) X(glViewport)

#define QX_GLU_FUNCTIONS(X)                                                                        \
    X(gluBuild2DMipmaps) X(gluErrorString) X(gluLookAt) X(gluOrtho2D) X(gluPerspective)           \
    X(gluProject) X(gluScaleImage) X(gluUnProject)

struct TGLEntryPoints {
#define QX_GL_MEMBER(name) decltype(&::name) name = nullptr;
    QX_GL_FUNCTIONS(QX_GL_MEMBER)
    QX_GLU_FUNCTIONS(QX_GL_MEMBER)
#undef QX_GL_MEMBER
};

// Raised by GL() when no implementation is loaded.
class EGLNotLoaded : public std::runtime_error {
public:
    EGLNotLoaded() : std::runtime_error("OpenGL libraries are not loaded") {}
};

// Loads the implementation by its settings name: "Microsoft" (the system's libraries and driver),
// "SGI" (the default) or "Mesa": both of these force Mesa's software rasteriser. Mesa's separate
// off-screen library is not used: its contexts cannot be driven by Qt's window-system context, and
// GLU is bound to the system's libGL. Any other name counts as "SGI".
// Unloads what was loaded before. On failure nothing stays loaded and *error (when given) says why.
bool LoadOpenGLLibraries(const std::string& implementation, std::string* error);
// Loads from explicit library files (names for dlopen); the building block of the above.
bool LoadOpenGLLibrariesFrom(const std::string& glLibrary, const std::string& gluLibrary, std::string* error);
void UnloadOpenGLLibraries();
bool OpenGLLoaded();
// The implementation name of the loaded table ("" when none is loaded).
std::string LoadedOpenGLImplementation();

// The loaded table; throws EGLNotLoaded when nothing is loaded, so no null pointer is ever called.
const TGLEntryPoints& GL();
// The loaded table or nullptr.
const TGLEntryPoints* GLEntryPoints();
