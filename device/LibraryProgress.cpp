#include "device/LibraryProgress.h"

#include <cmath>

// The library writes the variable as a plain double; GCC and Clang (MinGW
// included) read and write such a variable atomically through their
// builtins, which C++17 has no portable spelling for.
static_assert(std::atomic<double>::is_always_lock_free, "an atomic double must be a plain load and store");

namespace {

double loadValue(const double &value)
{
    double result = 0.0;
    __atomic_load(&value, &result, __ATOMIC_RELAXED);
    return result;
}

void storeValue(double &value, double newValue)
{
    __atomic_store(&value, &newValue, __ATOMIC_RELAXED);
}

} // namespace

void LibraryProgress::reset()
{
    storeValue(value, 0.0);
}

// Stored before the call's mark, so a sample that sees the call running sees its phase.
void LibraryProgress::enter(Phase newPhase)
{
    phase.store(newPhase, std::memory_order_relaxed);
}

LibraryProgress::Call::Call(LibraryProgress &progress)
    : progress(progress)
{
    progress.start.store(loadValue(progress.value), std::memory_order_relaxed);
    progress.marks.fetch_add(1, std::memory_order_release);
}

LibraryProgress::Call::~Call()
{
    progress.marks.fetch_add(1, std::memory_order_release);
}

LibraryProgress::Sample LibraryProgress::sample() const
{
    for (;;) {
        const unsigned before = marks.load(std::memory_order_acquire);
        Sample result;
        result.start = start.load(std::memory_order_relaxed);
        result.value = loadValue(value);
        result.phase = phase.load(std::memory_order_relaxed);
        if (marks.load(std::memory_order_acquire) != before)
            continue; // a call began or ended meanwhile
        result.call = (before + 1) / 2;
        result.running = before % 2 == 1;
        return result;
    }
}

int PercentFilter::percent(const LibraryProgress::Sample &sample)
{
    if (!sample.running)
        return -1;
    if (sample.call != call) {
        call = sample.call;
        trusted = true;
        last = -1.0;
    }
    if (!trusted || (last < 0 && sample.value == sample.start))
        return -1;
    if (!(sample.value >= 0.0 && sample.value <= 100.0) || sample.value < last) {
        trusted = false;
        return -1;
    }
    last = sample.value;
    return static_cast<int>(std::floor(sample.value));
}
