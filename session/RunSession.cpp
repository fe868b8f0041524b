#include "session/RunSession.h"

#include "catalogue/ImageCopies.h"
#include "catalogue/OutsideText.h"
#include "power/EraseGate.h"
#include "power/KeepAwake.h"
#include "power/WriteGuard.h"
#include "record/RunRecord.h"
#include "session/CallRelay.h"
#include "session/ReadBack.h"
#include "session/RunPlan.h"
#include "workers/BootstrapThread.h"
#include "workers/CheckVersionThread.h"
#include "workers/HandOver.h"
#include "workers/ImageCheck.h"
#include "workers/ReadBackThread.h"
#include "workers/WritePartsThread.h"

#include <algorithm>

namespace {

constexpr int tickMs = 1000;

// Why an image a write on what the check found would need is unusable, or
// empty; the usable ones are copied into copies. Called on the worker that
// found it.
QString writeImageProblem(const ImageSource &images, const ImageList &list, ImageCopies &copies,
                          const DeviceStatus &status)
{
    if (status.checkState == NotDetected)
        return QString();
    const bool operational = status.checkState == Operational;
    if (operational && updateOffer(status.deviceFirmware, status.targetFirmware) == UpdateOffer::None)
        return QString();
    const PartSequence &sequence = operational ? updateSequence(status.deviceType) : restoreSequence(status.deviceType);
    return firstUnusableImage(list, copies, imagesToWrite(images, sequence, status));
}

} // namespace

RunSession::RunSession(RunQuestions &questions, const SessionSettings &settings, QObject *parent)
    : QObject(parent)
    , questions(questions)
    , settings(settings)
{
    ticker.setInterval(tickMs);
    connect(&ticker, &QTimer::timeout, this, &RunSession::tick);
    connect(this, &RunSession::keepAwakeRefused, this, &RunSession::notice, Qt::QueuedConnection);
    // Handed over by the workers, queued.
    qRegisterMetaType<CheckOutcome>();
    qRegisterMetaType<DeviceStatus>();
    qRegisterMetaType<BootstrapOutcome>();
    qRegisterMetaType<WriteOutcome>();
}

RunSession::~RunSession()
{
    if (askingBattery)
        askingBattery->answerBattery(false);
    // The worker's calls must not wait for this thread, which waits for it.
    if (record)
        record->releaseCallers();
    if (worker) {
        // A read-back waiting for the instrument stops looking; a write goes on.
        worker->requestInterruption();
        worker->wait();
        [[maybe_unused]] const bool ran = workerRan.load(std::memory_order_acquire);
    }
    dropImageCopies();
    keepAwake.reset();
    delete calls;
    delete record;
}

bool RunSession::finishRecord()
{
    if (!record)
        return false;
    record->finish();
    return record->waitWritten();
}

void RunSession::dropImageCopies()
{
    if (copies)
        copies->removeAll();
}

QString RunSession::recordPath() const
{
    return record ? record->path() : QString();
}

QString RunSession::recordDigest() const
{
    return record ? record->digest() : QString();
}

QString RunSession::keepStoppedCheck()
{
    if (!record)
        return QString();
    const QString word = recordResult(RunEnd::Kind::Stopped);
    const QString where = record->checkEnded(status, word);
    return record->path().isEmpty() ? where : record->seal(word);
}

// Whatever it holds, a line stays one line in every view.
void RunSession::emitLine(const QString &raw, LineTone tone, bool report)
{
    const QString text = shownLine(raw);
    if (record)
        record->addLine(text);
    emit line(text, tone, report);
}

void RunSession::emitLines(const QStringList &lines, bool report)
{
    for (const QString &text : lines)
        emitLine(text, LineTone::Normal, report);
}

// An instruction to go on is left out once an image the run needs is unusable.
void RunSession::emitLines(const QVector<ReportLine> &lines)
{
    for (const ReportLine &report : lines) {
        if (result.imageUnusable && report.instruction != Instruction::None
            && report.instruction != Instruction::CloseProgram)
            continue;
        const std::optional<QString> text = settings.words ? settings.words(report) : report.text;
        if (text)
            emitLine(*text, report.tone, true);
    }
}

