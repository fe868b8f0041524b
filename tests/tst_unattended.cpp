// What looks after a write nobody watches: the PC is kept awake through
// logind, here a stand-in on a real dbus-daemon, from the start of the
// update's or restore's worker until it has ended; the main window is
// alerted once the outcome is written; and the updater ends promptly once it
// is closed, whatever the bus does, while a signal waits for the write.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <utility>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using Sim = SimulatedInstrument;

namespace {

// No headless platform shows an alert, so this binary takes the call: the
// window's title and the log's last line at the time.
QStringList alerts;

const QTemporaryDir busDir;
const QString socketPath = busDir.filePath(QStringLiteral("system_bus_socket"));
const QString recordPath = busDir.filePath(QStringLiteral("record.txt"));

const QString sleepLock = QStringLiteral("sleep:shutdown:idle");
const QString lidLock = QStringLiteral("handle-lid-switch");
const QStringList bothAsked = { "inhibit " + sleepLock + "|KD740 Firmware Updater|Writing firmware to the KD740|block",
                                "inhibit " + lidLock + "|KD740 Firmware Updater|Writing firmware to the KD740|block" };

// The sanitizers' own checks at exit take their time.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int exitLimitMs = 5000;
#else
constexpr int exitLimitMs = 1000;
#endif
const QString fpgaLine = QStringLiteral("Updating FPGA, estimated 6 minutes.");
const QStringList updateLines = { "",
                                  "Updating Firmware",
                                  "",
                                  "Skipping boot Fx3, already current version.",
                                  "Skipping run Fx3, already current version.",
                                  fpgaLine };

// Checks the low battery's question, then answers it with a button or typed keys.
void answerBatteryQuestion(const QString &answer, const QString &percent)
{
    onNextModal("QMessageBox", [=](QWidget *widget) {
        auto *box = static_cast<QMessageBox *>(widget);
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(QStringList({ box->windowTitle(), box->text(), box->informativeText(), box->buttons()[0]->text(),
                               box->buttons()[1]->text(), box->defaultButton()->text(), box->escapeButton()->text() }),
                 QStringList({ "Low Battery",
                               "The PC runs on battery at " + percent
                                   + " %. If it shuts down during the write, the KD740 may not work until it is "
                                     "restored.",
                               "Connect the PC to mains power, then continue.", "Continue", "Cancel", "Cancel",
                               "Cancel" }));
        // Typed once the question has the keyboard, on its default button.
        // Whatever fails, the question is answered with the mouse, so that
        // the row ends rather than the test.
        if (answer.startsWith(QLatin1String("keys "))) {
            const QPointer<QMessageBox> question(box);
            const auto fail = [question](const char *what) {
                if (question && question->isVisible())
                    clickInWindow(findButton(question, "Cancel"));
                QFAIL(what);
            };
            if (!QTest::qWaitFor(
                    [box] { return box->isActiveWindow() && QApplication::focusWidget() == box->defaultButton(); }))
                return fail("the question did not get the keyboard on its default button");
            // A reader announces the question once, on its default button,
            // the focus never passing through the window behind it.
            const QStringList focused = PanelDriver::takeFocusChanges();
            if (PanelDriver::hearsAnnouncements() && focused != QStringList("Low Battery: Cancel"))
                return fail(qPrintable("the focus went elsewhere first: " + focused.join(", ")));
            typeKeys(answer.mid(5).split(' '));
            if (!QTest::qWaitFor([question] { return !question || !question->isVisible(); }))
                return fail("the keys did not answer the question");
        } else {
            clickInWindow(findButton(box, answer));
        }
    });
}

} // namespace

void QApplication::alert(QWidget *widget, int /*duration*/)
{
    alerts << widget->windowTitle() + ": " + widget->findChild<QTextEdit *>()->document()->lastBlock().text();
}

