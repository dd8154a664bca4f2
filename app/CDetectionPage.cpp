#include "app/CDetectionPage.h"

#include "app/CWizard.h"
#include "app/NorvaneApp.h"
#include "EngineSource/OSWIN32.h"
#include "wizard/UpdateCoordinator.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char kIdentifying[] = "Identifying Devices\nThis may take up to 20 seconds";
const char kIdentified[] = "Devices have been identified.";
const char kNoChoice[] = "ERROR: You must select atleast one type of device to update.";
const char kProblemsHeading[] = "Ports that could not be opened:";

// Column of the port count; the device type's position in the coordinator's
// list is the row's data in column 0.
constexpr int kCountColumn = 1;
constexpr int kTypeRole = Qt::UserRole;

}  // namespace

std::string detect_NoFilesMessage(const std::vector<std::string>& names)
{
    if (names.empty())
        return std::string();
    std::string sText = "No .hex files found for " + names[0];
    if (names.size() == 2) {
        sText += " and " + names[1];
    } else if (names.size() > 2) {
        for (size_t n = 1; n + 1 < names.size(); ++n)
            sText += ", " + names[n];
        sText += ", and " + names.back();
    }
    return sText + ".";
}

CDetectionPage::CDetectionPage(CWizard* pWizard)
    : CWizardPage(pWizard),
      m_pStatus(new QLabel(this)),
      m_pProblems(new QLabel(this)),
      m_pFrame(new QGroupBox(tr("Devices"), this)),
      m_pPrompt(new QLabel(tr("&Select the device type to flash:"), m_pFrame)),
      m_pList(new QTreeWidget(m_pFrame)),
      m_pContinue(new QLabel(tr("Click 'Next' to continue."), this)),
      m_pTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("detectionPage"));
    m_pStatus->setObjectName(QStringLiteral("statusText"));
    m_pProblems->setObjectName(QStringLiteral("portProblemsText"));
    m_pFrame->setObjectName(QStringLiteral("devicesFrame"));
    m_pPrompt->setObjectName(QStringLiteral("selectPrompt"));
    m_pList->setObjectName(QStringLiteral("deviceTypeList"));
    m_pContinue->setObjectName(QStringLiteral("continuePrompt"));
    m_pTimer->setObjectName(QStringLiteral("identifyTimer"));

    m_pStatus->setAlignment(Qt::AlignCenter);
    m_pStatus->setWordWrap(true);
    // Reasons name device nodes and groups: shown as written, never as markup.
    m_pProblems->setTextFormat(Qt::PlainText);
    m_pProblems->setWordWrap(true);
    m_pProblems->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pPrompt->setBuddy(m_pList);
    m_pList->setRootIsDecorated(false);
    // Columns keep the widths the page gives them.
    m_pList->header()->setStretchLastSection(false);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setHeaderLabels({tr("Model"), tr("#Ports")});
    m_pList->headerItem()->setTextAlignment(kCountColumn, Qt::AlignCenter);

    auto* pFrameLayout = new QVBoxLayout(m_pFrame);
    pFrameLayout->addWidget(m_pPrompt);
    pFrameLayout->addWidget(m_pList);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pStatus);
    pLayout->addWidget(m_pProblems);
    pLayout->addWidget(m_pFrame, 1);
    pLayout->addWidget(m_pContinue);
    m_pProblems->hide();
    m_pFrame->hide();
    m_pContinue->hide();

    // The 20-tick limit is a promise to the user: no tick may come early.
    m_pTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pTimer, &QTimer::timeout, this, &CDetectionPage::onTick);
}

void CDetectionPage::OnSetActive()
{
    UpdateCoordinator& coordinator = Coordinator();
    if (coordinator.GetCatalogue().GetCount() != 0) {
        // Back from the model page: identification is not repeated; the
        // choice starts afresh on the same rows.
        coordinator.ResetSelection();
        m_pList->clearSelection();
        Sheet()->SetWizardButtons(wiz_kNext);
        return;
    }
    Sheet()->SetWizardButtons(wiz_kDisabledFinish);
    if (coordinator.FindHexFiles(Options().m_nBootCode) == 0) {
        endWithError(err_kNoHexFiles);
        return;
    }
    m_pStatus->setText(tr(kIdentifying));
    m_nTicks = 0;
    m_pTimer->start(os_RealMs(detect_kTickMs));
    coordinator.StartIdentification();
}

