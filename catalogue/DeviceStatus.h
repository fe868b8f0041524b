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
    // The FPGA's version in deviceFirmware was not read but follows from the
    // FX3 version: a network instrument reports only whether its FPGA loaded.
    bool fpgaVersionDerived = false;
};

// The firmware the check found, as the log and the record write it: saying
// which number was not read.
inline QString foundFirmwareText(const DeviceStatus &status)
{
    return versionString(status.deviceFirmware)
        + (status.fpgaVersionDerived ? QStringLiteral(" (FPGA version derived from the FX3 version)") : QString());
}

Q_DECLARE_METATYPE(DeviceStatus)

#endif
