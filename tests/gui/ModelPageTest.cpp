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

namespace {

constexpr int kWaitMs = 30000;

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

// Three KV3360 of build 2 on COM2 to COM4 and a QBXHP-TA of build 3 on COM5,
// two KV3360 files that read alike and one of build 3, a QY file for the
// terminal adapter.
struct ModelRun : GuiSimRun {
    ModelRun()
    {
        addDevice(2, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        addDevice(3, "atmodem", gui_Named("KV3360", "2.11", "PTT BABT"));
        addDevice(4, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        addDevice(5, "ta", gui_Named("QBXHP-TA", "3.01", "UNIVERSAL"));
        for (const char* pszFile : {"KNGB0210.HEX", "KNGB0210RC1.HEX", "KNDE0301.HEX", "TPQY0302.HEX"})
            addFile(pszFile);
        watchPorts(5);
    }

    // Shows the wizard, waits for identification, chooses the types whose
    // row texts start with one of the prefixes and presses Next. False when
    // a step did not happen.
    bool chooseTypes(const QStringList& prefixes)
    {
        CWizard* pWizard = &showWizard();
        if (!ok() || !QTest::qWaitFor([pWizard] { return gui_Offers(pWizard, "nextButton"); }, kWaitMs))
            return false;
        QTreeWidget* pTypes = gui_Find<QTreeWidget>(pWizard, "deviceTypeList");
        for (int n = 0; n < pTypes->topLevelItemCount(); ++n) {
            for (const QString& sPrefix : prefixes)
                if (pTypes->topLevelItem(n)->text(0).startsWith(sPrefix))
                    pTypes->topLevelItem(n)->setSelected(true);
        }
        return gui_Click(pWizard, "nextButton") && pWizard->currentPage() == pWizard->ModelPage();
    }

    QTreeWidget* ports() { return gui_Find<QTreeWidget>(&wizard(), "portList"); }
    QComboBox* files() { return gui_Find<QComboBox>(&wizard(), "hexFileBox"); }
    QString caption() { return gui_Find<QGroupBox>(&wizard(), "modelGroup")->title(); }
    bool offers(const char* pszButton) { return gui_Offers(&wizard(), pszButton); }
    bool onModelPage() { return wizard().currentPage() == wizard().ModelPage(); }
    QString fileOf(int nPort) { return QString::fromStdString(record(nPort)->hexFile.path); }
    // Why chooseTypes() failed.
    QByteArray failure() const { return QByteArray::fromStdString(error() + log()); }
};

}  // namespace

class ModelPageTest : public QObject {
    Q_OBJECT
private slots:
    void twoTypesShownInTurnAndChoicesReachTheCoordinator()
    {
        ModelRun m;
        QVERIFY2(m.chooseTypes({"KV3360", "QBXHP-TA"}), m.failure());

        QCOMPARE(m.caption(), QStringLiteral("KV3360 - Version 2.xx"));
        // A version without a letter reads with a blank in the letter's place.
        QCOMPARE(gui_Rows(m.ports()), (QStringList{"COM2|2.05 |Germany", "COM3|2.11 |United Kingdom",
                                                   "COM4|2.05 |Germany"}));
        const QTreeWidget* pPorts = m.ports();
        // Each port's device node is its row's tooltip.
        for (int n = 0; n < 3; ++n)
            QCOMPARE(pPorts->topLevelItem(n)->toolTip(0), QString::fromStdString(m.portNode(2 + n)));
        QVERIFY(!m.portNode(2).empty());
        QCOMPARE(pPorts->headerItem()->text(0) + pPorts->headerItem()->text(1) + pPorts->headerItem()->text(2),
                 QStringLiteral("PortVersionCountry"));
        QCOMPARE(pPorts->columnWidth(0), pPorts->width() / 4);
        QCOMPARE(pPorts->columnWidth(1), pPorts->width() / 4);
        QCOMPARE(pPorts->columnWidth(2), pPorts->width() / 2);
        // The build text of a file name keeps its digits. Sorted by text;
        // the two files that read alike are told apart by their tooltips.
        QCOMPARE(items(m.files()), (QStringList{"Germany   03.01 ", "United Kingdom   02.10 ",
                                                "United Kingdom   02.10 "}));
        QCOMPARE(items(m.files(), Qt::ToolTipRole),
                 (QStringList{"KNDE0301.HEX", "KNGB0210.HEX", "KNGB0210RC1.HEX"}));
        QCOMPARE(m.files()->currentIndex(), 0);
        QVERIFY(m.offers("backButton") && m.offers("nextButton"));
        gui_SaveScreenshot(&m.wizard(), QStringLiteral("model-page"));

        // Next without a port: the page stays.
        MessageBoxCloser closer;
        QVERIFY(gui_Click(&m.wizard(), "nextButton"));
        QCOMPARE(closer.texts(), QStringList{"ERROR: You must select at least one communications port."});
        QVERIFY(m.onModelPage() && m.offers("nextButton") && m.offers("cancelButton"));
        QCOMPARE(m.caption(), QStringLiteral("KV3360 - Version 2.xx"));
        QCOMPARE(m.errorCode(), 0);

        // Two of three ports get the second of the look-alike files.
        selectRows(m.ports(), {"COM2", "COM4"});
        m.files()->setCurrentIndex(2);
        QVERIFY(gui_Click(&m.wizard(), "nextButton"));
        QVERIFY(m.onModelPage());
        QCOMPARE(m.caption(), QStringLiteral("QBXHP-TA - Version 3.xx"));
        QCOMPARE(gui_Rows(m.ports()), QStringList{"COM5|3.01 |Universal"});
        // A QY file serves Poland and the United Arab Emirates too.
        QCOMPARE(items(m.files()), (QStringList{"International PTT   03.02 ", "Poland   03.02 ",
                                                "United Arab Emirates   03.02 "}));
        selectRows(m.ports(), {"COM5"});
        m.files()->setCurrentIndex(1);
        // The last type's Next leads on to the update.
        QVERIFY(m.wizard().ModelPage()->validatePage());

        for (int nPort : {2, 4}) {
            QCOMPARE(m.record(nPort)->bSelected, 1);
            QCOMPARE(m.fileOf(nPort), QStringLiteral("KNGB0210RC1.HEX"));
        }
        QCOMPARE(m.record(3)->bSelected, 0);
        QCOMPARE(m.record(5)->bSelected, 1);
        QCOMPARE(m.fileOf(5), QStringLiteral("TPQY0302.HEX"));
        QCOMPARE(QString::fromLatin1(Country_DisplayName(m.record(5)->hexFile.country)), QStringLiteral("Poland"));
        QCOMPARE(m.errorCode(), 0);
    }

