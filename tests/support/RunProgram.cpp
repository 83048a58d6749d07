#include "RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace qdl::test {
namespace {

struct Pipe {
    Pipe() {
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    void CloseRead() { Close(ends[0]); }
    void CloseWrite() { Close(ends[1]); }
    static void Close(int& fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int ends[2] = {-1, -1};
};

std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& added) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!added.count(text.substr(0, text.find('='))))
            entries.push_back(text);
    }
    for (const auto& [name, value] : added)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& environment) {
    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.ends[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.ends[1], 2);
    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = EnvironmentWith(environment);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, arguments[0].c_str(), &actions, nullptr,
                                      Pointers(arguments).data(), Pointers(variables).data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(spawned));
    in.CloseRead();
    out.CloseWrite();
    err.CloseWrite();
    ::signal(SIGPIPE, SIG_IGN);

    ProgramResult result;
    std::size_t written = 0;
    if (input.empty())
        in.CloseWrite();
    while (out.ends[0] >= 0 || err.ends[0] >= 0) {
        pollfd entries[3] = {{out.ends[0], POLLIN, 0}, {err.ends[0], POLLIN, 0}, {in.ends[1], POLLOUT, 0}};
        ::poll(entries, 3, -1);
        auto drain = [](pollfd& entry, int& fd, std::string& text) {
            if (fd < 0 || entry.revents == 0)
                return;
            char buffer[4096];
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count > 0)
                text.append(buffer, static_cast<std::size_t>(count));
            else
                Pipe::Close(fd);
        };
        drain(entries[0], out.ends[0], result.Out);
        drain(entries[1], err.ends[0], result.Err);
        if (in.ends[1] >= 0 && entries[2].revents != 0) {
            const ssize_t count = ::write(in.ends[1], input.data() + written, input.size() - written);
            written += count > 0 ? static_cast<std::size_t>(count) : 0;
            if (count <= 0 || written == input.size())
                in.CloseWrite();
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace qdl::test
