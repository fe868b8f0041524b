#include "Terminal.h"

#include <io.h>
#include <windows.h>

namespace {

HANDLE handleOf(std::FILE *stream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

} // namespace

bool isTerminal(std::FILE *stream)
{
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) != 0;
}

int terminalColumns(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (GetConsoleScreenBufferInfo(handleOf(stream), &info) == 0)
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

// Consoles before Windows 10 show escapes as text, so colour is left out there.
bool prepareTerminal(std::FILE *stream)
{
    DWORD mode = 0;
    const HANDLE handle = handleOf(stream);
    if (GetConsoleMode(handle, &mode) == 0)
        return false;
    SetConsoleOutputCP(CP_UTF8);
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0
        || SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// Windows has no SIGPIPE: a write to a closed pipe only fails.
void keepWritingWithoutReader()
{
}
