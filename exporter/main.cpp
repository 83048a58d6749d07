// qdl4816_exporter: Quadrel 4816 switches for Prometheus, in the shape of the multi-target
// exporters (the SNMP and blackbox exporters): Prometheus names a switch of the configuration
// file as the target, and each scrape reads it.
#include "ExporterService.h"
#include "Failures.h"
#include "HttpServer.h"
#include "ServiceLog.h"
#include "ServiceMain.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include <windows.h>
#else
#include "ServiceSignals.h"

#include <malloc.h>
#include <sys/resource.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

using namespace qdl::exporter;
using qdl::control::Field;
using qdl::control::Log;
using qdl::control::LogLevel;

const char* const Version = QDL_VERSION;

// How long a stop waits for the exchanges with switches still running before it ends the
// process without them.
constexpr std::chrono::milliseconds StopGrace{500};

std::string DefaultConfigFile() {
#ifdef _WIN32
    const char* data = std::getenv("ProgramData");
    return std::string(data && *data ? data : "C:\\ProgramData") + "\\qdl4816_exporter\\qdl4816_exporter.ini";
#else
    return "/etc/prometheus/qdl4816_exporter.ini";
#endif
}

struct Flags {
    std::string ListenAddress = ":9816";
    std::string ConfigFile = DefaultConfigFile();
    std::string WebConfigFile;
    std::string ProbeTimeout = "5";
    std::string TimeoutOffset = "0.5";
    std::string LogLevel = "info";
};

std::chrono::milliseconds Seconds(const std::string& text, const char* option, double least) {
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= least) || seconds > 300)
        throw qdl::control::UsageError(qdl::Format("%s '%s' is no time from %g to 300 seconds.", option,
                                                   qdl::Printable(text, 40).c_str(), least));
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

#ifdef _WIN32
HttpServer* running = nullptr;

// Ctrl-C, Ctrl-Break and the console's close stop the server.
BOOL WINAPI StopOnConsoleEvent(DWORD) {
    Log(LogLevel::Info, "Stopping");
    if (running)
        running->Stop();
    return TRUE;
}

void ServeUntilStopped(HttpServer& server, ExporterService&) {
    running = &server;
    SetConsoleCtrlHandler(StopOnConsoleEvent, TRUE);
    server.Serve();
}
#else
// SIGHUP rereads the configuration; SIGTERM and SIGINT stop the server.
void ServeUntilStopped(HttpServer& server, ExporterService& service) {
    qdl::control::ServiceSignals signals([&service] { service.Reload(); }, [&server] { server.Stop(); });
    server.Serve();
}

void PrepareProcess() {
    qdl::control::ServiceSignals::Block();
    // Every idle client costs a descriptor and nothing more: take as many as the system allows.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}
#endif

// The exchanges with switches still running end by their deadlines; a stop does not wait for them
// longer than a moment.
int Stopped(ExporterService& service) {
    if (service.Finish(StopGrace)) {
        Log(LogLevel::Info, "Stopped");
        return 0;
    }
    Log(LogLevel::Info, "Stopped without waiting for the probes still running");
    std::fflush(nullptr);
    std::_Exit(0);
}

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
                   "HOST:PORT, [IPv6]:PORT, or :PORT for every interface, IPv4 and IPv6 [:9816]");
    app.add_option("--config.file", flags.ConfigFile,
                   "The switches, one INI section each [" + flags.ConfigFile + "]");
    app.add_option("--web.config.file", flags.WebConfigFile,
#ifdef _WIN32
                   "TLS and basic authentication: not available on Windows"
#else
                   "TLS and basic authentication, as the exporter toolkit reads them"
#endif
    );
    app.add_option("--probe.timeout", flags.ProbeTimeout,
                   "Seconds a probe may take where the scrape sends no shorter timeout [5]");
    app.add_option("--timeout-offset", flags.TimeoutOffset,
                   "Seconds taken off the scrape's timeout for the answer's way back; at most a quarter of "
                   "the timeout [0.5]");
    app.add_option("--log.level", flags.LogLevel, "debug, info, warn or error [info]");
    app.set_version_flag("--version", std::string("qdl4816_exporter ") + Version);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& failure) {
        return app.exit(failure);
    }
    return qdl::control::RunService(flags.LogLevel, [&] {
        ServerOptions options;
        options.ConfigFile = flags.ConfigFile;
        options.ProbeTimeout = Seconds(flags.ProbeTimeout, "--probe.timeout", 0.001);
        options.TimeoutOffset = Seconds(flags.TimeoutOffset, "--timeout-offset", 0);
        options.Version = Version;
        if (!flags.WebConfigFile.empty())
            options.Web = WebConfig::Read(flags.WebConfigFile);
#ifndef _WIN32
        PrepareProcess();
#endif
        ExporterService service(options);
        std::optional<TlsFiles> tls;
        if (options.Web.CertFile)
            tls = TlsFiles{*options.Web.CertFile, *options.Web.KeyFile};
        HttpServer server(service, ServerLimits{}, tls);
        service.CountConnectionsWith([&server] { return server.OpenConnections(); });
        const int port = server.Bind(flags.ListenAddress);
        Log(LogLevel::Info, "Listening",
            Field("address", flags.ListenAddress) + " " + Field("port", std::to_string(port)) + " " +
                Field("tls", tls ? "true" : "false") + " " + Field("version", Version));
        ServeUntilStopped(server, service);
        return Stopped(service);
    });
}
