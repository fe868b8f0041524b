#include "session/ReadBack.h"

#include "session/Reports.h"

namespace {

QStringList describeReported(const DeviceStatus &before, const DeviceStatus &after)
{
    const QString model = deviceTypeName(before.deviceType);
    if (after.checkState == Operational)
        return { QStringLiteral("The %1 reports %2.").arg(model, reportedFirmware(after)) };
    // A network instrument that answers but needs a restore reported an FPGA that did not load.
    const QString how = linkOf(before.deviceType) == LinkKind::Network
        ? QStringLiteral("The %1 reports that its FPGA did not load after the write.")
        : QStringLiteral("The %1 answers only in its boot mode after the write.");
    return { how.arg(model), mayNotWorkLine() };
}

// A part the run's calls left erased that the instrument still reports with
// a version: it runs on what it loaded before the erase, the write that was
// reported failed did its work, or a failed clear left the part as it was.
QString disagreement(const QString &model, const PartStep &part, int reported, int found, int shipped, bool clearFailed)
{
    const QString name = QLatin1String(part.name);
    const QString reports = reported == found ? QStringLiteral("still reports") : QStringLiteral("reports");
    if (clearFailed)
        return QStringLiteral("The %1 %2 %3 version %4, but its %3 may be erased: this run's clear of it failed. "
                              "Restore it now.")
            .arg(model, reports, name)
            .arg(reported);
    if (reported == shipped)
        return QStringLiteral("The %1 reports %2 version %3 although the write was reported failed: cycle its power "
                              "and check again.")
            .arg(model, name)
            .arg(reported);
    return QStringLiteral("The %1 %2 %3 version %4, but this run erased its %3: it will not start after a power "
                          "cycle. Restore it now.")
        .arg(model, reports, name)
        .arg(reported);
}

} // namespace

ReadBack compareReadBack(const PartSequence &steps, const DeviceStatus &before,
                         const std::vector<PartOutcome> &outcomes, const DeviceStatus &after, bool clearFailed)
{
    ReadBack read;
    const bool running = after.checkState == Operational;
    const bool answered = after.checkState != NotDetected;
    for (const PartStep &part : steps.parts) {
        const bool known = running && versionRead(after, part.part);
        read.versions.push_back(known ? partVersion(after.deviceFirmware, part.part) : -1);
        read.loadStatus << (answered && !versionRead(after, part.part)
                                ? (running ? QStringLiteral("loaded") : QStringLiteral("not loaded"))
                                : QString());
    }
    if (!answered)
        return read;

    read.reportedState = describeReported(before, after);
    const QString model = deviceTypeName(before.deviceType);
    for (std::size_t index = 0; index < steps.parts.size(); ++index) {
        const PartStep &part = steps.parts[index];
        const int version = read.versions[index];
        const PartOutcome outcome = index < outcomes.size() ? outcomes[index] : PartOutcome::NotTouched;
        if (version < 0)
            continue;
        const int shipped = partVersion(before.targetFirmware, part.part);
        if (outcome == PartOutcome::Written && version != shipped)
            read.differences << QStringLiteral("The %1 reports %2 version %3 after the write, not %4.")
                                    .arg(model, QLatin1String(part.name))
                                    .arg(version)
                                    .arg(shipped);
        if (outcome == PartOutcome::Erased) {
            const int found = before.checkState == Operational ? partVersion(before.deviceFirmware, part.part) : -1;
            read.disagreements << disagreement(model, part, version, found, shipped, clearFailed);
        }
    }
    read.verdict = running && read.differences.isEmpty() ? ReadBack::Verdict::Confirmed
                                                         : ReadBack::Verdict::Contradicted;
    return read;
}

QStringList stateWithReport(const QStringList &facts, const ReadBack &read)
{
    QStringList lines = facts;
    // The warning to restore is said once, where the facts already say it.
    for (const QString &line : read.reportedState + read.disagreements) {
        if (!lines.contains(line))
            lines << line;
    }
    return lines;
}

QString readBackText(const PartSequence &steps, const ReadBack &read)
{
    if (read.verdict == ReadBack::Verdict::NoAnswer)
        return QStringLiteral("no answer");
    QStringList parts;
    for (std::size_t index = 0; index < steps.parts.size() && index < read.versions.size(); ++index) {
        const int version = read.versions[index];
        const QString load = read.loadStatus.value(int(index));
        parts << QLatin1String(steps.parts[index].name) + QLatin1Char(' ')
                + (version < 0 ? QStringLiteral("unknown") : QString::number(version))
                + (load.isEmpty() ? QString() : QStringLiteral(" (") + load + QLatin1Char(')'));
    }
    return parts.join(QStringLiteral(", "));
}
