#ifndef CALLRELAY_H
#define CALLRELAY_H

#include "device/DeviceCall.h"

#include <QObject>

// Hands each library call, told on the worker's thread, to the thread that
// owns the relay, queued behind the lines the worker emitted before it, so
// that the events keep the order in which they happened. It tells next (the
// run's record) everything first. A run's session keeps one for each record
// and sets it on the threads it starts.
class CallRelay : public QObject, public DeviceCallObserver
{
    Q_OBJECT

public:
    CallRelay(DeviceCallObserver &next, QObject *parent);
    CallRelay(const CallRelay &) = delete;
    CallRelay &operator=(const CallRelay &) = delete;

    void starting(const char *name, const QString &arguments) override;
    void called(const DeviceCallReport &report) override;

signals:
    // Of types Qt copies itself, so that handing them over is visible to
    // ThreadSanitizer as Qt's, not as a race in ours.
    void reported(const QString &name, const QString &arguments, int status, qint64 microseconds);

private:
    DeviceCallObserver *const next;
};

#endif
