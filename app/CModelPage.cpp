#include "app/CModelPage.h"

#include "app/CWizard.h"
#include "app/NorvaneApp.h"
#include "wizard/UpdateCoordinator.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const char kNoPort[] = "ERROR: You must select at least one communications port.";

// Row data (column 0) and item data: the position of the device record or
// catalogue entry; in the country box the country index.
constexpr int kPositionRole = Qt::UserRole;

// Fills a drop-down list with (text, data) items in the order of their
// texts, as a sorted box keeps them; equal texts keep their order.
void fillSorted(QComboBox* pBox, std::vector<std::pair<QString, QVariant>> items,
                const std::vector<QString>& tips = {})
{
    std::vector<size_t> order(items.size());
    for (size_t n = 0; n < order.size(); ++n)
        order[n] = n;
    std::stable_sort(order.begin(), order.end(), [&items](size_t a, size_t b) {
        return QString::compare(items[a].first, items[b].first, Qt::CaseInsensitive) < 0;
    });
    for (size_t n : order) {
        pBox->addItem(items[n].first, items[n].second);
        if (n < tips.size())
            pBox->setItemData(pBox->count() - 1, tips[n], Qt::ToolTipRole);
    }
}

}  // namespace

CModelPage::CModelPage(CWizard* pWizard)
    : CWizardPage(pWizard),
      m_pGroup(new QGroupBox(tr("Model"), this)),
      m_pPrompt(new QLabel(tr("&Select the ports and hex file to update:"), m_pGroup)),
      m_pPorts(new QTreeWidget(m_pGroup)),
      m_pFileLabel(new QLabel(tr("&Hex File"), m_pGroup)),
      m_pFiles(new QComboBox(m_pGroup)),
      m_pCountries(new QComboBox(m_pGroup))
{
    setObjectName(QStringLiteral("modelPage"));
    m_pGroup->setObjectName(QStringLiteral("modelGroup"));
    m_pPrompt->setObjectName(QStringLiteral("portsPrompt"));
    m_pPorts->setObjectName(QStringLiteral("portList"));
    m_pFileLabel->setObjectName(QStringLiteral("hexFileLabel"));
    m_pFiles->setObjectName(QStringLiteral("hexFileBox"));
    m_pCountries->setObjectName(QStringLiteral("countryBox"));

    m_pPrompt->setBuddy(m_pPorts);
    m_pFileLabel->setBuddy(m_pFiles);
    m_pPorts->setRootIsDecorated(false);
    // Columns keep the widths the page gives them.
    m_pPorts->header()->setStretchLastSection(false);
    m_pPorts->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pPorts->setHeaderLabels({tr("Port"), tr("Version"), tr("Country")});

    auto* pGroupLayout = new QVBoxLayout(m_pGroup);
    pGroupLayout->addWidget(m_pPrompt);
    pGroupLayout->addWidget(m_pPorts, 1);
    pGroupLayout->addWidget(m_pFileLabel);
    pGroupLayout->addWidget(m_pFiles);
    pGroupLayout->addWidget(m_pCountries);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pGroup);
    m_pPorts->hide();
    m_pFiles->hide();
    m_pCountries->hide();
}

