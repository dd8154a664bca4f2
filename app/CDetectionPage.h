// The wizard's first page: collects the firmware files, identifies the
// devices on every watched port (polled once a second, at most 20 seconds),
// warns about device types no file fits, and lists the other types with
// their port counts for the user to choose from. Ports identification could
// not open (no permission, busy, gone) are named under the status text with
// their reasons.
#ifndef NORVANE_APP_CDETECTIONPAGE_H
#define NORVANE_APP_CDETECTIONPAGE_H

#include "app/CWizardPage.h"

#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QTimer;
class QTreeWidget;

// Ticks of the identification timer the page waits; the next one ends the
// wizard with error code 9.
constexpr int detect_kMaxTicks = 20;
// Period of the identification timer, in runtime-clock milliseconds.
constexpr int detect_kTickMs = 1000;

// The message naming the device types without firmware files: "No .hex
// files found for " followed by the names joined with " and " for two, and
// with ", " and a final ", and " for three or more, and ".". Empty for none.
std::string detect_NoFilesMessage(const std::vector<std::string>& names);

class CDetectionPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CDetectionPage(CWizard* pWizard);

    // First showing: files, then identification with the timer (or error
    // code 2 when there is no file). Later showings (after Back from the
    // model page): every selection cleared, the rows kept.
    void OnSetActive() override;
    // Stops identification.
    void OnCancel() override;
    // Next: the chosen rows' device types become selected in the
    // coordinator; false (with a message) when no row is chosen.
    bool validatePage() override;

private:
    void onTick();
    void identified();
    void endWithError(int nCode);
    void fillList();
    void showPortProblems(bool bInFull);

    QLabel* m_pStatus;        // status text (statusText)
    QLabel* m_pProblems;      // ports that could not be opened, and why (portProblemsText)
    QGroupBox* m_pFrame;      // "Devices" frame around the list (devicesFrame)
    QLabel* m_pPrompt;        // prompt above the list (selectPrompt)
    QTreeWidget* m_pList;     // device types and port counts (deviceTypeList)
    QLabel* m_pContinue;      // prompt below the frame (continuePrompt)
    QTimer* m_pTimer;         // identification poll
    int m_nTicks = 0;         // ticks since identification started
};

#endif
