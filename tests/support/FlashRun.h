// Helpers for tests of the flash protocols and jobs: a progress callback that
// records every event (and can answer 0 at a chosen one), the texts a file's
// lines go on the wire as, the sample files of data/, and the number of
// descriptors the process holds open.
#ifndef NORVANE_TESTS_SUPPORT_FLASHRUN_H
#define NORVANE_TESTS_SUPPORT_FLASHRUN_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct FlashEvent {
    int32_t nEvent;     // event number
    int32_t nPercent;   // its a (the percentage)
};

// A FlashProgressFn that records; pass the recorder as the context.
class EventRecorder {
public:
    // Answers 0 to the nNth report (from 1) of nEvent and to every report after it.
    void stopAt(int32_t nEvent, int nNth = 1);
    static int32_t callback(void* pRecorder, int32_t nEvent, int32_t a, uint32_t b);

    std::vector<FlashEvent> events() const;
    // The event numbers in order.
    std::vector<int32_t> numbers() const;
    int count(int32_t nEvent) const;

private:
    mutable std::mutex m_lock;          // guards everything below
    std::vector<FlashEvent> m_events;   // every report, in order
    int32_t m_nStopEvent = -1;          // event answered 0; -1 none
    int m_nStopNth = 0;                 // at its nth report
    int m_nStopSeen = 0;                // reports of it so far
    bool m_bStopped = false;            // 0 answered once: answer 0 from now on
};

// The texts the lines of a file go out as: each CR LF line cut at its first
// lone LF, prefixed and followed by CR LF (a last line without CR LF too).
std::vector<std::string> wireLines(const std::string& fileText, const std::string& prefix = std::string());

// The bytes of a file of data/.
std::string dataFile(const std::string& name);

// Descriptors the process holds open now.
int openFdCount();

#endif
