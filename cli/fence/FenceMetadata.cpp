#include "FenceAgent.h"
#include "FenceParameters.h"
#include "FenceSettings.h"
#include "TextUtil.h"

namespace qdl::cli {
namespace {

using fence::Parameter;

const char* const LongDescription =
    "fence_qdl4816 switches outlets of a Quadrel 4816 network AC power switch (four outlets) over the "
    "switch's HTTP command interface. The switch sets all four outlets in one command, so every change "
    "reads the outlets and writes them back with the change, holding one lock per switch on this host "
    "while it reads and writes. Each attempt is counted as the fence-agents library counts it: one write, "
    "power_wait, then a status read every stonith_status_sleep for up to power_timeout; off makes one "
    "attempt, on 1 + retry_on. The lock cannot order writers on other hosts, and Pacemaker may run the "
    "agent on several nodes at once, also with a single stonith device: a node that read the outlets "
    "before this change and writes after it undoes it. So once the switch shows the change, the agent "
    "holds it: it keeps reading the outlets for settle seconds (6 s, longer than any other writer's "
    "read-to-write time of connect 1 s plus reply 5 s) and applies the change again whenever a read does "
    "not show it (at most twice, each again with power_wait and power_timeout, and the settle time starts "
    "over). Success is reported only once the outlets have held for a whole settle time. A fence "
    "therefore costs at worst power_wait + power_timeout + settle per attempt (31 s for off with the "
    "defaults), plus power_wait + power_timeout + settle for each re-apply the hold needs; Pacemaker's "
    "pcmk_off_timeout and pcmk_reboot_timeout (or stonith-timeout) must exceed it. Given its own "
    "stonith_timeout, validate-all refuses settings that cannot fit it. A reboot keeps the outlets OFF for "
    "at least power_wait (5 s, as the PDU agents use 2 to 5 s) so that a server's power supply really "
    "loses power. Configure one stonith device per switch with pcmk_host_map (for example "
    "node1:1;node2:2;node4:3,4), so that the switch is configured in one place; against two nodes "
    "fencing each other at once use Pacemaker's pcmk_delay_max on the device or the cluster's "
    "priority-fencing-delay. A node with two power supplies names both outlets, separated by the plug "
    "separator.";

std::string ParameterXml(const Parameter& p, const std::string& name, const std::string& marker) {
    std::string xml = "\t<parameter name=\"" + name + "\" unique=\"0\" required=\"" +
                      (p.Required ? "1" : "0") + "\"" + marker + ">\n";
    xml += "\t\t<getopt mixed=\"" + MarkupEscaped(p.Getopt()) + "\" />\n";
    xml += std::string("\t\t<content type=\"") + p.Type + "\"" +
           (p.Default ? " default=\"" + MarkupEscaped(p.Default) + "\"" : std::string()) + " />\n";
    xml += "\t\t<shortdesc lang=\"en\">" + MarkupEscaped(p.Description) + "</shortdesc>\n";
    return xml + "\t</parameter>\n";
}

} // namespace

std::string FenceMetadata() {
    std::string xml = "<?xml version=\"1.0\" ?>\n"
                      "<resource-agent name=\"fence_qdl4816\" shortdesc=\"Fence agent for the Quadrel 4816 "
                      "network power switch\">\n"
                      "<longdesc>" +
                      MarkupEscaped(LongDescription) +
                      "</longdesc>\n"
                      "<vendor-url>https://www.corvanti.example/</vendor-url>\n"
                      "<parameters>\n";
    // An old name is listed as deprecated beside the new one that obsoletes it, as the shipped
    // agents list theirs.
    for (const Parameter& p : fence::Parameters()) {
        if (p.NewName() == p.Key) {
            xml += ParameterXml(p, p.Key, "");
            continue;
        }
        xml += ParameterXml(p, p.NewName(), std::string(" obsoletes=\"") + p.Key + "\"");
        xml += ParameterXml(p, p.Key, " deprecated=\"1\"");
    }
    xml += "</parameters>\n<actions>\n";
    for (const std::string& action : fence::Actions())
        xml += "\t<action name=\"" + action + "\"" + (action == "on" ? " automatic=\"0\"" : "") + " />\n";
    xml += "</actions>\n</resource-agent>\n";
    return xml;
}

} // namespace qdl::cli
