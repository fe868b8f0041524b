// Stands in for logind's Inhibit on a private bus (DBUS_SYSTEM_BUS_ADDRESS).
// Each call is appended to RECORD_FILE as "inhibit WHAT|WHO|WHY|MODE"; the
// caller gets the write end of a pipe, and "released" is appended once every
// copy of it is closed, as logind ends an inhibitor when its descriptor is.
// Prints "ready" when the name is taken.
//
//   fake_logind RECORD_FILE

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QSocketNotifier>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

class Manager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    explicit Manager(const QString &recordPath)
        : record(recordPath)
    {
        record.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why, const QString &mode)
    {
        write(QStringLiteral("inhibit ") + QStringList { what, who, why, mode }.join(QLatin1Char('|')));
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return QDBusUnixFileDescriptor();
        const int readEnd = ends[0];
        auto *notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, readEnd] {
            char byte = 0;
            if (read(readEnd, &byte, 1) > 0)
                return;
            write(QStringLiteral("released"));
            notifier->setEnabled(false);
            notifier->deleteLater();
            close(readEnd);
        });
        // The answer carries its own copy; only the caller's keeps the pipe open.
        const QDBusUnixFileDescriptor handed(ends[1]);
        close(ends[1]);
        return handed;
    }

private:
    void write(const QString &line) { record.write((line + QLatin1Char('\n')).toUtf8()); }

    QFile record;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fake_logind RECORD_FILE\n");
        return 2;
    }
    Manager manager(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "fake_logind: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fake_logind.moc"
