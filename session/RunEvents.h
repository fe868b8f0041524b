#ifndef RUNEVENTS_H
#define RUNEVENTS_H

#include "catalogue/DeviceStatus.h"
#include "catalogue/ImageSource.h"
#include "session/CheckDecisions.h"
#include "session/PartSteps.h"

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
    // The run's one read of its images' list: who signed it, or why it was not taken.
    ImageList images;
};

// What a view asks a run for.
enum class Workflow { Check, Update, Restore };

struct RunPlan
{
    Workflow workflow = Workflow::Check;
    // A check that finds work asks whether to do it (RunQuestions::offerWrite)
    // rather than ending the run: the way a user with buttons is asked.
    bool offerAfterCheck = false;
};

// How a run ended, one value for every view.
struct RunEnd
{
    enum class Kind {
        Success,
        // Written, but the instrument did not answer afterwards to confirm it.
        NotConfirmed,
        Failed,
        // A signal came before anything was erased.
        Stopped,
        // What a check found where nothing was written.
        Current,
        UpdateNeeded,
        DowngradeOffered,
        RestoreNeeded,
        NotFound,
        // Nothing was touched for one of these.
        NoModelNamed,
        ImageUnusable,
        LowBattery,
        // No record could be written, and the write was not agreed without one.
        NoRecord,
        DowngradeDeclined,
        RestoreNotUpdate,
        UpdateNotRestore,
    };
    Kind kind = Kind::Current;
    // The program ends now, whatever view it has: the user cancelled the
    // model question, or something asked it to end during the write.
    bool endsProgram = false;
    // Stopped: the signal's number (0 for the end of a Windows session).
    int endSignal = 0;
    // The workflow that wrote (Check: none), each of its parts in its order,
    // and what the run left them as.
    Workflow wrote = Workflow::Check;
    QStringList parts;
    std::vector<PartOutcome> outcomes;
    // Each of those parts' versions as the check found them, as shipped, and
    // as read back after the write (-1: not known, no answer, or not read).
    std::vector<int> found;
    std::vector<int> shipped;
    std::vector<int> readBack;
    // Something answered when the instrument was read after the write.
    bool readBackAnswered = false;
    // Of a part whose version cannot be read back: "loaded" or "not loaded"
    // (else empty). What the instrument reported, and where that disagrees
    // with what the run's calls left, as the log says them.
    QStringList readBackLoad;
    QStringList reported;
    QStringList disagreements;
    // The PC's battery percentage where it was read before an erase, else -1.
    int batteryPercent = -1;
    // ImageUnusable: which image and why, as the log says it; NoRecord:
    // why no record can be written.
    QString problem;
    // Failed: the part the run was writing and the library call that
    // failed, where there were.
    QString failedPart;
    QString failedCall;
    // The run's record and its digest once sealed; empty where there is none.
    QString recordPath;
    QString recordDigest;
};

Q_DECLARE_METATYPE(StepEvent)
Q_DECLARE_METATYPE(ProgressEvent)
Q_DECLARE_METATYPE(CallEvent)
Q_DECLARE_METATYPE(CheckResult)
Q_DECLARE_METATYPE(RunEnd)

#endif
