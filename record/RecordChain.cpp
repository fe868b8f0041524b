#include "record/RecordChain.h"

#include "record/RecordFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>

namespace {

// Longer than any seal takes; a program that died holding the lock leaves
// it stale, and QLockFile takes a stale lock over.
constexpr int lockWaitMs = 10000;

const QString lockName = QStringLiteral("records.lock");
const QString lastName = QStringLiteral("last-record");
const QString numberKey = QStringLiteral("record number: ");
const QString previousKey = QStringLiteral("previous record: ");
const QString digestKey = QStringLiteral("SHA-256: ");
const QString digestMark = QStringLiteral(", SHA-256 ");

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

std::optional<StoredRecord> readRecord(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    StoredRecord record;
    record.path = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    record.name = QFileInfo(path).fileName();
    // The last line, without its newline, and where it starts.
    const int end = bytes.endsWith('\n') ? bytes.size() - 1 : bytes.size();
    const int lastStart = bytes.lastIndexOf('\n', end - 1) + 1;
    const QString lastLine = QString::fromUtf8(bytes.mid(lastStart, end - lastStart));
    if (lastLine.startsWith(digestKey)) {
        record.statedDigest = lastLine.mid(digestKey.size());
        record.digest = sha256(bytes.left(lastStart));
    } else {
        record.digest = sha256(bytes);
    }
    bool header = true;
    for (const QString &line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        if (line.isEmpty()) {
            header = false;
            continue;
        }
        const QString key = line.section(QStringLiteral(": "), 0, 0);
        const QString value = line.section(QStringLiteral(": "), 1);
        // A stamped line is the run's own, whatever it says.
        if (line.startsWith(QLatin1Char('+')))
            continue;
        if (header && key == QLatin1String("date"))
            record.date = value;
        else if (header && key == QLatin1String("user"))
            record.user = value;
        else if (header && key == QLatin1String("model"))
            record.model = value;
        else if (header && key == QLatin1String("serial"))
            record.serial = value;
        else if (header && key == QLatin1String("program"))
            record.program = value;
        else if (!header && key == QLatin1String("result"))
            record.result = value;
        else if (!header && line.startsWith(numberKey))
            record.number = value.toInt();
        else if (!header && line.startsWith(previousKey) && value != QLatin1String("none")) {
            record.previous = value.section(digestMark, 0, -2);
            record.previousDigest = value.section(digestMark, -1);
        }
    }
    return record;
}

RecordChain::RecordChain(const QString &folder)
    : folder(folder)
{
}

RecordChain::~RecordChain() = default;

bool RecordChain::lock(QString *problem)
{
    lockFile = std::make_unique<QLockFile>(QDir(folder).filePath(lockName));
    if (lockFile->tryLock(lockWaitMs))
        return true;
    *problem = QDir::toNativeSeparators(QDir(folder).filePath(lockName))
        + (lockFile->error() == QLockFile::LockFailedError ? QStringLiteral(" is held by another program")
                                                           : QStringLiteral(" cannot be created"));
    lockFile.reset();
    return false;
}

void RecordChain::unlock()
{
    lockFile.reset();
}

QString RecordChain::seal(RecordFile &file)
{
    const std::optional<ChainLink> before = last();
    ChainLink link;
    link.number = before ? before->number + 1 : 1;
    link.name = QFileInfo(file.path()).fileName();
    const QString previous = before ? before->name + digestMark + before->digest : QStringLiteral("none");
    if (!file.append({ numberKey + QString::number(link.number), previousKey + previous }, false))
        return QString();
    link.digest = sha256(file.contents());
    if (!file.append({ digestKey + link.digest }))
        return QString();
    name(link);
    return link.digest;
}

// A last-record file that cannot be replaced is removed, so that the next
// seal asks the records rather than claim a predecessor twice.
void RecordChain::name(const ChainLink &link)
{
    QSaveFile saved(QDir(folder).filePath(lastName));
    if (saved.open(QIODevice::WriteOnly)) {
        saved.write(QStringLiteral("%1 %2 %3\n").arg(link.number).arg(link.name, link.digest).toUtf8());
        if (saved.commit())
            return;
    }
    QFile::remove(QDir(folder).filePath(lastName));
}

std::optional<ChainLink> RecordChain::lastNamed() const
{
    QFile file(QDir(folder).filePath(lastName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QStringList words = QString::fromUtf8(file.readAll()).trimmed().split(QLatin1Char(' '));
    if (words.size() != 3 || words.at(0).toInt() <= 0)
        return std::nullopt;
    return ChainLink { words.at(0).toInt(), words.at(1), words.at(2) };
}

std::optional<ChainLink> RecordChain::last() const
{
    if (std::optional<ChainLink> named = lastNamed())
        return named;
    std::optional<ChainLink> newest;
    for (const QString &name : QDir(folder).entryList({ QStringLiteral("*.txt") }, QDir::Files)) {
        const std::optional<StoredRecord> record = readRecord(QDir(folder).filePath(name));
        if (record && record->sealed() && (!newest || record->number > newest->number))
            newest = ChainLink { record->number, record->name, record->statedDigest };
    }
    return newest;
}
