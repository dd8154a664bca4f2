// The model page in the real wizard against simulated devices: shown once
// per chosen device type, its port rows and sorted file box, the choice of
// ports and file reaching the coordinator, Back and Next again, the country
// choice, the internal errors 100 and 101, and Cancel.
#include "app/CDetectionPage.h"
#include "app/CModelPage.h"
#include "app/CWizard.h"
#include "gui/support/GuiHarness.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

constexpr int kWaitMs = 30000;

// "Port|Version|Country" of each row.
QStringList rows(const QTreeWidget* pList)
{
    QStringList result;
    for (int n = 0; n < pList->topLevelItemCount(); ++n) {
        const QTreeWidgetItem* pRow = pList->topLevelItem(n);
        result << pRow->text(0) + "|" + pRow->text(1) + "|" + pRow->text(2);
    }
    return result;
}

QStringList items(const QComboBox* pBox, int nRole = Qt::DisplayRole)
{
    QStringList result;
    for (int n = 0; n < pBox->count(); ++n)
        result << pBox->itemData(n, nRole).toString();
    return result;
}

// Selects the rows whose first column is one of the texts.
void selectRows(QTreeWidget* pList, const QStringList& texts)
{
    pList->clearSelection();
    for (int n = 0; n < pList->topLevelItemCount(); ++n)
        pList->topLevelItem(n)->setSelected(texts.contains(pList->topLevelItem(n)->text(0)));
}

// The record on COMn.
const DeviceRecord* record(UpdateCoordinator& coordinator, int nPort)
{
    for (int32_t n = 0; n < coordinator.GetDeviceCount(); ++n) {
        const DeviceRecord* pRecord = coordinator.GetDevice(static_cast<size_t>(n));
        if (QString::fromLatin1(pRecord->PortName()) == QStringLiteral("COM%1").arg(nPort))
            return pRecord;
    }
    return nullptr;
}

