#ifndef PARTSTEP_H
#define PARTSTEP_H

#include "catalogue/DeviceStatus.h"
#include "device/Link.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <vector>

// What a sequence of part steps is made of, and what a worker needs to run
// one: the sequences themselves are the session's script.

// What a part's write gives as the serial, where its call takes one.
enum class PartSerial {
    Instrument, // the instrument's own
    None, // -1, or the call takes none
};

// One firmware part as a sequence erases and writes it: data only, the
// calls are its link's.
struct PartStep
{
    FirmwarePart part;
    // As the log names it: "boot Fx3", "run Fx3", "FX3", "FPGA".
    const char *name;
    // As its announce line names it: "Updating <subject>, estimated <time>."
    const char *subject;
    // The time its announce line gives.
    int expectedSeconds;
    PartSerial serial;
    const char *clearFailed;
    const char *writeFailed;
};

// How the update and the restore differ in what they do around the parts.
enum class AfterOpenFailure { End, PauseThenEnd };
enum class PartsWritten { Differing, All };
enum class FinishAfterFailure { WhereItOnlyReleases, Never };

struct WorkflowRules
{
    OpenMode open;
    // The line for an instrument that did not open, and for one the device list did not give.
    const char *openFailed;
    const char *notListed;
    AfterOpenFailure afterOpenFailure;
    // Differing: a part whose version on the instrument equals the shipped one is skipped.
    PartsWritten partsWritten;
    // The link's last call after a part failed.
    FinishAfterFailure finishAfterFailure;
};

// One workflow over one link: its rules and its parts in the order they
// are written.
struct PartSequence
{
    LinkKind link;
    const WorkflowRules &rules;
    std::vector<PartStep> parts;
};

// What a run left a part as.
enum class PartOutcome {
    NotTouched, // never reached
    Skipped, // current, so not written
    Erased, // a clear was asked for, and no write of it succeeded
    Written,
};

// The part's version in firmware, and the path of its image among images.
std::int32_t partVersion(const FirmwareTarget &firmware, FirmwarePart part);
// Whether the instrument's version of the part was read, not derived.
bool versionRead(const DeviceStatus &status, FirmwarePart part);
QByteArray partImagePath(const ImageSource &images, const FirmwareTarget &firmware, FirmwarePart part);

// Which parts of the sequence a run writes on the instrument, in its order,
// and their images.
std::vector<bool> partsToWrite(const PartSequence &sequence, const DeviceStatus &status);
QVector<QByteArray> imagesToWrite(const ImageSource &images, const PartSequence &sequence, const DeviceStatus &status);

// "10 seconds", "6 minutes".
QString durationText(int seconds);
QString announceLine(const PartStep &part);
QString skipLine(const PartStep &part);

// How scripts name an outcome: "written", "erased", "untouched", "skipped".
QString partOutcomeName(PartOutcome outcome);

// Why a write that carries the instrument's serial did not begin.
QString noSerialLine();

// A state line's warning that the instrument needs a restore.
QString mayNotWorkLine();

// What a failed run left on the instrument, part by part, for the log.
QStringList stateAfterFailure(const PartSequence &sequence, const std::vector<PartOutcome> &outcomes);

#endif
