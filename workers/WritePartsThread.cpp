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
    const Link &link = linkFor(steps.link);
    const OpenResult opened = link.open(session, steps.open);
    if (opened != OpenResult::Opened) {
        emit addLine(QString::fromLatin1(opened == OpenResult::NotListed ? steps.notListed : steps.openFailed));
        if (steps.pausesAfterOpenFailure)
            msleep(stepPauseMs);
        return;
    }
    const bool written = writeParts(session, toWrite);
    if (written || (steps.finishesAfterFailure && link.finishOnlyReleases()))
        link.finish(session);
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
                    || partVersion(deviceStatus.deviceFirmware, part.part)
                        != partVersion(deviceStatus.targetFirmware, part.part));
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
            paths << partImagePath(deviceStatus.targetFirmware, steps.parts.at(static_cast<std::size_t>(index)).part);
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
    const Link &link = linkFor(sequence().link);
    if (link.clear(session, part.part) != 0) {
        emit addLine(QString::fromLatin1(part.clearFailed));
        return false;
    }
    const QByteArray image = partImagePath(deviceStatus.targetFirmware, part.part);
    if (link.write(session, part.part, image.constData(), part.writesSerial ? deviceStatus.serial : -1) != 0) {
        emit addLine(QString::fromLatin1(part.writeFailed));
        return false;
    }
    outcomes[static_cast<std::size_t>(index)] = PartOutcome::Written;
    return true;
}
