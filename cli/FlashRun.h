#ifndef FLASHRUN_H
#define FLASHRUN_H

#include "FlashOptions.h"
#include "FlashOutput.h"

#include "session/RunSession.h"

#include <QEventLoop>
#include <QObject>

#include <memory>
#include <optional>

class WriteGuard;

// How a run's end is told: exit status, word and message.
Outcome outcomeOf(const RunEnd &end);

// One run of the console program: the engine's session, its questions
// answered from the options, its events written to the output, and its
// result as the exit status.
class FlashRun : public QObject, private RunQuestions
{
    Q_OBJECT

public:
    FlashRun(const FlashOptions &options, const ImageSource &images, FlashOutput &output);
    ~FlashRun() override;

    // Returns the exit status.
    int exec();

private:
    void askModel() override;
    void askDowngrade() override;
    void askLowBattery(int percent) override;
    void offerWrite(Workflow workflow) override;
    void askWithoutRecord(Workflow workflow, const QString &reason) override;
    void ended(const RunEnd &end);
    void stopDuringCheck(int signal);

    const FlashOptions options;
    const QString imageFolder;
    FlashOutput &output;
    RunSession session;
    QEventLoop loop;
    Outcome outcome;
    // While the check runs: a signal ends the program at once, with its outcome.
    std::unique_ptr<WriteGuard> checkGuard;
};

#endif
