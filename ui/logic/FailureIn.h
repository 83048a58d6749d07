#pragma once

#include <exception>
#include <optional>
#include <string>

namespace qdl::ui {

// Runs one event handler and returns the text of what it threw, if anything, so that no
// exception crosses a toolkit's frames: each face hands the text to its failure box.
template <typename Handler> std::optional<std::string> FailureIn(Handler&& handler) {
    try {
        handler();
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string(error.what());
    } catch (...) {
        return std::string("Unknown failure");
    }
}

} // namespace qdl::ui
