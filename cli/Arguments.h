#pragma once

#include "Outlets.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qdl::cli {

// The outlet numbers a command names, each 1 to 4 and each once; a UsageError naming the command
// otherwise.
std::vector<int> ParseOutlets(const std::vector<std::string>& words, const std::string& command);

// "2=on 3=off": each outlet once.
control::OutletChanges ParseSettings(const std::vector<std::string>& words, std::vector<int>& outlets);

// A number of seconds from 0 to `most`, fractions allowed; nothing when the text is not one.
std::optional<std::chrono::milliseconds> SecondsIn(const std::string& text, double most);

// The same, or a UsageError naming the option.
std::chrono::milliseconds ParseSeconds(const std::string& text, const std::string& option, double most);

} // namespace qdl::cli
