// A technician's whole session: check, update or restore, close the updater;
// start it again and check. The instrument must then need nothing more,
// unless an injected fault made the workflow fail.
//
// The expected logs are kept in data/update and data/restore: the log after
// the introduction, a "--- updater restarted ---" line, and the log of the
// second run. A coloured line is marked "[green] " or "[red] ".

#include "PanelDriver.h"
#include "SimulatedInstrument.h"
#include "Workflow.h"

#include "ui/Updater.h"

#include <QPushButton>
#include <QTest>

using Sim = SimulatedInstrument;

const QString restarted = QStringLiteral("--- updater restarted ---");

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void sessionThenCheckAgain_data();
    void sessionThenCheckAgain();
};

void TestEndToEnd::sessionThenCheckAgain_data()
{
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("selectModel");
    QTest::addColumn<QString>("workflowButton");
    QTest::addColumn<QString>("expected");

    QTest::newRow("update KD740B") << Sim::usbInstrument(1, 1234, 4, 5, 10) << QString() << updateButton
                                   << "data/update/kd740b.log";
    QTest::newRow("update KD740A") << Sim::usbInstrument(0, 2001, 3, 4, 8) << QString() << updateButton
                                   << "data/update/kd740a.log";
    QTest::newRow("update KD740C") << Sim::netInstrument(5678, 4, 2) << QString() << updateButton
                                   << "data/update/kd740c.log";
    QTest::newRow("restore KD740B in boot mode") << Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot") << QString()
                                                 << restoreButton << "data/restore/kd740b-boot-mode.log";
    QTest::newRow("restore KD740A bootstrapped")
        << Sim::usbInstrument(0, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent") << "KD740A" << restoreButton
        << "data/restore/kd740a-bootstrapped.log";
    QTest::newRow("restore KD740C with failed FPGA") << Sim::netInstrument(5678, 5, 3, "fpga-failed") << QString()
                                                     << restoreButton << "data/restore/kd740c-fpga-failed.log";

    QTest::newRow("example kd740b") << "examples/kd740b" << QString() << updateButton << "data/update/kd740b.log";
    QTest::newRow("example kd740a-boot") << "examples/kd740a-boot" << QString() << restoreButton
                                         << "data/restore/kd740a-boot-mode.log";
    QTest::newRow("example kd740c-net") << "examples/kd740c-net" << QString() << updateButton
                                        << "data/update/kd740c.log";
    QTest::newRow("example kd740c-fpga-failed")
        << "examples/kd740c-fpga-failed" << QString() << restoreButton << "data/restore/kd740c-fpga-failed.log";
    QTest::newRow("example write-fault") << "examples/write-fault" << QString() << updateButton
                                         << "data/update/kd740b-write-fault.log";
}

void TestEndToEnd::sessionThenCheckAgain()
{
    QFETCH(QString, instrument);
    QFETCH(QString, selectModel);
    QFETCH(QString, workflowButton);
    QFETCH(QString, expected);

    // Found before the scratch directory becomes the current one.
    const QString expectedPath = QFINDTESTDATA(expected);
    QVERIFY2(!expectedPath.isEmpty(), qPrintable(expected));

    if (instrument.startsWith(QLatin1String("examples/"))) {
        const QString example = QFINDTESTDATA(QStringLiteral("../simulator/") + instrument + QStringLiteral(".txt"));
        QVERIFY2(!example.isEmpty(), qPrintable(instrument));
        instrument = readLines(example).join(QLatin1Char('\n'));
    }

    Sim sim;
    sim.setDescription(instrument);

    QStringList log;
    {
        PanelDriver first;
        chooseModelWhenAsked(selectModel);
        first.click(checkButton);
        first.click(workflowButton);
        log = first.transcript(PanelDriver::introductionLines);
        QVERIFY(onlyLogEnabled(first));
        closeInWindow(first.panel());
        QVERIFY(!first.panel()->window()->isVisible());
    }

    sim.restart();
    PanelDriver second;
    second.click(checkButton);
    log << restarted << second.transcript(PanelDriver::introductionLines);

    QCOMPARE(log, readLines(expectedPath));
    QVERIFY(!second.button(updateButton)->isEnabled());
    QCOMPARE(second.button(restoreButton)->isEnabled(),
             log.mid(log.indexOf(restarted)).contains(QStringLiteral("Press Restore to continue.")));
    QVERIFY(!second.button(checkButton)->isEnabled());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
