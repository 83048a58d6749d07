// The exporter's HTTP server in this process, on loopback, fed bytes that no HTTP library would
// send: limits on the request, the connection's time, pipelining, and what a URL means.
#include "ExporterFixture.h"
#include "ListenAddress.h"
#include "RawHttp.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <future>

namespace qdl::test {
namespace {

using namespace exporter;
using namespace std::chrono_literals;

ServerOptions OneSwitch(const TempFolder& folder) {
    ServerOptions options;
    // Nothing listens on port 9: a probe that got through would fail, never hang.
    options.ConfigFile = PrivateFile(folder, "exporter.ini", "[rack1]\nIPV4=127.0.0.1\nPort=9\nPass=x\n");
    options.Version = "test";
    return options;
}

std::string Chunked(std::size_t chunks, std::size_t size) {
    std::string body;
    char head[16];
    std::snprintf(head, sizeof head, "%zx\r\n", size);
    for (std::size_t i = 0; i < chunks; ++i)
        body += head + std::string(size, 'x') + "\r\n";
    return body + "0\r\n\r\n";
}

std::string ManyHeaders(std::size_t count, std::size_t size) {
    std::string headers;
    for (std::size_t i = 0; i < count; ++i)
        headers += "X-Filler-" + std::to_string(i) + ": " + std::string(size, 'v') + "\r\n";
    return headers;
}

class HttpServerTest : public testing::Test {
protected:
    TempFolder folder;
};

// Each request alone on a connection: the status of each answer, in order.
TEST_F(HttpServerTest, RequestsAreReadByTheRulesOfHttpAndUrls) {
    RunningExporter exporter(OneSwitch(folder));
    const struct {
        const char* Name;
        std::string Request;
        std::vector<int> Statuses;
    } rows[] = {
        {"a plain GET", "GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\n", {200}},
        {"HTTP/1.0", "GET /-/ready HTTP/1.0\r\n\r\n", {200}},
        {"absolute form", "GET http://127.0.0.1:1/metrics HTTP/1.1\r\nHost: h\r\n\r\n", {200}},
        {"an escaped path", "GET /%2Dr/healthy HTTP/1.1\r\nHost: h\r\n\r\n", {404}},
        {"a reload without a body", "POST /-/reload HTTP/1.1\r\nHost: h\r\n\r\n", {200}},
        {"pipelined, answered in order",
         "GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\nGET /nowhere HTTP/1.1\r\nHost: h\r\n\r\nGET /metrics "
         "HTTP/1.1\r\nHost: h\r\n\r\n",
         {200, 404, 200}},
        {"too many headers", "GET /metrics HTTP/1.1\r\nHost: h\r\n" + ManyHeaders(2000, 100) + "\r\n", {431}},
        {"a request line too long",
         "GET /probe?target=" + std::string(100000, 'a') + " HTTP/1.1\r\nHost: h\r\n\r\n",
         {431}},
        {"a chunked body past the limit",
         "POST /-/reload HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked(5, 16384),
         {413}},
        {"a body past the limit",
         "POST /-/reload HTTP/1.1\r\nHost: h\r\nContent-Length: 70000\r\n\r\n",
         {413}},
        {"a negative length", "POST /-/reload HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n", {400}},
        {"a length of 20 digits",
         "POST /-/reload HTTP/1.1\r\nHost: h\r\nContent-Length: 99999999999999999999\r\n\r\n",
         {400}},
        {"length and chunks",
         "POST /-/reload HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\nTransfer-Encoding: "
         "chunked\r\n\r\n0\r\n\r\n",
         {400}},
        {"an encoding other than chunks",
         "POST /-/reload HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: gzip\r\n\r\n",
         {400}},
        {"HTTP/2.0 in a request line", "GET /metrics HTTP/2.0\r\n\r\n", {400}},
        {"bare line feeds", "GET /metrics HTTP/1.1\nHost: h\n\n", {400}},
        {"a fragment", "GET /probe?target=rack1#x HTTP/1.1\r\nHost: h\r\n\r\n", {400}},
        {"an equals sign in the value", "GET /probe?target=foo=rack1 HTTP/1.1\r\nHost: h\r\n\r\n", {400}},
        {"a %u escape", "GET /probe?target=r%u0061ck1 HTTP/1.1\r\nHost: h\r\n\r\n", {400}},
        {"a second question mark",
         "GET /probe??target=rack1&target=nothing HTTP/1.1\r\nHost: h\r\n\r\n",
         {400}},
        {"the target twice", "GET /probe?target=rack1&target=rack1 HTTP/1.1\r\nHost: h\r\n\r\n", {400}},
        {"a semicolon", "GET /probe?x=1;target=rack1 HTTP/1.1\r\nHost: h\r\n\r\n", {400}},
        {"HTTP/1.1 without Host", "GET /-/healthy HTTP/1.1\r\n\r\n", {400}},
        {"HTTP/1.1 with two Host", "GET /-/healthy HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", {400}},
        {"HTTP/1.0 needs no Host", "GET /-/healthy HTTP/1.0\r\n\r\n", {200}},

    };
    for (const auto& row : rows) {
        RawConnection connection(exporter.Port());
        connection.Send(row.Request);
        std::string answers;
        for (const std::string& answer : connection.ReadAnswers(row.Statuses.size()))
            answers += answer;
        EXPECT_EQ(StatusCodes(answers), row.Statuses) << row.Name << "\n" << answers.substr(0, 300);
    }
}

// A client that waits for leave to send its body is given it before the body is read.
TEST_F(HttpServerTest, ABodyThatWaitsForLeaveIsGivenIt) {
    RunningExporter exporter(OneSwitch(folder));
    RawConnection connection(exporter.Port());
    connection.Send(
        "POST /-/reload HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n");
    // Read until the connection has been quiet for a while: the interim answer, and nothing else.
    EXPECT_EQ(connection.ReadAll(500ms), "HTTP/1.1 100 Continue\r\n\r\n");
    connection.Send("xx");
    const auto answers = connection.ReadAnswers(1, 5s);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(StatusCodes(answers[0]), std::vector<int>{200}) << answers[0];
}

TEST_F(HttpServerTest, AHeadRequestGetsTheHeadAlone) {
    RunningExporter exporter(OneSwitch(folder));
    RawConnection connection(exporter.Port());
    connection.Send("HEAD /-/healthy HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
    const std::string answer = connection.ReadAll();
    EXPECT_EQ(StatusCodes(answer), std::vector<int>{200});
    EXPECT_NE(answer.find("Content-Length: 9\r\n"), std::string::npos) << answer;
    EXPECT_EQ(answer.substr(answer.size() - 4), "\r\n\r\n") << answer;
}

// The head's time is counted in all, not per read: a client that sends a byte now and then is
// closed as surely as one that sends nothing, and a kept-alive connection that falls idle too.
TEST_F(HttpServerTest, SilentDrippingAndIdleClientsAreClosedOnTime) {
    ServerLimits limits;
    limits.HeadTime = 300ms;
    limits.IdleTime = 300ms;
    RunningExporter exporter(OneSwitch(folder), limits);

    RawConnection silent(exporter.Port());
    EXPECT_TRUE(silent.ClosedWithin(3s));

    RawConnection dripping(exporter.Port());
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: h\r\nX-Slow: " + std::string(100, 'x');
    bool closed = false;
    const auto start = std::chrono::steady_clock::now();
    for (char c : request) {
        // One byte each 50 ms: each read is far within the head's time, the whole never.
        if (!dripping.Send(std::string(1, c)) || (closed = dripping.ClosedWithin(50ms)))
            break;
    }
    EXPECT_TRUE(closed || dripping.ClosedWithin(3s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    RawConnection keptAlive(exporter.Port());
    keptAlive.Send("GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(keptAlive.ReadAnswers(1).size(), 1u);
    EXPECT_TRUE(keptAlive.ClosedWithin(3s));
}

// Connections that only wait, kept alive by the given addresses in that order, each after one
// answered request.
std::vector<std::unique_ptr<RawConnection>> Waiting(int port, const std::vector<std::string>& from) {
    std::vector<std::unique_ptr<RawConnection>> held;
    for (const std::string& address : from) {
        held.push_back(std::make_unique<RawConnection>(port, address));
        held.back()->Send("GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\n");
        EXPECT_EQ(held.back()->ReadAnswers(1).size(), 1u);
    }
    return held;
}

// At the cap a newcomer is admitted in the place of a connection that only waits: the longest
// waiting one of the address that holds the most, so that no address keeps another out.
TEST_F(HttpServerTest, AtTheCapANewcomerTakesThePlaceOfAWaitingConnection) {
    ServerLimits limits;
    limits.MostConnections = 4;
    RunningExporter exporter(OneSwitch(folder), limits);
    const struct {
        const char* Name;
        std::vector<std::string> Held;
        std::size_t GivesWay;
    } rows[] = {
        {"one address holds all: its longest waiting",
         {"127.0.0.2", "127.0.0.2", "127.0.0.2", "127.0.0.2"},
         0},
        {"the address holding the most, not the longest waiting",
         {"127.0.0.3", "127.0.0.2", "127.0.0.2", "127.0.0.2"},
         1},
    };
    for (const auto& row : rows) {
        auto held = Waiting(exporter.Port(), row.Held);
        RawConnection newcomer(exporter.Port(), "127.0.0.1");
        newcomer.Send("GET /metrics HTTP/1.1\r\nHost: h\r\n\r\n");
        const auto answers = newcomer.ReadAnswers(1);
        ASSERT_EQ(answers.size(), 1u) << row.Name;
        EXPECT_NE(answers[0].find("qdl4816_exporter_connections_open 4\n"), std::string::npos) << answers[0];
        for (std::size_t i = 0; i < held.size(); ++i)
            EXPECT_EQ(held[i]->ClosedWithin(i == row.GivesWay ? 3s : 50ms), i == row.GivesWay)
                << row.Name << ": connection " << i;
    }
}

// A connection that was refused and only drains what its client still sends waits like an idle
// one: at the cap it gives way at once, not when its second of draining ends.
TEST_F(HttpServerTest, ARefusedConnectionThatOnlyDrainsGivesWayAtTheCap) {
    ServerLimits limits;
    limits.MostConnections = 2;
    RunningExporter exporter(OneSwitch(folder), limits);
    RawConnection refused(exporter.Port());
    refused.Send("GET /metrics HTTP/1.2\r\nHost: h\r\n\r\n");
    ASSERT_EQ(refused.ReadAnswers(1).size(), 1u);
    auto idle = Waiting(exporter.Port(), {"127.0.0.1"});
    RawConnection newcomer(exporter.Port());
    newcomer.Send("GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(newcomer.ReadAnswers(1).size(), 1u);
    EXPECT_TRUE(refused.ClosedWithin(500ms));
    EXPECT_FALSE(idle.front()->ClosedWithin(50ms));
}

// When every connection has a request in progress, a newcomer is told to come back.
TEST_F(HttpServerTest, AtTheCapWithEveryConnectionBusyANewcomerIsToldToComeBack) {
    const int listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), size), 0);
    ::listen(listening, 16); // a switch that takes connections and never answers
    ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size);
    ServerOptions options = OneSwitch(folder);
    options.ConfigFile =
        PrivateFile(folder, "hanging.ini",
                    "[hung]\nIPV4=127.0.0.1\nPort=" + std::to_string(ntohs(address.sin_port)) + "\nPass=x\n");
    ServerLimits limits;
    limits.MostConnections = 2;
    {
        RunningExporter exporter(options, limits);
        std::vector<std::unique_ptr<RawConnection>> busy;
        for (int i = 0; i < 2; ++i) {
            busy.push_back(std::make_unique<RawConnection>(exporter.Port()));
            busy.back()->Send("GET /probe?target=hung HTTP/1.1\r\nHost: h\r\n"
                              "X-Prometheus-Scrape-Timeout-Seconds: 3\r\n\r\n");
        }
        const auto until = std::chrono::steady_clock::now() + 5s;
        std::string answer;
        while (answer.find(" 503 ") == std::string::npos && std::chrono::steady_clock::now() < until) {
            RawConnection newcomer(exporter.Port());
            newcomer.Send("GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\n");
            answer = newcomer.ReadAll(3s);
        }
        EXPECT_EQ(StatusCodes(answer), std::vector<int>{503}) << answer;
        EXPECT_NE(answer.find("Retry-After: 1\r\n"), std::string::npos) << answer;
        for (auto& connection : busy)
            EXPECT_EQ(connection->ReadAnswers(1, 5s).size(), 1u);
    }
    ::close(listening);
}

// A stop ends the server whatever the clients do: here, one in the middle of its head.
TEST_F(HttpServerTest, AStopEndsTheServerWhileClientsDrip) {
    ExporterService service(OneSwitch(folder));
    HttpServer server(service, ServerLimits{}, std::nullopt);
    const int port = server.Bind("127.0.0.1:0");
    auto serving = std::async(std::launch::async, [&server] { server.Serve(); });
    std::vector<std::unique_ptr<RawConnection>> dripping;
    for (int i = 0; i < 12; ++i) {
        dripping.push_back(std::make_unique<RawConnection>(port));
        dripping.back()->Send("GET /metrics HTTP/1.1\r\nHost: h\r\nX-Slow: ");
    }
    server.Stop();
    EXPECT_EQ(serving.wait_for(1s), std::future_status::ready);
}

TEST(ListenAddressTest, TakesHostsAndPortsAsTheExportersDo) {
    const struct {
        const char* Text;
        const char* Host; // nullptr: refused
        int Port;
    } rows[] = {
        {":9816", "", 9816},
        {"127.0.0.1:0", "127.0.0.1", 0},
        {"localhost:9816", "localhost", 9816},
        {"[::1]:9816", "::1", 9816},
        {"[::]:1", "::", 1},
        {"host-1.example:80", "host-1.example", 80},
        {"0:9816", nullptr, 0},
        {"[]:9816", nullptr, 0},
        {"::1:9816", nullptr, 0},
        {"9816", nullptr, 0},
        {"1.2.3:80", nullptr, 0},
        {"256.1.1.1:80", nullptr, 0},
        {"host:65536", nullptr, 0},
        {"host:", nullptr, 0},
        {"[x]:80", nullptr, 0},
    };
    for (const auto& row : rows) {
        try {
            const ListenAddress address = ListenAddress::Parse(row.Text);
            ASSERT_NE(row.Host, nullptr) << row.Text;
            EXPECT_EQ(address.Host, row.Host) << row.Text;
            EXPECT_EQ(address.Port, row.Port) << row.Text;
        } catch (const control::UsageError& failure) {
            EXPECT_EQ(row.Host, nullptr) << row.Text << ": " << failure.what();
        }
    }
}

// ":PORT" is every interface: IPv6 as well as IPv4, as the man page says.
TEST_F(HttpServerTest, AnAddressWithoutHostListensOnIpv4AndIpv6) {
    ExporterService service(OneSwitch(folder));
    HttpServer server(service, ServerLimits{}, std::nullopt);
    const int port = server.Bind(":0");
    auto serving = std::async(std::launch::async, [&server] { server.Serve(); });
    RawConnection v4(port);
    v4.Send("GET /-/healthy HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(v4.ReadAnswers(1).size(), 1u);
    const int v6 = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<std::uint16_t>(port));
    address.sin6_addr = in6addr_loopback;
    const bool machineHasIpv6 =
        v6 >= 0 && ::connect(v6, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (v6 >= 0)
        ::close(v6);
    server.Stop();
    serving.get();
    if (!machineHasIpv6 && !std::ifstream("/proc/net/if_inet6"))
        GTEST_SKIP() << "this machine has no IPv6";
    EXPECT_TRUE(machineHasIpv6);
}

} // namespace
} // namespace qdl::test
