#include "AccessibleNames.h"

#include <array>

namespace qdl::ui {

std::string IndicatorName(int outlet) {
    return outlet == 0 ? "Power" : "Outlet " + std::to_string(outlet);
}

std::string IndicatorShortcut(int outlet) {
    return outlet == 0 ? std::string() : "Ctrl+" + std::to_string(outlet);
}

std::string IndicatorDescription(int outlet, const std::string& hint) {
    if (outlet == 0)
        return "Checked when the switch answered the last read";
    return hint + " (" + IndicatorShortcut(outlet) + ")";
}

std::string ScheduleFieldName(int row, ScheduleField field) {
    static constexpr std::array<const char*, 4> columns{"date", "time", "parameter", "on/off"};
    return "Entry " + std::to_string(row + 1) + " " + columns.at(static_cast<std::size_t>(field));
}

} // namespace qdl::ui
