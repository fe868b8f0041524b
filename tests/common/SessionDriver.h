#ifndef SESSIONDRIVER_H
#define SESSIONDRIVER_H

#include "session/RunSession.h"

#include <QStringList>

#include <memory>
#include <optional>

// Runs the engine's session without any window, answering its questions as
// set here, and keeps its lines as PanelDriver::transcript() gives the
// window's: a success or failure line marked [green] or [red], a record's
// path as recordLine.
class SessionDriver : public QObject, private RunQuestions
{
public:
    explicit SessionDriver(SessionSettings settings = SessionSettings());

    // The model named when a bootstrap is offered (empty: none), and the
    // answers to a downgrade and to a low battery.
    QString model;
    bool installOlder = false;
    bool proceedOnLowBattery = false;

    // Each runs until its end or 30 s; nullopt when it did not end. The
    // check runs the plan, by default the window's.
    std::optional<CheckResult> check(const RunPlan &plan = { Workflow::Check, true });
    // Accepts the write the check offered, "update" or "restore" (nullopt
    // when it offered another or none); optionally the milliseconds it took.
    std::optional<RunEnd> write(const QString &workflow, qint64 *elapsedMs = nullptr);
    // What the check offered to write, if anything, and how the run ended.
    std::optional<Workflow> offered;
    std::optional<RunEnd> end;

    RunSession &session() { return *runSession; }
    QStringList transcript(int first = 0) const;
    int lineCount() const { return lines.size(); }

private:
    void askModel() override;
    void askDowngrade() override;
    void askLowBattery(int percent) override;
    void offerWrite(Workflow workflow) override;
    void askWithoutRecord(Workflow, const QString &) override { runSession->answerWithoutRecord(false); }

    std::unique_ptr<RunSession> runSession;
    QStringList lines;
};

#endif
