#include "FlashRun.h"

#include "CallRelay.h"
#include "CheckFindings.h"

#include "power/KeepAwake.h"
#include "power/WriteGuard.h"
#include "record/RunRecord.h"
#include "workers/BootstrapThread.h"
#include "workers/CheckDecisions.h"
#include "workers/CheckVersionThread.h"
#include "workers/ImageCheck.h"
#include "workers/Reports.h"
#include "workers/RestoreDeviceThread.h"
#include "workers/UpdateDeviceThread.h"
#include "workers/WorkerWait.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int tickMs = 1000;

Outcome finished(int exitCode, const char *result, const QString &message = QString())
{
    return { exitCode, QString::fromLatin1(result), message, {} };
}

// The window's instructions name its buttons; here they name the commands,
// and there is no window to close.
std::optional<QString> consoleText(const ReportLine &line)
{
    switch (line.instruction) {
    case Instruction::PressUpdate: return QStringLiteral("Run kd740-flash update to continue.");
    case Instruction::PressRestore: return QStringLiteral("Run kd740-flash restore to continue.");
    case Instruction::CloseProgram: return std::nullopt;
    case Instruction::None: break;
    }
    return line.text;
}

QVector<PartState> partStates(const WritePartsThread &worker)
{
    QVector<PartState> states;
    const std::vector<PartOutcome> &outcomes = worker.partOutcomes();
    const std::vector<PartStep> &parts = worker.sequence().parts;
    for (std::size_t index = 0; index < parts.size() && index < outcomes.size(); ++index)
        states.append({ QLatin1String(parts[index].name), partOutcomeName(outcomes[index]) });
    return states;
}

Outcome decisionNeeded(const QString &message)
{
    return finished(ExitDecisionNeeded, "decision-needed", message);
}

Outcome lowBattery()
{
    return finished(ExitLowBattery, "low-battery",
                    QStringLiteral("Connect the PC to mains power and run the command again; "
                                   "--ignore-power writes on a low battery too."));
}

const QString downgradeMessage = QStringLiteral("The KD740 holds newer firmware than the shipped images; "
                                                "kd740-flash update --yes installs the older firmware.");

// Qt's own warnings (the keep-awake's among them) come from any thread; they
// reach the output on the run's thread, in turn with the lines.
FlashRun *messageTarget = nullptr;

void relayMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        std::abort();
    }
    if (type != QtDebugMsg && type != QtInfoMsg)
        emit messageTarget->warned(message);
}

} // namespace

FlashRun::FlashRun(const FlashOptions &options, FlashOutput &output)
    : options(options)
    , output(output)
{
    progressTimer.setInterval(tickMs);
    connect(&progressTimer, &QTimer::timeout, this, &FlashRun::tick);
    connect(this, &FlashRun::warned, this, &FlashRun::notice);
}

// As the window does from its check on: one record of the run, which the
// library calls reach through the relay in front of it.
int FlashRun::exec()
{
    RunRecord runRecord;
    record = &runRecord;
    // Queued: the failure may come from within a line, and its own follows it.
    connect(&runRecord, &RunRecord::writeFailed, this, &FlashRun::addLine, Qt::QueuedConnection);
    CallRelay calls;
    connect(&calls, &CallRelay::reported, this,
            [this](const QString &name, const QString &arguments, int status, qint64 microseconds) {
                output.call({ name, arguments, status, microseconds });
            });
    messageTarget = this;
    const QtMessageHandler previousHandler = qInstallMessageHandler(relayMessage);

    const Outcome outcome = run();
    runRecord.finish();
    // What is still queued (the record's failure line, a warning) comes before the outcome.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    qInstallMessageHandler(previousHandler);
    messageTarget = nullptr;
    output.outcome(outcome);
    record = nullptr;
    return outcome.exitCode;
}

void FlashRun::notice(const QString &text)
{
    output.notice(text);
}

