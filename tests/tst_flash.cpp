// kd740-flash against simulated instruments: its options, its output lines
// and its exit status. Where a row names a run, the engine runs it on the
// same instrument first, as the window would, and the program must show its
// lines and make its calls, answered from the options; the reference
// transcripts in data/ give the lines.

#include "SessionDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "catalogue/OutsideText.h"
#include "catalogue/Signature.h"
#include "catalogue/TrustedKeys.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Sim = SimulatedInstrument;

namespace {

// "<dir>/NAME": a folder below dir, as the program names it, whole.
QStringList namedWhole(QStringList lines, const QString &dir)
{
    static const QRegularExpression folder(QStringLiteral("<dir>/(\\S+)"));
    for (QString &line : lines) {
        const QRegularExpressionMatch match = folder.match(line);
        if (match.hasMatch())
            line.replace(match.capturedStart(), match.capturedLength(),
                         outsideText(QDir::toNativeSeparators(dir + '/' + match.captured(1))));
    }
    return lines;
}

const QString closing = QStringLiteral("Closing when the firmware write has ended.");
// How a transcript marks a coloured line; a run without a terminal prints none.
const QRegularExpression colourMark(QStringLiteral("^\\[(green|red|amber)\\] "));

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

// The same run in the engine alone, as the window would run it: "check",
// "update" or "restore", then the answer to the downgrade question or the
// model to bootstrap, if asked. Its lines and calls are what the program
// must show and make.
QStringList engineLines(const QString &script)
{
    const QStringList words = script.split(QLatin1Char(' '));
    SessionDriver driver;
    driver.model = words.value(1);
    driver.installOlder = words.value(1) == QLatin1String("Yes");
    const std::optional<CheckResult> checked = driver.check();
    if (checked && checked->state != NotDetected && words.first() != QLatin1String("check"))
        driver.write(words.first());
    return driver.transcript().replaceInStrings(colourMark, QString());
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
        // An indented list inside the paragraph (--json's events) is its own.
        bool indented = false;
        while (line + 1 < page.size() && (indented || !page.at(line + 1).startsWith(QLatin1String(".TP")))
               && !page.at(line + 1).startsWith(QLatin1String(".SH"))) {
            const QString &next = page.at(++line);
            indented = next == QLatin1String(".RS") || (indented && next != QLatin1String(".RE"));
            if (!indented && next != QLatin1String(".RE"))
                paragraph << manualText(next);
        }
        options[names] = paragraph.join(QLatin1Char(' '));
    }
    return options;
}

// The instructions of the window's words as the command line words them:
// none for the command that runs.
QStringList consoleWords(QStringList lines, const QStringList &arguments)
{
    for (const QString command : { "update", "restore" }) {
        const QString press = "Press " + command.left(1).toUpper() + command.mid(1) + " to continue.";
        if (arguments.contains(command))
            lines.removeAll(press);
        lines.replaceInStrings(press, "Run kd740-flash " + command + " to continue.");
    }
    lines.replaceInStrings(checkAgain, "Cycle its power, then run kd740-flash check.");
    lines.removeAll("You may now close the software.");
    return lines;
}

// Standing for a folder name that is not UTF-8, which QProcess could not
// pass: the shell makes the folder with the images and passes its name.
const QString nonUtf8Folder = QStringLiteral("<non-UTF-8 folder>");

// Starts kd740-flash with arguments; a NAME=value before them goes into its
// environment, as env(1) takes it. Its home is a scratch folder.
void startFlash(QProcess &flash, QStringList arguments, QProcessEnvironment environment)
{
    while (!arguments.isEmpty() && arguments.first().contains('=') && !arguments.first().startsWith('-')) {
        const QString setting = arguments.takeFirst();
        environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    }
    environment.insert("HOME", QDir::current().filePath("home"));
    QString program = QStringLiteral(FLASH_EXECUTABLE);
    if (arguments.contains(nonUtf8Folder)) {
        environment.insert("LC_ALL", "C.UTF-8");
        arguments.prepend(program);
        const QString script = QStringLiteral(
                                   "f=$(printf 'fw\\351') && mkdir \"$f\" && cp firmware/* \"$f\"/ || exit 99\n"
                                   "for a; do shift; [ \"$a\" = '%1' ] && a=$f; set -- \"$@\" \"$a\"; done\n"
                                   "\"$@\"; status=$?; rm -r \"$f\"; exit $status")
                                   .arg(nonUtf8Folder);
        arguments = QStringList { "-c", script, "sh" } + arguments;
        program = "/bin/sh";
    }
    flash.setProcessEnvironment(environment);
    flash.start(program, arguments);
}

