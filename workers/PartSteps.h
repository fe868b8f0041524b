#ifndef PARTSTEPS_H
#define PARTSTEPS_H

#include "workers/DeviceStatus.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <vector>

class LibraryProgress;

// What the calls of one run share.
struct PartSession
{
    const DeviceStatus &status;
    LibraryProgress &progress;
    int handle = -1;
};

// One firmware part as a sequence erases and writes it. The calls return
// the library's status.
struct PartStep
{
    // As the log names it: "boot Fx3", "run Fx3", "FX3", "FPGA".
    const char *name;
    // As its announce line names it: "Updating <subject>, estimated <time>."
    const char *subject;
    // The time its announce line gives.
    int expectedSeconds;
    // Compared with the shipped version where a sequence skips current parts.
    std::int32_t FirmwareTarget::*version;
    QByteArray (*image)(const FirmwareTarget &firmware);
    int (*clear)(PartSession &session);
    int (*write)(PartSession &session, const char *image);
    const char *clearFailed;
    const char *writeFailed;
};

// One workflow over one link: how it reaches the instrument, its parts in
// the order they are written, and its last call.
struct PartSequence
{
    // The link, as scripts name it: "usb" or "net".
    const char *link;
    // Null once the instrument is open, else the line that says why not.
    const char *(*open)(PartSession &session);
    // A failure to reach the instrument is followed by a pause.
    bool pausesAfterOpenFailure;
    // A part whose version on the instrument equals the shipped one is skipped.
    bool skipsCurrentParts;
    std::vector<PartStep> parts;
    // Its status is not examined: whatever it says, the parts are written by then.
    void (*finish)(PartSession &session);
    // Also made when a part failed, not only after the last part was written.
    bool finishesAfterFailure;
};

// What a run left a part as.
enum class PartOutcome {
    NotTouched, // never reached
    Skipped, // current, so not written
    Erased, // a clear was asked for, and no write of it succeeded
    Written,
};

// The tables of the update and of the restore, by model.
const PartSequence &updateSequence(DeviceType type);
const PartSequence &restoreSequence(DeviceType type);

// Which parts of the sequence a run writes on the instrument, in its order,
// and their images.
std::vector<bool> partsToWrite(const PartSequence &sequence, const DeviceStatus &status);
QVector<QByteArray> imagesToWrite(const PartSequence &sequence, const DeviceStatus &status);

// The USB FPGA calls, the same in the update and the restore: the library
// counts each from 0 to 100 in the session's progress.
int clearUsbFpga(PartSession &session);
int writeUsbFpga(PartSession &session, const char *image);

// "10 seconds", "6 minutes".
QString durationText(int seconds);
QString announceLine(const PartStep &part);
// How long the part usually takes at most: the longest estimate the update
// or the restore of that model gives it.
int usualSeconds(DeviceType type, const PartStep &part);
QString skipLine(const PartStep &part);

// How scripts name an outcome: "written", "erased", "untouched", "skipped".
QString partOutcomeName(PartOutcome outcome);

// What a failed run left on the instrument, part by part, for the log.
QStringList stateAfterFailure(const PartSequence &sequence, const std::vector<PartOutcome> &outcomes);

#endif
