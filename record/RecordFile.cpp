#include "record/RecordFile.h"

#include "catalogue/OutsideText.h"
#include "record/SyncToDisk.h"

#include <QDir>

namespace {

// Far more records than one second can start; a folder that takes none of
// them is not worth more attempts.
constexpr int maxNameAttempts = 1000;

} // namespace

bool RecordFile::create(const QString &folder, const QString &stem)
{
    const QDir dir(folder);
    // An existing folder is not made again: where it may not be written
    // to, the system refuses that too, and the file says why better.
    if (!dir.exists() && !dir.mkpath(QStringLiteral(".")))
        return fail(outsideText(QDir::toNativeSeparators(dir.absolutePath())) + QStringLiteral(" cannot be created"));
    for (int attempt = 1; attempt <= maxNameAttempts; ++attempt) {
        const QString suffix = attempt == 1 ? QString() : QLatin1Char('-') + QString::number(attempt);
        file.setFileName(dir.absoluteFilePath(stem + suffix + QStringLiteral(".txt")));
        // NewOnly: created here or not at all, even when another program
        // takes the same name at the same moment. Unbuffered: a write that
        // fails says why at once.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (!file.exists())
            return fail(file.errorString());
    }
    return fail(QStringLiteral("every name is taken"));
}

QString RecordFile::path() const
{
    return file.isOpen() ? QDir::toNativeSeparators(file.fileName()) : QString();
}

QString RecordFile::errorString() const
{
    return error;
}

bool RecordFile::append(const QStringList &lines, bool synced)
{
    if (lines.isEmpty())
        return true;
    const qint64 end = file.pos();
    QByteArray bytes;
    for (const QString &line : lines) {
        lastLineStart = end + bytes.size();
        bytes += shownLine(line).toUtf8() + '\n';
    }
    if (!write(bytes, synced))
        return takeBack(end);
    held += bytes;
    lastLine = bytes.mid(static_cast<int>(lastLineStart - end));
    return true;
}

bool RecordFile::replaceLast(const QString &line)
{
    const qint64 end = file.pos();
    QByteArray bytes = shownLine(line).toUtf8();
    // A shorter line is padded so that no part of the longer one is left after it.
    const qint64 lastLength = end - lastLineStart - 1;
    if (bytes.size() < lastLength)
        bytes.append(static_cast<int>(lastLength - bytes.size()), ' ');
    if (!file.seek(lastLineStart))
        return fail(file.errorString());
    bytes += '\n';
    if (write(bytes)) {
        held = held.left(static_cast<int>(lastLineStart)) + bytes;
        lastLine = bytes;
        return true;
    }
    // The line it replaced goes back where it was: the bytes are the file's
    // own, so they need no room that the disk might not have.
    const QString reason = error;
    if (file.seek(lastLineStart) && file.write(lastLine) == lastLine.size())
        file.resize(end);
    return fail(reason);
}

// Leaves the file open whatever happened, for the caller to take the line back.
bool RecordFile::write(const QByteArray &bytes, bool synced)
{
    // A write the disk took in part is tried again for the rest, which then
    // fails with the system's reason.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            error = file.errorString();
            return false;
        }
        done += written;
    }
    if (synced && !syncToDisk(file.handle())) {
        error = QStringLiteral("cannot be put on the disk");
        return false;
    }
    return true;
}

bool RecordFile::sync()
{
    if (!file.isOpen())
        return false;
    if (!syncToDisk(file.handle()))
        return fail(QStringLiteral("cannot be put on the disk"));
    return true;
}

// Cuts the file back to end after a failed write; a file with nothing in it
// is no record at all.
bool RecordFile::takeBack(qint64 end)
{
    const QString reason = error;
    if (end == 0)
        file.remove();
    else
        file.resize(end);
    return fail(reason);
}

bool RecordFile::fail(const QString &problem)
{
    error = file.fileName().isEmpty()
        ? problem
        : outsideText(QDir::toNativeSeparators(file.fileName())) + QStringLiteral(": ") + problem;
    file.close();
    return false;
}
