#ifndef WORKERWAIT_H
#define WORKERWAIT_H

class QObject;
class QThread;

// Starts the worker and sleeps in an event loop until it has finished, so
// that the windows repaint and the worker's lines reach the log as they are
// emitted, without keeping a core busy. On return every line the worker
// emitted has been delivered to lineReceiver.
void runWorker(QThread &worker, QObject *lineReceiver);

#endif
