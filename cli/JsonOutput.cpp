#include "JsonOutput.h"

#include "ProgressLine.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

QString toneName(LineTone tone)
{
    switch (tone) {
    case LineTone::Success: return QStringLiteral("success");
    case LineTone::Failure: return QStringLiteral("failure");
    case LineTone::Normal: break;
    }
    return QStringLiteral("normal");
}

} // namespace

JsonOutput::JsonOutput(bool quiet)
    : quiet(quiet)
{
}

void JsonOutput::write(const QString &event, QJsonObject object)
{
    object.insert(QStringLiteral("event"), event);
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void JsonOutput::line(const QString &text, LineTone tone)
{
    write(QStringLiteral("line"), { { QStringLiteral("text"), text }, { QStringLiteral("tone"), toneName(tone) } });
}

void JsonOutput::step(const QString &text)
{
    reportedMinutes = 0;
    if (text.isEmpty())
        return;
    write(QStringLiteral("step"), { { QStringLiteral("text"), text } });
}

void JsonOutput::progress(const QString &text, int elapsedSeconds)
{
    if (quiet || elapsedSeconds / 60 <= reportedMinutes)
        return;
    reportedMinutes = elapsedSeconds / 60;
    write(QStringLiteral("progress"),
          { { QStringLiteral("step"), text },
            { QStringLiteral("elapsed"), elapsedText(elapsedSeconds) },
            { QStringLiteral("seconds"), elapsedSeconds } });
}

void JsonOutput::call(const CallEvent &event)
{
    write(QStringLiteral("call"),
          { { QStringLiteral("name"), event.name },
            { QStringLiteral("arguments"), event.arguments },
            { QStringLiteral("status"), event.status },
            { QStringLiteral("milliseconds"), event.microseconds / 1000.0 } });
}

void JsonOutput::notice(const QString &text)
{
    write(QStringLiteral("notice"), { { QStringLiteral("text"), text } });
}

void JsonOutput::outcome(const Outcome &outcome)
{
    QJsonObject object { { QStringLiteral("result"), outcome.result }, { QStringLiteral("exit"), outcome.exitCode } };
    if (!outcome.message.isEmpty())
        object.insert(QStringLiteral("message"), outcome.message);
    write(QStringLiteral("outcome"), object);
}
