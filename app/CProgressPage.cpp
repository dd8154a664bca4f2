#include "app/CProgressPage.h"

#include "app/CWizard.h"
#include "EngineSource/OSWIN32.h"
#include "wizard/UpdateCoordinator.h"
#include "wizard/WizardCommandLine.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Period of the poll, in runtime-clock milliseconds.
constexpr int64_t kTickMs = 1000;

QLabel* centredLabel(const QString& sText, const QString& sName, QWidget* pParent)
{
    QLabel* pLabel = new QLabel(sText, pParent);
    pLabel->setObjectName(sName);
    pLabel->setAlignment(Qt::AlignCenter);
    pLabel->setWordWrap(true);
    return pLabel;
}

// Sets the item's text only when it differs, so that an unchanged row costs
// no repaint.
void setCell(QTreeWidgetItem* pItem, int nColumn, const QString& sText)
{
    if (pItem->text(nColumn) != sText)
        pItem->setText(nColumn, sText);
}

}  // namespace

CProgressPage::CProgressPage(CWizard* pWizard)
    : CWizardPage(pWizard),
      m_pProgress(new QProgressBar(this)),
      m_pStatusText(centredLabel(QStringLiteral("Static"), QStringLiteral("statusText"), this)),
      m_pPortList(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("progressPage"));

    QGroupBox* pGroup = new QGroupBox(tr("Progress"), this);
    pGroup->setObjectName(QStringLiteral("progressGroup"));
    pGroup->setMinimumWidth(page_kControlsWidth);
    m_pProgress->setObjectName(QStringLiteral("progressBar"));
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pPortList->setObjectName(QStringLiteral("portList"));
    m_pPortList->setHeaderLabels({tr("Port"), tr("Model"), tr("Percent"), tr("Status")});
    m_pPortList->setRootIsDecorated(false);
    m_pPortList->setSelectionMode(QAbstractItemView::NoSelection);
    m_pPortList->setUniformRowHeights(true);
    m_pPortList->header()->setStretchLastSection(true);
    m_pPortList->setColumnWidth(progress_kColPort, 70);
    m_pPortList->setColumnWidth(progress_kColModel, 170);
    m_pPortList->setColumnWidth(progress_kColPercent, 60);

    QVBoxLayout* pGroupLayout = new QVBoxLayout(pGroup);
    pGroupLayout->addWidget(centredLabel(tr("Your devices are being updated."), QStringLiteral("headingText"), pGroup));
    pGroupLayout->addWidget(m_pProgress);
    pGroupLayout->addWidget(m_pStatusText);
    pGroupLayout->addWidget(m_pPortList, 1);
    pGroupLayout->addWidget(centredLabel(
        tr("Termination of the program during this update may render your devices inoperable."),
        QStringLiteral("warningText"), pGroup));
    QVBoxLayout* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(pGroup);

    connect(&m_timer, &QTimer::timeout, this, &CProgressPage::OnTimer);
}

void CProgressPage::OnSetActive()
{
    // Hiding Cancel lays the buttons out anew, which shows them all; the
    // buttons are set after it.
    Sheet()->HideCancel();
    Sheet()->SetWizardButtons(wiz_kDisabledFinish);
    m_timer.start(os_RealMs(kTickMs));
    m_nLowest = 100;
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_strStatus = "Sorting File";
    const CWizardCommandLineInfo& options = Options();
    Coordinator().StartFlashing(options.m_nBootCode, options.m_bForceLoader);
    m_pStatusText->setText(QString::fromStdString(m_strStatus));
    FillPortList();
}

void CProgressPage::FillPortList()
{
    m_pPortList->clear();
    m_rows.clear();
    UpdateCoordinator& coordinator = Coordinator();
    QList<QTreeWidgetItem*> items;
    for (size_t n = 0; n < static_cast<size_t>(coordinator.GetDeviceCount()); ++n) {
        DeviceRecord* pRecord = coordinator.GetDevice(n);
        if (pRecord->bSelected == 0)
            continue;
        QTreeWidgetItem* pItem = new QTreeWidgetItem();
        pItem->setText(progress_kColPort, QString::fromLocal8Bit(pRecord->PortName()));
        pItem->setToolTip(progress_kColPort, page_PortToolTip(*pRecord));
        pItem->setText(progress_kColModel, QString::fromStdString(ModelKey_DisplayName(pRecord->key)));
        pItem->setTextAlignment(progress_kColPercent, Qt::AlignRight | Qt::AlignVCenter);
        items.append(pItem);
        m_rows.push_back(pRecord);
    }
    m_pPortList->addTopLevelItems(items);
    for (int nRow = 0; nRow < static_cast<int>(m_rows.size()); ++nRow)
        refreshRow(nRow);
}

void CProgressPage::refreshRow(int nRow)
{
    DeviceRecord* pRecord = m_rows[static_cast<size_t>(nRow)];
    int32_t nPercent = 0;
    char szText[flsh_kStatusTextSize];
    GetJobStatus(&pRecord->job, &nPercent, szText, sizeof szText);
    // A running job shows its own status text; an ended one its result.
    int32_t nResult = pRecord->GetFlashResult();
    QTreeWidgetItem* pItem = m_pPortList->topLevelItem(nRow);
    setCell(pItem, progress_kColPercent, QStringLiteral("%1%").arg(nPercent));
    setCell(pItem, progress_kColStatus,
            QString::fromLatin1(nResult == flsh_cRunning ? szText : FlashResultText(nResult)).trimmed());
}

void CProgressPage::OnTimer()
{
    std::string sText;
    bool bDone = Coordinator().FlashingDone(&m_nLowest, &sText);
    for (int nRow = 0; nRow < static_cast<int>(m_rows.size()); ++nRow)
        refreshRow(nRow);
    if (!bDone) {
        m_strStatus = sText;
        m_pStatusText->setText(QString::fromLatin1(m_strStatus.c_str()));
        m_pProgress->setValue(m_nLowest);
        return;
    }
    m_timer.stop();
    m_strStatus = "Programming Complete";
    m_pStatusText->setText(QString::fromStdString(m_strStatus));
    m_pProgress->setValue(100);
    Sheet()->SetWizardButtons(Options().m_bShowResults ? wiz_kNext : wiz_kFinish);
}
