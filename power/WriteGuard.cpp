#include "power/WriteGuard.h"

#include <utility>

void WriteGuard::requestEnd(int signal)
{
    if (std::exchange(endRequested, true))
        return;
    requestSignal = signal;
    if (eraseGate.stop())
        emit stopped(QStringLiteral("Stopped before anything was erased."));
    else
        emit endDeferred(deferredLine);
}
