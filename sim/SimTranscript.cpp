// Transcript of a simulated device.
#include "sim/SimTranscript.h"

#include "EngineSource/OSWIN32.h"
#include "sim/SimText.h"

#include <chrono>

void SimTranscript::add(SimDirection eDirection, const std::string& data, int64_t nTimeMs)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_entries.push_back(SimTranscriptEntry{nTimeMs < 0 ? os_ClockMs() : nTimeMs, eDirection, data});
    if (m_listener)
        m_listener(m_entries.back());
    m_added.notify_all();
}

std::vector<SimTranscriptEntry> SimTranscript::entries() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_entries;
}

std::string SimTranscript::joined(SimDirection eDirection) const
{
    std::string out;
    for (const SimTranscriptEntry& entry : m_entries) {
        if (entry.eDirection == eDirection)
            out += entry.data;
    }
    return out;
}

std::string SimTranscript::received() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return joined(SimDirection::kToDevice);
}

std::string SimTranscript::sent() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return joined(SimDirection::kToHost);
}

int64_t SimTranscript::lastSentMs() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->eDirection == SimDirection::kToHost)
            return it->nTimeMs;
    }
    return -1;
}

bool SimTranscript::waitFor(const std::function<bool()>& condition, int64_t nTimeoutMs) const
{
    int64_t nEnd = os_ClockMs() + nTimeoutMs;
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        if (condition())
            return true;
        int64_t nLeft = nEnd - os_ClockMs();
        if (nLeft < 0)
            return false;
        m_added.wait_for(guard, std::chrono::milliseconds(os_RealMs(nLeft + 1)));
    }
}

bool SimTranscript::waitJoined(SimDirection eDirection, const std::string& text, int64_t nTimeoutMs) const
{
    return waitFor([&] { return joined(eDirection).find(text) != std::string::npos; }, nTimeoutMs);
}

bool SimTranscript::waitReceived(const std::string& text, int64_t nTimeoutMs) const
{
    return waitJoined(SimDirection::kToDevice, text, nTimeoutMs);
}

bool SimTranscript::waitSent(const std::string& text, int64_t nTimeoutMs) const
{
    return waitJoined(SimDirection::kToHost, text, nTimeoutMs);
}

bool SimTranscript::waitEvent(const std::string& text, int64_t nTimeoutMs) const
{
    return waitFor(
        [&] {
            for (const SimTranscriptEntry& entry : m_entries) {
                if (entry.eDirection == SimDirection::kEvent && entry.data == text)
                    return true;
            }
            return false;
        },
        nTimeoutMs);
}

void SimTranscript::clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_entries.clear();
}

std::string SimTranscript::renderEntry(const SimTranscriptEntry& entry)
{
    const char* pszDirection = entry.eDirection == SimDirection::kToDevice ? ">"
                               : entry.eDirection == SimDirection::kToHost ? "<"
                                                                            : "*";
    std::string data = entry.eDirection == SimDirection::kEvent ? entry.data : sim_Escape(entry.data);
    return std::to_string(entry.nTimeMs) + " " + pszDirection + " " + data + "\n";
}

std::string SimTranscript::render() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string out;
    for (const SimTranscriptEntry& entry : m_entries)
        out += renderEntry(entry);
    return out;
}

void SimTranscript::setListener(Listener listener)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_listener = std::move(listener);
}
