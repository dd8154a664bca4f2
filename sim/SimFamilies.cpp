// The device families the simulator can play, as data: each family fills a
// device record with its replies and the protocol modes its trigger
// commands start. A family's defaults never replace what the record
// already configures, so settings and family may come in any order. Each
// family beyond the plain modem lives in its own source file and adds one
// row to kFamilies.
#include "sim/SimConfig.h"

#include "sim/SimDeviceFamilies.h"
#include "sim/SimText.h"

namespace {

// A plain AT modem: the command layer's own commands (E, V, Q, Z) and a
// one-line answer to ATI.
void applyModem(SimDeviceConfig* pConfig)
{
    SimReply reply;
    reply.lines = {"Norvane simulated modem"};
    pConfig->replies.emplace("ATI", reply);
}

struct Family {
    const char* pszName;                     // the name in configurations
    void (*pfnApply)(SimDeviceConfig*);      // adds the family's defaults
};

const Family kFamilies[] = {
    {"modem", applyModem},
    {"atmodem", sim_ApplyAtModem},
    {"ta", sim_ApplyTerminalAdapter},
    {"lucent", sim_ApplyLucent},
    {"rockwell", sim_ApplyRockwell},
};

}  // namespace

std::vector<std::string> sim_FamilyNames()
{
    std::vector<std::string> names;
    for (const Family& family : kFamilies)
        names.push_back(family.pszName);
    return names;
}

bool sim_ApplyFamily(SimDeviceConfig* pConfig, const std::string& family)
{
    for (const Family& entry : kFamilies) {
        if (sim_Upper(family) == sim_Upper(entry.pszName)) {
            pConfig->family = entry.pszName;
            entry.pfnApply(pConfig);
            return true;
        }
    }
    return false;
}

SimDeviceConfig sim_DeviceConfig(int nPort, const std::string& family)
{
    SimDeviceConfig config;
    config.nPort = nPort;
    if (!sim_ApplyFamily(&config, family))
        config.family.clear();
    return config;
}