bool changesInstrument(const QString &call)
{
    return call.contains(QRegularExpression(QStringLiteral("Clear|Write|Bootstrap|Preset")));
}

// Copies of ./firmware, its signed list with them, each spoiled one way
// after it was signed. The unsigned ones list their images as sha256sum
// writes them, with a binary marker and CRLF.
void writeImageFolders(const Sim &sim)
{
    const QDir dir(sim.dir());
    const QString fpgaB = "kd740b_fpga_12.rbf";
    const QStringList copies = { "broken",     "fw-unlisted", "fw-untrusted",       "fw-list-changed",
                                 "fw-swapped", "fw-unsigned", "fw-unsigned-swapped" };
    for (const QString &copy : copies) {
        QVERIFY(dir.mkpath(copy));
        for (const QString &name : QDir(sim.imagePath("")).entryList(QDir::Files))
            QVERIFY(QFile::copy(sim.imagePath(name), dir.filePath(copy + '/' + name)));
    }
    QVERIFY(QFile(dir.filePath("broken/" + fpgaB)).resize(0));
    for (const QString copy : { "fw-unlisted", "fw-unsigned", "fw-unsigned-swapped", "fw-untrusted" })
        QVERIFY(QFile::remove(dir.filePath(copy + "/SHA256SUMS.minisig")));
    QVERIFY(QFile::remove(dir.filePath("fw-unlisted/SHA256SUMS")));
    QVERIFY(QFile::copy(KD740_TEST_KEYS "/untrusted.minisig", dir.filePath("fw-untrusted/SHA256SUMS.minisig")));
    // The KD740A's FPGA image under the KD740B's name; in one copy the list made again after the mix-up.
    for (const QString copy : { "fw-swapped", "fw-list-changed", "fw-unsigned-swapped" }) {
        QVERIFY(QFile::remove(dir.filePath(copy + '/' + fpgaB)));
        QVERIFY(QFile::copy(sim.imagePath("kd740a_fpga_9.rbf"), dir.filePath(copy + '/' + fpgaB)));
    }
    for (const QString copy : { "fw-unsigned", "fw-list-changed" }) {
        QFile list(dir.filePath(copy + "/SHA256SUMS"));
        QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const QString &name : QDir(dir.filePath(copy)).entryList({ "*.img", "*.rbf" })) {
            QFile image(dir.filePath(copy + '/' + name));
            QVERIFY(image.open(QIODevice::ReadOnly));
            const QByteArray digest = QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex();
            list.write(digest + (name.endsWith(".rbf") ? " *" : "  ") + name.toUtf8() + "\r\n");
        }
    }
}

} // namespace

class TestFlash : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void manualPageGivesEachOption();
    void jsonEvents_data();
    void jsonEvents();
    void narrowTerminal();
    void historyVerifies_data();
    void historyVerifies();
    void outsideTextCannotForge();
};

