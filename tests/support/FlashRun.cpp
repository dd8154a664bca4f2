#include "support/FlashRun.h"

#include "EngineSource/OSWIN32.h"
#include "sim/SimHexImage.h"
#include "sim/SimLucentLoader.h"
#include "sim/SimRockwellLoader.h"
#include "support/SysCallFaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>

#include <fstream>
#include <iterator>
#include <optional>

int32_t EventRecorder::callback(void* pRecorder, int32_t nEvent, int32_t a, uint32_t)
{
    EventRecorder* pSelf = static_cast<EventRecorder*>(pRecorder);
    int64_t nPauseMs = 0;
    bool bStopped = false;
    {
        std::lock_guard<std::mutex> guard(pSelf->m_lock);
        pSelf->m_events.push_back(FlashEvent{nEvent, a});
        if (nEvent == pSelf->m_nStopEvent && ++pSelf->m_nStopSeen >= pSelf->m_nStopNth)
            pSelf->m_bStopped = true;
        if (nEvent == pSelf->m_nPauseEvent && ++pSelf->m_nPauseSeen == pSelf->m_nPauseNth)
            nPauseMs = pSelf->m_nPauseMs;
        bStopped = pSelf->m_bStopped;
    }
    if (nPauseMs > 0)
        os_SleepMs(static_cast<uint32_t>(nPauseMs));
    return bStopped ? 0 : 1;
}

std::vector<FlashEvent> EventRecorder::events() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

std::vector<int32_t> EventRecorder::numbers() const
{
    std::vector<int32_t> numbers;
    for (const FlashEvent& event : events())
        numbers.push_back(event.nEvent);
    return numbers;
}

std::vector<int32_t> EventRecorder::percents(int32_t nEvent) const
{
    std::vector<int32_t> values;
    for (const FlashEvent& event : events()) {
        if (event.nEvent == nEvent)
            values.push_back(event.nPercent);
    }
    return values;
}

std::vector<int32_t> readerPercents(const std::string& fileText)
{
    std::vector<int32_t> values;
    const size_t nLength = fileText.size();
    for (size_t nStart = 0; nStart < nLength;) {
        size_t nEnd = fileText.find("\r\n", nStart);
        size_t nTaken = nEnd == std::string::npos ? nLength : nEnd + 2;
        size_t nBlocks = (nTaken + os_kLineBlock - 1) / os_kLineBlock;
        values.push_back(static_cast<int32_t>(std::min(nBlocks * os_kLineBlock, nLength) * 100 / nLength));
        nStart = nTaken;
    }
    return values;
}

std::vector<std::string> wireLines(const std::string& fileText, const std::string& prefix)
{
    std::vector<std::string> lines;
    size_t nStart = 0;
    while (nStart < fileText.size()) {
        size_t nEnd = fileText.find("\r\n", nStart);
        std::string line = fileText.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
        lines.push_back(prefix + line.substr(0, line.find('\n')) + "\r\n");
        if (nEnd == std::string::npos)
            break;
        nStart = nEnd + 2;
    }
    return lines;
}

