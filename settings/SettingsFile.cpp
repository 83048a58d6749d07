#include "SettingsFile.h"

#include "Files.h"
#include "TextUtil.h"

#include <filesystem>

namespace qdl {
namespace {

std::string FullPath(const std::string& fileName) {
    std::error_code ignored;
    return std::filesystem::absolute(std::filesystem::u8path(fileName), ignored)
        .lexically_normal()
        .u8string();
}

// The window's messages for a file that cannot be read or written.
SettingsFileError WindowFailure(const std::string& fileName, const platform::FileError& failure) {
    const std::string path = FullPath(fileName);
    switch (failure.Where) {
    case platform::FileError::Stage::Open:
        return SettingsFileError(
            Format("ファイル \"%s\". %s は開けません", path.c_str(), failure.Reason.c_str()), path,
            failure.Reason);
    case platform::FileError::Stage::Create:
        return SettingsFileError(
            Format("ファイル \"%s\". %s を作成できません", path.c_str(), failure.Reason.c_str()), path,
            failure.Reason);
    case platform::FileError::Stage::Write:
        break;
    }
    return SettingsFileError("ストリームへの書き込みエラー", path, failure.Reason);
}

} // namespace

std::optional<std::string> ReadSettingsFile(const std::string& fileName) {
    try {
        return platform::ReadWholeFile(fileName, SettingsReadLimit);
    } catch (const platform::FileError& failure) {
        throw UndecodableSettingsFile(fileName, failure.Reason);
    }
}

UnreadableSettingsFile UndecodableSettingsFile(const std::string& fileName, const std::string& reason) {
    const std::string path = FullPath(fileName);
    return UnreadableSettingsFile(Format("ファイル \"%s\". %s は開けません", path.c_str(), reason.c_str()),
                                  path, reason);
}

bool WriteSettingsFile(const std::string& fileName, const std::string& content) {
    try {
        return platform::ReplaceOrRewrite(fileName, content) == platform::Written::InPlace;
    } catch (const platform::FileError& failure) {
        throw WindowFailure(fileName, failure);
    }
}

} // namespace qdl