class TestUnattended : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keepsAwakeUntilOutcome_data();
    void keepsAwakeUntilOutcome();
    void endsWhenClosedOrSignalled_data();
    void endsWhenClosedOrSignalled();
    void flashStopsBeforeErasing_data();
    void flashStopsBeforeErasing();
    void cleanup();

private:
    void startBus(const QString &bus);

    QProcess daemon;
    QProcess logind;
    int silentBus = -1;
};

void TestUnattended::cleanup()
{
    for (QProcess *process : { &logind, &daemon }) {
        process->terminate();
        process->waitForFinished();
    }
    if (silentBus >= 0)
        close(std::exchange(silentBus, -1));
    QFile::remove(socketPath);
    QFile::remove(recordPath);
    alerts.clear();
}

// The address is D-Bus's own, read once per process: a case starts its bus
// there, and without one it leads nowhere. A test started in the background
// by a shell has SIGINT ignored, which the updater would inherit and keep.
void TestUnattended::initTestCase()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(socketPath));
    for (const int signal : { SIGINT, SIGTERM, SIGHUP, SIGQUIT }) {
        struct sigaction previous = {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            std::signal(signal, SIG_DFL);
    }
}

// "logind" with the stand-in's mode after a blank, "none", or "silent": it
// takes the connection and says nothing. "upower:POWER" last stands in for
// UPower too.
void TestUnattended::startBus(const QString &bus)
{
    if (bus.startsWith(QLatin1String("logind"))) {
        daemon.start(DBUS_DAEMON, { "--session", "--nofork", "--print-address", "--address=unix:path=" + socketPath });
        QVERIFY(daemon.waitForReadyRead());
        logind.start(FAKE_LOGIND, QStringList(recordPath) + bus.split(QLatin1Char(' ')).mid(1));
        QVERIFY(logind.waitForReadyRead());
    } else if (bus == QLatin1String("silent")) {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof address.sun_path);
        silentBus = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(bind(silentBus, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(listen(silentBus, 8) == 0);
    }
}

void TestUnattended::keepsAwakeUntilOutcome_data()
{
    QTest::addColumn<QString>("bus");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("button");
    // Added once the check is over: a fault line, an image to remove, or
    // "answer " and the button that answers the low battery's question.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("transcript");
    // Which locks end once the write has: the others were refused or never held.
    QTest::addColumn<QStringList>("released");

    const QStringList both = { "released " + sleepLock, "released " + lidLock };
    const QString kdB = Sim::usbInstrument(1, 1234, 4, 5, 10);
    QTest::newRow("update succeeds") << "logind" << kdB << updateButton << QString()
                                     << updateLines + successBlockFor("KD740B") << both;
    QTest::newRow("update fails") << "logind" << kdB << updateButton << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                  << updateLines + QStringList("Failed Writing")
            + failureBlockWith({ "Erased or incomplete: FPGA.", "Not touched: boot Fx3, run Fx3.", mayNotWork,
                                 "The KD740B answers only in its boot mode after the write." })
                                  << both;
    // The check proved a copy of it, which is what is written.
    QTest::newRow("image removed after the check")
        << "logind" << kdB << updateButton << "kd740b_fpga_12.rbf" << updateLines + successBlockFor("KD740B") << both;
    QTest::newRow("restore succeeds") << "logind" << Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot")
                                      << restoreButton << QString()
                                      << QStringList { "",
                                                       "Restoring Device",
                                                       "",
                                                       "Updating boot Fx3, estimated 10 seconds.",
                                                       "Updating run Fx3 device, estimated 10 seconds.",
                                                       fpgaLine }
            + successBlockFor("KD740B")
                                      << both;
    QTest::newRow("lid lock refused, the other holds")
        << "logind refuse:" + lidLock << kdB << updateButton << QString() << updateLines + successBlockFor("KD740B")
        << QStringList { both[0] };
    QTest::newRow("sleep lock refused, the lid's holds")
        << "logind refuse:" + sleepLock << kdB << updateButton << QString() << updateLines + successBlockFor("KD740B")
        << QStringList { both[1] };
    QTest::newRow("hostile refusal, update unchanged") << "logind hostile" << kdB << updateButton << QString()
                                                       << updateLines + successBlockFor("KD740B") << QStringList();
    QTest::newRow("no bus, update unchanged")
        << "none" << kdB << updateButton << QString() << updateLines + successBlockFor("KD740B") << QStringList();
    QTest::newRow("silent bus, update unchanged")
        << "silent" << kdB << updateButton << QString() << updateLines + successBlockFor("KD740B") << QStringList();

    // Before the first erase UPower is asked: 25 % or more is mentioned, below is asked about.
    const auto onBattery = [](const QString &percent) {
        return updateLines.mid(0, 3) + ("The PC runs on battery (" + percent + " %). Keep it connected to mains power.")
            + updateLines.mid(3) + successBlockFor("KD740B");
    };
    const auto stopped = [](const QString &title, const QString &percent) {
        return QStringList { "", title, "", "Stopped: the PC's battery is at " + percent + " %." }
        + failureBlockWith({ nothingTouched }, batteryAdvice);
    };
    const QString bootB = Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot");
    const QStringList updated = updateLines + successBlockFor("KD740B");
    QTest::newRow("50 %") << "logind upower:battery:50" << kdB << updateButton << "" << onBattery("50") << both;
    QTest::newRow("24.6 %") << "logind upower:battery:24.6" << kdB << updateButton << "" << onBattery("25") << both;
    QTest::newRow("10 %, Continue") << "logind upower:battery:10" << kdB << updateButton << "answer Continue"
                                    << onBattery("10") << both;
    QTest::newRow("10 %, Cancel") << "logind upower:battery:10" << kdB << updateButton << "answer Cancel"
                                  << stopped("Updating Firmware", "10") << both;
    QTest::newRow("24.4 %, Escape") << "logind upower:battery:24.4" << kdB << updateButton << "answer keys Escape"
                                    << stopped("Updating Firmware", "24") << both;
    // The question takes the keyboard however the update was started: with
    // the mouse, or typed where the check left the focus (on Update).
    for (const QString &start : { QString(), QStringLiteral("typed update, ") }) {
        QTest::addRow("10 %%, %sReturn", qPrintable(start))
            << "logind upower:battery:10" << kdB << updateButton << start + "answer keys Return"
            << stopped("Updating Firmware", "10") << both;
        QTest::addRow("10 %%, %sTab Space", qPrintable(start))
            << "logind upower:battery:10" << kdB << updateButton << start + "answer keys Tab space" << onBattery("10")
            << both;
    }
    QTest::newRow("24.4 %, typed update, Escape")
        << "logind upower:battery:24.4" << kdB << updateButton << "typed update, answer keys Escape"
        << stopped("Updating Firmware", "24") << both;
    QTest::newRow("restore at 3 %, Cancel") << "logind upower:battery:3" << bootB << restoreButton << "answer Cancel"
                                            << stopped("Restoring Device", "3") << both;
    QTest::newRow("charging") << "logind upower:charging:10" << kdB << updateButton << "" << updated << both;
    QTest::newRow("no battery") << "logind upower:no-battery" << kdB << updateButton << "" << updated << both;
    QTest::newRow("UPower never answers") << "logind upower:silent" << kdB << updateButton << "" << updated << both;
}

void TestUnattended::keepsAwakeUntilOutcome()
{
    QFETCH(QString, bus);
    QFETCH(QString, instrument);
    QFETCH(QString, button);
    QFETCH(QString, fault);
    QFETCH(QStringList, transcript);
    QFETCH(QStringList, released);

    const QString typed = QStringLiteral("typed update, ");
    const QStringList keys = fault.startsWith(typed) ? QStringList("Return") : QStringList();
    if (!keys.isEmpty())
        fault.remove(0, typed.size());

    startBus(bus);
    if (QTest::currentTestFailed())
        return;
    const QString warning = QStringLiteral("Cannot keep the PC awake while firmware is written: ");
    // The bus's words as text: each control shown escaped (six characters for one), cut where they would fill a
    // screen.
    const QString hostile = "org.freedesktop.DBus.Error.AccessDenied: \\u001B[32mFAKE: Firmware updated "
                            "successfully.\\u001B[0m\\u009B2J";
    const bool warned = !bus.startsWith(QLatin1String("logind")) || bus.contains(QRegularExpression("refuse|hostile"));
    if (bus.endsWith(QLatin1String("hostile")))
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable(warning + hostile + QString(200 - hostile.size() + 3 * 5, 'x') + "..."));
    else if (warned)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression('^' + warning));

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, button);
    if (QTest::currentTestFailed())
        return;
    if (fault.endsWith(QLatin1String(".rbf")))
        QVERIFY(QFile::remove(sim.imagePath(fault)));
    else if (fault.startsWith(QLatin1String("answer ")))
        answerBatteryQuestion(fault.mid(7), QString::number(qRound(bus.section(':', -1).toDouble())));
    else
        armFaults(sim, fault);
    // The FPGA's clear and write now last about 0.1 s and 1 s.
    qputenv("KDSIM_SCALE", "0.003");

    const QStringList asked = bus.startsWith(QLatin1String("logind")) ? bothAsked : QStringList();
    QStringList recordDuringFpga { QStringLiteral("FPGA step not seen") };
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (driver.lines().constLast() == fpgaLine && recordDuringFpga != asked)
            recordDuringFpga = readLines(recordPath);
    });
    watch.start(5);
    QCOMPARE(runWorkflow(sim, driver, button, nullptr, keys), transcript);
    watch.stop();

    if (transcript.contains(fpgaLine))
        QCOMPARE(recordDuringFpga, asked);
    // The two locks end in either order.
    const auto sorted = [](QStringList lines) {
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    QTRY_COMPARE(sorted(readLines(recordPath)), sorted(asked + released));
    QCOMPARE(alerts, QStringList("KD740 Firmware Updater: You may now close the software."));
    // The run's record says what the log of a console would.
    const QString runRecord = driver.log()
                                  ->toPlainText()
                                  .section(QStringLiteral("\nRecord: "), -1)
                                  .section('\n', 0, 0)
                                  .section(", SHA-256 ", 0, 0);
    QCOMPARE(readLines(runRecord).filter(warning).size(), warned ? 1 : 0);
}

