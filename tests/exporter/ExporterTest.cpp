// The exporter in this process, on loopback, against the scripted switch: which targets it
// reaches, how long a probe may take, one exchange per switch at a time, its configuration and
// its web configuration.
#include "ExporterConfig.h"
#include "ExporterServer.h"
#include "Failures.h"
#include "ScriptedSwitch.h"
#include "TempFolder.h"
#include "WebConfig.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <crypt.h>
#include <sys/stat.h>

#include <future>
#include <thread>

namespace qdl::test {
namespace {

using namespace exporter;

std::string Reply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string Outlets = "<html>P60=1,P61=0,P62=1,P63=0</html>";

std::string PrivateFile(const TempFolder& folder, const std::string& name, const std::string& text) {
    const std::string path = folder.File(name);
    WriteBytes(path, text);
    ::chmod(path.c_str(), 0640);
    return path;
}

class ExporterTest : public testing::Test {
protected:
    void Start(WebConfig web = {}) {
        ServerOptions options;
        options.ConfigFile = PrivateFile(folder, "exporter.ini",
                                         "[rack1]\nIPV4=127.0.0.1\nPort=" + std::to_string(device.Port()) +
                                             "\nUserName=admin\nPass=40617253\nOutlet1=web\n");
        options.Web = std::move(web);
        options.Version = "test";
        server = std::make_unique<ExporterServer>(options);
        port = server->Bind("127.0.0.1:0");
        serving = std::thread([this] { server->Serve(); });
    }
    ~ExporterTest() override {
        if (server)
            server->Stop();
        if (serving.joinable())
            serving.join();
    }
    httplib::Result Get(const std::string& path, const httplib::Headers& headers = {}) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(std::chrono::seconds(4));
        return client.Get(path.c_str(), headers);
    }