// clang-format off
void TestFlash::run_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QStringList>("arguments");
    // The engine's run, or empty: then nothing may be written.
    QTest::addColumn<QString>("engineRun");
    // A reference transcript, or the lines themselves; none: the engine's.
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
    QStringList newerCheck = referenceLines(QFINDTESTDATA("data/check/usb-b-newer-no.txt"));
    newerCheck.removeAll("Cancelling operation.");
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
                                               << noAnswer + notDetected + QStringList(recordLine) << 3 << "";
    const auto check = [](const char *name, const QString &instrument, int exitCode) {
        QTest::newRow(name) << instrument << QStringList { "check" } << "check" << QStringList() << exitCode << "";
    };
    check("example kd740b, check: 10", "kd740b", 10);
    check("example kd740a-boot, check: 11", "kd740a-boot", 11);
    check("example kd740c-fpga-failed, check: 11", "kd740c-fpga-failed", 11);
    check("current, check", Sim::usbInstrument(1, 1236, 4, 5, 12), 0);
    QTest::newRow("downgrade, check: 10") << newerB << QStringList { "check" } << "" << newerCheck << 10 << "";
    QTest::newRow("--quiet") << "kd740b" << QStringList { "update", "--quiet" } << "update" << QStringList() << 0
                             << "";
    QTest::newRow("bootstrap with --model") << silentA << QStringList { "restore", "--model", "KD740A" }
                                            << "restore KD740A" << QStringList { "data/restore/kd740a-bootstrapped.log" }
                                            << 0 << "";
    QTest::newRow("bootstrap without --model: 4")
        << silentA << QStringList { "restore" } << ""
        << noAnswer + QStringList { "Failed to open KD740 boot device.", "Looking to bootstrap KD740.", recordLine } << 4 << "";
    // A model the library reports read but did not write is no model: as for one that cannot be read.
    QTest::newRow("boot model unwritten, restore without --model: 4")
        << Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot") + Sim::lost("kdConfigUSBGetDeviceType")
        << QStringList { "restore" } << ""
        << checkTitle
            + QStringList { "Failed to open KD740.", "Looking for KD740 boot device...", "Failed to read KD740 boot device.",
                            "Failed to open KD740 boot device.", "Looking to bootstrap KD740.", recordLine }
        << 4 << "";
    QTest::newRow("downgrade without --yes: 4") << newerB << QStringList { "update" } << "check No"
                                                << QStringList { "data/check/usb-b-newer-no.txt" } << 4 << "";
    QTest::newRow("downgrade with --yes") << newerB << QStringList { "update", "--yes" } << "update Yes"
                                          << QStringList() << 0 << "";
    // The instrument restarts into silence until its power is cycled: the program waits its 30 s for it.
    QTest::newRow("no answer after the write: 12")
        << Sim::usbInstrument(1, 1234, 4, 5, 10) + "  power-cycle-after-write yes\n" << QStringList { "update" }
        << "update"
        << kd740bFound
               + QStringList { "", "Updating Firmware", "", "Skipping boot Fx3, already current version.",
                               "Skipping run Fx3, already current version.", "Updating FPGA, estimated 6 minutes.",
                               "Firmware written; not confirmed.",
                               "The KD740B did not answer after the write.", checkAgain,
                               recordLine, "You may now close the software." }
        << 12 << "";
    QTest::newRow("current") << Sim::usbInstrument(1, 1236, 4, 5, 12) << QStringList { "update" } << "check"
                             << QStringList { "data/check/usb-b-current.txt" } << 0 << "";
    QTest::newRow("update in boot mode: 4") << "kd740a-boot" << QStringList { "update" } << "check" << QStringList()
                                            << 4 << "";
    // The check refuses a write whose image is unusable: no title, no instruction.
    const QStringList refused = kd740bFound.mid(0, kd740bFound.size() - 2);
    QTest::newRow("image unusable: 5")
        << "kd740b" << QStringList { "update", "--firmware", "broken" } << ""
        << refused + checkRefusal("Firmware image is empty: broken/kd740b_fpga_12.rbf") + recordLine << 5 << "";
    // A folder of its own is proven by its own signed list.
    QTest::newRow("--firmware signed") << "kd740b" << QStringList { "update", "--firmware", "./firmware" } << "update"
                                       << QStringList { "data/update/kd740b.log" } << 0 << "";
    const auto notShipped = [](const char *folder) {
        return QStringLiteral("Firmware image is not the one shipped: %1/kd740b_fpga_12.rbf").arg(folder);
    };
    QTest::newRow("image swapped after signing: 5")
        << "kd740b" << QStringList { "update", "--firmware", "fw-swapped" } << ""
        << refused + checkRefusal(notShipped("fw-swapped")) + recordLine << 5 << "";
    QTest::newRow("check, image swapped after signing: 5")
        << "kd740b" << QStringList { "check", "--firmware", "fw-swapped" } << ""
        << refused + checkRefusal(notShipped("fw-swapped")) + recordLine << 5 << "";
    // Refused by the run before the instrument is looked for, by check too, and kept on record.
    const auto unsignedFolder = [&](const char *name, const QStringList &arguments, const QString &problem) {
        QTest::newRow(name) << "kd740b" << arguments << "" << checkTitle + checkRefusal(problem) + recordLine << 5 << "";
    };
    unsignedFolder("--firmware unlisted: 5", { "update", "-f", "fw-unlisted" },
                   "Firmware images cannot be verified: no SHA256SUMS in <dir>/fw-unlisted");
    unsignedFolder("no signature: 5", { "update", "-f", "fw-unsigned" },
                   "Firmware images are not signed: no SHA256SUMS.minisig in <dir>/fw-unsigned");
    unsignedFolder("check, no signature: 5", { "check", "-f", "fw-unsigned" },
                   "Firmware images are not signed: no SHA256SUMS.minisig in <dir>/fw-unsigned");
    unsignedFolder("signed by an untrusted key: 5", { "check", "-f", "fw-untrusted" },
                   "Firmware images are not signed by a trusted key: <dir>/fw-untrusted");
    unsignedFolder("list changed after signing: 5", { "update", "-f", "fw-list-changed" },
                   "Firmware images are not signed by a trusted key: <dir>/fw-list-changed");
    // Its sizes and digests are still held to its list.
    QTest::newRow("--allow-unsigned") << "kd740b"
                                      << QStringList { "update", "-f", "fw-unsigned", "--allow-unsigned", "--json" }
                                      << "update" << QStringList { "data/update/kd740b.log" } << 0 << "";
    // Another model's image under a shipped name, its list remade: never the shipped digest, signed or not.
    QTest::newRow("--allow-unsigned, list remade: 5")
        << "kd740b" << QStringList { "update", "-f", "fw-list-changed", "--allow-unsigned" } << ""
        << refused + checkRefusal(notShipped("fw-list-changed")) + recordLine << 5 << "";
    QTest::newRow("--allow-unsigned, image swapped: 5")
        << "kd740b" << QStringList { "update", "-f", "fw-unsigned-swapped", "--allow-unsigned" } << ""
        << refused + checkRefusal(notShipped("fw-unsigned-swapped")) + recordLine << 5 << "";
    // Bad usage: what standard error says first.
    const auto usage = [](const char *name, const QStringList &arguments, const QString &problem) {
        QTest::newRow(name) << "kd740b" << arguments << "" << QStringList { "kd740-flash: " + problem } << 2 << "";
    };
    usage("no command: 2", {}, "no command given (check, update, restore or history)");
    usage("--verify with update: 2", { "update", "--verify" }, "--verify belongs to the history command");
    usage("--yes with restore: 2", { "restore", "--yes" }, "--yes belongs to the update command");
    usage("--ignore-power with check: 2", { "check", "--ignore-power" },
          "--ignore-power belongs to the update and restore commands");
    usage("unknown model: 2", { "restore", "--model", "KD740D" }, "--model takes KD740A, KD740B or KD740C, not: KD740D");
    usage("--model twice: 2", { "restore", "--model", "KD740A", "--model", "KD740B" }, "--model given more than once");
    usage("-m and --model: 2", { "restore", "-m", "KD740A", "--model=KD740B" }, "--model given more than once");
    usage("-y and --yes: 2", { "update", "-y", "--yes" }, "--yes given more than once");
    usage("second command: 2", { "check", "update" }, "one command at a time; a second command: update");
    QTest::newRow("non-UTF-8 --firmware folder") << "kd740b" << QStringList { "update", "--firmware", nonUtf8Folder }
                                                 << "update" << QStringList { "data/update/kd740b.log" } << 0 << "";
    QTest::newRow("relative XDG_DATA_HOME") << "kd740b" << QStringList { "XDG_DATA_HOME=records", "check" } << "check"
                                            << QStringList() << 10 << "";
    QTest::newRow("--json") << "kd740b" << QStringList { "update", "--json" } << "update"
                            << QStringList { "data/update/kd740b.log" } << 0 << "";
    // No record can be written: nothing is erased without --no-record.
    QTest::newRow("no record: 7") << "kd740b" << QStringList { "XDG_DATA_HOME=/dev/null", "update" } << ""
        << refused + QStringList("No record could be written: /dev/null/kd740-updater/records cannot be created.")
               + failureBlockWith({ nothingTouched }, failureAdvice(RunEnd::Kind::NoRecord)).mid(0, 4) << 7 << "";
    QTest::newRow("SIGTERM during the FPGA write") << "kd740b" << QStringList { "update" } << "update" << interrupted
                                                   << 0 << "Updating FPGA, estimated 6 minutes.";
}
// clang-format on

