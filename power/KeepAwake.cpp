#include "power/KeepAwake.h"

#include <QThread>
#include <QWidget>

KeepAwake::KeepAwake(QThread &worker, QWidget *window)
    : inhibitor(static_cast<std::uintptr_t>(window->winId()))
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
