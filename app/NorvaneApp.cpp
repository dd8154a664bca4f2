#include "app/NorvaneApp.h"

#include "app/CWizard.h"
#include "EngineSource/dbg.h"
#include "EngineSource/ospfl.h"
#include "model/ModelDb.h"

#include <QMessageBox>

#include <cstdio>

const char* const app_kTitle = "Norvane";

namespace {

// Number of COM ports watched in the normal and developers' modes.
constexpr int kComPorts = 36;

}  // namespace

int NorvaneApp_LoadWizardBitmap(NorvaneApp* pApp)
{
    // The resources are compiled into a static library, whose registration
    // the linker would drop unless something refers to it.
    Q_INIT_RESOURCE(norvane);
    return pApp->wizardBitmap.load(QStringLiteral(":/norvane/wizard.png")) ? 1 : 0;
}

void NorvaneApp_AddDevices(NorvaneApp* pApp)
{
    CWizardCommandLineInfo& cmd = pApp->cmdInfo;
    UpdateCoordinator& coordinator = pApp->coordinator;
    char szDevice[os_kMaxPath];
    if (!cmd.m_strPort.empty()) {
        snprintf(szDevice, sizeof szDevice, "\\\\.\\%s", cmd.m_strPort.c_str());
        coordinator.AddDevice(szDevice, cmd.m_nBaud);
        coordinator.AddHexFile(cmd.m_strHexFile);
        coordinator.PrepareSinglePort(cmd.m_bForceBoot, cmd.m_Model);
        return;
    }
    for (int n = 1; n <= kComPorts; n++) {
        snprintf(szDevice, sizeof szDevice, "\\\\.\\COM%d", n);
        coordinator.AddDevice(szDevice, cmd.m_nBaud);
    }
}

void NorvaneApp_Message(QWidget* pParent, const QString& sText)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(app_kTitle), sText, QMessageBox::Ok, pParent);
    box.exec();
}

int NorvaneApp_Run(NorvaneApp* pApp, int argc, const char* const* argv)
{
    os_InitReadProfiles();
    NorvaneApp_LoadWizardBitmap(pApp);
    pApp->coordinator.GetErrorTable().SetError(err_kNone);

    switch (ModelDb_Load()) {
    case ModelDb_kLoaded:
        break;
    case ModelDb_kWrongVersion:
        NorvaneApp_Message(nullptr, QStringLiteral(
            "The version of \"Models.ini\" is invalid with this version of Norvane."));
        return pApp->coordinator.GetErrorTable().GetError();
    default:
        NorvaneApp_Message(nullptr, QStringLiteral(
            "Unable to find \"Models.ini\".\n\n\"Models.ini\" is required by Norvane."));
        return pApp->coordinator.GetErrorTable().GetError();
    }
    ModelKey_SetModelByName(&pApp->cmdInfo.m_Model, cmd_kDefaultModel);

    WizardCommandLine_Parse(&pApp->cmdInfo, argc, argv);
    if (pApp->cmdInfo.m_bLog) {
        // The engine's log stays silent, and makes no file, until it is
        // switched on.
        dbg_SetLogging(true);
        dbg_OpenLog();
    }
    NorvaneApp_AddDevices(pApp);

    {
        CWizard wizard(pApp);
        wizard.exec();
    }

    // Identification workers outlive a timed-out detection page; they read
    // the model database, so it is emptied only once they have ended.
    pApp->coordinator.WaitForJobs(app_kEndWaitMs);
    ModelDb_Clear();
    if (pApp->cmdInfo.m_bLog) {
        dbg_CloseLog();
        dbg_SetLogging(false);
    }
    return pApp->coordinator.GetErrorTable().GetError();
}
