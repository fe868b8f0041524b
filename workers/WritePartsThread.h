#ifndef WRITEPARTSTHREAD_H
#define WRITEPARTSTHREAD_H

#include "catalogue/DeviceStatus.h"
#include "catalogue/ImageSource.h"
#include "device/LibraryProgress.h"
#include "workers/ErasingThread.h"
#include "workers/PartStep.h"

#include <QMetaType>

#include <memory>

class ImageCopies;

// How a write ended: whether every part was written, why it did not start
// where it did not, and what each part of the sequence was left as, in its
// order.
struct WriteOutcome
{
    bool succeeded = false;
    // An image it needs is unusable: nothing was touched.
    bool imageUnusable = false;
    // Which image, and why, as the log says it.
    QString imageProblem;
    // The battery was too low: nothing was touched.
    bool stoppedForBattery = false;
    // Where it was read.
    int batteryPercent = -1;
    std::vector<PartOutcome> parts;
    // The last part erased or incomplete failed at its clear, which may have
    // left it as it was.
    bool clearFailed = false;
};
Q_DECLARE_METATYPE(WriteOutcome)

// Runs one sequence of part steps on its own thread: makes sure the check
// proved a copy of each image it will write (the library is given the
// copies) and checks the PC's battery, reaches the instrument
// unless told to stop by then, then erases and writes each part in turn,
// skipping current ones where the sequence does. The update and the restore
// differ only in the sequence they are given.
class WritePartsThread : public ErasingThread
{
    Q_OBJECT

public:
    // copies: those the run's check proved.
    WritePartsThread(const PartSequence &steps, const DeviceStatus &status, const ImageSource &images,
                     std::shared_ptr<const ImageCopies> copies);

    // Read by the session's thread while the worker runs.
    const LibraryProgress &libraryProgress() const { return progress; }

signals:
    // Before a part's clear: the part (its index in the sequence) is the
    // step-th of the steps this run writes.
    void stepStarted(int step, int steps, int part);
    // Its last act.
    void ended(const WriteOutcome &outcome);

protected:
    void run() override;

private:
    void writeSequence(WriteOutcome &outcome);
    QString unusableImage();
    bool serialUsable(const std::vector<bool> &toWrite);
    bool writeParts(PartSession &session, const std::vector<bool> &toWrite, WriteOutcome &outcome);
    bool writePart(PartSession &session, std::size_t index, int step, int steps, WriteOutcome &outcome);

    const PartSequence &steps;
    const DeviceStatus deviceStatus;
    const ImageSource images;
    const std::shared_ptr<const ImageCopies> copies;
    LibraryProgress progress;
};

#endif
