#ifndef RUNSESSION_H
#define RUNSESSION_H

#include "catalogue/ImageSource.h"
#include "device/LibraryProgress.h"
#include "session/ProgressText.h"
#include "session/Reports.h"
#include "session/RunEvents.h"
#include "session/RunPlan.h"
#include "workers/WritePartsThread.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class CallRelay;
class ErasingThread;
class ImageCopies;
class KeepAwake;
class QThread;
class RunRecord;
class WriteGuard;
class WritePartsThread;

// The decisions a run needs from its user. Each is asked from the session's
// thread and answered later, from any event of that thread, through the
// session.
class RunQuestions
{
public:
    virtual ~RunQuestions() = default;
    // No instrument answered: which model to bootstrap (RunSession::bootstrapAs).
    virtual void askModel() = 0;
    // The instrument holds newer firmware than shipped (RunSession::answerDowngrade).
    virtual void askDowngrade() = 0;
    // Before the first erase the PC runs on a battery below the limit
    // (RunSession::answerLowBattery); a stop withdraws the question.
    virtual void askLowBattery(int percent) = 0;
    virtual void withdrawLowBattery() {}
    // No record of the run can be written (reason): whether to write
    // without one (RunSession::answerWithoutRecord), asked before anything
    // is erased.
    virtual void askWithoutRecord(Workflow workflow, const QString &reason) = 0;
    // The check found work that the plan offers: the run goes on with it
    // once RunSession::acceptOffer() is called, and is over with the
    // session otherwise.
    virtual void offerWrite(Workflow workflow) = 0;
};

struct SessionSettings
{
    // Where the run's record goes; empty: where the system keeps the user's
    // data (recordsFolder()).
    QString recordsFolder;
    // Where the run's images are and what they are checked against: the
    // session's alone, so that another in the process may use others.
    ImageSource images;
    // The native handle of the program's main window when a write starts;
    // unset for a program without one.
    std::function<std::uintptr_t()> window;
    // How long the instrument is waited for after a write, to read back
    // what it holds: it restarts on the new firmware.
    int readBackWaitMs = 30000;
    // How the program words a line that tells the user what to do next;
    // nullopt leaves it out. Unset: as the window words it. The record keeps
    // the program's words.
    std::function<std::optional<QString>(const ReportLine &)> words;
};

// One program run, scripted once for the window and kd740-flash: a view
// starts it with a plan; the session checks, decides what the check leads
// to, asks its questions, writes where the plan and the answers say so, and
// ends with one value that says how the run ended. It owns what a run owns: the record, the call relay, the
// write guard, keeping the PC awake, the workers and the progress clock.
// Views start it, answer its questions and show its events; every event
// comes on the session's thread, in the order it happened.
class RunSession : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool running READ running)

public:
    enum class Downgrade { Install, Decline };

    RunSession(RunQuestions &questions, const SessionSettings &settings, QObject *parent = nullptr);
    // Waits for a worker that still runs: a write is never cut short.
    ~RunSession() override;
    RunSession(const RunSession &) = delete;
    RunSession &operator=(const RunSession &) = delete;

    // Does nothing while a run is under way; a new plan after an end starts
    // a new run, with a record of its own.
    void start(const RunPlan &plan);
    // The answers; nullopt: no model, the check ends here. by: what gave
    // the answer where it was not the user, as the record names it (an
    // option of the program's).
    void bootstrapAs(std::optional<DeviceType> model, const QString &by = QString());
    void answerDowngrade(Downgrade answer, const QString &by = QString());
    void answerLowBattery(bool proceed, const QString &by = QString());
    void answerWithoutRecord(bool proceed, const QString &by = QString());
    void acceptOffer();

    // From a start until its end, questions included, except while the
    // session waits for an offered write to be accepted.
    bool running() const { return busy && waiting != Waiting::Offer; }
    // What the last check found; the update and restore start from it.
    DeviceStatus &deviceStatus() { return status; }
    // For a program about to end: the record ends as the check ended, unless
    // a write said how it ended, and its last lines are put on the disk.
    // Whether the record is complete.
    bool finishRecord();
    // The record's path while it is being written, else empty.
    QString recordPath() const;
    // Its SHA-256 once sealed, else empty.
    QString recordDigest() const;
    // For a program that ends at once during the check: the record so far
    // is kept, ending as stopped. Returns its "Record:" line, or why there
    // is none.
    QString keepStoppedCheck();
    // For a program about to end at once: the run's copies of its images go
    // now. Otherwise they go when the run ends.
    void dropImageCopies();
    // The clock of the progress events.
    ProgressClock &progressClock() { return clock; }

