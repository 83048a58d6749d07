#include "Files.h"

#include <filesystem>

namespace qdl::platform {

std::string ReadNamedFile(const std::string& path) {
    if (auto content = ReadWholeFile(path))
        return *std::move(content);
    std::error_code ignored;
    throw FileError(FileError::Stage::Open,
                    std::filesystem::is_directory(std::filesystem::u8path(path), ignored)
                        ? "it is a folder"
                        : "there is no such file");
}

} // namespace qdl::platform
