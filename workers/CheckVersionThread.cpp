#include "workers/CheckVersionThread.h"

#include "device/DeviceCall.h"

namespace {

// What kdConfigNetGetFPGAStatus reports for an FPGA that failed to load.
constexpr int fpgaFailedToLoad = 2;

} // namespace

void CheckVersionThread::run()
{
    deviceStatus = DeviceStatus();
    if (!checkOverNetwork()) {
        int handle = -1;
        if (KD_CALL(kdOpenDevice, &handle) == 0) {
            checkOpenedDevice(handle);
        } else {
            emit updateText(QStringLiteral("Failed to open KD740."));
            emit updateText(QStringLiteral("Looking for KD740 boot device..."));
            checkBootDevice();
        }
    }
    emit ended(deviceStatus);
}

bool CheckVersionThread::checkOverNetwork()
{
    int handle = -1;
    NetDeviceList list;
    // Not examined: only the count the list gives decides.
    KD_CALL(kdConfigNetGetDeviceList, list.serials, &list.count);
    const int serial = list.serials[0];
    if (list.count < 1 || KD_CALL(kdConfigNetOpenDevice, &handle, serial) != 0)
        return false;

    int version = 0;
    if (KD_CALL(kdConfigNetGetFirmwareVersion, handle, &version) != 0)
        return failNetworkRead(handle, "Failed to retrieve firmware versions.");
    int fpgaStatus = 0;
    if (KD_CALL(kdConfigNetGetFPGAStatus, handle, &fpgaStatus) != 0)
        return failNetworkRead(handle, "Failed to retrieve FPGA status.");
    if (fpgaStatus == fpgaFailedToLoad) {
        emit updateText(QStringLiteral("FPGA failed to load."));
        deviceStatus.checkState = NeedsRestore;
    } else {
        deviceStatus.checkState = Operational;
    }
    // Not examined: the versions are read by then.
    KD_CALL(kdConfigNetCloseDevice, handle);

    deviceStatus.deviceFirmware = firmwareFromNetVersion(version);
    deviceStatus.deviceType = deviceStatus.deviceFirmware.deviceType;
    deviceStatus.targetFirmware = shippedFirmware(deviceStatus.deviceType);
    deviceStatus.serial = serial;
    return true;
}

// A network model that answered but did not say what it holds: the check ends here.
bool CheckVersionThread::failNetworkRead(int handle, const char *line)
{
    KD_CALL(kdConfigNetCloseDevice, handle);
    emit updateText(QString::fromLatin1(line));
    deviceStatus.checkState = NotDetected;
    return true;
}

void CheckVersionThread::checkOpenedDevice(int handle)
{
    FirmwareTarget &firmware = deviceStatus.deviceFirmware;
    if (KD_CALL(kdGetFirmwareVersion, handle, &firmware.bootVersion, &firmware.runVersion, &firmware.fpgaVersion)
        != 0) {
        KD_CALL(kdCloseDevice, handle);
        emit updateText(QStringLiteral("Failed to retrieve firmware versions."));
        deviceStatus.checkState = NotDetected;
        return;
    }
    if (KD_CALL(kdGetDeviceInfo, handle, &deviceStatus.deviceType, &deviceStatus.serial) != 0) {
        KD_CALL(kdCloseDevice, handle);
        emit updateText(QStringLiteral("Failed to retrieve serial number."));
        deviceStatus.checkState = NotDetected;
        return;
    }
    // Not examined: the versions and identity are read by then.
    KD_CALL(kdCloseDevice, handle);
    firmware.deviceType = deviceStatus.deviceType;
    deviceStatus.checkState = Operational;
    deviceStatus.targetFirmware = shippedFirmware(deviceStatus.deviceType);
}

void CheckVersionThread::checkBootDevice()
{
    int handle = -1;
    if (KD_CALL(kdConfigUSBOpenDevice, &handle) != 0) {
        emit updateText(QStringLiteral("Failed to open KD740 boot device."));
        deviceStatus.checkState = NotDetected;
        return;
    }
    // The model decides which images a restore writes, so it is never guessed.
    KdDeviceType type {};
    if (KD_CALL(kdConfigUSBGetDeviceSerial, handle, &deviceStatus.serial) != 0
        || KD_CALL(kdConfigUSBGetDeviceType, handle, &type) != 0) {
        KD_CALL(kdConfigUSBCloseDevice, handle);
        emit updateText(QStringLiteral("Failed to read KD740 boot device."));
        deviceStatus.checkState = NotDetected;
        return;
    }
    // Not examined: the identity is read by then.
    KD_CALL(kdConfigUSBCloseDevice, handle);
    deviceStatus.deviceType = type;
    deviceStatus.deviceFirmware.deviceType = type;
    deviceStatus.checkState = NeedsRestore;
    deviceStatus.targetFirmware = shippedFirmware(deviceStatus.deviceType);
}
