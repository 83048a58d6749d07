#include "FileLock.h"

#include "Wide.h"

#include <stdexcept>
#include <utility>

namespace qdl::platform {

FileLock FileLock::Open(const std::string& path) {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("The lock file " + path +
                                 " cannot be opened: " + SystemMessage(GetLastError()) + ".");
    return FileLock(reinterpret_cast<std::intptr_t>(file));
}

bool FileLock::TryLock(const std::string& path) const {
    OVERLAPPED whole{};
    if (LockFileEx(reinterpret_cast<HANDLE>(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   1, 0, &whole))
        return true;
    const DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING)
        throw std::runtime_error("The lock file " + path + " cannot be locked: " + SystemMessage(error) +
                                 ".");
    return false;
}

FileLock::~FileLock() {
    if (handle_ != 0)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
}

} // namespace qdl::platform
