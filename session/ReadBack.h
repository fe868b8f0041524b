#ifndef READBACK_H
#define READBACK_H

#include "catalogue/DeviceStatus.h"
#include "workers/PartStep.h"

#include <QStringList>

#include <vector>

// What an instrument reported after a write, held against what the write
// meant it to hold: every part written at the shipped version, the same
// serial, and starting normally.
struct ReadBack
{
    enum class Verdict { Confirmed, NoAnswer, Contradicted };
    Verdict verdict = Verdict::NoAnswer;
    // Contradicted: a line for each part it reports at another version, and
    // for another serial.
    QStringList differences;
    // What it reports, as the state lines after a failure: empty where
    // nothing answered.
    QStringList reportedState;
    // Each part of the sequence, in its order, as read back: -1 where nothing
    // answered or the instrument does not say.
    std::vector<int> versions;
};

// after: NotDetected where nothing answered.
ReadBack compareReadBack(const PartSequence &steps, const DeviceStatus &before,
                         const std::vector<PartOutcome> &outcomes, const DeviceStatus &after);

// The record's "read back:" value: each part's version, or "no answer".
QString readBackText(const PartSequence &steps, const ReadBack &read);

#endif
