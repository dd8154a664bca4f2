// norvane started as a process, offscreen, from a copy in a folder of the
// test's making: a missing or outdated Models.ini gives its message and
// exit code 0 without a wizard; an installed copy in ../share/norvane/ is
// found when none is beside the program; -d writes the debug log. Message
// boxes and the wizard are closed by the plugin of gui/plugin/, which
// reports them on the output.
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

constexpr int kRunMs = 60000;

// The sample database, and the same with a version below 1.04.
QByteArray models(bool bOutdated)
{
    QFile file(QStringLiteral(NORVANE_DATA_DIR "/Models.ini"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("unreadable");
    QByteArray text = file.readAll();
    return bOutdated ? text.replace("Version=1.04", "Version=1.03") : text;
}

// Runs the copy of norvane at sProgram with the arguments, in its own
// folder; its output and exit code.
QPair<QString, int> run(const QString& sProgram, const QString& sPorts, const QStringList& args = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(NORVANE_QT_PLUGINS));
    env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("norvaneacceptboxes"));
    env.insert(QStringLiteral("NORVANE_PORTS"), sPorts);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QFileInfo(sProgram).absolutePath());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(sProgram, args);
    if (!process.waitForFinished(kRunMs)) {
        process.kill();
        process.waitForFinished();
        return {QStringLiteral("did not end"), -1};
    }
    return {QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed(), process.exitCode()};
}

}  // namespace

class NorvaneProcessTest : public QObject {
    Q_OBJECT
private slots:
    void modelsIni_data()
    {
        QTest::addColumn<QByteArray>("beside");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("code");
        const QString sMissing = QStringLiteral(
            "box: Norvane: Unable to find \"Models.ini\".\\n\\n\"Models.ini\" is required by Norvane.");
        QTest::newRow("missing") << QByteArray() << false << sMissing << 0;
        QTest::newRow("without models") << QByteArray("[Version]\nVersion=1.04\n") << false << sMissing << 0;
        QTest::newRow("outdated")
            << models(true) << false
            << "box: Norvane: The version of \"Models.ini\" is invalid with this version of Norvane." << 0;
        // The installed copy is used when nothing, or only the empty file an
        // earlier run left, is beside the program: the wizard opens, finds no
        // firmware file (code 2) and is closed by the plugin.
        QTest::newRow("installed") << QByteArray() << true << "modal: CWizard" << 2;
        QTest::newRow("installed, empty beside") << QByteArray("") << true << "modal: CWizard" << 2;
    }

    void modelsIni()
    {
        QFETCH(QByteArray, beside);
        QFETCH(bool, installed);
        QFETCH(QString, output);
        QFETCH(int, code);
        TempDir dir;
        TempDir ports;
        const QDir root(QString::fromStdString(dir.path()));
        QVERIFY(root.mkpath(QStringLiteral("bin")));
        const QString sProgram = root.filePath(QStringLiteral("bin/norvane"));
        QVERIFY(QFile::copy(QStringLiteral(NORVANE_PROGRAM), sProgram));
        QVERIFY(QFile::setPermissions(sProgram, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        if (!beside.isNull())
            dir.write("bin/Models.ini", beside.toStdString());
        if (installed) {
            QVERIFY(root.mkpath(QStringLiteral("share/norvane")));
            dir.write("share/norvane/Models.ini", models(false).toStdString());
        }

        const QPair<QString, int> result = run(sProgram, QString::fromStdString(ports.path()));
        QCOMPARE(result.first, output);
        QCOMPARE(result.second, code);
    }

    void debugLogWithTheOptionOnly_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("logged");
        QTest::newRow("no option") << QStringList() << false;
        QTest::newRow("-d") << QStringList{"-d"} << true;
        QTest::newRow("/D") << QStringList{"/D"} << true;
    }

    void debugLogWithTheOptionOnly()
    {
        // A firmware file, so that identification runs on COM1 to COM36 (none
        // is linked: each open fails and is logged) until the plugin closes
        // the wizard.
        QFETCH(QStringList, args);
        QFETCH(bool, logged);
        TempDir dir;
        TempDir ports;
        const QString sProgram = QDir(QString::fromStdString(dir.path())).filePath(QStringLiteral("norvane"));
        QVERIFY(QFile::copy(QStringLiteral(NORVANE_PROGRAM), sProgram));
        QVERIFY(QFile::setPermissions(sProgram, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        dir.write("Models.ini", models(false).toStdString());
        dir.write("KNGB0210.HEX", ":00000001FF\n");

        const QPair<QString, int> result = run(sProgram, QString::fromStdString(ports.path()), args);
        QCOMPARE(result.first, QStringLiteral("modal: CWizard"));
        QCOMPARE(result.second, 0);
        QFile log(QString::fromStdString(dir.file("log.txt")));
        QCOMPARE(log.exists(), logged);
        if (logged) {
            QVERIFY(log.open(QIODevice::ReadOnly));
            const QByteArray text = log.readAll();
            for (int n = 1; n <= 36; ++n)
                QVERIFY2(text.contains("urs_OpenPort: <COM" + QByteArray::number(n) + ">"), text.constData());
        }
    }
};

QTEST_GUILESS_MAIN(NorvaneProcessTest)
#include "NorvaneProcessTest.moc"
