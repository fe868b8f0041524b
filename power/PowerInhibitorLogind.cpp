#include "power/PowerInhibitor.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString connectionName = QStringLiteral("kd740-power-inhibitor");
// logind may ask polkit before it answers; a bus that takes longer than this
// only means the write goes on unprotected.
constexpr int replyTimeoutMs = 3000;

void warn(const QString &reason)
{
    qWarning("Cannot keep the PC awake while firmware is written: %s", qPrintable(reason));
}

// A connection of its own, opened for the one call: the address can then
// only be the system bus's, whoever else in the process uses D-Bus.
QDBusMessage askLogind()
{
    const QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName);
    if (!bus.isConnected())
        return QDBusMessage::createError(bus.lastError());
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                       QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:shutdown:idle") << QStringLiteral("KD740 Firmware Updater")
         << QStringLiteral("Writing firmware to the KD740") << QStringLiteral("block");
    return bus.call(call, QDBus::Block, replyTimeoutMs);
}

} // namespace

PowerInhibitor::PowerInhibitor(std::uintptr_t window)
    : window(window)
{
}

PowerInhibitor::~PowerInhibitor()
{
    release();
}

// logind keeps the inhibitor for as long as the descriptor it hands back is
// open anywhere; the copy kept here is not passed on to child processes.
void PowerInhibitor::hold()
{
    const QDBusMessage reply = askLogind();
    QDBusConnection::disconnectFromBus(connectionName);
    const auto descriptor = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
    if (reply.type() != QDBusMessage::ReplyMessage || !descriptor.isValid()) {
        warn(reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage()
                                                        : QStringLiteral("no inhibitor in logind's answer"));
        return;
    }
    held = fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
}

void PowerInhibitor::release()
{
    if (held < 0)
        return;
    close(held);
    held = -1;
}
