// A Python call's stop rules: what a stop request (Ctrl-C) may still do to a change.
#include "Call.h"
#include "Failures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qdl::python {
namespace {

using namespace std::chrono_literals;

// A Call whose caller asks to stop at the checks numbered in `stopAt` (from 1).
struct Scripted {
    explicit Scripted(std::vector<int> stopAt)
        : call([this, stopAt] {
              ++checks;
              return std::find(stopAt.begin(), stopAt.end(), checks) != stopAt.end();
          }) {}
    int checks = 0;
    Call call;
};

bool Interrupts(const std::function<void()>& step) {
    try {
        step();
        return false;
    } catch (const control::Failure& failure) {
        return failure.Kind() == control::FailureKind::Interrupted;
    }
}

TEST(CallTest, AStopBeforeTheFirstWriteKeepsEveryWriteFromGoingOut) {
    Scripted caller({1});
    EXPECT_TRUE(caller.call.MustStop());
    EXPECT_TRUE(Interrupts([&] { caller.call.BeforeWrite(); }));
    EXPECT_FALSE(caller.call.Wrote());
}

TEST(CallTest, AStopAfterAWriteCutsTheOffTimeAndLetsTheChangeEnd) {
    Scripted caller({2});
    caller.call.BeforeWrite(); // check 1: no stop
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(caller.call.Wait(60s)) << "check 2 stops: the off time ends";
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_FALSE(Interrupts([&] { caller.call.BeforeWrite(); })) << "the outlets go on again";
    EXPECT_EQ(caller.call.Stops(), 1);
}

TEST(CallTest, ASecondStopEndsAChangeAtOnce) {
    Scripted caller({2, 3});
    caller.call.BeforeWrite();
    EXPECT_FALSE(caller.call.MustStop()) << "the first stop lets the change end";
    EXPECT_TRUE(caller.call.MustStop());
    EXPECT_TRUE(Interrupts([&] { caller.call.Wait(60s); }));
}

TEST(CallTest, AWaitNobodyStopsRunsItsWholeTime) {
    Scripted caller({});
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(caller.call.Wait(50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);
    EXPECT_GE(caller.checks, 2) << "it looked for stops while it waited";
}

} // namespace
} // namespace qdl::python
