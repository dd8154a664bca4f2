// The wizard sheet: the program's only window. It holds the pages of the
// mode the command line chose, the Back / Next / Finish buttons the pages
// set, and the Cancel rules (Cancel ends the wizard with error code 1 until
// a page hides it; from then on Cancel, Escape and the window's close button
// do nothing).
#ifndef NORVANE_APP_CWIZARD_H
#define NORVANE_APP_CWIZARD_H

#include <QWizard>

struct NorvaneApp;
class CWizardPage;
class CDetectionPage;
class CDevelopersPage;
class CModelPage;
class CProgressPage;
class CStatusPage;
class UpdateCoordinator;
class CWizardCommandLineInfo;

// Buttons a page asks for with CWizard::SetWizardButtons; Finish and
// disabled Finish take the place of Next.
constexpr int wiz_kBack = 0x1;
constexpr int wiz_kNext = 0x2;
constexpr int wiz_kFinish = 0x4;
constexpr int wiz_kDisabledFinish = 0x8;

class CWizard : public QWizard {
    Q_OBJECT
public:
    // Builds every page and adds those of the mode: normal (detection,
    // model, progress, status), single port (progress, status) or
    // developers (developers, progress, status).
    explicit CWizard(NorvaneApp* pApp, QWidget* pParent = nullptr);

    // Shows and enables the buttons of nFlags (wiz_k*) and no others.
    void SetWizardButtons(int nFlags);
    // Hides Cancel for the rest of the run.
    void HideCancel();
    bool IsCancelHidden() const { return m_bCancelHidden; }

    NorvaneApp* App() const { return m_pApp; }
    UpdateCoordinator& Coordinator() const;
    const CWizardCommandLineInfo& Options() const;

    CDetectionPage* DetectionPage() const { return m_pDetection; }
    CDevelopersPage* DevelopersPage() const { return m_pDevelopers; }
    CModelPage* ModelPage() const { return m_pModel; }
    CProgressPage* ProgressPage() const { return m_pProgress; }
    CStatusPage* StatusPage() const { return m_pStatus; }

public slots:
    // Cancel, Escape and the window's close button (QDialog routes all
    // three here): error code 1 and the end of the wizard, or nothing once
    // Cancel is hidden.
    void reject() override;

private:
    void onPageChanged(int nId);
    void onBack();
    void onNext();
    void onFinish();
    CWizardPage* current() const;

    NorvaneApp* m_pApp;
    CDetectionPage* m_pDetection;
    CDevelopersPage* m_pDevelopers;
    CModelPage* m_pModel;
    CProgressPage* m_pProgress;
    CStatusPage* m_pStatus;
    bool m_bCancelHidden = false;
    int m_nButtons = wiz_kNext;   // the buttons the current page asked for
};

#endif
