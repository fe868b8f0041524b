// The firmware update, driven through the real window against the simulated
// instrument: what the log says, what the library is asked to do, and what
// the instrument holds afterwards.

#include "FileAccess.h"
#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "ui/Updater.h"
#include "workers/ProgressText.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

using Sim = SimulatedInstrument;

namespace {

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
    "kdConfigUSBWriteBootSector(100, \"./firmware/kd740a_boot_4.img\", 2001)",
    "kdConfigUSBClearRunSector(100)",
    "kdConfigUSBWriteRunSector(100, \"./firmware/kd740a_run_5.img\", -1)",
    "kdConfigUSBClearFPGAProgram(100, d1=0)",
    "kdConfigUSBWriteFPGAProgram(100, \"./firmware/kd740a_fpga_9.rbf\", d1=100)",
    "kdConfigUSBCloseDevice(100)",
};
const QStringList usbLinesA = { "Updating boot Fx3, estimated 10 seconds.", "Updating run Fx3, estimated 10 seconds.",
                                "Updating FPGA, estimated 6 minutes." };
const QStringList netAllC = {
    "kdConfigNetOpenDevice(-1, 5678)",
    "kdConfigNetClearFx3(100)",
    "kdConfigNetWriteFx3(100, \"./firmware/kd740c_fx3_v5.img\", 5678)",
    "kdConfigNetClearFPGA(100)",
    "kdConfigNetWriteFGPA(100, \"./firmware/kd740c_fpga_v3.rbf\")",
    "kdConfigNetPreset(100)",
};
const QStringList netLinesC = { "Updating FX3, estimated 20 seconds.", "Updating FPGA, estimated 10 minutes." };

const QStringList partsA = { "boot 3", "run 4", "fpga 8" };
const QStringList partsC = { "boot 4", "fpga 2" };

// The first n calls of a sequence, then those that follow a failure.
QStringList firstCalls(const QStringList &calls, int n, const QStringList &then = QStringList())
{
    return QStringList(calls.mid(0, n)) + then;
}

// The columns of the cases that add faults once the check is over.
void addFaultColumns()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("worker");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("partsAfter");
    // What the log says the failure left; empty where the update succeeds.
    QTest::addColumn<QStringList>("state");
}

// What the log says a failure left on kdA and on kdC.
const QStringList bootErased = { "Erased or incomplete: boot Fx3.", "Not touched: run Fx3, FPGA.", mayNotWork };
const QStringList runErased = { "Written in this run: boot Fx3.", "Erased or incomplete: run Fx3.",
                                "Not touched: FPGA.", mayNotWork };
const QStringList fpgaErasedA = { "Written in this run: boot Fx3, run Fx3.", "Erased or incomplete: FPGA.",
                                  mayNotWork };
const QStringList fx3Erased = { "Erased or incomplete: FX3.", "Not touched: FPGA.", mayNotWork };
const QStringList fpgaErasedC = { "Written in this run: FX3.", "Erased or incomplete: FPGA.", mayNotWork };

// Checks the row's instrument, adds its faults and runs the update, which
// must end with outcome and never with the other one, having asked for the
// row's calls and left the row's parts.
void updateWithFaults(const QStringList &outcome)
{
    QFETCH(QString, instrument);
    QFETCH(QString, faults);
    QFETCH(QStringList, worker);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, partsAfter);
    QFETCH(QStringList, state);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, updateButton);
    if (QTest::currentTestFailed())
        return;
    armFaults(sim, faults);

    const QStringList transcript = runWorkflow(sim, driver, updateButton);
    QCOMPARE(transcript, title + worker + (outcome == failureBlock ? failureBlockWith(state) : outcome));
    QVERIFY(!transcript.contains((outcome == successBlock ? failureBlock : successBlock).first()));
    verifyOutcomeAnnounced(driver, outcome == failureBlock ? failureBlockWith(state) : outcome);
    QCOMPARE(sim.calls(), calls);
    QCOMPARE(fields(sim, partsAfter), partsAfter);
    QVERIFY(onlyLogEnabled(driver));
}

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void writesPartsThatDiffer_data();
    void writesPartsThatDiffer();
    void checkedCallFails_data();
    void checkedCallFails();
    void uncheckedCallFails_data();
    void uncheckedCallFails();
    void instrumentVanishesDuringFpgaWrite_data();
    void instrumentVanishesDuringFpgaWrite();
    void outcomeInView_data();
    void outcomeInView();
    void busyDialogShowsProgress_data();
    void busyDialogShowsProgress();
    void logCopiedAfterOutcome_data();
    void logCopiedAfterOutcome();
    void logSaved_data();
    void logSaved();
};

