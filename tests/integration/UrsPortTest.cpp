// The serial layer on pseudo-terminals played by simulated devices: opening
// and closing, exclusive use, line settings, the time-out rules, signed
// bytes, the trace lines, and every failure path through the system-call
// table.
#include "EngineSource/OSSysCalls.h"
#include "EngineSource/UrsTermios2.h"
#include "EngineSource/Urswin32.h"
#include "support/SimFixture.h"
#include "support/SysCallFaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

using ::testing::HasSubstr;

namespace {

class UrsPortTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        addDevice(3);
    }

    // Puts bytes into the port's input queue and waits until they are there.
    void receive(const std::string& bytes)
    {
        m_pDevice->inject(bytes);
        int nWaiting = 0;
        for (int i = 0; i < 500 && nWaiting < static_cast<int>(bytes.size()); ++i) {
            urs_SleepMs(20);
            ioctl(m_port.hFile, FIONREAD, &nWaiting);
        }
        ASSERT_EQ(nWaiting, static_cast<int>(bytes.size()));
    }

    // The messages logged since the last takeLog, without their
    // "[module (line)]: " frames.
    std::vector<std::string> messages()
    {
        std::vector<std::string> lines;
        std::string log = takeLog();
        for (size_t nStart = 0, nEnd; (nEnd = log.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1) {
            std::string line = log.substr(nStart, nEnd - nStart);
            size_t nFrame = line.find("]: ");
            lines.push_back(nFrame == std::string::npos ? line : line.substr(nFrame + 3));
        }
        return lines;
    }
};

TEST_F(UrsPortTest, OpenIsExclusiveAndEveryFailedStepClosesTheDevice)
{
    openPort(3);
    EXPECT_STREQ(m_port.szName, "COM3");
    urs_Port second;
    EXPECT_EQ(urs_OpenPort(&second, comDevice(3).c_str()), urs_kNotOpened);
    EXPECT_EQ(urs_OpenPort(&second, comDevice(9).c_str()), urs_kNotOpened);
    urs_ClosePort(&m_port);
    EXPECT_EQ(m_port.hFile, -1);
    EXPECT_TRUE(m_pDevice->transcript().waitEvent("host closed the port", 2000));
    // The log tells a busy device from a missing one: the terminal's
    // exclusive flag refuses it, also for root.
    EXPECT_THAT(takeLog(), HasSubstr("<COM3>, Invalid Handle Error, GetLastError = 00000010"));

    // The open, lock or exclusive-use step failing leaves nothing opened; a
    // later one closes the device again.
    const std::string kRefused = "urs_OpenPort: <COM3>, Invalid Handle Error, GetLastError = 0000000d";
    const std::tuple<SysCall, int, unsigned long, std::string> kSteps[] = {
        {SysCall::kOpen, 1, 0, kRefused},
        {SysCall::kFlock, 1, 0, kRefused},
        {SysCall::kIoctl, 1, TIOCEXCL, kRefused},
        {SysCall::kTcflush, 1, 0, "urs_OpenPort: <COM3>, Unable to purge comm buffers"},
        {SysCall::kIoctl, 1, TIOCMBIS, "urs_OpenPort: <COM3>, Unable to set RTS high"},
        {SysCall::kIoctl, 2, TIOCMBIS, "urs_OpenPort: <COM3>, Unable to set DTR high"},
        {SysCall::kTcsetattr, 1, 0, "urs_OpenPort: <COM3> Unable to set comm state"},
    };
    for (const auto& [eCall, nNth, nRequest, message] : kSteps) {
        SCOPED_TRACE(message);
        {
            SysCallFaults faults;
            faults.fail(eCall, nNth, EACCES, false, nRequest);
            EXPECT_EQ(urs_OpenPort(&m_port, comDevice(3).c_str()), urs_kNotOpened);
            EXPECT_EQ(m_port.hFile, -1);
        }
        // A device that was opened is closed again.
        std::vector<std::string> expected = {message};
        if (message != kRefused)
            expected.push_back("Port closed");
        EXPECT_EQ(messages(), expected);
        // Nothing is left holding the device.
        openPort(3);
        urs_ClosePort(&m_port);
        takeLog();
    }
}

