#include "workers/PartSteps.h"

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
