#include "Files.h"

#include <filesystem>

namespace qdl::platform {

std::string TooLargeReason(std::size_t limit) {
    return "it holds more than " + std::to_string(limit >> 20) + " MiB, far more than such a file does";
}

std::string ReadNamedFile(const std::string& path, std::size_t limit) {
    if (auto content = ReadWholeFile(path, limit))
        return *std::move(content);
    std::error_code ignored;
    throw FileError(FileError::Stage::Open,
                    std::filesystem::is_directory(std::filesystem::u8path(path), ignored)
                        ? "it is a folder"
                        : "there is no such file");
}

} // namespace qdl::platform
