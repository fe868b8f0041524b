#ifndef PAUSE_H
#define PAUSE_H

// How long a sequence pauses after a skip line, and after a failure to reach
// the instrument, before it goes on or ends.
constexpr unsigned long stepPauseMs = 32;

#endif
