// The program's command line: one-letter options that choose the wizard's
// mode (normal, single port, developers), the update's options and the
// single port's model, port, firmware file and baud rate. The wizard and
// the headless front end share this parser, so an option means the same in
// both.
#ifndef NORVANE_WIZARD_WIZARDCOMMANDLINE_H
#define NORVANE_WIZARD_WIZARDCOMMANDLINE_H

#include "model/ModelKey.h"

#include <cstdint>
#include <string>

// Option waiting for its value in the next argument.
constexpr int32_t cmd_kPendingNone = 0;
constexpr int32_t cmd_kPendingModel = 1;     // M
constexpr int32_t cmd_kPendingPort = 2;      // P
constexpr int32_t cmd_kPendingHexFile = 3;   // F
constexpr int32_t cmd_kPendingBaud = 4;      // R

// Name of the model a run without M uses for the single port.
constexpr const char* cmd_kDefaultModel = "QBX7720";

class CWizardCommandLineInfo {
public:
    // One argument: the text without its flag prefix when bFlag is set.
    // A pending option takes the whole text as its value first; a flag then
    // clears what is pending and, when it is exactly one known letter (either
    // case), applies it: B, C, D, H, S, W set their member, V toggles, M, P,
    // F, R make their value pending. Anything else is ignored. bLast does
    // not change the outcome: a value-taking option that is last simply
    // never gets its value.
    void ParseParam(const char* pszParam, bool bFlag, bool bLast);

    bool m_bLog = false;              // D: write the debug log log.txt
    bool m_bCountryChoice = false;    // W: the model page offers countries instead of ports
    bool m_bShowResults = true;       // S: the progress page ends with Next to the status page
    int32_t m_nBootCode = 0;          // B: look for .HXB files and rewrite the boot code too
    bool m_bForceBoot = false;        // H: treat every device as running only its boot code
    bool m_bDevelopers = false;       // V (toggles): the developers' page instead of detection
    bool m_bForceLoader = false;      // C: download the flash loader first, skip the check
    ModelKey m_Model;                 // M: device type of the single port
    std::string m_strPort;            // P: the single port ("COM3"); empty watches all ports
    std::string m_strHexFile = "SORTED.HEX";  // F: firmware file of the single port
    int32_t m_nBaud = 38400;          // R: baud rate of every watched port's update
    int32_t m_nPending = cmd_kPendingNone;
};

// Splits argv[1..argc-1] the Linux way and hands each argument to
// ParseParam: "-" starts a flag (the rest is its text); "/" starts one only
// when exactly one letter follows, so that absolute paths stay values.
void WizardCommandLine_Parse(CWizardCommandLineInfo* pInfo, int argc, const char* const* argv);

#endif