void TestFlash::run()
{
    QFETCH(QString, instrument);
    QFETCH(QStringList, arguments);
    QFETCH(QString, engineRun);
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
    // The engine runs in this process: a relative XDG_DATA_HOME is its too, with a scratch home.
    const QByteArray saved[] = { qgetenv("XDG_DATA_HOME"), qgetenv("HOME") };
    const auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", saved[0]), qputenv("HOME", saved[1]); });
    const bool relativeDataHome = arguments.value(0) == "XDG_DATA_HOME=records";
    if (relativeDataHome)
        qputenv("XDG_DATA_HOME", "records"), qputenv("HOME", QFile::encodeName(QDir::current().filePath("home")));
    QStringList engineCalls;
    if (!engineRun.isEmpty()) {
        sim.setDescription(instrument);
        const QStringList shown = engineLines(engineRun);
        // The program waits longer than the engine here for an instrument to answer after a write.
        engineCalls = sim.writeCalls();
        if (expected.isEmpty())
            expected = shown;
        if (signalAfter.isEmpty())
            QCOMPARE(shown, expected);
    }
    expected = consoleWords(expected, arguments);
    // A refused folder is named whole.
    expected = namedWhole(expected, sim.dir());
    sim.setDescription(instrument);
    sim.clearTrace();
    QVERIFY(QDir(sim.dir()).mkpath("broken"));
    writeImageFolders(sim);

#ifdef Q_OS_WIN
    if (arguments.contains(nonUtf8Folder) || arguments.value(0).startsWith("XDG_DATA_HOME="))
        QSKIP("Windows passes names as text and keeps its records in the user's profile");
#endif
    QProcess flash;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Long enough a write for the signal to land in it.
    if (!signalAfter.isEmpty())
        environment.insert("KDSIM_SCALE", "0.01");
    startFlash(flash, arguments, environment);
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
    QCOMPARE(errors.contains("No record of this run can be written: "), exitCode == 7);
    const bool warned = (errors + QString::fromUtf8(output)).contains("--allow-unsigned takes them only where");
    QCOMPARE(warned, arguments.contains("--allow-unsigned"));
    // Bad usage: the row gives what standard error says first, and nothing else happens.
    if (exitCode == 2 && output.isEmpty())
        output = errors.section('\n', 0, 0).toUtf8() + '\n';

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
        // The record the run announced holds the whole run up to the line that
        // names it with its digest, in the words the program printed, then
        // how it ended (a write's read-back before that) and its seal.
        const QStringList record = readLines(recordPath);
        const int last = int(record.size()) - (record.value(record.size() - 5).startsWith("read back: ") ? 6 : 5);
        QVERIFY2(record.value(last).endsWith(' ' + jsonLines.value(jsonLines.size() - 2))
                     && record.value(record.size() - 4).startsWith("result: "),
                 qPrintable(recordPath));
        const QString digest = record.last().section("SHA-256: ", 1);
        QCOMPARE(jsonLines.last(), "Record: " + outsideText(recordPath) + ", SHA-256 " + digest);
        QCOMPARE(outcome.value("record_sha256").toString(), digest);
        QCOMPARE(record.filter(QRegularExpression("Press|close the software")), QStringList());
        QCOMPARE(record.filter(QRegularExpression("^result: ")).size(), 1);
        QCOMPARE(record.filter(QRegularExpression("^(\\+\\S+ )?images: unsigned, allowed by --allow-unsigned$")).size(),
                 arguments.contains("--allow-unsigned") ? 1 : 0);
    }
    // A relative XDG_DATA_HOME is no data folder: both programs keep their records in the default one.
    if (relativeDataHome)
        QCOMPARE(int(QDir(QDir::current().filePath("home/.local/share/kd740-updater/records"))
                         .entryList({ "*.txt" }, QDir::Files)
                         .size()),
                 2);
    // Every run that reached the check is on record, sealed, its end in the word for it.
    const QMap<int, QStringList> words {
        { 0, { "success", "current" } }, { 1, { "failure" } },
        { 3, { "not found" } },          { 4, { "no model named", "downgrade declined", "restore needed" } },
        { 5, { "image unusable" } },     { 10, { "update needed", "downgrade offered" } },
        { 11, { "restore needed" } },    { 12, { "not confirmed" } }
    };
    const QStringList named = lines.filter(QRegularExpression("^Record: .*, SHA-256 [0-9a-f]{64}$"));
    // Without a record (7) nothing names one.
    if (exitCode != 2 && exitCode != 7 && !arguments.contains("--quiet")) {
        QVERIFY2(!named.isEmpty(), qPrintable(lines.join('\n')));
        const QString path = named.last().section(", SHA-256 ", 0, -2).mid(8);
        const QString result = readLines(path).filter(QRegularExpression("^result: ")).value(0).mid(8);
        QVERIFY2(words.value(exitCode).contains(result), qPrintable(path + ": " + result));
    }
    lines.replaceInStrings(QRegularExpression("^Record: .*"), recordLine);
    if (arguments.contains("--quiet"))
        expected.clear();
    QCOMPARE(lines, expected);

    if (!engineRun.isEmpty()) {
        // The same files, in the folder named.
        QCOMPARE(sim.writeCalls().replaceInStrings(QRegularExpression("\"fw[^/\"]*/"), "\"./firmware/"), engineCalls);
    } else {
        const QStringList calls = sim.calls();
        for (const QString &call : calls)
            QVERIFY2(!changesInstrument(call), qPrintable(call));
    }
}

