#include "Schedule.h"

#include "CommaText.h"
#include "Failures.h"
#include "RepeatCode.h"
#include "ScheduleReply.h"
#include "TextUtil.h"

#include <algorithm>
#include <cctype>

namespace qdl::control {
namespace {

// Fixed-width digit fields separated by one character, as in "2006-11-27" or "08:05:05".
bool ReadFields(const std::string& text, char separator, std::array<int, 3>& fields,
                std::array<int, 3> widths) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0 && (pos >= text.size() || text[pos++] != separator))
            return false;
        const auto width = static_cast<std::size_t>(widths[i]);
        if (pos + width > text.size() ||
            !std::all_of(text.begin() + static_cast<long>(pos), text.begin() + static_cast<long>(pos + width),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return false;
        fields[i] = std::stoi(text.substr(pos, width));
        pos += width;
    }
    return pos == text.size();
}

std::string DifferencesText(const ScheduleEntry& shown, const ScheduleEntry& wanted) {
    std::vector<std::string> differences;
    auto compare = [&](const char* field, const std::string& a, const std::string& b) {
        if (a != b)
            differences.push_back(
                Format("slot %s shows %s %s, not %s", wanted.Slot.c_str(), field, a.c_str(), b.c_str()));
    };
    compare("date", IsoDate(shown.Day), IsoDate(wanted.Day));
    compare("time", IsoTime(shown.At), IsoTime(wanted.At));
    compare("repeat", RepeatNames[static_cast<std::size_t>(shown.Repeat)],
            RepeatNames[static_cast<std::size_t>(wanted.Repeat)]);
    compare("on/off", shown.On ? "on" : "off", wanted.On ? "on" : "off");
    std::string text;
    for (const auto& difference : differences)
        text += (text.empty() ? "" : "; ") + difference;
    return text;
}

// An "outlet" or "code" field, where the file has one, must agree with the slot and the repeat
// mode: a file that says two things is not written.
void RequireAgreement(const nlohmann::ordered_json& json, const ScheduleEntry& entry) {
    if (json.contains("outlet") &&
        !(json.at("outlet").is_number_integer() && json.at("outlet") == entry.Outlet()))
        throw UsageError(Format("Entry %s gives outlet %s, but slot %s belongs to outlet %d.",
                                entry.Slot.c_str(), json.at("outlet").dump().c_str(), entry.Slot.c_str(),
                                entry.Outlet()));
    if (json.contains("code") &&
        !(json.at("code").is_number_integer() && RepeatCodeIndex(json.at("code").get<int>()) == entry.Repeat))
        throw UsageError(Format("Entry %s gives code %s, which is not the code of repeat mode %s (%d).",
                                entry.Slot.c_str(), json.at("code").dump().c_str(),
                                RepeatNames[static_cast<std::size_t>(entry.Repeat)].c_str(), entry.Code));
}

// The document, or a UsageError giving the line and column where it stops being JSON.
nlohmann::ordered_json ParseJson(const std::string& text, const std::string& fileName) {
    try {
        return nlohmann::ordered_json::parse(text);
    } catch (const nlohmann::json::parse_error& failure) {
        // "[json.exception.parse_error.101] parse error at line 3, column 1: syntax error ..."
        std::string where = failure.what();
        if (const auto at = where.find(" at line "); at != std::string::npos)
            where = where.substr(at + 4);
        throw UsageError(Format("The schedule file %s is not JSON: %s.", fileName.c_str(), where.c_str()));
    }
}

// SetSchedule with the device's codes and fixed-width fields.
void SendEntry(SwitchSession& session, const ScheduleEntry& entry) {
    session.SetSchedule(entry.Slot, Format("%04d", entry.Day.Year), Format("%02d", entry.Day.Month),
                        Format("%02d", entry.Day.Day), Format("%02d", entry.At.Hour),
                        Format("%02d", entry.At.Minute), Format("%02d", entry.At.Second),
                        RepeatCodeText(entry.Repeat), entry.On ? "1" : "0");
}

} // namespace

void UseSwitchSeparators() {
    ProcessFormatSettings().DateSeparator = '-';
    ProcessFormatSettings().TimeSeparator = ':';
}

void RequireSlot(const std::string& slot) {
    if (std::find(ScheduleSlots.begin(), ScheduleSlots.end(), slot) == ScheduleSlots.end())
        throw UsageError(
            Format("There is no slot '%s': the slots are 1A, 1B, 2A, 2B, 3A, 3B, 4A and 4B.", slot.c_str()));
}

Date ParseIsoDate(const std::string& text) {
    std::array<int, 3> f{};
    if (!ReadFields(text, '-', f, {4, 2, 2}) || !IsValidDate(f[0], f[1], f[2]))
        throw UsageError(
            Format("'%s' is not a date: write it as YYYY-MM-DD, a day that exists.", text.c_str()));
    return Date{f[0], f[1], f[2]};
}

Time ParseIsoTime(const std::string& text) {
    std::array<int, 3> f{};
    if (!ReadFields(text, ':', f, {2, 2, 2}) || f[0] > 23 || f[1] > 59 || f[2] > 59)
        throw UsageError(
            Format("'%s' is not a time: write it as HH:MM:SS, from 00:00:00 to 23:59:59.", text.c_str()));
    return Time{f[0], f[1], f[2], 0};
}

int ParseRepeatName(const std::string& text) {
    const auto found = std::find(RepeatNames.begin(), RepeatNames.end(), text);
    if (found == RepeatNames.end())
        throw UsageError(Format(
            "'%s' is not a repeat mode: use disable, once, everyday, weekdays or weekend.", text.c_str()));
    return static_cast<int>(found - RepeatNames.begin());
}

