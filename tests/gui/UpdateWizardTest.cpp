// Whole updates from the wizard against simulated devices in this process:
// single-port and developers' runs through the progress and status pages to
// the images the devices hold (the developers' page refusing incomplete
// choices first), a run where one device fails, and the progress page's bar
// and per-port list over jobs whose progress the test sets.
#include "app/CDetectionPage.h"
#include "app/CDevelopersPage.h"
#include "app/CModelPage.h"
#include "app/CProgressPage.h"
#include "app/CStatusPage.h"
#include "app/CWizard.h"
#include "app/NorvaneApp.h"
#include "gui/support/GuiHarness.h"
#include "model/ModelDb.h"
#include "sim/SimAtBoot.h"
#include "sim/SimLucentLoader.h"
#include "sim/SimRockwellLoader.h"
#include "support/FlashRun.h"
#include "support/HexWriter.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace {

// Time scale of a whole run: short enough for a fast test, long enough that
// the AT handshake's shortest waits survive a loaded machine.
constexpr double kRunScale = 0.2;
// Longest real wait for a run to complete.
constexpr int kRunTimeoutMs = 120000;

// A Lucent firmware image whose text names the flash part the simulated
// Lucent device holds (type 55, 64 KB sectors, code 0x12AB).
std::string lucentFirmware()
{
    HexChunk chunk = hex_Pattern(0, 0x180, 7);
    const uint8_t kHead[] = {0x0A, 0xB1, 0x25, 0x54, 0x00};
    std::copy(kHead, kHead + sizeof kHead, chunk.bytes.begin() + 0x15);
    return hex_Text({chunk});
}

// The device holds the file's bytes, and 0xFF only where no block had data.
bool holdsImage(const SimAtBoot& boot, const std::vector<HexChunk>& chunks)
{
    std::map<uint32_t, uint8_t> file = hex_Bytes(chunks);
    std::map<uint32_t, uint8_t> image = boot.image();
    for (auto it = image.begin(); it != image.end();)
        it = it->second == 0xFF && file.count(it->first) == 0 ? image.erase(it) : std::next(it);
    return image == file;
}

// Settings of the simulated LV5600 whose flash part lucentFirmware() names.
const SimSettings kLucent = {{"reply.ATI", "LV5600 V.90\\nVersion 5.10"}, {"lucentloader", "4.4"}};

// A run at the whole-run scale with the flash loaders in the working folder.
struct UpdateRun : GuiSimRun {
    UpdateRun() : GuiSimRun(kRunScale)
    {
        for (const char* pszLoader : {"FlashLdr.hex", "BPFL24.s37"})
            addFile(pszLoader, dataFile(pszLoader));
    }

    // Waits until the progress page reports completion; false on time-out.
    bool waitForCompletion()
    {
        QLabel* pStatus = gui_Find<QLabel>(wizard().ProgressPage(), "statusText");
        return QTest::qWaitFor([pStatus] { return pStatus->text() == QLatin1String("Programming Complete"); },
                               kRunTimeoutMs);
    }

    QString node(int nPort) const { return QString::fromStdString(portNode(nPort)); }
    QString summary() { return gui_Find<QLabel>(&wizard(), "summaryText")->text(); }
    QStringList results() { return gui_Rows(gui_Find<QTreeWidget>(&wizard(), "resultList")); }
};

bool hidden(const CWizard& wizard, const char* pszButton)
{
    return gui_Find<QAbstractButton>(&wizard, pszButton)->isHidden();
}

}  // namespace

