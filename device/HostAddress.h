#pragma once

#include <string>

namespace qdl {

// The dotted IPv4 address to connect to for a host text: a dotted address as it is, "localhost"
// (any case) as 127.0.0.1, anything else through the system's resolver. A text that cannot be a
// host name at all (blanks, control characters, "@", "/", "\") fails like an unknown host,
// before anything is looked up or sent.
std::string ResolveHostAddress(const std::string& host);

} // namespace qdl
