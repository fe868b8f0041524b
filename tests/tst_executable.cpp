#include "catalogue/OutsideText.h"

#include "double/SwapLibrary.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Runs the real executable with a test double in place of kd_api, as another
// build of the library would be swapped in, and watches how it ends; or with
// the simulated instrument and a driver inside that checks and updates.
Q_DECLARE_METATYPE(Swap)

class TestExecutable : public QObject
{
    Q_OBJECT

private slots:
    void closesWithStatusZero_data();
    void closesWithStatusZero();
    void selectorCancelEndsProcess_data();
    void selectorCancelEndsProcess();
    void findsImagesFromAnyFolder_data();
    void findsImagesFromAnyFolder();

private:
    QString run(const QStringList &arguments, const QString &action, Swap swap, int *exitCode);
    QString run(const QString &updater, const QProcessEnvironment &environment, const QStringList &arguments,
                int *exitCode, const QString &workingFolder = QString());
};

QString TestExecutable::run(const QStringList &arguments, const QString &action, Swap swap, int *exitCode)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("KDDOUBLE_ACTION", action);
    const QString updater = updaterWithDouble(swap, &environment);
    return run(updater, environment, arguments, exitCode);
}

QString TestExecutable::run(const QString &updater, const QProcessEnvironment &environment,
                            const QStringList &arguments, int *exitCode, const QString &workingFolder)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingFolder);
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
    // 800x400 where the screen has room for that and a frame; otherwise within the screen.
    const QRegularExpressionMatch size = QRegularExpression("size (\\d+)x(\\d+)\nroom (\\d+)x(\\d+)\n").match(output);
    const auto at = [&size](int field) { return size.captured(field).toInt(); };
    const bool roomy = at(3) >= 816 && at(4) >= 448;
    QVERIFY2(size.hasMatch() && (roomy ? at(1) == 800 && at(2) == 400 : at(1) <= at(3) && at(2) <= at(4)),
             qPrintable(output));
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
    // On record, sealed as the program ends.
    QVERIFY2(output.contains(QRegularExpression("Failed to open KD740 boot device.\nLooking to bootstrap KD740.\n"
                                                "Record: .*, SHA-256 [0-9a-f]{64}\nend of log")),
             qPrintable(output));
    QVERIFY(!output.contains("Bootstrap"));
    QVERIFY(!output.contains("Failed to detect device."));
}

// clang-format off
void TestExecutable::findsImagesFromAnyFolder_data()
{
    QTest::addColumn<bool>("ownImageFolder");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("write");

    // Started from a prompt in another folder, or from a shortcut without a
    // start folder: the images beside the program are used, through the run's copies.
    QTest::newRow("unrelated folder") << false << "Firmware updated successfully."
        << R"(^kdConfigUSBWriteFPGAProgram\(100, ".*[/\\]kd740-images-\w+[/\\]kd740b_fpga_12\.rbf", )";
    // A working folder with an image folder of its own is kept: its missing
    // list is the first thing the check finds, before it looks for the instrument;
    // the refusal names that folder whole.
    QTest::newRow("folder with its own image folder") << true
        << "Firmware images cannot be verified: no SHA256SUMS in <scratch>/elsewhere/firmware" << QString();
}
// clang-format on

void TestExecutable::findsImagesFromAnyFolder()
{
    QFETCH(bool, ownImageFolder);
    QFETCH(QString, outcome);
    QFETCH(QString, write);

#ifndef KD_SIMULATED
    QSKIP("built against the maker's kd_api; this needs the simulated instrument");
#endif
    QTemporaryDir scratch;
    const QDir dir(scratch.path());
    outcome.replace("<scratch>/elsewhere/firmware",
                    outsideText(
                        QDir::toNativeSeparators(QDir(scratch.path()).canonicalPath() + "/elsewhere/firmware")));
    QVERIFY(dir.mkpath("elsewhere") && (!ownImageFolder || dir.mkpath("elsewhere/firmware")));
    QFile description(dir.filePath("instrument.txt"));
    QVERIFY(description.open(QIODevice::WriteOnly));
    description.write("instrument\n model 1\n serial 1234\n link usb\n boot 4\n run 5\n fpga 10\n");
    description.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("KDSIM_DEVICE", description.fileName());
    environment.insert("KDSIM_TRACE", dir.filePath("trace.txt"));
    environment.insert("KDSIM_SCALE", "0");
    addWindowDriver(&environment);

    int exitCode = -1;
    const QString output = run(UPDATER_EXECUTABLE, environment, {}, &exitCode, dir.filePath("elsewhere"));
    QCOMPARE(exitCode, 0);
    QVERIFY2(output.contains("Firmware requires update.\n") != ownImageFolder, qPrintable(output));
    QVERIFY2(output.contains(outcome + "\n"), qPrintable(output));

    QFile trace(dir.filePath("trace.txt"));
    QVERIFY(trace.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList calls = QString::fromUtf8(trace.readAll()).split('\n');
    const QStringList writes = calls.filter(QRegularExpression("^kdConfigUSBWrite"));
    QCOMPARE(writes.size(), write.isEmpty() ? 0 : 1);
    if (!write.isEmpty())
        QVERIFY2(writes.first().contains(QRegularExpression(write)), qPrintable(writes.first()));
}

QTEST_GUILESS_MAIN(TestExecutable)
#include "tst_executable.moc"
