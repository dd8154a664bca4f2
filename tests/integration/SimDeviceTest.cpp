// Simulated devices as the serial layer sees them: pacing to the host's
// rate, late replies, a host that closes and reopens its port, a protocol
// mode on the wire, and the norvane-sim program.
#include "EngineSource/devid.h"
#include "sim/SimText.h"
#include "support/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

double processCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class SimDeviceTest : public SimFixture {};

TEST_F(SimDeviceTest, OutputIsPacedToTheHostsRate)
{
    // At the real time scale the line times stand well above the
    // scheduler's delays.
    os_SetTimeScale(1);
    SimDevice* pModem = addDevice(3);
    openPort(3);
    char szReply[40];
    // 300 baud: 9 bytes (echo and reply) take 300 ms on the line.
    int64_t nStart = os_ClockMs();
    ASSERT_EQ(devid_SendCommand(&m_port, szReply, sizeof szReply, 5, nullptr, nullptr, "AT\r", 1), 1);
    int64_t nPaced = os_ClockMs() - nStart;
    EXPECT_GE(nPaced, 290);
    EXPECT_LT(nPaced, 1500);

    ASSERT_EQ(urs_SetUart(&m_port, 115200, 8, 0, 0, 0), 0);
    nStart = os_ClockMs();
    ASSERT_EQ(devid_SendCommand(&m_port, szReply, sizeof szReply, 5, nullptr, nullptr, "AT\r", 1), 1);
    EXPECT_LT(os_ClockMs() - nStart, nPaced / 2);

    pModem->setPacing(false);
    ASSERT_EQ(urs_SetUart(&m_port, 300, 8, 0, 0, 0), 0);
    nStart = os_ClockMs();
    ASSERT_EQ(devid_SendCommand(&m_port, szReply, sizeof szReply, 5, nullptr, nullptr, "AT\r", 1), 1);
    EXPECT_LT(os_ClockMs() - nStart, nPaced / 2);
}

TEST_F(SimDeviceTest, LateRepliesKeepTheirEchoOnTime)
{
    SimDevice* pModem = addDevice(3);
    pModem->setPacing(false);
    pModem->setMisbehaviour(SimMisbehaviour{false, 800, 0, 0, -1, -1});
    openPort(3);
    char szReply[40];
    int64_t nStart = os_ClockMs();
    ASSERT_EQ(devid_SendCommand(&m_port, szReply, sizeof szReply, 5, nullptr, nullptr, "AT\r", 1), 1);
    EXPECT_GE(os_ClockMs() - nStart, 800);
    ASSERT_TRUE(pModem->transcript().waitSent("AT\r\r\nOK\r\n", 2000));
    std::vector<SimTranscriptEntry> entries = pModem->transcript().entries();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries.front().data, "AT\r");
    EXPECT_EQ(entries[1].data, "AT\r");
    EXPECT_GE(entries.back().nTimeMs - entries[1].nTimeMs, 800);
}

TEST_F(SimDeviceTest, HostClosingAndReopeningIsNotAnErrorAndDoesNotSpin)
{
    SimDevice* pModem = addDevice(3);
    char szReply[40];
    for (int nRound = 0; nRound < 3; ++nRound) {
        openPort(3);
        EXPECT_EQ(devid_SendCommand(&m_port, szReply, sizeof szReply, 5, nullptr, nullptr, "AT\r", 1), 1);
        EXPECT_STREQ(szReply, "OK");
        urs_ClosePort(&m_port);
        ASSERT_TRUE(pModem->transcript().waitEvent("host closed the port", 2000));
    }
    openPort(3);
    ASSERT_TRUE(pModem->transcript().waitEvent("host opened the port", 2000));
    urs_ClosePort(&m_port);
    // With the port closed the device waits without using the processor.
    double dCpu = processCpuSeconds();
    urs_SleepMs(10000);
    EXPECT_LT(processCpuSeconds() - dCpu, 0.1);
    EXPECT_EQ(pModem->commandCount(), 3);
    EXPECT_THAT(pModem->transcript().render(), HasSubstr("* host closed the port\n"));
}

// Answers every byte with "<" byte ">" after "AT*XX" until "Q".
class Brackets : public SimProtocolMode {
public:
    void start(SimLink& link) override { link.send("READY"); }
    bool onByte(SimLink& link, uint8_t byte) override
    {
        if (byte == 'Q')
            return false;
        link.send(std::string("<") + static_cast<char>(byte) + ">");
        return true;
    }
};

TEST_F(SimDeviceTest, ProtocolModeTakesOverTheWireAndHandsItBack)
{
    SimDevice* pModem = addDevice(3);
    pModem->setPacing(false);
    pModem->setProtocol("AT*XX", [] { return std::make_unique<Brackets>(); });
    openPort(3);
    ASSERT_EQ(urs_PutString(&m_port, "AT*XX\rMUQ"), 0);
    std::string got;
    urs_StartTimer(&m_port, 2);
    while (got.size() < 17) {
        int c = urs_GetChar(&m_port);
        if (c == -1)
            break;
        got += static_cast<char>(c);
    }
    urs_StopTimer(&m_port);
    EXPECT_EQ(got, "AT*XX\rREADY<M><U>");
    char szReply[40];
    EXPECT_EQ(devid_SendCommand(&m_port, szReply, sizeof szReply, 5, nullptr, nullptr, "AT\r", 1), 1);
    EXPECT_STREQ(szReply, "OK");
}

TEST_F(SimDeviceTest, ProgramLinksItsDevicesAndRemovesThemOnSigterm)
{
    std::string dir = m_dir.file("ports");
    std::string transcript = m_dir.file("transcript.txt");
    // The program runs on the test's time scale.
    std::vector<std::string> environment = {"NORVANE_TIME_SCALE=0.02"};
    for (char** ppsz = environ; *ppsz != nullptr; ++ppsz) {
        if (strncmp(*ppsz, "NORVANE_TIME_SCALE=", 19) != 0)
            environment.push_back(*ppsz);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = {NORVANE_SIM_PROGRAM, "--ports", dir, "--device", "COM3:modem,echo=0",
                                     "--device", "COM5", "--transcript", transcript, "--no-pacing"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
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
    EXPECT_THAT(output, HasSubstr("COM3 (modem) linked as " + dir + "/COM3\n"));
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
    std::string lines = m_dir.read("transcript.txt");
    EXPECT_THAT(lines, HasSubstr(" > ATI\\r\n"));
    EXPECT_THAT(lines, HasSubstr(" < \\r\\nNorvane simulated modem\\r\\n\\r\\nOK\\r\\n\n"));
}

}  // namespace