// The real updater, driven by a library preloaded into it: it checks and
// updates, then the window is closed, or a signal came during the write.
void TestUnattended::endsWhenClosedOrSignalled_data()
{
    QTest::addColumn<QString>("bus");
    // 0: the window is closed after the outcome; above 0: sent during the
    // write, or, where logind never answers, while the locks are asked for;
    // below 0: sent after the outcome.
    QTest::addColumn<int>("signal");
    // The instrument answers nothing after the write until its power is
    // cycled: the signal comes during the read-back.
    QTest::addColumn<bool>("silentAfterWrite");

    QTest::newRow("silent bus, window closed") << "silent" << 0 << false;
    QTest::newRow("no bus, window closed") << "none" << 0 << false;
    QTest::newRow("logind never answers, window closed") << "logind silent" << 0 << false;
    QTest::newRow("logind refuses, window closed") << "logind refuse:" + sleepLock + ',' + lidLock << 0 << false;
    QTest::newRow("logind answers after the write, window closed") << "logind late:6000" << 0 << false;
    QTest::newRow("logind, window closed") << "logind" << 0 << false;
    QTest::newRow("SIGINT during the write") << "logind" << SIGINT << false;
    QTest::newRow("SIGTERM during the write") << "logind" << SIGTERM << false;
    QTest::newRow("SIGHUP during the write") << "logind" << SIGHUP << false;
    QTest::newRow("SIGQUIT during the write") << "logind" << SIGQUIT << false;
    for (const int signal : { SIGINT, SIGTERM, SIGHUP, SIGQUIT })
        QTest::addRow("signal %d before the first clear", signal) << "logind silent" << signal << false;
    QTest::newRow("SIGTERM after the outcome ends it as ever") << "logind" << -SIGTERM << false;
    QTest::newRow("SIGTERM during the read-back") << "logind" << SIGTERM << true;
}