// The record and the relay begin with the check and last the whole run.
void RunSession::start(const RunPlan &started)
{
    if (busy)
        return;
    busy = true;
    plan = started;
    wrote = Workflow::Check;
    waiting = Waiting::Nothing;
    result = CheckResult();
    imageProblem.clear();
    bootstrapProblem.clear();
    batteryPercent = -1;
    withoutRecordAgreed = false;
    // A run ends where the next one begins.
    delete calls;
    delete record;
    record = new RunRecord(settings.recordsFolder.isEmpty() ? recordsFolder() : settings.recordsFolder, this);
    // Queued: the failure may come from within a coloured line, and its own is plain.
    connect(
        record, &RunRecord::writeFailed, this, [this](const QString &text) { emitLine(text); }, Qt::QueuedConnection);
    connect(record, &RunRecord::waitingForDisk, this, &RunSession::showRecordWait);
    calls = new CallRelay(record->callObserver(), this);
    connect(calls, &CallRelay::reported, this,
            [this](const QString &name, const QString &arguments, int status, qint64 microseconds) {
                if (status != 0)
                    failedCall = name;
                emit call({ name, arguments, status, microseconds });
            });
    emitLines({ QString(), checkTitle(), QString() });
    const ImageSource images = settings.images;
    // The images the run proves are copied as they are read; the copies last the run.
    const std::shared_ptr<ImageCopies> proven = copies = std::make_shared<ImageCopies>();
    auto *checker = new CheckVersionThread([images] { return readImageList(images); },
                                           [images, proven](const ImageList &list, const DeviceStatus &found) {
                                               return writeImageProblem(images, list, *proven, found);
                                           });
    connect(checker, &CheckVersionThread::updateText, this, [this](const QString &text) { emitLine(text); });
    connect(checker, &CheckVersionThread::ended, this, [this](const CheckOutcome &outcome) {
        const std::lock_guard<std::mutex> handOver(handOverLock());
        status = outcome.status;
        imageProblem = outcome.imageProblem;
        result.images = outcome.images;
    });
    startWorker(checker, ProgressText::reading(), nullptr, &RunSession::checked);
}

// Images whose folder no trusted key signed end the check before anything
// was looked for.
void RunSession::checked()
{
    if (status.checkState == NotDetected && !imageProblem.isEmpty()) {
        result.imageUnusable = true;
        endCheck();
        return;
    }
    if (status.checkState != NotDetected || !mayBootstrap(plan)) {
        reportCheck();
        return;
    }
    emitLines(bootstrapIntroLines());
    waiting = Waiting::Model;
    questions.askModel();
}

// An answer stands in the record on a line of its own, where it was given,
// and not in the log, which shows the question's outcome.
void RunSession::recordAnswer(const QString &answer, const QString &by)
{
    if (record)
        record->addLine(answerLine(answer, by));
}

void RunSession::bootstrapAs(std::optional<DeviceType> model, const QString &by)
{
    if (waiting != Waiting::Model)
        return;
    waiting = Waiting::Nothing;
    recordAnswer(model ? QStringLiteral("model ") + deviceTypeName(*model) : QStringLiteral("no model"), by);
    if (!model) {
        result.modelDeclined = true;
        endCheck();
        return;
    }
    status = bootstrapRecord(status, *model);
    const ImageSource images = settings.images;
    const ImageList list = result.images;
    const std::shared_ptr<ImageCopies> proven = copies;
    auto *bootstrapper = new BootstrapThread(status, images, list, proven,
                                             [images, list, proven](const DeviceStatus &found) {
                                                 return writeImageProblem(images, list, *proven, found);
                                             });
    connect(bootstrapper, &BootstrapThread::ended, this, [this](const BootstrapOutcome &outcome) {
        const std::lock_guard<std::mutex> handOver(handOverLock());
        status = outcome.status;
        bootstrapProblem = outcome.bootImageProblem;
        imageProblem = outcome.imageProblem;
        result.stoppedForBattery = outcome.stoppedForBattery;
        batteryPercent = outcome.batteryPercent;
    });
    followErasing(bootstrapper);
    startWorker(bootstrapper, ProgressText::opening(), nullptr, &RunSession::bootstrapped);
}

// The boot image is checked on the worker, as reading it can wait on the disk.
void RunSession::bootstrapped()
{
    if (!bootstrapProblem.isEmpty()) {
        result.imageUnusable = true;
        emitLines(imageRefusalLines(bootstrapProblem));
        endCheck();
        return;
    }
    reportCheck();
}

