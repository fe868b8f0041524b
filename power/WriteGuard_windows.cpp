#include "power/WriteGuard.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

#include <atomic>
#include <csignal>

#include <windows.h>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
using NativeResult = qintptr;
#else
using NativeResult = long;
#endif

// Windows asks every top-level window before a shutdown or log-off; a FALSE
// answer refuses it, and the window's shutdown block reason (set by the
// power inhibitor) tells the user why. Before anything is erased it is let
// through instead, the run stopped. A console program's Ctrl+C and
// Ctrl+Break are taken as signals are elsewhere.
class WriteGuard::Platform : public QAbstractNativeEventFilter
{
public:
    explicit Platform(WriteGuard &guard)
        : owner(guard)
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
        consoleGuard().store(&guard);
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    }
    ~Platform() override { restore(); }
    Platform(const Platform &) = delete;
    Platform &operator=(const Platform &) = delete;

    void restore()
    {
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        consoleGuard().store(nullptr);
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, NativeResult *result) override
    {
        if (eventType != "windows_generic_MSG" || static_cast<const MSG *>(message)->message != WM_QUERYENDSESSION)
            return false;
        // During the write it is refused, as ever, and nothing else changes.
        if (!owner.gate().stop()) {
            *result = FALSE;
            return true;
        }
        owner.requestEnd(0);
        return false;
    }

private:
    WriteGuard &owner;

    static std::atomic<WriteGuard *> &consoleGuard()
    {
        static std::atomic<WriteGuard *> guard { nullptr };
        return guard;
    }

    // Runs on a thread the system starts for it: it hands the request to the
    // application's thread, which looks for the guard there. Closing the
    // console, logging off and shutting down end a console process whatever
    // the handler answers.
    static BOOL WINAPI onConsoleEvent(DWORD event)
    {
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
            return FALSE;
        const int signal = event == CTRL_C_EVENT ? SIGINT : SIGBREAK;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [signal] {
                if (WriteGuard *guard = consoleGuard().load())
                    guard->requestEnd(signal);
            },
            Qt::QueuedConnection);
        return TRUE;
    }
};

WriteGuard::WriteGuard()
    : platform(std::make_unique<Platform>(*this))
{
}

WriteGuard::~WriteGuard() = default;

// A refused shutdown is over once refused: nothing is left to do afterwards.
// A Ctrl+C handed over to this thread just before still counts.
bool WriteGuard::finish()
{
    QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
    platform->restore();
    return endRequested;
}
