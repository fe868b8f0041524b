#include "FlashRun.h"

#include "catalogue/OutsideText.h"
#include "power/WriteGuard.h"
#include "record/RunRecord.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>

#include <cstdlib>

namespace {

Outcome finished(int exitCode, const char *result, const QString &message, bool logSaidIt = false)
{
    Outcome outcome;
    outcome.exitCode = exitCode;
    outcome.result = QString::fromLatin1(result);
    outcome.message = message;
    outcome.logSaidIt = logSaidIt;
    return outcome;
}

// The window's instructions name its buttons; here they name the commands,
// and there is no window to close. The command that runs is not told to be
// run again.
std::optional<QString> consoleText(const ReportLine &line, Workflow running)
{
    switch (line.instruction) {
    case Instruction::PressUpdate:
        if (running == Workflow::Update)
            return std::nullopt;
        return QStringLiteral("Run kd740-flash update to continue.");
    case Instruction::PressRestore:
        if (running == Workflow::Restore)
            return std::nullopt;
        return QStringLiteral("Run kd740-flash restore to continue.");
    case Instruction::CheckAgain: return QStringLiteral("Cycle its power, then run kd740-flash check.");
    case Instruction::CloseProgram: return std::nullopt;
    case Instruction::None:
    case Instruction::CanProceed: break;
    }
    return line.text;
}

SessionSettings sessionSettings(const ImageSource &images, Workflow running)
{
    SessionSettings settings;
    settings.images = images;
    settings.words = [running](const ReportLine &line) { return consoleText(line, running); };
    return settings;
}

const QString downgradeMessage = QStringLiteral("The KD740 holds newer firmware than the shipped images; "
                                                "kd740-flash update --yes installs the older firmware.");

QString failedMessage(const RunEnd &end)
{
    QString message = QStringLiteral("The write failed");
    if (!end.failedCall.isEmpty())
        message += QStringLiteral(" at ") + end.failedCall;
    if (!end.failedPart.isEmpty())
        message += QStringLiteral(", writing the ") + end.failedPart;
    return message + QStringLiteral(". ") + failureAdvice(end.kind);
}

QString stoppedMessage(const RunEnd &end)
{
    const QString when = end.wrote == Workflow::Check ? QStringLiteral("during the check")
                                                      : QStringLiteral("before anything was erased");
    const QString by = end.endSignal > 0 ? QStringLiteral("Stopped by signal %1 ").arg(end.endSignal)
                                         : QStringLiteral("Stopped ");
    return by + when + QStringLiteral(". ") + failureAdvice(end.kind);
}

Outcome wordedOutcome(const RunEnd &end)
{
    using Kind = RunEnd::Kind;
    switch (end.kind) {
    case Kind::Success:
        return finished(ExitDone, "done", QStringLiteral("The KD740 holds the shipped firmware now."), true);
    case Kind::NotConfirmed:
        return finished(ExitNotConfirmed, "not-confirmed",
                        QStringLiteral("The firmware was written, but the KD740 did not answer afterwards: cycle its "
                                       "power and run kd740-flash check."),
                        true);
    case Kind::Failed: return finished(ExitStepFailed, "failed", failedMessage(end), true);
    case Kind::Stopped:
        return finished(128 + end.endSignal, "stopped", stoppedMessage(end), end.wrote != Workflow::Check);
    case Kind::Current:
        return finished(ExitDone, "current", QStringLiteral("The KD740 holds the shipped firmware."), true);
    case Kind::UpdateNeeded:
        return finished(ExitUpdateOffered, "update-needed",
                        QStringLiteral("The KD740 holds older firmware than shipped: kd740-flash update installs it."),
                        true);
    case Kind::DowngradeOffered: return finished(ExitUpdateOffered, "downgrade", downgradeMessage);
    case Kind::RestoreNeeded:
        return finished(ExitRestoreNeeded, "restore-needed",
                        QStringLiteral("The KD740 needs a restore: kd740-flash restore."), true);
    case Kind::NotFound: return finished(ExitNoInstrument, "not-found", QStringLiteral("No KD740 was found."), true);
    case Kind::ImageUnusable:
        return finished(ExitImageUnusable, "image-unusable", end.problem + QLatin1Char(' ') + failureAdvice(end.kind),
                        true);
    case Kind::LowBattery:
        return finished(ExitLowBattery, "low-battery",
                        QStringLiteral("Connect the PC to mains power and run the command again; "
                                       "--ignore-power writes on a low battery too."));
    case Kind::NoRecord:
        return finished(ExitNoRecord, "no-record",
                        QStringLiteral("No record of this run can be written: %1. Nothing was erased or written; "
                                       "--no-record writes without a record.")
                            .arg(end.problem));
    case Kind::DowngradeDeclined: return finished(ExitDecisionNeeded, "decision-needed", downgradeMessage);
    case Kind::NoModelNamed:
        return finished(ExitDecisionNeeded, "decision-needed",
                        QStringLiteral("No KD740 answered. One that cannot start is bootstrapped only when its "
                                       "model is named: kd740-flash restore --model %1.")
                            .arg(modelNamesText(QStringLiteral(" or "))));
    case Kind::RestoreNotUpdate:
        return finished(ExitDecisionNeeded, "decision-needed",
                        QStringLiteral("The KD740 starts only in its boot mode: it needs a restore "
                                       "(kd740-flash restore), not an update."));
    case Kind::UpdateNotRestore:
        return finished(ExitDecisionNeeded, "decision-needed",
                        QStringLiteral("The KD740 starts normally: it needs an update (kd740-flash "
                                       "update), not a restore."));
    }
    return finished(ExitStepFailed, "failed", failedMessage(end), true);
}

// The one thing --allow-unsigned allows.
QString unsignedWarning(const QString &folder)
{
    return QStringLiteral("the images in %1 are not signed; --allow-unsigned takes them only where each has the "
                          "size and SHA-256 this program shipped it with")
        .arg(folder);
}

} // namespace

