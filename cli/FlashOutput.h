#ifndef FLASHOUTPUT_H
#define FLASHOUTPUT_H

#include "session/Reports.h"
#include "session/RunEvents.h"
#include "session/RunPlan.h"

#include <QString>
#include <QVector>

// The console program's exit statuses.
enum ExitCode : int {
    ExitDone = 0,
    ExitStepFailed = 1,
    ExitUsage = 2,
    ExitNoInstrument = 3,
    ExitDecisionNeeded = 4,
    ExitImageUnusable = 5,
    ExitLowBattery = 6,
    // No record of the run can be written, and --no-record was not given.
    ExitNoRecord = 7,
    // history --verify: a record was edited, removed or inserted.
    ExitHistoryBroken = 8,
    // Written, but the instrument did not answer afterwards to confirm it.
    ExitNotConfirmed = 12,
    // check only: what the instrument needs, for a production line.
    ExitUpdateOffered = 10,
    ExitRestoreNeeded = 11,
};

// A firmware part as a run left it, in the words of --json: "written",
// "erased", "untouched" or "skipped", and its versions.
struct PartState
{
    QString part;
    QString state;
    // Its version as shipped, as found before the write and as read back
    // after it; -1: not known.
    int shipped = -1;
    int found = -1;
    int readBack = -1;
    // Where its version cannot be read back: "loaded" or "not loaded".
    QString readBackLoad;
};

// How a run ended: its exit status, a word for scripts and what it means
// for the user.
struct Outcome
{
    int exitCode = ExitDone;
    QString result;
    QString message;
    // The log lines already said it: text output leaves the message out.
    bool logSaidIt = false;
    // Where a write failed: the part it was writing and the call that failed.
    QString failedPart;
    QString failedCall;
    // The PC's battery where it was read, else -1.
    int batteryPercent = -1;
    // The run's record holds all of it, its result last, on the disk.
    bool recordComplete = false;
    // Where an update or a restore ran: each part of it, in its order.
    QVector<PartState> parts;
    // What the instrument reported after a write, and where that disagrees
    // with what the run's calls left, as the log says them.
    QStringList reported;
    QStringList disagreements;
    // The run's record and its SHA-256 once sealed, else empty.
    QString recordPath;
    QString recordDigest;
};

// Where a run's events go: text for people, JSON for scripts. Called on the
// main thread only, in the order the events happened.
class FlashOutput
{
public:
    virtual ~FlashOutput() = default;
    // A log line, as the window writes it.
    virtual void line(const QString &text, LineTone tone) = 0;
    // step() when what the program does changes, progress() once a second
    // meanwhile.
    virtual void step(const StepEvent &event) = 0;
    virtual void progress(const ProgressEvent &event) = 0;
    virtual void call(const CallEvent &event) = 0;
    // Once the check has found an instrument.
    virtual void instrument(const InstrumentFindings &found) = 0;
    // The run's record is being written at path.
    virtual void record(const QString &path) = 0;
    // A warning of the program's own, e.g. that the PC cannot be kept awake.
    virtual void notice(const QString &text) = 0;
    virtual void outcome(const Outcome &outcome) = 0;
};

#endif
