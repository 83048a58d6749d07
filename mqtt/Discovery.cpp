#include "Discovery.h"

#include "Outlets.h"
#include "Topics.h"

#include <nlohmann/json.hpp>

namespace qdl::mqtt {
namespace {

const char* const Model = "Quadrel 4816";
const char* const Maker = "Tarnwell";
const char* const SupportAddress = "https://www.tarnwell.example/";

std::string DocumentTopic(const DiscoveryNames& names, const char* component, const std::string& object) {
    return names.DiscoveryPrefix + "/" + component + "/" + names.NodeId + "/" + object + "/config";
}

std::string Dumped(const nlohmann::json& document) {
    return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::vector<std::pair<std::string, std::string>> DiscoveryDocuments(const DiscoveryNames& names,
                                                                    const control::SwitchEntry& entry) {
    const std::string base = names.Prefix + "/" + entry.Name;
    const std::string id = names.NodeId + "_" + IdOf(entry.Name);
    control::ConnectionTexts texts;
    texts.Address = entry.Target.Host;
    texts.Port = std::to_string(entry.Target.Port);
    const nlohmann::json device{{"identifiers", {id}},
                                {"name", entry.Name},
                                {"model", Model},
                                {"manufacturer", Maker},
                                {"configuration_url", control::WebPageAddress(texts) + "/"}};
    const nlohmann::json origin{{"name", "qdl4816-mqtt"}, {"sw_version", names.Version}, {"support_url", SupportAddress}};
    const nlohmann::json availability =
        nlohmann::json::array({{{"topic", names.BridgeTopic}}, {{"topic", base + "/availability"}}});
    std::vector<std::pair<std::string, std::string>> documents;
    for (int outlet = 1; outlet <= control::OutletCount; ++outlet) {
        const std::string n = std::to_string(outlet);
        const std::string object = IdOf(entry.Name) + "_outlet" + n;
        const auto named = entry.OutletNames.find(outlet);
        const std::string name = named != entry.OutletNames.end() ? named->second : "Outlet " + n;
        nlohmann::json state{{"name", name},
                             {"unique_id", id + "_outlet" + n},
                             {"state_topic", base + "/outlet/" + n + "/state"},
                             {"payload_on", "ON"},
                             {"payload_off", "OFF"},
                             {"availability", availability},
                             {"availability_mode", "all"},
                             {"device", device},
                             {"origin", origin}};
        if (entry.WithoutCommands.count(outlet)) {
            state["device_class"] = "power";
            documents.emplace_back(DocumentTopic(names, "binary_sensor", object), Dumped(state));
            continue;
        }
        state["device_class"] = "outlet";
        state["command_topic"] = base + "/outlet/" + n + "/set";
        state["state_on"] = "ON";
        state["state_off"] = "OFF";
        state["qos"] = 1;
        state["retain"] = false;
        documents.emplace_back(DocumentTopic(names, "switch", object), Dumped(state));
        const nlohmann::json button{{"name", name + " power cycle"},
                                    {"unique_id", id + "_outlet" + n + "_cycle"},
                                    {"command_topic", base + "/outlet/" + n + "/set"},
                                    {"payload_press", "CYCLE"},
                                    {"device_class", "restart"},
                                    {"qos", 1},
                                    {"retain", false},
                                    {"availability", availability},
                                    {"availability_mode", "all"},
                                    {"device", device},
                                    {"origin", origin}};
        documents.emplace_back(DocumentTopic(names, "button", object + "_cycle"), Dumped(button));
    }
    return documents;
}

std::set<std::string> DocumentTopics(const DiscoveryNames& names, const std::vector<control::SwitchEntry>& switches) {
    std::set<std::string> topics;
    for (const control::SwitchEntry& entry : switches)
        for (const auto& [topic, document] : DiscoveryDocuments(names, entry))
            topics.insert(topic);
    return topics;
}

bool IsOwnDocumentTopic(const DiscoveryNames& names, const std::string& topic) {
    const std::vector<std::string> levels = Levels(topic);
    const std::size_t discoveryLevels = Levels(names.DiscoveryPrefix).size();
    return levels.size() == discoveryLevels + 4 && levels.back() == "config" &&
           levels[discoveryLevels + 1] == names.NodeId &&
           topic.compare(0, names.DiscoveryPrefix.size() + 1, names.DiscoveryPrefix + "/") == 0;
}

} // namespace qdl::mqtt
