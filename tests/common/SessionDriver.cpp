#include "SessionDriver.h"

#include "PanelDriver.h"

#include "record/RunRecord.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

// Sleeps in an event loop until the session ends, rather than polling: a
// run's steps follow each other through the event queue, and each poll would
// add its interval to every one of them.
template <typename Result, typename Signal>
std::optional<Result> waitFor(RunSession &session, Signal ended, const std::function<void()> &start)
{
    std::optional<Result> result;
    QEventLoop loop;
    const QMetaObject::Connection connection = QObject::connect(&session, ended, &loop, [&](const Result &value) {
        result = value;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    start();
    if (!result)
        loop.exec();
    QObject::disconnect(connection);
    return result;
}

QString marked(const QString &text, LineTone tone)
{
    if (text.startsWith(QLatin1String("Record: ")))
        return recordLine;
    switch (tone) {
    case LineTone::Success: return QStringLiteral("[green] ") + text;
    case LineTone::Failure: return QStringLiteral("[red] ") + text;
    case LineTone::Warning: return QStringLiteral("[amber] ") + text;
    case LineTone::Normal: break;
    }
    return text;
}

} // namespace

SessionDriver::SessionDriver(SessionSettings settings)
{
    if (settings.recordsFolder.isEmpty())
        settings.recordsFolder = recordsFolder();
    // The simulated instrument answers again at once after a write: one look.
    settings.readBackWaitMs = 0;
    runSession = std::make_unique<RunSession>(static_cast<RunQuestions &>(*this), settings);
    connect(runSession.get(), &RunSession::line, this,
            [this](const QString &text, LineTone tone) { lines << marked(text, tone); });
    connect(runSession.get(), &RunSession::ended, this, [this](const RunEnd &ended) { end = ended; });
}

std::optional<CheckResult> SessionDriver::check(const RunPlan &plan)
{
    offered.reset();
    end.reset();
    return waitFor<CheckResult>(*runSession, &RunSession::checkEnded, [this, plan] { runSession->start(plan); });
}

std::optional<RunEnd> SessionDriver::write(const QString &workflow, qint64 *elapsedMs)
{
    const Workflow asked = workflow == QLatin1String("restore") ? Workflow::Restore : Workflow::Update;
    if (offered != asked)
        return std::nullopt;
    QElapsedTimer timer;
    timer.start();
    auto result = waitFor<RunEnd>(*runSession, &RunSession::ended, [this] { runSession->acceptOffer(); });
    if (elapsedMs)
        *elapsedMs = timer.elapsed();
    return result;
}

QStringList SessionDriver::transcript(int first) const
{
    return lines.mid(first);
}

void SessionDriver::askModel()
{
    std::optional<DeviceType> type;
    for (DeviceType known : knownModels()) {
        if (deviceTypeName(known) == model)
            type = known;
    }
    runSession->bootstrapAs(type);
}

void SessionDriver::askDowngrade()
{
    runSession->answerDowngrade(installOlder ? RunSession::Downgrade::Install : RunSession::Downgrade::Decline);
}

void SessionDriver::askLowBattery(int)
{
    runSession->answerLowBattery(proceedOnLowBattery);
}

void SessionDriver::offerWrite(Workflow workflow)
{
    offered = workflow;
}
