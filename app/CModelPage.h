// The page shown once for each device type chosen on the detection page, in
// the order of the device-type list: the ports holding such a device, with
// firmware version and country, and the firmware files that fit the type.
// Next gives the chosen ports the chosen file in the coordinator and shows
// the page again for the next type, or goes on to the update.
#ifndef NORVANE_APP_CMODELPAGE_H
#define NORVANE_APP_CMODELPAGE_H

#include "app/CWizardPage.h"
#include "model/ModelKey.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QTreeWidget;

class CModelPage : public CWizardPage {
    Q_OBJECT
public:
    explicit CModelPage(CWizard* pWizard);

    // Shows the next chosen device type that is not done yet: its ports,
    // the files that fit it (sorted by "<country>   <version>"), and, with
    // the country-choice option, the countries of those files.
    void OnSetActive() override;
    void OnCancel() override;
    // Next: records the choice; false (staying) when a port is missing, on
    // error codes 100 and 101, and when the page shows itself again for the
    // next type.
    bool validatePage() override;

    // The device type being shown.
    const ModelKey& CurrentKey() const { return m_key; }

private:
    // Ends the wizard's way forward: the message of nCode, Cancel hidden,
    // Finish only.
    void fail(int nCode);

    QGroupBox* m_pGroup;      // captioned with the type's name (modelGroup)
    QLabel* m_pPrompt;        // (portsPrompt)
    QTreeWidget* m_pPorts;    // Port, Version, Country (portList)
    QLabel* m_pFileLabel;     // "&Hex File" (hexFileLabel)
    QComboBox* m_pFiles;      // fitting files (hexFileBox)
    QComboBox* m_pCountries;  // countries of the fitting files, -w only (countryBox)
    ModelKey m_key;           // copy of the device type being shown
};

#endif