signals:
    // report: a line of what the check found or how the run ended, which
    // the window also says to a screen reader.
    void line(const QString &text, LineTone tone, bool report);
    // A worker talks to the instrument from now on (text), a part's write
    // begins, nothing runs any more (empty text).
    void step(const StepEvent &event);
    // When a step begins and once a second meanwhile.
    void progress(const ProgressEvent &event);
    void call(const CallEvent &event);
    void recordStarted(const QString &path);
    // A warning of the run's own: the PC cannot be kept awake.
    void notice(const QString &text);
    // From the worker's thread; reaches views as notice().
    void keepAwakeRefused(const QString &text, QPrivateSignal);
    // The check is over: what it found, before anything follows from it.
    void checkEnded(const CheckResult &result);
    // Always the run's last event.
    void ended(const RunEnd &end);

private:
    void emitLine(const QString &text, LineTone tone = LineTone::Normal, bool report = false);
    void emitLines(const QStringList &lines, bool report = false);
    void emitLines(const QVector<ReportLine> &lines);
    // The run's last lines, the record sealed before the one that names it;
    // then, once it is, whatever follows.
    void emitClosing(QVector<ReportLine> lines, const QString &result, const QString &readBack,
                     const std::function<void()> &then);
    void followErasing(ErasingThread *erasing);
    void startWorker(QThread *worker, const QString &activity, const LibraryProgress *library,
                     void (RunSession::*then)());
    void workerEnded();
    void startStep(int step, int steps, int partIndex);
    void tick();

    void checked();
    void bootstrapped();
    void reportCheck();
    void endCheck();
    void afterCheckEnded(const AfterCheck &next, bool refused);
    void untouchedParts(RunEnd &end) const;
    void describeParts(RunEnd &end, const PartSequence &steps, const std::vector<int> &readBack) const;
    void recordAnswer(const QString &answer, const QString &by);
    void settleBattery(bool proceed);
    void endRun(RunEnd end);
    void write(Workflow workflow);
    void refuseWithoutRecord(Workflow workflow);
    void showRecordWait(bool waiting);
    void written();
    bool readsBack() const;
    void readBack();
    void endWrite(RunEnd::Kind kind, const std::optional<DeviceStatus> &after);

    RunQuestions &questions;
    const SessionSettings settings;
    RunPlan plan;
    // The copies of the images the run proved: the library is given these.
    std::shared_ptr<ImageCopies> copies;
    // The workflow the run writes with, once it does.
    Workflow wrote = Workflow::Check;
    DeviceStatus status;
    CheckResult result;
    // Why an image the run would write is unusable, or empty (the check's
    // worker finds out); and why the boot image of a bootstrap was.
    QString imageProblem;
    QString bootstrapProblem;
    // The PC's battery where a worker read it; the last library call of the
    // write that failed.
    int batteryPercent = -1;
    QString failedCall;
    // What the run writes, once it does, and how the write ended.
    const PartSequence *writeSteps = nullptr;
    WriteOutcome writeOutcome;
    // What answered after the write: NotDetected where nothing did.
    DeviceStatus readBackStatus;
    QString failedWriteCall;
    bool busy = false;
    enum class Waiting { Nothing, Model, Downgrade, Offer, Record };
    Waiting waiting = Waiting::Nothing;
    // The write asked about while no record can be written, and whether the
    // user agreed to it.
    Workflow writeWithoutRecord = Workflow::Check;
    bool withoutRecordAgreed = false;
    QString withoutRecordBy;
    // The worker waits for the answer about the battery.
    ErasingThread *askingBattery = nullptr;
    RunRecord *record = nullptr;
    CallRelay *calls = nullptr;
    std::unique_ptr<QThread> worker;
    std::atomic<bool> workerRan { false };
    void (RunSession::*afterWorker)() = nullptr;
    std::unique_ptr<WriteGuard> guard;
    std::unique_ptr<KeepAwake> keepAwake;
    // While a worker runs: what the busy dialog says, and since when.
    ProgressClock clock;
    std::optional<ProgressText> progressText;
    qint64 stepStartMs = 0;
    const LibraryProgress *library = nullptr;
    PercentFilter percentFilter;
    QTimer ticker;
};

#endif
