#include "workers/BootstrapThread.h"

#include "device/Link.h"
#include "workers/HandOver.h"
#include "workers/ImageCheck.h"

BootstrapThread::BootstrapThread(const DeviceStatus &status, const ImageSource &images, const ImageList &list,
                                 std::shared_ptr<ImageCopies> copies,
                                 std::function<QString(const DeviceStatus &)> imageProblem)
    : deviceStatus(status)
    , images(images)
    , list(list)
    , copies(std::move(copies))
    , imageProblem(std::move(imageProblem))
{
}

void BootstrapThread::run()
{
    BootstrapOutcome outcome;
    outcome.status = deviceStatus;
    outcome.bootImageProblem = bootImageProblem(images, list, *copies, deviceStatus);
    // The restore's images are copied before the bootstrap too: a folder that
    // changes while it runs changes nothing the restore writes.
    DeviceStatus restoring = deviceStatus;
    restoring.checkState = NeedsRestore;
    const QString restoreProblem = outcome.bootImageProblem.isEmpty() ? imageProblem(restoring) : QString();
    if (outcome.bootImageProblem.isEmpty() && mayErase()) {
        const QByteArray image = provenCopy(*copies, bootImagePath(images, deviceStatus.targetFirmware));
        if (linkFor(linkOf(deviceStatus.deviceType)).bootstrap(image.constData(), &outcome.status.serial))
            outcome.status.checkState = NeedsRestore;
    }
    if (outcome.status.checkState == NeedsRestore)
        outcome.imageProblem = restoreProblem;
    outcome.stoppedForBattery = stoppedForBattery;
    outcome.batteryPercent = batteryPercent;
    const std::lock_guard<std::mutex> handOver(handOverLock());
    emit ended(outcome);
}
