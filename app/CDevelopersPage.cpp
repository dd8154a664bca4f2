#include "app/CDevelopersPage.h"

CDevelopersPage::CDevelopersPage(CWizard* pWizard) : CWizardPage(pWizard)
{
    setObjectName(QStringLiteral("developersPage"));
}
