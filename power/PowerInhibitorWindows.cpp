#include "power/PowerInhibitor.h"

#include <windows.h>

#include <cstdio>

namespace {

HWND handleOf(std::uintptr_t window)
{
    return reinterpret_cast<HWND>(window);
}

void warn(const char *call)
{
    std::fprintf(stderr, "Cannot keep the PC awake while firmware is written: %s failed (error %lu)\n", call,
                 static_cast<unsigned long>(GetLastError()));
}

} // namespace

// Windows shows the reason to a user who shuts down or logs off meanwhile.
// A console program has no window to give one; the execution state still
// keeps the PC from sleeping.
PowerInhibitor::PowerInhibitor(std::uintptr_t window)
    : window(window)
{
    if (window != 0 && !ShutdownBlockReasonCreate(handleOf(window), L"Writing firmware to the KD740"))
        warn("ShutdownBlockReasonCreate");
}

PowerInhibitor::~PowerInhibitor()
{
    release();
    if (window != 0)
        ShutdownBlockReasonDestroy(handleOf(window));
}

// The execution state belongs to the calling thread, so it is set and reset
// on the worker's.
void PowerInhibitor::hold(const std::function<bool()> &)
{
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
        warn("SetThreadExecutionState");
        return;
    }
    held[0] = 1;
}

void PowerInhibitor::release()
{
    if (held[0] < 0)
        return;
    SetThreadExecutionState(ES_CONTINUOUS);
    held[0] = -1;
}
