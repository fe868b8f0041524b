// The device restore, driven through the real window against the simulated
// instrument: what the log says, what the library is asked to do, and what
// the instrument holds afterwards.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "ui/Updater.h"

#include <QTest>

using Sim = SimulatedInstrument;

namespace {

const QStringList title = { "", "Restoring Device", "" };

// A KD740B left in boot mode by a run program that is gone, and a KD740C
// whose FPGA failed to load.
const QString kdB = Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot");
const QString kdC = Sim::netInstrument(5678, 5, 3, "fpga-failed");

QStringList usbCalls(const QString &model, int serial, const QString &fpga)
{
    const QString image = QStringLiteral("\"./firmware/kd740%1_%2\"").arg(model);
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
        QStringLiteral("kdConfigNetWriteFx3(100, \"./firmware/kd740c_fx3_v5.img\", %1)").arg(serial),
        "kdConfigNetClearFPGA(100)",
        "kdConfigNetWriteFGPA(100, \"./firmware/kd740c_fpga_v3.rbf\")",
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

QStringList firstCalls(const QStringList &calls, int n)
{
    return calls.mid(0, n);
}

// The columns of the cases that add faults once the check is over. A
// failure that stops the restore pauses before it says so; after is empty
// where what the instrument holds is not the case's point.
void addFaultColumns()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("worker");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("pauseMs");
    // What the log says the failure left; empty where the restore succeeds.
    QTest::addColumn<QStringList>("state");
}

// What the log says a failure left on kdB and on kdC.
const QStringList bootErased = { "Erased or incomplete: boot Fx3.", "Not touched: run Fx3, FPGA.", mayNotWork };
const QStringList runErased = { "Written in this run: boot Fx3.", "Erased or incomplete: run Fx3.",
                                "Not touched: FPGA.", mayNotWork };
const QStringList fpgaErasedB = { "Written in this run: boot Fx3, run Fx3.", "Erased or incomplete: FPGA.",
                                  mayNotWork };
const QStringList fx3Erased = { "Erased or incomplete: FX3.", "Not touched: FPGA.", mayNotWork };
const QStringList fpgaErasedC = { "Written in this run: FX3.", "Erased or incomplete: FPGA.", mayNotWork };

// Checks the row's instrument, adds its faults and runs the restore, which
// must end with outcome and never with the other one, having asked for the
// row's calls, taken at least its pause and left what it says.
void restoreWithFaults(const QStringList &outcome)
{
    QFETCH(QString, instrument);
    QFETCH(QString, faults);
    QFETCH(QStringList, worker);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, after);
    QFETCH(int, pauseMs);
    QFETCH(QStringList, state);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, restoreButton);
    if (QTest::currentTestFailed())
        return;
    armFaults(sim, faults);

    qint64 elapsed = 0;
    const QStringList transcript = runWorkflow(sim, driver, restoreButton, &elapsed);
    QCOMPARE(transcript, title + worker + (outcome == failureBlock ? failureBlockWith(state) : outcome));
    QVERIFY(!transcript.contains((outcome == successBlock ? failureBlock : successBlock).first()));
    verifyOutcomeAnnounced(driver, outcome == failureBlock ? failureBlockWith(state) : outcome);
    QCOMPARE(sim.calls(), calls);
    QVERIFY2(elapsed >= pauseMs, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QCOMPARE(fields(sim, after), after);
    QVERIFY(onlyLogEnabled(driver));
}

} // namespace

class TestRestore : public QObject
{
    Q_OBJECT

private slots:
    void rewritesEveryPart_data();
    void rewritesEveryPart();
    void checkedCallFails_data();
    void checkedCallFails();
    void uncheckedCallFails_data();
    void uncheckedCallFails();
    void notExactlyOneNetworkInstrument_data();
    void notExactlyOneNetworkInstrument();
    void instrumentVanishesDuringFpgaWrite_data();
    void instrumentVanishesDuringFpgaWrite();
};