// A JSON value in one line: its values in the order of their keys.
QString flat(const QJsonValue &value)
{
    QStringList items;
    if (value.isArray()) {
        for (const QJsonValue item : value.toArray())
            items << flat(item);
        return '[' + items.join(", ") + ']';
    }
    const QJsonObject object = value.toObject();
    for (const QJsonValue &item : object)
        items << flat(item);
    return value.isObject() ? items.join(' ') : value.toVariant().toString();
}

void TestFlash::jsonEvents_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("events");

    // Values by their keys: comment, event, firmware_found, firmware_shipped, images, key, link, model, offer, [found
    // part shipped], serial; battery, call, event, exit, message, part, [part state], result
    const QString comment = "KD740 firmware 2.0.1: the eight shipped images ";
    const QString shipped = comment + "instrument ";
    const QString kd740b = shipped + "4.5.10 4.5.12 signed " + keyId(trustedKeys().first())
        + " usb KD740B update [4 boot Fx3 4, 5 run Fx3 5, 10 FPGA 12] 1234";
    // Each part: found, part, read back, shipped, state (null where not known).
    const QString skipped = "[4 boot Fx3  4 skipped, 5 run Fx3  5 skipped, ";
    const QString written = "[4 boot Fx3 4 4 skipped, 5 run Fx3 5 5 skipped, 10 FPGA 12 12 written]";
    QTest::newRow("update offered") << "kd740b" << QStringList { "check" }
                                    << QStringList { kd740b,
                                                     "outcome 10 The KD740 holds older firmware than shipped: "
                                                     "kd740-flash update installs it. true update-needed" };
    QTest::newRow("restore needed")
        << "kd740a-boot" << QStringList { "check" }
        << QStringList { shipped + " 4.5.9 signed " + keyId(trustedKeys().first())
                             + " usb KD740A restore [ boot Fx3 4,  run Fx3 5,  FPGA 9] 2001",
                         "outcome 11 The KD740 needs a restore: kd740-flash restore. true restore-needed" };
    QTest::newRow("written over the network")
        << "kd740c-net" << QStringList { "update" }
        << QStringList { shipped + "4.4.2 5.5.3 signed " + keyId(trustedKeys().first())
                             + " net KD740C update [4 FX3 5, 2 FPGA 3] 5678",
                         "outcome 0 The KD740 holds the shipped firmware now. "
                         "[4 FX3 5 5 written, 2 FPGA  loaded 3 written] true done" };
    QTest::newRow("write fails") << "write-fault" << QStringList { "update" }
                                 << QStringList { kd740b,
                                                  "kdConfigUSBWriteFPGAProgram outcome 1 The write failed at "
                                                  "kdConfigUSBWriteFPGAProgram, writing the FPGA. Check device "
                                                  "connections and re-run the software. FPGA "
                                                      + skipped
                                                      + "10 FPGA  12 erased] true [The KD740B answers only "
                                                        "in its boot mode after the write., "
                                                      + mayNotWork + "] failed" };
    QTest::newRow("image unusable") << "kd740b" << QStringList { "update", "-f", "broken" }
                                    << QStringList { kd740b,
                                                     "outcome 5 Firmware image is empty: broken/kd740b_fpga_12.rbf "
                                                         + imageAdvice + ' ' + skipped
                                                         + "10 FPGA  12 untouched] true image-unusable" };
    QTest::newRow("--allow-unsigned") << "kd740b" << QStringList { "check", "-f", "fw-unsigned", "--allow-unsigned" }
                                      << QStringList { QString(kd740b).remove(comment).replace(
                                                           QRegularExpression("signed \\S+"), "unsigned"),
                                                       "outcome 10 The KD740 holds older firmware than shipped: "
                                                       "kd740-flash update installs it. true update-needed" };
    // The run reads the list once: changed once the instrument is looked for, it changes nothing.
    QTest::newRow("list changed during the run")
        << "kd740b\nswap kdConfigNetGetDeviceList rewrite firmware/SHA256SUMS" << QStringList { "update" }
        << QStringList { kd740b, "outcome 0 The KD740 holds the shipped firmware now. " + written + " true done" };
    QTest::newRow("not signed")
        << "kd740b" << QStringList { "check", "-f", "fw-unsigned" }
        << QStringList { "outcome 5 Firmware images are not signed: no SHA256SUMS.minisig in <dir>/fw-unsigned "
                         + imageAdvice + " true image-unusable" };
}

