#include "workers/BootstrapThread.h"

#include "device/Link.h"
#include "workers/CheckDecisions.h"

void BootstrapThread::run()
{
    imageProblem = bootImageProblem(images, deviceStatus);
    if (!imageProblem.isEmpty() || !mayErase())
        return;
    const QByteArray image = bootImagePath(images, deviceStatus.targetFirmware);
    if (linkFor(linkOf(deviceStatus.deviceType)).bootstrap(image.constData(), &deviceStatus.serial))
        deviceStatus.checkState = NeedsRestore;
}
