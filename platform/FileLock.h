#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace qdl::platform {

// An exclusive lock on one file, shared by every process and every user of the machine, and
// released by the system when its holder ends, however it ends.
class FileLock {
public:
    using Clock = std::chrono::steady_clock;

    // Waits for the lock until `deadline` (Clock::time_point::max(): without end); nothing when
    // the deadline passes first. Fails with the system's reason when the file cannot be opened.
    static std::optional<FileLock> Acquire(const std::string& path, Clock::time_point deadline);

    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    explicit FileLock(std::intptr_t handle) : handle_(handle) {}
    // The system's part: opening the file (failing with the reason), and one attempt at the lock
    // that does not wait: false while another holder has it, failing on any other refusal.
    static FileLock Open(const std::string& path);
    bool TryLock(const std::string& path) const;

    std::intptr_t handle_;
};

} // namespace qdl::platform
