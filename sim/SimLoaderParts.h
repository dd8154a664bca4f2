// Pieces the simulated flash loaders share: how a loader answers a step or a
// line (and its text form in configurations), the host's bytes gathered into
// lines, and a record of the lines received that tests read while the
// device runs.
#ifndef NORVANE_SIM_SIMLOADERPARTS_H
#define NORVANE_SIM_SIMLOADERPARTS_H

#include "sim/SimProtocol.h"

#include <mutex>
#include <string>
#include <vector>

enum class SimAnswerKind {
    kOk,          // "OK"
    kNok1,        // "NOK1" (and so on: refusals of the Lucent loader)
    kNok2,
    kNok3,
    kNok4,
    kError,       // "ERROR"
    kNone,        // nothing at all
    kAnnounce,    // the step's own announcement (Rockwell loader)
};

// How a loader answers a step or a line.
struct SimLoaderAnswer {
    SimAnswerKind eKind = SimAnswerKind::kOk;   // what is sent
    int nLateMs = 0;                            // it starts this late (runtime clock)
    int nTimes = 1;                             // receptions of a line that get it; later ones get "OK"
};

// Parses "kind[@ms][*n]": kind one of ok, nok1..nok4, error, none, announce
// (any letter case), ms the delay, n the receptions. False when not valid.
bool sim_ParseLoaderAnswer(const std::string& text, SimLoaderAnswer* pAnswer);

// Sends the answer: its text followed by CR LF ("OK\r\n", "NOK2\r\n",
// "ERROR\r\n"; announcement for kAnnounce, sent as it stands), late when
// asked; nothing for kNone. With bNoise the text is preceded by the line
// noise of sim_NoiseBytes.
void sim_SendAnswer(SimLink& link, const SimLoaderAnswer& answer, const std::string& announcement = std::string(),
                    bool bNoise = false);

// Line noise a device may send before a reply: every byte from 0x80 to 0xFF
// (0xFC and 0xFF among them), none of which is part of any reply text.
const std::string& sim_NoiseBytes();

// Reads an on/off setting: "1" or "on", "0" or "off" (any letter case).
// False when the text is neither.
bool sim_ParseOnOff(const std::string& text, bool* pb);

// Gathers the host's bytes into lines, each up to and including its LF.
class SimLineSplitter {
public:
    // Adds a byte; true when it ended a line, which is moved into *pLine.
    bool add(uint8_t byte, std::string* pLine);

private:
    std::string m_line;    // the line being received
};

// Lines received, in order; written by the device thread, read by anyone.
class SimLineRecord {
public:
    void add(const std::string& line);
    std::vector<std::string> lines() const;
    void clear();

private:
    mutable std::mutex m_lock;          // guards m_lines
    std::vector<std::string> m_lines;   // every line as received, CR LF included
};

#endif
