#include "Wording.h"

#include "Failures.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

namespace qdl::cli {
namespace {

// "qdlctl schedule set" for the deepest command chosen.
std::string CommandPath(const CLI::App& app) {
    std::string path = app.get_name();
    for (const CLI::App* command = &app; !command->get_subcommands().empty();) {
        command = command->get_subcommands().front();
        path += " " + command->get_name();
    }
    return path;
}

} // namespace

void ThrowWorded(const CLI::ParseError& failure, const CLI::App& app) {
    const std::string message = failure.what();
    const std::string path = CommandPath(app);
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&failure)) {
        const std::string option = message.substr(0, message.find(':'));
        throw control::UsageError(Format("%s needs a value: see %s --help.", option.c_str(), path.c_str()));
    }
    if (dynamic_cast<const CLI::RequiredError*>(&failure) && app.get_subcommands().empty())
        throw control::UsageError(Format("%s needs a command: see %s --help.", path.c_str(), path.c_str()));
    throw control::UsageError(
        Format("The arguments cannot be read (%s): see %s --help.", message.c_str(), path.c_str()));
}

void RequireNoLeftovers(const CLI::App& app) {
    const std::vector<std::string> leftovers = app.remaining(true);
    if (leftovers.empty())
        return;
    const std::string& first = leftovers.front();
    const std::string path = CommandPath(app);
    if (first.rfind("-", 0) == 0 && first.size() > 1)
        throw control::UsageError(
            Format("'%s' is not an option of %s: see %s --help.", first.c_str(), path.c_str(), path.c_str()));
    if (app.get_subcommands().empty())
        throw control::UsageError(
            Format("'%s' is not a command of %s: see %s --help.", first.c_str(), path.c_str(), path.c_str()));
    throw control::UsageError(
        Format("'%s' is more than %s takes: see %s --help.", first.c_str(), path.c_str(), path.c_str()));
}

} // namespace qdl::cli
