#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// Runs the real executable with a test double in place of kd_api, as another
// build of the library would be swapped in, and watches how it ends.
class TestExecutable : public QObject
{
    Q_OBJECT

private slots:
    void closesWithStatusZero_data();
    void closesWithStatusZero();
    void selectorCancelEndsProcess_data();
    void selectorCancelEndsProcess();

private:
    QString run(const QStringList &arguments, const QString &action, const QString &binding, int *exitCode);
};

QString TestExecutable::run(const QStringList &arguments, const QString &action, const QString &binding, int *exitCode)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("KDDOUBLE_ACTION", action);
    if (binding == "LD_PRELOAD")
        environment.insert("LD_PRELOAD", KD_DOUBLE_LIBRARY);
    else
        environment.insert("LD_LIBRARY_PATH", KD_DOUBLE_DIR);

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(UPDATER_EXECUTABLE, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        qWarning("the updater did not end");
    }
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    if (!errors.isEmpty())
        qInfo().noquote() << "updater stderr:" << errors;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// clang-format off
void TestExecutable::closesWithStatusZero_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("binding");

    QTest::newRow("no arguments") << QStringList() << "LD_LIBRARY_PATH";
    QTest::newRow("extra arguments") << QStringList { "--check", "now", "-x", "firmware" } << "LD_LIBRARY_PATH";
    QTest::newRow("preloaded library") << QStringList() << "LD_PRELOAD";
}
// clang-format on

void TestExecutable::closesWithStatusZero()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, binding);

    int exitCode = -1;
    const QString output = run(arguments, "close", binding, &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY2(output.contains("title KD740 Firmware Updater\n"), qPrintable(output));
    QVERIFY(output.contains("size 800x400\n"));
    QVERIFY(output.contains("Using KD API version test double <1.0>\n"));
    QVERIFY(output.contains("Disconnecting the KD740 during an update will leave your device in an unoperable state.\n"
                            "end of log"));
    // Nothing but the version text is asked of the library before a button is pressed.
    QCOMPARE(output.count("call "), 1);
    QVERIFY(output.contains("call kdGetAPIVersion\n"));
}

// clang-format off
void TestExecutable::selectorCancelEndsProcess_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("Cancel button") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close control") << "close-control";
}
// clang-format on

void TestExecutable::selectorCancelEndsProcess()
{
    QFETCH(QString, action);

    int exitCode = -1;
    const QString output = run({}, action, "LD_LIBRARY_PATH", &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY2(!output.contains("process still running"), qPrintable(output));
    QVERIFY2(output.contains("Failed to open KD740 boot device.\nLooking to bootstrap KD740.\nend of log"),
             qPrintable(output));
    QVERIFY(!output.contains("Bootstrap"));
    QVERIFY(!output.contains("Failed to detect device."));
}

QTEST_GUILESS_MAIN(TestExecutable)
#include "tst_executable.moc"
