#pragma once
// Whole-file writes that never leave a half-written file behind: the bytes go to a temporary file
// beside the target, every write is checked, and only a complete file is renamed over the old one.
#include <cstddef>
#include <string>

// False (with the reason in error) when the file could not be written completely; the old file,
// if any, is then untouched and no temporary file remains.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error);
