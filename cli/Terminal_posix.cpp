#include "Terminal.h"

#include <csignal>

#include <sys/ioctl.h>
#include <unistd.h>

bool isTerminal(std::FILE *stream)
{
    return isatty(fileno(stream)) == 1;
}

bool prepareTerminal(std::FILE *stream)
{
    return isTerminal(stream);
}

int terminalColumns(std::FILE *stream)
{
    winsize size = {};
    return ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void keepWritingWithoutReader()
{
    std::signal(SIGPIPE, SIG_IGN);
}