void CModelPage::OnSetActive()
{
    UpdateCoordinator& coordinator = Coordinator();
    m_pPorts->clear();
    m_pFiles->clear();
    m_pCountries->clear();
    const ModelKey* pNext = ModelKeyList_NextSelected(coordinator.GetDeviceTypes());
    m_key = pNext != nullptr ? *pNext : ModelKey();

    m_pPorts->show();
    m_pFiles->show();
    m_pCountries->setVisible(Options().m_bCountryChoice);
    layout()->activate();
    const int nWidth = m_pPorts->width();
    m_pPorts->setColumnWidth(0, nWidth / 4);
    m_pPorts->setColumnWidth(1, nWidth / 4);
    m_pPorts->setColumnWidth(2, nWidth / 2);

    for (int32_t n = 0; n < coordinator.GetDeviceCount(); ++n) {
        const DeviceRecord& record = *coordinator.GetDevice(static_cast<size_t>(n));
        if (!ModelKey_Equals(record.key, m_key))
            continue;
        auto* pRow = new QTreeWidgetItem(m_pPorts);
        pRow->setText(0, QString::fromLocal8Bit(record.PortName()));
        pRow->setToolTip(0, page_PortToolTip(record));
        pRow->setData(0, kPositionRole, n);
        pRow->setText(1, QString::fromStdString(FirmwareBuild_Text(record.build)));
        pRow->setText(2, QString::fromLatin1(Country_DisplayName(record.nCountry)));
    }

    // Two files of one country and build read alike: the tooltip names the
    // file.
    const HexCatalogue& catalogue = coordinator.GetCatalogue();
    std::vector<std::pair<QString, QVariant>> files;
    std::vector<QString> names;
    for (int32_t n = 0; n < catalogue.GetCount(); ++n) {
        const HexFileEntry& entry = *catalogue.GetEntry(static_cast<size_t>(n));
        if (!HexCatalogue::Fits(entry, m_key))
            continue;
        files.emplace_back(QStringLiteral("%1   %2").arg(QString::fromLatin1(Country_DisplayName(entry.country)),
                                                         QString::fromStdString(FirmwareBuild_Text(entry.build))),
                           n);
        names.push_back(QString::fromStdString(entry.path));
    }
    fillSorted(m_pFiles, std::move(files), names);
    m_pFiles->setCurrentIndex(0);

    if (Options().m_bCountryChoice) {
        std::vector<std::pair<QString, QVariant>> countries;
        for (int32_t nCountry : catalogue.FittingCountries(m_key))
            countries.emplace_back(QString::fromLatin1(Country_DisplayName(nCountry)), nCountry);
        fillSorted(m_pCountries, std::move(countries));
        m_pCountries->setCurrentIndex(0);
    }

    m_pGroup->setTitle(QString::fromStdString(ModelKey_DisplayName(m_key)));
    Sheet()->SetWizardButtons(wiz_kBack | wiz_kNext);
}

void CModelPage::OnCancel() { Coordinator().StopIdentification(); }

bool CModelPage::validatePage()
{
    UpdateCoordinator& coordinator = Coordinator();
    if (Options().m_bCountryChoice) {
        const QVariant country = m_pCountries->currentData();
        coordinator.AssignCountryToType(m_key, country.isValid() ? country.toInt() : Country_kUnknown);
    } else {
        const QList<QTreeWidgetItem*> chosen = m_pPorts->selectedItems();
        if (chosen.isEmpty()) {
            NorvaneApp_Message(this, tr(kNoPort));
            return false;
        }
        // Rows from the top, as the list shows them.
        std::vector<size_t> ports;
        for (int nRow = 0; nRow < m_pPorts->topLevelItemCount(); ++nRow) {
            const QTreeWidgetItem* pRow = m_pPorts->topLevelItem(nRow);
            if (pRow->isSelected())
                ports.push_back(pRow->data(0, kPositionRole).toULongLong());
        }
        const QVariant file = m_pFiles->currentData();
        coordinator.AssignHexFileToPorts(m_key, file.isValid() ? file.toULongLong() : static_cast<size_t>(-1), ports);
    }
    if (coordinator.GetCatalogue().CountSelectedFitting(m_key) != 1) {
        fail(err_kNoHexFile);
        return false;
    }
    if (coordinator.CountSelectedDevices(m_key) < 1) {
        fail(err_kNoDeviceSelected);
        return false;
    }
    ModelKeyList_MarkDone(&coordinator.GetDeviceTypes(), m_key);
    if (ModelKeyList_NextSelected(coordinator.GetDeviceTypes()) != nullptr) {
        OnSetActive();
        return false;
    }
    return true;
}

void CModelPage::fail(int nCode)
{
    NorvaneApp_Message(this, QString::fromStdString(Coordinator().GetErrorTable().GetErrorText(nCode)));
    Sheet()->HideCancel();
    Sheet()->SetWizardButtons(wiz_kFinish);
}
