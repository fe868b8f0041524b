#ifndef CHECKFINDINGS_H
#define CHECKFINDINGS_H

#include "FlashOutput.h"

#include "workers/CheckDecisions.h"
#include "workers/DeviceStatus.h"

// How the check command ends on what the check found, so that a production
// line never takes an instrument that needs work for a finished one.
Outcome checkOutcome(DeviceState state, UpdateOffer offer);

// The instrument the check found, for scripts.
InstrumentEvent instrumentEvent(const DeviceStatus &status);

#endif
