#include "app/CDevelopersPage.h"

#include "app/CWizard.h"
#include "app/NorvaneApp.h"
#include "EngineSource/FlashInfo.h"
#include "EngineSource/OSWIN32.h"
#include "model/ModelDb.h"
#include "wizard/UpdateCoordinator.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

const char kInstructions[] =
    "To update devices, complete the following:      1.  Specify the .hex file to progam.                "
    "2.  To update boot code, check the box.      3.  Select the COM Port(s) to update.            "
    "4.  Select the baud rate for the update.";

// A label whose mnemonic moves the focus to pBuddy.
QLabel* buddyLabel(const QString& sText, QWidget* pBuddy, QWidget* pParent)
{
    QLabel* pLabel = new QLabel(sText, pParent);
    pLabel->setBuddy(pBuddy);
    return pLabel;
}

}  // namespace

CDevelopersPage::CDevelopersPage(CWizard* pWizard)
    : CWizardPage(pWizard),
      m_pHexFile(new QLineEdit(this)),
      m_pBootCode(new QCheckBox(tr("B&oot Code"), this)),
      m_pBrowse(new QPushButton(tr("&Browse..."), this)),
      m_pPortList(new QListWidget(this)),
      m_pBaudRate(new QComboBox(this)),
      m_pDeviceType(new QComboBox(this))
{
    setObjectName(QStringLiteral("developersPage"));
    m_pHexFile->setObjectName(QStringLiteral("hexFileEdit"));
    m_pBootCode->setObjectName(QStringLiteral("bootCodeCheck"));
    m_pBrowse->setObjectName(QStringLiteral("browseButton"));
    m_pPortList->setObjectName(QStringLiteral("portList"));
    m_pPortList->setSelectionMode(QAbstractItemView::MultiSelection);
    m_pBaudRate->setObjectName(QStringLiteral("baudRateList"));
    m_pDeviceType->setObjectName(QStringLiteral("deviceTypeList"));

    QLabel* pInstructions = new QLabel(QString::fromLatin1(kInstructions), this);
    pInstructions->setObjectName(QStringLiteral("instructionsText"));
    pInstructions->setWordWrap(true);
    pInstructions->setMinimumWidth(page_kControlsWidth);

    QGridLayout* pLayout = new QGridLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(pInstructions, 0, 0, 1, 3);
    pLayout->addWidget(buddyLabel(tr("&Hex File:"), m_pHexFile, this), 1, 0);
    pLayout->addWidget(m_pHexFile, 1, 1);
    pLayout->addWidget(m_pBrowse, 1, 2);
    pLayout->addWidget(m_pBootCode, 2, 1);
    pLayout->addWidget(buddyLabel(tr("&COM Port"), m_pPortList, this), 3, 0, Qt::AlignTop);
    pLayout->addWidget(m_pPortList, 3, 1, 3, 1);
    pLayout->addWidget(buddyLabel(tr("Baud &Rate"), m_pBaudRate, this), 3, 2);
    pLayout->addWidget(m_pBaudRate, 4, 2, Qt::AlignTop);
    pLayout->addWidget(buddyLabel(tr("&Device Type"), m_pDeviceType, this), 6, 0);
    pLayout->addWidget(m_pDeviceType, 6, 1, 1, 2);
    pLayout->setRowStretch(5, 1);
    pLayout->setColumnStretch(1, 1);

    connect(m_pBrowse, &QPushButton::clicked, this, &CDevelopersPage::onBrowse);
}