void TestUpdate::writesPartsThatDiffer_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<bool>("downgrade");
    // Versions put in place of what the check read, for combinations that a
    // network check cannot report; empty to keep what it read.
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<QStringList>("worker");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("skips");
    QTest::addColumn<QStringList>("partsAfter");

    QTest::newRow("KD740A every part") << kdA << false << QList<int>() << usbLinesA << usbAllA << 0
                                       << QStringList { "boot 4", "run 5", "fpga 9" };

    QTest::newRow("KD740B FPGA only")
        << kdB << false << QList<int>()
        << QStringList { "Skipping boot Fx3, already current version.", "Skipping run Fx3, already current version.",
                         "Updating FPGA, estimated 6 minutes." }
        << QStringList { "kdConfigUSBOpenDeviceBySerial(-1, 1234)", "kdConfigUSBClearFPGAProgram(100, d1=0)",
                         "kdConfigUSBWriteFPGAProgram(100, \"./firmware/kd740b_fpga_12.rbf\", d1=100)",
                         "kdConfigUSBCloseDevice(100)" }
        << 2 << QStringList { "boot 4", "run 5", "fpga 12" };

    QTest::newRow("KD740B boot only")
        << Sim::usbInstrument(1, 1234, 3, 5, 12) << false << QList<int>()
        << QStringList { "Updating boot Fx3, estimated 10 seconds.", "Skipping run Fx3, already current version.",
                         "Skipping FPGA, already current version." }
        << QStringList { "kdConfigUSBOpenDeviceBySerial(-1, 1234)", "kdConfigUSBClearBootSector(100)",
                         "kdConfigUSBWriteBootSector(100, \"./firmware/kd740b_boot_4.img\", 1234)",
                         "kdConfigUSBCloseDevice(100)" }
        << 2 << QStringList { "boot 4", "run 5", "fpga 12" };

    // A newer part is written over like an older one once the user agreed.
    QTest::newRow("KD740A newer run only")
        << Sim::usbInstrument(0, 77, 4, 6, 9) << true << QList<int>()
        << QStringList { "Skipping boot Fx3, already current version.", "Updating run Fx3, estimated 10 seconds.",
                         "Skipping FPGA, already current version." }
        << QStringList { "kdConfigUSBOpenDeviceBySerial(-1, 77)", "kdConfigUSBClearRunSector(100)",
                         "kdConfigUSBWriteRunSector(100, \"./firmware/kd740a_run_5.img\", -1)",
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
                                                       "kdConfigNetWriteFGPA(100, \"./firmware/kd740c_fpga_v3.rbf\")",
                                                       "kdConfigNetPreset(100)" }
                                      << 1 << QStringList { "boot 4", "fpga 3" };

    QTest::newRow("KD740C FX3 only")
        << kdC << false << QList<int> { 4, 4, 3 }
        << QStringList { "Updating FX3, estimated 20 seconds.", "Skipping FPGA, already current version." }
        << QStringList { "kdConfigNetOpenDevice(-1, 5678)", "kdConfigNetClearFx3(100)",
                         "kdConfigNetWriteFx3(100, \"./firmware/kd740c_fx3_v5.img\", 5678)", "kdConfigNetPreset(100)" }
        << 1 << QStringList { "boot 5", "fpga 2" };

    // The network sequence has no run part, so a differing run version alone
    // writes nothing, yet the instrument is still preset.
    QTest::newRow("KD740C run differs only")
        << kdC << false << QList<int> { 5, 4, 3 }
        << QStringList { "Skipping FX3, already current version.", "Skipping FPGA, already current version." }
        << QStringList { "kdConfigNetOpenDevice(-1, 5678)", "kdConfigNetPreset(100)" } << 2 << partsC;
}

void TestUpdate::writesPartsThatDiffer()
{
    QFETCH(QString, instrument);
    QFETCH(bool, downgrade);
    QFETCH(QList<int>, reported);
    QFETCH(QStringList, worker);
    QFETCH(QStringList, calls);
    QFETCH(int, skips);
    QFETCH(QStringList, partsAfter);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, updateButton, downgrade);
    if (QTest::currentTestFailed())
        return;
    if (!reported.isEmpty()) {
        FirmwareTarget &firmware = driver.panel()->deviceStatus.deviceFirmware;
        firmware.bootVersion = reported.at(0);
        firmware.runVersion = reported.at(1);
        firmware.fpgaVersion = reported.at(2);
    }

    qint64 elapsed = 0;
    QCOMPARE(runWorkflow(sim, driver, updateButton, &elapsed), title + worker + successBlock);
    QCOMPARE(sim.calls(), calls);
    QVERIFY2(elapsed >= 30LL * skips, qPrintable(QStringLiteral("%1 ms for %2 skips").arg(elapsed).arg(skips)));
    QCOMPARE(fields(sim, partsAfter), partsAfter);
    verifyTakesNoMoreClicks(driver, sim);
}

