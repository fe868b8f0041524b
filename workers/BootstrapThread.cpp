#include "workers/BootstrapThread.h"

#include "device/Link.h"
#include "workers/HandOver.h"
#include "workers/ImageCheck.h"

BootstrapThread::BootstrapThread(const DeviceStatus &status, const ImageSource &images,
                                 std::function<QString(const DeviceStatus &)> imageProblem)
    : deviceStatus(status)
    , images(images)
    , imageProblem(std::move(imageProblem))
{
}

void BootstrapThread::run()
{
    BootstrapOutcome outcome;
    outcome.status = deviceStatus;
    outcome.bootImageProblem = bootImageProblem(images, deviceStatus);
    if (outcome.bootImageProblem.isEmpty() && mayErase()) {
        const QByteArray image = bootImagePath(images, deviceStatus.targetFirmware);
        if (linkFor(linkOf(deviceStatus.deviceType)).bootstrap(image.constData(), &outcome.status.serial))
            outcome.status.checkState = NeedsRestore;
    }
    outcome.imageProblem = imageProblem(outcome.status);
    outcome.stoppedForBattery = stoppedForBattery;
    outcome.batteryPercent = batteryPercent;
    const std::lock_guard<std::mutex> handOver(handOverLock());
    emit ended(outcome);
}
