// kd740-flash against simulated instruments: its calls, its output lines and
// its exit status. Where the window can do the same, the window is driven on
// the same instrument first, and the program must make exactly its calls and
// write its lines; the reference transcripts in data/ give the lines.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

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

// Each option of --help's "Options:" with its description: "-m, --model MODEL" -> text.
QMap<QString, QString> helpOptions(const QString &help)
{
    QMap<QString, QString> options;
    QString current;
    const QStringList lines = help.section(QStringLiteral("Options:\n"), 1).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty())
            break;
        if (line.startsWith(QLatin1String("  -"))) {
            current = line.trimmed().section(QStringLiteral("  "), 0, 0).remove(QLatin1Char('<')).remove('>');
            options[current] = line.trimmed().section(QStringLiteral("  "), 1).trimmed();
        } else {
            options[current] += QLatin1Char(' ') + line.trimmed();
        }
    }
    return options;
}

// A line of the manual page as it reads: font macros and escapes left out.
QString manualText(const QString &line)
{
    QString text = line;
    text.replace(QLatin1String("\\-"), QLatin1String("-")).remove(QLatin1String("\\fI")).remove(QLatin1String("\\fR"));
    if (!text.startsWith(QLatin1Char('.')))
        return text;
    const QRegularExpression word(QStringLiteral("\"([^\"]*)\"|(\\S+)"));
    QString joined;
    for (auto match = word.globalMatch(text.section(QLatin1Char(' '), 1)); match.hasNext();) {
        const QRegularExpressionMatch next = match.next();
        joined += next.captured(1) + next.captured(2);
    }
    return joined;
}

// Each option of the manual page's OPTIONS with its paragraph.
QMap<QString, QString> manualOptions(const QStringList &page)
{
    QMap<QString, QString> options;
    const int start = page.indexOf(QStringLiteral(".SH OPTIONS"));
    for (int line = start + 1; line > 0 && line < page.size() && !page.at(line).startsWith(".SH"); ++line) {
        if (page.at(line) != QLatin1String(".TP"))
            continue;
        const QString names = manualText(page.value(++line));
        QStringList paragraph;
        while (line + 1 < page.size() && !page.at(line + 1).startsWith(QLatin1String(".TP"))
               && !page.at(line + 1).startsWith(QLatin1String(".SH")))
            paragraph << manualText(page.at(++line));
        options[names] = paragraph.join(QLatin1Char(' '));
    }
    return options;
}

bool changesInstrument(const QString &call)
{
    return call.contains(QRegularExpression(QStringLiteral("Clear|Write|Bootstrap|Preset")));
}

} // namespace

class TestFlash : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void manualPageGivesEachOption();
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

// The manual page gives every option --help gives, each beginning with its description.
void TestFlash::manualPageGivesEachOption()
{
    QProcess flash;
    flash.start(QStringLiteral(FLASH_EXECUTABLE), { QStringLiteral("--help") });
    QVERIFY(flash.waitForFinished());
    const QMap<QString, QString> help = helpOptions(QString::fromUtf8(flash.readAllStandardOutput()));
    const QMap<QString, QString> manual = manualOptions(readLines(QStringLiteral(MANUAL_PAGE)));
    QCOMPARE(manual.keys(), help.keys());
    for (const QString &option : help.keys())
        QVERIFY2(manual.value(option).startsWith(help.value(option).chopped(1)), qPrintable(manual.value(option)));
}

QTEST_MAIN(TestFlash)
#include "tst_flash.moc"