// Three KV3360 of build 2 on COM2 to COM4 and a QBXHP-TA of build 3 on COM5,
// two KV3360 files that read alike and one of build 3, a QY file for the
// terminal adapter; a wizard over them, identified, with the rows of the
// types in the texts chosen and Next pressed.
struct ModelRun {
    ModelRun()
    {
        run.addDevice(2, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        run.addDevice(3, "atmodem", gui_Named("KV3360", "2.11", "PTT BABT"));
        run.addDevice(4, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        run.addDevice(5, "ta", gui_Named("QBXHP-TA", "3.01", "UNIVERSAL"));
        for (const char* pszFile : {"KNGB0210.HEX", "KNGB0210RC1.HEX", "KNDE0301.HEX", "TPQY0302.HEX"})
            run.addFile(pszFile);
        run.watchPorts(5);
    }

    // Identifies, chooses the types whose row texts start with one of the
    // prefixes and presses Next. False when a step did not happen.
    bool chooseTypes(const QStringList& prefixes)
    {
        pWizard = std::make_unique<CWizard>(&run.app());
        pWizard->resize(720, 360);
        pWizard->show();
        if (!QTest::qWaitFor([this] { return gui_Find<QAbstractButton>(pWizard.get(), "nextButton")->isEnabled(); },
                             kWaitMs))
            return false;
        QTreeWidget* pTypes = gui_Find<QTreeWidget>(pWizard.get(), "deviceTypeList");
        for (int n = 0; n < pTypes->topLevelItemCount(); ++n) {
            for (const QString& sPrefix : prefixes)
                if (pTypes->topLevelItem(n)->text(0).startsWith(sPrefix))
                    pTypes->topLevelItem(n)->setSelected(true);
        }
        return gui_Click(pWizard.get(), "nextButton") && pWizard->currentPage() == pWizard->ModelPage();
    }

    QTreeWidget* ports() const { return gui_Find<QTreeWidget>(pWizard.get(), "portList"); }
    QComboBox* files() const { return gui_Find<QComboBox>(pWizard.get(), "hexFileBox"); }
    QString caption() const { return gui_Find<QGroupBox>(pWizard.get(), "modelGroup")->title(); }
    bool offers(const char* pszButton) const
    {
        const QAbstractButton* pButton = gui_Find<QAbstractButton>(pWizard.get(), pszButton);
        return !pButton->isHidden() && pButton->isEnabled();
    }

    GuiSimRun run;
    std::unique_ptr<CWizard> pWizard;
};

}  // namespace

class ModelPageTest : public QObject {
    Q_OBJECT
private slots:
    void twoTypesShownInTurnAndChoicesReachTheCoordinator()
    {
        ModelRun m;
        QVERIFY2(m.run.ok(), m.run.error().c_str());
        QVERIFY2(m.chooseTypes({"KV3360", "QBXHP-TA"}), m.run.log().c_str());

        QCOMPARE(m.caption(), QStringLiteral("KV3360 - Version 2.xx"));
        // A version without a letter reads with a blank in the letter's place.
        QCOMPARE(rows(m.ports()), (QStringList{"COM2|2.05 |Germany", "COM3|2.11 |United Kingdom",
                                               "COM4|2.05 |Germany"}));
        const QTreeWidget* pPorts = m.ports();
        // Each port's device node is its row's tooltip.
        for (int n = 0; n < 3; ++n)
            QCOMPARE(pPorts->topLevelItem(n)->toolTip(0), QString::fromStdString(m.run.portNode(2 + n)));
        QVERIFY(!m.run.portNode(2).empty());
        QCOMPARE(pPorts->headerItem()->text(0) + pPorts->headerItem()->text(1) + pPorts->headerItem()->text(2),
                 QStringLiteral("PortVersionCountry"));
        QCOMPARE(pPorts->columnWidth(0), pPorts->width() / 4);
        QCOMPARE(pPorts->columnWidth(1), pPorts->width() / 4);
        QCOMPARE(pPorts->columnWidth(2), pPorts->width() / 2);
        // The build text of a file name keeps its digits. Sorted by text;
        // the two files that read alike are told apart by
        // their tooltips.
        QCOMPARE(items(m.files()), (QStringList{"Germany   03.01 ", "United Kingdom   02.10 ",
                                                "United Kingdom   02.10 "}));
        QCOMPARE(items(m.files(), Qt::ToolTipRole),
                 (QStringList{"KNDE0301.HEX", "KNGB0210.HEX", "KNGB0210RC1.HEX"}));
        QCOMPARE(m.files()->currentIndex(), 0);
        QVERIFY(m.offers("backButton") && m.offers("nextButton"));
        gui_SaveScreenshot(m.pWizard.get(), QStringLiteral("model-page"));

        // Two of three ports get the second of the look-alike files.
        selectRows(m.ports(), {"COM2", "COM4"});
        m.files()->setCurrentIndex(2);
        QVERIFY(gui_Click(m.pWizard.get(), "nextButton"));
        QCOMPARE(m.pWizard->currentPage(), static_cast<QWizardPage*>(m.pWizard->ModelPage()));
        QCOMPARE(m.caption(), QStringLiteral("QBXHP-TA - Version 3.xx"));
        QCOMPARE(rows(m.ports()), QStringList{"COM5|3.01 |Universal"});
        // A QY file serves Poland and the United Arab Emirates too.
        QCOMPARE(items(m.files()), (QStringList{"International PTT   03.02 ", "Poland   03.02 ",
                                                "United Arab Emirates   03.02 "}));
        selectRows(m.ports(), {"COM5"});
        m.files()->setCurrentIndex(1);
        // The last type's Next leads on to the update.
        QVERIFY(m.pWizard->ModelPage()->validatePage());

        UpdateCoordinator& coordinator = m.run.coordinator();
        for (int nPort : {2, 4}) {
            QCOMPARE(record(coordinator, nPort)->bSelected, 1);
            QCOMPARE(QString::fromStdString(record(coordinator, nPort)->hexFile.path),
                     QStringLiteral("KNGB0210RC1.HEX"));
        }
        QCOMPARE(record(coordinator, 3)->bSelected, 0);
        QCOMPARE(record(coordinator, 5)->bSelected, 1);
        QCOMPARE(QString::fromStdString(record(coordinator, 5)->hexFile.path), QStringLiteral("TPQY0302.HEX"));
        QCOMPARE(QString::fromLatin1(Country_DisplayName(record(coordinator, 5)->hexFile.country)),
                 QStringLiteral("Poland"));
        QCOMPARE(coordinator.GetErrorTable().GetError(), 0);
    }

    void nextWithoutPortStays()
    {
        ModelRun m;
        QVERIFY2(m.run.ok(), m.run.error().c_str());
        QVERIFY2(m.chooseTypes({"QBXHP-TA"}), m.run.log().c_str());
        MessageBoxCloser closer;
        QVERIFY(gui_Click(m.pWizard.get(), "nextButton"));
        QCOMPARE(closer.texts(), QStringList{"ERROR: You must select at least one communications port."});
        QCOMPARE(m.pWizard->currentPage(), static_cast<QWizardPage*>(m.pWizard->ModelPage()));
        QVERIFY(m.offers("nextButton") && m.offers("cancelButton"));
        QCOMPARE(m.run.coordinator().GetErrorTable().GetError(), 0);
    }

