#include "support/SimFixture.h"

#include "EngineSource/dbg.h"

#include <algorithm>

void SimFixture::SetUp()
{
    m_savedScale = os_TimeScale();
    os_SetTimeScale(kTestScale);
    m_port.hFile = -1;
    dbg_SetLogging(true);
    dbg_OpenLogPath(m_dir.file("log.txt").c_str());
    ASSERT_FALSE(m_ports.dir().empty());
    m_ports.exportPorts();
}

void SimFixture::TearDown()
{
    urs_ClosePort(&m_port);
    m_ports.stopAll();
    dbg_CloseLog();
    dbg_SetLogging(false);
    os_SetTimeScale(m_savedScale);
}

SimDevice* SimFixture::addFamily(int nPort, const std::string& family, const SimSettings& settings,
                                 const SimAtBoot* pBoot)
{
    std::string error;
    m_pDevice = test_AddDevice(&m_ports, nPort, family, settings, pBoot, &m_config, &error);
    EXPECT_NE(m_pDevice, nullptr) << error;
    return m_pDevice;
}

SimDevice* SimFixture::addDevice(int nPort, bool bEcho)
{
    return addFamily(nPort, "modem", bEcho ? SimSettings() : SimSettings{{"echo", "0"}});
}

void SimFixture::openPort(int nPort, uint32_t nBaud)
{
    ASSERT_EQ(urs_OpenPort(&m_port, comDevice(nPort).c_str()), urs_kOk) << log();
    if (nBaud != 0) {
        ASSERT_EQ(urs_SetUart(&m_port, nBaud, urs_kDataBits8, urs_kParityNone, urs_kStopBits1, urs_kFlowNone),
                  urs_kOk)
            << log();
    }
}

std::string SimFixture::log() const
{
    dbg_FlushLog();
    return m_dir.read("log.txt");
}

std::string SimFixture::takeLog()
{
    std::string all = log();
    std::string fresh = all.substr(m_nLogTaken < all.size() ? m_nLogTaken : all.size());
    m_nLogTaken = all.size();
    return fresh;
}

double SimFixture::scaleFor(int64_t nShortestMs)
{
    return std::max(kTestScale, kMinWindowRealMs / static_cast<double>(nShortestMs));
}

int64_t SimFixture::roomMs() { return static_cast<int64_t>(kRoomRealMs / os_TimeScale()); }

SimDevice* test_AddDevice(SimPortSet* pPorts, int nPort, const std::string& family, const SimSettings& settings,
                          const SimAtBoot* pBoot, SimDeviceConfig* pConfig, std::string* pError)
{
    *pConfig = sim_DeviceConfig(nPort, family);
    if (pBoot != nullptr)
        pBoot->install(pConfig);
    for (const auto& setting : settings) {
        if (!sim_ApplySetting(pConfig, setting.first, setting.second, pError))
            return nullptr;
    }
    return pPorts->add(*pConfig, pError);
}

std::string comDevice(int nPort) { return "\\\\.\\COM" + std::to_string(nPort); }
