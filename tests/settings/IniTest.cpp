#include "FailureOf.h"
#include "IniU.h"
#include "SettingsFile.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

#include <algorithm>
#include <functional>

namespace qdl::test {
namespace {

namespace fs = std::filesystem;

class IniTest : public testing::Test {
protected:
    std::size_t FilesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()));
    }

    TempFolder folder;
    std::string file = folder.File("Switch.ini");
};

TEST_F(IniTest, FirstRunWritesTheDefaultsInTheKnownLayout) {
    EXPECT_TRUE(IniInit(file));
    EXPECT_EQ(ReadBytes(file), "");
#ifndef _WIN32
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
#endif

    EXPECT_EQ(IniReadString(file, "Switch", "IPV4", "192.168.10.100"), "192.168.10.100");
    EXPECT_EQ(IniReadString(file, "Switch", "Port", "80"), "80");
    EXPECT_EQ(IniReadString(file, "Switch", "UserName", "admin"), "admin");
    EXPECT_EQ(IniReadString(file, "Switch", "Pass", "40617253"), "40617253");
    EXPECT_EQ(ReadBytes(file),
              "[Switch]\r\nIPV4=192.168.10.100\r\nPort=80\r\nUserName=admin\r\nPass=40617253\r\n\r\n");
    EXPECT_EQ(IniReadString(file, "Switch", "Port", "8080"), "80") << "a stored value wins over the default";
}

TEST_F(IniTest, InitLeavesAnExistingFileAlone) {
    WriteBytes(file, "; mine\n[A]\nx=1\n");
    EXPECT_TRUE(IniInit(file));
    EXPECT_EQ(ReadBytes(file), "; mine\n[A]\nx=1\n");
}

TEST_F(IniTest, ReadsNamesWithoutRegardToCaseAndTrimmed) {
    const std::string content = "[switch]\r\n  ipv4 = 10.0.0.9  \r\n";
    WriteBytes(file, content);
    EXPECT_TRUE(IniValueExists(file, "Switch", "IPV4"));
    EXPECT_EQ(IniReadString(file, "Switch", "IPV4", "default"), "10.0.0.9");
    EXPECT_EQ(ReadBytes(file), content) << "reading a present key writes nothing";
    EXPECT_FALSE(IniValueExists(file, "Switch", "Port"));
    EXPECT_FALSE(IniValueExists(file, "Other", "IPV4"));
}

TEST_F(IniTest, EmptyValueIsReturnedAndNoDefaultWritten) {
    WriteBytes(file, "[Switch]\nPass=\n");
    EXPECT_EQ(IniReadString(file, "Switch", "Pass", "40617253"), "");
    EXPECT_EQ(ReadBytes(file), "[Switch]\nPass=\n");
}

TEST_F(IniTest, RewritesTheWholeFileInItsOwnLayout) {
    struct Row {
        const char* Name;
        std::string Before;
        std::string Section, Key, Value;
        std::string After;
    };
    const Row rows[] = {
        {"ValueWithEquals", "", "S", "Pass", "a=b=c", "[S]\r\nPass=a=b=c\r\n\r\n"},
        {"CommentsAndStrayLinesDropped", "junk\n; note\n[S]\n; inner\n\nk=1\nflag\n", "S", "n", "2",
         "[S]\r\nk=1\r\nflag\r\nn=2\r\n\r\n"},
        {"ReplacedInPlace", "[S]\nA=1\nB=2\n", "s", "a", "9", "[S]\r\na=9\r\nB=2\r\n\r\n"},
        {"NewSectionAtTheEnd", "[A]\r\nx=1\r\n", "B", "y", "2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\r\n"},
        {"LastDuplicateSectionWritten", "[S]\nk=1\n[T]\n[s]\nk=2\n", "S", "k", "3",
         "[S]\r\nk=1\r\n\r\n[T]\r\n\r\n[s]\r\nk=3\r\n\r\n"},
        {"LastDuplicateEntryReplaced", "[S]\nk=1\nk=2\n", "S", "K", "3", "[S]\r\nk=1\r\nK=3\r\n\r\n"},
        {"OldMacLineEnds", "[S]\rk=1\r", "S", "j", "2", "[S]\r\nk=1\r\nj=2\r\n\r\n"},
        {"ValueKeptByteForByte", "", "S", "Pass", "p ;x=#", "[S]\r\nPass=p ;x=#\r\n\r\n"},
    };
    for (const Row& row : rows) {
        WriteBytes(file, row.Before);
        EXPECT_TRUE(IniWriteString(file, row.Section, row.Key, row.Value));
        EXPECT_EQ(ReadBytes(file), row.After) << row.Name;
        EXPECT_EQ(IniReadString(file, row.Section, row.Key, "default"), row.Value) << row.Name;
    }
}

