#include "workers/WritePartsThread.h"

#include "workers/ImageCheck.h"
#include "workers/Pause.h"

#include <algorithm>

void WritePartsThread::run()
{
    succeeded = false;
    const PartSequence &steps = sequence();
    outcomes.assign(steps.parts.size(), PartOutcome::NotTouched);
    const QVector<bool> toWrite = partsToWrite();
    imageUnusable = !imagesUsable(toWrite);
    if (imageUnusable)
        return;

    PartSession session { deviceStatus, progress };
    if (const char *failure = steps.open(session)) {
        emit addLine(QString::fromLatin1(failure));
        if (steps.pausesAfterOpenFailure)
            msleep(stepPauseMs);
        return;
    }
    const bool written = writeParts(session, toWrite);
    if (written || steps.finishesAfterFailure)
        steps.finish(session);
    succeeded = written;
}

QStringList WritePartsThread::stateAfterFailure() const
{
    return ::stateAfterFailure(sequence(), outcomes);
}

QVector<bool> WritePartsThread::partsToWrite() const
{
    const PartSequence &steps = sequence();
    QVector<bool> toWrite;
    for (const PartStep &part : steps.parts) {
        toWrite << (!steps.skipsCurrentParts
                    || deviceStatus.deviceFirmware.*part.version != deviceStatus.targetFirmware.*part.version);
    }
    return toWrite;
}

// Nothing is erased whose image could not be written back.
bool WritePartsThread::imagesUsable(const QVector<bool> &toWrite)
{
    const PartSequence &steps = sequence();
    QVector<QByteArray> paths;
    for (int index = 0; index < toWrite.size(); ++index) {
        if (toWrite.at(index))
            paths << steps.parts.at(static_cast<std::size_t>(index)).image(deviceStatus.targetFirmware);
    }
    const QString problem = firstUnusableImage(paths);
    if (problem.isEmpty())
        return true;
    emit addLine(problem);
    return false;
}

bool WritePartsThread::writeParts(PartSession &session, const QVector<bool> &toWrite)
{
    const int steps = static_cast<int>(std::count(toWrite.begin(), toWrite.end(), true));
    int step = 0;
    for (int index = 0; index < toWrite.size(); ++index) {
        if (!toWrite.at(index)) {
            emit addLine(skipLine(sequence().parts.at(static_cast<std::size_t>(index))));
            msleep(stepPauseMs);
            continue;
        }
        if (!writePart(session, index, ++step, steps))
            return false;
    }
    return true;
}

bool WritePartsThread::writePart(PartSession &session, int index, int step, int steps)
{
    const PartStep &part = sequence().parts.at(static_cast<std::size_t>(index));
    emit addLine(announceLine(part));
    emit stepStarted(step, steps, QLatin1String(part.name), part.expectedSeconds);
    // Erased or incomplete from the moment the clear is asked for, whatever it answers.
    outcomes[static_cast<std::size_t>(index)] = PartOutcome::Erased;
    if (part.clear(session) != 0) {
        emit addLine(QString::fromLatin1(part.clearFailed));
        return false;
    }
    if (part.write(session, part.image(deviceStatus.targetFirmware).constData()) != 0) {
        emit addLine(QString::fromLatin1(part.writeFailed));
        return false;
    }
    outcomes[static_cast<std::size_t>(index)] = PartOutcome::Written;
    return true;
}

RunResult WritePartsThread::result() const
{
    return succeeded ? RunResult::Success : RunResult::Failure;
}
