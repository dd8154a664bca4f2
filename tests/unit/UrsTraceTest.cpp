// Pure pieces of the serial layer: the log rendering of data, baud-rate
// names and device-name resolution.
#include "EngineSource/Urswin32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string format(const std::string& bytes, size_t nOutSize = urs_kFormatSize)
{
    char szOut[urs_kFormatSize + 8];
    urs_FormatData(szOut, nOutSize, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return szOut;
}

TEST(UrsFormatData, RendersLineEndsPrintablesAndHex)
{
    EXPECT_EQ(format("AT\r\n"), "AT\\r\\n");
    EXPECT_EQ(format(std::string("\x00\x1f\x7f\xff ~", 6)), "\\x00\\x1f\\x7f\\xff ~");
    EXPECT_EQ(format(""), "");
}

TEST(UrsFormatData, ShowsAtMostTwentyBytesAndFitsItsBuffer)
{
    std::string thirty = "0123456789abcdefghijKLMNOPQRST";
    EXPECT_EQ(format(thirty), "0123456789abcdefghij");
    EXPECT_EQ(format(std::string(30, '\x01')).size(), 20u * 4);
    // A short buffer cuts whole pieces, never half an escape.
    EXPECT_EQ(format("AB\r\n", 6), "AB\\r");
    char szOne[1];
    urs_FormatData(szOne, sizeof szOne, "AB", 2);
    EXPECT_EQ(szOne[0], '\0');
}

TEST(UrsBaudName, NamesKnownRatesAndCallsTheRest19200)
{
    const uint32_t kKnown[] = {300, 1200, 2400, 4800, 9600, 38400, 57600, 115200};
    for (uint32_t nBaud : kKnown)
        EXPECT_EQ(std::string(urs_BaudName(nBaud)), std::to_string(nBaud));
    EXPECT_STREQ(urs_BaudName(19200), "19200");
    EXPECT_STREQ(urs_BaudName(14400), "19200");
    EXPECT_STREQ(urs_BaudName(0), "19200");
    EXPECT_STREQ(urs_BaudName(230400), "19200");
}

class UrsResolve : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* psz = getenv("NORVANE_PORTS");
        m_bHad = psz != nullptr;
        m_saved = psz != nullptr ? psz : "";
        unsetenv("NORVANE_PORTS");
    }
    void TearDown() override
    {
        if (m_bHad)
            setenv("NORVANE_PORTS", m_saved.c_str(), 1);
        else
            unsetenv("NORVANE_PORTS");
    }
    std::string resolve(const char* pszDevice)
    {
        char szPath[256];
        EXPECT_EQ(urs_ResolveDevice(pszDevice, szPath, sizeof szPath), 1) << pszDevice;
        return szPath;
    }

    bool m_bHad = false;     // NORVANE_PORTS was set before the test
    std::string m_saved;     // its value
};

TEST_F(UrsResolve, ComPortsWithoutAPortsFolder)
{
    EXPECT_EQ(resolve("\\\\.\\COM1"), "/dev/ttyS0");
    EXPECT_EQ(resolve("\\\\.\\COM32"), "/dev/ttyS31");
    EXPECT_EQ(resolve("\\\\.\\COM33"), "/dev/ttyUSB0");
    EXPECT_EQ(resolve("\\\\.\\com36"), "/dev/ttyUSB3");
    EXPECT_EQ(resolve("\\\\.\\COM37"), "/dev/COM37");
    EXPECT_EQ(resolve("\\\\.\\COM0"), "/dev/COM0");
    setenv("NORVANE_PORTS", "", 1);
    EXPECT_EQ(resolve("\\\\.\\COM3"), "/dev/ttyS2");
}

TEST_F(UrsResolve, ComPortsThroughAPortsFolder)
{
    setenv("NORVANE_PORTS", "/tmp/ports", 1);
    EXPECT_EQ(resolve("\\\\.\\COM3"), "/tmp/ports/COM3");
    EXPECT_EQ(resolve("\\\\.\\com12"), "/tmp/ports/COM12");
    EXPECT_EQ(resolve("\\\\.\\COM40"), "/tmp/ports/COM40");
    // Only COMn goes through the folder.
    EXPECT_EQ(resolve("\\\\.\\COMX"), "/dev/COMX");
    EXPECT_EQ(resolve("\\\\.\\ttyACM0"), "/dev/ttyACM0");
}

TEST_F(UrsResolve, PathsAndOtherNames)
{
    EXPECT_EQ(resolve("\\\\.\\/dev/serial/by-id/usb-modem"), "/dev/serial/by-id/usb-modem");
    EXPECT_EQ(resolve("\\\\.\\ttyUSB7"), "/dev/ttyUSB7");
    EXPECT_EQ(resolve("/dev/ttyS4"), "/dev/ttyS4");
    char szSmall[8];
    EXPECT_EQ(urs_ResolveDevice("\\\\.\\ttyUSB7", szSmall, sizeof szSmall), 0);
    EXPECT_STREQ(szSmall, "");
}

TEST(UrsTimer, ArmsInSecondsAndExpiresOnlyWhenArmed)
{
    double dSaved = os_TimeScale();
    os_SetTimeScale(0.01);
    urs_Port port = {};
    port.hFile = -1;
    EXPECT_EQ(urs_TimerExpired(&port), 0);
    urs_StartTimer(&port, 1);
    EXPECT_EQ(port.nTimeoutMs, 1000);
    EXPECT_EQ(urs_TimerExpired(&port), 0);
    urs_SleepMs(1100);
    EXPECT_EQ(urs_TimerExpired(&port), 1);
    urs_StopTimer(&port);
    EXPECT_EQ(urs_TimerExpired(&port), 0);
    urs_StartTimer(&port, 4000000);
    EXPECT_EQ(port.nTimeoutMs, INT32_MAX);
    EXPECT_EQ(urs_Trace('x'), 0);
    os_SetTimeScale(dSaved);
}

}  // namespace