std::string dataFile(const std::string& name)
{
    std::ifstream in(std::string(NORVANE_DATA_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int32_t waitJobResult(const FlashJob* pJob, int64_t nMaxMs)
{
    int64_t nEnd = os_ClockMs() + nMaxMs;
    while (GetResult(pJob) == -1 && os_ClockMs() < nEnd)
        os_SleepMs(5);
    return GetResult(pJob);
}

int openFdCount()
{
    int nCount = 0;
    DIR* pDir = opendir("/proc/self/fd");
    if (pDir == nullptr)
        return -1;
    while (dirent* pEntry = readdir(pDir)) {
        if (pEntry->d_name[0] != '.')
            ++nCount;
    }
    closedir(pDir);
    return nCount - 1;
}

std::string joinedLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line;
    return text;
}

std::string eventRuns(const std::vector<int32_t>& numbers)
{
    std::string text;
    for (size_t i = 0; i < numbers.size();) {
        size_t nEnd = i;
        while (nEnd < numbers.size() && numbers[nEnd] == numbers[i])
            ++nEnd;
        text += (text.empty() ? "" : " ") + std::to_string(numbers[i]);
        if (nEnd - i > 1)
            text += "*" + std::to_string(nEnd - i);
        i = nEnd;
    }
    return text;
}

void FlashFixture::SetUp()
{
    SimFixture::SetUp();
    // The Lucent version reply and line answers have 2 s.
    os_SetTimeScale(scaleFor(2000));
    m_pChdir = std::make_unique<ScopedChdir>(m_dir.path());
    m_dir.write("FlashLdr.hex", m_loader);
    m_dir.write("BPFL24.s37", m_boot);
    // 30 data records of 16 bytes between an address record and the end.
    writeFirmware(sim_MakeIntelHex(0x4000, 480, 16, 11));
}

void FlashFixture::TearDown()
{
    m_pChdir.reset();
    SimFixture::TearDown();
}

void FlashFixture::writeFirmware(const std::string& text)
{
    m_firmware = text;
    m_dir.write("fw.hex", text);
}

int32_t FlashFixture::runProtocol(FlashProtocolFn pfnProtocol, int nPort, uint32_t nFlashType, int32_t bHandshakeOnly,
                                  const char* pszHex, int32_t nStartMode, int32_t nVariant)
{
    m_events = std::make_unique<EventRecorder>(m_nStopEvent, m_nStopNth, m_nPauseEvent, m_nPauseNth, m_nPauseMs);
    m_nFds = openFdCount();
    // Only when asked: a test may hold the fault table itself for the run.
    std::optional<SysCallFaults> faults;
    if (m_nFailedWrite != 0) {
        faults.emplace();
        faults->fail(SysCall::kWrite, m_nFailedWrite, EIO);
    }
    m_nStartMs = os_ClockMs();
    int32_t nResult = pfnProtocol(comDevice(nPort).c_str(), pszHex, nFlashType, bHandshakeOnly, 1, &m_nBaud,
                                  &m_nHighest, m_szVersion, EventRecorder::callback, m_events.get(), 0, nStartMode,
                                  nVariant);
    m_nElapsedMs = os_ClockMs() - m_nStartMs;
    return nResult;
}

void FlashFixture::runAll(FlashProtocolFn pfnProtocol, const SimSettings& loader,
                          const std::vector<Scenario>& scenarios)
{
    int nPort = 3;
    for (const Scenario& c : scenarios) {
        SCOPED_TRACE("scenario on COM" + std::to_string(nPort));
        SimSettings settings = loader;
        settings.insert(settings.end(), c.settings.begin(), c.settings.end());
        ASSERT_NE(addFamily(nPort, "modem", settings), nullptr);
        SimDeviceConfig config = m_config;
        m_nStopEvent = c.nStopEvent;
        m_nStopNth = c.nStopNth;
        m_nFailedWrite = c.nFailedWrite;
        // A version left from an earlier run does not count.
        snprintf(m_szVersion, sizeof m_szVersion, "stale");
        const char* pszHex = c.bHandshakeOnly ? "missing.hex" : "fw.hex";
        EXPECT_EQ(runProtocol(pfnProtocol, nPort, c.nFlashType, c.bHandshakeOnly, pszHex, c.nStartMode, 0), c.nResult);
        expectReleased(nPort);
        EXPECT_EQ(events(), c.pszEvents);
        EXPECT_EQ(config.pLucent ? config.pLucent->loaderLines().size() : config.pRockwell->bootLines().size(),
                  c.nLoader);
        EXPECT_EQ(config.pLucent ? config.pLucent->firmwareLines().size() : config.pRockwell->firmwareLines().size(),
                  c.nFirmware);
        if (c.pszVersion != nullptr) {
            EXPECT_STREQ(m_szVersion, c.pszVersion);
        }
        checkScenario(c);
        ++nPort;
    }
}

void FlashFixture::expectReleased(int nPort)
{
    SimDevice* pDevice = m_ports.device(nPort);
    if (pDevice != nullptr) {
        EXPECT_TRUE(pDevice->transcript().waitEvent("host closed the port", 2000));
    }
    EXPECT_EQ(openFdCount(), m_nFds);
    urs_Port port;
    EXPECT_EQ(urs_OpenPort(&port, comDevice(nPort).c_str()), urs_kOk);
    urs_ClosePort(&port);
}

std::string FlashFixture::events() const { return eventRuns(m_events->numbers()); }
