#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace qdl::platform {
namespace {

namespace fs = std::filesystem;

constexpr mode_t OwnerOnlyMode = 0600;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, so that a failure to close can be reported; 0 or an errno.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fd_;
};

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& Path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

// The system's text for an error, without the blanks and full stop at its end.
std::string ErrorText(int error) {
    std::string text = std::strerror(error);
    while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) <= ' '))
        text.pop_back();
    return text;
}

[[noreturn]] void ThrowCannotCreate(int error) {
    throw FileError(FileError::Stage::Create, ErrorText(error));
}

[[noreturn]] void ThrowCannotOpen(int error) {
    throw FileError(FileError::Stage::Open, ErrorText(error));
}

[[noreturn]] void ThrowWriteError(int error) {
    throw FileError(FileError::Stage::Write, ErrorText(error));
}

// Writable for us, and not marked read-only: a file or folder without any write permission is
// left alone even by the superuser, who could otherwise write anything.
bool MayWrite(const std::string& path, const struct stat& status) {
    return ::access(path.c_str(), W_OK) == 0 && (status.st_mode & 0222) != 0;
}

// Where the content really goes: the end of a chain of symbolic links, also one whose target
// does not exist yet, so the links survive.
std::string TargetPath(const std::string& fileName) {
    constexpr int MaxLinks = 40; // as the kernel follows them
    fs::path path = fileName;
    std::error_code error;
    for (int links = 0; links < MaxLinks && fs::is_symlink(path, error); ++links) {
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path.string();
}

// ".name.XXXXXX" beside the file, shortened where the file's own name is near the file system's
// name limit.
std::string TemporaryPattern(const std::string& folder, const std::string& target) {
    const std::string name = fs::path(target).filename().string();
    const std::string suffix = ".XXXXXX";
    const long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t limit = nameMax > 0 ? static_cast<std::size_t>(nameMax) : 255;
    const std::size_t kept = std::min(name.size(), limit - 1 - suffix.size());
    return (fs::path(folder) / ("." + name.substr(0, kept) + suffix)).string();
}

void WriteAll(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t count = ::write(fd, content.data() + written, content.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            ThrowWriteError(count < 0 ? errno : ENOSPC);
        written += static_cast<std::size_t>(count);
    }
}

void SyncFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

} // namespace

std::optional<std::string> ReadWholeFile(const std::string& fileName, std::size_t limit) {
    if (fileName.empty())
        return std::nullopt;
    struct stat status {};
    if (::stat(fileName.c_str(), &status) != 0) {
        const int error = errno;
        struct stat link {};
        if (error == ENOENT || error == ENOTDIR || ::lstat(fileName.c_str(), &link) != 0)
            return std::nullopt;
        ThrowCannotOpen(error);
    }
    if (S_ISDIR(status.st_mode))
        return std::nullopt;
    FileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        ThrowCannotOpen(errno);
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            ThrowCannotOpen(errno);
        if (count == 0)
            return content;
        if (content.size() + static_cast<std::size_t>(count) > limit)
            throw FileError(FileError::Stage::Open, TooLargeReason(limit));
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

namespace {

struct Destination {
    std::string Target; // the end of the chain of links
    std::string Folder;
    std::optional<struct stat> Existing;
    bool InPlace = false; // no regular file: a device, a FIFO, a socket
};

Destination Checked(const std::string& fileName) {
    Destination destination;
    // What the name ends at, however: /dev/stdout leads through /proc to a pipe that has no path.
    struct stat named {};
    if (::stat(fileName.c_str(), &named) == 0 && !S_ISREG(named.st_mode) && !S_ISDIR(named.st_mode)) {
        if (::access(fileName.c_str(), W_OK) != 0)
            ThrowCannotCreate(errno);
        destination.Target = fileName;
        destination.InPlace = true;
        return destination;
    }
    destination.Target = TargetPath(fileName);
    const fs::path parent = fs::path(destination.Target).parent_path();
    destination.Folder = parent.empty() ? std::string(".") : parent.string();
    struct stat existing {};
    if (::stat(destination.Target.c_str(), &existing) == 0)
        destination.Existing = existing;
    if (destination.Existing && S_ISDIR(existing.st_mode))
        ThrowCannotCreate(EISDIR);
    if (destination.Existing && !MayWrite(destination.Target, existing))
        ThrowCannotCreate(EACCES);
    struct stat folderStatus {};
    if (::stat(destination.Folder.c_str(), &folderStatus) != 0)
        ThrowCannotCreate(errno);
    if (!MayWrite(destination.Folder, folderStatus))
        ThrowCannotCreate(EACCES);
    return destination;
}

// A device or a FIFO takes the content as a stream: replacing it would destroy the node (run as
// root, /dev/null would become a file) and leave a FIFO's reader without a word. Opening does not
// wait for a FIFO's reader: nobody reading is a failure at once.
void WriteInPlace(const std::string& path, const std::string& content) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0 && errno == ENXIO)
        throw FileError(FileError::Stage::Create, "nothing reads from it");
    if (fd.get() < 0)
        ThrowCannotCreate(errno);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    WriteAll(fd.get(), content);
    if (const int error = fd.Close(); error != 0)
        ThrowWriteError(error);
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

mode_t ModeFor(const Destination& destination, FileAccess access) {
    if (access == FileAccess::OwnerOnly)
        return OwnerOnlyMode;
    if (access == FileAccess::Everybody)
        return 0644;
    return destination.Existing ? destination.Existing->st_mode & 07777 : 0666 & ~CurrentUmask();
}

} // namespace

