#include "device/Link.h"

#include "device/DeviceCall.h"
#include "device/LibraryProgress.h"
#include "device/Unread.h"

namespace {

// The library counts each FPGA call from 0 to 100 in the session's progress.
class UsbLink : public Link
{
public:
    // An instrument that does not open normally is looked for in boot mode.
    bool detect(DeviceStatus &status, const std::function<void(const QString &)> &say) const override
    {
        int handle = unread::handle;
        if (KD_CALL(kdOpenDevice, &handle) == 0 && written(handle, unread::handle)) {
            readOpened(status, handle, say);
            return true;
        }
        say(QStringLiteral("Failed to open KD740."));
        say(QStringLiteral("Looking for KD740 boot device..."));
        readBootDevice(status, say);
        return true;
    }

    OpenResult open(PartSession &s, OpenMode mode) const override
    {
        // An open that gave no handle did not open.
        const auto opened = [&s](int status) { return status == 0 && written(s.handle, unread::handle); };
        if (mode == OpenMode::Found)
            return opened(KD_CALL(kdConfigUSBOpenDeviceBySerial, &s.handle, s.status.serial)) ? OpenResult::Opened
                                                                                              : OpenResult::Failed;
        // An instrument that does not open in boot mode is bootstrapped into it.
        if (opened(KD_CALL(kdConfigUSBOpenDevice, &s.handle))
            || opened(KD_CALL(kdConfigUSBBootstrapDevice, &s.handle, s.bootImage.constData())))
            return OpenResult::Opened;
        return OpenResult::Failed;
    }

    bool bootstrap(const char *image, std::int32_t *serial) const override
    {
        int handle = unread::handle;
        // A bootstrap that failed gave no handle to close.
        if (KD_CALL(kdConfigUSBBootstrapDevice, &handle, image) != 0 || !written(handle, unread::handle))
            return false;
        int read = unread::number;
        const bool started = KD_CALL(kdConfigUSBGetSerialFromFlash, handle, &read) == 0
            && written(read, unread::number);
        // Not examined: the attempt is over either way.
        KD_CALL(kdConfigUSBCloseDevice, handle);
        if (started)
            *serial = read;
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

private:
    static void readOpened(DeviceStatus &status, int handle, const std::function<void(const QString &)> &say)
    {
        FirmwareTarget firmware { unread::model, unread::number, unread::number, unread::number };
        DeviceType type = unread::model;
        int serial = unread::number;
        const char *failure = nullptr;
        if (KD_CALL(kdGetFirmwareVersion, handle, &firmware.bootVersion, &firmware.runVersion, &firmware.fpgaVersion)
                != 0
            || !written(firmware.bootVersion, unread::number) || !written(firmware.runVersion, unread::number)
            || !written(firmware.fpgaVersion, unread::number))
            failure = "Failed to retrieve firmware versions.";
        else if (KD_CALL(kdGetDeviceInfo, handle, &type, &serial) != 0 || !written(type, unread::model)
                 || !written(serial, unread::number))
            failure = "Failed to retrieve serial number.";
        // Not examined: what could be read is read by then.
        KD_CALL(kdCloseDevice, handle);
        if (failure) {
            say(QString::fromLatin1(failure));
            status.checkState = NotDetected;
            return;
        }
        status.deviceType = type;
        status.serial = serial;
        firmware.deviceType = type;
        status.deviceFirmware = firmware;
        status.checkState = Operational;
        status.targetFirmware = shippedFirmware(status.deviceType);
    }

    // The model decides which images a restore writes, so it is never guessed.
    static void readBootDevice(DeviceStatus &status, const std::function<void(const QString &)> &say)
    {
        int handle = unread::handle;
        if (KD_CALL(kdConfigUSBOpenDevice, &handle) != 0 || !written(handle, unread::handle)) {
            say(QStringLiteral("Failed to open KD740 boot device."));
            status.checkState = NotDetected;
            return;
        }
        int serial = unread::number;
        auto type = static_cast<KdDeviceType>(unread::model);
        const bool read = KD_CALL(kdConfigUSBGetDeviceSerial, handle, &serial) == 0 && written(serial, unread::number)
            && KD_CALL(kdConfigUSBGetDeviceType, handle, &type) == 0 && written(type, unread::model);
        // Not examined: the identity is read by then, or cannot be.
        KD_CALL(kdConfigUSBCloseDevice, handle);
        if (!read) {
            say(QStringLiteral("Failed to read KD740 boot device."));
            status.checkState = NotDetected;
            return;
        }
        status.serial = serial;
        status.deviceType = type;
        status.deviceFirmware.deviceType = type;
        status.checkState = NeedsRestore;
        status.targetFirmware = shippedFirmware(status.deviceType);
    }
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

std::vector<const Link *> linksToLookThrough()
{
    return { &networkLink(), &usbLink() };
}
