#include "workers/BootstrapThread.h"

#include "device/kd_api.h"

// The handle is closed after every attempt, also after a failed bootstrap.
void BootstrapThread::run()
{
    const QByteArray image = bootImagePath(deviceStatus.targetFirmware);
    int handle = -1;
    if (deviceStatus.deviceType == KD740C) {
        if (kdConfigNetBootstrapDevice(&handle, image.constData()) == 0
            && kdConfigNetGetSerialFromFlash(handle, &deviceStatus.serial) == 0)
            deviceStatus.checkState = NeedsRestore;
        // Not examined: the attempt is over either way.
        kdConfigNetCloseDevice(handle);
    } else {
        if (kdConfigUSBBootstrapDevice(&handle, image.constData()) == 0
            && kdConfigUSBGetSerialFromFlash(handle, &deviceStatus.serial) == 0)
            deviceStatus.checkState = NeedsRestore;
        // Not examined: the attempt is over either way.
        kdConfigUSBCloseDevice(handle);
    }
}
