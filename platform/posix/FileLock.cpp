#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

namespace qdl::platform {
namespace {

// Opens the lock file, creating it readable for everybody. An existing file is opened without
// O_CREAT: in a sticky shared folder the system refuses O_CREAT on another user's file.
int OpenLockFile(const std::string& path) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        const int created = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (created >= 0) {
            ::fchmod(created, 0644);
            return created;
        }
        if (errno != EEXIST)
            return -1;
    }
}

} // namespace

std::optional<FileLock> FileLock::Acquire(const std::string& path, Clock::time_point deadline) {
    const int fd = OpenLockFile(path);
    if (fd < 0)
        throw std::runtime_error("The lock file " + path + " cannot be opened: " + std::strerror(errno) +
                                 ".");
    FileLock lock(fd);
    // flock() itself cannot wait with a limit: try, and back off briefly between tries.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return lock;
        if (errno != EWOULDBLOCK && errno != EINTR)
            throw std::runtime_error("The lock file " + path + " cannot be locked: " + std::strerror(errno) +
                                     ".");
        const auto now = Clock::now();
        if (now >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
}

FileLock::~FileLock() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
}

} // namespace qdl::platform
