// Simulated devices as the serial layer sees them: pacing to the host's
// rate, a host that closes and reopens its port, and the norvane-sim
// program.
#include "EngineSource/devid.h"
#include "support/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

using ::testing::HasSubstr;

namespace {

class SimDeviceTest : public SimFixture {
protected:
    // Sends "AT\r" on m_port, expecting "OK"; the runtime-clock time taken.
    int64_t timedAt()
    {
        char szReply[40];
        int64_t nStart = os_ClockMs();
        EXPECT_EQ(devid_SendCommand(&m_port, szReply, sizeof szReply, 5, nullptr, nullptr, "AT\r", 1), 1);
        EXPECT_STREQ(szReply, "OK");
        return os_ClockMs() - nStart;
    }
};

TEST_F(SimDeviceTest, OutputIsPacedToTheHostsRate)
{
    // At the real time scale the line times stand well above the
    // scheduler's delays.
    os_SetTimeScale(1);
    addDevice(3);
    openPort(3);
    // 300 baud: 9 bytes (echo and reply) take 300 ms on the line; at 115200
    // they take far less.
    int64_t nPaced = timedAt();
    EXPECT_GE(nPaced, 290);
    EXPECT_LT(nPaced, 1500);
    ASSERT_EQ(urs_SetUart(&m_port, 115200, urs_kDataBits8, urs_kParityNone, urs_kStopBits1, urs_kFlowNone), urs_kOk);
    EXPECT_LT(timedAt(), nPaced / 2);
}

TEST_F(SimDeviceTest, AHostThatReopensWithoutSpinningAndClosedDevicesLookRarely)
{
    // Closing and reopening is no error; closed, the device waits idle.
    SimDevice* pModem = addDevice(3);
    pModem->setPacing(false);
    for (int nRound = 0; nRound < 2; ++nRound) {
        openPort(3);
        timedAt();
        urs_ClosePort(&m_port);
        ASSERT_TRUE(pModem->transcript().waitEvent("host closed the port", 2000));
    }
    EXPECT_EQ(pModem->commandCount(), 2);

    // A dozen closed devices look for their host at most every 20 ms each:
    // every look polls a hung-up pseudo-terminal, and looking every few
    // milliseconds held back the kernel worker that carries the bytes of
    // every open line. Counted as the process's voluntary context switches
    // over half a second; a busy machine can only make them fewer.
    constexpr int kDevices = 12;
    for (int nPort = 4; nPort < 4 + kDevices - 1; ++nPort) {
        SimDevice* pDevice = addDevice(nPort);
        openPort(nPort);
        urs_ClosePort(&m_port);
        ASSERT_TRUE(pDevice->transcript().waitEvent("host closed the port", 2000));
    }
    rusage before = {};
    getrusage(RUSAGE_SELF, &before);
    std::clock_t nCpu = std::clock();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    rusage after = {};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(static_cast<double>(std::clock() - nCpu) / CLOCKS_PER_SEC, 0.1);
    EXPECT_LE(after.ru_nvcsw - before.ru_nvcsw, kDevices * (500 / 20 + 5));
}

TEST_F(SimDeviceTest, ProgramLinksItsDevicesAndRemovesThemOnSigterm)
{
    std::string dir = m_dir.file("ports");
    std::string transcript = m_dir.file("transcript.txt");
    const char* argv[] = {NORVANE_SIM_PROGRAM, "--ports", dir.c_str(), "--device", "COM3:modem,echo=0",
                          "--device", "COM5", "--transcript", transcript.c_str(), "--no-pacing", nullptr};
    // The program runs on the test's time scale; this process read its own
    // scale at start-up.
    setenv("NORVANE_TIME_SCALE", std::to_string(kTestScale).c_str(), 1);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(NORVANE_SIM_PROGRAM, const_cast<char* const*>(argv));
        _exit(127);
    }
    close(pipeFds[1]);
    FILE* pOut = fdopen(pipeFds[0], "r");
    std::string output;
    char szLine[512];
    while (output.find("Ready") == std::string::npos && fgets(szLine, sizeof szLine, pOut) != nullptr)
        output += szLine;
    EXPECT_THAT(output, HasSubstr("COM5 (modem) linked as " + dir + "/COM5\n"));

    setenv("NORVANE_PORTS", dir.c_str(), 1);
    openPort(3);
    char szReply[40];
    EXPECT_EQ(devid_SendCommand(&m_port, szReply, sizeof szReply, 5, nullptr, nullptr, "ATI\r", 0), 1);
    EXPECT_STREQ(szReply, "OK");  // echo off: the information line is taken for the echo
    urs_ClosePort(&m_port);
    m_ports.exportPorts();

    kill(pid, SIGTERM);
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    fclose(pOut);
    struct stat info;
    EXPECT_TRUE(lstat((dir + "/COM3").c_str(), &info) != 0 && lstat((dir + "/COM5").c_str(), &info) != 0);
    EXPECT_THAT(m_dir.read("transcript.txt"), HasSubstr(" > ATI\\r\n"));
}

}  // namespace
