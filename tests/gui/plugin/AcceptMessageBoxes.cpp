// A Qt plugin for running norvane as a process without a display
// (QT_QPA_PLATFORM=offscreen): loaded through QT_PLUGIN_PATH and
// QT_QPA_GENERIC_PLUGINS=norvaneacceptboxes, it looks for a modal window
// every 50 ms. A message box is reported on standard output as
// "box: <title>: <text>" (line breaks written as \n) and closed with OK; any
// other modal window as "modal: <class>" and ended as rejected without
// asking it (the wizard's error code stays as its pages left it), so a run
// never waits for a user.
#include <QApplication>
#include <QGenericPlugin>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kPollMs = 50;

void report(const QString& sLine)
{
    std::fputs((sLine + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void look()
{
    QWidget* pModal = QApplication::activeModalWidget();
    if (pModal == nullptr || !pModal->isVisible())
        return;
    if (auto* pBox = qobject_cast<QMessageBox*>(pModal)) {
        QString sText = pBox->text();
        sText.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        report(QStringLiteral("box: %1: %2").arg(pBox->windowTitle(), sText));
        pBox->done(QMessageBox::Ok);
        return;
    }
    if (auto* pDialog = qobject_cast<QDialog*>(pModal)) {
        report(QStringLiteral("modal: %1").arg(QString::fromLatin1(pDialog->metaObject()->className())));
        pDialog->done(QDialog::Rejected);
    }
}

}  // namespace

class AcceptMessageBoxesPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "AcceptMessageBoxes.json")
public:
    QObject* create(const QString&, const QString&) override
    {
        auto* pTimer = new QTimer();
        QObject::connect(pTimer, &QTimer::timeout, &look);
        pTimer->start(kPollMs);
        return pTimer;
    }
};

#include "AcceptMessageBoxes.moc"
