#include "app/CModelPage.h"

CModelPage::CModelPage(CWizard* pWizard) : CWizardPage(pWizard)
{
    setObjectName(QStringLiteral("modelPage"));
}
