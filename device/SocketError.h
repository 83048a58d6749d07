#pragma once

#include "DeviceFailure.h"

#include <string>

namespace qdl {

// Socket failures are reported with the numbers and texts users of the switch know from its
// Windows tools, whatever platform this program runs on.

// The Windows socket error number for a POSIX errno (the errno itself when it has none).
int SocketErrorCode(int posixErrno);

// The Windows resolver error number for a getaddrinfo() result.
int ResolverErrorCode(int gaiError);

// "Socket Error # <code>", a line break, and the English text for the code (empty when unknown).
std::string SocketErrorMessage(int code);

// The failure for a socket error `code`, of the kind it tells: refused, timed out, or unreachable
// while `connecting`, a broken exchange afterwards.
DeviceFailure SocketFailure(int code, bool connecting);

} // namespace qdl