    TempFolder folder;
    ScriptedSwitch device;
    std::unique_ptr<ExporterServer> server;
    std::thread serving;
    int port = 0;
};

TEST_F(ExporterTest, AProbeReadsTheNamedSwitch) {
    Start();
    device.ReplyBody(Outlets);
    const auto result = Get("/probe?target=RACK1");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_NE(result->body.find("qdl4816_up 1\n"), std::string::npos);
    EXPECT_NE(result->body.find("qdl4816_outlet_on{outlet=\"1\",name=\"web\"} 1\n"), std::string::npos);
    EXPECT_EQ(device.Connections(), 1u);
}

// The exporter must not become a way to reach arbitrary hosts: only configured names are probed.
TEST_F(ExporterTest, TargetsTheConfigurationDoesNotNameAreRefusedAndNothingIsSent) {
    Start();
    for (const std::string& target :
         {std::string("unknown"), std::string("127.0.0.1"), "127.0.0.1:" + std::to_string(device.Port()),
          std::string(""), std::string(100 * 1024, 'a')}) {
        const auto result = Get("/probe?target=" + target);
        ASSERT_TRUE(result) << target.size();
        EXPECT_EQ(result->status, 400) << target.substr(0, 40);
        EXPECT_EQ(std::count(result->body.begin(), result->body.end(), '\n'), 1) << result->body;
    }
    EXPECT_EQ(Get("/probe")->status, 400);
    EXPECT_EQ(Get("/nowhere")->status, 404);
    EXPECT_EQ(device.Connections(), 0u);
}

// A switch that never answers: the probe ends within the scrape's own timeout (the client gives
// up after 4 s) and says why, with no outlet series.
TEST_F(ExporterTest, AProbeEndsWithinTheScrapesTimeout) {
    Start();
    device.DefaultAnswer({"", ScriptedSwitch::Then::Hold});
    const auto result = Get("/probe?target=rack1", {{"X-Prometheus-Scrape-Timeout-Seconds", "2"}});
    ASSERT_TRUE(result) << "answered before the scrape gave up";
    EXPECT_NE(result->body.find("qdl4816_up 0\n"), std::string::npos) << result->body;
    EXPECT_NE(result->body.find("qdl4816_probe_failure{kind=\"timeout\"} 1\n"), std::string::npos)
        << result->body;
    EXPECT_EQ(result->body.find("qdl4816_outlet_on"), std::string::npos);
}

// Two scrapes of one switch at once make one exchange, and both get its result.
TEST_F(ExporterTest, ConcurrentScrapesOfOneSwitchShareOneExchange) {
    Start();
    ScriptedSwitch::Answer slow{Reply(Outlets)};
    slow.Delay = std::chrono::milliseconds(500);
    device.Script(slow);
    auto first = std::async(std::launch::async, [this] { return Get("/probe?target=rack1"); });
    device.WaitForConnections(1);
    const auto second = Get("/probe?target=rack1");
    const auto firstResult = first.get();
    ASSERT_TRUE(firstResult && second);
    EXPECT_NE(firstResult->body.find("qdl4816_up 1"), std::string::npos);
    EXPECT_NE(second->body.find("qdl4816_up 1"), std::string::npos) << second->body;
    EXPECT_EQ(device.Connections(), 1u);
}

TEST_F(ExporterTest, BasicAuthenticationChecksTheBcryptHash) {
    crypt_data data{};
    WebConfig web;
    web.Users["prometheus"] = crypt_r("s3cret", "$2b$05$abcdefghijklmnopqrstuu", &data);
    Start(web);
    EXPECT_EQ(Get("/metrics")->status, 401);
    EXPECT_EQ(Get("/metrics", {httplib::make_basic_authentication_header("prometheus", "wrong")})->status,
              401);
    EXPECT_EQ(Get("/metrics", {httplib::make_basic_authentication_header("prometheus", "s3cret")})->status,
              200);
}

TEST_F(ExporterTest, AReloadTakesAGoodFileAndKeepsTheOldOneForABadOne) {
    Start();
    device.DefaultAnswer({Reply(Outlets)});
    httplib::Client client("127.0.0.1", port);
    const std::string config = folder.File("exporter.ini");
    WriteBytes(config,
               "[rack2]\nIPV4=127.0.0.1\nPort=" + std::to_string(device.Port()) + "\nPass=40617253\n");
    EXPECT_EQ(client.Post("/-/reload", "", "text/plain")->status, 200);
    EXPECT_EQ(Get("/-/reload")->status, 404) << "a reload is a POST";
    EXPECT_EQ(Get("/probe?target=rack1")->status, 400);
    EXPECT_EQ(Get("/probe?target=rack2")->status, 200);
    WriteBytes(config, "[rack3]\nPort=80\n");
    const auto refused = client.Post("/-/reload", "", "text/plain");
    EXPECT_EQ(refused->status, 500);
    EXPECT_NE(refused->body.find("Switch rack3 has no address"), std::string::npos) << refused->body;
    EXPECT_EQ(Get("/probe?target=rack2")->status, 200);
    EXPECT_NE(Get("/metrics")->body.find("qdl4816_exporter_config_last_reload_successful 0\n"),
              std::string::npos);
}

TEST(ExporterConfigTest, AFileOthersMayReadIsRefusedAndEachSwitchIsChecked) {
    TempFolder folder;
    const std::string path = folder.File("c.ini");
    WriteBytes(path, "[rack1]\nIPV4=127.0.0.1\nPass=x\n");
    ::chmod(path.c_str(), 0644);
    try {
        ExporterConfig::Read(path);
        ADD_FAILURE() << "read";
    } catch (const control::ConfigError& failure) {
        EXPECT_NE(std::string(failure.what()).find("(mode 0644)"), std::string::npos) << failure.what();
        EXPECT_NE(std::string(failure.what()).find(path), std::string::npos);
    }
    WriteBytes(folder.File("pw"), "from-file\nignored\n");
    const struct {
        std::string Text;
        std::string Message; // empty: read
    } rows[] = {
        {"[Rack1]\nIPV4=127.0.0.1\nPassFile=" + folder.File("pw") + "\nOutlet2=db\n", ""},
        {"[rack1]\nPass=x\n", "Switch rack1 has no address: give IPV4=."},
        {"[rack1]\nIPV4=h\nPort=8O\nPass=x\n", "Switch rack1: Port '8O' is not a TCP port from 1 to 65535."},
        {"[rack1]\nIPV4=h\n", "Switch rack1 has no password: give Pass= or PassFile=."},
    };
    for (const auto& row : rows) {
        PrivateFile(folder, "c.ini", row.Text);
        try {
            const ExporterConfig config = ExporterConfig::Read(path);
            EXPECT_EQ(row.Message, "");
            const SwitchEntry* entry = config.Find("rack1");
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->Target.Password, "from-file");
            EXPECT_EQ(entry->OutletNames.at(2), "db");
        } catch (const control::ConfigError& failure) {
            EXPECT_NE(row.Message, "");
            EXPECT_NE(std::string(failure.what()).find(row.Message), std::string::npos) << failure.what();
        }
    }
}

TEST(WebConfigTest, ReadsTheToolkitsFormatAndNamesTheLineOfAMistake) {
    const WebConfig config = WebConfig::Parse("# TLS and users\ntls_server_config:\n  cert_file: server.crt\n"
                                              "  key_file: 'server.key'\nbasic_auth_users:\n"
                                              "  prometheus: \"$2y$10$abc\"\n",
                                              "web.yml");
    EXPECT_EQ(config.CertFile, "server.crt");
    EXPECT_EQ(config.KeyFile, "server.key");
    EXPECT_EQ(config.Users.at("prometheus"), "$2y$10$abc");
    const std::pair<const char*, const char*> mistakes[] = {
        {"http_server_config:\n", "line 1: 'http_server_config' is not known here"},
        {"basic_auth_users:\n  alice: plain\n", "line 2: the password of alice is no bcrypt hash"},
        {"tls_server_config:\n  cert_file: a\n", "needs both cert_file and key_file"},
        {"tls_server_config:\n  client_ca_file: a\n",
         "line 2: 'client_ca_file' is not known in tls_server_config"},
    };
    for (const auto& [text, message] : mistakes)
        try {
            WebConfig::Parse(text, "web.yml");
            ADD_FAILURE() << text;
        } catch (const control::ConfigError& failure) {
            EXPECT_NE(std::string(failure.what()).find(message), std::string::npos) << failure.what();
        }
}

} // namespace
} // namespace qdl::test