void TestUnattended::endsWhenClosedOrSignalled()
{
    QFETCH(QString, bus);
    QFETCH(int, signal);
    QFETCH(bool, silentAfterWrite);

    startBus(bus);
    if (QTest::currentTestFailed())
        return;
    Sim sim;
    sim.setDescription(Sim::usbInstrument(1, 1234, 4, 5, 10)
                       + (silentAfterWrite ? "  power-cycle-after-write yes\n" : ""));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", KD740_DRIVE);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // The FPGA's write now lasts about 1.3 s.
    environment.insert("KDSIM_SCALE", "0.004");
    if (signal != 0)
        environment.insert("KDDRIVE_KEEP_OPEN", "1");
    QProcess updater;
    updater.setProcessEnvironment(environment);
    updater.setWorkingDirectory(sim.dir());
    updater.start(UPDATER_EXECUTABLE, QStringList());
    QVERIFY(updater.waitForStarted());

    const bool beforeClear = signal > 0 && bus == QLatin1String("logind silent");
    if (beforeClear)
        QTRY_COMPARE_WITH_TIMEOUT(readLines(recordPath), bothAsked, 30000);
    else if (silentAfterWrite)
        QTRY_VERIFY2_WITH_TIMEOUT(!sim.readBackCalls().isEmpty(), qPrintable(sim.calls().join('\n')), 30000);
    else if (signal > 0)
        QTRY_VERIFY_WITH_TIMEOUT(sim.calls().contains("kdConfigUSBClearFPGAProgram(100, d1=0)"), 30000);
    if (signal > 0) {
        // Twice during the write: the second must change nothing. A stopped
        // run, or one asked to end during its read-back, ends at once, and a
        // second signal would end it as ever. A pid of 0 would signal this test.
        const int times = beforeClear || silentAfterWrite ? 1 : 2;
        for (int sent = 0; sent < times && updater.state() == QProcess::Running; ++sent) {
            QCOMPARE(kill(static_cast<pid_t>(updater.processId()), signal), 0);
            QTest::qWait(50);
        }
    }
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += updater.readAllStandardOutput()).contains("end of log")
                                 || updater.state() == QProcess::NotRunning,
                             30000);
    if (signal < 0 && updater.state() == QProcess::Running)
        QCOMPARE(kill(static_cast<pid_t>(updater.processId()), -signal), 0);
    QElapsedTimer sinceOutcome;
    sinceOutcome.start();
    const bool ended = updater.state() == QProcess::NotRunning || updater.waitForFinished(exitLimitMs);
    QVERIFY2(ended, qPrintable(QStringLiteral("still running %1 ms after the outcome").arg(sinceOutcome.elapsed())));
    QCOMPARE(updater.exitStatus(), signal < 0 ? QProcess::CrashExit : QProcess::NormalExit);
    if (signal >= 0)
        QCOMPARE(updater.exitCode(), 0);

    // The line comes once, however many signals came.
    const QByteArray closing = signal > 0 ? "\nClosing when the firmware write has ended." : "";
    // The record's line names a file of this run only.
    const QString log = QString::fromUtf8(output).remove(QRegularExpression("\nRecord: [^\n]*"));
    if (beforeClear) {
        const QString stopped = "Stopped before anything was erased.\nFirmware updated unsuccessfully.\n";
        QVERIFY2(log.contains("Updating Firmware\n\n" + stopped + nothingTouched + '\n' + stoppedAdvice),
                 qPrintable(log));
        QVERIFY(sim.calls().filter(QRegularExpression("Clear|Write|Bootstrap")).isEmpty());
        return;
    }
    // The write is over: the program does not wait out the read-back.
    if (silentAfterWrite) {
        QVERIFY2(log.contains(fpgaLine
                              + "\nClosing without reading the versions back: the firmware write has ended."
                                "\nFirmware written; not confirmed.\nThe KD740B did not answer after the write.\n"
                              + checkAgain + "\nYou may now close the software.\nend of log"),
                 qPrintable(log));
        return;
    }
    QVERIFY2(log.contains(fpgaLine + QString::fromLatin1(closing)
                          + "\nThe KD740B now reports firmware 4.5.12.\nFirmware updated successfully."
                            "\nYou may now close the software.\nend of log"),
             qPrintable(log));
    const QStringList written = sim.writeCalls();
    QCOMPARE(written.mid(written.size() - 2),
             QStringList({ "kdConfigUSBWriteFPGAProgram(100, \"<copy>/kd740b_fpga_12.rbf\", d1=100)",
                           "kdConfigUSBCloseDevice(100)" }));
}

