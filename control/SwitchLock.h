#pragma once

#include "FileLock.h"
#include "SwitchTarget.h"

namespace qdl::control {

// The one lock per switch (its address and port) on this machine, shared by every process and
// user. A change holds it while it reads the outlets, writes them and confirms them, so that no
// two changes ever build on the same read.
class SwitchLock {
public:
    // Waits up to the target's LockTimeout; fails with a Failure of kind Timeout when that passes,
    // and at once with a ConfigError naming the path when the lock file cannot serve.
    explicit SwitchLock(const SwitchTarget& target);

private:
    platform::FileLock lock_;
};

} // namespace qdl::control
