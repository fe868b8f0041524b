#include "workers/CheckVersionThread.h"

#include "device/Link.h"
#include "workers/HandOver.h"

CheckVersionThread::CheckVersionThread(std::function<QString()> folderProblem,
                                       std::function<QString(const DeviceStatus &)> imageProblem)
    : folderProblem(std::move(folderProblem))
    , imageProblem(std::move(imageProblem))
{
}

void CheckVersionThread::run()
{
    CheckOutcome outcome;
    outcome.imageProblem = folderProblem();
    if (outcome.imageProblem.isEmpty()) {
        const auto say = [this](const QString &line) { emit updateText(line); };
        for (const Link *link : linksToLookThrough()) {
            if (link->detect(outcome.status, say))
                break;
        }
        outcome.imageProblem = imageProblem(outcome.status);
    }
    const std::lock_guard<std::mutex> handOver(handOverLock());
    emit ended(outcome);
}
