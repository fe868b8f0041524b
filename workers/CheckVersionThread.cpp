#include "workers/CheckVersionThread.h"

#include "device/kd_api.h"

void CheckVersionThread::run()
{
    if (checkOverNetwork())
        return;

    int handle = -1;
    if (kdOpenDevice(&handle) == 0) {
        checkOpenedDevice(handle);
        return;
    }
    emit updateText(QStringLiteral("Failed to open KD740."));
    emit updateText(QStringLiteral("Looking for KD740 boot device..."));
    checkBootDevice();
}

bool CheckVersionThread::checkOverNetwork()
{
    int handle = -1;
    int serial = 0;
    int count = 1;
    kdConfigNetGetDeviceList(&serial, &count);
    if (count < 1 || kdConfigNetOpenDevice(&handle, serial) != 0)
        return false;

    int version = 0;
    kdConfigNetGetFirmwareVersion(handle, &version);
    int fpgaStatus = 0;
    kdConfigNetGetFPGAStatus(handle, &fpgaStatus);
    if (fpgaStatus == 2) {
        emit updateText(QStringLiteral("FPGA failed to load."));
        deviceStatus.checkState = NeedsRestore;
    } else {
        deviceStatus.checkState = Operational;
    }
    kdConfigNetCloseDevice(handle);

    deviceStatus.deviceType = KD740C;
    deviceStatus.deviceFirmware = firmwareFromNetVersion(version);
    deviceStatus.targetFirmware = shippedFirmware(KD740C);
    deviceStatus.serial = serial;
    return true;
}

void CheckVersionThread::checkOpenedDevice(int handle)
{
    FirmwareTarget &firmware = deviceStatus.deviceFirmware;
    if (kdGetFirmwareVersion(handle, &firmware.bootVersion, &firmware.runVersion, &firmware.fpgaVersion) != 0) {
        kdCloseDevice(handle);
        emit updateText(QStringLiteral("Failed to retrieve firmware versions."));
        deviceStatus.checkState = NotDetected;
        return;
    }
    if (kdGetDeviceInfo(handle, &deviceStatus.deviceType, &deviceStatus.serial) != 0) {
        kdCloseDevice(handle);
        emit updateText(QStringLiteral("Failed to retrieve serial number."));
        deviceStatus.checkState = NotDetected;
        return;
    }
    kdCloseDevice(handle);
    deviceStatus.checkState = Operational;
    deviceStatus.targetFirmware = shippedFirmware(deviceStatus.deviceType);
}

void CheckVersionThread::checkBootDevice()
{
    int handle = -1;
    if (kdConfigUSBOpenDevice(&handle) != 0) {
        emit updateText(QStringLiteral("Failed to open KD740 boot device."));
        deviceStatus.checkState = NotDetected;
        return;
    }
    KdDeviceType type = KD_DEVICE_KD740A;
    kdConfigUSBGetDeviceSerial(handle, &deviceStatus.serial);
    kdConfigUSBGetDeviceType(handle, &type);
    kdConfigUSBCloseDevice(handle);
    deviceStatus.deviceType = type;
    deviceStatus.checkState = NeedsRestore;
    deviceStatus.targetFirmware = shippedFirmware(deviceStatus.deviceType);
}
