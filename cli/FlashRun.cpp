#include "FlashRun.h"

#include "record/RunRecord.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdio>
#include <cstdlib>

namespace {

Outcome finished(int exitCode, const char *result, const QString &message = QString())
{
    return { exitCode, QString::fromLatin1(result), message };
}

Outcome decisionNeeded(const QString &message)
{
    return finished(ExitDecisionNeeded, "decision-needed", message);
}

const QString downgradeMessage = QStringLiteral("The KD740 holds newer firmware than the shipped images; "
                                                "kd740-flash update --yes installs the older firmware.");

// Qt's own warnings (the keep-awake's among them) come from any thread; they
// reach the output on the run's thread, in turn with the lines.
FlashRun *messageTarget = nullptr;

void relayMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        std::abort();
    }
    if (type != QtDebugMsg && type != QtInfoMsg)
        emit messageTarget->warned(message);
}

} // namespace

// A bootstrap is offered only to a restore, and without a window: no
// window to name to the system.
FlashRun::FlashRun(const FlashOptions &options, FlashOutput &output)
    : options(options)
    , output(output)
    , session(*this, { recordsFolder(), 0, options.command == Command::Restore })
{
    connect(this, &FlashRun::warned, this, [this](const QString &text) { this->output.notice(text); });
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
    messageTarget = this;
    const QtMessageHandler previousHandler = qInstallMessageHandler(relayMessage);
    session.check();
    loop.exec();
    // What is still queued (the record's failure line, a warning) comes before the outcome.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    qInstallMessageHandler(previousHandler);
    messageTarget = nullptr;
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
    if (options.command != Command::Update)
        session.answerDowngrade(RunSession::Downgrade::Unasked);
    else
        session.answerDowngrade(options.yes ? RunSession::Downgrade::Install : RunSession::Downgrade::Decline);
}

void FlashRun::checkEnded(const CheckResult &result)
{
    switch (result.state) {
    case NotDetected:
        if (result.modelDeclined)
            return finish(decisionNeeded(QStringLiteral("No KD740 answered. One that cannot start is bootstrapped "
                                                        "only when its model is named: kd740-flash restore --model "
                                                        "%1.")
                                             .arg(modelNamesText(QStringLiteral(" or ")))));
        if (result.imageUnusable)
            return finish(finished(ExitImageUnusable, "image-unusable"));
        return finish(finished(ExitNoInstrument, "not-found"));
    case NeedsRestore:
        switch (options.command) {
        case Command::Check: return finish(finished(ExitDone, "restore-needed"));
        case Command::Update:
            return finish(decisionNeeded(QStringLiteral("The KD740 starts only in its boot mode: it needs a restore "
                                                        "(kd740-flash restore), not an update.")));
        case Command::Restore: return session.restore();
        }
        break;
    case Operational: break;
    }
    if (result.offer == UpdateOffer::None)
        return finish(finished(ExitDone, "current"));
    const bool downgrade = result.offer == UpdateOffer::Downgrade;
    switch (options.command) {
    case Command::Check:
        return finish(downgrade ? finished(ExitDone, "downgrade", downgradeMessage) : finished(ExitDone, "update-needed"));
    case Command::Restore:
        return finish(decisionNeeded(QStringLiteral("The KD740 starts normally: it needs an update (kd740-flash "
                                                    "update), not a restore.")));
    case Command::Update: break;
    }
    if (downgrade && !result.downgradeAccepted)
        return finish(decisionNeeded(downgradeMessage));
    session.update();
}

// As in the window, a signal or the console's Ctrl+C during the write ends
// the program only once the write has ended and its outcome is written; the
// exit status is the outcome's.
void FlashRun::writeEnded(const WriteResult &result)
{
    if (result.succeeded)
        finish(finished(ExitDone, "done"));
    else if (result.imageUnusable)
        finish(finished(ExitImageUnusable, "image-unusable"));
    else
        finish(finished(ExitStepFailed, "failed"));
}
