#include "workers/UpdateDeviceThread.h"

#include "device/DeviceCall.h"
#include "workers/ImageCheck.h"
#include "workers/Pause.h"

void UpdateDeviceThread::run()
{
    succeeded = false;
    imageUnusable = !imagesPresent();
    if (imageUnusable)
        return;
    if (deviceStatus.deviceType == KD740C)
        succeeded = updateOverNetwork();
    else
        succeeded = updateOverUsb();
}

// Only the parts that will be written are checked, in the order they are written.
bool UpdateDeviceThread::imagesPresent()
{
    const FirmwareTarget &device = deviceStatus.deviceFirmware;
    const FirmwareTarget &target = deviceStatus.targetFirmware;
    QVector<QByteArray> paths;
    if (device.bootVersion != target.bootVersion)
        paths << bootImagePath(target);
    if (deviceStatus.deviceType != KD740C && device.runVersion != target.runVersion)
        paths << runImagePath(target);
    if (device.fpgaVersion != target.fpgaVersion)
        paths << fpgaImagePath(target);

    const QString problem = firstUnusableImage(paths);
    if (problem.isEmpty())
        return true;
    emit addLine(problem);
    return false;
}

bool UpdateDeviceThread::fail(const char *line)
{
    emit addLine(QString::fromLatin1(line));
    return false;
}

bool UpdateDeviceThread::skip(int deviceVersion, int targetVersion, const char *line)
{
    if (deviceVersion != targetVersion)
        return false;
    emit addLine(QString::fromLatin1(line));
    msleep(stepPauseMs);
    return true;
}

bool UpdateDeviceThread::updateOverUsb()
{
    int handle = -1;
    if (KD_CALL(kdConfigUSBOpenDeviceBySerial, &handle, deviceStatus.serial) != 0)
        return fail("Cannot Find Device");
    const bool written = writeUsbParts(handle);
    // Not examined: whatever the close says, the parts are written by then.
    KD_CALL(kdConfigUSBCloseDevice, handle);
    return written;
}

bool UpdateDeviceThread::writeUsbParts(int handle)
{
    const FirmwareTarget &device = deviceStatus.deviceFirmware;
    const FirmwareTarget &target = deviceStatus.targetFirmware;

    if (!skip(device.bootVersion, target.bootVersion, "Skipping boot Fx3, already current version.")) {
        emit addLine(QStringLiteral("Updating boot Fx3, estimated 10 seconds."));
        if (KD_CALL(kdConfigUSBClearBootSector, handle) != 0)
            return fail("Failed Clearing");
        if (KD_CALL(kdConfigUSBWriteBootSector, handle, bootImagePath(target).constData(), deviceStatus.serial) != 0)
            return fail("Failed Writing");
    }

    if (!skip(device.runVersion, target.runVersion, "Skipping run Fx3, already current version.")) {
        emit addLine(QStringLiteral("Updating run Fx3, estimated 10 seconds."));
        if (KD_CALL(kdConfigUSBClearRunSector, handle) != 0)
            return fail("Failed Clearing");
        if (KD_CALL(kdConfigUSBWriteRunSector, handle, runImagePath(target).constData(), -1) != 0)
            return fail("Failed Writing");
    }

    if (skip(device.fpgaVersion, target.fpgaVersion, "Skipping FPGA, already current version."))
        return true;
    emit addLine(QStringLiteral("Updating FPGA, estimated 6 minutes."));
    double progress = 0.0;
    if (KD_CALL(kdConfigUSBClearFPGAProgram, handle, progress) != 0)
        return fail("Failed Clearing");
    if (KD_CALL(kdConfigUSBWriteFPGAProgram, handle, fpgaImagePath(target).constData(), progress) != 0)
        return fail("Failed Writing");
    return true;
}

bool UpdateDeviceThread::updateOverNetwork()
{
    const FirmwareTarget &device = deviceStatus.deviceFirmware;
    const FirmwareTarget &target = deviceStatus.targetFirmware;

    int handle = -1;
    if (KD_CALL(kdConfigNetOpenDevice, &handle, deviceStatus.serial) != 0)
        return fail("Cannot Find Device");

    if (!skip(device.bootVersion, target.bootVersion, "Skipping FX3, already current version.")) {
        emit addLine(QStringLiteral("Updating FX3, estimated 20 seconds."));
        if (KD_CALL(kdConfigNetClearFx3, handle) != 0)
            return fail("Failed Clearing");
        if (KD_CALL(kdConfigNetWriteFx3, handle, bootImagePath(target).constData(), deviceStatus.serial) != 0)
            return fail("Failed Writing");
    }

    if (!skip(device.fpgaVersion, target.fpgaVersion, "Skipping FPGA, already current version.")) {
        emit addLine(QStringLiteral("Updating FPGA, estimated 10 minutes."));
        if (KD_CALL(kdConfigNetClearFPGA, handle) != 0)
            return fail("Failed Clearing");
        if (KD_CALL(kdConfigNetWriteFGPA, handle, fpgaImagePath(target).constData()) != 0)
            return fail("Failed Writing");
    }

    // Not examined: whatever the preset says, the parts are written by then.
    KD_CALL(kdConfigNetPreset, handle);
    return true;
}
