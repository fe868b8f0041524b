// The engine's session without any window: each workflow over each link,
// with a failing call or none, answered as a view would answer. What the
// views show is theirs to test; here the session's own events must tell the
// whole run: its lines, every library call as the library saw it, and how
// the check and the write ended.

#include "SimulatedInstrument.h"

#include "record/RunRecord.h"
#include "session/RunSession.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using Sim = SimulatedInstrument;

namespace {

// Answers as the row says: a model for the bootstrap (empty: none), Yes or
// No to a downgrade.
class Answers : public RunQuestions
{
public:
    QString model;
    bool installOlder = false;
    RunSession *session = nullptr;

    void askModel() override
    {
        std::optional<DeviceType> type;
        for (DeviceType known : knownModels()) {
            if (deviceTypeName(known) == model)
                type = known;
        }
        session->bootstrapAs(type);
    }
    void askDowngrade() override
    {
        session->answerDowngrade(installOlder ? RunSession::Downgrade::Install : RunSession::Downgrade::Decline);
    }
    void askLowBattery(int) override { session->answerLowBattery(false); }
};

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
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

    const QString usbA = Sim::usbInstrument(0, 2001, 3, 4, 8);
    const QString netC = Sim::netInstrument(5678, 4, 2);
    const QString bootB = Sim::usbInstrument(1, 1234, 4, Sim::Erased, 12, "boot");
    const QString failedC = Sim::netInstrument(5678, 5, 3, "fpga-failed");
    const QString silentA = Sim::usbInstrument(0, 2001, Sim::Erased, Sim::Erased, Sim::Erased, "silent");
    const QString press = "Press Update to continue.";
    const QString restore = "Press Restore to continue.";
    const QString good = "Firmware updated successfully.";
    const QString bad = "Firmware updated unsuccessfully.";

    QTest::newRow("update usb") << usbA << "" << "" << "update" << press << QStringList { good };
    QTest::newRow("update usb, FPGA write fails") << usbA << "" << Sim::fail("kdConfigUSBWriteFPGAProgram") << "update"
        << press << QStringList { bad, "Written in this run: boot Fx3, run Fx3.", "Erased or incomplete: FPGA." };
    QTest::newRow("update usb, open fails") << usbA << "" << Sim::fail("kdConfigUSBOpenDeviceBySerial") << "update"
        << press << QStringList { bad, "Nothing was erased or written." };
    QTest::newRow("update net") << netC << "" << "" << "update" << press << QStringList { good };
    QTest::newRow("update net, FX3 clear fails") << netC << "" << Sim::fail("kdConfigNetClearFx3") << "update"
        << press << QStringList { bad, "Erased or incomplete: FX3.", "Not touched: FPGA." };
    QTest::newRow("restore usb") << bootB << "" << "" << "restore" << restore << QStringList { good };
    QTest::newRow("restore usb, run write fails") << bootB << "" << Sim::fail("kdConfigUSBWriteRunSector") << "restore"
        << restore << QStringList { bad, "Written in this run: boot Fx3.", "Erased or incomplete: run Fx3." };
    QTest::newRow("restore net") << failedC << "" << "" << "restore" << restore << QStringList { good };
    QTest::newRow("restore net, FPGA clear fails") << failedC << "" << Sim::fail("kdConfigNetClearFPGA") << "restore"
        << restore << QStringList { bad, "Written in this run: FX3.", "Erased or incomplete: FPGA." };
    QTest::newRow("bootstrap usb, restore") << silentA << "KD740A" << "" << "restore" << restore << QStringList { good };
    QTest::newRow("bootstrap usb fails") << silentA << "KD740A" << Sim::fail("kdConfigUSBBootstrapDevice") << ""
        << "If you continue to receive this message, contact Corvane." << QStringList();
    QTest::newRow("no model named") << silentA << "" << "" << "" << "Looking to bootstrap KD740." << QStringList();
    QTest::newRow("downgrade declined") << Sim::usbInstrument(1, 1237, 4, 5, 13) << "No" << "" << ""
        << "Cancelling operation." << QStringList();
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

    Sim sim;
    sim.setDescription(instrument + fault);
    Answers answers;
    answers.model = answer;
    answers.installOlder = answer == QLatin1String("Yes");
    SessionSettings settings;
    settings.recordsFolder = recordsFolder();
    RunSession session(answers, settings);
    answers.session = &session;
    // Another session in the process, whose images no list can verify,
    // leaves this one's images as they were.
    const QTemporaryDir unlisted;
    SessionSettings unverified = settings;
    unverified.images = ImageSource::listedIn(QFile::encodeName(unlisted.path()));
    const RunSession beside(answers, unverified);

    QStringList lines, calls;
    std::optional<CheckResult> checked;
    std::optional<WriteResult> written;
    connect(&session, &RunSession::line, this, [&](const QString &text) { lines << text; });
    connect(&session, &RunSession::call, this, [&](const CallEvent &call) { calls << call.name; });
    connect(&session, &RunSession::checkEnded, this, [&](const CheckResult &result) {
        checked = result;
        // A record is kept of a check that reached an instrument, and named last.
        const bool recorded = result.state != NotDetected;
        QCOMPARE(lines.filter(QRegularExpression("^(Record|No record)")).size(), recorded ? 1 : 0);
        QCOMPARE(lines.at(lines.size() - (recorded ? 2 : 1)), checkLine);
        if (workflow == QLatin1String("update"))
            session.update();
        else if (workflow == QLatin1String("restore"))
            session.restore();
    });
    connect(&session, &RunSession::writeEnded, this, [&](const WriteResult &result) { written = result; });

    session.check();
    QTRY_VERIFY_WITH_TIMEOUT(!session.running() && checked && (workflow.isEmpty() || written), 30000);
    // The session heard of every call the library took, in its order.
    QStringList taken = sim.calls();
    for (QString &call : taken)
        call = call.section(QLatin1Char('('), 0, 0);
    QCOMPARE(calls, taken);
    QCOMPARE(checked->modelDeclined, answer.isEmpty() && instrument.contains("silent"));
    if (workflow.isEmpty())
        return;
    QCOMPARE(written->succeeded, outcome.first() == QLatin1String("Firmware updated successfully."));
    const int first = lines.lastIndexOf(outcome.first());
    QVERIFY2(first > 0, qPrintable(lines.join('\n')));
    QCOMPARE(lines.mid(first, outcome.size()), outcome);
    QCOMPARE(lines.last(), QStringLiteral("You may now close the software."));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
