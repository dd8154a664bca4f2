// What every page of the wizard shares: the side picture painted at (1, 1),
// its sheet, and the hooks the sheet calls on every activation and on Back
// and Finish.
#ifndef NORVANE_APP_CWIZARDPAGE_H
#define NORVANE_APP_CWIZARDPAGE_H

#include <QString>
#include <QWizardPage>

class CWizard;
class DeviceRecord;
class UpdateCoordinator;
class CWizardCommandLineInfo;

// Width and height of the side picture; page controls start right of it.
constexpr int page_kBitmapWidth = 300;
constexpr int page_kBitmapHeight = 214;
// Least width of the controls right of the picture on the update pages,
// so that a list of ports, models and texts reads without scrolling.
constexpr int page_kControlsWidth = 420;

// The tooltip of a row naming a port: the device node its COMn stands for
// ("/dev/ttyUSB0"); empty when nothing stands for it.
QString page_PortToolTip(const DeviceRecord& record);

class CWizardPage : public QWizardPage {
    Q_OBJECT
public:
    explicit CWizardPage(CWizard* pWizard);

    // Called each time the page becomes the current one, after Next and
    // after Back alike: sets up the page and its buttons.
    virtual void OnSetActive() {}
    // Called by Back; false stays on the page.
    virtual bool OnWizardBack() { return true; }
    // Called by Finish; false keeps the wizard open.
    virtual bool OnWizardFinish() { return true; }
    // Called by Cancel (and Escape) while Cancel is shown, before the
    // wizard records error code 1 and ends: stops what the page started.
    virtual void OnCancel() {}

protected:
    CWizard* Sheet() const { return m_pWizard; }
    UpdateCoordinator& Coordinator() const;
    const CWizardCommandLineInfo& Options() const;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    CWizard* m_pWizard;
};

#endif