Outcome FlashRun::run()
{
    writeTitle(checkTitle());
    CheckVersionThread checker;
    connect(&checker, &CheckVersionThread::updateText, this, &FlashRun::addLine);
    runSequence(checker, ProgressText::reading());
    status = checker.deviceStatus;

    switch (status.checkState) {
    case NotDetected: return afterNoAnswer();
    case NeedsRestore: return afterBootMode();
    case Operational: break;
    }
    return afterVersions();
}

// The window asks for the model here; the program takes it from --model.
Outcome FlashRun::afterNoAnswer()
{
    if (options.command != Command::Restore) {
        addLines(notDetectedLines());
        endCheck();
        return finished(ExitNoInstrument, "not-found");
    }
    addLines(bootstrapIntroLines());
    if (!options.model) {
        endCheck();
        return decisionNeeded(QStringLiteral("No KD740 answered. One that cannot start is bootstrapped only "
                                             "when its model is named: kd740-flash restore --model KD740A, "
                                             "KD740B or KD740C."));
    }
    status = bootstrapRecord(status, *options.model);
    BootstrapThread bootstrapper;
    bootstrapper.deviceStatus = status;
    bootstrapper.continueOnLowBattery = options.ignorePower;
    connect(&bootstrapper, &ErasingThread::addLine, this, &FlashRun::addLine);
    runSequence(bootstrapper, ProgressText::opening());
    status = bootstrapper.deviceStatus;
    if (!bootstrapper.imageProblem.isEmpty()) {
        addLine(bootstrapper.imageProblem);
        addLines(notDetectedLines());
        endCheck();
        return finished(ExitImageUnusable, "image-unusable");
    }
    if (status.checkState != NeedsRestore) {
        addLines(notDetectedLines());
        endCheck();
        if (bootstrapper.stoppedForBattery)
            return lowBattery();
        return finished(ExitNoInstrument, "not-found");
    }
    return afterBootMode();
}

Outcome FlashRun::afterBootMode()
{
    addLines(needsRestoreLines(status));
    const bool imagesUsable = options.command != Command::Check || checkImages(restoreSequence(status.deviceType));
    endCheck();
    switch (options.command) {
    case Command::Check:
        if (!imagesUsable)
            return finished(ExitImageUnusable, "image-unusable");
        return checkOutcome(status.checkState, UpdateOffer::None);
    case Command::Update:
        return decisionNeeded(QStringLiteral("The KD740 starts only in its boot mode: it needs a restore "
                                             "(kd740-flash restore), not an update."));
    case Command::Restore: break;
    }
    RestoreDeviceThread restorer;
    return write(restorer, restoreTitle());
}

// The window asks before a downgrade; the program goes ahead only with --yes.
Outcome FlashRun::afterVersions()
{
    addLines(foundLines(status));
    const UpdateOffer offer = updateOffer(status.deviceFirmware, status.targetFirmware);
    const bool update = options.command == Command::Update;
    if (offer != UpdateOffer::Downgrade || update)
        addLines(offerLines(offer, options.yes));
    const bool imagesUsable = options.command != Command::Check || offer == UpdateOffer::None
        || checkImages(updateSequence(status.deviceType));
    endCheck();

    if (!imagesUsable)
        return finished(ExitImageUnusable, "image-unusable");
    if (offer == UpdateOffer::None || options.command == Command::Check) {
        Outcome outcome = checkOutcome(status.checkState, offer);
        if (offer == UpdateOffer::Downgrade)
            outcome.message = downgradeMessage;
        return outcome;
    }
    if (!update) {
        return decisionNeeded(QStringLiteral("The KD740 starts normally: it needs an update (kd740-flash update), "
                                             "not a restore."));
    }
    if (offer == UpdateOffer::Downgrade && !options.yes)
        return decisionNeeded(downgradeMessage);

    UpdateDeviceThread updater;
    return write(updater, updateTitle());
}

// A bench learns of an image the write would refuse before it plans one: the
// check looks at the images of the parts an update or restore would write.
bool FlashRun::checkImages(const PartSequence &sequence)
{
    const QString problem = firstUnusableImage(imagesToWrite(sequence, status));
    if (!problem.isEmpty())
        addLine(problem);
    return problem.isEmpty();
}

