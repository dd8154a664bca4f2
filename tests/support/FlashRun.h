// Helpers for tests of the flash protocols and jobs: a progress callback that
// records every event (and can answer 0 at a chosen one), the texts a file's
// lines go on the wire as, the sample files of data/, the number of
// descriptors the process holds open, and a fixture that runs a protocol
// against a simulated device with a flash loader.
#ifndef NORVANE_TESTS_SUPPORT_FLASHRUN_H
#define NORVANE_TESTS_SUPPORT_FLASHRUN_H

#include "EngineSource/FlashInfo.h"
#include "support/SimFixture.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct FlashEvent {
    int32_t nEvent;     // event number
    int32_t nPercent;   // its a (the percentage)
};

// A FlashProgressFn that records; pass the recorder as the context.
class EventRecorder {
public:
    // Answers 0 to the nStopNth report (from 1) of nStopEvent and to every
    // report after it; holds the run nPauseMs (runtime clock) at the
    // nPauseNth report of nPauseEvent, as a slow front end would. -1: never.
    explicit EventRecorder(int32_t nStopEvent = -1, int nStopNth = 1, int32_t nPauseEvent = -1, int nPauseNth = 1,
                           int64_t nPauseMs = 0)
        : m_nStopEvent(nStopEvent), m_nStopNth(nStopNth), m_nPauseEvent(nPauseEvent), m_nPauseNth(nPauseNth),
          m_nPauseMs(nPauseMs)
    {
    }
    static int32_t callback(void* pRecorder, int32_t nEvent, int32_t a, uint32_t b);

    std::vector<FlashEvent> events() const;
    // The event numbers in order.
    std::vector<int32_t> numbers() const;
    // The percentages (a) of every report of nEvent, in order.
    std::vector<int32_t> percents(int32_t nEvent) const;

private:
    mutable std::mutex m_lock;          // guards everything below
    std::vector<FlashEvent> m_events;   // every report, in order
    const int32_t m_nStopEvent;         // event answered 0
    const int m_nStopNth;               // at its nth report
    const int32_t m_nPauseEvent;        // event the run is held at
    const int m_nPauseNth;              // at its nth report
    const int64_t m_nPauseMs;           // for this long
    int m_nStopSeen = 0;                // reports of the stop event so far
    bool m_bStopped = false;            // 0 answered once: answer 0 from now on
    int m_nPauseSeen = 0;               // reports of the pause event so far
};

// The texts the lines of a file go out as: each CR LF line cut at its first
// lone LF, prefixed and followed by CR LF (a last line without CR LF too).
std::vector<std::string> wireLines(const std::string& fileText, const std::string& prefix = std::string());

// The percentages a run reports after each line of a file: the bytes the
// line reader has taken by then (whole blocks of os_kLineBlock, at most the
// file) over the file's length.
std::vector<int32_t> readerPercents(const std::string& fileText);

// The bytes of a file of data/.
std::string dataFile(const std::string& name);

// Waits until the job's worker has ended, at most nMaxMs of the runtime
// clock; its result (-1: still running).
int32_t waitJobResult(const FlashJob* pJob, int64_t nMaxMs = 120000);

// Descriptors the process holds open now.
int openFdCount();

// The lines joined into one text.
std::string joinedLines(const std::vector<std::string>& lines);

// Event numbers as runs of equal ones: "5 13*64 9 6*32 9".
std::string eventRuns(const std::vector<int32_t>& numbers);

// Runs flash protocols on simulated devices. The test's folder is the
// working folder (where the protocols look for their loader images); it
// holds a sample firmware file fw.hex and the loaders of data/.
class FlashFixture : public SimFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes fw.hex.
    void writeFirmware(const std::string& text);
    // Runs pfnProtocol on "\.\COMn" with the fixture's baud rate, version
    // text, a fresh event recorder (answering 0 as m_nStopEvent says, held
    // as m_nPauseEvent says) and
    // the write failure m_nFailedWrite asks for,
    // noting the descriptors open, the start and the length of the run.
    int32_t runProtocol(FlashProtocolFn pfnProtocol, int nPort, uint32_t nFlashType, int32_t bHandshakeOnly,
                        const char* pszHex, int32_t nStartMode, int32_t nVariant);
    // One run of a table on a fresh device: its settings, how the run is
    // made and what it must give.
    struct Scenario {
        SimSettings settings;               // after the loader's own settings
        int32_t nStartMode;
        int32_t nResult;
        const char* pszEvents;              // event runs
        size_t nLoader;                     // loader (boot-loader) lines received
        size_t nFirmware;                   // firmware lines received
        uint32_t nFlashType = 0;            // the device's flash type
        const char* pszVersion = nullptr;   // loader version after the run; null: not checked
        int32_t nStopEvent = -1;            // the callback answers 0 at this event ...
        int nStopNth = 1;                   // ... at its nth report
        int nFailedWrite = 0;               // this write fails with EIO; 0: none
        int32_t bHandshakeOnly = 0;         // stop at the loader (the hex file is missing)
    };
    // Runs pfnProtocol once per scenario on COM3, COM4, ...: a device of
    // family modem with the loader settings, then the scenario's. After each
    // run the port is released and checkScenario adds a protocol's own checks.
    void runAll(FlashProtocolFn pfnProtocol, const SimSettings& loader, const std::vector<Scenario>& scenarios);
    virtual void checkScenario(const Scenario&) {}
    // After a run: the device has seen the port close (and read what came
    // before), no descriptor is left open, and the port opens again.
    void expectReleased(int nPort);
    // The events of the last run as runs.
    std::string events() const;

    std::unique_ptr<ScopedChdir> m_pChdir;       // the test's folder is the working folder
    std::string m_firmware;                      // ./fw.hex
    std::string m_loader = dataFile("FlashLdr.hex");   // ./FlashLdr.hex, the Lucent loader
    std::string m_boot = dataFile("BPFL24.s37");       // ./BPFL24.s37, the Rockwell boot loader
    std::unique_ptr<EventRecorder> m_events;     // events of the last run
    int32_t m_nStopEvent = -1;                   // the callback answers 0 at this event
    int m_nStopNth = 1;                          // at its nth report
    int m_nFailedWrite = 0;                      // the run's nth write fails with EIO; 0: none
    int32_t m_nPauseEvent = -1;                  // the callback holds the run at this event ...
    int m_nPauseNth = 1;                         // ... at its nth report ...
    int64_t m_nPauseMs = 0;                      // ... for this long (runtime clock)
    int32_t m_nBaud = 115200;                    // the job's rate
    uint32_t m_nHighest = 0;                     // highest address (not used by these protocols)
    char m_szVersion[flsh_kVersionSize] = "";    // the loader version of the run
    int m_nFds = 0;                              // descriptors open when the run began
    int64_t m_nStartMs = 0;                      // runtime clock when the last run began
    int64_t m_nElapsedMs = 0;                    // runtime-clock length of the last run
};

#endif
