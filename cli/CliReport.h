// What norvane-cli shows and writes: the live progress line of a port, the
// results table, and the JSON report of a run.
#ifndef NORVANE_CLI_CLIREPORT_H
#define NORVANE_CLI_CLIREPORT_H

#include "wizard/UpdateCoordinator.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// One identified port in the report.
struct CliPortReport {
    std::string sPort;            // "COM3"
    std::string sNode;            // device node it stands for; may be empty
    int32_t nStatus = devid_kIdentified;  // identification status
    std::string sModel;           // identification texts, as the device gave them
    std::string sVersion;
    std::string sCountry;
    std::string sSpecialBuild;
    std::string sType;            // device type shown (ModelKey_DisplayName)
    bool bUpdated = false;        // the port took part in the update
    std::string sFile;            // firmware file (when updated)
    int32_t nResult = flsh_cRunning;      // FlashResult (when updated)
    std::string sResultText;      // its text
    std::string sStart;           // start and end of its update, UTC, ISO 8601
    std::string sEnd;
};

struct CliReport {
    std::vector<CliPortReport> ports;      // identified ports, in port order
    std::vector<PortProblem> problems;     // ports that could not be opened
    bool bUpdated = false;                 // an update ran: the summary counts
    int32_t nSucceeded = 0;
    int32_t nTotal = 0;
    int32_t nError = 0;                    // the wizard's error code
    std::string sErrorText;                // its message
    int nExit = 0;                         // the process's exit code
};

// The summary line of the status page: "%d of %d devices were updated
// successfully".
std::string Cli_Summary(int32_t nSucceeded, int32_t nTotal);

// A text as a JSON string, quotes included. Control characters, quotes and
// backslashes are escaped; bytes above 0x7F (device texts are not UTF-8)
// are written as \u00XX.
std::string Cli_JsonQuote(const std::string& text);

// The report as a JSON document (see the README for its fields).
std::string Cli_ReportJson(const CliReport& report);

// A moment as "2024-05-01T12:34:56.789Z".
std::string Cli_Iso8601(int64_t nUnixMs);

// One port's progress line: port, model, a bar of 20 places, percentage
// and status text, in fixed columns ("COM3   QBX7720   [#####...]  25%
// Programming"); percentages are held to 0..100.
std::string Cli_ProgressLine(const std::string& port, const std::string& model, int32_t nPercent,
                             const std::string& text);

// The results table of the status page: the columns "Port", "Model" and
// "Status", one line per row (each row: port, model, status text).
std::string Cli_ResultsTable(const std::vector<std::vector<std::string>>& rows);

#endif
