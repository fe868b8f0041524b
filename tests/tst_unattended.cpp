// What looks after a write nobody watches: the PC is kept awake through
// logind, here a stand-in on a real dbus-daemon, from the start of the
// update's or restore's worker until it has ended; and the main window is
// alerted once the outcome is written.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

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

const QString inhibit = QStringLiteral(
    "inhibit sleep:shutdown:idle|KD740 Firmware Updater|Writing firmware to the KD740|block");
const QString fpgaLine = QStringLiteral("Updating FPGA, estimated 6 minutes.");
const QStringList updateLines = { "",
                                  "Updating Firmware",
                                  "",
                                  "Skipping boot Fx3, already current version.",
                                  "Skipping run Fx3, already current version.",
                                  fpgaLine };

} // namespace

void QApplication::alert(QWidget *widget, int /*duration*/)
{
    alerts << widget->windowTitle() + ": " + widget->findChild<QTextEdit *>()->document()->lastBlock().text();
}

class TestUnattended : public QObject
{
    Q_OBJECT

private slots:
    // The address is D-Bus's own, read once per process: a case starts its
    // bus there, and without one it leads nowhere.
    void initTestCase() { qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(socketPath)); }
    void keepsAwakeUntilOutcome_data();
    void keepsAwakeUntilOutcome();
    void cleanup();

private:
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

void TestUnattended::keepsAwakeUntilOutcome_data()
{
    // "logind", "none", or "silent": it takes the connection and says nothing.
    QTest::addColumn<QString>("bus");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("button");
    // Added once the check is over: a fault line, or an image to remove.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("transcript");

    const QString kdB = Sim::usbInstrument(1, 1234, 4, 5, 10);
    QTest::newRow("update succeeds") << "logind" << kdB << updateButton << QString() << updateLines + successBlock;
    QTest::newRow("update fails") << "logind" << kdB << updateButton << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                  << updateLines + QStringList("Failed Writing")
            + failureBlockWith({ "Erased or incomplete: FPGA.", "Not touched: boot Fx3, run Fx3.", mayNotWork });
    QTest::newRow("image check stops the update")
        << "logind" << kdB << updateButton << "kd740b_fpga_12.rbf"
        << QStringList { "", "Updating Firmware", "", "Firmware image not found: ./firmware/kd740b_fpga_12.rbf" }
            + failureBlockWith({ nothingTouched });
    QTest::newRow("restore succeeds") << "logind" << Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot")
                                      << restoreButton << QString()
                                      << QStringList { "",
                                                       "Restoring Device",
                                                       "",
                                                       "Updating boot Fx3, estimated 10 seconds.",
                                                       "Updating run Fx3 device, estimated 10 seconds.",
                                                       fpgaLine }
            + successBlock;
    QTest::newRow("no bus, update unchanged")
        << "none" << kdB << updateButton << QString() << updateLines + successBlock;
    QTest::newRow("silent bus, update unchanged")
        << "silent" << kdB << updateButton << QString() << updateLines + successBlock;
}

void TestUnattended::keepsAwakeUntilOutcome()
{
    QFETCH(QString, bus);
    QFETCH(QString, instrument);
    QFETCH(QString, button);
    QFETCH(QString, fault);
    QFETCH(QStringList, transcript);

    if (bus == QLatin1String("logind")) {
        daemon.start(DBUS_DAEMON, { "--session", "--nofork", "--print-address", "--address=unix:path=" + socketPath });
        QVERIFY(daemon.waitForReadyRead());
        logind.start(FAKE_LOGIND, { recordPath });
        QVERIFY(logind.waitForReadyRead());
    } else {
        if (bus == QLatin1String("silent")) {
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof address.sun_path);
            silentBus = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            QVERIFY(bind(silentBus, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
            QVERIFY(listen(silentBus, 8) == 0);
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot keep the PC awake while firmware is written: "));
    }

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, button);
    if (QTest::currentTestFailed())
        return;
    if (fault.endsWith(QLatin1String(".rbf")))
        QVERIFY(QFile::remove(sim.imagePath(fault)));
    else
        armFaults(sim, fault);
    // The FPGA's clear and write now last about 0.1 s and 1 s.
    qputenv("KDSIM_SCALE", "0.003");

    QStringList recordDuringFpga { QStringLiteral("FPGA step not seen") };
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (driver.lines().constLast() == fpgaLine && recordDuringFpga.value(0) != inhibit)
            recordDuringFpga = readLines(recordPath);
    });
    watch.start(5);
    QCOMPARE(runWorkflow(sim, driver, button), transcript);
    watch.stop();

    const bool logind = bus == QLatin1String("logind");
    const QStringList held = logind ? QStringList { inhibit } : QStringList();
    if (transcript.contains(fpgaLine))
        QCOMPARE(recordDuringFpga, held);
    QTRY_COMPARE(readLines(recordPath), logind ? held + QStringList("released") : QStringList());
    QCOMPARE(alerts, QStringList("KD740 Firmware Updater: You may now close the software."));
}

QTEST_MAIN(TestUnattended)
#include "tst_unattended.moc"
