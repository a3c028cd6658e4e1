#pragma once
// Whole-file writes that never leave a half-written file behind: the bytes go to a temporary file
// beside the target, every write is checked, and only a complete file is renamed over the old one.
#include <cstddef>
#include <string>

class TAtomicFile {
public:
    TAtomicFile() = default;
    // Removes the temporary file unless Commit succeeded.
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Creates the temporary file beside path (with the permissions of a file being replaced).
    bool Open(const std::string& path, std::string& error);
    // Writes all of the bytes or fails.
    bool Write(const void* data, size_t size, std::string& error);
    // Closes the temporary file and renames it over the target.
    bool Commit(std::string& error);

private:
    void Abandon();
    int fd_ = -1;
    std::string temp_, target_;
};

// False (with the reason in error) when the file could not be written completely; the old file,
// if any, is then untouched and no temporary file remains.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error);
