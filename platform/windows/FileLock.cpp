#include "FileLock.h"

#include "Wide.h"

#include <algorithm>
#include <stdexcept>
#include <thread>
#include <utility>

namespace qdl::platform {

std::optional<FileLock> FileLock::Acquire(const std::string& path, Clock::time_point deadline) {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("The lock file " + path +
                                 " cannot be opened: " + SystemMessage(GetLastError()) + ".");
    FileLock lock(reinterpret_cast<std::intptr_t>(file));
    // LockFileEx waits without a limit: try, and back off briefly between tries.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        OVERLAPPED whole{};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole))
            return lock;
        if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING)
            throw std::runtime_error("The lock file " + path +
                                     " cannot be locked: " + SystemMessage(GetLastError()) + ".");
        const auto now = Clock::now();
        if (now >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
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
