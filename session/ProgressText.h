#ifndef PROGRESSTEXT_H
#define PROGRESSTEXT_H

#include "device/LibraryProgress.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

// The two lines that tell a waiting technician what is happening: which
// step runs, and how long it has taken against how long it usually takes.
// Times are milliseconds on the run's ProgressClock.
class ProgressText
{
public:
    static QString opening();
    static QString reading();
    // limitSeconds: how long the instrument is waited for at most (0: one look).
    static QString readingBack(int limitSeconds);
    static QString waitingForRecord();

    // activity is shown until the first step starts, and throughout the
    // check, with the time since startMs.
    ProgressText(const QString &activity, qint64 startMs);

    // While waiting: the step waits for its record to reach the disk.
    void waitForRecord(bool waiting);

    // The step-th part of steps is cleared from nowMs on.
    void startStep(int step, int steps, const QString &part, int expectedSeconds, qint64 nowMs);

    // Takes in what the library's progress says now (none: nothing to take):
    // the step's phase, which begins with the clear, and the percentage worth
    // showing, returned, or -1.
    int follow(const LibraryProgress *library, PercentFilter &filter);

    // percent as the library reports it, or -1 for none.
    QString stepLine(int percent) const;
    QString elapsedLine(qint64 nowMs) const;
    // Whether the step has taken longer than it usually does.
    bool late(qint64 nowMs) const;

    // The widest lines the two can be, to size a display once.
    static QStringList widestLines();

private:
    QString activity;
    qint64 sinceMs;
    int step = 0;
    int steps = 0;
    QString part;
    int expectedSeconds = 0;
    LibraryProgress::Phase phase = LibraryProgress::Phase::Erasing;
    bool recordWait = false;
};

// A monotonic clock in milliseconds, one for each run. Tests speed it up to
// reach the texts of a late write without waiting minutes; nothing else
// changes its rate.
class ProgressClock
{
public:
    ProgressClock();
    qint64 nowMs() const;
    void setRate(int newRate);

private:
    QElapsedTimer started;
    int rate = 1;
};

#endif