// kd740-flash stops where the window would ask or stop: a battery below 25 %
// ends it with status 6 unless --ignore-power, a signal that comes while the
// locks are asked for with 128 + its number.
void TestUnattended::flashStopsBeforeErasing_data()
{
    QTest::addColumn<QString>("bus");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("result"); // the record's, in the words of the README

    const QString low = QStringLiteral("Stopped: the PC's battery is at 10 %.");
    QTest::newRow("10 %") << "logind upower:battery:10"
                          << "update" << 0 << low << 6 << "low battery";
    QTest::newRow("10 %, --ignore-power")
        << "logind upower:battery:10"
        << "update --ignore-power" << 0 << "The PC runs on battery (10 %). Keep it connected to mains power." << 0
        << "success";
    QTest::newRow("bootstrap at 10 %") << "logind upower:battery:10"
                                       << "restore --model KD740B" << 0 << low << 6 << "low battery";
    for (const int signal : { SIGINT, SIGTERM, SIGHUP, SIGQUIT }) {
        QTest::addRow("signal %d before the first clear", signal)
            << "logind silent"
            << "update" << signal << "Stopped before anything was erased." << 128 + signal << "stopped";
    }
}

void TestUnattended::flashStopsBeforeErasing()
{
    QFETCH(QString, bus);
    QFETCH(QString, arguments);
    QFETCH(int, signal);
    QFETCH(QString, line);
    QFETCH(int, exitCode);
    QFETCH(QString, result);

    startBus(bus);
    Sim sim;
    // The bootstrap's instrument answers nothing.
    sim.setDescription(arguments.startsWith(QLatin1String("restore"))
                           ? Sim::usbInstrument(1, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent")
                           : Sim::usbInstrument(1, 1234, 4, 5, 10));
    qputenv("KDSIM_SCALE", "0.003");
    QProcess flash;
    flash.setWorkingDirectory(sim.dir());
    flash.start(FLASH_EXECUTABLE, arguments.split(' '));
    if (signal != 0) {
        QTRY_COMPARE_WITH_TIMEOUT(readLines(recordPath), bothAsked, 30000);
        QCOMPARE(kill(static_cast<pid_t>(flash.processId()), signal), 0);
    }
    QVERIFY(flash.waitForFinished(30000));
    const QStringList lines = QString::fromUtf8(flash.readAllStandardOutput()).split('\n');
    QVERIFY2(lines.contains(line), qPrintable(lines.join('\n')));
    QCOMPARE(flash.exitStatus(), QProcess::NormalExit);
    QCOMPARE(flash.exitCode(), exitCode);
    QCOMPARE(sim.calls().filter(QRegularExpression("Clear|Write|Bootstrap")).isEmpty(), exitCode != 0);
    const QString record = lines.filter(QRegularExpression("^Record: .*, SHA-256 ")).value(0).mid(8);
    QCOMPARE(readLines(record.section(", SHA-256 ", 0, -2)).filter(QRegularExpression("^result: ")),
             QStringList("result: " + result));
}

QTEST_MAIN(TestUnattended)
#include "tst_unattended.moc"
