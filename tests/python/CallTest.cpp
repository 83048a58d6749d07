// A Python call's worker and its caller: what a stop request (Ctrl-C) may still do to a change.
#include "Call.h"
#include "Failures.h"

#include <gtest/gtest.h>

#include <thread>

namespace qdl::python {
namespace {

using namespace std::chrono_literals;

TEST(CallTest, AStopBeforeTheFirstWriteKeepsEveryWriteFromGoingOut) {
    Call call;
    EXPECT_FALSE(call.Interrupt()) << "nothing was written: the caller need not wait";
    try {
        call.BeforeWrite();
        FAIL() << "a write went out after the stop";
    } catch (const control::Failure& failure) {
        EXPECT_EQ(failure.Kind(), control::FailureKind::Interrupted);
    }
}

TEST(CallTest, AStopAfterAWriteLetsTheChangeRunToItsEnd) {
    Call call;
    call.BeforeWrite();
    EXPECT_TRUE(call.Interrupt()) << "a change under way is waited for";
    EXPECT_NO_THROW(call.BeforeWrite()) << "a cycle switches its outlets on again";
    EXPECT_TRUE(call.Interrupted());
}

TEST(CallTest, AStopCutsTheWorkersWaitShortAndTheEndWakesTheCaller) {
    Call call;
    std::thread stopper([&call] {
        while (!call.WaitDone(1ms) && !call.Interrupt()) {
        }
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(call.Wait(60s));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    call.SetOutcome("outlet 2 switched on again");
    call.Finish(std::make_exception_ptr(control::CheckFailed("not shown")));
    stopper.join();
    EXPECT_TRUE(call.WaitDone(0ms));
    EXPECT_EQ(call.Outcome(), "outlet 2 switched on again");
    EXPECT_THROW(std::rethrow_exception(call.Failure()), control::CheckFailed);
    EXPECT_TRUE(Call().Wait(1ms)) << "a wait nobody stopped runs its whole time";
}

} // namespace
} // namespace qdl::python
