#include "record/RecordFile.h"

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
    if (!dir.mkpath(QStringLiteral(".")))
        return fail(QDir::toNativeSeparators(dir.absolutePath()) + QStringLiteral(" cannot be created"));
    for (int attempt = 1; attempt <= maxNameAttempts; ++attempt) {
        const QString suffix = attempt == 1 ? QString() : QLatin1Char('-') + QString::number(attempt);
        file.setFileName(dir.absoluteFilePath(stem + suffix + QStringLiteral(".txt")));
        // NewOnly: created here or not at all, even when another program
        // takes the same name at the same moment.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
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
    QByteArray bytes;
    for (const QString &line : lines) {
        lastLineStart = file.pos() + bytes.size();
        bytes += line.toUtf8() + '\n';
    }
    return write(bytes, synced);
}

bool RecordFile::replaceLast(const QString &line)
{
    const qint64 end = file.pos();
    QByteArray bytes = line.toUtf8();
    // A shorter line is padded so that no part of the longer one is left after it.
    const qint64 lastLength = end - lastLineStart - 1;
    if (bytes.size() < lastLength)
        bytes.append(static_cast<int>(lastLength - bytes.size()), ' ');
    if (!file.seek(lastLineStart))
        return fail(file.errorString());
    return write(bytes + '\n');
}

bool RecordFile::write(const QByteArray &bytes, bool synced)
{
    if (file.write(bytes) != bytes.size() || !file.flush())
        return fail(file.errorString());
    return !synced || sync();
}

bool RecordFile::sync()
{
    if (!file.isOpen())
        return false;
    if (!syncToDisk(file.handle()))
        return fail(QStringLiteral("cannot be put on the disk"));
    return true;
}

bool RecordFile::fail(const QString &problem)
{
    error = file.fileName().isEmpty() ? problem
                                      : QDir::toNativeSeparators(file.fileName()) + QStringLiteral(": ") + problem;
    file.close();
    return false;
}
