#include "power/PowerInhibitor.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

// logind may ask polkit before it answers; a system that takes longer than
// this only means the write goes on unprotected.
constexpr std::chrono::milliseconds answerTimeout(3000);

void warn(const QString &reason)
{
    qWarning("Cannot keep the PC awake while firmware is written: %s", qPrintable(reason));
}

// One request's outcome, shared with the thread that asks: that thread may
// outlive the wait for it.
struct Request
{
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool abandoned = false;
    int descriptor = -1;
    QString problem;
};

// A connection of its own, opened for the one call: the address can then
// only be the system bus's, whoever else in the process uses D-Bus.
QDBusMessage askLogind(const QString &connectionName)
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
    return bus.call(call, QDBus::Block, static_cast<int>(answerTimeout.count()));
}

// Runs on a thread of its own: a bus that accepts the connection and then
// says nothing blocks its caller for good, and the write must not wait for
// it. The copy of the descriptor kept is not passed on to child processes.
void ask(Request &request)
{
    static std::atomic<int> requests(0);
    const QString connectionName = QStringLiteral("kd740-power-inhibitor-%1").arg(++requests);
    const QDBusMessage reply = askLogind(connectionName);
    QDBusConnection::disconnectFromBus(connectionName);
    const auto handed = qdbus_cast<QDBusUnixFileDescriptor>(reply.arguments().value(0));
    int descriptor = -1;
    if (reply.type() == QDBusMessage::ReplyMessage && handed.isValid())
        descriptor = fcntl(handed.fileDescriptor(), F_DUPFD_CLOEXEC, 0);

    const std::lock_guard<std::mutex> lock(request.mutex);
    if (request.abandoned) {
        if (descriptor >= 0)
            close(descriptor);
        return;
    }
    request.descriptor = descriptor;
    request.problem = reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage()
                                                                 : QStringLiteral("no inhibitor in logind's answer");
    request.done = true;
    request.answered.notify_one();
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
// open anywhere.
void PowerInhibitor::hold()
{
    const auto request = std::make_shared<Request>();
    std::thread([request] { ask(*request); }).detach();

    std::unique_lock<std::mutex> lock(request->mutex);
    if (!request->answered.wait_for(lock, answerTimeout + std::chrono::milliseconds(500),
                                    [&] { return request->done; })) {
        request->abandoned = true;
        warn(QStringLiteral("the system bus did not answer"));
        return;
    }
    if (request->descriptor < 0)
        warn(request->problem);
    held = request->descriptor;
}

void PowerInhibitor::release()
{
    if (held < 0)
        return;
    close(held);
    held = -1;
}
