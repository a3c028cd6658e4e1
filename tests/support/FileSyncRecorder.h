#pragma once
// Watches the flushes to disk that the atomic file writes make: each one records what was
// flushed (the file or folder behind the descriptor) and what the watched target held at that
// moment, so a test sees that the data reached the disk before the rename and the folder after.
#include "project/SafeFile.h"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace qxtest {

struct TFileSync {
    std::string Path;         // what was flushed
    bool Folder = false;
    std::string TargetHeld;   // the watched target's contents at that moment ("" when missing)
};

class TFileSyncRecorder {
public:
    explicit TFileSyncRecorder(std::string target, int failWith = 0)
    {
        Target() = std::move(target);
        Calls().clear();
        FailWith() = failWith;
        old_ = SetFileSyncFunction(&Record);
    }
    ~TFileSyncRecorder() { SetFileSyncFunction(old_); }
    TFileSyncRecorder(const TFileSyncRecorder&) = delete;
    TFileSyncRecorder& operator=(const TFileSyncRecorder&) = delete;

    const std::vector<TFileSync>& Syncs() const { return Calls(); }

private:
    static std::string& Target() { static std::string t; return t; }
    static std::vector<TFileSync>& Calls() { static std::vector<TFileSync> c; return c; }
    static int& FailWith() { static int e = 0; return e; }

    static int Record(int fd)
    {
        TFileSync s;
        char link[PATH_MAX];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
        if (n > 0)
            s.Path.assign(link, size_t(n));
        std::error_code ec;
        s.Folder = std::filesystem::is_directory(s.Path, ec);
        std::ifstream in(Target(), std::ios::binary);
        s.TargetHeld.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        Calls().push_back(s);
        if (FailWith() != 0) {
            errno = FailWith();
            return -1;
        }
        return 0;
    }

    TFileSyncFunction old_ = nullptr;
};

} // namespace qxtest
