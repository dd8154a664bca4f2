// norvane-cli's own long options and its list of ports. The one-letter
// options are the wizard's (wizard/WizardCommandLine.h): every argument
// that is not a long option is handed to that parser, in order.
#ifndef NORVANE_CLI_CLIOPTIONS_H
#define NORVANE_CLI_CLIOPTIONS_H

#include <string>
#include <utility>
#include <vector>

// Exit codes of norvane-cli besides the wizard's error codes (0 no error,
// 1 cancelled, 2 no firmware files, 3 no valid devices, 9 identification
// time-out, 100 no fitting file for a type, 101 no device selected).
constexpr int cli_kExitDevicesFailed = 10;   // the update ran and some device failed
constexpr int cli_kExitUsage = 64;           // the command line is wrong
constexpr int cli_kExitReport = 74;          // the JSON report could not be written
constexpr int cli_kExitModels = 78;          // Models.ini missing or of a wrong version

struct CliOptions {
    bool bList = false;                  // --list: identify and list, flash nothing
    bool bListPorts = false;             // --list-ports: print the port map
    bool bYes = false;                   // --yes: every type with its newest fitting file
    bool bHelp = false;                  // --help
    bool bVersion = false;               // --version
    std::vector<std::pair<std::string, std::string>> types;  // --type NAME=FILE, in order
    std::vector<std::string> ports;      // --ports, expanded: "COM3", "/dev/ttyUSB0"
    std::string jsonPath;                // --json FILE; empty: no report
    std::vector<std::string> wizardArgs; // the other arguments, for the one-letter parser
};

// Reads argv[1..argc-1]. A long option takes its value from the next
// argument or after "=" ("--json=r.json"). Returns an empty text, or what
// is wrong with the command line.
std::string Cli_ParseOptions(int argc, const char* const* argv, CliOptions* pOptions);

// Expands a list of ports such as "COM1,COM3-6,/dev/ttyUSB0" (items split
// at commas, spaces around them dropped; "COMa-b" and "COMa-COMb" are
// ranges; letter case of "COM" is free; numbers 1 to 36) into port names
// ("COM1", "COM3", ..., "/dev/ttyUSB0"), each once, in the order given.
// Returns an empty text, or what is wrong with the list.
std::string Cli_ParsePortList(const std::string& list, std::vector<std::string>* pPorts);

#endif
