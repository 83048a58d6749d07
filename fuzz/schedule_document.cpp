// A schedule file for import: it is the eight slots in order, each with a real date, a time of
// day and a repeat mode whose code is its own, and writing them out as export does reads back the
// same; or it is refused as a usage error with a short message, however deep or large its values.
#include "Failures.h"
#include "FuzzCheck.h"
#include "Schedule.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qdl::control;
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const std::vector<ScheduleEntry> entries = ParseScheduleFile(text, "s.json");
        FUZZ_CHECK(entries.size() == ScheduleSlots.size());
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            FUZZ_CHECK(entries[i].Slot == ScheduleSlots[i]);
            FUZZ_CHECK(entries[i].Repeat >= 0 && entries[i].Repeat < 5);
            FUZZ_CHECK(entries[i].At.Hour < 24 && entries[i].At.Minute < 60 && entries[i].At.Second < 60);
            list.push_back(entries[i]);
        }
        const auto again = ParseScheduleFile(nlohmann::ordered_json{{"entries", list}}.dump(), "again.json");
        for (std::size_t i = 0; i < entries.size(); ++i)
            FUZZ_CHECK(IsoDate(again[i].Day) == IsoDate(entries[i].Day) &&
                       IsoTime(again[i].At) == IsoTime(entries[i].At) && again[i].Repeat == entries[i].Repeat &&
                       again[i].On == entries[i].On && again[i].Code == entries[i].Code);
    } catch (const UsageError& failure) {
        FUZZ_CHECK(std::string(failure.what()).size() < 600);
    }
    return 0;
}
