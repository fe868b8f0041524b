#include "workers/WritePartsThread.h"

#include "power/EraseGate.h"
#include "workers/ImageCheck.h"
#include "workers/Pause.h"

#include <algorithm>

void WritePartsThread::run()
{
    succeeded = false;
    const PartSequence &steps = sequence();
    outcomes.assign(steps.parts.size(), PartOutcome::NotTouched);
    const std::vector<bool> toWrite = partsToWrite(steps, deviceStatus);
    for (std::size_t index = 0; index < toWrite.size(); ++index) {
        if (!toWrite[index])
            outcomes[index] = PartOutcome::Skipped;
    }
    imageUnusable = !imagesUsable();
    if (imageUnusable || !mayErase())
        return;

    PartSession session { deviceStatus, images, progress };
    const Link &link = linkFor(steps.link);
    const WorkflowRules &rules = steps.rules;
    const OpenResult opened = link.open(session, rules.open);
    if (opened != OpenResult::Opened) {
        emit addLine(QString::fromLatin1(opened == OpenResult::NotListed ? rules.notListed : rules.openFailed));
        if (rules.afterOpenFailure == AfterOpenFailure::PauseThenEnd)
            msleep(stepPauseMs);
        return;
    }
    const bool written = writeParts(session, toWrite);
    if (written || (rules.finishAfterFailure == FinishAfterFailure::WhereItOnlyReleases && link.finishOnlyReleases()))
        link.finish(session);
    succeeded = written;
}

QStringList WritePartsThread::stateAfterFailure() const
{
    return ::stateAfterFailure(sequence(), outcomes);
}

// Nothing is erased whose image could not be written back.
bool WritePartsThread::imagesUsable()
{
    const QString problem = firstUnusableImage(images, imagesToWrite(images, sequence(), deviceStatus));
    if (problem.isEmpty())
        return true;
    emit addLine(problem);
    return false;
}

bool WritePartsThread::writeParts(PartSession &session, const std::vector<bool> &toWrite)
{
    const int steps = static_cast<int>(std::count(toWrite.begin(), toWrite.end(), true));
    int step = 0;
    for (std::size_t index = 0; index < toWrite.size(); ++index) {
        if (!toWrite[index]) {
            emit addLine(skipLine(sequence().parts.at(index)));
            msleep(stepPauseMs);
            continue;
        }
        if (!writePart(session, index, ++step, steps))
            return false;
    }
    return true;
}

bool WritePartsThread::writePart(PartSession &session, std::size_t index, int step, int steps)
{
    const PartStep &part = sequence().parts.at(index);
    emit addLine(announceLine(part));
    progress.enter(LibraryProgress::Phase::Erasing);
    emit stepStarted(step, steps, QLatin1String(part.name), usualSeconds(deviceStatus.deviceType, part));
    // Erased or incomplete from the moment the clear is asked for, whatever it answers.
    outcomes[index] = PartOutcome::Erased;
    const Link &link = linkFor(sequence().link);
    if (link.clear(session, part.part) != 0) {
        emit addLine(QString::fromLatin1(part.clearFailed));
        return false;
    }
    progress.enter(LibraryProgress::Phase::Writing);
    const QByteArray image = partImagePath(images, deviceStatus.targetFirmware, part.part);
    if (link.write(session, part.part, image.constData(),
                   part.serial == PartSerial::Instrument ? deviceStatus.serial : -1)
        != 0) {
        emit addLine(QString::fromLatin1(part.writeFailed));
        return false;
    }
    outcomes[index] = PartOutcome::Written;
    return true;
}

RunResult WritePartsThread::result() const
{
    if (succeeded)
        return RunResult::Success;
    // Stopped by a signal or for the battery before anything was erased.
    if (stoppedForBattery || (gate && gate->stopped()))
        return RunResult::Stopped;
    return RunResult::Failure;
}