void CDevelopersPage::OnSetActive()
{
    Sheet()->SetWizardButtons(wiz_kNext);

    m_pBaudRate->clear();
    for (int32_t nBaud : dev_kBaudRates)
        m_pBaudRate->addItem(QString::number(nBaud), nBaud);
    m_pBaudRate->setCurrentIndex(dev_kDefaultBaudIndex);

    // The database may hold a model in several consecutive records; each
    // name is offered once per run of equal names.
    m_pDeviceType->clear();
    QString sPrevious;
    char szName[os_kMaxPath];
    uint32_t nFlags = 0;
    for (int32_t nIndex = 0; ModelDb_GetByIndex(nIndex, szName, sizeof szName, &nFlags) != 0; ++nIndex) {
        const QString sName = QString::fromLatin1(szName);
        if (m_pDeviceType->count() > 0 && sName.compare(sPrevious, Qt::CaseInsensitive) == 0)
            continue;
        m_pDeviceType->addItem(sName, nFlags);
        sPrevious = sName;
    }
    m_pDeviceType->setCurrentIndex(0);

    m_pPortList->clear();
    UpdateCoordinator& coordinator = Coordinator();
    for (int nPosition = 0; nPosition < coordinator.GetDeviceCount(); ++nPosition) {
        const DeviceRecord& record = *coordinator.GetDevice(static_cast<size_t>(nPosition));
        QListWidgetItem* pItem = new QListWidgetItem(QString::fromLocal8Bit(record.PortName()), m_pPortList);
        pItem->setData(Qt::UserRole, nPosition);
        pItem->setToolTip(page_PortToolTip(record));
    }
}

void CDevelopersPage::onBrowse()
{
    const QString sPath = QFileDialog::getOpenFileName(this, QString(), m_pHexFile->text(),
                                                       tr("hex files(*.hex *.HEX);;All Files (*.*)"));
    if (!sPath.isEmpty())
        m_pHexFile->setText(sPath);
}

bool CDevelopersPage::validatePage()
{
    if (m_pPortList->selectedItems().isEmpty()) {
        NorvaneApp_Message(this, QStringLiteral("ERROR: You must select at least one communications port."));
        return false;
    }
    const QString sFile = m_pHexFile->text();
    if (sFile.isEmpty()) {
        NorvaneApp_Message(this, QStringLiteral("ERROR: You must specify a .hex file."));
        return false;
    }
    const QByteArray file = sFile.toLocal8Bit();
    osfl_Handle hFile = osfl_Open(file.constData(), osfl_kAccessRead);
    if (hFile == osfl_kInvalidHandle) {
        NorvaneApp_Message(this, QStringLiteral("ERROR: Unable to open %1.\n\tPlease specify again.").arg(sFile));
        return false;
    }
    osfl_Close(hFile);

    CWizardCommandLineInfo& options = Sheet()->App()->cmdInfo;
    options.m_nBootCode = m_pBootCode->isChecked() ? 1 : 0;
    const int nBaudIndex = m_pBaudRate->currentIndex() >= 0 ? m_pBaudRate->currentIndex() : dev_kDefaultBaudIndex;
    const int32_t nBaud = dev_kBaudRates[nBaudIndex];
    const uint32_t nFlags = m_pDeviceType->currentData().toUInt();

    HexFileEntry entry;
    entry.path = file.toStdString();
    entry.fileName = entry.path;
    entry.selected = 1;
    ModelKey_SetModelByName(&entry.key, m_pDeviceType->currentText().toStdString());
    UpdateCoordinator& coordinator = Coordinator();
    coordinator.GetCatalogue().Append(entry);

    // Identifying a Lucent device's flash memory waits for the device.
    const bool bWaits = (nFlags & ModelDb_kFlagLucent) != 0;
    if (bWaits)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    int nPrepared = 0;
    for (int nRow = 0; nRow < m_pPortList->count() && nPrepared < dev_kMaxPorts; ++nRow) {
        const QListWidgetItem* pItem = m_pPortList->item(nRow);
        if (!pItem->isSelected())
            continue;
        const size_t nPosition = static_cast<size_t>(pItem->data(Qt::UserRole).toInt());
        coordinator.SetUpdateBaud(nPosition, nBaud);
        coordinator.PrepareDevice(nPosition, entry.key, nFlags, options.m_bForceBoot, entry);
        ++nPrepared;
    }
    if (bWaits)
        QApplication::restoreOverrideCursor();

    if (coordinator.RemoveUnselectedDevices() == 0) {
        NorvaneApp_Message(this, QString::fromStdString(
            coordinator.GetErrorTable().GetErrorText(err_kNoDeviceSelected)));
        Sheet()->HideCancel();
        Sheet()->SetWizardButtons(wiz_kFinish);
        return false;
    }
    return true;
}
