// The sheet: pages of each mode, the buttons a page asks for, Cancel and
// Escape before and after Cancel is hidden.
#include "app/CDetectionPage.h"
#include "app/CDevelopersPage.h"
#include "app/CModelPage.h"
#include "app/CProgressPage.h"
#include "app/CStatusPage.h"
#include "app/CWizard.h"
#include "app/NorvaneApp.h"
#include "gui/support/GuiHarness.h"

#include <QAbstractButton>
#include <QTest>

#include <vector>

namespace {

std::vector<QWizardPage*> pagesOf(const CWizard& wizard)
{
    std::vector<QWizardPage*> pages;
    for (int id : wizard.pageIds())
        pages.push_back(wizard.page(id));
    return pages;
}

QAbstractButton* buttonNamed(const CWizard& wizard, const char* pszName)
{
    return wizard.findChild<QAbstractButton*>(QString::fromLatin1(pszName));
}

}  // namespace

class WizardSheetTest : public QObject {
    Q_OBJECT
private slots:
    void pagesOfEachMode()
    {
        NorvaneApp normal;
        CWizard w1(&normal);
        QCOMPARE(pagesOf(w1), (std::vector<QWizardPage*>{w1.DetectionPage(), w1.ModelPage(),
                                                        w1.ProgressPage(), w1.StatusPage()}));
        // A page of another mode never shows inside the sheet.
        w1.show();
        QVERIFY(!w1.DevelopersPage()->isVisible());
        w1.HideCancel();
        NorvaneApp single;
        single.cmdInfo.m_strPort = "COM5";
        CWizard w2(&single);
        QCOMPARE(pagesOf(w2), (std::vector<QWizardPage*>{w2.ProgressPage(), w2.StatusPage()}));
        // Developers' mode wins over a named port.
        NorvaneApp developers;
        developers.cmdInfo.m_bDevelopers = true;
        developers.cmdInfo.m_strPort = "COM2";
        CWizard w3(&developers);
        QCOMPARE(pagesOf(w3), (std::vector<QWizardPage*>{w3.DevelopersPage(), w3.ProgressPage(),
                                                        w3.StatusPage()}));
    }

    void buttonsFollowTheFlags()
    {
        NorvaneApp app;
        CWizard wizard(&app);
        QAbstractButton* pBack = buttonNamed(wizard, "backButton");
        QAbstractButton* pNext = buttonNamed(wizard, "nextButton");
        QAbstractButton* pFinish = buttonNamed(wizard, "finishButton");
        wizard.SetWizardButtons(wiz_kBack | wiz_kNext);
        QVERIFY(pBack->isEnabled() && !pNext->isHidden() && pNext->isEnabled() && pFinish->isHidden());
        wizard.SetWizardButtons(wiz_kNext);
        QVERIFY(!pBack->isEnabled() && pNext->isEnabled());
        wizard.SetWizardButtons(wiz_kFinish);
        QVERIFY(pNext->isHidden() && !pFinish->isHidden() && pFinish->isEnabled());
        wizard.SetWizardButtons(wiz_kBack | wiz_kDisabledFinish);
        QVERIFY(pBack->isEnabled() && pNext->isHidden() && !pFinish->isHidden() && !pFinish->isEnabled());
        wizard.SetWizardButtons(0);
        QVERIFY(!pBack->isEnabled() && !pNext->isEnabled() && pFinish->isHidden());
    }

    void cancelAndEscapeEndWithCodeOneUntilCancelIsHidden()
    {
        // A firmware file and no port: the first page waits for its first
        // tick (a real second) with Cancel shown. Escape is Cancel.
        for (bool bEscape : {false, true}) {
            GuiSimRun run(1.0);
            run.addFile("KNGB0210.HEX");
            CWizard& wizard = run.showWizard();
            if (bEscape)
                QTest::keyClick(&wizard, Qt::Key_Escape);
            else
                QTest::mouseClick(buttonNamed(wizard, "cancelButton"), Qt::LeftButton);
            QVERIFY(!wizard.isVisible());
            QCOMPARE(run.errorCode(), 1);
            QCOMPARE(wizard.result(), static_cast<int>(QDialog::Rejected));
        }
        // Once Cancel is hidden, Escape and the window's close button are
        // ignored.
        GuiSimRun run(1.0);
        run.addFile("KNGB0210.HEX");
        CWizard& wizard = run.showWizard();
        wizard.HideCancel();
        QVERIFY(buttonNamed(wizard, "cancelButton")->isHidden());
        QTest::keyClick(&wizard, Qt::Key_Escape);
        QVERIFY(!wizard.close());
        QVERIFY(wizard.isVisible());
        QCOMPARE(run.errorCode(), 0);
    }
};

QTEST_MAIN(WizardSheetTest)
#include "WizardSheetTest.moc"
