// norvane-cli's long options and its list of ports.
#include "cli/CliOptions.h"

#include "EngineSource/OSWIN32.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

constexpr int kHighestCom = 36;

std::string trimmed(const std::string& text)
{
    size_t nFirst = text.find_first_not_of(" \t");
    if (nFirst == std::string::npos)
        return "";
    return text.substr(nFirst, text.find_last_not_of(" \t") - nFirst + 1);
}

// "COM<n>" or "<n>" with n from 1 to 36; 0 for anything else.
int comNumber(const std::string& text)
{
    std::string digits = text;
    if (digits.size() > 3 && gn_StrniCmp(digits.c_str(), "COM", 3) == 0)
        digits = digits.substr(3);
    if (digits.empty() || digits.size() > 2 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
        return 0;
    int n = atoi(digits.c_str());
    return n >= 1 && n <= kHighestCom ? n : 0;
}

void addOnce(std::vector<std::string>* pPorts, const std::string& port)
{
    if (std::find(pPorts->begin(), pPorts->end(), port) == pPorts->end())
        pPorts->push_back(port);
}

}  // namespace

std::string Cli_ParsePortList(const std::string& list, std::vector<std::string>* pPorts)
{
    size_t nStart = 0;
    for (;;) {
        size_t nComma = list.find(',', nStart);
        std::string item = trimmed(list.substr(nStart, nComma == std::string::npos ? nComma : nComma - nStart));
        if (item.empty())
            return "empty item in the port list \"" + list + "\"";
        if (item[0] == '/') {
            addOnce(pPorts, item);
        } else {
            size_t nDash = item.find('-');
            int nFirst = comNumber(item.substr(0, nDash));
            int nLast = nDash == std::string::npos ? nFirst : comNumber(item.substr(nDash + 1));
            if (nFirst == 0 || nLast == 0)
                return "\"" + item + "\" is neither COM1 to COM36, a range such as COM3-6, nor a device path";
            if (nLast < nFirst)
                return "the range \"" + item + "\" runs backwards";
            for (int n = nFirst; n <= nLast; ++n)
                addOnce(pPorts, "COM" + std::to_string(n));
        }
        if (nComma == std::string::npos)
            return "";
        nStart = nComma + 1;
    }
}

std::string Cli_ParseOptions(int argc, const char* const* argv, CliOptions* pOptions)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.compare(0, 2, "--") != 0 || arg == "--") {
            pOptions->wizardArgs.push_back(arg);
            continue;
        }
        size_t nEquals = arg.find('=');
        std::string name = arg.substr(0, nEquals);
        bool bInline = nEquals != std::string::npos;
        std::string value = bInline ? arg.substr(nEquals + 1) : "";

        bool* pFlag = name == "--list"         ? &pOptions->bList
                      : name == "--list-ports" ? &pOptions->bListPorts
                      : name == "--yes"        ? &pOptions->bYes
                      : name == "--help"       ? &pOptions->bHelp
                      : name == "--version"    ? &pOptions->bVersion
                                               : nullptr;
        if (pFlag != nullptr) {
            if (bInline)
                return name + " takes no value";
            *pFlag = true;
            continue;
        }
        if (name != "--type" && name != "--ports" && name != "--json")
            return "unknown option " + name;
        if (!bInline) {
            if (i + 1 >= argc)
                return name + " needs a value";
            value = argv[++i];
        }
        if (name == "--json") {
            if (value.empty())
                return "--json needs a file name";
            pOptions->jsonPath = value;
        } else if (name == "--ports") {
            std::string error = Cli_ParsePortList(value, &pOptions->ports);
            if (!error.empty())
                return error;
        } else {
            size_t nSplit = value.find('=');
            if (nSplit == 0 || nSplit == std::string::npos || nSplit + 1 == value.size())
                return "--type needs NAME=FILE, not \"" + value + "\"";
            pOptions->types.emplace_back(trimmed(value.substr(0, nSplit)), trimmed(value.substr(nSplit + 1)));
        }
    }
    return "";
}
