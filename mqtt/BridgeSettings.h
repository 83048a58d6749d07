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
    // Unique per host and configuration file unless given: two bridges with one id would take the
    // session from each other.
    std::string ClientId;
    // 5 (MQTT 5) or 4 (3.1.1); 0: MQTT 5, and 3.1.1 where the broker refuses it.
    int ProtocolVersion = 0;
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
    // The node level of the discovery topics: only documents under it are this bridge's to clear.
    std::string NodeId;
    std::chrono::seconds Poll{10};
    std::chrono::seconds CycleOff{5};

    // Reads and checks the file; a ConfigError naming the file, the section and the key. A switch
    // name must be a topic level of its own (no '/', '+' or '#') and not the bridge's own level
    // (`bridge`); the file is refused when others may read it: it holds passwords.
    static BridgeSettings Read(const std::string& path);
};

} // namespace qdl::mqtt
