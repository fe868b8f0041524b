// kd740-flash against simulated instruments: its calls, its output lines and
// its exit status. Where the window can do the same, the window is driven on
// the same instrument first, and the program must make exactly its calls and
// write its lines; the reference transcripts in data/ give the lines.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using Sim = SimulatedInstrument;

namespace {

const QString closing = QStringLiteral("Closing when the firmware write has ended.");
// How a transcript marks a coloured line; a run without a terminal prints none.
const QRegularExpression colourMark(QStringLiteral("^\\[(green|red)\\] "));

// A reference transcript's first run.
QStringList referenceLines(const QString &path)
{
    QStringList lines;
    for (const QString &line : readLines(path)) {
        if (line == QLatin1String("--- updater restarted ---") || line == QLatin1String("=== library calls"))
            break;
        lines << line;
    }
    return lines;
}

// The same session in the window: "check", "update" or "restore", then the
// answer to the downgrade question or the model to bootstrap, if asked.
QStringList runWindow(const QString &script)
{
    const QStringList words = script.split(QLatin1Char(' '));
    const QString answer = words.value(1);
    PanelDriver driver;
    if (answer == QLatin1String("Yes") || answer == QLatin1String("No")) {
        onNextModal("QMessageBox", [answer](QWidget *box) {
            const auto button = answer == QLatin1String("Yes") ? QMessageBox::Yes : QMessageBox::No;
            clickInWindow(qobject_cast<QPushButton *>(qobject_cast<QMessageBox *>(box)->button(button)));
        });
    } else {
        chooseModelWhenAsked(answer);
    }
    driver.click(checkButton);
    if (words.first() != QLatin1String("check"))
        driver.click(words.first() == QLatin1String("update") ? updateButton : restoreButton);
    QStringList lines = driver.transcript(PanelDriver::introductionLines);
    lines.replaceInStrings(colourMark, QString());
    return lines;
}

bool changesInstrument(const QString &call)
{
    return call.contains(QRegularExpression(QStringLiteral("Clear|Write|Bootstrap|Preset")));
}

// ./firmware with its SHA256SUMS as sha256sum writes it; copies of it without
// one, and with one that gives the FPGA image another image's digest.
void writeImageFolders(const Sim &sim)
{
    const QDir dir(sim.dir());
    QMap<QString, QByteArray> digests;
    for (const QString &name : QDir(sim.imagePath("")).entryList(QDir::Files)) {
        QFile image(sim.imagePath(name));
        QVERIFY(image.open(QIODevice::ReadOnly));
        digests[name] = QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex();
        for (const QString copy : { "unlisted/", "listed-wrong/" })
            QVERIFY(dir.mkpath(copy) && QFile::copy(sim.imagePath(name), dir.filePath(copy + name)));
    }
    QFile list(sim.imagePath("SHA256SUMS")), wrong(dir.filePath("listed-wrong/SHA256SUMS"));
    QVERIFY(list.open(QIODevice::WriteOnly) && wrong.open(QIODevice::WriteOnly));
    for (const QString &name : digests.keys()) {
        list.write(digests[name] + (name.endsWith(".rbf") ? " *" : "  ") + name.toUtf8() + "\r\n");
        wrong.write(digests[name.startsWith("kd740b_fpga") ? "kd740a_fpga_9.rbf" : name] + "  " + name.toUtf8() + "\n");
    }
}

} // namespace

class TestFlash : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

