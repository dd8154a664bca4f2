#include "app/CDetectionPage.h"

CDetectionPage::CDetectionPage(CWizard* pWizard) : CWizardPage(pWizard)
{
    setObjectName(QStringLiteral("detectionPage"));
}
