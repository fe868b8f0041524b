#include "session/CheckDecisions.h"

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
