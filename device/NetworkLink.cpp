#include "device/Link.h"

#include "device/DeviceCall.h"
#include "device/Unread.h"

namespace {

// What kdConfigNetGetFPGAStatus reports for an FPGA that failed to load.
constexpr int fpgaFailedToLoad = 2;

class NetworkLink : public Link
{
public:
    bool detect(DeviceStatus &status, const std::function<void(const QString &)> &say) const override
    {
        int handle = unread::handle;
        NetDeviceList list;
        // Not examined: only the count the list gives decides.
        KD_CALL(kdConfigNetGetDeviceList, list.serials, &list.count);
        const int serial = list.serials[0];
        if (list.listed() < 1 || KD_CALL(kdConfigNetOpenDevice, &handle, serial) != 0
            || !written(handle, unread::handle))
            return false;

        int version = unread::number;
        int fpgaStatus = unread::number;
        const char *failure = nullptr;
        if (KD_CALL(kdConfigNetGetFirmwareVersion, handle, &version) != 0 || !written(version, unread::number))
            failure = "Failed to retrieve firmware versions.";
        else if (KD_CALL(kdConfigNetGetFPGAStatus, handle, &fpgaStatus) != 0 || !written(fpgaStatus, unread::number))
            failure = "Failed to retrieve FPGA status.";
        // An instrument that answered but did not say what it holds: the check ends here.
        if (failure) {
            KD_CALL(kdConfigNetCloseDevice, handle);
            say(QString::fromLatin1(failure));
            status.checkState = NotDetected;
            return true;
        }
        if (fpgaStatus == fpgaFailedToLoad)
            say(QStringLiteral("FPGA failed to load."));
        // Not examined: the versions are read by then.
        KD_CALL(kdConfigNetCloseDevice, handle);
        status.checkState = fpgaStatus == fpgaFailedToLoad ? NeedsRestore : Operational;
        status.deviceFirmware = firmwareFromNetVersion(version);
        status.fpgaVersionDerived = true;
        status.deviceType = status.deviceFirmware.deviceType;
        status.targetFirmware = shippedFirmware(status.deviceType);
        status.serial = serial;
        return true;
    }

    // In boot mode it is opened by the serial the device list gives; the
    // FX3 write still carries the one the check found.
    OpenResult open(PartSession &s, OpenMode mode) const override
    {
        int serial = s.status.serial;
        if (mode == OpenMode::InBootMode) {
            NetDeviceList list;
            // Not examined: only the count the list gives decides.
            KD_CALL(kdConfigNetGetDeviceList, list.serials, &list.count);
            if (list.listed() != 1)
                return OpenResult::NotListed;
            serial = list.serials[0];
        }
        // An open that gave no handle did not open.
        return KD_CALL(kdConfigNetOpenDevice, &s.handle, serial) == 0 && written(s.handle, unread::handle)
            ? OpenResult::Opened
            : OpenResult::Failed;
    }

    bool bootstrap(const char *image, std::int32_t *serial) const override
    {
        int handle = unread::handle;
        // A bootstrap that failed gave no handle to close.
        if (KD_CALL(kdConfigNetBootstrapDevice, &handle, image) != 0 || !written(handle, unread::handle))
            return false;
        int read = unread::number;
        const bool started = KD_CALL(kdConfigNetGetSerialFromFlash, handle, &read) == 0
            && written(read, unread::number);
        // Not examined: the attempt is over either way.
        KD_CALL(kdConfigNetCloseDevice, handle);
        if (started)
            *serial = read;
        return started;
    }

    // A network model has no run part.
    int clear(PartSession &s, FirmwarePart part) const override
    {
        return part == FirmwarePart::Fpga ? KD_CALL(kdConfigNetClearFPGA, s.handle)
                                          : KD_CALL(kdConfigNetClearFx3, s.handle);
    }

    // The FPGA write takes no serial.
    int write(PartSession &s, FirmwarePart part, const char *image, int serial) const override
    {
        return part == FirmwarePart::Fpga ? KD_CALL(kdConfigNetWriteFGPA, s.handle, image)
                                          : KD_CALL(kdConfigNetWriteFx3, s.handle, image, serial);
    }

    // Restarts the instrument on what was written.
    void finish(PartSession &s) const override { KD_CALL(kdConfigNetPreset, s.handle); }

    bool finishOnlyReleases() const override { return false; }
};

} // namespace

const Link &networkLink()
{
    static const NetworkLink link;
    return link;
}
