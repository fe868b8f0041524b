#ifndef RUNPLAN_H
#define RUNPLAN_H

#include "session/RunEvents.h"

#include <QString>
#include <QVector>

// One part's version on the instrument (-1: not known, as in boot mode) and
// in the shipped images.
struct PartVersions
{
    QString part;
    int found = -1;
    int shipped = 0;
};

// The instrument a check found, and what it offers: "update" (an older or
// a newer version), "restore" or "none".
struct InstrumentFindings
{
    QString model;
    int serial = 0;
    QString link;
    QVector<PartVersions> parts;
    // As the log writes them ("4.5.10"); the found one empty in boot mode.
    QString firmwareFound;
    QString firmwareShipped;
    QString offer;
    // The key that signed the list the run's images were held to; empty:
    // the list was taken unsigned.
    QString imagesSigner;
    QString imagesComment;
};

// The parts are the update's, over the link the model is reached by; the
// signer is the check's.
InstrumentFindings instrumentFindings(const DeviceStatus &status, const CheckResult &check);

// What a check leads to under a plan: a write, a write offered to the user,
// or the run's end.
struct AfterCheck
{
    enum class Next { Write, Offer, End };
    Next next = Next::End;
    // Write, Offer: which.
    Workflow workflow = Workflow::Check;
    // End: how.
    RunEnd::Kind end = RunEnd::Kind::Current;
};

// An unusable image or a missing instrument ends the run before anything
// else is decided; a run without a user never takes an instrument that needs
// work for a finished one.
AfterCheck afterCheck(const RunPlan &plan, const CheckResult &result);

// What a check alone found: one of the ends that write nothing.
RunEnd::Kind checkFound(const CheckResult &result);

// Whether the check may ask before an older firmware is installed: only
// where an update may follow it.
bool mayInstallOlder(const RunPlan &plan);
// Whether the plan may lead to a write.
bool mayWrite(const RunPlan &plan);
// Whether an instrument that answers nothing may be bootstrapped: only where
// a restore may follow the check.
bool mayBootstrap(const RunPlan &plan);

// What the record's result line says of what a check found, and of how a
// write ended: "success", "not confirmed", "failure", and where nothing was
// touched "stopped" (a signal), "low battery" or "image unusable".
QString recordResult(RunEnd::Kind kind);
QString writeRecordResult(RunEnd::Kind kind);

#endif
