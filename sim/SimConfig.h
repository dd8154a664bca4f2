// Configuration of simulated devices: one record per device, the device
// families, the configuration file and the one-off device specifications
// of the command line.
//
// Configuration file (one section per device, "#" starts a comment line):
//
//     [COM3]
//     family = lucent             # a family of sim_FamilyNames(); its
//                                 # defaults replace those of the family
//                                 # before (a section starts as "modem"),
//                                 # replies set by keys stay
//     echo = 1                    # echo at power-on (E1); 0 for E0
//     pacing = 1                  # pace output to the host's baud rate
//     reply.ATI = Line one\nLine two    # information lines of a command
//     result.AT&&F = ERROR        # its final result code ("none": no code)
//     raw.ATI1 = \r\n1.07\r\nOK\r\n     # the exact bytes of the reply
//     silent = 0                  # 1: never answers, not even the echo
//     late = 250                  # replies start this many ms late
//     garbage = 3                 # noise bytes sent before every reply
//     ff = 2                      # 0xFF bytes sent before every reply
//     stopafter = 4               # answers 4 commands, then stays silent
//     dropafter = 4               # answers 4 commands, then drops the line
//     atboot = on                 # AT-protocol boot code (sim/SimAtBoot.h)
//     inputpacing = 1             # take the host's bytes no faster than its baud rate
//
// Flash loaders (sim/SimLucentLoader.h, sim/SimRockwellLoader.h), on top of
// any family:
//
//     lucentloader = 4.4          # a Lucent flash loader announcing "Ver:4.4"
//                                 # ("none": no version): "AT&&FGO"/"AT&&WGO"
//                                 # start it, "at&&f:..."/"at&&w:..." lines
//                                 # download it, then it takes firmware lines
//     lucentloader.start = error  # answer to the start command: ok, error,
//                                 # none; "@ms" answers late ("ok@3000")
//     lucentloader.line3 = nok2*4 # answer to firmware line 3 (from 1): ok,
//                                 # nok1..nok4, none, error; "@ms" late;
//                                 # "*n" for its first n receptions (default 1);
//                                 # answers in turn: "nok2,none*4"
//     lucentloader.loader2 = none*3   # the same for loader line 2
//     lucentloader.stray3 = nok2@200  # a stray reply after line 3's first answer
//     lucentloader.noise = on     # the bytes 0x80 to 0xFF before every reply
//     rockwellloader = announce   # a Rockwell boot loader answering every
//                                 # step with its announcement ("ok": with
//                                 # "OK"): "AT**" starts the download; also
//                                 # sets inputpacing (it stands for CTS)
//     rockwellloader.initiated = ok   # one step's answer: announce, ok or
//     rockwellloader.flashcode = none # none; "@ms" answers late
//     rockwellloader.programmed = announce@500
//     rockwellloader.noise = on   # the bytes 0x80 to 0xFF before each answer
//
// A raw reply replaces the formatted one (information lines and result
// code); the echo of the command line still comes first while echo is on,
// so a script that owns every byte sets echo = 0 and writes the echo into
// the raw reply. Values take the escapes of sim_Unescape. Command keys are
// the command text without its carriage return, compared without regard to
// letter case.
// A one-off specification is "COM3:family" optionally followed by
// ",key=value" pairs with the same keys ("COM3:modem,late=200,echo=0"); a
// comma inside a value is written \x2c there.
//
// Families and the replies that tune them (a command with neither a reply
// nor E, V, Q or Z settings answers ERROR; "AT&&F" and its relatives are
// whole commands, never settings):
//
//   modem     ATI: one line naming no model.
//   atmodem   a modem of the AT-protocol families (KV3360):
//               reply.ATI  = KV3360 V.34 Data/Fax Modem\nVersion 3.10
//               reply.ATI2 = KV3360
//               reply.ATI1 = 3.10\nChecksum 8E41\nPTT GERMAN\n
//                            (version, skipped line, country, special build)
//             A device that answers only ATI2 and ATI1 sets reply.ATI to a
//             line without model and version (e.g. "Modem").
//   ta        an ISDN terminal adapter (QBXHP-TA); ATI, ATI2 and ATI1 as
//             atmodem for its own model, plus
//               reply.AT%I = 0          (a non-zero number: not ready;
//                                        result.AT%I = ERROR: refused)
//   lucent    a Lucent-based modem (LV5600); ATI, ATI2, ATI1 likewise, plus
//               reply.ATI9    = 7                   (country number or name)
//               result.AT&&F  = OK                  (ERROR: variant 0 refused)
//               result.AT&&W  = OK                  (ERROR: variant 1 refused)
//               reply.ATI5    = U 05 RRFL,40,12AB   (type letter first; with
//                               "RRFL" the code follows ",40," or ",10,")
//               reply.AT&&FFL = 12AB,40,            (code before the marker;
//               reply.AT&&WFL = 12AB,40,             result ERROR: refused)
//   rockwell  a Rockwell-based modem (RW3360); ATI2 and ATI1 likewise, plus
//               reply.ATI  = RW3360                 (no version: ATI1 is asked)
//               reply.ATI3 = 2.17-SP                (version-suffix)
//               reply.ATI5 = 22                     (country number)
#ifndef NORVANE_SIM_SIMCONFIG_H
#define NORVANE_SIM_SIMCONFIG_H

