#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qdl::platform {
namespace {

// Opens the lock file, creating it readable for everybody. An existing file is opened without
// O_CREAT: in a sticky shared folder the system refuses O_CREAT on another user's file. Any user
// may put something else at the path in a shared folder: O_NONBLOCK keeps a FIFO from holding the
// open until a writer comes, O_NOFOLLOW refuses a link.
int OpenLockFile(const std::string& path) {
    constexpr int Flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    for (;;) {
        const int fd = ::open(path.c_str(), Flags);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        const int created = ::open(path.c_str(), Flags | O_CREAT | O_EXCL, 0644);
        if (created >= 0) {
            ::fchmod(created, 0644);
            return created;
        }
        if (errno != EEXIST)
            return -1;
    }
}

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "no regular file";
}

} // namespace

FileLock FileLock::Open(const std::string& path) {
    const int fd = OpenLockFile(path);
    if (fd < 0 && errno == ELOOP)
        throw FileLockError("The lock file " + path + " is a symbolic link, which a lock file must not be.");
    if (fd < 0)
        throw FileLockError("The lock file " + path + " cannot be opened: " + std::strerror(errno) + ".");
    FileLock lock(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        throw FileLockError("The lock file " + path + " cannot be read: " + std::strerror(errno) + ".");
    if (!S_ISREG(status.st_mode))
        throw FileLockError("The lock file " + path + " is " + KindOf(status.st_mode) +
                            ", not a regular file; remove it.");
    return lock;
}

bool FileLock::TryLock(const std::string& path) const {
    if (::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0)
        return true;
    if (errno != EWOULDBLOCK && errno != EINTR)
        throw FileLockError("The lock file " + path + " cannot be locked: " + std::strerror(errno) + ".");
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
