// Settings, device specifications and configuration files of the simulator.
#include "sim/SimConfig.h"

#include "sim/SimAtBoot.h"
#include "sim/SimLucentLoader.h"
#include "sim/SimRockwellLoader.h"
#include "sim/SimText.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

bool parseBool(const std::string& value, bool* pb)
{
    std::string upper = sim_Upper(value);
    if (upper == "1" || upper == "ON" || upper == "YES" || upper == "TRUE") {
        *pb = true;
        return true;
    }
    if (upper == "0" || upper == "OFF" || upper == "NO" || upper == "FALSE") {
        *pb = false;
        return true;
    }
    return false;
}

bool parseCount(const std::string& value, int* pn)
{
    if (value.empty())
        return false;
    char* pEnd = nullptr;
    errno = 0;
    long n = strtol(value.c_str(), &pEnd, 10);
    if (*pEnd != '\0' || errno != 0 || n < 0 || n > 1000000000L)
        return false;
    *pn = static_cast<int>(n);
    return true;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// "COMn" (any letter case) with n >= 1; 0 when it is not one.
int parsePortName(const std::string& name)
{
    int nPort = 0;
    if (sim_Upper(name.substr(0, 3)) != "COM" || !parseCount(name.substr(3), &nPort))
        return 0;
    return nPort;
}

bool sameReply(const SimReply& a, const SimReply& b)
{
    return a.lines == b.lines && a.result == b.result && a.bRaw == b.bRaw && a.raw == b.raw;
}

// Gives the record another family: the replies and modes the present
// family put in and nobody changed make way for the new family's defaults;
// configured ones stay. False, record unchanged, for an unknown family.
bool switchFamily(SimDeviceConfig* pConfig, const std::string& family)
{
    SimDeviceConfig next;
    if (!sim_ApplyFamily(&next, family))
        return false;
    SimDeviceConfig previous;
    if (sim_ApplyFamily(&previous, pConfig->family)) {
        for (const auto& reply : previous.replies) {
            auto found = pConfig->replies.find(reply.first);
            if (found != pConfig->replies.end() && sameReply(found->second, reply.second))
                pConfig->replies.erase(found);
        }
        for (const auto& protocol : previous.protocols)
            pConfig->protocols.erase(protocol.first);
    }
    return sim_ApplyFamily(pConfig, family);
}

}  // namespace

bool sim_ApplySetting(SimDeviceConfig* pConfig, const std::string& key, const std::string& value,
                      std::string* pError)
{
    std::string lower = key;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    size_t nDot = lower.find('.');
    std::string kind = lower.substr(0, nDot);
    std::string command = nDot == std::string::npos ? std::string() : sim_Upper(key.substr(nDot + 1));
    SimMisbehaviour& misbehaviour = pConfig->misbehaviour;
    bool bValid = true;

    if (nDot != std::string::npos && command.empty())
        bValid = false;
    else if (kind == "reply" && !command.empty())
        pConfig->replies[command].lines = splitLines(sim_Unescape(value));
    else if (kind == "result" && !command.empty())
        pConfig->replies[command].result = sim_Upper(value) == "NONE" ? std::string() : sim_Unescape(value);
    else if (kind == "raw" && !command.empty()) {
        pConfig->replies[command].bRaw = true;
        pConfig->replies[command].raw = sim_Unescape(value);
    } else if (kind == "lucentloader")
        bValid = sim_ApplyLucentSetting(pConfig, command, value);
    else if (kind == "rockwellloader")
        bValid = sim_ApplyRockwellSetting(pConfig, command, value);
    else if (!command.empty())
        bValid = false;
    else if (kind == "family")
        bValid = switchFamily(pConfig, value);
    else if (kind == "atboot")
        return sim_ApplyAtBoot(pConfig, value, pError);
    else if (kind == "echo")
        bValid = parseBool(value, &pConfig->bEcho);
    else if (kind == "pacing")
        bValid = parseBool(value, &pConfig->bPacing);
    else if (kind == "silent")
        bValid = parseBool(value, &misbehaviour.bSilent);
    else if (kind == "late")
        bValid = parseCount(value, &misbehaviour.nLateMs);
    else if (kind == "garbage")
        bValid = parseCount(value, &misbehaviour.nGarbage);
    else if (kind == "ff")
        bValid = parseCount(value, &misbehaviour.nFfBytes);
    else if (kind == "stopafter")
        bValid = parseCount(value, &misbehaviour.nStopAfter);
    else if (kind == "dropafter")
        bValid = parseCount(value, &misbehaviour.nDropAfter);
    else if (kind == "inputpacing")
        bValid = parseBool(value, &pConfig->bPaceInput);
    else
        bValid = false;

    if (!bValid && pError != nullptr)
        *pError = "invalid setting " + key + " = " + value;
    return bValid;
}

bool sim_ParseDeviceSpec(const std::string& spec, SimDeviceConfig* pConfig, std::string* pError)
{
    size_t nColon = spec.find(':');
    int nPort = parsePortName(spec.substr(0, nColon));
    if (nPort == 0) {
        if (pError != nullptr)
            *pError = "a device is COMn:family[,key=value...], not " + spec;
        return false;
    }
    std::string rest = nColon == std::string::npos ? std::string("modem") : spec.substr(nColon + 1);
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(rest);
    while (std::getline(in, part, ','))
        parts.push_back(part);

    SimDeviceConfig config = sim_DeviceConfig(nPort, "modem");
    std::string family = parts.empty() || parts[0].empty() ? std::string("modem") : parts[0];
    if (!sim_ApplySetting(&config, "family", family, pError))
        return false;
    for (size_t i = 1; i < parts.size(); ++i) {
        size_t nEquals = parts[i].find('=');
        if (nEquals == std::string::npos) {
            if (pError != nullptr)
                *pError = "expected key=value, not " + parts[i];
            return false;
        }
        if (!sim_ApplySetting(&config, sim_Trim(parts[i].substr(0, nEquals)), sim_Trim(parts[i].substr(nEquals + 1)),
                              pError))
            return false;
    }
    *pConfig = config;
    return true;
}

bool sim_ParseConfig(const std::string& text, std::vector<SimDeviceConfig>* pDevices, std::string* pError)
{
    std::vector<SimDeviceConfig> devices;
    std::istringstream in(text);
    std::string line;
    int nLine = 0;
    auto fail = [&](const std::string& why) {
        if (pError != nullptr)
            *pError = "line " + std::to_string(nLine) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++nLine;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string trimmed = sim_Trim(line);
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        if (trimmed[0] == '[') {
            if (trimmed.back() != ']')
                return fail("a section is [COMn]");
            int nPort = parsePortName(trimmed.substr(1, trimmed.size() - 2));
            if (nPort == 0)
                return fail("a section is [COMn]");
            devices.push_back(sim_DeviceConfig(nPort));
            continue;
        }
        size_t nEquals = trimmed.find('=');
        if (nEquals == std::string::npos)
            return fail("expected key = value");
        if (devices.empty())
            return fail("a setting before the first [COMn]");
        std::string why;
        if (!sim_ApplySetting(&devices.back(), sim_Trim(trimmed.substr(0, nEquals)),
                              sim_Trim(trimmed.substr(nEquals + 1)), &why))
            return fail(why);
    }
    pDevices->insert(pDevices->end(), devices.begin(), devices.end());
    return true;
}

bool sim_LoadConfig(const std::string& path, std::vector<SimDeviceConfig>* pDevices, std::string* pError)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (pError != nullptr)
            *pError = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return sim_ParseConfig(text.str(), pDevices, pError);
}
