// The engine's session without any window: each workflow over each link,
// with a failing call or none, answered as a view would answer. What the
// views show is theirs to test; here the session's own events must tell the
// whole run: its lines, every library call as the library saw it with its
// arguments, how the check and the write ended, and what the instrument
// holds afterwards.

#include "SessionDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "record/RunRecord.h"
#include "session/RunSession.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using Sim = SimulatedInstrument;

namespace {

// The first n calls of a sequence, then those that follow a failure.
QStringList firstCalls(const QStringList &calls, int n, const QStringList &then = QStringList())
{
    return QStringList(calls.mid(0, n)) + then;
}

// The columns of the cases that add faults once the check is over. A
// failure that stops a restore pauses before it says so (pauses: the rows
// say how long); after is empty where what the instrument holds is not the
// case's point.
void addFaultColumns(bool pauses)
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("worker");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("after");
    if (pauses)
        QTest::addColumn<int>("pauseMs");
    // What the log says the failure left; empty where the workflow succeeds.
    QTest::addColumn<QStringList>("state");
}

// What the log says a failure left on a USB and on a network instrument.
const QStringList bootErased = { "Erased or incomplete: boot Fx3.", "Not touched: run Fx3, FPGA.", mayNotWork };
const QStringList runErased = { "Written in this run: boot Fx3.", "Erased or incomplete: run Fx3.",
                                "Not touched: FPGA.", mayNotWork };
const QStringList fpgaErasedUsb = { "Written in this run: boot Fx3, run Fx3.", "Erased or incomplete: FPGA.",
                                    mayNotWork };
const QStringList fx3Erased = { "Erased or incomplete: FX3.", "Not touched: FPGA.", mayNotWork };
const QStringList fpgaErasedNet = { "Written in this run: FX3.", "Erased or incomplete: FPGA.", mayNotWork };

} // namespace

namespace updating {

const QStringList title = { "", "Updating Firmware", "" };

// The instruments most cases start from.
const QString kdA = Sim::usbInstrument(0, 2001, 3, 4, 8); // every part older than shipped
const QString kdB = Sim::usbInstrument(1, 1234, 4, 5, 10); // only the FPGA older
const QString kdC = Sim::netInstrument(5678, 4, 2); // reported as 4.4.2

// Full fault-free call lists for kdA and kdC.
const QString usbOpenA = QStringLiteral("kdConfigUSBOpenDeviceBySerial(-1, 2001)");
const QStringList usbAllA = {
    usbOpenA,
    "kdConfigUSBClearBootSector(100)",
    "kdConfigUSBWriteBootSector(100, \"<copy>/kd740a_boot_4.img\", 2001)",
    "kdConfigUSBClearRunSector(100)",
    "kdConfigUSBWriteRunSector(100, \"<copy>/kd740a_run_5.img\", -1)",
    "kdConfigUSBClearFPGAProgram(100, d1=0)",
    "kdConfigUSBWriteFPGAProgram(100, \"<copy>/kd740a_fpga_9.rbf\", d1=100)",
    "kdConfigUSBCloseDevice(100)",
};
const QStringList usbLinesA = { "Updating boot Fx3, estimated 10 seconds.", "Updating run Fx3, estimated 10 seconds.",
                                "Updating FPGA, estimated 6 minutes." };
const QStringList netAllC = {
    "kdConfigNetOpenDevice(-1, 5678)",
    "kdConfigNetClearFx3(100)",
    "kdConfigNetWriteFx3(100, \"<copy>/kd740c_fx3_v5.img\", 5678)",
    "kdConfigNetClearFPGA(100)",
    "kdConfigNetWriteFGPA(100, \"<copy>/kd740c_fpga_v3.rbf\")",
    "kdConfigNetPreset(100)",
};
const QStringList netLinesC = { "Updating FX3, estimated 20 seconds.", "Updating FPGA, estimated 10 minutes." };

const QStringList partsA = { "boot 3", "run 4", "fpga 8" };
const QStringList partsC = { "boot 4", "fpga 2" };

} // namespace updating

namespace restoring {

const QStringList title = { "", "Restoring Device", "" };

// A KD740B left in boot mode by a run program that is gone, and a KD740C
// whose FPGA failed to load.
const QString kdB = Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot");
const QString kdC = Sim::netInstrument(5678, 5, 3, "fpga-failed");

QStringList usbCalls(const QString &model, int serial, const QString &fpga)
{
    const QString image = QStringLiteral("\"<copy>/kd740%1_%2\"").arg(model);
    return {
        "kdConfigUSBOpenDevice(-1)",
        "kdConfigUSBClearBootSector(100)",
        QStringLiteral("kdConfigUSBWriteBootSector(100, %1, %2)").arg(image.arg("boot_4.img")).arg(serial),
        "kdConfigUSBClearRunSector(100)",
        QStringLiteral("kdConfigUSBWriteRunSector(100, %1, %2)").arg(image.arg("run_5.img")).arg(serial),
        "kdConfigUSBClearFPGAProgram(100, d1=0)",
        QStringLiteral("kdConfigUSBWriteFPGAProgram(100, %1, d1=100)").arg(image.arg(fpga)),
        "kdConfigUSBCloseDevice(100)",
    };
}

QStringList netCalls(int listed, int serial)
{
    return {
        "kdConfigNetGetDeviceList(1)",
        QStringLiteral("kdConfigNetOpenDevice(-1, %1)").arg(listed),
        "kdConfigNetClearFx3(100)",
        QStringLiteral("kdConfigNetWriteFx3(100, \"<copy>/kd740c_fx3_v5.img\", %1)").arg(serial),
        "kdConfigNetClearFPGA(100)",
        "kdConfigNetWriteFGPA(100, \"<copy>/kd740c_fpga_v3.rbf\")",
        "kdConfigNetPreset(100)",
    };
}

const QStringList usbAllB = usbCalls("b", 1234, "fpga_12.rbf");
const QStringList netAllC = netCalls(5678, 5678);
const QStringList usbLines = { "Updating boot Fx3, estimated 10 seconds.",
                               "Updating run Fx3 device, estimated 10 seconds.",
                               "Updating FPGA, estimated 6 minutes." };
const QStringList netLines = { "Updating FX3 program, estimated 10 seconds.", "Updating FPGA, estimated 10 minutes." };
const QStringList restoredB = { "boot 4", "run 5", "fpga 12", "state normal" };
const QStringList restoredC = { "boot 5", "fpga 3", "state normal" };

} // namespace restoring

