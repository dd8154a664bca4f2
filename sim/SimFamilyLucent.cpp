// Family "lucent": a Lucent-based modem. "ATI9" names its country by
// number; "AT&&F" (command variant 0) and "AT&&W" (variant 1) are
// accepted; "ATI5" starts with the flash type letter and carries "RRFL"
// with the size marker ",40," and the flash code after it; the
// flash-information commands "AT&&FFL" and "AT&&WFL" answer the code before
// the size marker.
#include "sim/SimDeviceFamilies.h"

void sim_ApplyLucent(SimDeviceConfig* pConfig)
{
    sim_AddDefaultReply(pConfig, "ATI", {"LV5600 V.90 Data/Fax Modem", "Version 1.23"});
    sim_AddDefaultReply(pConfig, "ATI2", {"LV5600"});
    sim_AddDefaultReply(pConfig, "ATI1", {"1.23", "Checksum 33D0", "PTT HOLLAND", ""});
    sim_AddDefaultReply(pConfig, "ATI9", {"7"});
    sim_AddDefaultReply(pConfig, "AT&&F", {});
    sim_AddDefaultReply(pConfig, "AT&&W", {});
    sim_AddDefaultReply(pConfig, "ATI5", {"U 05 RRFL,40,12AB"});
    sim_AddDefaultReply(pConfig, "AT&&FFL", {"12AB,40,"});
    sim_AddDefaultReply(pConfig, "AT&&WFL", {"12AB,40,"});
}
