#ifndef RUNSESSION_H
#define RUNSESSION_H

#include "catalogue/ImageSource.h"
#include "session/RunEvents.h"
#include "workers/LibraryProgress.h"
#include "workers/ProgressText.h"
#include "workers/Reports.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class CallRelay;
class ErasingThread;
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
};

struct SessionSettings
{
    // Where the run's record goes (recordsFolder()).
    QString recordsFolder;
    // Where the run's images are and what they are checked against: the
    // session's alone, so that another in the process may use others.
    ImageSource images;
    // The native handle of the program's main window when a write starts;
    // unset for a program without one.
    std::function<std::uintptr_t()> window;
    // No instrument answered: a model may be named for a bootstrap.
    bool offersBootstrap = true;
    // The check also checks the images of the parts an update or a restore
    // would write, so that a bench learns of an unusable one before it plans
    // a write.
    bool checksImages = false;
    // How the program words a line that tells the user what to do next;
    // nullopt leaves it out. Unset: as the window words it. The record keeps
    // the program's words.
    std::function<std::optional<QString>(const ReportLine &)> words;
};

// One program run, scripted once for the window and kd740-flash: the check
// with its two decisions and the bootstrap, then an update or a restore and
// its outcome. It owns what a run owns: the record, the call relay, the
// write guard, keeping the PC awake, the workers and the progress clock.
// Views start it, answer its questions and show its events; every event
// comes on the session's thread, in the order it happened.
class RunSession : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool running READ running)

public:
    enum class Downgrade {
        Install,
        Decline,
        Unasked, // the view takes no decision here: no line says either way
    };

    RunSession(RunQuestions &questions, const SessionSettings &settings, QObject *parent = nullptr);
    // Waits for a worker that still runs: a write is never cut short.
    ~RunSession() override;
    RunSession(const RunSession &) = delete;
    RunSession &operator=(const RunSession &) = delete;

    // Each does nothing while a workflow is under way.
    void check();
    void update();
    void restore();
    // The answers; nullopt: no model, the check ends here.
    void bootstrapAs(std::optional<DeviceType> model);
    void answerDowngrade(Downgrade answer);
    void answerLowBattery(bool proceed);

    // From a start until its checkEnded or writeEnded, questions included.
    bool running() const { return busy; }
    // What the last check found; the update and restore start from it.
    DeviceStatus &deviceStatus() { return status; }
    // For a program about to end: the record ends as the check ended, unless
    // a write said how it ended, and its last lines are put on the disk.
    void finishRecord();
    // The record's path while it is being written, else empty.
    QString recordPath() const;
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
    void checkEnded(const CheckResult &result);
    void writeEnded(const WriteResult &result);

private:
    void emitLine(const QString &text, LineTone tone = LineTone::Normal, bool report = false);
    void emitLines(const QStringList &lines, bool report = false);
    void emitLines(const QVector<ReportLine> &lines);
    void checkImages();
    void followErasing(ErasingThread *erasing);
    void startWorker(QThread *worker, const QString &activity, const LibraryProgress *library,
                     void (RunSession::*then)());
    void workerEnded();
    void startStep(int step, int steps, const QString &part, int expectedSeconds);
    void tick();

    void checked();
    void bootstrapped();
    void reportCheck();
    void endCheck();
    void write(WritePartsThread *worker, const QString &title);
    void written();

    RunQuestions &questions;
    const SessionSettings settings;
    DeviceStatus status;
    CheckResult result;
    bool busy = false;
    enum class Waiting { Nothing, Model, Downgrade };
    Waiting waiting = Waiting::Nothing;
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
