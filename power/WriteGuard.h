#ifndef WRITEGUARD_H
#define WRITEGUARD_H

#include <QObject>

#include <memory>

// Keeps what would end the process from cutting a firmware write short, for
// as long as it lives: on Linux SIGINT, SIGTERM and SIGHUP no longer end the
// process but are answered once the write is over; on Windows a shutdown or
// log-off is refused (the window shows why), and a console program's Ctrl+C
// and Ctrl+Break are answered once the write is over. Outside that span they
// end the process as they always did.
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

    // Ends the guarded span: from here on the signals end the process again.
    // Whether anything asked it to end meanwhile; if so the caller ends it
    // now, with status 0, its outcome written.
    bool finish();

signals:
    // Once, at the first request to end, with the line that tells the user.
    void endDeferred(const QString &line);

private:
    void deferEnd();

    class Platform;
    std::unique_ptr<Platform> platform;
    bool endRequested = false;
};

#endif
