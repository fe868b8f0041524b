#include "workers/WorkerWait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

#include <atomic>

void runWorker(QThread &worker, QObject *lineReceiver)
{
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    // The caller reads what run() wrote once wait() has returned. Qt's lock
    // makes that safe, but ThreadSanitizer cannot see inside Qt; this
    // hand-over it sees.
    std::atomic<bool> ran(false);
    QObject::connect(
        &worker, &QThread::finished, &loop, [&ran] { ran.store(true, std::memory_order_release); },
        Qt::DirectConnection);
    worker.start(QThread::InheritPriority);
    loop.exec();
    worker.wait();
    [[maybe_unused]] const bool done = ran.load(std::memory_order_acquire);
    // Lines emitted just before the worker ended may still be queued; they
    // belong in the log before whatever the caller writes next.
    QCoreApplication::sendPostedEvents(lineReceiver, QEvent::MetaCall);
}
