#include "Output.h"

#include "TextUtil.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>

namespace qdl::cli {
namespace {

using json = nlohmann::ordered_json;

// A switch's text need not be UTF-8: such bytes are replaced rather than failing the output.
std::string Dump(const json& document, int indent = -1) {
    return document.dump(indent, ' ', false, json::error_handler_t::replace);
}

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

json OutletList(const control::OutletStates& states, const std::vector<int>& outlets) {
    json list = json::array();
    for (int outlet : outlets)
        list.push_back({{"outlet", outlet}, {"on", states[static_cast<std::size_t>(outlet - 1)]}});
    return list;
}

} // namespace

void Output::Outlets(const control::OutletStates& states) {
    if (json_) {
        out_ << Dump(json{{"outlets", OutletList(states, {1, 2, 3, 4})}}) << '\n';
        return;
    }
    out_ << "outlet  state\n";
    for (int outlet = 1; outlet <= control::OutletCount; ++outlet)
        out_ << Format("%-6d  %s\n", outlet, OnOff(states[static_cast<std::size_t>(outlet - 1)]));
}

void Output::Changes(const control::OutletStates& states, const std::vector<int>& outlets) {
    if (json_) {
        out_ << Dump(json{{"outlets", OutletList(states, outlets)}}) << '\n';
        return;
    }
    for (int outlet : outlets)
        out_ << Format("outlet %d: %s\n", outlet, OnOff(states[static_cast<std::size_t>(outlet - 1)]));
}

void Output::Entries(const std::vector<control::ScheduleEntry>& entries) {
    if (json_) {
        out_ << Dump(json{{"entries", entries}}) << '\n';
        return;
    }
    out_ << "slot  outlet  date        time      repeat    code  on/off\n";
    for (const auto& entry : entries)
        out_ << Format("%-4s  %-6d  %s  %s  %-8s  %03d   %s\n", entry.Slot.c_str(), entry.Outlet(),
                       control::IsoDate(entry.Day).c_str(), control::IsoTime(entry.At).c_str(),
                       control::RepeatNames[static_cast<std::size_t>(entry.Repeat)].c_str(), entry.Code,
                       OnOff(entry.On));
}

void Output::Text(const std::string& name, const std::string& text) {
    if (json_)
        out_ << Dump(json{{name, text}}) << '\n';
    else
        out_ << text << '\n';
}

void Output::Import(const control::ImportResult& result) {
    if (json_) {
        out_ << Dump(json{{"written", result.Written},
                          {"entries", result.Shown},
                          {"differences", result.Differences}})
             << '\n';
        return;
    }
    if (result.Differences.empty())
        out_ << Format("The switch shows the %zu entries written as in the file.\n", result.Written.size());
    for (const auto& difference : result.Differences)
        out_ << difference << '\n';
}

std::string Output::FailureLine(control::FailureKind kind, const std::string& message,
                                const std::optional<control::SwitchTarget>& target) const {
    if (!json_)
        return message + '\n';
    json error{{"kind", control::KindName(kind)}, {"message", message}, {"host", nullptr}, {"port", nullptr}};
    if (target) {
        error["host"] = target->Host;
        error["port"] = target->Port;
    }
    return Dump(json{{"error", error}}) + '\n';
}

void Output::Failure(const control::Failure& failure, const std::optional<control::SwitchTarget>& target) {
    err_ << FailureLine(failure.Kind(), failure.what(), target) << std::flush;
}

std::optional<std::string> Output::Flush() {
    errno = 0;
    out_.flush();
    if (out_)
        return std::nullopt;
    return errno != 0 ? std::strerror(errno) : "the output stream failed";
}

std::string ScheduleDocument(const std::vector<control::ScheduleEntry>& entries) {
    return Dump(json{{"entries", entries}}, 2) + "\n";
}

} // namespace qdl::cli
