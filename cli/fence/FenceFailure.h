#pragma once

#include <stdexcept>

namespace qdl::cli::fence {

// Anything that stops the agent: every one is exit 1, as the fence-agents library has it, so that
// a cluster never takes a usage error for the 2 of `status` "off".
struct FenceFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace qdl::cli::fence
