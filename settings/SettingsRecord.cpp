#include "SettingsRecord.h"

#include "FileLock.h"
#include "Files.h"
#include "IniU.h"
#include "Places.h"
#include "SettingsFile.h"
#include "TextUtil.h"

#include <filesystem>

namespace qdl {
namespace {

// How long a save waits for another window's save; far above the few milliseconds one takes.
constexpr std::chrono::seconds LockWait{5};

std::string FullPath(const std::string& fileName) {
    std::error_code ignored;
    return std::filesystem::absolute(std::filesystem::u8path(fileName), ignored)
        .lexically_normal()
        .u8string();
}

// FNV-1a of the path, as 16 hexadecimal digits: a name for the lock file that any path gets.
std::string PathDigest(std::string path) {
#ifdef _WIN32
    path = LowerCase(path); // one file, however its path is spelt
#endif
    std::uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : path) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    return Format("%016llx", static_cast<unsigned long long>(hash));
}

std::string Notice(const std::string& fileName) {
    return Format(
        "The settings file %s was saved by another window (or changed by another program) after this "
        "window read it. This window now saves its own settings into it: the other window's values "
        "in it are replaced.",
        FullPath(fileName).c_str());
}

} // namespace

SettingsRecord::SettingsRecord(std::string fileName, std::string section)
    : fileName_(std::move(fileName)), section_(std::move(section)) {}

std::string SettingsRecord::LockPathOf(const std::string& fileName) {
    return (std::filesystem::u8path(platform::SharedLockFolder()) /
            ("quadrel4816-settings-" + PathDigest(FullPath(fileName)) + ".lock"))
        .u8string();
}

// The settings file's lock, held by the caller until it goes; nothing where it was not had within
// the wait or there is no lock folder to use: a replacement is still one step, and Save's check
// still tells of a save that came first.
std::optional<platform::FileLock> SettingsRecord::Lock() const {
    try {
        auto lock =
            platform::FileLock::Acquire(LockPathOf(fileName_), platform::FileLock::Clock::now() + LockWait);
        if (lock)
            lock->Declare();
        return lock;
    } catch (const platform::FileLockError&) {
        return std::nullopt;
    }
}

void SettingsRecord::Load(const std::function<void()>& reading) {
    const auto lock = Lock();
    reading();
}

std::string SettingsRecord::Read(const std::string& key, const std::string& fallback) {
    const std::string value = IniReadString(fileName_, section_, key, fallback);
    stored_[key] = IniReadStored(fileName_, section_, key);
    return value;
}

void SettingsRecord::Remember(const std::map<std::string, std::string>& shown) {
    shown_ = shown;
    known_ = Seen();
    remembered_ = true;
}

// The bytes and the version of one and the same file: read again while another window replaces
// it in between, so that one save is never seen as two.
std::pair<std::optional<std::string>, std::optional<std::string>> SettingsRecord::Seen() const {
    std::optional<std::string> version = platform::FileVersion(fileName_);
    for (int attempt = 0;; ++attempt) {
        std::optional<std::string> bytes = ReadSettingsFile(fileName_);
        std::optional<std::string> after = platform::FileVersion(fileName_);
        if (after == version || attempt == 100)
            return {std::move(bytes), std::move(after)};
        version = std::move(after);
    }
}

// True when the file holds a value of this record that differs from what this window writes:
// another window's (or program's) value that the save would replace. A save of the very values
// this window writes loses nothing, and is not told.
bool SettingsRecord::ReplacesOthers(const std::vector<std::pair<std::string, std::string>>& texts) const {
    for (const auto& [key, text] : texts) {
        const auto there = IniReadText(fileName_, section_, key);
        if (there && *there != Trim(text))
            return true;
    }
    return false;
}

bool SettingsRecord::Save(const std::vector<std::pair<std::string, std::string>>& texts,
                          const std::function<void(const std::string&)>& tell) {
    // A window whose start could not read the file knows nothing to compare with: what is there
    // now is what it replaces.
    if (!remembered_)
        known_ = Seen();
    std::vector<IniEntry> entries;
    for (const auto& [key, text] : texts) {
        const auto shown = shown_.find(key);
        const auto stored = stored_.find(key);
        const bool unchanged = shown != shown_.end() && shown->second == text && stored != stored_.end();
        entries.push_back({key, text, unchanged ? stored->second : std::nullopt});
    }
    for (;;) {
        // The notice is given while no lock is held: the other window's save never waits for
        // this window's user.
        if (const auto now = Seen(); now != known_) {
            if (ReplacesOthers(texts))
                tell(Notice(fileName_));
            known_ = now;
        }
        const auto lock = Lock();
        // Saved by another window while this one's user read the notice: told again.
        if (Seen() != known_)
            continue;
        const bool inPlace = IniWriteRecord(fileName_, section_, entries);
        // Read back while the lock is held: only a program that takes no lock can have written
        // in between.
        for (const auto& [key, text] : texts)
            if (IniReadText(fileName_, section_, key) != Trim(text))
                throw std::runtime_error(Format("Another window wrote %s at the same moment: it holds that "
                                                "window's settings, not these.",
                                                fileName_.c_str()));
        known_ = Seen();
        return inPlace;
    }
}

} // namespace qdl
