// Once per chosen device type: its ports and its firmware file.
#ifndef NORVANE_APP_CMODELPAGE_H
#define NORVANE_APP_CMODELPAGE_H

#include "app/CWizardPage.h"

class CModelPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CModelPage(CWizard* pWizard);
};

#endif
