// The fence agent's standard input: whatever arrives, it is read within its bounds or refused as
// a whole; what is kept is known parameters with values of one line, and every warning is one
// short printable line.
#include "FenceFailure.h"
#include "FenceParameters.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qdl::cli::fence;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const Given given = ReadStandardInput(in);
        FUZZ_CHECK(size <= 64 * 1024);
        for (const auto& [key, value] : given.Values) {
            FUZZ_CHECK(std::any_of(Parameters().begin(), Parameters().end(),
                                   [&key = key](const Parameter& p) { return key == p.Key; }));
            FUZZ_CHECK(value.find('\n') == std::string::npos && value.size() <= 4096);
        }
        for (const auto& warning : given.Warnings) {
            FUZZ_CHECK(warning.size() < 400);
            FUZZ_CHECK(std::none_of(warning.begin(), warning.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < ' ' || c == 0x7f; }));
        }
    } catch (const FenceFailure& failure) {
        FUZZ_CHECK(std::string(failure.what()).rfind("Failed: ", 0) == 0);
    }
    return 0;
}
