#include "Workflow.h"

#include "catalogue/Catalogue.h"

#include "PanelDriver.h"
#include "SimulatedInstrument.h"

#include "session/RunSession.h"
#include "ui/Updater.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QWidget>

#include <utility>

QStringList operator+(const QStringList &lines, const QString &line)
{
    return QStringList(lines) << line;
}

QStringList failureBlockWith(const QStringList &state, const QString &advice)
{
    QStringList block = failureBlock;
    if (!advice.isEmpty())
        block[1] = advice;
    return block.mid(0, 1) + state + block.mid(1);
}

void chooseModelWhenAsked(const QString &model)
{
    if (model.isEmpty())
        return;
    onNextModal("DeviceSelectorDialog", [model](QWidget *selector) {
        if (QPushButton *button = findButton(selector, model))
            clickInWindow(button);
    });
}

void checkAsUser(PanelDriver &driver, const QString &workflowButton, bool downgrade, const QString &model)
{
    if (downgrade) {
        onNextModal("QMessageBox", [](QWidget *box) {
            clickInWindow(qobject_cast<QPushButton *>(qobject_cast<QMessageBox *>(box)->button(QMessageBox::Yes)));
        });
    }
    chooseModelWhenAsked(model);
    driver.click(checkButton);
    QVERIFY2(driver.button(workflowButton)->isEnabled(),
             qPrintable(driver.transcript(PanelDriver::introductionLines).join(QLatin1Char('\n'))));
}

void armFaults(SimulatedInstrument &sim, const QString &faults)
{
    if (!faults.isEmpty())
        sim.setDescription(sim.description() + faults);
}

QStringList fields(const SimulatedInstrument &sim, const QStringList &expected)
{
    QStringList result;
    for (const QString &entry : expected) {
        const QString key = entry.section(QLatin1Char(' '), 0, 0);
        result << key + QLatin1Char(' ') + sim.field(0, key);
    }
    return result;
}

QStringList runWorkflow(SimulatedInstrument &sim, PanelDriver &driver, const QString &workflowButton, qint64 *elapsedMs,
                        const QStringList &keys)
{
    if (!keys.isEmpty()) {
        QWidget *window = driver.panel()->window();
        window->activateWindow();
        // The keys go to the focus window: the main window's, not a dialog's that was closed.
        [&] { QTRY_VERIFY(window->isActiveWindow() && QGuiApplication::focusWindow() == window->windowHandle()); }();
        if (window->focusWidget() != driver.button(workflowButton))
            return { "the focus is not on " + workflowButton.trimmed() };
    }
    sim.clearTrace();
    driver.takeAnnouncements();
    // The focus a reader follows from the workflow's start: the manager may
    // still be settling the focus after the check's busy dialog when the
    // keys go.
    QObject began;
    bool starting = true;
    QObject::connect(driver.panel()->findChild<RunSession *>(), &RunSession::step, &began, [&starting] {
        if (std::exchange(starting, false))
            PanelDriver::takeFocusChanges();
    });
    const int start = driver.lines().size();
    QElapsedTimer timer;
    timer.start();
    if (keys.isEmpty())
        driver.click(workflowButton);
    else
        driver.typeToStart(keys);
    if (elapsedMs)
        *elapsedMs = timer.elapsed();
    return driver.transcript(start);
}

void verifyAllAnnounced(PanelDriver &driver, const QStringList &transcript)
{
    if (!PanelDriver::hearsAnnouncements())
        return;
    QStringList spoken = QStringList(transcript).replaceInStrings(QRegularExpression("^\\[\\w+\\] "), QString());
    spoken.removeAll(QString());
    QCOMPARE(driver.takeAnnouncements().filter(QRegularExpression("^(?!Step \\d|Reading the firmware versions back)")),
             spoken);
}

void verifyEndShown(const QString &instrument, const QString &workflowButton, const QString &model,
                    const QString &faults, const QStringList &outcome)
{
    SimulatedInstrument sim;
    sim.setDescription(instrument);
    PanelDriver driver;
    checkAsUser(driver, workflowButton, false, model);
    if (QTest::currentTestFailed())
        return;
    armFaults(sim, faults);
    const QStringList transcript = runWorkflow(sim, driver, workflowButton);
    QCOMPARE(transcript.mid(transcript.size() - outcome.size()), outcome);
    verifyAllAnnounced(driver, transcript);
    if (outcome.contains(checkAgain))
        verifyCheckedAgain(driver, sim);
    else
        verifyTakesNoMoreClicks(driver, sim);
}

