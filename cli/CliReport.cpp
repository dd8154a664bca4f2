// What norvane-cli shows and writes: progress lines, the results table and
// the JSON report.
#include "cli/CliReport.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kBarWidth = 20;

std::string padded(const std::string& text, size_t nWidth)
{
    return text.size() >= nWidth ? text + " " : text + std::string(nWidth - text.size(), ' ');
}

std::string jsonOrNull(bool bPresent, const std::string& json) { return bPresent ? json : "null"; }

}  // namespace

std::string Cli_Summary(int32_t nSucceeded, int32_t nTotal)
{
    char szLine[96];
    snprintf(szLine, sizeof szLine, "%d of %d devices were updated successfully", static_cast<int>(nSucceeded),
             static_cast<int>(nTotal));
    return szLine;
}

std::string Cli_JsonQuote(const std::string& text)
{
    std::string json = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\r') {
            json += "\\r";
        } else if (c == '\t') {
            json += "\\t";
        } else if (byte < 0x20 || byte > 0x7E) {
            char szEscape[8];
            snprintf(szEscape, sizeof szEscape, "\\u%04x", byte);
            json += szEscape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string Cli_Iso8601(int64_t nUnixMs)
{
    time_t nSeconds = static_cast<time_t>(nUnixMs / 1000);
    struct tm parts;
    gmtime_r(&nSeconds, &parts);
    char szTime[40];
    size_t nLength = strftime(szTime, sizeof szTime, "%Y-%m-%dT%H:%M:%S", &parts);
    snprintf(szTime + nLength, sizeof szTime - nLength, ".%03dZ", static_cast<int>(nUnixMs % 1000));
    return szTime;
}

std::string Cli_ReportJson(const CliReport& report)
{
    std::string json = "{\n  \"ports\": [";
    for (size_t n = 0; n < report.ports.size(); ++n) {
        const CliPortReport& port = report.ports[n];
        json += n == 0 ? "\n" : ",\n";
        json += "    {\"port\": " + Cli_JsonQuote(port.sPort) + ", \"device\": " + Cli_JsonQuote(port.sNode) + ",\n";
        json += "     \"identification\": {\"status\": " + std::to_string(port.nStatus) +
                ", \"model\": " + Cli_JsonQuote(port.sModel) + ", \"version\": " + Cli_JsonQuote(port.sVersion) +
                ", \"country\": " + Cli_JsonQuote(port.sCountry) +
                ", \"specialBuild\": " + Cli_JsonQuote(port.sSpecialBuild) + "},\n";
        json += "     \"type\": " + Cli_JsonQuote(port.sType) + ", \"updated\": " +
                (port.bUpdated ? "true" : "false") + ",\n";
        json += "     \"file\": " + jsonOrNull(port.bUpdated, Cli_JsonQuote(port.sFile)) +
                ", \"result\": " + jsonOrNull(port.bUpdated, std::to_string(port.nResult)) +
                ", \"resultText\": " + jsonOrNull(port.bUpdated, Cli_JsonQuote(port.sResultText)) + ",\n";
        json += "     \"start\": " + jsonOrNull(port.bUpdated, Cli_JsonQuote(port.sStart)) +
                ", \"end\": " + jsonOrNull(port.bUpdated, Cli_JsonQuote(port.sEnd)) + "}";
    }
    json += report.ports.empty() ? "],\n" : "\n  ],\n";
    json += "  \"unopened\": [";
    for (size_t n = 0; n < report.problems.size(); ++n) {
        const PortProblem& problem = report.problems[n];
        json += n == 0 ? "\n" : ",\n";
        json += "    {\"port\": " + Cli_JsonQuote(problem.sPort) + ", \"device\": " + Cli_JsonQuote(problem.sNode) +
                ", \"errno\": " + std::to_string(problem.nError) + ", \"reason\": " + Cli_JsonQuote(problem.sReason) +
                "}";
    }
    json += report.problems.empty() ? "],\n" : "\n  ],\n";
    json += "  \"summary\": " +
            jsonOrNull(report.bUpdated, Cli_JsonQuote(Cli_Summary(report.nSucceeded, report.nTotal))) + ",\n";
    json += "  \"succeeded\": " + jsonOrNull(report.bUpdated, std::to_string(report.nSucceeded)) +
            ", \"total\": " + jsonOrNull(report.bUpdated, std::to_string(report.nTotal)) + ",\n";
    json += "  \"errorCode\": " + std::to_string(report.nError) + ", \"errorText\": " +
            Cli_JsonQuote(report.sErrorText) + ",\n";
    json += "  \"exitCode\": " + std::to_string(report.nExit) + "\n}\n";
    return json;
}

std::string Cli_ProgressLine(const std::string& port, const std::string& model, int32_t nPercent,
                             const std::string& text)
{
    int32_t nShown = std::max<int32_t>(0, std::min<int32_t>(100, nPercent));
    int nFilled = static_cast<int>(nShown * kBarWidth / 100);
    std::string bar = "[" + std::string(static_cast<size_t>(nFilled), '#') +
                      std::string(static_cast<size_t>(kBarWidth - nFilled), '.') + "]";
    char szPercent[8];
    snprintf(szPercent, sizeof szPercent, "%3d%%", static_cast<int>(nShown));
    return padded(port, 7) + padded(model, 26) + bar + " " + szPercent + "  " + text;
}

std::string Cli_ResultsTable(const std::vector<std::vector<std::string>>& rows)
{
    size_t nPortWidth = 6;
    size_t nModelWidth = 7;
    for (const std::vector<std::string>& row : rows) {
        nPortWidth = std::max(nPortWidth, row.at(0).size() + 2);
        nModelWidth = std::max(nModelWidth, row.at(1).size() + 2);
    }
    std::string table = padded("Port", nPortWidth) + padded("Model", nModelWidth) + "Status\n";
    for (const std::vector<std::string>& row : rows)
        table += padded(row.at(0), nPortWidth) + padded(row.at(1), nModelWidth) + row.at(2) + "\n";
    return table;
}
