// The record each run that reached an instrument leaves on the disk. The
// expected records in data/record hold fixed words where runs differ; the
// test checks those parts itself: time stamps that never go back, the date,
// the computer, and each image's size and SHA-256 against its own computation.

#include "FileAccess.h"
#include "PanelDriver.h"
#include "SessionDriver.h"
#include "SimulatedInstrument.h"
#include "TestFolders.h"
#include "Workflow.h"

#include "catalogue/ImageDigests.h"
#include "catalogue/OutsideText.h"
#include "record/RunRecord.h"
#include "ui/Updater.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>

#ifndef Q_OS_WIN
#  include <dlfcn.h>
#endif

using Sim = SimulatedInstrument;

namespace {

// A disk that takes every sync of this process until it is let go.
std::mutex syncMutex;
std::condition_variable syncsReleased;
bool syncsHeld = false;

void holdSyncs(bool held)
{
    const std::lock_guard<std::mutex> lock(syncMutex);
    syncsHeld = held;
    syncsReleased.notify_all();
}

// A time stamp, or the word that stands for one.
const QRegularExpression stampPattern(QStringLiteral("^\\+(?:T|(\\d+):(\\d\\d)\\.(\\d\\d\\d))(?: |$)"));
const QRegularExpression callPattern(QStringLiteral("^\\w+\\(.*\\) = -?\\d+ \\((?:D|\\d+\\.\\d) ms\\)$"));
const QStringList varyingKeys = { "program version", "date", "computer", "user", "program", "operating system" };

QString sha256Of(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex())
        : QString();
}

// A record's stated digest and the SHA-256 of every byte before its last line.
QPair<QString, QString> sealOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const int last = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
    return { QString::fromUtf8(bytes.mid(last).trimmed()).section(QStringLiteral("SHA-256: "), 1),
             QString::fromLatin1(QCryptographicHash::hash(bytes.left(last), QCryptographicHash::Sha256).toHex()) };
}

// Whether the PC can be kept awake depends on the machine the test runs on;
// the window's log never says it.
bool isAwakeNotice(const QString &line)
{
    return line.contains(QLatin1String(" Cannot keep the PC awake while firmware is written: "));
}

// The record with what differs from run to run checked and put in fixed
// words; a line that fails its check starts with "!! ".
QStringList normalised(const QStringList &record, const QString &path)
{
    QStringList result;
    qint64 lastMs = 0;
    for (const QString &line : record) {
        if (isAwakeNotice(line))
            continue;
        const QRegularExpressionMatch stamp = stampPattern.match(line);
        const qint64 ms = stamp.captured(1).toLongLong() * 60000 + stamp.captured(2).toLongLong() * 1000
            + stamp.captured(3).toInt();
        // The header's lines and the result have no stamp.
        bool right = !stamp.hasMatch() || ms >= lastMs;
        lastMs = stamp.hasMatch() ? ms : lastMs;
        QString text = line.mid(stamp.capturedLength());
        const QString key = text.section(QStringLiteral(": "), 0, 0);
        const QString value = text.section(QStringLiteral(": "), 1);
        const QStringList image = value.split(QStringLiteral(", ")); // path, size, hash
        if (key == QLatin1String("date"))
            right = right && value.contains(QRegularExpression("[+-]\\d\\d:\\d\\d$"))
                && qAbs(QDateTime::fromString(value, Qt::ISODate).secsTo(QDateTime::currentDateTime())) < 600;
        else if (key == QLatin1String("computer"))
            right = right && value == QSysInfo::machineHostName();
        else if (key == QLatin1String("program version"))
            right = right && value == QLatin1String(KD740_VERSION);
        else if (key == QLatin1String("program") || key == QLatin1String("user"))
            right = right && !value.isEmpty() && value != QLatin1String("unknown");
        else if (key == QLatin1String("SHA-256"))
            right = right && value == sealOf(path).second;
        else if (key == QLatin1String("previous record"))
            // The record before it, as it stands in the same folder.
            right = right
                && (value == QLatin1String("none")
                    || sealOf(QFileInfo(path).dir().filePath(value.section(", SHA-256 ", 0, 0))).second
                        == value.section(", SHA-256 ", 1));
        else if (key == QLatin1String("image"))
            // As it is now, or as shipped where the check read it before a row damaged it.
            right = right && QFileInfo(image.at(0)).isAbsolute()
                && ((image.value(1) == QString::number(QFileInfo(image.at(0)).size()) + QStringLiteral(" bytes")
                     && image.value(2) == QStringLiteral("SHA-256 ") + sha256Of(image.at(0)))
                    || image.value(2)
                        == QStringLiteral("SHA-256 ") + shippedImage(QFileInfo(image.at(0)).fileName()).sha256);

        if (varyingKeys.contains(key))
            text = key + QStringLiteral(": <") + key + QLatin1Char('>');
        else if (const QStringList chain { "record number", "previous record", "SHA-256" }; chain.contains(key))
            text = key + QStringLiteral(": <") + QStringList { "number", "previous", "digest" }.at(chain.indexOf(key))
                + QLatin1Char('>');
        else if (key == QLatin1String("image"))
            text = QStringLiteral("image: ")
                + (QStringList(QFileInfo(image.at(0)).fileName()) + image.mid(3)).join(", ");
        else if (text == QStringLiteral("Record: ") + outsideText(QDir::toNativeSeparators(path)))
            text = recordLine;
        text.replace(QRegularExpression(" \\(\\d+\\.\\d ms\\)$"), QStringLiteral(" (D ms)"));
        // Each run copies its images into a folder of its own.
        text.replace(QRegularExpression("\"[^\"]*[/\\\\]kd740-images-\\w+[/\\\\]"), QStringLiteral("\"<copy>/"));
        if (stamp.hasMatch())
            text = text.isEmpty() ? QStringLiteral("+T") : QStringLiteral("+T ") + text;
        result << (right ? text : QStringLiteral("!! ") + line);
    }
    return result;
}

