// Identifies the attached devices and lists them by device type.
#ifndef NORVANE_APP_CDETECTIONPAGE_H
#define NORVANE_APP_CDETECTIONPAGE_H

#include "app/CWizardPage.h"

class CDetectionPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CDetectionPage(CWizard* pWizard);
};

#endif
