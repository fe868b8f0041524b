#include "record/RunRecord.h"

#include "catalogue/Catalogue.h"
#include "catalogue/FileDigest.h"
#include "catalogue/OutsideText.h"
#include "device/DeviceCall.h"
#include "record/RecordWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>

#ifdef Q_OS_WIN
#  include <QtGlobal>
#else
#  include <pwd.h>
#  include <unistd.h>
#endif

namespace {

// How long a library call that only reads waits for its start to reach the
// disk; a disk that takes longer only delays the record, never the read. A
// call that erases or writes waits however long the disk takes.
constexpr unsigned long startWaitMs = 5000;
// A disk slower than this is said to be waited for.
constexpr unsigned long unnoticedWaitMs = 1000;
// How long a program about to end waits for its record's last lines.
constexpr unsigned long writtenWaitMs = 10000;

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

// The calls that erase, write or load firmware: none is made before the
// record holds its start.
bool changesInstrument(const char *call)
{
    static const char *const calls[] = { "kdConfigUSBBootstrapDevice",
                                         "kdConfigUSBClearBootSector",
                                         "kdConfigUSBWriteBootSector",
                                         "kdConfigUSBClearRunSector",
                                         "kdConfigUSBWriteRunSector",
                                         "kdConfigUSBClearFPGAProgram",
                                         "kdConfigUSBWriteFPGAProgram",
                                         "kdConfigNetBootstrapDevice",
                                         "kdConfigNetClearFx3",
                                         "kdConfigNetWriteFx3",
                                         "kdConfigNetClearFPGA",
                                         "kdConfigNetWriteFGPA",
                                         "kdConfigNetPreset" };
    for (const char *name : calls) {
        if (std::strcmp(call, name) == 0)
            return true;
    }
    return false;
}

// From the image check's own read: the record reads no image a second time.
// What the image held and, when it was refused, what it had to hold, so that
// a record shows which file stood under an image's name.
QString imageLine(const CheckedImage &image)
{
    QString line = QStringLiteral("image: ")
        + outsideText(QDir::toNativeSeparators(QFileInfo(image.path).absoluteFilePath()));
    const FileDigest &found = image.found;
    if (found.size < 0)
        return line + QStringLiteral(", unusable");
    line += QStringLiteral(", %1 bytes").arg(found.size);
    if (!found.sha256.isEmpty())
        line += QStringLiteral(", SHA-256 ") + QString::fromLatin1(found.sha256);
    if (image.usable && image.signer.isEmpty())
        return line + QStringLiteral(", unsigned");
    if (image.usable)
        return line + QStringLiteral(", key ") + image.signer + QStringLiteral(", trusted comment: ") + image.comment;
    const ExpectedImage &expected = image.expected;
    if (expected.sha256.isEmpty())
        return line + QStringLiteral(", not listed, unusable");
    line += QStringLiteral(", expected ");
    if (expected.size >= 0)
        line += QStringLiteral("%1 bytes, ").arg(expected.size);
    return line + QStringLiteral("SHA-256 ") + QString::fromLatin1(expected.sha256) + QStringLiteral(", unusable");
}

// ISO 8601 with the offset always written out, +00:00 included.
QString timeWithOffset(const QDateTime &time)
{
    const int offsetMinutes = time.offsetFromUtc() / 60;
    const int absolute = qAbs(offsetMinutes);
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QString::asprintf("%c%02d:%02d", offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
}

// The account the program runs as: on Linux the one the system knows it
// by, which no variable changes.
QString loginName()
{
#ifdef Q_OS_WIN
    const QString name = qEnvironmentVariable("USERNAME");
#else
    const passwd *const account = getpwuid(geteuid());
    const QString name = account ? QString::fromLocal8Bit(account->pw_name) : QString();
#endif
    return name.isEmpty() ? unknown : untrustedText(name);
}

// The program's name and its options as it was started, an option with a
// blank in quotes.
QString programLine()
{
    QStringList words = QCoreApplication::arguments();
    if (words.isEmpty())
        return unknown;
    words.first() = QFileInfo(words.first()).fileName();
    for (QString &word : words) {
        if (word.isEmpty() || word.contains(QLatin1Char(' ')))
            word = QLatin1Char('"') + word + QLatin1Char('"');
    }
    return outsideText(words.join(QLatin1Char(' ')));
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
    , chain(folder)
{
    clock.start();
    connect(this, &RunRecord::callStarting, this, &RunRecord::writeCallStarting);
    connect(this, &RunRecord::callEnded, this, &RunRecord::writeCallEnded);
    connect(this, &RunRecord::imageSeen, this, &RunRecord::addImage);
    connect(this, &RunRecord::noticeSeen, this, &RunRecord::addStamped);
}

RunRecord::~RunRecord()
{
    finish();
    // What is queued is written before the writer stops.
    writer.reset();
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
void RunRecord::readBack(const QString &versions)
{
    if (state == State::Writing && !finished)
        writer->append(QStringLiteral("read back: ") + versions);
}

void RunRecord::finish()
{
    finish(checkResult);
}

void RunRecord::finish(const QString &result)
{
    if (state == State::Writing && !finished) {
        writer->append(QStringLiteral("result: ") + result);
        writer->seal(chain);
    }
    finished = true;
}

QString RunRecord::seal(const QString &result)
{
    finish(result);
    if (state == State::Writing) {
        writer->waitAllWritten(writtenWaitMs);
        sealedDigest = writer->digest();
    }
    return whereLine();
}

void RunRecord::sealThen(const QString &result, std::function<void(const QString &where)> then)
{
    finish(result);
    if (state != State::Writing || sealed) {
        then(whereLine());
        return;
    }
    afterSeal = std::move(then);
}

// Queued from the writer's thread, after the seal job or the writer's failure.
void RunRecord::sealSettled()
{
    sealed = true;
    if (writer)
        sealedDigest = writer->digest();
    if (!afterSeal)
        return;
    const auto then = std::move(afterSeal);
    afterSeal = nullptr;
    then(whereLine());
}

QString RunRecord::checkEnded(const DeviceStatus &status, const QString &found)
{
    if (state != State::Collecting)
        return whereLine();
    if (folder.isEmpty())
        return failure(QStringLiteral("the system names no folder for user data"));

    checkResult = found;
    const bool identified = status.checkState != NotDetected;
    const QString model = identified && knownDeviceType(status.deviceType) ? deviceTypeName(status.deviceType)
                                                                           : unknown;
    const QString serial = identified ? QString::number(status.serial) : unknown;
    const QString stem = began.toString(QStringLiteral("yyyyMMdd-HHmmss-")) + model + QLatin1Char('-') + serial;
    // Its sync is the writer's first job.
    if (!file.create(folder, stem) || !file.append(header(status) + images + QStringList(QString()) + pending, false))
        return failure(file.errorString());
    state = State::Writing;
    filePath = file.path();
    pending.clear();
    writer = std::make_unique<RecordWriter>(file);
    connect(writer.get(), &RecordWriter::failed, this, &RunRecord::writerFailed);
    connect(writer.get(), &RecordWriter::sealDone, this, &RunRecord::sealSettled);
    return whereLine();
}

QString RunRecord::whereLine() const
{
    if (state != State::Writing)
        return QString();
    return QStringLiteral("Record: ") + outsideText(filePath)
        + (sealedDigest.isEmpty() ? QString() : QStringLiteral(", SHA-256 ") + sealedDigest);
}

QString RunRecord::path() const
{
    return state == State::Writing ? filePath : QString();
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
        QStringLiteral("computer: ") + outsideText(QSysInfo::machineHostName()),
        QStringLiteral("user: ") + loginName(),
        QStringLiteral("program: ") + programLine(),
        QStringLiteral("operating system: ") + operatingSystem(),
        QStringLiteral("model: ") + model,
        QStringLiteral("serial: ") + (found ? QString::number(status.serial) : unknown),
        // A boot-mode instrument reports no versions.
        QStringLiteral("firmware found: ") + (status.checkState == Operational ? foundFirmwareText(status) : unknown),
        QStringLiteral("firmware shipped: ") + (found ? versionString(status.targetFirmware) : unknown),
    };
}

// Called on the thread that calls the library; the rest happens on the record's.
void RunRecord::starting(const char *name, const QString &arguments)
{
    // Made on the record's own thread, the call would wait for itself.
    const QString text = QLatin1String(name) + QLatin1Char('(') + arguments + QStringLiteral(") ...");
    std::unique_lock<std::mutex> lock(startsMutex);
    const quint64 start = ++startsAnnounced;
    lock.unlock();
    if (QThread::currentThread() == thread()) {
        writeCallStarting(text);
        return;
    }
    emit callStarting(text, QPrivateSignal());
    const bool changing = changesInstrument(name);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(startWaitMs);
    const auto handled = [&] { return startsHandled >= start || released; };
    lock.lock();
    if (changing)
        startHandled.wait(lock, handled);
    else
        startHandled.wait_until(lock, deadline, handled);
    const quint64 line = startsHandled == start && !released ? lastStartLine : 0;
    RecordWriter *const lineWriter = line ? writer.get() : nullptr;
    lock.unlock();
    if (!lineWriter)
        return;
    if (changing) {
        waitOnDisk(*lineWriter, line);
        return;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline
                                                                            - std::chrono::steady_clock::now());
    lineWriter->waitWritten(line, static_cast<unsigned long>(std::max<std::int64_t>(0, left.count())));
}

// On the caller's thread. A writer that fails or ends lets the call go: the
// record is lost then, and the run says so.
void RunRecord::waitOnDisk(RecordWriter &lineWriter, quint64 line)
{
    if (lineWriter.waitWritten(line, unnoticedWaitMs))
        return;
    emit waitingForDisk(true);
    lineWriter.waitWritten(line);
    emit waitingForDisk(false);
}

void RunRecord::writeCallStarting(const QString &text)
{
    callInFlight = stamp();
    const quint64 line = write(callInFlight + QLatin1Char(' ') + text, false);
    {
        const std::lock_guard<std::mutex> lock(startsMutex);
        ++startsHandled;
        lastStartLine = line;
    }
    startHandled.notify_all();
}

void RunRecord::releaseCallers()
{
    {
        const std::lock_guard<std::mutex> lock(startsMutex);
        released = true;
    }
    startHandled.notify_all();
}

bool RunRecord::waitWritten()
{
    return writer && writer->waitAllWritten(writtenWaitMs) && state == State::Writing && finished;
}

QString RunRecord::problem() const
{
    return problemText;
}

void RunRecord::writerFailed(const QString &reason)
{
    if (state == State::Writing)
        emit writeFailed(failure(reason));
    sealSettled();
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

void RunRecord::unsignedListTaken()
{
    emit imageSeen(QStringLiteral("images: unsigned, allowed by --allow-unsigned"), QPrivateSignal());
}

void RunRecord::imageChecked(const CheckedImage &image)
{
    emit imageSeen(imageLine(image), QPrivateSignal());
}

void RunRecord::addImage(const QString &line)
{
    if (imagesListed.contains(line))
        return;
    imagesListed << line;
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

quint64 RunRecord::write(const QString &line, bool replacingLast)
{
    if (finished)
        return 0;
    switch (state) {
    case State::Collecting:
        if (replacingLast)
            pending.last() = line;
        else
            pending << line;
        break;
    case State::Writing: return replacingLast ? writer->replaceLast(line) : writer->append(line);
    case State::Off: break;
    }
    return 0;
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
    problemText = reason;
    return QStringLiteral("No record could be written: ") + reason + QLatin1Char('.');
}
