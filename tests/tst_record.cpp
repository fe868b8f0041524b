// The record each run that reached an instrument leaves on the disk. The
// expected records are kept in data/record with what differs from run to run
// replaced by a fixed word; the test checks those parts itself: time stamps
// that never go back, durations, the date, the computer, and each image's
// size and SHA-256 against a computation of its own.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "record/RunRecord.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using Sim = SimulatedInstrument;

namespace {

// A time stamp, or the word that stands for one in an expected record.
const QRegularExpression stampPattern(QStringLiteral("^\\+(?:T|(\\d+):(\\d\\d)\\.(\\d\\d\\d))(?: |$)"));
const QRegularExpression callPattern(QStringLiteral("^(\\w+)\\(.*\\) = (-?\\d+) \\((?:D|\\d+\\.\\d) ms\\)$"));
const QRegularExpression imagePattern(QStringLiteral("^image: (.+), (\\d+) bytes, SHA-256 ([0-9a-f]{64})$"));

QString sha256Of(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex())
        : QString();
}

// The record with what differs from run to run checked and replaced by a
// fixed word; a part that fails its check reads "!! <what>: <line>".
QStringList normalised(const QStringList &record, const QString &path)
{
    const QMap<QString, std::function<bool(const QString &)>> varying {
        { "program version", [](const QString &v) { return v == QLatin1String(KD740_VERSION); } },
        { "date",
          [](const QString &v) {
              const QDateTime date = QDateTime::fromString(v, Qt::ISODate);
              return v.contains(QRegularExpression("[+-]\\d\\d:\\d\\d$"))
                  && date.secsTo(QDateTime::currentDateTime()) >= 0 && date.secsTo(QDateTime::currentDateTime()) < 600;
          } },
        { "computer", [](const QString &v) { return v == QSysInfo::machineHostName(); } },
        { "operating system", [](const QString &v) { return !v.isEmpty(); } },
    };
    QStringList result;
    qint64 lastMs = 0;
    for (QString line : record) {
        const QRegularExpressionMatch stamp = stampPattern.match(line);
        if (stamp.hasMatch()) {
            const qint64 ms = stamp.captured(1).toLongLong() * 60000 + stamp.captured(2).toInt() * 1000
                + stamp.captured(3).toInt();
            const bool forward = ms >= lastMs;
            lastMs = ms;
            line = (forward ? QStringLiteral("+T") : QStringLiteral("!! stamp goes back: ") + stamp.captured(0))
                + line.mid(stamp.capturedLength()).prepend(stamp.capturedLength() < line.size() ? " " : "");
        }
        const QString text = line.section(QLatin1Char(' '), 1);
        const QString key = line.section(QStringLiteral(": "), 0, 0);
        if (varying.contains(key)) {
            const QString value = line.section(QStringLiteral(": "), 1);
            line = varying[key](value) ? key + QStringLiteral(": <") + key + QLatin1Char('>') : "!! " + line;
        } else if (const QRegularExpressionMatch image = imagePattern.match(line.startsWith("+T ") ? text : line);
                   image.hasMatch()) {
            const QString file = QDir::fromNativeSeparators(image.captured(1));
            const bool right = QFileInfo(file).isAbsolute() && image.captured(2).toLongLong() == QFileInfo(file).size()
                && image.captured(3) == sha256Of(file);
            line = right ? line.left(line.indexOf(QStringLiteral("image: ")) + 7) + QFileInfo(file).fileName()
                         : "!! " + line;
        } else if (text == QStringLiteral("Record: ") + QDir::toNativeSeparators(path)) {
            line = QStringLiteral("+T ") + recordLine;
        } else if (line.startsWith(QLatin1String("+T ")) && callPattern.match(text).hasMatch()) {
            line.replace(QRegularExpression(" \\(\\d+\\.\\d ms\\)$"), QStringLiteral(" (D ms)"));
        }
        result << line;
    }
    return result;
}

// The record's body entries of one kind: the log lines, or the calls as
// "name = status" (as the simulator's trace gives them).
QStringList entries(const QStringList &record, bool calls)
{
    QStringList result;
    for (const QString &line : record.mid(record.indexOf(QString()) + 1)) {
        const QString text = line.mid(stampPattern.match(line).capturedLength());
        const QRegularExpressionMatch call = callPattern.match(text);
        if (calls && call.hasMatch())
            result << call.captured(1) + QStringLiteral(" = ") + call.captured(2);
        else if (!calls && !call.hasMatch() && !text.startsWith(QLatin1String("image: ")))
            result << text;
    }
    return result;
}

QStringList tracedCalls(const Sim &sim)
{
    QStringList result;
    for (const QString &line : sim.trace()) {
        if (!line.startsWith(QLatin1String("kdGetAPIVersion(")))
            result << line.left(line.indexOf('(')) + line.mid(line.lastIndexOf(QLatin1String(" = ")));
    }
    return result;
}

// The records in folder that are not among before.
QStringList recordsIn(const QString &folder, const QStringList &before = QStringList())
{
    QStringList found = QDir(folder).entryList({ QStringLiteral("*.txt") }, QDir::Files);
    for (const QString &name : before)
        found.removeOne(name);
    return found;
}

QStringList reference(const QString &name)
{
    return readLines(QFINDTESTDATA(QStringLiteral("data/record/") + name + QStringLiteral(".txt")));
}

} // namespace

