#include "record/RecordWriter.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

RecordWriter::RecordWriter(RecordFile &file)
    : file(file)
{
    start();
}

RecordWriter::~RecordWriter()
{
    {
        const QMutexLocker lock(&mutex);
        stopping = true;
        changed.wakeAll();
    }
    wait();
}

quint64 RecordWriter::append(const QString &line)
{
    return give({ line, false });
}

quint64 RecordWriter::replaceLast(const QString &line)
{
    return give({ line, true });
}

quint64 RecordWriter::give(const Job &job)
{
    const QMutexLocker lock(&mutex);
    queue.enqueue(job);
    changed.wakeAll();
    return ++given;
}

void RecordWriter::waitWritten(quint64 line, unsigned long timeoutMs)
{
    QDeadlineTimer deadline(static_cast<qint64>(timeoutMs));
    QMutexLocker lock(&mutex);
    while (written < line && !broken && isRunning() && !deadline.hasExpired())
        changed.wait(&mutex, deadline);
}

void RecordWriter::waitAllWritten(unsigned long timeoutMs)
{
    quint64 last = 0;
    {
        const QMutexLocker lock(&mutex);
        last = given;
    }
    waitWritten(last, timeoutMs);
}

// The last line written before the writer started is synced first.
void RecordWriter::run()
{
    bool ok = file.sync();
    QMutexLocker lock(&mutex);
    for (;;) {
        if (ok && !queue.isEmpty()) {
            const Job job = queue.dequeue();
            lock.unlock();
            ok = job.replacingLast ? file.replaceLast(job.line) : file.append({ job.line });
            lock.relock();
            ++written;
            changed.wakeAll();
            continue;
        }
        if (!ok) {
            broken = true;
            queue.clear();
            changed.wakeAll();
            lock.unlock();
            emit failed(file.errorString());
            return;
        }
        if (stopping)
            return;
        changed.wait(&mutex);
    }
}