// The log lines among the record's entries.
QStringList logLines(const QStringList &record)
{
    QStringList result;
    for (const QString &line : record.mid(record.indexOf(QString()) + 1)) {
        const QString text = line.mid(stampPattern.match(line).capturedLength());
        if (text.contains(QRegularExpression("^(result|read back|record number|previous record|SHA-256): "))
            || isAwakeNotice(line))
            continue;
        if (!callPattern.match(text).hasMatch() && !text.startsWith(QLatin1String("image: "))
            && !text.startsWith(QLatin1String("answer: ")))
            result << text;
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

QStringList expectedRecord(const QString &name)
{
    return readLines(QFINDTESTDATA(QStringLiteral("data/record/") + name + QStringLiteral(".txt")));
}

} // namespace

#ifndef Q_OS_WIN
extern "C" int fsync(int fd)
{
    std::unique_lock<std::mutex> lock(syncMutex);
    syncsReleased.wait(lock, [] { return !syncsHeld; });
    lock.unlock();
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}
#endif

class TestRecord : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { keepUserDataInTestFolders(); }
    void recordOfRun_data();
    void recordOfRun();
    void keepsEverythingUpToKill_data();
    void keepsEverythingUpToKill();
};

// clang-format off
void TestRecord::recordOfRun_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("model"); // answers the model selector
    QTest::addColumn<QString>("button"); // pressed after the check, if any
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("expected"); // in data/record; none: no record
    // "blocked": the folder cannot be made, "read-only": nothing can be made in it (writing without a record: Yes,
    // "declined": No); "full": no file can grow, "full after the check": the record's file cannot grow much beyond
    // the check; "slow": syncs take longer than 5 s.
    QTest::addColumn<QString>("disk");
    QTest::addColumn<QString>("zeroed"); // an image filled with zeros before the check
    // Where no record is expected in full: its result line's word.
    QTest::addColumn<QString>("result");

    const QString kdB = Sim::usbInstrument(1, 1234, 4, 5, 10);
    QTest::newRow("update succeeds") << kdB << "" << updateButton << ""
                                     << "update-kd740b" << "" << "" << "";
    QTest::newRow("update fails") << kdB << "" << updateButton << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                  << "update-kd740b-write-fails" << "" << "" << "";
    // Its size and SHA-256 as the check read them, in the one read.
    QTest::newRow("image not shipped") << kdB << "" << updateButton << ""
                                       << "update-kd740b-image-not-shipped" << "" << "kd740b_fpga_12.rbf" << "";
    // The copy the check read is written, and named by its digest.
    QTest::newRow("image changed after the check")
        << kdB << "" << updateButton << "swap kdConfigUSBOpenDeviceBySerial rewrite firmware/kd740b_fpga_12.rbf\n"
        << "update-kd740b" << "" << "" << "";
    QTest::newRow("bootstrap, then restore")
        << Sim::usbInstrument(0, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent") << "KD740A" << restoreButton
        << ""
        << "restore-kd740a-bootstrapped" << "" << "" << "";
    // Every run that reached the check is on record, with the word of its end.
    QTest::newRow("no instrument answers") << "" << "KD740B" << "" << "" << "" << "" << "" << "not found";
    QTest::newRow("check finds it current") << Sim::usbInstrument(1, 1236, 4, 5, 12) << "" << "" << "" << "" << ""
                                            << "" << "current";
    QTest::newRow("folder cannot be written") << kdB << "" << updateButton << ""
                                              << "update-kd740b" << "blocked" << "" << "";
    QTest::newRow("folder read-only") << kdB << "" << updateButton << "" << "update-kd740b" << "read-only" << "" << "";
    QTest::newRow("folder cannot be written, declined") << kdB << "" << updateButton << "" << "" << "blocked declined" << "" << "";
    QTest::newRow("syncs slower than 5 s") << kdB << "" << updateButton << "" << "update-kd740b" << "slow" << "" << "";
    QTest::newRow("disk full from the start") << kdB << "" << updateButton << ""
                                              << "update-kd740b" << "full" << "" << "";
    QTest::newRow("disk full during the update") << kdB << "" << updateButton << ""
                                                 << "update-kd740b" << "full after the check" << "" << "";
}

