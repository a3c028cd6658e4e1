#include "project/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

bool WriteFileAtomically(const std::string& path, const void* data, size_t size, std::string& error)
{
    namespace fs = std::filesystem;
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

    int fd = -1;
    std::string temp;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = (folder / ("." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp")).string();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // Keep the permissions of the file being replaced.
    struct stat old;
    if (::stat(target.c_str(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);

    const char* p = static_cast<const char*>(data);
    size_t left = size;
    int failure = 0;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failure = errno;
            break;
        }
        if (n == 0) {
            failure = ENOSPC;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temp.c_str());
        error = std::strerror(failure);
        return false;
    }
    return true;
}
