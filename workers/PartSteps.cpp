#include "workers/PartSteps.h"

namespace {

const char *const cannotFind = "Cannot Find Device";
const char *const failedClearing = "Failed Clearing";
const char *const failedWriting = "Failed Writing";

const char *const failedToOpen = "Failed to open device.";
const char *const unableToFind = "Unable to find device.";
const char *const clearingFpgaFailed = "Failed clearing FPGA.";
const char *const writingFpgaFailed = "Failed writing FPGA.";

// The update reaches the instrument the check found and writes the parts
// that differ; the USB handle is closed whichever way it ends.
const WorkflowRules updating {
    OpenMode::Found,
    cannotFind,
    cannotFind,
    AfterOpenFailure::End,
    PartsWritten::Differing,
    FinishAfterFailure::WhereItOnlyReleases,
};

// The restore rewrites every part of an instrument found in boot mode,
// bootstrapped, or with an FPGA that failed to load.
const WorkflowRules restoring {
    OpenMode::InBootMode,           failedToOpen,      unableToFind,
    AfterOpenFailure::PauseThenEnd, PartsWritten::All, FinishAfterFailure::Never,
};

const PartSequence updateOverUsb {
    LinkKind::Usb,
    updating,
    {
        { FirmwarePart::Boot, "boot Fx3", "boot Fx3", 10, PartSerial::Instrument, failedClearing, failedWriting },
        // The run program the update writes does not carry the serial.
        { FirmwarePart::Run, "run Fx3", "run Fx3", 10, PartSerial::None, failedClearing, failedWriting },
        { FirmwarePart::Fpga, "FPGA", "FPGA", 360, PartSerial::None, failedClearing, failedWriting },
    },
};

const PartSequence updateOverNetwork {
    LinkKind::Network,
    updating,
    {
        // The network check reports one version for the FX3 program, kept as the boot version.
        { FirmwarePart::Boot, "FX3", "FX3", 20, PartSerial::Instrument, failedClearing, failedWriting },
        { FirmwarePart::Fpga, "FPGA", "FPGA", 600, PartSerial::None, failedClearing, failedWriting },
    },
};

const PartSequence restoreOverUsb {
    LinkKind::Usb,
    restoring,
    {
        { FirmwarePart::Boot, "boot Fx3", "boot Fx3", 10, PartSerial::Instrument, "Failed clearing boot Fx3 device.",
          "Failed writing boot Fx3." },
        // The restore's run program carries the serial, unlike the update's.
        { FirmwarePart::Run, "run Fx3", "run Fx3 device", 10, PartSerial::Instrument, "Failed clearing run Fx3 device.",
          "Failed writing run Fx3." },
        { FirmwarePart::Fpga, "FPGA", "FPGA", 360, PartSerial::None, clearingFpgaFailed, writingFpgaFailed },
    },
};

const PartSequence restoreOverNetwork {
    LinkKind::Network,
    restoring,
    {
        // Estimated at half the update's time for the same program.
        { FirmwarePart::Boot, "FX3", "FX3 program", 10, PartSerial::Instrument, "Failed clearing boot FX3 device.",
          "Failed writing FX3." },
        { FirmwarePart::Fpga, "FPGA", "FPGA", 600, PartSerial::None, clearingFpgaFailed, writingFpgaFailed },
    },
};

} // namespace

const PartSequence &updateSequence(DeviceType type)
{
    return linkOf(type) == LinkKind::Network ? updateOverNetwork : updateOverUsb;
}

const PartSequence &restoreSequence(DeviceType type)
{
    return linkOf(type) == LinkKind::Network ? restoreOverNetwork : restoreOverUsb;
}

std::vector<const PartSequence *> allSequences()
{
    return { &updateOverUsb, &updateOverNetwork, &restoreOverUsb, &restoreOverNetwork };
}

std::int32_t partVersion(const FirmwareTarget &firmware, FirmwarePart part)
{
    switch (part) {
    case FirmwarePart::Boot: return firmware.bootVersion;
    case FirmwarePart::Run: return firmware.runVersion;
    case FirmwarePart::Fpga: break;
    }
    return firmware.fpgaVersion;
}