    void backClearsTheChoiceNextStartsAgainAndCancelEndsWithCodeOne()
    {
        ModelRun m;
        QVERIFY2(m.chooseTypes({"KV3360", "QBXHP-TA"}), m.failure());
        selectRows(m.ports(), {"COM3"});
        QVERIFY(gui_Click(&m.wizard(), "nextButton"));
        QCOMPARE(m.caption(), QStringLiteral("QBXHP-TA - Version 3.xx"));

        QVERIFY(gui_Click(&m.wizard(), "backButton"));
        QCOMPARE(m.wizard().currentPage(), static_cast<QWizardPage*>(m.wizard().DetectionPage()));
        QTreeWidget* pTypes = gui_Find<QTreeWidget>(&m.wizard(), "deviceTypeList");
        QCOMPARE(pTypes->topLevelItemCount(), 2);
        QVERIFY(pTypes->selectedItems().isEmpty());
        for (const auto& pType : m.coordinator().GetDeviceTypes().keys)
            QVERIFY(pType->selected == 0 && pType->done == 0);
        QCOMPARE(m.record(3)->bSelected, 0);
        QVERIFY(m.offers("nextButton") && !m.offers("backButton"));

        // Identification is not repeated; the second choice starts afresh.
        pTypes->topLevelItem(1)->setSelected(true);
        QVERIFY(gui_Click(&m.wizard(), "nextButton"));
        QCOMPARE(m.caption(), QStringLiteral("QBXHP-TA - Version 3.xx"));
        QCOMPARE(m.coordinator().GetDeviceCount(), 4);

        QVERIFY(gui_Click(&m.wizard(), "cancelButton"));
        QVERIFY(!m.wizard().isVisible());
        QCOMPARE(m.errorCode(), 1);
    }

    void countryChoiceAssignsTheCountrysFile()
    {
        ModelRun m;
        m.app().cmdInfo.m_bCountryChoice = true;
        QVERIFY2(m.chooseTypes({"QBXHP-TA"}), m.failure());
        QComboBox* pCountries = gui_Find<QComboBox>(&m.wizard(), "countryBox");
        QVERIFY(pCountries->isVisible());
        QCOMPARE(items(pCountries), (QStringList{"International PTT", "Poland", "United Arab Emirates"}));
        pCountries->setCurrentIndex(2);
        QVERIFY(m.wizard().ModelPage()->validatePage());
        QCOMPARE(m.record(5)->bSelected, 1);
        QCOMPARE(m.fileOf(5), QStringLiteral("TPQY0302.HEX"));
        QCOMPARE(QString::fromLatin1(Country_DisplayName(m.record(5)->hexFile.country)),
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
        m.app().cmdInfo.m_bCountryChoice = countryChoice;
        QVERIFY2(m.chooseTypes({"KV3360"}), m.failure());
        if (countryChoice) {
            QComboBox* pCountries = gui_Find<QComboBox>(&m.wizard(), "countryBox");
            pCountries->setCurrentIndex(pCountries->findText(QStringLiteral("United Kingdom")));
        } else {
            selectRows(m.ports(), {"COM2"});
            m.coordinator().DeselectType(m.wizard().ModelPage()->CurrentKey());
            m.coordinator().RemoveUnselectedDevices();
        }
        MessageBoxCloser closer;
        QVERIFY(gui_Click(&m.wizard(), "nextButton"));
        QCOMPARE(closer.texts(), QStringList{text});
        QCOMPARE(m.errorCode(), code);
        QVERIFY(m.onModelPage());
        QVERIFY(m.offers("finishButton") && !m.offers("nextButton") && !m.offers("backButton"));
        QVERIFY(m.wizard().IsCancelHidden());
        QTest::keyClick(&m.wizard(), Qt::Key_Escape);
        QVERIFY(m.wizard().isVisible());
        QCOMPARE(m.errorCode(), code);
    }
};

QTEST_MAIN(ModelPageTest)
#include "ModelPageTest.moc"