void TestUpdate::checkedCallFails_data()
{
    addFaultColumns();

    const QString close = QStringLiteral("kdConfigUSBCloseDevice(100)");

    // Once open, the handle is closed whichever way the update ends; nothing
    // to close when the open itself failed.
    QTest::newRow("USB open") << kdA << Sim::fail("kdConfigUSBOpenDeviceBySerial")
                              << QStringList { "Cannot Find Device" } << firstCalls(usbAllA, 1) << partsA
                              << QStringList(nothingTouched);
    QTest::newRow("USB boot clear") << kdA << Sim::fail("kdConfigUSBClearBootSector")
                                    << QStringList { usbLinesA.at(0), "Failed Clearing" }
                                    << firstCalls(usbAllA, 2, { close }) << partsA << bootErased;
    QTest::newRow("USB boot write") << kdA << Sim::fail("kdConfigUSBWriteBootSector")
                                    << QStringList { usbLinesA.at(0), "Failed Writing" }
                                    << firstCalls(usbAllA, 3, { close })
                                    << QStringList { "boot erased", "run 4", "fpga 8" } << bootErased;
    QTest::newRow("USB FPGA clear") << kdA << Sim::fail("kdConfigUSBClearFPGAProgram")
                                    << usbLinesA + QString("Failed Clearing") << firstCalls(usbAllA, 6, { close })
                                    << QStringList { "boot 4", "run 5", "fpga 8" } << fpgaErasedA;
    QTest::newRow("USB FPGA write") << kdA << Sim::fail("kdConfigUSBWriteFPGAProgram")
                                    << usbLinesA + QString("Failed Writing") << firstCalls(usbAllA, 7, { close })
                                    << QStringList { "boot 4", "run 5", "fpga erased" } << fpgaErasedA;
    // A status that reports failure after the work was done still stops the
    // sequence: the program cannot know the work was done.
    QTest::newRow("USB boot write bad status")
        << kdA << Sim::badStatus("kdConfigUSBWriteBootSector") << QStringList { usbLinesA.at(0), "Failed Writing" }
        << firstCalls(usbAllA, 3, { close }) << QStringList { "boot 4", "run 4", "fpga 8" } << bootErased;

    // The run program is checked like the others: an instrument left without
    // it stays in boot mode. A bad status after the work was done still stops.
    const QStringList runLines = usbLinesA.mid(0, 2);
    QTest::newRow("USB run clear") << kdA << Sim::fail("kdConfigUSBClearRunSector") << runLines + "Failed Clearing"
                                   << firstCalls(usbAllA, 4, { close }) << QStringList { "boot 4", "run 4", "fpga 8" }
                                   << runErased;
    QTest::newRow("USB run clear bad status")
        << kdA << Sim::badStatus("kdConfigUSBClearRunSector") << runLines + "Failed Clearing"
        << firstCalls(usbAllA, 4, { close }) << QStringList { "boot 4", "run erased", "fpga 8" } << runErased;
    QTest::newRow("USB run write") << kdA << Sim::fail("kdConfigUSBWriteRunSector") << runLines + "Failed Writing"
                                   << firstCalls(usbAllA, 5, { close })
                                   << QStringList { "boot 4", "run erased", "fpga 8" } << runErased;
    QTest::newRow("USB run write bad status")
        << kdA << Sim::badStatus("kdConfigUSBWriteRunSector") << runLines + "Failed Writing"
        << firstCalls(usbAllA, 5, { close }) << QStringList { "boot 4", "run 5", "fpga 8" } << runErased;

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
                                    << QStringList { "boot 5", "fpga 2" } << fpgaErasedC;
    QTest::newRow("net FPGA write") << kdC << Sim::fail("kdConfigNetWriteFGPA") << netLinesC + QString("Failed Writing")
                                    << firstCalls(netAllC, 5) << QStringList { "boot 5", "fpga erased" } << fpgaErasedC;
}

