// Stands in for logind's Inhibit on a private bus (DBUS_SYSTEM_BUS_ADDRESS).
// Each call is appended to RECORD_FILE as "inhibit WHAT|WHO|WHY|MODE"; the
// caller gets the write end of a pipe, and "released WHAT" is appended once
// every copy of it is closed, as logind ends an inhibitor when its descriptor
// is. Prints "ready" when the name is taken.
//
//   fake_logind RECORD_FILE [refuse:WHAT[,WHAT...] | silent | late:MS | hostile] [upower:POWER]
//
// refuse: answers those locks with an error; silent: never answers; late:
// answers after MS milliseconds; hostile: refuses every lock with a message
// that would colour a terminal and fill it, if shown as it comes. upower:
// stands in for UPower's properties too, POWER being battery:PERCENT (on
// battery), charging:PERCENT (on mains power), no-battery or silent (never
// answers).

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

class Manager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    Manager(const QString &recordPath, const QString &mode)
        : record(recordPath)
        , mode(mode.section(QLatin1Char(':'), 0, 0))
        , modeValue(mode.section(QLatin1Char(':'), 1))
    {
        record.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        write(QStringLiteral("inhibit ") + QStringList { what, who, why, mode }.join(QLatin1Char('|')));
        if (this->mode == QLatin1String("refuse") && modeValue.split(QLatin1Char(',')).contains(what)) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Permission denied"));
            return QDBusUnixFileDescriptor();
        }
        if (this->mode == QLatin1String("hostile")) {
            sendErrorReply(QDBusError::AccessDenied,
                           QStringLiteral("\x1b[32mFAKE: Firmware updated successfully.\x1b[0m\u009b2J")
                               + QString(200000, QLatin1Char('x')));
            return QDBusUnixFileDescriptor();
        }
        if (this->mode == QLatin1String("silent") || this->mode == QLatin1String("late")) {
            setDelayedReply(true);
            if (this->mode == QLatin1String("late")) {
                QTimer::singleShot(modeValue.toInt(), this, [this, call = message(), what] {
                    connection().send(call.createReply(QVariant::fromValue(lockFor(what))));
                });
            }
            return QDBusUnixFileDescriptor();
        }
        return lockFor(what);
    }

private:
    QDBusUnixFileDescriptor lockFor(const QString &what)
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return QDBusUnixFileDescriptor();
        const int readEnd = ends[0];
        auto *notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, readEnd, what] {
            char byte = 0;
            if (read(readEnd, &byte, 1) > 0)
                return;
            write(QStringLiteral("released ") + what);
            notifier->setEnabled(false);
            notifier->deleteLater();
            close(readEnd);
        });
        // The answer carries its own copy; only the caller's keeps the pipe open.
        const QDBusUnixFileDescriptor handed(ends[1]);
        close(ends[1]);
        return handed;
    }

    void write(const QString &line) { record.write((line + QLatin1Char('\n')).toUtf8()); }

    QFile record;
    const QString mode;
    const QString modeValue;
};

// UPower's object and its display device, as GetAll gives them.
class Power : public QDBusVirtualObject
{
public:
    explicit Power(const QString &power)
        : mode(power.section(QLatin1Char(':'), 1, 1))
        , percent(power.section(QLatin1Char(':'), 2).toDouble())
    {
    }
    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const bool battery = mode != QLatin1String("no-battery");
        const QVariantMap properties = message.path().endsWith(QLatin1String("/DisplayDevice"))
            ? QVariantMap { { "Type", battery ? 2u : 0u }, { "IsPresent", battery }, { "Percentage", percent } }
            : QVariantMap { { "OnBattery", mode == QLatin1String("battery") }, { "DaemonVersion", "1.90" } };
        if (mode != QLatin1String("silent"))
            connection.send(message.createReply(QVariant(properties)));
        return true;
    }

private:
    const QString mode;
    const double percent;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const QString power = !arguments.isEmpty() && arguments.last().startsWith(QLatin1String("upower:"))
        ? arguments.takeLast()
        : QString();
    if (arguments.size() != 1 && arguments.size() != 2) {
        std::fprintf(stderr,
                     "usage: fake_logind RECORD_FILE [refuse:WHAT,... | silent | late:MS | hostile] [upower:POWER]\n");
        return 2;
    }
    Manager manager(arguments.first(), arguments.value(1));
    Power upower(power);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QStringLiteral("org.freedesktop.login1"))
        || (!power.isEmpty()
            && (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/UPower"), &upower, QDBusConnection::SubPath)
                || !bus.registerService(QStringLiteral("org.freedesktop.UPower"))))) {
        std::fprintf(stderr, "fake_logind: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_logind.moc"
