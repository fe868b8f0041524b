#include "record/StandardStreams.h"

#include <cstdio>

#include <io.h>

// A program without a console starts with the C runtime's three descriptors
// unassigned; the next files opened through it would take their numbers.
void keepStandardStreamsOpen()
{
    struct Stream
    {
        std::FILE *file;
        const char *mode;
    };
    const Stream streams[] = { { stdin, "r" }, { stdout, "w" }, { stderr, "w" } };
    for (const Stream &stream : streams) {
        const int descriptor = _fileno(stream.file);
        if (descriptor < 0 || _get_osfhandle(descriptor) < 0)
            std::freopen("NUL", stream.mode, stream.file);
    }
}