void TestUpdate::checkedCallFails()
{
    updateWithFaults(failureBlock);
}

void TestUpdate::uncheckedCallFails_data()
{
    addFaultColumns();

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

void TestUpdate::uncheckedCallFails()
{
    updateWithFaults(successBlock);
}

void TestUpdate::instrumentVanishesDuringFpgaWrite_data()
{
    addFaultColumns();

    const QStringList fpgaErased = { "fpga erased" };
    QTest::newRow("USB") << kdA << Sim::vanishAfter(6) << usbLinesA + QString("Failed Writing") << usbAllA << fpgaErased
                         << fpgaErasedA;
    QTest::newRow("net") << kdC << Sim::vanishAfter(4) << netLinesC + QString("Failed Writing")
                         << firstCalls(netAllC, 5) << fpgaErased << fpgaErasedC;
}

void TestUpdate::instrumentVanishesDuringFpgaWrite()
{
    updateWithFaults(failureBlock);
}

void TestUpdate::outcomeInView_data()
{
    QTest::addColumn<QString>("narrowed");
    QTest::newRow("started scrolled to the top") << "";
    QTest::newRow("window narrowed while running") << "while running";
    QTest::newRow("window narrowed afterwards") << "afterwards";
}

// The outcome is in view and reads clearly, although the panel is disabled
// and its log can no longer be scrolled.
void TestUpdate::outcomeInView()
{
    QFETCH(QString, narrowed);
    Sim sim;
    sim.setDescription(kdB);
    PanelDriver driver;
    QWidget *window = driver.panel()->window();
    window->resize(800, 250);
    checkAsUser(driver, updateButton);
    QScrollBar *scroll = driver.log()->verticalScrollBar();
    scroll->setValue(0);
    qputenv("KDSIM_SCALE", "0.002");
    bool atEndWhileBusy = false;
    int busyWidth = 0;
    onNextModal("CVProgressDialog", [&](QWidget *busy) {
        atEndWhileBusy = scroll->value() == scroll->maximum();
        busyWidth = busy->width();
        if (narrowed == "while running")
            window->resize(400, 250);
    });
    driver.click(updateButton);
    if (narrowed == "afterwards")
        window->resize(400, 250);

    QVERIFY(atEndWhileBusy);
    QVERIFY2(busyWidth <= 800, qPrintable(QString::number(busyWidth)));
    QVERIFY(scroll->maximum() > 0);
    QCOMPARE(scroll->value(), scroll->maximum());
    // The last line fills the log's bottom strip: its darkest pixel against
    // the lightest, a ratio in the manner of WCAG's contrast.
    const QImage shown = driver.log()->viewport()->grab().toImage();
    int darkest = 255, lightest = 0;
    for (int y = shown.height() - 20; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            darkest = qMin(darkest, qGray(shown.pixel(x, y)));
            lightest = qMax(lightest, qGray(shown.pixel(x, y)));
        }
    }
    QVERIFY2((lightest + 13) / (darkest + 13.0) > 4.5, qPrintable(QString("%1 on %2").arg(darkest).arg(lightest)));
}

void TestUpdate::busyDialogShowsProgress_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("fpgaStep");
    QTest::addColumn<bool>("counts");

    QTest::newRow("library counts") << kdA << "Step 3 of 3: writing the FPGA program" << true;
    QTest::newRow("library's value never moves") << kdB + "progress still\n"
                                                 << "Step 1 of 1: writing the FPGA program" << false;
}

