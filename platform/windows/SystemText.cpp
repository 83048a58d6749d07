#include "SystemText.h"

#include "Wide.h"

namespace qdl::platform {

std::string FromSystemCodePage(const std::string& bytes) {
    return Narrow(FromCodePage(CP_ACP, bytes));
}

std::string ToSystemCodePage(const std::string& text) {
    return ToCodePage(CP_ACP, Wide(text));
}

} // namespace qdl::platform
