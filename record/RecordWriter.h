#ifndef RECORDWRITER_H
#define RECORDWRITER_H

#include "record/RecordFile.h"

#include <QQueue>
#include <QThread>

#include <condition_variable>
#include <mutex>

class RecordChain;

// Writes and syncs a record's lines on a thread of its own, in the order
// they were given, each on the disk before the next is taken, so that a slow
// disk never holds up the thread that gives them. It owns the thread: its
// end writes what is still queued, then stops and waits for it. Standard
// locks rather than Qt's: ThreadSanitizer sees every hand-over through them.
class RecordWriter : public QThread
{
    Q_OBJECT

public:
    // file: created and written up to its last line, which is not yet synced.
    explicit RecordWriter(RecordFile &file);
    ~RecordWriter() override;
    RecordWriter(const RecordWriter &) = delete;
    RecordWriter &operator=(const RecordWriter &) = delete;

    // Any thread. Returns the line's number among those given, from 1.
    quint64 append(const QString &line);
    quint64 replaceLast(const QString &line);
    // Any thread: after the lines given before it, ends the file with its
    // place in chain and its digest (RecordChain::seal). Nothing is written
    // after it.
    quint64 seal(RecordChain &chain);
    // The sealed file's digest once the seal is written; else empty.
    QString digest();
    // Any thread: waits until line number `line` is on the disk, or the
    // writer has failed or ended, or timeoutMs has passed; whether the line
    // is on the disk.
    bool waitWritten(quint64 line, unsigned long timeoutMs);
    // The same however long the disk takes.
    bool waitWritten(quint64 line);
    // Whether every line given is on the disk by then.
    bool waitAllWritten(unsigned long timeoutMs);

signals:
    // Nothing more is written after the first failure: why, with the path.
    void failed(const QString &reason);
    // The seal was written, or could not be (digest() then stays empty).
    void sealDone();

protected:
    void run() override;

private:
    struct Job
    {
        QString line;
        bool replacingLast = false;
        RecordChain *sealing = nullptr;
    };

    bool sealFile(RecordChain &chain);

    quint64 give(const Job &job);

    RecordFile &file;
    std::mutex mutex;
    std::condition_variable changed;
    QQueue<Job> queue;
    quint64 given = 0;
    quint64 written = 0;
    bool stopping = false;
    bool broken = false;
    bool ended = false;
    QString sealedDigest;
};

#endif
