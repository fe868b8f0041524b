#include "workers/HandOver.h"

std::mutex &handOverLock()
{
    static std::mutex lock;
    return lock;
}
