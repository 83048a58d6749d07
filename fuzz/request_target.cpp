// A request line's target: refused as a BadTarget, or read into a path and parameters that, when
// written again with every byte escaped, read back the same.
#include "FuzzCheck.h"
#include "RequestTarget.h"

#include <cstdint>

namespace {

std::string PathEscaped(const std::string& path) {
    std::string escaped;
    for (char c : path)
        escaped += c == '/' ? std::string("/") : qdl::exporter::QueryEscaped(std::string(1, c));
    return escaped;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qdl::exporter;
    const std::string text(reinterpret_cast<const char*>(data), size);
    RequestTarget parsed;
    try {
        parsed = ParseRequestTarget(text);
    } catch (const BadTarget& failure) {
        FUZZ_CHECK(std::string(failure.what()).size() < 200);
        return 0;
    }
    FUZZ_CHECK(text.find('#') == std::string::npos);
    std::string again =
        PathEscaped(parsed.Path.empty() || parsed.Path[0] != '/' ? "/" + parsed.Path : parsed.Path);
    char separator = '?';
    for (const auto& [name, value] : parsed.Params) {
        again += separator + QueryEscaped(name) + "=" + QueryEscaped(value);
        separator = '&';
    }
    const RequestTarget reread = ParseRequestTarget(again);
    FUZZ_CHECK(reread.Params == parsed.Params);
    FUZZ_CHECK(reread.Path ==
               (parsed.Path.empty() || parsed.Path[0] != '/' ? "/" + parsed.Path : parsed.Path));
    return 0;
}
