// Simulated devices as the serial layer sees them: pacing to the host's
// rate, late replies, a host that closes and reopens its port, and the
// norvane-sim program.
#include "EngineSource/devid.h"
#include "support/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
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
    SimDevice* pModem = addDevice(3);
    openPort(3);
    // 300 baud: 9 bytes (echo and reply) take 300 ms on the line; at 115200
    // or with pacing off they take far less.
    int64_t nPaced = timedAt();
    EXPECT_GE(nPaced, 290);
    EXPECT_LT(nPaced, 1500);
    ASSERT_EQ(urs_SetUart(&m_port, 115200, 8, 0, 0, 0), 0);
    EXPECT_LT(timedAt(), nPaced / 2);
    pModem->setPacing(false);
    ASSERT_EQ(urs_SetUart(&m_port, 300, 8, 0, 0, 0), 0);
    EXPECT_LT(timedAt(), nPaced / 2);
}

TEST_F(SimDeviceTest, LateRepliesAndAHostThatReopensWithoutSpinning)
{
    // The echo comes at once, the reply 800 ms later.
    SimDevice* pModem = addDevice(3);
    pModem->setPacing(false);
    pModem->setMisbehaviour(SimMisbehaviour{false, 800, 0, 0, -1, -1});
    openPort(3);
    EXPECT_GE(timedAt(), 800);
    ASSERT_TRUE(pModem->transcript().waitSent("AT\r\r\nOK\r\n", 2000));
    std::vector<SimTranscriptEntry> entries = pModem->transcript().entries();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries[1].data, "AT\r");
    EXPECT_GE(entries.back().nTimeMs - entries[1].nTimeMs, 800);

    // Closing and reopening is no error; closed, the device waits idle.
    pModem->setMisbehaviour(SimMisbehaviour());
    for (int nRound = 0; nRound < 2; ++nRound) {
        urs_ClosePort(&m_port);
        ASSERT_TRUE(pModem->transcript().waitEvent("host closed the port", 2000));
        openPort(3);
        timedAt();
    }
    urs_ClosePort(&m_port);
    std::clock_t nCpu = std::clock();
    urs_SleepMs(10000);
    EXPECT_LT(static_cast<double>(std::clock() - nCpu) / CLOCKS_PER_SEC, 0.1);
    EXPECT_EQ(pModem->commandCount(), 3);
}

TEST_F(SimDeviceTest, ProgramLinksItsDevicesAndRemovesThemOnSigterm)
{
    std::string dir = m_dir.file("ports");
    std::vector<std::string> args = {NORVANE_SIM_PROGRAM, "--ports", dir, "--device", "COM3:modem,echo=0",
                                     "--device", "COM5", "--transcript", m_dir.file("transcript.txt"),
                                     "--no-pacing"};
    // The program runs on the test's time scale.
    std::string scale = "NORVANE_TIME_SCALE=" + std::to_string(kTestScale);
    std::vector<char*> argv, envp = {scale.data()};
    for (char** ppsz = environ; *ppsz != nullptr; ++ppsz) {
        if (strncmp(*ppsz, "NORVANE_TIME_SCALE=", 19) != 0)
            envp.push_back(*ppsz);
    }
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execve(NORVANE_SIM_PROGRAM, argv.data(), envp.data());
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
    EXPECT_NE(lstat((dir + "/COM3").c_str(), &info), 0);
    EXPECT_NE(lstat((dir + "/COM5").c_str(), &info), 0);
    EXPECT_THAT(m_dir.read("transcript.txt"), HasSubstr(" > ATI\\r\n"));
}

}  // namespace