// The check's last line says where its record is, or why there is none;
// then what it found, for scripts.
void FlashRun::endCheck()
{
    const QString where = record->checkEnded(status);
    if (!where.isEmpty())
        addLine(where);
    if (!record->path().isEmpty())
        output.record(record->path());
    if (status.checkState != NotDetected)
        output.instrument(instrumentEvent(status));
}

// As in the window, a signal or the console's Ctrl+C during the write ends
// the program only once the write has ended and its outcome is written; the
// exit status is the outcome's. One that comes before anything is erased
// stops the run, with the status a shell gives a process the signal ended.
Outcome FlashRun::write(WritePartsThread &worker, const QString &title)
{
    writeTitle(title);
    worker.deviceStatus = status;
    connect(&worker, &WritePartsThread::addLine, this, &FlashRun::addLine);
    connect(&worker, &WritePartsThread::stepStarted, this, &FlashRun::startStep);
    WriteGuard guard;
    connect(&guard, &WriteGuard::endDeferred, this, &FlashRun::addLine);
    connect(&guard, &WriteGuard::stopped, this, &FlashRun::addLine);
    worker.gate = &guard.gate();
    worker.continueOnLowBattery = options.ignorePower;
    // No window to name to the system.
    const KeepAwake keepAwake(worker, 0, &guard.gate(), record);
    runSequence(worker, ProgressText::opening(), &worker.libraryProgress());
    addLines(outcomeLines(worker.succeeded, worker.stateAfterFailure(), record->whereLine()));
    record->finish(worker.result());
    guard.finish();
    Outcome outcome = finished(ExitStepFailed, "failed");
    if (worker.succeeded)
        outcome = finished(ExitDone, "done");
    else if (worker.imageUnusable)
        outcome = finished(ExitImageUnusable, "image-unusable");
    else if (guard.gate().stopped())
        outcome = finished(128 + guard.endSignal(), "stopped");
    else if (worker.stoppedForBattery)
        outcome = lowBattery();
    outcome.parts = partStates(worker);
    return outcome;
}

// Progress is told only while a worker talks to the instrument.
void FlashRun::runSequence(QThread &worker, const QString &activity, const LibraryProgress *libraryProgress)
{
    stepStartMs = progressClockMs();
    progressText.emplace(activity, stepStartMs);
    library = libraryProgress;
    percentFilter = PercentFilter();
    StepEvent step;
    step.text = progressText->stepLine(-1);
    output.step(step);
    tick();
    progressTimer.start();
    runWorker(worker, this);
    progressTimer.stop();
    library = nullptr;
    progressText.reset();
    output.step(StepEvent());
}

void FlashRun::startStep(int step, int steps, const QString &part, int expectedSeconds)
{
    stepStartMs = progressClockMs();
    progressText->startStep(step, steps, part, expectedSeconds, stepStartMs);
    output.step({ progressText->stepLine(-1), step, steps, part, expectedSeconds });
    tick();
}

void FlashRun::tick()
{
    const qint64 now = progressClockMs();
    const int percent = progressText->follow(library, percentFilter);
    output.progress({ progressText->stepLine(percent), progressText->elapsedLine(now),
                      static_cast<int>((now - stepStartMs) / 1000), percent });
}

void FlashRun::addLine(const QString &text)
{
    writeLine(text, LineTone::Normal);
}

void FlashRun::addLines(const QStringList &lines)
{
    for (const QString &line : lines)
        addLine(line);
}

void FlashRun::addLines(const QVector<ReportLine> &lines)
{
    for (const ReportLine &line : lines) {
        if (const std::optional<QString> text = consoleText(line))
            writeLine(*text, line.tone);
    }
}

void FlashRun::writeLine(const QString &text, LineTone tone)
{
    if (record)
        record->addLine(text);
    output.line(text, tone);
}

void FlashRun::writeTitle(const QString &title)
{
    addLines({ QString(), title, QString() });
}
