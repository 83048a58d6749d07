#pragma once

#include "SwitchesFile.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qdl::mqtt {

// Where this bridge's entities live for Home Assistant's discovery.
struct DiscoveryNames {
    std::string Prefix;          // of the switches' topics
    std::string DiscoveryPrefix; // homeassistant
    std::string NodeId;          // the node level of every document's topic: this bridge's own
    std::string BridgeTopic;     // the bridge's availability
    std::string Version;         // of the bridge, for the documents' origin
};

// The retained discovery documents of one switch, as (topic, document): a switch for each outlet
// that takes commands, with a power-cycle button, and a binary sensor for each that takes none.
std::vector<std::pair<std::string, std::string>> DiscoveryDocuments(const DiscoveryNames& names,
                                                                    const control::SwitchEntry& entry);

// The topics of every document the switches make: a document of this node on any other topic is
// one the bridge made before and no longer makes.
std::set<std::string> DocumentTopics(const DiscoveryNames& names, const std::vector<control::SwitchEntry>& switches);

// True for DISCOVERY/COMPONENT/NODE/OBJECT/config with this bridge's node id.
bool IsOwnDocumentTopic(const DiscoveryNames& names, const std::string& topic);

} // namespace qdl::mqtt
