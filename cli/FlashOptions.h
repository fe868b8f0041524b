#ifndef FLASHOPTIONS_H
#define FLASHOPTIONS_H

#include "catalogue/Catalogue.h"
#include "session/RunPlan.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What one run of the console program is asked to do.
struct FlashOptions
{
    Workflow command = Workflow::Check;
    // The history command instead: the runs on record, or with verify
    // whether their records hold.
    bool history = false;
    bool verify = false;
    // Install older firmware than the instrument holds.
    bool yes = false;
    // The model of an instrument that answers nothing, for its bootstrap.
    std::optional<DeviceType> model;
    // Write on a battery below the limit too.
    bool ignorePower = false;
    // Empty: ./firmware where chooseWorkingFolder() finds it. As the
    // system names it: the bytes need not be text in the locale's encoding.
    QByteArray firmwareDir;
    // Take images whose SHA256SUMS no trusted key signed.
    bool allowUnsigned = false;
    // Write even where no record of the run can be written.
    bool noRecord = false;
    bool json = false;
    bool quiet = false;
};

struct ParsedArguments
{
    enum Kind { Run, Help, Version, UsageError };
    Kind kind = UsageError;
    FlashOptions options;
    // What is wrong, for UsageError.
    QString problem;
};

// arguments as main() is given them, program first.
ParsedArguments parseArguments(const QList<QByteArray> &arguments);

QString commandName(Workflow command);
QString helpText();

#endif
