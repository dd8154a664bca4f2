// Family "rockwell": a Rockwell-based modem. "ATI" names the model only, so
// the version comes from "ATI1"; "ATI3" gives the version with the
// variant suffix ("2.17-SP"), "ATI5" the country number.
#include "sim/SimDeviceFamilies.h"

void sim_ApplyRockwell(SimDeviceConfig* pConfig)
{
    sim_AddDefaultReply(pConfig, "ATI", {"RW3360"});
    sim_AddDefaultReply(pConfig, "ATI2", {"RW3360"});
    sim_AddDefaultReply(pConfig, "ATI1", {"2.17", "Checksum 5C2A", "NORTH AMERICAN", ""});
    sim_AddDefaultReply(pConfig, "ATI3", {"2.17-SP"});
    sim_AddDefaultReply(pConfig, "ATI5", {"22"});
}
