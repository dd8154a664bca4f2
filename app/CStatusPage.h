// How every chosen device ended: one row per selected device (port, model,
// result text) and the summary line that counts the successes.
#ifndef NORVANE_APP_CSTATUSPAGE_H
#define NORVANE_APP_CSTATUSPAGE_H

#include "app/CWizardPage.h"

#include <string>

class QLabel;
class QTreeWidget;

class CStatusPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CStatusPage(CWizard* pWizard);

    // Offers Finish only, fills the results list and shows the summary
    // "<succeeded> of <total> devices were updated successfully".
    void OnSetActive() override;

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    // Column widths from the list's width w: w/4, 3w/8 and 3w/4 (more than
    // w together: the list scrolls sideways).
    void setColumnWidths();

    QLabel* m_pSummaryText;      // the summary line
    QTreeWidget* m_pResultList;  // one row per selected device
    std::string m_strSummary;    // the summary line's text
};

#endif
