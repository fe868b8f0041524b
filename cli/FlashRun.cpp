#include "FlashRun.h"

#include "CallRelay.h"

#include "power/KeepAwake.h"
#include "workers/BootstrapThread.h"
#include "workers/CheckVersionThread.h"
#include "workers/Reports.h"
#include "workers/RestoreDeviceThread.h"
#include "workers/UpdateDeviceThread.h"
#include "workers/WorkerWait.h"

#include <cstdio>
#include <cstdlib>

namespace {

Outcome finished(int exitCode, const char *result, const QString &message = QString())
{
    return { exitCode, QString::fromLatin1(result), message };
}

Outcome decisionNeeded(const QString &message)
{
    return finished(ExitDecisionNeeded, "decision-needed", message);
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
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    QMetaObject::invokeMethod(
        messageTarget, [message] { messageTarget->notice(message); }, Qt::AutoConnection);
}

} // namespace

FlashRun::FlashRun(const FlashOptions &options, FlashOutput &output)
    : options(options)
    , output(output)
{
    progressTimer.setInterval(1000);
    connect(&progressTimer, &QTimer::timeout, this, &FlashRun::tick);
}

int FlashRun::exec()
{
    qRegisterMetaType<CallEvent>();
    CallRelay calls;
    connect(&calls, &CallRelay::reported, this, [this](const CallEvent &event) { output.call(event); });
    setDeviceCallObserver(&calls);
    messageTarget = this;
    const QtMessageHandler previousHandler = qInstallMessageHandler(relayMessage);
    Outcome outcome = run();
    qInstallMessageHandler(previousHandler);
    messageTarget = nullptr;
    setDeviceCallObserver(nullptr);
    // Asked to end before a write: whatever the check found, the run was cut short.
    if (stopSignal != 0 && !writeStarted)
        outcome = interrupted();
    progressTimer.stop();
    output.outcome(outcome);
    return outcome.exitCode;
}

void FlashRun::stop(int signalNumber)
{
    if (stopSignal != 0)
        return;
    stopSignal = signalNumber;
    if (writing)
        addLine(QStringLiteral("Closing when the firmware write has ended."));
    else
        output.notice(QStringLiteral("Stopping: nothing will be written."));
}

Outcome FlashRun::run()
{
    writeTitle(checkTitle());
    CheckVersionThread checker;
    connect(&checker, &CheckVersionThread::updateText, this, &FlashRun::addLine);
    runSequence(checker, QStringLiteral("Reading the KD740"));
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
        return finished(ExitNoInstrument, "not-found");
    }
    addLines(bootstrapIntroLines());
    if (!options.model) {
        return decisionNeeded(QStringLiteral("No KD740 answered. One that cannot start is bootstrapped only "
                                             "when its model is named: kd740-flash restore --model KD740A, "
                                             "KD740B or KD740C."));
    }
    if (stopSignal != 0)
        return interrupted();
    status = bootstrapRecord(status, *options.model);
    const QString problem = bootImageProblem(status);
    if (!problem.isEmpty()) {
        addLine(problem);
        addLines(notDetectedLines());
        return finished(ExitImageUnusable, "image-unusable");
    }
    BootstrapThread bootstrapper;
    bootstrapper.deviceStatus = status;
    runSequence(bootstrapper, QStringLiteral("Opening the KD740"));
    status = bootstrapper.deviceStatus;
    if (status.checkState != NeedsRestore) {
        addLines(notDetectedLines());
        return finished(ExitNoInstrument, "not-found");
    }
    return afterBootMode();
}

Outcome FlashRun::afterBootMode()
{
    addLines(needsRestoreLines(status));
    switch (options.command) {
    case Command::Check: return finished(ExitDone, "restore-needed");
    case Command::Update:
        return decisionNeeded(QStringLiteral("The KD740 starts only in its boot mode: it needs a restore "
                                             "(kd740-flash restore), not an update."));
    case Command::Restore: break;
    }
    RestoreDeviceThread restorer;
    restorer.deviceStatus = status;
    connect(&restorer, &RestoreDeviceThread::addLine, this, &FlashRun::addLine);
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

    if (offer == UpdateOffer::None)
        return finished(ExitDone, "current");
    if (options.command == Command::Check) {
        if (offer == UpdateOffer::Downgrade)
            return finished(ExitDone, "downgrade", downgradeMessage);
        return finished(ExitDone, "update-needed");
    }
    if (!update) {
        return decisionNeeded(QStringLiteral("The KD740 starts normally: it needs an update (kd740-flash update), "
                                             "not a restore."));
    }
    if (offer == UpdateOffer::Downgrade && !options.yes)
        return decisionNeeded(downgradeMessage);

    UpdateDeviceThread updater;
    updater.deviceStatus = status;
    connect(&updater, &UpdateDeviceThread::addLine, this, &FlashRun::addLine);
    return write(updater, updateTitle());
}

template <typename Worker>
Outcome FlashRun::write(Worker &worker, const QString &title)
{
    if (stopSignal != 0)
        return interrupted();
    writeTitle(title);
    // No window to name to the system.
    const KeepAwake keepAwake(worker, 0);
    writeStarted = true;
    writing = true;
    runSequence(worker, QStringLiteral("Opening the KD740"));
    writing = false;
    for (const ReportLine &line : outcomeLines(worker.succeeded))
        output.line(line.text, line.tone);
    if (worker.succeeded)
        return finished(ExitDone, "done");
    if (worker.imageUnusable)
        return finished(ExitImageUnusable, "image-unusable");
    return finished(ExitStepFailed, "failed");
}

Outcome FlashRun::interrupted() const
{
    return finished(ExitSignalBase + stopSignal, "interrupted", QStringLiteral("Stopped before anything was written."));
}

// Progress is shown only while a worker talks to the instrument.
void FlashRun::runSequence(QThread &worker, const QString &firstStep)
{
    startStep(firstStep);
    progressTimer.start();
    runWorker(worker, this);
    progressTimer.stop();
    startStep(QString());
}

void FlashRun::notice(const QString &text)
{
    output.notice(text);
}

void FlashRun::addLine(const QString &text)
{
    // Each part a sequence writes starts with its announcement.
    if (writing && text.startsWith(QLatin1String("Updating ")))
        startStep(text.chopped(text.endsWith(QLatin1Char('.')) ? 1 : 0));
    output.line(text, LineTone::Normal);
}

void FlashRun::addLines(const QStringList &lines)
{
    for (const QString &line : lines)
        addLine(line);
}

void FlashRun::writeTitle(const QString &title)
{
    addLines({ QString(), title, QString() });
}

// An empty text ends the step.
void FlashRun::startStep(const QString &text)
{
    stepText = text;
    stepClock.start();
    output.step(text);
}

void FlashRun::tick()
{
    output.progress(stepText, static_cast<int>((stepClock.elapsed() + 500) / 1000));
}
