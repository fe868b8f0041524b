#ifndef RECORDHISTORY_H
#define RECORDHISTORY_H

#include "record/RecordChain.h"

#include <QVector>

// What a check of a folder's records found wrong with one of them.
struct RecordFinding
{
    enum class Kind {
        // Its bytes differ from its own digest or from the digest the record
        // after it (or the last-record file) names.
        Edited,
        // Named by the record after it (or the last-record file) but gone.
        Removed,
        // Its place in the chain is another's, or it follows the newest.
        Inserted,
        // It has a result but no digest: its end was cut off, or it was
        // written before records were sealed.
        NotSealed,
        // Neither result nor digest: the program ended before it did. Not
        // a break of the chain.
        CutShort,
    };
    Kind kind = Kind::Edited;
    // The record's file name.
    QString record;
    QString reason;
};

// "edited", "removed", "inserted", "not sealed", "cut short".
QString findingWord(RecordFinding::Kind kind);

// The records of one folder, newest first: by the time their check began,
// then by their number.
QVector<StoredRecord> readHistory(const QString &folder);

// Every record against its own digest and the chain: each break named once,
// where it shows first.
QVector<RecordFinding> verifyHistory(const QVector<StoredRecord> &records, const std::optional<ChainLink> &last);

#endif
