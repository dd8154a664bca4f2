// The transcript of one simulated device: every byte each way and the line
// events (port opened or closed by the host, line dropped), each stamped
// with the runtime clock. Written by the device's thread, read by tests at
// any time.
#ifndef NORVANE_SIM_SIMTRANSCRIPT_H
#define NORVANE_SIM_SIMTRANSCRIPT_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum class SimDirection {
    kToDevice,    // bytes the host wrote
    kToHost,      // bytes the device sent
    kEvent,       // a line event, as text
};

struct SimTranscriptEntry {
    int64_t nTimeMs;           // runtime clock (os_ClockMs) when it happened
    SimDirection eDirection;   // which way, or an event
    std::string data;          // the bytes, or the event's text
};

class SimTranscript {
public:
    using Listener = std::function<void(const SimTranscriptEntry&)>;

    // Records bytes or an event, stamped nTimeMs (runtime clock; -1: now).
    void add(SimDirection eDirection, const std::string& data, int64_t nTimeMs = -1);

    std::vector<SimTranscriptEntry> entries() const;
    // Every byte the host wrote, in order.
    std::string received() const;
    // Every byte the device sent, in order.
    std::string sent() const;
    // Runtime-clock time of the last byte sent to the host; -1 when none.
    int64_t lastSentMs() const;
    // Waits until the bytes the host wrote contain text, at most nTimeoutMs of
    // runtime-clock time. True when they do.
    bool waitReceived(const std::string& text, int64_t nTimeoutMs) const;
    // The same for the bytes the device sent.
    bool waitSent(const std::string& text, int64_t nTimeoutMs) const;
    // Waits until an event with this text was recorded (at most nTimeoutMs).
    bool waitEvent(const std::string& text, int64_t nTimeoutMs) const;
    void clear();

    // The transcript as text lines "<ms> <dir> <escaped bytes>", dir being
    // ">" for bytes to the device, "<" for bytes to the host, "*" for events.
    std::string render() const;
    static std::string renderEntry(const SimTranscriptEntry& entry);

    // Called (on the recording thread) with every entry as it is added.
    void setListener(Listener listener);

private:
    bool waitFor(const std::function<bool()>& condition, int64_t nTimeoutMs) const;
    bool waitJoined(SimDirection eDirection, const std::string& text, int64_t nTimeoutMs) const;
    std::string joined(SimDirection eDirection) const;

    mutable std::mutex m_lock;               // guards everything below
    mutable std::condition_variable m_added; // signalled on every entry
    std::vector<SimTranscriptEntry> m_entries;  // in the order recorded
    Listener m_listener;                     // optional live copy
};

#endif
