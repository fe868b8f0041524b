#include "workers/RestoreDeviceThread.h"

#include "device/DeviceCall.h"

namespace {

const char *const failedToOpen = "Failed to open device.";
const char *const clearingFpgaFailed = "Failed clearing FPGA.";
const char *const writingFpgaFailed = "Failed writing FPGA.";

// An instrument that does not open in boot mode is bootstrapped into it.
const PartSequence overUsb {
    "usb",
    [](PartSession &s) -> const char * {
        if (KD_CALL(kdConfigUSBOpenDevice, &s.handle) == 0
            || KD_CALL(kdConfigUSBBootstrapDevice, &s.handle, bootImagePath(s.status.targetFirmware).constData()) == 0)
            return nullptr;
        return failedToOpen;
    },
    true,
    false,
    {
        { "boot Fx3", "boot Fx3", 10, &FirmwareTarget::bootVersion, bootImagePath,
          [](PartSession &s) { return int(KD_CALL(kdConfigUSBClearBootSector, s.handle)); },
          [](PartSession &s, const char *image) {
              return int(KD_CALL(kdConfigUSBWriteBootSector, s.handle, image, s.status.serial));
          },
          "Failed clearing boot Fx3 device.", "Failed writing boot Fx3." },
        { "run Fx3", "run Fx3 device", 10, &FirmwareTarget::runVersion, runImagePath,
          [](PartSession &s) { return int(KD_CALL(kdConfigUSBClearRunSector, s.handle)); },
          [](PartSession &s, const char *image) {
              return int(KD_CALL(kdConfigUSBWriteRunSector, s.handle, image, s.status.serial));
          },
          "Failed clearing run Fx3 device.", "Failed writing run Fx3." },
        { "FPGA", "FPGA", 360, &FirmwareTarget::fpgaVersion, fpgaImagePath, clearUsbFpga, writeUsbFpga,
          clearingFpgaFailed, writingFpgaFailed },
    },
    [](PartSession &s) { KD_CALL(kdConfigUSBCloseDevice, s.handle); },
    false,
};

// Opened by the serial the device list gives; the FX3 write carries the
// one the check found.
const PartSequence overNetwork {
    "net",
    [](PartSession &s) -> const char * {
        NetDeviceList list;
        // Not examined: only the count the list gives decides.
        KD_CALL(kdConfigNetGetDeviceList, list.serials, &list.count);
        if (list.count != 1)
            return "Unable to find device.";
        return KD_CALL(kdConfigNetOpenDevice, &s.handle, list.serials[0]) != 0 ? failedToOpen : nullptr;
    },
    true,
    false,
    {
        { "FX3", "FX3 program", 10, &FirmwareTarget::bootVersion, bootImagePath,
          [](PartSession &s) { return int(KD_CALL(kdConfigNetClearFx3, s.handle)); },
          [](PartSession &s, const char *image) {
              return int(KD_CALL(kdConfigNetWriteFx3, s.handle, image, s.status.serial));
          },
          "Failed clearing boot FX3 device.", "Failed writing FX3." },
        { "FPGA", "FPGA", 600, &FirmwareTarget::fpgaVersion, fpgaImagePath,
          [](PartSession &s) { return int(KD_CALL(kdConfigNetClearFPGA, s.handle)); },
          [](PartSession &s, const char *image) { return int(KD_CALL(kdConfigNetWriteFGPA, s.handle, image)); },
          clearingFpgaFailed, writingFpgaFailed },
    },
    [](PartSession &s) { KD_CALL(kdConfigNetPreset, s.handle); },
    false,
};

} // namespace

const PartSequence &restoreSequence(DeviceType type)
{
    return type == KD740C ? overNetwork : overUsb;
}

const PartSequence &RestoreDeviceThread::sequence() const
{
    return restoreSequence(deviceStatus.deviceType);
}
