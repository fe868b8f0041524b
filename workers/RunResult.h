#ifndef RUNRESULT_H
#define RUNRESULT_H

// How a run ended, as the last line of its record says it.
enum class RunResult { Success, Failure, Stopped };

#endif
