#include "power/PowerInhibitor.h"

#include <windows.h>

#include <string>

namespace {

HWND handleOf(std::uintptr_t window)
{
    return reinterpret_cast<HWND>(window);
}

std::string warn(const char *call)
{
    const std::string warning = "Cannot keep the PC awake while firmware is written: " + std::string(call)
        + " failed (error " + std::to_string(static_cast<unsigned long>(GetLastError())) + ")";
    return warning;
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
std::string PowerInhibitor::hold(const std::function<bool()> &)
{
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0)
        return warn("SetThreadExecutionState");
    held[0] = 1;
    return std::string();
}

void PowerInhibitor::release()
{
    if (held[0] < 0)
        return;
    SetThreadExecutionState(ES_CONTINUOUS);
    held[0] = -1;
}
