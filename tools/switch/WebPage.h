#pragma once

#include "SwitchState.h"

#include <string>

namespace qdl::standin {

// The switch's own page: the four outlets with their states and a button for each, and the eight
// schedule entries, read-only.
std::string WebPage(const SwitchState& state);

} // namespace qdl::standin
