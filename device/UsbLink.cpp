#include "device/Link.h"

#include "catalogue/ImageSource.h"
#include "device/DeviceCall.h"
#include "device/LibraryProgress.h"

namespace {

// The library counts each FPGA call from 0 to 100 in the session's progress.
class UsbLink : public Link
{
public:
    OpenResult open(PartSession &s, OpenMode mode) const override
    {
        if (mode == OpenMode::Found)
            return KD_CALL(kdConfigUSBOpenDeviceBySerial, &s.handle, s.status.serial) == 0 ? OpenResult::Opened
                                                                                           : OpenResult::Failed;
        // An instrument that does not open in boot mode is bootstrapped into it.
        const QByteArray bootImage = bootImagePath(s.images, s.status.targetFirmware);
        if (KD_CALL(kdConfigUSBOpenDevice, &s.handle) == 0
            || KD_CALL(kdConfigUSBBootstrapDevice, &s.handle, bootImage.constData()) == 0)
            return OpenResult::Opened;
        return OpenResult::Failed;
    }

    bool bootstrap(const char *image, std::int32_t *serial) const override
    {
        int handle = -1;
        // A bootstrap that failed gave no handle to close.
        if (KD_CALL(kdConfigUSBBootstrapDevice, &handle, image) != 0)
            return false;
        const bool started = KD_CALL(kdConfigUSBGetSerialFromFlash, handle, serial) == 0;
        // Not examined: the attempt is over either way.
        KD_CALL(kdConfigUSBCloseDevice, handle);
        return started;
    }

    int clear(PartSession &s, FirmwarePart part) const override
    {
        switch (part) {
        case FirmwarePart::Boot: return KD_CALL(kdConfigUSBClearBootSector, s.handle);
        case FirmwarePart::Run: return KD_CALL(kdConfigUSBClearRunSector, s.handle);
        case FirmwarePart::Fpga: break;
        }
        s.progress.reset();
        const LibraryProgress::Call call(s.progress);
        return KD_CALL(kdConfigUSBClearFPGAProgram, s.handle, s.progress.variable());
    }

    int write(PartSession &s, FirmwarePart part, const char *image, int serial) const override
    {
        switch (part) {
        case FirmwarePart::Boot: return KD_CALL(kdConfigUSBWriteBootSector, s.handle, image, serial);
        case FirmwarePart::Run: return KD_CALL(kdConfigUSBWriteRunSector, s.handle, image, serial);
        case FirmwarePart::Fpga: break;
        }
        const LibraryProgress::Call call(s.progress);
        return KD_CALL(kdConfigUSBWriteFPGAProgram, s.handle, image, s.progress.variable());
    }

    void finish(PartSession &s) const override { KD_CALL(kdConfigUSBCloseDevice, s.handle); }

    bool finishOnlyReleases() const override { return true; }
};

} // namespace

const Link &usbLink()
{
    static const UsbLink link;
    return link;
}

const Link &linkFor(LinkKind kind)
{
    return kind == LinkKind::Network ? networkLink() : usbLink();
}
