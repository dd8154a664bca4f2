#include "app/CProgressPage.h"

CProgressPage::CProgressPage(CWizard* pWizard) : CWizardPage(pWizard)
{
    setObjectName(QStringLiteral("progressPage"));
}
