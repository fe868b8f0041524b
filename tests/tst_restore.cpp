// The device restore as the window shows it, driven through the real window
// against the simulated instrument.

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "ui/Updater.h"

#include <QTest>

using Sim = SimulatedInstrument;

namespace {

// A KD740B left in boot mode by a run program that is gone, and a KD740C
// whose FPGA failed to load.
const QString kdB = Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot");
const QString kdC = Sim::netInstrument(5678, 5, 3, "fpga-failed");

} // namespace

class TestRestore : public QObject
{
    Q_OBJECT

private slots:
    void endShownInWindow_data();
    void endShownInWindow();
};

// How the window ends a restore, whichever way it ends: the outcome last in
// the log and said to a screen reader line by line, and nothing more to
// click. What each run writes and calls is the engine's (tst_session).
void TestRestore::endShownInWindow_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("selectModel");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("outcome");

    QTest::newRow("KD740B restored") << kdB << ""
                                     << "" << successBlockFor("KD740B");
    QTest::newRow("KD740A bootstrapped and restored")
        << Sim::usbInstrument(0, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent") << "KD740A"
        << "" << successBlockFor("KD740A");
    QTest::newRow("USB run write fails") << kdB << "" << Sim::fail("kdConfigUSBWriteRunSector")
                                         << failureBlockWith({ "Written in this run: boot Fx3.",
                                                               "Erased or incomplete: run Fx3.", "Not touched: FPGA.",
                                                               mayNotWork });
    QTest::newRow("net FPGA clear fails")
        << kdC << "" << Sim::fail("kdConfigNetClearFPGA")
        << failureBlockWith({ "Written in this run: FX3.", "Erased or incomplete: FPGA.", mayNotWork });
}

void TestRestore::endShownInWindow()
{
    QFETCH(QString, instrument);
    QFETCH(QString, selectModel);
    QFETCH(QString, faults);
    QFETCH(QStringList, outcome);
    verifyEndShown(instrument, restoreButton, selectModel, faults, outcome);
}

QTEST_MAIN(TestRestore)
#include "tst_restore.moc"
