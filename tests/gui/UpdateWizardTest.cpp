// Whole updates from the wizard against simulated devices in this process:
// single-port and developers' runs through the progress and status pages to
// the images the devices hold, a run where one device fails, the developers'
// page's checks on Next, and the progress page's bar and per-port list over
// jobs whose progress the test sets.
#include "app/CDetectionPage.h"
#include "app/CDevelopersPage.h"
#include "app/CModelPage.h"
#include "app/CProgressPage.h"
#include "app/CStatusPage.h"
#include "app/CWizard.h"
#include "app/NorvaneApp.h"
#include "gui/support/GuiHarness.h"
#include "EngineSource/dbg.h"
#include "model/ModelDb.h"
#include "sim/SimAtBoot.h"
#include "sim/SimLucentLoader.h"
#include "sim/SimRockwellLoader.h"
#include "sim/SimPortSet.h"
#include "support/FlashRun.h"
#include "support/HexWriter.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>

#include <memory>
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

// The texts of a tree's rows, columns joined by "|".
QStringList rowsOf(const QTreeWidget* pTree)
{
    QStringList rows;
    for (int n = 0; n < pTree->topLevelItemCount(); ++n) {
        QStringList cells;
        for (int c = 0; c < pTree->columnCount(); ++c)
            cells << pTree->topLevelItem(n)->text(c);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// One run of the wizard in a private working folder, with simulated devices
// linked as COMn there, the flash loaders in the folder and the debug log
// on. (GuiSimRun does not yet give a device an AT boot code whose image the
// test can read.)
class WizardRun {
public:
    WizardRun() : m_chdir(m_dir.path())
    {
        dbg_SetLogging(true);
        dbg_OpenLogPath(m_dir.file("log.txt").c_str());
        NorvaneApp_LoadWizardBitmap(&app);
        m_ports.exportPorts();
        for (const char* pszLoader : {"FlashLdr.hex", "BPFL24.s37"})
            m_dir.write(pszLoader, dataFile(pszLoader));
    }
    ~WizardRun()
    {
        m_pWizard.reset();
        app.coordinator.ReleaseDevices();
        m_ports.stopAll();
        dbg_CloseLog();
        dbg_SetLogging(false);
    }

    // Starts a device of the family on COMn with the settings, an AT boot
    // code behind it when pBoot is given. Returns its configuration.
    SimDeviceConfig add(int nPort, const std::string& family,
                        const GuiSettings& settings,
                        SimAtBoot* pBoot = nullptr)
    {
        SimDeviceConfig config = sim_DeviceConfig(nPort, family);
        if (pBoot != nullptr)
            pBoot->install(&config);
        std::string error;
        for (const auto& setting : settings) {
            if (!sim_ApplySetting(&config, setting.first, setting.second, &error))
                qFatal("setting %s: %s", setting.first.c_str(), error.c_str());
        }
        if (m_ports.add(config, &error) == nullptr)
            qFatal("COM%d: %s", nPort, error.c_str());
        return config;
    }

    // Start-up with the arguments (after the program's name) and the wizard
    // shown, as the program does it.
    void start(const std::vector<const char*>& args)
    {
        std::vector<const char*> argv = {"norvane"};
        argv.insert(argv.end(), args.begin(), args.end());
        ModelKey_SetModelByName(&app.cmdInfo.m_Model, cmd_kDefaultModel);
        WizardCommandLine_Parse(&app.cmdInfo, static_cast<int>(argv.size()), argv.data());
        NorvaneApp_AddDevices(&app);
        m_pWizard = std::make_unique<CWizard>(&app);
        m_pWizard->show();
    }

    CWizard& wizard() const { return *m_pWizard; }
    template <class T>
    T* find(const char* pszName) const
    {
        return m_pWizard->findChild<T*>(QString::fromLatin1(pszName));
    }
    QAbstractButton* button(const char* pszName) const { return find<QAbstractButton>(pszName); }

    // Waits until the progress page reports completion; false on time-out.
    bool waitForCompletion() const
    {
        QLabel* pStatus = m_pWizard->ProgressPage()->findChild<QLabel*>(QStringLiteral("statusText"));
        return QTest::qWaitFor([pStatus] { return pStatus->text() == QLatin1String("Programming Complete"); },
                               kRunTimeoutMs);
    }

    // The record on COMn, or null.
    const DeviceRecord* device(int nPort) const
    {
        for (size_t n = 0; n < static_cast<size_t>(app.coordinator.GetDeviceCount()); ++n) {
            if ("COM" + std::to_string(nPort) == app.coordinator.GetDevice(n)->PortName())
                return app.coordinator.GetDevice(n);
        }
        return nullptr;
    }

    // The device node the link COMn of the ports folder points to.
    QString node(int nPort) const
    {
        return QFileInfo(QString::fromStdString(m_ports.dir() + "/COM" + std::to_string(nPort))).symLinkTarget();
    }

    // The process exit code the run would end with.
    int exitCode() const { return app.coordinator.GetErrorTable().GetError(); }

    // Saves a picture of the window when screenshots are asked for.
    void screenshot(const char* pszName) const { gui_SaveScreenshot(m_pWizard.get(), QString::fromLatin1(pszName)); }

    std::string log() const
    {
        dbg_FlushLog();
        return m_dir.read("log.txt");
    }

    NorvaneApp app;
    TempDir m_dir;

private:
    ScopedChdir m_chdir;
    SimPortSet m_ports;
    std::unique_ptr<CWizard> m_pWizard;
};

}  // namespace

class UpdateWizardTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_savedScale = os_TimeScale();
        os_SetTimeScale(kRunScale);
        ResetAbortFlag();
        ModelDb_Clear();
        QCOMPARE(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    }
    void cleanup()
    {
        ModelDb_Clear();
        os_SetTimeScale(m_savedScale);
    }

    void singlePortRunUpdatesTheNamedPort()
    {
        WizardRun run;
        SimAtBoot boot;
        run.add(5, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"), &boot);
        const std::vector<HexChunk> image = {hex_Pattern(0, 0x600, 1), hex_Pattern(0x4100, 0x80, 2)};
        run.m_dir.write("A.HEX", hex_Text(image));
        run.start({"-p", "COM5", "-f", "A.HEX", "-m", "KV3360"});
        CWizard& wizard = run.wizard();
        QCOMPARE(wizard.currentPage(), wizard.ProgressPage());

        // While the update runs: no buttons, and Cancel, Escape and the
        // window's close button are refused.
        QVERIFY(run.button("cancelButton")->isHidden());
        QVERIFY(!run.button("finishButton")->isEnabled() && run.button("nextButton")->isHidden());
        QVERIFY(!wizard.close());
        QTest::keyClick(&wizard, Qt::Key_Escape);
        QVERIFY(wizard.isVisible());

        QVERIFY2(run.waitForCompletion(), run.log().c_str());
        QCOMPARE(run.find<QProgressBar>("progressBar")->value(), 100);
        QCOMPARE(rowsOf(wizard.ProgressPage()->findChild<QTreeWidget*>(QStringLiteral("portList"))),
                 QStringList{QStringLiteral("COM5|KV3360|100%|Successful")});
        // The port's device node is the row's tooltip.
        QCOMPARE(wizard.ProgressPage()->findChild<QTreeWidget*>(QStringLiteral("portList"))->topLevelItem(0)->toolTip(0),
                 run.node(5));
        QVERIFY(!run.node(5).isEmpty());
        QVERIFY(run.button("nextButton")->isEnabled());
        QTest::mouseClick(run.button("nextButton"), Qt::LeftButton);

        QCOMPARE(wizard.currentPage(), wizard.StatusPage());
        QCOMPARE(run.find<QLabel>("summaryText")->text(),
                 QStringLiteral("1 of 1 devices were updated successfully"));
        QCOMPARE(rowsOf(run.find<QTreeWidget>("resultList")), QStringList{QStringLiteral("COM5|KV3360|Successful")});
        QVERIFY(run.button("finishButton")->isEnabled());
        QTest::mouseClick(run.button("finishButton"), Qt::LeftButton);
        QVERIFY(!wizard.isVisible());
        QCOMPARE(wizard.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY2(holdsImage(boot, image), run.log().c_str());
    }

    void normalRunOfEveryFamily()
    {
        // Two KV3360 and a QBXHP-TA (AT protocol), an LV5600 (Lucent) and an
        // RW3360-SP (Rockwell); every other port of COM1 to COM36 is absent.
        WizardRun run;
        SimAtBoot kv3, kv5, ta;
        run.add(3, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"), &kv3);
        run.add(5, "atmodem", gui_Named("KV3360", "2.11", "PTT BABT"), &kv5);
        run.add(8, "ta", gui_Named("QBXHP-TA", "3.01", "UNIVERSAL"), &ta);
        SimDeviceConfig lucent =
            run.add(12, "lucent", {{"reply.ATI", "LV5600 V.90\\nVersion 5.10"}, {"lucentloader", "4.4"}});
        SimDeviceConfig rockwell = run.add(20, "rockwell", {{"rockwellloader", "announce"}});
        const std::vector<HexChunk> kvImage = {hex_Pattern(0, 0x600, 1), hex_Pattern(0x4100, 0x80, 2)};
        const std::vector<HexChunk> taImage = {hex_Pattern(0x1000, 0x300, 3)};
        run.m_dir.write("kngb0210.hex", hex_Text(kvImage));
        run.m_dir.write("TPDE0301.HEX", hex_Text(taImage, HexLayout{32, 0x10000, 5}));
        const std::string lucentText = lucentFirmware();
        run.m_dir.write("LVGB0510.HEX", lucentText);
        const std::string rockwellText = hex_Text({hex_Pattern(0x8000, 0x200, 9)});
        run.m_dir.write("RSQY17.HEX", rockwellText);
        MessageBoxCloser messages;
        run.start({});
        CWizard& wizard = run.wizard();

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
        QCOMPARE(run.find<QLabel>("summaryText")->text(),
                 QStringLiteral("5 of 5 devices were updated successfully"));
        QCOMPARE(rowsOf(run.find<QTreeWidget>("resultList")),
                 (QStringList{"COM3|KV3360 - Version 2.xx|Successful", "COM5|KV3360 - Version 2.xx|Successful",
                              "COM8|QBXHP-TA - Version 3.xx|Successful", "COM12|LV5600 - Version 5.xx|Successful",
                              "COM20|RW3360|Successful"}));
        QVERIFY(gui_Click(&wizard, "finishButton"));
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(holdsImage(kv3, kvImage) && holdsImage(kv5, kvImage) && holdsImage(ta, taImage));
        QVERIFY(lucent.pLucent->firmwareLines() == wireLines(lucentText));
        QVERIFY(rockwell.pRockwell->firmwareLines() == wireLines(rockwellText));
    }

    void developersRunOfALucentModel()
    {
        WizardRun run;
        SimDeviceConfig lucent =
            run.add(12, "lucent", {{"reply.ATI", "LV5600 V.90\\nVersion 5.10"}, {"lucentloader", "4.4"}});
        const std::string firmware = lucentFirmware();
        run.m_dir.write("lv.hex", firmware);
        run.start({"-v"});
        CWizard& wizard = run.wizard();
        QCOMPARE(wizard.currentPage(), wizard.DevelopersPage());
        QVERIFY(run.button("nextButton")->isEnabled() && !run.button("backButton")->isEnabled());

        QComboBox* pBaud = run.find<QComboBox>("baudRateList");
        QStringList rates;
        for (int n = 0; n < pBaud->count(); ++n)
            rates << pBaud->itemText(n) + QLatin1Char('=') + pBaud->itemData(n).toString();
        QCOMPARE(rates, (QStringList{"9600=9600", "19200=19200", "38400=38400", "57600=57600", "115200=115200"}));
        QCOMPARE(pBaud->currentText(), QStringLiteral("115200"));
        QListWidget* pPorts = gui_Find<QListWidget>(run.wizard().DevelopersPage(), "portList");
        QCOMPARE(pPorts->count(), 36);
        QCOMPARE(pPorts->item(0)->text() + QLatin1Char(' ') + pPorts->item(35)->text(), QStringLiteral("COM1 COM36"));
        // Tooltips: the device node behind a port, none where nothing is.
        QCOMPARE(pPorts->item(11)->toolTip(), run.node(12));
        QVERIFY(!run.node(12).isEmpty());
        QCOMPARE(pPorts->item(0)->toolTip(), QString());
        QComboBox* pType = run.find<QComboBox>("deviceTypeList");
        QCOMPARE(pType->currentIndex(), 0);

        run.find<QLineEdit>("hexFileEdit")->setText(QStringLiteral("lv.hex"));
        pPorts->item(11)->setSelected(true);
        pBaud->setCurrentIndex(3);
        pType->setCurrentIndex(pType->findText(QStringLiteral("LV5600")));
        QCOMPARE(pType->currentData().toUInt() & ModelDb_kFlagLucent, ModelDb_kFlagLucent);
        run.screenshot("developers-page");
        QTest::mouseClick(run.button("nextButton"), Qt::LeftButton);

        // Only the chosen port is left; its flash memory was identified.
        QCOMPARE(wizard.currentPage(), wizard.ProgressPage());
        QCOMPARE(run.app.coordinator.GetDeviceCount(), 1);
        QVERIFY2(run.waitForCompletion(), run.log().c_str());
        const DeviceRecord* pLucent = run.device(12);
        QVERIFY(pLucent != nullptr);
        QCOMPARE(pLucent->job.nStartMode, 1);
        QCOMPARE(pLucent->job.nBaud, 57600);
        QCOMPARE(pLucent->key.name, std::string("LV5600"));
        QTest::mouseClick(run.button("nextButton"), Qt::LeftButton);
        QCOMPARE(run.find<QLabel>("summaryText")->text(),
                 QStringLiteral("1 of 1 devices were updated successfully"));
        QCOMPARE(rowsOf(run.find<QTreeWidget>("resultList")), QStringList{QStringLiteral("COM12|LV5600|Successful")});
        QVERIFY(lucent.pLucent->firmwareLines() == wireLines(firmware));
        QTest::mouseClick(run.button("finishButton"), Qt::LeftButton);
        QCOMPARE(run.exitCode(), 0);
    }

    void developersNextRefusesAnIncompleteChoice_data()
    {
        QTest::addColumn<bool>("bPort");
        QTest::addColumn<QString>("sFile");
        QTest::addColumn<QString>("sMessage");
        QTest::newRow("no port") << false << "fw.hex"
                                 << "ERROR: You must select at least one communications port.";
        QTest::newRow("no file") << true << "" << "ERROR: You must specify a .hex file.";
        QTest::newRow("unreadable file") << true << "missing.hex"
                                         << "ERROR: Unable to open missing.hex.\n\tPlease specify again.";
        QTest::newRow("a folder") << true << "." << "ERROR: Unable to open ..\n\tPlease specify again.";
    }
    void developersNextRefusesAnIncompleteChoice()
    {
        QFETCH(bool, bPort);
        QFETCH(QString, sFile);
        QFETCH(QString, sMessage);
        WizardRun run;
        run.m_dir.write("fw.hex", hex_Text({hex_Pattern(0, 0x40, 3)}));
        run.start({"-v"});
        gui_Find<QListWidget>(run.wizard().DevelopersPage(), "portList")->item(2)->setSelected(bPort);
        run.find<QLineEdit>("hexFileEdit")->setText(sFile);
        MessageBoxCloser messages;
        QTest::mouseClick(run.button("nextButton"), Qt::LeftButton);
        QTRY_VERIFY(!messages.texts().isEmpty());
        QCOMPARE(messages.texts(), QStringList{sMessage});
        QCOMPARE(messages.titles(), QStringList{QStringLiteral("Norvane")});
        // Nothing changed: the page stays, every port is kept, no file added.
        QCOMPARE(run.wizard().currentPage(), run.wizard().DevelopersPage());
        QCOMPARE(run.app.coordinator.GetDeviceCount(), 36);
        QCOMPARE(run.app.coordinator.GetCatalogue().GetCount(), 0);
        QVERIFY(!run.button("cancelButton")->isHidden());
        QCOMPARE(run.exitCode(), 0);
    }

    void aRunWhereOneDeviceFails()
    {
        // Two KV3360 on COM3 and COM4 and nothing on COM9; the boot code is
        // updated too.
        WizardRun run;
        SimAtBoot kv3, kv4;
        run.add(3, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"), &kv3);
        run.add(4, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"), &kv4);
        const std::vector<HexChunk> image = {hex_Pattern(0x100, 0x300, 5)};
        run.m_dir.write("KNGB0210.HXB", hex_Text(image));
        run.start({"-v"});
        QListWidget* pPorts = gui_Find<QListWidget>(run.wizard().DevelopersPage(), "portList");
        for (int nRow : {2, 3, 8})
            pPorts->item(nRow)->setSelected(true);
        run.find<QLineEdit>("hexFileEdit")->setText(QStringLiteral("KNGB0210.HXB"));
        run.find<QCheckBox>("bootCodeCheck")->setChecked(true);
        QComboBox* pType = run.find<QComboBox>("deviceTypeList");
        pType->setCurrentIndex(pType->findText(QStringLiteral("KV3360")));
        QTest::mouseClick(run.button("nextButton"), Qt::LeftButton);
        QCOMPARE(run.app.cmdInfo.m_nBootCode, 1);

        QVERIFY2(run.waitForCompletion(), run.log().c_str());
        QStringList progressRows = rowsOf(run.wizard().ProgressPage()->findChild<QTreeWidget*>("portList"));
        QCOMPARE(progressRows.size(), 3);
        QCOMPARE(progressRows[2].section(QLatin1Char('|'), 3), QStringLiteral("Unable to open port"));
        run.screenshot("progress-page");
        QTest::mouseClick(run.button("nextButton"), Qt::LeftButton);
        QCOMPARE(run.find<QLabel>("summaryText")->text(),
                 QStringLiteral("2 of 3 devices were updated successfully"));
        QCOMPARE(rowsOf(run.find<QTreeWidget>("resultList")),
                 (QStringList{"COM3|KV3360|Successful", "COM4|KV3360|Successful", "COM9|KV3360|Unable to open port"}));
        run.screenshot("status-page");
        QVERIFY(run.device(3)->job.bUpdateBootCode == 1 && run.device(9)->job.bUpdateBootCode == 1);
        QVERIFY2(holdsImage(kv3, image) && holdsImage(kv4, image), run.log().c_str());
        QTest::mouseClick(run.button("finishButton"), Qt::LeftButton);
        QCOMPARE(run.exitCode(), 0);
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
            for (const QString& row : rowsOf(pPage->findChild<QTreeWidget*>(QStringLiteral("portList"))))
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

private:
    double m_savedScale = 1;
};

QTEST_MAIN(UpdateWizardTest)
#include "UpdateWizardTest.moc"