// clang-format off
void TestFlash::run_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QStringList>("arguments");
    // The window's session, or empty: then nothing may be written.
    QTest::addColumn<QString>("window");
    // A reference transcript, or the lines themselves; none: the window's.
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("exitCode");
    // SIGTERM goes to the program once it has written this line.
    QTest::addColumn<QString>("signalAfter");

    const QString silentA = Sim::usbInstrument(0, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent");
    const QString newerB = Sim::usbInstrument(1, 1237, 4, 5, 13);
    const QStringList checkTitle = { "", "Checking Firmware Versions...", "" };
    const QStringList noAnswer = checkTitle + QStringList { "Failed to open KD740.", "Looking for KD740 boot device...",
                                                            "Failed to open KD740 boot device." };
    const QStringList notDetected = { "Failed to detect device.",
                                      "Cycle the power on the KD740, restart the firmware updater,  and try again.",
                                      "If you continue to receive this message, contact Corvane." };
    const QStringList kd740bFound = checkTitle + QStringList { "Found KD740B", "Serial 1234, with firmware 4.5.10",
                                                               "Firmware requires update.", "Press Update to continue.",
                                                               recordLine };
    QStringList interrupted = referenceLines(QFINDTESTDATA("data/update/kd740b.log"));
    interrupted.insert(interrupted.indexOf("Updating FPGA, estimated 6 minutes.") + 1, closing);

    QTest::newRow("example kd740b") << "kd740b" << QStringList { "update" } << "update"
                                    << QStringList { "data/update/kd740b.log" } << 0 << "";
    QTest::newRow("example kd740a-boot") << "kd740a-boot" << QStringList { "restore" } << "restore"
                                         << QStringList { "data/restore/kd740a-boot-mode.log" } << 0 << "";
    QTest::newRow("example kd740c-net") << "kd740c-net" << QStringList { "update" } << "update"
                                        << QStringList { "data/update/kd740c.log" } << 0 << "";
    QTest::newRow("example kd740c-fpga-failed") << "kd740c-fpga-failed" << QStringList { "restore" } << "restore"
                                                << QStringList { "data/restore/kd740c-fpga-failed.log" } << 0 << "";
    QTest::newRow("example write-fault: 1") << "write-fault" << QStringList { "update" } << "update"
                                            << QStringList { "data/update/kd740b-write-fault.log" } << 1 << "";
    QTest::newRow("example nothing, bootstrap fails: 3") << "nothing" << QStringList { "restore", "--model", "kd740b" }
                                                         << "check KD740B" << QStringList { "data/check/nothing.txt" }
                                                         << 3 << "";
    QTest::newRow("example nothing, check: 3") << "nothing" << QStringList { "check" } << ""
                                               << noAnswer + notDetected << 3 << "";
    QTest::newRow("example kd740b, check") << "kd740b" << QStringList { "check" } << "check" << QStringList() << 0
                                           << "";
    QTest::newRow("--quiet") << "kd740b" << QStringList { "update", "--quiet" } << "update" << QStringList() << 0
                             << "";
    QTest::newRow("bootstrap with --model") << silentA << QStringList { "restore", "--model", "KD740A" }
                                            << "restore KD740A" << QStringList { "data/restore/kd740a-bootstrapped.log" }
                                            << 0 << "";
    QTest::newRow("bootstrap without --model: 4")
        << silentA << QStringList { "restore" } << ""
        << noAnswer + QStringList { "Failed to open KD740 boot device.", "Looking to bootstrap KD740." } << 4 << "";
    QTest::newRow("downgrade without --yes: 4") << newerB << QStringList { "update" } << "check No"
                                                << QStringList { "data/check/usb-b-newer-no.txt" } << 4 << "";
    QTest::newRow("downgrade with --yes") << newerB << QStringList { "update", "--yes" } << "update Yes"
                                          << QStringList() << 0 << "";
    QTest::newRow("current") << Sim::usbInstrument(1, 1236, 4, 5, 12) << QStringList { "update" } << "check"
                             << QStringList { "data/check/usb-b-current.txt" } << 0 << "";
    QTest::newRow("update in boot mode: 4") << "kd740a-boot" << QStringList { "update" } << "check" << QStringList()
                                            << 4 << "";
    QTest::newRow("image unusable: 5")
        << "kd740b" << QStringList { "update", "--firmware", "broken" } << ""
        << kd740bFound + QStringList { "", "Updating Firmware", "", "Firmware image is empty: broken/kd740b_fpga_12.rbf" }
               + failureBlockWith({ "Nothing was erased or written." })
        << 5 << "";
    // A folder of its own is proven by its own SHA256SUMS (./firmware's has a binary marker and CRLF).
    QTest::newRow("--firmware listed") << "kd740b" << QStringList { "update", "--firmware", "./firmware" } << "update"
                                       << QStringList { "data/update/kd740b.log" } << 0 << "";
    const QStringList refused = kd740bFound + QStringList { "", "Updating Firmware", "" };
    const QStringList notShipped = { "Firmware image is not the one shipped: listed-wrong/kd740b_fpga_12.rbf" };
    QTest::newRow("--firmware listed wrong: 5") << "kd740b" << QStringList { "update", "--firmware", "listed-wrong" }
                                                << "" << refused + notShipped + failureBlockWith({ nothingTouched })
                                                << 5 << "";
    QTest::newRow("--firmware unlisted: 5")
        << "kd740b" << QStringList { "update", "-f", "unlisted" } << ""
        << refused + QStringList("Firmware images cannot be verified: no SHA256SUMS in unlisted")
            + failureBlockWith({ nothingTouched })
        << 5 << "";
    QTest::newRow("check, image listed wrong: 5")
        << "kd740b" << QStringList { "check", "--firmware", "listed-wrong" } << ""
        << QStringList(kd740bFound).replaceInStrings(recordLine, notShipped.first()) + QStringList(recordLine) << 5
        << "";
    QTest::newRow("no command: 2") << "kd740b" << QStringList() << "" << QStringList() << 2 << "";
    QTest::newRow("--yes with restore: 2") << "kd740b" << QStringList { "restore", "--yes" } << "" << QStringList()
                                           << 2 << "";
    QTest::newRow("unknown model: 2") << "nothing" << QStringList { "restore", "--model", "KD740D" } << ""
                                      << QStringList() << 2 << "";
    QTest::newRow("--json") << "kd740b" << QStringList { "update", "--json" } << "update"
                            << QStringList { "data/update/kd740b.log" } << 0 << "";
    QTest::newRow("SIGTERM during the FPGA write") << "kd740b" << QStringList { "update" } << "update" << interrupted
                                                   << 0 << "Updating FPGA, estimated 6 minutes.";
}
// clang-format on