TEST_F(UrsPortTest, CloseDrainsBeforePurgingAndGoesOnAfterFailures)
{
    openPort(3);
    {
        SysCallFaults faults;
        // The driver reports queued output three times, then an empty queue.
        faults.fakeIoctlValue(TIOCOUTQ, 10, 3);
        ASSERT_EQ(urs_PutString(&m_port, "ATFLEND\r"), urs_kOk);
        urs_ClosePort(&m_port);
        std::vector<std::string> calls = faults.calls();
        char szOutq[32];
        snprintf(szOutq, sizeof szOutq, "ioctl 0x%lx", static_cast<unsigned long>(TIOCOUTQ));
        auto purge = std::find(calls.begin(), calls.end(), "tcflush");
        ASSERT_NE(purge, calls.end());
        EXPECT_EQ(std::count(calls.begin(), purge, szOutq), 4);
    }
    EXPECT_TRUE(m_pDevice->transcript().waitReceived("ATFLEND\r", 2000));

    openPort(3);
    {
        SysCallFaults faults;
        // A queue that never empties holds the close for about a second.
        faults.fakeIoctlValue(TIOCOUTQ, 10, -1);
        faults.fail(SysCall::kIoctl, 1, EPERM, false, TIOCMBIC);
        faults.fail(SysCall::kTcflush, 1, EIO);
        takeLog();
        int64_t nElapsed = timedMs([this] { urs_ClosePort(&m_port); });
        EXPECT_GE(nElapsed, 1000);
        EXPECT_LT(nElapsed, 1000 + roomMs());
    }
    EXPECT_EQ(messages(), (std::vector<std::string>{"urs_ClosePort: Unable to lower DTR",
                                                    "urs_ClosePort: Unable to purge comm", "Port closed"}));
    EXPECT_EQ(m_port.hFile, -1);
    openPort(3);
}

TEST_F(UrsPortTest, SetUartAppliesAnyRateOrLeavesTheLineAsItWas)
{
    openPort(3);
    takeLog();
    EXPECT_EQ(urs_SetUart(&m_port, 14400, 8, 0, 0, 1), urs_kOk);
    EXPECT_EQ(m_pDevice->hostBaud(), 14400u);
    EXPECT_EQ(messages(), std::vector<std::string>{"Uart setup at baud rate 19200"});
    {
        // Pseudo-terminals force 8 data bits and no parity, so the framing
        // is checked in what the layer hands to the system.
        SysCallFaults faults;
        EXPECT_EQ(urs_SetUart(&m_port, 115200, 7, 2, 2, 1), urs_kOk);
        termios line = faults.lastTermios();
        EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS),
                  static_cast<tcflag_t>(CS7 | PARENB | CSTOPB | CRTSCTS));
        EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    }
    EXPECT_EQ(m_pDevice->hostBaud(), 115200u);
    EXPECT_EQ(messages(), std::vector<std::string>{"Uart setup at baud rate 115200"});

    // A failing call (standard rates go through termios, others through
    // termios2) or 9 data bits (no call fails: kCount).
    const std::string kGet = "urs_SetUart: Unable to GetCommState", kSet = "urs_SetUart: Unable to SetCommState";
    const std::tuple<SysCall, unsigned long, uint32_t, uint8_t, std::string> kCases[] = {
        {SysCall::kTcgetattr, 0, 38400, 8, kGet},           {SysCall::kTcsetattr, 0, 38400, 8, kSet},
        {SysCall::kIoctl, urs_kTcGets2, 14400, 8, kGet},    {SysCall::kIoctl, urs_kTcSets2, 14400, 8, kSet},
        {SysCall::kCount, 0, 38400, 9, kSet},
    };
    for (const auto& [eCall, nRequest, nBaud, nDataBits, message] : kCases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(eCall)) + " at " + std::to_string(nBaud));
        SysCallFaults faults;
        if (eCall != SysCall::kCount)
            faults.fail(eCall, 1, EIO, false, nRequest);
        EXPECT_EQ(urs_SetUart(&m_port, nBaud, nDataBits, 0, 0, 0), urs_kIoError);
        EXPECT_EQ(m_pDevice->hostBaud(), 115200u);
        EXPECT_EQ(messages(), std::vector<std::string>{message});
    }
}

