#include "session/Unattended.h"

InstrumentFindings instrumentFindings(const DeviceStatus &status)
{
    const bool running = status.checkState == Operational;
    InstrumentFindings found;
    found.model = knownDeviceType(status.deviceType) ? deviceTypeName(status.deviceType) : QStringLiteral("unknown");
    found.serial = status.serial;
    const PartSequence &sequence = updateSequence(status.deviceType);
    found.link = QLatin1String(linkName(sequence.link));
    for (const PartStep &part : sequence.parts) {
        found.parts.append({ QLatin1String(part.name), running ? partVersion(status.deviceFirmware, part.part) : -1,
                             partVersion(status.targetFirmware, part.part) });
    }
    if (!running)
        found.offer = QStringLiteral("restore");
    else if (updateOffer(status.deviceFirmware, status.targetFirmware) == UpdateOffer::None)
        found.offer = QStringLiteral("none");
    else
        found.offer = QStringLiteral("update");
    return found;
}

namespace {

AfterCheck checkOnly(const CheckResult &result)
{
    if (result.state == NeedsRestore)
        return AfterCheck::RestoreNeeded;
    switch (result.offer) {
    case UpdateOffer::Update: return AfterCheck::UpdateOffered;
    case UpdateOffer::Downgrade: return AfterCheck::DowngradeOffered;
    case UpdateOffer::None: break;
    }
    return AfterCheck::Current;
}

} // namespace

// An unusable image ends the run before anything else is decided: nothing
// that needs it may start.
AfterCheck afterCheck(Workflow asked, const CheckResult &result)
{
    if (result.imageUnusable)
        return AfterCheck::ImageUnusable;
    if (result.state == NotDetected) {
        if (result.stoppedForBattery)
            return AfterCheck::LowBattery;
        return result.modelDeclined ? AfterCheck::NoModelNamed : AfterCheck::NotFound;
    }
    const bool restoreNeeded = result.state == NeedsRestore;
    if (asked == Workflow::Check || (!restoreNeeded && result.offer == UpdateOffer::None))
        return checkOnly(result);
    if (restoreNeeded && asked == Workflow::Update)
        return AfterCheck::RestoreNotUpdate;
    if (!restoreNeeded && asked == Workflow::Restore)
        return AfterCheck::UpdateNotRestore;
    if (result.offer == UpdateOffer::Downgrade && !result.downgradeAccepted)
        return AfterCheck::DowngradeDeclined;
    return restoreNeeded ? AfterCheck::Restore : AfterCheck::Update;
}
