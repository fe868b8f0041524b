#include "power/KeepAwake.h"

#include <QThread>

KeepAwake::KeepAwake(QThread &worker, std::uintptr_t window)
    : inhibitor(window)
{
    // Direct: QThread emits both from the worker's thread, just before and
    // just after run().
    started = QObject::connect(
        &worker, &QThread::started, &worker, [this] { inhibitor.hold(); }, Qt::DirectConnection);
    finished = QObject::connect(
        &worker, &QThread::finished, &worker, [this] { inhibitor.release(); }, Qt::DirectConnection);
}

KeepAwake::~KeepAwake()
{
    QObject::disconnect(started);
    QObject::disconnect(finished);
}
