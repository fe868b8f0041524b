#ifndef BOOTSTRAPTHREAD_H
#define BOOTSTRAPTHREAD_H

#include "catalogue/DeviceStatus.h"
#include "catalogue/ImageSource.h"
#include "workers/ErasingThread.h"

#include <QMetaType>

#include <functional>
#include <memory>

class ImageCopies;

// How a bootstrap ended: the record with NeedsRestore and the serial where
// both calls succeeded, the line that says why the boot image cannot be
// used, or that the battery was too low.
struct BootstrapOutcome
{
    DeviceStatus status;
    QString bootImageProblem;
    // Once bootstrapped: why an image the restore would write cannot be used.
    QString imageProblem;
    bool stoppedForBattery = false;
    // Where it was read.
    int batteryPercent = -1;
};
Q_DECLARE_METATYPE(BootstrapOutcome)

// Bootstraps an instrument that answered nothing from the boot image of the
// model the user named, once the PC's battery allows, and reads its serial
// number from flash. The boot image is checked and copied first, here, as
// reading it can wait on the disk; an unusable one stops the bootstrap before
// any call, and the library is given the copy.
class BootstrapThread : public ErasingThread
{
    Q_OBJECT

public:
    // status: the check's record with the named model in it; list and
    // copies: the run's; imageProblem: why an image the restore of what
    // answered would write cannot be used.
    BootstrapThread(const DeviceStatus &status, const ImageSource &images, const ImageList &list,
                    std::shared_ptr<ImageCopies> copies, std::function<QString(const DeviceStatus &)> imageProblem);

signals:
    // Its last act.
    void ended(const BootstrapOutcome &outcome);

protected:
    void run() override;

private:
    const DeviceStatus deviceStatus;
    const ImageSource images;
    const ImageList list;
    const std::shared_ptr<ImageCopies> copies;
    const std::function<QString(const DeviceStatus &)> imageProblem;
};

#endif