std::optional<std::string> FileVersion(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino) + ":" +
           std::to_string(status.st_size) + ":" + std::to_string(status.st_mtim.tv_sec) + "." +
           std::to_string(status.st_mtim.tv_nsec) + ":" + std::to_string(status.st_ctim.tv_sec) + "." +
           std::to_string(status.st_ctim.tv_nsec);
}

std::optional<std::string> AccidentalDevice(const std::string&) {
    return std::nullopt;
}

void RequireReplaceable(const std::string& fileName) {
    Checked(fileName);
}

namespace {

// A regular file rewritten where it stands: truncated to the new content once that is written,
// and brought back to its old content when the write fails part-way.
void RewriteRegularFile(const std::string& path, const std::string& content, mode_t mode) {
    const std::optional<std::string> old = ReadWholeFile(path);
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        ThrowCannotCreate(errno);
    ::fchmod(fd.get(), mode);
    try {
        WriteAll(fd.get(), content);
        if (::ftruncate(fd.get(), static_cast<off_t>(content.size())) != 0 || ::fsync(fd.get()) != 0)
            ThrowWriteError(errno);
    } catch (const FileError&) {
        if (old && ::lseek(fd.get(), 0, SEEK_SET) == 0 && ::write(fd.get(), old->data(), old->size()) >= 0)
            (void)!::ftruncate(fd.get(), static_cast<off_t>(old->size()));
        throw;
    }
    if (const int error = fd.Close(); error != 0)
        ThrowWriteError(error);
}

} // namespace

Written ReplaceOrRewrite(const std::string& fileName, const std::string& content, FileAccess access) {
    try {
        ReplaceWholeFile(fileName, content, access);
        return Written::Replaced;
    } catch (const FileError& failure) {
        const std::string target = TargetPath(fileName);
        const fs::path parent = fs::path(target).parent_path();
        const std::string folder = parent.empty() ? std::string(".") : parent.string();
        struct stat existing {};
        struct stat folderStatus {};
        const bool onlyTheFile = failure.Where == FileError::Stage::Create &&
                                 ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
                                 MayWrite(target, existing) && ::stat(folder.c_str(), &folderStatus) == 0 &&
                                 !MayWrite(folder, folderStatus);
        if (!onlyTheFile)
            throw;
        Destination destination;
        destination.Existing = existing;
        RewriteRegularFile(target, content, ModeFor(destination, access));
        return Written::InPlace;
    }
}

void ReplaceWholeFile(const std::string& fileName, const std::string& content, FileAccess access) {
    const Destination destination = Checked(fileName);
    if (destination.InPlace)
        return WriteInPlace(destination.Target, content);
    std::string pattern = TemporaryPattern(destination.Folder, destination.Target);
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0)
        ThrowCannotCreate(errno);
    TemporaryFile temporary(pattern);
    // A settings file holds the password in clear: only its owner may read it, also where it was
    // wider.
    ::fchmod(fd.get(), ModeFor(destination, access));
    // A file the superuser rewrites keeps its owner, so its owner can still write it.
    if (destination.Existing && ::geteuid() == 0)
        (void)!::fchown(fd.get(), destination.Existing->st_uid, destination.Existing->st_gid);
    WriteAll(fd.get(), content);
    if (::fsync(fd.get()) != 0)
        ThrowWriteError(errno);
    if (const int error = fd.Close(); error != 0)
        ThrowWriteError(error);
    if (::rename(temporary.Path().c_str(), destination.Target.c_str()) != 0)
        ThrowCannotCreate(errno);
    temporary.Keep();
    SyncFolder(destination.Folder);
}

} // namespace qdl::platform
