#include "BridgeSettings.h"

#include "Conversions.h"
#include "Failures.h"
#include "Files.h"
#include "TextUtil.h"
#include "Topics.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace qdl::mqtt {
namespace {

using control::ConfigError;

const char* const Section = "mqtt";

// A topic, or a level of one, that subscriptions cannot mistake: no wildcards, no empty level.
bool IsPlainTopic(const std::string& topic, bool oneLevel) {
    return !topic.empty() && topic.size() <= 200 && IsValidUtf8(topic) && !HasControlCharacter(topic) &&
           topic.find_first_of(oneLevel ? "/+#" : "+#") == std::string::npos && topic.front() != '/' &&
           topic.back() != '/' && topic.find("//") == std::string::npos && topic.front() != '$';
}

int Number(const std::string& path, const char* key, const std::string& text, int least, int most) {
    const auto number = TryStrToInt(text);
    if (!number || *number < least || *number > most ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw ConfigError(Format("The configuration file %s, [mqtt]: %s '%s' is no number from %d to %d.",
                                 path.c_str(), key, Printable(text, 40).c_str(), least, most));
    return *number;
}

std::string FirstLine(const std::string& path, const std::string& file) {
    try {
        std::string text = platform::ReadNamedFile(file, 4096);
        text = text.substr(0, text.find('\n'));
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        return text;
    } catch (const platform::FileError& failure) {
        throw ConfigError(Format("The configuration file %s, [mqtt]: its PassFile %s cannot be read: %s.",
                                 path.c_str(), file.c_str(), failure.Reason.c_str()));
    }
}

// The name of this host as a client id takes it: letters, digits and '-', at most 32 of them.
std::string HostLabel() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "host";
    std::string label;
    for (const char* c = name; *c && label.size() < 32; ++c)
        label += std::isalnum(static_cast<unsigned char>(*c)) || *c == '-' ? *c : '-';
    return label.empty() ? "host" : label;
}

// qdl4816-mqtt-HOST-XXXXXXXX, the last part a hash (FNV-1a) of the configuration file's full path:
// two bridges differ by host or by configuration.
std::string DefaultClientId(const std::string& path) {
    char* full = ::realpath(path.c_str(), nullptr);
    const std::string named = full ? full : path;
    std::free(full);
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : named)
        hash = (hash ^ c) * 16777619u;
    return Format("qdl4816-mqtt-%s-%08x", HostLabel().c_str(), hash);
}

} // namespace

BridgeSettings BridgeSettings::Read(const std::string& path) {
    BridgeSettings settings;
    settings.Switches = control::SwitchesFile::Read(path, {Section});
    const auto value = [&](const char* key) { return settings.Switches.Setting(Section, key); };
    for (const auto& entry : settings.Switches.Switches()) {
        if (!IsPlainTopic(entry.Name, true))
            throw ConfigError(
                Format("The configuration file %s: the switch [%s] cannot name a topic: a name holds no "
                       "'/', '+' or '#' and does not start with '$'.",
                       path.c_str(), AsciiPrintable(entry.Name, 64).c_str()));
        // PREFIX/bridge/availability is the bridge's own: a switch of that name would take every
        // entity of every switch down with it.
        if (EqualsIgnoringCase(entry.Name, "bridge"))
            throw ConfigError(Format("The configuration file %s: the switch [%s] has the name of the bridge's own "
                                     "topics; give it another name.",
                                     path.c_str(), entry.Name.c_str()));
    }
    BrokerSettings& broker = settings.Broker;
    broker.Host = Trim(value("Host").value_or(broker.Host));
    broker.CAFile = Trim(value("CAFile").value_or(""));
    broker.CertFile = Trim(value("CertFile").value_or(""));
    broker.KeyFile = Trim(value("KeyFile").value_or(""));
    if (broker.CertFile.empty() != broker.KeyFile.empty())
        throw ConfigError(
            Format("The configuration file %s, [mqtt]: CertFile and KeyFile go together.", path.c_str()));
    broker.Port =
        Number(path, "Port", value("Port").value_or(broker.CAFile.empty() ? "1883" : "8883"), 1, 65535);
    broker.UserName = value("UserName").value_or("");
    if (const auto file = value("PassFile"))
        broker.Password = FirstLine(path, Trim(*file));
    broker.ClientId = Trim(value("ClientId").value_or(""));
    if (broker.ClientId.empty())
        broker.ClientId = DefaultClientId(path);
    if (const auto version = value("ProtocolVersion"))
        broker.ProtocolVersion = Number(path, "ProtocolVersion", Trim(*version), 4, 5);
    settings.Prefix = Trim(value("Prefix").value_or(settings.Prefix));
    settings.DiscoveryPrefix = Trim(value("DiscoveryPrefix").value_or(settings.DiscoveryPrefix));
    for (const auto& [key, topic] :
         {std::pair{"Prefix", settings.Prefix}, {"DiscoveryPrefix", settings.DiscoveryPrefix}})
        if (!IsPlainTopic(topic, false))
            throw ConfigError(
                Format("The configuration file %s, [mqtt]: %s '%s' is no topic without wildcards.",
                       path.c_str(), key, AsciiPrintable(topic, 64).c_str()));
    settings.NodeId = Trim(value("NodeId").value_or(IdOf(settings.Prefix)));
    if (settings.NodeId.empty() || settings.NodeId.size() > 64 ||
        settings.NodeId.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-") !=
            std::string::npos)
        throw ConfigError(Format("The configuration file %s, [mqtt]: NodeId '%s' is not 1 to 64 letters, digits, "
                                 "'_' and '-'.",
                                 path.c_str(), AsciiPrintable(settings.NodeId, 64).c_str()));
    settings.Poll =
        std::chrono::seconds(Number(path, "PollSeconds", value("PollSeconds").value_or("10"), 1, 86400));
    settings.CycleOff =
        std::chrono::seconds(Number(path, "CycleSeconds", value("CycleSeconds").value_or("5"), 0, 3600));
    return settings;
}

} // namespace qdl::mqtt
