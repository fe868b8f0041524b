#include "workers/UpdateDeviceThread.h"

#include "device/DeviceCall.h"

namespace {

const char *const cannotFind = "Cannot Find Device";
const char *const failedClearing = "Failed Clearing";
const char *const failedWriting = "Failed Writing";

const PartSequence overUsb {
    "usb",
    [](PartSession &s) -> const char * {
        return KD_CALL(kdConfigUSBOpenDeviceBySerial, &s.handle, s.status.serial) != 0 ? cannotFind : nullptr;
    },
    false,
    true,
    {
        { "boot Fx3", "boot Fx3", 10, &FirmwareTarget::bootVersion, bootImagePath,
          [](PartSession &s) { return int(KD_CALL(kdConfigUSBClearBootSector, s.handle)); },
          [](PartSession &s, const char *image) {
              return int(KD_CALL(kdConfigUSBWriteBootSector, s.handle, image, s.status.serial));
          },
          failedClearing, failedWriting },
        { "run Fx3", "run Fx3", 10, &FirmwareTarget::runVersion, runImagePath,
          [](PartSession &s) { return int(KD_CALL(kdConfigUSBClearRunSector, s.handle)); },
          // The run program does not carry the serial.
          [](PartSession &s, const char *image) {
              return int(KD_CALL(kdConfigUSBWriteRunSector, s.handle, image, -1));
          },
          failedClearing, failedWriting },
        { "FPGA", "FPGA", 360, &FirmwareTarget::fpgaVersion, fpgaImagePath, clearUsbFpga, writeUsbFpga, failedClearing,
          failedWriting },
    },
    [](PartSession &s) { KD_CALL(kdConfigUSBCloseDevice, s.handle); },
    true,
};

const PartSequence overNetwork {
    "net",
    [](PartSession &s) -> const char * {
        return KD_CALL(kdConfigNetOpenDevice, &s.handle, s.status.serial) != 0 ? cannotFind : nullptr;
    },
    false,
    true,
    {
        // The network check reports one version for the FX3 program, kept as the boot version.
        { "FX3", "FX3", 20, &FirmwareTarget::bootVersion, bootImagePath,
          [](PartSession &s) { return int(KD_CALL(kdConfigNetClearFx3, s.handle)); },
          [](PartSession &s, const char *image) {
              return int(KD_CALL(kdConfigNetWriteFx3, s.handle, image, s.status.serial));
          },
          failedClearing, failedWriting },
        { "FPGA", "FPGA", 600, &FirmwareTarget::fpgaVersion, fpgaImagePath,
          [](PartSession &s) { return int(KD_CALL(kdConfigNetClearFPGA, s.handle)); },
          [](PartSession &s, const char *image) { return int(KD_CALL(kdConfigNetWriteFGPA, s.handle, image)); },
          failedClearing, failedWriting },
    },
    [](PartSession &s) { KD_CALL(kdConfigNetPreset, s.handle); },
    false,
};

} // namespace

const PartSequence &updateSequence(DeviceType type)
{
    return type == KD740C ? overNetwork : overUsb;
}

const PartSequence &UpdateDeviceThread::sequence() const
{
    return updateSequence(deviceStatus.deviceType);
}
