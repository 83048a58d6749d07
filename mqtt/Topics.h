#pragma once

#include <string>
#include <vector>

namespace qdl::mqtt {

// A name as discovery ids and topic levels of ids take it: letters, digits and '-' as they are,
// every other byte _xx.
std::string IdOf(const std::string& name);

// The levels of a topic, split at '/'.
std::vector<std::string> Levels(const std::string& topic);

} // namespace qdl::mqtt
