#include "workers/WorkerWait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

void runWorker(QThread &worker, QObject *lineReceiver)
{
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker.start(QThread::InheritPriority);
    loop.exec();
    worker.wait();
    // Lines emitted just before the worker ended may still be queued; they
    // belong in the log before whatever the caller writes next.
    QCoreApplication::sendPostedEvents(lineReceiver, QEvent::MetaCall);
}
