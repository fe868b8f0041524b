#ifndef WRITEGUARD_H
#define WRITEGUARD_H

#include "power/EraseGate.h"

#include <QObject>
#include <QString>

#include <memory>

// Keeps what would end the process from cutting a firmware write short, for
// as long as it lives: on Linux SIGINT, SIGTERM, SIGHUP and SIGQUIT no longer
// end the process; on Windows a shutdown or log-off is refused (the window
// shows why), and a console program's Ctrl+C and Ctrl+Break are taken. Such a
// request that comes before the worker passes the gate stops the run, nothing
// erased; one that comes later is answered once the write is over. Outside
// that span they end the process as they always did.
//
// Needs a running QCoreApplication; live it on its thread around the write
// and the lines of its outcome, one at a time. Nothing here knows of widgets,
// so that any front end of the write can use it.
class WriteGuard : public QObject
{
    Q_OBJECT

public:
    WriteGuard();
    ~WriteGuard() override;
    WriteGuard(const WriteGuard &) = delete;
    WriteGuard &operator=(const WriteGuard &) = delete;

    // For the worker to pass before its first erasing call.
    EraseGate &gate() { return eraseGate; }

    // Ends the guarded span: from here on the signals end the process again.
    // Whether anything asked it to end meanwhile; if so the caller ends it
    // now, with status 0 (a console program: 128 + endSignal()), its outcome
    // written.
    bool finish();
    // The first request's signal number (Windows: SIGINT for Ctrl+C, SIGBREAK
    // for Ctrl+Break, 0 for the end of the session); 0 when none came.
    int endSignal() const { return requestSignal; }
    // Whether something asked the process to end.
    bool ending() const { return endRequested; }
    // What a request that comes from now on is answered with, where it is
    // not "Closing when the firmware write has ended.": the caller's next
    // step, once the write is over.
    void deferEndWith(const QString &line) { deferredLine = line; }

signals:
    // Once, at the first request to end, with the line that tells the user:
    // stopped when the run ends without erasing anything, else deferred
    // until the write has ended.
    void stopped(const QString &line);
    void endDeferred(const QString &line);

private:
    void requestEnd(int signal);

    class Platform;
    EraseGate eraseGate;
    std::unique_ptr<Platform> platform;
    bool endRequested = false;
    QString deferredLine = QStringLiteral("Closing when the firmware write has ended.");
    int requestSignal = 0;
};

#endif
