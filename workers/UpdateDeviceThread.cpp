#include "workers/UpdateDeviceThread.h"

const PartSequence &UpdateDeviceThread::sequence() const
{
    return updateSequence(deviceStatus.deviceType);
}
