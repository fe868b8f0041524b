#ifndef RESTOREDEVICETHREAD_H
#define RESTOREDEVICETHREAD_H

#include "workers/WritePartsThread.h"

// Rewrites every part of an instrument found in boot mode, bootstrapped,
// or with an FPGA that failed to load.
class RestoreDeviceThread : public WritePartsThread
{
    Q_OBJECT

public:
    const PartSequence &sequence() const override;
};

#endif
