#include "SwitchLock.h"

#include "Failures.h"
#include "HostAddress.h"
#include "Places.h"
#include "TextUtil.h"

#include <filesystem>

namespace qdl::control {
namespace {

using Clock = platform::FileLock::Clock;

// Named after the address the name resolves to, so that "localhost" and "127.0.0.1" share it.
std::string LockFileName(const SwitchTarget& target) {
    std::string address;
    try {
        address = ResolveHostAddress(target.Host);
    } catch (const std::exception&) {
        address = target.Host; // the exchange will report why it cannot be reached
    }
    for (char& c : address)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) <= ' ')
            c = '_';
    return (std::filesystem::u8path(platform::SharedLockFolder()) /
            Format("qdl4816-%s-%d.lock", address.c_str(), target.Port))
        .u8string();
}

Clock::time_point Deadline(std::chrono::milliseconds timeout) {
    const auto now = Clock::now();
    return timeout >= std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now)
               ? Clock::time_point::max()
               : now + timeout;
}

platform::FileLock Acquire(const SwitchTarget& target) {
    const std::string path = LockFileName(target);
    std::optional<platform::FileLock> lock;
    try {
        lock = platform::FileLock::Acquire(path, Deadline(target.LockTimeout));
    } catch (const platform::FileLockError& failure) {
        throw ConfigError(Format("%s Nothing was sent to %s.", failure.what(), target.Name().c_str()));
    }
    if (!lock) {
        const std::string holder = platform::FileLock::HolderOf(path);
        throw Failure(FailureKind::Timeout,
                      Format("Another change to %s%s did not end within %lld ms; nothing was sent.",
                             target.Name().c_str(), holder.empty() ? "" : (" (by " + holder + ")").c_str(),
                             static_cast<long long>(target.LockTimeout.count())));
    }
    lock->Declare();
    return std::move(*lock);
}

} // namespace

SwitchLock::SwitchLock(const SwitchTarget& target) : lock_(Acquire(target)) {}

} // namespace qdl::control
