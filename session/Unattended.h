#ifndef UNATTENDED_H
#define UNATTENDED_H

#include "session/RunEvents.h"

#include <QString>
#include <QVector>

// One part's version on the instrument (-1: not known, as in boot mode) and
// in the shipped images.
struct PartVersions
{
    QString part;
    int found = -1;
    int shipped = 0;
};

// The instrument a check found, and what it offers: "update" (an older or
// a newer version), "restore" or "none".
struct InstrumentFindings
{
    QString model;
    int serial = 0;
    QString link;
    QVector<PartVersions> parts;
    QString offer;
};

// The parts are the update's, over the link the model is reached by.
InstrumentFindings instrumentFindings(const DeviceStatus &status);

// The workflow a run without a user was asked for.
enum class Workflow { Check, Update, Restore };

// What such a run does once its check has ended: go on with a write, or
// end, and why, so that a production line never takes an instrument that
// needs work for a finished one.
enum class AfterCheck {
    Update,
    Restore,
    Current,
    UpdateOffered,
    DowngradeOffered,
    RestoreNeeded,
    NotFound,
    NoModelNamed,
    LowBattery,
    ImageUnusable,
    DowngradeDeclined,
    RestoreNotUpdate,
    UpdateNotRestore,
};

AfterCheck afterCheck(Workflow asked, const CheckResult &result);

#endif
