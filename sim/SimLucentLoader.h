// A simulated Lucent flash loader, installed on a device of any family by
// the "lucentloader" settings (sim/SimConfig.h). The loader is reached two
// ways:
//   - started: "AT&&FGO" or "AT&&WGO" answers "Ver:<version>" and "OK";
//   - downloaded: lines "at&&f:..." or "at&&w:..." (a loader image in Intel
//     HEX, one "at&&f" + record + CR LF per line) are answered "OK" each;
//     the end-of-file record ":00000001FF" runs the loader, whose "OK" to
//     that line comes after "Ver:<version>".
// Once it runs, each firmware line (ending in LF) is answered "OK". Any line
// (and the start command) can be answered otherwise: NOK1 to NOK4, ERROR,
// nothing, or late. Lines are numbered from 1 within their stage; a line
// equal to the one before it is that line sent again and keeps its number,
// so "refuse line 3 twice" means its first two receptions. A line's answers
// may differ from one reception to the next ("nok2,none*4": refused, then
// four receptions unanswered), and a firmware line may be followed by a
// stray reply after its answer (a reply sent late, after the host's wait
// for that line). With noise on, every reply is preceded by the bytes 0x80
// to 0xFF.
// Every line received is kept in order, split into loader and firmware
// lines, so a test compares them with the files.
#ifndef NORVANE_SIM_SIMLUCENTLOADER_H
#define NORVANE_SIM_SIMLUCENTLOADER_H

#include "sim/SimConfig.h"
#include "sim/SimLoaderParts.h"
#include "sim/SimProtocol.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct SimLucentSettings {
    std::string version = "4.4";                    // announced as "Ver:<version>"; empty: no announcement
    SimLoaderAnswer start;                          // answer to the start command (ok: version, then "OK")
    std::map<int, std::vector<SimLoaderAnswer>> loaderAnswers;  // loader line (from 1) -> its answers in turn; others "OK"
    std::map<int, std::vector<SimLoaderAnswer>> lineAnswers;    // firmware line (from 1) -> its answers in turn; others "OK"
    std::map<int, SimLoaderAnswer> strayReplies;    // firmware line (from 1) -> a reply sent after its first answer
    bool bNoise = false;                            // every reply is preceded by line noise
};

class SimLucentLoader {
public:
    // Change them before the device starts; the device thread reads them.
    SimLucentSettings settings;

    // Each loader line as received (prefix and CR LF included), in order; a
    // line sent again appears again.
    std::vector<std::string> loaderLines() const { return m_loaderLines.lines(); }
    // Each firmware line as received (CR LF included), in order.
    std::vector<std::string> firmwareLines() const { return m_firmwareLines.lines(); }
    // Times the loader began to run (started, or its download completed).
    int runs() const { return m_nRuns.load(); }

private:
    friend class SimLucentMode;
    SimLineRecord m_loaderLines;       // loader lines received
    SimLineRecord m_firmwareLines;     // firmware lines received
    std::atomic<int> m_nRuns{0};       // loader runs so far
};

// Applies one "lucentloader" setting: command "" (the key without a dot)
// sets the version ("none": no announcement), "START" the start command's
// answer, "LINE<n>" and "LOADER<n>" the answers to firmware or loader line n
// (answers in turn separated by commas), "STRAY<n>" the stray reply after
// firmware line n's first answer, "NOISE" line noise (on or off).
// Creates the loader on the record and installs its triggers (AT&&FGO,
// AT&&WGO, AT&&F:*, AT&&W:*). False when the setting is not valid.
bool sim_ApplyLucentSetting(SimDeviceConfig* pConfig, const std::string& command, const std::string& value);

#endif