void TestFlash::run()
{
    QFETCH(QString, instrument);
    QFETCH(QStringList, arguments);
    QFETCH(QString, window);
    QFETCH(QStringList, expected);
    QFETCH(int, exitCode);
    QFETCH(QString, signalAfter);

#ifdef Q_OS_WIN
    if (!signalAfter.isEmpty())
        QSKIP("Windows has no SIGTERM; Ctrl+C reaches only a program sharing the test's console");
#endif
    if (expected.size() == 1 && expected.first().startsWith(QLatin1String("data/")))
        expected = referenceLines(QFINDTESTDATA(expected.first()));
    expected.replaceInStrings(colourMark, QString());
    if (!instrument.contains(QLatin1Char('\n')))
        instrument = readLines(QFINDTESTDATA("../simulator/examples/" + instrument + ".txt")).join('\n');

    Sim sim;
    QStringList windowCalls;
    if (!window.isEmpty()) {
        sim.setDescription(instrument);
        const QStringList windowLines = runWindow(window);
        windowCalls = sim.calls();
        if (expected.isEmpty())
            expected = windowLines;
        if (signalAfter.isEmpty())
            QCOMPARE(windowLines, expected);
    }
    sim.setDescription(instrument);
    sim.clearTrace();
    QVERIFY(QDir(sim.dir()).mkpath("broken"));
    QFile(sim.imagePath("kd740b_fpga_12.rbf")).copy(QDir(sim.dir()).filePath("broken/kd740b_fpga_12.rbf"));
    QFile(QDir(sim.dir()).filePath("broken/kd740b_fpga_12.rbf")).resize(0);
    writeImageFolders(sim);

    QProcess flash;
    if (!signalAfter.isEmpty()) {
        // Long enough a write for the signal to land in it.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KDSIM_SCALE", "0.01");
        flash.setProcessEnvironment(environment);
    }
    flash.start(QStringLiteral(FLASH_EXECUTABLE), arguments);
    QVERIFY2(flash.waitForStarted(), qPrintable(flash.errorString()));
    QByteArray output;
    if (!signalAfter.isEmpty()) {
        while (!output.contains(signalAfter.toUtf8()) && flash.waitForReadyRead(30000))
            output += flash.readAllStandardOutput();
        flash.terminate();
    }
    QVERIFY(flash.waitForFinished(60000));
    output += flash.readAllStandardOutput();
    const QString errors = QString::fromUtf8(flash.readAllStandardError());
    QVERIFY2(flash.exitStatus() == QProcess::NormalExit, qPrintable(errors));
    QCOMPARE(flash.exitCode(), exitCode);

    QStringList lines = QString::fromUtf8(output).remove('\r').split('\n');
    lines.removeLast();
    QString recordPath;
    if (arguments.contains("--json")) {
        // Every line an event; the log lines and the calls in the order they happened.
        QStringList jsonLines;
        QStringList callNames;
        int firstOutcomeLine = -1;
        for (const QString &line : qAsConst(lines)) {
            const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
            const QString kind = event.value("event").toString();
            QVERIFY2(!kind.isEmpty(), qPrintable(line));
            if (kind == "line" && event.value("tone") != "normal" && firstOutcomeLine < 0)
                firstOutcomeLine = callNames.size();
            if (kind == "line")
                jsonLines << event.value("text").toString();
            if (kind == "call")
                callNames << event.value("name").toString();
            if (kind == "record")
                recordPath = event.value("path").toString();
        }
        const QJsonObject outcome = QJsonDocument::fromJson(lines.last().toUtf8()).object();
        QCOMPARE(outcome.value("event").toString(), "outcome");
        QCOMPARE(outcome.value("exit").toInt(), exitCode);
        QCOMPARE(firstOutcomeLine, callNames.size());
        QStringList traceNames = sim.calls();
        traceNames.replaceInStrings(QRegularExpression("\\(.*"), QString());
        QCOMPARE(callNames, traceNames);
        lines = jsonLines;
        // The record the run announced holds the whole run.
        const QStringList record = readLines(recordPath);
        QVERIFY2(!record.isEmpty() && record.last().endsWith(" You may now close the software."),
                 qPrintable(recordPath));
    }
    lines.replaceInStrings(QRegularExpression("^Record: .*"), recordLine);
    if (arguments.contains("--quiet"))
        expected.clear();
    QCOMPARE(lines, expected);

    if (!window.isEmpty()) {
        QCOMPARE(sim.calls(), windowCalls);
    } else {
        const QStringList calls = sim.calls();
        for (const QString &call : calls)
            QVERIFY2(!changesInstrument(call), qPrintable(call));
    }
}

QTEST_MAIN(TestFlash)
#include "tst_flash.moc"
