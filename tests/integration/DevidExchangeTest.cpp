// The AT command exchange against simulated devices, byte for byte: scripted
// raw replies (echo off on the device, so the script owns every byte) for
// the echo-skip states, the "OK" matcher, both collection modes, the ATI1
// field splitting, cancellation, time-outs and small reply areas.
#include "EngineSource/devid.h"
#include "support/SimFixture.h"
#include "support/SysCallFaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using ::testing::HasSubstr;

namespace {

class DevidExchangeTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        m_pDevice = addDevice(3, false);
        openPort(3);
        ASSERT_EQ(urs_SetUart(&m_port, 38400, 8, 0, 0, 0), 0);
    }

    // Runs one command against a scripted reply; the result, the text in
    // m_szReply and the runtime-clock time taken.
    int exchange(const char* pszCommand, const std::string& reply, uint32_t bFirstLine, uint32_t nTimeout = 2)
    {
        std::string command(pszCommand);
        m_pDevice->setRawReply(command.substr(0, command.size() - 1), reply);
        int64_t nStart = os_ClockMs();
        int nResult = devid_SendCommand(&m_port, m_szReply, sizeof m_szReply, nTimeout, countCalls, &m_nCalls,
                                        pszCommand, bFirstLine);
        m_nElapsedMs = os_ClockMs() - nStart;
        return nResult;
    }

    static int32_t countCalls(void* pArg, int32_t nStage)
    {
        auto* pCalls = static_cast<int*>(pArg);
        ++*pCalls;
        return nStage == 1 || nStage == 4 ? 1 : 0;
    }

    static int32_t cancelAtOnce(void* pArg, int32_t nStage)
    {
        *static_cast<int32_t*>(pArg) = nStage;
        return 0;
    }

    SimDevice* m_pDevice = nullptr;
    char m_szReply[244] = {};
    int m_nCalls = 0;
    int64_t m_nElapsedMs = 0;
};

TEST_F(DevidExchangeTest, EchoOnFirstLineAndAllLines)
{
    EXPECT_EQ(exchange("AT\r", "AT\r\r\nOK\r\n", 1), 1);
    EXPECT_STREQ(m_szReply, "OK");
    EXPECT_EQ(exchange("ATI\r", "ATI\r\r\n56K Data Modem\r\n\r\nOK\r\n", 0), 1);
    EXPECT_STREQ(m_szReply, "56K Data Modem\r\n\r\nOK");
    EXPECT_LT(m_nElapsedMs, 2000);
    EXPECT_EQ(m_pDevice->transcript().received(), "AT\rATI\r");
    EXPECT_GT(m_nCalls, 0);
}

TEST_F(DevidExchangeTest, EchoOffTakesTheFirstLineForTheEcho)
{
    EXPECT_EQ(exchange("AT\r", "\r\nOK\r\n", 1), 1);
    EXPECT_STREQ(m_szReply, "");
    EXPECT_EQ(exchange("ATI\r", "\r\n56K Data Modem\r\n\r\nOK\r\n", 0), 1);
    EXPECT_STREQ(m_szReply, "OK");
}

TEST_F(DevidExchangeTest, OnlyAWholeOkEndsTheWait)
{
    // "OOK": the second O starts the matcher over without being tested as O.
    EXPECT_EQ(exchange("AT\r", "AT\r\r\nOOK\r\n", 0), 1);
    EXPECT_STREQ(m_szReply, "OOK\r\n");
    EXPECT_GE(m_nElapsedMs, 2000);
    EXPECT_EQ(exchange("ATX\r", "ATX\r\r\nOOK\r\n", 1), 0);
    EXPECT_STREQ(m_szReply, "OOK");
    EXPECT_GE(m_nElapsedMs, 2000);
    // An information line ending in OK ends the wait too.
    EXPECT_EQ(exchange("ATI3\r", "ATI3\r\r\nSTATUS OK\r\nrest", 0), 1);
    EXPECT_STREQ(m_szReply, "STATUS OK");
    EXPECT_LT(m_nElapsedMs, 2000);
}

TEST_F(DevidExchangeTest, NoReplyInEachMode)
{
    m_pDevice->setMisbehaviour(SimMisbehaviour{true, 0, 0, 0, -1, -1});
    EXPECT_EQ(exchange("AT\r", "", 1), 0);
    EXPECT_STREQ(m_szReply, "");
    EXPECT_GE(m_nElapsedMs, 2000);
    EXPECT_LT(m_nElapsedMs, 3000);
    EXPECT_EQ(exchange("ATI\r", "", 0), 1);
    EXPECT_STREQ(m_szReply, "");
    EXPECT_EQ(m_port.bArmed, 0);
    // The callback ran on every pass of the wait, which stayed idle.
    EXPECT_GT(m_nCalls, 2);
    EXPECT_LT(m_nCalls, 2 * 3000 / devid_kWaitSliceMs);
}

