// The device families the simulator plays for identification, each in its
// own source file: a modem of the AT-protocol families, an ISDN terminal
// adapter, a Lucent-based and a Rockwell-based modem. Each adds its
// default replies to a device record (never replacing a reply the record
// already configures); the configuration keys that tune them are listed
// in SimConfig.h.
#ifndef NORVANE_SIM_SIMDEVICEFAMILIES_H
#define NORVANE_SIM_SIMDEVICEFAMILIES_H

#include "sim/SimConfig.h"

#include <string>
#include <vector>

// Adds a reply to a command (upper-case text without CR) unless the record
// already configures one.
void sim_AddDefaultReply(SimDeviceConfig* pConfig, const std::string& command, std::vector<std::string> lines,
                         const std::string& result = "OK");

// Family "atmodem": the KV3360 of the AT-protocol families.
void sim_ApplyAtModem(SimDeviceConfig* pConfig);
// Family "ta": the QBXHP-TA ISDN terminal adapter.
void sim_ApplyTerminalAdapter(SimDeviceConfig* pConfig);
// Family "lucent": the Lucent-based LV5600.
void sim_ApplyLucent(SimDeviceConfig* pConfig);
// Family "rockwell": the Rockwell-based RW3360 (variant "-SP").
void sim_ApplyRockwell(SimDeviceConfig* pConfig);

#endif