TEST_F(IniTest, ReadsTheLastOfDuplicateSectionsAndEntries) {
    WriteBytes(file, "[S]\nk=1\n[S]\nk=2\nk=3\n");
    EXPECT_EQ(IniReadString(file, "S", "k", ""), "3");
}

TEST_F(IniTest, ANameNearTheFileSystemLimitStillWorks) {
    const std::string longName = folder.File(std::string(251, 'n') + ".ini");
    EXPECT_EQ(IniReadString(longName, "S", "k", "d"), "d");
    EXPECT_EQ(ReadBytes(longName), "[S]\r\nk=d\r\n\r\n");
    EXPECT_EQ(FilesInFolder(), 1u);
}

TEST_F(IniTest, RelativeNamesAreReportedWithTheirFullPath) {
    const fs::path saved = fs::current_path();
    fs::current_path(folder.Path());
    fs::create_directory("sub.ini");
    fs::create_directory("x");
    const std::string message = FailureOf([] { IniWriteString("./x/../sub.ini", "S", "k", "v"); });
    fs::current_path(saved);
    const std::string start =
        "ファイル \"" + fs::path(folder.File("sub.ini")).lexically_normal().string() + "\". ";
    const std::string end = " を作成できません";
    EXPECT_EQ(message.substr(0, start.size()), start);
    EXPECT_EQ(message.substr(message.size() - std::min(message.size(), end.size())), end);
}

