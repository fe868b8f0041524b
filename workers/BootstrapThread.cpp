#include "workers/BootstrapThread.h"

#include "device/Link.h"

void BootstrapThread::run()
{
    const QByteArray image = bootImagePath(deviceStatus.targetFirmware);
    if (linkFor(linkOf(deviceStatus.deviceType)).bootstrap(image.constData(), &deviceStatus.serial))
        deviceStatus.checkState = NeedsRestore;
}
