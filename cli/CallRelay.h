#ifndef CALLRELAY_H
#define CALLRELAY_H

#include "FlashOutput.h"

#include "device/DeviceCall.h"

#include <QObject>

// Hands each library call, told on the worker's thread, to the thread that
// owns the relay, queued behind the lines the worker emitted before it, so
// that the events keep the order in which they happened.
class CallRelay : public QObject, public DeviceCallObserver
{
    Q_OBJECT

public:
    using QObject::QObject;
    void called(const DeviceCallReport &report) override;

signals:
    void reported(const CallEvent &event);
};

Q_DECLARE_METATYPE(CallEvent)

#endif
