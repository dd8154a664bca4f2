// A set of simulated devices in one ports folder.
#include "sim/SimPortSet.h"

#include <unistd.h>

#include <cstdlib>

SimPortSet::SimPortSet()
{
    const char* pszBase = getenv("TMPDIR");
    std::string pattern = std::string(pszBase != nullptr && *pszBase ? pszBase : "/tmp") + "/norvane-ports-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        m_dir = pattern;
        m_bOwnDir = true;
    }
}

SimPortSet::SimPortSet(const std::string& dir) : m_dir(dir) {}

SimPortSet::~SimPortSet()
{
    stopAll();
    if (m_bExported) {
        if (m_bHadPorts)
            setenv("NORVANE_PORTS", m_previousPorts.c_str(), 1);
        else
            unsetenv("NORVANE_PORTS");
    }
    if (m_bOwnDir)
        rmdir(m_dir.c_str());
}

SimDevice* SimPortSet::add(const SimDeviceConfig& config, std::string* pError)
{
    if (m_dir.empty() || config.nPort <= 0 || device(config.nPort) != nullptr) {
        if (pError != nullptr)
            *pError = "COM" + std::to_string(config.nPort) + " cannot be added";
        return nullptr;
    }
    auto pDevice = std::make_unique<SimDevice>(config, m_dir);
    if (!pDevice->start(pError))
        return nullptr;
    m_devices.push_back(std::move(pDevice));
    return m_devices.back().get();
}

bool SimPortSet::addModems(int nFirst, int nCount, std::string* pError)
{
    for (int i = 0; i < nCount; ++i) {
        if (add(sim_DeviceConfig(nFirst + i), pError) == nullptr)
            return false;
    }
    return true;
}

SimDevice* SimPortSet::device(int nPort) const
{
    for (const auto& pDevice : m_devices) {
        if (pDevice->port() == nPort)
            return pDevice.get();
    }
    return nullptr;
}

void SimPortSet::exportPorts()
{
    if (!m_bExported) {
        const char* pszPrevious = getenv("NORVANE_PORTS");
        m_bHadPorts = pszPrevious != nullptr;
        m_previousPorts = pszPrevious != nullptr ? pszPrevious : "";
        m_bExported = true;
    }
    setenv("NORVANE_PORTS", m_dir.c_str(), 1);
}

void SimPortSet::stopAll()
{
    for (auto& pDevice : m_devices)
        pDevice->stop();
    m_devices.clear();
}
