#include "LoginChecks.h"

namespace qdl::exporter {

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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ForgetIdleAddresses();
        Address& from = addresses_[address];
        if (AllowanceOf(from) < 1)
            return Admission::TooManyFailures;
        if (from.Waiting.size() >= limits_.WaitingPerAddress)
            return Admission::TooMany;
        if (from.Waiting.empty())
            turns_.push_back(address);
        from.Waiting.push_back(std::move(check));
    }
    pool_.Run([this] { RunNext(); });
    return Admission::Queued;
}

bool LoginChecks::Finish(std::chrono::milliseconds within) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        addresses_.clear();
        turns_.clear();
    }
    return pool_.Finish(within);
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

void LoginChecks::RunNext() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (turns_.empty())
        return; // dropped by Finish
    const std::string address = NextTurn();
    Address& from = addresses_[address];
    const Check check = std::move(from.Waiting.front());
    from.Waiting.pop_front();
    if (!from.Waiting.empty())
        turns_.push_back(address); // its next check waits for the other addresses' turns
    const bool refused = AllowanceOf(from) < 1;
    // Counted as failed until it succeeds, so that checks running at once cannot overdraw it.
    if (!refused)
        from.Allowance -= 1;
    lock.unlock();
    const bool refund = !FailedCheck(check, refused) && !refused;
    lock.lock();
    const auto found = addresses_.find(address); // gone once forgotten or finishing
    if (refund && found != addresses_.end())
        found->second.Allowance += 1;
}

} // namespace qdl::exporter
