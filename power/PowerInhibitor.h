#ifndef POWERINHIBITOR_H
#define POWERINHIBITOR_H

#include <cstdint>
#include <functional>
#include <string>

// Keeps the PC from sleeping (a laptop's closed lid included), shutting down
// or going idle while firmware is written: a write cut short leaves the
// instrument inoperable. Best effort: where the system refuses, the write
// goes on, and the caller is given one warning to show.
//
// Each platform implements this in a file of its own; the interface needs no
// Qt, so that the Windows one needs nothing but the Windows API.
class PowerInhibitor
{
public:
    // On the thread that owns window, given by its native handle: where the
    // platform asks each window before it shuts down, the window says why
    // it must not.
    explicit PowerInhibitor(std::uintptr_t window);
    ~PowerInhibitor();
    PowerInhibitor(const PowerInhibitor &) = delete;
    PowerInhibitor &operator=(const PowerInhibitor &) = delete;

    // On the worker's thread, before and after its device sequence: asking
    // the system may wait on a service, which only the write may wait for;
    // givesUp, asked meanwhile, ends that wait when the run has stopped.
    // Returns the warning (UTF-8), empty when all is held or the run stopped.
    std::string hold(const std::function<bool()> &givesUp);
    void release();

private:
    // Used where shutdowns ask windows (Windows).
    [[maybe_unused]] std::uintptr_t window;
    // What the platform holds while writing, up to one thing per lock; -1
    // when nothing.
    int held[2] = { -1, -1 };
};

#endif
