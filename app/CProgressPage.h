// The update of every chosen device: starts one flash job per selected
// device, shows the slowest running job's percentage and text once a second
// (a per-port list under the bar shows every job's own), and reports
// completion. Cancel, Escape and the window's close button are refused from
// the moment the update starts: ending the program would stop workers in
// the middle of a flash.
#ifndef NORVANE_APP_CPROGRESSPAGE_H
#define NORVANE_APP_CPROGRESSPAGE_H

#include "app/CWizardPage.h"

#include <QTimer>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QTreeWidget;
struct DeviceRecord;

// Columns of the per-port list.
constexpr int progress_kColPort = 0;
constexpr int progress_kColModel = 1;
constexpr int progress_kColPercent = 2;
constexpr int progress_kColStatus = 3;

class CProgressPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CProgressPage(CWizard* pWizard);

    // Hides Cancel, shows no buttons, starts the 1000 ms timer (runtime
    // clock), shows "Sorting File", starts the update of every selected
    // device (StartFlashing with the boot-code and force-loader options) and
    // lists the selected devices.
    void OnSetActive() override;

    // One tick of the timer: the bar and status line show the slowest
    // running job's percentage and text, the per-port list every job's; once
    // every job has ended, "Programming Complete", the bar at 100, and Next
    // (or Finish when results are not to be shown).
    void OnTimer();

    // Lists the selected devices (one row each, in device-list order) and
    // fills the rows from their jobs.
    void FillPortList();

private:
    // Rewrites the cells of row nRow whose texts changed.
    void refreshRow(int nRow);

    QProgressBar* m_pProgress;            // overall progress, 0 to 100
    QLabel* m_pStatusText;                // the status line
    QTreeWidget* m_pPortList;             // one row per device being updated
    QTimer m_timer;                       // the once-a-second poll
    std::string m_strStatus;              // the status line's text
    int32_t m_nLowest = 100;              // percentage of the slowest running job
    std::vector<DeviceRecord*> m_rows;    // the record of each list row (owned by the coordinator)
};

#endif
