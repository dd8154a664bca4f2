// How every chosen device ended, and the summary line.
#ifndef NORVANE_APP_CSTATUSPAGE_H
#define NORVANE_APP_CSTATUSPAGE_H

#include "app/CWizardPage.h"

class CStatusPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CStatusPage(CWizard* pWizard);
};

#endif
