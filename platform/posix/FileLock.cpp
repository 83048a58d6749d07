#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
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

FileLock FileLock::Open(const std::string& path) {
    const int fd = OpenLockFile(path);
    if (fd < 0)
        throw std::runtime_error("The lock file " + path + " cannot be opened: " + std::strerror(errno) +
                                 ".");
    return FileLock(fd);
}

bool FileLock::TryLock(const std::string& path) const {
    if (::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0)
        return true;
    if (errno != EWOULDBLOCK && errno != EINTR)
        throw std::runtime_error("The lock file " + path + " cannot be locked: " + std::strerror(errno) +
                                 ".");
    return false;
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
