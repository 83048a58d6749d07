// Two real windows, each in its own process, sharing one settings file: started together on no
// file they say nothing, and closed together with different values the one whose save replaced
// the other's says so, within a second, every time.
#include "RunProgram.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>

namespace qdl::test {
namespace {

const std::string Program = QT_WINDOW_PATH;
const std::map<std::string, std::string> Offscreen{{"QT_QPA_PLATFORM", "offscreen"}};

struct Closed {
    ProgramResult First, Second;
    std::chrono::steady_clock::duration Took;
};

// Both windows opened on the folder, then closed at the same moment.
Closed OpenAndCloseTogether(const TempFolder& folder, const std::string& firstPort,
                            const std::string& secondPort) {
    test::Program first({Program, firstPort}, Offscreen, folder.Path().string());
    test::Program second({Program, secondPort}, Offscreen, folder.Path().string());
    EXPECT_TRUE(first.WaitForOutput("ready") && second.WaitForOutput("ready"));
    const auto start = std::chrono::steady_clock::now();
    auto closing = std::async(std::launch::async, [&] { return second.Finish("close\n"); });
    Closed closed;
    closed.First = first.Finish("close\n");
    closed.Second = closing.get();
    closed.Took = std::chrono::steady_clock::now() - start;
    return closed;
}

std::size_t Boxes(const ProgramResult& window) {
    std::size_t count = 0;
    for (auto at = window.Out.find("box: "); at != std::string::npos; at = window.Out.find("box: ", at + 1))
        ++count;
    return count;
}

TEST(WindowProcessesTest, TwoWindowsStartedTogetherOnNoFileSayNothing) {
    TempFolder folder;
    for (int round = 0; round < 10; ++round) {
        std::filesystem::remove(folder.File("QDL4816.ini"));
        const Closed closed = OpenAndCloseTogether(folder, "-", "-");
        EXPECT_EQ(closed.First.ExitCode, 0) << closed.First.Err;
        EXPECT_EQ(Boxes(closed.First) + Boxes(closed.Second), 0u) << "round " << round << ":\n"
                                                                  << closed.First.Out << closed.Second.Out;
        EXPECT_NE(ReadBytes(folder.File("QDL4816.ini")).find("Port=80\r\n"), std::string::npos);
    }
}

TEST(WindowProcessesTest, TwoWindowsClosedTogetherWithOtherValuesTellWhoseWereReplaced) {
    TempFolder folder;
    for (int round = 0; round < 10; ++round) {
        std::filesystem::remove(folder.File("QDL4816.ini"));
        const Closed closed = OpenAndCloseTogether(folder, "8081", "8082");
        const std::string settings = ReadBytes(folder.File("QDL4816.ini"));
        const bool firstStayed = settings.find("Port=8081\r\n") != std::string::npos;
        ASSERT_TRUE(firstStayed || settings.find("Port=8082\r\n") != std::string::npos) << settings;
        const ProgramResult& stayed = firstStayed ? closed.First : closed.Second;
        const ProgramResult& replaced = firstStayed ? closed.Second : closed.First;
        EXPECT_EQ(Boxes(stayed), 1u) << "round " << round << ": " << stayed.Out;
        EXPECT_NE(stayed.Out.find("was saved by another window"), std::string::npos) << stayed.Out;
        EXPECT_EQ(Boxes(replaced), 0u) << "round " << round << ": " << replaced.Out;
        EXPECT_LT(closed.Took, std::chrono::seconds(1)) << "round " << round;
    }
}

} // namespace
} // namespace qdl::test
