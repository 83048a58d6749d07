#include "Completion.h"

#include "Failures.h"
#include "TextUtil.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace qdl::cli {
namespace {

// What may stand at one place of the command line, told by the option's value text.
struct Values {
    bool Files = false;
    std::string Words; // blank-separated
};

Values ValuesFor(const std::string& valueText) {
    if (valueText.find("FILE") != std::string::npos)
        return {true, ""};
    if (valueText == "N...")
        return {false, "1 2 3 4"};
    if (valueText == "N=on|off...")
        return {false, "1=on 1=off 2=on 2=off 3=on 3=off 4=on 4=off"};
    if (valueText == "on|off")
        return {false, "on off"};
    if (valueText == "SLOT")
        return {false, "1A 1B 2A 2B 3A 3B 4A 4B"};
    if (valueText == "MODE")
        return {false, "disable once everyday weekdays weekend"};
    return {};
}

struct Option {
    std::string Name; // --long or -s
    std::string Description;
    bool TakesValue = false;
    Values Value;
};

// One command of the tree: its path ("" for the program, "schedule set" ...), what follows it.
struct Node {
    std::string Path;
    std::vector<std::pair<std::string, std::string>> Commands; // name, description
    std::vector<Option> Options;
    Values Arguments;
};

bool Has(const Node& node, const std::string& name) {
    return std::any_of(node.Options.begin(), node.Options.end(),
                       [&](const Option& o) { return o.Name == name; });
}

void Collect(const CLI::App& app, const std::string& path, std::vector<Node>& nodes) {
    Node node;
    node.Path = path;
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty())
            continue; // hidden
        if (option->get_positional()) {
            node.Arguments = ValuesFor(option->get_option_text());
            continue;
        }
        const bool takesValue = option->get_items_expected_max() > 0;
        std::vector<std::string> names;
        for (const auto& name : option->get_lnames())
            names.push_back("--" + name);
        for (const auto& name : option->get_snames())
            names.push_back("-" + name);
        // The program's own options (help among them) are offered everywhere already.
        for (const auto& name : names)
            if (nodes.empty() || !Has(nodes.front(), name))
                node.Options.push_back(
                    {name, option->get_description(), takesValue, ValuesFor(option->get_option_text())});
    }
    std::vector<const CLI::App*> commands = app.get_subcommands({});
    for (const CLI::App* command : commands)
        node.Commands.emplace_back(command->get_name(), command->get_description());
    nodes.push_back(node);
    for (const CLI::App* command : commands)
        Collect(*command, path.empty() ? command->get_name() : path + " " + command->get_name(), nodes);
}

