// The AT command exchange against simulated devices, byte for byte: scripted
// raw replies (echo off on the device, so the script owns every byte) for
// the echo-skip states, the "OK" matcher, both collection modes, the ATI1
// field splitting, cancellation, failures and small reply areas.
#include "EngineSource/devid.h"
#include "support/SimFixture.h"
#include "support/SysCallFaults.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class DevidExchangeTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        addDevice(3, false);
        openPort(3, 38400);
    }

    // Counts the callback's calls; never cancels.
    static int32_t countCalls(void* pArg, int32_t nStage)
    {
        ++*static_cast<int*>(pArg);
        return nStage == 1 || nStage == 4 ? 1 : 0;
    }

    // Records the stage and cancels.
    static int32_t cancelAtOnce(void* pArg, int32_t nStage)
    {
        *static_cast<int32_t*>(pArg) = nStage;
        return 0;
    }

    // ReadATI1 with a 2-second time-out into fields of nSize1, 81 and 81 bytes.
    int readAti1(char (*pszFields)[81], uint32_t nSize1)
    {
        return devid_ReadATI1(&m_port, pszFields[0], nSize1, pszFields[1], 81, pszFields[2], 81, 2, nullptr, nullptr);
    }

    char m_szReply[244] = {};
};

TEST_F(DevidExchangeTest, SendCommandSkipsTheEchoAndCollectsTheFirstOrEveryLine)
{
    struct Case {
        const char* pszCommand;
        const char* pszReply;     // raw bytes the device sends; "" is silence
        uint32_t bFirstLine;
        int nResult;
        const char* pszText;
        bool bToDeadline;         // the wait lasts the whole 2-second time-out
        uint32_t nSize = 244;     // the reply area's size
    };
    const Case kCases[] = {
        {"AT\r", "AT\r\r\nOK\r\n", 1, 1, "OK", false},
        {"ATI\r", "ATI\r\r\n56K Data Modem\r\n\r\nOK\r\n", 0, 1, "56K Data Modem\r\n\r\nOK", false},
        // Without an echo the first line is taken for it.
        {"AT\r", "\r\nOK\r\n", 1, 1, "", false},
        {"ATI\r", "\r\n56K Data Modem\r\n\r\nOK\r\n", 0, 1, "OK", false},
        // "OOK": the second O starts the matcher over without being tested as O.
        {"AT\r", "AT\r\r\nOOK\r\n", 0, 1, "OOK\r\n", true},
        // No reply fails the first-line mode only.
        {"AT\r", "", 1, 0, "", true},
        {"ATI\r", "", 0, 1, "", true},
        // An information line ending in OK ends the wait too (the bytes after
        // it are skipped as the next echo).
        {"ATI3\r", "ATI3\r\r\nSTATUS OK\r\nrest", 0, 1, "STATUS OK", false},
        // A small reply area keeps watching for "OK".
        {"ATI\r", "ATI\r\r\nA rather long information line\r\n\r\nOK\r\n", 0, 1, "A rathe", false, 8},
        // Bytes 0xFF, 0xFC and 0x80 to 0xFE are bytes like any other.
        {"ATI\r", "ATI\r\r\nAB\xFF" "CD\xFC\x80\xFE\r\n\r\nOK\r\n", 0, 1, "AB\xFF" "CD\xFC\x80\xFE\r\n\r\nOK", false},
    };
    // A reply must end the wait well before the 2-second deadline, with
    // room for the scheduler's delays.
    os_SetTimeScale(kRoomRealMs / 2000);
    std::string sent;
    for (const Case& test : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::string(test.pszReply)) + " first line " +
                     std::to_string(test.bFirstLine));
        std::string command(test.pszCommand);
        m_pDevice->setRawReply(command.substr(0, command.size() - 1), test.pszReply);
        int nCalls = 0;
        int64_t nStart = os_ClockMs();
        EXPECT_EQ(devid_SendCommand(&m_port, m_szReply, test.nSize, 2, countCalls, &nCalls, test.pszCommand,
                                    test.bFirstLine),
                  test.nResult);
        int64_t nElapsed = os_ClockMs() - nStart;
        EXPECT_STREQ(m_szReply, test.pszText);
        EXPECT_EQ(m_port.bArmed, 0);
        EXPECT_EQ(nElapsed >= 2000, test.bToDeadline) << nElapsed;
        EXPECT_LT(nElapsed, 2000 + roomMs());
        // The callback ran on every pass of the wait, which stayed idle: a
        // pass is a slice of waiting, cut short by arriving bytes, or the
        // read of one byte; a spinning wait would make thousands.
        EXPECT_GT(nCalls, 0);
        EXPECT_LE(nCalls, nElapsed / urs_kWaitSliceMs + 2 * static_cast<int64_t>(strlen(test.pszReply)) + 2);
        sent += command;
    }
    EXPECT_TRUE(m_pDevice->transcript().waitReceived(sent, 2000));
}

