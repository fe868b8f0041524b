#include "workers/ErasingThread.h"

#include "power/Battery.h"
#include "power/EraseGate.h"

#include <QtMath>

#include <chrono>

namespace {

// A system that says nothing by then says nothing about its battery.
constexpr std::chrono::milliseconds batteryAnswerLimit(1000);

} // namespace

void ErasingThread::answerBattery(bool proceed)
{
    {
        const std::lock_guard<std::mutex> lock(answerMutex);
        continueOnLowBattery.store(proceed);
        hasAnswer = true;
    }
    answered.notify_all();
}

// Also a stop ends the wait: whoever stops the run answers no.
bool ErasingThread::proceedOnLowBattery(int percent)
{
    std::unique_lock<std::mutex> lock(answerMutex);
    hasAnswer = false;
    lock.unlock();
    emit batteryLow(percent);
    lock.lock();
    answered.wait(lock, [this] { return hasAnswer; });
    return continueOnLowBattery.load();
}

bool ErasingThread::mayErase()
{
    stoppedForBattery = false;
    batteryPercent = -1;
    if (gate && gate->stopped())
        return false;
    if (!enoughPower()) {
        stoppedForBattery = !gate || !gate->stopped();
        return false;
    }
    return !gate || gate->beginErasing();
}

// The percentage is told and compared as the user reads it: rounded to a
// whole number.
bool ErasingThread::enoughPower()
{
    const std::optional<double> level = batteryPercentOnBattery(batteryAnswerLimit,
                                                                [this] { return gate && gate->stopped(); });
    if (!level)
        return true;
    const int percent = qRound(*level);
    batteryPercent = percent;
    if (percent < lowestBatteryPercent) {
        const bool proceed = proceedOnLowBattery(percent);
        if (gate && gate->stopped())
            return false;
        if (!proceed) {
            emit addLine(QStringLiteral("Stopped: the PC's battery is at %1 %.").arg(percent));
            return false;
        }
    }
    emit addLine(QStringLiteral("The PC runs on battery (%1 %). Keep it connected to mains power.").arg(percent));
    return true;
}
