#include "SwitchWorker.h"

#include "Failures.h"
#include "ServiceLog.h"
#include "SwitchLock.h"
#include "SwitchSession.h"
#include "TextUtil.h"

#include <algorithm>

namespace qdl::mqtt {
namespace {

using control::Field;
using control::Log;
using control::LogLevel;
using Clock = std::chrono::steady_clock;

bool SameTarget(const control::SwitchTarget& a, const control::SwitchTarget& b) {
    return a.Host == b.Host && a.Port == b.Port && a.UserName == b.UserName && a.Password == b.Password &&
           a.WithoutCredentials == b.WithoutCredentials && a.ConnectTimeout == b.ConnectTimeout &&
           a.ReadTimeout == b.ReadTimeout && a.LockTimeout == b.LockTimeout;
}

} // namespace

SwitchWorker::SwitchWorker(Broker& broker, control::SwitchEntry entry, const std::string& prefix,
                           std::chrono::seconds poll, std::chrono::seconds cycleOff)
    : entry_(std::move(entry)), poll_(poll), cycleOff_(cycleOff),
      report_(broker, entry_.Name, prefix + "/" + entry_.Name), thread_([this] { Run(); }) {}

SwitchWorker::~SwitchWorker() {
    Stop();
    thread_.join();
}

bool SwitchWorker::Serves(const control::SwitchEntry& entry, std::chrono::seconds poll,
                          std::chrono::seconds cycleOff) const {
    return entry.Name == entry_.Name && SameTarget(entry.Target, entry_.Target) &&
           entry.OutletNames == entry_.OutletNames && entry.WithoutCommands == entry_.WithoutCommands &&
           poll == poll_ && cycleOff == cycleOff_;
}

void SwitchWorker::Command(int outlet, const std::string& command) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_[static_cast<std::size_t>(outlet - 1)] = command;
    }
    wake_.notify_all();
}

void SwitchWorker::Retire() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        retired_ = true;
    }
    wake_.notify_all();
}

void SwitchWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        retired_ = stopped_ = true;
    }
    wake_.notify_all();
}

bool SwitchWorker::Finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

void SwitchWorker::Run() {
    auto nextPoll = Clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!retired_) {
        wake_.wait_until(lock, nextPoll, [this] {
            return retired_ || std::any_of(waiting_.begin(), waiting_.end(), [](const auto& c) { return c.has_value(); });
        });
        if (retired_)
            break;
        if (const auto command = TakeCommand()) {
            lock.unlock();
            Guarded(command->first, [&] { Execute(command->first, command->second); });
            lock.lock();
            continue;
        }
        lock.unlock();
        Guarded(std::nullopt, [this] { Poll(); });
        lock.lock();
        nextPoll = Clock::now() + poll_;
    }
    DropWaiting(stopped_ ? "the bridge stops" : "the switch was removed from the configuration");
    finished_ = true;
}

std::optional<std::pair<int, std::string>> SwitchWorker::TakeCommand() {
    for (std::size_t i = 0; i < waiting_.size(); ++i)
        if (auto command = std::exchange(waiting_[i], std::nullopt))
            return std::pair{static_cast<int>(i) + 1, std::move(*command)};
    return std::nullopt;
}

void SwitchWorker::DropWaiting(const char* why) {
    for (std::size_t i = 0; i < waiting_.size(); ++i)
        if (const auto command = std::exchange(waiting_[i], std::nullopt))
            Log(LogLevel::Warn, "A command was not applied",
                Field("switch", entry_.Name) + " " + Field("outlet", std::to_string(i + 1)) + " " +
                    Field("command", *command) + " " + Field("reason", why));
}

template <typename Step> void SwitchWorker::Guarded(const std::optional<int>& outlet, Step step) {
    try {
        step();
    } catch (const std::exception& thrown) {
        try {
            report_.Failed(outlet, "bridge", std::string("The bridge failed: ") + thrown.what(), true);
        } catch (...) { // nothing left to say it with: the next poll tries again
        }
    } catch (...) {
        try {
            report_.Failed(outlet, "bridge", "The bridge failed.", true);
        } catch (...) {
        }
    }
}

void SwitchWorker::Poll() {
    try {
        control::SwitchLock turn(entry_.Target);
        control::SwitchSession session(entry_.Target);
        report_.Shows(control::ReadOutlets(session));
    } catch (const std::exception& thrown) {
        const control::Failure failure = control::AsFailure(thrown, entry_.Target);
        report_.Failed(std::nullopt, control::KindName(failure.Kind()), failure.what(), true);
    }
}

void SwitchWorker::Execute(int outlet, const std::string& command) {
    Log(LogLevel::Info, "Applying a command",
        Field("switch", entry_.Name) + " " + Field("outlet", std::to_string(outlet)) + " " +
            Field("command", command));
    try {
        control::SwitchSession session(entry_.Target);
        if (command == "CYCLE")
            Cycle(session, outlet);
        else
            report_.Shows(control::ChangeOutlets(session, {{outlet, command == "ON"}}));
    } catch (const std::exception& thrown) {
        const control::Failure failure = control::AsFailure(thrown, entry_.Target);
        report_.Failed(outlet, control::KindName(failure.Kind()), failure.what(), false);
        // What the switch shows now is read at once, not at the next poll.
        Poll();
    }
}

// The outlet stays off its whole time, whatever a reload does meanwhile; only the bridge's stop
// ends the wait early, and then the error topic says how long it was off.
void SwitchWorker::Cycle(control::SwitchSession& session, int outlet) {
    std::optional<Clock::duration> cutAfter;
    const control::OutletStates shown = control::CycleOutlets(
        session, {outlet}, cycleOff_, [this, &cutAfter](std::chrono::milliseconds time) {
            const auto start = Clock::now();
            std::unique_lock<std::mutex> lock(mutex_);
            if (wake_.wait_for(lock, time, [this] { return stopped_; }))
                cutAfter = Clock::now() - start;
        });
    report_.Shows(shown);
    if (cutAfter)
        report_.Failed(outlet, "stopped",
                       Format("The cycle was cut short: outlet %d was off %.1f s of %lld s, as the bridge "
                              "stops; it is on again.",
                              outlet, std::chrono::duration<double>(*cutAfter).count(),
                              static_cast<long long>(cycleOff_.count())),
                       false);
}

} // namespace qdl::mqtt
