#include "SystemText.h"

namespace qdl::platform {

std::string FromSystemCodePage(const std::string& bytes) {
    return bytes;
}

std::string ToSystemCodePage(const std::string& text) {
    return text;
}

} // namespace qdl::platform
