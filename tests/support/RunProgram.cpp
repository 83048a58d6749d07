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

void Close(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

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

Program::Program(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                 const std::string& folder) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = EnvironmentWith(environment);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, arguments[0].c_str(), &actions, nullptr,
                                      Pointers(arguments).data(), Pointers(variables).data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1], out_ = out[0], err_ = err[0];
    if (spawned != 0) {
        Close(in_), Close(out_), Close(err_);
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(spawned));
    }
    pid_ = child;
    ::signal(SIGPIPE, SIG_IGN);
}

Program::~Program() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Close(in_), Close(out_), Close(err_);
}

void Program::Signal(int signal) {
    ::kill(pid_, signal);
}

// Reads from whichever of the two outputs has something; false once the wanted one is closed.
bool Program::ReadSome(bool wantError) {
    pollfd entries[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    ::poll(entries, 2, -1);
    auto drain = [](pollfd& entry, int& fd, std::string& text) {
        if (fd < 0 || entry.revents == 0)
            return;
        char buffer[4096];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0)
            text.append(buffer, static_cast<std::size_t>(count));
        else
            Close(fd);
    };
    drain(entries[0], out_, result_.Out);
    drain(entries[1], err_, result_.Err);
    return (wantError ? err_ : out_) >= 0;
}

bool Program::WaitFor(const std::string& text, bool onError) {
    const std::string& seen = onError ? result_.Err : result_.Out;
    while (seen.find(text) == std::string::npos)
        if (!ReadSome(onError))
            return seen.find(text) != std::string::npos;
    return true;
}

ProgramResult Program::Finish(const std::string& input) {
    std::size_t written = 0;
    while (in_ >= 0 && written < input.size()) {
        const ssize_t count = ::write(in_, input.data() + written, input.size() - written);
        if (count <= 0)
            break;
        written += static_cast<std::size_t>(count);
    }
    Close(in_);
    while (out_ >= 0 || err_ >= 0)
        ReadSome(out_ >= 0);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    result_.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result_;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input,
                         const std::map<std::string, std::string>& environment, const std::string& folder) {
    return Program(argv, environment, folder).Finish(input);
}

} // namespace qdl::test
