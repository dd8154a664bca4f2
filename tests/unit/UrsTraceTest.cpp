// Pure pieces of the serial layer: the log rendering of data, baud-rate
// names, device-name resolution and the deadline timer. Traced writes, the
// rates a line is set to and deadlines are shown on simulated ports.
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

TEST(UrsFormatData, RendersEscapesAndCutsOnlyWholePieces)
{
    EXPECT_EQ(format(std::string("\x00\x1f\x7f\xff ~\r\n", 8)), "\\x00\\x1f\\x7f\\xff ~\\r\\n");
    EXPECT_EQ(format(std::string(30, '\x01')).size(), 20u * 4);
    // A short buffer cuts whole pieces, never half an escape.
    EXPECT_EQ(format("AB\r\n", 6), "AB\\r");
    EXPECT_EQ(format("AB", 1), "");
}

TEST(UrsBaudName, NamesKnownRatesAndCallsTheRest19200)
{
    for (uint32_t nBaud : {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        EXPECT_EQ(std::string(urs_BaudName(nBaud)), std::to_string(nBaud));
    for (uint32_t nBaud : {14400, 0, 230400})
        EXPECT_STREQ(urs_BaudName(nBaud), "19200") << nBaud;
}

std::string resolve(const char* pszDevice)
{
    char szPath[256];
    EXPECT_EQ(urs_ResolveDevice(pszDevice, szPath, sizeof szPath), 1) << pszDevice;
    return szPath;
}

TEST(UrsResolve, ComPortsWithOrWithoutAPortsFolderPathsAndOtherNames)
{
    const char* pszSaved = getenv("NORVANE_PORTS");
    std::string saved = pszSaved != nullptr ? pszSaved : "";
    unsetenv("NORVANE_PORTS");
    EXPECT_EQ(resolve("\\\\.\\COM1"), "/dev/ttyS0");
    EXPECT_EQ(resolve("\\\\.\\COM32"), "/dev/ttyS31");
    EXPECT_EQ(resolve("\\\\.\\COM33"), "/dev/ttyUSB0");
    EXPECT_EQ(resolve("\\\\.\\com36"), "/dev/ttyUSB3");
    EXPECT_EQ(resolve("\\\\.\\COM37"), "/dev/COM37");
    EXPECT_EQ(resolve("\\\\.\\COM0"), "/dev/COM0");
    setenv("NORVANE_PORTS", "", 1);
    EXPECT_EQ(resolve("\\\\.\\COM3"), "/dev/ttyS2");
    // Only COMn goes through the folder.
    setenv("NORVANE_PORTS", "/tmp/ports", 1);
    EXPECT_EQ(resolve("\\\\.\\com12"), "/tmp/ports/COM12");
    EXPECT_EQ(resolve("\\\\.\\COMX"), "/dev/COMX");
    EXPECT_EQ(resolve("\\\\.\\ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(resolve("\\\\.\\/dev/serial/by-id/usb-modem"), "/dev/serial/by-id/usb-modem");
    EXPECT_EQ(resolve("/dev/ttyS4"), "/dev/ttyS4");
    pszSaved != nullptr ? setenv("NORVANE_PORTS", saved.c_str(), 1) : unsetenv("NORVANE_PORTS");
    char szSmall[8];
    EXPECT_EQ(urs_ResolveDevice("\\\\.\\ttyUSB7", szSmall, sizeof szSmall), 0);
    EXPECT_STREQ(szSmall, "");
}

// Deadlines passing and stopping are shown on simulated ports.
TEST(UrsTimer, ExpiresOnlyWhenArmedAndCutsLongTimesInsteadOfWrapping)
{
    urs_Port port = {};
    port.hFile = -1;
    EXPECT_EQ(urs_TimerExpired(&port), 0);
    urs_StartTimer(&port, 4000000);
    EXPECT_EQ(port.nTimeoutMs, INT32_MAX);
    EXPECT_EQ(urs_TimerExpired(&port), 0);
}

}  // namespace
