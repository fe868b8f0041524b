#include "HistoryCommand.h"

#include "FlashOutput.h"

#include "record/RecordHistory.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace {

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

void printJson(QJsonObject object, const QString &event)
{
    object.insert(QStringLiteral("event"), event);
    print(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
}

// A record's field, or "unknown" where it has none.
QString shown(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("unknown") : value;
}

QString resultOf(const StoredRecord &record)
{
    return record.result.isEmpty() ? QStringLiteral("cut short") : record.result;
}

// Aligned columns, the command before the result's last so that a long
// command line does not push the rest about.
void list(const QVector<StoredRecord> &records, const FlashOptions &options)
{
    if (options.json) {
        for (const StoredRecord &record : records)
            printJson({ { QStringLiteral("time"), record.date },
                        { QStringLiteral("user"), record.user },
                        { QStringLiteral("model"), record.model },
                        { QStringLiteral("serial"), record.serial },
                        { QStringLiteral("command"), record.program },
                        { QStringLiteral("result"), resultOf(record) },
                        { QStringLiteral("record"), record.path },
                        { QStringLiteral("number"), record.number > 0 ? QJsonValue(record.number) : QJsonValue() },
                        { QStringLiteral("sha256"),
                          record.sealed() ? QJsonValue(record.statedDigest) : QJsonValue() } },
                      QStringLiteral("run"));
        return;
    }
    if (options.quiet)
        return;
    QVector<QStringList> rows { { QStringLiteral("TIME"), QStringLiteral("USER"), QStringLiteral("MODEL"),
                                  QStringLiteral("SERIAL"), QStringLiteral("RESULT"), QStringLiteral("COMMAND") } };
    for (const StoredRecord &record : records)
        rows.append({ shown(record.date), shown(record.user), shown(record.model), shown(record.serial),
                      resultOf(record), shown(record.program) });
    QVector<int> widths(rows.first().size() - 1, 0);
    for (const QStringList &row : rows) {
        for (int column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], int(row.at(column).size()));
    }
    for (const QStringList &row : rows) {
        QString line;
        for (int column = 0; column < widths.size(); ++column)
            line += row.at(column).leftJustified(widths[column]) + QStringLiteral("  ");
        print(stdout, line + row.last() + QLatin1Char('\n'));
    }
}

int verify(const QVector<StoredRecord> &records, const std::optional<ChainLink> &last, const FlashOptions &options)
{
    const QVector<RecordFinding> findings = verifyHistory(records, last);
    const bool holds = std::all_of(findings.begin(), findings.end(), [](const RecordFinding &finding) {
        return finding.kind == RecordFinding::Kind::CutShort;
    });
    const int exitCode = holds ? ExitDone : ExitHistoryBroken;
    if (options.json) {
        for (const RecordFinding &finding : findings)
            printJson({ { QStringLiteral("finding"), findingWord(finding.kind) },
                        { QStringLiteral("record"), finding.record },
                        { QStringLiteral("reason"), finding.reason } },
                      QStringLiteral("finding"));
        printJson({ { QStringLiteral("records"), int(records.size()) },
                    { QStringLiteral("holds"), holds },
                    { QStringLiteral("exit"), exitCode } },
                  QStringLiteral("verified"));
        return exitCode;
    }
    // Quiet: the findings are the problems, which still go to standard error.
    std::FILE *const stream = options.quiet ? stderr : stdout;
    for (const RecordFinding &finding : findings)
        print(stream,
              findingWord(finding.kind) + QStringLiteral(": ") + finding.record + QStringLiteral(" (") + finding.reason
                  + QStringLiteral(")\n"));
    if (!options.quiet)
        print(stdout,
              holds ? QStringLiteral("All %1 records hold: each matches its SHA-256 and the chain is whole.\n")
                          .arg(int(records.size()))
                    : QStringLiteral("The records do not hold: a record was edited, removed or inserted.\n"));
    return exitCode;
}

} // namespace

int runHistory(const FlashOptions &options, const QString &folder)
{
    if (folder.isEmpty()) {
        print(stderr, QStringLiteral("kd740-flash: the system names no folder for user data\n"));
        return ExitStepFailed;
    }
    // No program seals a record while they are read.
    RecordChain chain(folder);
    QString problem;
    const bool locked = !QDir(folder).exists() || chain.lock(&problem);
    if (!locked)
        print(stderr, QStringLiteral("kd740-flash: %1; the records are read all the same\n").arg(problem));
    const QVector<StoredRecord> records = readHistory(folder);
    const std::optional<ChainLink> last = chain.lastNamed();
    chain.unlock();
    if (options.verify)
        return verify(records, last, options);
    list(records, options);
    return ExitDone;
}