// A slow FPGA write on a clock 300 times as fast: what the two lines under
// the label say, and the bar, as the busy dialog shows them.
void TestUpdate::busyDialogShowsProgress()
{
    QFETCH(QString, instrument);
    QFETCH(QString, fpgaStep);
    QFETCH(bool, counts);

    Sim sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, updateButton);
    if (QTest::currentTestFailed())
        return;
    // The FPGA's clear and write take 3.6 s, that is 18 minutes on the clock.
    qputenv("KDSIM_SCALE", "0.01");
    driver.panel()->findChild<RunSession *>()->progressClock().setRate(300);

    QStringList stepLines, elapsedLines;
    bool barFollowedPercent = true, barAlwaysBusy = true, barNamedByStep = true;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto *busy = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (!busy)
            return;
        const QStringList label = busy->labelText().split(QLatin1Char('\n'));
        if (stepLines.isEmpty() || stepLines.last() != label.value(4))
            stepLines << label.value(4);
        if (elapsedLines.isEmpty() || elapsedLines.last() != label.value(5))
            elapsedLines << label.value(5);
        const QRegularExpressionMatch percent = QRegularExpression(" \\((\\d+) %\\)$").match(label.value(4));
        barAlwaysBusy = barAlwaysBusy && busy->maximum() == 0;
        // A reader finds the step and its value on the bar, the time taken
        // as its description.
        QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(busy->findChild<QProgressBar *>());
        barNamedByStep = barNamedByStep && bar->role() == QAccessible::ProgressBar
            && label.value(4).startsWith(bar->text(QAccessible::Name))
            && bar->text(QAccessible::Description).contains(" elapsed")
            && bar->valueInterface()->currentValue().toInt() == busy->findChild<QProgressBar *>()->value();
        if (percent.hasMatch())
            barFollowedPercent = barFollowedPercent && busy->maximum() == 100
                && busy->value() == percent.captured(1).toInt();
    });
    poll.start(20);
    driver.click(updateButton);
    poll.stop();

    const QString lines = stepLines.join(" | ") + " || " + elapsedLines.join(" | ");
    // The clear is told as such, then the write; neither goes back.
    const auto first = [&](const QString &step) {
        return stepLines.indexOf(QRegularExpression("^" + QRegularExpression::escape(step) + "( \\(.*)?"));
    };
    const int erasing = first(QString(fpgaStep).replace("writing", "erasing"));
    const int writing = first(fpgaStep);
    QVERIFY2(erasing >= 0 && writing > erasing, qPrintable(lines));
    QVERIFY2(elapsedLines.contains("0:00 elapsed, usually up to 6 minutes"), qPrintable(lines));
    QVERIFY2(!elapsedLines
                  .filter(QRegularExpression("^\\d+:\\d\\d elapsed, longer than usual. "
                                             "Still writing: do not unplug the KD740.$"))
                  .isEmpty(),
             qPrintable(lines));
    const QRegularExpression withPercent("^" + QRegularExpression::escape(fpgaStep) + " \\((\\d|[1-9]\\d|100) %\\)$");
    QVERIFY2(stepLines.filter(withPercent).isEmpty() != counts, qPrintable(lines));
    QVERIFY2(stepLines.filter(" %)").isEmpty() != counts, qPrintable(lines));
    QVERIFY(barFollowedPercent);
    QCOMPARE(barAlwaysBusy, !counts);
    QVERIFY(barNamedByStep);
    // Each step is said once, and once that it is late; the seconds never.
    QStringList said = driver.takeAnnouncements().filter(QRegularExpression("^Step|elapsed"));
    const int steps = fpgaStep.mid(5, 1).toInt(), late = said.filter(" elapsed, longer than usual. ").size();
    if (PanelDriver::hearsAnnouncements()) {
        QCOMPARE(said.filter(fpgaStep), QStringList(fpgaStep));
        for (int step = 1; step <= steps; ++step)
            QVERIFY(!said.filter(QRegularExpression(QString("^Step %1 of %2: ").arg(step).arg(steps))).isEmpty());
        QVERIFY(late >= 1 && late <= steps && said.filter(" elapsed").size() == late);
        QCOMPARE(said.removeDuplicates(), 0);
    }
}

// clang-format off
void TestUpdate::logCopiedAfterOutcome_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("copied"); // empty: the whole log
    QTest::newRow("Ctrl+A") << "Ctrl+A" << QString();
    QTest::newRow("Shift+Home on the last line") << "Shift+Home" << "You may now close the software.";
    QTest::newRow("double click on a word") << "double click" << "close";
}
// clang-format on

// Once the update is over the buttons take no more clicks, but the log is
// still read, selected and copied.
void TestUpdate::logCopiedAfterOutcome()
{
    QFETCH(QString, selection);
    QFETCH(QString, copied);
    Sim sim;
    sim.setDescription(kdB);
    PanelDriver driver;
    checkAsUser(driver, updateButton);
    driver.click(updateButton);

    QTextEdit *log = driver.log();
    QTextCursor onWord(log->document()->lastBlock());
    onWord.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, onWord.block().text().indexOf("close") + 2);
    const QPoint at = log->cursorRect(onWord).center();
    QTest::mouseClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (selection == QLatin1String("Ctrl+A")) {
        QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    } else if (selection == QLatin1String("Shift+Home")) {
        QTest::keyClick(log, Qt::Key_End);
        QTest::keyClick(log, Qt::Key_Home, Qt::ShiftModifier);
    } else {
        QTest::mouseDClick(log->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    QApplication::clipboard()->clear();
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), copied.isEmpty() ? log->toPlainText() : copied);
}

