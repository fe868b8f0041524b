#include "session/RunSession.h"

#include "power/EraseGate.h"
#include "power/KeepAwake.h"
#include "power/WriteGuard.h"
#include "record/RunRecord.h"
#include "session/CallRelay.h"
#include "workers/BootstrapThread.h"
#include "workers/CheckVersionThread.h"
#include "workers/ImageCheck.h"
#include "workers/RestoreDeviceThread.h"
#include "workers/UpdateDeviceThread.h"

namespace {

constexpr int tickMs = 1000;

} // namespace

RunSession::RunSession(RunQuestions &questions, const SessionSettings &settings, QObject *parent)
    : QObject(parent)
    , questions(questions)
    , settings(settings)
{
    ticker.setInterval(tickMs);
    connect(&ticker, &QTimer::timeout, this, &RunSession::tick);
    connect(this, &RunSession::keepAwakeRefused, this, &RunSession::notice, Qt::QueuedConnection);
}

RunSession::~RunSession()
{
    if (askingBattery)
        askingBattery->answerBattery(false);
    // The worker's calls must not wait for this thread, which waits for it.
    if (record)
        record->releaseCallers();
    if (worker) {
        worker->wait();
        [[maybe_unused]] const bool ran = workerRan.load(std::memory_order_acquire);
    }
    keepAwake.reset();
    delete calls;
    delete record;
}

void RunSession::finishRecord()
{
    if (!record)
        return;
    record->finish();
    record->waitWritten();
}

QString RunSession::recordPath() const
{
    return record ? record->path() : QString();
}

void RunSession::emitLine(const QString &text, LineTone tone, bool report)
{
    if (record)
        record->addLine(text);
    emit line(text, tone, report);
}

void RunSession::emitLines(const QStringList &lines, bool report)
{
    for (const QString &text : lines)
        emitLine(text, LineTone::Normal, report);
}

void RunSession::emitLines(const QVector<ReportLine> &lines)
{
    for (const ReportLine &report : lines) {
        const std::optional<QString> text = settings.words ? settings.words(report) : report.text;
        if (text)
            emitLine(*text, report.tone, true);
    }
}

// The record and the relay begin with the check and last the whole run.
void RunSession::check()
{
    if (busy)
        return;
    busy = true;
    result = CheckResult();
    // A run ends where the next check begins.
    delete calls;
    delete record;
    record = new RunRecord(settings.recordsFolder, this);
    // Queued: the failure may come from within a coloured line, and its own is plain.
    connect(
        record, &RunRecord::writeFailed, this, [this](const QString &text) { emitLine(text); }, Qt::QueuedConnection);
    calls = new CallRelay(record->callObserver(), this);
    connect(calls, &CallRelay::reported, this,
            [this](const QString &name, const QString &arguments, int status, qint64 microseconds) {
                emit call({ name, arguments, status, microseconds });
            });
    emitLines({ QString(), checkTitle(), QString() });
    auto *checker = new CheckVersionThread;
    connect(checker, &CheckVersionThread::updateText, this, [this](const QString &text) { emitLine(text); });
    startWorker(checker, ProgressText::reading(), nullptr, &RunSession::checked);
}

void RunSession::checked()
{
    status = static_cast<CheckVersionThread &>(*worker).deviceStatus;
    if (status.checkState != NotDetected || !settings.offersBootstrap) {
        reportCheck();
        return;
    }
    emitLines(bootstrapIntroLines());
    waiting = Waiting::Model;
    questions.askModel();
}

void RunSession::bootstrapAs(std::optional<DeviceType> model)
{
    if (waiting != Waiting::Model)
        return;
    waiting = Waiting::Nothing;
    if (!model) {
        result.modelDeclined = true;
        endCheck();
        return;
    }
    status = bootstrapRecord(status, *model);
    auto *bootstrapper = new BootstrapThread;
    bootstrapper->deviceStatus = status;
    bootstrapper->images = settings.images;
    followErasing(bootstrapper);
    startWorker(bootstrapper, ProgressText::opening(), nullptr, &RunSession::bootstrapped);
}

