#include "SimulatedInstrument.h"

#include "FirmwareImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

namespace {

QString versionText(int version)
{
    return version == SimulatedInstrument::Erased ? QStringLiteral("erased") : QString::number(version);
}

QString faultLine(const QString &kind, const QString &call, int use)
{
    QString line = kind + QLatin1Char(' ') + call;
    if (use > 0)
        line += QLatin1Char(' ') + QString::number(use);
    return line + QLatin1Char('\n');
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

SimulatedInstrument::SimulatedInstrument()
    : m_previousDir(QDir::currentPath())
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    std::string error;
    const bool written = kdsim::writeShippedImages(QDir(dir()).filePath("firmware").toStdString(), &error);
    QVERIFY2(written, error.c_str());
    for (const QString &list : { QStringLiteral(KD740_SIGNED_LIST), QStringLiteral(KD740_SIGNED_LIST ".minisig") })
        QVERIFY(QFile::copy(list, imagePath(QFileInfo(list).fileName())));
    QVERIFY(QDir::setCurrent(dir()));
    setVariable("KDSIM_DEVICE", QFile::encodeName(descriptionPath()));
    setVariable("KDSIM_TRACE", QFile::encodeName(QDir(dir()).filePath("trace.txt")));
    setVariable("KDSIM_SCALE", "0");
}

SimulatedInstrument::~SimulatedInstrument()
{
    QDir::setCurrent(m_previousDir);
    for (const SavedVariable &saved : qAsConst(m_saved)) {
        if (saved.wasSet)
            qputenv(saved.name, saved.value);
        else
            qunsetenv(saved.name);
    }
}

bool SimulatedInstrument::isValid() const
{
    return m_dir.isValid();
}

QString SimulatedInstrument::dir() const
{
    return m_dir.path();
}

QString SimulatedInstrument::imagePath(const QString &name) const
{
    return QDir(dir()).filePath(QStringLiteral("firmware/") + name);
}

QString SimulatedInstrument::descriptionPath() const
{
    return QDir(dir()).filePath(QStringLiteral("instrument.txt"));
}

void SimulatedInstrument::setDescription(const QString &text)
{
    QFile file(descriptionPath());
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.errorString()));
    file.write(text.toUtf8());
}

QString SimulatedInstrument::description() const
{
    QFile file(descriptionPath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString SimulatedInstrument::field(int index, const QString &key) const
{
    int current = -1;
    const QStringList lines = description().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        if (words.value(0) == QLatin1String("instrument"))
            ++current;
        else if (current == index && words.size() == 2 && words.at(0) == key)
            return words.at(1);
    }
    return QString();
}

void SimulatedInstrument::restart()
{
    // Changed bytes are what the simulator is sure to notice.
    QFile file(descriptionPath());
    QVERIFY2(file.open(QIODevice::Append), qPrintable(file.errorString()));
    file.write("# restarted\n");
}

QStringList SimulatedInstrument::trace() const
{
    return readLines(QDir(dir()).filePath(QStringLiteral("trace.txt")));
}

namespace {

int readBackStart(const QStringList &calls)
{
    int lastWrite = -1;
    for (int index = 0; index < calls.size(); ++index) {
        if (calls[index].contains(QLatin1String("Clear")) || calls[index].contains(QLatin1String("Write"))
            || calls[index].contains(QLatin1String("Preset")))
            lastWrite = index;
    }
    // A look opens or lists, where the write after its last part only closes.
    for (int index = lastWrite + 1; lastWrite >= 0 && index < calls.size(); ++index) {
        for (const char *look : { "kdConfigNetGetDeviceList(", "kdOpenDevice(", "kdConfigUSBOpenDevice(" }) {
            if (calls[index].startsWith(QLatin1String(look)))
                return index;
        }
    }
    return int(calls.size());
}

} // namespace

QStringList SimulatedInstrument::writeCalls() const
{
    const QStringList all = calls();
    return all.mid(0, readBackStart(all));
}

QStringList SimulatedInstrument::readBackCalls() const
{
    const QStringList all = calls();
    return all.mid(readBackStart(all));
}

QStringList SimulatedInstrument::calls() const
{
    QStringList result;
    const QStringList lines = trace();
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("kdGetAPIVersion(")))
            continue;
        const int status = line.lastIndexOf(QLatin1String(" = "));
        result << (status < 0 ? line : line.left(status));
    }
    // Each run's folder has a name of its own.
    static const QRegularExpression copies(QStringLiteral("\"[^\"]*[/\\\\]kd740-images-[^/\\\\\"]+[/\\\\]"));
    return result.replaceInStrings(copies, QStringLiteral("\"<copy>/"));
}

void SimulatedInstrument::clearTrace()
{
    QFile::remove(QDir(dir()).filePath(QStringLiteral("trace.txt")));
}

QString SimulatedInstrument::usbInstrument(int model, int serial, int boot, int run, int fpga, const QString &state)
{
    return QStringLiteral("instrument\n  model %1\n  serial %2\n  link usb\n  state %3\n"
                          "  boot %4\n  run %5\n  fpga %6\n")
        .arg(model)
        .arg(serial)
        .arg(state, versionText(boot), versionText(run), versionText(fpga));
}

QString SimulatedInstrument::netInstrument(int serial, int fx3, int fpga, const QString &state)
{
    return QStringLiteral("instrument\n  model 2\n  serial %1\n  link net\n  state %2\n"
                          "  boot %3\n  fpga %4\n")
        .arg(serial)
        .arg(state, versionText(fx3), versionText(fpga));
}

QString SimulatedInstrument::fail(const QString &call, int use)
{
    return faultLine(QStringLiteral("fail"), call, use);
}

QString SimulatedInstrument::lost(const QString &call, int use)
{
    return faultLine(QStringLiteral("lost"), call, use);
}

QString SimulatedInstrument::badStatus(const QString &call, int use)
{
    return faultLine(QStringLiteral("badstatus"), call, use);
}

QString SimulatedInstrument::vanishAfter(int calls)
{
    return QStringLiteral("vanish-after %1\n").arg(calls);
}

void SimulatedInstrument::setVariable(const char *name, const QByteArray &value)
{
    m_saved.append({ name, qEnvironmentVariableIsSet(name), qgetenv(name) });
    qputenv(name, value);
}