class UpdateWizardTest : public QObject {
    Q_OBJECT
private slots:
    void singlePortRunUpdatesTheNamedPort()
    {
        UpdateRun run;
        SimAtBoot boot;
        run.addDevice(5, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"), &boot);
        const std::vector<HexChunk> image = {hex_Pattern(0, 0x600, 1), hex_Pattern(0x4100, 0x80, 2)};
        run.addFile("A.HEX", hex_Text(image));
        QVERIFY2(run.ok(), run.error().c_str());
        run.startUp({"-p", "COM5", "-f", "A.HEX", "-m", "KV3360"});
        CWizard& wizard = run.showWizard();
        QCOMPARE(wizard.currentPage(), wizard.ProgressPage());

        // While the update runs: no buttons, and Cancel, Escape and the
        // window's close button are refused.
        QVERIFY(hidden(wizard, "cancelButton") && hidden(wizard, "nextButton"));
        QVERIFY(!gui_Find<QAbstractButton>(&wizard, "finishButton")->isEnabled());
        QVERIFY(!wizard.close());
        QTest::keyClick(&wizard, Qt::Key_Escape);
        QVERIFY(wizard.isVisible());

        QVERIFY2(run.waitForCompletion(), run.log().c_str());
        QCOMPARE(gui_Find<QProgressBar>(&wizard, "progressBar")->value(), 100);
        const QTreeWidget* pPorts = gui_Find<QTreeWidget>(wizard.ProgressPage(), "portList");
        QCOMPARE(gui_Rows(pPorts), QStringList{QStringLiteral("COM5|KV3360|100%|Successful")});
        // The port's device node is the row's tooltip.
        QCOMPARE(pPorts->topLevelItem(0)->toolTip(0), run.node(5));
        QVERIFY(!run.node(5).isEmpty());
        QVERIFY(gui_Click(&wizard, "nextButton"));

        QCOMPARE(wizard.currentPage(), wizard.StatusPage());
        QCOMPARE(run.summary(), QStringLiteral("1 of 1 devices were updated successfully"));
        QCOMPARE(run.results(), QStringList{QStringLiteral("COM5|KV3360|Successful")});
        QVERIFY(gui_Click(&wizard, "finishButton"));
        QVERIFY(!wizard.isVisible());
        QCOMPARE(wizard.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE(run.errorCode(), 0);
        QVERIFY2(holdsImage(boot, image), run.log().c_str());
    }

    void normalRunOfEveryFamily()
    {
        // Two KV3360 and a QBXHP-TA (AT protocol), an LV5600 (Lucent) and an
        // RW3360-SP (Rockwell); every other port of COM1 to COM36 is absent.
        UpdateRun run;
        SimAtBoot kv3, kv5, ta;
        SimDeviceConfig lucent, rockwell;
        run.addDevice(3, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"), &kv3);
        run.addDevice(5, "atmodem", gui_Named("KV3360", "2.11", "PTT BABT"), &kv5);
        run.addDevice(8, "ta", gui_Named("QBXHP-TA", "3.01", "UNIVERSAL"), &ta);
        run.addDevice(12, "lucent", kLucent, nullptr, &lucent);
        run.addDevice(20, "rockwell", {{"rockwellloader", "announce"}}, nullptr, &rockwell);
        QVERIFY2(run.ok(), run.error().c_str());
        const std::vector<HexChunk> kvImage = {hex_Pattern(0, 0x600, 1), hex_Pattern(0x4100, 0x80, 2)};
        const std::vector<HexChunk> taImage = {hex_Pattern(0x1000, 0x300, 3)};
        run.addFile("kngb0210.hex", hex_Text(kvImage));
        run.addFile("TPDE0301.HEX", hex_Text(taImage, HexLayout{32, 0x10000, 5}));
        const std::string lucentText = lucentFirmware();
        run.addFile("LVGB0510.HEX", lucentText);
        const std::string rockwellText = hex_Text({hex_Pattern(0x8000, 0x200, 9)});
        run.addFile("RSQY17.HEX", rockwellText);
        MessageBoxCloser messages;
        run.startUp({});
        CWizard& wizard = run.showWizard();

        // Every device type, and per type every port and the first file.
        QTreeWidget* pTypes = gui_Find<QTreeWidget>(wizard.DetectionPage(), "deviceTypeList");
        QTRY_VERIFY2_WITH_TIMEOUT(pTypes->isVisible(), run.log().c_str(), kRunTimeoutMs);
        QCOMPARE(pTypes->topLevelItemCount(), 4);
        pTypes->selectAll();
        QVERIFY(gui_Click(&wizard, "nextButton"));
        QTreeWidget* pPorts = gui_Find<QTreeWidget>(wizard.ModelPage(), "portList");
        for (int nType = 0; nType < 4 && wizard.currentPage() == wizard.ModelPage(); ++nType) {
            pPorts->selectAll();
            QVERIFY(gui_Click(&wizard, "nextButton"));
        }
        QCOMPARE(wizard.currentPage(), wizard.ProgressPage());
        QVERIFY(messages.texts().isEmpty());

        QVERIFY2(run.waitForCompletion(), run.log().c_str());
        QVERIFY(gui_Click(&wizard, "nextButton"));
        QCOMPARE(run.summary(), QStringLiteral("5 of 5 devices were updated successfully"));
        QCOMPARE(run.results(),
                 (QStringList{"COM3|KV3360 - Version 2.xx|Successful", "COM5|KV3360 - Version 2.xx|Successful",
                              "COM8|QBXHP-TA - Version 3.xx|Successful", "COM12|LV5600 - Version 5.xx|Successful",
                              "COM20|RW3360|Successful"}));
        QVERIFY(gui_Click(&wizard, "finishButton"));
        QCOMPARE(run.errorCode(), 0);
        QVERIFY(holdsImage(kv3, kvImage) && holdsImage(kv5, kvImage) && holdsImage(ta, taImage));
        QVERIFY(lucent.pLucent->firmwareLines() == wireLines(lucentText));
        QVERIFY(rockwell.pRockwell->firmwareLines() == wireLines(rockwellText));
    }

    void developersRunOfALucentModelAfterIncompleteChoices()
    {
        UpdateRun run;
        SimDeviceConfig lucent;
        run.addDevice(12, "lucent", kLucent, nullptr, &lucent);
        QVERIFY2(run.ok(), run.error().c_str());
        const std::string firmware = lucentFirmware();
        run.addFile("lv.hex", firmware);
        run.startUp({"-v"});
        CWizard& wizard = run.showWizard();
        QCOMPARE(wizard.currentPage(), wizard.DevelopersPage());
        QVERIFY(gui_Offers(&wizard, "nextButton") && !gui_Find<QAbstractButton>(&wizard, "backButton")->isEnabled());

        QComboBox* pBaud = gui_Find<QComboBox>(&wizard, "baudRateList");
        QStringList rates;
        for (int n = 0; n < pBaud->count(); ++n)
            rates << pBaud->itemText(n) + QLatin1Char('=') + pBaud->itemData(n).toString();
        QCOMPARE(rates, (QStringList{"9600=9600", "19200=19200", "38400=38400", "57600=57600", "115200=115200"}));
        QCOMPARE(pBaud->currentText(), QStringLiteral("115200"));
        QListWidget* pPorts = gui_Find<QListWidget>(wizard.DevelopersPage(), "portList");
        QCOMPARE(pPorts->count(), 36);
        QCOMPARE(pPorts->item(0)->text() + QLatin1Char(' ') + pPorts->item(35)->text(), QStringLiteral("COM1 COM36"));
        // Tooltips: the device node behind a port, none where nothing is.
        QCOMPARE(pPorts->item(11)->toolTip(), run.node(12));
        QVERIFY(!run.node(12).isEmpty());
        QCOMPARE(pPorts->item(0)->toolTip(), QString());
        QComboBox* pType = gui_Find<QComboBox>(&wizard, "deviceTypeList");
        QCOMPARE(pType->currentIndex(), 0);

        // Next refuses an incomplete choice and changes nothing: the page
        // stays, every port is kept, no file is added.
        const struct {
            bool bPort;            // COM12 chosen
            const char* pszFile;
            const char* pszMessage;
        } kRefused[] = {
            {false, "lv.hex", "ERROR: You must select at least one communications port."},
            {true, "", "ERROR: You must specify a .hex file."},
            {true, "missing.hex", "ERROR: Unable to open missing.hex.\n\tPlease specify again."},
            {true, ".", "ERROR: Unable to open ..\n\tPlease specify again."},
        };
        MessageBoxCloser messages;
        for (const auto& row : kRefused) {
            pPorts->item(11)->setSelected(row.bPort);
            gui_Find<QLineEdit>(&wizard, "hexFileEdit")->setText(QString::fromLatin1(row.pszFile));
            const qsizetype nShown = messages.texts().size();
            QVERIFY(gui_Click(&wizard, "nextButton"));
            QTRY_COMPARE(messages.texts().size(), nShown + 1);
            QCOMPARE(messages.texts().last(), QString::fromLatin1(row.pszMessage));
            QCOMPARE(messages.titles().last(), QStringLiteral("Norvane"));
            QCOMPARE(wizard.currentPage(), wizard.DevelopersPage());
            QCOMPARE(run.coordinator().GetDeviceCount(), 36);
            QCOMPARE(run.coordinator().GetCatalogue().GetCount(), 0);
            QVERIFY(!hidden(wizard, "cancelButton"));
            QCOMPARE(run.errorCode(), 0);
        }

        gui_Find<QLineEdit>(&wizard, "hexFileEdit")->setText(QStringLiteral("lv.hex"));
        pPorts->item(11)->setSelected(true);
        pBaud->setCurrentIndex(3);
        pType->setCurrentIndex(pType->findText(QStringLiteral("LV5600")));
        QCOMPARE(pType->currentData().toUInt() & ModelDb_kFlagLucent, ModelDb_kFlagLucent);
        gui_SaveScreenshot(&wizard, QStringLiteral("developers-page"));
        QVERIFY(gui_Click(&wizard, "nextButton"));

        // Only the chosen port is left; its flash memory was identified.
        QCOMPARE(wizard.currentPage(), wizard.ProgressPage());
        QCOMPARE(run.coordinator().GetDeviceCount(), 1);
        QVERIFY2(run.waitForCompletion(), run.log().c_str());
        const DeviceRecord* pLucent = run.record(12);
        QVERIFY(pLucent != nullptr);
        QCOMPARE(pLucent->job.nStartMode, 1);
        QCOMPARE(pLucent->job.nBaud, 57600);
        QCOMPARE(pLucent->key.name, std::string("LV5600"));
        QVERIFY(gui_Click(&wizard, "nextButton"));
        QCOMPARE(run.summary(), QStringLiteral("1 of 1 devices were updated successfully"));
        QCOMPARE(run.results(), QStringList{QStringLiteral("COM12|LV5600|Successful")});
        QVERIFY(lucent.pLucent->firmwareLines() == wireLines(firmware));
        QVERIFY(gui_Click(&wizard, "finishButton"));
        QCOMPARE(run.errorCode(), 0);
    }

    void aRunWhereOneDeviceFails()
    {
        // Two KV3360 on COM3 and COM4 and nothing on COM9; the boot code is
        // updated too.
        UpdateRun run;
        SimAtBoot kv3, kv4;
        run.addDevice(3, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"), &kv3);
        run.addDevice(4, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"), &kv4);
        QVERIFY2(run.ok(), run.error().c_str());
        const std::vector<HexChunk> image = {hex_Pattern(0x100, 0x300, 5)};
        run.addFile("KNGB0210.HXB", hex_Text(image));
        run.startUp({"-v"});
        CWizard& wizard = run.showWizard();
        QListWidget* pPorts = gui_Find<QListWidget>(wizard.DevelopersPage(), "portList");
        for (int nRow : {2, 3, 8})
            pPorts->item(nRow)->setSelected(true);
        gui_Find<QLineEdit>(&wizard, "hexFileEdit")->setText(QStringLiteral("KNGB0210.HXB"));
        gui_Find<QCheckBox>(&wizard, "bootCodeCheck")->setChecked(true);
        QComboBox* pType = gui_Find<QComboBox>(&wizard, "deviceTypeList");
        pType->setCurrentIndex(pType->findText(QStringLiteral("KV3360")));
        QVERIFY(gui_Click(&wizard, "nextButton"));
        QCOMPARE(run.app().cmdInfo.m_nBootCode, 1);

        QVERIFY2(run.waitForCompletion(), run.log().c_str());
        QStringList progressRows = gui_Rows(gui_Find<QTreeWidget>(wizard.ProgressPage(), "portList"));
        QCOMPARE(progressRows.size(), 3);
        QCOMPARE(progressRows[2].section(QLatin1Char('|'), 3), QStringLiteral("Unable to open port"));
        gui_SaveScreenshot(&wizard, QStringLiteral("progress-page"));
        QVERIFY(gui_Click(&wizard, "nextButton"));
        QCOMPARE(run.summary(), QStringLiteral("2 of 3 devices were updated successfully"));
        QCOMPARE(run.results(),
                 (QStringList{"COM3|KV3360|Successful", "COM4|KV3360|Successful", "COM9|KV3360|Unable to open port"}));
        gui_SaveScreenshot(&wizard, QStringLiteral("status-page"));
        QVERIFY(run.record(3)->job.bUpdateBootCode == 1 && run.record(9)->job.bUpdateBootCode == 1);
        QVERIFY2(holdsImage(kv3, image) && holdsImage(kv4, image), run.log().c_str());
        QVERIFY(gui_Click(&wizard, "finishButton"));
        QCOMPARE(run.errorCode(), 0);
    }

    void progressShowsTheSlowestRunningJob()
    {
        // Three selected jobs that have not ended (result -1) with progress
        // the test reports for them; no worker runs.
        NorvaneApp app;
        app.cmdInfo.m_strPort = "COM1";
        for (const char* pszPort : {"\\\\.\\COM1", "\\\\.\\COM2", "\\\\.\\COM3", "\\\\.\\COM4"})
            app.coordinator.AddDevice(pszPort, 38400);
        for (size_t n : {0, 1, 3})
            app.coordinator.GetDevice(n)->bSelected = 1;
        CWizard wizard(&app);
        CProgressPage* pPage = wizard.ProgressPage();
        pPage->FillPortList();
        QProgressBar* pBar = pPage->findChild<QProgressBar*>(QStringLiteral("progressBar"));
        QLabel* pText = pPage->findChild<QLabel*>(QStringLiteral("statusText"));
        auto job = [&](size_t n) { return &app.coordinator.GetDevice(n)->job; };

        struct Step {
            size_t nJob;
            int32_t nEvent;
            int32_t nPercent;
            int32_t nResult;       // stored after the report; -1 still running
            int nBar;
            const char* pszText;
            const char* pszRows;
        };
        const Step kSteps[] = {
            {0, flsh_cEventProgram, 40, -1, 0, "Programming", ""},
            {1, flsh_cEventHandshake, 70, -1, 0, "Handshaking", ""},
            {3, flsh_cEventLoader, 90, -1, 40, "Programming",
             "COM1|40%|Programming COM2|70%|Handshaking COM4|90%|Programming FlashLdr.hex"},
            // The slowest job ends: the next slowest holds the bar.
            {0, flsh_cProgramDone, 100, 0, 70, "Handshaking",
             "COM1|100%|Successful COM2|70%|Handshaking COM4|90%|Programming FlashLdr.hex"},
            // A tie: the later one in list order gives the text.
            {3, flsh_cEventHandshake, 70, -1, 70, "Handshaking", ""},
            {1, flsh_cEventProgram, 70, -1, 70, "Handshaking",
             "COM1|100%|Successful COM2|70%|Programming COM4|70%|Handshaking"},
            {1, flsh_cEventTimeout, 70, 5, 70, "Handshaking",
             "COM1|100%|Successful COM2|70%|Timeout updating device COM4|70%|Handshaking"},
        };
        for (const Step& step : kSteps) {
            FlashProgress(job(step.nJob), step.nEvent, step.nPercent, 0);
            job(step.nJob)->nResult = step.nResult;
            if (*step.pszRows == '\0')
                continue;
            pPage->OnTimer();
            QCOMPARE(pBar->value(), step.nBar);
            QCOMPARE(pText->text(), QString::fromLatin1(step.pszText));
            QStringList rows;
            for (const QString& row : gui_Rows(pPage->findChild<QTreeWidget*>(QStringLiteral("portList"))))
                rows << row.section(QLatin1Char('|'), 0, 0) + QLatin1Char('|') + row.section(QLatin1Char('|'), 2);
            QCOMPARE(rows.join(QLatin1Char(' ')), QString::fromLatin1(step.pszRows));
        }
        // Every job ended: complete, Finish when results are not shown.
        app.cmdInfo.m_bShowResults = false;
        job(3)->nResult = 1;
        pPage->OnTimer();
        QCOMPARE(pText->text(), QStringLiteral("Programming Complete"));
        QCOMPARE(pBar->value(), 100);
        QAbstractButton* pFinish = wizard.findChild<QAbstractButton*>(QStringLiteral("finishButton"));
        QVERIFY(!pFinish->isHidden() && pFinish->isEnabled());
    }
};

QTEST_MAIN(UpdateWizardTest)
#include "UpdateWizardTest.moc"
