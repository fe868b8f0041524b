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
    case Instruction::None: break;
    }
    return line.text;
}

SessionSettings sessionSettings(const FlashOptions &options, const ImageSource &images)
{
    SessionSettings settings;
    settings.recordsFolder = recordsFolder();
    settings.images = images;
    settings.offersBootstrap = options.command == Workflow::Restore;
    settings.checksImages = options.command == Workflow::Check;
    settings.words = consoleText;
    return settings;
}

Outcome decisionNeeded(const QString &message)
{
    return finished(ExitDecisionNeeded, "decision-needed", message);
}

Outcome lowBattery()
{
    return finished(ExitLowBattery, "low-battery",
                    QStringLiteral("Connect the PC to mains power and run the command again; "
                                   "--ignore-power writes on a low battery too."));
}

const QString downgradeMessage = QStringLiteral("The KD740 holds newer firmware than the shipped images; "
                                                "kd740-flash update --yes installs the older firmware.");

} // namespace

// A bootstrap is offered only to a restore, and no window is named to the system.
FlashRun::FlashRun(const FlashOptions &options, const ImageSource &images, FlashOutput &output)
    : options(options)
    , output(output)
    , session(*this, sessionSettings(options, images))
{
    connect(&session, &RunSession::notice, this, [this](const QString &text) { this->output.notice(text); });
    connect(&session, &RunSession::line, this,
            [this](const QString &text, LineTone tone) { this->output.line(text, tone); });
    connect(&session, &RunSession::step, this, [this](const StepEvent &event) { this->output.step(event); });
    connect(&session, &RunSession::progress, this,
            [this](const ProgressEvent &event) { this->output.progress(event); });
    connect(&session, &RunSession::call, this, [this](const CallEvent &event) { this->output.call(event); });
    connect(&session, &RunSession::recordStarted, this, [this](const QString &path) { this->output.record(path); });
    connect(&session, &RunSession::checkEnded, this, &FlashRun::checkEnded);
    connect(&session, &RunSession::writeEnded, this, &FlashRun::writeEnded);
}

int FlashRun::exec()
{
    session.check();
    loop.exec();
    session.finishRecord();
    // What is still queued (the record's failure line, a warning) comes before the outcome.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    output.outcome(outcome);
    return outcome.exitCode;
}

void FlashRun::finish(const Outcome &ended)
{
    outcome = ended;
    loop.quit();
}

// The window asks for the model here; the program takes it from --model.
void FlashRun::askModel()
{
    session.bootstrapAs(options.model);
}

// The window asks before a downgrade; the program goes ahead only with --yes.
void FlashRun::askDowngrade()
{
    if (options.command != Workflow::Update)
        session.answerDowngrade(RunSession::Downgrade::Unasked);
    else
        session.answerDowngrade(options.yes ? RunSession::Downgrade::Install : RunSession::Downgrade::Decline);
}

// The check's outcome, once it has said what it found, for scripts.
// The window asks before a write on a low battery; the program goes on only with --ignore-power.
void FlashRun::askLowBattery(int)
{
    session.answerLowBattery(options.ignorePower);
}

void FlashRun::checkEnded(const CheckResult &result)
{
    if (result.state != NotDetected)
        output.instrument(instrumentFindings(session.deviceStatus()));
    switch (afterCheck(options.command, result)) {
    case AfterCheck::Update: return session.update();
    case AfterCheck::Restore: return session.restore();
    case AfterCheck::Current: return finish(finished(ExitDone, "current"));
    case AfterCheck::UpdateOffered: return finish(finished(ExitUpdateOffered, "update-needed"));
    case AfterCheck::DowngradeOffered: return finish(finished(ExitUpdateOffered, "downgrade", downgradeMessage));
    case AfterCheck::RestoreNeeded: return finish(finished(ExitRestoreNeeded, "restore-needed"));
    case AfterCheck::NotFound: return finish(finished(ExitNoInstrument, "not-found"));
    case AfterCheck::LowBattery: return finish(lowBattery());
    case AfterCheck::ImageUnusable: return finish(finished(ExitImageUnusable, "image-unusable"));
    case AfterCheck::DowngradeDeclined: return finish(decisionNeeded(downgradeMessage));
    case AfterCheck::NoModelNamed:
        return finish(decisionNeeded(QStringLiteral("No KD740 answered. One that cannot start is bootstrapped "
                                                    "only when its model is named: kd740-flash restore --model %1.")
                                         .arg(modelNamesText(QStringLiteral(" or ")))));
    case AfterCheck::RestoreNotUpdate:
        return finish(decisionNeeded(QStringLiteral("The KD740 starts only in its boot mode: it needs a restore "
                                                    "(kd740-flash restore), not an update.")));
    case AfterCheck::UpdateNotRestore:
        return finish(decisionNeeded(QStringLiteral("The KD740 starts normally: it needs an update (kd740-flash "
                                                    "update), not a restore.")));
    }
}

// As in the window, a signal or the console's Ctrl+C during the write ends
// the program only once the write has ended and its outcome is written; the
// exit status is the outcome's.
void FlashRun::writeEnded(const WriteResult &result)
{
    Outcome outcome = finished(ExitStepFailed, "failed");
    if (result.succeeded)
        outcome = finished(ExitDone, "done");
    else if (result.imageUnusable)
        outcome = finished(ExitImageUnusable, "image-unusable");
    else if (result.stopped)
        outcome = finished(128 + result.endSignal, "stopped");
    else if (result.stoppedForBattery)
        outcome = lowBattery();
    for (std::size_t index = 0; index < result.outcomes.size() && index < std::size_t(result.parts.size()); ++index)
        outcome.parts.append({ result.parts.at(int(index)), partOutcomeName(result.outcomes[index]) });
    finish(outcome);
}
