#include "workers/PartStep.h"

std::int32_t partVersion(const FirmwareTarget &firmware, FirmwarePart part)
{
    switch (part) {
    case FirmwarePart::Boot: return firmware.bootVersion;
    case FirmwarePart::Run: return firmware.runVersion;
    case FirmwarePart::Fpga: break;
    }
    return firmware.fpgaVersion;
}

bool versionRead(const DeviceStatus &status, FirmwarePart part)
{
    return part != FirmwarePart::Fpga || !status.fpgaVersionDerived;
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

QString noSerialLine()
{
    return QStringLiteral("The KD740 reported no usable serial number; nothing was erased.");
}

QString mayNotWorkLine()
{
    return QStringLiteral("The KD740 may not work until it is restored.");
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
        lines << mayNotWorkLine();
    return lines;
}