QByteArray partImagePath(const ImageSource &images, const FirmwareTarget &firmware, FirmwarePart part)
{
    switch (part) {
    case FirmwarePart::Boot: return bootImagePath(images, firmware);
    case FirmwarePart::Run: return runImagePath(images, firmware);
    case FirmwarePart::Fpga: break;
    }
    return fpgaImagePath(images, firmware);
}

std::vector<bool> partsToWrite(const PartSequence &sequence, const DeviceStatus &status)
{
    std::vector<bool> toWrite;
    for (const PartStep &part : sequence.parts) {
        toWrite.push_back(sequence.rules.partsWritten == PartsWritten::All
                          || partVersion(status.deviceFirmware, part.part)
                              != partVersion(status.targetFirmware, part.part));
    }
    return toWrite;
}

QVector<QByteArray> imagesToWrite(const ImageSource &images, const PartSequence &sequence, const DeviceStatus &status)
{
    const std::vector<bool> toWrite = partsToWrite(sequence, status);
    QVector<QByteArray> paths;
    for (std::size_t index = 0; index < toWrite.size(); ++index) {
        if (toWrite[index])
            paths << partImagePath(images, status.targetFirmware, sequence.parts[index].part);
    }
    return paths;
}

QString durationText(int seconds)
{
    if (seconds % 60 == 0)
        return QStringLiteral("%1 minutes").arg(seconds / 60);
    return QStringLiteral("%1 seconds").arg(seconds);
}

QString announceLine(const PartStep &part)
{
    return QStringLiteral("Updating %1, estimated %2.")
        .arg(QLatin1String(part.subject), durationText(part.expectedSeconds));
}

// So that a normal run of either workflow never reads "longer than usual".
int usualSeconds(DeviceType type, const PartStep &part)
{
    int longest = part.expectedSeconds;
    for (const PartSequence *sequence : { &updateSequence(type), &restoreSequence(type) }) {
        for (const PartStep &other : sequence->parts) {
            if (qstrcmp(other.name, part.name) == 0)
                longest = qMax(longest, other.expectedSeconds);
        }
    }
    return longest;
}

QString skipLine(const PartStep &part)
{
    return QStringLiteral("Skipping %1, already current version.").arg(QLatin1String(part.name));
}

QString partOutcomeName(PartOutcome outcome)
{
    switch (outcome) {
    case PartOutcome::Written: return QStringLiteral("written");
    case PartOutcome::Erased: return QStringLiteral("erased");
    case PartOutcome::Skipped: return QStringLiteral("skipped");
    case PartOutcome::NotTouched: break;
    }
    return QStringLiteral("untouched");
}

QStringList stateAfterFailure(const PartSequence &sequence, const std::vector<PartOutcome> &outcomes)
{
    QStringList written, erased, untouched;
    for (std::size_t index = 0; index < sequence.parts.size(); ++index) {
        const QString name = QLatin1String(sequence.parts[index].name);
        switch (index < outcomes.size() ? outcomes[index] : PartOutcome::NotTouched) {
        case PartOutcome::Written: written << name; break;
        case PartOutcome::Erased: erased << name; break;
        case PartOutcome::NotTouched:
        case PartOutcome::Skipped: untouched << name; break;
        }
    }
    if (written.isEmpty() && erased.isEmpty())
        return { QStringLiteral("Nothing was erased or written.") };

    const QString separator = QStringLiteral(", ");
    QStringList lines;
    if (!written.isEmpty())
        lines << QStringLiteral("Written in this run: %1.").arg(written.join(separator));
    if (!erased.isEmpty())
        lines << QStringLiteral("Erased or incomplete: %1.").arg(erased.join(separator));
    if (!untouched.isEmpty())
        lines << QStringLiteral("Not touched: %1.").arg(untouched.join(separator));
    if (!erased.isEmpty())
        lines << QStringLiteral("The KD740 may not work until it is restored.");
    return lines;
}
