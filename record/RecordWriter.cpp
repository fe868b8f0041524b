#include "record/RecordWriter.h"

#include "record/RecordChain.h"

#include <chrono>

RecordWriter::RecordWriter(RecordFile &file)
    : file(file)
{
    start();
}

RecordWriter::~RecordWriter()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    wait();
    // QThread::wait() synchronises inside Qt, where ThreadSanitizer cannot
    // see it; the writer's last unlock orders its last use of the file
    // before the file goes away, for it as for the reader.
    const std::lock_guard<std::mutex> lock(mutex);
}

quint64 RecordWriter::append(const QString &line)
{
    return give({ line, false });
}

quint64 RecordWriter::replaceLast(const QString &line)
{
    return give({ line, true });
}

quint64 RecordWriter::seal(RecordChain &chain)
{
    return give({ QString(), false, &chain });
}

QString RecordWriter::digest()
{
    const std::lock_guard<std::mutex> lock(mutex);
    return sealedDigest;
}

// The folder's lock is held only while the file is sealed, so that no
// other program takes the same record before it for its own.
bool RecordWriter::sealFile(RecordChain &chain)
{
    QString problem;
    if (!chain.lock(&problem))
        return file.fail(problem);
    const QString sealed = chain.seal(file);
    chain.unlock();
    const std::lock_guard<std::mutex> lock(mutex);
    sealedDigest = sealed;
    return !sealed.isEmpty();
}

quint64 RecordWriter::give(const Job &job)
{
    quint64 number = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        queue.enqueue(job);
        number = ++given;
    }
    changed.notify_all();
    return number;
}

bool RecordWriter::waitWritten(quint64 line, unsigned long timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return written >= line || broken || ended; });
    return written >= line;
}

bool RecordWriter::waitWritten(quint64 line)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return written >= line || broken || ended; });
    return written >= line;
}

bool RecordWriter::waitAllWritten(unsigned long timeoutMs)
{
    quint64 last = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        last = given;
    }
    return waitWritten(last, timeoutMs);
}

// The last line written before the writer started is synced first.
void RecordWriter::run()
{
    bool ok = file.sync();
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (ok && !queue.isEmpty()) {
            const Job job = queue.dequeue();
            lock.unlock();
            if (job.sealing)
                ok = sealFile(*job.sealing);
            else
                ok = job.replacingLast ? file.replaceLast(job.line) : file.append({ job.line });
            lock.lock();
            if (ok)
                ++written;
            changed.notify_all();
            if (job.sealing) {
                lock.unlock();
                emit sealDone();
                lock.lock();
            }
            continue;
        }
        if (!ok) {
            const QString reason = file.errorString();
            broken = true;
            ended = true;
            queue.clear();
            lock.unlock();
            changed.notify_all();
            emit failed(reason);
            return;
        }
        if (stopping) {
            ended = true;
            lock.unlock();
            changed.notify_all();
            return;
        }
        changed.wait(lock);
    }
}
