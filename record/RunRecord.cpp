#include "record/RunRecord.h"

#include "catalogue/Catalogue.h"
#include "device/DeviceCall.h"
#include "record/FileDigest.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <cstring>

namespace {

const QString unknown = QStringLiteral("unknown");

// The calls that succeed only when an instrument answers them.
bool reachesInstrument(const char *call)
{
    static const char *const calls[] = {
        "kdOpenDevice",          "kdConfigUSBOpenDevice",      "kdConfigUSBOpenDeviceBySerial",
        "kdConfigNetOpenDevice", "kdConfigUSBBootstrapDevice", "kdConfigNetBootstrapDevice"
    };
    for (const char *name : calls) {
        if (std::strcmp(call, name) == 0)
            return true;
    }
    return false;
}

// From the image check's own read: the record reads no image a second time.
QString imageLine(const QString &path, const FileDigest &digest, bool usable)
{
    QString line = QStringLiteral("image: ") + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (digest.size < 0)
        return line + QStringLiteral(", unusable");
    line += QStringLiteral(", %1 bytes").arg(digest.size);
    if (!digest.sha256.isEmpty())
        line += QStringLiteral(", SHA-256 ") + QString::fromLatin1(digest.sha256);
    return usable ? line : line + QStringLiteral(", unusable");
}

// ISO 8601 with the offset always written out, +00:00 included.
QString timeWithOffset(const QDateTime &time)
{
    const int offsetMinutes = time.offsetFromUtc() / 60;
    const int absolute = qAbs(offsetMinutes);
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QString::asprintf("%c%02d:%02d", offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
}

QString resultWord(RunResult result)
{
    switch (result) {
    case RunResult::Success: return QStringLiteral("success");
    case RunResult::Failure: return QStringLiteral("failure");
    case RunResult::Stopped: return QStringLiteral("stopped");
    case RunResult::NothingToDo: break;
    }
    return QStringLiteral("nothing to do");
}

QString operatingSystem()
{
    return QSysInfo::prettyProductName() + QStringLiteral(", ") + QSysInfo::kernelType() + QLatin1Char(' ')
        + QSysInfo::kernelVersion() + QStringLiteral(", ") + QSysInfo::currentCpuArchitecture();
}

} // namespace

// The base-directory rules ignore a relative XDG_DATA_HOME; Qt 5.15 and 6.4
// take it relative to the current folder, for an installed program its data
// folder. Where Qt gives no absolute folder, the rules' default is used.
QString recordsFolder()
{
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty() && QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data.isEmpty() ? QString() : data + QStringLiteral("/" KD740_RECORDS_FOLDER);
}

RunRecord::RunRecord(const QString &folder, QObject *parent)
    : QObject(parent)
    , folder(folder)
    , began(QDateTime::currentDateTime())
{
    clock.start();
    connect(this, &RunRecord::callStarting, this, &RunRecord::writeCallStarting);
    connect(this, &RunRecord::callEnded, this, &RunRecord::writeCallEnded);
    connect(this, &RunRecord::imageSeen, this, &RunRecord::addImage);
    connect(this, &RunRecord::noticeSeen, this, &RunRecord::addStamped);
    setDeviceCallObserver(this);
    setImageCheckObserver(this);
}

RunRecord::~RunRecord()
{
    finish();
    if (deviceCallDetail::observer() == this) {
        setDeviceCallObserver(nullptr);
        setImageCheckObserver(nullptr);
    }
}

void RunRecord::addLine(const QString &line)
{
    addStamped(line);
}

void RunRecord::addNotice(const QString &line)
{
    emit noticeSeen(line, QPrivateSignal());
}

// Nothing may follow: the file is left as it is.
void RunRecord::finish(RunResult result)
{
    if (state == State::Writing && !file.append({ QStringLiteral("result: ") + resultWord(result) }))
        emit writeFailed(failure(file.errorString()));
    state = State::Off;
}

void RunRecord::finish()
{
    finish(checkResult);
}

QString RunRecord::checkEnded(const DeviceStatus &status)
{
    if (state != State::Collecting)
        return whereLine();
    if (!reached) {
        state = State::Off;
        pending.clear();
        return QString();
    }
    if (folder.isEmpty())
        return failure(QStringLiteral("the system names no folder for user data"));

    const bool found = status.checkState != NotDetected;
    // A check that reached an instrument and found nothing failed.
    checkResult = found ? RunResult::NothingToDo : RunResult::Failure;
    const QString model = found && knownDeviceType(status.deviceType) ? deviceTypeName(status.deviceType) : unknown;
    const QString serial = found ? QString::number(status.serial) : unknown;
    const QString stem = began.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + model + QLatin1Char('-') + serial;
    if (!file.create(folder, stem) || !file.append(header(status) + images + QStringList(QString()) + pending))
        return failure(file.errorString());
    state = State::Writing;
    pending.clear();
    return whereLine();
}

QString RunRecord::whereLine() const
{
    return state == State::Writing ? QStringLiteral("Record: ") + file.path() : QString();
}

QString RunRecord::path() const
{
    return state == State::Writing ? file.path() : QString();
}

QStringList RunRecord::header(const DeviceStatus &status) const
{
    const bool found = status.checkState != NotDetected;
    QString model = unknown;
    if (found)
        model = knownDeviceType(status.deviceType) ? deviceTypeName(status.deviceType)
                                                   : QStringLiteral("unknown (code %1)").arg(status.deviceType);
    return {
        QStringLiteral("program version: " KD740_VERSION),
        QStringLiteral("kd_api version: ") + libraryVersion(),
        QStringLiteral("date: ") + timeWithOffset(began),
        QStringLiteral("computer: ") + QSysInfo::machineHostName(),
        QStringLiteral("operating system: ") + operatingSystem(),
        QStringLiteral("model: ") + model,
        QStringLiteral("serial: ") + (found ? QString::number(status.serial) : unknown),
        // A boot-mode instrument reports no versions.
        QStringLiteral("firmware found: ")
            + (status.checkState == Operational ? versionString(status.deviceFirmware) : unknown),
        QStringLiteral("firmware shipped: ") + (found ? versionString(status.targetFirmware) : unknown),
    };
}

// Called on the thread that calls the library; the rest happens on the record's.
void RunRecord::starting(const char *name, const QString &arguments)
{
    emit callStarting(QLatin1String(name) + QLatin1Char('(') + arguments + QStringLiteral(") ..."), QPrivateSignal());
}

void RunRecord::writeCallStarting(const QString &text)
{
    callInFlight = stamp();
    write(callInFlight + QLatin1Char(' ') + text, false);
}

void RunRecord::called(const DeviceCallReport &report)
{
    const QString text = QLatin1String(report.name) + QLatin1Char('(') + report.arguments + QStringLiteral(") = ")
        + QString::number(report.status)
        + QStringLiteral(" (%1 ms)").arg(static_cast<double>(report.duration.count()) / 1000.0, 0, 'f', 1);
    emit callEnded(text, report.status == 0 && reachesInstrument(report.name), QPrivateSignal());
}

void RunRecord::writeCallEnded(const QString &text, bool reaches)
{
    reached = reached || reaches;
    if (callInFlight.isEmpty())
        addStamped(text);
    else
        write(callInFlight + QLatin1Char(' ') + text, true);
    callInFlight.clear();
}

void RunRecord::imageChecked(const QString &path, const FileDigest &digest, bool usable)
{
    emit imageSeen(imageLine(path, digest, usable), QPrivateSignal());
}

void RunRecord::addImage(const QString &line)
{
    if (state == State::Collecting)
        images << line;
    else
        addStamped(line);
}

void RunRecord::addStamped(const QString &text)
{
    callInFlight.clear();
    const QString time = stamp();
    write(text.isEmpty() ? time : time + QLatin1Char(' ') + text, false);
}

void RunRecord::write(const QString &line, bool replacingLast)
{
    switch (state) {
    case State::Collecting:
        if (replacingLast)
            pending.last() = line;
        else
            pending << line;
        break;
    case State::Writing:
        if (!(replacingLast ? file.replaceLast(line) : file.append({ line })))
            emit writeFailed(failure(file.errorString()));
        break;
    case State::Off: break;
    }
}

// +M:SS.mmm since the record began.
QString RunRecord::stamp() const
{
    const qint64 ms = clock.elapsed();
    return QString::asprintf("+%lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
}

QString RunRecord::failure(const QString &reason)
{
    state = State::Off;
    pending.clear();
    return QStringLiteral("No record could be written: ") + reason + QLatin1Char('.');
}
