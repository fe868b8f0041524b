#ifndef DEVICESTATUS_H
#define DEVICESTATUS_H

#include "catalogue/Catalogue.h"

#include <QMetaType>

#include <cstdint>

enum DeviceState : std::int32_t { NotDetected = 0, NeedsRestore = 1, Operational = 2 };

// What the version check found; copied whole into the update and restore
// workers. Zero-initialised so that no path can read an unset field.
struct DeviceStatus
{
    DeviceState checkState = NotDetected;
    std::int32_t serial = 0;
    DeviceType deviceType = 0;
    FirmwareTarget deviceFirmware;
    FirmwareTarget targetFirmware;
};

Q_DECLARE_METATYPE(DeviceStatus)

#endif
