#include "Schedule.h"

#include "CommaText.h"
#include "Failures.h"
#include "RepeatCode.h"
#include "ScheduleReply.h"
#include "TextUtil.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <optional>

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

// A value as a message quotes it: a short prefix, never the whole of a list or an object.
std::string Quoted(const nlohmann::ordered_json& value) {
    if (value.is_array())
        return "a list";
    if (value.is_object())
        return "an object";
    return Printable(value.dump(), 40);
}

// The number a field holds, compared as written: a number that is no whole number, or does not
// fit 64 bits, is nothing, never a number cut to fit.
std::optional<long long> WholeNumber(const nlohmann::ordered_json& value) {
    if (value.is_number_integer() && !value.is_number_unsigned())
        return value.get<long long>();
    if (value.is_number_unsigned() &&
        value.get<unsigned long long>() <= static_cast<unsigned long long>(LLONG_MAX))
        return static_cast<long long>(value.get<unsigned long long>());
    return std::nullopt;
}

// An "outlet" or "code" field, where the file has one, must agree with the slot and the repeat
// mode: a file that says two things is not written.
void RequireAgreement(const nlohmann::ordered_json& json, const ScheduleEntry& entry) {
    if (json.contains("outlet") && WholeNumber(json.at("outlet")) != entry.Outlet())
        throw UsageError(Format("Entry %s, field \"outlet\": %s, but slot %s belongs to outlet %d.",
                                entry.Slot.c_str(), Quoted(json.at("outlet")).c_str(), entry.Slot.c_str(),
                                entry.Outlet()));
    if (json.contains("code") && WholeNumber(json.at("code")) != entry.Code)
        throw UsageError(Format("Entry %s, field \"code\": %s, which is not the code of repeat mode %s (%d).",
                                entry.Slot.c_str(), Quoted(json.at("code")).c_str(),
                                RepeatNames[static_cast<std::size_t>(entry.Repeat)].c_str(), entry.Code));
}

// "line 3, column 7" of a byte offset.
std::string PlaceOf(const std::string& text, std::size_t offset) {
    const auto before = text.begin() + static_cast<long>(std::min(offset, text.size()));
    const auto line = std::count(text.begin(), before, '\n') + 1;
    const auto lineStart = std::find(std::make_reverse_iterator(before), text.rend(), '\n').base();
    return Format("line %ld, column %ld", static_cast<long>(line), static_cast<long>(before - lineStart) + 1);
}

// Where the entries are and how deep their fields go: a schedule file is at most an object holding
// a list of entries whose fields are numbers, texts and true or false. Anything deeper is refused
// while it is read, naming the entry and the field, before it costs memory or a message quoting it.
class NestingGuard {
public:
    explicit NestingGuard(std::string fileName) : fileName_(std::move(fileName)) {}

    bool operator()(int depth, nlohmann::ordered_json::parse_event_t event,
                    const nlohmann::ordered_json& parsed) {
        using Event = nlohmann::ordered_json::parse_event_t;
        const auto level = static_cast<std::size_t>(depth);
        if (event == Event::key) {
            keys_.resize(level + 1);
            keys_[level] = parsed.get<std::string>();
        }
        if (event != Event::object_start && event != Event::array_start)
            return true;
        if (level == 0)
            rootIsList_ = event == Event::array_start;
        const std::size_t entryLevel = rootIsList_ ? 1 : 2;
        if (level == entryLevel && (rootIsList_ || (keys_.size() > 1 && keys_[1] == "entries")))
            ++entries_;
        if (level > entryLevel)
            throw UsageError(
                Format("Entry %zu of the schedule file %s, field \"%s\": lists or objects within "
                       "lists or objects, which a schedule file never holds.",
                       entries_, fileName_.c_str(),
                       Printable(keys_.size() > entryLevel + 1 ? keys_[entryLevel + 1] : "", 40).c_str()));
        return true;
    }

private:
    std::string fileName_;
    bool rootIsList_ = false;
    std::vector<std::string> keys_;
    std::size_t entries_ = 0;
};