std::string Join(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::vector<std::string> CommandNames(const Node& node) {
    std::vector<std::string> names;
    for (const auto& command : node.Commands)
        names.push_back(command.first);
    return names;
}

std::vector<std::string> OptionNames(const Node& node) {
    std::vector<std::string> names;
    for (const auto& option : node.Options)
        names.push_back(option.Name);
    return names;
}

// Single quotes for a shell word; descriptions hold no single quotes of their own but "'".
std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Options of the program itself stand anywhere, as the parser lets them fall through.
std::vector<Option> ValueOptions(const std::vector<Node>& nodes) {
    std::vector<Option> options;
    for (const Node& node : nodes)
        for (const Option& option : node.Options)
            if (option.TakesValue && std::none_of(options.begin(), options.end(),
                                                  [&](const Option& o) { return o.Name == option.Name; }))
                options.push_back(option);
    return options;
}

// The shell function that walks the words before the cursor to the command they name.
std::string PathCase(const std::vector<Node>& nodes, const char* subcommandTest) {
    std::string text;
    for (const Node& node : nodes)
        for (const auto& command : node.Commands)
            text += Format(subcommandTest, node.Path.c_str(), command.first.c_str(),
                           (node.Path.empty() ? command.first : node.Path + " " + command.first).c_str());
    return text;
}

std::string AgentWords(const std::vector<AgentOption>& agent) {
    std::vector<std::string> names;
    for (const AgentOption& option : agent)
        names.insert(names.end(), option.Names.begin(), option.Names.end());
    return Join(names);
}

std::string Bash(const std::vector<Node>& nodes, const std::vector<AgentOption>& agent) {
    const Node& root = nodes.front();
    std::string script =
        "# bash completion for qdlctl, the plugin check_qdl4816 and the fence agent fence_qdl4816, made\n"
        "# from their own definitions.\n"
        "# File names, each one word however many blanks it holds.\n"
        "_qdlctl_files() {\n"
        "    compopt -o filenames 2>/dev/null\n"
        "    local IFS=$'\\n'\n"
        "    COMPREPLY+=($(compgen -f -- \"$1\"))\n"
        "}\n"
        "# The words of $1 that no word before the cursor names already (N=on and N=off name outlet N).\n"
        "_qdlctl_unnamed() {\n"
        "    local candidate word\n"
        "    for candidate in $1; do\n"
        "        for word in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
        "            [[ $word == \"$candidate\" || $word == \"${candidate%%=*}=\"* ]] && continue 2\n"
        "        done\n"
        "        printf '%s ' \"$candidate\"\n"
        "    done\n"
        "}\n"
        "_qdlctl() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} path='' word i\n"
        "    # The monitoring plugin is qdlctl check.\n"
        "    [[ ${COMP_WORDS[0]##*/} == check_* ]] && path=check\n"
        "    case $prev in\n";
    for (const Option& option : ValueOptions(nodes)) {
        const std::string action =
            option.Value.Files ? "_qdlctl_files \"$cur\""
            : option.Value.Words.empty()
                ? "COMPREPLY=()"
                : "COMPREPLY=($(compgen -W " + Quoted(option.Value.Words) + " -- \"$cur\"))";
        script += "    " + option.Name + ") " + action + "; return ;;\n";
    }
    script += "    esac\n"
              "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
              "        word=${COMP_WORDS[i]}\n"
              "        case \"$path/$word\" in\n";
    script += PathCase(nodes, "        '%s/%s') path='%s' ;;\n");
    script += "        esac\n"
              "    done\n"
              "    local words='" +
              Join(OptionNames(root)) +
              "'\n"
              "    case $path in\n";
    for (const Node& node : nodes) {
        std::vector<std::string> words = CommandNames(node);
        if (!node.Path.empty())
            for (const auto& name : OptionNames(node))
                words.push_back(name);
        std::string line = "    '" + node.Path + "') words+=' " + Join(words) + "'";
        if (!node.Arguments.Words.empty())
            line += "; words+=\" $(_qdlctl_unnamed " + Quoted(node.Arguments.Words) + ")\"";
        if (node.Arguments.Files)
            line += "; [[ $cur != -* ]] && _qdlctl_files \"$cur\"";
        script += line + " ;;\n";
    }
    script += "    esac\n"
              "    COMPREPLY+=($(compgen -W \"$words\" -- \"$cur\"))\n"
              "}\n"
              "complete -F _qdlctl qdlctl check_qdl4816\n";
    if (agent.empty())
        return script;
    script += "_fence_qdl4816() {\n"
              "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
              "    case $prev in\n";
    for (const AgentOption& option : agent) {
        if (!option.TakesValue)
            continue;
        std::string names;
        for (const auto& name : option.Names)
            names += (names.empty() ? "" : "|") + name;
        const std::string action = option.Words == "FILE" ? "_qdlctl_files \"$cur\""
                                   : option.Words.empty()
                                       ? "COMPREPLY=()"
                                       : "COMPREPLY=($(compgen -W " + Quoted(option.Words) + " -- \"$cur\"))";
        script += "    " + names + ") " + action + "; return ;;\n";
    }
    script += "    esac\n"
              "    COMPREPLY=($(compgen -W " +
              Quoted(AgentWords(agent)) +
              " -- \"$cur\"))\n"
              "}\n"
              "complete -F _fence_qdl4816 fence_qdl4816\n";
    return script;
}

std::string ZshAgent(const std::vector<AgentOption>& agent) {
    std::string script = "_fence_qdl4816() {\n"
                         "    case ${words[CURRENT-1]} in\n";
    for (const AgentOption& option : agent) {
        if (!option.TakesValue)
            continue;
        std::string names;
        for (const auto& name : option.Names)
            names += (names.empty() ? "" : "|") + name;
        const std::string action = option.Words == "FILE" ? "_files"
                                   : option.Words.empty() ? "_message value"
                                                          : "compadd -- " + option.Words;
        script += "    " + names + ") " + action + "; return ;;\n";
    }
    return script +
           "    esac\n"
           "    compadd -- " +
           AgentWords(agent) +
           "\n"
           "}\n";
}

std::string Zsh(const std::vector<Node>& nodes, const std::vector<AgentOption>& agent) {
    const Node& root = nodes.front();
    std::string script = "#compdef qdlctl check_qdl4816" +
                         std::string(agent.empty() ? "" : " fence_qdl4816") +
                         "\n"
                         "# zsh completion for qdlctl, the plugin check_qdl4816 and the fence agent "
                         "fence_qdl4816, made from\n"
                         "# their own definitions.\n"
                         "_qdlctl() {\n"
                         "    local path='' word i\n"
                         "    [[ $service == check_* ]] && path=check\n"
                         "    case ${words[CURRENT-1]} in\n";
    for (const Option& option : ValueOptions(nodes)) {
        const std::string action = option.Value.Files           ? "_files"
                                   : option.Value.Words.empty() ? "_message " + Quoted(option.Description)
                                                                : "compadd -- " + option.Value.Words;
        script += "    " + option.Name + ") " + action + "; return ;;\n";
    }
    script += "    esac\n"
              "    for ((i = 2; i < CURRENT; i++)); do\n"
              "        word=${words[i]}\n"
              "        case \"$path/$word\" in\n";
    script += PathCase(nodes, "        '%s/%s') path='%s' ;;\n");
    script += "        esac\n"
              "    done\n"
              "    local -a commands options\n"
              "    options=(";
    for (const Option& option : root.Options)
        script += Quoted(option.Name + ":" + option.Description) + " ";
    script += ")\n    case $path in\n";
    for (const Node& node : nodes) {
        script += "    '" + node.Path + "')\n        commands=(";
        for (const auto& [name, description] : node.Commands)
            script += Quoted(name + ":" + description) + " ";
        script += ")\n";
        if (!node.Path.empty()) {
            script += "        options+=(";
            for (const Option& option : node.Options)
                script += Quoted(option.Name + ":" + option.Description) + " ";
            script += ")\n";
        }
        if (node.Arguments.Files)
            script += "        _files\n";
        else if (!node.Arguments.Words.empty())
            script += "        compadd -- " + node.Arguments.Words + "\n";
        script += "        ;;\n";
    }
    script += "    esac\n"
              "    (( ${#commands} )) && _describe -t commands 'qdlctl command' commands\n"
              "    [[ $PREFIX == -* ]] && _describe -t options 'option' options\n"
              "    return 0\n"
              "}\n";
    if (agent.empty())
        return script + "_qdlctl \"$@\"\n";
    return script + ZshAgent(agent) +
           "case $service in\n"
           "fence_qdl4816) _fence_qdl4816 ;;\n"
           "*) _qdlctl \"$@\" ;;\n"
           "esac\n";
}

std::string Fish(const std::vector<Node>& nodes, const std::vector<AgentOption>& agent) {
    std::string script = "# fish completion for qdlctl, the plugin check_qdl4816 and the fence agent "
                         "fence_qdl4816, made from\n"
                         "# their own definitions.\n"
                         "function __qdlctl_path\n"
                         "    set -l words (commandline -opc)\n"
                         "    set -l path ''\n"
                         "    string match -q 'check_*' (basename $words[1]); and set path check\n"
                         "    for word in $words[2..-1]\n"
                         "        switch \"$path/$word\"\n";
    for (const Node& node : nodes)
        for (const auto& command : node.Commands)
            script += Format("            case '%s/%s'\n                set path '%s'\n", node.Path.c_str(),
                             command.first.c_str(),
                             (node.Path.empty() ? command.first : node.Path + " " + command.first).c_str());
    script += "        end\n"
              "    end\n"
              "    echo $path\n"
              "end\n"
              "function __qdlctl_at\n"
              "    test \"$(__qdlctl_path)\" = \"$argv[1]\"\n"
              "end\n";
    for (const char* program : {"qdlctl", "check_qdl4816"}) {
        const std::string c = std::string("complete -c ") + program + " ";
        script += c + "-f\n";
        for (const Node& node : nodes) {
            const std::string condition = "-n " + Quoted("__qdlctl_at \"" + node.Path + "\"");
            for (const auto& [name, description] : node.Commands)
                script += c + condition + " -a " + name + " -d " + Quoted(description) + "\n";
            for (const Option& option : node.Options) {
                const bool isLong = option.Name.rfind("--", 0) == 0;
                std::string line = c + (node.Path.empty() ? std::string() : condition + " ") +
                                   (isLong ? "-l " + option.Name.substr(2) : "-s " + option.Name.substr(1));
                if (option.TakesValue)
                    line += option.Value.Files           ? " -r -F"
                            : option.Value.Words.empty() ? " -r"
                                                         : " -x -a " + Quoted(option.Value.Words);
                script += line + " -d " + Quoted(option.Description) + "\n";
            }
            if (node.Arguments.Files)
                script += c + condition + " -F\n";
            else if (!node.Arguments.Words.empty())
                script += c + condition + " -a " + Quoted(node.Arguments.Words) + "\n";
        }
    }
    if (!agent.empty())
        script += "complete -c fence_qdl4816 -f\n";
    for (const AgentOption& option : agent) {
        std::string line = "complete -c fence_qdl4816";
        for (const auto& name : option.Names)
            line += name.rfind("--", 0) == 0 ? " -l " + name.substr(2) : " -s " + name.substr(1);
        if (option.TakesValue)
            line += option.Words == "FILE" ? " -r -F"
                    : option.Words.empty() ? " -r"
                                           : " -x -a " + Quoted(option.Words);
        script += line + "\n";
    }
    return script;
}

} // namespace

std::string CompletionScript(const CLI::App& app, const std::string& shell,
                             const std::vector<AgentOption>& agent) {
    std::vector<Node> nodes;
    Collect(app, "", nodes);
    if (shell == "bash")
        return Bash(nodes, agent);
    if (shell == "zsh")
        return Zsh(nodes, agent);
    if (shell == "fish")
        return Fish(nodes, agent);
    throw control::UsageError(
        Format("There is no completion for '%s': give bash, zsh or fish.", shell.c_str()));
}

} // namespace qdl::cli
