#pragma once

#include "DeviceFailure.h"

#include <string>

namespace qdl {

// Socket failures are reported with the numbers and texts users of the switch know from its
// Windows tools, whatever platform this program runs on.

// The first of the resolver's numbers: a host name that cannot be resolved; those above are
// the resolver's other failures.
constexpr int HostNotFound = 11001;

// "Socket Error # <code>", a line break, and the English text for the code (empty when unknown).
std::string SocketErrorMessage(int code);

// The failure for a socket error `code`, of the kind it tells: refused, timed out, or unreachable
// while `connecting`, a broken exchange afterwards.
DeviceFailure SocketFailure(int code, bool connecting);

} // namespace qdl
