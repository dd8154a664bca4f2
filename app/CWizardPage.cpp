#include "app/CWizardPage.h"

#include "app/CWizard.h"
#include "app/NorvaneApp.h"
#include "wizard/UpdateCoordinator.h"

#include <QPainter>

namespace {

// Room between the picture and the page's controls.
constexpr int kGap = 10;

}  // namespace

QString page_PortToolTip(const DeviceRecord& record) { return QString::fromLocal8Bit(record.DeviceNode().c_str()); }

CWizardPage::CWizardPage(CWizard* pWizard) : QWizardPage(pWizard), m_pWizard(pWizard)
{
    setContentsMargins(1 + page_kBitmapWidth + kGap, 0, 0, 0);
    setMinimumHeight(1 + page_kBitmapHeight);
}

UpdateCoordinator& CWizardPage::Coordinator() const { return m_pWizard->Coordinator(); }

const CWizardCommandLineInfo& CWizardPage::Options() const { return m_pWizard->Options(); }

void CWizardPage::paintEvent(QPaintEvent* pEvent)
{
    QWizardPage::paintEvent(pEvent);
    const QPixmap& bitmap = m_pWizard->App()->wizardBitmap;
    if (bitmap.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(1, 1, bitmap, 0, 0, page_kBitmapWidth, page_kBitmapHeight);
}
