#pragma once

#include "RunProgram.h"
#include "ScriptedSwitch.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qdl::test {

inline const std::string Auth = "YWRtaW46NDA2MTcyNTM=";

inline std::string Reply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

inline std::string Request(const std::string& command, const std::string& authorization = Auth) {
    return ExpectedRequest("/Set.cmd?CMD=" + command, "127.0.0.1", authorization);
}

// The command of a recorded request: what follows "CMD=" on its first line.
inline std::string CommandOf(const std::string& request) {
    const auto start = request.find("CMD=") + 4;
    return request.substr(start, request.find(' ', start) - start);
}

inline const std::string P1001 = "<html>P60=1,P61=0,P62=0,P63=1</html>",
                         P0000 = "<html>P60=0,P61=0,P62=0,P63=0</html>",
                         P0100 = "<html>P60=0,P61=1,P62=0,P63=0</html>",
                         P1111 = "<html>P60=1,P61=1,P62=1,P63=1</html>";

inline std::vector<std::string> With(std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

// qdlctl and the fence agent run in a fresh folder (so no settings file of the machine is read)
// with a home of their own, against a scripted switch.
class CliTest : public testing::Test {
protected:
    ProgramResult Run(const std::string& program, std::vector<std::string> arguments,
                      std::map<std::string, std::string> environment = {}) {
        arguments.insert(arguments.begin(), program);
        environment.emplace("HOME", folder.Path().string());
        environment.emplace("XDG_CONFIG_HOME", "");
        return RunProgram(arguments, input, environment, folder.Path().string());
    }
    ProgramResult Qdlctl(std::vector<std::string> arguments,
                         std::map<std::string, std::string> environment = {}) {
        return Run(QDLCTL_PATH, std::move(arguments), std::move(environment));
    }
    ProgramResult Fence(std::vector<std::string> arguments,
                        std::map<std::string, std::string> environment = {}) {
        return Run(FENCE_PATH, std::move(arguments), std::move(environment));
    }
    // The scripted switch's address as qdlctl options.
    std::vector<std::string> At(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--host", "127.0.0.1", "--port", Port()});
        return arguments;
    }
    std::string Port() const { return std::to_string(device.Port()); }
    std::vector<std::string> Commands() const {
        std::vector<std::string> commands;
        for (const auto& request : device.Requests())
            commands.push_back(CommandOf(request));
        return commands;
    }
    std::string File(const std::string& name) const { return folder.File(name); }

    ScriptedSwitch device;
    std::string input;
    TempFolder folder;
};

} // namespace qdl::test
