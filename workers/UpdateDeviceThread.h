#ifndef UPDATEDEVICETHREAD_H
#define UPDATEDEVICETHREAD_H

#include "workers/WritePartsThread.h"

// Writes the parts whose versions differ from the shipped ones.
class UpdateDeviceThread : public WritePartsThread
{
    Q_OBJECT

public:
    const PartSequence &sequence() const override;
};

#endif
