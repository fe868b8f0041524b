#ifndef FLASHRUN_H
#define FLASHRUN_H

#include "FlashOptions.h"
#include "FlashOutput.h"

#include "workers/DeviceStatus.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QThread;

// One run of the console program: the check, then the update or restore the
// command asks for, through the window program's own workers, with the
// decisions the window asks about taken from the options.
class FlashRun : public QObject
{
    Q_OBJECT

public:
    FlashRun(const FlashOptions &options, FlashOutput &output);

    // Returns the exit status.
    int exec();

public slots:
    // A request to end the program, by signal number.
    void stop(int signalNumber);
    void notice(const QString &text);

private:
    Outcome run();
    Outcome afterNoAnswer();
    Outcome afterBootMode();
    Outcome afterVersions();
    Outcome bootstrap();
    template <typename Worker>
    Outcome write(Worker &worker, const QString &title);
    Outcome interrupted() const;

    void runSequence(QThread &worker, const QString &firstStep);
    void addLine(const QString &text);
    void addLines(const QStringList &lines);
    void writeTitle(const QString &title);
    void startStep(const QString &text);
    void tick();

    const FlashOptions options;
    FlashOutput &output;
    DeviceStatus status;
    QTimer progressTimer;
    QElapsedTimer stepClock;
    QString stepText;
    bool writeStarted = false;
    bool writing = false;
    // The signal that asked the program to end, 0 for none.
    int stopSignal = 0;
};

#endif