TEST_F(UrsPortTest, ReadAndWriteFailuresAndSignedBytes)
{
    openPort(3);
    // Read failures leave the port usable; bytes read are signed.
    receive("\x41\xC8\xFF");
    takeLog();
    {
        SysCallFaults faults;
        faults.fail(SysCall::kRead, 1, EIO);
        EXPECT_EQ(urs_GetChar(&m_port), urs_kIoError);
        faults.fail(SysCall::kPoll, 1, EINVAL);
        EXPECT_EQ(urs_GetChar(&m_port), -1);
        faults.fail(SysCall::kIoctl, 1, EIO, false, FIONREAD);
        EXPECT_EQ(urs_CharReady(&m_port), 0);
    }
    EXPECT_EQ(urs_CharReady(&m_port), 1);
    EXPECT_EQ(urs_GetChar(&m_port), 65);
    EXPECT_EQ(urs_GetChar(&m_port), -56);
    EXPECT_EQ(urs_GetChar(&m_port), -1);    // 0xFF reads as a time-out
    EXPECT_EQ(urs_PutString(&m_port, "AT\r\n"), urs_kOk);
    EXPECT_EQ(urs_PutChar(&m_port, 0x141), urs_kOk);
    std::string block = "\x01" + std::string(29, 'x');
    EXPECT_EQ(urs_PutBlock(&m_port, block.data(), 30), urs_kOk);
    ASSERT_TRUE(m_pDevice->transcript().waitReceived(block, 2000));
    EXPECT_EQ(m_pDevice->transcript().received(), "AT\r\nA" + block);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EIO);
        EXPECT_EQ(urs_PutString(&m_port, "ATZ"), urs_kIoError);
    }
    // A full output queue is not an error: the next chunk goes on.
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EAGAIN);
        EXPECT_EQ(urs_PutString(&m_port, "ATI\r"), urs_kOk);
        EXPECT_EQ(faults.count(SysCall::kWrite), 2);
    }
    // A line that never takes a byte ends the write, deadline or not.
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EAGAIN, true);
        EXPECT_EQ(urs_PutString(&m_port, "AT\r"), urs_kTimeout);
        EXPECT_EQ(faults.count(SysCall::kWrite), urs_kMaxStalledWrites);
    }
    // poll() refusing the time-out is the "Unable to setup time-outs" case.
    {
        SysCallFaults faults;
        faults.fail(SysCall::kPoll, 1, EINVAL);
        EXPECT_EQ(urs_PutString(&m_port, "AT\r"), urs_kTimeout);
        EXPECT_EQ(faults.count(SysCall::kWrite), 0);
    }
    // Every step of the above in the log, data shown up to 20 bytes.
    const std::string kTimeOuts = "urs_OpenPort: Unable to setup time-outs";
    std::vector<std::string> expected = {
        "<COM3>, [1], pData []", "Read File Error (1, 00000000, 00000005)", kTimeOuts,
        "<COM3>, [1], pData [A]", "<COM3>, [1], pData [\\xc8]", "<COM3>, [1], pData [\\xff]",
        "<COM3>:[4, 4], Data = [AT\\r\\n]", "<COM3>:[1, 1], Data = [A]",
        "<COM3>:[30, 30], Data = [\\x01" + std::string(19, 'x') + "]",
        "<COM3>:  Write File Error (1, 00000000, 00000005)", "<COM3>:  Write File Error 0 of 3 bytes written",
        "<COM3>:[4, 0], Data = [ATI\\r]", "<COM3>:[4, 4], Data = [ATI\\r]"};
    expected.insert(expected.end(), urs_kMaxStalledWrites, "<COM3>:[3, 0], Data = [AT\\r]");
    for (const std::string& message : {std::string("Timeout when setting comm timeouts"), kTimeOuts,
                                       std::string("Timeout when setting comm timeouts")})
        expected.push_back(message);
    EXPECT_EQ(messages(), expected);
}

