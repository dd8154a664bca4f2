// A simulated device on a pseudo-terminal: the device thread, pacing and
// the line events.
#include "sim/SimDevice.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/UrsTermios2.h"
#include "sim/SimText.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

namespace {

// While the host has its port closed the master reports a hang-up at once,
// so the device looks again after this pause of real time. Every look polls
// the hung-up master, and polling a pseudo-terminal waits for the kernel's
// buffer worker, which also carries every other pseudo-terminal's bytes:
// a dozen closed devices looking every 2 ms kept that worker from running
// for up to a second on a busy machine, and the open lines went silent.
constexpr int kClosedRetryRealMs = 20;

// The longest a device thread waits in one poll, in real time, even with
// nothing scheduled: it never blocks without a limit.
constexpr double kMaxWaitRealMs = 100;

// Bits on the line per byte: start bit, 8 data bits, stop bit.
constexpr double kBitsPerByte = 10.0;

constexpr size_t kReadChunk = 256;

// Real-time priority of the device thread (SCHED_FIFO, the lowest level): a
// device answers when its line says so however busy the processors are with
// the engine's workers, the test or other programs. Where the system refuses
// (no privilege), the thread keeps the normal policy and the time scale of
// the tests alone keeps the windows wide enough.
constexpr int kDevicePriority = 1;

// Waits in poll on the fds up to nWaitMs of runtime-clock time (fractions
// count: a byte due in a tenth of a runtime millisecond is waited for that
// long, not a whole real millisecond), at most kMaxWaitRealMs of real time;
// a negative wait means nothing is due and waits that longest time.
int pollRuntime(pollfd* pFds, nfds_t nFds, double dWaitMs)
{
    double dRealNs = kMaxWaitRealMs * 1e6;
    if (dWaitMs >= 0)
        dRealNs = std::min(dWaitMs * os_TimeScale() * 1e6, dRealNs);
    int64_t nNs = static_cast<int64_t>(std::ceil(dRealNs));
    timespec wait = {static_cast<time_t>(nNs / 1000000000), static_cast<long>(nNs % 1000000000)};
    return ppoll(pFds, nFds, &wait, nullptr);
}

}  // namespace

SimDevice::SimDevice(const SimDeviceConfig& config, const std::string& portsDir)
    : m_nPort(config.nPort),
      m_portsDir(portsDir),
      m_linkPath(portsDir + "/COM" + std::to_string(config.nPort)),
      m_modem(config),
      m_bPacing(config.bPacing),
      m_bPaceInput(config.bPaceInput)
{
}

SimDevice::~SimDevice() { stop(); }

std::string SimDevice::deviceName() const { return "\\\\.\\COM" + std::to_string(m_nPort); }

bool SimDevice::start(std::string* pError)
{
    m_nWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_nWake < 0) {
        if (pError != nullptr)
            *pError = "eventfd failed";
        return false;
    }
    if (!openPty(pError) || !linkPty(pError))
        return false;
    m_thread = std::thread(&SimDevice::run, this);
    return true;
}

void SimDevice::stop()
{
    if (m_thread.joinable()) {
        m_bStop = true;
        wake();
        m_thread.join();
    }
    int nMaster = m_nMaster.exchange(-1);
    if (nMaster >= 0)
        close(nMaster);
    if (m_bLinked) {
        unlink(m_linkPath.c_str());
        m_bLinked = false;
    }
    if (m_nWake >= 0) {
        close(m_nWake);
        m_nWake = -1;
    }
}

bool SimDevice::openPty(std::string* pError)
{
    int nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char szSlave[128];
    if (nMaster < 0 || grantpt(nMaster) != 0 || unlockpt(nMaster) != 0 ||
        ptsname_r(nMaster, szSlave, sizeof szSlave) != 0) {
        if (nMaster >= 0)
            close(nMaster);
        if (pError != nullptr)
            *pError = "cannot make a pseudo-terminal";
        return false;
    }
    m_slavePath = szSlave;
    m_nMaster = nMaster;
    return true;
}

// Links the slave as COMn; a fresh link replaces the old one in one step, so
// the host never finds the name missing.
bool SimDevice::linkPty(std::string* pError)
{
    std::string fresh = m_linkPath + ".new";
    unlink(fresh.c_str());
    if (symlink(m_slavePath.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), m_linkPath.c_str()) != 0) {
        if (pError != nullptr)
            *pError = "cannot link " + m_linkPath;
        return false;
    }
    m_bLinked = true;
    return true;
}

void SimDevice::wake()
{
    uint64_t nOne = 1;
    if (m_nWake >= 0 && write(m_nWake, &nOne, sizeof nOne) < 0)
        return;
}

