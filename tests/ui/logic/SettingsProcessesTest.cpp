// Windows of their own processes sharing one settings file: two closing at the same moment, and
// a folder that takes no new files.
#include "RunProgram.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>

namespace qdl::test {
namespace {

const std::string Program = SETTINGS_WINDOW_PATH;

std::string Record(const std::string& address) {
    return "[QDL4816]\r\nIPV4=" + address + "\r\nPort=80\r\nUserName=admin\r\nPass=40617253\r\n\r\n";
}

// Twenty rounds: each time one whole record stays, and the window whose save came second (whose
// record stays) told its user that it replaced the other's; the other said nothing.
TEST(SettingsProcessesTest, TwoWindowProcessesClosingTogetherLeaveOneRecordAndTheSecondSaysSo) {
    TempFolder folder;
    const std::string path = folder.File("QDL4816.ini");
    for (int round = 0; round < 20; ++round) {
        WriteBytes(path, Record("127.0.0.9"));
        test::Program first({Program, "127.0.0.1"}, {}, folder.Path().string());
        test::Program second({Program, "127.0.0.2"}, {}, folder.Path().string());
        ASSERT_TRUE(first.WaitForOutput("ready") && second.WaitForOutput("ready"));
        auto closing = std::async(std::launch::async, [&] { return second.Finish("go\n"); });
        const ProgramResult one = first.Finish("go\n");
        const ProgramResult two = closing.get();
        ASSERT_EQ(one.ExitCode, 0) << one.Err;
        ASSERT_EQ(two.ExitCode, 0) << two.Err;
        const std::string settings = ReadBytes(path);
        ASSERT_TRUE(settings == Record("127.0.0.1") || settings == Record("127.0.0.2")) << settings;
        const ProgramResult& stayed = settings == Record("127.0.0.1") ? one : two;
        const ProgramResult& replaced = settings == Record("127.0.0.1") ? two : one;
        EXPECT_NE(stayed.Out.find("box: The settings file " + path + " was saved by another window"),
                  std::string::npos)
            << "round " << round << ": " << stayed.Out;
        EXPECT_EQ(replaced.Out.find("box:"), std::string::npos) << "round " << round << ": " << replaced.Out;
    }
}

// Ten rounds of two windows started at once on no file, closing with the factory values both
// hold: nothing is lost, and neither says a word.
TEST(SettingsProcessesTest, TwoWindowProcessesStartedTogetherOnNoFileSayNothing) {
    TempFolder folder;
    const std::string path = folder.File("QDL4816.ini");
    for (int round = 0; round < 10; ++round) {
        std::filesystem::remove(path);
        test::Program first({Program, "-"}, {}, folder.Path().string());
        test::Program second({Program, "-"}, {}, folder.Path().string());
        ASSERT_TRUE(first.WaitForOutput("ready") && second.WaitForOutput("ready"));
        auto closing = std::async(std::launch::async, [&] { return second.Finish("go\n"); });
        const ProgramResult one = first.Finish("go\n");
        const ProgramResult two = closing.get();
        EXPECT_EQ(one.Out.find("box:"), std::string::npos) << "round " << round << ": " << one.Out;
        EXPECT_EQ(two.Out.find("box:"), std::string::npos) << "round " << round << ": " << two.Out;
    }
}

// A folder whose rights let no new file be made, while the settings file itself may be written:
// the file is written where it stands, and the window says nothing was lost. As the superuser
// the window runs as nobody, whom the folder's rights bind.
TEST(SettingsProcessesTest, AFolderThatTakesNoNewFilesGetsTheFileWrittenInPlace) {
    TempFolder folder;
    const std::string inner = folder.File("settings");
    ::mkdir(inner.c_str(), 0755);
    const std::string path = inner + "/QDL4816.ini";
    WriteBytes(path, Record("127.0.0.9"));
    ::chmod(path.c_str(), 0600);
    std::vector<std::string> argv{Program, "10.0.0.1"};
    if (::geteuid() == 0) {
        // Nobody may not reach the build folder: the window runs from a copy in the open folder.
        const std::string copy = folder.File("qdl-settings-window");
        std::filesystem::copy_file(Program, copy);
        ::chmod(copy.c_str(), 0755);
        argv[0] = copy;
        ASSERT_EQ(::chown(inner.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    ::chmod(inner.c_str(), 0555);
    test::Program window(argv, {}, inner);
    ASSERT_TRUE(window.WaitForOutput("ready"));
    const ProgramResult result = window.Finish("go\n");
    ::chmod(inner.c_str(), 0755);
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(ReadBytes(path), Record("10.0.0.1"));
    EXPECT_NE(
        result.Out.find("box: QDL4816.ini was written where it stands: its folder lets no new file be made"),
        std::string::npos)
        << result.Out;
    EXPECT_NE(result.Out.find("Nothing was lost"), std::string::npos) << result.Out;
}

} // namespace
} // namespace qdl::test
