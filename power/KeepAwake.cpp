#include "power/KeepAwake.h"

#include "power/EraseGate.h"

#include <QThread>

KeepAwake::KeepAwake(QThread &worker, std::uintptr_t window, const EraseGate *gate,
                     std::function<void(const QString &)> warned)
    : inhibitor(window)
{
    // Direct: QThread emits both from the worker's thread, just before and
    // just after run().
    started = QObject::connect(
        &worker, &QThread::started, &worker,
        [this, gate, warned = std::move(warned)] {
            const std::string warning = inhibitor.hold([gate] { return gate && gate->stopped(); });
            if (!warning.empty())
                warned(QString::fromStdString(warning));
        },
        Qt::DirectConnection);
    finished = QObject::connect(
        &worker, &QThread::finished, &worker, [this] { inhibitor.release(); }, Qt::DirectConnection);
}

KeepAwake::~KeepAwake()
{
    QObject::disconnect(started);
    QObject::disconnect(finished);
}
