#include "workers/BootstrapThread.h"

#include "device/Link.h"
#include "workers/ImageCheck.h"

BootstrapThread::BootstrapThread(const DeviceStatus &status, const ImageSource &images)
    : deviceStatus(status)
    , images(images)
{
}

void BootstrapThread::run()
{
    BootstrapOutcome outcome;
    outcome.status = deviceStatus;
    outcome.imageProblem = bootImageProblem(images, deviceStatus);
    if (outcome.imageProblem.isEmpty() && mayErase()) {
        const QByteArray image = bootImagePath(images, deviceStatus.targetFirmware);
        if (linkFor(linkOf(deviceStatus.deviceType)).bootstrap(image.constData(), &outcome.status.serial))
            outcome.status.checkState = NeedsRestore;
    }
    outcome.stoppedForBattery = stoppedForBattery;
    outcome.batteryPercent = batteryPercent;
    emit ended(outcome);
}
