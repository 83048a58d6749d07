#include "FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

namespace qdl::platform {
namespace {

// Opens the lock file, creating it readable for everybody. An existing file is opened without
// O_CREAT: in a sticky shared folder the system refuses O_CREAT on another user's file. Any user
// may put something else at the path in a shared folder: O_NONBLOCK keeps a FIFO from holding the
// open until a writer comes, O_NOFOLLOW refuses a link.
// It is opened for writing where it may be, so that its holder can say who it is; another user's
// file is only read.
int OpenLockFile(const std::string& path) {
    constexpr int Flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    for (;;) {
        int fd = ::open(path.c_str(), Flags);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS || errno == EISDIR))
            fd = ::open(path.c_str(), (Flags & ~O_RDWR) | O_RDONLY);
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

void FileLock::Declare() const {
    char since[32] = "";
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    if (::localtime_r(&now, &local))
        std::strftime(since, sizeof since, "%Y-%m-%d %H:%M:%S", &local);
    char text[160];
    const int length = std::snprintf(text, sizeof text, "%s, process %ld, since %s",
                                     program_invocation_short_name, static_cast<long>(::getpid()), since);
    const int fd = static_cast<int>(handle_);
    if (length > 0 && ::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, text, std::min(static_cast<std::size_t>(length), sizeof text - 1), 0);
}

std::string FileLock::HolderOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return "";
    char text[160];
    const ssize_t count = ::pread(fd, text, sizeof text, 0);
    ::close(fd);
    std::string holder;
    for (ssize_t i = 0; i < count; ++i)
        holder += static_cast<unsigned char>(text[i]) < ' ' || text[i] == 0x7f ? '?' : text[i];
    return holder;
}

FileLock::~FileLock() {
    if (handle_ >= 0) {
        if (locked_)
            (void)!::ftruncate(static_cast<int>(handle_), 0);
        ::close(static_cast<int>(handle_));
    }
}

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), locked_(std::exchange(other.locked_, false)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(locked_, other.locked_);
    return *this;
}

} // namespace qdl::platform