// The boot image is checked on the worker, as reading it can wait on the disk.
void RunSession::bootstrapped()
{
    const auto &bootstrapper = static_cast<const BootstrapThread &>(*worker);
    status = bootstrapper.deviceStatus;
    if (!bootstrapper.imageProblem.isEmpty()) {
        emitLine(bootstrapper.imageProblem, LineTone::Normal, true);
        result.imageUnusable = true;
    }
    result.stoppedForBattery = bootstrapper.stoppedForBattery;
    reportCheck();
}

void RunSession::reportCheck()
{
    result.state = status.checkState;
    switch (status.checkState) {
    case NotDetected: emitLines(notDetectedLines(), true); break;
    case NeedsRestore: emitLines(needsRestoreLines(status)); break;
    case Operational:
        emitLines(foundLines(status), true);
        result.offer = updateOffer(status.deviceFirmware, status.targetFirmware);
        if (result.offer == UpdateOffer::Downgrade) {
            waiting = Waiting::Downgrade;
            questions.askDowngrade();
            return;
        }
        emitLines(offerLines(result.offer, false));
        break;
    }
    endCheck();
}

void RunSession::answerDowngrade(Downgrade answer)
{
    if (waiting != Waiting::Downgrade)
        return;
    waiting = Waiting::Nothing;
    result.downgradeAccepted = answer == Downgrade::Install;
    if (answer != Downgrade::Unasked)
        emitLines(offerLines(UpdateOffer::Downgrade, result.downgradeAccepted));
    endCheck();
}

void RunSession::checkImages()
{
    const bool operational = result.state == Operational;
    if (result.state == NotDetected || (operational && result.offer == UpdateOffer::None))
        return;
    const PartSequence &sequence = operational ? updateSequence(status.deviceType) : restoreSequence(status.deviceType);
    setImageCheckObserver(&record->imageObserver());
    const QString problem = firstUnusableImage(settings.images, imagesToWrite(settings.images, sequence, status));
    setImageCheckObserver(nullptr);
    if (problem.isEmpty())
        return;
    emitLine(problem);
    result.imageUnusable = true;
}

// The check's last line says where its record is, or why there is none.
void RunSession::endCheck()
{
    if (settings.checksImages)
        checkImages();
    const QString where = record->checkEnded(status);
    if (!where.isEmpty()) {
        emitLine(where);
        if (!record->path().isEmpty())
            emit recordStarted(record->path());
    }
    busy = false;
    emit checkEnded(result);
}

void RunSession::update()
{
    if (!busy)
        write(new UpdateDeviceThread, updateTitle());
}

void RunSession::restore()
{
    if (!busy)
        write(new RestoreDeviceThread, restoreTitle());
}

// A signal or the end of the session during the write ends the program only
// once the write has ended and its outcome is written.
void RunSession::write(WritePartsThread *writer, const QString &title)
{
    busy = true;
    emitLines({ QString(), title, QString() });
    writer->deviceStatus = status;
    writer->images = settings.images;
    followErasing(writer);
    connect(writer, &WritePartsThread::stepStarted, this, &RunSession::startStep);
    guard = std::make_unique<WriteGuard>();
    connect(guard.get(), &WriteGuard::endDeferred, this, [this](const QString &text) { emitLine(text); });
    // A stop before the first erase ends a question about the battery too.
    connect(guard.get(), &WriteGuard::stopped, this, [this](const QString &text) {
        emitLine(text);
        if (askingBattery) {
            answerLowBattery(false);
            questions.withdrawLowBattery();
        }
    });
    writer->gate = &guard->gate();
    // Told on the worker: the record takes it there, in its place among the calls.
    RunRecord *const runRecord = record;
    keepAwake = std::make_unique<KeepAwake>(*writer, settings.window ? settings.window() : 0, &guard->gate(),
                                            [this, runRecord](const QString &warning) {
                                                if (runRecord)
                                                    runRecord->addNotice(warning);
                                                emit keepAwakeRefused(warning, QPrivateSignal());
                                            });
    startWorker(writer, ProgressText::opening(), &writer->libraryProgress(), &RunSession::written);
}