// clang-format on

void TestRecord::recordOfRun()
{
    QFETCH(QString, instrument);
    QFETCH(QString, model);
    QFETCH(QString, button);
    QFETCH(QString, faults);
    QFETCH(QString, expected);
    QFETCH(QString, disk);
    QFETCH(QString, zeroed);
    QFETCH(QString, result);

    // A file where the records' folder would be.
    const QTemporaryDir home;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_DATA_HOME", dataHome);
        limitFileSize(-1);
        holdSyncs(false);
    });
    if (disk.startsWith(QLatin1String("full")) && !limitFileSize(-1).isEmpty())
        QSKIP(qPrintable(limitFileSize(-1)));
    const bool folderWritable = !disk.startsWith(QLatin1String("blocked")) && disk != QLatin1String("read-only");
    if (QSysInfo::productType() == QLatin1String("windows") && (!folderWritable || disk == QLatin1String("slow")))
        QSKIP("Windows takes the data folder from the user's profile, which no test may spoil, and syncs its own way");
    Sim sim;
    std::optional<UnprivilegedFileAccess> unprivileged;
    if (!folderWritable) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        QFile blocker(home.filePath(QStringLiteral("kd740-updater")));
        if (disk == QLatin1String("read-only")) {
            QVERIFY(QDir(home.path()).mkpath(QStringLiteral("kd740-updater/records")));
            QCOMPARE(QProcess::execute("chmod", { "-R", "a+rX,a-w", home.path() }), 0);
            unprivileged.emplace(sim);
        } else {
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
    }
    if (!folderWritable || disk == QLatin1String("full")) {
        onNextModal("QMessageBox", [disk](QWidget *box) {
            QVERIFY(qobject_cast<QMessageBox *>(box)->text().startsWith("No record of this run can be written: "));
            clickInWindow(qobject_cast<QPushButton *>(qobject_cast<QMessageBox *>(box)->button(
                disk.endsWith("declined") ? QMessageBox::No : QMessageBox::Yes)));
        });
    }
    sim.setDescription(instrument);
    PanelDriver driver;
    const QString folder = recordsFolder();
    const QStringList before = recordsIn(folder);
    chooseModelWhenAsked(model);
    QFile image(sim.imagePath(zeroed));
    if (!zeroed.isEmpty())
        QVERIFY(image.open(QIODevice::ReadWrite) && image.write(QByteArray(image.size(), '\0')) == image.size());
    image.close();
    if (disk == QLatin1String("full"))
        limitFileSize(64);
    driver.click(checkButton);
    const QString first = recordsIn(folder, before).value(0);
    if (disk == QLatin1String("full after the check"))
        limitFileSize(QFileInfo(QDir(folder).filePath(first)).size() + 300);
    if (!button.isEmpty()) {
        armFaults(sim, faults);
        QObject context; // the first erase waits past 5 s for its start to be on the disk, and says so
        bool erasedEarly = true;
        if (disk == QLatin1String("slow")) {
            holdSyncs(true);
            connect(driver.panel()->findChild<RunSession *>(), &RunSession::progress, &context,
                    [&](const ProgressEvent &event) {
                        if (event.step == ProgressText::waitingForRecord() && event.seconds >= 6) {
                            erasedEarly = !sim.calls().filter("Clear").isEmpty();
                            holdSyncs(false);
                        }
                    });
        }
        driver.click(button);
        QVERIFY(disk != QLatin1String("slow") || !erasedEarly);
    }
    limitFileSize(-1);
    const QStringList written = recordsIn(folder, before);
    const QStringList wanted = expected.isEmpty() ? QStringList() : expectedRecord(expected);
    // One line with the system's own reason; no line cut short, no empty record.
    if (disk.startsWith(QLatin1String("full"))) {
        const QStringList failed = driver.linesAfterIntroduction().filter("No record could be written: ");
        QVERIFY2(failed.size() == 1
                     && failed.first().endsWith(".txt: " + QString::fromLocal8Bit(std::strerror(EFBIG)) + '.'),
                 qPrintable(failed.join('\n')));
        QFile file(QDir(folder).filePath(first));
        QCOMPARE(file.open(QIODevice::ReadOnly) && file.readAll().endsWith('\n'), !first.isEmpty());
        const QStringList record = normalised(readLines(file.fileName()), file.fileName());
        QCOMPARE(record, wanted.mid(0, record.size()));
        QVERIFY(first.isEmpty() ? disk == "full" : record.size() > 20 && record.size() < wanted.size());
        return;
    }
    const QStringList log = driver.linesAfterIntroduction();
    const QStringList noRecord = log.filter("No record could be written: ");
    if (!folderWritable)
        QVERIFY(
            noRecord.size() == 1
            && noRecord.first().endsWith(QString(disk == "read-only" ? strerror(EACCES) : "cannot be created") + '.'));
    if (disk.endsWith("declined")) {
        QCOMPARE(log.mid(log.size() - 5, 3),
                 (QStringList { "Firmware updated unsuccessfully.", nothingTouched,
                                failureAdvice(RunEnd::Kind::NoRecord) }));
        QCOMPARE(sim.calls().filter(QRegularExpression("Clear|Write")), QStringList());
    } else if (!folderWritable) {
        // The same log, with one line in place of the first "Record:", the answer, and no other.
        QStringList expectedLog = logLines(wanted) << "You may now close the software.";
        expectedLog[expectedLog.indexOf(recordLine)] = noRecord.value(0);
        expectedLog.removeAll(recordLine);
        expectedLog.insert(expectedLog.indexOf("Updating Firmware") + 2, "Writing without a record.");
        QCOMPARE(log, expectedLog);
    }
    QCOMPARE(written.size(), folderWritable ? 1 : 0);
    if (written.isEmpty())
        return;
    const QString path = QDir(folder).filePath(written.first());
    // Sealed before the log names it.
    QVERIFY(readLines(path).value(readLines(path).size() - 1).startsWith("SHA-256: "));
    const QStringList record = readLines(path);
    if (wanted.isEmpty()) {
        QCOMPARE(normalised(record, path).filter(QRegularExpression("^!! ")), QStringList());
        QCOMPARE(record.filter(QRegularExpression("^result: ")), QStringList("result: " + result));
    }
    const QString identity = record.filter(QRegularExpression("^model: ")).value(0).mid(7) + QLatin1Char('-')
        + record.filter(QRegularExpression("^serial: ")).value(0).mid(8);
    QVERIFY2(QRegularExpression("^\\d{8}-\\d{6}-" + identity + "(-\\d+)?\\.txt$").match(written.first()).hasMatch(),
             qPrintable(written.first()));
    if (!wanted.isEmpty())
        QCOMPARE(normalised(record, path), wanted);
    // The log up to the line that names the record with its digest, which
    // a bench may keep outside the PC.
    const QStringList shown = driver.lines().mid(PanelDriver::introductionLines);
    const QStringList logged = logLines(record);
    QCOMPARE(logged, shown.mid(0, logged.size()));
    QCOMPARE(shown.value(logged.size()),
             "Record: " + outsideText(QDir::toNativeSeparators(path)) + ", SHA-256 " + sealOf(path).first);
}

