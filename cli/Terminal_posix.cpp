#include "Terminal.h"

#include <unistd.h>

bool isTerminal(std::FILE *stream)
{
    return isatty(fileno(stream)) == 1;
}

bool prepareTerminal(std::FILE *stream)
{
    return isTerminal(stream);
}