// The images a write would need are checked before anything is offered:
// an instruction to go on is never followed by a refusal.
void RunSession::reportCheck()
{
    result.state = status.checkState;
    if (status.checkState == Operational)
        result.offer = updateOffer(status.deviceFirmware, status.targetFirmware);
    result.imageUnusable = result.imageUnusable || !imageProblem.isEmpty();
    switch (status.checkState) {
    case NotDetected: emitLines(notDetectedLines(), true); break;
    case NeedsRestore: emitLines(needsRestoreLines(status)); break;
    case Operational:
        emitLines(foundLines(status), true);
        if (result.offer != UpdateOffer::Downgrade) {
            emitLines(offerLines(result.offer, false));
        } else if (!result.imageUnusable && mayInstallOlder(plan)) {
            waiting = Waiting::Downgrade;
            questions.askDowngrade();
            return;
        }
        break;
    }
    endCheck();
}

void RunSession::answerDowngrade(Downgrade answer, const QString &by)
{
    if (waiting != Waiting::Downgrade)
        return;
    waiting = Waiting::Nothing;
    recordAnswer(answer == Downgrade::Install ? QStringLiteral("install the older firmware")
                                              : QStringLiteral("keep the newer firmware"),
                 by);
    result.downgradeAccepted = answer == Downgrade::Install;
    emitLines(offerLines(UpdateOffer::Downgrade, result.downgradeAccepted));
    endCheck();
}

// The check's last line says where its record is, or why there is none.
// Its worker has checked the images a write would need, in both programs,
// so that nothing is offered that would then be refused: a refusal reads
// as the end of a check, as nothing was attempted.
void RunSession::endCheck()
{
    if (!imageProblem.isEmpty() && bootstrapProblem.isEmpty())
        emitLines(imageRefusalLines(imageProblem));
    const AfterCheck next = afterCheck(plan, result);
    // How the run ends here, else what the check found, for a record that
    // goes unfinished. Not found where nothing answered; where an instrument
    // did, the check failed to read it.
    const RunEnd::Kind found = next.next == AfterCheck::Next::End ? next.end : checkFound(result);
    const QString word = recordResult(
        found == RunEnd::Kind::NotFound && record->reachedInstrument() ? RunEnd::Kind::Failed : found);
    const QString where = record->checkEnded(status, word);
    // A run that ends here is sealed before the line that names its record.
    const QString ending = next.next == AfterCheck::Next::End ? word : QString();
    // A run that was to write ends with the parts it left untouched.
    const bool refused = next.end == RunEnd::Kind::ImageUnusable && !imageProblem.isEmpty() && mayWrite(plan);
    const auto then = [this, next, refused] { afterCheckEnded(next, refused); };
    if (!ending.isEmpty() && !record->path().isEmpty()) {
        record->sealThen(ending, [this, then](const QString &sealedWhere) {
            if (!sealedWhere.isEmpty())
                emitLine(sealedWhere);
            then();
        });
    } else {
        if (!where.isEmpty())
            emitLine(where);
        then();
    }
}

// What follows the check, once its lines are said and a record that ends
// with it is sealed.
void RunSession::afterCheckEnded(const AfterCheck &next, bool refused)
{
    if (record && !record->path().isEmpty())
        emit recordStarted(record->path());
    emit checkEnded(result);
    switch (next.next) {
    case AfterCheck::Next::Write: return write(next.workflow);
    case AfterCheck::Next::Offer: waiting = Waiting::Offer; return questions.offerWrite(next.workflow);
    case AfterCheck::Next::End: break;
    }
    RunEnd end;
    end.kind = next.end;
    if (end.kind == RunEnd::Kind::ImageUnusable)
        end.problem = imageProblem.isEmpty() ? bootstrapProblem : imageProblem;
    if (refused && status.checkState != NotDetected)
        untouchedParts(end);
    // A user who cancels the model question is done with the program.
    end.endsProgram = !plan.offerAfterCheck || next.end == RunEnd::Kind::NoModelNamed;
    endRun(end);
}

// Each part of the write the check refused, as it left them: current or untouched.
void RunSession::untouchedParts(RunEnd &end) const
{
    const PartSequence &sequence = status.checkState == NeedsRestore ? restoreSequence(status.deviceType)
                                                                     : updateSequence(status.deviceType);
    end.wrote = status.checkState == NeedsRestore ? Workflow::Restore : Workflow::Update;
    const std::vector<bool> toWrite = partsToWrite(sequence, status);
    for (std::size_t index = 0; index < sequence.parts.size(); ++index)
        end.outcomes.push_back(index < toWrite.size() && !toWrite[index] ? PartOutcome::Skipped
                                                                         : PartOutcome::NotTouched);
    describeParts(end, sequence, {});
}

