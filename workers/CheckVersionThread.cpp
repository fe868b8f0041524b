#include "workers/CheckVersionThread.h"

#include "device/Link.h"
#include "workers/HandOver.h"

CheckVersionThread::CheckVersionThread(std::function<ImageList()> readList,
                                       std::function<QString(const ImageList &, const DeviceStatus &)> imageProblem)
    : readList(std::move(readList))
    , imageProblem(std::move(imageProblem))
{
}

void CheckVersionThread::run()
{
    CheckOutcome outcome;
    outcome.images = readList();
    outcome.imageProblem = outcome.images.problem;
    if (outcome.imageProblem.isEmpty()) {
        const auto say = [this](const QString &line) { emit updateText(line); };
        for (const Link *link : linksToLookThrough()) {
            if (link->detect(outcome.status, say))
                break;
        }
        outcome.imageProblem = imageProblem(outcome.images, outcome.status);
    }
    const std::lock_guard<std::mutex> handOver(handOverLock());
    emit ended(outcome);
}