void TestRecord::keepsEverythingUpToKill_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("streamsClosed"); // standard input, output and error
    QTest::newRow("window") << UPDATER_EXECUTABLE << false;
    QTest::newRow("window, standard streams closed") << UPDATER_EXECUTABLE << true;
    QTest::newRow("kd740-flash, standard streams closed") << FLASH_EXECUTABLE << true;
}

// The program itself, killed while the FPGA is written: the record holds
// every line and call up to the write, and the write as begun, and nothing
// else, whatever the program's standard streams were.
void TestRecord::keepsEverythingUpToKill()
{
    QFETCH(QString, program);
    QFETCH(bool, streamsClosed);
    if (streamsClosed && QSysInfo::productType() == QLatin1String("windows"))
        QSKIP("a Windows program is not started with its descriptors closed");
    const bool window = program == QLatin1String(UPDATER_EXECUTABLE);
    Sim sim;
    sim.setDescription(Sim::usbInstrument(1, 4711, 4, 5, 10));
    QStandardPaths::setTestModeEnabled(false); // the updater keeps its records as a user's
    const QString folder = recordsFolder();
    const QStringList before = recordsIn(folder);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("KDSIM_SCALE", "0.05"); // the FPGA write lasts 16 s
    const bool posix = QSysInfo::productType() != QLatin1String("windows");
    if (!posix) {
        environment.insert("QT_QPA_GENERIC_PLUGINS", "kd740drive");
        environment.insert("QT_PLUGIN_PATH", environment.value("QT_PLUGIN_PATH") + QDir::listSeparator() + DRIVE);
    }
    const QStringList arguments = window ? QStringList() : QStringList("update");
    QProcess updater;
    updater.setProcessEnvironment(environment);
    // Through a shell that preloads the driver into the window program and closes the streams.
    const QString shell = QStringLiteral("p=$1; shift; LD_PRELOAD=\"$p\" exec \"$0\" \"$@\"");
    if (posix)
        updater.start("/bin/sh",
                      QStringList { "-c", shell + (streamsClosed ? " 0<&- 1>&- 2>&-" : ""), program,
                                    window ? DRIVE : "" }
                          + arguments);
    else
        updater.start(program, arguments);
    // Killed as soon as the record shows the write begun.
    const auto path = [&] { return QDir(folder).filePath(recordsIn(folder, before).value(0)); };
    QTRY_VERIFY_WITH_TIMEOUT(!readLines(path()).filter("WriteFPGAProgram(").isEmpty(), 20000);
    updater.kill();
    QVERIFY(updater.waitForFinished());
    const QString recordPath = path();
    const QStringList record = readLines(recordPath);
    QFile::remove(recordPath);
    // Each line after the header is one whole line of the record's own.
    const QRegularExpression stamp(QStringLiteral("\\+\\d+:\\d\\d\\.\\d\\d\\d"));
    for (const QString &line : record.mid(record.indexOf(QString()) + 1))
        QVERIFY2(line.indexOf(stamp) == 0 && line.lastIndexOf(stamp) == 0, qPrintable(line));
    if (window)
        QCOMPARE(normalised(record, recordPath), expectedRecord(QStringLiteral("killed-during-fpga-write")));
    // Its copies of the images outlive it, until the next run.
    const QString copies = QFileInfo(record.filter("WriteFPGAProgram(").value(0).section('"', 1, 1)).path();
    QVERIFY2(copies.contains("kd740-images-") && QFileInfo(copies).isDir(), qPrintable(copies));
    const QTemporaryDir records;
    SessionSettings settings;
    settings.recordsFolder = records.path();
    SessionDriver next(settings);
    QVERIFY(next.check());
    QVERIFY(!QFileInfo::exists(copies));
}

QTEST_MAIN(TestRecord)
#include "tst_record.moc"
