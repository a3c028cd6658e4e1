#pragma once
// Shared libraries loaded at run time (plug-ins). A thin layer over the system loader so callers
// see one error convention: a number and a text.
#include <string>

// The library at path, or null; then errorCode holds the system's error number (never 0) and
// errorText the loader's explanation.
void* OpenDynamicLibrary(const std::string& path, int& errorCode, std::string& errorText);
// The exported symbol, or null.
void* DynamicLibrarySymbol(void* library, const char* name);
void CloseDynamicLibrary(void* library);
