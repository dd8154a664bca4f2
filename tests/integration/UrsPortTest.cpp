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

using ::testing::HasSubstr;

namespace {

class UrsPortTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        m_pDevice = addDevice(3);
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

    // Runtime-clock milliseconds fn takes.
    template <class Fn>
    static int64_t timed(Fn fn)
    {
        int64_t nStart = os_ClockMs();
        fn();
        return os_ClockMs() - nStart;
    }

    SimDevice* m_pDevice = nullptr;
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
    const std::tuple<SysCall, int, unsigned long, bool> kSteps[] = {
        {SysCall::kOpen, 1, 0, false},    {SysCall::kFlock, 1, 0, false},       {SysCall::kIoctl, 1, TIOCEXCL, false},
        {SysCall::kTcflush, 1, 0, true},  {SysCall::kIoctl, 1, TIOCMBIS, true}, {SysCall::kIoctl, 2, TIOCMBIS, true},
        {SysCall::kTcsetattr, 1, 0, true},
    };
    for (const auto& [eCall, nNth, nRequest, bOpened] : kSteps) {
        SCOPED_TRACE(std::to_string(static_cast<int>(eCall)) + " call " + std::to_string(nNth));
        {
            SysCallFaults faults;
            faults.fail(eCall, nNth, EACCES, false, nRequest);
            EXPECT_EQ(urs_OpenPort(&m_port, comDevice(3).c_str()), urs_kNotOpened);
            EXPECT_EQ(m_port.hFile, -1);
        }
        EXPECT_EQ(takeLog().find("Port closed") != std::string::npos, bOpened);
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
        int64_t nElapsed = timed([this] { urs_ClosePort(&m_port); });
        EXPECT_GE(nElapsed, 1000);
        EXPECT_LT(nElapsed, 1000 + roomMs());
    }
    EXPECT_EQ(m_port.hFile, -1);
    openPort(3);
}

TEST_F(UrsPortTest, SetUartAppliesAnyRateOrLeavesTheLineAsItWas)
{
    openPort(3);
    EXPECT_EQ(urs_SetUart(&m_port, 14400, 8, 0, 0, 1), urs_kOk);
    EXPECT_EQ(m_pDevice->hostBaud(), 14400u);
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

    // A failing call (standard rates go through termios, others through
    // termios2) or 9 data bits (no call fails: kCount).
    const std::tuple<SysCall, unsigned long, uint32_t, uint8_t> kCases[] = {
        {SysCall::kTcgetattr, 0, 38400, 8},           {SysCall::kTcsetattr, 0, 38400, 8},
        {SysCall::kIoctl, urs_kTcGets2, 14400, 8},    {SysCall::kIoctl, urs_kTcSets2, 14400, 8},
        {SysCall::kCount, 0, 38400, 9},
    };
    for (const auto& [eCall, nRequest, nBaud, nDataBits] : kCases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(eCall)) + " at " + std::to_string(nBaud));
        SysCallFaults faults;
        if (eCall != SysCall::kCount)
            faults.fail(eCall, 1, EIO, false, nRequest);
        EXPECT_EQ(urs_SetUart(&m_port, nBaud, nDataBits, 0, 0, 0), urs_kIoError);
        EXPECT_EQ(m_pDevice->hostBaud(), 115200u);
    }
}

TEST_F(UrsPortTest, ReadAndWriteFailuresAndSignedBytes)
{
    openPort(3);
    // Read failures leave the port usable; bytes read are signed.
    receive("\x41\xC8\xFF");
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
}

// Disarmed, a read waits the default; armed, the time left; armed with 0,
// one attempt at the buffered bytes; once the deadline has passed, reads and
// writes fail at once without touching the device.
TEST_F(UrsPortTest, ReadsAndWritesKeepTheTimeOutRules)
{
    openPort(3);
    int64_t nElapsed = timed([this] { EXPECT_EQ(urs_GetChar(&m_port), -1); });
    EXPECT_GE(nElapsed, urs_kDefaultDriverMs);
    EXPECT_LT(nElapsed, urs_kDefaultDriverMs + roomMs());

    nElapsed = timed([this] { EXPECT_EQ(urs_GetCharTimed(&m_port, 2), -1); });
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
    int64_t nElapsed = timed([this] {
        ASSERT_EQ(urs_PutString(&m_port, "AT\r"), urs_kOk);
        EXPECT_EQ(urs_WaitInput(&m_port, 5000), 1);
    });
    EXPECT_GE(nElapsed, 300);
    EXPECT_LT(nElapsed, 300 + roomMs());

    urs_StartTimer(&m_port, 1);
    nElapsed = timed([this] {
        while (urs_CharReady(&m_port))
            urs_GetChar(&m_port);
        EXPECT_EQ(urs_WaitInput(&m_port, 100000), 0);
    });
    EXPECT_GE(nElapsed, 900);
    EXPECT_LT(nElapsed, 1000 + roomMs());
    EXPECT_EQ(urs_TimerExpired(&m_port), 1);
    EXPECT_LT(timed([this] { EXPECT_EQ(urs_WaitInput(&m_port, 100000), 0); }), roomMs());
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
