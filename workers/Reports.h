#ifndef REPORTS_H
#define REPORTS_H

#include "workers/DeviceStatus.h"

#include <QString>
#include <QStringList>
#include <QVector>

// What the check's findings call for, and the lines with which the check and
// the workflows report; the window and the console program both write these.

// The titles the check, the update and the restore start with, each
// between two empty lines.
QString checkTitle();
QString updateTitle();
QString restoreTitle();

// How the shipped firmware compares with what an operational instrument
// holds, part by part as signed integers.
enum class Verdict {
    Current,
    // Shipped newer in some part, older in none.
    UpdateNeeded,
    // Shipped older in some part, whatever the others: the user must agree.
    Downgrade,
};
Verdict compareWithShipped(const DeviceStatus &status);

// Lines of the check's report, each list in its order.
QStringList bootstrapIntroLines();
QStringList notDetectedLines();
QStringList needsRestoreLines(const DeviceStatus &status);
QStringList foundLines(const DeviceStatus &status);
// downgradeAccepted only counts for a Downgrade.
QStringList verdictLines(Verdict verdict, bool downgradeAccepted);

// The bootstrap of an instrument that answered nothing: the model the user
// named decides the target firmware and, through it, the boot image.
void chooseBootstrapModel(DeviceStatus &status, DeviceType model);
// The log line for a boot image the library could not use, or empty.
QString bootstrapImageProblem(const DeviceStatus &status);

enum class LineTone { Normal, Success, Failure };

struct ReportLine
{
    QString text;
    LineTone tone = LineTone::Normal;
};

// How an update or a restore ends its log.
QVector<ReportLine> outcomeLines(bool succeeded);

#endif
