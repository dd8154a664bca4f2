// The boot code of an AT-protocol modem, played as a protocol mode: "AT*FS\r"
// starts it at 19200 baud; it answers "U" to the first "M" probe, a speed letter
// to "D", "OK" to the baud code (and then listens at that rate), echoes its
// command lines, gives its version to "ATI1\r", answers "ATDPOFF\r" and
// "ATN\r", takes blocks after "ATFLP\r" ("G", 5-byte header, data, XOR
// checksum, then "OK" or "ERROR") and hands the line back to the modem's
// command layer after "ATFLEND\r". It keeps the programmed image (address
// -> byte) across runs, and can be told to misbehave.
//
// Bytes that arrive at another rate than the boot code listens at are lost
// (and counted), as on a real line. With input pacing on, every reply waits
// until the bytes before it would have crossed the line at the host's rate,
// so a block costs its line time even on a pseudo-terminal.
//
// Configuration key (sim/SimConfig.h): "atboot = on" for the defaults, or a
// list of name=value words separated by blanks:
//     version=1.07      text sent as the version ("ERROR": refused)
//     speed=K           answer to "D" (J, K, M, L, ...; none: silent)
//     wake=U            answer to "M" (none: the boot code never wakes)
//     baud=OK           answer to the baud code: OK, ERROR or none
//     echo=1            echo of command lines (0: none)
//     versionok=1       "OK" after the version (0: none)
//     dpoff=OK          answer to "ATDPOFF\r": OK, ERROR or none
//     n=OK              answer to "ATN\r": OK, ERROR or none
//     bootonly=1        the device runs only its boot code: "ATFLP",
//                       "ATDPOFF" and "ATN" start the mode directly
//     pace=1            input pacing (0: replies at once)
//     noise=1           line noise (the bytes 0x80 to 0xFF) before each
//                       answer, the speed letter excepted
//     errorblock=3      block 3 (counted from 1) is answered ERROR ...
//     errors=2          ... this many times (default 1)
//     nogo=3            the 3rd block's "ATFLP\r" gets no "G"
//     silentafter=3     after block 3's bytes the boot code answers nothing
//     dropafter=3       after block 3's bytes the line drops
//     image=PATH        the image is written there (Intel HEX) at "ATFLEND"
// e.g. "COM3:modem,atboot=version=1.07 speed=K errorblock=2 errors=3".
#ifndef NORVANE_SIM_SIMATBOOT_H
#define NORVANE_SIM_SIMATBOOT_H

#include "sim/SimConfig.h"
#include "sim/SimProtocol.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct SimAtBootConfig {
    std::string version = "2.01";   // sent after the echo of "ATI1\r"; "ERROR" refuses
    char cSpeed = 'M';              // answer to "D"; 0 for none
    char cWake = 'U';               // answer to "M"; 0 for none
    std::string baudResult = "OK";  // final result of a valid baud code; empty for none
    bool bEcho = true;              // command lines are echoed
    bool bVersionOk = true;         // "OK" follows the version
    std::string dpOffResult = "OK"; // final result of "ATDPOFF\r"; empty for none
    std::string nResult = "OK";     // final result of "ATN\r"; empty for none
    bool bBootOnly = false;         // the boot code's commands start the mode directly
    bool bPaceInput = true;         // replies wait for the line time of the bytes before them
    bool bNoise = false;            // line noise before each answer but the speed letter
    int nErrorBlock = 0;            // block (from 1) answered "ERROR"; 0 none
    int nErrorTimes = 1;            // how often that block is refused
    int nNoGoBlock = 0;             // block whose "ATFLP\r" gets no "G"; 0 none
    int nSilentAfter = 0;           // silent after this block's bytes; 0 never
    int nDropAfter = 0;             // drops the line after this block's bytes; 0 never
    std::string imagePath;          // image written here at "ATFLEND\r"; empty: not written
};

// Parses the value of the "atboot" key. False with *pError set when a word
// is not valid.
bool sim_ParseAtBoot(const std::string& value, SimAtBootConfig* pConfig, std::string* pError);

// A boot code and the flash behind it. Copies share one device's state; the
// modes it installs run on the device's thread, the queries may come from
// any thread.
class SimAtBoot {
public:
    explicit SimAtBoot(const SimAtBootConfig& config = SimAtBootConfig());

    // Makes "AT*FS" (and with bBootOnly "ATFLP", "ATDPOFF" and "ATN") start
    // the boot code on the device.
    void install(SimDeviceConfig* pConfig) const;

    // The programmed image: every byte of every accepted block.
    std::map<uint32_t, uint8_t> image() const;
    // The image as an Intel HEX file; false when it cannot be written.
    bool writeImage(const std::string& path) const;
    // Blocks accepted, in order: (address, length).
    std::vector<std::pair<uint32_t, uint32_t>> blocks() const;
    // Blocks answered "ERROR".
    int refusals() const;
    // Bytes lost because the host sent at another rate than the boot code's.
    int rateErrors() const;
    // The rate the boot code listens at (0 before "AT*FS\r" or when started
    // by bBootOnly).
    uint32_t lineRate() const;
    // "ATFLEND\r" runs seen.
    int finishedRuns() const;

    struct State;

private:
    // One field of the state, read under its lock.
    template <class T>
    T read(T State::*pField) const;

    std::shared_ptr<State> m_pState;   // shared with the modes
};

// Applies the "atboot" setting to a device record: parses it and installs
// a boot code. False with *pError set when the value is not valid.
bool sim_ApplyAtBoot(SimDeviceConfig* pConfig, const std::string& value, std::string* pError);

#endif
