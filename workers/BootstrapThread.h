#ifndef BOOTSTRAPTHREAD_H
#define BOOTSTRAPTHREAD_H

#include "workers/DeviceStatus.h"
#include "workers/ErasingThread.h"

// Bootstraps an instrument that answered nothing from the boot image of the
// model the user named, once the PC's battery allows, and reads its serial
// number from flash. Takes the panel's record with that model in it and
// leaves NeedsRestore and the serial in its own copy when both calls succeed.
class BootstrapThread : public ErasingThread
{
    Q_OBJECT

public:
    DeviceStatus deviceStatus;

protected:
    void run() override;
};

#endif