void TestRestore::rewritesEveryPart_data()
{
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
    bootstrapped.insert(1, "kdConfigUSBBootstrapDevice(-1, \"./firmware/kd740b_boot_4.img\")");
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

void TestRestore::rewritesEveryPart()
{
    QFETCH(QString, instrument);
    QFETCH(QString, selectModel);
    QFETCH(bool, forgetsBootstrap);
    QFETCH(int, serial);
    QFETCH(QStringList, worker);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, after);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, restoreButton, false, selectModel);
    if (QTest::currentTestFailed())
        return;
    if (forgetsBootstrap)
        sim.restart();
    if (serial)
        driver.panel()->deviceStatus.serial = serial;

    QCOMPARE(runWorkflow(sim, driver, restoreButton), title + worker + successBlock);
    QCOMPARE(sim.calls(), calls);
    QCOMPARE(fields(sim, after), after);
    verifyTakesNoMoreClicks(driver, sim);
}

void TestRestore::checkedCallFails_data()
{
    addFaultColumns();

    const QStringList anyParts;

    // A failed restore leaves its handle open: no close follows a failure.
    QTest::newRow("USB open and bootstrap")
        << kdB << Sim::fail("kdConfigUSBOpenDevice") + Sim::fail("kdConfigUSBBootstrapDevice")
        << QStringList { "Failed to open device." }
        << QStringList { "kdConfigUSBOpenDevice(-1)",
                         "kdConfigUSBBootstrapDevice(-1, \"./firmware/kd740b_boot_4.img\")" }
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
                                    << 0 << fpgaErasedB;
    QTest::newRow("USB FPGA write") << kdB << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                    << usbLines + QString("Failed writing FPGA.") << firstCalls(usbAllB, 7) << anyParts
                                    << 0 << fpgaErasedB;

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
                                    << 0 << fpgaErasedC;
    QTest::newRow("net FPGA write") << kdC << Sim::fail("kdConfigNetWriteFGPA")
                                    << netLines + QString("Failed writing FPGA.") << firstCalls(netAllC, 6) << anyParts
                                    << 0 << fpgaErasedC;
}

void TestRestore::checkedCallFails()
{
    restoreWithFaults(failureBlock);
}

void TestRestore::uncheckedCallFails_data()
{
    addFaultColumns();

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

void TestRestore::uncheckedCallFails()
{
    restoreWithFaults(successBlock);
}

void TestRestore::notExactlyOneNetworkInstrument_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<bool>("unplugged");

    QTest::newRow("none") << kdC << true;
    QTest::newRow("two") << kdC + Sim::netInstrument(5679, 5, 3) << false;
}

void TestRestore::notExactlyOneNetworkInstrument()
{
    QFETCH(QString, instrument);
    QFETCH(bool, unplugged);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, restoreButton);
    if (QTest::currentTestFailed())
        return;
    if (unplugged)
        sim.setDescription(QStringLiteral("# nothing connected\n"));
    const QString before = sim.description();

    qint64 elapsed = 0;
    QCOMPARE(runWorkflow(sim, driver, restoreButton, &elapsed),
             title + QStringList("Unable to find device.") + failureBlockWith({ nothingTouched }));
    QCOMPARE(sim.calls(), QStringList("kdConfigNetGetDeviceList(1)"));
    QVERIFY2(elapsed >= 30, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QCOMPARE(sim.description(), before);
}

void TestRestore::instrumentVanishesDuringFpgaWrite_data()
{
    addFaultColumns();

    const QStringList fpgaErased = { "fpga erased" };
    QTest::newRow("USB") << kdB << Sim::vanishAfter(6) << usbLines + QString("Failed writing FPGA.")
                         << firstCalls(usbAllB, 7) << fpgaErased << 0 << fpgaErasedB;
    QTest::newRow("net") << kdC << Sim::vanishAfter(5) << netLines + QString("Failed writing FPGA.")
                         << firstCalls(netAllC, 6) << fpgaErased << 0 << fpgaErasedC;
}

void TestRestore::instrumentVanishesDuringFpgaWrite()
{
    restoreWithFaults(failureBlock);
}

QTEST_MAIN(TestRestore)
#include "tst_restore.moc"