TEST_F(DevidExchangeTest, CancelOnTheFirstCallbackAfterTheCommandWasWritten)
{
    int32_t nStage = -1;
    EXPECT_EQ(devid_SendCommand(&m_port, m_szReply, sizeof m_szReply, 5, cancelAtOnce, &nStage, "AT\r", 1), 0);
    EXPECT_EQ(nStage, 1);
    EXPECT_EQ(m_port.bArmed, 0);
    EXPECT_TRUE(m_pDevice->transcript().waitReceived("AT\r", 2000));
    char szField[3][81];
    nStage = -1;
    EXPECT_EQ(devid_ReadATI1(&m_port, szField[0], 81, szField[1], 81, szField[2], 81, 5, cancelAtOnce, &nStage), 0);
    EXPECT_EQ(nStage, 4);
}

TEST_F(DevidExchangeTest, FailuresReturnZeroWithTheTextSoFar)
{
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EIO);
        gn_StrCopyN(m_szReply, "old", static_cast<int>(sizeof m_szReply));
        EXPECT_EQ(devid_SendCommand(&m_port, m_szReply, sizeof m_szReply, 2, nullptr, nullptr, "AT\r", 1), 0);
        EXPECT_STREQ(m_szReply, "");
        EXPECT_EQ(m_port.bArmed, 0);
    }
    // A received 0xFF reads as a time-out: the exchange ends at once.
    EXPECT_EQ(exchange("ATI\r", "ATI\r\r\nAB\xFF" "CD\r\n\r\nOK\r\n", 0), 0);
    EXPECT_STREQ(m_szReply, "AB");
    EXPECT_LT(m_nElapsedMs, 2000);
}

// A read error is no byte: it ends either exchange with 0 and the text so
// far, where it used to be stored as the byte 0xFC.
TEST_F(DevidExchangeTest, ReadErrorEndsTheExchange)
{
    m_pDevice->setRawReply("ATI", "ATI\r\r\nABCDEF\r\n\r\nOK\r\n");
    {
        SysCallFaults faults;
        // Reads 1 to 8 are the echo, CR LF, A and B.
        faults.fail(SysCall::kRead, 9, EIO);
        EXPECT_EQ(devid_SendCommand(&m_port, m_szReply, sizeof m_szReply, 2, nullptr, nullptr, "ATI\r", 0), 0);
        EXPECT_STREQ(m_szReply, "AB");
    }
    // The rest of the reply is left unread; drop it.
    urs_StartTimer(&m_port, 1);
    while (urs_GetChar(&m_port) != -1) {
    }
    m_pDevice->setRawReply("ATI1", "ATI1\r\r\n1.23\r\nskipped\r\nPTT GERMAN\r\n\r\nOK\r\n");
    char szField[3][81] = {"", "", ""};
    {
        SysCallFaults faults;
        // Reads 1 to 9 are the echo, CR LF, 1 and the point.
        faults.fail(SysCall::kRead, 10, EIO);
        EXPECT_EQ(devid_ReadATI1(&m_port, szField[0], 81, szField[1], 81, szField[2], 81, 2, nullptr, nullptr), 0);
        EXPECT_STREQ(szField[0], "1.");
        EXPECT_EQ(m_port.bArmed, 0);
    }
}

TEST_F(DevidExchangeTest, SmallReplyAreaKeepsWatchingForOk)
{
    char szSmall[8];
    m_pDevice->setRawReply("ATI", "ATI\r\r\nA rather long information line\r\n\r\nOK\r\n");
    int64_t nStart = os_ClockMs();
    EXPECT_EQ(devid_SendCommand(&m_port, szSmall, sizeof szSmall, 2, nullptr, nullptr, "ATI\r", 0), 1);
    EXPECT_LT(os_ClockMs() - nStart, 2000);
    EXPECT_STREQ(szSmall, "A rathe");
}

