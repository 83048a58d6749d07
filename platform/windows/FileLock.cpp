#include "FileLock.h"

#include "Wide.h"

#include <utility>

namespace qdl::platform {

// The temporary folder may be shared: a link or a folder put at the path is refused, not followed.
FileLock FileLock::Open(const std::string& path) {
    const HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw FileLockError("The lock file " + path + " cannot be opened: " + SystemMessage(GetLastError()) +
                            ".");
    FileLock lock(reinterpret_cast<std::intptr_t>(file));
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        throw FileLockError("The lock file " + path +
                            " is a link, a folder or a device, not a regular file; "
                            "remove it.");
    return lock;
}

bool FileLock::TryLock(const std::string& path) const {
    OVERLAPPED whole{};
    if (LockFileEx(reinterpret_cast<HANDLE>(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   1, 0, &whole))
        return true;
    const DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING)
        throw FileLockError("The lock file " + path + " cannot be locked: " + SystemMessage(error) + ".");
    return false;
}

// Windows locks the file's first byte against reading too; a waiter could not read the holder's
// words there, and the message goes without them.
void FileLock::Declare() const {}

std::string FileLock::HolderOf(const std::string&) {
    return "";
}

FileLock::~FileLock() {
    if (handle_ != 0)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, 0)), locked_(std::exchange(other.locked_, false)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(locked_, other.locked_);
    return *this;
}

} // namespace qdl::platform
