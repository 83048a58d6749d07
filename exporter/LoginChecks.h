#pragma once

#include "WorkerPool.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace qdl::exporter {

// Password checks that cost a bcrypt hash, run on a few threads of their own and taken in turn
// by client address (round robin, addresses without failures lately first), so that one
// address's flood of wrong passwords cannot starve another's first login. Each address may have a
// few checks waiting; a check whose request was answered meanwhile (its deadline passed) is
// dropped before it is hashed; and an address whose checks failed more than a few times lately is
// refused at once, without a hash, until its allowance grows back.
class LoginChecks {
public:
    struct Limits {
        std::size_t Threads = 2;
        std::size_t WaitingPerAddress = 4;
        double FailureBurst = 5;                        // failures an address may have at once,
        std::chrono::milliseconds FailureRefill{12000}; // and one more each this often
        std::size_t MostAddresses = 4096;               // remembered failures, by address
    };
    enum class Admission { Queued, TooMany, TooManyFailures };

    struct Check {
        std::function<bool()> Wanted;  // false once its request has its answer
        std::function<bool()> Verify;  // the hash: true when the password is right
        std::function<void()> Refused; // the address failed too often meanwhile
    };

    explicit LoginChecks(Limits limits) : limits_(limits), pool_(limits.Threads) {}

    Admission Add(const std::string& address, Check check);
    // Takes no more checks, drops those waiting, and waits up to `within` for the running ones.
    bool Finish(std::chrono::milliseconds within);

private:
    using Clock = std::chrono::steady_clock;
    struct Address {
        std::deque<Check> Waiting;
        double Allowance = 0;
        Clock::time_point Counted;
    };

    // One job of the pool: the check whose turn it is now.
    void RunNext();
    std::string NextTurn();
    // Under the lock: the allowance of failed checks that `address` has now.
    double AllowanceOf(Address& address);
    void ForgetIdleAddresses();
    static bool FailedCheck(const Check& check, bool refused);

    const Limits limits_;
    std::mutex mutex_;
    std::map<std::string, Address> addresses_;
    std::deque<std::string> turns_; // addresses with checks waiting, in their turn
    // Last, so that it ends first: its jobs use everything above.
    WorkerPool pool_;
};

} // namespace qdl::exporter
