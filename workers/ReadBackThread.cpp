#include "workers/ReadBackThread.h"

#include "device/Link.h"
#include "workers/HandOver.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// Between two looks; short slices so that a program that ends is not held up.
constexpr int lookIntervalMs = 1000;
constexpr int sliceMs = 50;

} // namespace

ReadBackThread::ReadBackThread(LinkKind link, std::int32_t serial, int waitMs)
    : link(link)
    , serial(serial)
    , waitMs(waitMs)
{
}

DeviceStatus ReadBackThread::look() const
{
    DeviceStatus status;
    linkFor(link).detect(status, [](const QString &) {});
    return status.checkState != NotDetected && status.serial == serial ? status : DeviceStatus();
}

void ReadBackThread::run()
{
    QElapsedTimer waited;
    waited.start();
    DeviceStatus status = look();
    while (status.checkState != Operational && waited.elapsed() < waitMs && !isInterruptionRequested()) {
        const qint64 nextLook = std::min<qint64>(waitMs, (waited.elapsed() / lookIntervalMs + 1) * lookIntervalMs);
        while (waited.elapsed() < nextLook && !isInterruptionRequested())
            msleep(static_cast<unsigned long>(std::min<qint64>(sliceMs, nextLook - waited.elapsed())));
        if (!isInterruptionRequested())
            status = look();
    }
    const std::lock_guard<std::mutex> handOver(handOverLock());
    emit ended(status);
}
