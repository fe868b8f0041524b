#include "FlashOptions.h"

#include "catalogue/OutsideText.h"

#include <QCommandLineParser>
#include <QFile>

namespace {

const QString yesOption = QStringLiteral("yes");
const QString modelOption = QStringLiteral("model");
const QString firmwareOption = QStringLiteral("firmware");
const QString allowUnsignedOption = QStringLiteral("allow-unsigned");
const QString ignorePowerOption = QStringLiteral("ignore-power");
const QString noRecordOption = QStringLiteral("no-record");
const QString jsonOption = QStringLiteral("json");
const QString quietOption = QStringLiteral("quiet");
const QString verifyOption = QStringLiteral("verify");
const QString historyCommand = QStringLiteral("history");
const QString helpOption = QStringLiteral("help");
const QString versionOption = QStringLiteral("version");

std::optional<Workflow> commandNamed(const QString &name)
{
    for (Workflow command : { Workflow::Check, Workflow::Update, Workflow::Restore }) {
        if (name == commandName(command))
            return command;
    }
    return std::nullopt;
}

std::optional<DeviceType> modelNamed(const QString &name)
{
    for (DeviceType type : knownModels()) {
        if (name.compare(deviceTypeName(type), Qt::CaseInsensitive) == 0)
            return type;
    }
    return std::nullopt;
}

// Text parsed as Latin-1, as the system's encoding reads it, fit to be shown.
QString shown(const QString &latin1)
{
    return outsideText(QFile::decodeName(latin1.toLatin1()));
}

// The long name of the first option given twice, under any of its names;
// the last of two values must not win silently.
QString repeatedOption(const QList<QCommandLineOption> &known, const QStringList &given)
{
    QStringList seen;
    for (const QString &name : given) {
        for (const QCommandLineOption &option : known) {
            if (!option.names().contains(name))
                continue;
            QString longName = option.names().last();
            if (seen.contains(longName))
                return longName;
            seen << longName;
        }
    }
    return QString();
}

// The options, each with its names, value and the description that --help
// prints and the manual page gives (tst_flash holds the two together).
QList<QCommandLineOption> declaredOptions()
{
    return {
        { { QStringLiteral("y"), yesOption },
          QStringLiteral("Agree to install older firmware than the instrument holds (update).") },
        { { QStringLiteral("m"), modelOption },
          QStringLiteral("%1: the model of an instrument that answers nothing (restore).")
              .arg(modelNamesText(QStringLiteral(" or "))),
          QStringLiteral("MODEL") },
        { { QStringLiteral("f"), firmwareOption },
          QStringLiteral("Open the images in DIR, checked against DIR/SHA256SUMS and its signature "
                         "DIR/SHA256SUMS.minisig, instead of ./firmware of the current folder (or, where there is "
                         "none, the one beside the program, else the images installed with it)."),
          QStringLiteral("DIR") },
        { allowUnsignedOption,
          QStringLiteral("Take a folder whose SHA256SUMS no trusted key signed, but only where each image the "
                         "run needs has the size and SHA-256 shipped with the program.") },
        { ignorePowerOption, QStringLiteral("Write even when the PC runs on a battery below 25 %.") },
        { noRecordOption,
          QStringLiteral("Write even when no record of the run can be written (its folder read-only or full); "
                         "without it such a run erases nothing and ends with exit status 7.") },
        { verifyOption,
          QStringLiteral("Check every record against its own SHA-256 and the record after it, and name each "
                         "record edited, removed or inserted (history).") },
        { jsonOption,
          QStringLiteral("Write one JSON object per line on standard output for each event instead of the text.") },
        { { QStringLiteral("q"), quietOption },
          QStringLiteral("No log lines and no progress; problems still go to standard error.") },
        { { QStringLiteral("h"), helpOption },
          QStringLiteral("Print a summary of the commands, options and exit statuses.") },
        { { QStringLiteral("V"), versionOption },
          QStringLiteral("Print the program's version, the library's version, the shipped firmware, the image "
                         "folder (the one --firmware names, if given), the key that signed its images and the "
                         "trusted comment it signed them with.") },
    };
}

void declareOptions(QCommandLineParser &parser)
{
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.setApplicationDescription(
        QStringLiteral("Checks, updates or restores the firmware of the one KD740 instrument connected,\n"
                       "as the KD740 Firmware Updater window does, without asking anything."));
    parser.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("check, update, restore or history"));
    parser.addOptions(declaredOptions());
}

ParsedArguments usageError(const QString &problem)
{
    ParsedArguments parsed;
    parsed.problem = problem;
    return parsed;
}

} // namespace

QString commandName(Workflow command)
{
    switch (command) {
    case Workflow::Check: return QStringLiteral("check");
    case Workflow::Update: return QStringLiteral("update");
    case Workflow::Restore: return QStringLiteral("restore");
    }
    return QString();
}

