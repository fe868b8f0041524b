#ifndef CALLRELAY_H
#define CALLRELAY_H

#include "device/DeviceCall.h"

#include <QObject>

// Hands each library call, told on the worker's thread, to the thread that
// owns the relay, queued behind the lines the worker emitted before it, so
// that the events keep the order in which they happened. It goes in front of
// the observer it finds (the run's record), tells that one everything first,
// and puts it back when it goes. Made and destroyed while no worker runs.
// A run's session keeps one for its lifetime.
class CallRelay : public QObject, public DeviceCallObserver
{
    Q_OBJECT

public:
    explicit CallRelay(QObject *parent = nullptr);
    ~CallRelay() override;
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
