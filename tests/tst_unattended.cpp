// What looks after a write nobody watches: the PC is kept awake through
// logind, here a stand-in on a private bus of a real dbus-daemon, from the
// start of the update's or restore's worker until it has ended; and the main
// window is alerted once the outcome is written.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "ui/Updater.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

using Sim = SimulatedInstrument;

namespace {

// No headless platform shows an alert, so this binary takes the call itself.
QStringList alerts;

const QString inhibit = QStringLiteral(
    "inhibit sleep:shutdown:idle|KD740 Firmware Updater|Writing firmware to the KD740|block");
const QString fpgaLine = QStringLiteral("Updating FPGA, estimated 6 minutes.");
const QStringList fpgaOnly = { "Skipping boot Fx3, already current version.",
                               "Skipping run Fx3, already current version.", fpgaLine };
const QStringList restoreLines = { "Updating boot Fx3, estimated 10 seconds.",
                                   "Updating run Fx3 device, estimated 10 seconds.", fpgaLine };

} // namespace

// Each alert is noted with the window's title and the log's last line then.
void QApplication::alert(QWidget *widget, int duration)
{
    Q_UNUSED(duration)
    const auto *log = widget->findChild<QTextEdit *>();
    alerts << widget->windowTitle() + QStringLiteral(": ") + (log ? log->document()->lastBlock().text() : QString());
}

class TestUnattended : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keepsAwakeUntilOutcome_data();
    void keepsAwakeUntilOutcome();
    void cleanup();

private:
    bool startBus();
    QStringList record() const;

    QTemporaryDir busDir;
    QString socketPath;
    QProcess daemon;
    QProcess logind;
};

// The address is D-Bus's own, read once per process: each case starts its
// bus there, and without one it leads nowhere.
void TestUnattended::initTestCase()
{
    QVERIFY(busDir.isValid());
    socketPath = busDir.filePath(QStringLiteral("system_bus_socket"));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(socketPath));
}

bool TestUnattended::startBus()
{
    QFile config(busDir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig>\n  <listen>unix:path="
                 + QFile::encodeName(socketPath)
                 + "</listen>\n  <auth>EXTERNAL</auth>\n"
                   "  <policy context=\"default\">\n"
                   "    <allow send_destination=\"*\"/>\n    <allow receive_sender=\"*\"/>\n    <allow own=\"*\"/>\n"
                   "  </policy>\n</busconfig>\n");
    config.close();
    daemon.start(QStringLiteral(DBUS_DAEMON),
                 { "--config-file=" + config.fileName(), "--nofork", "--nopidfile", "--print-address" });
    if (!daemon.waitForReadyRead(10000))
        return false;
    logind.start(QStringLiteral(FAKE_LOGIND), { busDir.filePath(QStringLiteral("record.txt")) });
    return logind.waitForReadyRead(10000) && logind.readAllStandardOutput().startsWith("ready");
}

QStringList TestUnattended::record() const
{
    return readLines(busDir.filePath(QStringLiteral("record.txt")));
}

void TestUnattended::cleanup()
{
    for (QProcess *process : { &logind, &daemon }) {
        process->terminate();
        process->waitForFinished(5000);
    }
    QFile::remove(socketPath);
    QFile::remove(busDir.filePath(QStringLiteral("record.txt")));
    alerts.clear();
}

// clang-format off
void TestUnattended::keepsAwakeUntilOutcome_data()
{
    QTest::addColumn<bool>("bus");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("button");
    // Made to go wrong once the check is over: a fault line, or "missing"
    // and an image that is then removed.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("transcript");

    const QString kdB = Sim::usbInstrument(1, 1234, 4, 5, 10);
    const QStringList updateTitle = { "", "Updating Firmware", "" };
    QTest::newRow("update succeeds") << true << kdB << updateButton << QString()
                                     << updateTitle + fpgaOnly + successBlock;
    QTest::newRow("update fails") << true << kdB << updateButton << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                  << updateTitle + fpgaOnly + QStringList("Failed Writing") + failureBlock;
    QTest::newRow("image check stops the update")
        << true << kdB << updateButton << "missing kd740b_fpga_12.rbf"
        << updateTitle + QStringList("Firmware image not found: ./firmware/kd740b_fpga_12.rbf") + failureBlock;
    QTest::newRow("restore succeeds") << true << Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot")
                                      << restoreButton << QString()
                                      << QStringList { "", "Restoring Device", "" } + restoreLines + successBlock;
    QTest::newRow("no bus, update succeeds unchanged") << false << kdB << updateButton << QString()
                                                       << updateTitle + fpgaOnly + successBlock;
}
// clang-format on

void TestUnattended::keepsAwakeUntilOutcome()
{
    QFETCH(bool, bus);
    QFETCH(QString, instrument);
    QFETCH(QString, button);
    QFETCH(QString, fault);
    QFETCH(QStringList, transcript);

    if (bus)
        QVERIFY2(startBus(), "could not start dbus-daemon and the stand-in logind");
    else
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot keep the PC awake while firmware is written: "));

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, button);
    if (QTest::currentTestFailed())
        return;
    if (fault.startsWith(QLatin1String("missing ")))
        QVERIFY(QFile::remove(sim.imagePath(fault.section(QLatin1Char(' '), 1))));
    else
        armFaults(sim, fault);
    // The FPGA's clear and write now last about 0.1 s and 1 s.
    qputenv("KDSIM_SCALE", "0.003");

    QStringList recordDuringFpga;
    QTimer watch;
    watch.setInterval(5);
    connect(&watch, &QTimer::timeout, [&] {
        if (recordDuringFpga.isEmpty() && driver.lines().constLast() == fpgaLine)
            recordDuringFpga = record() << QStringLiteral("(during the FPGA step)");
    });
    watch.start();
    QCOMPARE(runWorkflow(sim, driver, button), transcript);
    watch.stop();

    const QStringList held = bus ? QStringList { inhibit } : QStringList();
    if (transcript.contains(fpgaLine))
        QCOMPARE(recordDuringFpga, held + QStringList("(during the FPGA step)"));
    QTRY_COMPARE(record(), bus ? held + QStringList("released") : QStringList());
    QCOMPARE(alerts, QStringList("KD740 Firmware Updater: You may now close the software."));
}

QTEST_MAIN(TestUnattended)
#include "tst_unattended.moc"
