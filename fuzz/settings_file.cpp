// The settings file: whatever bytes it holds, writing an entry and reading it back gives the value
// written, and the other entries keep their values.
#include "FuzzCheck.h"
#include "IniU.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

// One folder for the whole run, in memory where the system has such a folder.
class ScratchFolder {
public:
    ScratchFolder() {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "qdl-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string File() const { return (path_ / "QDL4816.ini").string(); }

private:
    fs::path path_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFolder folder;
    const std::string file = folder.File();
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    try {
        const std::string address = qdl::IniReadString(file, "QDL4816", "IPV4", "192.168.10.100");
        FUZZ_CHECK(qdl::IniWriteString(file, "QDL4816", "Pass", "4061 7253"));
        FUZZ_CHECK(qdl::IniReadString(file, "QDL4816", "Pass", "unset") == "4061 7253");
        FUZZ_CHECK(qdl::IniReadString(file, "qdl4816", "ipv4", "unset") == address);
    } catch (const std::runtime_error& failure) {
        FUZZ_CHECK(failure.what()[0] != '\0');
    }
    return 0;
}
