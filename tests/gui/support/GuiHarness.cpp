#include "gui/support/GuiHarness.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/dbg.h"
#include "model/ModelDb.h"
#include "sim/SimAtBoot.h"
#include "support/HexWriter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace {

// A one-record image at address 0: the catalogue never reads it, and it is
// still a valid file for a run that goes on to flash it.
// How often the message-box closer looks for a box.
constexpr int kCloserPollMs = 20;

}  // namespace

SimSettings gui_Named(const std::string& sModel, const std::string& sVersion, const std::string& sCountry)
{
    // ATI names only the model, so that the version and the country are
    // read from ATI1.
    return {{"reply.ATI", sModel},
            {"reply.ATI2", sModel},
            {"reply.ATI1", sVersion + "\\nChecksum 1234\\n" + sCountry + "\\n"}};
}

GuiSimRun::GuiSimRun(double dScale) : m_savedScale(os_TimeScale())
{
    m_pChdir = std::make_unique<ScopedChdir>(m_dir.path());
    os_SetTimeScale(dScale);
    dbg_SetLogging(true);
    dbg_OpenLogPath(m_dir.file("log.txt").c_str());
    if (m_ports.dir().empty())
        m_error = "no ports folder";
    m_ports.exportPorts();
    ModelDb_Clear();
    if (ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini") != 0)
        m_error = "cannot load " NORVANE_DATA_DIR "/Models.ini";
    m_pApp = std::make_unique<NorvaneApp>();
    NorvaneApp_LoadWizardBitmap(m_pApp.get());
    ModelKey_SetModelByName(&m_pApp->cmdInfo.m_Model, cmd_kDefaultModel);
}

GuiSimRun::~GuiSimRun()
{
    m_pWizard.reset();
    m_pApp.reset();
    m_ports.stopAll();
    ModelDb_Clear();
    dbg_CloseLog();
    dbg_SetLogging(false);
    os_SetTimeScale(m_savedScale);
    m_pChdir.reset();
}

SimDevice* GuiSimRun::addDevice(int nPort, const std::string& family, const SimSettings& settings, SimAtBoot* pBoot,
                                SimDeviceConfig* pConfig)
{
    SimDeviceConfig config;
    return test_AddDevice(&m_ports, nPort, family, settings, pBoot, pConfig != nullptr ? pConfig : &config, &m_error);
}

void GuiSimRun::addFile(const std::string& sName, const std::string& sText)
{
    m_dir.write(sName, sText.empty() ? hex_Text({HexChunk{0, {1, 2, 3, 4}}}) : sText);
}

void GuiSimRun::watchPorts(int nLast)
{
    for (int n = 1; n <= nLast; ++n)
        m_pApp->coordinator.AddDevice(("\\\\.\\COM" + std::to_string(n)).c_str(), m_pApp->cmdInfo.m_nBaud);
}

void GuiSimRun::startUp(const std::vector<const char*>& args)
{
    std::vector<const char*> argv = {"norvane"};
    argv.insert(argv.end(), args.begin(), args.end());
    WizardCommandLine_Parse(&m_pApp->cmdInfo, static_cast<int>(argv.size()), argv.data());
    NorvaneApp_AddDevices(m_pApp.get());
}

CWizard& GuiSimRun::showWizard()
{
    m_pWizard = std::make_unique<CWizard>(m_pApp.get());
    m_pWizard->resize(720, 360);
    m_pWizard->show();
    return *m_pWizard;
}

const DeviceRecord* GuiSimRun::record(int nPort)
{
    const std::string port = "COM" + std::to_string(nPort);
    for (int32_t n = 0; n < m_pApp->coordinator.GetDeviceCount(); ++n) {
        const DeviceRecord* pRecord = m_pApp->coordinator.GetDevice(static_cast<size_t>(n));
        if (port == pRecord->PortName())
            return pRecord;
    }
    return nullptr;
}

std::string GuiSimRun::portNode(int nPort) const
{
    const QFileInfo link(QString::fromStdString(m_ports.dir() + "/COM" + std::to_string(nPort)));
    return link.isSymLink() ? link.symLinkTarget().toStdString() : std::string();
}

std::string GuiSimRun::log() const
{
    dbg_FlushLog();
    return m_dir.read("log.txt");
}

bool gui_Click(const QWidget* pWizard, const char* pszButton)
{
    if (!gui_Offers(pWizard, pszButton))
        return false;
    gui_Find<QAbstractButton>(pWizard, pszButton)->click();
    return true;
}

bool gui_Offers(const QWidget* pWizard, const char* pszButton)
{
    const QAbstractButton* pButton = gui_Find<QAbstractButton>(pWizard, pszButton);
    return pButton != nullptr && !pButton->isHidden() && pButton->isEnabled();
}

QStringList gui_Rows(const QTreeWidget* pTree)
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

MessageBoxCloser::MessageBoxCloser() : m_pTimer(new QTimer(this))
{
    connect(m_pTimer, &QTimer::timeout, this, &MessageBoxCloser::look);
    m_pTimer->start(kCloserPollMs);
}

void MessageBoxCloser::look()
{
    auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (pBox == nullptr || !pBox->isVisible())
        return;
    m_texts.append(pBox->text());
    m_titles.append(pBox->windowTitle());
    QAbstractButton* pButton = pBox->defaultButton();
    if (pButton == nullptr)
        pButton = pBox->button(QMessageBox::Ok);
    if (pButton != nullptr)
        pButton->click();
    else
        pBox->done(QMessageBox::Ok);
}

QString gui_SaveScreenshot(QWidget* pWidget, const QString& sName)
{
    const QString sDir = qEnvironmentVariable("NORVANE_SCREENSHOT_DIR");
    if (sDir.isEmpty())
        return QString();
    QDir().mkpath(sDir);
    const QString sPath = QDir(sDir).filePath(sName + QStringLiteral(".png"));
    return pWidget->grab().save(sPath, "PNG") ? sPath : QString();
}
