#pragma once
// Whole-file writes that never leave a half-written file behind: the bytes go to a temporary file
// beside the target, every write is checked, and only a complete file is renamed over the old one.
// The temporary file is flushed to disk before the rename and the folder after it, so a power
// loss leaves either the old file or the new one, whole.
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
    // Flushes the temporary file to disk, closes it, renames it over the target and flushes the
    // folder. False when any step fails; a failure before the rename keeps the old file.
    bool Commit(std::string& error);

private:
    void Abandon();
    int fd_ = -1;
    std::string temp_, target_;
};

// False (with the reason in error) when the file could not be written completely; the old file,
// if any, is then untouched and no temporary file remains.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error);

// Flushes a folder's entries (a rename or a new file in it) to disk. False with the reason when
// the disk reports a failure; a file system that cannot flush folders is not one.
bool SyncFolder(const std::string& folder, std::string& error);
// Flushes a file that another writer replaced by rename, then its folder.
bool SyncReplacedFile(const std::string& path, std::string& error);

// The call that flushes a descriptor to disk (fsync); tests put one in that records or fails.
// Returns the previous one.
using TFileSyncFunction = int (*)(int fd);
TFileSyncFunction SetFileSyncFunction(TFileSyncFunction f);
