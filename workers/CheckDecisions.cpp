#include "workers/CheckDecisions.h"

#include "workers/ImageCheck.h"

UpdateOffer updateOffer(const FirmwareTarget &device, const FirmwareTarget &shipped)
{
    if (shipped.bootVersion < device.bootVersion || shipped.runVersion < device.runVersion
        || shipped.fpgaVersion < device.fpgaVersion)
        return UpdateOffer::Downgrade;
    if (shipped.bootVersion > device.bootVersion || shipped.runVersion > device.runVersion
        || shipped.fpgaVersion > device.fpgaVersion)
        return UpdateOffer::Update;
    return UpdateOffer::None;
}

DeviceStatus bootstrapRecord(DeviceStatus status, DeviceType model)
{
    status.deviceType = model;
    status.deviceFirmware.deviceType = model;
    status.targetFirmware = shippedFirmware(model);
    return status;
}

// An image the library cannot use would only show as a failed bootstrap.
QString bootImageProblem(const ImageSource &images, const DeviceStatus &status)
{
    return firstUnusableImage(images, { bootImagePath(images, status.targetFirmware) });
}
