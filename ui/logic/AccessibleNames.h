#pragma once

// What a screen reader says of the window's controls that show no text of their own: the
// outlet and device indicators, the memo, the status bar and the schedule page's pickers and
// lists. Both faces use these, so a reader hears the same window on Linux and on Windows. The
// indicators are toggles: outlets 1 to 4 switch like a click on them, by their accessibility
// action or by Ctrl+1 to Ctrl+4 while the ON/OFF page shows; the device indicator (0) only tells.
#include <string>

namespace qdl::ui {

// "Outlet 1" to "Outlet 4"; "Power" for the device indicator, outlet 0.
std::string IndicatorName(int outlet);

// The keyboard path to outlet 1 to 4: "Ctrl+1" to "Ctrl+4". Empty for the device indicator.
std::string IndicatorShortcut(int outlet);

// The outlet's hint as shown in the status bar, followed by its keyboard path; the device
// indicator's says what it shows.
std::string IndicatorDescription(int outlet, const std::string& hint);

// A schedule entry's four controls, by their column headings.
enum class ScheduleField { Date, Time, Parameter, OnOff };

// "Entry 1 date" to "Entry 8 on/off", for rows 0 to 7 (shown as 1A to 4B).
std::string ScheduleFieldName(int row, ScheduleField field);

// The memo shows the switch's ratings; the status bar the last message and the hints.
inline const char* const MemoName = "Ratings";
inline const char* const StatusBarName = "Status";

} // namespace qdl::ui
