// The detection page in the real wizard against simulated devices: device
// types listed with their port counts, the message for types without files,
// the dead ends (no file, no device, time-out) with their codes and buttons,
// Next without a choice, Cancel, and the ports that could not be opened
// named with their reasons, in one line beside a list or in lines after an
// error text.
#include "app/CDetectionPage.h"
#include "app/CWizard.h"
#include "EngineSource/OSSysCalls.h"
#include "EngineSource/OSWIN32.h"
#include "EngineSource/UrsPortMap.h"
#include "EngineSource/Urswin32.h"
#include "gui/support/GuiHarness.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>

namespace {

// Longest real time a test waits for identification to end.
constexpr int kWaitMs = 30000;

QString status(const CWizard& wizard) { return gui_Find<QLabel>(&wizard, "statusText")->text(); }

// Watches COM1 .. COMnLast, shows the wizard and waits until it has ended
// identification (Next or Finish offered); false when the run could not be
// set up or the wait timed out.
bool identify(GuiSimRun& run, int nLast)
{
    if (!run.ok())
        return false;
    run.watchPorts(nLast);
    CWizard* pWizard = &run.showWizard();
    return QTest::qWaitFor(
        [pWizard] { return gui_Offers(pWizard, "nextButton") || gui_Offers(pWizard, "finishButton"); }, kWaitMs);
}

// Why identify() failed.
QByteArray failure(const GuiSimRun& run) { return QByteArray::fromStdString(run.error() + run.log()); }

// The buttons of a dead end: Finish only, Cancel hidden.
bool finishOnly(const CWizard& wizard)
{
    return gui_Offers(&wizard, "finishButton") && gui_Find<QAbstractButton>(&wizard, "nextButton")->isHidden() &&
           !gui_Offers(&wizard, "backButton") && gui_Find<QAbstractButton>(&wizard, "cancelButton")->isHidden() &&
           wizard.IsCancelHidden();
}

// A dead end's Finish: Escape changes nothing (Cancel is hidden); Finish
// ends the wizard with the code.
bool finishesWith(GuiSimRun& run, int nCode)
{
    QTest::keyClick(&run.wizard(), Qt::Key_Escape);
    return run.wizard().isVisible() && gui_Click(&run.wizard(), "finishButton") && !run.wizard().isVisible() &&
           run.errorCode() == nCode;
}

// Opens of one path fail with EACCES, as for a user without the port's
// group (root, who runs the tests, may open any node); every other open
// goes to the system. The default table is back at the end.
class DeniedPath {
public:
    explicit DeniedPath(const std::string& path)
    {
        s_path = path;
        os_SysCalls().pOpen = &open;
    }
    ~DeniedPath() { os_SysCalls() = os_DefaultSysCalls(); }
    DeniedPath(const DeniedPath&) = delete;
    DeniedPath& operator=(const DeniedPath&) = delete;

private:
    static int open(const char* pszPath, int nFlags, mode_t nMode)
    {
        if (s_path == pszPath) {
            errno = EACCES;
            return -1;
        }
        return os_DefaultSysCalls().pOpen(pszPath, nFlags, nMode);
    }
    static std::string s_path;
};
std::string DeniedPath::s_path;

// Holds COMn open for exclusive use, as another program would.
class HeldPort {
public:
    explicit HeldPort(int nPort) : m_bOpen(urs_OpenPort(&m_port, ("\\\\.\\COM" + std::to_string(nPort)).c_str()) == 0) {}
    ~HeldPort()
    {
        if (m_bOpen)
            urs_ClosePort(&m_port);
    }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    bool ok() const { return m_bOpen; }

private:
    urs_Port m_port = {};
    bool m_bOpen;
};

}  // namespace

