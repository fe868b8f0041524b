#include "workers/BootstrapThread.h"

#include "device/DeviceCall.h"
#include "workers/CheckDecisions.h"

// The handle is closed after every attempt, also after a failed bootstrap.
void BootstrapThread::run()
{
    imageProblem = bootImageProblem(deviceStatus);
    if (!imageProblem.isEmpty() || !mayErase())
        return;
    const QByteArray image = bootImagePath(deviceStatus.targetFirmware);
    int handle = -1;
    if (deviceStatus.deviceType == KD740C) {
        if (KD_CALL(kdConfigNetBootstrapDevice, &handle, image.constData()) == 0
            && KD_CALL(kdConfigNetGetSerialFromFlash, handle, &deviceStatus.serial) == 0)
            deviceStatus.checkState = NeedsRestore;
        // Not examined: the attempt is over either way.
        KD_CALL(kdConfigNetCloseDevice, handle);
    } else {
        if (KD_CALL(kdConfigUSBBootstrapDevice, &handle, image.constData()) == 0
            && KD_CALL(kdConfigUSBGetSerialFromFlash, handle, &deviceStatus.serial) == 0)
            deviceStatus.checkState = NeedsRestore;
        // Not examined: the attempt is over either way.
        KD_CALL(kdConfigUSBCloseDevice, handle);
    }
}
