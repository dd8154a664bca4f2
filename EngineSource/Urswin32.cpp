// Serial layer on Linux termios. Every system call goes through the table of
// OSSysCalls.h, so tests can make any step fail.
//
// Map of this file:
//   1. Constants and small helpers    5. Deadline timer and sleeps
//   2. Device names                   6. Writing
//   3. Opening and closing            7. Reading and waiting
//   4. Line settings                  8. Trace helpers
//
// The steps of a port's life, by the names its log lines use, and the POSIX
// calls that carry them:
//   exclusive CreateFile     open(O_RDWR|O_NOCTTY|O_NONBLOCK|O_CLOEXEC),
//                            flock(LOCK_EX|LOCK_NB) and ioctl(TIOCEXCL)
//   SetupComm (queues)       nothing to set: the kernel sizes its queues
//   PurgeComm                tcflush(TCIOFLUSH)
//   SetCommTimeouts          the time left is handed to poll() before each
//                            read and each write chunk; poll refusing it is
//                            the "Unable to setup time-outs" case
//   EscapeCommFunction       ioctl(TIOCMBIS / TIOCMBIC)
//   Get/SetCommState         tcgetattr/tcsetattr, or TCGETS2/TCSETS2 with
//                            BOTHER for rates termios has no constant for
//   ClearCommError + queue   ioctl(FIONREAD)
//   ReadFile / WriteFile     poll() + read() of one byte / poll() + write()
#include "EngineSource/Urswin32.h"

#include "EngineSource/OSSysCalls.h"
#include "EngineSource/UrsPortMap.h"
#include "EngineSource/UrsTermios2.h"
#include "EngineSource/dbg.h"

#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ------------------------------------------- 1. Constants and small helpers

