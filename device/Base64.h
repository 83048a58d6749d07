#pragma once

#include <string>

namespace qdl {

// RFC 4648 Base64 with "=" padding and no line breaks.
std::string Base64Encode(const std::string& bytes);

} // namespace qdl
