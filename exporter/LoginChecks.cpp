#include "LoginChecks.h"

#include <algorithm>
#include <thread>

namespace qdl::exporter {

LoginChecks::LoginChecks(Limits limits) : limits_(limits) {}

LoginChecks::~LoginChecks() {
    // A running hash ends by itself within a second.
    Finish(std::chrono::hours(24));
}

double LoginChecks::AllowanceOf(Address& address) {
    const auto now = Clock::now();
    if (address.Counted == Clock::time_point{}) {
        address.Allowance = limits_.FailureBurst;
    } else {
        const double grown = std::chrono::duration<double>(now - address.Counted) /
                             std::chrono::duration<double>(limits_.FailureRefill);
        address.Allowance = std::min(limits_.FailureBurst, address.Allowance + grown);
    }
    address.Counted = now;
    return address.Allowance;
}

void LoginChecks::ForgetIdleAddresses() {
    if (addresses_.size() < limits_.MostAddresses)
        return;
    for (auto it = addresses_.begin(); it != addresses_.end();)
        it = it->second.Waiting.empty() && AllowanceOf(it->second) >= limits_.FailureBurst
                 ? addresses_.erase(it)
                 : std::next(it);
}

LoginChecks::Admission LoginChecks::Add(const std::string& address, Check check) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finishing_)
        return Admission::TooMany;
    ForgetIdleAddresses();
    Address& from = addresses_[address];
    if (AllowanceOf(from) < 1)
        return Admission::TooManyFailures;
    if (from.Waiting.size() >= limits_.WaitingPerAddress)
        return Admission::TooMany;
    if (from.Waiting.empty())
        turns_.push_back(address);
    from.Waiting.push_back(std::move(check));
    ++waiting_;
    if (threads_ < limits_.Threads && threads_ - running_ < waiting_) {
        ++threads_;
        // Detached: Finish() counts the threads out instead of joining them.
        std::thread([this] { Work(); }).detach();
    }
    ready_.notify_one();
    return Admission::Queued;
}

std::size_t LoginChecks::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_ + running_;
}

bool LoginChecks::Finish(std::chrono::milliseconds within) {
    std::unique_lock<std::mutex> lock(mutex_);
    finishing_ = true;
    addresses_.clear();
    turns_.clear();
    waiting_ = 0;
    ready_.notify_all();
    return ended_.wait_for(lock, within, [this] { return threads_ == 0; });
}

// The address whose check runs next: in turn, but the address with the fewest failures lately
// first, so that a flood of wrong passwords delays no other address's first login.
std::string LoginChecks::NextTurn() {
    auto next = turns_.begin();
    double most = -1e9;
    for (auto turn = turns_.begin(); turn != turns_.end(); ++turn) {
        // What its checks may still fail, counting those that wait as failed.
        Address& address = addresses_[*turn];
        const double allowance = AllowanceOf(address) - static_cast<double>(address.Waiting.size());
        if (allowance > most)
            most = allowance, next = turn;
    }
    std::string address = std::move(*next);
    turns_.erase(next);
    return address;
}

// Runs one check: true when it was hashed and the password was wrong.
bool LoginChecks::FailedCheck(const Check& check, bool refused) {
    try {
        if (!check.Wanted())
            return false;
        if (refused) {
            check.Refused();
            return false;
        }
        return !check.Verify();
    } catch (...) {
        // A check answers its own failures; one that throws anyway must not end the exporter.
        return false;
    }
}

void LoginChecks::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // A thread without work ends after a while, so an idle exporter holds none.
        if (!ready_.wait_for(lock, std::chrono::seconds(10),
                             [this] { return finishing_ || !turns_.empty(); }) ||
            finishing_)
            break;
        const std::string address = NextTurn();
        Address& from = addresses_[address];
        Check check = std::move(from.Waiting.front());
        from.Waiting.pop_front();
        --waiting_;
        if (!from.Waiting.empty())
            turns_.push_back(address); // its next check waits for the other addresses' turns
        const bool refused = AllowanceOf(from) < 1;
        // Counted as failed until it succeeds, so that checks running at once cannot overdraw it.
        if (!refused)
            from.Allowance -= 1;
        ++running_;
        lock.unlock();
        const bool refund = !FailedCheck(check, refused) && !refused;
        check = {};
        lock.lock();
        --running_;
        const auto found = addresses_.find(address); // gone once the checks are finishing
        if (refund && found != addresses_.end())
            found->second.Allowance += 1;
    }
    --threads_;
    // Notified under the lock: the object may be gone as soon as Finish() sees the count at zero.
    ended_.notify_all();
}

} // namespace qdl::exporter