void SimDevice::run()
{
    sched_param priority = {};
    priority.sched_priority = kDevicePriority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    while (!m_bStop) {
        if (m_bHostClosed) {
            waitForHost();
            continue;
        }
        int64_t nNextMs;
        bool bBlocked;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            nNextMs = pumpOutput();
            bBlocked = m_bOutputBlocked;
        }
        int64_t nInputWaitMs = -1;
        bool bWantInput = inputCarried(&nInputWaitMs) > 0;
        short nEvents = static_cast<short>((bWantInput ? POLLIN : 0) | (bBlocked ? POLLOUT : 0));
        pollfd fds[2] = {{m_nMaster, nEvents, 0}, {m_nWake, POLLIN, 0}};
        int64_t nWaitMs = bBlocked ? -1 : nNextMs;
        if (nInputWaitMs >= 0 && (nWaitMs < 0 || nInputWaitMs < nWaitMs))
            nWaitMs = nInputWaitMs;
        if (pollRuntime(fds, 2, static_cast<double>(nWaitMs)) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            uint64_t nCount = 0;
            if (read(m_nWake, &nCount, sizeof nCount) < 0)
                nCount = 0;
        }
        // Bytes the host wrote just before closing are still read first, all
        // of them.
        if (fds[0].revents & POLLHUP) {
            readInput(SIZE_MAX);
            hostClosed("host closed the port");
            continue;
        }
        if (fds[0].revents & POLLIN)
            readPacedInput();
        bool bDrop = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            std::swap(bDrop, m_bHangUpAsked);
        }
        if (bDrop)
            dropLine();
    }
}

void SimDevice::waitForHost()
{
    pollfd master = {m_nMaster, POLLIN, 0};
    if (poll(&master, 1, 0) >= 0 && (master.revents & POLLHUP) == 0) {
        m_bHostClosed = false;
        m_transcript.add(SimDirection::kEvent, "host opened the port");
        return;
    }
    pollfd wakeFd = {m_nWake, POLLIN, 0};
    poll(&wakeFd, 1, kClosedRetryRealMs);
}

size_t SimDevice::readInput(size_t nMax)
{
    char buffer[kReadChunk];
    size_t nTotal = 0;
    while (nTotal < nMax) {
        size_t nWanted = std::min(sizeof buffer, nMax - nTotal);
        ssize_t nRead = read(m_nMaster, buffer, nWanted);
        if (nRead <= 0)
            break;
        nTotal += static_cast<size_t>(nRead);
        std::string bytes(buffer, static_cast<size_t>(nRead));
        m_transcript.add(SimDirection::kToDevice, bytes);
        std::lock_guard<std::mutex> guard(m_lock);
        for (char c : bytes)
            m_modem.onByte(*this, static_cast<uint8_t>(c));
    }
    return nTotal;
}

double SimDevice::inputByteMs() const
{
    uint32_t nBaud = m_bPaceInput ? hostBaud() : 0;
    return nBaud > 0 ? kBitsPerByte * 1000.0 / nBaud : 0.0;
}

size_t SimDevice::inputCarried(int64_t* pnWaitMs) const
{
    *pnWaitMs = -1;
    double dByteMs = inputByteMs();
    if (dByteMs <= 0 || m_bInputIdle)
        return SIZE_MAX;
    double dNow = static_cast<double>(os_ClockMs());
    double dCarried = (dNow - m_dInputFreeMs) / dByteMs;
    if (dCarried >= 1)
        return static_cast<size_t>(dCarried);
    *pnWaitMs = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(m_dInputFreeMs + dByteMs - dNow)));
    return 0;
}

void SimDevice::readPacedInput()
{
    double dByteMs = inputByteMs();
    if (dByteMs <= 0) {
        readInput(SIZE_MAX);
        return;
    }
    // The first byte after a quiet spell starts crossing the line now.
    if (m_bInputIdle)
        m_dInputFreeMs = std::max(m_dInputFreeMs, static_cast<double>(os_ClockMs()) - dByteMs);
    m_bInputIdle = false;
    int64_t nWaitMs = 0;
    size_t nCarried = inputCarried(&nWaitMs);
    size_t nRead = readInput(nCarried);
    m_dInputFreeMs += static_cast<double>(nRead) * dByteMs;
    m_bInputIdle = nRead < nCarried;
}

void SimDevice::hostClosed(const char* pszEvent)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_scheduled.clear();
        m_line.clear();
        m_dLineFreeMs = 0;
        m_bOutputBlocked = false;
        m_modem.onClosed();
    }
    m_bInputIdle = true;
    m_bHostClosed = true;
    m_transcript.add(SimDirection::kEvent, pszEvent);
}