// clang-format off
void TestUpdate::logSaved_data()
{
    QTest::addColumn<QString>("how"); // "Ctrl+S" or "menu"
    QTest::addColumn<QString>("when"); // "check", "outcome" or "running"
    QTest::addColumn<QString>("file"); // in a scratch folder; "fifo", "device": such a thing in a file's place
    QTest::newRow("Ctrl+S after the update") << "Ctrl+S" << "outcome" << "log.txt";
    QTest::newRow("menu after the check, missing folder") << "menu" << "check" << "missing/log.txt";
    QTest::newRow("not while the update runs") << "menu" << "running" << "log.txt";
    QTest::newRow("not over a FIFO") << "menu" << "check" << "fifo";
    QTest::newRow("not over a device") << "menu" << "check" << "device";
}
// clang-format on

void TestUpdate::logSaved()
{
    QFETCH(QString, how);
    QFETCH(QString, when);
    QFETCH(QString, file);
    Sim sim;
    sim.setDescription(kdB);
    PanelDriver driver;
    checkAsUser(driver, updateButton);
    driver.addLine(QStringLiteral("Gr\u00fc\u00dfe \u2713")); // not Latin-1
    const QTemporaryDir scratch;
    const bool special = !file.contains('.');
    const QString path = scratch.filePath(special ? "log.txt" : file);
    if (special) {
        const SpecialFile kind = file == QLatin1String("fifo") ? SpecialFile::Fifo : SpecialFile::Device;
        if (!missingSpecialFile(kind).isEmpty())
            QSKIP(qPrintable(missingSpecialFile(kind)));
        QVERIFY(QFile(path).open(QIODevice::WriteOnly) && replaceWithSpecialFile(path, kind));
    }
    const bool running = when == QLatin1String("running");
    const bool intoMissing = file.contains('/') || special;

    QString suggested, problem;
    if (!running) {
        onNextModal("QFileDialog", [&](QWidget *dialog) {
            suggested = static_cast<QFileDialog *>(dialog)->selectedFiles().value(0);
            // Typed in whole, as a user may: a missing folder is not looked for.
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog *>(dialog)->accept();
        });
    }
    const auto takeProblem = [&](QWidget *box) {
        problem = static_cast<QMessageBox *>(box)->text();
        static_cast<QDialog *>(box)->accept();
    };
    if (special) {
        // The file dialog asks first whether to replace what is there.
        onNextModal("QMessageBox", [&](QWidget *box) {
            onNextModal("QMessageBox", takeProblem);
            static_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click();
        });
    } else if (intoMissing) {
        onNextModal("QMessageBox", takeProblem);
    }
    bool offered = false;
    const auto save = [&] {
        QWidget *window = driver.panel()->window();
        if (how == QLatin1String("Ctrl+S")) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(window->windowHandle(), Qt::Key_S, Qt::ControlModifier);
            offered = true;
            return;
        }
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5));
        QApplication::sendEvent(driver.log()->viewport(), &event);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *action = menu->actions().constLast();
        QCOMPARE(action->text(), QStringLiteral("Save Log\u2026"));
        offered = action->isEnabled();
        menu->close();
        action->trigger();
    };
    if (running)
        onNextModal("CVProgressDialog", [&](QWidget *) { save(); });
    if (when != QLatin1String("check"))
        driver.click(updateButton);
    if (!running)
        save();

    QCOMPARE(offered, !running);
    QCOMPARE(QFileInfo(path).isFile(), !running && !intoMissing);
    QCOMPARE(QFileInfo(path).exists(), !running && (!intoMissing || special));
    if (running)
        return;
    QVERIFY2(QRegularExpression("/kd740-log-\\d{8}-\\d{6}-KD740B-1234\\.txt$").match(suggested).hasMatch(),
             qPrintable(suggested));
    // Never the working folder: the documents folder, else the home folder.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QCOMPARE(QFileInfo(suggested).absolutePath(), QFileInfo(documents).isDir() ? documents : QDir::homePath());
    if (special)
        QVERIFY2(problem.endsWith("It is not a regular file, and only a regular file is replaced."),
                 qPrintable(problem));
    if (intoMissing)
        QVERIFY2(problem.startsWith("The log could not be saved to " + QDir::toNativeSeparators(path)),
                 qPrintable(problem));
    else
        QCOMPARE(readLines(path).join('\n'), driver.log()->toPlainText());
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