TEST_F(DevidExchangeTest, CancelOnTheFirstCallbackAfterTheCommandWasWritten)
{
    int32_t nStage = -1;
    EXPECT_EQ(devid_SendCommand(&m_port, m_szReply, sizeof m_szReply, 5, cancelAtOnce, &nStage, "AT\r", 1), 0);
    EXPECT_EQ(nStage, 1);
    EXPECT_EQ(m_port.bArmed, 0);
    EXPECT_TRUE(m_pDevice->transcript().waitReceived("AT\r", 2000));
    char szField[3][81];
    EXPECT_EQ(devid_ReadATI1(&m_port, szField[0], 81, szField[1], 81, szField[2], 81, 5, cancelAtOnce, &nStage), 0);
    EXPECT_EQ(nStage, 4);
}

// A write or read error ends the exchange with 0 and the text so far; a
// read error is no byte (it used to be stored as the byte 0xFC).
TEST_F(DevidExchangeTest, WriteAndReadErrorsEndTheExchange)
{
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EIO);
        gn_StrCopyN(m_szReply, "old", static_cast<int>(sizeof m_szReply));
        EXPECT_EQ(devid_SendCommand(&m_port, m_szReply, sizeof m_szReply, 2, nullptr, nullptr, "AT\r", 1), 0);
        EXPECT_STREQ(m_szReply, "");
        EXPECT_EQ(m_port.bArmed, 0);
    }
    m_pDevice->setRawReply("ATI", "ATI\r\r\nABCDEF\r\n\r\nOK\r\n");
    {
        SysCallFaults faults;
        faults.fail(SysCall::kRead, 9, EIO);  // reads 1 to 8: the echo, CR LF, A and B
        EXPECT_EQ(devid_SendCommand(&m_port, m_szReply, sizeof m_szReply, 2, nullptr, nullptr, "ATI\r", 0), 0);
        EXPECT_STREQ(m_szReply, "AB");
    }
}

TEST_F(DevidExchangeTest, ReadATI1TakesLinesOneThreeAndFourCutToTheirAreas)
{
    char szField[3][81];
    m_pDevice->setRawReply("ATI1", "ATI1\r\r\nline one\r\n\r\nline three\r\nline four\r\n\r\nOK\r\n");
    EXPECT_EQ(readAti1(szField, 81), 1);
    EXPECT_EQ(std::string(szField[0]) + "|" + szField[1] + "|" + szField[2], "line one|line three|line four");
    m_pDevice->setRawReply("ATI1", "ATI1\r\r\nline one\r\nline two\r\nline three\r\nOK\r\n");
    EXPECT_EQ(readAti1(szField, 81), 1);
    EXPECT_EQ(std::string(szField[0]) + "|" + szField[1] + "|" + szField[2], "line one|line three|OK");
    // A missing "OK" ends in a time-out, with what was read.
    m_pDevice->setRawReply("ATI1", "ATI1\r\r\n1.234567\r\nskipped\r\nGERMANY\r\n");
    EXPECT_EQ(readAti1(szField, 5), 0);
    EXPECT_STREQ(szField[0], "1.23");
    EXPECT_STREQ(szField[1], "\nGERMANY");
    EXPECT_EQ(m_port.bArmed, 0);
}

}  // namespace
