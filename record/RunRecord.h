#ifndef RUNRECORD_H
#define RUNRECORD_H

#include "catalogue/DeviceStatus.h"
#include "device/DeviceCall.h"
#include "record/RecordChain.h"
#include "record/RecordFile.h"
#include "workers/ImageCheck.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class RecordWriter;

// Where the records are kept: below the user's data folder, named as each
// system names its programs' folders. Empty when the system names none.
QString recordsFolder();

// The record of one program run, written to the disk as the run goes: what
// was run on which instrument with which image files, then every log line
// after the introduction and every library call, each with its time since
// the record began; last, how the run ended, and its seal: its place in the
// folder's chain of records and its own digest (RecordChain). It begins with
// the check and is kept for every run that reached it. The program never
// reads it back.
//
// It lives on the thread that gives it the log lines. Library calls and image
// checks made on other threads reach it through that thread's event queue,
// behind the lines those threads sent before them, so everything stands in
// the order it happened. Once the file exists, its lines are written and
// synced by a writer thread of its own, so a slow disk never holds up the
// thread that gives them; a library call is made only once its start is on
// the disk, so that a call that never returns is known all the same: one
// that only reads waits for it a few seconds, one that erases or writes as
// long as the disk takes.
class RunRecord : public QObject, private DeviceCallObserver, private ImageCheckObserver
{
    Q_OBJECT

public:
    // Begins now. It learns of library calls and image checks on the threads
    // its observers are set on (setDeviceCallObserver, setImageCheckObserver).
    explicit RunRecord(const QString &folder = recordsFolder(), QObject *parent = nullptr);
    ~RunRecord() override;

    DeviceCallObserver &callObserver() { return *this; }
    ImageCheckObserver &imageObserver() { return *this; }

    // A line as the log shows it.
    void addLine(const QString &line);
    // A warning of the program's own (the PC cannot be kept awake), from any
    // thread; it takes its place among the lines that thread sent.
    void addNotice(const QString &line);
    // The run is over: the record's last lines say how it ended and seal
    // it. Nothing is written after them.
    void finish(const QString &result);
    // finish(), then waits until the seal is on the disk or the writer has
    // given up. Returns the "Record:" line that names the record with its
    // digest, or without where it could not be sealed; empty without a record.
    // For a program that ends at once; a run's own end uses sealThen().
    QString seal(const QString &result);
    // finish(), then, on this thread, once the seal is on the disk or the
    // writer has given up, calls then with that "Record:" line. Never waits
    // for the disk itself, however slow it is or however long another
    // program holds the folder's lock.
    void sealThen(const QString &result, std::function<void(const QString &where)> then);
    // What the instrument reported after the write, given before finish():
    // each part's version, or "no answer".
    void readBack(const QString &versions);
    // The run ended with its check: as the check ended, an instrument found
    // or not. A record that goes unfinished finishes so.
    void finish();
    // For a program about to end: waits until the writer has put every line
    // on the disk or given up, so that a failure is told before the end.
    // Whether the record is complete: every line of it on the disk, the
    // result last.
    bool waitWritten();
    // For a thread about to wait for the worker: the worker's calls no longer
    // wait for their starts to be on the disk.
    void releaseCallers();
    // The check is over. Writes the record so far; returns the log line that
    // says where it is or why there is none.
    // found: what the check found, in the words of the record's last line,
    // which it ends with unless a write says otherwise.
    QString checkEnded(const DeviceStatus &status, const QString &found);
    // "Record: <path>" while the record is being written, with ", SHA-256
    // <digest>" once sealed; otherwise empty.
    QString whereLine() const;
    // The record's absolute path while it is being written; otherwise empty.
    QString path() const;
    // Its digest once sealed, else empty.
    QString digest() const { return sealedDigest; }
    // An open or a bootstrap reached an instrument.
    bool reachedInstrument() const { return reached; }
    // Why no record can be written, once that is known (the check ended,
    // or the writer failed); otherwise empty.
    QString problem() const;

signals:
    // The record could not be written on: the log line that says so, once.
    void writeFailed(const QString &line);
    // From the thread of a call that erases or writes: it waits for its
    // start to reach the disk (true), after a while, and no more (false).
    void waitingForDisk(bool waiting);

    // What the observers learn on other threads, handed to the record's own
    // as arguments Qt copies itself: a hand-over ThreadSanitizer sees as Qt's.
    void callStarting(const QString &text, QPrivateSignal);
    void callEnded(const QString &text, bool reaches, QPrivateSignal);
    void imageSeen(const QString &line, QPrivateSignal);
    void noticeSeen(const QString &line, QPrivateSignal);

private:
    enum class State { Collecting, Writing, Off };

    void starting(const char *name, const QString &arguments) override;
    void called(const DeviceCallReport &report) override;
    void unsignedListTaken() override;
    void imageChecked(const CheckedImage &image) override;

    void writeCallStarting(const QString &text);
    void waitOnDisk(RecordWriter &lineWriter, quint64 line);
    void writerFailed(const QString &reason);
    void sealSettled();
    void writeCallEnded(const QString &text, bool reaches);
    void addImage(const QString &line);
    void addStamped(const QString &text);
    // The writer's number for the line, 0 where it is not written.
    quint64 write(const QString &line, bool replacingLast);
    QString stamp() const;
    QStringList header(const DeviceStatus &status) const;
    QString failure(const QString &reason);

    const QString folder;
    const QDateTime began;
    QElapsedTimer clock;
    State state = State::Collecting;
    // An instrument answered an open or a bootstrap.
    bool reached = false;
    // The lines written before the file exists, and the images checked by then.
    QStringList pending;
    QStringList images;
    // Each image line once: an image checked again unchanged is not listed again.
    QStringList imagesListed;
    RecordFile file;
    std::unique_ptr<RecordWriter> writer;
    QString filePath;
    // The starts of library calls: how many the callers announced and the
    // record's thread has handed on, and the writer's number for the last one.
    // Standard locks: ThreadSanitizer sees every hand-over through them.
    std::mutex startsMutex;
    std::condition_variable startHandled;
    quint64 startsAnnounced = 0;
    quint64 startsHandled = 0;
    quint64 lastStartLine = 0;
    bool released = false;
    // The stamp of the call whose start is the last line, until it returns.
    QString callInFlight;
    QString problemText;
    // What the record ends with when nobody tells it otherwise.
    QString checkResult;
    // The result line is given: nothing more is written.
    bool finished = false;
    RecordChain chain;
    QString sealedDigest;
    // The seal is written or will never be; what waits for it until then.
    bool sealed = false;
    std::function<void(const QString &where)> afterSeal;
};

#endif
