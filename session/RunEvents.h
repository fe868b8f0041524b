#ifndef RUNEVENTS_H
#define RUNEVENTS_H

#include "workers/CheckDecisions.h"
#include "workers/DeviceStatus.h"
#include "workers/PartSteps.h"

#include <QStringList>

#include <QMetaType>
#include <QString>

// What the program does from now on, in the busy dialog's words. Empty text:
// nothing runs any more. A part's write also has its place among the parts
// the run writes (from 1), its name and how long it usually takes.
struct StepEvent
{
    QString text;
    int index = 0;
    int count = 0;
    QString part;
    int expectedSeconds = 0;
};

// The busy dialog's two progress lines, the seconds since the step began,
// and the library's percentage (-1: none); the step line without the
// percentage, and whether the step takes longer than usual.
struct ProgressEvent
{
    QString step;
    QString elapsed;
    int seconds = 0;
    int percent = -1;
    QString stepName;
    bool late = false;
};

// One library call as the record and --json report it.
struct CallEvent
{
    QString name;
    QString arguments;
    int status = 0;
    qint64 microseconds = 0;
};

// How a check ended.
struct CheckResult
{
    DeviceState state = NotDetected;
    UpdateOffer offer = UpdateOffer::None;
    // The newer firmware on the instrument may be replaced by the shipped.
    bool downgradeAccepted = false;
    // No instrument answered, and no model was named to bootstrap it.
    bool modelDeclined = false;
    // The bootstrap did not start: the PC's battery is too low.
    bool stoppedForBattery = false;
    // An image the run would need is unusable: the boot image of a
    // bootstrap, or one the check was asked to check.
    bool imageUnusable = false;
};

// How an update or a restore ended.
struct WriteResult
{
    bool succeeded = false;
    // It did not start: an image it needs is unusable, nothing was touched.
    bool imageUnusable = false;
    // Something asked the program to end during the write: it ends now.
    bool endRequested = false;
    // That request came before anything was erased and stopped the run:
    // its signal number (0 for the end of a Windows session).
    bool stopped = false;
    int endSignal = 0;
    // It did not start: the PC's battery is too low.
    bool stoppedForBattery = false;
    // Each part of the workflow, in its order, and what the run left it as.
    QStringList parts;
    std::vector<PartOutcome> outcomes;
};

Q_DECLARE_METATYPE(StepEvent)
Q_DECLARE_METATYPE(ProgressEvent)
Q_DECLARE_METATYPE(CallEvent)
Q_DECLARE_METATYPE(CheckResult)
Q_DECLARE_METATYPE(WriteResult)

#endif