class TestRecord : public QObject
{
    Q_OBJECT

private slots:
    void recordOfRun_data();
    void recordOfRun();
    void keepsEverythingUpToKill();
};

void TestRecord::recordOfRun_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("model"); // answers the model selector
    QTest::addColumn<QString>("button"); // pressed after the check, if any
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("expected"); // in data/record; none: no record
    QTest::addColumn<bool>("folderWritable");

    const QString kdB = Sim::usbInstrument(1, 1234, 4, 5, 10);
    QTest::newRow("update succeeds") << kdB << "" << updateButton << ""
                                     << "update-kd740b" << true;
    QTest::newRow("update fails") << kdB << "" << updateButton << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                  << "update-kd740b-write-fails" << true;
    QTest::newRow("bootstrap, then restore")
        << Sim::usbInstrument(0, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent") << "KD740A" << restoreButton
        << ""
        << "restore-kd740a-bootstrapped" << true;
    QTest::newRow("no instrument answers") << ""
                                           << "KD740B"
                                           << ""
                                           << ""
                                           << "" << true;
    QTest::newRow("folder cannot be written") << kdB << "" << updateButton << ""
                                              << "update-kd740b" << false;
}

void TestRecord::recordOfRun()
{
    QFETCH(QString, instrument);
    QFETCH(QString, model);
    QFETCH(QString, button);
    QFETCH(QString, faults);
    QFETCH(QString, expected);
    QFETCH(bool, folderWritable);

    // A file where the records' folder would be; only XDG_DATA_HOME can move it.
    QTemporaryDir home;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", dataHome); });
    if (!folderWritable) {
        if (QSysInfo::productType() == QLatin1String("windows"))
            QSKIP("Windows takes the data folder from the user's profile");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        QFile blocker(home.filePath(QStringLiteral("kd740-updater")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    const QString folder = recordsFolder();
    const QStringList before = recordsIn(folder);
    sim.clearTrace();
    chooseModelWhenAsked(model);
    driver.click(checkButton);
    if (!button.isEmpty()) {
        armFaults(sim, faults);
        driver.click(button);
    }
    const QStringList log = driver.lines().mid(PanelDriver::introductionLines);
    const QStringList written = recordsIn(folder, before);

    if (expected.isEmpty()) {
        QCOMPARE(written, QStringList());
        QCOMPARE(driver.linesAfterIntroduction().filter(QStringLiteral("ecord")), QStringList());
        return;
    }
    const QStringList wanted = reference(expected);
    if (!folderWritable) {
        // The log is that of a run with a record, but for one line in place of the first "Record:".
        QStringList withoutRecord = entries(wanted, false)
                                        .replaceInStrings(QRegularExpression("^Record: .*"), recordLine);
        withoutRecord[withoutRecord.indexOf(recordLine)] = QStringLiteral("No record could be written: ")
            + QDir::toNativeSeparators(folder) + QStringLiteral(" cannot be created.");
        withoutRecord.removeAll(recordLine);
        QCOMPARE(driver.linesAfterIntroduction(), withoutRecord);
        return;
    }
    QCOMPARE(written.size(), 1);
    const QString path = QDir(folder).filePath(written.first());
    const QStringList record = readLines(path);
    const QString identity = record.value(4).mid(7) + QLatin1Char('-') + record.value(5).mid(8);
    QVERIFY2(QRegularExpression("^\\d{8}-\\d{6}-" + identity + "(-\\d+)?\\.txt$").match(written.first()).hasMatch(),
             qPrintable(written.first()));
    QCOMPARE(normalised(record, path), wanted);
    QCOMPARE(entries(record, false), log);
    QCOMPARE(entries(record, true), tracedCalls(sim));
}

// The updater itself, killed while the FPGA is written: the record holds
// every line and call up to the write, and the write as begun.
void TestRecord::keepsEverythingUpToKill()
{
    Sim sim;
    sim.setDescription(Sim::usbInstrument(1, 4711, 4, 5, 10));
    QStandardPaths::setTestModeEnabled(false); // the updater started here keeps its records as a user's
    const QString folder = recordsFolder();
    const QStringList before = recordsIn(folder);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("KDSIM_SCALE", "0.05"); // the FPGA write lasts 16 s
    if (QSysInfo::productType() == QLatin1String("windows")) {
        environment.insert("QT_QPA_GENERIC_PLUGINS", "kd740drive");
        environment.insert("QT_PLUGIN_PATH", environment.value("QT_PLUGIN_PATH") + QDir::listSeparator() + DRIVE);
    } else {
        environment.insert("LD_PRELOAD", DRIVE);
    }
    QProcess updater;
    updater.setProcessEnvironment(environment);
    updater.start(UPDATER_EXECUTABLE, QStringList());
    QStringList record;
    QString path;
    QTRY_VERIFY_WITH_TIMEOUT(
        (path = QDir(folder).filePath(recordsIn(folder, before).value(0)), record = readLines(path),
         record.value(record.size() - 1).endsWith(QLatin1String(" ...")) && record.last().contains("WriteFPGA")),
        20000);
    updater.kill();
    QVERIFY(updater.waitForFinished());
    record = readLines(path);
    QFile::remove(path);

    QCOMPARE(normalised(record, path), reference(QStringLiteral("killed-during-fpga-write")));
    QCOMPARE(entries(record, true), tracedCalls(sim));
}

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
