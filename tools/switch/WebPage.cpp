#include "WebPage.h"

#include "TextUtil.h"

namespace qdl::standin {
namespace {

// The repeat mode of a code, as the window names it.
const char* RepeatName(int code) {
    switch (code) {
    case 0:
        return "Disable";
    case 128:
        return "Just Once";
    case 127:
        return "Everyday";
    case 31:
        return "Monday to Friday";
    case 96:
        return "Saturday &amp; Sunday";
    default:
        return "Disable";
    }
}

std::string ScheduleTable(const SwitchState& state) {
    std::string rows =
        "<table>\n<tr><th>PW</th><th>Date</th><th>Time</th><th>Parameter</th><th>ON/OFF</th></tr>\n";
    for (int index = 0; index < SwitchState::SlotCount; ++index) {
        const ScheduleEntry entry = state.Entry(index);
        rows += Format("<tr><td>%s</td><td>%04d/%02d/%02d</td><td>%02d:%02d:%02d</td><td>%s "
                       "(%03d)</td><td>%s</td></tr>\n",
                       SwitchState::Slots[static_cast<std::size_t>(index)], entry.At.Year, entry.At.Month,
                       entry.At.Day, entry.At.Hour, entry.At.Minute, entry.At.Second,
                       RepeatName(entry.RepeatCode), entry.RepeatCode, entry.On ? "ON" : "OFF");
    }
    return rows + "</table>\n";
}

} // namespace

std::string WebPage(const SwitchState& state) {
    std::string rows;
    for (int outlet = 1; outlet <= 4; ++outlet) {
        const bool on = state.Outlet(outlet);
        rows += Format("<tr><td>Outlet %d</td><td class=\"%s\">%s</td><td><form method=\"post\" "
                       "action=\"/outlet/%d\"><button type=\"submit\">Switch %s</button></form></td></tr>\n",
                       outlet, on ? "on" : "off", on ? "ON" : "OFF", outlet, on ? "off" : "on");
    }
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Quadrel 4816</title>\n"
           "<style>body{font-family:sans-serif}td,th{padding:4px 12px;text-align:left}.on{background:#0f0}"
           ".off{background:#ddd}</style></head>\n<body><h1>Quadrel 4816 Network AC Power "
           "Control</h1>\n<table>\n" +
           rows + "</table>\n<h2>Schedule</h2>\n" + ScheduleTable(state) + "</body></html>\n";
}

} // namespace qdl::standin
