#include "app/CStatusPage.h"

CStatusPage::CStatusPage(CWizard* pWizard) : CWizardPage(pWizard)
{
    setObjectName(QStringLiteral("statusPage"));
}
