#include "support/FlashRun.h"

#include <dirent.h>

#include <fstream>
#include <iterator>

void EventRecorder::stopAt(int32_t nEvent, int nNth)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_nStopEvent = nEvent;
    m_nStopNth = nNth;
    m_nStopSeen = 0;
}

int32_t EventRecorder::callback(void* pRecorder, int32_t nEvent, int32_t a, uint32_t)
{
    EventRecorder* pSelf = static_cast<EventRecorder*>(pRecorder);
    std::lock_guard<std::mutex> guard(pSelf->m_lock);
    pSelf->m_events.push_back(FlashEvent{nEvent, a});
    if (nEvent == pSelf->m_nStopEvent && ++pSelf->m_nStopSeen >= pSelf->m_nStopNth)
        pSelf->m_bStopped = true;
    return pSelf->m_bStopped ? 0 : 1;
}

std::vector<FlashEvent> EventRecorder::events() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

std::vector<int32_t> EventRecorder::numbers() const
{
    std::vector<int32_t> numbers;
    for (const FlashEvent& event : events())
        numbers.push_back(event.nEvent);
    return numbers;
}

int EventRecorder::count(int32_t nEvent) const
{
    int nCount = 0;
    for (const FlashEvent& event : events())
        nCount += event.nEvent == nEvent ? 1 : 0;
    return nCount;
}

std::vector<std::string> wireLines(const std::string& fileText, const std::string& prefix)
{
    std::vector<std::string> lines;
    size_t nStart = 0;
    while (nStart < fileText.size()) {
        size_t nEnd = fileText.find("\r\n", nStart);
        std::string line = fileText.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
        lines.push_back(prefix + line.substr(0, line.find('\n')) + "\r\n");
        if (nEnd == std::string::npos)
            break;
        nStart = nEnd + 2;
    }
    return lines;
}

std::string dataFile(const std::string& name)
{
    std::ifstream in(std::string(NORVANE_DATA_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int openFdCount()
{
    int nCount = 0;
    DIR* pDir = opendir("/proc/self/fd");
    if (pDir == nullptr)
        return -1;
    while (dirent* pEntry = readdir(pDir)) {
        if (pEntry->d_name[0] != '.')
            ++nCount;
    }
    closedir(pDir);
    return nCount - 1;
}
