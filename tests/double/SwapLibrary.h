#ifndef SWAPLIBRARY_H
#define SWAPLIBRARY_H

#include <QProcessEnvironment>
#include <QString>

// The ways a user puts another build of kd_api in place of the installed one.
enum class Swap {
    SearchPath, // found first where the loader looks
    Preload, // loaded ahead of everything the program needs
};

// Why this platform has no such way; empty when it has.
QString missingSwap(Swap swap);

// The updater to start, with `environment` completed, so that it runs with
// the test double as kd_api.
QString updaterWithDouble(Swap swap, QProcessEnvironment *environment);

// Completes `environment` so that the updater, once its window is up, presses
// Check Versions and then Update, prints what the window showed and closes
// it (tests/double/kd740_drive*.cpp), with the real kd_api answering.
void addWindowDriver(QProcessEnvironment *environment);

#endif