// The document, or a UsageError giving the line and column where it stops being JSON.
nlohmann::ordered_json ParseJson(const std::string& text, const std::string& fileName) {
    try {
        return nlohmann::ordered_json::parse(text, NestingGuard(fileName));
    } catch (const nlohmann::json::parse_error& failure) {
        // "[json.exception.parse_error.101] parse error at line 3, column 1: syntax error ..."
        std::string where = failure.what();
        if (const auto at = where.find(" at line "); at != std::string::npos)
            where = where.substr(at + 4);
        throw UsageError(
            Format("The schedule file %s is not JSON: %s.", fileName.c_str(), Printable(where, 200).c_str()));
    } catch (const nlohmann::json::exception& failure) {
        // "[json.exception.out_of_range.406] number overflow parsing '1e400'": the parser names the
        // number but not its place.
        const std::string what = failure.what();
        const auto open = what.find('\''), close = what.rfind('\'');
        const std::string number = open < close ? what.substr(open + 1, close - open - 1) : "";
        const auto at = number.empty() ? std::string::npos : text.find(number);
        throw UsageError(Format("The schedule file %s holds a number that cannot be read at %s: %s.",
                                fileName.c_str(),
                                at == std::string::npos ? "an unknown place" : PlaceOf(text, at).c_str(),
                                Printable(number, 40).c_str()));
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
        throw UsageError(Format("There is no slot '%s': the slots are 1A, 1B, 2A, 2B, 3A, 3B, 4A and 4B.",
                                Printable(slot, 40).c_str()));
}

Date ParseIsoDate(const std::string& text) {
    std::array<int, 3> f{};
    if (!ReadFields(text, '-', f, {4, 2, 2}) || !IsValidDate(f[0], f[1], f[2]))
        throw UsageError(Format("'%s' is not a date: write it as YYYY-MM-DD, a day that exists.",
                                Printable(text, 40).c_str()));
    return Date{f[0], f[1], f[2]};
}

Time ParseIsoTime(const std::string& text) {
    std::array<int, 3> f{};
    if (!ReadFields(text, ':', f, {2, 2, 2}) || f[0] > 23 || f[1] > 59 || f[2] > 59)
        throw UsageError(Format("'%s' is not a time: write it as HH:MM:SS, from 00:00:00 to 23:59:59.",
                                Printable(text, 40).c_str()));
    return Time{f[0], f[1], f[2], 0};
}

int ParseRepeatName(const std::string& text) {
    const auto found = std::find(RepeatNames.begin(), RepeatNames.end(), text);
    if (found == RepeatNames.end())
        throw UsageError(
            Format("'%s' is not a repeat mode: use disable, once, everyday, weekdays or weekend.",
                   Printable(text, 40).c_str()));
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

ScheduleEntry EntryFromJson(const nlohmann::ordered_json& json, std::size_t index) {
    ScheduleEntry entry;
    // The slot once it was read, else the entry's place in the file.
    const auto name = [&] { return entry.Slot.empty() ? Format("%zu", index) : entry.Slot; };
    const auto text = [&](const char* field) {
        if (!json.is_object())
            throw UsageError(Format("Entry %s is %s, not an object with \"slot\", \"date\", ...",
                                    name().c_str(), Quoted(json).c_str()));
        if (!json.contains(field) || !json.at(field).is_string())
            throw UsageError(Format("Entry %s needs \"%s\" as a text%s.", name().c_str(), field,
                                    json.contains(field) ? (", not " + Quoted(json.at(field))).c_str() : ""));
        return json.at(field).get<std::string>();
    };
    // A field's own check, its message prefixed with the entry and the field.
    const auto field = [&](const char* fieldName, const auto& read) {
        const std::string value = text(fieldName);
        try {
            return read(value);
        } catch (const UsageError& failure) {
            throw UsageError(Format("Entry %s, field \"%s\": %s", name().c_str(), fieldName, failure.what()));
        }
    };
    entry.Slot = field("slot", [](const std::string& slot) { return RequireSlot(slot), slot; });
    entry.Day = field("date", ParseIsoDate);
    entry.At = field("time", ParseIsoTime);
    entry.Repeat = field("repeat", ParseRepeatName);
    entry.Code = std::stoi(RepeatCodeText(entry.Repeat));
    if (!json.contains("on") || !json.at("on").is_boolean())
        throw UsageError(Format("Entry %s needs \"on\" as true or false%s.", entry.Slot.c_str(),
                                json.contains("on") ? (", not " + Quoted(json.at("on"))).c_str() : ""));
    entry.On = json.at("on").get<bool>();
    RequireAgreement(json, entry);
    return entry;
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
        entries.push_back(EntryFromJson(item, entries.size() + 1));
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