// Each part's name and versions: as found, as shipped and as read back.
void RunSession::describeParts(RunEnd &end, const PartSequence &steps, const std::vector<int> &readBack) const
{
    for (std::size_t index = 0; index < steps.parts.size(); ++index) {
        const FirmwarePart part = steps.parts[index].part;
        end.parts << QLatin1String(steps.parts[index].name);
        end.found.push_back(status.checkState == Operational ? partVersion(status.deviceFirmware, part) : -1);
        end.shipped.push_back(partVersion(status.targetFirmware, part));
        end.readBack.push_back(index < readBack.size() ? readBack[index] : -1);
    }
}

// The record ends with the run.
void RunSession::endRun(RunEnd end)
{
    dropImageCopies();
    busy = false;
    waiting = Waiting::Nothing;
    end.batteryPercent = batteryPercent;
    // Its last lines reach the disk through the record's writer, which the
    // program waits for as it ends: never this thread.
    if (record) {
        record->finish();
        end.recordPath = record->path();
        end.recordDigest = record->digest();
    }
    emit ended(end);
}

// Lines that end the run. A record cannot hold its own digest: it is sealed
// before the line that names it, which names it with its digest; that line
// and what follows it are the log's alone. result: the record's result
// line; empty: the run goes on.
void RunSession::emitClosing(QVector<ReportLine> lines, const QString &result, const QString &readBack,
                             const std::function<void()> &then)
{
    const QString where = record ? record->whereLine() : QString();
    const auto named = std::find_if(lines.begin(), lines.end(),
                                    [&](const ReportLine &line) { return line.text == where; });
    if (result.isEmpty() || where.isEmpty() || named == lines.end()) {
        emitLines(lines);
        if (record && !readBack.isEmpty())
            record->readBack(readBack);
        then();
        return;
    }
    const int at = int(named - lines.begin());
    emitLines(lines.mid(0, at));
    if (!readBack.isEmpty())
        record->readBack(readBack);
    QVector<ReportLine> rest = lines.mid(at);
    record->sealThen(result, [this, rest, then](const QString &sealedWhere) mutable {
        // A record that failed meanwhile is named by the line that said so.
        if (sealedWhere.isEmpty())
            rest.removeFirst();
        else
            rest.first().text = sealedWhere;
        emitLines(rest);
        then();
    });
}

void RunSession::acceptOffer()
{
    if (waiting != Waiting::Offer)
        return;
    waiting = Waiting::Nothing;
    write(status.checkState == NeedsRestore ? Workflow::Restore : Workflow::Update);
}

// A signal or the end of the session during the write ends the program only
// once the write has ended and its outcome is written.
void RunSession::write(Workflow workflow)
{
    // A run that cannot be recorded asks first: the record is what tells
    // later what was erased.
    if (record && record->path().isEmpty() && !withoutRecordAgreed) {
        waiting = Waiting::Record;
        writeWithoutRecord = workflow;
        questions.askWithoutRecord(workflow, record->problem());
        return;
    }
    wrote = workflow;
    failedCall.clear();
    writeSteps = workflow == Workflow::Restore ? &restoreSequence(status.deviceType)
                                               : &updateSequence(status.deviceType);
    auto *writer = new WritePartsThread(*writeSteps, status, settings.images, copies);
    connect(writer, &WritePartsThread::ended, this, [this](const WriteOutcome &outcome) {
        const std::lock_guard<std::mutex> handOver(handOverLock());
        writeOutcome = outcome;
        batteryPercent = outcome.batteryPercent;
    });
    emitLines({ QString(), workflow == Workflow::Restore ? restoreTitle() : updateTitle(), QString() });
    // No record takes the answer: the log, which can be saved, says it.
    if (withoutRecordAgreed)
        emitLine(QStringLiteral("Writing without a record")
                 + (withoutRecordBy.isEmpty() ? QString() : QStringLiteral(" (") + withoutRecordBy + QLatin1Char(')'))
                 + QLatin1Char('.'));
    followErasing(writer);
    connect(writer, &WritePartsThread::stepStarted, this, &RunSession::startStep);
    guard = std::make_unique<WriteGuard>();
    connect(guard.get(), &WriteGuard::endDeferred, this, [this](const QString &text) { emitLine(text); });
    // A stop before the first erase ends a question about the battery too.
    connect(guard.get(), &WriteGuard::stopped, this, [this](const QString &text) {
        emitLine(text);
        if (askingBattery) {
            settleBattery(false);
            questions.withdrawLowBattery();
        }
    });
    writer->gate = &guard->gate();
    // Told on the worker once it begins to erase, as a run that then writes
    // nothing has nothing to warn of: the record takes it there, in its place
    // among the calls. Only the worker's thread touches the held warning.
    RunRecord *const runRecord = record;
    auto held = std::make_shared<QString>();
    keepAwake = std::make_unique<KeepAwake>(*writer, settings.window ? settings.window() : 0, &guard->gate(),
                                            [held](const QString &warning) { *held = warning; });
    connect(
        writer, &WritePartsThread::stepStarted, writer,
        [this, runRecord, held] {
            if (held->isEmpty())
                return;
            if (runRecord)
                runRecord->addNotice(*held);
            emit keepAwakeRefused(*held, QPrivateSignal());
            held->clear();
        },
        Qt::DirectConnection);
    startWorker(writer, ProgressText::opening(), &writer->libraryProgress(), &RunSession::written);
}

