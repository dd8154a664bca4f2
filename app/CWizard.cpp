#include "app/CWizard.h"

#include "app/CDetectionPage.h"
#include "app/CDevelopersPage.h"
#include "app/CModelPage.h"
#include "app/CProgressPage.h"
#include "app/CStatusPage.h"
#include "app/NorvaneApp.h"

#include <QAbstractButton>

// The sheet draws its own Back, Next and Finish (custom buttons 1 to 3):
// QWizard would otherwise recompute their state on every page change and
// undo what the page asked for.
CWizard::CWizard(NorvaneApp* pApp, QWidget* pParent)
    : QWizard(pParent),
      m_pApp(pApp),
      m_pDetection(new CDetectionPage(this)),
      m_pDevelopers(new CDevelopersPage(this)),
      m_pModel(new CModelPage(this)),
      m_pProgress(new CProgressPage(this)),
      m_pStatus(new CStatusPage(this))
{
    setWindowTitle(QString::fromLatin1(app_kTitle));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::HaveCustomButton1);
    setOption(QWizard::HaveCustomButton2);
    setOption(QWizard::HaveCustomButton3);
    setButtonText(QWizard::CustomButton1, tr("< &Back"));
    setButtonText(QWizard::CustomButton2, tr("&Next >"));
    setButtonText(QWizard::CustomButton3, tr("Finish"));
    button(QWizard::CustomButton1)->setObjectName(QStringLiteral("backButton"));
    button(QWizard::CustomButton2)->setObjectName(QStringLiteral("nextButton"));
    button(QWizard::CustomButton3)->setObjectName(QStringLiteral("finishButton"));
    button(QWizard::CancelButton)->setObjectName(QStringLiteral("cancelButton"));
    setButtonLayout({QWizard::Stretch, QWizard::CustomButton1, QWizard::CustomButton2,
                     QWizard::CustomButton3, QWizard::CancelButton});
    connect(button(QWizard::CustomButton1), &QAbstractButton::clicked, this, &CWizard::onBack);
    connect(button(QWizard::CustomButton2), &QAbstractButton::clicked, this, &CWizard::onNext);
    connect(button(QWizard::CustomButton3), &QAbstractButton::clicked, this, &CWizard::onFinish);

    // Every page is built, but only those of the mode are added; the others
    // would otherwise show as stray children of the sheet. QWizard shows the
    // current page itself.
    for (QWizardPage* pPage : {static_cast<QWizardPage*>(m_pDetection), static_cast<QWizardPage*>(m_pDevelopers),
                               static_cast<QWizardPage*>(m_pModel), static_cast<QWizardPage*>(m_pProgress),
                               static_cast<QWizardPage*>(m_pStatus)})
        pPage->hide();
    const CWizardCommandLineInfo& cmd = pApp->cmdInfo;
    if (cmd.m_bDevelopers) {
        addPage(m_pDevelopers);
    } else if (cmd.m_strPort.empty()) {
        addPage(m_pDetection);
        addPage(m_pModel);
    }
    addPage(m_pProgress);
    addPage(m_pStatus);
    // QWizard initialises a page only when it is reached by Next; a page's
    // set-up must also run when Back returns to it.
    connect(this, &QWizard::currentIdChanged, this, &CWizard::onPageChanged);
}

UpdateCoordinator& CWizard::Coordinator() const { return m_pApp->coordinator; }

const CWizardCommandLineInfo& CWizard::Options() const { return m_pApp->cmdInfo; }

void CWizard::SetWizardButtons(int nFlags)
{
    m_nButtons = nFlags;
    const bool bFinish = (nFlags & (wiz_kFinish | wiz_kDisabledFinish)) != 0;
    button(QWizard::CustomButton1)->setEnabled((nFlags & wiz_kBack) != 0);
    button(QWizard::CustomButton2)->setVisible(!bFinish);
    button(QWizard::CustomButton2)->setEnabled((nFlags & wiz_kNext) != 0);
    button(QWizard::CustomButton3)->setVisible(bFinish);
    button(QWizard::CustomButton3)->setEnabled((nFlags & wiz_kFinish) != 0);
}

void CWizard::HideCancel()
{
    m_bCancelHidden = true;
    setButtonLayout({QWizard::Stretch, QWizard::CustomButton1, QWizard::CustomButton2,
                     QWizard::CustomButton3});
    button(QWizard::CancelButton)->hide();
    // A new layout shows every button in it again; keep what the page chose.
    SetWizardButtons(m_nButtons);
}

void CWizard::reject()
{
    if (m_bCancelHidden)
        return;
    if (current() != nullptr)
        current()->OnCancel();
    m_pApp->coordinator.GetErrorTable().SetError(err_kCancelled);
    QWizard::reject();
}

CWizardPage* CWizard::current() const { return static_cast<CWizardPage*>(currentPage()); }

void CWizard::onPageChanged(int nId)
{
    if (nId != -1 && current() != nullptr)
        current()->OnSetActive();
}

void CWizard::onBack()
{
    if (current() != nullptr && current()->OnWizardBack())
        back();
}

void CWizard::onNext()
{
    // QWizard::next asks the page's validatePage first; a page that shows
    // itself again for its next item returns false there.
    next();
}

void CWizard::onFinish()
{
    // QWizard::accept would ask the page's validatePage (its Next check)
    // first; Finish is decided by OnWizardFinish alone.
    if (current() != nullptr && current()->OnWizardFinish())
        QDialog::done(QDialog::Accepted);
}