#ifdef _WIN32
// A file marked read-only is not replaced: the write fails and the old content stays.
TEST_F(IniTest, AFileThatCannotBeReplacedKeepsItsContent) {
    WriteBytes(file, "[S]\nk=1\n");
    SetFileAttributesW(fs::path(file).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(FailureOf([&] { IniWriteString(file, "S", "k", "2"); }).find("を作成できません"),
              std::string::npos);
    SetFileAttributesW(fs::path(file).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(file), "[S]\nk=1\n");
    EXPECT_EQ(FilesInFolder(), 1u) << "no temporary file left behind";
}
#else
TEST_F(IniTest, RewriteLeavesTheFileToItsOwnerAlone) {
    WriteBytes(file, "[S]\nk=1\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    IniWriteString(file, "S", "k", "2");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniTest, WritesThroughASymbolicLink) {
    const std::string real = folder.File("real.ini");
    WriteBytes(real, "[S]\nk=1\n");
    fs::create_symlink(real, file);
    IniWriteString(file, "S", "k", "2");
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(ReadBytes(real), "[S]\r\nk=2\r\n\r\n");
}

TEST_F(IniTest, ALinkToAFileNotYetThereCreatesItAndStays) {
    fs::create_directory(folder.File("conf"));
    fs::create_symlink("conf/real.ini", file);
    EXPECT_EQ(IniReadString(file, "S", "k", "d"), "d");
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(ReadBytes(folder.File("conf/real.ini")), "[S]\r\nk=d\r\n\r\n");
}

// A folder that takes no new files while its settings file may be written: the file is written
// where it stands, as the designed program always wrote it, and nothing else appears there.
// Anything else that cannot be written fails, and the file stays as it was.
TEST_F(IniTest, UnwritableFilesFailWithTheCreateMessageAndStayUnchanged) {
    const std::string readOnly = folder.File("ro.ini");
    WriteBytes(readOnly, "[S]\nk=1\n");
    fs::permissions(readOnly, fs::perms::owner_read);

    const std::string lockedFolder = folder.File("locked");
    fs::create_directory(lockedFolder);
    const std::string inLockedFolder = lockedFolder + "/in.ini";
    WriteBytes(inLockedFolder, "[S]\nk=1\n");
    fs::permissions(lockedFolder, fs::perms::owner_read | fs::perms::owner_exec);

    const std::string isFolder = folder.File("folder.ini");
    fs::create_directory(isFolder);

    struct Row {
        std::string Path, Reason;
    };
    const Row rows[] = {{readOnly, "Permission denied"},
                        {isFolder, "Is a directory"},
                        {folder.File("missing/x.ini"), "No such file or directory"}};
    for (const Row& row : rows) {
        const std::string before = ReadBytes(row.Path);
        EXPECT_EQ(FailureOf([&] { IniWriteString(row.Path, "S", "k", "2"); }),
                  "ファイル \"" + row.Path + "\". " + row.Reason + " を作成できません");
        EXPECT_EQ(ReadBytes(row.Path), before);
    }
    EXPECT_EQ(FailureOf([&] { IniWriteString(inLockedFolder, "S", "k", "2"); }), "no failure");
    EXPECT_EQ(ReadBytes(inLockedFolder), "[S]\r\nk=2\r\n\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(lockedFolder), fs::directory_iterator()), 1);
    EXPECT_EQ(FailureOf([&] { IniReadString(isFolder, "S", "k", "d"); }),
              "ファイル \"" + isFolder + "\". Is a directory を作成できません")
        << "a folder is no settings file: its default cannot be written";
    fs::permissions(lockedFolder, fs::perms::owner_all);
    EXPECT_EQ(FilesInFolder(), 3u) << "no temporary file left behind";
}

// What editors save is read as the text it is and written back in the same encoding.
struct EncodingCase {
    const char* Name;
    std::string Bytes;   // the file as an editor saved it
    std::string Written; // after Pass is written as "新しい"
};

std::string Utf16(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii)
        bytes += std::string{c, '\0'};
    return bytes;
}

class EncodingTest : public IniTest, public testing::WithParamInterface<EncodingCase> {};

TEST_P(EncodingTest, ReadsTheTextAndWritesItBackInTheSameEncoding) {
    WriteBytes(file, GetParam().Bytes);
    EXPECT_EQ(IniReadString(file, "Switch", "UserName", "none"), "山田");
    EXPECT_EQ(IniReadString(file, "Switch", "IPV4", "none"), "10.0.0.9");
    IniWriteString(file, "Switch", "Pass", "新しい");
    EXPECT_EQ(ReadBytes(file), GetParam().Written);
    EXPECT_EQ(IniReadString(file, "Switch", "Pass", "none"), "新しい");
}

INSTANTIATE_TEST_SUITE_P(
    Editors, EncodingTest,
    testing::Values(
        EncodingCase{"Utf8WithByteOrderMark", "\xEF\xBB\xBF[Switch]\r\nIPV4=10.0.0.9\r\nUserName=山田\r\n",
                     "\xEF\xBB\xBF[Switch]\r\nIPV4=10.0.0.9\r\nUserName=山田\r\nPass=新しい\r\n\r\n"},
        // "Unicode" as Notepad saves it: UTF-16 little-endian, 山田 as 5C 71 30 75, 新しい as
        // B0 65 57 30 44 30
        EncodingCase{"Utf16LittleEndian",
                     Utf16("[Switch]\r\nIPV4=10.0.0.9\r\nUserName=") + std::string("\x71\x5C\x30\x75", 4) +
                         Utf16("\r\n").substr(2),
                     Utf16("[Switch]\r\nIPV4=10.0.0.9\r\nUserName=") + std::string("\x71\x5C\x30\x75", 4) +
                         Utf16("\r\nPass=").substr(2) + std::string("\xB0\x65\x57\x30\x44\x30", 6) +
                         Utf16("\r\n\r\n").substr(2)}),
    [](const testing::TestParamInfo<EncodingCase>& info) { return info.param.Name; });

// A file the program cannot read is said to be so and never replaced by defaults.
TEST_F(IniTest, AFileThatCannotBeReadIsNeverOverwritten) {
    const struct {
        const char* Name;
        std::string Bytes;
        std::string Reason;
    } rows[] = {
        {"BigEndian", std::string("\xFE\xFF\0[\0S", 6),
         "it is UTF-16 big-endian text, which this program does not read"},
        {"NoMark", std::string("[\0S\0]\0", 6),
         "it holds NUL bytes: it is no text in the system's code page (UTF-16 without a byte-order mark?)"},
        {"BrokenUtf16", std::string("\xFF\xFE\x00\xD8[\0", 6), "it is UTF-16 text with a broken character"},
        {"BrokenUtf8", "\xEF\xBB\xBF[S]\r\nk=\xFF\r\n",
         "it is marked as UTF-8 but holds bytes that are no UTF-8"},
        {"TooLarge", std::string((1 << 20) + 1, '\n'),
         "it holds more than 1 MiB, far more than such a file does"},
    };
    for (const auto& row : rows) {
        WriteBytes(file, row.Bytes);
        EXPECT_EQ(FailureOf([&] { IniReadString(file, "S", "k", "d"); }),
                  "ファイル \"" + file + "\". " + row.Reason + " は開けません")
            << row.Name;
        EXPECT_THROW(IniWriteString(file, "S", "k", "v"), UnreadableSettingsFile) << row.Name;
        EXPECT_EQ(ReadBytes(file), row.Bytes) << row.Name;
    }
}

// A text the system's code page cannot hold is never cut to "?": the file becomes UTF-8 with a
// byte-order mark (on POSIX systems, whose code page is UTF-8, it stays as it is).
TEST_F(IniTest, TextTheCodePageCannotHoldIsWrittenWhole) {
    WriteBytes(file, "[Switch]\r\nIPV4=10.0.0.9\r\n");
    IniWriteString(file, "Switch", "UserName", "한국😀");
#ifdef _WIN32
    EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF[Switch]\r\nIPV4=10.0.0.9\r\nUserName=한국😀\r\n\r\n");
#else
    EXPECT_EQ(ReadBytes(file), "[Switch]\r\nIPV4=10.0.0.9\r\nUserName=한국😀\r\n\r\n");
#endif
    EXPECT_EQ(IniReadString(file, "Switch", "UserName", ""), "한국😀");
}

TEST_F(IniTest, UnreadableFileFailsWithTheOpenMessage) {
    fs::create_symlink("loop.ini", folder.File("loop.ini"));
    const std::string loop = folder.File("loop.ini");
    EXPECT_EQ(FailureOf([&] { IniReadString(loop, "S", "k", "d"); }),
              "ファイル \"" + loop + "\". Too many levels of symbolic links は開けません");
}

// Lets no file grow past `bytes` while it lives, the way a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(IniTest, AFailedWriteLeavesTheOldFileWhole) {
    const std::string old = "[Switch]\r\nIPV4=10.0.0.9\r\nPass=secret\r\n\r\n";
    WriteBytes(file, old);
    std::string message;
    {
        FileSizeLimit limit(old.size());
        message = FailureOf([&] { IniWriteString(file, "Switch", "Pass", std::string(200, 'x')); });
    }
    EXPECT_EQ(message, "ストリームへの書き込みエラー");
    EXPECT_EQ(ReadBytes(file), old);
    EXPECT_EQ(FilesInFolder(), 1u) << "the temporary file is removed";
}

#endif

} // namespace
} // namespace qdl::test