void RunSession::answerWithoutRecord(bool proceed, const QString &by)
{
    if (waiting != Waiting::Record)
        return;
    waiting = Waiting::Nothing;
    if (!proceed)
        return refuseWithoutRecord(writeWithoutRecord);
    withoutRecordAgreed = true;
    withoutRecordBy = by;
    write(writeWithoutRecord);
}

// Nothing was touched: each part is as the check found it.
void RunSession::refuseWithoutRecord(Workflow workflow)
{
    const PartSequence &sequence = workflow == Workflow::Restore ? restoreSequence(status.deviceType)
                                                                 : updateSequence(status.deviceType);
    emitLines(outcomeLines(RunEnd::Kind::NoRecord, stateAfterFailure(sequence, {}), QString()));
    RunEnd end;
    end.kind = RunEnd::Kind::NoRecord;
    end.problem = record->problem();
    untouchedParts(end);
    end.endsProgram = !plan.offerAfterCheck;
    endRun(end);
}

// The step line says why nothing moves while the disk takes its time.
void RunSession::showRecordWait(bool waiting)
{
    if (!progressText)
        return;
    progressText->waitForRecord(waiting);
    tick();
}

namespace {

RunEnd::Kind writeEnd(const WriteOutcome &outcome, const EraseGate &gate)
{
    if (outcome.succeeded)
        return RunEnd::Kind::Success;
    if (outcome.imageUnusable)
        return RunEnd::Kind::ImageUnusable;
    if (gate.stopped())
        return RunEnd::Kind::Stopped;
    if (outcome.stoppedForBattery)
        return RunEnd::Kind::LowBattery;
    return RunEnd::Kind::Failed;
}

} // namespace

// A write that touched the instrument is read back: once where it failed,
// and until the instrument answers, within the wait, where it succeeded.
void RunSession::written()
{
    keepAwake.reset();
    // The read-back's calls may fail too; the write's failure is the one told.
    failedWriteCall = failedCall;
    const RunEnd::Kind kind = writeEnd(writeOutcome, guard->gate());
    if (!readsBack()) {
        endWrite(kind, std::nullopt);
        return;
    }
    const int waitMs = kind == RunEnd::Kind::Success ? settings.readBackWaitMs : 0;
    auto *reader = new ReadBackThread(writeSteps->link, status.serial, waitMs);
    connect(reader, &ReadBackThread::ended, this, [this](const DeviceStatus &after) {
        const std::lock_guard<std::mutex> handOver(handOverLock());
        readBackStatus = after;
    });
    // A program asked to end does not wait for a slow instrument: the write
    // is over, and a read-back only reads.
    guard->deferEndWith(QStringLiteral("Closing without reading the versions back: the firmware write has ended."));
    connect(guard.get(), &WriteGuard::endDeferred, reader, &QThread::requestInterruption);
    startWorker(reader, ProgressText::readingBack((waitMs + 999) / 1000), nullptr, &RunSession::readBack);
    // Asked during the write: one look, no wait. Only once started, as a
    // start clears the request.
    if (guard->ending())
        reader->requestInterruption();
}

// Where nothing was touched, the calls say all there is.
bool RunSession::readsBack() const
{
    const RunEnd::Kind kind = writeEnd(writeOutcome, guard->gate());
    const bool touched = std::any_of(writeOutcome.parts.begin(), writeOutcome.parts.end(), [](PartOutcome part) {
        return part == PartOutcome::Erased || part == PartOutcome::Written;
    });
    return kind == RunEnd::Kind::Success || (kind == RunEnd::Kind::Failed && touched);
}

