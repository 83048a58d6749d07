#include "FenceAgent.h"

#include <string>

namespace qdl::cli {
namespace {

struct Parameter {
    const char* Name;
    const char* Getopt;
    const char* Type;
    const char* Default; // nullptr: none
    bool Required;
    const char* Description;
    const char* Deprecated; // the alias this parameter is an old name of, or nullptr
};

const Parameter Parameters[] = {
    {"action", "-o, --action=[action]", "string", "reboot", false, "Fencing action", nullptr},
    {"ip", "-a, --ip=[ip]", "string", nullptr, true, "IP address or hostname of the switch", nullptr},
    {"ipport", "-u, --ipport=[port]", "integer", "80", false, "TCP/IP port of the switch's web server",
     nullptr},
    {"username", "-l, --username=[name]", "string", "admin", false, "Login name", nullptr},
    {"password", "-p, --password=[password]", "string", "40617253", false, "Login password", nullptr},
    {"password_script", "-S, --password-script=[script]", "string", nullptr, false,
     "Script to run to retrieve the password (its first line)", nullptr},
    {"plug", "-n, --plug=[outlet]", "string", nullptr, true, "Outlet number, 1 to 4", nullptr},
    {"power_wait", "--power-wait=[seconds]", "second", "0", false, "Wait X seconds after issuing ON/OFF",
     nullptr},
    {"delay", "--delay=[seconds]", "second", "0", false, "Wait X seconds before fencing is started", nullptr},
    {"option", "-o, --action=[action]", "string", "reboot", false, "Fencing action", "action"},
    {"ipaddr", "-a, --ip=[ip]", "string", nullptr, true, "IP address or hostname of the switch", "ip"},
    {"login", "-l, --username=[name]", "string", "admin", false, "Login name", "username"},
    {"passwd", "-p, --password=[password]", "string", "40617253", false, "Login password", "password"},
    {"port", "-n, --plug=[outlet]", "string", nullptr, true, "Outlet number, 1 to 4", "plug"},
};

const char* const Actions[] = {"on",   "off",     "reboot",   "status",
                               "list", "monitor", "metadata", "validate-all"};

} // namespace

std::string FenceMetadata() {
    std::string xml = "<?xml version=\"1.0\" ?>\n"
                      "<resource-agent name=\"fence_qdl4816\" shortdesc=\"Fence agent for the Quadrel 4816 "
                      "network power switch\">\n"
                      "<longdesc>fence_qdl4816 switches one outlet of a Quadrel 4816 network AC power switch "
                      "(four outlets) over the switch's HTTP command interface, and checks that the switch "
                      "shows the outlet as asked.</longdesc>\n"
                      "<vendor-url>https://www.corvanti.example/</vendor-url>\n"
                      "<parameters>\n";
    for (const Parameter& p : Parameters) {
        xml += std::string("\t<parameter name=\"") + p.Name + "\" unique=\"0\" required=\"" +
               (p.Required ? "1" : "0") + "\"" + (p.Deprecated ? " deprecated=\"1\"" : "") + ">\n";
        xml += std::string("\t\t<getopt mixed=\"") + p.Getopt + "\" />\n";
        xml += std::string("\t\t<content type=\"") + p.Type + "\"" +
               (p.Default ? std::string(" default=\"") + p.Default + "\"" : std::string()) + " />\n";
        xml += std::string("\t\t<shortdesc lang=\"en\">") + p.Description + "</shortdesc>\n";
        xml += "\t</parameter>\n";
    }
    xml += "</parameters>\n<actions>\n";
    for (const char* action : Actions)
        xml += std::string("\t<action name=\"") + action + "\" />\n";
    xml += "</actions>\n</resource-agent>\n";
    return xml;
}

} // namespace qdl::cli
