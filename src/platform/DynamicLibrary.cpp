#include "platform/DynamicLibrary.h"

#include <cerrno>
#include <dlfcn.h>

void* OpenDynamicLibrary(const std::string& path, int& errorCode, std::string& errorText)
{
    errno = 0;
    dlerror();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library) {
        errorCode = 0;
        errorText.clear();
        return library;
    }
    // The loader reports in text only; errno tells missing (ENOENT) from unreadable or not a
    // library. A file it simply could not map as a library counts as an exec-format error.
    errorCode = errno != 0 ? errno : ENOEXEC;
    const char* why = dlerror();
    errorText = why ? why : "";
    return nullptr;
}

void* DynamicLibrarySymbol(void* library, const char* name)
{
    return library ? dlsym(library, name) : nullptr;
}

void CloseDynamicLibrary(void* library)
{
    if (library)
        dlclose(library);
}
