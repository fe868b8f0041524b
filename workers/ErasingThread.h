#ifndef ERASINGTHREAD_H
#define ERASINGTHREAD_H

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class EraseGate;

// A worker whose sequence erases, writes or loads firmware. Right before the
// first such call it makes sure the run may begin what it must finish: the
// PC's battery can carry it, and nobody asked to stop meanwhile.
class ErasingThread : public QThread
{
    Q_OBJECT

public:
    // Below this percentage on battery a run goes on only when told to.
    static constexpr int lowestBatteryPercent = 25;

    // Passed right before the first erasing call; none: nothing stops the run.
    EraseGate *gate = nullptr;
    // Whether a run on a battery below the limit goes on: set by the answer
    // to batteryLow().
    std::atomic<bool> continueOnLowBattery { false };
    // Any thread: the answer to batteryLow(). The worker waits for it, or
    // for a stop, nothing held on the instrument meanwhile.
    void answerBattery(bool proceed);

signals:
    void addLine(QString s);
    // The battery is below the limit: answered with answerBattery().
    void batteryLow(int percent);

protected:
    // Whether the sequence may make its first erasing call; when not, it ends
    // without touching the instrument.
    bool mayErase();
    // Set by mayErase(): the run ends, nothing touched, because the battery
    // was too low.
    bool stoppedForBattery = false;
    // Set by mayErase(): the PC's battery percentage where it runs on one, else -1.
    int batteryPercent = -1;

private:
    bool enoughPower();
    bool proceedOnLowBattery(int percent);

    // Standard locks: ThreadSanitizer sees the hand-over through them.
    std::mutex answerMutex;
    std::condition_variable answered;
    bool hasAnswer = false;
};

#endif