bool onlyLogEnabled(const PanelDriver &driver)
{
    bool buttonEnabled = false;
    for (const QString &text : { checkButton, updateButton, restoreButton })
        buttonEnabled = buttonEnabled || driver.button(text)->isEnabled();
    return !buttonEnabled && driver.log()->isEnabled() && driver.log()->isVisibleTo(driver.panel());
}

void verifyTakesNoMoreClicks(PanelDriver &driver, const SimulatedInstrument &sim)
{
    QVERIFY(onlyLogEnabled(driver));
    const int end = driver.lines().size();
    const QStringList calls = sim.calls();
    for (const QString &text : { checkButton, updateButton, restoreButton })
        driver.click(text);
    QCOMPARE(driver.lines().size(), end);
    QCOMPARE(sim.calls(), calls);
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringList();
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

namespace {

QString modelOf(const SimulatedInstrument &sim)
{
    return deviceTypeName(sim.field(0, QStringLiteral("model")).toInt());
}

// A network instrument reports one version, its FX3 program's, and whether
// its FPGA loaded.
QString netFirmware(int fx3)
{
    return QStringLiteral("FX3 version %1, and its FPGA loaded").arg(fx3);
}

QString firmwareOf(const SimulatedInstrument &sim)
{
    if (sim.field(0, QStringLiteral("link")) == QLatin1String("net"))
        return netFirmware(sim.field(0, QStringLiteral("boot")).toInt());
    return QStringLiteral("firmware ")
        + QStringList { sim.field(0, QStringLiteral("boot")), sim.field(0, QStringLiteral("run")),
                        sim.field(0, QStringLiteral("fpga")) }
              .join(QLatin1Char('.'));
}

// What the instrument reports, then the success block.
QStringList confirmedSuccess(const QString &model, const QString &firmware)
{
    return QStringList(QStringLiteral("The %1 now reports %2.").arg(model, firmware)) + successBlock;
}

} // namespace

QStringList successBlockOf(const SimulatedInstrument &sim)
{
    return confirmedSuccess(modelOf(sim), firmwareOf(sim));
}

QStringList successBlockFor(const QString &model)
{
    for (DeviceType type : knownModels()) {
        if (deviceTypeName(type) == model)
            return confirmedSuccess(model,
                                    linkOf(type) == LinkKind::Network
                                        ? netFirmware(shippedFirmware(type).bootVersion)
                                        : QStringLiteral("firmware ") + versionString(shippedFirmware(type)));
    }
    return successBlock;
}

QStringList notConfirmedBlockOf(const SimulatedInstrument &sim)
{
    return { QStringLiteral("[amber] Firmware written; not confirmed."),
             QStringLiteral("The %1 did not answer after the write.").arg(modelOf(sim)), checkAgain, recordLine,
             QStringLiteral("You may now close the software.") };
}

// As a write nothing confirmed advises: the power cycled, the versions are
// checked in the same window, which then takes no more clicks.
void verifyCheckedAgain(PanelDriver &driver, SimulatedInstrument &sim)
{
    QCOMPARE(driver.panel()->window()->focusWidget(), driver.button(checkButton));
    QVERIFY(!driver.button(updateButton)->isEnabled() && !driver.button(restoreButton)->isEnabled());
    sim.setDescription(sim.description().remove(QRegularExpression("[^\\n]*(awaiting-power-cycle|fail) [^\\n]*\\n")));
    sim.restart();
    const QStringList check = runWorkflow(sim, driver, checkButton);
    QCOMPARE(check,
             QStringList({ "", "Checking Firmware Versions...", "", "Found " + modelOf(sim),
                           "Serial " + sim.field(0, "serial") + ", with " + firmwareOf(sim),
                           "Firmware does not require update.", recordLine }));
    verifyAllAnnounced(driver, check);
    verifyTakesNoMoreClicks(driver, sim);
}