// Disarmed, a read waits the default; armed, the time left; armed with 0,
// one attempt at the buffered bytes; once the deadline has passed, reads and
// writes fail at once without touching the device.
TEST_F(UrsPortTest, ReadsAndWritesKeepTheTimeOutRules)
{
    openPort(3);
    int64_t nElapsed = timedMs([this] { EXPECT_EQ(urs_GetChar(&m_port), -1); });
    EXPECT_GE(nElapsed, urs_kDefaultDriverMs);
    EXPECT_LT(nElapsed, urs_kDefaultDriverMs + roomMs());

    nElapsed = timedMs([this] { EXPECT_EQ(urs_GetCharTimed(&m_port, 2), -1); });
    EXPECT_GE(nElapsed, 2000);
    EXPECT_LT(nElapsed, 2000 + roomMs());
    EXPECT_EQ(m_port.bArmed, 0);
    // The timer stays quiet while disarmed, however long ago the port opened.
    urs_SleepMs(5000);
    EXPECT_EQ(urs_TimerExpired(&m_port), 0);

    receive("A");
    // A very slow runtime clock holds the arming instant still.
    os_SetTimeScale(1000);
    urs_StartTimer(&m_port, 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(urs_GetChar(&m_port), 'A');
    EXPECT_EQ(urs_GetChar(&m_port), -1);    // nothing buffered: no wait
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(urs_TimerExpired(&m_port), 0);

    os_SetTimeScale(kTestScale);
    urs_SleepMs(100);
    receive("B");
    {
        SysCallFaults faults;
        EXPECT_EQ(urs_TimerExpired(&m_port), 1);
        EXPECT_EQ(urs_GetChar(&m_port), -1);
        EXPECT_EQ(urs_PutBlock(&m_port, "AT\r", 3), urs_kTimeout);
        EXPECT_EQ(urs_PutBlock(&m_port, "", 0), urs_kTimeout);
        EXPECT_EQ(faults.count(SysCall::kPoll) + faults.count(SysCall::kRead) + faults.count(SysCall::kWrite), 0);
    }
    urs_StopTimer(&m_port);
    EXPECT_EQ(urs_GetChar(&m_port), 'B');
}

TEST_F(UrsPortTest, WaitInputWakesOnInputAndKeepsTheDeadline)
{
    // A device without echo that answers 300 ms late, unpaced.
    SimDevice* pLate = addDevice(4, false);
    pLate->setPacing(false);
    pLate->setMisbehaviour(SimMisbehaviour{false, 300, 0, 0, -1, -1});
    ASSERT_EQ(urs_OpenPort(&m_port, comDevice(4).c_str()), urs_kOk);
    // Timed from before the command: the device's 300 ms start when it has
    // read it.
    int64_t nElapsed = timedMs([this] {
        ASSERT_EQ(urs_PutString(&m_port, "AT\r"), urs_kOk);
        EXPECT_EQ(urs_WaitInput(&m_port, 5000), 1);
    });
    EXPECT_GE(nElapsed, 300);
    EXPECT_LT(nElapsed, 300 + roomMs());

    urs_StartTimer(&m_port, 1);
    nElapsed = timedMs([this] {
        while (urs_CharReady(&m_port))
            urs_GetChar(&m_port);
        EXPECT_EQ(urs_WaitInput(&m_port, 100000), 0);
    });
    EXPECT_GE(nElapsed, 900);
    EXPECT_LT(nElapsed, 1000 + roomMs());
    EXPECT_EQ(urs_TimerExpired(&m_port), 1);
    EXPECT_LT(timedMs([this] { EXPECT_EQ(urs_WaitInput(&m_port, 100000), 0); }), roomMs());
}

TEST_F(UrsPortTest, DroppedLineFailsWritesAndWaitsDoNotSpin)
{
    openPort(3);
    m_pDevice->setMisbehaviour(SimMisbehaviour{false, 0, 0, 0, -1, 0});
    ASSERT_EQ(urs_PutString(&m_port, "AT\r"), urs_kOk);
    ASSERT_TRUE(m_pDevice->transcript().waitEvent("line dropped", 2000));
    {
        SysCallFaults faults;
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(urs_WaitInput(&m_port, 100), 0);
        EXPECT_EQ(faults.count(SysCall::kPoll), 10);
    }
    EXPECT_EQ(urs_PutString(&m_port, "AT\r"), urs_kIoError);
}

TEST_F(UrsPortTest, DefaultReadTimeOutRealTime)
{
    os_SetTimeScale(1);
    openPort(3);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(urs_GetChar(&m_port), -1);
    auto real = std::chrono::steady_clock::now() - start;
    EXPECT_GE(real, std::chrono::milliseconds(3450));
    EXPECT_LT(real, std::chrono::milliseconds(4500));
}

}  // namespace
