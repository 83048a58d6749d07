#include "WebPage.h"

#include "TextUtil.h"

namespace qdl::standin {

std::string WebPage(const SwitchState& state) {
    std::string rows;
    for (int outlet = 1; outlet <= 4; ++outlet) {
        const bool on = state.Outlet(outlet);
        rows += Format("<tr><td>Outlet %d</td><td class=\"%s\">%s</td><td><form method=\"post\" "
                       "action=\"/outlet/%d\"><button type=\"submit\">Switch %s</button></form></td></tr>\n",
                       outlet, on ? "on" : "off", on ? "ON" : "OFF", outlet, on ? "off" : "on");
    }
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Quadrel 4816</title>\n"
           "<style>body{font-family:sans-serif}td{padding:4px 12px}.on{background:#0f0}.off{background:#ddd}"
           "</style></head>\n<body><h1>Quadrel 4816 Network AC Power Control</h1>\n<table>\n" +
           rows + "</table></body></html>\n";
}

} // namespace qdl::standin
