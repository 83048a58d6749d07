// A stand-in for the switch: its command script, its own page and its schedule, on loopback.
#include "SwitchServer.h"

#include <condition_variable>
#include <csignal>
#include <cstring>
#include <iostream>
#include <thread>

using namespace qdl::standin;

namespace {

const char Usage[] =
    "usage: qdl-switch [--address A] [--port N] [--user NAME] [--password TEXT]\n"
    "  defaults: --address 127.0.0.1 --port 0 (any free port) --user admin --password 40617253\n";

bool ParseOptions(int argc, char** argv, SwitchOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        if (option == "--address")
            options.Address = value;
        else if (option == "--port")
            options.Port = std::atoi(value.c_str());
        else if (option == "--user")
            options.UserName = value;
        else if (option == "--password")
            options.Password = value;
        else
            return false;
    }
    return options.Port >= 0 && options.Port <= 65535;
}

// Runs the switch's clock once a second until stopped.
class ScheduleClock {
public:
    explicit ScheduleClock(SwitchState& state) : thread_([this, &state] { Run(state); }) {}
    ~ScheduleClock() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

private:
    void Run(SwitchState& state) {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopped_; }))
            state.Tick(LocalNow());
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
    std::thread thread_;
};

} // namespace

int main(int argc, char** argv) {
    SwitchOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << Usage;
        return 2;
    }
    // Signals are taken by one thread that stops the server, so the rest shuts down in order.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SwitchState state(LocalNow());
    SwitchServer server(state, options, std::cout);
    int port = 0;
    try {
        port = server.Bind();
    } catch (const std::exception& failure) {
        std::cerr << "qdl-switch: " << failure.what() << '\n';
        return 1;
    }
    std::cout << "Quadrel 4816 stand-in switch on http://" << options.Address << ':' << port << "/ (user "
              << options.UserName << ")" << std::endl;

    ScheduleClock clock(state);
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
    });
    server.Serve();
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}
