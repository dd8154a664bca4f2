// Family "ta": an ISDN terminal adapter that answers "AT%I" with a number
// (0 when its ISDN interface is ready).
#include "sim/SimDeviceFamilies.h"

void sim_ApplyTerminalAdapter(SimDeviceConfig* pConfig)
{
    sim_AddDefaultReply(pConfig, "ATI", {"QBXHP-TA ISDN Terminal Adapter", "Version 2.05"});
    sim_AddDefaultReply(pConfig, "ATI2", {"QBXHP-TA"});
    sim_AddDefaultReply(pConfig, "ATI1", {"2.05", "Checksum 1F07", "UNIVERSAL", ""});
    sim_AddDefaultReply(pConfig, "AT%I", {"0"});
}
