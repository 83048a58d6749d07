#include "ServiceSignals.h"

#include "ServiceLog.h"

#include <pthread.h>
#include <signal.h>

namespace qdl::control {
namespace {

sigset_t HandledSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGHUP, SIGTERM, SIGINT})
        sigaddset(&signals, signal);
    return signals;
}

void Guarded(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& failure) {
        Log(LogLevel::Error, "A signal's work failed", Field("reason", failure.what()));
    }
}

} // namespace

void ServiceSignals::Block() {
    const sigset_t signals = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

ServiceSignals::ServiceSignals(std::function<void()> reload, std::function<void()> stop)
    : thread_([this, reload = std::move(reload), stop = std::move(stop)] {
          const sigset_t signals = HandledSignals();
          for (;;) {
              int signal = 0;
              if (sigwait(&signals, &signal) != 0)
                  continue;
              if (ending_)
                  return;
              if (signal == SIGHUP) {
                  Guarded(reload);
                  continue;
              }
              Log(LogLevel::Info, "Stopping", Field("signal", signal == SIGTERM ? "SIGTERM" : "SIGINT"));
              Guarded(stop);
              return;
          }
      }) {}

ServiceSignals::~ServiceSignals() {
    ending_ = true;
    // Gone already where a signal stopped the service; woken otherwise.
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
}

} // namespace qdl::control
