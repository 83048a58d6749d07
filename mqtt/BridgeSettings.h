#pragma once

#include "SwitchesFile.h"

#include <chrono>
#include <optional>
#include <string>

namespace qdl::mqtt {

// The broker the bridge talks to: the [mqtt] section of its configuration file.
struct BrokerSettings {
    std::string Host = "localhost";
    int Port = 1883; // 8883 where a CAFile asks for TLS
    std::string CAFile, CertFile, KeyFile;
    std::string UserName, Password; // the password from PassFile's first line
    std::string ClientId = "qdl4816-mqtt";
    int ProtocolVersion = 4; // 3.1.1; 5 for MQTT 5
};

// The bridge's configuration file: the switches as the exporter reads them (one section each,
// with OutletNCommands=0 for an outlet that takes no commands), and the section [mqtt]: the
// broker, the topic prefixes, how often each switch is read and how long a cycle keeps outlets
// off.
struct BridgeSettings {
    control::SwitchesFile Switches;
    BrokerSettings Broker;
    std::string Prefix = "qdl4816";
    std::string DiscoveryPrefix = "homeassistant";
    std::chrono::seconds Poll{10};
    std::chrono::seconds CycleOff{5};

    // Reads and checks the file; a ConfigError naming the file, the section and the key. A switch
    // name must be a topic level of its own (no '/', '+' or '#'), and the file is refused when
    // others may read it: it holds passwords.
    static BridgeSettings Read(const std::string& path);
};

} // namespace qdl::mqtt
