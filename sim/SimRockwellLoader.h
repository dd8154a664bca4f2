// A simulated Rockwell boot loader, installed on a device of any family by
// the "rockwellloader" settings (sim/SimConfig.h). "AT**" starts a
// download: the device answers "Download initiated ..\r\n", takes the boot
// loader's S-records line by line until its termination record (S7, S8 or
// S9), answers "Download flash code ..\r\n", takes the firmware's Intel HEX
// lines until the end-of-file record ":00000001FF" and answers "Device
// successfully programmed\r\n". Each of the three answers can be "OK"
// instead, nothing, or late. No line gets a reply of its own: the stream is
// paced by the line, which the device reads no faster than the host's baud
// rate allows (input pacing stands for the CTS line a pseudo-terminal lacks).
// Every line received is kept in order, split into boot-loader and firmware
// lines, so a test compares them with the files.
#ifndef NORVANE_SIM_SIMROCKWELLLOADER_H
#define NORVANE_SIM_SIMROCKWELLLOADER_H

#include "sim/SimConfig.h"
#include "sim/SimLoaderParts.h"

#include <atomic>
#include <string>
#include <vector>

struct SimRockwellSettings {
    SimLoaderAnswer initiated{SimAnswerKind::kAnnounce};    // answer to "AT**"
    SimLoaderAnswer flashCode{SimAnswerKind::kAnnounce};    // after the boot loader's termination record
    SimLoaderAnswer programmed{SimAnswerKind::kAnnounce};   // after the firmware's end-of-file record
    bool bNoise = false;                                     // each answer is preceded by line noise
};

class SimRockwellLoader {
public:
    // Change them before the device starts; the device thread reads them.
    SimRockwellSettings settings;

    // Each boot-loader line as received (CR LF included), in order.
    std::vector<std::string> bootLines() const { return m_bootLines.lines(); }
    // Each firmware line as received (CR LF included), in order.
    std::vector<std::string> firmwareLines() const { return m_firmwareLines.lines(); }
    // Downloads started ("AT**" received).
    int downloads() const { return m_nDownloads.load(); }

private:
    friend class SimRockwellMode;
    SimLineRecord m_bootLines;            // boot-loader lines received
    SimLineRecord m_firmwareLines;        // firmware lines received
    std::atomic<int> m_nDownloads{0};     // downloads started
};

// Applies one "rockwellloader" setting: command "" (the key without a dot)
// sets the answer of all three steps, "INITIATED", "FLASHCODE" or
// "PROGRAMMED" the answer of one (announce, ok or none, "@ms" late),
// "NOISE" line noise before each answer (on or off: the bytes 0x80 to
// 0xFF).
// Creates the loader on the record, installs its trigger "AT**" and turns
// input pacing on. False when the setting is not valid.
bool sim_ApplyRockwellSetting(SimDeviceConfig* pConfig, const std::string& command, const std::string& value);

#endif
