#include "platform/GLEntryPoints.h"

#include <dlfcn.h>

#include <cstdlib>

namespace {

struct TLoadedLibraries {
    void* gl = nullptr;
    void* glu = nullptr;
    TGLEntryPoints table;
    bool loaded = false;
    std::string implementation;
    bool forcedSoftware = false; // we set LIBGL_ALWAYS_SOFTWARE ourselves
};

TLoadedLibraries& Loaded()
{
    static TLoadedLibraries libs;
    return libs;
}

void SetError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

bool Resolve(void* library, const char* libraryName, const char* name, void** slot, std::string* error)
{
    dlerror();
    void* p = dlsym(library, name);
    if (!p) {
        SetError(error, std::string("entry point ") + name + " missing in " + libraryName);
        return false;
    }
    *slot = p;
    return true;
}

} // namespace

bool LoadOpenGLLibrariesFrom(const std::string& glLibrary, const std::string& gluLibrary, std::string* error)
{
    UnloadOpenGLLibraries();
    TLoadedLibraries& libs = Loaded();
    // The libraries stay mapped after dlclose: GL keeps per-thread state that would otherwise point
    // into unmapped code, and a later load of the same implementation is then free.
    void* gl = dlopen(glLibrary.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!gl) {
        const char* why = dlerror();
        SetError(error, "cannot load " + glLibrary + (why ? std::string(": ") + why : std::string()));
        return false;
    }
    void* glu = dlopen(gluLibrary.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!glu) {
        const char* why = dlerror();
        SetError(error, "cannot load " + gluLibrary + (why ? std::string(": ") + why : std::string()));
        dlclose(gl);
        return false;
    }
    TGLEntryPoints table;
    bool ok = true;
    // A function pointer slot is written through void** (POSIX guarantees the representation).
#define QX_GL_RESOLVE(name) ok = ok && Resolve(gl, glLibrary.c_str(), #name, reinterpret_cast<void**>(&table.name), error);
    QX_GL_FUNCTIONS(QX_GL_RESOLVE)
#undef QX_GL_RESOLVE
#define QX_GLU_RESOLVE(name) ok = ok && Resolve(glu, gluLibrary.c_str(), #name, reinterpret_cast<void**>(&table.name), error);
    QX_GLU_FUNCTIONS(QX_GLU_RESOLVE)
#undef QX_GLU_RESOLVE
    if (!ok) {
        dlclose(glu);
        dlclose(gl);
        return false;
    }
    libs.gl = gl;
    libs.glu = glu;
    libs.table = table;
    libs.loaded = true;
    libs.implementation.clear();
    return true;
}

bool LoadOpenGLLibraries(const std::string& implementation, std::string* error)
{
    TLoadedLibraries& libs = Loaded();
    std::string name = implementation;
    if (name != "Microsoft" && name != "Mesa")
        name = "SGI";
    // Mesa reads this when it first opens a driver, so it must be set before any context exists.
    if (name == "Microsoft") {
        if (libs.forcedSoftware) {
            unsetenv("LIBGL_ALWAYS_SOFTWARE");
            libs.forcedSoftware = false;
        }
    } else if (!std::getenv("LIBGL_ALWAYS_SOFTWARE")) {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        libs.forcedSoftware = true;
    }
    if (!LoadOpenGLLibrariesFrom("libGL.so.1", "libGLU.so.1", error))
        return false;
    libs.implementation = name;
    return true;
}

void UnloadOpenGLLibraries()
{
    TLoadedLibraries& libs = Loaded();
    if (libs.glu)
        dlclose(libs.glu);
    if (libs.gl)
        dlclose(libs.gl);
    libs.gl = libs.glu = nullptr;
    libs.table = TGLEntryPoints{};
    libs.loaded = false;
    libs.implementation.clear();
}

bool OpenGLLoaded()
{
    return Loaded().loaded;
}

std::string LoadedOpenGLImplementation()
{
    return Loaded().implementation;
}

const TGLEntryPoints& GL()
{
    const TLoadedLibraries& libs = Loaded();
    if (!libs.loaded)
        throw EGLNotLoaded();
    return libs.table;
}

const TGLEntryPoints* GLEntryPoints()
{
    const TLoadedLibraries& libs = Loaded();
    return libs.loaded ? &libs.table : nullptr;
}
