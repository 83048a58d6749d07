// A stand-in for the switch: its command script, its own page and its schedule, on loopback.
#include "Conversions.h"
#include "SwitchServer.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <condition_variable>
#include <csignal>
#include <fstream>
#include <iostream>
#include <thread>

using namespace qdl::standin;

namespace {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const char* const Footer =
    R"(Faults on purpose (--fail may be given several times, and combines with the others):
  auth      answer 401 whatever the user name and password
  500       answer 500 Internal Server Error
  hang      accept the request and never answer
  close     close the connection before any byte of the answer
  slow:MS   answer MS milliseconds late
The switch logs one line per request on standard output: time (UTC), client, request target with
the password masked, status. Its first line names the address it listens on.)";

int Integer(const std::string& text, const char* option, int least, int most) {
    const auto value = qdl::TryStrToInt(text);
    if (!value || *value < least || *value > most ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError(
            qdl::Format("%s %s is not an integer from %d to %d.", option, text.c_str(), least, most));
    return *value;
}

void AddFault(Faults& fail, const std::string& kind) {
    if (kind == "auth")
        fail.RefuseLogin = true;
    else if (kind == "500")
        fail.ServerError = true;
    else if (kind == "hang")
        fail.Hang = true;
    else if (kind == "close")
        fail.Close = true;
    else if (kind.rfind("slow:", 0) == 0)
        fail.Slow = std::chrono::milliseconds(Integer(kind.substr(5), "--fail slow:", 0, 3600000));
    else
        throw UsageError("--fail " + kind + " is no fault: give auth, 500, hang, close or slow:MS.");
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
        std::string reported;
        while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stopped_; })) {
            try {
                state.Tick(LocalNow());
                reported.clear();
            } catch (const std::exception& failure) {
                // Once, not every second for as long as the file stays unwritable.
                if (reported != failure.what())
                    std::cerr << "qdl-switch: the schedule could not be carried out: " << failure.what()
                              << '\n';
                reported = failure.what();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
    std::thread thread_;
};

struct Arguments {
    SwitchOptions Options;
    std::string PortFile, StateFile;
    std::vector<int> Stuck;
};

// Returns nothing when the arguments only asked for the help or the version (printed).
std::optional<Arguments> ReadArguments(int argc, char** argv) {
    CLI::App app{
        "A stand-in Quadrel 4816 network power switch on a loopback address, for testing the window, "
        "scripts, clusters and monitoring.",
        "qdl-switch"};
    app.set_version_flag("--version", std::string("qdl-switch ") + QDL_VERSION, "Print the name and version");
    app.footer(Footer);
    Arguments arguments;
    SwitchOptions& options = arguments.Options;
    std::string port = "0", failAfter, refuseAfter;
    std::vector<std::string> faults, stuck;
    app.add_option("--address", options.Address, "Address to listen on [127.0.0.1]")->option_text("A");
    app.add_option("--port", port, "Port to listen on, 0 to 65535; 0 takes any free one [0]")
        ->option_text("N");
    app.add_option("--port-file", arguments.PortFile, "Write the port taken to FILE")->option_text("FILE");
    app.add_option("--user", options.UserName, "User name [admin]")->option_text("NAME");
    app.add_option("--password", options.Password, "Password [40617253]")->option_text("TEXT");
    app.add_option("--state-file", arguments.StateFile,
                   "Keep the outlets and the schedule in FILE across restarts")
        ->option_text("FILE");
    app.add_option("--fail", faults, "Fail on purpose: auth, 500, hang, close or slow:MS (see below)")
        ->option_text("KIND");
    app.add_option("--fail-after", failAfter, "Answer the first N requests properly, then fail")
        ->option_text("N");
    app.add_option("--refuse-after", refuseAfter, "Stop listening after N requests")->option_text("N");
    app.add_option("--stuck", stuck, "That outlet (1 to 4) ignores every change")->option_text("OUTLET");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        app.exit(success, std::cout, std::cout);
        return std::nullopt;
    } catch (const CLI::ParseError& failure) {
        throw UsageError(std::string(failure.what()) + " (see qdl-switch --help)");
    }
    options.Port = Integer(port, "--port", 0, 65535);
    for (const auto& kind : faults)
        AddFault(options.Fail, kind);
    if (!failAfter.empty() && faults.empty())
        throw UsageError("--fail-after needs --fail: it says when the faults begin.");
    if (!failAfter.empty())
        options.Fail.After = static_cast<std::uint64_t>(Integer(failAfter, "--fail-after", 0, 1 << 30));
    if (!refuseAfter.empty())
        options.Fail.RefuseAfter =
            static_cast<std::uint64_t>(Integer(refuseAfter, "--refuse-after", 1, 1 << 30));
    for (const auto& outlet : stuck)
        arguments.Stuck.push_back(Integer(outlet, "--stuck", 1, 4));
    return arguments;
}

void WritePortFile(const std::string& fileName, int port) {
    std::ofstream file(fileName, std::ios::trunc);
    if (!(file << port << '\n') || !file.flush())
        throw std::runtime_error("the port file " + fileName + " cannot be written");
}

} // namespace

int main(int argc, char** argv) {
    std::optional<Arguments> arguments;
    try {
        arguments = ReadArguments(argc, argv);
    } catch (const UsageError& failure) {
        std::cerr << "qdl-switch: " << failure.what() << '\n';
        return 2;
    }
    if (!arguments)
        return 0;
    const SwitchOptions& options = arguments->Options;
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
        if (!arguments->StateFile.empty())
            state.KeepIn(arguments->StateFile);
        for (int outlet : arguments->Stuck)
            state.Stick(outlet);
        port = server.Bind();
        if (!arguments->PortFile.empty())
            WritePortFile(arguments->PortFile, port);
    } catch (const std::exception& failure) {
        std::cerr << "qdl-switch: " << failure.what() << '\n';
        return 1;
    }
    // An IPv6 address stands in brackets in an address a browser takes.
    const bool ipv6 = options.Address.find(':') != std::string::npos;
    std::cout << "Quadrel 4816 stand-in switch on http://" << (ipv6 ? "[" : "") << options.Address
              << (ipv6 ? "]" : "") << ':' << port << "/ (user " << options.UserName << ")" << std::endl;

    ScheduleClock clock(state);
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
    });
    server.Serve();
    // After --refuse-after the switch has stopped listening but goes on until it is stopped.
    stopper.join();
    return 0;
}
