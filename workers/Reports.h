#ifndef REPORTS_H
#define REPORTS_H

#include "workers/CheckDecisions.h"
#include "workers/DeviceStatus.h"

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
QStringList needsRestoreLines(const DeviceStatus &status);
QStringList foundLines(const DeviceStatus &status);
// What the check offers; downgradeAccepted only counts for a Downgrade.
QStringList offerLines(UpdateOffer offer, bool downgradeAccepted);

enum class LineTone { Normal, Success, Failure };

struct ReportLine
{
    QString text;
    LineTone tone = LineTone::Normal;
};

// How an update or a restore ends its log: the outcome, what a failed run
// left on the instrument, and where the run's record is, if anywhere.
QVector<ReportLine> outcomeLines(bool succeeded, const QStringList &stateAfterFailure, const QString &recordLine);

#endif