TEST_F(DevidExchangeTest, ReadATI1SplitsThreeFields)
{
    char szField[3][81];
    m_pDevice->setRawReply("ATI1", "ATI1\r\r\nline one\r\n\r\nline three\r\nline four\r\n\r\nOK\r\n");
    EXPECT_EQ(devid_ReadATI1(&m_port, szField[0], 81, szField[1], 81, szField[2], 81, 2, countCalls, &m_nCalls), 1);
    EXPECT_STREQ(szField[0], "line one");
    EXPECT_STREQ(szField[1], "line three");
    EXPECT_STREQ(szField[2], "line four");
    EXPECT_GT(m_nCalls, 0);

    m_pDevice->setRawReply("ATI1", "ATI1\r\r\nline one\r\nline two\r\nline three\r\nOK\r\n");
    EXPECT_EQ(devid_ReadATI1(&m_port, szField[0], 81, szField[1], 81, szField[2], 81, 2, countCalls, &m_nCalls), 1);
    EXPECT_STREQ(szField[0], "line one");
    EXPECT_STREQ(szField[1], "line three");
    EXPECT_STREQ(szField[2], "OK");

    // Fields are cut to their areas; a missing "OK" ends in a time-out.
    char szTiny[5];
    m_pDevice->setRawReply("ATI1", "ATI1\r\r\n1.234567\r\nskipped\r\nGERMANY\r\n");
    EXPECT_EQ(devid_ReadATI1(&m_port, szTiny, sizeof szTiny, szField[1], 81, szField[2], 81, 2, countCalls,
                             &m_nCalls), 0);
    EXPECT_STREQ(szTiny, "1.23");
    EXPECT_STREQ(szField[1], "\nGERMANY");
    EXPECT_EQ(m_port.bArmed, 0);
}

TEST_F(DevidExchangeTest, ModemFramesItsRepliesAsTheExchangeExpects)
{
    ASSERT_NE(addDevice(5, true), nullptr);
    urs_Port modem;
    ASSERT_EQ(urs_OpenPort(&modem, comDevice(5).c_str()), 0);
    EXPECT_EQ(devid_SendCommand(&modem, m_szReply, sizeof m_szReply, 2, nullptr, nullptr, "ATE1V1Q0\r", 1), 1);
    EXPECT_STREQ(m_szReply, "OK");
    EXPECT_EQ(devid_SendCommand(&modem, m_szReply, sizeof m_szReply, 2, nullptr, nullptr, "ATI\r", 0), 1);
    EXPECT_STREQ(m_szReply, "Norvane simulated modem\r\n\r\nOK");
    // ERROR carries no "OK": the first line is kept, the wait ends at the
    // deadline and fails.
    EXPECT_EQ(devid_SendCommand(&modem, m_szReply, sizeof m_szReply, 2, nullptr, nullptr, "ATI7\r", 1), 0);
    EXPECT_STREQ(m_szReply, "ERROR");
    urs_ClosePort(&modem);
}

// A simulated modem on COM3 of a ports folder answers "AT\r" through the
// serial layer, byte for byte, with the whole exchange traced in log.txt.
TEST_F(DevidExchangeTest, SimulatedModemOnCom3AnswersAt)
{
    urs_ClosePort(&m_port);
    m_ports.stopAll();
    SimDevice* pModem = addDevice(3, true);
    takeLog();
    openPort(3);
    ASSERT_EQ(urs_SetUart(&m_port, 38400, 8, 0, 0, 0), 0);
    EXPECT_EQ(devid_SendCommand(&m_port, m_szReply, sizeof m_szReply, 5, nullptr, nullptr, "AT\r", 1), 1);
    EXPECT_STREQ(m_szReply, "OK");
    urs_ClosePort(&m_port);
    EXPECT_TRUE(pModem->transcript().waitSent("AT\r\r\nOK\r\n", 2000));
    EXPECT_EQ(pModem->transcript().received(), "AT\r");
    EXPECT_EQ(pModem->transcript().sent(), "AT\r\r\nOK\r\n");

    std::string trace = takeLog();
    const char* kLines[] = {
        "]: Port opened <COM3>\n",
        "]: Uart setup at baud rate 38400\n",
        "]: <COM3>:[3, 3], Data = [AT\\r]\n",
        "]: <COM3>, [1], pData [A]\n",
        "]: <COM3>, [1], pData [T]\n",
        "]: <COM3>, [1], pData [\\r]\n",
        "]: <COM3>, [1], pData [\\n]\n",
        "]: <COM3>, [1], pData [O]\n",
        "]: <COM3>, [1], pData [K]\n",
        "]: Port closed\n",
    };
    size_t nAt = 0;
    for (const char* pszLine : kLines) {
        size_t nFound = trace.find(pszLine, nAt);
        ASSERT_NE(nFound, std::string::npos) << pszLine << " in\n" << trace;
        nAt = nFound;
    }
    EXPECT_THAT(trace, HasSubstr("[EngineSource/Urswin32 ("));
}

}  // namespace
