#ifndef WRITEPARTSTHREAD_H
#define WRITEPARTSTHREAD_H

#include "catalogue/ImageSource.h"
#include "workers/DeviceStatus.h"
#include "workers/ErasingThread.h"
#include "workers/LibraryProgress.h"
#include "workers/PartSteps.h"
#include "workers/RunResult.h"

#include <QVector>

// Runs one sequence of part steps on its own thread: checks the images of
// the parts it will write and the PC's battery, reaches the instrument
// unless told to stop by then, then erases and writes each part in turn,
// skipping current ones where the sequence does. The update and the restore
// differ only in their tables.
class WritePartsThread : public ErasingThread
{
    Q_OBJECT

public:
    bool succeeded = false;
    // The run did not start because an image it needs is unusable: nothing
    // was touched.
    bool imageUnusable = false;
    DeviceStatus deviceStatus;
    // The run's: where the images are and what they are checked against.
    ImageSource images;

    // Read after the worker has finished: what a failed run left on the
    // instrument, for the log.
    QStringList stateAfterFailure() const;
    // Read after the worker has finished: how the run ended, in one word.
    RunResult result() const;
    // Read after the worker has finished: each part of the sequence, in its
    // order, and what the run left it as.
    const std::vector<PartOutcome> &partOutcomes() const { return outcomes; }

    // Read by the GUI thread while the worker runs.
    const LibraryProgress &libraryProgress() const { return progress; }

    virtual const PartSequence &sequence() const = 0;

signals:
    // Before a part's clear: the part is the step-th of the steps this run
    // writes, and usually takes up to expectedSeconds.
    void stepStarted(int step, int steps, const QString &part, int expectedSeconds);

protected:
    void run() override;

private:
    bool imagesUsable();
    bool writeParts(PartSession &session, const std::vector<bool> &toWrite);
    bool writePart(PartSession &session, std::size_t index, int step, int steps);

    LibraryProgress progress;
    // What each part of the sequence was left as, in its order.
    std::vector<PartOutcome> outcomes;
};

#endif
