#include "CheckFindings.h"

#include "workers/PartSteps.h"

Outcome checkOutcome(DeviceState state, UpdateOffer offer)
{
    if (state == NeedsRestore)
        return { ExitRestoreNeeded, QStringLiteral("restore-needed"), QString(), {} };
    switch (offer) {
    case UpdateOffer::Update: return { ExitUpdateOffered, QStringLiteral("update-needed"), QString(), {} };
    case UpdateOffer::Downgrade: return { ExitUpdateOffered, QStringLiteral("downgrade"), QString(), {} };
    case UpdateOffer::None: break;
    }
    return { ExitDone, QStringLiteral("current"), QString(), {} };
}

// The parts are the update's, over the link the program reaches the model by.
InstrumentEvent instrumentEvent(const DeviceStatus &status)
{
    const bool running = status.checkState == Operational;
    InstrumentEvent event;
    event.model = knownDeviceType(status.deviceType) ? deviceTypeName(status.deviceType) : QStringLiteral("unknown");
    event.serial = status.serial;
    const PartSequence &sequence = updateSequence(status.deviceType);
    event.link = QLatin1String(linkName(sequence.link));
    for (const PartStep &part : sequence.parts) {
        event.parts.append({ QLatin1String(part.name), running ? partVersion(status.deviceFirmware, part.part) : -1,
                             partVersion(status.targetFirmware, part.part) });
    }
    if (!running)
        event.offer = QStringLiteral("restore");
    else if (updateOffer(status.deviceFirmware, status.targetFirmware) == UpdateOffer::None)
        event.offer = QStringLiteral("none");
    else
        event.offer = QStringLiteral("update");
    return event;
}
