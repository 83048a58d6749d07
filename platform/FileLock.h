#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace qdl::platform {

// A lock file that cannot serve: it cannot be opened or locked, or is no regular file.
struct FileLockError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An exclusive lock on one file, shared by every process and every user of the machine, and
// released by the system when its holder ends, however it ends.
class FileLock {
public:
    using Clock = std::chrono::steady_clock;

    // Waits for the lock until `deadline` (Clock::time_point::max(): without end); nothing when
    // the deadline passes first. Opening never waits: the lock folder is shared by every user, and
    // a FIFO, link or device put at the path fails at once with a FileLockError naming it, as
    // does a file that cannot be opened (with the system's reason).
    static std::optional<FileLock> Acquire(const std::string& path, Clock::time_point deadline);

    // Writes into the lock file who holds it (program, process id, since when), for a waiter that
    // gives up; nothing where the file may not be written. The holder's words go when it lets go.
    void Declare() const;
    // What the holder of the lock file at `path` declared, at most a short line; empty when
    // nothing was declared or the file cannot be read.
    static std::string HolderOf(const std::string& path);

    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    explicit FileLock(std::intptr_t handle) : handle_(handle) {}
    // The system's part: opening the file without waiting (failing with the reason), and one
    // attempt at the lock that does not wait: false while another holder has it, failing on any
    // other refusal.
    static FileLock Open(const std::string& path);
    bool TryLock(const std::string& path) const;

    std::intptr_t handle_;
    bool locked_ = false; // only the holder takes its words back
};

} // namespace qdl::platform
