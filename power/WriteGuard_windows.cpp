#include "power/WriteGuard.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>

#include <windows.h>

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
using NativeResult = qintptr;
#else
using NativeResult = long;
#endif

// Windows asks every top-level window before a shutdown or log-off; a FALSE
// answer refuses it, and the window's shutdown block reason (set by the
// power inhibitor) tells the user why.
class WriteGuard::Platform : public QAbstractNativeEventFilter
{
public:
    Platform() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~Platform() override { restore(); }
    Platform(const Platform &) = delete;
    Platform &operator=(const Platform &) = delete;

    void restore()
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, NativeResult *result) override
    {
        if (eventType != "windows_generic_MSG" || static_cast<const MSG *>(message)->message != WM_QUERYENDSESSION)
            return false;
        *result = FALSE;
        return true;
    }
};

WriteGuard::WriteGuard()
    : platform(std::make_unique<Platform>())
{
}

WriteGuard::~WriteGuard() = default;

// A refused shutdown is over once refused: nothing is left to do afterwards.
bool WriteGuard::finish()
{
    platform->restore();
    return endRequested;
}