#include "sim/SimProtocol.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class SimLucentLoader;
class SimRockwellLoader;

// The answer to one command.
struct SimReply {
    std::vector<std::string> lines;   // information lines, sent before the result
    std::string result = "OK";        // final result code; empty: none
    bool bRaw = false;                // true: send raw instead of lines and result
    std::string raw;                  // the exact bytes of a raw reply
};

// Ways a device can be told to misbehave.
struct SimMisbehaviour {
    bool bSilent = false;    // never answers, not even the echo
    int nLateMs = 0;         // replies start this late (runtime clock)
    int nGarbage = 0;        // noise bytes sent before every reply
    int nFfBytes = 0;        // 0xFF bytes sent before every reply
    int nStopAfter = -1;     // answers this many commands, then silent; -1 never
    int nDropAfter = -1;     // answers this many commands, then drops the line; -1 never
};

struct SimDeviceConfig {
    int nPort = 0;                                   // n of the link COMn
    std::string family = "modem";                    // the family applied
    bool bEcho = true;                               // echo at power-on and after ATZ
    bool bPacing = true;                             // pace output to the host's baud rate
    std::map<std::string, SimReply> replies;         // upper-cased command -> reply
    std::map<std::string, SimProtocolFactory> protocols;  // upper-cased command (or prefix + '*') -> mode
    SimMisbehaviour misbehaviour;                    // what goes wrong on purpose
    bool bPaceInput = false;                         // read the host's bytes at its line rate
    std::shared_ptr<SimLucentLoader> pLucent;        // Lucent loader and its record (copies share it)
    std::shared_ptr<SimRockwellLoader> pRockwell;    // Rockwell loader and its record (copies share it)
};

// Names of the families a device can be given.
std::vector<std::string> sim_FamilyNames();

// Sets the family and applies its defaults (replies, protocol modes) to the
// record. False, record unchanged, when the family is unknown.
bool sim_ApplyFamily(SimDeviceConfig* pConfig, const std::string& family);

// A device of the family on COMn with the family's defaults.
SimDeviceConfig sim_DeviceConfig(int nPort, const std::string& family = "modem");

// Applies one "key = value" setting of a device. False with *pError set when
// the key or value is not valid.
bool sim_ApplySetting(SimDeviceConfig* pConfig, const std::string& key, const std::string& value,
                      std::string* pError);

// Parses "COMn:family[,key=value...]". False with *pError set on an error.
bool sim_ParseDeviceSpec(const std::string& spec, SimDeviceConfig* pConfig, std::string* pError);

// Parses the text of a configuration file into device records (appended).
// False with *pError naming the line on an error.
bool sim_ParseConfig(const std::string& text, std::vector<SimDeviceConfig>* pDevices, std::string* pError);

// Reads and parses a configuration file.
bool sim_LoadConfig(const std::string& path, std::vector<SimDeviceConfig>* pDevices, std::string* pError);

#endif