void TestFlash::jsonEvents()
{
    QFETCH(QString, instrument);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, events);

    Sim sim;
    // An example, and lines added to it.
    const QString example = "../simulator/examples/" + instrument.section('\n', 0, 0) + ".txt";
    sim.setDescription(readLines(QFINDTESTDATA(example)).join('\n') + '\n' + instrument.section('\n', 1));
    writeImageFolders(sim);
    QProcess flash;
    startFlash(flash, arguments << "--json", QProcessEnvironment::systemEnvironment());
    QVERIFY(flash.waitForFinished(60000));
    QStringList found;
    for (const QByteArray &line : flash.readAllStandardOutput().split('\n')) {
        QJsonObject event = QJsonDocument::fromJson(line).object();
        // The record's path and digest vary from run to run.
        if (event.value("event") == "outcome") {
            QVERIFY(QFile::exists(event.take("record").toString()));
            QCOMPARE(int(event.take("record_sha256").toString().size()), 64);
        }
        if (event.value("event") == "instrument" || event.value("event") == "outcome")
            found << flat(event);
    }
    QCOMPARE(found, namedWhole(events, sim.dir()));
}

// Through script(1), on a terminal as narrow as a technician's phone.
void TestFlash::narrowTerminal()
{
    const int columns = 20;
    const QString script = QStandardPaths::findExecutable("script");
    if (script.isEmpty())
        QSKIP("needs script(1), and a console's width is its window's");
    Sim sim;
    sim.setDescription(readLines(QFINDTESTDATA("../simulator/examples/kd740b.txt")).join('\n'));
    QProcess flash;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KDSIM_SCALE", "0.01"); // long enough a write for percentages
    environment.insert("HOME", QDir::current().filePath("home"));
    flash.setProcessEnvironment(environment);
    flash.start(script,
                { "-qec", QString("stty cols %1; exec %2 update").arg(columns).arg(FLASH_EXECUTABLE), "/dev/null" });
    QVERIFY(flash.waitForFinished(60000));
    QCOMPARE(flash.exitCode(), 0);

    // Each state of the progress line, the blanks of a longer one before it included.
    QStringList progress;
    for (const QString &line : QString::fromUtf8(flash.readAllStandardOutput()).split("\r\n"))
        progress += line.split('\r').mid(0, line.count('\r')).filter(QRegularExpression("\\S"));
    QVERIFY(!progress.filter(QRegularExpression("\\d+ % \\d+:\\d\\d")).isEmpty());
    for (const QString &state : qAsConst(progress)) {
        QVERIFY2(state.size() < columns, qPrintable(state));
        // The elapsed time whole, and the percentage where there is one.
        QVERIFY2(state.contains(QRegularExpression("(^| )\\d+:\\d\\d( elapsed.*)? *$")), qPrintable(state));
        QVERIFY2(!state.contains('%') || state.contains(QRegularExpression("(^|[ (])\\d+ %")), qPrintable(state));
    }
}

