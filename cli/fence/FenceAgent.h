#pragma once

#include <iostream>
#include <string>

namespace qdl::cli {

// Called as fence_qdl4816, or with -o/--action: the conventions of the cluster fence agents.
bool IsFenceAgentCall(int argc, const char* const* argv);

// Options from the arguments, or `name=value` lines on `in` when there are none; runs one action.
// Exit 0 on success, 1 on any failure (usage errors included), 2 for `status` of an outlet that
// is off.
int RunFenceAgent(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err);

// The agent's XML description of its parameters and actions.
std::string FenceMetadata();

} // namespace qdl::cli
