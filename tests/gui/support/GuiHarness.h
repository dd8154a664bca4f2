// What the wizard's GUI tests share: a run of the real wizard against
// simulated devices in the test's own process (a private working folder
// with firmware files, simulated devices linked as COMn in a NORVANE_PORTS
// folder, the sample model database, a short time scale), finding controls
// by object name, reading a list's rows, closing the message boxes a page
// shows, and saving screenshots of a widget.
#ifndef NORVANE_TESTS_GUI_SUPPORT_GUIHARNESS_H
#define NORVANE_TESTS_GUI_SUPPORT_GUIHARNESS_H

#include "app/CWizard.h"
#include "app/NorvaneApp.h"
#include "sim/SimPortSet.h"
#include "support/SimFixture.h"
#include "support/TempDir.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QAbstractButton;
class QTimer;
class QTreeWidget;
class SimAtBoot;

// Time scale of a GUI run: the pages' 1000 ms ticks last 100 ms, and the
// 20-tick identification limit two seconds.
constexpr double gui_kTimeScale = 0.1;

// Replies of an AT-protocol modem or terminal adapter naming its model
// (ATI, ATI2) and, in ATI1, its firmware version and country text ("PTT
// GERMAN"; a terminal adapter's country is always "Universal").
SimSettings gui_Named(const std::string& sModel, const std::string& sVersion, const std::string& sCountry);

// One run of the wizard: while it lives, the working folder is a private
// temporary folder, NORVANE_PORTS names the folder of its simulated devices,
// the sample Models.ini is loaded, the debug log goes to log.txt in the
// working folder, and the runtime clock runs at the given scale. Everything
// is put back at its end; the wizard and the application object (and with
// it the coordinator, which waits for its workers) go first.
class GuiSimRun {
public:
    explicit GuiSimRun(double dScale = gui_kTimeScale);
    ~GuiSimRun();
    GuiSimRun(const GuiSimRun&) = delete;
    GuiSimRun& operator=(const GuiSimRun&) = delete;

    // False (with error() saying why) when the run could not be set up.
    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

    // Starts a device of the family ("atmodem", "ta", "lucent", "rockwell",
    // "modem") on COMn, with an AT boot code behind it when pBoot is given;
    // its configuration is copied to *pConfig when given (its loaders share
    // their records with the device). Returns null, with error() set, when a
    // setting is not valid or the device cannot start.
    SimDevice* addDevice(int nPort, const std::string& family, const SimSettings& settings = {},
                         SimAtBoot* pBoot = nullptr, SimDeviceConfig* pConfig = nullptr);
    // Writes a firmware file into the working folder. The catalogue reads
    // only names, so the contents are a minimal image unless given.
    void addFile(const std::string& sName, const std::string& sText = std::string());
    // Fills the coordinator with COM1 .. COMnLast at 38400 baud, as start-up
    // does for COM1 .. COM36.
    void watchPorts(int nLast);
    // Start-up as the program does it: the arguments (after the program's
    // name) parsed and COM1 .. COM36 added.
    void startUp(const std::vector<const char*>& args);
    // Makes the wizard over the application, 720 x 360, and shows it.
    CWizard& showWizard();
    CWizard& wizard() { return *m_pWizard; }

    // The folder where the devices are linked as COMn (NORVANE_PORTS).
    const std::string& portsFolder() const { return m_ports.dir(); }
    // The device node the link COMn of that folder points to; empty when
    // there is no such link.
    std::string portNode(int nPort) const;

    NorvaneApp& app() { return *m_pApp; }
    UpdateCoordinator& coordinator() { return m_pApp->coordinator; }
    // The record on COMn, or null.
    const DeviceRecord* record(int nPort);
    // The error code the run would end with.
    int errorCode() { return m_pApp->coordinator.GetErrorTable().GetError(); }
    const std::string& folder() const { return m_dir.path(); }
    // The debug log so far.
    std::string log() const;

private:
    TempDir m_dir;                          // working folder: firmware files and log.txt
    std::unique_ptr<ScopedChdir> m_pChdir;  // the working folder while the run lives
    SimPortSet m_ports;                     // the simulated devices
    double m_savedScale;                    // time scale before the run
    std::unique_ptr<NorvaneApp> m_pApp;     // options, picture, coordinator
    std::unique_ptr<CWizard> m_pWizard;     // the wizard once shown
    std::string m_error;                    // why set-up failed; empty when it did not
};

// The child of root with the object name, or null.
template <class T>
T* gui_Find(const QObject* pRoot, const char* pszName)
{
    return pRoot->findChild<T*>(QString::fromLatin1(pszName));
}

// Clicks the named button of the wizard (backButton, nextButton,
// finishButton, cancelButton). Returns false when it is missing, hidden or
// disabled, and then clicks nothing.
bool gui_Click(const QWidget* pWizard, const char* pszButton);

// True when the named button of the wizard exists, is shown and enabled.
bool gui_Offers(const QWidget* pWizard, const char* pszButton);

// The texts of a tree's rows, columns joined by "|".
QStringList gui_Rows(const QTreeWidget* pTree);

// Closes every message box that becomes the active modal window while the
// object lives, by its default button (OK for the program's boxes), and
// keeps their texts in the order they were shown. It looks every 20 ms, so
// a box shown from a timer or from a button handler is closed from its own
// event loop.
class MessageBoxCloser : public QObject {
public:
    MessageBoxCloser();
    const QStringList& texts() const { return m_texts; }
    // Titles of the boxes closed, in order.
    const QStringList& titles() const { return m_titles; }

private:
    void look();

    QTimer* m_pTimer;
    QStringList m_texts;
    QStringList m_titles;
};

// When the environment variable NORVANE_SCREENSHOT_DIR names a folder, saves
// a picture of the widget there as <name>.png and returns its path; else
// returns an empty string.
QString gui_SaveScreenshot(QWidget* pWidget, const QString& sName);

#endif
