#include "record/SyncToDisk.h"

#include <unistd.h>

bool syncToDisk(int fileDescriptor)
{
    return fsync(fileDescriptor) == 0;
}
