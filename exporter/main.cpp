// qdl4816_exporter: Quadrel 4816 switches for Prometheus, in the shape of the multi-target
// exporters (the SNMP and blackbox exporters): Prometheus names a switch of the configuration
// file as the target, and each scrape reads it.
#include "Log.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include "WinsockServer.h"

#include <windows.h>
#else
#include "ExporterServer.h"

#include <malloc.h>
#include <signal.h>
#endif

#include <cstdio>
#include <iostream>
#include <thread>

namespace {

using namespace qdl::exporter;

#ifdef _WIN32
using Server = WinsockServer;
#else
using Server = ExporterServer;
#endif

const char* const Version = QDL_VERSION;

struct Flags {
    std::string ListenAddress = ":9816";
    std::string ConfigFile = "/etc/prometheus/qdl4816_exporter.ini";
    std::string WebConfigFile;
    std::string ProbeTimeout = "5";
    std::string LogLevel = "info";
};

std::chrono::milliseconds Seconds(const std::string& text) {
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > 300)
        throw qdl::control::UsageError(qdl::Format("--probe.timeout '%s' is no time from 0 to 300 seconds.",
                                                   qdl::Printable(text, 40).c_str()));
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

#ifdef _WIN32
Server* running = nullptr;

// Ctrl-C, Ctrl-Break and the console's close stop the server.
BOOL WINAPI StopOnConsoleEvent(DWORD) {
    Log(LogLevel::Info, "Stopping");
    if (running)
        running->Stop();
    return TRUE;
}

void ServeUntilStopped(Server& server) {
    running = &server;
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
    server.Serve();
}
#else
// SIGHUP rereads the configuration; SIGTERM and SIGINT stop the server. Handled on a thread of
// their own, so that a reload runs as any other code does.
std::thread SignalThread(Server& server, sigset_t signals) {
    return std::thread([&server, signals] {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) != 0)
                continue;
            if (signal == SIGHUP) {
                server.Service().Reload();
                continue;
            }
            Log(LogLevel::Info, "Stopping", Field("signal", signal == SIGTERM ? "SIGTERM" : "SIGINT"));
            server.Stop();
            return;
        }
    });
}

// Every thread the server starts inherits the blocked signals; sigwait takes them.
void ServeUntilStopped(Server& server) {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGHUP, SIGTERM, SIGINT})
        sigaddset(&signals, signal);
    std::thread handler = SignalThread(server, signals);
    server.Serve();
    handler.join();
}

void BlockSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGHUP, SIGTERM, SIGINT})
        sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}
#endif

} // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    // One heap for every thread: a scrape flood then leaves no arena per thread behind.
    mallopt(M_ARENA_MAX, 1);
#endif
    Flags flags;
    CLI::App app{"Reads Quadrel 4816 network power switches for Prometheus: GET /probe?target=NAME reads the "
                 "switch NAME of the configuration file.",
                 "qdl4816_exporter"};
    app.add_option("--web.listen-address", flags.ListenAddress,
                   "HOST:PORT, or :PORT for every interface [:9816]");
    app.add_option("--config.file", flags.ConfigFile,
                   "The switches, one INI section each [" + flags.ConfigFile + "]");
    app.add_option("--web.config.file", flags.WebConfigFile,
                   "TLS and basic authentication, as the exporter toolkit "
                   "reads them");
    app.add_option("--probe.timeout", flags.ProbeTimeout,
                   "Seconds a probe may take where the scrape sends no shorter timeout [5]");
    app.add_option("--log.level", flags.LogLevel, "debug, info, warn or error [info]");
    app.set_version_flag("--version", std::string("qdl4816_exporter ") + Version);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& failure) {
        return app.exit(failure);
    }
    try {
        SetLogLevel(ParseLogLevel(flags.LogLevel));
        ServerOptions options;
        options.ConfigFile = flags.ConfigFile;
        options.ProbeTimeout = Seconds(flags.ProbeTimeout);
        options.Version = Version;
        if (!flags.WebConfigFile.empty())
            options.Web = WebConfig::Read(flags.WebConfigFile);
#ifndef _WIN32
        BlockSignals();
#endif
        Server server(options);
        const int port = server.Bind(flags.ListenAddress);
        Log(LogLevel::Info, "Listening",
            Field("address", flags.ListenAddress) + " " + Field("port", std::to_string(port)) + " " +
                Field("tls", options.Web.CertFile ? "true" : "false") + " " + Field("version", Version));
        ServeUntilStopped(server);
        return 0;
    } catch (const std::exception& failure) {
        Log(LogLevel::Error, failure.what());
        return 1;
    }
}
