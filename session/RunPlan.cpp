#include "session/RunPlan.h"

InstrumentFindings instrumentFindings(const DeviceStatus &status, const CheckResult &check)
{
    const bool running = status.checkState == Operational;
    InstrumentFindings found;
    found.model = knownDeviceType(status.deviceType) ? deviceTypeName(status.deviceType) : QStringLiteral("unknown");
    found.serial = status.serial;
    const PartSequence &sequence = updateSequence(status.deviceType);
    found.link = QLatin1String(linkName(sequence.link));
    if (running)
        found.firmwareFound = versionString(status.deviceFirmware);
    found.firmwareShipped = versionString(status.targetFirmware);
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
    found.imagesSigner = check.images.signer;
    found.imagesComment = check.images.comment;
    return found;
}

namespace {

AfterCheck ended(RunEnd::Kind kind)
{
    return { AfterCheck::Next::End, Workflow::Check, kind };
}

// What a check alone found in an instrument that needs work.
RunEnd::Kind needed(const CheckResult &result)
{
    if (result.state == NeedsRestore)
        return RunEnd::Kind::RestoreNeeded;
    return result.offer == UpdateOffer::Downgrade ? RunEnd::Kind::DowngradeOffered : RunEnd::Kind::UpdateNeeded;
}

} // namespace

AfterCheck afterCheck(const RunPlan &plan, const CheckResult &result)
{
    using Kind = RunEnd::Kind;
    if (result.imageUnusable)
        return ended(Kind::ImageUnusable);
    if (result.state == NotDetected) {
        if (result.stoppedForBattery)
            return ended(Kind::LowBattery);
        return ended(result.modelDeclined ? Kind::NoModelNamed : Kind::NotFound);
    }
    const bool restoreNeeded = result.state == NeedsRestore;
    if (!restoreNeeded && result.offer == UpdateOffer::None)
        return ended(Kind::Current);
    if (plan.workflow == Workflow::Check && !plan.offerAfterCheck)
        return ended(needed(result));
    if (!plan.offerAfterCheck && restoreNeeded && plan.workflow == Workflow::Update)
        return ended(Kind::RestoreNotUpdate);
    if (!plan.offerAfterCheck && !restoreNeeded && plan.workflow == Workflow::Restore)
        return ended(Kind::UpdateNotRestore);
    if (!restoreNeeded && result.offer == UpdateOffer::Downgrade && !result.downgradeAccepted)
        return ended(Kind::DowngradeDeclined);
    const Workflow workflow = restoreNeeded ? Workflow::Restore : Workflow::Update;
    return { plan.offerAfterCheck ? AfterCheck::Next::Offer : AfterCheck::Next::Write, workflow, Kind::Current };
}

RunEnd::Kind checkFound(const CheckResult &result)
{
    return afterCheck(RunPlan(), result).end;
}

bool mayInstallOlder(const RunPlan &plan)
{
    return plan.offerAfterCheck || plan.workflow == Workflow::Update;
}

bool mayWrite(const RunPlan &plan)
{
    return plan.offerAfterCheck || plan.workflow != Workflow::Check;
}

bool mayBootstrap(const RunPlan &plan)
{
    return plan.offerAfterCheck || plan.workflow == Workflow::Restore;
}

QString recordResult(RunEnd::Kind kind)
{
    using Kind = RunEnd::Kind;
    switch (kind) {
    case Kind::Success: return QStringLiteral("success");
    case Kind::NotConfirmed: return QStringLiteral("not confirmed");
    case Kind::Failed: return QStringLiteral("failure");
    case Kind::NotFound: return QStringLiteral("not found");
    case Kind::Stopped: return QStringLiteral("stopped");
    case Kind::Current: return QStringLiteral("current");
    case Kind::UpdateNeeded: return QStringLiteral("update needed");
    case Kind::DowngradeOffered: return QStringLiteral("downgrade offered");
    case Kind::RestoreNeeded: return QStringLiteral("restore needed");
    case Kind::NoModelNamed: return QStringLiteral("no model named");
    case Kind::ImageUnusable: return QStringLiteral("image unusable");
    case Kind::LowBattery: return QStringLiteral("low battery");
    case Kind::NoRecord: return QStringLiteral("no record");
    case Kind::DowngradeDeclined: return QStringLiteral("downgrade declined");
    case Kind::RestoreNotUpdate: return QStringLiteral("restore needed");
    case Kind::UpdateNotRestore: return QStringLiteral("update needed");
    }
    return QString();
}

QString writeRecordResult(RunEnd::Kind kind)
{
    switch (kind) {
    case RunEnd::Kind::Success:
    case RunEnd::Kind::NotConfirmed:
    case RunEnd::Kind::Stopped:
    case RunEnd::Kind::LowBattery:
    case RunEnd::Kind::ImageUnusable: return recordResult(kind);
    default: break;
    }
    return recordResult(RunEnd::Kind::Failed);
}
