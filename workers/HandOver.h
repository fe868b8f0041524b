#ifndef HANDOVER_H
#define HANDOVER_H

#include <mutex>

// A worker's result crosses to the session as a queued signal's argument.
// Qt's event queue orders the copy made on the worker before the slot that
// reads it, but ThreadSanitizer cannot see inside Qt: the worker emits, and
// the slot reads, under this standard lock, which it sees.
std::mutex &handOverLock();

#endif
