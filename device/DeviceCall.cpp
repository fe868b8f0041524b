#include "device/DeviceCall.h"

#include "catalogue/OutsideText.h"

#include <QFile>

namespace {

thread_local DeviceCallObserver *threadObserver = nullptr;

} // namespace

void setDeviceCallObserver(DeviceCallObserver *observer)
{
    threadObserver = observer;
}

// Once per process: the library does not change while it is loaded, and a
// record made later names the same text without a call of its own.
QString libraryVersion()
{
    static const QString version = [] {
        const char *text = kdGetAPIVersion();
        return text ? untrustedText(QString::fromUtf8(text)) : QStringLiteral("unknown");
    }();
    return version;
}

namespace deviceCallDetail {

DeviceCallObserver *observer()
{
    return threadObserver;
}

QString argumentText(int value)
{
    return QString::number(value);
}

QString argumentText(const char *value)
{
    if (!value)
        return QStringLiteral("null");
    return QLatin1Char('"') + outsideText(QFile::decodeName(value)) + QLatin1Char('"');
}

// What the call wrote there; "?" while it holds what it was given unread.
// As short as any value, the line of a call that returns is never shorter
// than its start line, which it is written over.
QString argumentText(const int *value)
{
    if (!value)
        return QStringLiteral("null");
    const bool unset = !written(*value, unread::number) || !written(*value, unread::model);
    return QLatin1Char('&') + (unset ? QStringLiteral("?") : QString::number(*value));
}

QString argumentText(const KdDeviceType *value)
{
    if (!value)
        return QStringLiteral("null");
    const int number = static_cast<int>(*value);
    return argumentText(&number);
}

QString argumentText(double value)
{
    return QString::number(value);
}

} // namespace deviceCallDetail