namespace {

// Checks the row's instrument as the window would, which must offer the
// workflow; false, failing the test, when it does not.
bool checkOffers(SessionDriver &driver, const QString &workflow)
{
    const std::optional<CheckResult> checked = driver.check();
    const Workflow asked = workflow == QLatin1String("restore") ? Workflow::Restore : Workflow::Update;
    if (!checked || driver.offered != asked) {
        QTest::qFail(qPrintable(driver.transcript().join(QLatin1Char('\n'))), __FILE__, __LINE__);
        return false;
    }
    return true;
}

// Runs the workflow after the check: what it wrote, as a window's transcript
// gives it, and the milliseconds it took.
QStringList runWritten(SessionDriver &driver, SimulatedInstrument &sim, const QString &workflow, qint64 *elapsed)
{
    sim.clearTrace();
    const int start = driver.lineCount();
    if (!driver.write(workflow, elapsed))
        return QStringList(QStringLiteral("(the run did not end)"));
    return driver.transcript(start);
}

// Checks the row's instrument, adds its faults and runs the workflow, which
// must end with outcome and never with the other one, having asked for the
// row's calls, taken at least pauseMs and left the row's parts.
void writeWithFaults(const QString &workflow, const QStringList &title, const QStringList &outcome, int pauseMs = 0)
{
    QFETCH(QString, instrument);
    QFETCH(QString, faults);
    QFETCH(QStringList, worker);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, after);
    QFETCH(QStringList, state);

    Sim sim;
    sim.setDescription(instrument);
    SessionDriver driver;
    if (!checkOffers(driver, workflow))
        return;
    armFaults(sim, faults);

    qint64 elapsed = 0;
    const QStringList transcript = runWritten(driver, sim, workflow, &elapsed);
    // A failed close or preset leaves the instrument held: nothing answers the read-back.
    const bool held = faults.contains("fail kdConfigUSBCloseDevice") || faults.contains("fail kdConfigNetPreset");
    const QStringList ended = outcome == failureBlock ? failureBlockWith(state)
        : outcome == successBlock                     ? (held ? notConfirmedBlockOf(sim) : successBlockOf(sim))
                                                      : outcome;
    QCOMPARE(transcript, title + worker + ended);
    QVERIFY(!transcript.contains((outcome == successBlock ? failureBlock : successBlock).first()));
    QCOMPARE(sim.writeCalls(), calls);
    QVERIFY2(elapsed >= pauseMs, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QCOMPARE(fields(sim, after), after);
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
    void updateWritesPartsThatDiffer_data();
    void updateWritesPartsThatDiffer();
    void updateCallFails_data();
    void updateCallFails();
    void updateUncheckedCallFails_data();
    void updateUncheckedCallFails();
    void updateInstrumentVanishes_data();
    void updateInstrumentVanishes();
    void restoreRewritesEveryPart_data();
    void restoreRewritesEveryPart();
    void restoreCallFails_data();
    void restoreCallFails();
    void restoreUncheckedCallFails_data();
    void restoreUncheckedCallFails();
    void restoreNotExactlyOneNetworkInstrument_data();
    void restoreNotExactlyOneNetworkInstrument();
    void restoreInstrumentVanishes_data();
    void restoreInstrumentVanishes();
    void readBackLooksAgain_data();
    void readBackLooksAgain();
};

// clang-format off
void TestSession::run_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("fault");
    // "update", "restore" or "" for the check alone.
    QTest::addColumn<QString>("workflow");
    // The check's last line before the record's, and the write's outcome
    // line with what a failure left (empty: no write).
    QTest::addColumn<QString>("checkLine");
    QTest::addColumn<QStringList>("outcome");
    // The record's last line; empty: no record, nothing answered.
    QTest::addColumn<QString>("result");

