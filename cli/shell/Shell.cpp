#include "Shell.h"

#include "Outlets.h"
#include "StopRequests.h"
#include "TextUtil.h"

#include <algorithm>
#include <optional>
#include <sstream>
#include <vector>

namespace qdl::cli {
namespace {

using namespace control;
namespace stops = platform::stops;

const char* const Prompt = "qdlctl> ";
// Longer than any command; what an engine or a person sends beyond it is no command of ours.
constexpr std::size_t LongestLine = 4096;
const char* const Commands = "status [N], on N, off N, cycle N (N: 1 to 4, or * for all), quit";

std::vector<int> OutletsNamed(const std::string& word) {
    if (word == "*")
        return {1, 2, 3, 4};
    if (word.size() == 1 && word[0] >= '1' && word[0] <= '4')
        return {word[0] - '0'};
    throw UsageError(word.empty() ? "Name an outlet, 1 to 4, or * for all four."
                                  : Format("'%s' is no outlet: name 1 to 4, or * for all four.",
                                           Printable(word, 40).c_str()));
}

class Shell {
public:
    // A change is in flight from its first write to its answer: a stop request before that write
    // ends the shell with nothing switched.
    Shell(const SwitchTarget& target, std::chrono::milliseconds offTime, std::ostream& out)
        : session_(target), offTime_(offTime), out_(out) {
        session_.BeforeEveryWrite([this] {
            if (!change_)
                change_.emplace();
        });
    }

    // False once the shell should end.
    bool Run(const std::string& line) {
        try {
            const ShellLine command = ParseShellLine(line);
            if (command.Command == "quit")
                return false;
            if (command.Command.empty())
                return true;
            Execute(command);
            out_ << "OK\n";
        } catch (const std::exception& failure) {
            // One line, every control byte escaped: an engine reads the answer line by line.
            std::string message = AsFailure(failure, session_.Target()).what();
            std::replace(message.begin(), message.end(), '\n', ' ');
            out_ << "ERROR: " << Printable(message) << '\n';
        }
        change_.reset();
        return true;
    }

private:
    void Execute(const ShellLine& command) {
        if (command.Command == "status") {
            const OutletStates states = ReadOutlets(session_);
            for (int outlet : command.Outlets)
                out_ << outlet << ": " << (states[static_cast<std::size_t>(outlet - 1)] ? "on" : "off")
                     << '\n';
            return;
        }
        if (command.Command == "cycle") {
            CycleOutlets(session_, command.Outlets, offTime_,
                         [](std::chrono::milliseconds time) { stops::WaitUnlessStopped(time); });
            return;
        }
        OutletChanges changes;
        for (int outlet : command.Outlets)
            changes[outlet] = command.Command == "on";
        ChangeOutlets(session_, changes);
    }

    SwitchSession session_;
    std::chrono::milliseconds offTime_;
    std::ostream& out_;
    std::optional<stops::ChangeScope> change_;
};

} // namespace

ShellLine ParseShellLine(const std::string& line) {
    std::istringstream words(line);
    std::string command, argument, extra;
    words >> command >> argument >> extra;
    if (command.empty() || command == "quit")
        return {command, {}};
    if (!extra.empty())
        throw UsageError(Format("'%s' is more than %s takes.", Printable(extra, 40).c_str(),
                                Printable(command, 40).c_str()));
    if (command == "status")
        return {command, argument.empty() ? OutletsNamed("*") : OutletsNamed(argument)};
    if (command != "on" && command != "off" && command != "cycle")
        throw UsageError(
            Format("'%s' is no command: the commands are %s.", Printable(command, 40).c_str(), Commands));
    return {command, OutletsNamed(argument)};
}

namespace {

enum class Read { Line, TooLong, End };

// One line without its end; a last line without a line end counts. A line longer than LongestLine
// is read to its end and dropped, so that nothing the peer sends can fill memory.
Read ReadLine(std::istream& in, std::string& line) {
    line.clear();
    std::streambuf& buffer = *in.rdbuf();
    bool tooLong = false;
    for (;;) {
        const int c = buffer.sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return tooLong ? Read::TooLong : line.empty() ? Read::End : Read::Line;
        }
        if (c == '\n')
            return tooLong ? Read::TooLong : Read::Line;
        if (line.size() < LongestLine)
            line += static_cast<char>(c);
        else
            tooLong = true;
    }
}

} // namespace

int RunShell(const SwitchTarget& target, std::chrono::milliseconds offTime, std::istream& in,
             std::ostream& out) {
    Shell shell(target, offTime, out);
    for (std::string line;;) {
        out << Prompt << std::flush;
        const Read read = ReadLine(in, line);
        if (read == Read::End)
            break;
        if (read == Read::TooLong)
            out << Format("ERROR: line too long: a command is at most %zu bytes.\n", LongestLine);
        else if (!shell.Run(Trim(line)))
            break;
        if (stops::Requested())
            return 128 + stops::Requested();
    }
    out << std::flush;
    return 0;
}

} // namespace qdl::cli
