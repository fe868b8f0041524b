#ifndef FLASHOUTPUT_H
#define FLASHOUTPUT_H

#include "workers/Reports.h"

#include <QString>

// The console program's exit statuses.
enum ExitCode : int {
    ExitDone = 0,
    ExitStepFailed = 1,
    ExitUsage = 2,
    ExitNoInstrument = 3,
    ExitDecisionNeeded = 4,
    ExitImageUnusable = 5,
    // Plus the signal's number.
    ExitSignalBase = 128,
};

// How a run ended: its exit status, a word for scripts and, where the program
// stopped for a reason of its own, what the user can do about it.
struct Outcome
{
    int exitCode = ExitDone;
    QString result;
    QString message;
};

// One library call as the record and --json report it.
struct CallEvent
{
    QString name;
    QString arguments;
    int status = 0;
    qint64 microseconds = 0;
};

// Where a run's events go: text for people, JSON for scripts. Called on the
// main thread only, in the order the events happened.
class FlashOutput
{
public:
    virtual ~FlashOutput() = default;
    // A log line, as the window writes it.
    virtual void line(const QString &text, LineTone tone) = 0;
    // What the program is doing now, and how long it has done it: step()
    // when that changes (empty when it stops), progress() once a second
    // meanwhile.
    virtual void step(const QString &text) = 0;
    virtual void progress(const QString &text, int elapsedSeconds) = 0;
    virtual void call(const CallEvent &event) = 0;
    // Why the program is stopping although nothing failed, as it happens.
    virtual void notice(const QString &text) = 0;
    virtual void outcome(const Outcome &outcome) = 0;
};

#endif
