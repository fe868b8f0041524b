#include "workers/WritePartsThread.h"

#include "power/EraseGate.h"
#include "workers/HandOver.h"
#include "workers/ImageCheck.h"
#include "workers/Pause.h"

#include <QFile>

#include <algorithm>

WritePartsThread::WritePartsThread(const PartSequence &steps, const DeviceStatus &status, const ImageSource &images,
                                   std::shared_ptr<const ImageCopies> copies)
    : steps(steps)
    , deviceStatus(status)
    , images(images)
    , copies(std::move(copies))
{
}

void WritePartsThread::run()
{
    WriteOutcome outcome;
    writeSequence(outcome);
    outcome.stoppedForBattery = stoppedForBattery;
    outcome.batteryPercent = batteryPercent;
    const std::lock_guard<std::mutex> handOver(handOverLock());
    emit ended(outcome);
}

void WritePartsThread::writeSequence(WriteOutcome &outcome)
{
    outcome.parts.assign(steps.parts.size(), PartOutcome::NotTouched);
    const std::vector<bool> toWrite = partsToWrite(steps, deviceStatus);
    for (std::size_t index = 0; index < toWrite.size(); ++index) {
        if (!toWrite[index])
            outcome.parts[index] = PartOutcome::Skipped;
    }
    outcome.imageProblem = unusableImage();
    outcome.imageUnusable = !outcome.imageProblem.isEmpty();
    if (outcome.imageUnusable || !serialUsable(toWrite) || !mayErase())
        return;

    // Where opening bootstraps the instrument, it loads the boot image too.
    PartSession session { deviceStatus, provenCopy(*copies, bootImagePath(images, deviceStatus.targetFirmware)),
                          progress };
    const Link &link = linkFor(steps.link);
    const WorkflowRules &rules = steps.rules;
    const OpenResult opened = link.open(session, rules.open);
    if (opened != OpenResult::Opened) {
        emit addLine(QString::fromLatin1(opened == OpenResult::NotListed ? rules.notListed : rules.openFailed));
        if (rules.afterOpenFailure == AfterOpenFailure::PauseThenEnd)
            msleep(stepPauseMs);
        return;
    }
    const bool written = writeParts(session, toWrite, outcome);
    if (written || (rules.finishAfterFailure == FinishAfterFailure::WhereItOnlyReleases && link.finishOnlyReleases()))
        link.finish(session);
    outcome.succeeded = written;
}

// Nothing is erased whose image could not be written back: the check proved
// a copy of each, or the write does not start.
QString WritePartsThread::unusableImage()
{
    for (const QByteArray &path : imagesToWrite(images, steps, deviceStatus)) {
        if (provenCopy(*copies, path).isEmpty()) {
            QString problem = path.isEmpty()
                ? QStringLiteral("No firmware image for this device type.")
                : QStringLiteral("Firmware image was not checked: ") + QFile::decodeName(path);
            emit addLine(problem);
            return problem;
        }
    }
    return QString();
}

// A part that carries the serial keeps what it is written with: 0 or a
// serial that was never read would stay on the instrument.
bool WritePartsThread::serialUsable(const std::vector<bool> &toWrite)
{
    for (std::size_t index = 0; index < toWrite.size(); ++index) {
        if (toWrite[index] && steps.parts[index].serial == PartSerial::Instrument && deviceStatus.serial <= 0) {
            emit addLine(noSerialLine());
            return false;
        }
    }
    return true;
}

bool WritePartsThread::writeParts(PartSession &session, const std::vector<bool> &toWrite, WriteOutcome &outcome)
{
    const int count = static_cast<int>(std::count(toWrite.begin(), toWrite.end(), true));
    int step = 0;
    for (std::size_t index = 0; index < toWrite.size(); ++index) {
        if (!toWrite[index]) {
            emit addLine(skipLine(steps.parts.at(index)));
            msleep(stepPauseMs);
            continue;
        }
        if (!writePart(session, index, ++step, count, outcome))
            return false;
    }
    return true;
}

bool WritePartsThread::writePart(PartSession &session, std::size_t index, int step, int count, WriteOutcome &outcome)
{
    const PartStep &part = steps.parts.at(index);
    emit addLine(announceLine(part));
    progress.enter(LibraryProgress::Phase::Erasing);
    emit stepStarted(step, count, static_cast<int>(index));
    // Erased or incomplete from the moment the clear is asked for, whatever it answers.
    outcome.parts[index] = PartOutcome::Erased;
    const Link &link = linkFor(steps.link);
    if (link.clear(session, part.part) != 0) {
        outcome.clearFailed = true;
        emit addLine(QString::fromLatin1(part.clearFailed));
        return false;
    }
    progress.enter(LibraryProgress::Phase::Writing);
    const QByteArray image = provenCopy(*copies, partImagePath(images, deviceStatus.targetFirmware, part.part));
    if (link.write(session, part.part, image.constData(),
                   part.serial == PartSerial::Instrument ? deviceStatus.serial : -1)
        != 0) {
        emit addLine(QString::fromLatin1(part.writeFailed));
        return false;
    }
    outcome.parts[index] = PartOutcome::Written;
    return true;
}
