#include "Files.h"

#include "Wide.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <utility>

namespace qdl::platform {
namespace {

namespace fs = std::filesystem;

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Closes now, so that a failure to close can be reported; 0 or the error number.
    DWORD Close() {
        const DWORD error = CloseHandle(handle_) ? 0 : GetLastError();
        handle_ = INVALID_HANDLE_VALUE;
        return error;
    }

private:
    HANDLE handle_;
};

// Removes the temporary file unless it took the old file's place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty())
            DeleteFileW(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::wstring& Path() const { return path_; }
    void Keep() { path_.clear(); }

private:
    std::wstring path_;
};

// Another program has the file open without sharing it.
bool IsHeldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

[[noreturn]] void Throw(FileError::Stage stage, DWORD error) {
    throw FileError(stage, SystemMessage(error));
}

void WriteAll(HANDLE file, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        DWORD count = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - written, 1 << 20));
        if (!WriteFile(file, content.data() + written, chunk, &count, nullptr) || count == 0)
            Throw(FileError::Stage::Write, GetLastError());
        written += count;
    }
}

// A device (NUL, CON) or a pipe at the path, opened for writing; nothing for a file on a disk or
// no file at all. Such a node takes the content as a stream: replacing it is no option.
FileHandle OpenedDevice(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file && GetFileType(file.get()) == FILE_TYPE_DISK)
        return FileHandle(INVALID_HANDLE_VALUE);
    return file;
}

} // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
    if (path.empty())
        return std::nullopt;
    const std::wstring wide = Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return std::nullopt;
        Throw(FileError::Stage::Open, error);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::nullopt;
    // A file another program holds without sharing it for a moment (an indexer, a virus scanner)
    // is tried again for about a second, as its replacement is.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    FileHandle file(INVALID_HANDLE_VALUE);
    while (!(file = FileHandle(CreateFileW(wide.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)))) {
        const DWORD error = GetLastError();
        if (!IsHeldByAnother(error) || std::chrono::steady_clock::now() >= until)
            Throw(FileError::Stage::Open, error);
        Sleep(50);
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr))
            Throw(FileError::Stage::Open, GetLastError());
        if (count == 0)
            return content;
        if (content.size() + count > limit)
            throw FileError(FileError::Stage::Open, TooLargeReason(limit));
        content.append(buffer, count);
    }
}

std::optional<std::string> FileVersion(const std::string& path) {
    FileHandle file(CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    const auto join = [](DWORD high, DWORD low) {
        return std::to_string((static_cast<unsigned long long>(high) << 32) | low);
    };
    return std::to_string(information.dwVolumeSerialNumber) + ":" +
           join(information.nFileIndexHigh, information.nFileIndexLow) + ":" +
           join(information.nFileSizeHigh, information.nFileSizeLow) + ":" +
           join(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime);
}

std::optional<std::string> AccidentalDevice(const std::string& path) {
    static const char* const Devices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",   "COM8",
        "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};
    const auto slash = path.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    std::string upper;
    for (char c : base)
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const bool device =
        std::any_of(std::begin(Devices), std::end(Devices), [&](const char* d) { return upper == d; });
    const bool verbatim = path.rfind("\\\\?\\", 0) == 0;
    if (!device || (base == name && !verbatim))
        return std::nullopt;
    return upper;
}

void RequireReplaceable(const std::string& path) {
    if (OpenedDevice(Wide(path)))
        return;
    const fs::path target = fs::path(Wide(path));
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(L".");
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        Throw(FileError::Stage::Create,
              attributes & FILE_ATTRIBUTE_DIRECTORY ? ERROR_DIRECTORY : ERROR_ACCESS_DENIED);
    const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES)
        Throw(FileError::Stage::Create, GetLastError());
    if (!(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
        Throw(FileError::Stage::Create, ERROR_DIRECTORY);
}

// Windows files take their folder's access rights, whatever `access` asks.
void ReplaceWholeFile(const std::string& path, const std::string& content, FileAccess) {
    if (FileHandle device = OpenedDevice(Wide(path))) {
        WriteAll(device.get(), content);
        return;
    }
    RequireReplaceable(path);
    const fs::path target = fs::path(Wide(path));
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(L".");

    // "~name.<process>-<n>.tmp" beside the file: a name nobody else uses, created afresh.
    std::wstring temporaryPath;
    FileHandle file(INVALID_HANDLE_VALUE);
    for (unsigned attempt = 0; !file; ++attempt) {
        temporaryPath =
            (folder / (L"~" + target.filename().wstring().substr(0, 200) + L"." +
                       std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp"))
                .wstring();
        file = FileHandle(CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file && (GetLastError() != ERROR_FILE_EXISTS || attempt > 1000))
            Throw(FileError::Stage::Create, GetLastError());
    }
    TemporaryFile temporary(temporaryPath);
    WriteAll(file.get(), content);
    if (!FlushFileBuffers(file.get()))
        Throw(FileError::Stage::Write, GetLastError());
    if (const DWORD error = file.Close(); error != 0)
        Throw(FileError::Stage::Write, error);
    // Another program may hold the file open for a moment (an indexer, a virus scanner, another
    // window reading it): the replacement is tried again for about a second.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!MoveFileExW(temporary.Path().c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (!(IsHeldByAnother(error) || error == ERROR_ACCESS_DENIED) ||
            std::chrono::steady_clock::now() >= until)
            Throw(FileError::Stage::Create, error);
        Sleep(50);
    }
    temporary.Keep();
}

namespace {

// No new file may be made in the folder: a file made there and removed at once tells.
bool FolderTakesNewFiles(const fs::path& folder) {
    const std::wstring probe =
        (folder / (L"~qdl-probe." + std::to_wstring(GetCurrentProcessId()) + L".tmp")).wstring();
    FileHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(file) || GetLastError() != ERROR_ACCESS_DENIED;
}

// A file on a disk rewritten where it stands, its old content put back should the write fail.
void RewriteDiskFile(const std::wstring& path, const std::string& content) {
    const std::optional<std::string> old = ReadWholeFile(Narrow(path));
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        Throw(FileError::Stage::Create, GetLastError());
    try {
        WriteAll(file.get(), content);
        if (!SetEndOfFile(file.get()) || !FlushFileBuffers(file.get()))
            Throw(FileError::Stage::Write, GetLastError());
    } catch (const FileError&) {
        LARGE_INTEGER start{};
        DWORD written = 0;
        if (old && SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) &&
            WriteFile(file.get(), old->data(), static_cast<DWORD>(old->size()), &written, nullptr))
            SetEndOfFile(file.get());
        throw;
    }
    if (const DWORD error = file.Close(); error != 0)
        Throw(FileError::Stage::Write, error);
}

} // namespace

Written ReplaceOrRewrite(const std::string& path, const std::string& content, FileAccess access) {
    try {
        ReplaceWholeFile(path, content, access);
        return Written::Replaced;
    } catch (const FileError& failure) {
        const fs::path target = fs::path(Wide(path));
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(L".");
        const DWORD attributes = GetFileAttributesW(target.c_str());
        const bool onlyTheFile = failure.Where == FileError::Stage::Create &&
                                 attributes != INVALID_FILE_ATTRIBUTES &&
                                 !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) &&
                                 !FolderTakesNewFiles(folder);
        if (!onlyTheFile)
            throw;
        RewriteDiskFile(target.wstring(), content);
        return Written::InPlace;
    }
}

} // namespace qdl::platform
