// Developers' mode: a named file, chosen ports, baud rate and device type.
#ifndef NORVANE_APP_CDEVELOPERSPAGE_H
#define NORVANE_APP_CDEVELOPERSPAGE_H

#include "app/CWizardPage.h"

class CDevelopersPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CDevelopersPage(CWizard* pWizard);
};

#endif
