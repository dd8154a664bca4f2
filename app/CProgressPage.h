// The update of every chosen device, with the slowest one's progress.
#ifndef NORVANE_APP_CPROGRESSPAGE_H
#define NORVANE_APP_CPROGRESSPAGE_H

#include "app/CWizardPage.h"

class CProgressPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CProgressPage(CWizard* pWizard);
};

#endif
