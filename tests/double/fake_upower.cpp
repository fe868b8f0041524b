// Stands in for UPower on a private bus (DBUS_SYSTEM_BUS_ADDRESS): the
// properties the updater reads of it and of its display device. Prints
// "ready" when the name is taken.
//
//   fake_upower battery:PERCENT | charging:PERCENT | no-battery | silent
//
// battery: on battery at PERCENT; charging: on mains power, the battery at
// PERCENT; no-battery: on mains power, no battery; silent: never answers.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QVariantMap>

#include <cstdio>

namespace {

const QString upowerPath = QStringLiteral("/org/freedesktop/UPower");

} // namespace

class Power : public QDBusVirtualObject
{
public:
    explicit Power(const QString &mode)
        : mode(mode.section(QLatin1Char(':'), 0, 0))
        , percent(mode.section(QLatin1Char(':'), 1).toDouble())
    {
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (mode == QLatin1String("silent"))
            return true;
        if (message.member() != QLatin1String("GetAll"))
            return false;
        const bool battery = mode != QLatin1String("no-battery");
        const QVariantMap properties = message.path() == upowerPath
            ? QVariantMap { { "OnBattery", mode == QLatin1String("battery") }, { "DaemonVersion", "1.90" } }
            : QVariantMap { { "Type", battery ? 2u : 0u },
                            { "IsPresent", battery },
                            { "Percentage", battery ? percent : 0.0 },
                            { "NativePath", "" } };
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
    if (argc != 2) {
        std::fprintf(stderr, "usage: fake_upower battery:PERCENT | charging:PERCENT | no-battery | silent\n");
        return 2;
    }
    Power power(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerVirtualObject(upowerPath, &power, QDBusConnection::SubPath)
        || !bus.registerService(QStringLiteral("org.freedesktop.UPower"))) {
        std::fprintf(stderr, "fake_upower: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
