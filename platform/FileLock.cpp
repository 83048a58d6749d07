#include "FileLock.h"

#include "StopCheck.h"

#include <algorithm>
#include <thread>

namespace qdl::platform {

std::optional<FileLock> FileLock::Acquire(const std::string& path, Clock::time_point deadline) {
    FileLock lock = Open(path);
    // The systems' locks wait either without a limit or not at all: try, and back off briefly
    // between tries.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        CheckForStop();
        if (lock.TryLock(path)) {
            lock.locked_ = true;
            return lock;
        }
        const auto now = Clock::now();
        if (now >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
}

} // namespace qdl::platform
