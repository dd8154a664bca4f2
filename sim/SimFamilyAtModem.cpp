// Family "atmodem": a modem of the AT-protocol families. Its "ATI" text
// names the model and its version; "ATI2" names the model alone; "ATI1"
// gives version, checksum, country and special build, one a line.
#include "sim/SimDeviceFamilies.h"

void sim_AddDefaultReply(SimDeviceConfig* pConfig, const std::string& command, std::vector<std::string> lines,
                         const std::string& result)
{
    SimReply reply;
    reply.lines = std::move(lines);
    reply.result = result;
    pConfig->replies.emplace(command, reply);
}

void sim_ApplyAtModem(SimDeviceConfig* pConfig)
{
    sim_AddDefaultReply(pConfig, "ATI", {"KV3360 V.34 Data/Fax Modem", "Version 3.10"});
    sim_AddDefaultReply(pConfig, "ATI2", {"KV3360"});
    sim_AddDefaultReply(pConfig, "ATI1", {"3.10", "Checksum 8E41", "PTT GERMAN", ""});
}
