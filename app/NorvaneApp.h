// The application object of the norvane program and its start-up: the
// command-line options, the wizard picture and the update coordinator that
// every page of the wizard shares, and the steps that prepare them, run the
// wizard and tidy up.
#ifndef NORVANE_APP_NORVANEAPP_H
#define NORVANE_APP_NORVANEAPP_H

#include "wizard/UpdateCoordinator.h"
#include "wizard/WizardCommandLine.h"

#include <QPixmap>
#include <QString>

class QWidget;

// The application's title: window caption and message-box title.
extern const char* const app_kTitle;

// Longest wait (runtime-clock milliseconds) at the program's end for
// identification workers that still run (after a time-out they do) before
// the model database is emptied under them.
constexpr uint32_t app_kEndWaitMs = 60000;

// One per run of the wizard. Tests make several in one process.
struct NorvaneApp {
    CWizardCommandLineInfo cmdInfo;   // options, fixed once parsed
    QPixmap wizardBitmap;             // the side picture; null when it could not be loaded
    UpdateCoordinator coordinator;    // device records, catalogue, types, error code
};

// Loads the wizard picture from the resources into app->wizardBitmap.
// Returns 1 when loaded, else 0 (pages then paint nothing in its place).
int NorvaneApp_LoadWizardBitmap(NorvaneApp* pApp);

// Fills the coordinator's device list from the options: the one port of
// single-port mode, prepared for a direct update with the options' file and
// model, or COM1 to COM36 at the options' baud rate.
void NorvaneApp_AddDevices(NorvaneApp* pApp);

// Shows an OK message box with the application's title.
void NorvaneApp_Message(QWidget* pParent, const QString& sText);

// The whole run: start-up, the wizard shown modally, tidying up. Needs a
// QApplication. Returns the process exit code: the wizard's error code, or 0
// when Models.ini could not be used.
int NorvaneApp_Run(NorvaneApp* pApp, int argc, const char* const* argv);

#endif
