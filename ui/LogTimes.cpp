#include "ui/LogTimes.h"

#include <QTextBlock>
#include <QTextDocument>

namespace {

struct LineTime : QTextBlockUserData
{
    LineTime(const QDateTime &runBegan, qint64 ms)
        : runBegan(runBegan)
        , ms(ms)
    {
    }

    const QDateTime runBegan;
    const qint64 ms;
};

QString stamp(qint64 ms)
{
    return QString::asprintf("+%lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
}

// As the record's header has it: ISO 8601, the offset always written out.
QString date(const QDateTime &time)
{
    const int offsetMinutes = time.offsetFromUtc() / 60;
    const int absolute = qAbs(offsetMinutes);
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QString::asprintf("%c%02d:%02d", offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
}

} // namespace

void LogTimes::runStarted()
{
    began = QDateTime::currentDateTime();
    clock.start();
}

void LogTimes::stamp(QTextBlock block) const
{
    if (began.isValid())
        block.setUserData(new LineTime(began, clock.elapsed()));
}

QString LogTimes::stampedText(const QTextDocument *document)
{
    QStringList lines;
    QDateTime run;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const auto *time = static_cast<const LineTime *>(block.userData());
        if (!time) {
            lines << block.text();
            continue;
        }
        if (time->runBegan != run) {
            run = time->runBegan;
            lines << QStringLiteral("date: ") + date(run);
        }
        lines << (block.text().isEmpty() ? ::stamp(time->ms) : ::stamp(time->ms) + QLatin1Char(' ') + block.text());
    }
    return lines.join(QLatin1Char('\n'));
}
