#ifndef REPORTS_H
#define REPORTS_H

#include "catalogue/DeviceStatus.h"
#include "session/CheckDecisions.h"
#include "session/RunEvents.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The lines with which the check and the workflows report, which the window
// and the console program both write.

// The titles the check, the update and the restore start with, each
// between two empty lines.
QString checkTitle();
QString updateTitle();
QString restoreTitle();

// Lines of the check's report, each list in its order.
QStringList bootstrapIntroLines();
QStringList notDetectedLines();
QStringList foundLines(const DeviceStatus &status);

// Warning: something to act on that is not a failure.
enum class LineTone { Normal, Success, Failure, Warning };

// A line that tells the user what to do next, in the window's words; each
// program words it for its own controls.
// CanProceed: says that the workflow may go on, which only holds while
// the images it needs are usable.
// CheckAgain: the instrument's versions are to be checked once its power
// was cycled.
enum class Instruction { None, CanProceed, PressUpdate, PressRestore, CheckAgain, CloseProgram };

struct ReportLine
{
    QString text;
    LineTone tone = LineTone::Normal;
    Instruction instruction = Instruction::None;
};

QVector<ReportLine> needsRestoreLines(const DeviceStatus &status);
// What the check offers; downgradeAccepted only counts for a Downgrade.
QVector<ReportLine> offerLines(UpdateOffer offer, bool downgradeAccepted);

// How an update or a restore ends its log: the outcome, what a failed run
// left on the instrument, what to do about it, and where the run's record
// is, if anywhere.
QVector<ReportLine> outcomeLines(RunEnd::Kind end, const QStringList &stateAfterFailure, const QString &recordLine);

// How the check ends where an image or the image folder is unusable: the
// problem, that nothing was touched, and what to do. A check, not a failed
// write: nothing was attempted.
QVector<ReportLine> imageRefusalLines(const QString &problem);

// The record's line of an answer to one of the run's questions, and what
// gave it where that was not the user.
QString answerLine(const QString &answer, const QString &by);

// What the user can do after a run that ended so without success.
QString failureAdvice(RunEnd::Kind end);

// What a running instrument reports of its firmware, naming only what was
// read: "firmware 4.5.12", "FX3 version 5, and its FPGA loaded".
QString reportedFirmware(const DeviceStatus &after);
// Said before the success block once the instrument reported every part
// written at the shipped version.
QString confirmedLine(const DeviceStatus &before, const DeviceStatus &after);
// In place of the success block: the write ended well, but the instrument
// did not answer afterwards to confirm it.
QVector<ReportLine> notConfirmedLines(const DeviceStatus &status, const QString &recordLine);

#endif
