#include "session/ProgressText.h"

#include "session/PartSteps.h"

#include <QElapsedTimer>

namespace {

// "M:SS elapsed"
QString elapsedText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2 elapsed").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString ProgressText::opening()
{
    return QStringLiteral("Opening the KD740");
}

QString ProgressText::reading()
{
    return QStringLiteral("Reading the KD740");
}

// A technician told not to unplug the instrument learns how long that lasts.
QString ProgressText::readingBack(int limitSeconds)
{
    const QString reading = QStringLiteral("Reading the firmware versions back");
    return limitSeconds > 0 ? reading + QStringLiteral(", up to ") + durationText(limitSeconds) : reading;
}

QString ProgressText::waitingForRecord()
{
    return QStringLiteral("Waiting for the record to reach the disk");
}

void ProgressText::waitForRecord(bool waiting)
{
    recordWait = waiting;
}

ProgressText::ProgressText(const QString &activity, qint64 startMs)
    : activity(activity)
    , sinceMs(startMs)
{
}

void ProgressText::startStep(int step, int steps, const QString &part, int expectedSeconds, qint64 nowMs)
{
    this->step = step;
    this->steps = steps;
    this->part = part;
    this->expectedSeconds = expectedSeconds;
    phase = LibraryProgress::Phase::Erasing;
    sinceMs = nowMs;
}

int ProgressText::follow(const LibraryProgress *library, PercentFilter &filter)
{
    if (!library)
        return -1;
    const LibraryProgress::Sample sample = library->sample();
    phase = sample.phase;
    return filter.percent(sample);
}

QString ProgressText::stepLine(int percent) const
{
    if (recordWait)
        return waitingForRecord();
    const QString doing = phase == LibraryProgress::Phase::Writing ? QStringLiteral("writing")
                                                                   : QStringLiteral("erasing");
    QString line = step > 0 ? QStringLiteral("Step %1 of %2: %3 the %4 program").arg(step).arg(steps).arg(doing, part)
                            : activity;
    if (percent >= 0)
        line += QStringLiteral(" (%1 %)").arg(percent);
    return line;
}

QString ProgressText::elapsedLine(qint64 nowMs) const
{
    const qint64 elapsed = qMax<qint64>(0, nowMs - sinceMs);
    if (step == 0)
        return elapsedText(elapsed);
    if (late(nowMs))
        return elapsedText(elapsed) + QStringLiteral(", longer than usual. Still writing: do not unplug the KD740.");
    return elapsedText(elapsed) + QStringLiteral(", usually up to ") + durationText(expectedSeconds);
}

bool ProgressText::late(qint64 nowMs) const
{
    return step > 0 && (nowMs - sinceMs) / 1000 > expectedSeconds;
}

QStringList ProgressText::widestLines()
{
    // Two-digit minutes and nine steps are as wide as these get in practice.
    const qint64 late = (99 * 60 + 59) * qint64(1000);
    QStringList lines { opening(), reading(), readingBack(99), waitingForRecord() };
    for (const PartSequence *sequence : allSequences()) {
        for (const PartStep &part : sequence->parts) {
            ProgressText text(QString(), 0);
            text.startStep(9, 9, QLatin1String(part.name), part.expectedSeconds, 0);
            lines << text.stepLine(100) << text.elapsedLine(part.expectedSeconds * qint64(1000))
                  << text.elapsedLine(late);
        }
    }
    return lines;
}

ProgressClock::ProgressClock()
{
    started.start();
}

qint64 ProgressClock::nowMs() const
{
    return started.elapsed() * rate;
}

void ProgressClock::setRate(int newRate)
{
    rate = newRate;
}