std::string IsoDate(const Date& date) {
    return Format("%04d-%02d-%02d", date.Year, date.Month, date.Day);
}

std::string IsoTime(const Time& time) {
    return Format("%02d:%02d:%02d", time.Hour, time.Minute, time.Second);
}

void to_json(nlohmann::ordered_json& json, const ScheduleEntry& entry) {
    json = {{"slot", entry.Slot},
            {"outlet", entry.Outlet()},
            {"date", IsoDate(entry.Day)},
            {"time", IsoTime(entry.At)},
            {"repeat", RepeatNames[static_cast<std::size_t>(entry.Repeat)]},
            {"code", entry.Code},
            {"on", entry.On}};
}

void from_json(const nlohmann::ordered_json& json, ScheduleEntry& entry) {
    auto text = [&](const char* name) {
        if (!json.is_object() || !json.contains(name) || !json.at(name).is_string())
            throw UsageError(Format("Every entry needs \"%s\" as a text.", name));
        return json.at(name).get<std::string>();
    };
    entry.Slot = text("slot");
    RequireSlot(entry.Slot);
    entry.Day = ParseIsoDate(text("date"));
    entry.At = ParseIsoTime(text("time"));
    entry.Repeat = ParseRepeatName(text("repeat"));
    entry.Code = std::stoi(RepeatCodeText(entry.Repeat));
    if (!json.contains("on") || !json.at("on").is_boolean())
        throw UsageError(Format("Entry %s needs \"on\" as true or false.", entry.Slot.c_str()));
    entry.On = json.at("on").get<bool>();
    RequireAgreement(json, entry);
}

ScheduleEntry ReadEntry(SwitchSession& session, const std::string& slot) {
    UseSwitchSeparators();
    const ReplyList reply = session.GetSchedule(slot);
    const std::string name = session.Target().Name();
    if (reply.empty())
        throw Failure(FailureKind::Protocol, Format("%s answered GetSchedule for slot %s without an entry.",
                                                    name.c_str(), slot.c_str()));
    ScheduleEntry entry;
    entry.Slot = slot;
    try {
        entry.Day = ScheduleDate(reply);
        entry.At = ScheduleTime(reply);
    } catch (const std::exception&) {
        throw Failure(FailureKind::Protocol,
                      Format("%s sent an entry for slot %s whose date and time cannot be read: '%s'.",
                             name.c_str(), slot.c_str(), JoinCommaText(reply).c_str()));
    }
    entry.Code = ScheduleRepeatCode(reply);
    entry.Repeat = RepeatCodeIndex(entry.Code);
    entry.On = ScheduleOnOffDigit(reply) == 1;
    return entry;
}

std::vector<ScheduleEntry> ReadSchedule(SwitchSession& session) {
    std::vector<ScheduleEntry> entries;
    for (const auto& slot : ScheduleSlots)
        entries.push_back(ReadEntry(session, slot));
    return entries;
}

ScheduleEntry WriteEntry(SwitchSession& session, const ScheduleEntry& entry) {
    RequireSlot(entry.Slot);
    SendEntry(session, entry);
    const ScheduleEntry shown = ReadEntry(session, entry.Slot);
    if (const std::string differences = DifferencesText(shown, entry); !differences.empty())
        throw ScheduleCheckFailed(Format("%s does not show what was asked: %s.",
                                         session.Target().Name().c_str(), differences.c_str()),
                                  {shown});
    return shown;
}

ScheduleEntry ClearEntry(SwitchSession& session, const std::string& slot) {
    RequireSlot(slot);
    ScheduleEntry entry = ReadEntry(session, slot);
    entry.Repeat = 0;
    return WriteEntry(session, entry);
}

std::vector<ScheduleEntry> ParseScheduleFile(const std::string& text, const std::string& fileName) {
    const nlohmann::ordered_json document = ParseJson(text, fileName);
    const nlohmann::ordered_json& list =
        document.is_object() && document.contains("entries") ? document.at("entries") : document;
    if (!list.is_array())
        throw UsageError(
            Format("The schedule file %s needs a list of entries (\"entries\": [...]).", fileName.c_str()));
    std::vector<ScheduleEntry> entries;
    for (const auto& item : list)
        entries.push_back(item.get<ScheduleEntry>());
    for (const auto& slot : ScheduleSlots) {
        const auto count = std::count_if(entries.begin(), entries.end(),
                                         [&](const ScheduleEntry& e) { return e.Slot == slot; });
        if (count != 1)
            throw UsageError(
                Format("The schedule file %s must hold each of the eight slots once; slot %s is %s.",
                       fileName.c_str(), slot.c_str(), count ? "there more than once" : "missing"));
    }
    std::sort(entries.begin(), entries.end(), [](const ScheduleEntry& a, const ScheduleEntry& b) {
        return std::find(ScheduleSlots.begin(), ScheduleSlots.end(), a.Slot) <
               std::find(ScheduleSlots.begin(), ScheduleSlots.end(), b.Slot);
    });
    return entries;
}

ImportResult ImportSchedule(SwitchSession& session, const std::vector<ScheduleEntry>& entries,
                            const std::function<bool()>& stopRequested) {
    ImportResult result;
    for (const auto& entry : entries) {
        if (stopRequested && stopRequested())
            break;
        SendEntry(session, entry);
        result.Written.push_back(entry.Slot);
    }
    for (std::size_t i = 0; i < result.Written.size(); ++i) {
        result.Shown.push_back(ReadEntry(session, entries[i].Slot));
        if (const std::string text = DifferencesText(result.Shown.back(), entries[i]); !text.empty())
            result.Differences.push_back(text);
    }
    return result;
}

} // namespace qdl::control
