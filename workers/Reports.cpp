#include "workers/Reports.h"

#include "workers/ImageCheck.h"

QString checkTitle()
{
    return QStringLiteral("Checking Firmware Versions...");
}

QString updateTitle()
{
    return QStringLiteral("Updating Firmware");
}

QString restoreTitle()
{
    return QStringLiteral("Restoring Device");
}

Verdict compareWithShipped(const DeviceStatus &status)
{
    const FirmwareTarget &device = status.deviceFirmware;
    const FirmwareTarget &target = status.targetFirmware;
    if (target.bootVersion < device.bootVersion || target.runVersion < device.runVersion
        || target.fpgaVersion < device.fpgaVersion)
        return Verdict::Downgrade;
    if (target.bootVersion > device.bootVersion || target.runVersion > device.runVersion
        || target.fpgaVersion > device.fpgaVersion)
        return Verdict::UpdateNeeded;
    return Verdict::Current;
}

QStringList bootstrapIntroLines()
{
    return { QStringLiteral("Failed to open KD740 boot device."), QStringLiteral("Looking to bootstrap KD740.") };
}

QStringList notDetectedLines()
{
    return { QStringLiteral("Failed to detect device."),
             QStringLiteral("Cycle the power on the KD740, restart the firmware updater,  and try again."),
             QStringLiteral("If you continue to receive this message, contact Corvane.") };
}

QStringList needsRestoreLines(const DeviceStatus &status)
{
    return { QStringLiteral("Attempting to bootstrap KD740 firmware."),
             QString::asprintf("Found serial %d", static_cast<int>(status.serial)),
             QStringLiteral("Firmware can now be restored."), QStringLiteral("Press Restore to continue.") };
}

QStringList foundLines(const DeviceStatus &status)
{
    return { QStringLiteral("Found ") + deviceTypeName(status.deviceType),
             QString::asprintf("Serial %d, with firmware ", static_cast<int>(status.serial))
                 + versionString(status.deviceFirmware) };
}

QStringList verdictLines(Verdict verdict, bool downgradeAccepted)
{
    switch (verdict) {
    case Verdict::Downgrade:
        if (!downgradeAccepted)
            return { QStringLiteral("Cancelling operation.") };
        return { QStringLiteral("Firmware can now be updated."), QStringLiteral("Press Update to continue.") };
    case Verdict::UpdateNeeded:
        return { QStringLiteral("Firmware requires update."), QStringLiteral("Press Update to continue.") };
    case Verdict::Current: break;
    }
    return { QStringLiteral("Firmware does not require update.") };
}

void chooseBootstrapModel(DeviceStatus &status, DeviceType model)
{
    status.deviceType = model;
    status.targetFirmware = shippedFirmware(model);
}

// An image the library cannot use would only show as a failed bootstrap.
QString bootstrapImageProblem(const DeviceStatus &status)
{
    return firstUnusableImage({ bootImagePath(status.targetFirmware) });
}

QVector<ReportLine> outcomeLines(bool succeeded)
{
    QVector<ReportLine> lines;
    if (succeeded) {
        lines.append({ QStringLiteral("Firmware updated successfully."), LineTone::Success });
    } else {
        lines.append({ QStringLiteral("Firmware updated unsuccessfully."), LineTone::Failure });
        lines.append({ QStringLiteral("Check device connections and re-run the software.") });
        lines.append({ QStringLiteral("If problem persists, contact Corvane.") });
    }
    lines.append({ QStringLiteral("You may now close the software.") });
    return lines;
}