// Each end as an exit status, a word for scripts and what it means for the
// user, with what the engine knows of it.
Outcome outcomeOf(const RunEnd &end)
{
    Outcome outcome = wordedOutcome(end);
    outcome.failedPart = end.failedPart;
    outcome.failedCall = end.failedCall;
    outcome.batteryPercent = end.batteryPercent;
    outcome.recordPath = end.recordPath;
    outcome.recordDigest = end.recordDigest;
    for (std::size_t index = 0; index < end.outcomes.size() && index < std::size_t(end.parts.size()); ++index)
        outcome.parts.append(
            { end.parts.at(int(index)), partOutcomeName(end.outcomes[index]),
              end.shipped.size() > index ? end.shipped[index] : -1, end.found.size() > index ? end.found[index] : -1,
              end.readBack.size() > index ? end.readBack[index] : -1, end.readBackLoad.value(int(index)) });
    outcome.reported = end.reported;
    outcome.disagreements = end.disagreements;
    return outcome;
}

// No window is named to the system.
FlashRun::FlashRun(const FlashOptions &options, const ImageSource &images, FlashOutput &output)
    : options(options)
    , imageFolder(QFile::decodeName(images.folder()))
    , output(output)
    , session(*this, sessionSettings(images, options.command))
{
    connect(&session, &RunSession::notice, this, [this](const QString &text) { this->output.notice(text); });
    connect(&session, &RunSession::line, this,
            [this](const QString &text, LineTone tone) { this->output.line(text, tone); });
    connect(&session, &RunSession::step, this, [this](const StepEvent &event) { this->output.step(event); });
    connect(&session, &RunSession::progress, this,
            [this](const ProgressEvent &event) { this->output.progress(event); });
    connect(&session, &RunSession::call, this, [this](const CallEvent &event) { this->output.call(event); });
    connect(&session, &RunSession::recordStarted, this, [this](const QString &path) { this->output.record(path); });
    connect(&session, &RunSession::checkEnded, this, [this](const CheckResult &result) {
        // The session guards its own write; a signal that came meanwhile stops here.
        if (checkGuard)
            checkGuard->finish();
        checkGuard.reset();
        // From the run's own read of the list.
        if (result.images.problem.isEmpty() && result.images.signer.isEmpty())
            this->output.notice(unsignedWarning(outsideText(imageFolder)));
        if (result.state != NotDetected)
            this->output.instrument(instrumentFindings(session.deviceStatus(), result));
    });
    connect(&session, &RunSession::ended, this, &FlashRun::ended);
}

FlashRun::~FlashRun() = default;

int FlashRun::exec()
{
    checkGuard = std::make_unique<WriteGuard>();
    connect(checkGuard.get(), &WriteGuard::stopped, this, [this] { stopDuringCheck(checkGuard->endSignal()); });
    session.start({ options.command, false });
    loop.exec();
    const bool recordComplete = session.finishRecord();
    // What is still queued (the record's failure line, a warning) comes before the outcome.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    outcome.recordComplete = recordComplete;
    output.outcome(outcome);
    return outcome.exitCode;
}

// The window asks for the model here; the program takes it from --model.
void FlashRun::askModel()
{
    session.bootstrapAs(options.model, options.model ? QStringLiteral("--model") : QStringLiteral("no --model"));
}

// The window asks before a downgrade; the program goes ahead only with --yes.
void FlashRun::askDowngrade()
{
    session.answerDowngrade(options.yes ? RunSession::Downgrade::Install : RunSession::Downgrade::Decline,
                            options.yes ? QStringLiteral("--yes") : QStringLiteral("no --yes"));
}

// The window asks before a write on a low battery; the program goes on only with --ignore-power.
void FlashRun::askLowBattery(int)
{
    session.answerLowBattery(options.ignorePower,
                             options.ignorePower ? QStringLiteral("--ignore-power")
                                                 : QStringLiteral("no --ignore-power"));
}

// The window asks before a write without a record; the program writes one only with --no-record.
void FlashRun::askWithoutRecord(Workflow, const QString &)
{
    session.answerWithoutRecord(options.noRecord,
                                options.noRecord ? QStringLiteral("--no-record") : QStringLiteral("no --no-record"));
}

// A plan without a user offers nothing.
void FlashRun::offerWrite(Workflow)
{
}

void FlashRun::ended(const RunEnd &end)
{
    checkGuard.reset();
    outcome = outcomeOf(end);
    loop.quit();
}

// The check's worker may be inside a library call that the program does not
// wait for: nothing has been erased or written. The record so far is kept.
void FlashRun::stopDuringCheck(int signal)
{
    const QString where = session.keepStoppedCheck();
    if (!where.isEmpty())
        output.line(where, LineTone::Normal);
    session.dropImageCopies();
    RunEnd end;
    end.kind = RunEnd::Kind::Stopped;
    end.endSignal = signal;
    Outcome stopped = outcomeOf(end);
    stopped.recordPath = session.recordPath();
    stopped.recordDigest = session.recordDigest();
    output.outcome(stopped);
    std::_Exit(stopped.exitCode);
}
