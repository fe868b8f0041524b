#include "workers/RestoreDeviceThread.h"

const PartSequence &RestoreDeviceThread::sequence() const
{
    return restoreSequence(deviceStatus.deviceType);
}
