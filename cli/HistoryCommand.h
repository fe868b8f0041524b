#ifndef HISTORYCOMMAND_H
#define HISTORYCOMMAND_H

#include "FlashOptions.h"

// kd740-flash history: the runs on record in folder, newest first, or with
// --verify what breaks their chain. Returns the exit status.
int runHistory(const FlashOptions &options, const QString &folder);

#endif
