#ifndef RECORDCHAIN_H
#define RECORDCHAIN_H

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QLockFile;
class RecordFile;

// A sealed record's place in its folder's chain: its number (from 1), its
// file name and its SHA-256 (hex).
struct ChainLink
{
    int number = 0;
    QString name;
    QString digest;
};

// A record as it stands on the disk, and what its end says of its place in
// the chain.
struct StoredRecord
{
    QString name;
    // Native and absolute.
    QString path;
    // From its header and its result line; empty where missing.
    QString date;
    QString user;
    QString model;
    QString serial;
    QString program;
    QString result;
    // Its last line's digest; empty: not sealed.
    QString statedDigest;
    // SHA-256 of every byte before its last line where sealed, else of all.
    QString digest;
    // 0: no number line.
    int number = 0;
    // The record before it, empty for the first; and that one's digest.
    QString previous;
    QString previousDigest;

    bool sealed() const { return !statedDigest.isEmpty(); }
};

std::optional<StoredRecord> readRecord(const QString &path);

// The records of one folder, chained: each sealed record names the one
// sealed before it in the same folder with that one's digest, and ends with
// its own digest over every byte before its last line. The folder's
// last-record file names the newest; a lock file keeps two programs from
// sealing at once, so that no two claim the same predecessor.
class RecordChain
{
public:
    explicit RecordChain(const QString &folder);
    ~RecordChain();
    RecordChain(const RecordChain &) = delete;
    RecordChain &operator=(const RecordChain &) = delete;

    // Takes the folder's lock, waiting for another program's seal; false
    // with why where it stays taken.
    bool lock(QString *problem);
    void unlock();

    // Locked: ends file with its number, the record before it and its own
    // digest, and names it the newest. The digest, or empty where the file
    // failed (file.errorString() says why).
    QString seal(RecordFile &file);

    // The newest sealed record as the last-record file names it; where that
    // file is missing, as the records themselves say.
    std::optional<ChainLink> last() const;
    // As the last-record file alone names it.
    std::optional<ChainLink> lastNamed() const;

private:
    void name(const ChainLink &link);

    const QString folder;
    std::unique_ptr<QLockFile> lockFile;
};

#endif
