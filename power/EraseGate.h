#ifndef ERASEGATE_H
#define ERASEGATE_H

#include <atomic>

// Decides, once, how the time between the press of Update or Restore and the
// first call that erases or loads firmware ends: the worker begins to erase,
// or a request to stop comes first. Whichever asks first wins, on any
// thread, so a stop that comes after the worker's look is simply too late.
class EraseGate
{
public:
    // The worker, right before that first call: whether it may make it.
    bool beginErasing() { return settle(Erasing); }
    // Whether the run is stopped now, nothing erased; false once erasing began.
    bool stop() { return settle(Stopped); }
    bool stopped() const { return state.load() == Stopped; }

private:
    enum State { Open, Erasing, Stopped };

    bool settle(State to)
    {
        int expected = Open;
        return state.compare_exchange_strong(expected, to) || expected == to;
    }

    std::atomic<int> state { Open };
};

#endif
