#include "FlashRun.h"

#include "record/RunRecord.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

Outcome finished(int exitCode, const char *result, const QString &message = QString())
{
    return { exitCode, QString::fromLatin1(result), message, {} };
}

// The window's instructions name its buttons; here they name the commands,
// and there is no window to close.
std::optional<QString> consoleText(const ReportLine &line)
{
    switch (line.instruction) {
    case Instruction::PressUpdate: return QStringLiteral("Run kd740-flash update to continue.");
    case Instruction::PressRestore: return QStringLiteral("Run kd740-flash restore to continue.");
    case Instruction::CloseProgram: return std::nullopt;
    case Instruction::None:
    case Instruction::CanProceed: break;
    }
    return line.text;
}

SessionSettings sessionSettings(const ImageSource &images)
{
    SessionSettings settings;
    settings.images = images;
    settings.words = consoleText;
    return settings;
}

const QString downgradeMessage = QStringLiteral("The KD740 holds newer firmware than the shipped images; "
                                                "kd740-flash update --yes installs the older firmware.");

// Each end as an exit status, a word for scripts and, where the program
// stopped for a reason of its own, what the user can do about it.
Outcome outcomeOf(const RunEnd &end)
{
    using Kind = RunEnd::Kind;
    switch (end.kind) {
    case Kind::Success: return finished(ExitDone, "done");
    case Kind::NotConfirmed:
        return finished(ExitNotConfirmed, "not-confirmed",
                        QStringLiteral("The firmware was written, but the KD740 did not answer afterwards: cycle its "
                                       "power and run kd740-flash check."));
    case Kind::Failed: return finished(ExitStepFailed, "failed");
    case Kind::Stopped: return finished(128 + end.endSignal, "stopped");
    case Kind::Current: return finished(ExitDone, "current");
    case Kind::UpdateNeeded: return finished(ExitUpdateOffered, "update-needed");
    case Kind::DowngradeOffered: return finished(ExitUpdateOffered, "downgrade", downgradeMessage);
    case Kind::RestoreNeeded: return finished(ExitRestoreNeeded, "restore-needed");
    case Kind::NotFound: return finished(ExitNoInstrument, "not-found");
    case Kind::ImageUnusable: return finished(ExitImageUnusable, "image-unusable");
    case Kind::LowBattery:
        return finished(ExitLowBattery, "low-battery",
                        QStringLiteral("Connect the PC to mains power and run the command again; "
                                       "--ignore-power writes on a low battery too."));
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
    return finished(ExitStepFailed, "failed");
}

} // namespace

// No window is named to the system.
FlashRun::FlashRun(const FlashOptions &options, const ImageSource &images, FlashOutput &output)
    : options(options)
    , output(output)
    , session(*this, sessionSettings(images))
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
        if (result.state != NotDetected)
            this->output.instrument(instrumentFindings(session.deviceStatus()));
    });
    connect(&session, &RunSession::ended, this, &FlashRun::ended);
}

int FlashRun::exec()
{
    session.start({ options.command, false });
    loop.exec();
    session.finishRecord();
    // What is still queued (the record's failure line, a warning) comes before the outcome.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    output.outcome(outcome);
    return outcome.exitCode;
}

// The window asks for the model here; the program takes it from --model.
void FlashRun::askModel()
{
    session.bootstrapAs(options.model);
}

// The window asks before a downgrade; the program goes ahead only with --yes.
void FlashRun::askDowngrade()
{
    session.answerDowngrade(options.yes ? RunSession::Downgrade::Install : RunSession::Downgrade::Decline);
}

// The window asks before a write on a low battery; the program goes on only with --ignore-power.
void FlashRun::askLowBattery(int)
{
    session.answerLowBattery(options.ignorePower);
}

// A plan without a user offers nothing.
void FlashRun::offerWrite(Workflow)
{
}

void FlashRun::ended(const RunEnd &end)
{
    outcome = outcomeOf(end);
    for (std::size_t index = 0; index < end.outcomes.size() && index < std::size_t(end.parts.size()); ++index)
        outcome.parts.append({ end.parts.at(int(index)), partOutcomeName(end.outcomes[index]),
                               end.shipped.size() > index ? end.shipped[index] : -1,
                               end.found.size() > index ? end.found[index] : -1,
                               end.readBack.size() > index ? end.readBack[index] : -1 });
    loop.quit();
}
