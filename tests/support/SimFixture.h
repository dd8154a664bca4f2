// Base fixture for tests on simulated devices: a private folder with the
// debug log on (log.txt), a ports folder exported as NORVANE_PORTS, a small
// time scale; everything is put back at the end.
#ifndef NORVANE_TESTS_SUPPORT_SIMFIXTURE_H
#define NORVANE_TESTS_SUPPORT_SIMFIXTURE_H

#include "EngineSource/Urswin32.h"
#include "sim/SimAtBoot.h"
#include "sim/SimPortSet.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Settings of a simulated device as key/value pairs, applied in order
// ({"reply.ATI9", "7"}, {"silent", "1"}).
using SimSettings = std::vector<std::pair<std::string, std::string>>;

// Starts a device of the family on COMn of the set: AT boot code behind it
// when pBoot is given, then the key/value settings of the configuration
// format applied after the family's defaults. Returns it with its record in
// *pConfig, or null with *pError set when a setting is not valid or the
// device cannot start.
SimDevice* test_AddDevice(SimPortSet* pPorts, int nPort, const std::string& family, const SimSettings& settings,
                          const SimAtBoot* pBoot, SimDeviceConfig* pConfig, std::string* pError);

// Time in tests. Every protocol window (a time-out, a pause the device
// must answer within) lasts at least kMinWindowRealMs of real time, however
// small the scale: a loaded scheduler delays a thread by tens of
// milliseconds. Lower bounds of durations are checked exactly; an upper
// bound is checked only where it is what the test is about, and then with
// roomMs() on top.
class SimFixture : public ::testing::Test {
protected:
    static constexpr double kTestScale = 0.05;
    static constexpr double kMinWindowRealMs = 500;
    static constexpr double kRoomRealMs = 300;

    // The time scale at which a window of nShortestMs (runtime clock) lasts
    // kMinWindowRealMs (never below kTestScale).
    static double scaleFor(int64_t nShortestMs);
    // Runtime-clock milliseconds that kRoomRealMs of real time last at the
    // current scale: the room an upper bound leaves for scheduler delays.
    static int64_t roomMs();

    void SetUp() override;
    void TearDown() override;

    // Starts a device as test_AddDevice does; the test fails when it cannot
    // start. The device and its record (whose pLucent and pRockwell give the
    // loaders' records) are kept in m_pDevice and m_config.
    SimDevice* addFamily(int nPort, const std::string& family, const SimSettings& settings = {},
                         const SimAtBoot* pBoot = nullptr);
    // A device of family modem on COMn with echo as given.
    SimDevice* addDevice(int nPort, bool bEcho = true);
    // Opens "\\.\COMn" into m_port, expecting success; with nBaud the line
    // is set to that rate, 8N1, no flow control.
    void openPort(int nPort, uint32_t nBaud = 0);
    // Runtime-clock milliseconds fn takes.
    template <class Fn>
    static int64_t timedMs(Fn fn)
    {
        int64_t nStart = os_ClockMs();
        fn();
        return os_ClockMs() - nStart;
    }
    // The log so far (flushed).
    std::string log() const;
    // The log lines written since the last call of takeLog.
    std::string takeLog();

    TempDir m_dir;                // holds log.txt
    SimPortSet m_ports;           // the simulated devices
    urs_Port m_port = {};         // the engine's port, closed in TearDown
    double m_savedScale = 1;      // time scale before the test
    size_t m_nLogTaken = 0;       // bytes of the log takeLog has returned
    SimDevice* m_pDevice = nullptr;   // the device added last
    SimDeviceConfig m_config;         // its record
};

// "\\.\COMn"
std::string comDevice(int nPort);

#endif