void SimDevice::dropLine()
{
    hostClosed("line dropped");
    ++m_nDrops;
    // The fresh line is linked before the old one is closed: a host that
    // reopens the port as soon as it sees the drop finds the new line.
    int nOld = m_nMaster.load();
    std::string error;
    bool bFresh = openPty(&error) && linkPty(&error);
    close(nOld);
    if (!bFresh) {
        int nFresh = m_nMaster.exchange(-1);
        if (nFresh != nOld)
            close(nFresh);
        m_transcript.add(SimDirection::kEvent, error);
        m_bStop = true;
        return;
    }
    // Nobody holds the fresh line open yet; it waits for the host as a new
    // port does.
    m_bHostClosed = false;
}

uint32_t SimDevice::hostBaud() const
{
    // On a pseudo-terminal the master reads the slave's settings.
    urs_Termios2 line;
    if (ioctl(m_nMaster.load(), urs_kTcGets2, &line) != 0)
        return 0;
    return line.c_ospeed;
}

void SimDevice::send(const std::string& bytes) { queueLocked(bytes); }

void SimDevice::sendAfter(int64_t nDelayMs, const std::string& bytes)
{
    m_scheduled.push_back(Scheduled{os_ClockMs() + nDelayMs, bytes});
}

void SimDevice::hangUp() { m_bHangUpAsked = true; }

void SimDevice::queueLocked(const std::string& bytes)
{
    uint32_t nBaud = m_bPacing ? hostBaud() : 0;
    double dByteMs = nBaud > 0 ? kBitsPerByte * 1000.0 / nBaud : 0.0;
    double dDue = std::max(static_cast<double>(os_ClockMs()), m_dLineFreeMs);
    for (char c : bytes) {
        dDue += dByteMs;
        m_line.push_back(Queued{dDue, c});
    }
    m_dLineFreeMs = dDue;
}

int64_t SimDevice::pumpOutput()
{
    int64_t nNow = os_ClockMs();
    std::stable_sort(m_scheduled.begin(), m_scheduled.end(),
                     [](const Scheduled& a, const Scheduled& b) { return a.nStartMs < b.nStartMs; });
    size_t nDue = 0;
    while (nDue < m_scheduled.size() && m_scheduled[nDue].nStartMs <= nNow)
        queueLocked(m_scheduled[nDue++].bytes);
    m_scheduled.erase(m_scheduled.begin(), m_scheduled.begin() + static_cast<std::ptrdiff_t>(nDue));

    std::string ready;
    while (ready.size() < m_line.size() && m_line[ready.size()].dDueMs <= static_cast<double>(nNow))
        ready += m_line[ready.size()].byte;
    m_bOutputBlocked = false;
    if (!ready.empty()) {
        ssize_t nWritten = write(m_nMaster, ready.data(), ready.size());
        if (nWritten < 0) {
            m_bOutputBlocked = errno == EAGAIN;
            nWritten = 0;
        }
        if (nWritten > 0) {
            // Stamped when handed to the line, before the host can see them.
            m_transcript.add(SimDirection::kToHost, ready.substr(0, static_cast<size_t>(nWritten)), nNow);
            m_line.erase(m_line.begin(), m_line.begin() + nWritten);
        }
    }

    double dNext = -1;
    if (!m_line.empty())
        dNext = m_line.front().dDueMs;
    if (!m_scheduled.empty() && (dNext < 0 || m_scheduled.front().nStartMs < dNext))
        dNext = static_cast<double>(m_scheduled.front().nStartMs);
    if (dNext < 0)
        return -1;
    return std::max<int64_t>(0, static_cast<int64_t>(std::ceil(dNext - static_cast<double>(nNow))));
}

void SimDevice::inject(const std::string& bytes)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        queueLocked(bytes);
    }
    wake();
}

void SimDevice::setReply(const std::string& command, const SimReply& reply)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_modem.config().replies[sim_Upper(command)] = reply;
}

void SimDevice::setRawReply(const std::string& command, const std::string& bytes)
{
    SimReply reply;
    reply.bRaw = true;
    reply.raw = bytes;
    setReply(command, reply);
}

void SimDevice::setProtocol(const std::string& command, SimProtocolFactory factory)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_modem.config().protocols[sim_Upper(command)] = std::move(factory);
}

void SimDevice::setMisbehaviour(const SimMisbehaviour& misbehaviour)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_modem.config().misbehaviour = misbehaviour;
}

void SimDevice::setPacing(bool bPacing)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bPacing = bPacing;
}

int SimDevice::commandCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_modem.commandCount();
}
