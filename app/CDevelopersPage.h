// Developers' mode: updates devices without identification. The technician
// names a hex file (typed or chosen with Browse), ticks whether the boot
// code is updated too, picks the ports, the baud rate of the update and the
// device type; Next checks the choice, prepares each chosen port for a
// direct update, drops the others and goes on to the progress page.
#ifndef NORVANE_APP_CDEVELOPERSPAGE_H
#define NORVANE_APP_CDEVELOPERSPAGE_H

#include "app/CWizardPage.h"

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// Baud rates offered for the update, in the order of the box.
constexpr int32_t dev_kBaudRates[] = {9600, 19200, 38400, 57600, 115200};
// Position of the rate chosen when the page is shown (115200).
constexpr int dev_kDefaultBaudIndex = 4;
// Most ports one Next prepares.
constexpr int dev_kMaxPorts = 40;

class CDevelopersPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CDevelopersPage(CWizard* pWizard);

    // Offers Next; fills the baud box (115200 chosen), the device-type box
    // (the model database's names in its order, a name equal to the one
    // just before passed over; the first chosen) and the port list (one
    // item per device record).
    void OnSetActive() override;
    // Next: checks the ports, the file's name and that it can be read (a
    // message and no move on failure); takes over the boot-code option, adds
    // the file to the catalogue and prepares each chosen port (baud rate,
    // model, flags, file; a Lucent model's flash memory is identified now,
    // under a busy cursor); drops the ports not chosen. With no port left it
    // shows error 101's message and ends with Finish only.
    bool validatePage() override;

private:
    // The open-file dialog; the chosen path becomes the file string.
    void onBrowse();

    QLineEdit* m_pHexFile;        // the hex file's path
    QCheckBox* m_pBootCode;       // update the boot code too
    QPushButton* m_pBrowse;       // opens the file dialog
    QListWidget* m_pPortList;     // ports; item data: device-list position
    QComboBox* m_pBaudRate;       // baud rates; item data: the rate
    QComboBox* m_pDeviceType;     // model names; item data: controller flags
};

#endif
