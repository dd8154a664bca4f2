#include "app/CStatusPage.h"

#include "app/CWizard.h"
#include "wizard/UpdateCoordinator.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

CStatusPage::CStatusPage(CWizard* pWizard)
    : CWizardPage(pWizard), m_pSummaryText(new QLabel(QStringLiteral("Static"), this)), m_pResultList(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("statusPage"));

    QGroupBox* pGroup = new QGroupBox(tr("Results"), this);
    pGroup->setObjectName(QStringLiteral("resultsGroup"));
    pGroup->setMinimumWidth(page_kControlsWidth);
    m_pSummaryText->setObjectName(QStringLiteral("summaryText"));
    m_pResultList->setObjectName(QStringLiteral("resultList"));
    m_pResultList->setHeaderLabels({tr("Port"), tr("Model"), tr("Status")});
    m_pResultList->setRootIsDecorated(false);
    m_pResultList->setUniformRowHeights(true);
    m_pResultList->header()->setStretchLastSection(false);

    QVBoxLayout* pGroupLayout = new QVBoxLayout(pGroup);
    pGroupLayout->addWidget(m_pSummaryText);
    pGroupLayout->addWidget(m_pResultList, 1);
    QVBoxLayout* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(pGroup);
}

void CStatusPage::OnSetActive()
{
    Sheet()->SetWizardButtons(wiz_kFinish);

    m_pResultList->clear();
    setColumnWidths();
    UpdateCoordinator& coordinator = Coordinator();
    int nTotal = 0;
    int nSucceeded = 0;
    QList<QTreeWidgetItem*> items;
    for (size_t n = 0; n < static_cast<size_t>(coordinator.GetDeviceCount()); ++n) {
        const DeviceRecord* pRecord = coordinator.GetDevice(n);
        if (pRecord->bSelected == 0)
            continue;
        QTreeWidgetItem* pItem = new QTreeWidgetItem();
        pItem->setText(0, QString::fromLocal8Bit(pRecord->PortName()));
        pItem->setToolTip(0, page_PortToolTip(*pRecord));
        pItem->setText(1, QString::fromStdString(ModelKey_DisplayName(pRecord->key)));
        pItem->setText(2, QString::fromLatin1(pRecord->GetFlashResultText()));
        items.append(pItem);
        ++nTotal;
        nSucceeded += pRecord->GetFlashResult() == flsh_cSuccessful ? 1 : 0;
    }
    m_pResultList->addTopLevelItems(items);

    char szSummary[96];
    snprintf(szSummary, sizeof szSummary, "%d of %d devices were updated successfully", nSucceeded, nTotal);
    m_strSummary = szSummary;
    m_pSummaryText->setText(QString::fromLatin1(m_strSummary.c_str()));
}

void CStatusPage::resizeEvent(QResizeEvent* pEvent)
{
    CWizardPage::resizeEvent(pEvent);
    setColumnWidths();
}

void CStatusPage::setColumnWidths()
{
    const int w = m_pResultList->width();
    m_pResultList->setColumnWidth(0, w / 4);
    m_pResultList->setColumnWidth(1, 3 * w / 8);
    m_pResultList->setColumnWidth(2, 3 * w / 4);
}