    const QString usbA = Sim::usbInstrument(0, 2001, 3, 4, 8);
    const QString netC = Sim::netInstrument(5678, 4, 2);
    const QString bootB = Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot");
    const QString failedC = Sim::netInstrument(5678, 5, 3, "fpga-failed");
    const QString silentA = Sim::usbInstrument(0, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent");
    const QString press = "Press Update to continue.";
    const QString restore = "Press Restore to continue.";
    const QString good = "Firmware updated successfully.";
    const QString bad = "Firmware updated unsuccessfully.";

    QTest::newRow("update usb") << usbA << "" << "" << "update" << press << QStringList { good } << "success";
    // Read back after the failure: what the calls left, then what the instrument reports.
    QTest::newRow("update usb, FPGA write fails") << usbA << "" << Sim::fail("kdConfigUSBWriteFPGAProgram") << "update"
        << press << QStringList { bad, "Written in this run: boot Fx3, run Fx3.", "Erased or incomplete: FPGA.", mayNotWork,
                                  "The KD740A answers only in its boot mode after the write." } << "failure";
    // An FPGA still running from before its erase, and a write reported failed that did its work.
    const QString usbB = Sim::usbInstrument(1, 1234, 4, 5, 11);
    const QStringList fpgaErasedB = { bad, "Erased or incomplete: FPGA.", "Not touched: boot Fx3, run Fx3.", mayNotWork };
    QTest::newRow("update usb, FPGA erased, still running") << usbB << "" << Sim::lost("kdConfigUSBClearFPGAProgram")
        + Sim::fail("kdConfigUSBWriteFPGAProgram") << "update" << press << fpgaErasedB + QStringList { "The KD740B reports firmware 4.5.11.",
        "The KD740B still reports FPGA version 11, but this run erased its FPGA: it will not start after a power cycle. Restore it now.",
        "Check device connections and re-run the software." } << "failure";
    QTest::newRow("update usb, FPGA written, reported failed") << usbB << "" << Sim::badStatus("kdConfigUSBWriteFPGAProgram")
        << "update" << press << fpgaErasedB + QStringList { "The KD740B reports firmware 4.5.12.",
        "The KD740B reports FPGA version 12 although the write was reported failed: cycle its power and check again." } << "failure";
    QTest::newRow("update usb, open fails") << usbA << "" << Sim::fail("kdConfigUSBOpenDeviceBySerial") << "update"
        << press << QStringList { bad, "Nothing was erased or written." } << "failure";
    QTest::newRow("update net") << netC << "" << "" << "update" << press << QStringList { good } << "success";
    QTest::newRow("update net, FX3 clear fails") << netC << "" << Sim::fail("kdConfigNetClearFx3") << "update"
        << press << QStringList { bad, "Erased or incomplete: FX3.", "Not touched: FPGA." } << "failure";
    QTest::newRow("restore usb") << bootB << "" << "" << "restore" << restore << QStringList { good } << "success";
    QTest::newRow("restore usb, run write fails") << bootB << "" << Sim::fail("kdConfigUSBWriteRunSector") << "restore"
        << restore << QStringList { bad, "Written in this run: boot Fx3.", "Erased or incomplete: run Fx3." } << "failure";
    QTest::newRow("restore net") << failedC << "" << "" << "restore" << restore << QStringList { good } << "success";
    QTest::newRow("restore net, FPGA clear fails") << failedC << "" << Sim::fail("kdConfigNetClearFPGA") << "restore"
        << restore << QStringList { bad, "Written in this run: FX3.", "Erased or incomplete: FPGA." } << "failure";
    QTest::newRow("bootstrap usb, restore") << silentA << "KD740A" << "" << "restore" << restore << QStringList { good } << "success";
    QTest::newRow("bootstrap usb fails") << silentA << "KD740A" << Sim::fail("kdConfigUSBBootstrapDevice") << ""
        << "If you continue to receive this message, contact Corvane." << QStringList() << "not found";
    QTest::newRow("no model named") << silentA << "" << "" << "" << "Looking to bootstrap KD740." << QStringList()
                                    << "no model named";
    QTest::newRow("downgrade declined") << Sim::usbInstrument(1, 1237, 4, 5, 13) << "No" << "" << ""
        << "Cancelling operation." << QStringList() << "downgrade declined";
    // What the instrument reports after the write decides the outcome.
    const QString lostFpga = Sim::lost("kdConfigUSBClearFPGAProgram") + Sim::lost("kdConfigUSBWriteFPGAProgram");
    QTest::newRow("update usb, FPGA write lost") << usbA << "" << lostFpga << "update" << press
        << QStringList { "The KD740A reports FPGA version 8 after the write, not 9.", bad,
                         "Written in this run: boot Fx3, run Fx3, FPGA.", "The KD740A reports firmware 4.5.8." } << "failure";
    // The network reports no FPGA version: only the FX3's is held against the shipped one.
    QTest::newRow("update net, FX3 write lost") << netC << "" << Sim::lost("kdConfigNetClearFx3") + Sim::lost("kdConfigNetWriteFx3")
        << "update" << press << QStringList { "The KD740C reports FX3 version 4 after the write, not 5.", bad }
        << "failure";
    QTest::newRow("update net, FPGA write lost") << netC << "" << Sim::lost("kdConfigNetClearFPGA") + Sim::lost("kdConfigNetWriteFGPA")
        << "update" << press << QStringList { "The KD740C now reports FX3 version 5, and its FPGA loaded.", good }
        << "success";
    QTest::newRow("update usb, no answer after the write")
        << usbA + "  power-cycle-after-write yes\n" << "" << "" << "update" << press
        << QStringList { "Firmware written; not confirmed.", "The KD740A did not answer after the write.", checkAgain }
        << "not confirmed";
    // Another instrument that answers is not the one written.
    const QStringList notConfirmed = { "Firmware written; not confirmed.", "%1 did not answer after the write.",
                                       checkAgain };
    QTest::newRow("update usb, another instrument answers")
        << usbA + "  power-cycle-after-write yes\n" + Sim::usbInstrument(0, 2002, 4, 5, 9) << "" << "" << "update" << press
        << QStringList(notConfirmed).replaceInStrings("%1", "The KD740A") << "not confirmed";
    QTest::newRow("update net, a USB instrument answers")
        << netC + "  power-cycle-after-write yes\n" + Sim::usbInstrument(1, 1234, 4, 5, 12) << "" << "" << "update" << press
        << QStringList(notConfirmed).replaceInStrings("%1", "The KD740C") << "not confirmed";
    QTest::newRow("restore net, FPGA does not load after the write")
        << failedC << "" << Sim::lost("kdConfigNetWriteFGPA") << "restore" << restore
        << QStringList { bad, "Written in this run: FX3, FPGA.", "The KD740C reports that its FPGA did not load after the write.",
                         mayNotWork } << "failure";
    // The window's cancel of the model question ends the program, its record kept.
    QTest::newRow("read fails, no model named") << Sim::usbInstrument(1, 1238, 4, 5, 10) << "" << Sim::fail("kdGetFirmwareVersion")
        << "" << "Looking to bootstrap KD740." << QStringList() << "no model named";
    QTest::newRow("current") << Sim::usbInstrument(1, 1236, 4, 5, 12) << "" << "" << "" << "Firmware does not require update."
        << QStringList() << "current";
    // An identity the library reports read but leaves unwritten is not read: no model is taken for a KD740A, no
    // serial for 0. The check asks for the model, and nothing is erased.
    const QString usbB12 = Sim::usbInstrument(1, 1239, 4, 5, 10);
    const QString asked = "Looking to bootstrap KD740.";
    const QStringList unwritten = { "kdGetFirmwareVersion fpgaVersion", "kdGetDeviceInfo deviceType", "kdGetDeviceInfo serial" };
    for (const QString &output : unwritten)
        QTest::newRow(qPrintable("usb run mode, unwritten " + output)) << usbB12 << "" << "unwritten " + output + "\n" << ""
            << asked << QStringList() << "no model named";
    for (const QString &output : QStringList { "kdConfigUSBGetDeviceSerial serial", "kdConfigUSBGetDeviceType deviceType" })
        QTest::newRow(qPrintable("usb boot mode, unwritten " + output)) << bootB << "" << "unwritten " + output + "\n" << ""
            << asked << QStringList() << "no model named";
    QTest::newRow("usb boot mode, model lost") << bootB << "" << Sim::lost("kdConfigUSBGetDeviceType") << "" << asked
        << QStringList() << "no model named";
    for (const QString &output : QStringList { "kdConfigNetGetFirmwareVersion version", "kdConfigNetGetFPGAStatus status",
                                               "kdConfigNetGetDeviceList serials" })
        QTest::newRow(qPrintable("net, unwritten " + output)) << netC << "" << "unwritten " + output + "\n" << "" << asked
            << QStringList() << "no model named";
    QTest::newRow("usb open, unwritten handle") << usbB12 << "" << "unwritten kdOpenDevice handle\n" << "" << asked
        << QStringList() << "no model named";
    // A part that carries the serial is never written with serial 0; the FPGA alone carries none.
    QTest::newRow("update usb, serial 0") << Sim::usbInstrument(0, 0, 3, 4, 8) << "" << "" << "update" << press
        << QStringList { "The KD740 reported no usable serial number; nothing was erased.", bad, "Nothing was erased or written." }
        << "failure";
    QTest::newRow("update usb FPGA only, serial 0") << Sim::usbInstrument(1, 0, 4, 5, 11) << "" << "" << "update" << press
        << QStringList { good } << "success";
    QTest::newRow("bootstrap, serial from flash lost") << silentA << "KD740A" << Sim::lost("kdConfigUSBGetSerialFromFlash") << ""
        << "If you continue to receive this message, contact Corvane." << QStringList() << "failure";
}
// clang-format on

void TestSession::run()
{
    QFETCH(QString, instrument);
    QFETCH(QString, answer);
    QFETCH(QString, fault);
    QFETCH(QString, workflow);
    QFETCH(QString, checkLine);
    QFETCH(QStringList, outcome);
    QFETCH(QString, result);

    Sim sim;
    sim.setDescription(instrument + fault);
    SessionDriver driver;
    driver.model = answer;
    driver.installOlder = answer == QLatin1String("Yes");
    // Another session in the process, whose images no list can verify,
    // leaves this one's images as they were.
    const QTemporaryDir unlisted;
    SessionSettings unverified;
    unverified.images = ImageSource::listedIn(QFile::encodeName(unlisted.path()));
    const SessionDriver beside(unverified);

    QStringList calls;
    connect(&driver.session(), &RunSession::call, this, [&](const CallEvent &call) { calls << call.name; });
    const std::optional<CheckResult> checked = driver.check();
    QVERIFY(checked);
    // A record is kept of a check that reached an instrument, and named last.
    const QStringList lines = driver.transcript();
    const bool recorded = !result.isEmpty();
    QCOMPARE(lines.filter(QRegularExpression("^(Record|No record)")).size(), recorded ? 1 : 0);
    QCOMPARE(lines.at(lines.size() - (recorded ? 2 : 1)), checkLine);
    QCOMPARE(checked->modelDeclined, answer.isEmpty() && checked->state == NotDetected);
    const QString recordPath = driver.session().recordPath();
    std::optional<RunEnd> written;
    if (!workflow.isEmpty())
        written = driver.write(workflow);
    // The session heard of every call the library took, in its order.
    QStringList taken = sim.calls();
    for (QString &call : taken)
        call = call.section(QLatin1Char('('), 0, 0);
    QCOMPARE(calls, taken);
    // One end, which ends the program only where the user declined to name a model.
    QVERIFY(driver.end);
    QCOMPARE(driver.end->endsProgram, checked->modelDeclined);
    if (workflow.isEmpty())
        QVERIFY2(!taken.join(' ').contains("Clear"), qPrintable(taken.join('\n')));
    if (recorded)
        QTRY_COMPARE(readLines(recordPath).filter(QRegularExpression("^result: ")), QStringList("result: " + result));
    if (workflow.isEmpty())
        return;
    QVERIFY(written);
    QCOMPARE(written->kind == RunEnd::Kind::Success, outcome.contains(QLatin1String("Firmware updated successfully.")));
    const QStringList all = driver.transcript().replaceInStrings(QRegularExpression("^\\[\\w+\\] "), QString());
    const int first = all.lastIndexOf(outcome.first());
    QVERIFY2(first > 0, qPrintable(all.join('\n')));
    QCOMPARE(all.mid(first, outcome.size()), outcome);
    QCOMPARE(all.last(), QStringLiteral("You may now close the software."));
}

void TestSession::updateWritesPartsThatDiffer_data()
{
    using namespace updating;
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<bool>("downgrade");
    // Versions put in place of what the check read, for combinations that a
    // network check cannot report; empty to keep what it read.
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<QStringList>("worker");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("skips");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("KD740A every part") << kdA << false << QList<int>() << usbLinesA << usbAllA << 0
                                       << QStringList { "boot 4", "run 5", "fpga 9" };

    QTest::newRow("KD740B FPGA only")
        << kdB << false << QList<int>()
        << QStringList { "Skipping boot Fx3, already current version.", "Skipping run Fx3, already current version.",
                         "Updating FPGA, estimated 6 minutes." }
        << QStringList { "kdConfigUSBOpenDeviceBySerial(-1, 1234)", "kdConfigUSBClearFPGAProgram(100, d1=0)",
                         "kdConfigUSBWriteFPGAProgram(100, \"<copy>/kd740b_fpga_12.rbf\", d1=100)",
                         "kdConfigUSBCloseDevice(100)" }
        << 2 << QStringList { "boot 4", "run 5", "fpga 12" };

    QTest::newRow("KD740B boot only")
        << Sim::usbInstrument(1, 1234, 3, 5, 12) << false << QList<int>()
        << QStringList { "Updating boot Fx3, estimated 10 seconds.", "Skipping run Fx3, already current version.",
                         "Skipping FPGA, already current version." }
        << QStringList { "kdConfigUSBOpenDeviceBySerial(-1, 1234)", "kdConfigUSBClearBootSector(100)",
                         "kdConfigUSBWriteBootSector(100, \"<copy>/kd740b_boot_4.img\", 1234)",
                         "kdConfigUSBCloseDevice(100)" }
        << 2 << QStringList { "boot 4", "run 5", "fpga 12" };

    // A newer part is written over like an older one once the user agreed.
    QTest::newRow("KD740A newer run only")
        << Sim::usbInstrument(0, 77, 4, 6, 9) << true << QList<int>()
        << QStringList { "Skipping boot Fx3, already current version.", "Updating run Fx3, estimated 10 seconds.",
                         "Skipping FPGA, already current version." }
        << QStringList { "kdConfigUSBOpenDeviceBySerial(-1, 77)", "kdConfigUSBClearRunSector(100)",
                         "kdConfigUSBWriteRunSector(100, \"<copy>/kd740a_run_5.img\", -1)",
                         "kdConfigUSBCloseDevice(100)" }
        << 2 << QStringList { "boot 4", "run 5", "fpga 9" };

    QTest::newRow("KD740C FX3 and FPGA") << kdC << false << QList<int>() << netLinesC << netAllC << 0
                                         << QStringList { "boot 5", "fpga 3" };

    // Version 6 is unknown to the catalogue and reads as 0.0.0.
    QTest::newRow("KD740C unknown version") << Sim::netInstrument(5678, 6, 3) << false << QList<int>() << netLinesC
                                            << netAllC << 0 << QStringList { "boot 5", "fpga 3" };

    QTest::newRow("KD740C FPGA only") << kdC << false << QList<int> { 5, 5, 2 }
                                      << QStringList { "Skipping FX3, already current version.",
                                                       "Updating FPGA, estimated 10 minutes." }
                                      << QStringList { "kdConfigNetOpenDevice(-1, 5678)", "kdConfigNetClearFPGA(100)",
                                                       "kdConfigNetWriteFGPA(100, \"<copy>/kd740c_fpga_v3.rbf\")",
                                                       "kdConfigNetPreset(100)" }
                                      << 1 << QStringList { "boot 4", "fpga 3" };

    QTest::newRow("KD740C FX3 only") << kdC << false << QList<int> { 4, 4, 3 }
                                     << QStringList { "Updating FX3, estimated 20 seconds.",
                                                      "Skipping FPGA, already current version." }
                                     << QStringList { "kdConfigNetOpenDevice(-1, 5678)", "kdConfigNetClearFx3(100)",
                                                      "kdConfigNetWriteFx3(100, \"<copy>/kd740c_fx3_v5.img\", 5678)",
                                                      "kdConfigNetPreset(100)" }
                                     << 1 << QStringList { "boot 5", "fpga 2" };

    // The network sequence has no run part, so a differing run version alone
    // writes nothing, yet the instrument is still preset.
    QTest::newRow("KD740C run differs only")
        << kdC << false << QList<int> { 5, 4, 3 }
        << QStringList { "Skipping FX3, already current version.", "Skipping FPGA, already current version." }
        << QStringList { "kdConfigNetOpenDevice(-1, 5678)", "kdConfigNetPreset(100)" } << 2 << partsC;
}

void TestSession::updateWritesPartsThatDiffer()
{
    using namespace updating;
    QFETCH(QString, instrument);
    QFETCH(bool, downgrade);
    QFETCH(QList<int>, reported);
    QFETCH(QStringList, worker);
    QFETCH(QStringList, calls);
    QFETCH(int, skips);
    QFETCH(QStringList, after);

    Sim sim;
    sim.setDescription(instrument);
    SessionDriver driver;
    driver.installOlder = downgrade;
    if (!checkOffers(driver, QStringLiteral("update")))
        return;
    if (!reported.isEmpty()) {
        FirmwareTarget &firmware = driver.session().deviceStatus().deviceFirmware;
        firmware.bootVersion = reported.at(0);
        firmware.runVersion = reported.at(1);
        firmware.fpgaVersion = reported.at(2);
    }

    qint64 elapsed = 0;
    const QStringList written = runWritten(driver, sim, QStringLiteral("update"), &elapsed);
    // What a network instrument reads back of a combination it cannot report is not these rows' point.
    const int compared = reported.isEmpty() ? -1 : int(title.size() + worker.size());
    QCOMPARE(written.mid(0, compared), QStringList(title + worker + successBlockOf(sim)).mid(0, compared));
    QCOMPARE(sim.writeCalls(), calls);
    QVERIFY2(elapsed >= 30LL * skips, qPrintable(QStringLiteral("%1 ms for %2 skips").arg(elapsed).arg(skips)));
    QCOMPARE(fields(sim, after), after);
}

void TestSession::updateCallFails_data()
{
    using namespace updating;
    addFaultColumns(false);

    const QString close = QStringLiteral("kdConfigUSBCloseDevice(100)");
    // After a closed USB update the instrument is read back: what it reports follows the state lines, and
    // where it reports a part the calls left erased, a line says what to make of it.
    const auto reportsA = [](const char *firmware) { return QString("The KD740A reports firmware %1.").arg(firmware); };
    const auto clearFailedA = [](const char *part, int version) {
        return QString("The KD740A still reports %1 version %2, but its %1 may be erased: this run's clear of it "
                       "failed. Restore it now.")
            .arg(part)
            .arg(version);
    };
    const auto writtenAlthoughFailedA = [](const char *part, int version) {
        return QString("The KD740A reports %1 version %2 although the write was reported failed: cycle its power "
                       "and check again.")
            .arg(part)
            .arg(version);
    };
    const QString bootModeA = "The KD740A answers only in its boot mode after the write.";

    // Once open, the handle is closed whichever way the update ends; nothing
    // to close when the open itself failed.
    QTest::newRow("USB open") << kdA << Sim::fail("kdConfigUSBOpenDeviceBySerial")
                              << QStringList { "Cannot Find Device" } << firstCalls(usbAllA, 1) << partsA
                              << QStringList(nothingTouched);
    QTest::newRow("USB boot clear") << kdA << Sim::fail("kdConfigUSBClearBootSector")
                                    << QStringList { usbLinesA.at(0), "Failed Clearing" }
                                    << firstCalls(usbAllA, 2, { close }) << partsA
                                    << bootErased + reportsA("3.4.8") + clearFailedA("boot Fx3", 3);
    QTest::newRow("USB boot write") << kdA << Sim::fail("kdConfigUSBWriteBootSector")
                                    << QStringList { usbLinesA.at(0), "Failed Writing" }
                                    << firstCalls(usbAllA, 3, { close })
                                    << QStringList { "boot erased", "run 4", "fpga 8" } << bootErased;
    QTest::newRow("USB FPGA clear") << kdA << Sim::fail("kdConfigUSBClearFPGAProgram")
                                    << usbLinesA + QString("Failed Clearing") << firstCalls(usbAllA, 6, { close })
                                    << QStringList { "boot 4", "run 5", "fpga 8" }
                                    << fpgaErasedUsb + reportsA("4.5.8") + clearFailedA("FPGA", 8);
    QTest::newRow("USB FPGA write") << kdA << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                    << usbLinesA + QString("Failed Writing") << firstCalls(usbAllA, 7, { close })
                                    << QStringList { "boot 4", "run 5", "fpga erased" } << fpgaErasedUsb + bootModeA;
    // A status that reports failure after the work was done still stops the
    // sequence: the program cannot know the work was done.
    QTest::newRow("USB boot write bad status")
        << kdA << Sim::badStatus("kdConfigUSBWriteBootSector") << QStringList { usbLinesA.at(0), "Failed Writing" }
        << firstCalls(usbAllA, 3, { close }) << QStringList { "boot 4", "run 4", "fpga 8" }
        << bootErased + reportsA("4.4.8") + writtenAlthoughFailedA("boot Fx3", 4);

    // The run program is checked like the others: an instrument left without
    // it stays in boot mode. A bad status after the work was done still stops.
    const QStringList runLines = usbLinesA.mid(0, 2);
    QTest::newRow("USB run clear") << kdA << Sim::fail("kdConfigUSBClearRunSector") << runLines + "Failed Clearing"
                                   << firstCalls(usbAllA, 4, { close }) << QStringList { "boot 4", "run 4", "fpga 8" }
                                   << runErased + reportsA("4.4.8") + clearFailedA("run Fx3", 4);
    QTest::newRow("USB run clear bad status")
        << kdA << Sim::badStatus("kdConfigUSBClearRunSector") << runLines + "Failed Clearing"
        << firstCalls(usbAllA, 4, { close }) << QStringList { "boot 4", "run erased", "fpga 8" }
        << runErased + bootModeA;
    QTest::newRow("USB run write") << kdA << Sim::fail("kdConfigUSBWriteRunSector") << runLines + "Failed Writing"
                                   << firstCalls(usbAllA, 5, { close })
                                   << QStringList { "boot 4", "run erased", "fpga 8" } << runErased + bootModeA;
    QTest::newRow("USB run write bad status")
        << kdA << Sim::badStatus("kdConfigUSBWriteRunSector") << runLines + "Failed Writing"
        << firstCalls(usbAllA, 5, { close }) << QStringList { "boot 4", "run 5", "fpga 8" }
        << runErased + reportsA("4.5.8") + writtenAlthoughFailedA("run Fx3", 5);

    QTest::newRow("net open") << kdC << Sim::fail("kdConfigNetOpenDevice") << QStringList { "Cannot Find Device" }
                              << firstCalls(netAllC, 1) << partsC << QStringList(nothingTouched);
    QTest::newRow("net FX3 clear") << kdC << Sim::fail("kdConfigNetClearFx3")
                                   << QStringList { netLinesC.at(0), "Failed Clearing" } << firstCalls(netAllC, 2)
                                   << partsC << fx3Erased;
    QTest::newRow("net FX3 write") << kdC << Sim::fail("kdConfigNetWriteFx3")
                                   << QStringList { netLinesC.at(0), "Failed Writing" } << firstCalls(netAllC, 3)
                                   << QStringList { "boot erased", "fpga 2" } << fx3Erased;
    QTest::newRow("net FPGA clear") << kdC << Sim::fail("kdConfigNetClearFPGA")
                                    << netLinesC + QString("Failed Clearing") << firstCalls(netAllC, 4)
                                    << QStringList { "boot 5", "fpga 2" } << fpgaErasedNet;
    QTest::newRow("net FPGA write") << kdC << Sim::fail("kdConfigNetWriteFGPA") << netLinesC + QString("Failed Writing")
                                    << firstCalls(netAllC, 5) << QStringList { "boot 5", "fpga erased" }
                                    << fpgaErasedNet;
}

void TestSession::updateCallFails()
{
    writeWithFaults(QStringLiteral("update"), updating::title, failureBlock);
}

void TestSession::updateUncheckedCallFails_data()
{
    using namespace updating;
    addFaultColumns(false);

    const QStringList writtenA = { "boot 4", "run 5", "fpga 9" };
    const QStringList writtenC = { "boot 5", "fpga 3" };

    // The parts are written by the time these fail.
    QTest::newRow("USB close fails") << kdA << Sim::fail("kdConfigUSBCloseDevice") << usbLinesA << usbAllA << writtenA
                                     << QStringList();
    QTest::newRow("preset bad status") << kdC << Sim::badStatus("kdConfigNetPreset") << netLinesC << netAllC << writtenC
                                       << QStringList();
    QTest::newRow("preset fails") << kdC << Sim::fail("kdConfigNetPreset") << netLinesC << netAllC << writtenC
                                  << QStringList();
}

void TestSession::updateUncheckedCallFails()
{
    writeWithFaults(QStringLiteral("update"), updating::title, successBlock);
}

void TestSession::updateInstrumentVanishes_data()
{
    using namespace updating;
    addFaultColumns(false);

    const QStringList fpgaErased = { "fpga erased" };
    QTest::newRow("USB") << kdA << Sim::vanishAfter(6) << usbLinesA + QString("Failed Writing") << usbAllA << fpgaErased
                         << fpgaErasedUsb;
    QTest::newRow("net") << kdC << Sim::vanishAfter(4) << netLinesC + QString("Failed Writing")
                         << firstCalls(netAllC, 5) << fpgaErased << fpgaErasedNet;
}

void TestSession::updateInstrumentVanishes()
{
    writeWithFaults(QStringLiteral("update"), updating::title, failureBlock);
}

void TestSession::restoreRewritesEveryPart_data()
{
    using namespace restoring;
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("selectModel");
    // The instrument forgets the check's bootstrap before the restore, as
    // after losing power.
    QTest::addColumn<bool>("forgetsBootstrap");
    // A serial put in place of the one the check found, 0 to keep it.
    QTest::addColumn<int>("serial");
    QTest::addColumn<QStringList>("worker");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("KD740B in boot mode") << kdB << QString() << false << 0 << usbLines << usbAllB << restoredB;
    QTest::newRow("KD740A bootstrapped by the check")
        << Sim::usbInstrument(0, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent") << "KD740A" << false << 0
        << usbLines << usbCalls("a", 2001, "fpga_9.rbf") << QStringList { "boot 4", "run 5", "fpga 9", "state normal" };

    QStringList bootstrapped = usbAllB;
    bootstrapped.insert(1, "kdConfigUSBBootstrapDevice(-1, \"<copy>/kd740b_boot_4.img\")");
    QTest::newRow("KD740B bootstrapped by the restore")
        << Sim::usbInstrument(1, 1234, Sim::Erased, 5, 12, "silent") << "KD740B" << true << 0 << usbLines
        << bootstrapped << restoredB;

    // The boot and run programs carry the serial the check found.
    QTest::newRow("KD740B serial from the check")
        << kdB << QString() << false << 4321 << usbLines << usbCalls("b", 4321, "fpga_12.rbf")
        << QStringList { "serial 4321", "boot 4", "run 5", "fpga 12" };

    QTest::newRow("KD740C FPGA failed") << kdC << QString() << false << 0 << netLines << netAllC << restoredC;
    QTest::newRow("KD740C bootstrapped by the check") << Sim::netInstrument(5678, Sim::Erased, Sim::Erased, "silent")
                                                      << "KD740C" << false << 0 << netLines << netAllC << restoredC;
    // Opened by the serial the device list gives, written with the one the
    // check found.
    QTest::newRow("KD740C serial from the check")
        << kdC << QString() << false << 4321 << netLines << netCalls(5678, 4321)
        << QStringList { "serial 4321", "boot 5", "fpga 3" };
}

void TestSession::restoreRewritesEveryPart()
{
    using namespace restoring;
    QFETCH(QString, instrument);
    QFETCH(QString, selectModel);
    QFETCH(bool, forgetsBootstrap);
    QFETCH(int, serial);
    QFETCH(QStringList, worker);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, after);

    Sim sim;
    sim.setDescription(instrument);
    SessionDriver driver;
    driver.model = selectModel;
    if (!checkOffers(driver, QStringLiteral("restore")))
        return;
    if (forgetsBootstrap)
        sim.restart();
    if (serial)
        driver.session().deviceStatus().serial = serial;

    const QStringList written = runWritten(driver, sim, QStringLiteral("restore"), nullptr);
    QCOMPARE(written, title + worker + successBlockOf(sim));
    QCOMPARE(sim.writeCalls(), calls);
    QCOMPARE(fields(sim, after), after);
}

void TestSession::restoreCallFails_data()
{
    using namespace restoring;
    addFaultColumns(true);

    const QStringList anyParts;

    // A failed restore leaves its handle open: no close follows a failure.
    QTest::newRow("USB open and bootstrap")
        << kdB << Sim::fail("kdConfigUSBOpenDevice") + Sim::fail("kdConfigUSBBootstrapDevice")
        << QStringList { "Failed to open device." }
        << QStringList { "kdConfigUSBOpenDevice(-1)", "kdConfigUSBBootstrapDevice(-1, \"<copy>/kd740b_boot_4.img\")" }
        << anyParts << 30 << QStringList(nothingTouched);
    QTest::newRow("USB boot clear") << kdB << Sim::fail("kdConfigUSBClearBootSector")
                                    << QStringList { usbLines.at(0), "Failed clearing boot Fx3 device." }
                                    << firstCalls(usbAllB, 2) << anyParts << 0 << bootErased;
    QTest::newRow("USB boot write") << kdB << Sim::fail("kdConfigUSBWriteBootSector")
                                    << QStringList { usbLines.at(0), "Failed writing boot Fx3." }
                                    << firstCalls(usbAllB, 3) << anyParts << 0 << bootErased;
    // A bad status stops the restore although the work was done.
    const QStringList runLines = usbLines.mid(0, 2);
    QTest::newRow("USB run clear") << kdB << Sim::fail("kdConfigUSBClearRunSector")
                                   << runLines + "Failed clearing run Fx3 device." << firstCalls(usbAllB, 4) << anyParts
                                   << 0 << runErased;
    QTest::newRow("USB run clear bad status")
        << kdB << Sim::badStatus("kdConfigUSBClearRunSector") << runLines + "Failed clearing run Fx3 device."
        << firstCalls(usbAllB, 4) << anyParts << 0 << runErased;
    QTest::newRow("USB run write") << kdB << Sim::fail("kdConfigUSBWriteRunSector")
                                   << runLines + "Failed writing run Fx3." << firstCalls(usbAllB, 5)
                                   << QStringList { "run erased", "fpga 12" } << 0 << runErased;
    QTest::newRow("USB run write bad status")
        << kdB << Sim::badStatus("kdConfigUSBWriteRunSector") << runLines + "Failed writing run Fx3."
        << firstCalls(usbAllB, 5) << QStringList { "run 5", "fpga 12" } << 0 << runErased;
    QTest::newRow("USB FPGA clear") << kdB << Sim::fail("kdConfigUSBClearFPGAProgram")
                                    << usbLines + QString("Failed clearing FPGA.") << firstCalls(usbAllB, 6) << anyParts
                                    << 0 << fpgaErasedUsb;
    QTest::newRow("USB FPGA write") << kdB << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                    << usbLines + QString("Failed writing FPGA.") << firstCalls(usbAllB, 7) << anyParts
                                    << 0 << fpgaErasedUsb;

    QTest::newRow("net open") << kdC << Sim::fail("kdConfigNetOpenDevice") << QStringList { "Failed to open device." }
                              << firstCalls(netAllC, 2) << anyParts << 30 << QStringList(nothingTouched);
    QTest::newRow("net FX3 clear") << kdC << Sim::fail("kdConfigNetClearFx3")
                                   << QStringList { netLines.at(0), "Failed clearing boot FX3 device." }
                                   << firstCalls(netAllC, 3) << anyParts << 0 << fx3Erased;
    QTest::newRow("net FX3 write") << kdC << Sim::fail("kdConfigNetWriteFx3")
                                   << QStringList { netLines.at(0), "Failed writing FX3." } << firstCalls(netAllC, 4)
                                   << anyParts << 0 << fx3Erased;
    QTest::newRow("net FPGA clear") << kdC << Sim::fail("kdConfigNetClearFPGA")
                                    << netLines + QString("Failed clearing FPGA.") << firstCalls(netAllC, 5) << anyParts
                                    << 0 << fpgaErasedNet;
    QTest::newRow("net FPGA write") << kdC << Sim::fail("kdConfigNetWriteFGPA")
                                    << netLines + QString("Failed writing FPGA.") << firstCalls(netAllC, 6) << anyParts
                                    << 0 << fpgaErasedNet;
}

void TestSession::restoreCallFails()
{
    QFETCH(int, pauseMs);
    writeWithFaults(QStringLiteral("restore"), restoring::title, failureBlock, pauseMs);
}

void TestSession::restoreUncheckedCallFails_data()
{
    using namespace restoring;
    addFaultColumns(true);

    // The parts are written by the time these fail.
    QTest::newRow("USB close bad status")
        << kdB << Sim::badStatus("kdConfigUSBCloseDevice") << usbLines << usbAllB << restoredB << 0 << QStringList();
    QTest::newRow("USB close fails") << kdB << Sim::fail("kdConfigUSBCloseDevice") << usbLines << usbAllB << restoredB
                                     << 0 << QStringList();
    QTest::newRow("preset bad status") << kdC << Sim::badStatus("kdConfigNetPreset") << netLines << netAllC << restoredC
                                       << 0 << QStringList();
    QTest::newRow("preset fails") << kdC << Sim::fail("kdConfigNetPreset") << netLines << netAllC
                                  << QStringList { "boot 5", "fpga 3" } << 0 << QStringList();
    // Only the count the list gives decides.
    QTest::newRow("device list bad status")
        << kdC << Sim::badStatus("kdConfigNetGetDeviceList") << netLines << netAllC << restoredC << 0 << QStringList();
}

void TestSession::restoreUncheckedCallFails()
{
    QFETCH(int, pauseMs);
    writeWithFaults(QStringLiteral("restore"), restoring::title, successBlock, pauseMs);
}

void TestSession::restoreNotExactlyOneNetworkInstrument_data()
{
    using namespace restoring;
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<bool>("unplugged");

    QTest::newRow("none") << kdC << true;
    QTest::newRow("two") << kdC + Sim::netInstrument(5679, 5, 3) << false;
}

void TestSession::restoreNotExactlyOneNetworkInstrument()
{
    QFETCH(QString, instrument);
    QFETCH(bool, unplugged);

    Sim sim;
    sim.setDescription(instrument);
    SessionDriver driver;
    if (!checkOffers(driver, QStringLiteral("restore")))
        return;
    if (unplugged)
        sim.setDescription(QStringLiteral("# nothing connected\n"));
    const QString before = sim.description();

    qint64 elapsed = 0;
    QCOMPARE(runWritten(driver, sim, QStringLiteral("restore"), &elapsed),
             restoring::title + QStringList("Unable to find device.") + failureBlockWith({ nothingTouched }));
    QCOMPARE(sim.calls(), QStringList("kdConfigNetGetDeviceList(1)"));
    QVERIFY2(elapsed >= 30, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QCOMPARE(sim.description(), before);
}

void TestSession::restoreInstrumentVanishes_data()
{
    using namespace restoring;
    addFaultColumns(true);

    const QStringList fpgaErased = { "fpga erased" };
    QTest::newRow("USB") << kdB << Sim::vanishAfter(6) << usbLines + QString("Failed writing FPGA.")
                         << firstCalls(usbAllB, 7) << fpgaErased << 0 << fpgaErasedUsb;
    QTest::newRow("net") << kdC << Sim::vanishAfter(5) << netLines + QString("Failed writing FPGA.")
                         << firstCalls(netAllC, 6) << fpgaErased << 0 << fpgaErasedNet;
}

void TestSession::restoreInstrumentVanishes()
{
    QFETCH(int, pauseMs);
    writeWithFaults(QStringLiteral("restore"), restoring::title, failureBlock, pauseMs);
}

void TestSession::readBackLooksAgain_data()
{
    QTest::addColumn<QString>("second");
    QTest::addColumn<QStringList>("outcome");

    // Restarting after the write, the instrument answers in its boot mode at
    // the first look; at the next it runs the shipped firmware, or stays.
    QTest::newRow("boot mode, then running")
        << Sim::usbInstrument(0, 2001, 4, 5, 9) << QStringList(successBlockFor("KD740A").mid(0, 2));
    QTest::newRow("boot mode to the end")
        << QString()
        << QStringList { failureBlock.first(), "Written in this run: boot Fx3, run Fx3, FPGA.",
                         "The KD740A answers only in its boot mode after the write.", mayNotWork };
}

void TestSession::readBackLooksAgain()
{
    QFETCH(QString, second);
    QFETCH(QStringList, outcome);

    Sim sim;
    sim.setDescription(updating::kdA);
    SessionSettings settings;
    settings.readBackWaitMs = 1500;
    SessionDriver driver(settings);
    if (!checkOffers(driver, QStringLiteral("update")))
        return;
    // The write's close restarts it in boot mode; the first look's close is followed by the second state.
    int closes = 0;
    connect(&driver.session(), &RunSession::call, this, [&](const CallEvent &call) {
        if (call.name != QLatin1String("kdConfigUSBCloseDevice"))
            return;
        if (++closes == 1)
            sim.setDescription(Sim::usbInstrument(0, 2001, 4, 5, 9, "boot"));
        else if (closes == 2 && !second.isEmpty())
            sim.setDescription(second);
    });
    qint64 elapsed = 0;
    const QStringList transcript = runWritten(driver, sim, QStringLiteral("update"), &elapsed);
    const int first = transcript.indexOf(outcome.first());
    QVERIFY2(first > 0, qPrintable(transcript.join('\n')));
    QCOMPARE(transcript.mid(first, outcome.size()), outcome);
    // Boot mode is taken for an answer only once the wait is over.
    QVERIFY2(second.isEmpty() == (elapsed >= settings.readBackWaitMs), qPrintable(QString::number(elapsed)));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
