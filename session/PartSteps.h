#ifndef PARTSTEPS_H
#define PARTSTEPS_H

#include "workers/PartStep.h"

// The tables of the update and of the restore, by the model's link.
const PartSequence &updateSequence(DeviceType type);
const PartSequence &restoreSequence(DeviceType type);
// Every table, for what must fit any of them.
std::vector<const PartSequence *> allSequences();

// How long the part usually takes at most: the longest estimate the update
// or the restore of that model gives it.
int usualSeconds(DeviceType type, const PartStep &part);

#endif