// The arguments are parsed as Latin-1, which maps every byte to one character
// and back, so that a folder name reaches the library byte for byte; only
// what is shown is decoded as the system encodes names.
ParsedArguments parseArguments(const QList<QByteArray> &arguments)
{
    QStringList latin1;
    for (const QByteArray &argument : arguments)
        latin1 << QString::fromLatin1(argument);
    const QList<QCommandLineOption> known = declaredOptions();
    QCommandLineParser parser;
    declareOptions(parser);
    if (!parser.parse(latin1))
        return usageError(shown(parser.errorText()));
    if (const QString repeated = repeatedOption(known, parser.optionNames()); !repeated.isEmpty())
        return usageError(QStringLiteral("--%1 given more than once").arg(repeated));

    ParsedArguments parsed;
    if (parser.isSet(helpOption)) {
        parsed.kind = ParsedArguments::Help;
        return parsed;
    }
    FlashOptions &options = parsed.options;
    if (parser.isSet(firmwareOption)) {
        options.firmwareDir = parser.value(firmwareOption).toLatin1();
        if (options.firmwareDir.isEmpty())
            return usageError(QStringLiteral("--firmware needs a folder"));
    }
    options.allowUnsigned = parser.isSet(allowUnsignedOption);
    if (parser.isSet(versionOption)) {
        parsed.kind = ParsedArguments::Version;
        return parsed;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("no command given (check, update, restore or history)"));
    options.history = positional.first() == historyCommand;
    const std::optional<Workflow> command = commandNamed(positional.first());
    if (!command && !options.history)
        return usageError(QStringLiteral("unknown command: ") + shown(positional.first()));
    if (positional.size() > 1) {
        const QString second = shown(positional.at(1));
        if (commandNamed(positional.at(1)) || positional.at(1) == historyCommand)
            return usageError(QStringLiteral("one command at a time; a second command: ") + second);
        return usageError(QStringLiteral("unexpected argument: ") + second);
    }

    options.command = command.value_or(Workflow::Check);
    options.verify = parser.isSet(verifyOption);
    if (options.verify && !options.history)
        return usageError(QStringLiteral("--verify belongs to the history command"));
    if (options.history && (parser.isSet(firmwareOption) || options.allowUnsigned))
        return usageError(QStringLiteral("--%1 belongs to the check, update and restore commands")
                              .arg(parser.isSet(firmwareOption) ? firmwareOption : allowUnsignedOption));
    options.yes = parser.isSet(yesOption);
    if (options.yes && options.command != Workflow::Update)
        return usageError(QStringLiteral("--yes belongs to the update command"));
    if (parser.isSet(modelOption)) {
        if (options.command != Workflow::Restore)
            return usageError(QStringLiteral("--model belongs to the restore command"));
        options.model = modelNamed(parser.value(modelOption));
        if (!options.model)
            return usageError(QStringLiteral("--model takes %1, not: %2")
                                  .arg(modelNamesText(QStringLiteral(" or ")), shown(parser.value(modelOption))));
    }
    options.ignorePower = parser.isSet(ignorePowerOption);
    if (options.ignorePower && options.command == Workflow::Check)
        return usageError(QStringLiteral("--ignore-power belongs to the update and restore commands"));
    options.noRecord = parser.isSet(noRecordOption);
    if (options.noRecord && options.command == Workflow::Check)
        return usageError(QStringLiteral("--no-record belongs to the update and restore commands"));
    options.json = parser.isSet(jsonOption);
    options.quiet = parser.isSet(quietOption);
    parsed.kind = ParsedArguments::Run;
    return parsed;
}

QString helpText()
{
    QCommandLineParser parser;
    declareOptions(parser);
    // Named as installed, whatever path it was started by.
    return QStringLiteral("Usage: kd740-flash [options] COMMAND\n\n") + parser.helpText().section(QLatin1Char('\n'), 1)
        + QStringLiteral("\n"
                         "Commands:\n"
                         "  check              find the instrument and compare its firmware with the\n"
                         "                     shipped images; writes nothing\n"
                         "  update [--yes]     check, then write the parts that differ from the shipped\n"
                         "                     images; older images than the instrument's only with --yes\n"
                         "  restore [--model MODEL]\n"
                         "                     check, then rewrite every part of an instrument in boot\n"
                         "                     mode or with a failed FPGA; one that answers nothing is\n"
                         "                     first bootstrapped as MODEL\n"
                         "  history [--verify]\n"
                         "                     list the runs on record, newest first; with --verify\n"
                         "                     check that no record was edited, removed or inserted\n"
                         "\n"
                         "Each option at most once. The log lines go to standard output, progress to\n"
                         "standard error.\n"
                         "Ctrl+C, SIGTERM, SIGHUP or SIGQUIT during a write ends the program once the\n"
                         "write has ended and its outcome is written; before anything is erased it\n"
                         "stops the run (exit status 128 + the signal's number, 130 for Ctrl+C); at\n"
                         "any other time it ends the program at once.\n"
                         "\n"
                         "Exit status:\n"
                         "   0  done, or nothing to do; check: the instrument holds the shipped firmware\n"
                         "   1  a device step failed\n"
                         "   2  bad usage, e.g. an option given twice or a second command\n"
                         "   3  no instrument found\n"
                         "   4  a decision is needed: a downgrade without --yes, a bootstrap without\n"
                         "      --model, or a command that does not fit the instrument's state\n"
                         "   5  a firmware image is unusable: missing, unreadable, not the one shipped\n"
                         "      (its size and SHA-256), or its SHA256SUMS not signed by a trusted key;\n"
                         "      nothing was erased or written\n"
                         "   6  the PC runs on a battery below 25 % (see --ignore-power)\n"
                         "   7  no record of the run can be written (see --no-record); nothing was\n"
                         "      erased or written\n"
                         "   8  history --verify: a record was edited, removed or inserted\n"
                         "  10  check: an update (or a downgrade) is offered\n"
                         "  11  check: the instrument needs a restore\n"
                         "  12  update, restore: written, but the instrument did not answer within 30 s\n"
                         "      to confirm it; cycle its power and run kd740-flash check\n"
                         " 128+n signal n came before anything was erased (130 for Ctrl+C); nothing\n"
                         "      was erased or written\n");
}
