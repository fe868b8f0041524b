#include "CallRelay.h"

void CallRelay::called(const DeviceCallReport &report)
{
    emit reported({ QString::fromLatin1(report.name), report.arguments, report.status,
                    static_cast<qint64>(report.duration.count()) });
}
