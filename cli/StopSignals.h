#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <QObject>

// Turns the requests to end a console program (SIGINT, SIGTERM and SIGHUP;
// on Windows Ctrl+C and Ctrl+Break) into a Qt signal on the thread that
// made this object, so that the program, not the system, decides when to
// end: never in the middle of a firmware write. One instance at a time.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

signals:
    // signalNumber as the exit status counts it: SIGINT 2, SIGTERM 15, SIGHUP 1.
    void received(int signalNumber);
};

#endif
