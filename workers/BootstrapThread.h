#ifndef BOOTSTRAPTHREAD_H
#define BOOTSTRAPTHREAD_H

#include "catalogue/ImageSource.h"
#include "workers/DeviceStatus.h"
#include "workers/ErasingThread.h"

// Bootstraps an instrument that answered nothing from the boot image of the
// model the user named, once the PC's battery allows, and reads its serial
// number from flash. Takes the panel's record with that model in it and
// leaves NeedsRestore and the serial in its own copy when both calls succeed.
// The boot image is checked first, here, as reading it can wait on the disk;
// an unusable one stops the bootstrap before any call.
class BootstrapThread : public ErasingThread
{
    Q_OBJECT

public:
    DeviceStatus deviceStatus;
    // The run's: where the boot image is and what it is checked against.
    ImageSource images;
    // Read after the worker has finished: the line that says why the boot
    // image cannot be used, or empty.
    QString imageProblem;

protected:
    void run() override;
};

#endif