// A folder name and a library text that try to add a line to the record or
// to reach the terminal (a line break, escape sequences, U+2028, a bidi
// override, a backslash before n): each is shown escaped, never passed.
void TestFlash::outsideTextCannotForge()
{
    Sim sim;
    sim.setDescription(QStringLiteral("api-version 3.1\x1b[2J\u2028\u202Eevil\n")
                       + readLines(QFINDTESTDATA("../simulator/examples/kd740b.txt")).join('\n'));
    const QString folder = QStringLiteral("fw\nresult: success\x1b[32m\u2028\\n");
    if (!QDir(sim.dir()).mkpath(folder))
        QSKIP("this system's names take no line break");
    for (const QString &name : QDir(sim.imagePath("")).entryList(QDir::Files))
        QVERIFY(QFile::copy(sim.imagePath(name), QDir(sim.dir()).filePath(folder + '/' + name)));
    QProcess flash;
    startFlash(flash, { "update", "--firmware", folder }, QProcessEnvironment::systemEnvironment());
    QVERIFY(flash.waitForFinished(60000));
    const QByteArray output = flash.readAllStandardOutput() + flash.readAllStandardError();
    QCOMPARE(flash.exitCode(), 0);
    QVERIFY2(!output.contains('\x1b') && !output.contains("\u2028"), output.constData());
    const QStringList record = readLines(
        QString::fromUtf8(output).section("Record: ", -1).section('\n', 0, 0).section(", SHA-256 ", 0, -2));
    QCOMPARE(record.filter(QRegularExpression("^result: ")), QStringList("result: success"));
    QCOMPARE(record.filter("kd_api version: "), QStringList("kd_api version: 3.1\\u001B[2J\\u2028\\u202Eevil"));
    QVERIFY(!record.filter("fw\\nresult: success\\u001B[32m\\u2028\\\\n/").isEmpty());
}

