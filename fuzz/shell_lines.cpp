// One line of the PowerMan shell: it is a known command with outlets 1 to 4, or refused with a
// message that quotes what was sent escaped; a line made of a command and its outlet, rebuilt
// from the result, reads back the same.
#include "Failures.h"
#include "FuzzCheck.h"
#include "Shell.h"

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 8192)
        return 0;
    const std::string line(reinterpret_cast<const char*>(data), size);
    try {
        const qdl::cli::ShellLine parsed = qdl::cli::ParseShellLine(line);
        const std::string& command = parsed.Command;
        FUZZ_CHECK(command.empty() || command == "quit" || command == "status" || command == "on" ||
                   command == "off" || command == "cycle");
        for (int outlet : parsed.Outlets)
            FUZZ_CHECK(outlet >= 1 && outlet <= 4);
        if (parsed.Outlets.size() == 1) {
            const auto again = qdl::cli::ParseShellLine(command + " " + std::to_string(parsed.Outlets[0]));
            FUZZ_CHECK(again.Command == command && again.Outlets == parsed.Outlets);
        }
    } catch (const qdl::control::UsageError& failure) {
        const std::string message = failure.what();
        FUZZ_CHECK(message.size() < 400);
        FUZZ_CHECK(std::none_of(message.begin(), message.end(),
                                [](char c) { return static_cast<unsigned char>(c) < ' ' || c == 0x7f; }));
    }
    return 0;
}
