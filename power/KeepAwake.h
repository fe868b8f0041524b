#ifndef KEEPAWAKE_H
#define KEEPAWAKE_H

#include "power/PowerInhibitor.h"

#include <QMetaObject>
#include <QString>

#include <cstdint>
#include <functional>

class EraseGate;
class QThread;

// Holds a PowerInhibitor from the moment worker starts until it has ended,
// whatever the outcome. The system is asked on the worker's own thread,
// before its sequence, so that a bus that does not answer delays the write
// and never the window. Live it around the wait for the worker. window is
// the native handle of the program's main window, 0 for a program without one;
// gate, where there is one, ends the wait for the system once the run stops.
// Where the system refuses, warned is given the warning on the worker's
// thread.
class KeepAwake
{
public:
    KeepAwake(QThread &worker, std::uintptr_t window, const EraseGate *gate,
              std::function<void(const QString &)> warned);
    ~KeepAwake();
    KeepAwake(const KeepAwake &) = delete;
    KeepAwake &operator=(const KeepAwake &) = delete;

private:
    PowerInhibitor inhibitor;
    QMetaObject::Connection started;
    QMetaObject::Connection finished;
};

#endif
