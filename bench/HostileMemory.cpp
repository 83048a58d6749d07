// How much memory one command takes above the program's idle size while a switch misbehaves.
// Each case runs in a fresh process (this program started again with the case's name), so the
// peak resident size of one case does not hide the next one's.
#include "QDLHttpU.h"
#include "ScriptedSwitch.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using qdl::test::ScriptedSwitch;
using Then = ScriptedSwitch::Then;

struct Case {
    const char* Name;
    ScriptedSwitch::Answer Answer;
};

const std::string Ok = "HTTP/1.1 200 OK\r\n";

std::string LongHeaders() {
    std::string lines;
    for (int i = 0; i < 250; ++i)
        lines += "X-Pad: " + std::string(250, 'x') + "\r\n";
    return lines;
}

std::vector<Case> Cases() {
    const std::string commas = "<html>" + std::string(16000, ',') + "</html>";
    const std::string blanks = "<html>" + std::string(8000, ' ') + "</html>";
    return {
        {"endless header lines", ScriptedSwitch::Endless(Ok, "X-Pad: 0123456789\r\n")},
        {"endless long header lines",
         ScriptedSwitch::Endless(Ok, "X-Pad: " + std::string(16000, 'x') + "\r\n")},
        {"headers up to both caps", {Ok + LongHeaders() + "Content-Length: 18\r\n\r\n<html>P60=1</html>"}},
        {"thousands of cookies",
         ScriptedSwitch::Endless(Ok, "Set-Cookie: id=" + std::string(4000, 'c') + "\r\n")},
        {"streamed 100 Continue", ScriptedSwitch::Endless("", "HTTP/1.1 100 Continue\r\n\r\n")},
        {"dribbled body", ScriptedSwitch::Endless(Ok + "\r\n<html>", "x", 5ms)},
        {"huge Content-Length, then a stall", {Ok + "Content-Length: 99999999999\r\n\r\n", Then::Hold}},
        {"endless chunks", ScriptedSwitch::Endless(Ok + "Transfer-Encoding: chunked\r\n\r\n",
                                                   "1000\r\n" + std::string(4096, 'x') + "\r\n")},
        {"endless error body", ScriptedSwitch::Endless("HTTP/1.1 500 Oops\r\n\r\n", std::string(65536, 'x'))},
        {"endless body until close", ScriptedSwitch::Endless(Ok + "\r\n", std::string(65536, 'x'))},
        {"body of commas at the cap",
         {Ok + "Content-Length: " + std::to_string(commas.size()) + "\r\n\r\n" + commas}},
        {"body of blanks and markers", {Ok + "\r\n" + blanks}},
    };
}

long PeakKibibytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One case, in this process: the growth of the peak resident size over an ordinary command.
int RunCase(const Case& row) {
    ScriptedSwitch device;
    device.ReplyBody("<html>P60=1,P61=0,P62=0,P63=1</html>");
    device.Script(row.Answer);
    qdl::HttpClient http;
    qdl::ReplyList reply;
    qdl::GetPower(http, "127.0.0.1", device.Port(), "admin", "40617253", reply);
    const long idle = PeakKibibytes();
    const auto started = std::chrono::steady_clock::now();
    std::string outcome = "returned";
    try {
        qdl::GetPower(http, "127.0.0.1", device.Port(), "admin", "40617253", reply);
    } catch (const std::runtime_error& failure) {
        outcome = failure.what();
    }
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    std::printf("%-36s %6ld KiB above idle  %5lld ms  %s\n", row.Name, PeakKibibytes() - idle,
                static_cast<long long>(took.count()), outcome.c_str());
    return PeakKibibytes() - idle < 2048 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const auto cases = Cases();
    if (argc == 2) {
        for (const Case& row : cases)
            if (std::strcmp(row.Name, argv[1]) == 0)
                return RunCase(row);
        return 2;
    }
    int over = 0;
    for (const Case& row : cases) {
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/proc/self/exe", argv[0], row.Name, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        over += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    }
    std::printf("%d of %zu cases over 2 MiB above idle\n", over, cases.size());
    return over == 0 ? 0 : 1;
}
