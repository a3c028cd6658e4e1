#include "project/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TFileSyncFunction syncFunction = &::fsync;

int SyncDescriptor(int fd)
{
    for (;;) {
        const int rc = syncFunction(fd);
        if (rc == 0 || errno != EINTR)
            return rc;
    }
}

std::string FolderOf(const std::string& path)
{
    const std::filesystem::path p(path);
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

// Opens path read-only and flushes it. Some file systems cannot flush a folder (EINVAL); there
// is nothing more to do there.
bool SyncPath(const std::string& path, int flags, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const int rc = SyncDescriptor(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL) {
        error = std::strerror(err);
        return false;
    }
    return true;
}

} // namespace

TFileSyncFunction SetFileSyncFunction(TFileSyncFunction f)
{
    TFileSyncFunction old = syncFunction;
    syncFunction = f ? f : &::fsync;
    return old;
}

bool SyncFolder(const std::string& folder, std::string& error)
{
    return SyncPath(folder, O_DIRECTORY, error);
}

bool SyncReplacedFile(const std::string& path, std::string& error)
{
    return SyncPath(path, 0, error) && SyncFolder(FolderOf(path), error);
}

TAtomicFile::~TAtomicFile() { Abandon(); }

void TAtomicFile::Abandon()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool TAtomicFile::Open(const std::string& path, std::string& error)
{
    namespace fs = std::filesystem;
    Abandon();
    std::error_code ec;
    // Write through a symbolic link to the file it names, as a direct write would.
    fs::path target = fs::path(path);
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::canonical(target, ec);
        if (!ec)
            target = resolved;
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string base = target.filename().string();
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = (folder / ("." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp")).string();
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        error = std::strerror(errno);
        temp_.clear();
        return false;
    }
    target_ = target.string();
    struct stat old;
    if (::stat(target_.c_str(), &old) == 0)
        ::fchmod(fd_, old.st_mode & 07777);
    return true;
}

bool TAtomicFile::Write(const void* data, size_t size, std::string& error)
{
    if (fd_ < 0) {
        error = "file not open";
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = std::strerror(n < 0 ? errno : ENOSPC);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool TAtomicFile::Commit(std::string& error)
{
    if (fd_ < 0) {
        error = "file not open";
        return false;
    }
    // The data is on the disk before the name points at it: otherwise a power loss just after
    // the rename can leave an empty or partial file under the project's name.
    if (SyncDescriptor(fd_) != 0) {
        error = std::strerror(errno);
        Abandon();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || ::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = std::strerror(errno);
        Abandon();
        return false;
    }
    temp_.clear();
    // The rename itself lives in the folder.
    return SyncFolder(FolderOf(target_), error);
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error)
{
    TAtomicFile file;
    return file.Open(path, error) && file.Write(data, size, error) && file.Commit(error);
}