void RunSession::readBack()
{
    endWrite(writeEnd(writeOutcome, guard->gate()), readBackStatus);
}

// The outcome is what the instrument reports where it was read back; a
// failure says what the run's calls left, and then what it reports.
void RunSession::endWrite(RunEnd::Kind kind, const std::optional<DeviceStatus> &after)
{
    const QString where = record ? record->whereLine() : QString();
    std::optional<ReadBack> read;
    if (after)
        read = compareReadBack(*writeSteps, status, writeOutcome.parts, *after, writeOutcome.clearFailed);
    const bool answered = read && read->verdict != ReadBack::Verdict::NoAnswer;
    const QStringList facts = stateAfterFailure(*writeSteps, writeOutcome.parts);
    const QStringList state = answered ? stateWithReport(facts, *read) : facts;
    QVector<ReportLine> lines;
    if (kind == RunEnd::Kind::Success && read && read->verdict == ReadBack::Verdict::NoAnswer) {
        kind = RunEnd::Kind::NotConfirmed;
        lines = notConfirmedLines(status, where);
    } else if (kind == RunEnd::Kind::Success && read && read->verdict == ReadBack::Verdict::Contradicted) {
        kind = RunEnd::Kind::Failed;
        for (const QString &difference : read->differences)
            lines.append({ difference });
        lines += outcomeLines(kind, state, where);
    } else {
        if (kind == RunEnd::Kind::Success && after)
            lines.append({ confirmedLine(status, *after) });
        lines += outcomeLines(kind, state, where);
    }
    RunEnd end;
    end.kind = kind;
    end.wrote = wrote;
    end.endsProgram = guard->finish() || !plan.offerAfterCheck;
    end.endSignal = guard->endSignal();
    end.outcomes = writeOutcome.parts;
    end.readBackAnswered = answered;
    describeParts(end, *writeSteps, read ? read->versions : std::vector<int>());
    if (read) {
        end.readBackLoad = read->loadStatus;
        if (kind != RunEnd::Kind::Success) {
            end.reported = read->reportedState;
            end.disagreements = read->disagreements;
        }
    }
    end.problem = writeOutcome.imageProblem;
    if (end.kind == RunEnd::Kind::Failed) {
        const auto erased = std::find(end.outcomes.begin(), end.outcomes.end(), PartOutcome::Erased);
        if (erased != end.outcomes.end())
            end.failedPart = end.parts.value(int(erased - end.outcomes.begin()));
        end.failedCall = failedWriteCall;
    }
    guard.reset();
    emitClosing(lines, writeRecordResult(kind), read ? readBackText(*writeSteps, *read) : QString(),
                [this, end] { endRun(end); });
}

// Its lines, and its question about the battery before the first erase.
void RunSession::followErasing(ErasingThread *erasing)
{
    connect(erasing, &ErasingThread::addLine, this, [this](const QString &text) { emitLine(text); });
    connect(erasing, &ErasingThread::batteryLow, this, [this, erasing](int percent) {
        askingBattery = erasing;
        batteryPercent = percent;
        // A stop that came first leaves nothing to ask.
        if (erasing->gate && erasing->gate->stopped())
            settleBattery(false);
        else
            questions.askLowBattery(percent);
    });
}

void RunSession::answerLowBattery(bool proceed, const QString &by)
{
    if (!askingBattery)
        return;
    recordAnswer((proceed ? QStringLiteral("write on battery at %1 %") : QStringLiteral("stop on battery at %1 %"))
                     .arg(batteryPercent),
                 by);
    settleBattery(proceed);
}

void RunSession::settleBattery(bool proceed)
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
    // Its calls reached the relay and the record until it ended. Qt's wait()
    // orders that before whatever follows it, but ThreadSanitizer cannot see
    // inside Qt; this hand-over it sees.
    workerRan.store(false, std::memory_order_relaxed);
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
    // The write's read-back is the same wait for the user: its busy display
    // stays up, rather than one that goes and one that comes.
    if (afterWorker != &RunSession::written || !readsBack())
        emit step(StepEvent());
    (this->*afterWorker)();
}

void RunSession::startStep(int step, int steps, int partIndex)
{
    const PartStep &written = writeSteps->parts.at(std::size_t(partIndex));
    const QString part = QLatin1String(written.name);
    const int expectedSeconds = usualSeconds(status.deviceType, written);
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
