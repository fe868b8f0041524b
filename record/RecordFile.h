#ifndef RECORDFILE_H
#define RECORDFILE_H

#include <QFile>
#include <QString>
#include <QStringList>

// One record on the disk: a new file that no other ever was, written a line
// at a time, every line on the disk before the next is taken. A line that
// cannot be written whole (a full disk) is taken back, so the file never
// ends within a line; a file that could not take its first line is removed.
// No line holds a line break, whatever text it was given (shownLine()).
class RecordFile
{
public:
    // Creates folder/<stem>.txt, or <stem>-2.txt and so on where that name is
    // taken; the folder too where it is missing.
    bool create(const QString &folder, const QString &stem);
    // Native and absolute; empty until created.
    QString path() const;
    // What went wrong last, with the path it concerns and the system's reason.
    QString errorString() const;

    // Each written and synced; unsynced: the sync is left to sync().
    bool append(const QStringList &lines, bool synced = true);
    // Writes line over the last line appended. It is written in one piece,
    // so the file holds either line whenever the process ends.
    bool replaceLast(const QString &line);

    bool sync();
    // Everything the file holds, as written.
    QByteArray contents() const { return held; }
    // Gives the file up: nothing more is written to it; problem is told
    // with its path.
    bool fail(const QString &problem);

private:
    bool write(const QByteArray &bytes, bool synced = true);
    bool takeBack(qint64 end);

    QFile file;
    qint64 lastLineStart = 0;
    // The last line as it stands in the file, its newline included.
    QByteArray lastLine;
    // What the file holds: its digest needs no read of the disk.
    QByteArray held;
    QString error;
};

#endif
