#include "session/CallRelay.h"

CallRelay::CallRelay(DeviceCallObserver &next, QObject *parent)
    : QObject(parent)
    , next(&next)
{
}

void CallRelay::starting(const char *name, const QString &arguments)
{
    if (next)
        next->starting(name, arguments);
}

void CallRelay::called(const DeviceCallReport &report)
{
    if (next)
        next->called(report);
    emit reported(QString::fromLatin1(report.name), report.arguments, report.status,
                  static_cast<qint64>(report.duration.count()));
}
