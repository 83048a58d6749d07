#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace qdl::test {

// The real stand-in switch program (on a free loopback port unless `arguments` name one), stopped
// when this goes.
class StandInProcess {
public:
    explicit StandInProcess(const std::string& program,
                            std::vector<std::string> arguments = {"--port", "0"}) {
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(output[1]);
        // Its first line names the address it listens on.
        std::string line;
        char c = 0;
        while (spawned == 0 && line.find('\n') == std::string::npos && ::read(output[0], &c, 1) == 1)
            line += c;
        // Kept open: the switch logs each request there, and would die of a closed pipe.
        log_ = output[0];
        std::smatch match;
        if (!std::regex_search(line, match, std::regex("127\\.0\\.0\\.1:([0-9]+)/")))
            throw std::runtime_error("the stand-in switch did not start: " + line);
        port_ = std::stoi(match[1]);
    }
    ~StandInProcess() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        ::close(log_);
    }
    StandInProcess(const StandInProcess&) = delete;
    StandInProcess& operator=(const StandInProcess&) = delete;

    int Port() const { return port_; }

private:
    pid_t pid_ = 0;
    int port_ = 0;
    int log_ = -1;
};

} // namespace qdl::test
