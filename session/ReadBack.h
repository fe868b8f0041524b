#ifndef READBACK_H
#define READBACK_H

#include "catalogue/DeviceStatus.h"
#include "workers/PartStep.h"

#include <QStringList>

#include <vector>

// What the written instrument reported after the write, held against what
// the write meant it to hold: every part written at the shipped version,
// starting normally. Only the parts whose versions it reports are compared;
// of the others only whether they loaded is known.
struct ReadBack
{
    enum class Verdict { Confirmed, NoAnswer, Contradicted };
    Verdict verdict = Verdict::NoAnswer;
    // Contradicted: a line for each part it reports at another version.
    QStringList differences;
    // What it reports, as the state lines after a failure: empty where
    // nothing answered.
    QStringList reportedState;
    // Where the report and the run's own calls disagree about a part the run
    // left erased: a line that says so and what to do.
    QStringList disagreements;
    // Each part of the sequence, in its order, as read back: -1 where nothing
    // answered or the instrument does not say.
    std::vector<int> versions;
    // Of a part whose version cannot be read: "loaded" or "not loaded";
    // empty for the others, and where nothing answered.
    QStringList loadStatus;
};

// after: NotDetected where the written instrument did not answer;
// clearFailed: the last part erased or incomplete failed at its clear.
ReadBack compareReadBack(const PartSequence &steps, const DeviceStatus &before,
                         const std::vector<PartOutcome> &outcomes, const DeviceStatus &after, bool clearFailed = false);

// The state lines of a run that did not succeed: what its own calls left
// (facts), then what the instrument reports, then where the two disagree.
QStringList stateWithReport(const QStringList &facts, const ReadBack &read);

// The record's "read back:" value: each part's version, "unknown" with its
// load status where it cannot be read, or "no answer".
QString readBackText(const PartSequence &steps, const ReadBack &read);

#endif
