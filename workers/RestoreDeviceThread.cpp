#include "workers/RestoreDeviceThread.h"

#include "device/DeviceCall.h"
#include "workers/ImageCheck.h"
#include "workers/Pause.h"

void RestoreDeviceThread::run()
{
    succeeded = false;
    imageUnusable = !imagesPresent();
    if (imageUnusable)
        return;
    if (deviceStatus.deviceType == KD740C)
        succeeded = restoreOverNetwork();
    else
        succeeded = restoreOverUsb();
}

bool RestoreDeviceThread::imagesPresent()
{
    const FirmwareTarget &target = deviceStatus.targetFirmware;
    QVector<QByteArray> paths;
    paths << bootImagePath(target);
    if (deviceStatus.deviceType != KD740C)
        paths << runImagePath(target);
    paths << fpgaImagePath(target);

    const QString problem = firstUnusableImage(paths);
    if (problem.isEmpty())
        return true;
    emit addLine(problem);
    return false;
}

bool RestoreDeviceThread::fail(const char *line)
{
    emit addLine(QString::fromLatin1(line));
    return false;
}

bool RestoreDeviceThread::failAfterPause(const char *line)
{
    emit addLine(QString::fromLatin1(line));
    msleep(stepPauseMs);
    return false;
}

bool RestoreDeviceThread::restoreOverUsb()
{
    const FirmwareTarget &target = deviceStatus.targetFirmware;
    const int serial = deviceStatus.serial;

    int handle = -1;
    if (KD_CALL(kdConfigUSBOpenDevice, &handle) != 0
        && KD_CALL(kdConfigUSBBootstrapDevice, &handle, bootImagePath(target).constData()) != 0)
        return failAfterPause("Failed to open device.");

    emit addLine(QStringLiteral("Updating boot Fx3, estimated 10 seconds."));
    if (KD_CALL(kdConfigUSBClearBootSector, handle) != 0)
        return fail("Failed clearing boot Fx3 device.");
    if (KD_CALL(kdConfigUSBWriteBootSector, handle, bootImagePath(target).constData(), serial) != 0)
        return fail("Failed writing boot Fx3.");

    emit addLine(QStringLiteral("Updating run Fx3 device, estimated 10 seconds."));
    if (KD_CALL(kdConfigUSBClearRunSector, handle) != 0)
        return fail("Failed clearing run Fx3 device.");
    if (KD_CALL(kdConfigUSBWriteRunSector, handle, runImagePath(target).constData(), serial) != 0)
        return fail("Failed writing run Fx3.");

    emit addLine(QStringLiteral("Updating FPGA, estimated 6 minutes."));
    double progress = 0.0;
    if (KD_CALL(kdConfigUSBClearFPGAProgram, handle, progress) != 0)
        return fail("Failed clearing FPGA.");
    if (KD_CALL(kdConfigUSBWriteFPGAProgram, handle, fpgaImagePath(target).constData(), progress) != 0)
        return fail("Failed writing FPGA.");

    // Not examined: whatever the close says, the parts are written by then.
    KD_CALL(kdConfigUSBCloseDevice, handle);
    return true;
}

bool RestoreDeviceThread::restoreOverNetwork()
{
    const FirmwareTarget &target = deviceStatus.targetFirmware;

    int handle = -1;
    int listedSerial = 0;
    int count = 1;
    // Not examined: only the count the list gives decides.
    KD_CALL(kdConfigNetGetDeviceList, &listedSerial, &count);
    if (count != 1)
        return failAfterPause("Unable to find device.");
    if (KD_CALL(kdConfigNetOpenDevice, &handle, listedSerial) != 0)
        return failAfterPause("Failed to open device.");

    emit addLine(QStringLiteral("Updating FX3 program, estimated 10 seconds."));
    if (KD_CALL(kdConfigNetClearFx3, handle) != 0)
        return fail("Failed clearing boot FX3 device.");
    if (KD_CALL(kdConfigNetWriteFx3, handle, bootImagePath(target).constData(), deviceStatus.serial) != 0)
        return fail("Failed writing FX3.");

    emit addLine(QStringLiteral("Updating FPGA, estimated 10 minutes."));
    if (KD_CALL(kdConfigNetClearFPGA, handle) != 0)
        return fail("Failed clearing FPGA.");
    if (KD_CALL(kdConfigNetWriteFGPA, handle, fpgaImagePath(target).constData()) != 0)
        return fail("Failed writing FPGA.");

    // Not examined: whatever the preset says, the parts are written by then.
    KD_CALL(kdConfigNetPreset, handle);
    return true;
}