    void backClearsTheChoiceAndNextStartsAgain()
    {
        ModelRun m;
        QVERIFY2(m.run.ok(), m.run.error().c_str());
        QVERIFY2(m.chooseTypes({"KV3360", "QBXHP-TA"}), m.run.log().c_str());
        selectRows(m.ports(), {"COM3"});
        QVERIFY(gui_Click(m.pWizard.get(), "nextButton"));
        QCOMPARE(m.caption(), QStringLiteral("QBXHP-TA - Version 3.xx"));

        QVERIFY(gui_Click(m.pWizard.get(), "backButton"));
        QCOMPARE(m.pWizard->currentPage(), static_cast<QWizardPage*>(m.pWizard->DetectionPage()));
        QTreeWidget* pTypes = gui_Find<QTreeWidget>(m.pWizard.get(), "deviceTypeList");
        QCOMPARE(pTypes->topLevelItemCount(), 2);
        QVERIFY(pTypes->selectedItems().isEmpty());
        UpdateCoordinator& coordinator = m.run.coordinator();
        for (const auto& pType : coordinator.GetDeviceTypes().keys)
            QVERIFY(pType->selected == 0 && pType->done == 0);
        QCOMPARE(record(coordinator, 3)->bSelected, 0);
        QVERIFY(m.offers("nextButton") && !m.offers("backButton"));

        // Identification is not repeated; the second choice starts afresh.
        pTypes->topLevelItem(1)->setSelected(true);
        QVERIFY(gui_Click(m.pWizard.get(), "nextButton"));
        QCOMPARE(m.caption(), QStringLiteral("QBXHP-TA - Version 3.xx"));
        QCOMPARE(coordinator.GetDeviceCount(), 4);
    }

    void countryChoiceAssignsTheCountrysFile()
    {
        ModelRun m;
        m.run.app().cmdInfo.m_bCountryChoice = true;
        QVERIFY2(m.run.ok(), m.run.error().c_str());
        QVERIFY2(m.chooseTypes({"QBXHP-TA"}), m.run.log().c_str());
        QComboBox* pCountries = gui_Find<QComboBox>(m.pWizard.get(), "countryBox");
        QVERIFY(pCountries->isVisible());
        QCOMPARE(items(pCountries), (QStringList{"International PTT", "Poland", "United Arab Emirates"}));
        pCountries->setCurrentIndex(2);
        QVERIFY(m.pWizard->ModelPage()->validatePage());
        const DeviceRecord* pTa = record(m.run.coordinator(), 5);
        QCOMPARE(pTa->bSelected, 1);
        QCOMPARE(QString::fromStdString(pTa->hexFile.path), QStringLiteral("TPQY0302.HEX"));
        QCOMPARE(QString::fromLatin1(Country_DisplayName(pTa->hexFile.country)),
                 QStringLiteral("United Arab Emirates"));
    }

    void internalErrors_data()
    {
        QTest::addColumn<bool>("countryChoice");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        // Two files of the type for one country: not exactly one file.
        QTest::newRow("100") << true << 100 << "INTERNAL ERROR: No hex file available.";
        // The type's records gone from the device list: nothing to select.
        QTest::newRow("101") << false << 101 << "INTERNAL ERROR: No devices selected.";
    }

    void internalErrors()
    {
        QFETCH(bool, countryChoice);
        QFETCH(int, code);
        QFETCH(QString, text);
        ModelRun m;
        m.run.app().cmdInfo.m_bCountryChoice = countryChoice;
        QVERIFY2(m.run.ok(), m.run.error().c_str());
        QVERIFY2(m.chooseTypes({"KV3360"}), m.run.log().c_str());
        UpdateCoordinator& coordinator = m.run.coordinator();
        if (countryChoice) {
            QComboBox* pCountries = gui_Find<QComboBox>(m.pWizard.get(), "countryBox");
            pCountries->setCurrentIndex(pCountries->findText(QStringLiteral("United Kingdom")));
        } else {
            selectRows(m.ports(), {"COM2"});
            coordinator.DeselectType(m.pWizard->ModelPage()->CurrentKey());
            coordinator.RemoveUnselectedDevices();
        }
        MessageBoxCloser closer;
        QVERIFY(gui_Click(m.pWizard.get(), "nextButton"));
        QCOMPARE(closer.texts(), QStringList{text});
        QCOMPARE(coordinator.GetErrorTable().GetError(), code);
        QCOMPARE(m.pWizard->currentPage(), static_cast<QWizardPage*>(m.pWizard->ModelPage()));
        QVERIFY(m.offers("finishButton") && !m.offers("nextButton") && !m.offers("backButton"));
        QVERIFY(m.pWizard->IsCancelHidden());
        QTest::keyClick(m.pWizard.get(), Qt::Key_Escape);
        QVERIFY(m.pWizard->isVisible());
        QCOMPARE(coordinator.GetErrorTable().GetError(), code);
    }

    void cancelEndsWithCodeOne()
    {
        ModelRun m;
        QVERIFY2(m.run.ok(), m.run.error().c_str());
        QVERIFY2(m.chooseTypes({"KV3360"}), m.run.log().c_str());
        QVERIFY(gui_Click(m.pWizard.get(), "cancelButton"));
        QVERIFY(!m.pWizard->isVisible());
        QCOMPARE(m.run.coordinator().GetErrorTable().GetError(), 1);
    }
};

QTEST_MAIN(ModelPageTest)
#include "ModelPageTest.moc"
