#ifndef CHECKDECISIONS_H
#define CHECKDECISIONS_H

#include "catalogue/DeviceStatus.h"

#include <QString>

// What the check offers an instrument that runs its normal program.
enum class UpdateOffer {
    None, // every part is current
    Update, // some part is older than shipped, none newer
    Downgrade, // some part is newer than shipped: the user is asked first
};

UpdateOffer updateOffer(const FirmwareTarget &device, const FirmwareTarget &shipped);

// The record a bootstrap starts from once the user has named the model.
DeviceStatus bootstrapRecord(DeviceStatus status, DeviceType model);

#endif