namespace {

const char kDbgModule[] = "EngineSource/Urswin32";

// Closing waits at most this long for written data to leave the driver,
// checking every kDrainStepMs.
constexpr int64_t kDrainLimitMs = 1000;
constexpr uint32_t kDrainStepMs = 5;

// ClearCommError has no counterpart: the error lines report the call as
// successful (1) with no error flags, then errno.
constexpr int kClearResult = 1;
constexpr unsigned long kNoErrorFlags = 0;

os_SysCallTable& sys() { return os_SysCalls(); }

// The short name: the device name without its first four characters.
const char* shortName(const char* pszDevice)
{
    if (pszDevice == nullptr || strnlen(pszDevice, 4) < 4)
        return "";
    return pszDevice + 4;
}

// The time the next driver call may take: the time left of the armed
// deadline, or the default when none is armed. False when the deadline has
// passed (time left negative).
bool driverTime(const urs_Port* pPort, int64_t* pnMs)
{
    if (!pPort->bArmed) {
        *pnMs = urs_kDefaultDriverMs;
        return true;
    }
    *pnMs = pPort->nTimeoutMs - (os_ClockMs() - pPort->nStartMs);
    return *pnMs >= 0;
}

// Raises or lowers one modem line. Pseudo-terminals and some virtual ttys
// have no modem lines and answer ENOTTY or EINVAL: that is not a failure.
bool setModemLine(int fd, unsigned long nRequest, int nLine)
{
    int nBits = nLine;
    if (sys().pIoctl(fd, nRequest, &nBits) == 0)
        return true;
    return errno == ENOTTY || errno == EINVAL;
}

// The outcome of one driver call (a read or a write chunk).
enum class DriverCall {
    kDone,       // finished; it may have moved no byte (time-out, full queue)
    kRefused,    // poll() refused the time-out
    kFailed,     // read() or write() failed; errno tells why
};

// The errno triage of one driver call, in one place for reads and writes:
// nReady is poll()'s result; transfer() reads or writes once the device is
// ready and gives the system call's result. An interrupted poll or transfer
// and a full queue (EAGAIN) are not failures: the call is done with
// *pnMoved 0, and the caller's loop tries again while time is left.
template <typename Transfer>
DriverCall afterPoll(int nReady, Transfer transfer, long* pnMoved)
{
    *pnMoved = 0;
    if (nReady < 0)
        return errno == EINTR ? DriverCall::kDone : DriverCall::kRefused;
    if (nReady == 0)
        return DriverCall::kDone;
    ssize_t nMoved = transfer();
    if (nMoved >= 0) {
        *pnMoved = static_cast<long>(nMoved);
        return DriverCall::kDone;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return DriverCall::kDone;
    return DriverCall::kFailed;
}

}  // namespace

// ------------------------------------------------------------ 2. Device names

namespace {

// "COMn" (any letter case) followed by decimal digits only.
bool parseComName(const char* pszName, unsigned* pnCom)
{
    if (gn_StrniCmp(pszName, "COM", 3) != 0)
        return false;
    const char* pszDigits = pszName + 3;
    size_t nDigits = strspn(pszDigits, "0123456789");
    if (nDigits == 0 || nDigits > 9 || pszDigits[nDigits] != '\0')
        return false;
    *pnCom = static_cast<unsigned>(strtoul(pszDigits, nullptr, 10));
    return true;
}

}  // namespace

int urs_ResolveDevice(const char* pszDevice, char* pszPath, size_t nSize)
{
    if (pszPath == nullptr || nSize == 0)
        return 0;
    pszPath[0] = '\0';
    if (pszDevice == nullptr)
        return 0;
    const char* pszName = strncmp(pszDevice, "\\\\.\\", 4) == 0 ? pszDevice + 4 : pszDevice;

    unsigned nCom = 0;
    bool bCom = parseComName(pszName, &nCom);
    const char* pszPorts = getenv("NORVANE_PORTS");
    bool bPortsFolder = pszPorts != nullptr && pszPorts[0] != '\0';
    if (pszName[0] != '/' && bCom && (bPortsFolder || (nCom >= 1 && nCom <= urs_kMaxMappedPorts)))
        return urs_ResolveComPort(nCom, pszPath, nSize);
    int n;
    if (pszName[0] == '/')
        n = snprintf(pszPath, nSize, "%s", pszName);
    else
        n = snprintf(pszPath, nSize, "/dev/%s", pszName);

    if (n < 0 || static_cast<size_t>(n) >= nSize) {
        pszPath[0] = '\0';
        return 0;
    }
    return 1;
}

// ----------------------------------------------------- 3. Opening and closing

namespace {

// Opens the device for exclusive use. Both holds are needed: root ignores
// TIOCEXCL, and flock only stops programs that lock too. A terminal already
// held with TIOCEXCL is busy, also for root. Returns the
// descriptor, or -1 with errno set and nothing left open.
int openExclusive(const char* pszPath)
{
    int fd = sys().pOpen(pszPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // Root may open a terminal another program holds with TIOCEXCL; it is
    // refused as busy all the same, and since this program then never sets
    // the flag, closing never clears the other program's hold.
    int nHeld = 0;
    if (sys().pIoctl(fd, TIOCGEXCL, &nHeld) == 0 && nHeld != 0)
        errno = EBUSY;
    else if (sys().pFlock(fd, LOCK_EX | LOCK_NB) == 0 && sys().pIoctl(fd, TIOCEXCL, nullptr) == 0)
        return fd;
    int nError = errno;
    sys().pClose(fd);
    errno = nError;
    return -1;
}

// The line of a freshly opened port, built from zero: 300 baud, 8 data bits,
// no parity (parity checking on, so a parity set later is checked at once),
// one stop bit, raw (no echo, no canonical mode, no translation), receiver
// on, modem status lines ignored, no flow control; reads never block in the
// driver.
termios initialLine()
{
    termios line;
    memset(&line, 0, sizeof line);
    line.c_iflag = INPCK;
    line.c_cflag = CS8 | CREAD | CLOCAL;
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    cfsetispeed(&line, B300);
    cfsetospeed(&line, B300);
    return line;
}

// Waits until the driver's output queue is empty, at most kDrainLimitMs: a
// purge right after the last write would throw away bytes the caller has
// already been told were sent (such as a closing "ATFLEND\r"). True when the
// queue emptied (or cannot be asked), false when the wait gave up.
bool drainOutput(int fd)
{
    int64_t nEnd = os_ClockMs() + kDrainLimitMs;
    for (;;) {
        int nQueued = 0;
        if (sys().pIoctl(fd, TIOCOUTQ, &nQueued) != 0 || nQueued <= 0)
            return true;
        if (os_ClockMs() >= nEnd)
            return false;
        os_SleepMs(kDrainStepMs);
    }
}

// Readies a line urs_OpenPort has just opened: purges its queues, raises
// RTS and DTR and sets the initial line. False (logged) at the first step
// that fails.
bool readyLine(int fd, const char* pszShort)
{
    if (sys().pTcflush(fd, TCIOFLUSH) != 0) {
        DBG_LOG("urs_OpenPort: <%s>, Unable to purge comm buffers", pszShort);
        return false;
    }
    if (!setModemLine(fd, TIOCMBIS, TIOCM_RTS)) {
        DBG_LOG("urs_OpenPort: <%s>, Unable to set RTS high", pszShort);
        return false;
    }
    if (!setModemLine(fd, TIOCMBIS, TIOCM_DTR)) {
        DBG_LOG("urs_OpenPort: <%s>, Unable to set DTR high", pszShort);
        return false;
    }
    termios line = initialLine();
    if (sys().pTcsetattr(fd, TCSANOW, &line) != 0) {
        DBG_LOG("urs_OpenPort: <%s> Unable to set comm state", pszShort);
        return false;
    }
    return true;
}

}  // namespace

int urs_OpenPort(urs_Port* pPort, const char* pszDevice)
{
    pPort->hFile = -1;
    pPort->bArmed = 0;
    pPort->nStartMs = 0;
    pPort->nTimeoutMs = 0;
    pPort->szName[0] = '\0';
    pPort->nOpenError = 0;
    const char* pszShort = shortName(pszDevice);

    char szPath[os_kMaxPath];
    int fd = -1;
    int nResolved = urs_ResolveDevice(pszDevice, szPath, sizeof szPath);
    if (nResolved == 1)
        fd = openExclusive(szPath);
    else
        errno = nResolved < 0 ? urs_kNotMapped : ENAMETOOLONG;
    if (fd < 0) {
        pPort->nOpenError = errno;
        DBG_LOG("urs_OpenPort: <%s>, Invalid Handle Error, GetLastError = %8.8lx", pszShort,
                static_cast<unsigned long>(errno));
        return urs_kNotOpened;
    }
    pPort->hFile = fd;
    if (!readyLine(fd, pszShort)) {
        urs_ClosePort(pPort);
        return urs_kNotOpened;
    }
    DBG_LOG("Port opened <%s>", pszShort);
    gn_StrCopyN(pPort->szName, pszShort, static_cast<int>(sizeof pPort->szName));
    return urs_kOk;
}

void urs_ClosePort(urs_Port* pPort)
{
    if (pPort == nullptr || pPort->hFile < 0)
        return;
    int fd = pPort->hFile;
    // Output that has left needs no purge. A pseudo-terminal reports no
    // queue at all, and purging its output would discard what the other
    // side has not read yet; only output stuck in the driver is purged.
    bool bDrained = drainOutput(fd);
    if (!setModemLine(fd, TIOCMBIC, TIOCM_DTR))
        DBG_LOG("urs_ClosePort: Unable to lower DTR");
    if (sys().pTcflush(fd, bDrained ? TCIFLUSH : TCIOFLUSH) != 0)
        DBG_LOG("urs_ClosePort: Unable to purge comm");
    // The exclusive flag belongs to the terminal and outlives the descriptor
    // on pseudo-terminals; clear it so the port can be opened again. The
    // open refused a terminal held by another program, so the flag is ours.
    sys().pIoctl(fd, TIOCNXCL, nullptr);
    sys().pFlock(fd, LOCK_UN);
    sys().pClose(fd);
    pPort->hFile = -1;
    pPort->bArmed = 0;
    DBG_LOG("Port closed");
}

// ---------------------------------------------------------- 4. Line settings

namespace {

struct StandardRate {
    uint32_t nBaud;    // bits per second
    speed_t nSpeed;    // termios constant
};

const StandardRate kStandardRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool standardSpeed(uint32_t nBaud, speed_t* pnSpeed)
{
    for (const StandardRate& rate : kStandardRates) {
        if (rate.nBaud == nBaud) {
            *pnSpeed = rate.nSpeed;
            return true;
        }
    }
    return false;
}

// Applies data bits, parity, stop bits and CTS flow control (Win32 codes) to
// a termios or termios2 record; false when a value is not valid.
template <class Line>
bool applyFraming(Line* pLine, uint8_t nDataBits, uint8_t nParity, uint8_t nStopBits, uint8_t nCtsFlow)
{
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    static const tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD, PARENB | CMSPAR};
    if (nDataBits < 5 || nDataBits > 8 || nParity > 4 || nStopBits > 2)
        return false;
    pLine->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    pLine->c_cflag |= kSizes[nDataBits - 5] | kParities[nParity];
    if (nStopBits != 0)
        pLine->c_cflag |= CSTOPB;
    if (nCtsFlow & 1)
        pLine->c_cflag |= CRTSCTS;
    return true;
}

}  // namespace

int urs_SetUart(urs_Port* pPort, uint32_t nBaud, uint8_t nDataBits, uint8_t nParity,
                uint8_t nStopBits, uint8_t nCtsFlow)
{
    int fd = pPort->hFile;
    speed_t nSpeed = B0;
    if (standardSpeed(nBaud, &nSpeed)) {
        termios line;
        if (sys().pTcgetattr(fd, &line) != 0) {
            DBG_LOG("urs_SetUart: Unable to GetCommState");
            return urs_kIoError;
        }
        // A rate set through termios2 before leaves its input rate in the
        // CIBAUD bits, which cfsetispeed does not touch; clear them so the
        // input runs at the new rate too.
        line.c_cflag &= ~urs_kInputBaudMask;
        if (!applyFraming(&line, nDataBits, nParity, nStopBits, nCtsFlow) || cfsetispeed(&line, nSpeed) != 0 ||
            cfsetospeed(&line, nSpeed) != 0 || sys().pTcsetattr(fd, TCSANOW, &line) != 0) {
            DBG_LOG("urs_SetUart: Unable to SetCommState");
            return urs_kIoError;
        }
    } else {
        urs_Termios2 line;
        if (sys().pIoctl(fd, urs_kTcGets2, &line) != 0) {
            DBG_LOG("urs_SetUart: Unable to GetCommState");
            return urs_kIoError;
        }
        line.c_cflag &= ~(CBAUD | urs_kInputBaudMask);
        line.c_cflag |= urs_kBother | (urs_kBother << urs_kInputBaudShift);
        line.c_ispeed = nBaud;
        line.c_ospeed = nBaud;
        if (nBaud == 0 || !applyFraming(&line, nDataBits, nParity, nStopBits, nCtsFlow) ||
            sys().pIoctl(fd, urs_kTcSets2, &line) != 0) {
            DBG_LOG("urs_SetUart: Unable to SetCommState");
            return urs_kIoError;
        }
    }
    DBG_LOG("Uart setup at baud rate %s", urs_BaudName(nBaud));
    return urs_kOk;
}

// ------------------------------------------------ 5. Deadline timer and sleeps

void urs_StartTimer(urs_Port* pPort, uint32_t nSeconds)
{
    int64_t nMs = static_cast<int64_t>(nSeconds) * 1000;
    pPort->nTimeoutMs = nMs > INT32_MAX ? INT32_MAX : static_cast<int32_t>(nMs);
    pPort->nStartMs = os_ClockMs();
    pPort->bArmed = 1;
}

void urs_StopTimer(urs_Port* pPort) { pPort->bArmed = 0; }

int urs_TimerExpired(urs_Port* pPort)
{
    int64_t nLeft = 0;
    return pPort->bArmed && !driverTime(pPort, &nLeft) ? 1 : 0;
}

void urs_Sleep(uint32_t nSeconds)
{
    uint64_t nMs = static_cast<uint64_t>(nSeconds) * 1000;
    os_SleepMs(nMs > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(nMs));
}

void urs_SleepMs(uint32_t nMs) { os_SleepMs(nMs); }

// --------------------------------------------------------------- 6. Writing

namespace {

// One write chunk: waits up to nMs for room, then writes what the driver
// takes. *pnWritten stays 0 when the driver took nothing in time or its
// queue was full (EAGAIN), which is not a failure.
DriverCall writeChunk(int fd, const uint8_t* pData, uint32_t nCount, int64_t nMs, long* pnWritten)
{
    *pnWritten = 0;
    if (nCount == 0)
        return DriverCall::kDone;
    pollfd pfd = {fd, POLLOUT, 0};
    int nReady = sys().pPoll(&pfd, 1, os_RealMs(nMs));
    return afterPoll(nReady, [&] { return sys().pWrite(fd, pData, nCount); }, pnWritten);
}

// Writes nCount bytes chunk by chunk under the port's deadline. A line that
// takes nothing for urs_kMaxStalledWrites chunks in a row ends the write as
// a time-out, so a write with no deadline armed cannot repeat for ever.
int writeData(urs_Port* pPort, const uint8_t* pData, uint32_t nCount)
{
    uint32_t nRemaining = nCount;
    int nStalled = 0;
    for (;;) {
        int64_t nMs = 0;
        if (!driverTime(pPort, &nMs))
            break;
        long nWritten = 0;
        DriverCall eCall = writeChunk(pPort->hFile, pData, nRemaining, nMs, &nWritten);
        if (eCall == DriverCall::kRefused) {
            DBG_LOG("urs_OpenPort: Unable to setup time-outs");
            break;
        }
        if (eCall == DriverCall::kFailed) {
            unsigned long nError = static_cast<unsigned long>(errno);
            DBG_LOG("<%s>:  Write File Error (%d, %8.8lx, %8.8lx)", pPort->szName, kClearResult, kNoErrorFlags, nError);
            DBG_LOG("<%s>:  Write File Error %ld of %ld bytes written", pPort->szName, nWritten,
                    static_cast<long>(nRemaining));
            return urs_kIoError;
        }
        char szData[urs_kFormatSize];
        urs_FormatData(szData, sizeof szData, pData, nRemaining);
        DBG_LOG("<%s>:[%ld, %ld], Data = [%s]", pPort->szName, static_cast<long>(nRemaining), nWritten, szData);
        nRemaining -= static_cast<uint32_t>(nWritten);
        if (nRemaining == 0)
            return urs_kOk;
        pData += nWritten;
        nStalled = nWritten == 0 ? nStalled + 1 : 0;
        if (nStalled >= urs_kMaxStalledWrites)
            break;
    }
    DBG_LOG("Timeout when setting comm timeouts");
    return urs_kTimeout;
}

}  // namespace

int urs_PutChar(urs_Port* pPort, int c)
{
    uint8_t byte = static_cast<uint8_t>(c & 0xFF);
    return writeData(pPort, &byte, 1);
}

int urs_PutString(urs_Port* pPort, const char* psz)
{
    if (psz == nullptr)
        psz = "";
    return writeData(pPort, reinterpret_cast<const uint8_t*>(psz), static_cast<uint32_t>(strlen(psz)));
}

int urs_PutBlock(urs_Port* pPort, const void* pData, uint32_t nCount)
{
    if (pData == nullptr)
        nCount = 0;
    return writeData(pPort, static_cast<const uint8_t*>(pData), nCount);
}

// ------------------------------------------------------ 7. Reading and waiting

namespace {

// Waits up to nMs (runtime clock) for input. Returns the poll() result;
// *pbHungUp tells that the line reported a hang-up or an error.
int pollInput(int fd, int64_t nMs, bool* pbHungUp)
{
    pollfd pfd = {fd, POLLIN, 0};
    int nReady = sys().pPoll(&pfd, 1, os_RealMs(nMs));
    *pbHungUp = nReady > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    return nReady;
}

// One driver read of one byte, waiting up to nMs for it.
DriverCall readByte(int fd, uint8_t* pByte, int64_t nMs, long* pnRead)
{
    bool bHungUp = false;
    int nReady = pollInput(fd, nMs, &bHungUp);
    return afterPoll(nReady, [&] { return sys().pRead(fd, pByte, 1); }, pnRead);
}

}  // namespace

int urs_CharReady(urs_Port* pPort)
{
    int nWaiting = 0;
    if (sys().pIoctl(pPort->hFile, FIONREAD, &nWaiting) != 0)
        return 0;
    return nWaiting > 0 ? 1 : 0;
}

int urs_GetChar(urs_Port* pPort)
{
    uint8_t byte = 0;
    int nResult = urs_ReadByte(pPort, &byte);
    return nResult != urs_kOk ? nResult : static_cast<signed char>(byte);
}

int urs_ReadByte(urs_Port* pPort, uint8_t* pByte)
{
    int64_t nMs = 0;
    if (!driverTime(pPort, &nMs))
        return urs_kTimeout;
    uint8_t byte = 0;
    long nRead = 0;
    DriverCall eCall = readByte(pPort->hFile, &byte, nMs, &nRead);
    unsigned long nError = static_cast<unsigned long>(errno);
    if (eCall == DriverCall::kRefused) {
        DBG_LOG("urs_OpenPort: Unable to setup time-outs");
        return urs_kTimeout;
    }
    char szData[urs_kFormatSize];
    urs_FormatData(szData, sizeof szData, &byte, static_cast<uint32_t>(nRead));
    DBG_LOG("<%s>, [%ld], pData [%s]", pPort->szName, 1L, szData);
    if (eCall == DriverCall::kFailed) {
        DBG_LOG("Read File Error (%d, %8.8lx, %8.8lx)", kClearResult, kNoErrorFlags, nError);
        return urs_kIoError;
    }
    if (nRead == 0)
        return urs_kTimeout;
    *pByte = byte;
    return urs_kOk;
}

void urs_DiscardInput(urs_Port* pPort)
{
    if (sys().pTcflush(pPort->hFile, TCIFLUSH) != 0)
        DBG_LOG("<%s>: Unable to discard input", pPort->szName);
}

int urs_GetCharTimed(urs_Port* pPort, uint32_t nSeconds)
{
    urs_StartTimer(pPort, nSeconds);
    int nResult = urs_GetChar(pPort);
    urs_StopTimer(pPort);
    return nResult;
}

int urs_WaitInput(urs_Port* pPort, int nMaxMs)
{
    int64_t nWaitMs = nMaxMs > 0 ? nMaxMs : 0;
    if (pPort->bArmed) {
        int64_t nLeft = 0;
        if (!driverTime(pPort, &nLeft))
            return 0;
        if (nLeft + 1 < nWaitMs)
            nWaitMs = nLeft + 1;
    }
    bool bHungUp = false;
    int nReady = pollInput(pPort->hFile, nWaitMs, &bHungUp);
    if (nReady > 0 && !bHungUp)
        return 1;
    // A hung-up line (or a refused poll) answers at once: sleep instead, so
    // the caller's loop does not spin.
    if (nReady != 0)
        os_SleepMs(static_cast<uint32_t>(nWaitMs));
    return 0;
}

int urs_NextByte(urs_Port* pPort, uint8_t* pByte)
{
    if (urs_TimerExpired(pPort))
        return urs_kExpired;
    if (!urs_CharReady(pPort)) {
        urs_WaitInput(pPort, urs_kWaitSliceMs);
        return urs_kNoByteYet;
    }
    return urs_ReadByte(pPort, pByte);
}

// ----------------------------------------------------------- 8. Trace helpers

void urs_FormatData(char* pszOut, size_t nOutSize, const void* pData, uint32_t nCount)
{
    if (pszOut == nullptr || nOutSize == 0)
        return;
    pszOut[0] = '\0';
    if (pData == nullptr)
        return;
    const uint8_t* pBytes = static_cast<const uint8_t*>(pData);
    uint32_t nShown = nCount < urs_kFormatMaxBytes ? nCount : static_cast<uint32_t>(urs_kFormatMaxBytes);
    size_t nLength = 0;
    for (uint32_t i = 0; i < nShown; ++i) {
        char szPiece[8];
        uint8_t byte = pBytes[i];
        if (byte == '\n')
            snprintf(szPiece, sizeof szPiece, "\\n");
        else if (byte == '\r')
            snprintf(szPiece, sizeof szPiece, "\\r");
        else if (byte >= 0x20 && byte <= 0x7E)
            snprintf(szPiece, sizeof szPiece, "%c", byte);
        else
            snprintf(szPiece, sizeof szPiece, "\\x%2.2x", byte);
        size_t nPiece = strlen(szPiece);
        if (nLength + nPiece >= nOutSize)
            break;
        memcpy(pszOut + nLength, szPiece, nPiece);
        nLength += nPiece;
    }
    pszOut[nLength] = '\0';
}

const char* urs_BaudName(uint32_t nBaud)
{
    switch (nBaud) {
    case 300: return "300";
    case 1200: return "1200";
    case 2400: return "2400";
    case 4800: return "4800";
    case 9600: return "9600";
    case 38400: return "38400";
    case 57600: return "57600";
    case 115200: return "115200";
    default: return "19200";
    }
}
