#include "record/RecordHistory.h"

#include <QDateTime>
#include <QDir>
#include <QMap>

#include <algorithm>

namespace {

// One finding for each record: the first, which explains the rest.
class Findings
{
public:
    void add(RecordFinding::Kind kind, const QString &record, const QString &reason)
    {
        const bool known = std::any_of(found.begin(), found.end(),
                                       [&](const RecordFinding &finding) { return finding.record == record; });
        if (!known)
            found.append({ kind, record, reason });
    }
    QVector<RecordFinding> found;
};

} // namespace

QString findingWord(RecordFinding::Kind kind)
{
    switch (kind) {
    case RecordFinding::Kind::Edited: return QStringLiteral("edited");
    case RecordFinding::Kind::Removed: return QStringLiteral("removed");
    case RecordFinding::Kind::Inserted: return QStringLiteral("inserted");
    case RecordFinding::Kind::NotSealed: return QStringLiteral("not sealed");
    case RecordFinding::Kind::CutShort: return QStringLiteral("cut short");
    }
    return QString();
}

QVector<StoredRecord> readHistory(const QString &folder)
{
    QVector<StoredRecord> records;
    for (const QString &name : QDir(folder).entryList({ QStringLiteral("*.txt") }, QDir::Files)) {
        if (const std::optional<StoredRecord> record = readRecord(QDir(folder).filePath(name)))
            records.append(*record);
    }
    std::sort(records.begin(), records.end(), [](const StoredRecord &a, const StoredRecord &b) {
        const QDateTime first = QDateTime::fromString(a.date, Qt::ISODate);
        const QDateTime second = QDateTime::fromString(b.date, Qt::ISODate);
        if (first != second)
            return first > second;
        return a.number != b.number ? a.number > b.number : a.name > b.name;
    });
    return records;
}

QVector<RecordFinding> verifyHistory(const QVector<StoredRecord> &records, const std::optional<ChainLink> &last)
{
    using Kind = RecordFinding::Kind;
    Findings findings;
    QMap<QString, const StoredRecord *> byName;
    QMap<int, QVector<const StoredRecord *>> byNumber;
    // What names each place: the record after it, and the last-record file the newest.
    QMap<int, QStringList> namedAt;
    int highest = last ? last->number : 0;
    if (last)
        namedAt[last->number] << last->name;
    for (const StoredRecord &record : records) {
        byName.insert(record.name, &record);
        if (!record.sealed())
            continue;
        byNumber[record.number] << &record;
        highest = std::max(highest, record.number);
        if (!record.previous.isEmpty())
            namedAt[record.number - 1] << record.previous;
    }

    for (const StoredRecord &record : records) {
        if (!record.sealed())
            findings.add(record.result.isEmpty() ? Kind::CutShort : Kind::NotSealed, record.name,
                         record.result.isEmpty() ? QStringLiteral("the program ended before its record did")
                                                 : QStringLiteral("it ends without its SHA-256"));
        else if (record.statedDigest != record.digest)
            findings.add(Kind::Edited, record.name, QStringLiteral("its bytes differ from its own SHA-256"));
        else if (record.number <= 0 || (record.number == 1) != record.previous.isEmpty())
            findings.add(Kind::Edited, record.name, QStringLiteral("its place in the chain cannot be read"));
    }
    // Each record as the one after it saw it.
    const auto named = [&](const QString &name, const QString &digest, const QString &by) {
        const StoredRecord *const record = byName.value(name);
        if (!record)
            findings.add(Kind::Removed, name, by + QStringLiteral(" names it"));
        else if (record->digest != digest)
            findings.add(Kind::Edited, name, QStringLiteral("its bytes differ from the SHA-256 ") + by + " names");
    };
    for (const StoredRecord &record : records) {
        if (record.sealed() && !record.previous.isEmpty())
            named(record.previous, record.previousDigest, record.name);
    }
    if (last)
        named(last->name, last->digest, QStringLiteral("the last-record file"));

    for (int number = 1; number <= highest; ++number) {
        const QVector<const StoredRecord *> at = byNumber.value(number);
        if (at.isEmpty() && namedAt.value(number).isEmpty())
            findings.add(Kind::Removed, QStringLiteral("record number %1").arg(number),
                         QStringLiteral("no record has its number"));
        if (at.size() < 2)
            continue;
        for (const StoredRecord *record : at) {
            if (!namedAt.value(number).contains(record->name))
                findings.add(Kind::Inserted, record->name, QStringLiteral("record number %1 is another's").arg(number));
        }
    }
    for (const StoredRecord &record : records) {
        if (last && record.sealed() && record.number > last->number)
            findings.add(Kind::Inserted, record.name,
                         QStringLiteral("it follows the newest record, as the last-record file names it"));
    }
    return findings.found;
}
