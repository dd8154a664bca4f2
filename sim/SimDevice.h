// One simulated device on a pseudo-terminal. The device owns the master
// side; the slave is linked as COMn in a ports folder, where the serial
// layer finds it through NORVANE_PORTS. A thread per device carries the
// bytes: what the host writes goes to the AT command layer (or the protocol
// mode that runs), what the device sends is paced to the baud rate the
// host set (10 bits per byte) and recorded in the transcript. With input
// pacing the device also reads the host's bytes no faster than that rate,
// so a host that streams is held back as CTS flow control would hold it.
//
// The host may close and reopen its port at any time: while nobody holds
// the slave open, the master reports a hang-up; the device then forgets
// pending output and checks again every 20 ms until the port
// is opened again. Dropping the line (misbehaviour or hangUp) closes the
// master, so the host's port hangs up, and links a fresh pseudo-terminal
// under the same name.
#ifndef NORVANE_SIM_SIMDEVICE_H
#define NORVANE_SIM_SIMDEVICE_H

#include "sim/SimAtModem.h"
#include "sim/SimConfig.h"
#include "sim/SimProtocol.h"
#include "sim/SimTranscript.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SimDevice : private SimLink {
public:
    // A device that will be linked as COMn (config.nPort) in portsDir.
    SimDevice(const SimDeviceConfig& config, const std::string& portsDir);
    ~SimDevice() override;
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Makes the pseudo-terminal and the link and starts the device thread.
    // False with *pError set when that fails.
    bool start(std::string* pError);
    // Stops the thread, closes the pseudo-terminal and removes the link.
    void stop();

    int port() const { return m_nPort; }
    // The link in the ports folder, e.g. <dir>/COM3.
    const std::string& linkPath() const { return m_linkPath; }
    // The device name the engine opens: "\\.\COMn".
    std::string deviceName() const;
    SimTranscript& transcript() { return m_transcript; }

    // Sends bytes to the host now (paced), as if the device had sent them.
    void inject(const std::string& bytes);
    // Changes the reply to one command (command text without CR).
    void setReply(const std::string& command, const SimReply& reply);
    // Makes the reply to a command exactly these bytes.
    void setRawReply(const std::string& command, const std::string& bytes);
    // Makes a command hand the stream to a protocol mode.
    void setProtocol(const std::string& command, SimProtocolFactory factory);
    void setMisbehaviour(const SimMisbehaviour& misbehaviour);
    void setPacing(bool bPacing);
    // Command lines the device has run.
    int commandCount() const;
    // Times the line was dropped.
    int dropCount() const { return m_nDrops.load(); }
    // The baud rate the host has set on its end; 0 when unknown.
    uint32_t hostBaud() const override;

private:
    struct Scheduled {
        int64_t nStartMs;      // runtime clock when the bytes may start
        std::string bytes;     // what to send
    };
    struct Queued {
        double dDueMs;         // runtime clock when the byte has crossed the line
        char byte;             // the byte
    };

    // SimLink, called on the device thread with m_lock held.
    void send(const std::string& bytes) override;
    void sendAfter(int64_t nDelayMs, const std::string& bytes) override;
    void hangUp() override;

    bool openPty(std::string* pError);
    bool linkPty(std::string* pError);
    void run();
    void waitForHost();
    // Reads and handles up to nMax of the host's bytes; returns how many.
    size_t readInput(size_t nMax);
    // Input pacing: the host's bytes reach the device no faster than its
    // baud rate allows. The time one byte takes on the line; 0 when input
    // is not paced (or the rate is unknown).
    double inputByteMs() const;
    // Bytes the line has carried by now and not yet read (SIZE_MAX when not
    // paced, or when the line is quiet and the next byte is awaited); when
    // 0, *pnWaitMs gets the runtime-clock ms until the next one.
    size_t inputCarried(int64_t* pnWaitMs) const;
    // Reads what the line has carried (all of it when not paced).
    void readPacedInput();
    void hostClosed(const char* pszEvent);
    void dropLine();
    // Moves due scheduled output onto the line; writes the bytes that have
    // crossed it. Returns the runtime-clock ms until the next byte is due,
    // or -1 when nothing waits. Called with m_lock held.
    int64_t pumpOutput();
    void queueLocked(const std::string& bytes);
    void wake();

    const int m_nPort;                   // n of COMn
    const std::string m_portsDir;        // folder of the link
    const std::string m_linkPath;        // <dir>/COMn
    SimTranscript m_transcript;          // every byte each way
    mutable std::mutex m_lock;           // guards the command layer and the queues
    SimAtModem m_modem;                  // command layer (and protocol modes)
    bool m_bPacing;                      // pace output to the host's rate
    const bool m_bPaceInput;             // read the host's bytes at its line rate
    double m_dInputFreeMs = 0;           // runtime clock when the line has carried the last byte read
    bool m_bInputIdle = true;            // the last read emptied the input queue
    std::vector<Scheduled> m_scheduled;  // output waiting for its start time
    std::deque<Queued> m_line;           // output on its way to the host
    double m_dLineFreeMs = 0;            // when the line finishes its last byte
    bool m_bHangUpAsked = false;         // the command layer asked to drop the line
    bool m_bOutputBlocked = false;       // the master took no more output (host not reading)
    std::atomic<int> m_nMaster{-1};      // master side of the pseudo-terminal
    std::string m_slavePath;             // /dev/pts/N
    bool m_bLinked = false;              // the COMn link is ours to remove
    int m_nWake = -1;                    // eventfd that wakes the thread
    bool m_bHostClosed = false;          // the host has closed its port
    std::atomic<bool> m_bStop{false};    // asks the thread to end
    std::atomic<int> m_nDrops{0};        // lines dropped so far
    std::thread m_thread;                // the device thread
};

#endif
