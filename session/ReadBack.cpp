#include "session/ReadBack.h"

#include "session/Reports.h"

namespace {

QStringList describeReported(const DeviceStatus &before, const DeviceStatus &after)
{
    const QString model = deviceTypeName(before.deviceType);
    if (after.checkState == Operational)
        return { QStringLiteral("The %1 reports firmware %2.").arg(model, versionString(after.deviceFirmware)) };
    // A network instrument that answers but needs a restore reported an FPGA that did not load.
    const QString how = linkOf(before.deviceType) == LinkKind::Network
        ? QStringLiteral("The %1 reports that its FPGA did not load after the write.")
        : QStringLiteral("The %1 answers only in its boot mode after the write.");
    return { how.arg(model), mayNotWorkLine() };
}

} // namespace

ReadBack compareReadBack(const PartSequence &steps, const DeviceStatus &before,
                         const std::vector<PartOutcome> &outcomes, const DeviceStatus &after)
{
    ReadBack read;
    const bool running = after.checkState == Operational;
    for (const PartStep &part : steps.parts)
        read.versions.push_back(running ? partVersion(after.deviceFirmware, part.part) : -1);
    if (after.checkState == NotDetected)
        return read;

    read.reportedState = describeReported(before, after);
    const QString model = deviceTypeName(before.deviceType);
    if (after.serial != before.serial)
        read.differences << QStringLiteral("The %1 reports serial %2 after the write, not %3.")
                                .arg(model)
                                .arg(after.serial)
                                .arg(before.serial);
    for (std::size_t index = 0; running && index < steps.parts.size(); ++index) {
        const PartStep &part = steps.parts[index];
        const int shipped = partVersion(before.targetFirmware, part.part);
        if (index < outcomes.size() && outcomes[index] == PartOutcome::Written && read.versions[index] != shipped)
            read.differences << QStringLiteral("The %1 reports %2 version %3 after the write, not %4.")
                                    .arg(model, QLatin1String(part.name))
                                    .arg(read.versions[index])
                                    .arg(shipped);
    }
    read.verdict = running && read.differences.isEmpty() ? ReadBack::Verdict::Confirmed
                                                         : ReadBack::Verdict::Contradicted;
    return read;
}

QString readBackText(const PartSequence &steps, const ReadBack &read)
{
    if (read.verdict == ReadBack::Verdict::NoAnswer)
        return QStringLiteral("no answer");
    QStringList parts;
    for (std::size_t index = 0; index < steps.parts.size() && index < read.versions.size(); ++index) {
        const int version = read.versions[index];
        parts << QLatin1String(steps.parts[index].name) + QLatin1Char(' ')
                + (version < 0 ? QStringLiteral("unknown") : QString::number(version));
    }
    return parts.join(QStringLiteral(", "));
}
