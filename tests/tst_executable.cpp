#include "double/SwapLibrary.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// Runs the real executable with a test double in place of kd_api, as another
// build of the library would be swapped in, and watches how it ends.
Q_DECLARE_METATYPE(Swap)

class TestExecutable : public QObject
{
    Q_OBJECT

private slots:
    void closesWithStatusZero_data();
    void closesWithStatusZero();
    void selectorCancelEndsProcess_data();
    void selectorCancelEndsProcess();

private:
    QString run(const QStringList &arguments, const QString &action, Swap swap, int *exitCode);
};

QString TestExecutable::run(const QStringList &arguments, const QString &action, Swap swap, int *exitCode)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("KDDOUBLE_ACTION", action);
    const QString updater = updaterWithDouble(swap, &environment);

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(updater, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        qWarning("the updater did not end");
    }
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError()).replace("\r\n", "\n");
    if (!errors.isEmpty())
        qInfo().noquote() << "updater stderr:" << errors;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).replace("\r\n", "\n");
}

// clang-format off
void TestExecutable::closesWithStatusZero_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Swap>("swap");

    QTest::newRow("no arguments") << QStringList() << Swap::SearchPath;
    QTest::newRow("extra arguments") << QStringList { "--check", "now", "-x", "firmware" } << Swap::SearchPath;
    QTest::newRow("preloaded library") << QStringList() << Swap::Preload;
}
// clang-format on

void TestExecutable::closesWithStatusZero()
{
    QFETCH(QStringList, arguments);
    QFETCH(Swap, swap);

    if (const QString why = missingSwap(swap); !why.isEmpty())
        QSKIP(qPrintable(why));

    int exitCode = -1;
    const QString output = run(arguments, "close", swap, &exitCode);
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
    const QString output = run({}, action, Swap::SearchPath, &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY2(!output.contains("process still running"), qPrintable(output));
    QVERIFY2(output.contains("Failed to open KD740 boot device.\nLooking to bootstrap KD740.\nend of log"),
             qPrintable(output));
    QVERIFY(!output.contains("Bootstrap"));
    QVERIFY(!output.contains("Failed to detect device."));
}

QTEST_GUILESS_MAIN(TestExecutable)
#include "tst_executable.moc"
