#pragma once

#include <optional>
#include <string>

namespace qdl {

// RFC 4648 Base64 with "=" padding and no line breaks.
std::string Base64Encode(const std::string& bytes);

// The bytes of Base64 text; nothing for text that is no Base64 (a wrong character or length).
std::optional<std::string> Base64Decode(const std::string& text);

} // namespace qdl