// The manual page gives every option --help gives, each beginning with its description.
void TestFlash::manualPageGivesEachOption()
{
    QProcess flash;
    flash.start(QStringLiteral(FLASH_EXECUTABLE), { QStringLiteral("--help") });
    QVERIFY(flash.waitForFinished());
    // Windows writes text to a pipe with CRLF line ends.
    const QMap<QString, QString> help = helpOptions(
        QString::fromUtf8(flash.readAllStandardOutput()).remove(QLatin1Char('\r')));
    const QMap<QString, QString> manual = manualOptions(readLines(QStringLiteral(MANUAL_PAGE)));
    QCOMPARE(manual.keys(), help.keys());
    for (const QString &option : help.keys())
        QVERIFY2(manual.value(option).startsWith(help.value(option).chopped(1)), qPrintable(manual.value(option)));
}

// The record with one line changed and its own digest made again, as a
// forger would.
void forge(const QString &from, const QString &to)
{
    QFile file(from);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll().replace("result: success", "result: failure");
    file.close();
    bytes.truncate(bytes.lastIndexOf("SHA-256: "));
    bytes += "SHA-256: " + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + '\n';
    QFile forged(to);
    QVERIFY(forged.open(QIODevice::WriteOnly | QIODevice::Truncate) && forged.write(bytes) == bytes.size());
}

void TestFlash::historyVerifies_data()
{
    QTest::addColumn<QString>("change"); // to the second of three runs' records
    QTest::addColumn<int>("exitCode");
    QTest::newRow("three runs") << "" << 0;
    QTest::newRow("one edited") << "edited" << 8;
    QTest::newRow("one removed") << "removed" << 8;
    QTest::newRow("one inserted") << "inserted" << 8;
}

// Three runs chain their records; --verify names the one changed, whose
// own digest a forger made again.
void TestFlash::historyVerifies()
{
    QFETCH(QString, change);
    QFETCH(int, exitCode);
#ifdef Q_OS_WIN
    QSKIP("XDG_DATA_HOME gives each run a records folder of its own only where the system reads it");
#endif

    Sim sim;
    sim.setDescription(readLines(QFINDTESTDATA("../simulator/examples/kd740b.txt")).join('\n'));
    const QTemporaryDir data;
    const QString dataHome = "XDG_DATA_HOME=" + data.path();
    QStringList records;
    for (const QString command : { "check", "update", "check" }) {
        QProcess flash;
        startFlash(flash, { dataHome, command }, QProcessEnvironment::systemEnvironment());
        QVERIFY(flash.waitForFinished(60000));
        const QStringList named = QString::fromUtf8(flash.readAllStandardOutput()).split('\n').filter("Record: ");
        records << named.last().mid(8).section(", SHA-256 ", 0, 0);
    }
    const QString second = QFileInfo(records.at(1)).fileName();
    const QString forged = QFileInfo(records.at(1)).dir().filePath("20000101-000000-KD740B-1234.txt");
    if (change == "edited")
        forge(records.at(1), records.at(1));
    else if (change == "removed")
        QVERIFY(QFile::remove(records.at(1)));
    else if (change == "inserted")
        forge(records.at(1), forged);

    QProcess history;
    startFlash(history, { dataHome, "history", "--verify" }, QProcessEnvironment::systemEnvironment());
    QVERIFY(history.waitForFinished());
    QCOMPARE(history.exitCode(), exitCode);
    const QStringList findings = QString::fromUtf8(history.readAllStandardOutput()).split('\n').filter(" (");
    if (change.isEmpty())
        QCOMPARE(findings, QStringList());
    else
        QCOMPARE(findings.value(0).section(" (", 0, 0),
                 change + ": " + (change == "inserted" ? QFileInfo(forged).fileName() : second));

    // The runs newest first, each with its command and result.
    QProcess listing;
    startFlash(listing, { dataHome, "history", "--json" }, QProcessEnvironment::systemEnvironment());
    QVERIFY(listing.waitForFinished());
    QStringList runs;
    for (const QByteArray &line : listing.readAllStandardOutput().split('\n')) {
        const QJsonObject run = QJsonDocument::fromJson(line).object();
        if (!run.isEmpty())
            runs << run.value("command").toString().section(' ', 1) + ' ' + run.value("result").toString();
    }
    if (change.isEmpty())
        QCOMPARE(runs, QStringList({ "check current", "update success", "check update needed" }));
}

QTEST_GUILESS_MAIN(TestFlash)
#include "tst_flash.moc"