void CDetectionPage::OnCancel() { Coordinator().StopIdentification(); }

void CDetectionPage::onTick()
{
    if (++m_nTicks > detect_kMaxTicks) {
        // The workers go on; the program's end waits for them.
        m_pTimer->stop();
        endWithError(err_kIdentifyTimeout);
        return;
    }
    if (!Coordinator().IdentificationDone(Options().m_bForceBoot))
        return;
    m_pTimer->stop();
    identified();
}

void CDetectionPage::identified()
{
    UpdateCoordinator& coordinator = Coordinator();
    const bool bDevices = coordinator.GetDeviceCount() != 0;
    if (bDevices) {
        coordinator.BuildDeviceTypes();
        std::vector<std::string> names;
        if (coordinator.RemoveTypesWithoutHexFiles(&names) > 0)
            NorvaneApp_Message(this, QString::fromStdString(detect_NoFilesMessage(names)));
    }
    if (!bDevices || coordinator.GetDeviceTypes().keys.empty()) {
        endWithError(err_kNoDevices);
        return;
    }
    // Shown first, so that the columns are sized from the list's real width.
    m_pFrame->show();
    m_pContinue->show();
    layout()->activate();
    fillList();
    m_pStatus->setText(tr(kIdentified));
    showPortProblems(false);
    m_pList->setFocus();
    Sheet()->SetWizardButtons(wiz_kNext);
}

void CDetectionPage::endWithError(int nCode)
{
    m_pStatus->setText(QString::fromStdString(Coordinator().GetErrorTable().GetErrorText(nCode)));
    showPortProblems(true);
    Sheet()->HideCancel();
    Sheet()->SetWizardButtons(wiz_kFinish);
}

void CDetectionPage::showPortProblems(bool bInFull)
{
    const std::vector<PortProblem>& problems = Coordinator().GetPortProblems();
    if (problems.empty()) {
        m_pProblems->hide();
        return;
    }
    QStringList ports;
    QStringList reasons;
    for (const PortProblem& problem : problems) {
        const QString sPort = QString::fromStdString(problem.sPort);
        ports << sPort;
        reasons << sPort + QStringLiteral(": ") + QString::fromStdString(problem.sReason);
    }
    // At a dead end the reasons are the answer, so they are shown in full;
    // beside a list of devices one line names the ports and the tooltip
    // tells why.
    if (bInFull) {
        m_pProblems->setText(tr(kProblemsHeading) + QLatin1Char('\n') + reasons.join(QLatin1Char('\n')));
        m_pProblems->setToolTip(QString());
    } else {
        m_pProblems->setText(tr(kProblemsHeading) + QLatin1Char(' ') + ports.join(QStringLiteral(", ")));
        m_pProblems->setToolTip(reasons.join(QLatin1Char('\n')));
    }
    m_pProblems->show();
}

void CDetectionPage::fillList()
{
    const int nWidth = m_pList->width();
    m_pList->setColumnWidth(0, nWidth * 3 / 4);
    m_pList->setColumnWidth(kCountColumn, nWidth / 4 - 4);
    m_pList->clear();
    const ModelKeyList& types = Coordinator().GetDeviceTypes();
    for (size_t n = 0; n < types.keys.size(); ++n) {
        const ModelKey& type = *types.keys[n];
        auto* pItem = new QTreeWidgetItem(m_pList);
        pItem->setText(0, QString::fromStdString(ModelKey_DisplayName(type)));
        pItem->setData(0, kTypeRole, static_cast<qulonglong>(n));
        pItem->setText(kCountColumn, QString::number(type.count));
        pItem->setTextAlignment(kCountColumn, Qt::AlignCenter);
    }
}

bool CDetectionPage::validatePage()
{
    const QList<QTreeWidgetItem*> chosen = m_pList->selectedItems();
    if (chosen.isEmpty()) {
        NorvaneApp_Message(this, tr(kNoChoice));
        return false;
    }
    UpdateCoordinator& coordinator = Coordinator();
    for (const QTreeWidgetItem* pItem : chosen)
        ModelKey_Select(&coordinator.GetDeviceTypes(), pItem->data(0, kTypeRole).toULongLong());
    coordinator.ApplyTypeSelection();
    return true;
}