class DetectionPageTest : public QObject {
    Q_OBJECT
private slots:
    void noFilesMessageForTwoAndMoreNames_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("message");
        // One name and three are shown by the runs below.
        QTest::newRow("two") << QStringList{"X", "Y"} << "No .hex files found for X and Y.";
        QTest::newRow("four, one empty, one with a space")
            << QStringList{"W", "", "A B", "Z"} << "No .hex files found for W, , A B, and Z.";
    }

    void noFilesMessageForTwoAndMoreNames()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, message);
        std::vector<std::string> list;
        for (const QString& sName : names)
            list.push_back(sName.toStdString());
        QCOMPARE(QString::fromStdString(detect_NoFilesMessage(list)), message);
    }

    void typesListedAndTheTypeWithoutFileNamed()
    {
        // Two KV3360 of build 2 and a QBXHP-TA of build 3 have files; the
        // QBXTA128 has none; COM6 is silent; the KV3360 on COM7 and COM8 are
        // held by another program; the other ports are absent.
        GuiSimRun run;
        run.addDevice(2, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        run.addDevice(3, "atmodem", gui_Named("KV3360", "2.11", "PTT BABT"));
        run.addDevice(4, "ta", gui_Named("QBXHP-TA", "3.01", "UNIVERSAL"));
        run.addDevice(5, "atmodem", gui_Named("QBXTA128", "1.02", "PTT GERMAN"));
        run.addDevice(6, "atmodem", {{"silent", "1"}});
        run.addDevice(7, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        run.addDevice(8, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        run.addFile("KNGB0210.HEX");
        run.addFile("tpde0301.hex");
        HeldPort held7(7);
        HeldPort held8(8);
        QVERIFY(held7.ok() && held8.ok());
        run.watchPorts(8);

        MessageBoxCloser closer;
        QVERIFY2(run.ok(), run.error().c_str());
        CWizard& wizard = run.showWizard();
        QCOMPARE(status(wizard), QStringLiteral("Identifying Devices\nThis may take up to 20 seconds"));
        QVERIFY(!gui_Offers(&wizard, "nextButton") && !gui_Offers(&wizard, "backButton"));
        QVERIFY(gui_Find<QGroupBox>(&wizard, "devicesFrame")->isHidden());
        QVERIFY2(QTest::qWaitFor([&wizard] { return gui_Offers(&wizard, "nextButton"); }, kWaitMs), run.log().c_str());

        QCOMPARE(closer.texts(), QStringList{"No .hex files found for QBXTA128."});
        QCOMPARE(closer.titles(), QStringList{"Norvane"});
        const QTreeWidget* pList = gui_Find<QTreeWidget>(&wizard, "deviceTypeList");
        QCOMPARE(gui_Rows(pList), (QStringList{"KV3360 - Version 2.xx|2", "QBXHP-TA - Version 3.xx|1"}));
        QCOMPARE(pList->headerItem()->text(0), QStringLiteral("Model"));
        QCOMPARE(pList->headerItem()->text(1), QStringLiteral("#Ports"));
        QCOMPARE(pList->columnWidth(0), pList->width() * 3 / 4);
        QCOMPARE(pList->columnWidth(1), pList->width() / 4 - 4);
        QCOMPARE(status(wizard), QStringLiteral("Devices have been identified."));
        QVERIFY(pList->isVisible() && gui_Find<QLabel>(&wizard, "continuePrompt")->isVisible());
        QVERIFY(gui_Offers(&wizard, "nextButton") && !gui_Offers(&wizard, "backButton") &&
                gui_Offers(&wizard, "cancelButton"));
        QCOMPARE(run.coordinator().GetDeviceCount(), 4);
        QCOMPARE(run.errorCode(), 0);

        // Beside the list, the ports not opened in one line, their reasons
        // in its tooltip.
        const QLabel* pProblems = gui_Find<QLabel>(&wizard, "portProblemsText");
        QVERIFY(pProblems->isVisible());
        QCOMPARE(pProblems->text(), QStringLiteral("Ports that could not be opened: COM7, COM8"));
        const QStringList reasons = pProblems->toolTip().split('\n');
        QCOMPARE(reasons.size(), 2);
        QCOMPARE(reasons[0], QString::fromStdString("COM7: busy: another program holds " + run.portNode(7) +
                                                    " (ModemManager probes modems when they are plugged in)"));
        QVERIFY2(reasons[1].startsWith(QString::fromStdString("COM8: busy: another program holds " + run.portNode(8))),
                 qPrintable(reasons[1]));
        gui_SaveScreenshot(&wizard, QStringLiteral("detection-page"));

        // Next without a choice: the page stays, nothing is chosen.
        QVERIFY(gui_Click(&wizard, "nextButton"));
        QCOMPARE(closer.texts().last(), QStringLiteral("ERROR: You must select atleast one type of device to update."));
        QCOMPARE(wizard.currentPage(), static_cast<QWizardPage*>(wizard.DetectionPage()));
        QCOMPARE(run.coordinator().GetDeviceTypes().keys[0]->selected, 0);
        QVERIFY(gui_Offers(&wizard, "nextButton"));
    }

    void typesWithoutFilesNamedInOneMessageThenNoDevices()
    {
        GuiSimRun run;
        run.addDevice(1, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        run.addDevice(2, "ta", gui_Named("QBXHP-TA", "3.01", "UNIVERSAL"));
        run.addDevice(3, "atmodem", gui_Named("QBXTA128", "1.02", "PTT GERMAN"));
        run.addFile("LVGB0510.HEX");
        MessageBoxCloser closer;
        QVERIFY2(identify(run, 3), failure(run));
        QCOMPARE(closer.texts(), QStringList{"No .hex files found for KV3360, QBXHP-TA, and QBXTA128."});
        QCOMPARE(status(run.wizard()), QStringLiteral("ERROR: No valid devices detected"));
        QVERIFY(finishOnly(run.wizard()));
        QCOMPARE(run.errorCode(), 3);
        QVERIFY(gui_Find<QGroupBox>(&run.wizard(), "devicesFrame")->isHidden());
    }

    void noFileIsADeadEnd()
    {
        GuiSimRun run;
        run.addDevice(1, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        QVERIFY2(identify(run, 3), failure(run));
        QCOMPARE(status(run.wizard()), QStringLiteral("ERROR: No Hex Files Available for Update"));
        // Ports with nothing behind them are no problem worth a line.
        QVERIFY(gui_Find<QLabel>(&run.wizard(), "portProblemsText")->isHidden());
        QVERIFY(finishOnly(run.wizard()));
        QCOMPARE(run.errorCode(), 2);
        QVERIFY(finishesWith(run, 2));
    }

    void portsNotOpenedNamedWithTheirReasonsAfterTheErrorText()
    {
        // COM1 is held by another program, COM2's node refuses this user,
        // COM3's link points to a device that is gone, COM4 is not linked.
        GuiSimRun run;
        run.addDevice(1, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        run.addDevice(2, "atmodem", gui_Named("KV3360", "2.05", "PTT GERMAN"));
        run.addFile("KNGB0210.HEX");
        const std::string gone = run.portsFolder() + "/unplugged";
        const std::string link = run.portsFolder() + "/COM3";
        QCOMPARE(symlink(gone.c_str(), link.c_str()), 0);
        HeldPort held(1);
        QVERIFY(held.ok());
        DeniedPath denied(run.portsFolder() + "/COM2");
        QVERIFY2(identify(run, 4), failure(run));
        unlink(link.c_str());
        CWizard& wizard = run.wizard();
        QCOMPARE(status(wizard), QStringLiteral("ERROR: No valid devices detected"));
        QVERIFY(finishOnly(wizard));
        QCOMPARE(run.errorCode(), 3);

        const QStringList lines = gui_Find<QLabel>(&wizard, "portProblemsText")->text().split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("Ports that could not be opened:"));
        const QString sBusy = QString::fromStdString("COM1: busy: another program holds " + run.portNode(1) +
                                                     " (ModemManager probes modems when they are plugged in)");
        QCOMPARE(lines[1], sBusy);
        // Whether the reason names a group depends on the groups of the user
        // running the tests; both wordings are the port map's to check.
        char szDenied[512];
        urs_DescribeOpenError("\\\\.\\COM2", EACCES, szDenied, sizeof szDenied);
        QCOMPARE(lines[2], QStringLiteral("COM2: ") + QString::fromLatin1(szDenied));
        QVERIFY2(lines[2].startsWith(QStringLiteral("COM2: permission denied: ")), qPrintable(lines[2]));
        QCOMPARE(lines[3], QString::fromStdString("COM3: missing: " + gone + " has no device"));
        QVERIFY(gui_Find<QLabel>(&wizard, "portProblemsText")->isVisible());
        gui_SaveScreenshot(&wizard, QStringLiteral("detection-ports-not-opened"));
        QVERIFY(finishesWith(run, 3));
    }

    void timeOutAtTheTwentyFirstTick()
    {
        // Every reply of the Lucent modem comes 4 s late, so identifying it
        // takes longer than the page waits.
        GuiSimRun run;
        run.addDevice(2, "lucent", {{"late", "4000"}});
        run.addFile("LVGB0510.HEX");
        const int64_t nStart = os_ClockMs();
        QVERIFY2(identify(run, 2), failure(run));
        const int64_t nElapsed = os_ClockMs() - nStart;
        QCOMPARE(status(run.wizard()), QStringLiteral("ERROR: Timeout attempting to identify devices!!"));
        QVERIFY(finishOnly(run.wizard()));
        QCOMPARE(run.errorCode(), 9);
        QVERIFY2(nElapsed >= 20 * detect_kTickMs, QByteArray::number(static_cast<qlonglong>(nElapsed)));
        // The time-out does not stop identification.
        QVERIFY(run.coordinator().AnyWorkerRuns());
    }

    void cancelWhileIdentifyingEndsWithCodeOne()
    {
        GuiSimRun run;
        run.addDevice(1, "atmodem", {{"late", "3000"}});
        run.addFile("KNGB0210.HEX");
        QVERIFY2(run.ok(), run.error().c_str());
        run.watchPorts(1);
        CWizard& wizard = run.showWizard();
        QVERIFY(gui_Click(&wizard, "cancelButton"));
        QVERIFY(!wizard.isVisible());
        QCOMPARE(wizard.result(), static_cast<int>(QDialog::Rejected));
        QCOMPARE(run.errorCode(), 1);
    }
};

QTEST_MAIN(DetectionPageTest)
#include "DetectionPageTest.moc"
