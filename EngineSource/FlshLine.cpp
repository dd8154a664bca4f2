// Shared pieces of the line-streaming flash protocols (line texts, progress,
// reply waits) and the run record of every protocol.
#include "EngineSource/FlshLine.h"

#include "EngineSource/dbg.h"

#include <cstring>

static const char kDbgModule[] = "EngineSource/FlshLine";

// ------------------------------------- 1. Lines of a loader or firmware file

int32_t flsh_ReadLineText(osfl_Handle hFile, os_LineReader* pReader, const char* pszPrefix, char* pszText,
                          int32_t* pnRead)
{
    pszText[0] = '\0';
    char szLine[flsh_kLineSize];
    int32_t nLine = 0;
    int32_t nRead = os_ReadLine(hFile, szLine, flsh_kLineSize, pReader, &nLine);
    *pnRead = nRead;
    if (nRead <= 0)
        return nRead;
    // A NUL byte would cut the line short on the wire: the line is bad.
    if (memchr(szLine, '\0', static_cast<size_t>(nLine)) != nullptr) {
        DBG_LOG("Line holds a NUL byte");
        return -1;
    }
    size_t nPrefix = pszPrefix != nullptr ? strlen(pszPrefix) : 0;
    // Prefix, line, CR LF and the terminator must fit the text: a loader line
    // of 121 characters or a firmware line of 126 would overrun it.
    if (nPrefix + static_cast<size_t>(nLine) + 3 > static_cast<size_t>(flsh_kLineSize)) {
        DBG_LOG("Line too long to send: %d characters", static_cast<int>(nPrefix + static_cast<size_t>(nLine)));
        return -1;
    }
    memcpy(pszText, pszPrefix != nullptr ? pszPrefix : "", nPrefix);
    memcpy(pszText + nPrefix, szLine, static_cast<size_t>(nLine));
    memcpy(pszText + nPrefix + nLine, "\r\n", 3);
    return static_cast<int32_t>(nPrefix + static_cast<size_t>(nLine) + 2);
}

// ------------------------------------------------------------- 2. Progress

int32_t flsh_Percent(osfl_Handle hFile, int32_t nLength)
{
    int32_t nPosition = osfl_Tell(hFile);
    if (nLength <= 0 || nPosition < 0)
        return 0;
    return static_cast<int32_t>(static_cast<int64_t>(nPosition) * 100 / nLength);
}

// ---------------------------------------------------------- 3. Waiting for replies

int flsh_ReadReplyByte(urs_Port* pPort)
{
    for (;;) {
        uint8_t byte = 0;
        int nNext = urs_NextByte(pPort, &byte);
        if (nNext == urs_kOk)
            return byte;
        if (nNext == urs_kExpired || nNext == urs_kIoError)
            return -1;
    }
}

int flsh_WaitTexts(urs_Port* pPort, uint32_t nSeconds, const char* const* ppszTexts, int nTexts)
{
    gn_Matcher matchers[flsh_kMaxWaitTexts];
    if (nTexts > flsh_kMaxWaitTexts)
        nTexts = flsh_kMaxWaitTexts;
    for (int i = 0; i < nTexts; ++i)
        gn_MatchInit(&matchers[i], ppszTexts[i]);
    urs_StartTimer(pPort, nSeconds);
    int nFound = -1;
    while (nFound < 0) {
        int nByte = flsh_ReadReplyByte(pPort);
        if (nByte < 0)
            break;
        for (int i = 0; i < nTexts && nFound < 0; ++i) {
            if (gn_MatchChar(&matchers[i], nByte))
                nFound = i;
        }
    }
    urs_StopTimer(pPort);
    return nFound;
}

// ------------------------------------------------- 4. What a run holds open

flsh_Run::~flsh_Run()
{
    for (int nSlot = 0; nSlot < flsh_kRunFiles; ++nSlot)
        flsh_CloseRunFile(this, nSlot);
    os_RemoveTempFile(szTempFile);
    urs_ClosePort(&port);
}

int flsh_OpenRun(flsh_Run* pRun, const char* pszPort) { return urs_OpenPort(&pRun->port, pszPort); }

bool flsh_OpenRunFile(flsh_Run* pRun, int nSlot, const char* pszPath)
{
    pRun->hFiles[nSlot] = osfl_Open(pszPath, osfl_kAccessRead);
    return pRun->hFiles[nSlot] != osfl_kInvalidHandle;
}

void flsh_CloseRunFile(flsh_Run* pRun, int nSlot)
{
    if (pRun->hFiles[nSlot] == osfl_kInvalidHandle)
        return;
    osfl_Close(pRun->hFiles[nSlot]);
    pRun->hFiles[nSlot] = osfl_kInvalidHandle;
}