void RunSession::written()
{
    const auto &writer = static_cast<const WritePartsThread &>(*worker);
    const QString where = record ? record->whereLine() : QString();
    emitLines(outcomeLines(writer.succeeded, writer.stateAfterFailure(), where));
    if (record)
        record->finish(writer.result());
    WriteResult ended;
    ended.succeeded = writer.succeeded;
    ended.imageUnusable = writer.imageUnusable;
    ended.endRequested = guard->finish();
    ended.stopped = guard->gate().stopped();
    ended.endSignal = guard->endSignal();
    ended.stoppedForBattery = writer.stoppedForBattery;
    ended.outcomes = writer.partOutcomes();
    for (const PartStep &part : writer.sequence().parts)
        ended.parts << QLatin1String(part.name);
    keepAwake.reset();
    guard.reset();
    busy = false;
    emit writeEnded(ended);
}

// Its lines, and its question about the battery before the first erase.
void RunSession::followErasing(ErasingThread *erasing)
{
    connect(erasing, &ErasingThread::addLine, this, [this](const QString &text) { emitLine(text); });
    connect(erasing, &ErasingThread::batteryLow, this, [this, erasing](int percent) {
        askingBattery = erasing;
        // A stop that came first leaves nothing to ask.
        if (erasing->gate && erasing->gate->stopped())
            answerLowBattery(false);
        else
            questions.askLowBattery(percent);
    });
}

void RunSession::answerLowBattery(bool proceed)
{
    if (!askingBattery)
        return;
    ErasingThread *asking = askingBattery;
    askingBattery = nullptr;
    asking->answerBattery(proceed);
}

// Progress is told only while a worker talks to the instrument. The worker's
// lines and its end reach the session through its event queue, in order.
void RunSession::startWorker(QThread *started, const QString &activity, const LibraryProgress *libraryProgress,
                             void (RunSession::*then)())
{
    worker.reset(started);
    afterWorker = then;
    // Direct: on the worker's own thread, before its run.
    DeviceCallObserver *const callObserver = calls;
    ImageCheckObserver *const imageObserver = &record->imageObserver();
    connect(
        started, &QThread::started, started,
        [callObserver, imageObserver] {
            setDeviceCallObserver(callObserver);
            setImageCheckObserver(imageObserver);
        },
        Qt::DirectConnection);
    workerRan.store(false, std::memory_order_relaxed);
    // What run() wrote is read here once wait() has returned. Qt's lock
    // makes that safe, but ThreadSanitizer cannot see inside Qt; this
    // hand-over it sees.
    connect(
        started, &QThread::finished, started, [this] { workerRan.store(true, std::memory_order_release); },
        Qt::DirectConnection);
    connect(started, &QThread::finished, this, &RunSession::workerEnded);
    stepStartMs = clock.nowMs();
    progressText.emplace(activity, stepStartMs);
    library = libraryProgress;
    percentFilter = PercentFilter();
    StepEvent event;
    event.text = progressText->stepLine(-1);
    emit step(event);
    tick();
    ticker.start();
    started->start(QThread::InheritPriority);
}

void RunSession::workerEnded()
{
    worker->wait();
    [[maybe_unused]] const bool ran = workerRan.load(std::memory_order_acquire);
    ticker.stop();
    library = nullptr;
    progressText.reset();
    emit step(StepEvent());
    (this->*afterWorker)();
}

void RunSession::startStep(int step, int steps, const QString &part, int expectedSeconds)
{
    stepStartMs = clock.nowMs();
    progressText->startStep(step, steps, part, expectedSeconds, stepStartMs);
    emit this->step({ progressText->stepLine(-1), step, steps, part, expectedSeconds });
    tick();
}

void RunSession::tick()
{
    const qint64 now = clock.nowMs();
    const int percent = progressText->follow(library, percentFilter);
    emit progress({ progressText->stepLine(percent), progressText->elapsedLine(now),
                    static_cast<int>((now - stepStartMs) / 1000), percent, progressText->stepLine(-1),
                    progressText->late(now) });
}
