// A switch's reply through the MQTT bridge's reading and publishing path, as a switch worker takes
// it: the reply read for the four states, and the states or the failure published. Whatever bytes
// the reply holds, every topic, payload and log field is valid UTF-8, every error document parses
// with its message, and states go out only from a reply that showed all four.
#include "CommaText.h"
#include "Failures.h"
#include "FuzzCheck.h"
#include "Outlets.h"
#include "ServiceLog.h"
#include "SwitchReport.h"
#include "TextUtil.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The broker, checking every message as it is published.
class CheckingBroker : public qdl::mqtt::Broker {
public:
    explicit CheckingBroker(bool mayShowStates) : mayShowStates_(mayShowStates) {}
    void Publish(const std::string& topic, const std::string& payload, bool) override {
        FUZZ_CHECK(qdl::IsValidUtf8(topic));
        FUZZ_CHECK(qdl::IsValidUtf8(payload));
        if (EndsWith(topic, "/error")) {
            const auto document = nlohmann::json::parse(payload, nullptr, false);
            FUZZ_CHECK(!document.is_discarded());
            FUZZ_CHECK(document.at("message").is_string());
        } else if (EndsWith(topic, "/state")) {
            FUZZ_CHECK(mayShowStates_);
            FUZZ_CHECK(payload == "ON" || payload == "OFF");
        }
    }
    void Subscribe(const std::string&) override {}

private:
    const bool mayShowStates_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The report's log lines are checked through their fields below, not written out.
    static const bool quiet = (qdl::control::SetLogLevel(qdl::control::LogLevel::Error), true);
    (void)quiet;
    const std::string text(reinterpret_cast<const char*>(data), size);
    qdl::ReplyList reply;
    qdl::SplitCommaText(reply, text);
    qdl::StripHtmlReply(reply);
    std::optional<qdl::control::OutletStates> states;
    std::string failure;
    try {
        states = qdl::control::OutletsIn(reply, "sw:80");
    } catch (const qdl::control::Failure& thrown) {
        failure = thrown.what();
    }
    CheckingBroker broker(states.has_value());
    qdl::mqtt::SwitchReport report(broker, "rack", "qdl4816/rack");
    if (states)
        report.Shows(*states);
    else
        report.Failed(std::nullopt, "protocol", failure, true);
    // Whatever an exception carries reaches the error topic from a worker's edge as well.
    report.Failed(2, "bridge", text, true);
    report.Republish();
    FUZZ_CHECK(qdl::IsValidUtf8(qdl::control::Field("reason", failure)));
    FUZZ_CHECK(qdl::IsValidUtf8(qdl::control::Field("reason", text)));
    return 0;
}
