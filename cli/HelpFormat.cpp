#include "HelpFormat.h"

#include "TextUtil.h"

namespace qdl::cli {

HelpFormat::HelpFormat() {
    label("Subcommands", "Commands");
    label("SUBCOMMAND", "COMMAND");
    label("Positionals", "Arguments");
    column_width(26);
}

std::string HelpFormat::make_usage(const CLI::App* app, std::string name) const {
    const auto found = usages_.find(app);
    if (found == usages_.end())
        return CLI::Formatter::make_usage(app, std::move(name));
    return "Usage: " + found->second + "\n";
}

std::string ShortUsage(const CLI::App& app) {
    std::string text = "Usage: " + app.get_name() + " [OPTIONS] COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const CLI::App* command : app.get_subcommands({}))
        text += Format("  %-10s%s\n", command->get_name().c_str(), command->get_description().c_str());
    return text + "\nSee " + app.get_name() +
           " --help for the options, the settings file and the exit codes, and " + app.get_name() +
           " COMMAND --help for one command.\n";
}

} // namespace qdl::cli
